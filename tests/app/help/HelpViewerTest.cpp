#include "app/Help.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>

#include <memory>

using namespace vorlet::app;

namespace {

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
  EXPECT_EQ(viewer->source(), QUrl::fromLocalFile(path("vorlet.hlp")));
  EXPECT_EQ(viewer->documentTitle(), "試験のヘルプ");
  EXPECT_TRUE(viewer->toPlainText().startsWith("試験のヘルプ"));
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
  EXPECT_FALSE(viewer->toPlainText().contains("見つかりません"));
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
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
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
  EXPECT_EQ(viewers.front()->documentTitle(), "Vorlet ヘルプ");
  // Read as UTF-8: the Japanese text comes through.
  EXPECT_TRUE(document->toPlainText().contains("目次"));
  EXPECT_TRUE(document->toPlainText().contains("平均間引き"));

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

}  // namespace
