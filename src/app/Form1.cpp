#include "app/Form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <exception>
#include <new>
#include <thread>

#include "app/Fonts.h"
#include "app/OpenCommand.h"
#include "app/PlotWindow.h"
#include "app/SaveCommand.h"
#include "app/ThinCommand.h"
#include "app/ThinOptionsDialog.h"
#include "app/Twips.h"
#include "app/UserMessages.h"

namespace vorlet::app {

namespace {

Form1Services withDefaults(Form1Services services, QWidget* owner) {
  if (!services.fileDialogs) services.fileDialogs = std::make_unique<QtFileDialogBackend>(owner);
  if (!services.notifier) services.notifier = std::make_unique<MessageBoxNotifier>(owner);
  if (!services.helpDesk) services.helpDesk = makeHelpViewerDesk();
  if (!services.settings) services.settings = std::make_unique<QSettings>();
  return services;
}

// Runs `work` on a thread of its own while this thread's event loop runs; rethrows what it threw.
void runOffThisThread(const std::function<void()>& work) {
  QEventLoop loop;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();  // the loop also ends when the program is asked to quit
  if (failure) std::rethrow_exception(failure);
}

// A local file among dropped data: the first one.
QString droppedFile(const QMimeData* data) {
  if (data == nullptr) return {};
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return {};
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
               [this](vorlet::IntervalCheck check) { showIntervalError(check); },
               [this] { return thinOptions_; },
               [this](const QString& status, const CommandContext::Work& work) {
                 runBusy(status, work);
               },
               [this](const QString& message) { controls_.StatusBar1->showMessage(message); }},
      thinOptions_(loadThinOptions(*services_.settings)),
      progress_(new QProgressBar) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vorlet"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/vorlet.svg")));
  setFont(arialFont(11.25));
  setAcceptDrops(true);
  progress_->setObjectName(QStringLiteral("Progress"));
  progress_->setRange(0, 100);
  progress_->setMaximumWidth(twips(1440));
  progress_->hide();
  controls_.StatusBar1->addPermanentWidget(progress_);  // the status bar takes ownership
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
  connect(c.thinDetails, &QAction::triggered, this, &Form1::editThinOptions);
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

void Form1::openFile(const QString& path) {
  if (busy_) return;
  run([&path](CommandContext& context) { vorlet::app::openFile(context, path); });
  plotSource();  // a file given at start or dropped: the plot follows as after the menu
}

void Form1::runBusy(const QString& status, const CommandContext::Work& work) {
  QPointer<QWidget> focused = QApplication::focusWidget();
  busy_ = true;
  setMousePointer(kHourglass);
  setInputsEnabled(false);
  controls_.StatusBar1->showMessage(status);
  progress_->setValue(0);
  progress_->show();
  // The work counts on its thread; this one shows the count ten times a second.
  vorlet::Progress counted;
  QTimer shower;
  connect(&shower, &QTimer::timeout, this, [this, &counted, &status] {
    const int percent = counted.percent();
    progress_->setValue(percent);
    controls_.StatusBar1->showMessage(QStringLiteral("%1  %2%").arg(status).arg(percent));
  });
  shower.start(100);
  struct Restore {
    Form1& form;
    QPointer<QWidget>& focused;
    ~Restore() {
      form.progress_->hide();
      form.controls_.StatusBar1->clearMessage();
      form.setInputsEnabled(true);
      form.setMousePointer(kDefaultPointer);
      if (focused) focused->setFocus();
      form.busy_ = false;
    }
  } restore{*this, focused};
  runOffThisThread([&work, &counted] { work(counted); });
}

void Form1::setInputsEnabled(bool enabled) {
  const Form1Controls& c = controls_;
  for (QAction* action : {c.open, c.n_save, c.thinDetails}) action->setEnabled(enabled);
  for (QWidget* input :
       std::initializer_list<QWidget*>{c.Command1, c.Option1, c.Option2, c.Option3, c.Text1}) {
    input->setEnabled(enabled);
  }
}

void Form1::showIntervalError(vorlet::IntervalCheck check) {
  // One notice at most: a second refusal brings the open one to the front.
  if (!intervalError_) intervalError_ = new pls_value;  // deletes itself when closed
  intervalError_->setMessage(check == vorlet::IntervalCheck::TooLarge
                                 ? intervalTooLargeMessage()
                                 : pls_value::standardMessage());
  intervalError_->show();
  intervalError_->raise();
  intervalError_->activateWindow();
}

void Form1::editThinOptions() {
  ThinOptionsDialog dialog(thinOptions_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  thinOptions_ = dialog.options();
  storeThinOptions(*services_.settings, thinOptions_);
  services_.settings->sync();
}

void Form1::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program as the exit command does, with its other windows.
  if (intervalError_) intervalError_->close();
  services_.helpDesk->closeViewer();
  QMainWindow::closeEvent(event);
  QCoreApplication::quit();
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (!busy_ && !droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
  if (openDropped(event->mimeData())) event->acceptProposedAction();
}

bool Form1::openDropped(const QMimeData* dropped) {
  const QString path = droppedFile(dropped);
  if (path.isEmpty() || busy_) return false;
  openFile(path);
  return true;
}

void Form1::exitProgram() {
  close();
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
  plotWindow_->setResult(vars.ResultTable, workspace_.resultSettings);
}

// ---- end of the plot window ----

}  // namespace vorlet::app
