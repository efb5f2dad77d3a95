#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <memory>

#include "app/CommandContext.h"
#include "app/CommonDialog.h"
#include "app/Form1Controls.h"
#include "app/Help.h"
#include "app/Notifier.h"
#include "app/pls_value.h"

namespace vorlet::app {

class PlotWindow;

// The outside world the window talks to. Whatever is left empty gets the real thing; tests
// fill all three with stand-ins that record.
struct Form1Services {
  std::unique_ptr<FileDialogBackend> fileDialogs;
  std::unique_ptr<Notifier> notifier;
  std::unique_ptr<HelpDesk> helpDesk;
};

// The main window: its controls, the shared data, and one handler per event, each handing the
// work to a command.
class Form1 final : public QMainWindow {
 public:
  explicit Form1(Form1Services services = {});
  ~Form1() override;

  const Form1Controls& controls() const { return controls_; }
  const Workspace& workspace() const { return workspace_; }
  const CommonDialog& commonDialog() const { return dialog_; }
  const QString& helpSetting() const { return helpSetting_; }
  // The interval error notice while it is open, else null.
  pls_value* intervalError() const { return intervalError_; }

  // 0 shows the default arrow, 11 the hourglass.
  int mousePointer() const { return mousePointer_; }
  void setMousePointer(int pointer);

 private:
  void wireEvents();
  void showIntervalError();
  void exitProgram();
  template <class Command>
  void run(Command command);

  Form1Services services_;
  Form1Controls controls_;
  Workspace workspace_;
  CommonDialog dialog_;
  CommandContext context_;
  QString helpSetting_;
  QPointer<pls_value> intervalError_;
  int mousePointer_ = kDefaultPointer;

  // ---- The plot window (menu 表示 → グラフ) ----
 public:
  // The plot window while it exists, else null.
  PlotWindow* plotWindow() const;

 private:
  void wirePlotWindow();
  void showPlotWindow();
  void plotSource();
  void plotResult();
  QPointer<PlotWindow> plotWindow_;
  const void* plottedSource_ = nullptr;  // the source cells the plot was last given
  // ---- end of the plot window ----
};

}  // namespace vorlet::app
