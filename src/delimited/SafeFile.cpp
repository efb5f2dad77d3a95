#include "delimited/SafeFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <vector>
#endif

namespace vorlet {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
int createUnnamedFile(const fs::path&) {
  errno = ENOSYS;
  return -1;
}
int createFile(const fs::path& path) {
  return _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                _S_IREAD | _S_IWRITE);
}
int linkFile(int, const fs::path&) {
  errno = ENOSYS;
  return -1;
}
std::int64_t writeFile(int fd, const char* data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(size < (1u << 30) ? size : (1u << 30)));
}
int setFileMode(int, unsigned) {
  return 0;
}  // only a read-only attribute, and it is clear
int setFileOwner(int, unsigned, unsigned) {
  return 0;
}
int copyFileAttributes(const fs::path&, int) {
  return 0;
}
int syncFile(int fd) {
  return _commit(fd);
}
int closeFile(int fd) {
  return _close(fd);
}
int replaceFile(const fs::path& from, const fs::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return -1;
}
bool isWritable(const fs::path& path) {
  return _waccess(path.c_str(), 2) == 0;
}
void syncFolder(const fs::path&) {}
#else
// Naming the file later goes through /proc/self/fd; without it an unnamed file would stay so.
int createUnnamedFile(const fs::path& folder) {
#ifdef O_TMPFILE
  if (::access("/proc/self/fd", X_OK) != 0) return -1;
  int fd;
  do {
    fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
#else
  (void)folder;
  errno = EOPNOTSUPP;
  return -1;
#endif
}
int createFile(const fs::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}
int linkFile(int fd, const fs::path& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
}
std::int64_t writeFile(int fd, const char* data, std::size_t size) {
  ssize_t written;
  do {
    written = ::write(fd, data, size);
  } while (written < 0 && errno == EINTR);
  return written;
}
int setFileMode(int fd, unsigned mode) {
  return ::fchmod(fd, static_cast<mode_t>(mode));
}
int setFileOwner(int fd, unsigned user, unsigned group) {
  return ::fchown(fd, static_cast<uid_t>(user), static_cast<gid_t>(group));
}
// ACLs are extended attributes too (system.posix_acl_access), so copying every attribute keeps
// them. A security label the system will not let us set is the system's to choose.
int copyFileAttributes(const fs::path& from, int fd) {
  std::vector<char> names(256);
  ssize_t size;
  while ((size = ::listxattr(from.c_str(), names.data(), names.size())) < 0 && errno == ERANGE) {
    names.resize(names.size() * 4);
  }
  if (size < 0) return errno == ENOTSUP ? 0 : -1;
  std::vector<char> value(256);
  for (const char* name = names.data(); name < names.data() + size;
       name += std::string_view(name).size() + 1) {
    ssize_t got;
    while ((got = ::getxattr(from.c_str(), name, value.data(), value.size())) < 0 &&
           errno == ERANGE) {
      value.resize(value.size() * 4);
    }
    const bool label = std::string_view(name).starts_with("security.");
    if (got < 0 || ::fsetxattr(fd, name, value.data(), static_cast<std::size_t>(got), 0) != 0) {
      if (!label) return -1;
    }
  }
  return 0;
}
int syncFile(int fd) {
  return ::fsync(fd);
}
int closeFile(int fd) {
  return ::close(fd);
}  // never retried: Linux releases fd even on EINTR
int replaceFile(const fs::path& from, const fs::path& to) {
  return ::rename(from.c_str(), to.c_str());
}
bool isWritable(const fs::path& path) {
  return ::access(path.c_str(), W_OK) == 0;
}
// Makes the rename itself durable; a folder that cannot be synced still holds the new file.
void syncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}
#endif

constexpr FileCalls kSystemCalls{createUnnamedFile, createFile,   linkFile,           writeFile,
                                 setFileMode,       setFileOwner, copyFileAttributes, syncFile,
                                 closeFile,         replaceFile};

std::string systemReason(int error) {
  return std::generic_category().message(error);
}

std::string uniqueSuffix() {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t x =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) +
      0x9E3779B97F4A7C15ull * ++counter;
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  char text[24];
  std::snprintf(text, sizeof text, "%012llx",
                static_cast<unsigned long long>(x & 0xFFFFFFFFFFFFull));
  return text;
}

