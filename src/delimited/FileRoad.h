#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "delimited/FileError.h"
#include "delimited/TextEncoding.h"
#include "table/CellTable.h"
#include "table/Progress.h"

namespace vorlet {

struct OpenedTable {
  CellTable table;  // fields 1..F by records 1..R, every cell a text or empty
  TextEncoding encoding = TextEncoding::Utf8;
  LineEnd lineEnd = LineEnd::CrLf;
  std::uint64_t fileSize = 0;
};

// The window's open road: reads a regular file whole, settles its encoding and its line ends
// (lineEndOf) and parses it into a fresh table with ParseDelimited (",", CR LF or LF, '"').
// Nothing else is touched on failure. `progress`, when given, counts bytes read and parsed.
std::variant<OpenedTable, FileError> readDelimitedFile(const std::filesystem::path& path,
                                                       Progress* progress = nullptr);

// The bytes a save writes for a thinned table: the joined text (fields that need it quoted),
// then the line end, with the byte order mark first for Utf8WithBom. A result without any
// thinned record gives the line end alone. An undimensioned table gives the same, but it holds
// no result at all: the window does not save it (it says there is nothing to save).
std::string savedFileBytes(const CellTable& result, TextEncoding encoding,
                           LineEnd lineEnd = LineEnd::CrLf);

// Writes savedFileBytes atomically: a temporary file beside the target, written, flushed and
// synced, then renamed over it, keeping an existing target's permissions. On failure the target
// is untouched and no temporary file remains. Everything that can be checked about the target
// is checked before the bytes are made. `progress`, when given, counts the bytes written.
std::optional<FileError> saveDelimitedFile(const CellTable& result, TextEncoding encoding,
                                           const std::filesystem::path& path,
                                           LineEnd lineEnd = LineEnd::CrLf,
                                           Progress* progress = nullptr);

}  // namespace vorlet
