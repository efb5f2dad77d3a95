#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommonDialog.h"
#include "app/Form1.h"
#include "app/Help.h"
#include "app/Notifier.h"

// A scripted answer that cancels the dialog.
inline const QString kCancel;

// The user's answers to the file dialogs, given in advance; every question is recorded.
class ScriptedFileDialogs final : public FileDialogBackend {
 public:
  std::deque<QString> openAnswers;  // a path, or kCancel
  std::deque<QString> saveAnswers;
  std::deque<bool> replaceAnswers;
  std::vector<FileDialogRequest> openRequests;
  std::vector<FileDialogRequest> saveRequests;
  std::vector<QString> replaceQuestions;

  std::optional<QString> chooseFileToOpen(const FileDialogRequest& request) override {
    openRequests.push_back(request);
    return next(openAnswers);
  }
  std::optional<QString> chooseFileToSave(const FileDialogRequest& request) override {
    saveRequests.push_back(request);
    return next(saveAnswers);
  }
  bool confirmReplace(const QString& path) override {
    replaceQuestions.push_back(path);
    if (replaceAnswers.empty()) {
      ADD_FAILURE() << "unexpected question about replacing " << path.toStdString();
      return false;
    }
    const bool answer = replaceAnswers.front();
    replaceAnswers.pop_front();
    return answer;
  }

 private:
  static std::optional<QString> next(std::deque<QString>& answers) {
    if (answers.empty()) {
      ADD_FAILURE() << "a file dialog opened that the test did not expect";
      return std::nullopt;
    }
    const QString answer = answers.front();
    answers.pop_front();
    if (answer.isNull()) return std::nullopt;
    return answer;
  }
};

class RecordingNotifier final : public Notifier {
 public:
  std::vector<QString> messages;
  void notify(const QString& message) override { messages.push_back(message); }
};

class RecordingHelpDesk final : public HelpDesk {
 public:
  std::vector<QString> requests;
  void showHelp(const QString& helpFile) override { requests.push_back(helpFile); }
};

// A main window wired to stand-ins, with a scratch folder for files.
class WindowTest : public ::testing::Test {
 protected:
  WindowTest();
  ~WindowTest() override;

  const Form1Controls& ui() const { return form->controls(); }
  std::filesystem::path scratch(const std::string& name) const { return folder_ / name; }
  QString path(const std::string& name) const;

  void open(const QString& chosen);
  void cancelOpen();
  // Types the interval, picks the mode and presses the thin button.
  void thin(const QString& interval, bool average = false);
  void save(const QString& chosen);
  // The grid's 50 × 5 texts, row by row, cells joined with "," and trailing empty rows dropped.
  static std::vector<QString> rows(const FlexGrid& grid);

  ScriptedFileDialogs* dialogs;
  RecordingNotifier* notifier;
  RecordingHelpDesk* helpDesk;
  std::unique_ptr<Form1> form;

 private:
  std::filesystem::path folder_;
};

void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);
