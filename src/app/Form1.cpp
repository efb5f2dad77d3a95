#include "app/Form1.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <new>

#include "app/Fonts.h"
#include "app/OpenCommand.h"
#include "app/PlotWindow.h"
#include "app/SaveCommand.h"
#include "app/ThinCommand.h"
#include "app/UserMessages.h"

namespace vorlet::app {

namespace {

Form1Services withDefaults(Form1Services services, QWidget* owner) {
  if (!services.fileDialogs) services.fileDialogs = std::make_unique<QtFileDialogBackend>(owner);
  if (!services.notifier) services.notifier = std::make_unique<MessageBoxNotifier>(owner);
  if (!services.helpDesk) services.helpDesk = makeHelpViewerDesk();
  return services;
}

}  // namespace

Form1::Form1(Form1Services services)
    : services_(withDefaults(std::move(services), this)),
      controls_(buildForm1Controls(*this)),
      dialog_(*services_.fileDialogs),
      context_{workspace_,
               controls_,
               dialog_,
               *services_.notifier,
               *this,
               [this](int pointer) { setMousePointer(pointer); },
               [this] { showIntervalError(); }} {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vorlet"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/vorlet.svg")));
  setFont(arialFont(11.25));
  wireEvents();
  wirePlotWindow();
  helpSetting_ = lookUpHelpFile(QCoreApplication::applicationDirPath());
  controls_.Command1->setFocus();
  setGeometry(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
}

Form1::~Form1() {
  // The notice has no owner; if it outlives the window, it goes with it.
  delete intervalError_.data();
}

void Form1::setMousePointer(int pointer) {
  mousePointer_ = pointer;
  if (pointer == kHourglass) {
    setCursor(Qt::WaitCursor);
  } else {
    unsetCursor();
  }
}

void Form1::wireEvents() {
  const Form1Controls& c = controls_;
  connect(c.open, &QAction::triggered, this, [this] { run(runOpenCommand); });
  connect(c.n_save, &QAction::triggered, this, [this] { run(runSaveCommand); });
  connect(c.Command1, &QPushButton::clicked, this, [this] { run(runThinCommand); });
  connect(c.Command2, &QPushButton::clicked, this, &Form1::exitProgram);
  connect(c.exit, &QAction::triggered, this, &Form1::exitProgram);
  const auto showHelp = [this] { services_.helpDesk->showHelp(helpSetting_); };
  connect(c.Command3, &QPushButton::clicked, this, showHelp);
  connect(c.helpm, &QAction::triggered, this, showHelp);
  connect(c.verinfo, &QAction::triggered, this, [this] { showVersionMessage(this); });
}

template <class Command>
void Form1::run(Command command) {
  // No exception may cross the event loop; running out of memory ends the command, not the run.
  try {
    command(context_);
  } catch (const std::bad_alloc&) {
    setMousePointer(kDefaultPointer);
    services_.notifier->notify(outOfMemoryMessage());
  }
}

void Form1::showIntervalError() {
  // One notice at most: a second refusal brings the open one to the front.
  if (!intervalError_) intervalError_ = new pls_value;  // deletes itself when closed
  intervalError_->show();
  intervalError_->raise();
  intervalError_->activateWindow();
}

void Form1::exitProgram() {
  if (intervalError_) intervalError_->close();
  close();
  QCoreApplication::quit();
}

// ---- The plot window (menu 表示 → グラフ) ----

PlotWindow* Form1::plotWindow() const {
  return plotWindow_;
}

void Form1::wirePlotWindow() {
  auto* view = new QMenu(QStringLiteral("表示"), menuBar());
  view->setObjectName(QStringLiteral("view"));
  view->menuAction()->setObjectName(QStringLiteral("view"));
  menuBar()->insertMenu(controls_.help->menuAction(), view);
  QAction* graph = view->addAction(QStringLiteral("グラフ"));
  graph->setObjectName(QStringLiteral("graph"));
  graph->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  connect(graph, &QAction::triggered, this, &Form1::showPlotWindow);
  // Connected after the commands, so these run once a command has changed the tables.
  connect(controls_.open, &QAction::triggered, this, [this] { plotSource(); });
  connect(controls_.Command1, &QPushButton::clicked, this, [this] { plotResult(); });
}

void Form1::showPlotWindow() {
  if (!plotWindow_) {
    plotWindow_ = new PlotWindow(*services_.fileDialogs, this);  // a window of its own, owned here
    plotWindow_->setAttribute(Qt::WA_QuitOnClose, false);  // closing the main window ends the run
    plotSource();
    plotResult();
  }
  plotWindow_->show();
  plotWindow_->raise();
  plotWindow_->activateWindow();
}

void Form1::plotSource() {
  vorlet::SharedVariables& vars = workspace_.vars;
  // An opened file comes with new cells; a cancelled or failed open leaves the plot as it is.
  const void* cells = vars.SourceTable.storage().data;
  if (!plotWindow_ || cells == plottedSource_) return;
  plottedSource_ = cells;
  plotWindow_->setSource(vars.SourceTable, workspace_.sourceEncoding);
}

void Form1::plotResult() {
  const vorlet::SharedVariables& vars = workspace_.vars;
  if (!plotWindow_ || !vars.ResultTable.isDimensioned() || vars.Interval < 2) return;
  vorlet::ThinSettings settings;
  settings.interval = vars.Interval;
  settings.mode =
      controls_.Option2->isChecked() ? vorlet::ThinMode::Average : vorlet::ThinMode::Simple;
  plotWindow_->setResult(vars.ResultTable, settings);
}

// ---- end of the plot window ----

}  // namespace vorlet::app
