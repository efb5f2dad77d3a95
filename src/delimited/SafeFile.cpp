#include "delimited/SafeFile.h"

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
#include <sys/stat.h>
#include <unistd.h>
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

constexpr FileCalls kSystemCalls{createUnnamedFile, createFile, linkFile,  writeFile,
                                 setFileMode,       syncFile,   closeFile, replaceFile};

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

// Hidden, and named after the target so that a left-over (after a crash) explains itself.
fs::path temporaryName(const fs::path& folder, const fs::path& target) {
  fs::path name = folder / ".";
  name += target.filename();
  name += ".";
  name += uniqueSuffix();
  name += ".tmp";
  return name;
}

constexpr int kNameAttempts = 64;

}  // namespace

const FileCalls& systemFileCalls() noexcept {
  return kSystemCalls;
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
  if (fs::is_symlink(fs::symlink_status(target_, ec))) {
    fs::path resolved = fs::weakly_canonical(target_, ec);
    if (!ec) target_ = std::move(resolved);
  }
  const fs::file_status status = fs::status(target_, ec);
  if (status.type() != fs::file_type::not_found) {
    if (ec) return fail("examining it", ec.message());
    if (fs::is_directory(status)) return refuse("it is a folder");
    if (!fs::is_regular_file(status)) return refuse("it is not a regular file");
    // Renaming would replace a read-only file without asking; respect the protection instead.
    if (!isWritable(target_)) return refuse("it is read-only");
    keepMode_ = static_cast<unsigned>(status.permissions()) & 07777u;
  }

  const fs::path folder = folderOf(target_);
  fd_ = calls_.createUnnamed(folder);
  unnamed_ = fd_ >= 0;
  // Anything that keeps an unnamed file from being made would keep a named one too, and the
  // named attempt gives the reason that is reported.
  if (!unnamed_ && !createNamed(folder)) {
    return fail("creating a temporary file beside it", systemReason(errno));
  }
  if (keepMode_ && calls_.setMode(fd_, *keepMode_) != 0) {
    return fail("keeping its permissions", systemReason(errno));
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
  while (!bytes.empty()) {
    const std::int64_t written = calls_.write(fd_, bytes.data(), bytes.size());
    if (written <= 0) return fail("writing", systemReason(written == 0 ? ENOSPC : errno));
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return std::nullopt;
}

std::optional<FileError> SafeFile::commit() {
  if (error_) return error_;
  if (fd_ < 0) return refuse("it was not opened");
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
