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
#include "support/TempFolder.h"

using namespace vorlet::app;

// A scripted answer that cancels the dialog.
inline const QString kCancel;

// The user's answers to the file dialogs, given in advance; every question is recorded.
class ScriptedFileDialogs final : public FileDialogBackend {
 public:
  std::deque<QString> openAnswers;  // a path, or kCancel
  std::deque<QString> saveAnswers;
  std::deque<bool> replaceAnswers;
  std::deque<bool> replaceSourceAnswers;
  std::vector<FileDialogRequest> openRequests;
  std::vector<FileDialogRequest> saveRequests;
  std::vector<QString> replaceQuestions;
  std::vector<QString> replaceSourceQuestions;

  std::optional<QString> chooseFileToOpen(const FileDialogRequest& request) override {
    openRequests.push_back(request);
    return chosen(next(openAnswers));
  }
  std::optional<QString> chooseFileToSave(const FileDialogRequest& request) override {
    saveRequests.push_back(request);
    return chosen(next(saveAnswers));
  }
  bool confirmReplace(const QString& path) override {
    replaceQuestions.push_back(path);
    return next(replaceAnswers);
  }
  bool confirmReplaceSource(const QString& path) override {
    replaceSourceQuestions.push_back(path);
    return next(replaceSourceAnswers);
  }

 private:
  // The next answer; a question the test did not expect fails it, and is cancelled or declined.
  template <class Answer>
  static Answer next(std::deque<Answer>& answers) {
    if (answers.empty()) {
      ADD_FAILURE() << "a question the test did not expect";
      return Answer{};
    }
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  static std::optional<QString> chosen(const QString& answer) {
    return answer.isNull() ? std::nullopt : std::optional(answer);
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
  int closed = 0;
  void showHelp(const QString& helpFile) override { requests.push_back(helpFile); }
  void closeViewer() override { ++closed; }
};

// A main window wired to stand-ins, with a scratch folder for files.
class WindowTest : public ::testing::Test {
 protected:
  WindowTest();

  const Form1Controls& ui() const { return form->controls(); }
  std::filesystem::path scratch(const std::string& name) const { return folder_ / name; }
  QString path(const std::string& name) const;

  void open(const QString& chosen);
  void cancelOpen() { open(kCancel); }
  // Types the interval, picks the mode and presses the thin button.
  void thin(const QString& interval, vorlet::ThinMode mode = vorlet::ThinMode::Simple);
  void save(const QString& chosen);
  // The grid's 50 × 5 texts, row by row, cells joined with "," and trailing empty rows dropped.
  static std::vector<QString> rows(const FlexGrid& grid);

  vorlet::testing_files::TempFolder folder_;  // outlives the window, which keeps its settings there
  ScriptedFileDialogs* dialogs;
  RecordingNotifier* notifier;
  RecordingHelpDesk* helpDesk;
  std::unique_ptr<Form1> form;
};

using vorlet::testing_files::readBytes;
using vorlet::testing_files::writeBytes;
