#include "app/Help.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

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

// Each case lays out a fresh program folder and looks the help file up in it.
TEST(LookUpHelpFile, CountsOnlyAnOrdinaryVisibleFileInTheProgramFolder) {
  struct Case {
    const char* name;
    std::function<void(const QDir&)> layOut;
    std::function<bool(const QFileInfo&)> isHidden;
    bool fullPath;
  };
  const auto helpFile = [](const QDir& dir) {
    QFile file(dir.filePath("vorlet.hlp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
  };
  const auto markedHidden = [](const QFileInfo& info) { return info.fileName() == "vorlet.hlp"; };
  const Case cases[] = {
      {"ordinary file", helpFile, neverHidden, true},
      {"nothing there", [](const QDir&) {}, neverHidden, false},
      {"folder of that name", [](const QDir& dir) { ASSERT_TRUE(dir.mkdir("vorlet.hlp")); },
       neverHidden, false},
      {"hidden file", helpFile, markedHidden, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir programFolder;
    ASSERT_TRUE(programFolder.isValid());
    c.layOut(QDir(programFolder.path()));
    const QString expected = c.fullPath ? programFolder.path() + "/vorlet.hlp" : "vorlet.hlp";
    EXPECT_EQ(lookUpHelpFile(programFolder.path(), c.isHidden), expected);
  }
}

TEST(LookUpHelpFile, FindsTheFileInAProgramFolderWhoseOwnNameIsHidden) {
  // Installed under ~/.local/bin, say: only the help file's own hidden-ness counts.
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  ASSERT_TRUE(QDir(home.path()).mkpath(".local/bin"));
  const QString folder = home.path() + "/.local/bin";
  QFile file(folder + "/vorlet.hlp");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  EXPECT_EQ(lookUpHelpFile(folder), folder + "/vorlet.hlp");
  EXPECT_EQ(lookUpHelpFile(folder + "/"), folder + "/vorlet.hlp");
}

TEST(LookUpHelpFile, TreatsAFailedExistenceTestAsMissing) {
  // A "folder" that is really a file cannot be searched: the system answers with an error.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile notAFolder(dir.filePath("program"));
  ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
  notAFolder.close();
  EXPECT_EQ(lookUpHelpFile(notAFolder.fileName()), "vorlet.hlp");
  EXPECT_EQ(lookUpHelpFile(dir.filePath("no/such/folder")), "vorlet.hlp");
}

}  // namespace
