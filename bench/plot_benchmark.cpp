// plot_benchmark [--benchmark_* options]: the plot window on the 10 M-record bench file (or the
// file named by VORLET_PLOT_FILE) and its average by 10, on Qt's offscreen platform, painted into
// a 1600 x 900 image.
//   first_picture/field: a field chosen: its cells and the result's copied, their pyramids
//                        built, the view painted;
//   first_picture/file:  the same for a newly opened file (its time column checked too);
//   redraw/zoom, /pan, /resize: one picture after the view changed.
// VORLET_PLOT_PICTURE=FILE.png saves the first picture painted.
// Counters: bytes_per_record, the extra memory of the field shown once its pyramids are built;
// peak_bytes_per_record, the most while they were built (a copy of one field's cells and the
// pyramids already built).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <utility>
#include <variant>

#include "app/CommonDialog.h"
#include "app/PlotWindow.h"
#include "delimited/FileRoad.h"
#include "thinning/ThinTable.h"

using namespace vorlet::app;

namespace {

class NoDialogs final : public FileDialogBackend {
 public:
  std::optional<QString> chooseFileToOpen(const FileDialogRequest&) override { return {}; }
  std::optional<QString> chooseFileToSave(const FileDialogRequest&) override { return {}; }
  bool confirmReplace(const QString&) override { return false; }
  bool confirmReplaceSource(const QString&) override { return false; }
};

const QSize kSize(1600, 900);

vorlet::SharedVariables vars;
vorlet::TextEncoding encoding = vorlet::TextEncoding::Utf8;
vorlet::ThinSettings settings;

void showTables(PlotWindow& window) {
  window.setSource(vars.SourceTable, encoding);
  window.setResult(vars.ResultTable, settings);
}
NoDialogs dialogs;

double paint(PlotWindow& window, QSize size = kSize) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  window.canvas().paintView(painter, size);
  painter.end();
  // The first picture, for a look at what is timed.
  static const char* picture = std::getenv("VORLET_PLOT_PICTURE");
  if (picture) image.save(QString::fromLocal8Bit(std::exchange(picture, nullptr)), "PNG");
  return window.canvas().yRange().width();
}

void counters(benchmark::State& state, const PlotWindow& window) {
  const auto records = static_cast<double>(vars.SourceTable.recordCount());
  state.counters["bytes_per_record"] = static_cast<double>(window.plotBytes()) / records;
  state.counters["peak_bytes_per_record"] = static_cast<double>(window.peakPlotBytes()) / records;
}

// The processor time of every thread of the process, the worker's included.
double processCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void firstPictureOfField(benchmark::State& state) {
  PlotWindow window(dialogs);
  showTables(window);
  window.waitForBuild(600'000);
  std::int32_t field = window.field();
  const double cpu = processCpuMs();
  double blocked = 0;
  for (auto _ : state) {
    field = field == 2 ? 3 : 2;
    const auto start = std::chrono::steady_clock::now();
    window.showField(field);  // until the worker starts: the window does not answer meanwhile
    blocked +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    window.waitForBuild(600'000);
    benchmark::DoNotOptimize(paint(window));
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["all_threads_cpu_ms"] = (processCpuMs() - cpu) / iterations;
  state.counters["gui_blocked_ms"] = blocked / iterations;
  counters(state, window);
}

void firstPictureOfFile(benchmark::State& state) {
  PlotWindow window(dialogs);
  const double cpu = processCpuMs();
  for (auto _ : state) {
    showTables(window);
    window.waitForBuild(600'000);
    benchmark::DoNotOptimize(paint(window));
  }
  state.counters["all_threads_cpu_ms"] =
      (processCpuMs() - cpu) / static_cast<double>(state.iterations());
  counters(state, window);
}

enum class Change { Zoom, Pan, Resize };

void redraw(benchmark::State& state, Change change) {
  PlotWindow window(dialogs);
  showTables(window);
  window.waitForBuild(600'000);
  const AxisRange all = window.canvas().xRange();
  int step = 0;
  for (auto _ : state) {
    ++step;
    QSize size = kSize;
    if (change == Change::Zoom) {
      // Deeper by a factor of 4 each time, down to a few records, then back out.
      const double factor = std::pow(0.25, step % 12);
      window.canvas().setXRange(zoomedAround(all, all.lo + all.width() * 0.37, factor));
    } else if (change == Change::Pan) {
      const AxisRange x = window.canvas().xRange();
      const double by = x.width() * (step % 20 < 10 ? 0.05 : -0.05);
      window.canvas().setXRange({x.lo + by, x.hi + by});
    } else {
      size = step % 2 ? QSize(1400, 800) : kSize;
    }
    benchmark::DoNotOptimize(paint(window, size));
  }
  counters(state, window);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const char* file = std::getenv("VORLET_PLOT_FILE");
  const std::string path = file ? file : "/tmp/vorlet-bench/measurements-10000000.csv";
  auto read = vorlet::readDelimitedFile(path);
  if (!std::holds_alternative<vorlet::OpenedTable>(read)) {
    std::fprintf(stderr, "cannot read %s (make it with generate_csv)\n", path.c_str());
    return 1;
  }
  vars.SourceTable = std::move(std::get<vorlet::OpenedTable>(read).table);
  encoding = std::get<vorlet::OpenedTable>(read).encoding;
  settings.interval = 10;
  settings.mode = vorlet::ThinMode::Average;
  vorlet::thinTable(vars, settings);

  benchmark::RegisterBenchmark("first_picture/field", firstPictureOfField)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(6);
  benchmark::RegisterBenchmark("first_picture/file", firstPictureOfFile)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(4);
  benchmark::RegisterBenchmark("redraw/zoom", redraw, Change::Zoom)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("redraw/pan", redraw, Change::Pan)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("redraw/resize", redraw, Change::Resize)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
