#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "table/Cell.h"

namespace vorlet {

enum class ThinMode : std::uint8_t { Simple = 0, Average = 1 };

enum class IntervalCheck : std::uint8_t { Ok, NotANumber, BelowTwo, TooLarge };

struct CheckedInterval {
  IntervalCheck status = IntervalCheck::NotANumber;
  std::int16_t value = 0;
};

// The interval rule shared by the window and the command line: a number of at least 2 whose
// value rounded half to even fits a signed 16-bit integer ("2.5" is 2, "3.5" is 4).
CheckedInterval checkInterval(const Cell& text) noexcept;

// Adds a cell to a group's single-precision running sum: the addition is done in double and
// rounded to single. A cell that is not a number (the empty text included), or that would take
// the sum beyond the single range, adds nothing; returns false then. An empty cell adds 0.
inline bool addToSum(float& sum, const Cell& cell) noexcept {
  const Result<double> value = toDouble(cell);
  if (!value) return false;
  const float next = static_cast<float>(static_cast<double>(sum) + *value);
  if (next - next != 0) return false;  // inf: beyond the single range
  sum = next;
  return true;
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
