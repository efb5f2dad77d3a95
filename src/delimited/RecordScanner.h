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
// UTF-8: a character is a lead byte and the continuation bytes after it (at most as many as the
// lead announces). Shift-JIS: a lead byte 81-9F or E0-FC and the byte after it, or a single byte.
enum class CharSet : std::uint8_t { Utf8, ShiftJis };

struct Separators {
  char field = ',';
  std::string_view record = "\r\n";  // 1 to 32,767 characters; empty: lines are never cut
  char quote = '"';
};

// The fields of one record. Each view refers into the scanned text, or into the scanner's own
// scratch storage when the field's bytes had to be rebuilt (doubled or dropped quotes, or the
// record separator an unclosed quote gets at the end of the input); scratch views stay valid
// until the next call of next(). Reused between records: no allocation per record once warm.
struct ScannedRecord {
  std::vector<std::string_view> fields;
};

// The reading rules of delimited text, in one place: RecordSource reads through it every record
// its fast path leaves. It reads one record at a time from a text that may be only the
// beginning of the input.
//
// A record is one line, cut at the whole record separator (a part of it is content), plus the
// lines a quoted field runs over. Fields are cut at the field separator; a field that starts
// with the quote is quoted: it ends at a quote that is the last character of its line, or is
// followed by exactly one last character (dropped; an empty field follows), or by the field
// separator. Inside it a doubled quote stands for one quote, a quote before any other character
// is dropped, and line ends are kept. A quoted field still open when no record separator is left
// takes the rest of the input: whole and unprocessed when it holds no field separator.
// A record always has at least one field. Reading a record depends only on the text from `pos`
// on, so a caller may drop the text before `pos` between calls.
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
  // A rebuilt field: out.fields[index] is filled in once the record is complete, because the
  // scratch storage may move while later fields are appended to it.
  struct ScratchField {
    std::size_t index;
    std::size_t offset;
    std::size_t length;
  };

  class Reader;  // the state of reading one record

  CharSet charset_;
  char field_;
  char quote_;
  std::string record_;  // a copy: the caller's separator text need not outlive the scanner
  std::string scratch_;
  std::vector<ScratchField> scratchFields_;
};

}  // namespace vorlet
