#include "app/OpenCommand.h"

#include <QLabel>
#include <variant>

#include "app/CommandContext.h"
#include "app/CommonDialog.h"
#include "app/FlexGrid.h"
#include "app/Notifier.h"
#include "app/Preview.h"
#include "app/UserMessages.h"

namespace vorlet::app {

namespace {

QString boundText(const vorlet::Cell& bound) {
  const vorlet::Result<std::string> text = vorlet::toText(bound);
  return text ? QString::fromStdString(*text) : QString();
}

void adopt(Workspace& workspace, vorlet::OpenedTable& opened) {
  vorlet::SharedVariables& vars = workspace.vars;
  vars.SourceTable = std::move(opened.table);
  workspace.sourceEncoding = opened.encoding;
  vars.FieldMax = vorlet::Cell::integer32(*vars.SourceTable.upperBound(1));
  vars.RecordMax = vorlet::Cell::integer32(*vars.SourceTable.upperBound(2));
}

void show(CommandContext& context) {
  const Workspace& workspace = context.workspace;
  Form1Controls& c = context.controls;
  c.Label5->setText(context.dialog.fileName());
  c.Label7->setText(boundText(workspace.vars.FieldMax));
  c.Label8->setText(boundText(workspace.vars.RecordMax));
  c.MSFlexGrid1->clearCells();  // no cell of an earlier file may stay
  showPreview(*c.MSFlexGrid1, workspace.vars.SourceTable, workspace.sourceEncoding);
  c.MSFlexGrid2->refresh();
  c.MSFlexGrid1->refresh();
}

}  // namespace

void runOpenCommand(CommandContext& context) {
  context.window.repaint();
  CommonDialog& dialog = context.dialog;
  dialog.setCancelError(true);
  dialog.setFilter(csvFilter());
  if (!dialog.showOpen()) return;

  context.controls.MSFlexGrid1->refresh();
  BusyPointer busy(context.setMousePointer);
  busy.hourglass();
  // Read into a fresh table, so a file that fails leaves the current one untouched.
  auto read = vorlet::readDelimitedFile(toPath(dialog.fileName()));
  if (auto* error = std::get_if<vorlet::FileError>(&read)) {
    busy.done();
    context.notifier.notify(openFailedMessage(*error));
    return;
  }
  adopt(context.workspace, std::get<vorlet::OpenedTable>(read));
  show(context);
}

}  // namespace vorlet::app
