// window_screenshots [FOLDER]: pictures of the window for reviewers, by default in
// <build>/screenshots: at start, after thinning a Shift-JIS file, the interval notice, a long
// path in peak mode, the plot window over it (whole and zoomed in, also as SVG), the thinning
// details dialog, and counts of 1,000 columns by 1,000,001 rows. Runs on Qt's offscreen platform;
// the files it opens are written inside FOLDER.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/CommonDialog.h"
#include "app/Fonts.h"
#include "app/Form1.h"
#include "app/Help.h"
#include "app/Notifier.h"
#include "app/PlotWindow.h"
#include "app/ThinOptionsDialog.h"
#include "app/ValueLabels.h"

using namespace vorlet::app;

namespace {

// Answers each open dialog with the path set last, and a save dialog with `save`, once.
class NextFileDialogs final : public FileDialogBackend {
 public:
  QString next;
  QString save;
  std::optional<QString> chooseFileToOpen(const FileDialogRequest& /*request*/) override {
    return next;
  }
  std::optional<QString> chooseFileToSave(const FileDialogRequest& /*request*/) override {
    if (save.isEmpty()) return std::nullopt;
    return std::exchange(save, QString());
  }
  bool confirmReplace(const QString& /*path*/) override { return true; }
  bool confirmReplaceSource(const QString& /*path*/) override { return false; }
};

class PrintingNotifier final : public Notifier {
 public:
  void notify(const QString& message) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(message));
  }
};

class NoHelp final : public HelpDesk {
 public:
  void showHelp(const QString& /*helpFile*/) override {}
};

void write(const QString& path, const std::string& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

// A Japanese heading line, then 23 records of numbers, in code page 932:
// "時刻,温度,湿度,気圧,風速,備考".
std::string observations() {
  std::string text =
      "\x8e\x9e\x8d\x8f,\x89\xb7\x93\x78,\x8e\xbc\x93\x78,\x8b\x43\x88\xb3,"
      "\x95\x97\x91\xac,\x94\xf5\x8d\x6c\r\n";
  for (int r = 1; r <= 23; ++r) {
    text += std::to_string(r) + "," + std::to_string(20 + r % 7) + ".5," + std::to_string(40 + r) +
            "," + std::to_string(1000 + r) + "," + std::to_string(r % 5) + ",\x82\xa0\r\n";
  }
  return text;
}

// A signal with a spike every 7 records, the kind peak mode keeps.
std::string signal() {
  std::string text;
  for (int r = 1; r <= 2000; ++r) {
    text += std::to_string(r) + "," + (r % 7 == 0 ? "9.75" : "0.5") + "," + std::to_string(r % 10) +
            "\r\n";
  }
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vorlet"));
  installProgramFonts();
  const QStringList args = QApplication::arguments();
  const QString folder =
      args.size() > 1 ? args[1] : QStringLiteral(VORLET_BINARY_DIR "/screenshots");
  const QString files = folder + QStringLiteral("/files/観測データ/2024年/第3四半期/現場A/ロガー1");
  if (!QDir().mkpath(files)) return 1;

  auto dialogs = std::make_unique<NextFileDialogs>();
  NextFileDialogs& chooser = *dialogs;
  Form1 window(Form1Services{
      std::move(dialogs), std::make_unique<PrintingNotifier>(), std::make_unique<NoHelp>(),
      // the default thinning options, whatever the user's settings say
      std::make_unique<QSettings>(QStringLiteral("/dev/null"), QSettings::IniFormat)});
  const Form1Controls& c = window.controls();
  window.show();
  QApplication::processEvents();
  bool saved = true;
  const auto picture = [&](QWidget& widget, const char* name) {
    QApplication::processEvents();
    saved = widget.grab().save(folder + u'/' + QLatin1String(name)) && saved;
  };
  const auto thin = [&](const char* interval, QRadioButton* mode) {
    c.Text1->setText(QString::fromLatin1(interval));
    mode->setChecked(true);
    c.Command1->click();
  };
  picture(window, "start.png");

  chooser.next = folder + QStringLiteral("/files/観測.csv");
  write(chooser.next, observations());
  c.open->trigger();
  thin("5", c.Option1);
  picture(window, "thinned.png");

  thin("1", c.Option1);
  if (window.intervalError() != nullptr) picture(*window.intervalError(), "notice.png");

  chooser.next = files + QStringLiteral("/温度と湿度の連続測定_2024年09月30日_最終確認済み.csv");
  write(chooser.next, signal());
  c.open->trigger();
  thin("10", c.Option3);
  picture(window, "long-path-peak.png");

  window.findChild<QAction*>(QStringLiteral("graph"))->trigger();
  PlotWindow* plot = window.plotWindow();
  if (plot == nullptr || !plot->waitForBuild()) return 1;
  plot->resize(1100, 650);
  picture(*plot, "plot-peak.png");
  plot->canvas().setXRange({400, 600});  // the result's points far enough apart for markers
  picture(*plot, "plot-peak-zoomed.png");
  chooser.save = folder + QStringLiteral("/plot-peak-zoomed.svg");
  plot->findChild<QPushButton*>(QStringLiteral("plotSave"))->click();
  plot->close();

  ThinOptionsDialog details(ThinOptions{1, true, true, false}, &window);
  details.show();
  picture(details, "thin-details.png");
  details.close();

  showCounts(c.sourceCounts, 1000, 1'000'001);
  showCounts(c.resultCounts, 1000, 500'000);
  picture(window, "big-counts.png");
  std::printf("screenshots in %s\n", qPrintable(folder));
  return saved ? 0 : 1;
}
