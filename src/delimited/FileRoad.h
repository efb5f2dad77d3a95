#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "table/CellTable.h"

namespace vorlet {

// How a file's bytes are text. Cells keep the bytes as they are; this says how to show them
// and how to write a saved file so that unchanged cells come back byte for byte.
enum class TextEncoding : std::uint8_t {
  Utf8,         // valid UTF-8 (plain ASCII included), no byte order mark
  Utf8WithBom,  // UTF-8 after EF BB BF; the mark is not part of the text, a saved file gets it again
  ShiftJis,     // code page 932 bytes
};

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

struct OpenedTable {
  CellTable table;  // fields 1..F by records 1..R, every cell a text or empty
  TextEncoding encoding = TextEncoding::Utf8;
  std::uint64_t fileSize = 0;
};

// The window's open road: reads a regular file whole, settles its encoding and parses it into a
// fresh table with ParseDelimited (",", CR LF, '"'). Nothing else is touched on failure.
std::variant<OpenedTable, FileError> readDelimitedFile(const std::filesystem::path& path);

// The bytes a save writes for a thinned table: the joined text (fields that need it quoted),
// then CR LF, with the byte order mark first for Utf8WithBom. A result without any thinned
// record gives CR LF alone. An undimensioned table gives the same, but it holds no result at
// all: the window does not save it (it says there is nothing to save).
std::string savedFileBytes(const CellTable& result, TextEncoding encoding);

// Writes savedFileBytes atomically: a temporary file beside the target, written, flushed and
// synced, then renamed over it, keeping an existing target's permissions. On failure the target
// is untouched and no temporary file remains.
std::optional<FileError> saveDelimitedFile(const CellTable& result, TextEncoding encoding,
                                           const std::filesystem::path& path);

}  // namespace vorlet
