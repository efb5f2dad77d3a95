#include "delimited/EncodingCheck.h"

#include <algorithm>
#include <new>
#include <string_view>

#if !defined(_WIN32)
#include <unistd.h>

#include <cerrno>
#define VORLET_POSITIONAL_READS 1
#endif

namespace vorlet {
namespace {

constexpr std::size_t kBlock = std::size_t{256} << 10;  // stays in the cache

}  // namespace

EncodingCheck::~EncodingCheck() {
  stop_.store(true, std::memory_order_relaxed);
  wait();
}

bool EncodingCheck::start(const InputFile& input) {
#if defined(VORLET_POSITIONAL_READS)
  input_ = &input;
  at_ = ::lseek(input.descriptor(), 0, SEEK_CUR);
  if (at_ < 0) return false;
  // Everything the thread needs is allocated here: under a tight address space limit the check
  // runs first instead of failing halfway.
  buffer_.emplace(static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, input.size() + 1)));
  if (!thread_.start()) return false;
  thread_.post(job_);
  running_ = true;
  return true;
#else
  (void)input;
  return false;
#endif
}

const EncodingCheck::Outcome& EncodingCheck::wait() {
  if (running_) thread_.wait();
  running_ = false;
  return outcome_;
}

void EncodingCheck::check() {
#if defined(VORLET_POSITIONAL_READS)
  try {
    EncodingDetector detector;
    std::uint64_t seen = 0;
    while (!detector.settled() && !stop_.load(std::memory_order_relaxed)) {
      const ssize_t got = ::pread(input_->descriptor(), buffer_->data(), buffer_->size(),
                                  static_cast<off_t>(at_) + static_cast<off_t>(seen));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        outcome_.error = fileErrorFromErrno(errno, input_->name());
        break;
      }
      if (got == 0) break;
      detector.feed(std::string_view(buffer_->data(), static_cast<std::size_t>(got)));
      seen += static_cast<std::uint64_t>(got);
    }
    outcome_.verdict = detector.verdict();
    outcome_.readingsMayDiffer = detector.readingsMayDiffer();
    if (!outcome_.error && !detector.settled() && seen != input_->size()) {
      outcome_.error = FileError{FileError::Kind::ChangedSize, input_->name(), "", 0};
    }
  } catch (const std::bad_alloc&) {
    outcome_.error = FileError{FileError::Kind::TooLarge, input_->name(), "out of memory", 0};
  }
#endif
  finished_.store(true, std::memory_order_release);
}

}  // namespace vorlet
