#pragma once

#include <cstddef>
#include <string_view>

#include "table/Fault.h"

namespace vorlet {

// Reads a plain decimal number: optional blanks (space, tab) around it, an optional sign, ASCII
// digits with an optional point and at least one digit, an optional exponent. Correctly rounded
// and independent of the process locale. Anything else (the empty text, inf, nan, hex, thousands
// separators) is a TypeMismatch; a value beyond the double range is an Overflow; a value below
// the smallest denormal reads as zero.
Result<double> parseDecimal(std::string_view text) noexcept;

// Longest text formatSingle or formatDouble can produce, e.g. "-1.23456789012345E-308".
inline constexpr std::size_t kNumberTextMax = 32;

// Writes the shortest form of at most 7 (single) or 15 (double) significant digits that reads back
// as the same value; fixed notation for decimal exponents -4..6, otherwise d.dddE+XX. Returns the
// number of characters written to `out`, which must hold kNumberTextMax characters.
std::size_t formatSingle(float value, char* out) noexcept;
std::size_t formatDouble(double value, char* out) noexcept;

}  // namespace vorlet
