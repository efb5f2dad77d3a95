// The number rules by example; NumberOracleTest compares the fast paths with a plain reading of
// the same rules on many more.
#include "table/NumberText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

// Single precision is compared with the oracle's formatter in NumberOracleTest.
TEST(FormatDouble, FifteenDigitsAtMost) {
  const std::pair<double, const char*> cases[] = {{1.0 / 3.0, "0.333333333333333"},
                                                  {1e15, "1E+15"},
                                                  {123456, "123456"},
                                                  {0.1 + 0.2, "0.3"},
                                                  {-2e-5, "-2E-05"},
                                                  {1e100, "1E+100"}};
  for (const auto& [value, text] : cases) {
    char buffer[kNumberTextMax];
    EXPECT_EQ(std::string(buffer, formatDouble(value, buffer)), text) << value;
  }
}

}  // namespace
}  // namespace vorlet
