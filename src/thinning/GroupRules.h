#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
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

// Bytes that one core takes from another at a time.
inline constexpr std::size_t kCacheLine = 64;

// Per-field running sums of average thinning for a stream of records.
class AverageGroups {
 public:
  AverageGroups(std::int16_t interval, std::size_t fields) : interval_(interval) {
    // Room for a cache line more than the sums take: the sums of another thread's groups are
    // then never on the same line, which the two cores would take from each other at every
    // cell.
    sums_.reserve(fields + kCacheLine / sizeof(float));
    sums_.assign(fields, 0.0f);
  }

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

// The mode's name, as vorlet-thin's -m takes it and the window's proposed save name writes it.
inline std::string_view modeName(ThinMode mode) noexcept {
  switch (mode) {
    case ThinMode::Simple:
      return "simple";
    case ThinMode::Average:
      return "average";
    case ThinMode::Peak:
      return "peak";
    case ThinMode::Minimum:
      return "min";
    case ThinMode::Maximum:
      return "max";
  }
  return "simple";
}

// Output records per complete group: peak mode keeps two.
inline std::int32_t recordsPerGroup(ThinMode mode) noexcept {
  return mode == ThinMode::Peak ? 2 : 1;
}

// True when the settings thin a table of `fields` fields as simple or average thinning always
// has, apart from header lines: the fast paths of both pipelines serve them.
bool plainGroups(const ThinSettings& settings, std::int64_t fields) noexcept;

// Where a cell of a group's output comes from.
enum class Pick : std::uint8_t {
  FirstRecord,  // the cell of the group's first record, unchanged
  Smallest,     // the cell of the group's smallest number (the first of equal ones)
  Largest,      // the cell of the group's largest number (the first of equal ones)
  Mean,         // the mean of the group's numbers
};

// The rules of a group under any settings but simple thinning, for fields [first, last) (from
// 0) of the records: fed every field of every record of a group in order, it says what each
// output cell of the group is. It hands back positions in the group, not cells: the table
// holds every record, the stream keeps only the few cells those positions name.
// A number is a text the program reads as one (parseDecimal); an empty cell, the empty text and
// a value beyond the double range are none. Ties are broken by position, values compared as
// doubles, so -0 and 0 are equal.
class GroupReducer {
 public:
  GroupReducer(const ThinSettings& settings, std::size_t first, std::size_t last);

  std::size_t first() const noexcept { return first_; }
  std::size_t last() const noexcept { return first_ + fields_.size(); }
  // False for a field that takes its first record's cell, whatever the group holds: the
  // caller need not read it.
  bool reads(std::size_t field) const noexcept { return !fields_[field - first_].firstRecord; }

  // What a number does to its group, fixed for a run: callers that add many cells may pick the
  // matching addText once instead of this one deciding at every cell.
  enum class Fold : std::uint8_t { Extremes, SingleSum, DoubleSum };
  Fold fold() const noexcept { return fold_; }

  // The text of `field` in the record at position `at` (from 0) of the group.
  template <Fold kFold>
  void addText(std::size_t field, std::string_view text, std::int32_t at) noexcept {
    Field& f = fields_[field - first_];
    if (f.firstRecord) return;
    const Result<double> number = parseDecimal(text);
    if (!number) {
      ++notNumbers_;
      return;
    }
    add<kFold>(f, *number, at);
  }
  void addText(std::size_t field, std::string_view text, std::int32_t at) noexcept {
    switch (fold_) {
      case Fold::Extremes:
        return addText<Fold::Extremes>(field, text, at);
      case Fold::SingleSum:
        return addText<Fold::SingleSum>(field, text, at);
      case Fold::DoubleSum:
        return addText<Fold::DoubleSum>(field, text, at);
    }
  }
  // A cell that holds a number already.
  void addNumber(std::size_t field, double value, std::int32_t at) noexcept {
    Field& f = fields_[field - first_];
    if (f.firstRecord) return;
    switch (fold_) {
      case Fold::Extremes:
        return add<Fold::Extremes>(f, value, at);
      case Fold::SingleSum:
        return add<Fold::SingleSum>(f, value, at);
      case Fold::DoubleSum:
        return add<Fold::DoubleSum>(f, value, at);
    }
  }

