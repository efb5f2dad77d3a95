// What a successful atomic write leaves; the failures are in SaveFaultTest.
#include "delimited/SafeFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/TempFolder.h"

namespace vorlet {
namespace {

using testing_files::readBytes;
using testing_files::TempFolder;
using testing_files::writeBytes;
namespace fs = std::filesystem;

unsigned modeOf(const fs::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777u;
}

TEST(SafeFile, ShortWritesStillWriteEverything) {
  TempFolder folder;
  FileCalls calls = systemFileCalls();
  calls.write = [](int fd, const char* data, std::size_t) {
    return systemFileCalls().write(fd, data, 1);
  };
  const std::string content = "1,2\r\n3,4\r\n\r\n";
  EXPECT_FALSE(writeFileAtomically(folder / "out.csv", content, calls));
  EXPECT_EQ(readBytes(folder / "out.csv"), content);
}

TEST(SafeFile, ReplacesAnExistingFileKeepingItsPermissions) {
  for (const unsigned mode : {0604u, 0755u}) {
    TempFolder folder;
    const fs::path target = folder / "out.csv";
    writeBytes(target, "a much longer old content that must not survive\r\n");
    ::chmod(target.c_str(), mode);
    EXPECT_FALSE(writeFileAtomically(target, "new\r\n"));
    EXPECT_EQ(readBytes(target), "new\r\n");
    EXPECT_EQ(modeOf(target), mode);
    EXPECT_EQ(folder.listing(), "out.csv\n");
  }
}

TEST(SafeFile, NewFileGetsTheUsualPermissions) {
  TempFolder folder;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_FALSE(writeFileAtomically(folder / "new.csv", "x\r\n"));
  EXPECT_EQ(modeOf(folder / "new.csv"), 0666u & ~static_cast<unsigned>(mask));
}

TEST(SafeFile, WritesThroughASymbolicLink) {
  TempFolder folder;
  writeBytes(folder / "real.csv", "old\r\n");
  fs::create_symlink("real.csv", folder / "link.csv");
  EXPECT_FALSE(writeFileAtomically(folder / "link.csv", "new\r\n"));
  EXPECT_TRUE(fs::is_symlink(folder / "link.csv"));
  EXPECT_EQ(readBytes(folder / "real.csv"), "new\r\n");
}

}  // namespace
}  // namespace vorlet
