// The interval error notice: one at a time, without owner, and how it and the main window end
// the program.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/pls_value.h"

using namespace vorlet::app;

namespace {

int openNotices() {
  int count = 0;
  for (const QWidget* window : QApplication::topLevelWidgets()) {
    if (window->objectName() == u"pls_value" && window->isVisible()) ++count;
  }
  return count;
}

// Runs `steps` inside the application's event loop and reports whether the loop ended, that is
// whether the program would have ended. A loop still running after the steps is stopped.
bool programEndsAfter(const std::function<void()>& steps) {
  bool ended = true;
  QTimer stillRunning;
  stillRunning.setSingleShot(true);
  QObject::connect(&stillRunning, &QTimer::timeout, [&ended] {
    ended = false;
    QCoreApplication::exit(1);
  });
  QTimer::singleShot(0, [&] {
    steps();
    stillRunning.start(200);
  });
  QApplication::exec();
  return ended;
}

}  // namespace

class IntervalNoticeTest : public WindowTest {
 protected:
  void refuse() { thin(QStringLiteral("1")); }
  pls_value* notice() const { return form->intervalError(); }
};

TEST_F(IntervalNoticeTest, RefusalsShowOneOwnerlessNoticeThatItsButtonDestroys) {
  refuse();
  refuse();
  EXPECT_EQ(openNotices(), 1);
  QPointer<pls_value> first = notice();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->parent(), nullptr);
  EXPECT_EQ(first->Label1->text(),
            QStringLiteral("　間引き間隔は、2以上の整数を指定してください。"));
  EXPECT_FALSE(first->isModal());

  first->Command1->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(notice(), nullptr);

  refuse();
  ASSERT_NE(notice(), nullptr);
  notice()->close();  // the close box destroys it too
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(notice(), nullptr);
}

// Closing the main window ends the program as the exit command does (its button is pressed in
// EnterPressesTheFocusedButton), the notice and the help viewer included.
TEST_F(IntervalNoticeTest, ClosingTheMainWindowEndsTheProgramWithTheNoticeAndTheHelp) {
  for (const bool fromMenu : {false, true}) {
    form->show();
    refuse();
    ui().Command3->click();
    EXPECT_TRUE(programEndsAfter([&] { fromMenu ? ui().exit->trigger() : (void)form->close(); }));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(openNotices(), 0);
  }
  EXPECT_EQ(helpDesk->closed, 2);
}

TEST_F(IntervalNoticeTest, EnterPressesTheFocusedButton) {
  writeBytes(scratch("a.csv"), "1\r\n2\r\n3\r\n4\r\n");
  open(path("a.csv"));
  ui().Text1->setText(QStringLiteral("2"));
  QTest::keyClick(ui().Command1, Qt::Key_Return);
  EXPECT_EQ(ui().Label11->text(), QStringLiteral("2"));
  QTest::keyClick(ui().Command3, Qt::Key_Enter);
  EXPECT_EQ(helpDesk->requests.size(), 1u);
  form->show();
  EXPECT_TRUE(programEndsAfter([&] { QTest::keyClick(ui().Command2, Qt::Key_Return); }));

  refuse();
  QPointer<pls_value> shown = notice();
  shown->Command1->setFocus();
  QTest::keyClick(shown->Command1, Qt::Key_Return);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(shown.isNull());
}

TEST_F(IntervalNoticeTest, AnIntervalAboveTheLimitIsToldTheLimit) {
  thin(QStringLiteral("４００００"));
  ASSERT_NE(notice(), nullptr);
  EXPECT_TRUE(notice()->Label1->text().contains(QStringLiteral("32767以下")));
  refuse();
  EXPECT_EQ(notice()->Label1->text(), pls_value::standardMessage());
}
