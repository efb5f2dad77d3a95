// The number conversions' fast paths against slow, obvious readings of their rules (a grammar
// check before std::from_chars; precisions 1 to 7 of std::to_chars, each read back).
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/ReferenceNumbers.h"
#include "table/NumberText.h"

namespace vorlet {
namespace {

using testing::referenceFormat;
using testing::referenceParse;

// Texts of every shape the grammar knows and some it does not, weighted to the short decimals
// of measurement files and to the edges of the fast path (15 and 16 digits).
std::string numberText(std::mt19937& random) {
  const auto pick = [&random](int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random);
  };
  const auto digits = [&pick](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + pick(10));
    if (count > 1 && pick(6) == 0) text[0] = '0';  // leading zeros now and then
    return text;
  };
  const auto blank = [&pick] {
    return pick(8) == 0 ? std::string(1 + pick(2), " \t"[pick(2)]) : "";
  };
  std::string text = blank();
  if (pick(3) == 0) text += "+-"[pick(2)];
  const int shape = pick(6);
  if (shape == 0) {
    text += digits(1 + pick(20));
  } else if (shape == 1) {
    text += digits(pick(4)) + "." + digits(pick(20));
  } else if (shape == 2) {
    text += digits(1 + pick(16)) + "." + digits(pick(3));
  } else {  // like a data logger's: a few digits, a point, a few more
    const int before = pick(7);
    text += digits(before) + (pick(5) == 0 ? "" : ".") + digits(1 + pick(6 - before / 2));
  }
  if (pick(6) == 0) {
    text += "eE"[pick(2)];
    if (pick(2) == 0) text += "+-"[pick(2)];
    text += digits(pick(4));
  }
  text += blank();
  if (pick(25) == 0) {
    text.insert(static_cast<std::size_t>(pick(static_cast<int>(text.size()) + 1)), 1,
                ".-+eEx ,\n\x80"[pick(11)]);
  }
  return text;
}

TEST(NumberOracle, ParseDecimalReadsWhatTheRuleReads) {
  std::mt19937 random(20240607);
  // The edges of the fast path (15 and 16 digits) and of the double range, and their rounding.
  // clang-format off
  std::vector<std::string> fixed = {
      "9007199254740993", "9007199254740992.5", "123456789012345", "1234567890123456",
      "0.000000000000001", "000000000000000000001.5", "-0", "-0.0", "+.5", "5.", ".", "1e308",
      "1.8e308", "1e-324", "2.5e-324", "1e-400", "-1e400", "0e999999999999", "123456789e301",
      "4.9406564584124654e-324", "2.2250738585072011e-308", "1.7976931348623157e308",
      "1.00000000000000011102230246251565404236316680908203125"};  // a tie, to even
  // clang-format on
  for (int i = 0; i < 400000; ++i) fixed.push_back(numberText(random));
  for (const std::string& text : fixed) {
    const Result<double> expected = referenceParse(text);
    const Result<double> got = parseDecimal(text);
    ASSERT_EQ(got.fault(), expected.fault()) << '"' << text << '"';
    if (expected) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(*got), std::bit_cast<std::uint64_t>(*expected))
          << '"' << text << "\" " << *got << " " << *expected;
    }
  }
}

std::vector<float> testFloats() {
  std::vector<float> floats;
  std::mt19937_64 random(20240608);
  const auto near = [&floats](float center, int ulps) {  // and its neighbours either side
    const float inf = std::numeric_limits<float>::infinity();
    for (float below = center, above = center; ulps-- >= 0;) {
      if (std::isfinite(below)) floats.push_back(below);
      if (std::isfinite(above) && above != below) floats.push_back(above);
      below = std::nextafter(below, -inf);
      above = std::nextafter(above, inf);
    }
  };
  // Any bit pattern: every exponent, subnormals included.
  for (int i = 0; i < 200000; ++i)
    near(std::bit_cast<float>(static_cast<std::uint32_t>(random())), 0);
  // Powers of two, where the next float down is nearer than the next one up; powers of ten,
  // where the decimal exponent changes.
  for (int e = -149; e <= 127; ++e) near(std::ldexp(1.0f, e), 3);
  for (int e = -45; e <= 38; ++e) near(static_cast<float>(std::pow(10.0L, e)), 4);
  // Short decimals and their neighbours: where fewer than 7 digits read back, or just fail to.
  for (int i = 0; i < 120000; ++i) {
    const auto digits = static_cast<double>(random() % 10'000'000);
    near(static_cast<float>(digits * std::pow(10.0, static_cast<int>(random() % 80) - 45)), 2);
  }
  // Ties at the 7th digit: integers below 2^24 ending in 5, halves below 2^23.
  for (int i = 0; i < 30000; ++i) {
    floats.push_back(static_cast<float>((random() % 1'677'721) * 10 + 5));
    floats.push_back(static_cast<float>(static_cast<double>(random() % 8'388'608) + 0.5));
  }
  // Means of measurement-like values, as average thinning makes them.
  std::uniform_real_distribution<double> reading(-1000.0, 1000.0);
  for (int i = 0; i < 50000; ++i) {
    float sum = 0;
    for (int k = 0; k < 10; ++k)
      sum = static_cast<float>(static_cast<double>(sum) + reading(random));
    floats.push_back(static_cast<float>(static_cast<double>(sum) / 10.0f));
  }
  for (const float edge : {std::numeric_limits<float>::max(), std::numeric_limits<float>::min(),
                           std::numeric_limits<float>::denorm_min(), 16777216.0f, 16777217.0f,
                           1.0f / 3.0f, 0.1f, 9999999.0f, 9999999.5f}) {
    near(edge, 3);
  }
  return floats;
}

TEST(NumberOracle, FormatSingleWritesWhatTheRuleWrites) {
  const std::vector<float> floats = testFloats();
  for (std::size_t i = 0; i < floats.size(); ++i) {
    // The sign is written before anything else is decided: a few negatives suffice.
    const float value = i % 16 == 0 ? -floats[i] : floats[i];
    char text[kNumberTextMax];
    ASSERT_EQ(std::string(text, formatSingle(value, text)), referenceFormat(value))
        << std::hexfloat << value << " bits " << std::bit_cast<std::uint32_t>(value);
  }
}

}  // namespace
}  // namespace vorlet
