#include "app/SaveCommand.h"

#include <QFileInfo>

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
  const auto isSource = [&workspace](const QString& path) {
    return isResultSource(workspace, path);
  };
  if (!dialog.showSave(proposedSaveName(workspace), isSource)) return;

  const QString path = dialog.fileName();
  std::optional<vorlet::FileError> error;
  const std::int64_t records = resultSize(workspace).records.value_or(0);
  context.runBusy(
      QStringLiteral("保存しています: %1（%2 行）").arg(QFileInfo(path).fileName()).arg(records),
      [&error, &workspace, &path](vorlet::Progress& progress) {
        error = saveResult(workspace, path, &progress);
      });
  if (error) {
    context.notifier.notify(saveFailedMessage(*error));
    return;
  }
  context.showStatus(savedStatusMessage(path, records));
}

}  // namespace vorlet::app
