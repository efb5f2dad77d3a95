#pragma once

#include <string>

namespace vorlet::app {

// A span of an axis in data units, lo < hi once fitted.
struct AxisRange {
  double lo = 0;
  double hi = 1;
  double width() const noexcept { return hi - lo; }
  bool operator==(const AxisRange&) const = default;
};

// The range that shows [lo, hi] with a margin of `margin` of its width on each side; a single
// value gets a span around it, so a flat signal still has an axis.
AxisRange fitted(double lo, double hi, double margin) noexcept;

// `range` scaled by `factor` (below 1 zooms in) keeping the point `at` where it is.
AxisRange zoomedAround(const AxisRange& range, double at, double factor) noexcept;

// Tick marks at multiples of step = 1, 2 or 5 x 10^k, as many as fit `maxTicks`.
struct Ticks {
  double first = 0;  // the smallest multiple of step inside the range
  double step = 1;
  int count = 0;
  bool exponentForm = false;  // labels as 1.5E+06: values too large or too small for fixed form
  double at(int i) const noexcept { return first + step * i; }
};

Ticks niceTicks(const AxisRange& range, int maxTicks) noexcept;

// The label of tick value `value`: as many decimals as the step needs, no more.
std::string tickLabel(double value, const Ticks& ticks);

}  // namespace vorlet::app
