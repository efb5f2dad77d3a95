// ThinTable on a 1,000,000 x 6 table of numeric texts, both modes; reports cells per second.
// Then every mode and setting, through the table engine and through the stream pipeline over a
// measurement file (VORLET_BENCH_FILE, the 54 MB bench file unless given), its output dropped:
// peak, minimum and maximum are to take at most 1.2 times as long as average thinning, header
// lines, first-record columns and means over numbers only at most 5 % longer than without.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "delimited/StreamPipeline.h"
#include "thinning/ThinTable.h"

namespace {

constexpr std::int32_t kFields = 6;
constexpr std::int32_t kRecords = 1'000'000;

// Builds the table the way the reader does: one text block, cells referring into it.
vorlet::SharedVariables makeSource() {
  vorlet::SharedVariables vars;
  auto text = std::make_shared<std::string>();
  std::mt19937 random(42);
  std::uniform_int_distribution<int> digits(0, 999999);
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  spans.reserve(static_cast<std::size_t>(kFields) * kRecords);
  char buffer[32];
  for (std::int32_t r = 0; r < kRecords; ++r) {
    for (std::int32_t f = 0; f < kFields; ++f) {
      const int value = digits(random);
      char* end = std::to_chars(buffer, buffer + sizeof buffer, value / 1000).ptr;
      *end = '.';
      end = std::to_chars(end + 1, buffer + sizeof buffer, value % 1000).ptr;
      const auto length = static_cast<std::size_t>(end - buffer);
      spans.emplace_back(text->size(), length);
      text->append(buffer, length);
    }
  }
  vars.SourceTable.dimension(1, kFields, 1, kRecords);
  const int block = vars.SourceTable.adopt(text);
  std::size_t i = 0;
  for (std::int32_t r = 1; r <= kRecords; ++r) {
    for (std::int32_t f = 1; f <= kFields; ++f, ++i) {
      vars.SourceTable.setTextAt(f, r, block, spans[i].first, spans[i].second);
    }
  }
  return vars;
}

void thin(benchmark::State& state, int mode) {
  static vorlet::SharedVariables vars = makeSource();
  const vorlet::Cell interval = vorlet::Cell::text("10");
  for (auto _ : state) {
    vorlet::ThinTable(vars, interval, static_cast<vorlet::ThinMode>(mode));
    benchmark::DoNotOptimize(vars.ResultTable.get(1, 1));
  }
  state.counters["cells/s"] = benchmark::Counter(
      static_cast<double>(kFields) * kRecords * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void BM_ThinSimple(benchmark::State& state) {
  thin(state, 0);
}
void BM_ThinAverage(benchmark::State& state) {
  thin(state, 1);
}

using vorlet::ThinMode;
using vorlet::ThinSettings;

void BM_ThinSettings(benchmark::State& state, ThinSettings settings) {
  static vorlet::SharedVariables vars = makeSource();
  for (auto _ : state) {
    vorlet::thinTable(vars, settings);
    benchmark::DoNotOptimize(vars.ResultTable.get(1, 1));
  }
}

void BM_Stream(benchmark::State& state, ThinSettings settings) {
  const char* path = std::getenv("VORLET_BENCH_FILE");
  if (path == nullptr) path = "/tmp/vorlet-bench/measurements-1000000.csv";
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    auto input = vorlet::InputFile::open(path);
    if (std::holds_alternative<vorlet::FileError>(input)) {
      state.SkipWithError("cannot open the bench file");
      return;
    }
    const auto result = vorlet::thinStream(std::get<vorlet::InputFile>(input), {settings},
                                           [&bytes](std::string_view out) {
                                             bytes += out.size();
                                             return std::optional<vorlet::FileError>{};
                                           });
    if (std::holds_alternative<vorlet::FileError>(result)) state.SkipWithError("thinning failed");
  }
  benchmark::DoNotOptimize(bytes);
}

ThinSettings with(ThinMode mode, std::int32_t header = 0, std::vector<std::int32_t> first = {},
                  bool numbersOnly = false, bool doublePrecision = false) {
  return ThinSettings{10, mode, header, numbersOnly, std::move(first), doublePrecision};
}

}  // namespace

BENCHMARK(BM_ThinSimple)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThinAverage)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // The settings compared, each against the run without it.
  const std::pair<const char*, ThinSettings> settings[] = {
      {"average", with(ThinMode::Average)},
      {"peak", with(ThinMode::Peak)},
      {"minimum", with(ThinMode::Minimum)},
      {"maximum", with(ThinMode::Maximum)},
      {"average_header", with(ThinMode::Average, 1)},
      {"average_first", with(ThinMode::Average, 0, {1})},
      {"average_numbers_only", with(ThinMode::Average, 0, {}, true)},
      {"average_all", with(ThinMode::Average, 1, {1}, true)},
      {"average_double", with(ThinMode::Average, 0, {}, false, true)},
      {"peak_header_first", with(ThinMode::Peak, 1, {1})},
  };
  for (const auto& [name, thin] : settings) {
    benchmark::RegisterBenchmark((std::string("BM_ThinTable/") + name).c_str(), BM_ThinSettings,
                                 thin)
        ->Unit(benchmark::kMillisecond);
  }
  for (const auto& [name, thin] : settings) {
    benchmark::RegisterBenchmark((std::string("BM_Stream/") + name).c_str(), BM_Stream, thin)
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
