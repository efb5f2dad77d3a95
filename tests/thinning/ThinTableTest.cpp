#include "thinning/Module2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlet {
namespace {

using Column = std::vector<std::string>;

// Builds a source of one or more fields; "<empty>" leaves a cell of the empty kind.
void fill(SharedVariables& vars, const std::vector<Column>& fields) {
  const auto records = static_cast<std::int32_t>(fields.front().size());
  vars.SourceTable.dimension(1, static_cast<std::int32_t>(fields.size()), 1, records);
  for (std::size_t f = 0; f < fields.size(); ++f) {
    for (std::int32_t r = 0; r < records; ++r) {
      const std::string& value = fields[f][static_cast<std::size_t>(r)];
      if (value != "<empty>") {
        vars.SourceTable.set(static_cast<std::int32_t>(f + 1), r + 1, Cell::text(value));
      }
    }
  }
}

Column numbers(int from, int to, int step = 1) {
  Column column;
  for (int v = from; v <= to; v += step) column.push_back(std::to_string(v));
  return column;
}

// The result's records 1..q of one field as texts; index 0 is checked to be empty.
Column resultField(const SharedVariables& vars, std::int32_t field) {
  Column column;
  const std::int32_t records = *vars.ResultTable.upperBound(2);
  EXPECT_TRUE(vars.ResultTable.get(field, 0)->isEmpty());
  for (std::int32_t r = 1; r <= records; ++r) {
    EXPECT_TRUE(vars.ResultTable.get(0, r)->isEmpty());
    const Cell cell = *vars.ResultTable.get(field, r);
    column.push_back(cell.isEmpty() ? "<empty>" : toText(cell).value());
  }
  return column;
}

struct ThinCase {
  const char* name;
  Column source;
  const char* interval;
  int mode;
  Column expected;
};

TEST(ThinTable, SelectsAndAveragesCompleteGroupsOnly) {
  const ThinCase cases[] = {
      {"ten by three, simple", numbers(1, 10), "3", 0, {"1", "4", "7"}},
      {"ten by three, average", numbers(1, 10), "3", 1, {"2", "5", "8"}},
      {"nine by three, simple", numbers(1, 9), "3", 0, {"1", "4", "7"}},
      {"nine by three, average", numbers(1, 9), "3", 1, {"2", "5", "8"}},
      {"five by two, simple", numbers(10, 50, 10), "2", 0, {"10", "30"}},
      {"five by two, average", numbers(10, 50, 10), "2", 1, {"15", "35"}},
      {"six by two, simple", numbers(1, 6), "2", 0, {"1", "3", "5"}},
      {"six by two, average", numbers(1, 6), "2", 1, {"1.5", "3.5", "5.5"}},
      {"single record", {"5"}, "4", 1, {}},
      {"interval above the record count", numbers(1, 5), "8", 0, {}},
      {"interval equal to the record count, simple", numbers(1, 5), "5", 0, {"1"}},
      {"interval equal to the record count, average", numbers(1, 5), "5", 1, {"3"}},
      {"2.5 thins by two", numbers(1, 5), "2.5", 0, {"1", "3"}},
      {"3.5 thins by four", numbers(1, 8), "3.5", 0, {"1", "5"}},
      {"texts add nothing but count", {"3", "abc", "6"}, "3", 1, {"3"}},
      {"empty cells add nothing but count", {"4", "<empty>", "5"}, "3", 1, {"3"}},
      {"the empty text adds nothing", {"4", "", "5"}, "3", 1, {"3"}},
      {"headings are copied by simple thinning", {"時刻", "10", "20"}, "3", 0, {"時刻"}},
      {"headings add nothing to a mean", {"時刻", "10", "20"}, "3", 1, {"10"}},
      {"single precision sums", {"16777217", "16777217"}, "2", 1, {"1.677722E+07"}},
      {"single precision rounding", {"16777216", "1.00000001"}, "2", 1, {"8388609"}},
      {"five thirds", {"1", "2", "2"}, "3", 1, {"1.666667"}},
      {"a sum beyond the single range is skipped", {"3e38", "3e38"}, "2", 1, {"1.5E+38"}},
      {"blanks around numbers are allowed", {" 1 ", "\t3"}, "2", 1, {"2"}},
      {"a copied text keeps its bytes", {"a,\"b\"", "x"}, "2", 0, {"a,\"b\""}},
  };
  for (const ThinCase& c : cases) {
    SharedVariables vars;
    fill(vars, {c.source});
    ASSERT_EQ(ThinTable(vars, Cell::text(c.interval), Cell::integer16(static_cast<std::int16_t>(c.mode))),
              ThinStatus::Done)
        << c.name;
    EXPECT_EQ(*vars.ResultTable.upperBound(1), 1) << c.name;
    EXPECT_EQ(resultField(vars, 1), c.expected) << c.name;
    EXPECT_EQ(vars.FieldMax.asInteger32(), 1) << c.name;
    EXPECT_EQ(vars.RecordMax.asInteger32(), static_cast<std::int32_t>(c.source.size())) << c.name;
  }
}

TEST(ThinTable, MeansAreSinglePrecisionCells) {
  SharedVariables vars;
  fill(vars, {{"1", "2", "3", "4"}, {"10", "20", "30", "40"}});
  ThinTable(vars, Cell::text("2"), Cell::integer16(1));
  EXPECT_EQ(*vars.ResultTable.upperBound(1), 2);
  EXPECT_EQ(*vars.ResultTable.upperBound(2), 2);
  EXPECT_EQ(vars.ResultTable.get(1, 1)->kind(), CellKind::Single);
  EXPECT_EQ(resultField(vars, 1), (Column{"1.5", "3.5"}));
  EXPECT_EQ(resultField(vars, 2), (Column{"15", "35"}));
}

TEST(ThinTable, ShortRecordsCountAsEmptyCells) {
  SharedVariables vars;
  fill(vars, {{"1", "2", "3", "4"}, {"10", "<empty>", "30", "<empty>"}});
  ThinTable(vars, Cell::text("2"), Cell::integer16(1));
  EXPECT_EQ(resultField(vars, 2), (Column{"5", "15"}));
  ThinTable(vars, Cell::text("2"), Cell::integer16(0));
  EXPECT_EQ(resultField(vars, 2), (Column{"10", "30"}));
}

TEST(ThinTable, ASecondRunReplacesTheFirstResultWhole) {
  SharedVariables vars;
  fill(vars, {numbers(1, 20)});
  ThinTable(vars, Cell::text("2"), Cell::integer16(0));
  ThinTable(vars, Cell::text("5"), Cell::integer16(0));
  EXPECT_EQ(*vars.ResultTable.upperBound(2), 4);
  EXPECT_EQ(resultField(vars, 1), (Column{"1", "6", "11", "16"}));
  EXPECT_EQ(vars.Interval, 5);
}

TEST(ThinTable, AnEmptyModeIsSimpleThinning) {
  SharedVariables vars;
  fill(vars, {numbers(1, 4)});
  ThinTable(vars, Cell::text("2"), Cell());
  EXPECT_EQ(resultField(vars, 1), (Column{"1", "3"}));
}

TEST(ThinTable, WithoutASourceTheResultIsOneEmptyCell) {
  SharedVariables vars;
  int busy = 0;
  ASSERT_EQ(ThinTable(vars, Cell::text("3"), Cell::integer16(1), [&] { ++busy; }),
            ThinStatus::Done);
  EXPECT_EQ(busy, 1);
  EXPECT_EQ(*vars.ResultTable.upperBound(1), 0);
  EXPECT_EQ(*vars.ResultTable.upperBound(2), 0);
  EXPECT_TRUE(vars.ResultTable.get(0, 0)->isEmpty());
  EXPECT_TRUE(vars.FieldMax.isEmpty());
  EXPECT_TRUE(vars.RecordMax.isEmpty());
}

TEST(ThinTable, ABadIntervalChangesNothing) {
  for (const char* interval : {"abc", "", "1", "1.5", "-3", "40000", "32767.5"}) {
    SharedVariables vars;
    fill(vars, {numbers(1, 6)});
    ThinTable(vars, Cell::text("2"), Cell::integer16(0));
    vars.FieldMax = Cell();
    int busy = 0;
    EXPECT_EQ(ThinTable(vars, Cell::text(interval), Cell::integer16(1), [&] { ++busy; }),
              ThinStatus::BadInterval)
        << interval;
    EXPECT_EQ(busy, 0);
    EXPECT_TRUE(vars.FieldMax.isEmpty()) << interval;
    EXPECT_EQ(vars.Interval, 2) << interval;
    EXPECT_EQ(resultField(vars, 1), (Column{"1", "3", "5"})) << interval;
  }
}

TEST(ThinTable, KeptTextsOutliveTheSource) {
  SharedVariables vars;
  fill(vars, {{"first", "second", "third", "fourth"}});
  ThinTable(vars, Cell::text("2"), Cell::integer16(0));
  vars.SourceTable.erase();
  fill(vars, {{"other"}});
  EXPECT_EQ(resultField(vars, 1), (Column{"first", "third"}));
}

TEST(CheckInterval, NumbersOfAtLeastTwoThatFitSixteenBits) {
  struct Case {
    const char* text;
    IntervalCheck status;
    std::int16_t value;
  };
  const Case cases[] = {
      {"2", IntervalCheck::Ok, 2},          {"2.4", IntervalCheck::Ok, 2},
      {"2.5", IntervalCheck::Ok, 2},        {"3.5", IntervalCheck::Ok, 4},
      {" 10 ", IntervalCheck::Ok, 10},      {"1e1", IntervalCheck::Ok, 10},
      {"32767", IntervalCheck::Ok, 32767},  {"32767.4", IntervalCheck::Ok, 32767},
      {"1", IntervalCheck::BelowTwo, 0},    {"1.9999", IntervalCheck::BelowTwo, 0},
      {"1.5", IntervalCheck::BelowTwo, 0},  {"-5", IntervalCheck::BelowTwo, 0},
      {"0", IntervalCheck::BelowTwo, 0},    {"32767.5", IntervalCheck::TooLarge, 0},
      {"40000", IntervalCheck::TooLarge, 0}, {"1e300", IntervalCheck::TooLarge, 0},
      {"abc", IntervalCheck::NotANumber, 0}, {"", IntervalCheck::NotANumber, 0},
      {"２", IntervalCheck::NotANumber, 0},
  };
  for (const Case& c : cases) {
    const CheckedInterval checked = checkInterval(Cell::text(c.text));
    EXPECT_EQ(checked.status, c.status) << c.text;
    EXPECT_EQ(checked.value, c.value) << c.text;
  }
}

TEST(GroupClock, OpensAndCompletesGroups) {
  GroupClock clock(3);
  std::string trace;
  for (int r = 0; r < 7; ++r) {
    trace += clock.opensGroup() ? 'o' : '.';
    trace += clock.advance() ? '|' : ' ';
  }
  EXPECT_EQ(trace, "o . .|o . .|o ");
  EXPECT_EQ(clock.pending(), 1);
}

}  // namespace
}  // namespace vorlet
