// The main window as built: places, captions, fonts, menus, keyboard order and initial state.
#include <QAction>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>

#include "AppTestSupport.h"
#include "app/FlexGrid.h"

namespace {

QRect inTwips(int left, int top, int width, int height) {
  return {left / 15, top / 15, width / 15, height / 15};
}

// Captions are "title" on frames and menus, "text" on everything else.
QString captionOf(const QObject* control) {
  const QVariant title = control->property("title");
  return (title.isValid() ? title : control->property("text")).toString();
}

}  // namespace

TEST_F(WindowTest, ControlsSitAtTheirPlacesInsideAFixedClientArea) {
  const struct {
    const char* name;
    const char* parent;
    QRect place;
  } spots[] = {
      {"Label5", "Frame2", inTwips(960, 240, 2055, 735)},
      {"Label11", "Frame3", inTwips(1920, 840, 375, 375)},
      {"Option2", "ClientArea", inTwips(3960, 2760, 1335, 255)},  // over Frame1, not in it
      {"Label2", "Frame1", inTwips(240, 1440, 1095, 255)},
      {"MSFlexGrid2", "ClientArea", inTwips(5760, 2040, 3375, 3495)},
  };
  for (const auto& spot : spots) {
    const auto* widget = form->findChild<QWidget*>(QString::fromLatin1(spot.name));
    ASSERT_NE(widget, nullptr) << spot.name;
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(spot.parent)) << spot.name;
    EXPECT_EQ(widget->geometry(), spot.place) << spot.name;
  }

  form->show();
  const QStatusBar& bar = *ui().StatusBar1;  // inside the client area, at its foot
  EXPECT_EQ(bar.geometry().translated(0, -form->centralWidget()->y()),
            inTwips(0, 5850, 10755, 375));
  EXPECT_EQ(bar.geometry().bottom(), form->rect().bottom());
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("Panel1"))->width(), 1440 / 15);
}

TEST_F(WindowTest, CaptionsAreTheJapaneseOnesWithTheirIdeographicSpaces) {
  const struct {
    const char* name;
    QString caption;
  } captions[] = {
      {"Frame2", QStringLiteral("csvファイル情報")},
      {"Label6", QStringLiteral("　列×行　：")},
      {"Label1", QStringLiteral("CSVファイルプレビュー")},
      {"Option2", QStringLiteral("平均間引き")},
      {"Command1", QStringLiteral("間引くボタン")},
      {"Command3", QStringLiteral("Help")},
      {"file", QStringLiteral("ファイル")},
      {"n_save", QStringLiteral("名前をつけて保存")},
      {"verinfo", QStringLiteral("バージョン情報")},
  };
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Vorlet"));
  for (const auto& expected : captions) {
    const QString name = QString::fromLatin1(expected.name);
    const QObject* control = form->findChild<QWidget*>(name);
    if (!control) control = form->findChild<QAction*>(name);
    ASSERT_NE(control, nullptr) << expected.name;
    EXPECT_EQ(captionOf(control), expected.caption) << expected.name;
  }
}

TEST_F(WindowTest, ControlsUseTheirFontsThroughTheInstalledSubstitutes) {
  const struct {
    const char* name;
    const char* family;
    qreal points;
    bool bold;
  } fonts[] = {
      {"Label1", "IPAPGothic", 9, false},
      {"Label5", "IPAPGothic", 8.25, false},
      {"Label7", "Liberation Sans", 9.75, true},
      {"Label9", "IPAPGothic", 11.25, true},
      {"Label10", "Liberation Sans", 11.25, true},
      {"Command1", "IPAPGothic", 9, false},
      {"MSFlexGrid1", "Liberation Sans", 11.25, false},
  };
  for (const auto& expected : fonts) {
    const auto* widget = form->findChild<QWidget*>(QString::fromLatin1(expected.name));
    ASSERT_NE(widget, nullptr) << expected.name;
    const QFontInfo used(widget->font());
    EXPECT_EQ(used.family(), QString::fromLatin1(expected.family)) << expected.name;
    EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), expected.points) << expected.name;
    EXPECT_EQ(used.bold(), expected.bold) << expected.name;
  }
}

TEST_F(WindowTest, MenusShowTheirShortcutsWhichRunTheCommands) {
  EXPECT_EQ(ui().open->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  EXPECT_EQ(ui().n_save->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  for (const QAction* action : form->findChildren<QAction*>()) {
    EXPECT_FALSE(action->text().contains(u'&')) << "access key in " << action->text().toStdString();
  }

  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  dialogs->openAnswers.push_back(kCancel);
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(dialogs->openRequests.size(), 1u);
  EXPECT_EQ(notifier->messages.size(), 1u);  // nothing to save yet
}

TEST_F(WindowTest, TabVisitsTheControlsInTheirOrderStartingAtTheThinButton) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  ASSERT_EQ(QApplication::focusWidget(), ui().Command1);
  EXPECT_TRUE(ui().Option1->isChecked());
  const auto tabOnce = [] {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return QApplication::focusWidget()->objectName();
  };
  QStringList visited;
  for (int i = 0; i < 7; ++i) visited << tabOnce();
  EXPECT_EQ(visited.join(u' '), QStringLiteral("Option1 Text1 Command2 Command3 MSFlexGrid1 "
                                               "MSFlexGrid2 Command1"));

  ui().Option2->click();  // the two option buttons are one stop: the selected one
  EXPECT_FALSE(ui().Option1->isChecked());
  ui().Command1->setFocus();
  EXPECT_EQ(tabOnce(), QStringLiteral("Option2"));
  EXPECT_EQ(tabOnce(), QStringLiteral("Text1"));
}

TEST_F(WindowTest, HelpButtonAndMenuEachAskTheViewerOnceWithTheLookedUpSetting) {
  ui().Command3->click();
  ui().helpm->trigger();
  const QString setting = lookUpHelpFile(QCoreApplication::applicationDirPath());
  EXPECT_EQ(form->helpSetting(), setting);
  EXPECT_EQ(helpDesk->requests, (std::vector<QString>{setting, setting}));
}

TEST_F(WindowTest, GridsShowCellsInWindowColoursOnGreyWithLightGreyLines) {
  form->show();
  FlexGrid& grid = *ui().MSFlexGrid1;
  grid.selectionModel()->clear();
  grid.horizontalHeader()->setDefaultSectionSize(20);  // narrow, to bare the area beyond
  const QImage image = grid.viewport()->grab().toImage();
  const QRect cell = grid.visualRect(grid.model()->index(0, 4));
  const int y = cell.center().y();
  EXPECT_EQ(image.pixelColor(cell.center()), QApplication::palette().color(QPalette::Base));
  EXPECT_EQ(image.pixelColor(cell.right() + 1, y), QColor(192, 192, 192));
  EXPECT_EQ(image.pixelColor(cell.right() + 10, y), QColor(128, 128, 128));
}
