#include "app/PlotAxes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vorlet::app {

namespace {

// Fixed-form labels stop being readable beyond these magnitudes.
constexpr double kLargest = 1e6;
constexpr double kSmallest = 1e-3;

int decimalExponent(double value) noexcept {
  return static_cast<int>(std::floor(std::log10(std::fabs(value)) + 1e-9));
}

}  // namespace

AxisRange fitted(double lo, double hi, double margin) noexcept {
  if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) return {0, 1};
  if (lo == hi) {
    const double half = lo == 0 ? 1 : std::fabs(lo) * 0.01;
    return {lo - half, hi + half};
  }
  const double pad = (hi - lo) * margin;
  return {lo - pad, hi + pad};
}

AxisRange zoomedAround(const AxisRange& range, double at, double factor) noexcept {
  return {at - (at - range.lo) * factor, at + (range.hi - at) * factor};
}

Ticks niceTicks(const AxisRange& range, int maxTicks) noexcept {
  Ticks ticks;
  const double width = range.width();
  if (!(width > 0) || !std::isfinite(width) || maxTicks < 2) return ticks;
  const double rough = width / (maxTicks - 1);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  ticks.step = power * 10;
  for (const double mantissa : {1.0, 2.0, 5.0}) {
    if (mantissa * power >= rough * (1 - 1e-9)) {
      ticks.step = mantissa * power;
      break;
    }
  }
  ticks.first = std::ceil(range.lo / ticks.step - 1e-9) * ticks.step;
  ticks.count = static_cast<int>(std::floor((range.hi - ticks.first) / ticks.step + 1e-9)) + 1;
  ticks.count = std::max(ticks.count, 0);
  const double largest = std::max(std::fabs(range.lo), std::fabs(range.hi));
  ticks.exponentForm = largest >= kLargest || (largest < kSmallest && largest > 0);
  return ticks;
}

std::string tickLabel(double value, const Ticks& ticks) {
  char text[64];
  // A tick that should be zero may come out as a rounding residue.
  if (std::fabs(value) < ticks.step * 1e-9) return "0";
  const int stepExponent = decimalExponent(ticks.step);
  if (ticks.exponentForm) {
    int exponent = decimalExponent(value);
    int decimals = std::max(0, exponent - stepExponent);
    double mantissa = value / std::pow(10.0, exponent);
    // A value just below a power of ten would print as 10.0: carry into the exponent instead.
    std::snprintf(text, sizeof text, "%.*f", decimals, mantissa);
    if (std::fabs(std::atof(text)) >= 10) {
      ++exponent;
      ++decimals;
      mantissa /= 10;
    }
    std::snprintf(text, sizeof text, "%.*fE%+03d", decimals, mantissa, exponent);
    return text;
  }
  std::snprintf(text, sizeof text, "%.*f", std::max(0, -stepExponent), value);
  return text;
}

}  // namespace vorlet::app
