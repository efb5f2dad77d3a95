// The plot's model without a screen: the envelope against a plain scan, tick choice and labels,
// where result records stand among the source records.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "app/PlotAxes.h"
#include "app/PlotMapping.h"
#include "app/PlotPyramid.h"

using namespace vorlet::app;

namespace {

// Values that are floats, written as the shortest text that reads back exactly, so that the
// pyramid's single-precision bounds must equal the plain scan's; gaps and spikes planted.
vorlet::CellTable signalTable(std::int32_t records, std::mt19937& random) {
  vorlet::CellTable table;
  table.dimension(1, 1, 1, records);
  for (std::int32_t r = 1; r <= records; ++r) {
    const auto draw = static_cast<std::uint32_t>(random());
    std::string text;
    if (draw % 97 == 0) {
      text = draw % 2 ? "" : "n/a";
    } else {
      float value = static_cast<float>(std::sin(r / 500.0) + (draw % 1000) / 4000.0);
      if (draw % 4999 == 1) value = (draw % 3 ? 1 : -1) * 1000.0f * static_cast<float>(r);
      char digits[40];
      text.assign(digits, std::to_chars(digits, digits + 40, static_cast<double>(value)).ptr);
    }
    table.set(1, r, vorlet::Cell::text(text));
  }
  return table;
}

// Per pixel column, the values whose x lies in it, found by walking every value once.
std::vector<Envelope> bruteForce(const PlotColumn& column, const XOf& x, const AxisRange& range,
                                 int width) {
  std::vector<Envelope> columns(static_cast<std::size_t>(width));
  const double step = range.width() / width;
  const auto edge = [&](int c) { return range.lo + step * static_cast<double>(c); };
  int c = 0;
  for (std::int64_t i = 0; i < column.count(); ++i) {
    while (c < width && x(i) >= edge(c + 1)) ++c;
    if (c < width && x(i) >= edge(0)) columns[static_cast<std::size_t>(c)].add(column.value(i));
  }
  return columns;
}

}  // namespace

TEST(PlotPyramidTest, EnvelopeEqualsAPlainScanAtEveryZoomOnBothKindsOfXAxis) {
  std::mt19937 random(42);
  constexpr std::int32_t kRecords = 60'013;
  const vorlet::CellTable table = signalTable(kRecords, random);
  const std::atomic<bool> stop{false};
  const PlotColumn column = PlotColumn::viewOf(table, 1, 1, kRecords);
  const std::optional<PlotPyramid> pyramid = PlotPyramid::build(column, stop);
  ASSERT_TRUE(pyramid);

  std::vector<double> times;  // a time column: steps of 0, 0.5 or 1
  for (double t = 1e9; times.size() < kRecords; t += static_cast<double>(random() % 3) * 0.5)
    times.push_back(t);
  const XOf time = [&times](std::int64_t i) { return times[static_cast<std::size_t>(i)]; };
  const XSamples samples = sampleX(kRecords, time);
  const std::vector<std::tuple<const char*, XOf, const XSamples*>> axes = {
      {"record", [](std::int64_t i) { return static_cast<double>(i + 1); }, nullptr},
      {"time", time, nullptr},
      {"sampled time", time, &samples}};
  for (const auto& [axis, x, xSamples] : axes) {
    const double lo = x(0);
    const double w = x(kRecords - 1) - lo;
    const std::vector<AxisRange> views = {
        {lo, lo + w},                             // everything
        {lo + 0.31 * w, lo + 0.31 * w + w / 7},   // zoomed in a little
        {lo + 0.5 * w, lo + 0.5 * w + w / 3000},  // fewer values than pixels
        {lo - w / 2, lo + w / 3},                 // partly before the data
        {lo + 0.999 * w, lo + 1.5 * w},           // the last values and beyond
    };
    for (const AxisRange& view : views) {
      for (const int width : {1600, 333}) {
        const std::vector<Envelope> expected = bruteForce(column, x, view, width);
        const std::vector<Envelope> got =
            columnEnvelopes(*pyramid, column, x, view, width, xSamples);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t c = 0; c < got.size(); ++c) {
          ASSERT_EQ(got[c].empty(), expected[c].empty()) << axis << " column " << c;
          if (got[c].empty()) continue;
          ASSERT_EQ(got[c].min, expected[c].min) << axis << " width " << width << " column " << c;
          ASSERT_EQ(got[c].max, expected[c].max) << axis << " width " << width << " column " << c;
        }
      }
    }
  }
}

