#include "thinning/ThinTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlet {
namespace {

using Column = std::vector<std::string>;

// Builds a source of one field; "<empty>" leaves a cell of the empty kind.
void fill(SharedVariables& vars, const Column& column) {
  vars.SourceTable.dimension(1, 1, 1, static_cast<std::int32_t>(column.size()));
  for (std::size_t r = 0; r < column.size(); ++r) {
    if (column[r] != "<empty>") {
      vars.SourceTable.set(1, static_cast<std::int32_t>(r + 1), Cell::text(column[r]));
    }
  }
}

Column numbers(int from, int to) {
  Column column;
  for (int v = from; v <= to; ++v) column.push_back(std::to_string(v));
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
  int mode;  // -1: an empty cell
  Column expected;
};

// By hand, each rule once; ThinningOracleTest compares both roads with the rules on many files.
TEST(ThinTable, SelectsAndAveragesCompleteGroupsOnly) {
  const ThinCase cases[] = {
      {"ten by three, simple", numbers(1, 10), "3", 0, {"1", "4", "7"}},
      {"ten by three, average", numbers(1, 10), "3", 1, {"2", "5", "8"}},
      {"six by two, average", numbers(1, 6), "2", 1, {"1.5", "3.5", "5.5"}},
      {"an empty mode is simple", numbers(1, 4), "2", -1, {"1", "3"}},
      {"single record", {"5"}, "4", 1, {}},
      {"interval equal to the record count", numbers(1, 5), "5", 1, {"3"}},
      {"texts add nothing but count", {"3", "abc", "6"}, "3", 1, {"3"}},
      {"empty cells add nothing but count", {"4", "<empty>", "5"}, "3", 1, {"3"}},
      {"the empty text adds nothing", {"4", "", "5"}, "3", 1, {"3"}},
      {"headings are copied by simple thinning", {"時刻", "10", "20"}, "3", 0, {"時刻"}},
      {"single precision sums", {"16777217", "16777217"}, "2", 1, {"1.677722E+07"}},
      {"single precision rounding", {"16777216", "1.00000001"}, "2", 1, {"8388609"}},
      {"a sum beyond the single range is skipped", {"3e38", "3e38"}, "2", 1, {"1.5E+38"}},
      {"blanks around numbers are allowed", {" 1 ", "\t3"}, "2", 1, {"2"}},
  };
  for (const ThinCase& c : cases) {
    SharedVariables vars;
    fill(vars, c.source);
    const Cell mode = c.mode < 0 ? Cell() : Cell::integer16(static_cast<std::int16_t>(c.mode));
    ASSERT_EQ(ThinTable(vars, Cell::text(c.interval), mode), ThinStatus::Done) << c.name;
    EXPECT_EQ(*vars.ResultTable.upperBound(1), 1) << c.name;
    EXPECT_EQ(resultField(vars, 1), c.expected) << c.name;
    EXPECT_EQ(vars.FieldMax.asInteger32(), 1) << c.name;
    EXPECT_EQ(vars.RecordMax.asInteger32(), static_cast<std::int32_t>(c.source.size())) << c.name;
  }
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
  for (const char* interval : {"abc", "1.5", "40000"}) {
    SharedVariables vars;
    fill(vars, numbers(1, 6));
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

TEST(CheckInterval, NumbersOfAtLeastTwoThatFitSixteenBits) {
  const struct {
    const char* text;
    IntervalCheck status;
    std::int16_t value;
  } cases[] = {{"2.4", IntervalCheck::Ok, 2},         {"2.5", IntervalCheck::Ok, 2},
               {"3.5", IntervalCheck::Ok, 4},         {" 10 ", IntervalCheck::Ok, 10},
               {"1e1", IntervalCheck::Ok, 10},        {"32767.4", IntervalCheck::Ok, 32767},
               {"1.5", IntervalCheck::BelowTwo, 0},   {"1.9999", IntervalCheck::BelowTwo, 0},
               {"-5", IntervalCheck::BelowTwo, 0},    {"32767.5", IntervalCheck::TooLarge, 0},
               {"1e300", IntervalCheck::TooLarge, 0}, {"", IntervalCheck::NotANumber, 0},
               {"２", IntervalCheck::NotANumber, 0}};
  for (const auto& c : cases) {
    const CheckedInterval checked = checkInterval(Cell::text(c.text));
    EXPECT_EQ(checked.status, c.status) << c.text;
    EXPECT_EQ(checked.value, c.value) << c.text;
  }
}

}  // namespace
}  // namespace vorlet
