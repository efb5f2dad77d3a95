// What users of a desktop tool expect of the window: whole counts, a readable path, a file from
// the command line or a drop, long work off the window's thread, and a grid that shows cut text.
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <thread>

#include "AppTestSupport.h"
#include "app/FlexGrid.h"
#include "app/Twips.h"

using namespace vorlet::app;

using DesktopTest = WindowTest;

// Up to 6 digits of columns and 10 of rows show whole in both frames, in a font no smaller than
// 60 % of the design's, each count its label's tooltip.
TEST_F(DesktopTest, CountsShowEveryDigitInBothFrames) {
  const struct {
    std::int64_t fields, records;
  } counts[] = {{5, 23}, {1000, 1'000'001}, {123'456, 500'000}, {999'999, 9'999'999'999}};
  for (const CountRow* row : {&ui().sourceCounts, &ui().resultCounts}) {
    const QWidget* frame = row->fields->parentWidget();
    for (const auto& count : counts) {
      showCounts(*row, count.fields, count.records);
      SCOPED_TRACE(row->fields->objectName().toStdString() + " " + std::to_string(count.records));
      for (const QLabel* label : {row->fields, row->records}) {
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width());
        EXPECT_EQ(label->toolTip(), label->text());
      }
      EXPECT_EQ(row->records->text(), QString::number(count.records));
      EXPECT_GE(row->records->font().pointSizeF(), 0.6 * row->recordsFont.pointSizeF());
      EXPECT_LE(row->fields->x() +
                    QFontMetrics(row->fields->font()).horizontalAdvance(row->fields->text()),
                row->times->x());
      EXPECT_LE(row->times->geometry().right(), row->records->x());
      EXPECT_LE(row->records->geometry().right(), frame->width());
    }
  }
}

// A long path loses the middle of its folder part, so the file name shows in the lines above
// the "列×行" row; the whole path is the tooltip.
TEST_F(DesktopTest, ALongPathShowsItsFileNameAboveTheCounts) {
  const QString name = QStringLiteral("測定データ_2024年12月_最終版.csv");
  const QString longPath =
      QStringLiteral("/home/user/") + QStringLiteral("深い階層のフォルダー/").repeated(12) + name;
  PathLabel& label = *ui().Label5;
  label.setPath(longPath);
  const QString shown = label.shownText();
  EXPECT_TRUE(shown.endsWith(name)) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("/home"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("…")));
  const QRect needed = label.fontMetrics().boundingRect(
      QRect(0, 0, label.contentsRect().width(), 1 << 20), Qt::TextWrapAnywhere, shown);
  EXPECT_LE(label.y() + needed.height(), ui().Label6->y());
  EXPECT_EQ(label.toolTip(), longPath);

  label.setPath(QStringLiteral("/tmp/a.csv"));
  EXPECT_EQ(label.shownText(), QStringLiteral("/tmp/a.csv"));
}

TEST_F(DesktopTest, AFileGivenAtStartOrDroppedIsOpened) {
  writeBytes(scratch("given.csv"), "1,2\r\n");
  form->openFile(path("given.csv"));
  EXPECT_EQ(ui().Label5->text(), path("given.csv"));

  writeBytes(scratch("dropped.csv"), "1,2,3\r\n4,5,6\r\n");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path("dropped.csv"))});
  EXPECT_TRUE(form->acceptDrops());
  EXPECT_TRUE(form->openDropped(&data));
  EXPECT_EQ(ui().Label5->text(), path("dropped.csv"));
  EXPECT_EQ(ui().Label8->text(), QStringLiteral("2"));

  data.setUrls({QUrl::fromLocalFile(path("missing.csv"))});
  form->openDropped(&data);
  EXPECT_EQ(notifier->messages.size(), 1u);
  EXPECT_EQ(ui().Label5->text(), path("dropped.csv"));
}

// The status bar shows what is done and how far, the pointer is the hourglass; all comes back.
TEST_F(DesktopTest, LongWorkRunsOffTheWindowsThreadWithItsInputsBlocked) {
  const auto* bar = form->findChild<QProgressBar*>(QStringLiteral("Progress"));
  ASSERT_NE(bar, nullptr);
  ui().Command1->setFocus();
  std::atomic<bool> looked{false};
  // On the window's thread while the work runs, once it has shown the work's count.
  QTimer::singleShot(350, [&] {
    EXPECT_FALSE(ui().Command1->isEnabled() || ui().open->isEnabled() || ui().n_save->isEnabled() ||
                 ui().Text1->isEnabled() || ui().Option3->isEnabled());
    EXPECT_TRUE(ui().Command2->isEnabled() && ui().Command3->isEnabled());
    EXPECT_EQ(ui().StatusBar1->currentMessage(),
              QStringLiteral("読み込んでいます: a.csv（534 MB）  42%"));
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->value(), 42);
    EXPECT_EQ(form->mousePointer(), kHourglass);
    looked = true;
  });
  std::thread::id worker;
  form->runBusy(QStringLiteral("読み込んでいます: a.csv（534 MB）"),
                [&](vorlet::Progress& progress) {
                  worker = std::this_thread::get_id();
                  progress.start(200);
                  progress.add(84);
                  while (!looked) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                });
  EXPECT_NE(worker, std::this_thread::get_id());
  EXPECT_TRUE(ui().Command1->isEnabled() && ui().open->isEnabled());
  EXPECT_TRUE(bar->isHidden());
  EXPECT_EQ(form->mousePointer(), kDefaultPointer);
}

TEST_F(DesktopTest, CutCellsShowTheirTextAndColumnsWidenByDraggingTheirEdge) {
  FlexGrid& grid = *ui().MSFlexGrid1;
  const QString longText = QStringLiteral("1700000000000.123456789");
  grid.setRow(0);
  grid.setCol(0);
  grid.setText(longText);
  grid.setCol(1);
  grid.setText(QStringLiteral("7"));
  const QPoint first = grid.visualRect(grid.model()->index(0, 0)).center();
  EXPECT_EQ(grid.cutTextAt(first), longText);
  EXPECT_TRUE(grid.cutTextAt(grid.visualRect(grid.model()->index(0, 1)).center()).isEmpty());

  const int before = grid.columnWidth(0);
  const QPoint edge(grid.columnViewportPosition(0) + before, 5);
  const auto send = [&grid](QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, grid.viewport()->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(grid.viewport(), &event);
  };
  send(QEvent::MouseButtonPress, edge);
  send(QEvent::MouseMove, edge + QPoint(150, 0));
  send(QEvent::MouseButtonRelease, edge + QPoint(150, 0));
  EXPECT_EQ(grid.columnWidth(0), before + 150);
  EXPECT_TRUE(grid.cutTextAt(first).isEmpty());
}
