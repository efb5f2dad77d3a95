// Saving under faults, with either kind of temporary file: the target stays byte for byte as it
// was and nothing is left beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <string>
#include <tuple>

#include "delimited/SafeFile.h"
#include "support/Immutable.h"
#include "support/TempFolder.h"

namespace vorlet {
namespace {

using testing_files::readBytes;
using testing_files::TempFolder;
using testing_files::writeBytes;
namespace fs = std::filesystem;

int failWith(int error) {
  errno = error;
  return -1;
}

enum class Temporary { Unnamed, Named };

// The calls for one kind of temporary: named where the system has no unnamed files.
FileCalls callsFor(Temporary kind) {
  FileCalls calls = systemFileCalls();
  if (kind == Temporary::Named) {
    calls.createUnnamed = [](const fs::path&) { return failWith(EOPNOTSUPP); };
  }
  return calls;
}

struct Fault {
  const char* name;
  void (*inject)(FileCalls&);
  const char* step;  // named in the message
};
// Test names, not bytes, in the test list.
void PrintTo(const Fault& c, std::ostream* os) {
  *os << c.name;
}

using Path = const fs::path&;
const Fault kFaults[] = {
    {"Create",
     [](FileCalls& c) { c.createUnnamed = c.create = [](Path) { return failWith(ENOSPC); }; },
     "creating a temporary file beside it failed"},
    {"DiskFull",
     [](FileCalls& c) {
       c.write = [](int, const char*, std::size_t) -> std::int64_t { return failWith(ENOSPC); };
     },
     "writing failed: No space left on device"},
    {"WriteOfNothing",
     [](FileCalls& c) {
       c.write = [](int, const char*, std::size_t) -> std::int64_t { return 0; };
     },
     "writing"},
    {"KeepPermissions",
     [](FileCalls& c) { c.setMode = [](int, unsigned) { return failWith(EPERM); }; },
     "permissions"},
    {"Sync", [](FileCalls& c) { c.sync = [](int) { return failWith(EIO); }; }, "syncing failed"},
    // The descriptor is released, but the data may not have reached the disk.
    {"Close",
     [](FileCalls& c) {
       c.close = [](int fd) { return systemFileCalls().close(fd), failWith(EIO); };
     },
     "closing failed"},
    {"Rename", [](FileCalls& c) { c.replace = [](Path, Path) { return failWith(EACCES); }; },
     "renaming the temporary file over it failed"},
};

class InjectedFault : public testing::TestWithParam<std::tuple<Fault, Temporary>> {};

TEST_P(InjectedFault, LeavesTheTargetByteForByteAndNoTemporary) {
  const auto& [fault, kind] = GetParam();
  TempFolder folder;
  const fs::path target = folder / "out.csv";
  const std::string old = "old,content\r\n\xEF\xBB\xBF\r\n";
  writeBytes(target, old);
  FileCalls calls = callsFor(kind);
  fault.inject(calls);
  const auto error = writeFileAtomically(target, std::string(300'000, 'n'), calls);

  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->kind, FileError::Kind::WriteFailed);
  EXPECT_EQ(error->path, target.string());
  EXPECT_NE(error->detail.find(fault.step), std::string::npos) << error->detail;
  EXPECT_EQ(readBytes(target), old);
  EXPECT_EQ(folder.listing(), "out.csv\n");
}

INSTANTIATE_TEST_SUITE_P(SaveFault, InjectedFault,
                         testing::Combine(testing::ValuesIn(kFaults),
                                          testing::Values(Temporary::Unnamed, Temporary::Named)),
                         [](const auto& test) {
                           return std::string(std::get<0>(test.param).name) +
                                  (std::get<1>(test.param) == Temporary::Named ? "Named"
                                                                               : "Unnamed");
                         });

bool unnamedFilesIn(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  return fd >= 0 && ::close(fd) == 0;
}

TEST(SaveFault, AFailedNamingOfTheUnnamedTemporaryLeavesNothing) {
  TempFolder folder;
  if (!unnamedFilesIn(folder.path())) GTEST_SKIP() << "no unnamed files on this file system";
  writeBytes(folder / "out.csv", "old\r\n");
  FileCalls calls = systemFileCalls();
  calls.link = [](int, const fs::path&) { return failWith(EMLINK); };
  const auto error = writeFileAtomically(folder / "out.csv", "new\r\n", calls);
  ASSERT_TRUE(error);
  EXPECT_NE(error->detail.find("naming the temporary file failed"), std::string::npos);
  EXPECT_EQ(readBytes(folder / "out.csv"), "old\r\n");
  EXPECT_EQ(folder.listing(), "out.csv\n");
}

// Until commit, the unnamed temporary is nowhere in the folder: a process killed meanwhile
// leaves nothing. A named one shows, for a signal handler to remove.
TEST(SaveFault, TheTemporaryHasANameOnlyWhenItMust) {
  for (const Temporary kind : {Temporary::Unnamed, Temporary::Named}) {
    TempFolder folder;
    if (kind == Temporary::Unnamed && !unnamedFilesIn(folder.path())) continue;
    const FileCalls calls = callsFor(kind);
    SafeFile file(folder / "out.csv", calls);
    ASSERT_FALSE(file.open());
    ASSERT_FALSE(file.write("1,2\r\n"));
    if (kind == Temporary::Unnamed) {
      EXPECT_TRUE(file.temporaryPath().empty());
      EXPECT_EQ(folder.listing(), "");
    } else {
      EXPECT_EQ(file.temporaryPath().parent_path(), folder.path());
      EXPECT_TRUE(fs::exists(file.temporaryPath()));
    }
    ASSERT_FALSE(file.commit());
    EXPECT_TRUE(file.temporaryPath().empty());
    EXPECT_EQ(readBytes(folder / "out.csv"), "1,2\r\n");
    EXPECT_EQ(folder.listing(), "out.csv\n");
  }
}

TEST(SaveFault, ReadOnlyFileAndFolderEvenForRoot) {
  TempFolder folder;
  writeBytes(folder / "locked.csv", "old\r\n");
  const fs::path sealed = folder / "sealed";
  fs::create_directory(sealed);
  writeBytes(sealed / "out.csv", "old\r\n");
  {
    const testing_files::Immutable lockedFile(folder / "locked.csv");
    const testing_files::Immutable sealedFolder(sealed);
    if (!lockedFile.set() || !sealedFolder.set()) {
      GTEST_SKIP() << "the file system or the user cannot make files immutable";
    }
    for (const Temporary kind : {Temporary::Unnamed, Temporary::Named}) {
      const FileCalls calls = callsFor(kind);
      const auto locked = writeFileAtomically(folder / "locked.csv", "new\r\n", calls);
      ASSERT_TRUE(locked);
      EXPECT_EQ(locked->detail, "it is read-only");
      EXPECT_TRUE(writeFileAtomically(sealed / "out.csv", "new\r\n", calls));
      EXPECT_TRUE(writeFileAtomically(sealed / "fresh.csv", "new\r\n", calls));
    }
  }
  EXPECT_EQ(readBytes(folder / "locked.csv"), "old\r\n");
  EXPECT_EQ(readBytes(sealed / "out.csv"), "old\r\n");
  EXPECT_EQ(folder.listing(), "locked.csv\nsealed\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(sealed), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace vorlet