  // Output record `row` (0, or 1 in peak mode) of `field`.
  Pick pick(std::size_t field, std::int32_t row) const noexcept {
    const Field& f = fields_[field - first_];
    if (f.firstRecord) return Pick::FirstRecord;
    if (average_) return numbersOnly_ && f.count == 0 ? Pick::FirstRecord : Pick::Mean;
    if (f.count == 0) return Pick::FirstRecord;
    switch (mode_) {
      case ThinMode::Minimum:
        return Pick::Smallest;
      case ThinMode::Maximum:
        return Pick::Largest;
      default:
        // Peak: in group order; when both are one cell, both records hold it.
        return (row == 0) == (f.lowAt <= f.highAt) ? Pick::Smallest : Pick::Largest;
    }
  }
  // True when the group so far holds a number in `field` that the field's output may take.
  bool holdsNumber(std::size_t field) const noexcept {
    return fields_[field - first_].count > 0 && !average_;
  }
  // The position in the group of the cell a pick other than Mean names.
  std::int32_t position(std::size_t field, Pick pick) const noexcept {
    const Field& f = fields_[field - first_];
    return pick == Pick::Smallest ? f.lowAt : pick == Pick::Largest ? f.highAt : 0;
  }
  // The mean under Pick::Mean: a Single, or a Double in double precision.
  Cell mean(std::size_t field) const noexcept {
    const Field& f = fields_[field - first_];
    if (doublePrecision_) {
      return Cell::real(f.sum / (numbersOnly_ ? f.count : interval_));
    }
    if (numbersOnly_) {
      return Cell::single(
          static_cast<float>(static_cast<double>(f.single) / static_cast<float>(f.count)));
    }
    return Cell::single(groupMean(f.single, interval_));
  }
  // Appends the text of a mean, as a save writes it.
  void appendMean(std::size_t field, std::string& out) const;

  void reset() noexcept {
    for (Field& f : fields_) {
      f.count = 0;
      f.single = 0;
      f.sum = 0;
      f.low = std::numeric_limits<double>::infinity();
      f.high = -std::numeric_limits<double>::infinity();
    }
  }
  // Average mode: cells that added nothing to their group.
  std::uint64_t notNumbers() const noexcept { return average_ ? notNumbers_ : 0; }

 private:
  // Hot members first.
  struct Field {
    float single = 0;
    std::int32_t count = 0;  // numbers seen in the group
    bool firstRecord = false;
    std::int32_t lowAt = 0;
    std::int32_t highAt = 0;
    double sum = 0;
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
  };

  template <Fold kFold>
  void add(Field& f, double value, std::int32_t at) noexcept {
    ++f.count;
    if constexpr (kFold == Fold::DoubleSum) {
      // Like the single-precision sum, an addition that would leave the range adds nothing.
      const double next = f.sum + value;
      if (std::isfinite(next)) f.sum = next;
    } else if constexpr (kFold == Fold::SingleSum) {
      if (!addToSum(f.single, value)) ++notNumbers_;
    } else {
      // Without branches: in measurement data a new extreme comes as unforeseeably as the
      // data. The bounds start infinite, beyond any number, so the first number sets both.
      const bool lower = value < f.low;
      const bool higher = value > f.high;
      f.low = choose(lower, value, f.low);
      f.lowAt = choose(lower, at, f.lowAt);
      f.high = choose(higher, value, f.high);
      f.highAt = choose(higher, at, f.highAt);
    }
  }

  // `yes` ? a : b by masks, which compilers do not turn back into a branch.
  static double choose(bool yes, double a, double b) noexcept {
    const std::uint64_t mask = 0 - static_cast<std::uint64_t>(yes);
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & mask) |
                                 (std::bit_cast<std::uint64_t>(b) & ~mask));
  }
  static std::int32_t choose(bool yes, std::int32_t a, std::int32_t b) noexcept {
    const std::int32_t mask = -static_cast<std::int32_t>(yes);
    return (a & mask) | (b & ~mask);
  }

  ThinMode mode_;
  Fold fold_;
  bool average_;
  bool numbersOnly_;
  bool doublePrecision_;
  std::int16_t interval_;
  std::size_t first_;
  std::vector<Field> fields_;
  std::uint64_t notNumbers_ = 0;
};

}  // namespace vorlet
