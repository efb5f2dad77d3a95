#include "delimited/Parts.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "TableCells.h"

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

// Read into a table without dimensions, which the first record sizes.
const ReadCase kReads[] = {
    // Line ends: only the whole record separator cuts.
    {"5", {{"5"}}},
    {"1,2,3^", {{"1", "2", "3"}}},
    {"1,2^3", {{"1", "2"}, {"3", kEmpty}}},
    {"1,2^^", {{"1", "2"}, {"", kEmpty}}},
    {"^1,2^3,4^", {{""}, {"1"}, {"3"}}},
    {"1,2\r3\n4^", {{"1", "2\r3\n4"}}},
    {"a\r^b\r", {{"a\r"}, {"b\r"}}},
    // Plain fields: blanks and quotes inside are content.
    {" a ,bQc,", {{" a ", "bQc", ""}}},
    {"0123456789abcdefghij,0123456789abcdefg^x",
     {{"0123456789abcdefghij", "0123456789abcdefg"}, {"x", kEmpty}}},
    // Quoting.
    {"Qa,bQ,c", {{"a,b", "c"}}},
    {"x,QaQ,", {{"x", "a", ""}}},
    {"QaQQbQ,QQ", {{"aQb", ""}}},
    {"QaQQQ", {{"aQ"}}},
    {"QabQcdQefQ,g", {{"abcdef", "g"}}},
    {"QabQx", {{"ab", ""}}},  // the one last character after the closing quote is dropped
    {"QaQQ", {{"a", ""}}},    // even a quote
    {"QaQQ^bQ", {{"a", ""}, {"bQ", kEmpty}}},
    {"0123456789abcdef,0123456789abcdef,Qx,yQ,z^1",
     {{"0123456789abcdef", "0123456789abcdef", "x,y", "z"}, {"1", kEmpty, kEmpty, kEmpty}}},
    {"QaaaaaaaaaaaaaaaaaaaaQQbQ,QccccccccccccccccccccccQQdQ",
     {{"aaaaaaaaaaaaaaaaaaaaQb", "ccccccccccccccccccccccQd"}}},
    // Quoted fields over line ends, closed or not.
    {"Qa^bQ,c^d,e^", {{"a^b", "c"}, {"d", "e"}}},
    {"QabQx,c^d,e^", {{"abx,c^d,e^"}}},
    {"x,Qa^b,c^", {{"x", "a^b,c^"}}},
    {"x,Qabc", {{"x", "abc^"}}},
    {"x,Qabc,", {{"x", "abc,^"}}},
    {"Qa^bQQcQ", {{"a^bQQcQ"}}},  // a last line without a comma is taken whole
    {"Qa^bQ^", {{"a^b"}}},
    {"Qa^b,cQ,d", {{"a^b,c", "d"}}},
    // Ragged records and the sizing read.
    {"1,2^3,4,5^", {{"1", "2"}, {"3", "4"}}},
    {"1,2,3^4^QxQy^", {{"1", "2", "3"}, {"4", kEmpty, kEmpty}, {"x", "", kEmpty}}},
    {"a^b,Qc^dQ,e^f^", {{"a"}, {"b"}, {"f"}}},
    {"Qa^b,cQ,d^1,2,3^", {{"a^b,c", "d"}, {"1", "2"}}},
    // One character after a closing quote ends its line, however many bytes it takes.
    {"QabQ\xE3\x81\x82^1,2^", {{"ab", ""}, {"1", "2"}}},
    {"QabQ\xF0\x9F\x98\x80", {{"ab", ""}}},
    {"QabQ\xC3\xA9x", {{"ab\xC3\xA9x^"}}},
    {"QabQ\x82\xA0", {{"ab", ""}}, kSjis},
    {"QabQ\xB1", {{"ab", ""}}, kSjis},
    {"QabQ\x82\xA0\xB1", {{"ab\x82\xA0\xB1^"}}, kSjis},
    {"QabQ\xE3\x81\x82", {{"ab\xE3\x81\x82^"}}, kSjis},
    {"\x95\x5C,Q\x83\x5CQ^", {{"\x95\x5C", "\x83\x5C"}}, kSjis},
    // Other separators; of a longer field separator or quote the first character counts.
    {"a;;b;'c;d'\n", {{"a", "", "b", "c;d"}}, kUtf8, ";;", "\n", "'x"},
    {"a,b<>|c<>d<>|", {{"a", "b"}, {"c<>d", kEmpty}}, kUtf8, ",", "<>|"},
    {"x,1aab,yaaab", {{"x", "1"}, {"", "ya"}}, kUtf8, ",", "aab"},
    {"a,b,\nc,dddddddddddddddddddd,\n",
     {{"a", "b"}, {"c", "dddddddddddddddddddd"}},
     kUtf8,
     ",",
     ",\n"},
    {"a,b^c", {{"a", "b^c"}}, kUtf8, ",", ""},
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

TEST(ParseDelimited, KeepsTheBoundsOfATableWithDimensions) {
  const struct {
    const char *first, *second;
    Records records;
  } cases[] = {
      {"1,2,3^4,5,6^", "a,b^c^", {{"a", "b", "3"}, {"c", kEmpty, kEmpty}}},
      {"1,2^", "a,b,c^d,e,f^", {{"a", "b"}, {"d", "e"}}},
      {"1^2^3^", "a,b^", {{"a"}}},
      {"1,2^3,4^", "", {{"1", "2"}, {"3", "4"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    CellTable table;
    ASSERT_TRUE(ParseDelimited(decode(c.first), table, ",", "\r\n", "\""));
    const Result<std::int32_t> result = ParseDelimited(decode(c.second), table, ",", "\r\n", "\"");
    EXPECT_EQ(*result, static_cast<std::int32_t>(c.records.size()));
    EXPECT_EQ(cellsOf(table), c.records);
  }
  CellTable table;  // the first field goes to the field lower bound, records count from 1
  table.dimension(0, 2, 0, 5);
  table.set(1, 0, Cell::text("kept"));
  EXPECT_EQ(*ParseDelimited("a,b,c,d\r\nx", table, ",", "\r\n", "\""), 2);
  EXPECT_EQ(cellsOf(table),
            (Records{{kEmpty, "kept", kEmpty}, {"a", "b", "c"}, {"x", kEmpty, kEmpty}}));
  table.dimension(1, 2, 2, 3);
  EXPECT_EQ(ParseDelimited("a", table, ",", "\r\n", "\"").fault(), Fault::Bounds);
}

TEST(ParseDelimited, FailsBeforeChangingTheTable) {
  CellTable table;
  EXPECT_EQ(ParseDelimited("", table, ",", "\r\n", "\"").fault(), Fault::Bounds);
  EXPECT_EQ(ParseDelimited("a", table, "", "\r\n", "\"").fault(), Fault::TypeMismatch);
  EXPECT_EQ(ParseDelimited("a", table, ",", "\r\n", "").fault(), Fault::TypeMismatch);
  EXPECT_FALSE(table.isDimensioned());
  ASSERT_TRUE(ParseDelimited("kept", table, ",", "\r\n", "\""));
  EXPECT_EQ(ParseDelimited("a", table, ",", std::string(32768, 'x'), "\"").fault(),
            Fault::Overflow);
  EXPECT_EQ(cellsOf(table), (Records{{"kept"}}));
  EXPECT_TRUE(ParseDelimited("a", table, ",", std::string(32767, 'x'), "\""));
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
