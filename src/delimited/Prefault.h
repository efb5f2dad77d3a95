#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "thinning/WorkerThread.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vorlet {

// Faults in the whole pages of [data, data + bytes) for writing, without writing anything. A
// file's text and its table take hundreds of megabytes of fresh memory; faulting it in page by
// page as it is first written costs more than asking for all of it at once, and the asking can
// be done on a second thread. Stops early once `stop` is set; from the end backwards, so that it
// meets a thread that fills the memory from the start. Only advice: elsewhere it does nothing.
inline void prefaultBackwards(void* data, std::size_t bytes,
                              const std::atomic<bool>& stop) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  constexpr std::uintptr_t kPage = 4096;
  constexpr std::uintptr_t kStep = std::uintptr_t{4} << 20;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kPage - 1);
  while (end > begin && !stop.load(std::memory_order_relaxed)) {
    const std::uintptr_t from = end - begin > kStep ? end - kStep : begin;
    if (::madvise(reinterpret_cast<void*>(from), end - from, MADV_POPULATE_WRITE) != 0) return;
    end = from;
  }
#else
  (void)data;
  (void)bytes;
  (void)stop;
#endif
}

// Runs prefaultBackwards on a helper thread over memory this thread is about to fill from the
// start, for as long as the object lives. Not worth a thread below a few megabytes.
class Prefault {
 public:
  Prefault() = default;
  Prefault(const Prefault&) = delete;
  Prefault& operator=(const Prefault&) = delete;
  ~Prefault() {
    stop_.store(true, std::memory_order_relaxed);
    if (running_) helper_.wait();
  }

  void start(void* data, std::size_t bytes) {
    if (running_ || bytes < kWorthIt || !helper_.start()) return;
    job_ = Job{data, bytes, &stop_};
    helper_.post(job_);
    running_ = true;
  }

 private:
  static constexpr std::size_t kWorthIt = std::size_t{16} << 20;
  struct Job {
    void* data = nullptr;
    std::size_t bytes = 0;
    const std::atomic<bool>* stop = nullptr;
    void operator()() const noexcept { prefaultBackwards(data, bytes, *stop); }
  };

  WorkerThread helper_;
  Job job_;
  std::atomic<bool> stop_{false};
  bool running_ = false;
};

}  // namespace vorlet
