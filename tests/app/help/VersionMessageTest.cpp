#include "app/Help.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

namespace {

TEST(VersionMessage, TextIsTheTwoLinesJoinedByCrLf) {
  EXPECT_EQ(versionMessageText(), QString("Vorlet Version 0.43a\r\nProgramed by Orrey"));
}

// What the message box showed, read while it was open.
struct SeenBox {
  bool seen = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  qsizetype buttons = 0;
  QMessageBox::StandardButtons standardButtons;
  Qt::WindowModality modality = Qt::NonModal;
};

TEST(VersionMessage, IsAModalBoxTitledVorletWithTheTwoLinesAndOneOkButton) {
  QWidget mainWindow;
  mainWindow.show();
  SeenBox box;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
    auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!shown || !shown->isVisible()) return;
    box = {true,
           shown->windowTitle(),
           shown->text(),
           shown->icon(),
           shown->buttons().size(),
           shown->standardButtons(),
           shown->windowModality()};
    poll.stop();
    shown->button(QMessageBox::Ok)->click();
  });
  poll.start();
  // A box that never shows up must not hang the test run.
  QTimer::singleShot(5000, &poll, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  showVersionMessage(&mainWindow);

  ASSERT_TRUE(box.seen);
  EXPECT_EQ(box.title, "Vorlet");
  EXPECT_EQ(box.text, versionMessageText());
  EXPECT_EQ(box.icon, QMessageBox::NoIcon);
  EXPECT_EQ(box.buttons, 1);
  EXPECT_EQ(box.standardButtons, QMessageBox::Ok);
  EXPECT_EQ(box.modality, Qt::ApplicationModal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
