#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "delimited/InputFile.h"

namespace vorlet {

// One line of progress on standard error, redrawn about ten times a second from a thread of
// its own while the input is read: percent, rate and time left for a file of known size,
// bytes and rate otherwise. It watches the input's byte count, so the pipeline pays nothing.
// The line is cleared when the meter stops (or goes away).
class ProgressMeter {
 public:
  explicit ProgressMeter(const InputFile& input);
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  void stop();

 private:
  void run();

  const InputFile& input_;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::size_t shown_ = 0;  // width of the line on screen
  std::thread thread_;
};

// The progress line for `done` bytes after `seconds`, of `total` when known (not 0).
std::string progressLine(std::uint64_t done, std::uint64_t total, double seconds);

}  // namespace vorlet
