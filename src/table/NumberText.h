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

// Signs as factors: multiplying by -1 is exact, so the sign goes in without a branch (in
// measurement data it is as unpredictable as the data) and without leaving the floating-point
// registers.
inline constexpr double kSigns[] = {1.0, -1.0};

// The digits make an exact integer below 10^15 and 10^fraction is exact, so one division is
// correctly rounded (Clinger's fast path).
inline double shortDecimalValue(bool negative, std::uint64_t mantissa, std::size_t fraction) {
  // Signed converts in one instruction.
  return static_cast<double>(static_cast<std::int64_t>(mantissa)) / kPowersOfTen[fraction] *
         kSigns[negative ? 1 : 0];
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

// Eight digit values 0..9, the first in the lowest byte, as a number: pairs, fours and eights,
// three multiplications instead of eight dependent ones.
inline std::uint64_t eightDigits(std::uint64_t v) noexcept {
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFu;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFu;
  return (v * 10000 + (v >> 32)) & 0xFFFFFFFFu;
}

inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kZeros = kOnes * '0';

// The high bit of each byte of a word that is no digit, given the word xor '0's: digits become
// 0..9, and no addition carries into the next byte.
inline std::uint64_t noDigits(std::uint64_t values) noexcept {
  return (((values & kOnes * 0x7F) + kOnes * 0x76) | values) & kOnes * 0x80;
}

// The same as readShortDecimalBytewise on most cells of measurement data: a text of 4 to 8 bytes
// after the minus, read as one 64-bit word, and whole numbers of 9 to 15 digits (counters,
// times) as two. Signs, digit counts and the point's place vary from cell to cell, so apart from
// the choice of the way this goes without branches.
inline bool readShortDecimalWord(std::string_view text, double& value) noexcept {
  const bool negative = !text.empty() && text.front() == '-';
  const char* const p = text.data() + (negative ? 1 : 0);
  const std::size_t n = text.size() - (negative ? 1 : 0);
  // All loads end at the text's end and no later: the text may end where its buffer does.
  if (n - 9 < 7) {
    std::uint64_t head = 0, tail = 0;
    std::memcpy(&head, p, 8);
    std::memcpy(&tail, p + n - 8, 8);
    const std::uint64_t headValues = head ^ kZeros, tailValues = tail ^ kZeros;
    if ((noDigits(headValues) | noDigits(tailValues)) != 0) {
      return readShortDecimalBytewise(text, value);
    }
    constexpr std::uint64_t kScale[] = {10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000};
    // The tail's bytes that the head read too become leading zeros.
    const auto overlap = 8 * static_cast<unsigned>(16 - n);
    value = shortDecimalValue(negative,
                              eightDigits(headValues) * kScale[n - 9] +
                                  eightDigits(tailValues & ~((1ull << overlap) - 1)),
                              0);
    return true;
  }
  if (n - 4 > 4) return readShortDecimalBytewise(text, value);
  // The text ends at the word's last byte, first byte lowest, and '0's fill the bytes before it:
  // they read as leading zeros. Two loads of 4 bytes; overlapping bytes are the same, so or-ing
  // them is harmless.
  const auto gap = 8 * static_cast<unsigned>(8 - n);
  std::uint32_t head = 0, tail = 0;
  std::memcpy(&head, p, 4);
  std::memcpy(&tail, p + n - 4, 4);
  const std::uint64_t word =
      std::uint64_t{head} << gap | std::uint64_t{tail} << 32 | (kZeros & ((1ull << gap) - 1));
  // The high bit of each byte set where it is no digit, and where it is the point.
  const std::uint64_t values = word ^ kZeros;
  const std::uint64_t dot = word ^ kOnes * '.';
  const std::uint64_t point = ~(((dot & kOnes * 0x7F) + kOnes * 0x7F) | dot) & kOnes * 0x80;
  // Every byte a digit but at most one point; that leaves 3 to 8 digits.
  if (noDigits(values) != point || (point & (point - 1)) != 0) return false;
  // Close the point's gap: the bytes up to it move one byte later.
  const std::uint64_t upto = (point << 1) - (point != 0 ? 1 : 0);
  const std::uint64_t mantissa = eightDigits(values ^ ((values ^ values << 8) & upto));
  // The digits after the point, 7 less its byte: a multiplication moves the table's byte for
  // the point's byte to the top.
  const std::uint64_t fraction = ((point >> 7) * 0x0706050403020100u) >> 56;
  value = shortDecimalValue(negative, mantissa, fraction);
  return true;
}

// The common case of measurement data, "-123.4567" with at most 15 digits, no blanks and no
// exponent. Inline, because it runs once per cell of a file.
inline bool readShortDecimal(std::string_view text, double& value) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    return readShortDecimalWord(text, value);
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
