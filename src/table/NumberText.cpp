#include "table/NumberText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

namespace vorlet {
namespace {

bool isBlank(char c) noexcept {
  return c == ' ' || c == '\t';
}
bool isDigit(char c) noexcept {
  return c >= '0' && c <= '9';
}

// Decimal exponent of the first significant digit, used only to tell overflow from underflow
// when from_chars reports a value out of range.
long long leadingExponent(std::string_view mantissa, long long exponent) noexcept {
  long long position = 0;  // exponent of the digit being looked at, before `exponent` is added
  std::size_t point = mantissa.find('.');
  if (point == std::string_view::npos) point = mantissa.size();
  for (std::size_t i = 0; i < mantissa.size(); ++i) {
    const char c = mantissa[i];
    if (c == '.') continue;
    position = static_cast<long long>(point) - static_cast<long long>(i) - (i < point ? 1 : 0);
    if (c != '0') return position + exponent;
  }
  return std::numeric_limits<long long>::min();
}

}  // namespace

namespace detail {

Result<double> parseDecimalSlowly(std::string_view text) noexcept {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);

  if (double value = 0; readShortDecimal(text, value)) return value;

  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t mantissaStart = i;
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return Fault::TypeMismatch;
  const std::size_t mantissaEnd = i;
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i == text.size() || !isDigit(text[i])) return Fault::TypeMismatch;
    while (i < text.size() && isDigit(text[i])) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return Fault::TypeMismatch;

  // The grammar is checked above, so from_chars only does the correctly rounded conversion.
  const char* first = text.data() + mantissaStart;
  double value = 0;
  const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    const std::string_view mantissa = text.substr(mantissaStart, mantissaEnd - mantissaStart);
    if (leadingExponent(mantissa, exponent) > 0) return Fault::Overflow;
    value = 0;
  } else if (ec != std::errc() || end != text.data() + text.size()) {
    return Fault::TypeMismatch;
  }
  return negative ? -value : value;
}

}  // namespace detail

namespace {

// A decimal as the conversions to text write it: the significant digits d1 d2 ... and the
// decimal exponent of d1.
struct Digits {
  char digit[24];
  int count = 0;
  int exponent = 0;
};

// Fixed notation for decimal exponents -4..6, otherwise d.dddE+XX; trailing zeros already gone.
std::size_t writeDecimal(bool negative, const Digits& d, char* out) noexcept {
  char* p = out;
  if (negative) *p++ = '-';
  const int exponent = d.exponent;
  if (exponent >= -4 && exponent < 7) {
    if (exponent < 0) {
      *p++ = '0';
      *p++ = '.';
      for (int z = -1; z > exponent; --z) *p++ = '0';
      for (int i = 0; i < d.count; ++i) *p++ = d.digit[i];
    } else {
      for (int i = 0; i <= exponent; ++i) *p++ = i < d.count ? d.digit[i] : '0';
      if (d.count > exponent + 1) {
        *p++ = '.';
        for (int i = exponent + 1; i < d.count; ++i) *p++ = d.digit[i];
      }
    }
  } else {
    *p++ = d.digit[0];
    if (d.count > 1) {
      *p++ = '.';
      for (int i = 1; i < d.count; ++i) *p++ = d.digit[i];
    }
    *p++ = 'E';
    *p++ = exponent < 0 ? '-' : '+';
    const int absExponent = exponent < 0 ? -exponent : exponent;
    if (absExponent < 10) *p++ = '0';
    p = std::to_chars(p, p + 4, absExponent).ptr;
  }
  return static_cast<std::size_t>(p - out);
}

// Takes the digits and exponent of to_chars' scientific text "d[.ddd]e±XX".
void readScientific(const char* sci, const char* end, Digits& d) noexcept {
  const char* s = sci;
  d.count = 0;
  for (; *s != 'e'; ++s) {
    if (*s != '.') d.digit[d.count++] = *s;
  }
  std::from_chars(s[1] == '+' ? s + 2 : s + 1, end, d.exponent);
  while (d.count > 1 && d.digit[d.count - 1] == '0') --d.count;
}

// The rule as it reads: the smallest precision whose rounding reads back as the same value, the
// largest one otherwise. Exact, as to_chars rounds the binary value half to even, but slow.
template <class Float>
void roundTripDigits(Float magnitude, int maxDigits, Digits& d) noexcept {
  char sci[64];
  char* sciEnd = sci;
  for (int precision = 1; precision <= maxDigits; ++precision) {
    sciEnd = std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific,
                           precision - 1)
                 .ptr;
    Float back = 0;
    std::from_chars(sci, sciEnd, back);
    if (back == magnitude) break;
  }
  readScientific(sci, sciEnd, d);
}

