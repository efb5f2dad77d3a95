// The main window as built: captions, fonts, menus and keyboard order.
#include <QAction>
#include <QFontInfo>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "AppTestSupport.h"
#include "app/FlexGrid.h"

using namespace vorlet::app;

namespace {

// Captions are "title" on frames and menus, "text" on everything else.
QString captionOf(const QObject* control) {
  const QVariant title = control->property("title");
  return (title.isValid() ? title : control->property("text")).toString();
}

}  // namespace

TEST_F(WindowTest, CaptionsAreTheJapaneseOnesWithTheirIdeographicSpaces) {
  const struct {
    const char* name;
    QString caption;
  } captions[] = {{"Frame2", QStringLiteral("csvファイル情報")},
                  {"Label6", QStringLiteral("　列×行　：")},
                  {"Command1", QStringLiteral("間引くボタン")},
                  {"n_save", QStringLiteral("名前をつけて保存")},
                  {"thinDetails", QStringLiteral("間引きの詳細設定...")},
                  {"verinfo", QStringLiteral("バージョン情報")}};
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
      {"Label5", "IPAPGothic", 8.25, false},
      {"Label7", "Liberation Sans", 9.75, true},
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
  QStringList menus;
  for (const QAction* menu : form->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus.join(u' '), QStringLiteral("ファイル オプション 表示 ヘルプ"));
  for (const QAction* action : form->findChildren<QAction*>()) {
    EXPECT_FALSE(action->text().contains(u'&')) << "access key in " << action->text().toStdString();
  }

  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  dialogs->openAnswers.push_back(kCancel);
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
  QTest::keyClick(form.get(), Qt::Key_F1);
  EXPECT_EQ(dialogs->openRequests.size(), 1u);
  ASSERT_EQ(notifier->messages.size(), 1u);  // nothing to save yet, and before any dialog
  EXPECT_TRUE(notifier->messages[0].contains(QStringLiteral("保存する間引き結果がありません")));
  EXPECT_TRUE(dialogs->saveRequests.empty());
  // The help menu and button ask the viewer for the file the lookup found.
  ui().Command3->click();
  const QString setting = lookUpHelpFile(QCoreApplication::applicationDirPath());
  EXPECT_EQ(form->helpSetting(), setting);
  EXPECT_EQ(helpDesk->requests, (std::vector<QString>{setting, setting}));
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
}
