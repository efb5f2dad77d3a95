// The help file's lookup, the help viewer, the version message and the built-in icons.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

#include "app/Help.h"

using namespace vorlet::app;

namespace {

TEST(LookUpHelpFile, CountsOnlyAnOrdinaryVisibleFileInTheProgramOrItsShareFolder) {
  struct Case {
    const char* name;
    std::function<void(const QDir&)> layOut;
    std::function<bool(const QFileInfo&)> isHidden;  // empty: the system's
    const char* programFolder;                       // under the fresh folder
    const char* found;  // the full path under it, or null for the bare name
  };
  const auto helpFileIn = [](const char* folder) {
    return [folder](const QDir& dir) {
      ASSERT_TRUE(dir.mkpath(folder));
      QFile file(dir.filePath(QString(folder) + "/vorlet.hlp"));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
  };
  const auto inBinAndShare = [helpFileIn](const QDir& dir) {
    helpFileIn("bin")(dir);
    helpFileIn("share/vorlet")(dir);
  };
  const auto neverHidden = [](const QFileInfo&) { return false; };
  const auto markedHidden = [](const QFileInfo& info) { return info.fileName() == "vorlet.hlp"; };
  const Case cases[] = {
      {"ordinary file", helpFileIn("."), neverHidden, "", "/vorlet.hlp"},
      {"nothing there", [](const QDir&) {}, neverHidden, "", nullptr},
      {"folder of that name", [](const QDir& dir) { ASSERT_TRUE(dir.mkdir("vorlet.hlp")); },
       neverHidden, "", nullptr},
      {"hidden file", helpFileIn("."), markedHidden, "", nullptr},
      // Installed under ~/.local/bin, say: only the help file's own hidden-ness counts.
      {"in a hidden folder", helpFileIn(".local/bin"), {}, "/.local/bin", "/.local/bin/vorlet.hlp"},
      // A "folder" that is really a file: the system answers the search with an error.
      {"file as the folder",
       [](const QDir& dir) { QFile(dir.filePath("program")).open(QIODevice::WriteOnly); },
       {},
       "/program",
       nullptr},
      // Installed: the program in bin, its help file in share/vorlet; one beside it comes first.
      {"installed", helpFileIn("share/vorlet"), {}, "/bin", "/share/vorlet/vorlet.hlp"},
      {"folder with a slash", helpFileIn("share/vorlet"), {}, "/bin/", "/share/vorlet/vorlet.hlp"},
      {"installed with a copy beside", inBinAndShare, {}, "/bin", "/bin/vorlet.hlp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    c.layOut(QDir(root.path()));
    const QString expected = c.found ? root.path() + c.found : "vorlet.hlp";
    const QString folder = root.path() + c.programFolder;
    const QString found = c.isHidden ? lookUpHelpFile(folder, c.isHidden) : lookUpHelpFile(folder);
    EXPECT_EQ(found.toStdString(), expected.toStdString());
  }
}

QList<QTextBrowser*> viewerWindows() {
  QList<QTextBrowser*> viewers;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (auto* viewer = qobject_cast<QTextBrowser*>(window)) viewers << viewer;
  return viewers;
}

bool anyMessageBox() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (qobject_cast<QMessageBox*>(window)) return true;
  return false;
}

// A help page with a title, a heading and enough lines to scroll.
QByteArray helpPage(const QString& title) {
  QString html = "<html><head><meta charset=\"utf-8\"><title>" + title +
                 "</title></head><body><h1>" + title + "</h1>";
  for (int line = 0; line < 300; ++line) html += QString("<p>行 %1</p>").arg(line);
  html += "<p><a name=\"end\"></a>おわり</p></body></html>";
  return html.toUtf8();
}

// The page's last line, as a click on an in-page link would reach it.
QUrl atEnd(const QString& file) {
  QUrl url = QUrl::fromLocalFile(file);
  url.setFragment("end");
  return url;
}

void writeFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(content);
}

class HelpViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    previousCurrent_ = QDir::currentPath();
  }
  void TearDown() override {
    desk_.reset();
    QDir::setCurrent(previousCurrent_);
  }

  QString path(const QString& name) const { return folder_.filePath(name); }

  QTextBrowser* onlyViewer() {
    const QList<QTextBrowser*> viewers = viewerWindows();
    return viewers.size() == 1 ? viewers.front() : nullptr;
  }

  QTemporaryDir folder_;
  QString previousCurrent_;
  std::unique_ptr<HelpDesk> desk_ = makeHelpViewerDesk();
};

