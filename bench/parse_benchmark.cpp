// ParseDelimited and the record scanner alone on about 50 MB of measurement CSV in memory;
// reports bytes per second. Reading the text once shows what memory alone allows.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "MeasurementCsv.h"
#include "delimited/ParseDelimited.h"
#include "delimited/RecordSource.h"
#include "table/NumberText.h"

namespace {

constexpr std::size_t kTargetBytes = 50'000'000;

vorlet::TextBlock makeCsv(bool quoteEveryField) {
  auto csv = std::make_shared<std::string>(vorlet::bench::MeasurementCsv::kHeading);
  csv->reserve(kTargetBytes + kTargetBytes / 4);
  vorlet::bench::MeasurementCsv generator;
  std::string record;
  while (csv->size() < kTargetBytes) {
    record.clear();
    generator.appendRecord(record);
    if (!quoteEveryField) {
      csv->append(record);
      continue;
    }
    csv->push_back('"');
    for (const char c : record.substr(0, record.size() - 2)) {
      if (c == ',') {
        csv->append("\",\"");
      } else {
        csv->push_back(c);
      }
    }
    csv->append("\"\r\n");
  }
  return csv;
}

const vorlet::TextBlock& plainCsv() {
  static const vorlet::TextBlock csv = makeCsv(false);
  return csv;
}

const vorlet::TextBlock& quotedCsv() {
  static const vorlet::TextBlock csv = makeCsv(true);
  return csv;
}

void parse(benchmark::State& state, const vorlet::TextBlock& csv) {
  std::int32_t records = 0;
  for (auto _ : state) {
    vorlet::CellTable table;
    const vorlet::Result<std::int32_t> result =
        vorlet::ParseDelimited(csv, 0, table, ",", "\r\n", "\"");
    if (!result) state.SkipWithError("ParseDelimited failed");
    records = *result;
    benchmark::DoNotOptimize(table.cellAt(1, records));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(csv->size()));
  state.counters["records"] = records;
}

void BM_ParseDelimited(benchmark::State& state) {
  parse(state, plainCsv());
}
void BM_ParseDelimitedQuoted(benchmark::State& state) {
  parse(state, quotedCsv());
}

void BM_ScanRecords(benchmark::State& state) {
  const std::string& csv = *plainCsv();
  vorlet::RecordSource source;
  vorlet::RecordBatch batch;
  for (auto _ : state) {
    std::size_t pos = 0;
    std::size_t fields = 0;
    while (source.next(csv, pos, true, 4096, batch) == vorlet::RecordSource::Status::Records) {
      fields += batch.fieldEnds.size();
    }
    benchmark::DoNotOptimize(fields);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(csv.size()));
}

// The fields of the plain measurement CSV, without its heading.
const std::vector<std::string_view>& numberFields() {
  static const std::vector<std::string_view> fields = [] {
    std::vector<std::string_view> all;
    const std::string& csv = *plainCsv();
    vorlet::RecordSource source;
    vorlet::RecordBatch batch;
    std::size_t pos = 0;
    source.next(csv, pos, true, 1, batch);
    while (source.next(csv, pos, true, 4096, batch) == vorlet::RecordSource::Status::Records) {
      for (std::size_t r = 0; r < batch.records(); ++r) {
        for (std::size_t f = 0; f < batch.fieldCount(r); ++f) all.push_back(batch.field(r, f));
      }
    }
    return all;
  }();
  return fields;
}

// parseDecimal on every field of the measurement CSV; reports numbers per second.
void BM_ParseDecimal(benchmark::State& state) {
  const std::vector<std::string_view>& fields = numberFields();
  for (auto _ : state) {
    double sum = 0;
    for (const std::string_view field : fields) sum += *vorlet::parseDecimal(field);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["numbers/s"] = benchmark::Counter(
      static_cast<double>(fields.size()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

// Means as average thinning writes them, in single and double precision; numbers per second.
template <class Float, std::size_t (*kFormat)(Float, char*) noexcept>
void formatMeans(benchmark::State& state) {
  const std::vector<std::string_view>& fields = numberFields();
  std::vector<Float> means;
  for (std::size_t i = 0; i + 10 <= fields.size(); i += 10) {
    Float sum = 0;
    for (std::size_t k = i; k < i + 10; ++k)
      sum += static_cast<Float>(*vorlet::parseDecimal(fields[k]));
    means.push_back(sum / 10);
  }
  char text[vorlet::kNumberTextMax];
  for (auto _ : state) {
    std::size_t size = 0;
    for (const Float mean : means) size += kFormat(mean, text);
    benchmark::DoNotOptimize(size);
  }
  state.counters["numbers/s"] = benchmark::Counter(
      static_cast<double>(means.size()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}
void BM_FormatSingle(benchmark::State& state) {
  formatMeans<float, vorlet::formatSingle>(state);
}
void BM_FormatDouble(benchmark::State& state) {
  formatMeans<double, vorlet::formatDouble>(state);
}

// Counts the commas and CRs; the compiler vectorises it, so it runs at about memory speed.
void BM_ReadText(benchmark::State& state) {
  const std::string& csv = *plainCsv();
  for (auto _ : state) {
    std::size_t structural = 0;
    for (const char c : csv) structural += static_cast<std::size_t>(c == ',' || c == '\r');
    benchmark::DoNotOptimize(structural);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(csv.size()));
}

}  // namespace

BENCHMARK(BM_ParseDelimited)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseDelimitedQuoted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseDecimal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatSingle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatDouble)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