// The same rule for a single, in integer arithmetic. Floats are spaced more than a unit of the
// 7th digit apart only near the top of a decade, and never two units, so only the 7-digit
// neighbours q and q + 1 of x can read back: one exact division decides every precision.
constexpr std::uint32_t kSevenDigits = 10'000'000;

// floor(n * log10(2)) for |n| < 1650.
constexpr int floorLog10Pow2(int n) noexcept {
  return (n * 78913) >> 18;
}

template <class U>
constexpr U powerOfTen(int n) noexcept {
  U power = 1;
  for (int i = 0; i < n; ++i) power *= 10;
  return power;
}

constexpr std::uint64_t kPowers64[] = {
    powerOfTen<std::uint64_t>(0),  powerOfTen<std::uint64_t>(1),  powerOfTen<std::uint64_t>(2),
    powerOfTen<std::uint64_t>(3),  powerOfTen<std::uint64_t>(4),  powerOfTen<std::uint64_t>(5),
    powerOfTen<std::uint64_t>(6),  powerOfTen<std::uint64_t>(7),  powerOfTen<std::uint64_t>(8),
    powerOfTen<std::uint64_t>(9),  powerOfTen<std::uint64_t>(10), powerOfTen<std::uint64_t>(11),
    powerOfTen<std::uint64_t>(12), powerOfTen<std::uint64_t>(13), powerOfTen<std::uint64_t>(14),
    powerOfTen<std::uint64_t>(15), powerOfTen<std::uint64_t>(16), powerOfTen<std::uint64_t>(17),
    powerOfTen<std::uint64_t>(18)};

// How far each integer type reaches: 10^maxTens and 2^maxShift times a 24-bit mantissa must fit,
// and forty times a divisor (a remainder quadrupled after the divisor grew tenfold).
template <class U>
struct Reach;
template <>
struct Reach<std::uint64_t> {
  static constexpr int maxTens = 12, maxShift = 40, maxFractionBits = 57, maxDivisorTens = 16;
  static std::uint64_t tens(int n) noexcept { return kPowers64[n]; }
};
#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 Wide;
template <>
struct Reach<Wide> {
  static constexpr int maxTens = 30, maxShift = 104, maxFractionBits = 120, maxDivisorTens = 32;
  static Wide tens(int n) noexcept { return powerOfTen<Wide>(n); }
};
#endif

// x / 10^k as num / den exactly, x = m * 2^e; gap is twice the distance from x to the midpoint
// with the next float up, in units of 1 / den. False when U cannot hold them.
template <class U>
bool scaleSingle(std::uint32_t m, int e, int k, U& num, U& den, U& gap) noexcept {
  using R = Reach<U>;
  if (e < 0) {
    if (k > 0 || -k > R::maxTens || -e > R::maxFractionBits) return false;
    gap = R::tens(-k);
    num = U{m} * gap;
    den = U{1} << -e;
  } else {
    if (k < 0 || k > R::maxDivisorTens || e > R::maxShift) return false;
    num = U{m} << e;
    den = R::tens(k);
    gap = U{1} << e;
  }
  return true;
}

// The digits of n < 10^7 as characters. At once on little-endian machines: the halves of
// four digits, then their pairs, then the digits, each step one multiplication for all lanes.
void sevenDigits(std::uint32_t n, char* out) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t v = n / 10000 | std::uint64_t{n % 10000} << 32;
    const std::uint64_t hundreds = (v * 10486 >> 20) & 0x0000007F0000007Fu;  // exact below 43699
    v = hundreds | (v - hundreds * 100) << 16;
    const std::uint64_t tens = (v * 103 >> 10) & 0x000F000F000F000Fu;  // exact below 179
    v = (tens | (v - tens * 10) << 8 | 0x3030303030303030u) >> 8;      // without the 8th digit, 0
    std::memcpy(out, &v, 7);
  } else {
    for (int i = 6; i >= 0; --i, n /= 10) out[i] = static_cast<char>('0' + n % 10);
  }
}

