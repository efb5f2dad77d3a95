#include "delimited/TextEncoding.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VORLET_ENCODING_SSE2 1
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define VORLET_ENCODING_AVX2 1  // chosen at run time: the build targets baseline x86-64
#endif
#endif

namespace vorlet {

namespace {

// A byte that can change no verdict: ASCII but NUL.
bool isPlain(unsigned char byte) noexcept {
  return static_cast<unsigned char>(byte - 1) < 0x7F;
}

// Each prefix function gives how many bytes from `p` are plain, exactly.
using PrefixFunction = std::size_t (*)(const unsigned char* p, std::size_t size) noexcept;

#if !defined(VORLET_ENCODING_SSE2)
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

std::uint64_t load64(const unsigned char* p) noexcept {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// A byte of 01-7F minus one never borrows, so `v - kOnes` sets a high bit exactly where a byte is
// 00 (or where `v` already has one).
std::size_t plainPrefixPortable(const unsigned char* p, std::size_t size) noexcept {
  std::size_t done = 0;
  while (size - done >= 32) {
    const std::uint64_t a = load64(p + done), b = load64(p + done + 8);
    const std::uint64_t c = load64(p + done + 16), d = load64(p + done + 24);
    if (((a | b | c | d | (a - kOnes) | (b - kOnes) | (c - kOnes) | (d - kOnes)) & kHighBits) != 0)
      break;
    done += 32;
  }
  while (done < size && isPlain(p[done])) ++done;
  return done;
}
#endif

#if defined(VORLET_ENCODING_SSE2)
// Plain bytes are exactly those above zero as signed bytes.
std::size_t plainPrefixSse2(const unsigned char* p, std::size_t size) noexcept {
  const __m128i zero = _mm_setzero_si128();
  const auto plain = [&](std::size_t at) {
    return _mm_cmpgt_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)), zero);
  };
  std::size_t done = 0;
  while (size - done >= 64) {
    const __m128i all = _mm_and_si128(_mm_and_si128(plain(done), plain(done + 16)),
                                      _mm_and_si128(plain(done + 32), plain(done + 48)));
    if (_mm_movemask_epi8(all) != 0xFFFF) break;
    done += 64;
  }
  while (size - done >= 16) {
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(plain(done)));
    if (mask != 0xFFFFu) return done + static_cast<std::size_t>(std::countr_zero(~mask));
    done += 16;
  }
  while (done < size && isPlain(p[done])) ++done;
  return done;
}
#endif

#if defined(VORLET_ENCODING_AVX2)
__attribute__((target("avx2"))) std::size_t plainPrefixAvx2(const unsigned char* p,
                                                            std::size_t size) noexcept {
  const __m256i zero = _mm256_setzero_si256();
  const auto plain = [&](std::size_t at) __attribute__((target("avx2"))) {
    return _mm256_cmpgt_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at)), zero);
  };
  std::size_t done = 0;
  while (size - done >= 64) {
    const __m256i all = _mm256_and_si256(plain(done), plain(done + 32));
    if (_mm256_movemask_epi8(all) != -1) break;
    done += 64;
  }
  return done + plainPrefixSse2(p + done, size - done);
}
#endif

PrefixFunction choosePlainPrefix() noexcept {
#if defined(VORLET_ENCODING_AVX2)
  if (__builtin_cpu_supports("avx2")) return plainPrefixAvx2;
#endif
#if defined(VORLET_ENCODING_SSE2)
  return plainPrefixSse2;
#else
  return plainPrefixPortable;
#endif
}

std::size_t plainPrefix(const unsigned char* p, std::size_t size) noexcept {
  static const PrefixFunction chosen = choosePlainPrefix();
  return chosen(p, size);
}

bool isShiftJisLead(unsigned char byte) noexcept {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Whether `size` (2 to 4) bytes are one character, as the reading rules count them: a Shift-JIS
// lead and one byte; a UTF-8 lead and continuation bytes, no more than the lead announces.
bool isOneCharacter(const unsigned char* bytes, int size, CharSet charset) noexcept {
  const unsigned char lead = bytes[0];
  if (charset == CharSet::ShiftJis) return size == 2 && isShiftJisLead(lead);
  const int length = lead >= 0xC0 && lead <= 0xDF   ? 2
                     : lead >= 0xE0 && lead <= 0xEF ? 3
                     : lead >= 0xF0 && lead <= 0xF7 ? 4
                                                    : 1;
  if (size > length) return false;
  for (int i = 1; i < size; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) return false;
  }
  return true;
}

// Whether a quote, then two to four bytes that are one character in only one of the encodings,
// end `recent` (the latest byte in the top byte) before its last `lineEnd` bytes.
bool readingsPartAt(std::uint64_t recent, int lineEnd) noexcept {
  const auto back = [recent](int k) { return static_cast<unsigned char>(recent >> (56 - 8 * k)); };
  for (int size = 2; size <= 4; ++size) {
    if (back(lineEnd + size) != '"' || back(lineEnd + size - 1) < 0x80) continue;
    unsigned char bytes[4];
    for (int i = 0; i < size; ++i) bytes[i] = back(lineEnd + size - 1 - i);
    if (isOneCharacter(bytes, size, CharSet::Utf8) !=
        isOneCharacter(bytes, size, CharSet::ShiftJis)) {
      return true;
    }
  }
  return false;
}

}  // namespace

void EncodingDetector::feed(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t size = bytes.size();
  while (size > 0 && !sawNul_) {
    if (refused()) {
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
    } else if (offset_ >= 3 && offset_ >= watchUntil_ && betweenCharacters()) {
      const std::size_t skipped = plainPrefix(p, size);
      offset_ += skipped;
      p += skipped;
      size -= skipped;
      remember(p, skipped);
      if (size == 0) return;
    }
    step(*p);
    ++p;
    --size;
  }
}

// Keeps the last of `count` bytes passed over, ending at `end`, as the latest bytes fed.
void EncodingDetector::remember(const unsigned char* end, std::size_t count) noexcept {
  for (const unsigned char* q = end - std::min<std::size_t>(count, 8); q < end; ++q) {
    recent_ = (recent_ >> 8) | (std::uint64_t{*q} << 56);
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
  // After a quote and a byte that is not ASCII, the next five bytes are looked at one by one
  // for a line end that would make the readings part.
  const bool afterQuote = (recent_ >> 56) == '"';
  recent_ = (recent_ >> 8) | (std::uint64_t{byte} << 56);
  if (byte >= 0x80 && afterQuote) {
    watchUntil_ = offset_ + 6;
  } else if (byte == '\n' && offset_ < watchUntil_ && !readingsMayDiffer_) {
    readingsMayDiffer_ =
        readingsPartAt(recent_, 1) ||
        (static_cast<unsigned char>(recent_ >> 48) == '\r' && readingsPartAt(recent_, 2));
  }
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

bool EncodingDetector::readingsMayDiffer() const noexcept {
  return readingsMayDiffer_ || readingsPartAt(recent_, 0);
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
