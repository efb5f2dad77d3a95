#include "app/Help.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

using namespace vorlet::app;

namespace {

TEST(HelpPathIn, PutsExactlyOneSeparatorBetweenFolderAndName) {
  struct Case {
    const char* folder;
    const char* path;
  };
  const Case cases[] = {
      {"/opt/vorlet", "/opt/vorlet/vorlet.hlp"},
      {"/", "/vorlet.hlp"},
      {"/opt/vorlet/", "/opt/vorlet/vorlet.hlp"},
      {"D:\\tools", "D:\\tools\\vorlet.hlp"},
      {"E:\\", "E:\\vorlet.hlp"},
      {"C:/Program Files/Vorlet", "C:/Program Files/Vorlet/vorlet.hlp"},
      {"C:/", "C:/vorlet.hlp"},
      {"", "vorlet.hlp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(helpPathIn(QString::fromUtf8(c.folder)), QString::fromUtf8(c.path));
  }
}

bool neverHidden(const QFileInfo&) {
  return false;
}

// Each case lays out a fresh folder and looks the help file up in the program folder under it.
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
  const auto markedHidden = [](const QFileInfo& info) { return info.fileName() == "vorlet.hlp"; };
  const Case cases[] = {
      {"ordinary file", helpFileIn("."), neverHidden, "", "/vorlet.hlp"},
      {"nothing there", [](const QDir&) {}, neverHidden, "", nullptr},
      {"folder of that name", [](const QDir& dir) { ASSERT_TRUE(dir.mkdir("vorlet.hlp")); },
       neverHidden, "", nullptr},
      {"hidden file", helpFileIn("."), markedHidden, "", nullptr},
      // Installed under ~/.local/bin, say: only the help file's own hidden-ness counts.
      {"in a hidden folder", helpFileIn(".local/bin"), {}, "/.local/bin", "/.local/bin/vorlet.hlp"},
      {"in a hidden folder named with a slash",
       helpFileIn(".local/bin"),
       {},
       "/.local/bin/",
       "/.local/bin/vorlet.hlp"},
      // A "folder" that is really a file, or none: the system answers the search with an error.
      {"file as the folder",
       [](const QDir& dir) { QFile(dir.filePath("program")).open(QIODevice::WriteOnly); },
       {},
       "/program",
       nullptr},
      {"no such folder", [](const QDir&) {}, {}, "/no/such/folder", nullptr},
      // Installed: the program in bin, its help file in share/vorlet; one beside it comes first.
      {"installed", helpFileIn("share/vorlet"), {}, "/bin", "/share/vorlet/vorlet.hlp"},
      {"installed, folder named with a slash",
       helpFileIn("share/vorlet"),
       {},
       "/bin/",
       "/share/vorlet/vorlet.hlp"},
      {"installed with a copy beside", inBinAndShare, {}, "/bin", "/bin/vorlet.hlp"},
      {"installed but hidden", helpFileIn("share/vorlet"), markedHidden, "/bin", nullptr},
      {"installed folder of that name",
       [](const QDir& dir) { ASSERT_TRUE(dir.mkpath("share/vorlet/vorlet.hlp")); },
       {},
       "/bin",
       nullptr},
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

}  // namespace
