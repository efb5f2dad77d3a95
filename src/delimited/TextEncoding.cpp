#include "delimited/TextEncoding.h"

#include <algorithm>
#include <cstring>

namespace vorlet {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

std::uint64_t load64(const unsigned char* p) noexcept {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Bytes of 16-byte blocks from `p` that are ASCII without NUL: nothing in them can change any
// verdict. A byte of 01-7F minus one never borrows, so `v - kOnes` sets a high bit exactly where
// a byte is 00 (or where `v` already has one).
std::size_t plainAsciiPrefix(const unsigned char* p, std::size_t size) noexcept {
  std::size_t done = 0;
  while (size - done >= 32) {
    const std::uint64_t a = load64(p + done), b = load64(p + done + 8);
    const std::uint64_t c = load64(p + done + 16), d = load64(p + done + 24);
    if (((a | b | c | d | (a - kOnes) | (b - kOnes) | (c - kOnes) | (d - kOnes)) & kHighBits) != 0)
      break;
    done += 32;
  }
  while (size - done >= 8) {
    const std::uint64_t a = load64(p + done);
    if (((a | (a - kOnes)) & kHighBits) != 0) break;
    done += 8;
  }
  return done;
}

}  // namespace

void EncodingDetector::feed(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t size = bytes.size();
  while (size > 0 && !sawNul_) {
    const bool decided = !utf8Valid_ && (bomPrefix_ == 3 || !sjisValid_);
    if (decided) {
      // Only a NUL byte could still change the verdict.
      const void* nul = std::memchr(p, 0, size);
      if (nul == nullptr) {
        offset_ += size;
        return;
      }
      const auto skipped = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
      offset_ += skipped;
      p += skipped;
      size -= skipped;
    } else if (offset_ >= 3 && betweenCharacters()) {
      const std::size_t skipped = plainAsciiPrefix(p, size);
      offset_ += skipped;
      p += skipped;
      size -= skipped;
      if (size == 0) return;
    }
    step(*p);
    ++p;
    --size;
  }
}

void EncodingDetector::step(unsigned char byte) noexcept {
  if (byte == 0) {
    sawNul_ = true;
    nulOffset_ = offset_;
  }
  if (offset_ < 3 && bomPrefix_ == offset_ &&
      byte == static_cast<unsigned char>(kUtf8Bom[static_cast<std::size_t>(offset_)])) {
    ++bomPrefix_;
  }
  if (utf8Valid_) stepUtf8(byte);
  if (sjisValid_) stepShiftJis(byte);
  ++offset_;
}

void EncodingDetector::stepUtf8(unsigned char byte) noexcept {
  if (utf8Pending_ > 0) {
    if (byte < utf8Low_ || byte > utf8High_) {
      utf8Valid_ = false;
      utf8Bad_ = utf8Start_;
      return;
    }
    utf8Low_ = 0x80;
    utf8High_ = 0xBF;
    --utf8Pending_;
    return;
  }
  utf8Start_ = offset_;
  if (byte < 0x80) return;
  // The narrowed ranges of the first continuation byte rule out overlong forms (E0, F0),
  // surrogates (ED) and code points above U+10FFFF (F4).
  if (byte >= 0xC2 && byte <= 0xDF) {
    utf8Pending_ = 1;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    utf8Pending_ = 2;
    if (byte == 0xE0) utf8Low_ = 0xA0;
    if (byte == 0xED) utf8High_ = 0x9F;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    utf8Pending_ = 3;
    if (byte == 0xF0) utf8Low_ = 0x90;
    if (byte == 0xF4) utf8High_ = 0x8F;
  } else {
    utf8Valid_ = false;
    utf8Bad_ = offset_;
  }
}

void EncodingDetector::stepShiftJis(unsigned char byte) noexcept {
  if (sjisPendingTrail_) {
    sjisPendingTrail_ = false;
    if ((byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC)) return;
    sjisValid_ = false;
    sjisBad_ = sjisStart_;
    return;
  }
  sjisStart_ = offset_;
  if (byte <= 0x7F || (byte >= 0xA1 && byte <= 0xDF)) return;
  if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) {
    sjisPendingTrail_ = true;
    return;
  }
  sjisValid_ = false;
  sjisBad_ = offset_;
}

EncodingVerdict EncodingDetector::verdict() const noexcept {
  using Kind = EncodingVerdict::Kind;
  if (sawNul_) return {Kind::Binary, nulOffset_};
  // A character still open at the end is cut short: it is the offending one.
  const bool utf8Ok = utf8Valid_ && utf8Pending_ == 0;
  const std::uint64_t utf8Bad = utf8Valid_ ? utf8Start_ : utf8Bad_;
  if (bomPrefix_ == 3)
    return utf8Ok ? EncodingVerdict{Kind::Utf8WithBom, 0}
                  : EncodingVerdict{Kind::Undecodable, utf8Bad};
  if (utf8Ok) return {Kind::Utf8, 0};
  const bool sjisOk = sjisValid_ && !sjisPendingTrail_;
  if (sjisOk) return {Kind::ShiftJis, 0};
  const std::uint64_t sjisBad = sjisValid_ ? sjisStart_ : sjisBad_;
  return {Kind::Undecodable, std::max(utf8Bad, sjisBad)};
}

EncodingVerdict detectEncoding(std::string_view bytes) noexcept {
  EncodingDetector detector;
  detector.feed(bytes);
  return detector.verdict();
}

std::optional<FileError> refusalOf(const EncodingVerdict& verdict, const std::string& name) {
  if (verdict.kind == EncodingVerdict::Kind::Binary) {
    return FileError{FileError::Kind::Binary, name, "", verdict.offset};
  }
  if (verdict.kind == EncodingVerdict::Kind::Undecodable) {
    return FileError{FileError::Kind::Undecodable, name, "", verdict.offset};
  }
  return std::nullopt;
}

TextEncoding encodingOf(const EncodingVerdict& verdict) noexcept {
  switch (verdict.kind) {
    case EncodingVerdict::Kind::Utf8WithBom:
      return TextEncoding::Utf8WithBom;
    case EncodingVerdict::Kind::ShiftJis:
      return TextEncoding::ShiftJis;
    default:
      return TextEncoding::Utf8;
  }
}

std::optional<LineEnd> lineEndOf(std::string_view text, CharSet charset, bool final) {
  RecordScanner scanner(charset, Separators{',', "\n", '"'});
  ScannedRecord record;
  std::size_t pos = 0;
  // Not final: a record is reported only once an LF has ended it, at pos - 1.
  if (scanner.next(text, pos, false, record) == RecordScanner::Status::Record) {
    return pos >= 2 && text[pos - 2] == '\r' ? LineEnd::CrLf : LineEnd::Lf;
  }
  // A first record that runs to the end of the text keeps the CR LF rules.
  if (final) return LineEnd::CrLf;
  return std::nullopt;
}

CharSet charSetOf(TextEncoding encoding) noexcept {
  return encoding == TextEncoding::ShiftJis ? CharSet::ShiftJis : CharSet::Utf8;
}

}  // namespace vorlet
