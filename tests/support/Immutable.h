#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

namespace vorlet::testing_files {

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

}  // namespace vorlet::testing_files
