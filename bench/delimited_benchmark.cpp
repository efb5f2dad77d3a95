// Every stage of both roads on one measurement CSV, in MB/s of the bytes each stage consumes:
// the window's road (read, encoding check, parse, thin, join and write) and the command line's
// streaming road. The file is generated (1,000,000 records) unless VORLET_BENCH_FILE names one.
// Peak memory is printed at the end.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "MeasurementCsv.h"
#include "delimited/FileRoad.h"
#include "delimited/InputFile.h"
#include "delimited/ParseDelimited.h"
#include "delimited/SafeFile.h"
#include "delimited/StreamPipeline.h"
#include "delimited/TextEncoding.h"
#include "thinning/ThinTable.h"

namespace {

namespace fs = std::filesystem;
using vorlet::Cell;

constexpr int kRecords = 1'000'000;
constexpr const char* kInterval = "10";

struct Fixture {
  fs::path path;
  bool generated = false;
  std::shared_ptr<std::string> bytes;
  vorlet::SharedVariables parsed;
  fs::path output;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void prepare() {
  Fixture& f = fixture();
  if (const char* named = std::getenv("VORLET_BENCH_FILE")) {
    f.path = named;
  } else {
    f.path = fs::temp_directory_path() / ("vorlet-bench-" + std::to_string(::getpid()) + ".csv");
    f.generated = true;
    vorlet::bench::MeasurementCsv generator;
    std::string text = vorlet::bench::MeasurementCsv::kHeading;
    for (int i = 0; i < kRecords; ++i) generator.appendRecord(text);
    if (auto error = vorlet::writeFileAtomically(f.path, text)) {
      std::fprintf(stderr, "%s\n", vorlet::describe(*error).c_str());
      std::exit(1);
    }
  }
  f.output = fs::path(f.path).concat(".thinned");
  auto opened = vorlet::readDelimitedFile(f.path);
  if (auto* error = std::get_if<vorlet::FileError>(&opened)) {
    std::fprintf(stderr, "%s\n", vorlet::describe(*error).c_str());
    std::exit(1);
  }
  f.parsed.SourceTable = std::move(std::get<vorlet::OpenedTable>(opened).table);
  auto input = vorlet::InputFile::open(f.path);
  auto& file = std::get<vorlet::InputFile>(input);
  f.bytes = std::make_shared<std::string>(file.size(), '\0');
  std::size_t got = 0;
  (void)file.read(f.bytes->data(), f.bytes->size(), got);
  std::printf("%s: %.1f MB, %lld records of %lld fields\n", f.path.c_str(),
              static_cast<double>(f.bytes->size()) / 1e6,
              static_cast<long long>(f.parsed.SourceTable.recordCount()),
              static_cast<long long>(f.parsed.SourceTable.fieldCount()));
}

void consumed(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
}

void readFile(benchmark::State& state) {
  std::string bytes(fixture().bytes->size(), '\0');
  for (auto _ : state) {
    auto input = vorlet::InputFile::open(fixture().path);
    std::size_t got = 0;
    (void)std::get<vorlet::InputFile>(input).read(bytes.data(), bytes.size(), got);
    benchmark::DoNotOptimize(got);
  }
  consumed(state, bytes.size());
}

void checkEncoding(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vorlet::detectEncoding(*fixture().bytes));
  consumed(state, fixture().bytes->size());
}

void parse(benchmark::State& state) {
  for (auto _ : state) {
    vorlet::CellTable table;
    const auto records = vorlet::ParseDelimited(fixture().bytes, 0, table, ",", "\r\n", "\"");
    benchmark::DoNotOptimize(records);
  }
  consumed(state, fixture().bytes->size());
}

void openFile(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vorlet::readDelimitedFile(fixture().path).index());
  consumed(state, fixture().bytes->size());
}

void thin(benchmark::State& state, std::int16_t mode) {
  vorlet::SharedVariables& vars = fixture().parsed;
  for (auto _ : state) {
    vorlet::ThinTable(vars, Cell::text(kInterval), static_cast<vorlet::ThinMode>(mode));
    benchmark::DoNotOptimize(vars.ResultTable.recordCount());
  }
  consumed(state, fixture().bytes->size());
}

// Saving half the records, so that the join has plenty to do.
void joinAndWrite(benchmark::State& state) {
  vorlet::SharedVariables& vars = fixture().parsed;
  vorlet::ThinTable(vars, Cell::text("2"), vorlet::ThinMode::Simple);
  std::size_t written = 0;
  for (auto _ : state) {
    const std::string bytes = vorlet::savedFileBytes(vars.ResultTable, vorlet::TextEncoding::Utf8);
    if (auto error = vorlet::writeFileAtomically(fixture().output, bytes)) {
      state.SkipWithError(vorlet::describe(*error).c_str());
    }
    written = bytes.size();
  }
  consumed(state, written);
}

void stream(benchmark::State& state, vorlet::ThinMode mode) {
  std::size_t out = 0;
  for (auto _ : state) {
    auto input = vorlet::InputFile::open(fixture().path);
    const vorlet::StreamSettings settings{{10, mode}};
    const auto result = vorlet::thinStream(std::get<vorlet::InputFile>(input), settings,
                                           [&out](std::string_view bytes) {
                                             out += bytes.size();
                                             return std::optional<vorlet::FileError>{};
                                           });
    benchmark::DoNotOptimize(result.index());
  }
  benchmark::DoNotOptimize(out);
  consumed(state, fixture().bytes->size());
}

void registerAll() {
  const auto add = [](const char* name, auto function) {
    benchmark::RegisterBenchmark(name, function)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
  };
  add("table/read_file", readFile);
  add("table/encoding_check", checkEncoding);
  add("table/parse", parse);
  add("table/open_whole", openFile);
  add("table/thin_simple_10", [](benchmark::State& s) { thin(s, 0); });
  add("table/thin_average_10", [](benchmark::State& s) { thin(s, 1); });
  add("table/join_and_write_half", joinAndWrite);
  add("stream/simple_10", [](benchmark::State& s) { stream(s, vorlet::ThinMode::Simple); });
  add("stream/average_10", [](benchmark::State& s) { stream(s, vorlet::ThinMode::Average); });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  prepare();
  registerAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::error_code ignored;
  fs::remove(fixture().output, ignored);
  if (fixture().generated) fs::remove(fixture().path, ignored);
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak RSS: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
