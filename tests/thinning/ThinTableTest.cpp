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
      {"an empty mode is simple", numbers(1, 4), "2", -1, {"1", "3"}},
      {"single record", {"5"}, "4", 1, {}},
      {"interval equal to the record count", numbers(1, 5), "5", 1, {"3"}},
      {"texts add nothing but count", {"3", "abc", "6"}, "3", 1, {"3"}},
      {"empty cells add nothing but count", {"4", "<empty>", "5"}, "3", 1, {"3"}},
      {"headings are copied by simple thinning", {"時刻", "10", "20"}, "3", 0, {"時刻"}},
      {"single precision sums", {"16777217", "16777217"}, "2", 1, {"1.677722E+07"}},
      {"single precision rounding", {"16777216", "1.00000001"}, "2", 1, {"8388609"}},
      {"a sum beyond the single range is skipped", {"3e38", "3e38"}, "2", 1, {"1.5E+38"}},
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

using Records = std::vector<Column>;

// Fields 1..F, F from the first record; "-" leaves a record's field missing (an empty cell).
// Returns every result record as its cells joined by commas, as a save shows them.
Column thinRecords(const Records& records, const ThinSettings& settings) {
  SharedVariables vars;
  const auto fields = static_cast<std::int32_t>(records.at(0).size());
  vars.SourceTable.dimension(1, fields, 1, static_cast<std::int32_t>(records.size()));
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (std::size_t f = 0; f < records[r].size() && f < records[0].size(); ++f) {
      if (records[r][f] != "-") {
        vars.SourceTable.set(static_cast<std::int32_t>(f + 1), static_cast<std::int32_t>(r + 1),
                             Cell::text(records[r][f]));
      }
    }
  }
  thinTable(vars, settings);
  Column result;
  for (std::int32_t r = 1; r <= *vars.ResultTable.upperBound(2); ++r) {
    std::string record;
    for (std::int32_t f = 1; f <= fields; ++f) {
      if (f > 1) record += ',';
      record += toText(*vars.ResultTable.get(f, r)).value();
    }
    result.push_back(record);
  }
  return result;
}

ThinSettings settings(std::int16_t interval, ThinMode mode, std::int32_t header = 0,
                      std::vector<std::int32_t> firstFields = {}, bool numbersOnly = false,
                      bool doublePrecision = false) {
  return ThinSettings{interval, mode, header, numbersOnly, std::move(firstFields), doublePrecision};
}

TEST(ThinTable, SettingsRules) {
  using M = ThinMode;
  const Records ramp = {{"t", "v"}, {"1", "10"}, {"2", "20"}, {"3", "30"}, {"4", "40"}};
  const Records spiky = {{"1.50", "x"}, {"-2", "07"}, {"9e0", "7"}, {"-2.0", "3"}};
  const Records zeros = {{"0", "-0", "a"}, {"-0", "0", "b"}, {"0.0", "-0.0", "c"}};
  const Records ragged = {{"4", "5"}, {"2"}, {"x", "7"}, {"-", "-"}};
  const Records logger = {
      {"1717200000000", "1", "a"}, {"1717200000010", "x", "b"}, {"1717200000020", "2", ""}};
  const struct {
    const char* name;
    const Records& source;
    ThinSettings settings;
    Column expected;
  } cases[] = {
      {"headers stay out of groups", ramp, settings(2, M::Average, 1), {"t,v", "1.5,15", "3.5,35"}},
      {"headers in simple mode", ramp, settings(3, M::Simple, 2), {"t,v", "1,10", "2,20"}},
      {"K >= R", ramp, settings(2, M::Average, 9), {"t,v", "1,10", "2,20", "3,30", "4,40"}},
      {"K + N > R: headers only", ramp, settings(4, M::Peak, 2), {"t,v", "1,10"}},
      {"peak: texts unchanged, in group order", spiky, settings(4, M::Peak), {"-2,07", "9e0,3"}},
      {"peak: a trailing group gives nothing", spiky, settings(3, M::Peak), {"-2,07", "9e0,07"}},
      {"minimum: first of equal values", spiky, settings(4, M::Minimum), {"-2,3"}},
      {"maximum", spiky, settings(4, M::Maximum), {"9e0,07"}},
      {"peak: -0 equals 0, the first wins", zeros, settings(3, M::Peak), {"0,-0,a", "0,-0,a"}},
      {"minimum of zeros", zeros, settings(2, M::Minimum), {"0,-0,a"}},
      {"maximum of zeros", zeros, settings(2, M::Maximum, 1), {"0,-0,a", "-0,0,b"}},
      {"no number: first text", ragged, settings(2, M::Peak, 2), {"4,5", "2,", "x,7", "x,7"}},
      {"records shorter than F", ragged, settings(4, M::Peak), {"4,5", "2,7"}},
      {"short, numbers only", ragged, settings(4, M::Average, 0, {}, true), {"3,6"}},
      {"shorter records, means over N", ragged, settings(4, M::Average), {"1.5,3"}},
      {"first-record columns", logger, settings(3, M::Average, 0, {1}), {"1717200000000,1,0"}},
      {"first-record, peak",
       logger,
       settings(3, M::Peak, 0, {1, 3}),
       {"1717200000000,1,a", "1717200000000,2,a"}},
      {"fields beyond F", ramp, settings(2, M::Average, 1, {3, 7}), {"t,v", "1.5,15", "3.5,35"}},
      {"single precision loses the time", logger, settings(3, M::Average), {"1.7172E+12,1,0"}},
      {"double", logger, settings(3, M::Average, 0, {}, false, true), {"1.71720000001E+12,1,0"}},
      {"double, numbers only",
       logger,
       settings(3, M::Average, 0, {}, true, true),
       {"1.71720000001E+12,1.5,a"}},
      {"double, 15 digits",
       {{"1"}, {"0"}, {"0"}},
       settings(3, M::Average, 0, {}, false, true),
       {"0.333333333333333"}},
      {"a value beyond double is no number", {{"1e400"}, {"5"}}, settings(2, M::Maximum), {"5"}},
      {"numbers only", {{"1"}, {"x"}, {"2"}}, settings(3, M::Average, 0, {}, true), {"1.5"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(thinRecords(c.source, c.settings), c.expected) << c.name;
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