TEST(PlotPyramidTest, ACopyReadsLikeItsTableAlsoWhenTwoThreadsMadeIt) {
  vorlet::CellTable table;
  constexpr std::int32_t kRecords = (1 << 20) + 5;  // long enough to be copied in two halves
  table.dimension(1, 2, 1, kRecords);
  for (std::int32_t r = 1; r <= kRecords; ++r) {
    table.set(1, r, vorlet::Cell::integer32(-r));
    if (r % 3) table.set(2, r, vorlet::Cell::integer32(r));
  }
  for (const std::int32_t first : {1, 4}) {
    const PlotColumn view = PlotColumn::viewOf(table, 2, first, kRecords);
    const PlotColumn copy = PlotColumn::copyOf(table, 2, first, kRecords);
    ASSERT_EQ(copy.count(), view.count());
    for (std::int64_t i = 0; i < view.count(); ++i) {
      const double expected = view.value(i);
      ASSERT_TRUE(std::isnan(expected) ? std::isnan(copy.value(i)) : copy.value(i) == expected)
          << "value " << i << " from record " << first;
    }
  }
}

TEST(PlotPyramidTest, BuildGivesUpWhenStopped) {
  std::mt19937 random(7);
  const vorlet::CellTable table = signalTable(100'000, random);
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(PlotPyramid::build(PlotColumn::copyOf(table, 1, 1, 100'000), stop));
}

TEST(PlotAxesTest, TicksAreOneTwoOrFiveTimesAPowerOfTenWithReadableLabels) {
  struct Case {
    AxisRange range;
    int maxTicks;
    double step;
    const char* labels;  // the first labels
  };
  const Case cases[] = {
      {{0, 10}, 6, 2, "0 2 4 6 8 10"},
      {{-0.37, 1.2}, 8, 0.5, "0 0.5 1.0"},
      {{-3e7, 5e7}, 5, 2e7, "-2E+07 0 2E+07 4E+07"},
      {{0, 0.0004}, 5, 1e-4, "0 1E-04 2E-04 3E-04 4E-04"},
      {{1.7e12, 1.7e12 + 1e6}, 6, 2e5, "1.7000000E+12 1.7000002E+12"},
      {{999.5, 1000.25}, 5, 0.2, "999.6 999.8 1000.0 1000.2"},
      {{-5, -4.999}, 3, 5e-4, "-5.0000 -4.9995"},
  };
  for (const Case& c : cases) {
    const Ticks ticks = niceTicks(c.range, c.maxTicks);
    EXPECT_DOUBLE_EQ(ticks.step, c.step) << c.labels;
    EXPECT_LE(ticks.count, c.maxTicks) << c.labels;
    std::string labels;
    for (int i = 0; i < ticks.count; ++i) {
      if (i > 0) labels += ' ';
      labels += tickLabel(ticks.at(i), ticks);
    }
    EXPECT_EQ(labels.substr(0, std::string(c.labels).size()), c.labels);
  }
  // A value just below a power of ten carries into the exponent.
  Ticks ticks;
  ticks.step = 1e5;
  ticks.exponentForm = true;
  EXPECT_EQ(tickLabel(1e7 * (1 - 1e-15), ticks), "1.00E+07");
}

TEST(PlotMappingTest, ResultRecordsStandWhereTheirGroupsAre) {
  using vorlet::ThinMode;
  struct Case {
    vorlet::ThinSettings settings;  // interval, mode, header lines
    std::int64_t resultRecord;
    double position;
  };
  const Case cases[] = {
      {{10, ThinMode::Simple, 0}, 1, 1},    {{10, ThinMode::Simple, 0}, 2, 11},
      {{10, ThinMode::Average, 0}, 1, 5.5}, {{10, ThinMode::Average, 0}, 3, 25.5},
      {{10, ThinMode::Peak, 0}, 1, 3.25},   {{10, ThinMode::Peak, 0}, 2, 7.75},
      {{10, ThinMode::Peak, 0}, 3, 13.25},  {{4, ThinMode::Simple, 2}, 2, 2},
      {{4, ThinMode::Simple, 2}, 3, 3},     {{4, ThinMode::Simple, 2}, 4, 7},
      {{4, ThinMode::Minimum, 1}, 2, 3.5},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(sourcePosition(c.settings, c.resultRecord), c.position)
        << "mode " << static_cast<int>(c.settings.mode) << " N " << c.settings.interval
        << " header " << c.settings.headerLines << " record " << c.resultRecord;
  }
}

TEST(PlotMappingTest, SmallestIntervalFittingASpreadsheet) {
  const vorlet::ThinSettings simple{};
  const vorlet::ThinSettings peak{2, vorlet::ThinMode::Peak};
  const vorlet::ThinSettings longHeader{2, vorlet::ThinMode::Simple, 1'048'577};
  struct Case {
    vorlet::ThinSettings settings;
    std::int64_t records;
    int interval;
  };
  const Case cases[] = {
      {simple, 10'000'000, 10},     {simple, 10'485'770, 11},   {simple, 10'485'769, 10},
      {peak, 10'000'000, 20},       {simple, 1'048'576, 2},     {simple, 3'000'000'000, 2862},
      {simple, 100'000'000'000, 0}, {longHeader, 2'000'000, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(smallestIntervalFitting(c.settings, c.records), c.interval) << c.records;
  }
  EXPECT_EQ(resultRecordCount(peak, 25), 24);
}
