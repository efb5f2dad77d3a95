#include "delimited/Module3.h"

#include <gtest/gtest.h>

#include <random>

#include "TableCells.h"
#include "delimited/Parts.h"

namespace vorlet {
namespace {

using testing::cellsOf;
using testing::decode;
using testing::Records;

TEST(JoinDelimited, WritesTheFieldsAndRecordsAboveTheLowerBounds) {
  CellTable table;  // markers at index 0, which is never written
  table.dimension(0, 2, 0, 2);
  table.set(1, 1, Cell::text("12"));
  table.set(2, 1, Cell::text("a\"b"));
  table.set(1, 2, Cell::single(2.5F));
  table.set(0, 1, Cell::text("F0"));
  table.set(1, 0, Cell::text("R0"));
  EXPECT_EQ(*JoinDelimited(table, ",", "\r\n", ""), decode("12,aQb^2.5,^"));
  EXPECT_EQ(*JoinDelimited(table, ",", "\r\n", "\""), decode("Q12Q,QaQQbQ^Q2.5Q,QQ^"));
  EXPECT_EQ(*JoinDelimited(table, "::", "<E>", "''"), "''12''::''a\"b''<E>''2.5''::''''<E>");
  table.set(2, 2, Cell::null());
  table.set(1, 1, Cell::text("a''b"));
  EXPECT_EQ(*JoinDelimited(table, ",", ";", "\""), decode("Qa''bQ,QaQQbQ;Q2.5Q,QQ;"));
  EXPECT_EQ(*JoinDelimited(table, ",", ";", "''"), "''a''''b'',''a\"b'';''2.5'','''';");
}

TEST(JoinDelimited, WritesWithinAnyBounds) {
  CellTable table;
  table.dimension(0, 3, 4, 4);  // no record above the lower bound
  EXPECT_EQ(*JoinDelimited(table, ",", "E", "Q"), "");
  table.dimension(5, 5, -1, 2);  // no field above the lower bound
  EXPECT_EQ(*JoinDelimited(table, ",", "E", "Q"), "EEE");
  table.dimension(-3, -1, -2, 0);
  table.set(-2, -1, Cell::integer16(-7));
  table.set(-1, 0, Cell::boolean(true));
  EXPECT_EQ(*JoinDelimited(table, ",", ";", ""), "-7,;,True;");
  table.dimension(0, 40000, 0, 1);  // more fields than a 16-bit counter reaches
  table.set(40000, 1, Cell::real(0.25));
  EXPECT_EQ(*JoinDelimited(table, ",", ";", ""), std::string(39999, ',') + "0.25;");
  EXPECT_EQ(JoinDelimited(CellTable(), ",", ";", "").fault(), Fault::Bounds);
}

TEST(DoubleQuotes, ReplacesOccurrencesLeftToRight) {
  const struct {
    const char *text, *quote, *replacement;
    bool all;
    const char* expected;
  } cases[] = {
      {"aQb", "Q", "QQ", true, "aQQb"},
      {"aQQb", "Q", "QQ", true, "aQQQQb"},
      {"QQQ", "Q", "QQ", true, "QQQQQQ"},
      {"aQb", "Q", "QQ", false, "aQQb"},
      {"aQQb", "Q", "QQ", false, "aQQb"},
      {"QQQ", "Q", "QQ", false, "QQQQ"},
      {"Q", "Q", "QQ", false, "QQ"},
      {"aQb", "", "QQ", false, "aQb"},
      {"aXYb", "XY", "XYXY", true, "aXYXYb"},
      {"aab", "ab", "b", true, "ab"},
      // The quote second in the replacement: the look-back starts one character earlier.
      {"a\\Qb", "Q", "\\Q", false, "a\\Qb"},
      {"Qb", "Q", "\\Q", false, "\\Qb"},
      {"aQQb", "Q", "-", false, "a--b"},
      {"QQQQ", "Q", "QQQ", false, "QQQQQQ"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DoubleQuotes(decode(c.text), decode(c.quote), decode(c.replacement), c.all),
              decode(c.expected))
        << c.text << " " << c.replacement << " " << c.all;
  }
}

TEST(SavedText, QuotesOnlyTheFieldsThatNeedIt) {
  const char* const cases[][2] = {{"12.5", "12.5"},
                                  {"", ""},
                                  {" \xE3\x81\x82", " \xE3\x81\x82"},
                                  {"a,b", "Qa,bQ"},
                                  {"a QbQ", "Qa QQbQQQ"},
                                  {"a\rb", "Qa\rbQ"},
                                  {"a\nb", "Qa\nbQ"},
                                  {"a^b", "Qa^bQ"},
                                  {"aQ^b", "QaQQ\rQ\nbQ"},
                                  {"Q^Q^", "QQQ\rQ\nQQ\rQ\nQ"},
                                  {"Q^^", "QQQ\rQ\n\rQ\nQ"},
                                  {"a^Q^", "Qa\rQ\nQQ\rQ\nQ"}};
  for (const auto& c : cases) {
    std::string out;
    appendSavedField(out, decode(c[0]));
    EXPECT_EQ(out, decode(c[1]));
  }
  std::string out = "x";
  appendSavedText(CellTable(), out);
  EXPECT_EQ(out, "x");
}

// A result table (index 0 empty, as thinning leaves it) of 1 to 4 by 1 to 4 cells.
template <class MakeCell>
CellTable resultTable(std::mt19937& random, MakeCell makeCell) {
  std::uniform_int_distribution<std::int32_t> size(1, 4);
  CellTable table;
  table.dimension(0, size(random), 0, size(random));
  for (std::int32_t r = 1; r <= *table.upperBound(2); ++r) {
    for (std::int32_t f = 1; f <= *table.upperBound(1); ++f) table.set(f, r, makeCell());
  }
  return table;
}

TEST(SavedText, IsTheJoinWithoutQuotesWhereNoFieldNeedsThem) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> kind(0, 4);
  const Cell cells[] = {Cell(), Cell::null(), Cell::single(0.125F), Cell::text(""),
                        Cell::text("t \xE3\x81\x82")};
  for (int i = 0; i < 200; ++i) {
    const CellTable table = resultTable(random, [&] { return cells[kind(random)]; });
    std::string saved;
    appendSavedText(table, saved);
    ASSERT_EQ(saved, *JoinDelimited(table, ",", "\r\n", ""));
  }
}

// The reader takes back what was saved, a double quote right before CR LF included.
TEST(SavedText, ReadsBackAsTheSameCells) {
  const char* const pieces[] = {"a", " ", ",", "\"", "\r", "\n", "\r\n", "\xE3\x81\x82"};
  std::mt19937 random(11);
  std::uniform_int_distribution<std::size_t> length(0, 6);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::string text;  // each cell's bytes, until the table copies them
  for (int i = 0; i < 500; ++i) {
    const CellTable table = resultTable(random, [&] {
      text.clear();
      for (std::size_t n = length(random); n > 0; --n) text += pieces[piece(random)];
      return Cell::text(text);
    });
    Records expected = cellsOf(table);
    expected.erase(expected.begin());
    for (auto& record : expected) record.erase(record.begin());
    std::string saved;
    appendSavedText(table, saved);
    CellTable read;
    ASSERT_TRUE(ParseDelimited(saved, read, ",", "\r\n", "\""));
    ASSERT_EQ(cellsOf(read), expected) << ::testing::PrintToString(saved);
    // The CR LF a save adds makes one more record: an empty text, then empty cells.
    CellTable withEnd;
    ASSERT_TRUE(ParseDelimited(saved + "\r\n", withEnd, ",", "\r\n", "\""));
    expected.emplace_back(expected.front().size());
    expected.back().front() = "";
    ASSERT_EQ(cellsOf(withEnd), expected) << ::testing::PrintToString(saved);
  }
}

}  // namespace
}  // namespace vorlet
