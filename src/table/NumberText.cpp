#include "table/NumberText.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

namespace vorlet {
namespace {

bool isBlank(char c) noexcept { return c == ' ' || c == '\t'; }
bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

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

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

struct Fast {
  bool ok;
  double value;
};

// The common case of measurement data, "-123.4567" with at most 15 digits and no exponent:
// the digits make an exact integer and 10^k is exact, so one division is correctly rounded
// (Clinger's fast path). Anything else goes the general way.
Fast parseShortDecimal(std::string_view text) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int fractionDigits = 0;
  bool point = false;
  for (; p != end; ++p) {
    const char c = *p;
    if (isDigit(c)) {
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
      ++digits;
      fractionDigits += point ? 1 : 0;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return {false, 0};
    }
  }
  if (digits == 0 || digits > 15) return {false, 0};
  double value = static_cast<double>(mantissa) / kPowersOfTen[fractionDigits];
  return {true, negative ? -value : value};
}

}  // namespace

Result<double> parseDecimal(std::string_view text) noexcept {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);

  if (const Fast fast = parseShortDecimal(text); fast.ok) return fast.value;

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

namespace {

template <class Float>
std::size_t formatShortest(Float value, int maxDigits, char* out) noexcept {
  char* p = out;
  if (value != value) {
    std::memcpy(p, "NaN", 3);
    return 3;
  }
  if (value < 0) *p++ = '-';
  const Float magnitude = value < 0 ? -value : value;
  if (magnitude == 0) {
    *out = '0';
    return 1;
  }
  if (magnitude == std::numeric_limits<Float>::infinity()) {
    std::memcpy(p, "Infinity", 8);
    return static_cast<std::size_t>(p - out) + 8;
  }

  // Smallest precision whose rounding reads back as the same value; the largest one otherwise.
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

  // sci is "d[.ddd]e±XX": collect the significant digits and the decimal exponent.
  char digits[24];
  int count = 0;
  const char* s = sci;
  for (; *s != 'e'; ++s) {
    if (*s != '.') digits[count++] = *s;
  }
  int exponent = 0;
  std::from_chars(s[1] == '+' ? s + 2 : s + 1, sciEnd, exponent);
  while (count > 1 && digits[count - 1] == '0') --count;

  if (exponent >= -4 && exponent < 7) {
    if (exponent < 0) {
      *p++ = '0';
      *p++ = '.';
      for (int z = -1; z > exponent; --z) *p++ = '0';
      for (int d = 0; d < count; ++d) *p++ = digits[d];
    } else {
      for (int d = 0; d <= exponent; ++d) *p++ = d < count ? digits[d] : '0';
      if (count > exponent + 1) {
        *p++ = '.';
        for (int d = exponent + 1; d < count; ++d) *p++ = digits[d];
      }
    }
  } else {
    *p++ = digits[0];
    if (count > 1) {
      *p++ = '.';
      for (int d = 1; d < count; ++d) *p++ = digits[d];
    }
    *p++ = 'E';
    *p++ = exponent < 0 ? '-' : '+';
    const int absExponent = exponent < 0 ? -exponent : exponent;
    if (absExponent < 10) *p++ = '0';
    p = std::to_chars(p, p + 4, absExponent).ptr;
  }
  return static_cast<std::size_t>(p - out);
}

}  // namespace

std::size_t formatSingle(float value, char* out) noexcept { return formatShortest(value, 7, out); }

std::size_t formatDouble(double value, char* out) noexcept { return formatShortest(value, 15, out); }

}  // namespace vorlet
