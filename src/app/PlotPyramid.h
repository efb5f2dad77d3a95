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
// holds none, the empty cell included.
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

// One field of a table, copied (cells only, the text bytes are shared) so that a worker thread
// can read it while the window's tables change: values 0..count-1 are records first.. of `field`.
class PlotColumn {
 public:
  PlotColumn() = default;
  PlotColumn(const vorlet::CellTable& table, std::int32_t field, std::int32_t first,
             std::int32_t last);
  std::int64_t count() const noexcept { return count_; }
  double value(std::int64_t i) const noexcept {
    return plotValue(*cells_, 1, static_cast<std::int32_t>(i + 1));
  }
  std::size_t bytes() const noexcept { return static_cast<std::size_t>(count_) * 8; }

 private:
  std::shared_ptr<const vorlet::CellTable> cells_;
  std::int64_t count_ = 0;
};

// The x of value i; never decreasing in i.
using XOf = std::function<double(std::int64_t)>;

// Min/max of a column over blocks of 2^k values for k = kFinestShift.., so that the envelope of
// any span costs a few raw reads at its two ends plus two blocks per level.
class PlotPyramid {
 public:
  static constexpr int kFinestShift = 3;

  // Builds over `column` on this thread and one more; nothing when `stop` turns true meanwhile.
  static std::optional<PlotPyramid> build(PlotColumn column, const std::atomic<bool>& stop);

  const PlotColumn& column() const noexcept { return column_; }
  std::int64_t count() const noexcept { return column_.count(); }
  // The envelope of values [begin, end).
  Envelope span(std::int64_t begin, std::int64_t end) const noexcept;
  // The memory the pyramid takes beside its column.
  std::size_t bytes() const noexcept;

 private:
  // Rounded outward, so that a block's envelope always covers its values.
  struct Bounds {
    float min;
    float max;
  };
  PlotColumn column_;
  std::vector<std::vector<Bounds>> levels_;
};

// The first value whose x is at least `x` (count when none is).
std::int64_t firstAtOrAfter(std::int64_t count, const XOf& xOf, double x);

// For each of `width` pixel columns c, the envelope of the values whose x lies in
// [lo + c * w, lo + (c + 1) * w) with w = range width / width. `firsts`, when given, receives
// the width + 1 value indexes where the columns begin.
std::vector<Envelope> columnEnvelopes(const PlotPyramid& pyramid, const XOf& xOf,
                                      const AxisRange& range, int width,
                                      std::vector<std::int64_t>* firsts = nullptr);

}  // namespace vorlet::app
