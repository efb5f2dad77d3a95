#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "table/Cell.h"
#include "table/CellTable.h"
#include "table/NumberText.h"

namespace vorlet {

enum class ThinMode : std::uint8_t {
  Simple = 0,   // the first record of every group
  Average = 1,  // each field's mean over the group
  Peak = 2,     // two records per group: each field's smallest and largest number, in group order
  Minimum = 3,  // each field's smallest number
  Maximum = 4,  // each field's largest number
};

// What a thinning run does: both pipelines take the same settings. The defaults thin as the
// program always has.
struct ThinSettings {
  std::int16_t interval = 2;  // checked by checkInterval: at least 2
  ThinMode mode = ThinMode::Simple;
  // Records 1..headerLines are copied first, as simple thinning copies a record, and take no
  // part in the groups, which are counted from the record after them.
  std::int32_t headerLines = 0;
  // Average mode: a cell that is not a number neither adds to the sum nor counts.
  bool numbersOnly = false;
  // Fields (from 1) that take the text of the group's first record unchanged in average, peak,
  // minimum and maximum modes. A number above F names no field.
  std::vector<std::int32_t> firstRecordFields{};
  // Average mode: sums and means in double precision, written by the double-to-text rule.
  bool doublePrecision = false;
};

enum class IntervalCheck : std::uint8_t { Ok, NotANumber, BelowTwo, TooLarge };

struct CheckedInterval {
  IntervalCheck status = IntervalCheck::NotANumber;
  std::int16_t value = 0;
};

// The interval rule shared by the window and the command line: a number of at least 2 whose
// value rounded half to even fits a signed 16-bit integer ("2.5" is 2, "3.5" is 4).
CheckedInterval checkInterval(const Cell& text) noexcept;

// Adds a number to a group's single-precision running sum: the addition is done in double and
// rounded to single. A number that would take the sum beyond the single range adds nothing;
// returns false then.
inline bool addToSum(float& sum, double value) noexcept {
  const float next = static_cast<float>(static_cast<double>(sum) + value);
  if (next - next != 0) return false;  // inf: beyond the single range
  sum = next;
  return true;
}

// Adds a cell the same way. A cell that is not a number (the empty text included) adds nothing
// and gives false too. An empty cell adds 0.
inline bool addToSum(float& sum, const Cell& cell) noexcept {
  const Result<double> value = toDouble(cell);
  return value && addToSum(sum, *value);
}

// The mean of a group: the sum divided by N, both single precision. Cells that added nothing
// still count in N.
inline float groupMean(float sum, std::int16_t interval) noexcept {
  return static_cast<float>(static_cast<double>(sum) / static_cast<float>(interval));
}

// Groups of N consecutive records counted from the first; only complete groups yield a result.
// Both the table engine and the streaming command line step records through this.
class GroupClock {
 public:
  explicit GroupClock(std::int16_t interval) noexcept : interval_(interval) {}
  // True when the record about to be added opens a group (simple thinning keeps it).
  bool opensGroup() const noexcept { return position_ == 0; }
  // Counts one record; true when it completes its group.
  bool advance() noexcept {
    if (++position_ < interval_) return false;
    position_ = 0;
    return true;
  }
  // Counts `records` records, at most as many as the group still lacks; true when they
  // complete it.
  bool advance(std::int32_t records) noexcept {
    position_ += records;
    if (position_ < interval_) return false;
    position_ = 0;
    return true;
  }
  // Records the current group still lacks, the one about to be added included.
  std::int32_t remaining() const noexcept { return interval_ - position_; }
  // Records of a trailing group that will never complete.
  std::int32_t pending() const noexcept { return position_; }

 private:
  std::int32_t interval_;
  std::int32_t position_ = 0;
};

// Per-field running sums of average thinning for a stream of records.
class AverageGroups {
 public:
  AverageGroups(std::int16_t interval, std::size_t fields)
      : interval_(interval), sums_(fields, 0.0f) {}

  void add(std::size_t field, const Cell& cell) noexcept {
    if (!addToSum(sums_[field], cell)) ++notNumbers_;
  }
  // The same for a text cell, without making one.
  void addText(std::size_t field, std::string_view text) noexcept {
    const Result<double> value = parseDecimal(text);
    if (!value || !addToSum(sums_[field], *value)) ++notNumbers_;
  }
  // A cell of a table, read in place when it is a text.
  void addCellAt(std::size_t field, const CellTable& table, std::int32_t tableField,
                 std::int32_t record) noexcept {
    std::string_view text;
    if (table.textAt(tableField, record, text)) {
      addText(field, text);
    } else {
      add(field, table.cellAt(tableField, record));
    }
  }
  float mean(std::size_t field) const noexcept { return groupMean(sums_[field], interval_); }
  void reset() noexcept { std::fill(sums_.begin(), sums_.end(), 0.0f); }
  std::size_t fields() const noexcept { return sums_.size(); }
  std::uint64_t notNumbers() const noexcept { return notNumbers_; }

 private:
  std::int16_t interval_;
  std::vector<float> sums_;
  std::uint64_t notNumbers_ = 0;
};

}  // namespace vorlet
