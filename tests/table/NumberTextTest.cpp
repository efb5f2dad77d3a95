#include "table/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace vorlet {
namespace {

struct ParseCase {
  const char* text;
  Fault fault;
  double value;
};

TEST(ParseDecimal, AcceptsPlainDecimalsOnly) {
  const ParseCase cases[] = {
      {"12", Fault::None, 12},
      {" 12 ", Fault::None, 12},
      {"\t-3e2\t", Fault::None, -300},
      {"+.5e-3", Fault::None, 0.0005},
      {".5", Fault::None, 0.5},
      {"5.", Fault::None, 5},
      {"0.1", Fault::None, 0.1},
      {"-0", Fault::None, -0.0},
      {"1E+2", Fault::None, 100},
      {"00012.500", Fault::None, 12.5},
      {"1e-400", Fault::None, 0},
      {"1e400", Fault::Overflow, 0},
      {"-1e400", Fault::Overflow, 0},
      {"123456789e301", Fault::Overflow, 0},
      {"0.000001e-320", Fault::None, 0},
      {"", Fault::TypeMismatch, 0},
      {"   ", Fault::TypeMismatch, 0},
      {".", Fault::TypeMismatch, 0},
      {"-", Fault::TypeMismatch, 0},
      {"1e", Fault::TypeMismatch, 0},
      {"1e+", Fault::TypeMismatch, 0},
      {"e5", Fault::TypeMismatch, 0},
      {"12a", Fault::TypeMismatch, 0},
      {"1 2", Fault::TypeMismatch, 0},
      {"inf", Fault::TypeMismatch, 0},
      {"nan", Fault::TypeMismatch, 0},
      {"Infinity", Fault::TypeMismatch, 0},
      {"0x10", Fault::TypeMismatch, 0},
      {"1,000", Fault::TypeMismatch, 0},
      {"1.5.2", Fault::TypeMismatch, 0},
      {"--1", Fault::TypeMismatch, 0},
      {"\xef\xbc\x91\xef\xbc\x92", Fault::TypeMismatch, 0},  // full-width digits
      {"\n12", Fault::TypeMismatch, 0},                       // only space and tab are blanks
  };
  for (const ParseCase& c : cases) {
    const Result<double> result = parseDecimal(c.text);
    EXPECT_EQ(result.fault(), c.fault) << '"' << c.text << '"';
    if (result) {
      EXPECT_EQ(*result, c.value) << c.text;
      EXPECT_EQ(std::signbit(*result), std::signbit(c.value)) << c.text;
    }
  }
}

TEST(ParseDecimal, RoundsCorrectlyAtTheEdges) {
  EXPECT_EQ(*parseDecimal("1.7976931348623157e308"), std::numeric_limits<double>::max());
  EXPECT_EQ(*parseDecimal("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
  // Halfway between 1 and the next double: ties go to even.
  EXPECT_EQ(*parseDecimal("1.00000000000000011102230246251565404236316680908203125"), 1.0);
  EXPECT_EQ(*parseDecimal("9007199254740993"), 9007199254740992.0);
}

struct FormatCase {
  double value;
  const char* text;
};

std::string single(float value) {
  char buffer[kNumberTextMax];
  return std::string(buffer, formatSingle(value, buffer));
}

std::string real(double value) {
  char buffer[kNumberTextMax];
  return std::string(buffer, formatDouble(value, buffer));
}

TEST(FormatSingle, ShortestFormThatReadsBack) {
  const FormatCase cases[] = {
      {1.0 / 3.0, "0.3333333"},
      {2.5, "2.5"},
      {5.0 / 3.0, "1.666667"},
      {16777216, "1.677722E+07"},
      {0.00001, "1E-05"},
      {0.0001, "0.0001"},
      {0.00012345, "0.00012345"},
      {0, "0"},
      {-0.0, "0"},
      {-1.5, "-1.5"},
      {100, "100"},
      {1234567, "1234567"},
      {8388609, "8388609"},
      {9999999, "9999999"},
      {10000000, "1E+07"},
      {0.1, "0.1"},
      {3.4028234663852886e38, "3.402823E+38"},
      {1e-10, "1E-10"},
      {1.17549435e-38, "1.175494E-38"},
      {123.456, "123.456"},
      {-0.000123, "-0.000123"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(single(static_cast<float>(c.value)), c.text) << c.value;
  }
}

TEST(FormatDouble, FifteenDigitsAtMost) {
  const FormatCase cases[] = {
      {0.1, "0.1"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.5, "2.5"},
      {1e15, "1E+15"},
      {123456, "123456"},
      {1234567, "1234567"},
      {0.1 + 0.2, "0.3"},
      {-2e-5, "-2E-05"},
      {1e100, "1E+100"},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(real(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace vorlet
