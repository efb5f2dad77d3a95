#include "thinning/Module2.h"

#include <cstdint>

namespace vorlet {

CheckedInterval checkInterval(const Cell& text) noexcept {
  const Result<double> number = toDouble(text);
  if (!number) return {IntervalCheck::NotANumber, 0};
  if (*number < 2) return {IntervalCheck::BelowTwo, 0};
  const Result<std::int16_t> rounded = toInteger16(Cell::real(*number));
  if (!rounded) return {IntervalCheck::TooLarge, 0};
  return {IntervalCheck::Ok, *rounded};
}

namespace {

// A bound held in a variant, as FieldMax and RecordMax are; empty counts as 0.
std::int32_t boundOf(const Cell& value) noexcept {
  const Result<double> number = toDouble(value);
  if (!number) return 0;
  const double rounded = roundHalfEven(*number);
  if (!(rounded >= 0 && rounded <= 2147483647.0)) return 0;
  return static_cast<std::int32_t>(rounded);
}

void thinSimple(const CellTable& source, CellTable& result, std::int32_t fields,
                std::int32_t records, std::int16_t interval, std::int32_t kept) {
  // Record-major order touches memory in order; fields are independent, so the cells stored
  // are the same as field by field.
  for (std::int32_t record = 1; record <= records; record += interval) {
    const std::int32_t target = record / interval + 1;
    if (target > kept) break;  // the opening record of an incomplete last group is not kept
    for (std::int32_t field = 1; field <= fields; ++field) {
      if (source.contains(field, record)) result.copyCellAt(source, field, record, field, target);
    }
  }
}

void thinAverage(const CellTable& source, CellTable& result, std::int32_t fields,
                 std::int32_t records, std::int16_t interval) {
  AverageGroups groups(interval, static_cast<std::size_t>(fields));
  GroupClock clock(interval);
  std::int32_t target = 1;
  for (std::int32_t record = 1; record <= records; ++record) {
    for (std::int32_t field = 1; field <= fields; ++field) {
      // A record the table does not hold ends the group unfinished, as one beyond R does.
      if (!source.contains(field, record)) return;
      groups.add(static_cast<std::size_t>(field - 1), source.cellAt(field, record));
    }
    if (clock.advance()) {
      for (std::int32_t field = 1; field <= fields; ++field) {
        result.set(field, target, Cell::single(groups.mean(static_cast<std::size_t>(field - 1))));
      }
      groups.reset();
      ++target;
    }
  }
}

}  // namespace

ThinStatus ThinTable(SharedVariables& vars, const Cell& intervalText, const Cell& thinMode,
                     const std::function<void()>& setBusy) {
  const CheckedInterval interval = checkInterval(intervalText);
  if (interval.status != IntervalCheck::Ok) return ThinStatus::BadInterval;

  // An undimensioned source leaves FieldMax and RecordMax as they were.
  if (const auto ub1 = vars.SourceTable.upperBound(1)) vars.FieldMax = Cell::integer32(*ub1);
  if (const auto ub2 = vars.SourceTable.upperBound(2)) vars.RecordMax = Cell::integer32(*ub2);
  vars.Interval = interval.value;
  if (setBusy) setBusy();

  const std::int32_t fields = boundOf(vars.FieldMax);
  const std::int32_t records = boundOf(vars.RecordMax);
  const std::int16_t n = interval.value;
  const std::int32_t kept = records / n;
  vars.ResultTable.dimension(0, fields, 0, kept);

  const Result<bool> average = equals(thinMode, Cell::integer16(1));
  const bool averageMode = average && *average;
  if (averageMode) {
    thinAverage(vars.SourceTable, vars.ResultTable, fields, records, n);
  } else {
    thinSimple(vars.SourceTable, vars.ResultTable, fields, records, n, kept);
  }

  // Where the field-by-field loops of the engine stop; kept for callers that show them.
  if (fields >= 1 && records >= 1) {
    const std::int32_t groupsStarted = (records + n - 1) / n;
    vars.RecordIndex = Cell::integer32(averageMode ? 1 + kept * n : 1 + groupsStarted * n);
  }
  vars.FieldIndex = Cell::integer32(fields + 1);
  return ThinStatus::Done;
}

}  // namespace vorlet
