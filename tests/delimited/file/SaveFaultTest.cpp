// Saving: what a save leaves, what is refused before any work, and faults injected at every step
// with either kind of temporary file, after which the target is as it was and nothing is beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>

#include "delimited/SafeFile.h"
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

// Makes a file or folder immutable (or append-only) for as long as this object lives. The
// attribute binds root too, so tests run as root still get a file and a folder that cannot be
// written.
class Immutable {
 public:
  explicit Immutable(const std::filesystem::path& path, int flag = FS_IMMUTABLE_FL)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), flag_(flag) {
    int flags = 0;
    if (fd_ < 0 || ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) != 0) return;
    flags |= flag_;
    set_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ~Immutable() {
    int flags = 0;
    if (set_ && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~flag_;
      ::ioctl(fd_, FS_IOC_SETFLAGS, &flags);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  Immutable(const Immutable&) = delete;
  Immutable& operator=(const Immutable&) = delete;

  // False where the file system or the user cannot set the attribute.
  bool set() const { return set_; }

 private:
  int fd_;
  int flag_;
  bool set_ = false;
};

enum class Temporary { Unnamed, Named };

// The calls for one kind of temporary: named where the system has no unnamed files.
FileCalls callsFor(Temporary kind) {
  FileCalls calls = systemFileCalls();
  if (kind == Temporary::Named) {
    calls.createUnnamed = [](const fs::path&) { return failWith(EOPNOTSUPP); };
  }
  return calls;
}

// "<case><kind of temporary>" for the tables below, each case with both kinds.
const auto caseName = [](const auto& test) {
  return std::get<0>(test.param).name +
         std::string(std::get<1>(test.param) == Temporary::Named ? "Named" : "Unnamed");
};
const auto kBothKinds = testing::Values(Temporary::Unnamed, Temporary::Named);

struct Fault {
  const char* name;
  void (*inject)(FileCalls&);
  const char* step;  // named in the message
};
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
    {"KeepOwner",
     [](FileCalls& c) { c.setOwner = [](int, unsigned, unsigned) { return failWith(EPERM); }; },
     "keeping its owner and group failed"},
    {"KeepPermissions",
     [](FileCalls& c) { c.setMode = [](int, unsigned) { return failWith(EPERM); }; },
     "permissions"},
    {"KeepAttributes",
     [](FileCalls& c) { c.copyAttributes = [](Path, int) { return failWith(ENOSPC); }; },
     "keeping its ACL and extended attributes failed"},
    {"Sync", [](FileCalls& c) { c.sync = [](int) { return failWith(EIO); }; }, "syncing failed"},
    // The descriptor is released, but the data may not have reached the disk.
    {"Close",
     [](FileCalls& c) {
       c.close = [](int fd) { return systemFileCalls().close(fd), failWith(EIO); };
     },
     "closing failed"},
    {"Rename", [](FileCalls& c) { c.replace = [](Path, Path) { return failWith(EACCES); }; },
     "renaming the temporary file over it failed"},
    // Only an unnamed temporary is named by a link.
    {"Link", [](FileCalls& c) { c.link = [](int, Path) { return failWith(EMLINK); }; },
     "naming the temporary file failed"},
};

bool unnamedFilesIn(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  return fd >= 0 && ::close(fd) == 0;
}

class InjectedFault : public testing::TestWithParam<std::tuple<Fault, Temporary>> {};

TEST_P(InjectedFault, LeavesTheTargetByteForByteAndNoTemporary) {
  const auto& [fault, kind] = GetParam();
  TempFolder folder;
  if (std::string_view(fault.name) == "Link" &&
      (kind == Temporary::Named || !unnamedFilesIn(folder.path()))) {
    GTEST_SKIP() << "no unnamed temporary";
  }
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
                         testing::Combine(testing::ValuesIn(kFaults), kBothKinds), caseName);

// Every folder holds sealed/out.csv ("old") and an empty folder "folder"; `prepare` may protect
// them and returns false where the system or the user cannot.
struct Refusal {
  const char* name;
  const char* target;       // under the test's folder
  const char* detail;       // part of the message
  int protect = 0;          // FS_IMMUTABLE_FL or FS_APPEND_FL on the target, or
  bool sealFolder = false;  // immutable on sealed/
  unsigned mode = 0644;     // of sealed/out.csv
};
const std::string kTooLongName(256, 'x');
const Refusal kRefusals[] = {
    {"MissingFolder", "missing/out.csv",
     "creating a temporary file beside it failed: No such file or directory"},
    {"Folder", "folder", "it is a folder"},
    {"ImmutableTarget", "sealed/out.csv", "it is read-only", FS_IMMUTABLE_FL},
    {"ImmutableFolder", "sealed/out.csv", "creating a temporary file beside it failed", 0, true},
    // Root may write anything, but a file without write bits is read-only for it too.
    {"NoWriteBits", "sealed/out.csv", "it is read-only", 0, false, 0444},
    {"AppendOnly", "sealed/out.csv", "append-only", FS_APPEND_FL},
    {"NameTooLong", kTooLongName.c_str(), "File name too long"},
};

