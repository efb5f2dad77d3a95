#pragma once

// The one generator of delimited text for the oracles and properties: long runs of numeric
// lines, as the fast paths see them, broken now and then or densely by odd cells made of pieces
// the rules must notice; and short texts made of pieces alone.
#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vorlet::testing {

class CsvGenerator {
 public:
  explicit CsvGenerator(unsigned seed) : random_(seed) {}

  std::size_t pick(std::size_t n) { return random_() % n; }

  // `records` lines of F numbers (now and then more or fewer), a cell in every 2 to 11 made of
  // 1 to 3 of `odd`; the line end after each line but maybe the last.
  std::string lines(std::size_t records, char field, std::string_view lineEnd,
                    const std::vector<std::string>& odd) {
    std::string text;
    const std::size_t width = 1 + pick(6);
    const std::size_t oddEvery = 2 + pick(10);
    for (std::size_t r = 0; r < records; ++r) {
      const std::size_t fields = pick(10) == 0 ? 1 + pick(8) : width;
      for (std::size_t f = 0; f < fields; ++f) {
        if (f > 0) text += field;
        text += pick(oddEvery) == 0 ? pieces(1 + pick(3), odd) : number();
      }
      if (r + 1 < records || pick(3) != 0) text += lineEnd;
    }
    return text;
  }

  // `count` pieces of `from` one after the other.
  std::string pieces(std::size_t count, const std::vector<std::string>& from) {
    std::string text;
    for (; count > 0; --count) text += from[pick(from.size())];
    return text;
  }

  std::string number() {
    std::string text = pick(3) == 0 ? "-" : "";
    text += std::to_string(pick(pick(2) == 0 ? 100 : 10'000'000));
    if (pick(4) != 0) {
      text += '.';
      for (std::size_t d = 1 + pick(6); d > 0; --d) text += static_cast<char>('0' + pick(10));
    }
    return text;
  }

 private:
  std::mt19937 random_;
};

}  // namespace vorlet::testing
