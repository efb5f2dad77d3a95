#include "app/PlotPyramid.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <thread>

#include "table/NumberText.h"

namespace vorlet::app {

namespace {

constexpr float kFloatMax = std::numeric_limits<float>::max();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

// Beyond the float range the bound is the range's end or infinity, whichever keeps it outside.
float roundedDown(double value) noexcept {
  if (value > kFloatMax) return kFloatMax;
  if (value < -kFloatMax) return -kInfinity;
  const auto f = static_cast<float>(value);
  return static_cast<double>(f) > value ? std::nextafter(f, -kInfinity) : f;
}

float roundedUp(double value) noexcept {
  if (value < -kFloatMax) return -kFloatMax;
  if (value > kFloatMax) return kInfinity;
  const auto f = static_cast<float>(value);
  return static_cast<double>(f) < value ? std::nextafter(f, kInfinity) : f;
}

}  // namespace

double plotValue(const vorlet::CellTable& table, std::int32_t field, std::int32_t record) noexcept {
  constexpr double kGap = std::numeric_limits<double>::quiet_NaN();
  // A table changed under a view (a command that failed half way) reads as gaps, not past its end.
  if (!table.contains(field, record)) return kGap;
  std::string_view text;
  if (table.textAt(field, record, text)) {
    const vorlet::Result<double> value = vorlet::parseDecimal(text);
    return value ? *value : kGap;
  }
  const vorlet::Cell cell = table.cellAt(field, record);
  if (!cell.isNumeric()) return kGap;
  const vorlet::Result<double> value = vorlet::toDouble(cell);
  return value ? *value : kGap;
}

PlotColumn PlotColumn::viewOf(const vorlet::CellTable& table, std::int32_t field,
                              std::int32_t first, std::int32_t last) {
  PlotColumn column;
  column.table_ = std::shared_ptr<const vorlet::CellTable>(&table, [](const vorlet::CellTable*) {});
  column.field_ = field;
  column.first_ = first;
  column.count_ = std::max<std::int64_t>(std::int64_t{last} - first + 1, 0);
  column.split_ = column.count_;
  return column;
}

PlotColumn PlotColumn::copyOf(const vorlet::CellTable& table, std::int32_t field,
                              std::int32_t first, std::int32_t last) {
  // Records [from, to] of the field as field 1 of a table of their own.
  const auto copy = [&table, field](std::int32_t from, std::int32_t to) {
    auto cells = std::make_shared<vorlet::CellTable>();
    if (to >= from) cells->dimension(1, 1, 1, to - from + 1);
    for (std::int32_t r = from; r <= to; ++r) cells->copyCellAt(table, field, r, 1, r - from + 1);
    return cells;
  };
  PlotColumn column;
  column.count_ = std::max<std::int64_t>(std::int64_t{last} - first + 1, 0);
  column.split_ = column.count_;
  column.owned_ = true;
  // Copying is bound by memory and page faults; a second thread nearly halves the time the
  // window waits. Reading the table from two threads at once is safe: neither changes it.
  constexpr std::int64_t kTwoThreadsFrom = 1 << 20;
  if (column.count_ >= kTwoThreadsFrom) {
    column.split_ = column.count_ / 2;
    const auto middle = static_cast<std::int32_t>(first + column.split_);
    std::shared_ptr<vorlet::CellTable> rest;
    {
      std::jthread second([&] { rest = copy(middle, last); });
      column.table_ = copy(first, middle - 1);
    }
    column.rest_ = std::move(rest);
  } else {
    column.table_ = copy(first, last);
  }
  column.field_ = 1;
  column.first_ = 1;
  return column;
}

std::optional<PlotPyramid> PlotPyramid::build(const PlotColumn& values,
                                              const std::atomic<bool>& stop) {
  PlotPyramid pyramid;
  pyramid.count_ = values.count();
  std::vector<Bounds> finest(static_cast<std::size_t>(values.count() >> kFinestShift));
  const auto fill = [&](std::size_t from, std::size_t to) {
    for (std::size_t b = from; b < to; ++b) {
      if ((b & 0xFFFF) == 0 && stop.load(std::memory_order_relaxed)) return;
      Envelope block;
      const auto first = static_cast<std::int64_t>(b) << kFinestShift;
      for (std::int64_t i = first; i < first + (1 << kFinestShift); ++i) block.add(values.value(i));
      finest[b] = {roundedDown(block.min), roundedUp(block.max)};
    }
  };
  // Reading the numbers is nearly all the work; two threads halve it.
  const std::size_t half = finest.size() / 2;
  {
    std::jthread second(fill, half, finest.size());
    fill(0, half);
  }
  if (stop.load()) return std::nullopt;
  pyramid.levels_.push_back(std::move(finest));
  while (pyramid.levels_.back().size() > 1) {
    const std::vector<Bounds>& below = pyramid.levels_.back();
    std::vector<Bounds> level(below.size() / 2);
    for (std::size_t b = 0; b < level.size(); ++b) {
      level[b] = {std::min(below[2 * b].min, below[2 * b + 1].min),
                  std::max(below[2 * b].max, below[2 * b + 1].max)};
    }
    pyramid.levels_.push_back(std::move(level));
  }
  return pyramid;
}

Envelope PlotPyramid::span(const PlotColumn& column, std::int64_t begin,
                           std::int64_t end) const noexcept {
  Envelope envelope;
  constexpr std::int64_t kBlock = std::int64_t{1} << kFinestShift;
  // The unaligned ends are read raw; what lies between is whole blocks.
  while (begin < end && (begin % kBlock != 0 || end - begin < kBlock)) {
    envelope.add(column.value(begin++));
  }
  while (end > begin && end % kBlock != 0) envelope.add(column.value(--end));
  begin >>= kFinestShift;
  end >>= kFinestShift;
  const auto addBlock = [&](std::size_t level, std::int64_t b) {
    const Bounds& bounds = levels_[level][static_cast<std::size_t>(b)];
    envelope.add(Envelope{bounds.min, bounds.max});
  };
  for (std::size_t level = 0; begin < end; ++level, begin >>= 1, end >>= 1) {
    if (begin & 1) addBlock(level, begin++);
    if (end & 1) addBlock(level, --end);
  }
  return envelope;
}

std::size_t PlotPyramid::bytes() const noexcept {
  std::size_t total = 0;
  for (const std::vector<Bounds>& level : levels_) total += level.capacity() * sizeof(Bounds);
  return total;
}

XSamples sampleX(std::int64_t count, const XOf& xOf) {
  XSamples samples(static_cast<std::size_t>((count + (1 << kXSampleShift) - 1) >> kXSampleShift));
  for (std::size_t k = 0; k < samples.size(); ++k) {
    samples[k] = xOf(static_cast<std::int64_t>(k) << kXSampleShift);
  }
  return samples;
}

std::int64_t firstAtOrAfter(std::int64_t count, const XOf& xOf, double x, const XSamples* samples) {
  std::int64_t lo = 0;
  std::int64_t hi = count;
  if (samples && !samples->empty()) {
    // The answer lies after the last sample below x and at or before the first one that is not.
    const auto k = std::lower_bound(samples->begin(), samples->end(), x) - samples->begin();
    if (k > 0) lo = ((k - 1) << kXSampleShift) + 1;
    hi = std::min(count, k << kXSampleShift);
  }
  while (lo < hi) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    if (xOf(mid) < x) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

std::vector<Envelope> columnEnvelopes(const PlotPyramid& pyramid, const PlotColumn& column,
                                      const XOf& xOf, const AxisRange& range, int width,
                                      const XSamples* samples, std::vector<std::int64_t>* firsts) {
  std::vector<Envelope> columns(static_cast<std::size_t>(std::max(width, 0)));
  std::vector<std::int64_t> starts(columns.size() + 1);
  const double step = range.width() / width;
  for (std::size_t c = 0; c < starts.size(); ++c) {
    starts[c] =
        firstAtOrAfter(pyramid.count(), xOf, range.lo + step * static_cast<double>(c), samples);
  }
  for (std::size_t c = 0; c < columns.size(); ++c) {
    columns[c] = pyramid.span(column, starts[c], starts[c + 1]);
  }
  if (firsts) *firsts = std::move(starts);
  return columns;
}

}  // namespace vorlet::app
