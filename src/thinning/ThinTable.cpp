#include "thinning/ThinTable.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

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

// Copies source records first..last to result records from `target` on, as simple thinning
// copies a record: fields the source lacks stay empty.
void copyRecords(const CellTable& source, CellTable& result, std::int32_t fields,
                 std::int32_t first, std::int32_t last, std::int32_t target) {
  const std::int32_t lb1 = source.isDimensioned() ? std::max(1, *source.lowerBound(1)) : 1;
  const std::int32_t ub1 = source.isDimensioned() ? std::min(fields, *source.upperBound(1)) : 0;
  for (std::int32_t record = first; record <= last; ++record, ++target) {
    if (lb1 <= ub1 && source.contains(lb1, record)) {
      result.copyCellsAt(source, record, target, lb1, ub1);
    }
  }
}

// Groups start at record `start`; their kept records go to result records offset + 1 to
// offset + kept.
void thinSimple(const CellTable& source, CellTable& result, std::int32_t fields,
                std::int32_t records, std::int16_t interval, std::int32_t start,
                std::int32_t offset, std::int32_t kept, Progress* progress) {
  ProgressTicker ticker(progress);
  // Record-major order touches memory in order; fields are independent, so the cells stored
  // are the same as field by field. Fields the source lacks stay empty.
  const std::int32_t lb1 = source.isDimensioned() ? std::max(1, *source.lowerBound(1)) : 1;
  const std::int32_t ub1 = source.isDimensioned() ? std::min(fields, *source.upperBound(1)) : 0;
  // The records read lie N apart: each is a fresh cache line, so they are asked for well ahead.
  constexpr std::int32_t kAhead = 16;
  const std::int32_t held = source.isDimensioned() ? *source.upperBound(2) : 0;
  for (std::int32_t record = start; record <= records; record += interval) {
    const std::int32_t target = offset + (record - start) / interval + 1;
    if (target > offset + kept) break;  // the opening record of an incomplete last group
    if (lb1 <= ub1 && source.contains(lb1, record)) {
      if (const std::int64_t ahead = record + std::int64_t{kAhead} * interval; ahead <= held) {
        source.prefetchCells(static_cast<std::int32_t>(ahead), lb1, ub1);
      }
      result.copyCellsAt(source, record, target, lb1, ub1);
    }
    ticker.add(static_cast<std::uint64_t>(interval));
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
                   std::int32_t target, Progress* progress) {
  ProgressTicker ticker(progress);
  AverageGroups groups(interval, static_cast<std::size_t>(fields));
  GroupClock clock(interval);
  // A record's texts are found first and read after: the two kinds of work interleaved cell by
  // cell took half as long again.
  std::vector<std::string_view> texts(static_cast<std::size_t>(fields));
  for (std::int32_t record = first; record <= last; ++record) {
    bool allTexts = true;
    for (std::int32_t field = 1; field <= fields; ++field) {
      allTexts &= source.textAt(field, record, texts[static_cast<std::size_t>(field - 1)]);
    }
    if (allTexts) {
      for (std::size_t f = 0; f < texts.size(); ++f) groups.addText(f, texts[f]);
    } else {
      for (std::int32_t field = 1; field <= fields; ++field) {
        groups.addCellAt(static_cast<std::size_t>(field - 1), source, field, record);
      }
    }
    if (clock.advance()) {
      for (std::int32_t field = 1; field <= fields; ++field) {
        result.set(field, target, Cell::single(groups.mean(static_cast<std::size_t>(field - 1))));
      }
      groups.reset();
      ++target;
      ticker.add(static_cast<std::uint64_t>(interval));
    }
  }
}

// Below this many cells a second thread costs more than it saves.
constexpr std::int64_t kCellsForHelper = 1 << 16;

// Groups start at record `start`; their means go to result records from offset + 1 on.
void thinAverage(const CellTable& source, CellTable& result, std::int32_t fields,
                 std::int32_t records, std::int16_t interval, std::int32_t start,
                 std::int32_t offset, Progress* progress) {
  if (fields < 1) return;
  const std::int32_t held = heldRecords(source, fields, records);
  const std::int32_t groups = held < start ? 0 : (held - start + 1) / interval;
  WorkerThread helper;
  if (std::int64_t{fields} * (held - start + 1) < kCellsForHelper || groups < 2 ||
      !helper.start()) {
    averageGroups(source, result, fields, start, held, interval, offset + 1, progress);
    return;
  }
  // The helper takes the second half of the groups: each thread reads its own part of the
  // table, not the same memory twice.
  const std::int32_t firstHalf = groups / 2;
  const std::int32_t split = start - 1 + firstHalf * interval;
  auto second = [&] {
    averageGroups(source, result, fields, split + 1, held, interval, offset + firstHalf + 1,
                  progress);
  };
  helper.post(second);
  averageGroups(source, result, fields, start, split, interval, offset + 1, progress);
  helper.wait();
}

// Adds fields 1..texts.size() of a record to the reducer, at position `at` of its group. The
// record's texts are found first and read after, as in averageGroups.
template <GroupReducer::Fold kFold>
void addRecord(const CellTable& source, std::int32_t record, GroupReducer& reducer, std::int32_t at,
               std::vector<std::string_view>& texts) {
  const auto fields = static_cast<std::int32_t>(texts.size());
  bool allTexts = true;
  for (std::int32_t field = 1; field <= fields; ++field) {
    allTexts &= source.textAt(field, record, texts[static_cast<std::size_t>(field - 1)]);
  }
  if (allTexts) {
    for (std::size_t f = 0; f < texts.size(); ++f) reducer.addText<kFold>(f, texts[f], at);
    return;
  }
  for (std::int32_t field = 1; field <= fields; ++field) {
    const auto f = static_cast<std::size_t>(field - 1);
    if (!reducer.reads(f)) continue;
    if (std::string_view text; source.textAt(field, record, text)) {
      reducer.addText<kFold>(f, text, at);
    } else if (const Cell cell = source.cellAt(field, record); cell.isNumeric()) {
      reducer.addNumber(f, *toDouble(cell), at);
    }
  }
}

// Every mode but simple under any settings, on this thread: stores may share text blocks and
// keep doubles, which the result table does not allow from two threads at once. Groups start
// at record `start`; their records go to result records from offset + 1 on.
void reduceGroups(const CellTable& source, CellTable& result, const ThinSettings& settings,
                  std::int32_t fields, std::int32_t records, std::int32_t start,
                  std::int32_t offset, Progress* progress) {
  if (fields < 1) return;
  ProgressTicker ticker(progress);
  const std::int32_t held = heldRecords(source, fields, records);
  const std::int32_t rows = recordsPerGroup(settings.mode);
  GroupReducer reducer(settings, 0, static_cast<std::size_t>(fields));
  GroupClock clock(settings.interval);
  std::int32_t at = 0;
  std::int32_t target = offset + 1;
  std::vector<std::string_view> texts(static_cast<std::size_t>(fields));
  for (std::int32_t record = start; record <= held; ++record) {
    switch (reducer.fold()) {
      case GroupReducer::Fold::Extremes:
        addRecord<GroupReducer::Fold::Extremes>(source, record, reducer, at, texts);
        break;
      case GroupReducer::Fold::SingleSum:
        addRecord<GroupReducer::Fold::SingleSum>(source, record, reducer, at, texts);
        break;
      case GroupReducer::Fold::DoubleSum:
        addRecord<GroupReducer::Fold::DoubleSum>(source, record, reducer, at, texts);
        break;
    }
    ++at;
    if (!clock.advance()) continue;
    const std::int32_t opened = record - at + 1;
    for (std::int32_t row = 0; row < rows; ++row, ++target) {
      for (std::int32_t field = 1; field <= fields; ++field) {
        const auto f = static_cast<std::size_t>(field - 1);
        const Pick pick = reducer.pick(f, row);
        if (pick == Pick::Mean) {
          result.set(field, target, reducer.mean(f));
        } else {
          result.copyCellAt(source, field, opened + reducer.position(f, pick), field, target);
        }
      }
    }
    reducer.reset();
    at = 0;
    ticker.add(static_cast<std::uint64_t>(settings.interval));
  }
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
  ThinSettings settings;
  settings.mode = mode;
  return ThinTable(vars, intervalText, std::move(settings), setBusy);
}

ThinStatus ThinTable(SharedVariables& vars, const Cell& intervalText, ThinSettings settings,
                     const std::function<void()>& setBusy) {
  const CheckedInterval interval = checkInterval(intervalText);
  if (interval.status != IntervalCheck::Ok) return ThinStatus::BadInterval;
  if (setBusy) setBusy();
  settings.interval = interval.value;
  thinTable(vars, settings);
  return ThinStatus::Done;
}

void thinTable(SharedVariables& vars, const ThinSettings& settings, Progress* progress) {
  // An undimensioned source leaves FieldMax and RecordMax as they were.
  if (const auto ub1 = vars.SourceTable.upperBound(1)) vars.FieldMax = Cell::integer32(*ub1);
  if (const auto ub2 = vars.SourceTable.upperBound(2)) vars.RecordMax = Cell::integer32(*ub2);
  vars.Interval = settings.interval;
  const std::int32_t fields = boundOf(vars.FieldMax);
  const std::int32_t records = boundOf(vars.RecordMax);
  const std::int16_t n = settings.interval;
  // Header lines first; the groups follow them.
  const std::int32_t header = std::clamp(settings.headerLines, 0, records);
  const std::int32_t groups = (records - header) / n;
  const std::int32_t rows = recordsPerGroup(settings.mode);
  vars.ResultTable.dimension(0, fields, 0, header + groups * rows);
  copyRecords(vars.SourceTable, vars.ResultTable, fields, 1, header, 1);
  if (progress != nullptr) {
    progress->start(static_cast<std::uint64_t>(std::max(records, 0)));
    progress->add(static_cast<std::uint64_t>(header));
  }

  const bool simpleMode = settings.mode == ThinMode::Simple;
  const std::int32_t start = header + 1;
  if (!plainGroups(settings, fields)) {
    reduceGroups(vars.SourceTable, vars.ResultTable, settings, fields, records, start, header,
                 progress);
  } else if (simpleMode) {
    thinSimple(vars.SourceTable, vars.ResultTable, fields, records, n, start, header, groups,
               progress);
  } else {
    thinAverage(vars.SourceTable, vars.ResultTable, fields, records, n, start, header, progress);
  }

  // Where the field-by-field loops of the engine stop.
  if (fields >= 1 && records >= 1) {
    const std::int32_t groupsStarted = (records - header + n - 1) / n;
    vars.RecordIndex = Cell::integer32(start + (simpleMode ? groupsStarted : groups) * n);
  }
  vars.FieldIndex = Cell::integer32(fields + 1);
}

}  // namespace vorlet
