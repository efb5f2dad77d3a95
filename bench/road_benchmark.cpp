// road_benchmark FILE [INTERVAL] [RUNS]: the window's road without a window. Opens FILE as the
// open command does (readDelimitedFile), then thins the table by INTERVAL (10 unless given) in
// simple and in average mode as the thin command does (ThinTable); RUNS times each step (3
// unless given). One line per step:
//
//   step=open seconds=0.812 cpu=0.801 maxrss_mb=1021.4 file_mb=534.3
//
// seconds is wall-clock time, cpu the processor time of all threads in the step, maxrss_mb the
// process's peak resident memory so far. Exit status 1 when the file is refused.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <variant>

#include "delimited/FileRoad.h"
#include "thinning/ThinTable.h"

namespace {

double processSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double peakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Times one step and prints its line.
template <class Step>
void timed(const char* name, double fileMegabytes, Step step) {
  const auto wall = std::chrono::steady_clock::now();
  const double cpu = processSeconds();
  step();
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - wall;
  std::printf("step=%s seconds=%.3f cpu=%.3f maxrss_mb=%.1f file_mb=%.1f\n", name, seconds.count(),
              processSeconds() - cpu, peakMegabytes(), fileMegabytes);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: road_benchmark FILE [INTERVAL] [RUNS]\n");
    return 2;
  }
  const std::string interval = argc > 2 ? argv[2] : "10";
  const int runs = argc > 3 ? std::atoi(argv[3]) : 3;

  vorlet::SharedVariables vars;
  double megabytes = 0;
  bool refused = false;
  for (int run = 0; run < runs && !refused; ++run) {
    vars.SourceTable.erase();  // one table at a time, as the window holds it
    timed("open", megabytes, [&] {
      auto opened = vorlet::readDelimitedFile(argv[1]);
      if (auto* error = std::get_if<vorlet::FileError>(&opened)) {
        std::fprintf(stderr, "%s\n", vorlet::describe(*error).c_str());
        refused = true;
        return;
      }
      auto& table = std::get<vorlet::OpenedTable>(opened);
      megabytes = static_cast<double>(table.fileSize) / 1e6;
      vars.SourceTable = std::move(table.table);
    });
  }
  if (refused) return 1;
  for (const std::int16_t mode : {std::int16_t{0}, std::int16_t{1}}) {
    for (int run = 0; run < runs; ++run) {
      timed(mode == 0 ? "thin_simple" : "thin_average", megabytes, [&] {
        vorlet::ThinTable(vars, vorlet::Cell::text(interval), static_cast<vorlet::ThinMode>(mode));
      });
    }
  }
  return 0;
}