TEST_F(HelpViewer, OneWindowOfItsOwnShowsTheFileReadAfreshAtTheTopOnEveryRequest) {
  writeFile(path("vorlet.hlp"), helpPage("試験のヘルプ"));
  desk_->showHelp(path("vorlet.hlp"));
  QTextBrowser* viewer = onlyViewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->isVisible() && viewer->isWindow());
  EXPECT_EQ(viewer->windowTitle(), "Vorlet ヘルプ");
  EXPECT_EQ(viewer->documentTitle(), "試験のヘルプ");
  EXPECT_FALSE(anyMessageBox());
  viewer->setSource(atEnd(path("vorlet.hlp")));
  ASSERT_GT(viewer->verticalScrollBar()->value(), 0);

  writeFile(path("vorlet.hlp"), helpPage("改訂版"));
  desk_->showHelp(path("vorlet.hlp"));
  EXPECT_EQ(onlyViewer(), viewer);
  EXPECT_EQ(viewer->documentTitle(), "改訂版");
  EXPECT_EQ(viewer->verticalScrollBar()->value(), 0);

  // The back key must not lead from a not-found notice to an earlier help file; a closed viewer
  // comes back, with the file once it is back.
  viewer->setSource(atEnd(path("vorlet.hlp")));
  ASSERT_TRUE(viewer->isBackwardAvailable());
  ASSERT_TRUE(QFile::remove(path("vorlet.hlp")));
  desk_->showHelp(path("vorlet.hlp"));
  EXPECT_FALSE(viewer->isBackwardAvailable());
  viewer->close();
  writeFile(path("vorlet.hlp"), helpPage("置き直したヘルプ"));
  desk_->showHelp(path("vorlet.hlp"));
  EXPECT_EQ(onlyViewer(), viewer);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(viewer->documentTitle(), "置き直したヘルプ");
  desk_->closeViewer();  // the program ends: the viewer goes with the main window
  EXPECT_FALSE(viewer->isVisible());
}

TEST_F(HelpViewer, SaysInItsOwnWindowWhenTheFileIsMissing) {
  ASSERT_TRUE(QDir(folder_.path()).mkdir("folder.hlp"));
  QDir::setCurrent(folder_.path());
  // An absolute path, a bare name, a folder of that name, no name.
  for (const QString& request :
       {path("gone.hlp"), QString("vorlet-test-no-such-help.hlp"), path("folder.hlp"), QString()}) {
    SCOPED_TRACE(request.toStdString());
    desk_->showHelp(request);
    QTextBrowser* viewer = onlyViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    const QString shown = viewer->toPlainText();
    EXPECT_TRUE(shown.contains("ヘルプファイルが見つかりません")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(request)) << shown.toStdString();
    EXPECT_FALSE(anyMessageBox());
  }
}

TEST_F(HelpViewer, LooksForABareNameBesideTheProgramThenInTheCurrentFolder) {
  QTemporaryFile besideProgram(QCoreApplication::applicationDirPath() + "/help-probe-XXXXXX.hlp");
  ASSERT_TRUE(besideProgram.open());
  besideProgram.write(helpPage("プログラムのフォルダー"));
  besideProgram.close();
  const QString name = QFileInfo(besideProgram.fileName()).fileName();
  QDir::setCurrent(folder_.path());

  writeFile(path(name), helpPage("現在のフォルダー"));
  desk_->showHelp(name);
  ASSERT_NE(onlyViewer(), nullptr);
  EXPECT_EQ(onlyViewer()->documentTitle(), "プログラムのフォルダー");

  writeFile(path("current-only.hlp"), helpPage("現在のフォルダーだけ"));
  desk_->showHelp("current-only.hlp");
  EXPECT_EQ(onlyViewer()->documentTitle(), "現在のフォルダーだけ");
}

TEST(ShippedHelpFile, OpensOnItsContentsWithEveryInPageLinkLeadingSomewhere) {
  const std::unique_ptr<HelpDesk> desk = makeHelpViewerDesk();
  desk->showHelp(VORLET_SHIPPED_HELP_FILE);
  const QList<QTextBrowser*> viewers = viewerWindows();
  ASSERT_EQ(viewers.size(), 1);
  const QTextDocument* document = viewers.front()->document();
  // Read as UTF-8: the Japanese text comes through.
  EXPECT_EQ(viewers.front()->documentTitle(), "Vorlet ヘルプ");

  QSet<QString> anchors;
  QStringList links;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
      const QTextCharFormat format = fragment.fragment().charFormat();
      for (const QString& name : format.anchorNames()) anchors << name;
      if (format.anchorHref().startsWith('#')) links << format.anchorHref().mid(1);
    }
  }
  EXPECT_GE(links.size(), 8);
  for (const QString& link : links) EXPECT_TRUE(anchors.contains(link)) << link.toStdString();
}

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
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
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

// The icons are compiled into the program and drawn by Qt's SVG icon engine; either missing
// leaves the windows with blank icons and no error.
TEST(Icons, AreBuiltInAndDrawAtWindowIconSizes) {
  // Each with a colour it must have somewhere near its middle.
  const std::pair<const char*, QColor> cases[] = {
      {":/icons/vorlet.svg", QColor(0xc0, 0xc0, 0xc0)},  // the grey button face
      {":/icons/stop.svg", QColor(0xd0, 0x10, 0x1a)},    // the red of the sign
  };
  for (const auto& [resource, centre] : cases) {
    for (const int size : {16, 32}) {
      SCOPED_TRACE(std::string(resource) + " at " + std::to_string(size));
      const QImage image = QIcon(resource).pixmap(size, size).toImage();
      ASSERT_FALSE(image.isNull());
      ASSERT_EQ(image.width(), size);
      bool found = false;
      for (int y = size / 4; y < size * 3 / 4 && !found; ++y)
        for (int x = size / 8; x < size / 4 && !found; ++x)
          found = image.pixelColor(x, y).rgb() == centre.rgb();
      EXPECT_TRUE(found);
    }
  }
}

}  // namespace
