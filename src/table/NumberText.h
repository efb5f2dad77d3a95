#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "table/Fault.h"

namespace vorlet {

namespace detail {

inline constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The common case of measurement data, "-123.4567" with at most 15 digits, no blanks and no
// exponent: the digits make an exact integer and 10^k is exact, so one division is correctly
// rounded (Clinger's fast path). Inline, because it runs once per cell of a file.
inline bool readShortDecimal(std::string_view text, double& value) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  p += negative ? 1 : 0;
  const char* const first = p;
  // Unsigned, so that a long run of digits wraps harmlessly before it is turned away.
  std::uint64_t mantissa = 0;
  const auto digit = [](char c) { return static_cast<unsigned char>(c - '0'); };
  for (; p != end && digit(*p) < 10; ++p) mantissa = mantissa * 10 + digit(*p);
  std::ptrdiff_t digits = p - first;
  std::ptrdiff_t fraction = 0;
  if (p != end && *p == '.') {
    const char* const point = ++p;
    for (; p != end && digit(*p) < 10; ++p) mantissa = mantissa * 10 + digit(*p);
    fraction = p - point;
    digits += fraction;
  }
  if (p != end || digits == 0 || digits > 15) return false;
  // Below 10^15, so exact in a double; signed converts in one instruction.
  const double magnitude =
      static_cast<double>(static_cast<std::int64_t>(mantissa)) / kPowersOfTen[fraction];
  // The sign goes in without a branch: in measurement data it is as unpredictable as the data.
  const std::uint64_t sign = std::uint64_t{negative} << 63;
  value = std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) | sign);
  return true;
}

Result<double> parseDecimalSlowly(std::string_view text) noexcept;

}  // namespace detail

// Reads a plain decimal number: optional blanks (space, tab) around it, an optional sign, ASCII
// digits with an optional point and at least one digit, an optional exponent. Correctly rounded
// and independent of the process locale. Anything else (the empty text, inf, nan, hex, thousands
// separators) is a TypeMismatch; a value beyond the double range is an Overflow; a value below
// the smallest denormal reads as zero.
inline Result<double> parseDecimal(std::string_view text) noexcept {
  if (double value = 0; detail::readShortDecimal(text, value)) return value;
  return detail::parseDecimalSlowly(text);
}

// Longest text formatSingle or formatDouble can produce, e.g. "-1.23456789012345E-308".
inline constexpr std::size_t kNumberTextMax = 32;

// Writes the shortest form of at most 7 (single) or 15 (double) significant digits that reads back
// as the same value; fixed notation for decimal exponents -4..6, otherwise d.dddE+XX. Returns the
// number of characters written to `out`, which must hold kNumberTextMax characters.
std::size_t formatSingle(float value, char* out) noexcept;
std::size_t formatDouble(double value, char* out) noexcept;

}  // namespace vorlet