fs::path folderOf(const fs::path& target) {
  const fs::path folder = target.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// The longest file name the folder takes.
std::size_t longestName(const fs::path& folder) {
#ifdef _WIN32
  (void)folder;
  return 255;
#else
  const long most = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return most > 0 ? static_cast<std::size_t>(most) : 255;
#endif
}

constexpr std::size_t kTemporaryExtra = 18;  // ".", "." and 12 digits, ".tmp"

// Hidden, and named after the target so that a left-over (after a crash) explains itself; the
// target's name is shortened (at a character's start) so that the name fits where it fits.
fs::path temporaryName(const fs::path& folder, const fs::path& target) {
  std::string base = target.filename().string();
  const std::size_t most = longestName(folder);
  if (base.size() + kTemporaryExtra > most) {
    std::size_t cut = most > kTemporaryExtra ? most - kTemporaryExtra : 0;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    base.resize(cut);
  }
  fs::path name = folder / ("." + base + "." + uniqueSuffix() + ".tmp");
  return name;
}

// Where a symbolic link leads, relative links taken from the link's folder.
fs::path linkTarget(const fs::path& link, std::error_code& ec) {
  const fs::path next = fs::read_symlink(link, ec);
  return next.is_absolute() ? next : link.parent_path() / next;
}

constexpr int kLinkHops = 40;  // as the system's own limit

constexpr int kNameAttempts = 64;

}  // namespace

const FileCalls& systemFileCalls() noexcept {
  return kSystemCalls;
}

