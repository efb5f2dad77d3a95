#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>

#if defined(_WIN32)
#include <thread>
#else
#include <pthread.h>
#endif

namespace vorlet {

// A second thread that runs one job at a time for its owner, so that work which splits into
// independent parts can use a second core. Its stack is small, so that it stays affordable under
// a tight address space limit. Where no thread can be had, start() says so and the owner does all
// the work itself.
class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  bool start() noexcept;

  // Runs job() on the helper thread; `job` must outlive the wait() that follows.
  template <class Job>
  void post(Job& job) {
    post(&WorkerThread::call<Job>, &job);
  }
  // Waits for the job posted last; rethrows what it threw.
  void wait();

 private:
  template <class Job>
  static void call(void* job) {
    (*static_cast<Job*>(job))();
  }
  void post(void (*run)(void*), void* job);
  void loop() noexcept;

  std::mutex mutex_;
  std::condition_variable changed_;
  void (*run_)(void*) = nullptr;
  void* job_ = nullptr;
  bool busy_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  bool started_ = false;
#if defined(_WIN32)
  std::thread thread_;
#else
  pthread_t thread_{};
#endif
};

}  // namespace vorlet
