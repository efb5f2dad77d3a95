#include "app/CommonDialog.h"

#include <QFileInfo>
#include <QMessageBox>

namespace vorlet::app {

namespace {

QString toQtPatterns(const QString& windowsPatterns) {
  QStringList patterns = windowsPatterns.split(u';', Qt::SkipEmptyParts);
  for (QString& pattern : patterns) {
    pattern = pattern.trimmed();
    if (pattern == u"*.*") pattern = QStringLiteral("*");
  }
  return patterns.join(u' ');
}

// "CSV File (*.csv)" already names its pattern; showing it twice would read badly.
QString withoutTrailingPattern(QString description, const QString& windowsPatterns) {
  const QString shown = QStringLiteral("(%1)").arg(windowsPatterns);
  if (description.endsWith(shown)) description.chop(shown.size());
  return description.trimmed();
}

bool isPattern(const QString& name) {
  return name.contains(u'*') || name.contains(u'?');
}

}  // namespace

QStringList toNameFilters(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString patterns = toQtPatterns(parts[i + 1]);
    filters << QStringLiteral("%1 (%2)").arg(withoutTrailingPattern(parts[i], parts[i + 1]),
                                             patterns);
  }
  return filters;
}

void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request,
                         QFileDialog::AcceptMode mode) {
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  // The save command asks itself, in Japanese and the same way on every platform.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilters(request.nameFilters);
  if (!request.nameFilters.isEmpty()) dialog.selectNameFilter(request.nameFilters.first());
  dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.fileName.isEmpty() && !isPattern(request.fileName)) {
    const QFileInfo previous(request.fileName);
    dialog.setDirectory(previous.absolutePath());
    dialog.selectFile(previous.fileName());
  }
}

std::optional<QString> QtFileDialogBackend::chooseFileToOpen(const FileDialogRequest& request) {
  return run(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtFileDialogBackend::chooseFileToSave(const FileDialogRequest& request) {
  return run(request, QFileDialog::AcceptSave);
}

std::optional<QString> QtFileDialogBackend::run(const FileDialogRequest& request,
                                                QFileDialog::AcceptMode mode) {
  QFileDialog dialog(owner_);
  configureFileDialog(dialog, request, mode);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.first();
}

bool QtFileDialogBackend::confirmReplace(const QString& path) {
  const QString question =
      QStringLiteral("%1 は既に存在します。\n置き換えますか?").arg(QFileInfo(path).fileName());
  return QMessageBox::question(owner_, QStringLiteral("Vorlet"), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

bool QtFileDialogBackend::confirmReplaceSource(const QString& path) {
  const QString warning = QStringLiteral(
                              "%1 は、間引く前の元のデータのファイルです。\n"
                              "置き換えると、元のデータは失われ、元に戻せません。\n"
                              "それでも置き換えますか?")
                              .arg(QFileInfo(path).fileName());
  return QMessageBox::warning(owner_, QStringLiteral("Vorlet"), warning,
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
}

FileDialogRequest CommonDialog::request() const {
  QString suffix = defaultExt_;
  if (suffix.startsWith(u'.')) suffix.remove(0, 1);
  return {fileName_, toNameFilters(filter_), suffix};
}

std::optional<QString> CommonDialog::showOpen() {
  return backend_.chooseFileToOpen(request());
}

bool CommonDialog::showSave(const QString& proposed,
                            const std::function<bool(const QString&)>& isSource) {
  FileDialogRequest ask = request();
  if (!proposed.isEmpty()) ask.fileName = proposed;
  for (;;) {
    const std::optional<QString> chosen = backend_.chooseFileToSave(ask);
    if (!chosen) return false;
    const bool agreed = isSource(*chosen)
                            ? backend_.confirmReplaceSource(*chosen)
                            : !QFileInfo::exists(*chosen) || backend_.confirmReplace(*chosen);
    if (agreed) {
      fileName_ = *chosen;
      return true;
    }
    ask.fileName = *chosen;  // back to the dialog with the declined name, as a native one would
  }
}

}  // namespace vorlet::app
