// window_benchmark MODE FILE [INTERVAL [OUT]]: times the window's open command on FILE and, unless
// MODE is "open", its thin command in MODE ("simple", "average" or "peak") by INTERVAL (10 unless
// given), then, when OUT is given, its save command writing OUT.
// The commands run through the real window, its menu action and thin button, on Qt's offscreen
// platform, with a file dialog that answers FILE. One line per step on standard output:
//
//   step=open seconds=0.8123 maxrss_kb=1234567 fields=6 records=10000001 cpu=0.8004
//
// seconds is wall-clock time, cpu the processor time of all the process's threads in the step.
// maxrss_kb is the process's peak resident memory so far (getrusage), so the line after the
// thin step covers both tables the window then holds. step=window gives the peak of the empty
// window, before anything is opened. Exit status 1 when a command refused or failed; a refused
// open still prints its line, and its message box's text on standard error as "refused: ...".
#include <sys/resource.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "app/CommonDialog.h"
#include "app/Fonts.h"
#include "app/Form1.h"
#include "app/Help.h"
#include "app/Notifier.h"

using namespace vorlet::app;

namespace {

// Answers every open dialog with the benchmark's file and every save dialog with its output,
// replacing an earlier output.
class FixedFileDialogs final : public FileDialogBackend {
 public:
  FixedFileDialogs(QString path, QString output)
      : path_(std::move(path)), output_(std::move(output)) {}
  std::optional<QString> chooseFileToOpen(const FileDialogRequest& /*request*/) override {
    return path_;
  }
  std::optional<QString> chooseFileToSave(const FileDialogRequest& /*request*/) override {
    return output_;
  }
  bool confirmReplace(const QString& /*path*/) override { return true; }
  bool confirmReplaceSource(const QString& /*path*/) override { return false; }

 private:
  QString path_;
  QString output_;
};

class RecordingNotifier final : public Notifier {
 public:
  std::vector<QString> messages;
  void notify(const QString& message) override { messages.push_back(message); }
};

class NoHelp final : public HelpDesk {
 public:
  void showHelp(const QString& /*helpFile*/) override {}
};

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long peakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // kilobytes on Linux
}

// Wall-clock and processor seconds (user and system, all threads) of one step.
struct Duration {
  double seconds;
  double cpu;
};

template <class Step>
Duration timed(Step step) {
  const double cpuStart = cpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  step();
  const auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  return {wall.count(), cpuSeconds() - cpuStart};
}

void report(const char* step, Duration duration, const QLabel& fields, const QLabel& records) {
  std::printf("step=%s seconds=%.4f maxrss_kb=%ld fields=%s records=%s cpu=%.4f\n", step,
              duration.seconds, peakRssKb(), qPrintable(fields.text()), qPrintable(records.text()),
              duration.cpu);
  std::fflush(stdout);
}

int usage() {
  std::fprintf(stderr, "usage: window_benchmark open|simple|average|peak FILE [INTERVAL [OUT]]\n");
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationName(QStringLiteral("Vorlet"));
  const QStringList args = QApplication::arguments();
  if (args.size() < 3 || args.size() > 5) return usage();
  const QString mode = args[1];
  if (mode != QLatin1String("open") && mode != QLatin1String("simple") &&
      mode != QLatin1String("average") && mode != QLatin1String("peak")) {
    return usage();
  }
  const QString interval = args.size() >= 4 ? args[3] : QStringLiteral("10");
  const QString output = args.size() == 5 ? args[4] : QString();
  installProgramFonts();

  auto dialogs = std::make_unique<FixedFileDialogs>(args[2], output);
  auto notices = std::make_unique<RecordingNotifier>();
  const RecordingNotifier& notifier = *notices;
  // The default thinning options, whatever the user's settings say.
  Form1 window(Form1Services{
      std::move(dialogs), std::move(notices), std::make_unique<NoHelp>(),
      std::make_unique<QSettings>(QStringLiteral("/dev/null"), QSettings::IniFormat)});
  const Form1Controls& c = window.controls();
  std::printf("step=window seconds=0 maxrss_kb=%ld fields= records= cpu=0\n", peakRssKb());

  const Duration open = timed([&] { c.open->trigger(); });
  report("open", open, *c.Label7, *c.Label8);
  if (!notifier.messages.empty()) {
    QString message = notifier.messages.front();
    std::fprintf(stderr, "refused: %s\n",
                 qPrintable(message.replace(QLatin1Char('\n'), QLatin1String(" / "))));
    return 1;
  }
  if (mode == QLatin1String("open")) return 0;

  c.Text1->setText(interval);
  (mode == QLatin1String("average") ? c.Option2
   : mode == QLatin1String("peak")  ? c.Option3
                                    : c.Option1)
      ->setChecked(true);
  const Duration thin = timed([&] { c.Command1->click(); });
  if (window.intervalError() != nullptr || !notifier.messages.empty()) {
    std::fprintf(stderr, "window_benchmark: thin refused the interval '%s'\n",
                 qPrintable(interval));
    return 1;
  }
  report(qPrintable(mode), thin, *c.Label10, *c.Label11);
  if (output.isEmpty()) return 0;

  const Duration save = timed([&] { c.n_save->trigger(); });
  report("save", save, *c.Label10, *c.Label11);
  return notifier.messages.empty() ? 0 : 1;
}
