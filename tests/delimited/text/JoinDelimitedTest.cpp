#include "delimited/JoinDelimited.h"

#include <gtest/gtest.h>

#include "support/TableCells.h"

namespace vorlet {
namespace {

using testing::decode;

TEST(JoinDelimited, WritesTheFieldsAndRecordsAboveTheLowerBounds) {
  CellTable table;  // markers at index 0, which is never written
  table.dimension(0, 2, 0, 2);
  table.set(1, 1, Cell::text("a''b"));
  table.set(2, 1, Cell::text("a\"b"));
  table.set(1, 2, Cell::single(2.5F));
  table.set(2, 2, Cell::null());
  table.set(0, 1, Cell::text("F0"));
  table.set(1, 0, Cell::text("R0"));
  EXPECT_EQ(*JoinDelimited(table, ",", "\r\n", ""), decode("a''b,aQb^2.5,^"));
  EXPECT_EQ(*JoinDelimited(table, ",", ";", "\""), decode("Qa''bQ,QaQQbQ;Q2.5Q,QQ;"));
  EXPECT_EQ(*JoinDelimited(table, "::", "<E>", "''"), "''a''''b''::''a\"b''<E>''2.5''::''''<E>");
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
      {"QQQ", "Q", "QQ", true, "QQQQQQ"},
      {"QQQ", "Q", "QQ", false, "QQQQ"},
      {"aQQb", "Q", "QQ", false, "aQQb"},
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

// A text, then as written with CR LF line ends, and with LF (where CR LF is no line end).
TEST(SavedText, QuotesOnlyTheFieldsThatNeedIt) {
  const char* const cases[][3] = {{"12.5", "12.5", "12.5"},
                                  {"", "", ""},
                                  {" \xE3\x81\x82", " \xE3\x81\x82", " \xE3\x81\x82"},
                                  {"a,b", "Qa,bQ", "Qa,bQ"},
                                  {"a QbQ", "Qa QQbQQQ", "Qa QQbQQQ"},
                                  {"a\rb", "Qa\rbQ", "Qa\rbQ"},
                                  {"a\nb", "Qa\nbQ", "Qa\nbQ"},
                                  {"a^b", "Qa^bQ", "Qa^bQ"},
                                  {"aQ^b", "QaQQ\rQ\nbQ", "QaQQ^bQ"},
                                  {"Q^^", "QQQ\rQ\n\rQ\nQ", "QQQ^^Q"},
                                  {"a^Q^", "Qa\rQ\nQQ\rQ\nQ", "Qa^QQ^Q"}};
  for (const auto& c : cases) {
    for (const LineEnd lineEnd : {LineEnd::CrLf, LineEnd::Lf}) {
      std::string out;
      savedFieldWriter(lineEnd)(out, decode(c[0]));
      EXPECT_EQ(out, decode(c[lineEnd == LineEnd::Lf ? 2 : 1])) << c[0];
    }
  }
  std::string out = "x";
  appendSavedText(CellTable(), out);
  EXPECT_EQ(out, "x");
}

}  // namespace
}  // namespace vorlet
