#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "delimited/FileError.h"

namespace vorlet {

// An input to read from start to end, possibly twice (a regular file). Owns its descriptor
// unless it was borrowed.
class InputFile {
 public:
  // Only a regular file is opened: a folder, FIFO or device is refused without ever blocking on
  // it, and the size is known before the first byte is read.
  static std::variant<InputFile, FileError> open(const std::filesystem::path& path);
  // A descriptor the caller keeps (standard input); any kind of file. A regular file is read
  // from the descriptor's current offset.
  static std::variant<InputFile, FileError> borrow(int fd, std::string name);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  const std::string& name() const noexcept { return name_; }
  bool regular() const noexcept { return regular_; }
  // Bytes from the starting offset to the end when opened; regular files only.
  std::uint64_t size() const noexcept { return size_; }

  // Reads until `capacity` bytes are in or the input ends; `got` below `capacity` means the end.
  std::optional<FileError> read(char* into, std::size_t capacity, std::size_t& got);
  // Back to where reading began; regular files only.
  std::optional<FileError> rewind();
  // Bytes read() has delivered since the start (or the last rewind); any thread may ask, to
  // show progress.
  std::uint64_t bytesRead() const noexcept { return consumed_.load(std::memory_order_relaxed); }
  // The descriptor, for positional reads that leave read()'s position alone (POSIX pread).
  int descriptor() const noexcept { return fd_; }

 private:
  InputFile(int fd, bool owned, std::string name) noexcept
      : fd_(fd), owned_(owned), name_(std::move(name)) {}
  std::optional<FileError> settle();

  int fd_ = -1;
  bool owned_ = false;
  bool regular_ = false;
  std::uint64_t size_ = 0;
  std::int64_t start_ = 0;
  std::string name_;
  std::atomic<std::uint64_t> consumed_{0};
};

// Bytes to read into, from the start of a page: the kernel copies into a destination that is not
// 64-byte aligned at a fraction of the speed, so each read should start at a page too.
class ReadBuffer {
 public:
  static constexpr std::size_t kPage = 4096;

  explicit ReadBuffer(std::size_t size) : bytes_(allocate(size)), size_(size) {}
  char* data() const noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return size_; }
  // Grows to `size`, keeping the first `keep` bytes.
  void grow(std::size_t size, std::size_t keep);

 private:
  struct Release {
    void operator()(char* bytes) const noexcept;
  };
  using Storage = std::unique_ptr<char[], Release>;
  static Storage allocate(std::size_t size);

  Storage bytes_;
  std::size_t size_;
};

// A FileError for a failed system call on `name`, its kind taken from errno's value.
FileError fileErrorFromErrno(int error, const std::string& name,
                             FileError::Kind otherwise = FileError::Kind::ReadFailed);

}  // namespace vorlet
