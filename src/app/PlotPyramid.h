#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "app/PlotAxes.h"
#include "table/CellTable.h"

namespace vorlet::app {

// The value a cell plots as: its number by the program's grammar, or NaN (a gap) for a cell that
// holds none, the empty cell included, and a cell outside the table.
double plotValue(const vorlet::CellTable& table, std::int32_t field, std::int32_t record) noexcept;

// The smallest and largest number of a span of values; empty when the span holds none.
struct Envelope {
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();
  bool empty() const noexcept { return !(min <= max); }
  void add(double value) noexcept {  // NaN adds nothing
    if (value < min) min = value;
    if (value > max) max = value;
  }
  void add(const Envelope& other) noexcept {
    if (other.min < min) min = other.min;
    if (other.max > max) max = other.max;
  }
};

// Values 0..count-1 of one field of a table: records first, first + 1, ... of `field`. Either a
// view of a table someone else keeps, or a copy of the field's cells (text bytes shared) that
// a worker thread may read while the original table changes.
class PlotColumn {
 public:
  PlotColumn() = default;
  static PlotColumn viewOf(const vorlet::CellTable& table, std::int32_t field, std::int32_t first,
                           std::int32_t last);
  static PlotColumn copyOf(const vorlet::CellTable& table, std::int32_t field, std::int32_t first,
                           std::int32_t last);

  std::int64_t count() const noexcept { return count_; }
  double value(std::int64_t i) const noexcept {
    return i < split_ ? plotValue(*table_, field_, static_cast<std::int32_t>(first_ + i))
                      : plotValue(*rest_, 1, static_cast<std::int32_t>(i - split_ + 1));
  }
  // The memory the column owns.
  std::size_t bytes() const noexcept { return owned_ ? static_cast<std::size_t>(count_) * 8 : 0; }

 private:
  std::shared_ptr<const vorlet::CellTable> table_;
  std::int32_t field_ = 1;
  std::int32_t first_ = 1;
  std::int64_t count_ = 0;
  // A long copy is made by two threads into two tables: values from split_ on are in rest_.
  std::int64_t split_ = 0;
  std::shared_ptr<const vorlet::CellTable> rest_;
  bool owned_ = false;
};

// The x of value i; never decreasing in i.
using XOf = std::function<double(std::int64_t)>;

// Min/max of a column over blocks of 2^k values for k = kFinestShift.., so that the envelope of
// any span costs a few raw reads at its two ends plus two blocks per level.
class PlotPyramid {
 public:
  static constexpr int kFinestShift = 3;

  // Builds over `column` on this thread and one more; nothing when `stop` turns true meanwhile.
  static std::optional<PlotPyramid> build(const PlotColumn& column, const std::atomic<bool>& stop);

  std::int64_t count() const noexcept { return count_; }
  // The envelope of values [begin, end) of `column`, the values the pyramid was built over (or
  // a view of the same values: the pyramid keeps only its blocks).
  Envelope span(const PlotColumn& column, std::int64_t begin, std::int64_t end) const noexcept;
  std::size_t bytes() const noexcept;

 private:
  // Rounded outward, so that a block's envelope always covers its values.
  struct Bounds {
    float min;
    float max;
  };
  std::int64_t count_ = 0;
  std::vector<std::vector<Bounds>> levels_;
};

// Every 2^kXSampleShift-th x of a series whose x is read from a table: searching these first
// keeps the search for a pixel column's first value from reading all over the table.
inline constexpr int kXSampleShift = 6;
using XSamples = std::vector<double>;
XSamples sampleX(std::int64_t count, const XOf& xOf);

// The first value whose x is at least `x` (count when none is).
std::int64_t firstAtOrAfter(std::int64_t count, const XOf& xOf, double x,
                            const XSamples* samples = nullptr);

// For each of `width` pixel columns c, the envelope of the values whose x lies in
// [lo + c * w, lo + (c + 1) * w) with w = range width / width; `samples`, when given, are the
// series' sampleX. `firsts`, when given, receives
// the width + 1 value indexes where the columns begin.
std::vector<Envelope> columnEnvelopes(const PlotPyramid& pyramid, const PlotColumn& column,
                                      const XOf& xOf, const AxisRange& range, int width,
                                      const XSamples* samples = nullptr,
                                      std::vector<std::int64_t>* firsts = nullptr);

}  // namespace vorlet::app
