#pragma once

// Inputs that the command line's and the window's bad-input tests share: made in memory, a few
// megabytes each at most, quickly.

#include <cstddef>
#include <string>

namespace vorlet::testing_files {

inline std::string repeated(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// The text with a byte order mark, each character taking two bytes, one of them NUL.
inline std::string utf16(const std::string& ascii, bool littleEndian) {
  std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (const char c : ascii) bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
  return bytes;
}

// One record without a line end: `fields` numbers 1000, 1001, ... 9999, 1000, ...
inline std::string numbersOnOneLine(int fields) {
  std::string text = "1000";
  for (int i = 1; i < fields; ++i) text += ',' + std::to_string(1000 + i % 9000);
  return text;
}

// A first record of 1,000,000 fields (1 to 1000000), then records a, b and c.
inline std::string millionFieldsFirst() {
  std::string text = "1";
  for (int i = 2; i <= 1'000'000; ++i) text += ',' + std::to_string(i);
  return text + "\r\na\r\nb\r\nc\r\n";
}

// 100,000 records: a,b,c,d, then records of 1 to 9 fields.
inline std::string raggedRecords() {
  std::string text = "a,b,c,d\r\n";
  for (int r = 1; r < 100'000; ++r) {
    const int width = 1 + (r * 7919) % 9;
    for (int f = 0; f < width; ++f) {
      text += std::to_string(r) + "." + std::to_string(f) + (f + 1 < width ? "," : "\r\n");
    }
  }
  return text;
}

// A quote that never closes, then 5 MB of records: all of it one field of one record.
inline std::string unclosedQuoteFirst() {
  std::string text = "\"";
  return text += repeated("1,2\r\n", 1'000'000);
}

}  // namespace vorlet::testing_files
