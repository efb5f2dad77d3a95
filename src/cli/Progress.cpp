#include "cli/Progress.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vorlet {

namespace {

void writeError(const std::string& text) {
#ifdef _WIN32
  (void)_write(2, text.data(), static_cast<unsigned>(text.size()));
#else
  (void)!::write(2, text.data(), text.size());
#endif
}

}  // namespace

std::string progressLine(std::uint64_t done, std::uint64_t total, double seconds) {
  const double megabytes = static_cast<double>(done) / 1e6;
  const double rate = seconds > 0 ? megabytes / seconds : 0;
  char text[96];
  if (total == 0) {
    std::snprintf(text, sizeof text, "%.1f MB read, %.1f MB/s", megabytes, rate);
    return text;
  }
  const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
  if (rate <= 0) {
    std::snprintf(text, sizeof text, "%3.0f%%", fraction * 100);
    return text;
  }
  const auto left = static_cast<long long>(
      (static_cast<double>(total - std::min(done, total)) / 1e6) / rate + 0.5);
  std::snprintf(text, sizeof text, "%3.0f%%, %.1f MB/s, %lld:%02lld left", fraction * 100, rate,
                left / 60, left % 60);
  return text;
}

ProgressMeter::ProgressMeter(const InputFile& input)
    : input_(input), start_(std::chrono::steady_clock::now()), thread_([this] { run(); }) {}

ProgressMeter::~ProgressMeter() {
  stop();
}

void ProgressMeter::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ProgressMeter::run() {
  std::unique_lock lock(mutex_);
  const std::uint64_t total = input_.regular() ? input_.size() : 0;
  while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping_; })) {
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start_;
    const std::string line = progressLine(input_.bytesRead(), total, seconds.count());
    // Padded over what the last one left.
    std::string redraw(1, '\r');
    redraw += line;
    redraw.append(shown_ > line.size() ? shown_ - line.size() : 0, ' ');
    writeError(redraw);
    shown_ = line.size();
  }
  if (shown_ > 0) {
    std::string blank(shown_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    writeError(blank);
  }
}

}  // namespace vorlet
