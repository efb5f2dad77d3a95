#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "delimited/FileError.h"
#include "delimited/RecordScanner.h"

namespace vorlet {

// How a file's bytes are text. Cells keep the bytes as they are; this says how to show them
// and how to write a saved file so that unchanged cells come back byte for byte.
enum class TextEncoding : std::uint8_t {
  Utf8,         // valid UTF-8 (plain ASCII included), no byte order mark
  Utf8WithBom,  // UTF-8 after EF BB BF; the mark is not part of the text, a saved file gets it
                // again
  ShiftJis,     // code page 932 bytes
};

// How a file's records end. CR LF unless the first record, read with LF as the record separator,
// ends at an LF without a CR before it: then LF ends records and a saved file, as CR LF does
// otherwise.
enum class LineEnd : std::uint8_t { CrLf, Lf };

// The record separator of a convention: CR LF or LF.
constexpr std::string_view lineEndText(LineEnd lineEnd) noexcept {
  return lineEnd == LineEnd::Lf ? "\n" : "\r\n";
}

// The convention of a text (after any byte order mark), from its first record read by the
// reading rules with LF as the record separator, so that a line end in a quoted field does not
// count. Nothing while that record may still end further on: only when `text` is not `final`.
std::optional<LineEnd> lineEndOf(std::string_view text, CharSet charset, bool final);

// What a whole input turned out to be. Decided in this order: a NUL byte anywhere makes it
// binary (or UTF-16); a leading EF BB BF makes it UTF-8 with a byte order mark, and the rest must
// then be valid UTF-8; valid UTF-8 otherwise; Shift-JIS when the bytes split into single bytes
// 00-7F, A1-DF and pairs of a lead 81-9F, E0-FC with a trail 40-7E, 80-FC; anything else is
// undecodable.
struct EncodingVerdict {
  enum class Kind : std::uint8_t { Utf8, Utf8WithBom, ShiftJis, Binary, Undecodable };
  Kind kind = Kind::Utf8;
  // Binary: the first NUL byte. Undecodable: the first byte of the first character that cannot
  // be read, in the reading that got furthest.
  std::uint64_t offset = 0;
};

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Settles the encoding of an input fed in pieces of any size, so that a file can be checked in
// chunks. Runs of plain ASCII are passed 16 to 64 bytes at a time (SSE2, or AVX2 where the CPU
// has it).
class EncodingDetector {
 public:
  void feed(std::string_view bytes) noexcept;
  // True once the verdict cannot change any more (a NUL byte was seen): feeding can stop.
  bool settled() const noexcept { return sawNul_; }
  // True once no further byte can make the input acceptable: only a NUL could still change the
  // refusal (into Binary, at its offset).
  bool refused() const noexcept {
    return sawNul_ || (!utf8Valid_ && (bomPrefix_ == 3 || !sjisValid_));
  }
  // The verdict for everything fed, as if the input ended here.
  EncodingVerdict verdict() const noexcept;
  // Whether reading the input as Shift-JIS could cut a record differently from reading it as
  // UTF-8, as if the input ended here. The reading rules count characters in one place only:
  // after a quote, the bytes up to the line end when there are two to four of them. So the
  // readings can differ only where a quote is followed by two to four bytes, the first not
  // ASCII, and then LF, CR LF or the end of the input, and the two encodings disagree on whether
  // those bytes are one character. Anywhere else a text read as UTF-8 reads the same as
  // Shift-JIS, which spares a second reading.
  bool readingsMayDiffer() const noexcept;

 private:
  void step(unsigned char byte) noexcept;
  void remember(const unsigned char* end, std::size_t count) noexcept;
  void stepUtf8(unsigned char byte) noexcept;
  void stepShiftJis(unsigned char byte) noexcept;
  bool betweenCharacters() const noexcept {
    return (!utf8Valid_ || utf8Pending_ == 0) && (!sjisValid_ || !sjisPendingTrail_);
  }

  std::uint64_t offset_ = 0;     // bytes fed so far
  std::uint64_t bomPrefix_ = 0;  // how many leading bytes matched EF BB BF
  bool sawNul_ = false;
  std::uint64_t nulOffset_ = 0;

  bool utf8Valid_ = true;
  int utf8Pending_ = 0;                             // continuation bytes still expected
  unsigned char utf8Low_ = 0x80, utf8High_ = 0xBF;  // range of the next continuation byte
  std::uint64_t utf8Start_ = 0;                     // where the current character began
  std::uint64_t utf8Bad_ = 0;

  bool sjisValid_ = true;
  bool sjisPendingTrail_ = false;
  std::uint64_t sjisStart_ = 0;
  std::uint64_t sjisBad_ = 0;

  std::uint64_t recent_ = 0;      // the last eight bytes fed, the latest in the top byte
  std::uint64_t watchUntil_ = 0;  // bytes up to here are looked at one by one: a quote and a
                                  // byte that is not ASCII came just before
  bool readingsMayDiffer_ = false;
};

// The verdict for a whole buffer.
EncodingVerdict detectEncoding(std::string_view bytes) noexcept;

// Binary and Undecodable verdicts as the error that refuses the input `name`.
std::optional<FileError> refusalOf(const EncodingVerdict& verdict, const std::string& name);
// The encoding of an accepted verdict, and how the reading rules count its characters.
TextEncoding encodingOf(const EncodingVerdict& verdict) noexcept;
CharSet charSetOf(TextEncoding encoding) noexcept;

}  // namespace vorlet
