#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "delimited/FileError.h"
#include "delimited/InputFile.h"
#include "delimited/TextEncoding.h"
#include "thinning/WorkerThread.h"

namespace vorlet {

// Settles the encoding of a regular file on a second thread, reading it at its own positions,
// while the stream pipeline reads and thins it: the file is read once on the pipeline's thread.
class EncodingCheck {
 public:
  struct Outcome {
    EncodingVerdict verdict;
    bool readingsMayDiffer = false;  // EncodingDetector::readingsMayDiffer
    std::optional<FileError> error;
  };

  EncodingCheck() = default;
  EncodingCheck(const EncodingCheck&) = delete;
  EncodingCheck& operator=(const EncodingCheck&) = delete;
  ~EncodingCheck();

  // False where positional reads or threads are not to be had; the pipeline then checks first.
  bool start(const InputFile& input);
  bool finished() const noexcept { return finished_.load(std::memory_order_acquire); }
  // Waits for the verdict.
  const Outcome& wait();

 private:
  void check();
  // What the thread runs; it must outlive the run.
  struct Job {
    EncodingCheck* self;
    void operator()() const { self->check(); }
  };

  const InputFile* input_ = nullptr;
  std::int64_t at_ = 0;  // where the pipeline starts reading the file
  std::optional<ReadBuffer> buffer_;
  Job job_{this};
  WorkerThread thread_;
  bool running_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  Outcome outcome_;
};

}  // namespace vorlet