template <class U>
bool singleDigits(std::uint32_t m, int e, bool lowerCloser, Digits& d) noexcept {
  // x lies in [2^(e+23), 2^(e+24)): its decimal exponent is this guess or one more.
  int exponent = floorLog10Pow2(e + 23);
  U num = 0, den = 1, gap = 0;
  if (!scaleSingle(m, e, exponent - 6, num, den, gap)) return false;
  // Below 2^23, where most means are, the divisor is a power of two.
  U q = e < 0 ? num >> -e : num / den;
  U r = num - q * den;
  if (q >= kSevenDigits) {
    // One more: x / 10^(k + 1) is q / 10 and a rest that takes in q's last digit; the gap
    // keeps its value in units of the grown divisor.
    r += (q % 10) * den;
    q /= 10;
    den *= 10;
    ++exponent;
  }
  if (q < kSevenDigits / 10) return false;
  // Reading back rounds half to even: a decimal on a midpoint reads as x when m is even. Below a
  // power of two the next float down is half as far.
  const bool even = (m & 1) == 0;
  const auto within = [even](U twice, U limit) {
    return twice < limit || (twice == limit && even);
  };
  const bool downReadsBack = r == 0 || within(lowerCloser ? 4 * r : 2 * r, gap);
  const bool upReadsBack = r != 0 && within(2 * (den - r), gap);
  auto digits = static_cast<std::uint32_t>(q);
  if (downReadsBack && digits % 10 == 0) {
    // fewer than 7 digits read back
  } else if (upReadsBack && (digits + 1) % 10 == 0) {
    ++digits;
  } else if (2 * r > den || (2 * r == den && (digits & 1) != 0)) {
    ++digits;  // seven digits, rounded half to even
  }
  if (digits == kSevenDigits) {
    digits /= 10;
    ++exponent;
  }
  sevenDigits(digits, d.digit);
  d.count = 7;
  while (d.count > 1 && d.digit[d.count - 1] == '0') --d.count;
  d.exponent = exponent;
  return true;
}

void shortestDigits(float magnitude, Digits& d) noexcept {
  const auto bits = std::bit_cast<std::uint32_t>(magnitude);
  const auto biased = static_cast<int>(bits >> 23);
  const std::uint32_t fraction = bits & 0x7FFFFF;
  if (biased != 0) {  // subnormals take the slow way
    const std::uint32_t m = fraction | 0x800000;
    const int e = biased - 150;
    const bool lowerCloser = fraction == 0 && biased > 1;
    if (singleDigits<std::uint64_t>(m, e, lowerCloser, d)) return;
#if defined(__SIZEOF_INT128__)
    if (singleDigits<Wide>(m, e, lowerCloser, d)) return;
#endif
  }
  roundTripDigits(magnitude, 7, d);
}

// The rule by way of the shortest decimal that reads back, of L digits. Shorter ones do not read
// back, so neither do roundings to fewer than L digits. Up to 16 digits, decimals of L digits lie
// further apart than doubles: the shortest is the only one that reads back, so the nearest, and
// thus the rounding to L. Most means take 16 or 17 digits: then the rule rounds to 15.
void shortestDigits(double magnitude, Digits& d) noexcept {
  constexpr int kMaxDigits = 15;
  char sci[64];
  const char* end =
      std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific).ptr;
  readScientific(sci, end, d);  // no trailing zeros: they would not be the shortest
  if (d.count <= kMaxDigits) return;
  // A decimal between the value and the shortest would be shorter or nearer and read back too:
  // so no boundary of the rounding to 15 digits lies between them, unless it is the shortest.
  const bool boundary = d.count == 16 && d.digit[15] == '5';
  if (boundary) {
    end = std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific,
                        kMaxDigits - 1)
              .ptr;
    readScientific(sci, end, d);
    return;
  }
  d.count = kMaxDigits;
  if (d.digit[15] >= '5') {
    int i = kMaxDigits - 1;
    for (; i >= 0 && d.digit[i] == '9'; --i) d.digit[i] = '0';
    if (i >= 0) {
      ++d.digit[i];
    } else {  // 9.99...9 became 10
      d.digit[0] = '1';
      ++d.exponent;
    }
  }
  while (d.count > 1 && d.digit[d.count - 1] == '0') --d.count;
}

template <class Float>
std::size_t formatShortest(Float value, char* out) noexcept {
  if (value != value) {
    std::memcpy(out, "NaN", 3);
    return 3;
  }
  const bool negative = value < 0;
  const Float magnitude = negative ? -value : value;
  if (magnitude == 0) {
    *out = '0';
    return 1;
  }
  if (magnitude == std::numeric_limits<Float>::infinity()) {
    char* p = out;
    if (negative) *p++ = '-';
    std::memcpy(p, "Infinity", 8);
    return static_cast<std::size_t>(p - out) + 8;
  }
  Digits d;
  shortestDigits(magnitude, d);
  return writeDecimal(negative, d, out);
}

}  // namespace

std::size_t formatSingle(float value, char* out) noexcept {
  return formatShortest(value, out);
}

std::size_t formatDouble(double value, char* out) noexcept {
  return formatShortest(value, out);
}

}  // namespace vorlet
