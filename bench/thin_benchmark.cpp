// ThinTable on a 1,000,000 x 6 table of numeric texts, both modes; reports cells per second.
#include <benchmark/benchmark.h>

#include <charconv>
#include <memory>
#include <random>
#include <string>

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

}  // namespace

BENCHMARK(BM_ThinSimple)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThinAverage)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
