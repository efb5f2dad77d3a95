#include "app/SaveCommand.h"

#include "app/CommandContext.h"
#include "app/CommonDialog.h"
#include "app/Notifier.h"
#include "app/UserMessages.h"

namespace vorlet::app {

void runSaveCommand(CommandContext& context) {
  const Workspace& workspace = context.workspace;
  if (!workspace.vars.ResultTable.isDimensioned()) {
    context.notifier.notify(nothingToSaveMessage());
    return;
  }
  CommonDialog& dialog = context.dialog;
  dialog.setFilter(csvFilter());
  if (!dialog.showSave()) return;

  const std::optional<vorlet::FileError> error = vorlet::saveDelimitedFile(
      workspace.vars.ResultTable, workspace.resultEncoding, toPath(dialog.fileName()));
  if (error) context.notifier.notify(saveFailedMessage(*error));
}

}  // namespace vorlet::app
