#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "table/Fault.h"

namespace vorlet {

namespace detail {

inline constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The digits make an exact integer below 10^15 and 10^fraction is exact, so one division is
// correctly rounded (Clinger's fast path). The sign goes in without a branch: in measurement data
// it is as unpredictable as the data.
inline double shortDecimalValue(bool negative, std::uint64_t mantissa, std::size_t fraction) {
  // Signed converts in one instruction.
  const double magnitude =
      static_cast<double>(static_cast<std::int64_t>(mantissa)) / kPowersOfTen[fraction];
  const std::uint64_t sign = std::uint64_t{negative} << 63;
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) | sign);
}

// readShortDecimal a byte at a time: the way on big-endian machines and the yardstick of the
// fast way.
inline bool readShortDecimalBytewise(std::string_view text, double& value) noexcept {
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
  value = shortDecimalValue(negative, mantissa, static_cast<std::size_t>(fraction));
  return true;
}

// Eight digit values 0..9, the first in the lowest byte, as a number (three multiplications
// instead of eight dependent ones).
inline std::uint64_t eightDigits(std::uint64_t v) noexcept {
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFu;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFu;
  return (v * 10000 + (v >> 32)) & 0xFFFFFFFFu;
}

inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kZeros = kOnes * '0';

// The digits of 16 bytes, first byte lowest, the text ending at the last byte and '0' filling
// the bytes before it, which read as leading zeros; `size` bytes are the text's. Signs, digit
// counts and the point's place vary from cell to cell, so this goes without branches.
[[gnu::always_inline]] inline bool readSixteenBytes(std::uint64_t low, std::uint64_t high,
                                                    std::size_t size, bool negative,
                                                    double& value) noexcept {
  constexpr std::uint64_t kLow7 = kOnes * 0x7F, kTop = kOnes * 0x80;
  // Per byte: the value of a digit; the high bit set where a byte is no digit, and where it is
  // the point. No addition carries into the next byte.
  const std::uint64_t valueLow = low ^ kZeros, valueHigh = high ^ kZeros;
  const auto other = [](std::uint64_t v) { return (((v & kLow7) + kOnes * 0x76) | v) & kTop; };
  const auto point = [](std::uint64_t bytes) {
    const std::uint64_t v = bytes ^ kOnes * '.';
    return ~(((v & kLow7) + kLow7) | v) & kTop;
  };
  const std::uint64_t pointLow = point(low), pointHigh = point(high);
  // Every byte a digit but at most one point, and 1 to 15 digits.
  const std::uint64_t points = pointLow >> 7 | pointHigh >> 6;  // one bit per point
  const std::size_t digits = size - (points != 0 ? 1 : 0);
  if (((other(valueLow) ^ pointLow) | (other(valueHigh) ^ pointHigh)) != 0 ||
      (points & (points - 1)) != 0 || digits - 1 >= 15) {
    return false;
  }
  // Close the gap of the point: the bytes up to it move one byte later.
  const std::uint64_t uptoHigh = (pointHigh << 1) - (pointHigh != 0 ? 1 : 0);
  const std::uint64_t uptoLow =
      ((pointLow << 1) - (pointLow != 0 ? 1 : 0)) | (0 - std::uint64_t{pointHigh != 0});
  const std::uint64_t movedLow = valueLow << 8, movedHigh = valueHigh << 8 | valueLow >> 56;
  const std::uint64_t packedLow = valueLow ^ ((valueLow ^ movedLow) & uptoLow);
  const std::uint64_t packedHigh = valueHigh ^ ((valueHigh ^ movedHigh) & uptoHigh);
  const std::uint64_t mantissa = eightDigits(packedLow) * 100'000'000 + eightDigits(packedHigh);
  // The digits after the point: 15 - its byte. A multiplication moves the byte of the table
  // that stands for the point's byte to the top.
  const std::uint64_t fraction =
      ((pointLow >> 7) * 0x0F0E0D0C0B0A0908u + (pointHigh >> 7) * 0x0706050403020100u) >> 56;
  value = shortDecimalValue(negative, mantissa, fraction);
  return true;
}

// The same as readShortDecimalBytewise, on texts of at most 16 bytes after the minus.
[[gnu::always_inline]] inline bool readShortDecimalBytes16(std::string_view text,
                                                           double& value) noexcept {
  const bool negative = !text.empty() && text.front() == '-';
  const char* const p = text.data() + (negative ? 1 : 0);
  const std::size_t n = text.size() - (negative ? 1 : 0);
  // Loads of 8, 4 or 1 bytes that end at the text's end and no later: the text may end where
  // its buffer does. Overlapping bytes are the same bytes, so or-ing them is harmless. The
  // shorter texts, most of measurement data, leave the first eight bytes '0'.
  const auto fill = [](unsigned gap) { return kZeros & ((std::uint64_t{1} << gap) - 1); };
  if (n > 8) {
    if (n > 16) return false;
    std::uint64_t low = 0, high = 0;
    std::memcpy(&low, p, 8);
    std::memcpy(&high, p + n - 8, 8);
    const unsigned gap = 8 * static_cast<unsigned>(16 - n);
    return readSixteenBytes(low << gap | fill(gap), high, n, negative, value);
  }
  if (n == 0) return false;
  const unsigned gap = 8 * static_cast<unsigned>(8 - n);
  std::uint64_t high = 0;
  if (n >= 4) {
    std::uint32_t head = 0, tail = 0;
    std::memcpy(&head, p, 4);
    std::memcpy(&tail, p + n - 4, 4);
    high = std::uint64_t{head} << gap | std::uint64_t{tail} << 32;
  } else {
    high = std::uint64_t{static_cast<unsigned char>(p[0])} << gap |
           std::uint64_t{static_cast<unsigned char>(p[n / 2])} << (gap + 8 * (n / 2)) |
           std::uint64_t{static_cast<unsigned char>(p[n - 1])} << 56;
  }
  return readSixteenBytes(kZeros, high | fill(gap), n, negative, value);
}

// The common case of measurement data, "-123.4567" with at most 15 digits, no blanks and no
// exponent. Inline, because it runs once per cell of a file.
[[gnu::always_inline]] inline bool readShortDecimal(std::string_view text, double& value) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    return readShortDecimalBytes16(text, value);
  } else {
    return readShortDecimalBytewise(text, value);
  }
}

Result<double> parseDecimalSlowly(std::string_view text) noexcept;

}  // namespace detail

// Reads a plain decimal number: optional blanks (space, tab) around it, an optional sign, ASCII
// digits with an optional point and at least one digit, an optional exponent. Correctly rounded
// and independent of the process locale. Anything else (the empty text, inf, nan, hex, thousands
// separators) is a TypeMismatch; a value beyond the double range is an Overflow; a value below
// the smallest denormal reads as zero.
[[gnu::always_inline]] inline Result<double> parseDecimal(std::string_view text) noexcept {
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
