#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace vorlet {

// How far a long piece of work has got, counted by the thread doing it and read by another (the
// window's, to show a percentage). The work counts in whatever units suit it and sets the total
// it expects before it starts counting; more units than the total read as all done.
class Progress {
 public:
  void start(std::uint64_t total) noexcept {
    done_.store(0, std::memory_order_relaxed);
    total_.store(total, std::memory_order_relaxed);
  }
  void add(std::uint64_t units) noexcept { done_.fetch_add(units, std::memory_order_relaxed); }
  // 0 to 100; 0 before the work has set its total.
  int percent() const noexcept {
    const std::uint64_t total = total_.load(std::memory_order_relaxed);
    if (total == 0) return 0;
    const std::uint64_t done = std::min(done_.load(std::memory_order_relaxed), total);
    return static_cast<int>(done * 100 / total);
  }

 private:
  std::atomic<std::uint64_t> done_{0};
  std::atomic<std::uint64_t> total_{0};
};

// Adds to a Progress in steps of a few thousand units, so that a loop may count every record
// without touching memory another thread reads. Without a Progress it counts nothing.
class ProgressTicker {
 public:
  explicit ProgressTicker(Progress* progress) noexcept : progress_(progress) {}
  ProgressTicker(const ProgressTicker&) = delete;
  ProgressTicker& operator=(const ProgressTicker&) = delete;
  ~ProgressTicker() { flush(); }
  void add(std::uint64_t units) noexcept {
    pending_ += units;
    if (pending_ >= kStep) flush();
  }
  void flush() noexcept {
    if (progress_ != nullptr && pending_ > 0) progress_->add(pending_);
    pending_ = 0;
  }

 private:
  static constexpr std::uint64_t kStep = 1 << 14;
  Progress* progress_;
  std::uint64_t pending_ = 0;
};

}  // namespace vorlet
