#include "thinning/WorkerThread.h"

#include <system_error>
#include <utility>

namespace vorlet {

#if !defined(_WIN32)
namespace {

// Parsing and writing numbers need little stack; a small one keeps the helper affordable
// under a tight address space limit.
constexpr std::size_t kStack = std::size_t{256} << 10;

}  // namespace
#endif

bool WorkerThread::start() noexcept {
  if (started_) return true;
#if defined(_WIN32)
  try {
    thread_ = std::thread([this] { loop(); });
  } catch (const std::system_error&) {
    return false;
  }
  started_ = true;
#else
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return false;
  ::pthread_attr_setstacksize(&attributes, kStack);
  const auto entry = [](void* self) -> void* {
    static_cast<WorkerThread*>(self)->loop();
    return nullptr;
  };
  started_ = ::pthread_create(&thread_, &attributes, entry, this) == 0;
  ::pthread_attr_destroy(&attributes);
#endif
  return started_;
}

WorkerThread::~WorkerThread() {
  if (!started_) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
#if defined(_WIN32)
  thread_.join();
#else
  ::pthread_join(thread_, nullptr);
#endif
}

void WorkerThread::post(void (*run)(void*), void* job) {
  {
    const std::lock_guard lock(mutex_);
    run_ = run;
    job_ = job;
    busy_ = true;
  }
  changed_.notify_all();
}

void WorkerThread::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void WorkerThread::loop() noexcept {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || (busy_ && run_ != nullptr); });
    if (stopping_) return;
    void (*run)(void*) = std::exchange(run_, nullptr);
    lock.unlock();
    std::exception_ptr failure;
    try {
      run(job_);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace vorlet
