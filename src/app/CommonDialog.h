#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace vorlet::app {

// What a file dialog starts with.
struct FileDialogRequest {
  QString fileName;         // a path, or a bare pattern such as "*.csv"
  QStringList nameFilters;  // in QFileDialog's "Description (patterns)" form
  QString defaultSuffix;    // appended to a name typed without one; no dot
};

// The dialogs themselves, behind an interface so tests script the user's answers and no real
// dialog ever opens in a test.
class FileDialogBackend {
 public:
  virtual ~FileDialogBackend() = default;
  // The chosen path, or nothing when the user cancelled.
  virtual std::optional<QString> chooseFileToOpen(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> chooseFileToSave(const FileDialogRequest& request) = 0;
  // Asked when the name chosen for saving is an existing file; true replaces it.
  virtual bool confirmReplace(const QString& path) = 0;
  // Asked instead when it is the file the result was read from; the answer defaults to No.
  virtual bool confirmReplaceSource(const QString& path) = 0;
};

// Modal QFileDialogs and a Japanese question before replacing a file.
class QtFileDialogBackend final : public FileDialogBackend {
 public:
  explicit QtFileDialogBackend(QWidget* owner) : owner_(owner) {}
  std::optional<QString> chooseFileToOpen(const FileDialogRequest& request) override;
  std::optional<QString> chooseFileToSave(const FileDialogRequest& request) override;
  bool confirmReplace(const QString& path) override;
  bool confirmReplaceSource(const QString& path) override;

 private:
  std::optional<QString> run(const FileDialogRequest& request, QFileDialog::AcceptMode mode);
  QWidget* owner_;
};

// Sets a dialog up for a request; apart so tests can check it without showing it.
void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request,
                         QFileDialog::AcceptMode mode);

// Turns "description|pattern|description|pattern…" into QFileDialog name filters. Patterns are
// separated by ";" and "*.*" means every file, as on Windows.
QStringList toNameFilters(const QString& filter);

// The choices the open and save commands offer: CSV files first, then text files, then all.
inline QString csvFilter() {
  return QStringLiteral("CSV File (*.csv)|*.csv|Text (*.txt)|*.txt|All Files (*.*)|*.*");
}

// The file dialog the open and save commands share: its file name carries over between uses.
// The open command sets it only once a file has been read; a confirmed save dialog sets it to
// the chosen path; a cancelled dialog leaves it.
class CommonDialog {
 public:
  explicit CommonDialog(FileDialogBackend& backend) : backend_(backend) {}

  const QString& fileName() const { return fileName_; }
  void setFileName(const QString& name) { fileName_ = name; }
  const QString& filter() const { return filter_; }
  void setFilter(const QString& filter) { filter_ = filter; }
  const QString& defaultExt() const { return defaultExt_; }
  // Kept as a setting for the commands that set it; cancelling is always reported through the
  // answer of showOpen and showSave, never as an error.
  bool cancelError() const { return cancelError_; }
  void setCancelError(bool on) { cancelError_ = on; }

  // The file the user chose, or nothing when the dialog was cancelled. The name stays as it was.
  std::optional<QString> showOpen();
  // True when the user confirmed a name. The dialog starts at `proposed` when one is given. An
  // existing file is replaced only after the user agrees, asked with a warning of its own when
  // `isSource` says it holds the source data; declining returns to the dialog.
  bool showSave(const QString& proposed, const std::function<bool(const QString&)>& isSource);

 private:
  FileDialogRequest request() const;

  FileDialogBackend& backend_;
  QString fileName_ = QStringLiteral("*.csv");
  QString filter_ = QStringLiteral("Text (*.txt)|*.txt");
  QString defaultExt_ = QStringLiteral(".csv");
  bool cancelError_ = false;
};

}  // namespace vorlet::app