class Refused : public testing::TestWithParam<std::tuple<Refusal, Temporary>> {};

TEST_P(Refused, BeforeAnyWorkLeavingEverything) {
  const auto& [c, kind] = GetParam();
  TempFolder folder;
  fs::create_directory(folder / "folder");
  fs::create_directory(folder / "sealed");
  writeBytes(folder / "sealed" / "out.csv", "old\r\n");
  ::chmod((folder / "sealed" / "out.csv").c_str(), c.mode);
  const Immutable target(c.protect != 0 ? folder / "sealed" / "out.csv" : fs::path(),
                         c.protect != 0 ? c.protect : FS_IMMUTABLE_FL);
  const Immutable sealed(c.sealFolder ? folder / "sealed" : fs::path());
  if ((c.protect != 0 && !target.set()) || (c.sealFolder && !sealed.set())) {
    GTEST_SKIP() << "the file system or the user cannot protect files";
  }
  const std::string before = folder.listing();
  SafeFile file(folder / c.target, callsFor(kind));
  const auto error = file.open();
  ASSERT_TRUE(error);
  EXPECT_NE(error->detail.find(c.detail), std::string::npos) << error->detail;
  EXPECT_EQ(folder.listing(), before);
  EXPECT_EQ(readBytes(folder / "sealed" / "out.csv"), "old\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "sealed"), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(SaveFault, Refused,
                         testing::Combine(testing::ValuesIn(kRefusals), kBothKinds), caseName);

unsigned modeOf(const fs::path& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode & 07777u;
}

std::string attribute(const fs::path& path, const char* name) {
  char value[256];
  const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
  return size < 0 ? "" : std::string(value, static_cast<std::size_t>(size));
}

// An access ACL in the system's binary form: the owner rw, user `user` r, the rest r.
std::string aclGranting(std::uint32_t user) {
  std::string bytes;
  const auto put = [&bytes](std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
  };
  put(2, 4);  // version
  for (const auto& [tag, perm, id] :
       {std::tuple{0x01u, 6u, ~0u}, std::tuple{0x02u, 4u, user}, std::tuple{0x04u, 4u, ~0u},
        std::tuple{0x10u, 4u, ~0u}, std::tuple{0x20u, 4u, ~0u}}) {
    put(tag, 2);
    put(perm, 2);
    put(id, 4);
  }
  return bytes;
}

struct Saved {
  const char* name;
  // Makes what is at the folder, returns the name to save to; empty skips the case.
  std::string (*prepare)(const TempFolder&);
  // Checks what the save left; `content` is what was saved.
  void (*check)(const TempFolder&, const std::string& name);
};
constexpr std::uint32_t kNobody = 65534;
const std::string kKanjiName = [] {
  std::string name;
  for (int i = 0; i < 79; ++i) name += "\xE6\xBC\xA2";  // 漢: 3 bytes
  return name + ".csv";                                 // 241 bytes
}();

const Saved kSaved[] = {
    {"NewFileGetsTheUsualPermissions", [](const TempFolder&) { return std::string("new.csv"); },
     [](const TempFolder& f, const std::string& name) {
       const mode_t mask = ::umask(0);
       ::umask(mask);
       EXPECT_EQ(modeOf(f / name), 0666u & ~static_cast<unsigned>(mask));
     }},
    // Mode bits kept, but a replacement never inherits setuid or setgid.
    {"KeepsModeClearsSetuid",
     [](const TempFolder& f) {
       writeBytes(f / "out.csv", "a much longer old content that must not survive\r\n");
       ::chmod((f / "out.csv").c_str(), 06755);
       return std::string("out.csv");
     },
     [](const TempFolder& f, const std::string& name) { EXPECT_EQ(modeOf(f / name), 0755u); }},
    {"KeepsOwnerGroupAclAndAttributes",
     [](const TempFolder& f) {
       writeBytes(f / "out.csv", "old\r\n");
       const std::string acl = aclGranting(kNobody);
       if (::geteuid() != 0 || ::chown((f / "out.csv").c_str(), kNobody, kNobody) != 0 ||
           ::setxattr((f / "out.csv").c_str(), "user.origin", "logger 7", 8, 0) != 0 ||
           ::setxattr((f / "out.csv").c_str(), "system.posix_acl_access", acl.data(), acl.size(),
                      0) != 0) {
         return std::string();  // not root, or no extended attributes here
       }
       return std::string("out.csv");
     },
     [](const TempFolder& f, const std::string& name) {
       struct stat st {};
       ::stat((f / name).c_str(), &st);
       EXPECT_EQ(st.st_uid, kNobody);
       EXPECT_EQ(st.st_gid, kNobody);
       EXPECT_EQ(attribute(f / name, "user.origin"), "logger 7");
       EXPECT_EQ(attribute(f / name, "system.posix_acl_access"), aclGranting(kNobody));
     }},
    {"WritesThroughASymbolicLink",
     [](const TempFolder& f) {
       writeBytes(f / "real.csv", "old\r\n");
       fs::create_symlink("real.csv", f / "link.csv");
       return std::string("link.csv");
     },
     [](const TempFolder& f, const std::string&) {
       EXPECT_TRUE(fs::is_symlink(f / "link.csv"));
       EXPECT_EQ(readBytes(f / "real.csv"), "new\r\n");
     }},
    // The file a dangling link names is created; the link stays a link.
    {"WritesThroughADanglingLink",
     [](const TempFolder& f) {
       fs::create_directory(f / "data");
       fs::create_symlink("data/real.csv", f / "link.csv");
       return std::string("link.csv");
     },
     [](const TempFolder& f, const std::string&) {
       EXPECT_TRUE(fs::is_symlink(f / "link.csv"));
       EXPECT_EQ(readBytes(f / "data" / "real.csv"), "new\r\n");
     }},
    {"LongestKanjiName", [](const TempFolder&) { return kKanjiName; }, nullptr},
    {"LongestName", [](const TempFolder&) { return std::string(255, 'x'); }, nullptr},
};

class SavedFile : public testing::TestWithParam<std::tuple<Saved, Temporary>> {};

// Each write is short, so every byte also goes through the retry.
TEST_P(SavedFile, HoldsTheBytesAndKeepsWhatItMust) {
  const auto& [c, kind] = GetParam();
  TempFolder folder;
  const std::string name = c.prepare(folder);
  if (name.empty()) GTEST_SKIP() << "needs root and extended attributes";
  FileCalls calls = callsFor(kind);
  calls.write = [](int fd, const char* data, std::size_t) {
    return systemFileCalls().write(fd, data, 1);
  };
  const auto before = std::distance(fs::directory_iterator(folder.path()), {});
  const auto error = writeFileAtomically(folder / name, "new\r\n", calls);
  ASSERT_FALSE(error) << error->detail;
  if (!fs::is_symlink(folder / name)) {
    EXPECT_EQ(readBytes(folder / name), "new\r\n");
  }
  if (c.check != nullptr) c.check(folder, name);
  EXPECT_LE(std::distance(fs::directory_iterator(folder.path()), {}), before + 1);
}

INSTANTIATE_TEST_SUITE_P(SaveFault, SavedFile,
                         testing::Combine(testing::ValuesIn(kSaved), kBothKinds), caseName);

// A name of one of this process's descriptors means the descriptor, as standard output does:
// following it to the file it is open on and replacing that would lose what it held.
TEST(SaveFault, ADescriptorsNameWritesThroughTheDescriptor) {
  TempFolder folder;
  writeBytes(folder / "app.log", "old log\n");
  const int fd = ::open((folder / "app.log").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  const std::string number = std::to_string(fd);
  for (const std::string& name : {"/proc/self/fd/" + number, "/dev/fd/" + number}) {
    EXPECT_FALSE(writeFileAtomically(name, "1\r\n"));
  }
  ::close(fd);
  EXPECT_EQ(readBytes(folder / "app.log"), "old log\n1\r\n1\r\n");
  EXPECT_EQ(namedDescriptor("/dev/stdout"), 1);
  EXPECT_EQ(namedDescriptor(folder / "1"), std::nullopt);
}

// Another user's file (here root's, written by nobody) cannot keep its owner: refused before
// any work rather than silently handed over.
TEST(SaveFault, AFileWhoseOwnerCannotBeKeptIsRefused) {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || nobody == nullptr) GTEST_SKIP() << "needs root and a user nobody";
  TempFolder folder;
  ::chmod(folder.path().c_str(), 0777);
  writeBytes(folder / "shared.csv", "old\r\n");
  ::chmod((folder / "shared.csv").c_str(), 0666);
  EXPECT_EXIT(
      {
        if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) std::_Exit(3);
        SafeFile file(folder / "shared.csv");
        const auto error = file.open();
        std::_Exit(error && error->detail.find("another user") != std::string::npos ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(readBytes(folder / "shared.csv"), "old\r\n");
  EXPECT_EQ(folder.listing(), "shared.csv\n");
}

TEST(SaveFault, ANonBlockingDescriptorIsWaitedOn) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
  std::string got;
  std::thread reader([&] {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
      if (n == 0) break;
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
      if (n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const std::string bytes(1 << 20, 'x');
  EXPECT_FALSE(writeToDescriptor(ends[1], bytes, "pipe"));
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  EXPECT_EQ(got.size(), bytes.size());
}

}  // namespace
}  // namespace vorlet
