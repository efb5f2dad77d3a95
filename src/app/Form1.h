#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <functional>
#include <memory>

#include "app/CommandContext.h"
#include "app/CommonDialog.h"
#include "app/Form1Controls.h"
#include "app/Help.h"
#include "app/Notifier.h"
#include "app/ThinOptions.h"
#include "app/pls_value.h"

class QMimeData;
class QProgressBar;

namespace vorlet::app {

class PlotWindow;

// The outside world the window talks to. Whatever is left empty gets the real thing; tests
// fill them with stand-ins that record.
struct Form1Services {
  std::unique_ptr<FileDialogBackend> fileDialogs;
  std::unique_ptr<Notifier> notifier;
  std::unique_ptr<HelpDesk> helpDesk;
  std::unique_ptr<QSettings> settings;  // where the thinning options persist
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
  const ThinOptions& thinOptions() const { return thinOptions_; }
  // The interval error notice while it is open, else null.
  pls_value* intervalError() const { return intervalError_; }

  // 0 shows the default arrow, 11 the hourglass.
  int mousePointer() const { return mousePointer_; }
  void setMousePointer(int pointer);

  // Opens a file as the open command does once its dialog is confirmed (the program's argument,
  // a dropped file).
  void openFile(const QString& path);
  // Opens the first local file among dropped data; false when there is none.
  bool openDropped(const QMimeData* dropped);

  // Runs `work` off this thread while the window repaints, the status bar shows `status` with a
  // busy bar, the pointer is the hourglass and the commands' inputs are blocked.
  void runBusy(const QString& status, const CommandContext::Work& work);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void wireEvents();
  void showIntervalError(vorlet::IntervalCheck check);
  void editThinOptions();
  void setInputsEnabled(bool enabled);
  void exitProgram();
  template <class Command>
  void run(Command command);

  Form1Services services_;
  Form1Controls controls_;
  Workspace workspace_;
  CommonDialog dialog_;
  CommandContext context_;
  ThinOptions thinOptions_;
  QString helpSetting_;
  QPointer<pls_value> intervalError_;
  QProgressBar* progress_;
  int mousePointer_ = kDefaultPointer;
  bool busy_ = false;

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