std::optional<FileError> writeToDescriptor(int fd, std::string_view bytes, const std::string& name,
                                           const FileCalls& calls) {
  while (!bytes.empty()) {
    const std::int64_t written = calls.write(fd, bytes.data(), bytes.size());
#ifndef _WIN32
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd ready{fd, POLLOUT, 0};
      ::poll(&ready, 1, -1);
      continue;
    }
#endif
    if (written <= 0) {
      return FileError{FileError::Kind::WriteFailed, name,
                       "writing failed: " + systemReason(written == 0 ? ENOSPC : errno), 0};
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return std::nullopt;
}

std::optional<int> namedDescriptor(const std::filesystem::path& path) {
#ifdef _WIN32
  (void)path;
  return std::nullopt;
#else
  const fs::path own = fs::path("/proc") / std::to_string(::getpid());
  fs::path name = path;
  std::error_code ec;
  for (int hop = 0; hop <= kLinkHops; ++hop) {
    // Checked before following: the descriptor's own link leads to the file it is open on.
    const std::string number = name.filename().string();
    if (!number.empty() && number.size() <= 9 &&
        number.find_first_not_of("0123456789") == std::string::npos) {
      const fs::path folder = fs::canonical(folderOf(name), ec);
      if (!ec && (folder == own / "fd" || (folder.filename() == "fd" &&
                                           folder.parent_path().parent_path() == own / "task"))) {
        return std::stoi(number);
      }
    }
    if (!fs::is_symlink(fs::symlink_status(name, ec))) break;
    name = linkTarget(name, ec);
    if (ec) break;
  }
  return std::nullopt;
#endif
}

std::string pathText(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.string();
#endif
}

SafeFile::SafeFile(std::filesystem::path target, const FileCalls& calls)
    : target_(std::move(target)), name_(pathText(target_)), calls_(calls) {}

SafeFile::~SafeFile() {
  discard();
}

std::optional<FileError> SafeFile::open() {
  if (error_) return error_;
  std::error_code ec;
  if (const auto fd = namedDescriptor(target_)) {
    fd_ = *fd;
    borrowed_ = true;
    return std::nullopt;
  }
  for (int hop = 0;; ++hop) {
    if (!fs::is_symlink(fs::symlink_status(target_, ec))) break;
    if (hop == kLinkHops) return fail("following its links", systemReason(ELOOP));
    fs::path next = linkTarget(target_, ec);
    if (ec) return fail("following its links", ec.message());
    target_ = std::move(next);
  }
  if (auto refusal = check()) return refusal;

  const fs::path folder = folderOf(target_);
  fd_ = calls_.createUnnamed(folder);
  unnamed_ = fd_ >= 0;
  // Anything that keeps an unnamed file from being made would keep a named one too, and the
  // named attempt gives the reason that is reported.
  if (!unnamed_ && !createNamed(folder)) {
    return fail("creating a temporary file beside it", systemReason(errno));
  }
  return keepAttributes();
}

// Whatever the rename at the end would trip over, found before any work is done.
std::optional<FileError> SafeFile::check() {
  std::error_code ec;
  const fs::path folder = folderOf(target_);
  if (target_.filename().string().size() > longestName(folder)) {
    return fail("naming it", systemReason(ENAMETOOLONG));
  }
  const fs::file_status status = fs::status(target_, ec);
  if (status.type() == fs::file_type::not_found) return std::nullopt;
  if (ec) return fail("examining it", ec.message());
  if (fs::is_directory(status)) return refuse("it is a folder");
  if (!fs::is_regular_file(status)) return refuse("it is not a regular file");
  const auto mode = static_cast<unsigned>(status.permissions()) & 07777u;
  // Renaming would replace a read-only file without asking, and root may write anything: a
  // file without write permission bits is read-only for everyone.
  if ((mode & 0222u) == 0 || !isWritable(target_)) return refuse("it is read-only");
  keepMode_ = mode & ~06000u;  // a new file does not inherit setuid or setgid
#ifndef _WIN32
  struct statx info {};
  if (::statx(AT_FDCWD, target_.c_str(), 0, STATX_UID | STATX_GID, &info) != 0) {
    return fail("examining it", systemReason(errno));
  }
  if ((info.stx_attributes & STATX_ATTR_IMMUTABLE) != 0) return refuse("it is read-only");
  if ((info.stx_attributes & STATX_ATTR_APPEND) != 0) {
    return refuse("it is append-only: it may only grow");
  }
  keepUser_ = info.stx_uid;
  keepGroup_ = info.stx_gid;
  const uid_t me = ::geteuid();
  if (me == 0) return std::nullopt;  // root keeps any owner and group
  bool member = keepGroup_ == ::getegid();
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<std::size_t>(
      std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  for (const gid_t group : groups) member = member || group == keepGroup_;
  // Only a file of one's own can be kept so: this also covers a sticky folder, where only
  // the file's owner may replace it.
  if (keepUser_ != me || !member) {
    return refuse(
        "it belongs to another user or to a group you are not in, which a replacement "
        "could not keep");
  }
#endif
  return std::nullopt;
}

std::optional<FileError> SafeFile::keepAttributes() {
  if (!keepMode_) return std::nullopt;
  // The owner first: changing it clears setuid and setgid, and the mode is set after it.
  if (calls_.setOwner(fd_, keepUser_, keepGroup_) != 0) {
    return fail("keeping its owner and group", systemReason(errno));
  }
  if (calls_.setMode(fd_, *keepMode_) != 0) {
    return fail("keeping its permissions", systemReason(errno));
  }
  if (calls_.copyAttributes(target_, fd_) != 0) {
    return fail("keeping its ACL and extended attributes", systemReason(errno));
  }
  return std::nullopt;
}

bool SafeFile::createNamed(const fs::path& folder) {
  for (int attempt = 0; attempt < kNameAttempts && fd_ < 0; ++attempt) {
    temporary_ = temporaryName(folder, target_);
    fd_ = calls_.create(temporary_);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  created_ = fd_ >= 0;
  return created_;
}

bool SafeFile::nameUnnamed(const fs::path& folder) {
  for (int attempt = 0; attempt < kNameAttempts && !created_; ++attempt) {
    temporary_ = temporaryName(folder, target_);
    created_ = calls_.link(fd_, temporary_) == 0;
    if (!created_ && errno != EEXIST) break;
  }
  return created_;
}

std::optional<FileError> SafeFile::write(std::string_view bytes) {
  if (error_) return error_;
  if (fd_ < 0) return refuse("it was not opened");
  if (auto error = writeToDescriptor(fd_, bytes, name_, calls_)) {
    discard();
    error_ = std::move(error);
  }
  return error_;
}

std::optional<FileError> SafeFile::startOver() {
  if (error_) return error_;
  if (!canStartOver()) return refuse("it cannot be written again");
#ifdef _WIN32
  const bool emptied = _chsize_s(fd_, 0) == 0 && _lseeki64(fd_, 0, SEEK_SET) == 0;
#else
  const bool emptied = ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0;
#endif
  if (!emptied) return fail("starting it over", systemReason(errno));
  return std::nullopt;
}

std::optional<FileError> SafeFile::commit() {
  if (error_) return error_;
  if (fd_ < 0) return refuse("it was not opened");
  if (borrowed_) return std::nullopt;  // a descriptor's owner decides when it is synced
  if (calls_.sync(fd_) != 0) return fail("syncing", systemReason(errno));
  if (unnamed_ && !nameUnnamed(folderOf(target_))) {
    return fail("naming the temporary file", systemReason(errno));
  }
  const int fd = std::exchange(fd_, -1);  // released whatever close reports
  if (calls_.close(fd) != 0) return fail("closing", systemReason(errno));
  if (calls_.replace(temporary_, target_) != 0) {
    return fail("renaming the temporary file over it", systemReason(errno));
  }
  created_ = false;
  syncFolder(folderOf(target_));
  return std::nullopt;
}

std::optional<FileError> SafeFile::fail(std::string_view step, const std::string& reason) {
  return refuse(std::string(step) + " failed: " + reason);
}

std::optional<FileError> SafeFile::refuse(std::string_view reason) {
  discard();
  error_ = FileError{FileError::Kind::WriteFailed, name_, std::string(reason), 0};
  return error_;
}

void SafeFile::discard() noexcept {
  if (borrowed_) fd_ = -1;
  if (fd_ >= 0) calls_.close(std::exchange(fd_, -1));
  if (created_) {
    std::error_code ignored;
    fs::remove(temporary_, ignored);
    created_ = false;
  }
}

std::optional<FileError> writeFileAtomically(const std::filesystem::path& target,
                                             std::string_view bytes, const FileCalls& calls) {
  SafeFile file(target, calls);
  if (auto error = file.open()) return error;
  if (auto error = file.write(bytes)) return error;
  return file.commit();
}

}  // namespace vorlet
