#include "app/ThinCommand.h"

#include <QLineEdit>
#include <QRadioButton>

#include "app/CommandContext.h"
#include "app/FlexGrid.h"
#include "app/Preview.h"

namespace vorlet::app {

namespace {

// Simple thinning unless another option is selected (none selected counts as simple).
vorlet::ThinMode thinMode(const Form1Controls& c) {
  if (c.Option2->isChecked()) return vorlet::ThinMode::Average;
  if (c.Option3->isChecked()) return vorlet::ThinMode::Peak;
  return vorlet::ThinMode::Simple;
}

QString thinningStatus(const Workspace& workspace) {
  const TableSize size = sourceSize(workspace);
  return QStringLiteral("間引いています（%1 行、%2 MB）")
      .arg(size.records.value_or(0))
      .arg(workspace.sourceSize / 1'000'000);
}

}  // namespace

void runThinCommand(CommandContext& context) {
  Form1Controls& c = context.controls;
  const CheckedThinRequest request =
      checkThinRequest({c.Text1->text(), thinMode(c), context.thinOptions()});
  // Checked before anything is touched: a refused interval leaves the result, its labels and
  // its preview as they were.
  if (request.check != vorlet::IntervalCheck::Ok) {
    context.showIntervalError(request.check);
    return;
  }
  Workspace& workspace = context.workspace;
  context.runBusy(thinningStatus(workspace), [&workspace, &request](vorlet::Progress& progress) {
    thinSource(workspace, request.settings, &progress);
  });
  showResult(c, workspace);
}

void showResult(Form1Controls& c, const Workspace& workspace) {
  const TableSize size = resultSize(workspace);
  showCounts(c.resultCounts, size.fields, size.records);
  c.MSFlexGrid2->clearCells();
  showPreview(*c.MSFlexGrid2, workspace.vars.ResultTable, workspace.resultEncoding);
  c.MSFlexGrid2->refresh();
}

}  // namespace vorlet::app
