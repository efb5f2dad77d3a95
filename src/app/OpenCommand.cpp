#include "app/OpenCommand.h"

#include <QFileInfo>
#include <variant>

#include "app/CommandContext.h"
#include "app/CommonDialog.h"
#include "app/FlexGrid.h"
#include "app/Notifier.h"
#include "app/Preview.h"
#include "app/UserMessages.h"

namespace vorlet::app {

namespace {

QString openingStatus(const QString& path) {
  const qint64 megabytes = QFileInfo(path).size() / 1'000'000;
  return QStringLiteral("読み込んでいます: %1（%2 MB）")
      .arg(QFileInfo(path).fileName())
      .arg(megabytes);
}

}  // namespace

void runOpenCommand(CommandContext& context) {
  context.window.repaint();
  CommonDialog& dialog = context.dialog;
  dialog.setCancelError(true);
  dialog.setFilter(csvFilter());
  if (const std::optional<QString> chosen = dialog.showOpen()) openFile(context, *chosen);
}

bool openFile(CommandContext& context, const QString& path) {
  context.controls.MSFlexGrid1->refresh();
  ReadOutcome read;
  context.runBusy(openingStatus(path), [&read, &path](vorlet::Progress& progress) {
    read = readSource(path, &progress);
  });
  if (const auto* error = std::get_if<vorlet::FileError>(&read)) {
    context.notifier.notify(openFailedMessage(*error));
    return false;
  }
  adoptSource(context.workspace, std::get<vorlet::OpenedTable>(std::move(read)), path);
  context.dialog.setFileName(path);
  showSource(context.controls, context.workspace);
  return true;
}

void showSource(Form1Controls& c, const Workspace& workspace) {
  c.Label5->setPath(workspace.sourcePath);
  const TableSize size = sourceSize(workspace);
  showCounts(c.sourceCounts, size.fields, size.records);
  c.MSFlexGrid1->clearCells();  // no cell of an earlier file may stay
  showPreview(*c.MSFlexGrid1, workspace.vars.SourceTable, workspace.sourceEncoding);
  c.MSFlexGrid2->refresh();
  c.MSFlexGrid1->refresh();
}

}  // namespace vorlet::app
