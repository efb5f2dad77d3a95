#include "delimited/FileError.h"

namespace vorlet {

using Kind = FileError::Kind;

std::string describe(const FileError& error) {
  const std::string& path = error.path;
  const std::string because = error.detail.empty() ? "" : " (" + error.detail + ")";
  switch (error.kind) {
    case Kind::NotFound:
      return "cannot open " + path + ": no such file or folder";
    case Kind::NotRegular:
      return "cannot open " + path + ": not a regular file (a folder, pipe or device)";
    case Kind::NoPermission:
      return "cannot open " + path + ": permission denied";
    case Kind::ReadFailed:
      return "cannot read " + path + ": " + error.detail;
    case Kind::ChangedSize:
      return "cannot read " + path + ": the file changed size while being read";
    case Kind::Binary:
      return "cannot open " + path + ": a binary or UTF-16 file (NUL byte at offset " +
             std::to_string(error.offset) + ")";
    case Kind::Undecodable:
      return "cannot open " + path + ": neither UTF-8 nor Shift-JIS text (invalid byte at offset " +
             std::to_string(error.offset) + ")";
    case Kind::NoRecords:
      return "cannot open " + path + ": the file holds no records";
    case Kind::TooLarge:
      return "cannot open " + path + ": too large for the memory available" + because;
    case Kind::WriteFailed:
      return "cannot write " + path + ": " + error.detail;
  }
  return "cannot use " + path + because;
}

}  // namespace vorlet
