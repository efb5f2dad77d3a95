#include "app/Help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>

#include "Version.h"

namespace vorlet::app {

namespace {

QString helpName() {
  return QStringLiteral("vorlet.hlp");
}

bool endsWithSeparator(const QString& folder) {
  return folder.endsWith(u'/') || folder.endsWith(u'\\');
}

// A folder written with backslashes only (as Windows reports it) keeps that style.
QChar separatorFor(const QString& folder) {
  return folder.contains(u'\\') && !folder.contains(u'/') ? QChar(u'\\') : QChar(u'/');
}

// Where a help request's file was looked for, and the first ordinary file found there.
struct HelpFileSearch {
  QString found;
  QStringList places;
};

// A bare name is looked for beside the program, then in the current folder.
HelpFileSearch findHelpFile(const QString& helpFile) {
  HelpFileSearch search;
  const bool bare = !QFileInfo(helpFile).isAbsolute();
  QStringList folders =
      bare ? QStringList{QCoreApplication::applicationDirPath(), QDir::currentPath()}
           : QStringList{QString()};
  folders.removeDuplicates();  // started from the program's own folder
  for (const QString& folder : folders) {
    const QFileInfo candidate(QDir(folder), helpFile);
    search.places << QDir::toNativeSeparators(candidate.absoluteFilePath());
    if (!helpFile.isEmpty() && candidate.isFile()) {
      search.found = candidate.absoluteFilePath();
      break;
    }
  }
  return search;
}

QString notFoundNotice(const QString& helpFile, const QStringList& places) {
  QString items;
  for (const QString& place : places)
    items += QStringLiteral("<li>%1</li>").arg(place.toHtmlEscaped());
  return QStringLiteral(
             "<h2>ヘルプファイルが見つかりません</h2>"
             "<p>ヘルプファイル「%1」は、次の場所にありませんでした。</p><ul>%2</ul>"
             "<p>vorlet.hlp を Vorlet のプログラムと同じフォルダーに置いてから、"
             "もう一度ヘルプを開いてください。</p>")
      .arg(helpFile.toHtmlEscaped(), items);
}

QString unreadableNotice(const QString& path, const QString& reason) {
  return QStringLiteral(
             "<h2>ヘルプファイルを開けません</h2>"
             "<p>ヘルプファイル「%1」を読み込めませんでした。</p><p>%2</p>")
      .arg(QDir::toNativeSeparators(path).toHtmlEscaped(), reason.toHtmlEscaped());
}

std::unique_ptr<QTextBrowser> makeViewerWindow() {
  auto viewer = std::make_unique<QTextBrowser>();
  viewer->setObjectName(QStringLiteral("helpViewer"));
  viewer->setWindowTitle(QStringLiteral("Vorlet ヘルプ"));
  viewer->setWindowIcon(QIcon(QStringLiteral(":/icons/vorlet.svg")));
  viewer->setOpenExternalLinks(true);
  viewer->resize(720, 600);
  return viewer;
}

class HelpViewerDesk final : public HelpDesk {
 public:
  void showHelp(const QString& helpFile) override {
    if (!viewer_) viewer_ = makeViewerWindow();
    showPage(helpFile);
    viewer_->setWindowState(viewer_->windowState() & ~Qt::WindowMinimized);
    viewer_->show();
    viewer_->raise();
    viewer_->activateWindow();
  }

  void closeViewer() override {
    if (viewer_) viewer_->close();
  }

 private:
  // Every request reads the file afresh and starts on its contents at the top (where loading a
  // page without a fragment puts it), with nothing to go back to.
  void showPage(const QString& helpFile) {
    const HelpFileSearch search = findHelpFile(helpFile);
    if (search.found.isEmpty())
      viewer_->setHtml(notFoundNotice(helpFile, search.places));
    else
      openAtTop(search.found);
    viewer_->clearHistory();
  }

  void openAtTop(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      viewer_->setHtml(unreadableNotice(path, file.errorString()));
      return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const bool samePage = viewer_->source().adjusted(QUrl::RemoveFragment) == url;
    viewer_->setSource(url, QTextDocument::HtmlResource);
    if (samePage) viewer_->reload();  // setSource() does not read again a page it shows
  }

  // Closing the window only hides it, so a later request raises the same one.
  std::unique_ptr<QTextBrowser> viewer_;
};

}  // namespace

QString helpPathIn(const QString& folder) {
  if (folder.isEmpty()) return helpName();
  if (endsWithSeparator(folder)) return folder + helpName();
  return folder + separatorFor(folder) + helpName();
}

QString lookUpHelpFile(const QString& programFolder) {
  return lookUpHelpFile(programFolder, [](const QFileInfo& info) { return info.isHidden(); });
}

QString lookUpHelpFile(const QString& programFolder,
                       const std::function<bool(const QFileInfo&)>& isHidden) {
  QStringList paths{helpPathIn(programFolder)};
  // Installed as a Debian program: bin/vorlet with its help file in share/vorlet.
  if (!programFolder.isEmpty())
    paths << helpPathIn(QDir::cleanPath(programFolder + QStringLiteral("/../share/vorlet")));
  for (const QString& path : paths) {
    const QFileInfo info(path);
    // isFile() is false also when the file system cannot answer; that counts as missing.
    if (info.isFile() && !isHidden(info)) return path;
  }
  return helpName();
}

std::unique_ptr<HelpDesk> makeHelpViewerDesk() {
  return std::make_unique<HelpViewerDesk>();
}

QString versionMessageText() {
  return QStringLiteral("Vorlet Version " VORLET_VERSION_TEXT "\r\nProgramed by Orrey");
}

void showVersionMessage(QWidget* parent) {
  QMessageBox box(parent);
  box.setWindowTitle(QStringLiteral("Vorlet"));
  box.setIcon(QMessageBox::NoIcon);
  box.setTextFormat(Qt::PlainText);
  box.setText(versionMessageText());
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

}  // namespace vorlet::app
