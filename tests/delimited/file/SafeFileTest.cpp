#include "delimited/SafeFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "TempFolder.h"

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

int failWith(int error) {
  errno = error;
  return -1;
}

struct Injection {
  const char* name;
  void (*inject)(FileCalls&);
  const char* step;  // named in the message
};

// Each replaces one system call by one that fails its step the way the system would.
const Injection kInjections[] = {
    {"Create",
     [](FileCalls& c) {
       c.createUnnamed = [](const fs::path&) { return failWith(EMFILE); };
       c.create = [](const fs::path&) { return failWith(EMFILE); };
     },
     "creating"},
    {"Write",
     [](FileCalls& c) {
       c.write = [](int, const char*, std::size_t) -> std::int64_t { return failWith(ENOSPC); };
     },
     "writing"},
    {"WriteOfNothing",
     [](FileCalls& c) {
       c.write = [](int, const char*, std::size_t) -> std::int64_t { return 0; };
     },
     "writing"},
    {"KeepPermissions",
     [](FileCalls& c) { c.setMode = [](int, unsigned) { return failWith(EPERM); }; },
     "permissions"},
    {"Sync", [](FileCalls& c) { c.sync = [](int) { return failWith(EIO); }; }, "syncing"},
    // The descriptor is released, but the data may not have reached the disk.
    {"Close",
     [](FileCalls& c) {
       c.close = [](int fd) { return systemFileCalls().close(fd), failWith(EIO); };
     },
     "closing"},
    {"Rename",
     [](FileCalls& c) {
       c.replace = [](const fs::path&, const fs::path&) { return failWith(EXDEV); };
     },
     "renaming"},
};

class InjectedFailure : public testing::TestWithParam<Injection> {};

TEST_P(InjectedFailure, LeavesTheTargetAndNoTemporary) {
  TempFolder folder;
  const fs::path target = folder / "out.csv";
  writeBytes(target, "old content\r\n");
  FileCalls calls = systemFileCalls();
  GetParam().inject(calls);

  const auto error = writeFileAtomically(target, "new content\r\n", calls);

  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->kind, FileError::Kind::WriteFailed);
  EXPECT_EQ(error->path, target.string());
  EXPECT_NE(error->detail.find(GetParam().step), std::string::npos) << error->detail;
  EXPECT_EQ(readBytes(target), "old content\r\n");
  EXPECT_EQ(folder.listing(), "out.csv\n");
}

INSTANTIATE_TEST_SUITE_P(SafeFile, InjectedFailure, testing::ValuesIn(kInjections),
                         [](const auto& test) { return std::string(test.param.name); });

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
  for (const unsigned mode : {0640u, 0604u, 0755u}) {
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

// Targets that cannot be written: each is reported, and nothing appears or changes.
TEST(SafeFile, RefusesTargetsItCannotReplace) {
  TempFolder folder;
  fs::create_directory(folder / "folder.csv");
  const auto missing = writeFileAtomically(folder / "missing" / "out.csv", "x");
  ASSERT_TRUE(missing);
  EXPECT_NE(missing->detail.find("No such file"), std::string::npos) << missing->detail;
  EXPECT_TRUE(writeFileAtomically(folder / "folder.csv", "x"));
  EXPECT_EQ(folder.listing(), "folder.csv\n");
}

TEST(SafeFile, RespectsReadOnlyFilesAndFolders) {
  if (testing_files::runningAsRoot()) GTEST_SKIP() << "root may write anywhere";
  TempFolder folder;
  writeBytes(folder / "locked.csv", "old\r\n");
  fs::permissions(folder / "locked.csv", fs::perms::owner_read);
  EXPECT_TRUE(writeFileAtomically(folder / "locked.csv", "new\r\n"));
  EXPECT_EQ(readBytes(folder / "locked.csv"), "old\r\n");

  const fs::path sealed = folder / "sealed";
  fs::create_directory(sealed);
  writeBytes(sealed / "out.csv", "old\r\n");
  fs::permissions(sealed, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(writeFileAtomically(sealed / "out.csv", "new\r\n"));
  EXPECT_TRUE(writeFileAtomically(sealed / "fresh.csv", "new\r\n"));
  fs::permissions(sealed, fs::perms::owner_all);
  EXPECT_EQ(readBytes(sealed / "out.csv"), "old\r\n");
  EXPECT_FALSE(fs::exists(sealed / "fresh.csv"));
}

}  // namespace
}  // namespace vorlet
