#include "app/ThinCommand.h"

#include <QByteArray>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "app/CommandContext.h"
#include "app/FlexGrid.h"
#include "app/Preview.h"
#include "thinning/ThinTable.h"

namespace vorlet::app {

namespace {

// Simple thinning unless the average option is selected (neither selected counts as simple).
vorlet::ThinMode thinMode(const Form1Controls& c) {
  return c.Option2->isChecked() ? vorlet::ThinMode::Average : vorlet::ThinMode::Simple;
}

QString upperBoundText(const vorlet::CellTable& table, int dimension) {
  const vorlet::Result<std::int32_t> bound = table.upperBound(dimension);
  return bound ? QString::number(*bound) : QString();
}

}  // namespace

void runThinCommand(CommandContext& context) {
  Form1Controls& c = context.controls;
  Workspace& workspace = context.workspace;
  const QByteArray interval = c.Text1->text().toUtf8();
  const vorlet::Cell intervalText =
      vorlet::Cell::text({interval.constData(), static_cast<std::size_t>(interval.size())});

  BusyPointer busy(context.setMousePointer);
  // The engine checks the interval before it touches anything, so a refused interval leaves
  // the result, its labels and its preview as they were.
  const vorlet::ThinStatus status =
      vorlet::ThinTable(workspace.vars, intervalText, thinMode(c), [&busy] { busy.hourglass(); });
  if (status == vorlet::ThinStatus::BadInterval) {
    context.showIntervalError();
    return;
  }
  workspace.resultEncoding = workspace.sourceEncoding;

  const vorlet::CellTable& result = workspace.vars.ResultTable;
  c.Label10->setText(upperBoundText(result, 1));
  c.Label11->setText(upperBoundText(result, 2));
  busy.done();
  c.MSFlexGrid2->clearCells();
  showPreview(*c.MSFlexGrid2, result, workspace.resultEncoding);
  c.MSFlexGrid2->refresh();
}

}  // namespace vorlet::app
