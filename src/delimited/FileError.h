#pragma once

#include <cstdint>
#include <string>

namespace vorlet {

// Why a file could not be read or written. `path` is the file concerned; `detail` is the
// system's reason where there is one (strerror text), in English.
struct FileError {
  enum class Kind : std::uint8_t {
    NotFound,      // no such file or folder
    NotRegular,    // a folder, FIFO, device or other non-regular file
    NoPermission,  // access denied
    ReadFailed,    // an I/O error while reading
    ChangedSize,   // the file grew or shrank while it was being read (another program writing it)
    Binary,        // a NUL byte: a binary or UTF-16 file; `offset` is where
    Undecodable,   // neither UTF-8 nor Shift-JIS; `offset` is the first offending byte
    NoRecords,     // empty, or a byte order mark alone
    TooLarge,      // the text and its table would not fit in the memory available
    WriteFailed,   // creating, writing, syncing or renaming the output failed; target untouched
  };
  Kind kind = Kind::ReadFailed;
  std::string path;
  std::string detail;
  std::uint64_t offset = 0;
};

// One line in English naming the path and the reason, for the command line.
std::string describe(const FileError& error);

}  // namespace vorlet
