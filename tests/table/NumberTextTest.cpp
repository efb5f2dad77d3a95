// The number rules by example; NumberOracleTest compares the fast paths with a plain reading of
// the same rules on many more.
#include "support/ReferenceNumbers.h"
#include "table/NumberText.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vorlet {
namespace {

// Texts the oracle's generator never makes: only space and tab are blanks, full-width digits
// are no digits, and no other notation is a number.
TEST(ParseDecimal, AcceptsPlainDecimalsOnly) {
  EXPECT_EQ(parseDecimal("-1e400").fault(), Fault::Overflow);
  EXPECT_EQ(*parseDecimal("1e-400"), 0);
  for (const char* text : {"", "   ", ".", "-", "1e+", "e5", "1 2", "inf", "nan", "0x10", "1,000",
                           "1.5.2", "--1", "\n12", "\xef\xbc\x91\xef\xbc\x92"}) {
    EXPECT_EQ(parseDecimal(text).fault(), Fault::TypeMismatch) << '"' << text << '"';
  }
}

// The reading by words against the byte-wise one: the same texts accepted, the same bits. Each
// text ends its own allocation, so a load past it shows under the address sanitizer.
TEST(ParseDecimal, EightBytesAtOnceReadLikeOneByOne) {
  if constexpr (std::endian::native != std::endian::little) GTEST_SKIP() << "little-endian only";
  std::mt19937 random(20261207);
  const auto pick = [&random](int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random);
  };
  // Besides digits: the bytes next to '0'..'9' and '.', and those with the high bit set.
  const std::string other = std::string("-+. eE/:,\x00\x80\xb0\xb9\xae\x1e\xff", 17);
  std::string text;
  for (int i = 0; i < 2'000'000; ++i) {
    text.clear();
    if (pick(3) == 0) text += '-';
    if (pick(4) == 0) {  // anything
      for (int k = pick(25); k > 0; --k) {
        text += pick(3) == 0 ? other[static_cast<std::size_t>(pick(17))]
                             : static_cast<char>('0' + pick(10));
      }
    } else {  // a decimal of 1 to 17 digits, the point anywhere or nowhere
      const int digits = 1 + pick(17);
      const int point = pick(digits + 3);
      for (int k = 0; k < digits; ++k) {
        if (k == point) text += '.';
        text += static_cast<char>('0' + pick(10));
      }
      if (point == digits) text += '.';
    }
    const auto exact = std::make_unique<char[]>(text.size());
    const std::string_view view(exact.get(), text.size());
    std::memcpy(exact.get(), text.data(), text.size());
    double expected = -1, got = -1;
    const bool accepted = detail::readShortDecimalBytewise(view, expected);
    ASSERT_EQ(detail::readShortDecimalWord(view, got), accepted) << '"' << text << '"';
    ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected))
        << '"' << text << '"';
  }
}

// The double formatter starts from the shortest decimal that reads back; the rule searches from
// one digit. Hardest where the two can part: next to powers of two (the next double down is
// nearer) and of ten, at 15 to 17 digits, and on ties. Single precision is compared with the
// same reference in NumberOracleTest.
TEST(FormatDouble, WritesWhatTheRuleWrites) {
  std::mt19937_64 random(20261208);
  std::vector<double> values = {1.0 / 3.0, 1e15, 123456, 0.1 + 0.2, -2e-5, 1e100};
  const auto near = [&values](double center, int ulps) {
    for (double below = center, above = center; ulps-- >= 0;) {
      if (std::isfinite(below)) values.push_back(below);
      if (std::isfinite(above)) values.push_back(above);
      below = std::nextafter(below, -HUGE_VAL);
      above = std::nextafter(above, HUGE_VAL);
    }
  };
  for (int i = 0; i < 60000; ++i) near(std::bit_cast<double>(random()), 0);  // denormals too
  for (int e = -1074; e <= 1023; ++e) near(std::ldexp(1.0, e), 2);
  for (int e = -323; e <= 308; ++e)
    near(std::strtod(("1e" + std::to_string(e)).c_str(), nullptr), 2);
  for (int i = 0; i < 40000; ++i) {  // 1 to 17 digits, and halves of the last
    const int digits = 1 + static_cast<int>(random() % 17);
    const std::string mantissa = std::to_string(random() % 100'000'000'000'000'000);
    const std::string text = mantissa.substr(0, static_cast<std::size_t>(digits)) +
                             (random() % 4 == 0 ? "5" : "") + "e" +
                             std::to_string(static_cast<int>(random() % 80) - 40);
    near(std::strtod(text.c_str(), nullptr), 1);
  }
  std::uniform_real_distribution<double> reading(-1000.0, 1000.0);
  for (int i = 0; i < 40000; ++i) {  // means as average thinning takes them
    double sum = 0;
    for (int k = 0; k < 10; ++k) sum += std::round(reading(random) * 1e4) / 1e4;
    values.push_back(sum / 10);
  }
  for (const double value : values) {
    char text[kNumberTextMax];
    ASSERT_EQ(std::string(text, formatDouble(value, text)), testing::referenceFormat(value))
        << std::hexfloat << value;
  }
}

}  // namespace
}  // namespace vorlet
