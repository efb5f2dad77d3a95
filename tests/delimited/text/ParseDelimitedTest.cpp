#include "delimited/ParseDelimited.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/TableCells.h"

namespace vorlet {
namespace {

using testing::cellsOf;
using testing::decode;
using testing::kEmpty;
using testing::Records;

constexpr CharSet kSjis = CharSet::ShiftJis;
constexpr CharSet kUtf8 = CharSet::Utf8;

struct ReadCase {
  const char* text;
  Records records;
  CharSet charset = kUtf8;
  const char* field = ",";
  const char* record = "^";
  const char* quote = "Q";
};

// Each reading rule by example, read into a table without dimensions, which the first record
// sizes; ReadingOracleTest compares the reading with the rules on many more texts.
const ReadCase kReads[] = {
    // Line ends: only the whole record separator cuts.
    {"5", {{"5"}}},
    {"1,2^3", {{"1", "2"}, {"3", kEmpty}}},
    {"1,2^^", {{"1", "2"}, {"", kEmpty}}},
    {"^1,2^3,4^", {{""}, {"1"}, {"3"}}},
    {"1,2\r3\n4^a\r^", {{"1", "2\r3\n4"}, {"a\r", kEmpty}}},
    // Plain fields: blanks and quotes inside are content.
    {" a ,bQc,", {{" a ", "bQc", ""}}},
    // Quoting.
    {"Qa,bQ,c", {{"a,b", "c"}}},
    {"QaQQbQ,QQ", {{"aQb", ""}}},
    {"QaQQQ", {{"aQ"}}},
    {"QabQcdQefQ,g", {{"abcdef", "g"}}},
    {"QabQx", {{"ab", ""}}},  // the one last character after the closing quote is dropped
    {"QaQQ", {{"a", ""}}},    // even a quote
    // Quoted fields over line ends, closed or not.
    {"Qa^bQ,c^d,e^", {{"a^b", "c"}, {"d", "e"}}},
    {"QabQx,c^d,e^", {{"abx,c^d,e^"}}},
    {"x,Qa^b,c^", {{"x", "a^b,c^"}}},
    {"x,Qabc", {{"x", "abc^"}}},
    {"Qa^bQQcQ", {{"a^bQQcQ"}}},  // a last line without a comma is taken whole
    // Ragged records and the sizing read.
    {"1,2^3,4,5^", {{"1", "2"}, {"3", "4"}}},
    {"a^b,Qc^dQ,e^f^", {{"a"}, {"b"}, {"f"}}},
    // One character after a closing quote ends its line, however many bytes it takes.
    {"QabQ\xE3\x81\x82^1,2^", {{"ab", ""}, {"1", "2"}}},
    {"QabQ\xF0\x9F\x98\x80", {{"ab", ""}}},
    {"QabQ\xC3\xA9x", {{"ab\xC3\xA9x^"}}},
    {"QabQ\x82\xA0", {{"ab", ""}}, kSjis},
    {"QabQ\x82\xA0\xB1", {{"ab\x82\xA0\xB1^"}}, kSjis},
    // Of a longer field separator or quote the first character counts (ReadingOracleTest has
    // other separators).
    {"a;;b;'c;d'\n", {{"a", "", "b", "c;d"}}, kUtf8, ";;", "\n", "'x"},
};

TEST(ParseDelimited, SizesAFreshTableByTheFirstRecord) {
  for (const ReadCase& c : kReads) {
    SCOPED_TRACE(c.text);
    CellTable table;
    const Result<std::int32_t> result = ParseDelimited(
        decode(c.text), table, decode(c.field), decode(c.record), decode(c.quote), c.charset);
    ASSERT_TRUE(result) << describe(result.fault());
    EXPECT_EQ(*result, static_cast<std::int32_t>(c.records.size()));
    EXPECT_EQ(cellsOf(table), decode(c.records));
  }
}

TEST(ParseDelimited, CellsReferToTheBlockWhichTheTableKeeps) {
  auto block = std::make_shared<const std::string>(decode("\xEF\xBB\xBFplain,QaQQbQ,Qc^dQ^"));
  CellTable table;
  ASSERT_TRUE(ParseDelimited(block, 3, table, ",", "\r\n", "\""));
  const auto inBlock = [&](std::int32_t field) {
    const std::less_equal<const char*> notAfter;
    const std::string_view text = table.cellAt(field, 1).asText();
    return notAfter(block->data(), text.data()) &&
           notAfter(text.data() + text.size(), block->data() + block->size());
  };
  EXPECT_TRUE(inBlock(1) && !inBlock(2) && inBlock(3));  // the rebuilt field is copied
  block.reset();
  EXPECT_EQ(cellsOf(table), decode(Records{{"plain", "aQb", "c^d"}}));
}

}  // namespace
}  // namespace vorlet
