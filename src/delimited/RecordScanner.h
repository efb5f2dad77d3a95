#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlet {

// How characters are counted where the reading rules count them (the one character after a
// closing quote at the end of a line). Structural bytes (separators, quote, CR, LF) are ASCII and
// never occur inside a multibyte character in either encoding, so scanning itself works on bytes.
enum class CharSet : std::uint8_t { Utf8, ShiftJis };

struct Separators {
  char field = ',';
  std::string_view record = "\r\n";  // 1 to 32,767 characters
  char quote = '"';
};

// The fields of one record. Each view refers into the scanned text, or into the scanner's own
// scratch storage when the field's bytes had to be rebuilt (doubled or dropped quotes); scratch
// views stay valid until the next call of next(). Reused between records: no allocation per
// record once warm.
struct ScannedRecord {
  std::vector<std::string_view> fields;
};

// The reading rules of delimited text, in one place: ParseDelimited stores what it yields, the
// streaming command line writes it out. It reads one record at a time from a text that may be
// only the beginning of the input.
class RecordScanner {
 public:
  enum class Status : std::uint8_t {
    Record,    // `out` holds the record; `pos` is past it
    NeedMore,  // the record may go on past the end of `text`; `pos` unchanged, `out` unspecified
    End,       // `final` and nothing left: no record
  };

  explicit RecordScanner(CharSet charset = CharSet::Utf8, Separators separators = {});

  // Reads the record that starts at `pos` in `text`. `final` says that `text` ends the input;
  // without it, a record is only reported once its end is certain.
  Status next(std::string_view text, std::size_t& pos, bool final, ScannedRecord& out);

 private:
  CharSet charset_;
  Separators separators_;
  std::string scratch_;
};

}  // namespace vorlet
