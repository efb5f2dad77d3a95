#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "delimited/FileError.h"

namespace vorlet {

// The system calls an atomic write goes through. Each returns -1 and sets errno on failure, as
// the POSIX calls do; tests replace single entries to make one step fail.
struct FileCalls {
  // A write-only file without a name in `folder` (Linux's O_TMPFILE): a process killed while
  // writing it leaves nothing behind. Fails where the system or the file system has none.
  int (*createUnnamed)(const std::filesystem::path& folder);
  int (*create)(const std::filesystem::path& path);        // exclusive, write-only: a descriptor
  int (*link)(int fd, const std::filesystem::path& path);  // names an unnamed file
  std::int64_t (*write)(int fd, const char* data, std::size_t size);  // bytes written
  int (*setMode)(int fd, unsigned mode);  // permission bits (a no-op where there are none)
  int (*setOwner)(int fd, unsigned user, unsigned group);
  // Copies the extended attributes of `from` (ACLs among them) onto the file `fd`.
  int (*copyAttributes)(const std::filesystem::path& from, int fd);
  int (*sync)(int fd);
  int (*close)(int fd);
  int (*replace)(const std::filesystem::path& from, const std::filesystem::path& to);
};

const FileCalls& systemFileCalls() noexcept;

// A path as messages show it (UTF-8 on Windows).
std::string pathText(const std::filesystem::path& path);

// Writes all of `bytes` to a descriptor the caller keeps, waiting while a non-blocking one is
// full. Errors name `name`.
std::optional<FileError> writeToDescriptor(int fd, std::string_view bytes, const std::string& name,
                                           const FileCalls& calls = systemFileCalls());

// The descriptor of this process that `path` names (/dev/stdout, /dev/fd/N, /proc/self/fd/N),
// if it names one.
std::optional<int> namedDescriptor(const std::filesystem::path& path);

// A file that appears at its target only complete: the bytes go to a temporary file in the
// target's folder, which is synced, closed and renamed over the target by commit(). The
// temporary has no name until commit() links it under one right before the rename, where the
// system allows (otherwise it is named from the start). A symbolic link is written through to
// the file it names, even one that does not exist yet. A name of an open descriptor of this
// process is written to through the descriptor, as standard output is.
//
// An existing target keeps its owner, group, permission bits (setuid and setgid cleared),
// ACL and extended attributes. open() refuses, before any work, what commit() could not do or
// should not: a target that is read-only (no write permission bit, for root too), append-only
// or immutable, one whose owner or group a new file could not keep (another user's file, or a
// group the user is not in, unless root), and a name too long for the folder. On any failure, and
// when the object goes away uncommitted, the temporary is removed and the target is untouched.
// Every error is a WriteFailed naming the target.
class SafeFile {
 public:
  explicit SafeFile(std::filesystem::path target, const FileCalls& calls = systemFileCalls());
  ~SafeFile();
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Checks the target and creates the temporary. Call once, before write.
  std::optional<FileError> open();
  std::optional<FileError> write(std::string_view bytes);
  // Drops what was written, to write from the start again. Only the temporary can: not a
  // descriptor the target names.
  bool canStartOver() const noexcept { return fd_ >= 0 && !borrowed_; }
  std::optional<FileError> startOver();
  std::optional<FileError> commit();

  // The temporary's name while one exists on disk, for a signal handler to remove; empty
  // otherwise (an unnamed temporary has one only inside commit()).
  const std::filesystem::path& temporaryPath() const noexcept {
    return created_ ? temporary_ : kNoPath;
  }

 private:
  static inline const std::filesystem::path kNoPath;

  std::optional<FileError> check();
  std::optional<FileError> keepAttributes();
  bool createNamed(const std::filesystem::path& folder);
  bool nameUnnamed(const std::filesystem::path& folder);
  std::optional<FileError> fail(std::string_view step, const std::string& reason);
  std::optional<FileError> refuse(std::string_view reason);
  void discard() noexcept;

  std::filesystem::path target_;
  std::string name_;  // the target as the caller named it, for messages
  std::filesystem::path temporary_;
  FileCalls calls_;
  std::optional<unsigned> keepMode_;
  unsigned keepUser_ = 0;
  unsigned keepGroup_ = 0;
  bool borrowed_ = false;  // fd_ is a descriptor the target names; never closed here
  int fd_ = -1;
  bool created_ = false;  // the temporary has a name on disk
  bool unnamed_ = false;  // it was created without one
  std::optional<FileError> error_;
};

// Writes `bytes` as the whole new content of `target` through a SafeFile.
std::optional<FileError> writeFileAtomically(const std::filesystem::path& target,
                                             std::string_view bytes,
                                             const FileCalls& calls = systemFileCalls());

}  // namespace vorlet
