// The plot window: its menu, how it follows the main window, the mouse, and pictures for reviewers.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "AppTestSupport.h"
#include "app/PlotWindow.h"
#include "thinning/ThinTable.h"

namespace {

// "時刻,温度,湿度" then records of a time column from 110 in steps of 10 and two signals.
std::string timedCsv(int records) {
  std::string text = "時刻,温度,湿度\r\n";
  for (int r = 1; r <= records; ++r) {
    text += std::to_string(100 + 10 * r) + "," + std::to_string(20 + r % 7) + ".5," +
            std::to_string(40 + r) + "\r\n";
  }
  return text;
}

// A noisy wave with three one-record spikes, a run of gaps and a heading, in a table.
vorlet::CellTable waveTable(std::int32_t records) {
  vorlet::CellTable table;
  table.dimension(1, 2, 1, records + 1);
  table.set(1, 1, vorlet::Cell::text("t"));
  table.set(2, 1, vorlet::Cell::text("signal"));
  std::uint32_t noise = 1;
  for (std::int32_t r = 1; r <= records; ++r) {
    noise = noise * 1103515245u + 12345u;
    double value = std::sin(r / 1500.0) * 10 + (noise >> 16) % 100 / 50.0;
    if (r % 7001 == 3000) value += 40;
    std::string text = std::to_string(value);
    if (r > records / 2 && r < records / 2 + 400) text = "-";
    table.set(1, r + 1, vorlet::Cell::text(std::to_string(r * 0.5)));
    table.set(2, r + 1, vorlet::Cell::text(text));
  }
  return table;
}

// Each group's smallest and largest value in the order they occur, as peak thinning keeps them.
vorlet::CellTable peakResult(const vorlet::CellTable& source, std::int16_t n) {
  const std::int32_t groups = (*source.upperBound(2)) / n;
  vorlet::CellTable result;
  result.dimension(0, 2, 0, 2 * groups);
  for (std::int32_t g = 0; g < groups; ++g) {
    std::int32_t low = g * n + 1;
    std::int32_t high = low;
    for (std::int32_t r = g * n + 1; r <= (g + 1) * n; ++r) {
      const double value = plotValue(source, 2, r);
      if (std::isnan(value)) continue;
      if (std::isnan(plotValue(source, 2, low)) || value < plotValue(source, 2, low)) low = r;
      if (std::isnan(plotValue(source, 2, high)) || value > plotValue(source, 2, high)) high = r;
    }
    result.set(2, 2 * g + 1, source.cellAt(2, std::min(low, high)));
    result.set(2, 2 * g + 2, source.cellAt(2, std::max(low, high)));
  }
  return result;
}

void wheel(QWidget& widget, QPoint at, int steps) {
  QWheelEvent event(at, widget.mapToGlobal(at), {}, QPoint(0, 120 * steps), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&widget, &event);
}

void drag(QWidget& widget, QPoint from, QPoint to, Qt::MouseButton button) {
  const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
  };
  send(QEvent::MouseButtonPress, from, button);
  send(QEvent::MouseMove, to, button);
  send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

}  // namespace

TEST_F(WindowTest, GraphMenuShowsOneWindowThatFollowsOpenAndThin) {
  QStringList menus;
  for (const QAction* action : form->menuBar()->actions()) menus << action->text();
  EXPECT_EQ(menus.join(u' '), QStringLiteral("ファイル オプション 表示 ヘルプ"));
  auto* graph = form->findChild<QAction*>(QStringLiteral("graph"));
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(graph->shortcut(), QKeySequence(QStringLiteral("Ctrl+G")));

  writeBytes(scratch("a.csv"), timedCsv(40));
  open(path("a.csv"));
  graph->trigger();
  PlotWindow* plot = form->plotWindow();
  ASSERT_NE(plot, nullptr);
  graph->trigger();
  EXPECT_EQ(form->plotWindow(), plot);
  ASSERT_TRUE(plot->waitForBuild());
  ASSERT_EQ(plot->fieldBox().count(), 3);
  EXPECT_EQ(plot->fieldBox().itemText(0), QStringLiteral("1: 時刻"));
  EXPECT_EQ(plot->fieldBox().currentIndex(), 1);  // the time column is the x axis, not the default
  EXPECT_EQ(plot->canvas().xRange(), (AxisRange{110, 500}));  // times; the heading is not plotted
  EXPECT_TRUE(plot->statusText().contains(QStringLiteral("レコード数 41")));

  thin(QStringLiteral("5"), vorlet::ThinMode::Average);
  ASSERT_TRUE(plot->waitForBuild());
  EXPECT_TRUE(plot->canvas().hasResult());
  cancelOpen();  // nothing changed: the plot keeps its result
  EXPECT_TRUE(plot->canvas().hasResult());

  writeBytes(scratch("b.csv"), "1\r\n2\r\n3\r\n");
  open(path("b.csv"));
  ASSERT_TRUE(plot->waitForBuild());
  EXPECT_FALSE(plot->canvas().hasResult());  // the old result belongs to the old file
  EXPECT_EQ(plot->fieldBox().itemText(0), QStringLiteral("フィールド 1"));
  EXPECT_EQ(plot->canvas().xRange(), (AxisRange{1, 3}));  // record numbers
  EXPECT_FALSE(plot->testAttribute(Qt::WA_QuitOnClose));
}

