// The plot window: its menu, how it follows the main window, the mouse and saving.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "AppTestSupport.h"
#include "app/PlotWindow.h"

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

// A time column of steps of 0.5 and a wave, under a heading.
vorlet::CellTable waveTable(std::int32_t records) {
  vorlet::CellTable table;
  table.dimension(1, 2, 1, records + 1);
  table.set(1, 1, vorlet::Cell::text("t"));
  for (std::int32_t r = 1; r <= records; ++r) {
    table.set(1, r + 1, vorlet::Cell::real(r * 0.5));
    table.set(2, r + 1, vorlet::Cell::real(std::sin(r / 1500.0) * 10));
  }
  return table;
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
  auto* graph = form->findChild<QAction*>(QStringLiteral("graph"));
  ASSERT_NE(graph, nullptr);

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
    // A time column is not plotted against itself: the next field is shown first.
    EXPECT_EQ(plot.field(), drop ? 1 : 2) << "value 0 at record " << drop;
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

  // The save button writes what is shown, as SVG for a name ending so.
  const vorlet::testing_files::TempFolder folder;
  dialogs.saveAnswers.push_back(QFile::decodeName((folder / "plot.svg").c_str()));
  plot.findChild<QPushButton*>(QStringLiteral("plotSave"))->click();
  EXPECT_NE(readBytes(folder / "plot.svg").find("<svg"), std::string::npos);
}
