#include "delimited/InputFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include "delimited/SafeFile.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vorlet {

namespace {

#ifdef _WIN32
using StatBuffer = struct _stat64;
int statPath(const std::filesystem::path& path, StatBuffer& st) {
  return _wstat64(path.c_str(), &st);
}
int statFd(int fd, StatBuffer& st) {
  return _fstat64(fd, &st);
}
bool isRegular(const StatBuffer& st) {
  return (st.st_mode & _S_IFMT) == _S_IFREG;
}
int openForReading(const std::filesystem::path& path) {
  return _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
std::int64_t readSome(int fd, char* into, std::size_t size) {
  return _read(fd, into, static_cast<unsigned>(size < (1u << 30) ? size : (1u << 30)));
}
std::int64_t seekTo(int fd, std::int64_t offset, int whence) {
  return _lseeki64(fd, offset, whence);
}
void closeFd(int fd) {
  _close(fd);
}
void adviseSequential(int) {}
#else
using StatBuffer = struct stat;
int statPath(const std::filesystem::path& path, StatBuffer& st) {
  return ::stat(path.c_str(), &st);
}
int statFd(int fd, StatBuffer& st) {
  return ::fstat(fd, &st);
}
bool isRegular(const StatBuffer& st) {
  return S_ISREG(st.st_mode);
}
// O_NONBLOCK: should a FIFO take the place of the file after the check, opening it must not
// wait for a writer; the check after opening then refuses it.
int openForReading(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}
std::int64_t readSome(int fd, char* into, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, into, size);
  } while (got < 0 && errno == EINTR);
  return got;
}
std::int64_t seekTo(int fd, std::int64_t offset, int whence) {
  return ::lseek(fd, static_cast<off_t>(offset), whence);
}
void closeFd(int fd) {
  ::close(fd);
}
void adviseSequential(int fd) {
#if defined(POSIX_FADV_SEQUENTIAL)
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#else
  (void)fd;
#endif
}
#endif

FileError notRegular(const std::string& name) {
  return FileError{FileError::Kind::NotRegular, name, "", 0};
}

}  // namespace

FileError fileErrorFromErrno(int error, const std::string& name, FileError::Kind otherwise) {
  FileError::Kind kind = otherwise;
  if (error == ENOENT || error == ENOTDIR) kind = FileError::Kind::NotFound;
  if (error == EACCES || error == EPERM) kind = FileError::Kind::NoPermission;
  if (error == EISDIR) kind = FileError::Kind::NotRegular;
  return FileError{kind, name, std::generic_category().message(error), 0};
}

std::variant<InputFile, FileError> InputFile::open(const std::filesystem::path& path) {
  const std::string name = pathText(path);
  StatBuffer st{};
  if (statPath(path, st) != 0) return fileErrorFromErrno(errno, name);
  if (!isRegular(st)) return notRegular(name);
  const int fd = openForReading(path);
  if (fd < 0) return fileErrorFromErrno(errno, name);
  InputFile input(fd, true, name);
  if (auto error = input.settle()) return *error;
  if (!input.regular_) return notRegular(name);
  adviseSequential(fd);
  return input;
}

std::variant<InputFile, FileError> InputFile::borrow(int fd, std::string name) {
  InputFile input(fd, false, std::move(name));
  if (auto error = input.settle()) return *error;
  return input;
}

std::optional<FileError> InputFile::settle() {
  StatBuffer st{};
  if (statFd(fd_, st) != 0) return fileErrorFromErrno(errno, name_);
  regular_ = isRegular(st);
  if (!regular_) return std::nullopt;
  const std::int64_t here = seekTo(fd_, 0, SEEK_CUR);
  start_ = here > 0 ? here : 0;
  const auto total = static_cast<std::int64_t>(st.st_size);
  size_ = total > start_ ? static_cast<std::uint64_t>(total - start_) : 0;
  return std::nullopt;
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      owned_(other.owned_),
      regular_(other.regular_),
      size_(other.size_),
      start_(other.start_),
      name_(std::move(other.name_)),
      consumed_(other.consumed_.load()) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (owned_ && fd_ >= 0) closeFd(fd_);
    fd_ = std::exchange(other.fd_, -1);
    owned_ = other.owned_;
    regular_ = other.regular_;
    size_ = other.size_;
    start_ = other.start_;
    name_ = std::move(other.name_);
    consumed_ = other.consumed_.load();
  }
  return *this;
}

InputFile::~InputFile() {
  if (owned_ && fd_ >= 0) closeFd(fd_);
}

std::optional<FileError> InputFile::read(char* into, std::size_t capacity, std::size_t& got) {
  got = 0;
  while (got < capacity) {
    const std::int64_t n = readSome(fd_, into + got, capacity - got);
    if (n < 0) return fileErrorFromErrno(errno, name_);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
    // One writer: a plain store is enough, and costs nothing beside a read of megabytes.
    consumed_.store(consumed_.load(std::memory_order_relaxed) + static_cast<std::uint64_t>(n),
                    std::memory_order_relaxed);
  }
  return std::nullopt;
}

ReadBuffer::Storage ReadBuffer::allocate(std::size_t size) {
  return Storage(static_cast<char*>(::operator new[](size, std::align_val_t{kPage})));
}

void ReadBuffer::Release::operator()(char* bytes) const noexcept {
  ::operator delete[](bytes, std::align_val_t{kPage});
}

void ReadBuffer::grow(std::size_t size, std::size_t keep) {
  Storage bigger = allocate(size);
  std::memcpy(bigger.get(), bytes_.get(), keep);
  bytes_ = std::move(bigger);
  size_ = size;
}

std::optional<FileError> InputFile::rewind() {
  if (seekTo(fd_, start_, SEEK_SET) < 0) return fileErrorFromErrno(errno, name_);
  consumed_.store(0, std::memory_order_relaxed);
  return std::nullopt;
}

}  // namespace vorlet