TEST(PlotWindowTest, TheFirstFieldIsTheXAxisOnlyWhenItNeverDecreases) {
  ScriptedFileDialogs dialogs;
  PlotWindow plot(dialogs);
  constexpr std::int32_t kRecords = 1000;  // checked in two halves, split at value 448
  for (const std::int32_t drop : {0, 2, 449, 450, kRecords}) {
    vorlet::CellTable table;
    table.dimension(1, 2, 1, kRecords);
    for (std::int32_t r = 1; r <= kRecords; ++r) {
      table.set(1, r, vorlet::Cell::integer32(r == drop ? 0 : 10 * r));
      table.set(2, r, vorlet::Cell::integer32(r % 7));
    }
    plot.setSource(table, vorlet::TextEncoding::Utf8);
    ASSERT_TRUE(plot.waitForBuild());
    EXPECT_EQ(plot.canvas().xRange(),
              (drop ? AxisRange{1, kRecords} : AxisRange{10, 10 * kRecords}))
        << "value 0 at record " << drop;
  }
}

TEST(PlotWindowTest, WheelZoomsAroundThePointerRectangleZoomsInAndHomeShowsAll) {
  ScriptedFileDialogs dialogs;
  PlotWindow plot(dialogs);
  const vorlet::CellTable table = waveTable(20'000);
  plot.setSource(table, vorlet::TextEncoding::Utf8);
  ASSERT_TRUE(plot.waitForBuild());
  plot.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
  PlotCanvas& canvas = plot.canvas();
  const AxisRange all = canvas.xRange();
  EXPECT_EQ(all, (AxisRange{0.5, 10'000}));
  plot.showField(3);  // there is no field 3
  EXPECT_EQ(plot.field(), 2);

  const QPoint at(canvas.width() / 3, canvas.height() / 2);
  canvas.grab();  // lays the plot area out
  const auto xAt = [&](int pixel) {
    const AxisRange& x = canvas.xRange();
    return x.lo + (pixel - 84) * x.width() / (canvas.width() - 84 - 18);
  };
  const double before = xAt(at.x());
  wheel(canvas, at, 2);
  EXPECT_NEAR(canvas.xRange().width(), all.width() * 0.64, 1e-6 * all.width());
  EXPECT_NEAR(xAt(at.x()), before, 1e-6 * all.width());

  drag(canvas, QPoint(200, 100), QPoint(300, 200), Qt::LeftButton);
  EXPECT_NEAR(canvas.xRange().width(), all.width() * 0.64 * 100 / (canvas.width() - 102), 1e-3);
  const AxisRange zoomed = canvas.xRange();
  drag(canvas, QPoint(300, 150), QPoint(200, 150), Qt::MiddleButton);
  EXPECT_NEAR(canvas.xRange().lo, zoomed.lo + zoomed.width() * 100 / (canvas.width() - 102),
              1e-6 * all.width());

  QTest::keyClick(&canvas, Qt::Key_Home);
  EXPECT_EQ(canvas.xRange(), all);
}

TEST(PlotWindowTest, SavesPicturesOfSourceAndResultForReviewers) {
  const QString folder = QStringLiteral(VORLET_BINARY_DIR "/screenshots");
  ASSERT_TRUE(QDir().mkpath(folder));
  ScriptedFileDialogs dialogs;
  PlotWindow plot(dialogs);
  plot.resize(1100, 650);
  plot.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));

  vorlet::SharedVariables vars;
  vars.SourceTable = waveTable(200'000);
  plot.setSource(vars.SourceTable, vorlet::TextEncoding::Utf8);
  plot.showField(2);
  vorlet::ThinSettings settings;
  settings.interval = 1000;
  for (const auto& [name, mode] : {std::pair{"simple", vorlet::ThinMode::Simple},
                                   std::pair{"average", vorlet::ThinMode::Average},
                                   std::pair{"peak", vorlet::ThinMode::Peak}}) {
    settings.mode = mode;
    if (mode == vorlet::ThinMode::Peak) {
      vars.ResultTable = peakResult(vars.SourceTable, settings.interval);
    } else {
      vorlet::thinTable(vars, settings);
    }
    plot.setResult(vars.ResultTable, settings);
    ASSERT_TRUE(plot.waitForBuild());
    EXPECT_TRUE(plot.canvas().hasResult());
    EXPECT_TRUE(plot.grab().save(folder + QStringLiteral("/plot-%1.png").arg(name)));
  }
  // Zoomed in: the result's points far apart enough for markers, the source as a line.
  plot.canvas().setXRange({40'000, 60'000});
  EXPECT_TRUE(plot.grab().save(folder + QStringLiteral("/plot-peak-zoomed.png")));
  // The same as SVG, through the button and the save dialog.
  const std::filesystem::path svg =
      std::filesystem::path(VORLET_BINARY_DIR) / "screenshots" / "plot-peak-zoomed.svg";
  dialogs.saveAnswers.push_back(QString::fromStdString(svg.string()));
  if (std::filesystem::exists(svg)) dialogs.replaceAnswers.push_back(true);
  plot.findChild<QPushButton*>(QStringLiteral("plotSave"))->click();
  EXPECT_NE(readBytes(svg).find("<svg"), std::string::npos);
}
