#pragma once

// The number rules read the slow, obvious way: the oracles of the conversions' fast paths.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "table/Fault.h"

namespace vorlet::testing {

inline bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Blanks, sign, digits with an optional point and at least one digit, an optional exponent;
// from_chars converts what passed.
inline Result<double> referenceParse(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  std::size_t i = begin;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t number = i;
  std::string digits;         // the mantissa's digits, without the point
  long long wholeDigits = 0;  // how many stand before the point
  bool point = false;
  for (; i < end; ++i) {
    if (isDigit(text[i])) {
      digits += text[i];
      wholeDigits += point ? 0 : 1;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits.empty()) return Fault::TypeMismatch;
  long long exponent = 0;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    int exponentDigits = 0;
    for (; i < end && isDigit(text[i]); ++i, ++exponentDigits) {
      if (exponent < 100'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (exponentDigits == 0) return Fault::TypeMismatch;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != end) return Fault::TypeMismatch;
  double value = 0;
  const auto result = std::from_chars(text.data() + number, text.data() + end, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large or too small: the first significant digit's place tells which.
    const auto first = static_cast<long long>(digits.find_first_not_of('0'));
    if (wholeDigits - 1 - first + exponent > 0) return Fault::Overflow;
    value = 0;
  } else if (result.ec != std::errc() || result.ptr != text.data() + end) {
    return Fault::TypeMismatch;
  }
  return negative ? -value : value;
}

// Precision 1 to 7 (15 for a double), the first that reads back, then the rule's notation.
template <class Float>
std::string referenceFormat(Float value) {
  if (value == 0) return "0";
  const Float magnitude = std::fabs(value);
  char sci[64];
  char* end = sci;
  for (int precision = 1; precision <= (sizeof(Float) == 4 ? 7 : 15); ++precision) {
    end = std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific,
                        precision - 1)
              .ptr;
    Float back = 0;
    std::from_chars(sci, end, back);
    if (back == magnitude) break;
  }
  const std::string rounded(sci, end);
  const std::size_t e = rounded.find('e');
  std::string digits;
  for (std::size_t i = 0; i < e; ++i) {
    if (rounded[i] != '.') digits += rounded[i];
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int exponent = std::stoi(rounded.substr(e + 1));
  std::string text = value < 0 ? "-" : "";
  if (exponent >= -4 && exponent < 7) {
    if (exponent < 0)
      return text + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    const auto whole = static_cast<std::size_t>(exponent + 1);
    if (digits.size() <= whole) return text + digits + std::string(whole - digits.size(), '0');
    return text + digits.substr(0, whole) + "." + digits.substr(whole);
  }
  text += digits[0];
  if (digits.size() > 1) {
    text += '.';
    text += digits.substr(1);
  }
  const int size = std::abs(exponent);
  text += exponent < 0 ? "E-" : "E+";
  if (size < 10) text += '0';
  return text + std::to_string(size);
}

}  // namespace vorlet::testing
