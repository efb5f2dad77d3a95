#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include "app/Help.h"

using namespace vorlet::app;

namespace {

TEST(VersionMessage, IsAModalBoxTitledVorletWithTwoLinesJoinedByCrLfAndOneOkButton) {
  EXPECT_EQ(versionMessageText(), QString("Vorlet Version 0.43a\r\nProgramed by Orrey"));
  QWidget mainWindow;
  mainWindow.show();
  bool seen = false;
  QTimer poll;  // looks at the box while it is open, then closes it with its button
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    seen = true;
    poll.stop();
    EXPECT_EQ(box->windowTitle(), "Vorlet");
    EXPECT_EQ(box->text(), versionMessageText());
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    box->button(QMessageBox::Ok)->click();
  });
  poll.start();
  // A box that never shows up must not hang the test run.
  QTimer::singleShot(5000, &poll, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  showVersionMessage(&mainWindow);
  EXPECT_TRUE(seen);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
