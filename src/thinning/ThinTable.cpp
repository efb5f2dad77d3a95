#include "thinning/ThinTable.h"

#include <algorithm>
#include <cstdint>

#include "thinning/WorkerThread.h"

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
  // are the same as field by field. Fields the source lacks stay empty.
  const std::int32_t lb1 = source.isDimensioned() ? std::max(1, *source.lowerBound(1)) : 1;
  const std::int32_t ub1 = source.isDimensioned() ? std::min(fields, *source.upperBound(1)) : 0;
  for (std::int32_t record = 1; record <= records; record += interval) {
    const std::int32_t target = record / interval + 1;
    if (target > kept) break;  // the opening record of an incomplete last group is not kept
    if (lb1 <= ub1 && source.contains(lb1, record)) {
      result.copyCellsAt(source, record, target, lb1, ub1);
    }
  }
}

// Records 1 to `records`, or fewer: the engine stops at the first record the table does not
// hold in full, which leaves its group unfinished, as a record beyond R does.
std::int32_t heldRecords(const CellTable& source, std::int32_t fields, std::int32_t records) {
  if (records < 1 || !source.contains(1, 1) || !source.contains(fields, 1)) return 0;
  return std::min(records, *source.upperBound(2));
}

// Average thinning of the groups that start at record `first` (the first of a group) and end
// by record `last`, their means stored from result record `target` on. Groups are independent,
// so any split of them between threads gives the same means.
void averageGroups(const CellTable& source, CellTable& result, std::int32_t fields,
                   std::int32_t first, std::int32_t last, std::int16_t interval,
                   std::int32_t target) {
  AverageGroups groups(interval, static_cast<std::size_t>(fields));
  GroupClock clock(interval);
  for (std::int32_t record = first; record <= last; ++record) {
    for (std::int32_t field = 1; field <= fields; ++field) {
      groups.addCellAt(static_cast<std::size_t>(field - 1), source, field, record);
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

// Below this many cells a second thread costs more than it saves.
constexpr std::int64_t kCellsForHelper = 1 << 16;

void thinAverage(const CellTable& source, CellTable& result, std::int32_t fields,
                 std::int32_t records, std::int16_t interval) {
  if (fields < 1) return;
  const std::int32_t held = heldRecords(source, fields, records);
  WorkerThread helper;
  if (std::int64_t{fields} * held < kCellsForHelper || held / interval < 2 || !helper.start()) {
    averageGroups(source, result, fields, 1, held, interval, 1);
    return;
  }
  // The helper takes the second half of the groups: each thread reads its own part of the
  // table, not the same memory twice.
  const std::int32_t firstHalf = held / interval / 2;
  const std::int32_t split = firstHalf * interval;
  auto second = [&] {
    averageGroups(source, result, fields, split + 1, held, interval, firstHalf + 1);
  };
  helper.post(second);
  averageGroups(source, result, fields, 1, split, interval, 1);
  helper.wait();
}

}  // namespace

ThinStatus ThinTable(SharedVariables& vars, const Cell& intervalText, const Cell& thinMode,
                     const std::function<void()>& setBusy) {
  const Result<bool> average = equals(thinMode, Cell::integer16(1));
  return ThinTable(vars, intervalText, average && *average ? ThinMode::Average : ThinMode::Simple,
                   setBusy);
}

ThinStatus ThinTable(SharedVariables& vars, const Cell& intervalText, ThinMode mode,
                     const std::function<void()>& setBusy) {
  const CheckedInterval interval = checkInterval(intervalText);
  if (interval.status != IntervalCheck::Ok) return ThinStatus::BadInterval;
  if (setBusy) setBusy();
  thinTable(vars, ThinSettings{interval.value, mode});
  return ThinStatus::Done;
}

void thinTable(SharedVariables& vars, const ThinSettings& settings) {
  // An undimensioned source leaves FieldMax and RecordMax as they were.
  if (const auto ub1 = vars.SourceTable.upperBound(1)) vars.FieldMax = Cell::integer32(*ub1);
  if (const auto ub2 = vars.SourceTable.upperBound(2)) vars.RecordMax = Cell::integer32(*ub2);
  vars.Interval = settings.interval;
  const std::int32_t fields = boundOf(vars.FieldMax);
  const std::int32_t records = boundOf(vars.RecordMax);
  const std::int16_t n = settings.interval;
  const std::int32_t kept = records / n;
  vars.ResultTable.dimension(0, fields, 0, kept);

  const bool averageMode = settings.mode == ThinMode::Average;
  if (averageMode) {
    thinAverage(vars.SourceTable, vars.ResultTable, fields, records, n);
  } else {
    thinSimple(vars.SourceTable, vars.ResultTable, fields, records, n, kept);
  }

  // Where the field-by-field loops of the engine stop.
  if (fields >= 1 && records >= 1) {
    const std::int32_t groupsStarted = (records + n - 1) / n;
    vars.RecordIndex = Cell::integer32(averageMode ? 1 + kept * n : 1 + groupsStarted * n);
  }
  vars.FieldIndex = Cell::integer32(fields + 1);
}

}  // namespace vorlet
