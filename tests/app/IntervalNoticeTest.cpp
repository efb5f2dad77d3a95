// The interval error notice: one at a time, without owner, and how it and the main window end
// the program.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
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
  EXPECT_EQ(first->windowTitle(), QStringLiteral("エラー"));
  EXPECT_EQ(first->Label1->text(),
            QStringLiteral("　間引き間隔は、2以上の整数を指定してください。"));
  EXPECT_EQ(first->Command1->text(), QStringLiteral("確認"));
  EXPECT_EQ(first->size(), QSize(4140 / 15, 1185 / 15));
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

TEST_F(IntervalNoticeTest, ExitEndsTheProgramWithBothWindows) {
  for (const bool fromMenu : {false, true}) {
    form->show();
    refuse();
    const bool ended =
        programEndsAfter([&] { fromMenu ? ui().exit->trigger() : ui().Command2->click(); });
    EXPECT_TRUE(ended) << (fromMenu ? "menu" : "button");
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(openNotices(), 0);
  }
}

TEST_F(IntervalNoticeTest, ClosingTheMainWindowLeavesTheNoticeAndTheProgramRunning) {
  form->show();
  refuse();
  EXPECT_FALSE(programEndsAfter([&] { form->close(); }));
  EXPECT_EQ(openNotices(), 1);
  EXPECT_TRUE(programEndsAfter([&] { notice()->Command1->click(); }));
}
