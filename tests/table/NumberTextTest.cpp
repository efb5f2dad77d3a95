// The number rules by example; NumberOracleTest compares the fast paths with a plain reading of
// the same rules on many more.
#include "table/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

namespace vorlet {
namespace {

TEST(ParseDecimal, AcceptsPlainDecimalsOnly) {
  const std::pair<const char*, double> numbers[] = {
      {" 12 ", 12}, {"\t-3e2\t", -300}, {"+.5e-3", 0.0005},  {"5.", 5},
      {"-0", -0.0}, {"1E+2", 100},      {"00012.500", 12.5}, {"1e-400", 0}};
  for (const auto& [text, value] : numbers) {
    const Result<double> result = parseDecimal(text);
    ASSERT_TRUE(result) << '"' << text << '"';
    EXPECT_EQ(*result, value) << text;
    EXPECT_EQ(std::signbit(*result), std::signbit(value)) << text;
  }
  EXPECT_EQ(parseDecimal("-1e400").fault(), Fault::Overflow);
  // Only space and tab are blanks; full-width digits are no digits.
  for (const char* text : {"", "   ", ".", "-", "1e+", "e5", "1 2", "inf", "nan", "0x10", "1,000",
                           "1.5.2", "--1", "\n12", "\xef\xbc\x91\xef\xbc\x92"}) {
    EXPECT_EQ(parseDecimal(text).fault(), Fault::TypeMismatch) << '"' << text << '"';
  }
}

struct FormatCase {
  double value;
  const char* text;
};

TEST(FormatSingle, ShortestFormThatReadsBack) {
  // clang-format off
  const FormatCase cases[] = {
      {1.0 / 3.0, "0.3333333"}, {16777216, "1.677722E+07"}, {0.00001, "1E-05"}, {-0.0, "0"},
      {0.00012345, "0.00012345"}, {9999999, "9999999"}, {10000000, "1E+07"},
      {3.4028234663852886e38, "3.402823E+38"}};
  // clang-format on
  for (const FormatCase& c : cases) {
    char buffer[kNumberTextMax];
    EXPECT_EQ(std::string(buffer, formatSingle(static_cast<float>(c.value), buffer)), c.text)
        << c.value;
  }
}

TEST(FormatDouble, FifteenDigitsAtMost) {
  const FormatCase cases[] = {{1.0 / 3.0, "0.333333333333333"},
                              {1e15, "1E+15"},
                              {123456, "123456"},
                              {0.1 + 0.2, "0.3"},
                              {-2e-5, "-2E-05"},
                              {1e100, "1E+100"}};
  for (const FormatCase& c : cases) {
    char buffer[kNumberTextMax];
    EXPECT_EQ(std::string(buffer, formatDouble(c.value, buffer)), c.text) << c.value;
  }
}

}  // namespace
}  // namespace vorlet
