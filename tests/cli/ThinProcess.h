#pragma once

// Runs build/vorlet-thin as a child process, with what a test needs around it: standard input
// and output on given descriptors, memory and file-size limits, and a hang guard.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TempFolder.h"

namespace vorlet::testing_process {

struct ChildSetup {
  int input = -1;                  // the child's standard input; -1: /dev/null
  int output = -1;                 // the child's standard output; -1: a file the outcome holds
  rlim_t fileSize = 0;             // bytes a file may have at most; 0: no limit
  rlim_t addressSpace = 0;         // bytes of virtual memory at most; 0: no limit
  std::chrono::seconds guard{60};  // killed after this long: a hang, not a slow run
};

struct Outcome {
  int status = -1;  // the exit status, or -1 when the child did not exit normally
  int signal = 0;   // the signal that ended it
  std::string out;
  std::string err;
};

// Starts vorlet-thin with `args`; its standard output and error go to `out` and `err`.
inline pid_t startThin(const std::vector<std::string>& args, const std::filesystem::path& out,
                       const std::filesystem::path& err, const ChildSetup& setup = {}) {
  std::vector<std::string> argv = {std::string(VORLET_BINARY_DIR) + "/vorlet-thin"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (auto& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  const pid_t child = ::fork();
  if (child != 0) return child;
  const int in = setup.input >= 0 ? setup.input : ::open("/dev/null", O_RDONLY);
  ::dup2(in, 0);
  ::dup2(setup.output >= 0 ? setup.output : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666),
         1);
  ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
  if (setup.addressSpace != 0) {
    const rlimit limit{setup.addressSpace, setup.addressSpace};
    ::setrlimit(RLIMIT_AS, &limit);
  }
  if (setup.fileSize != 0) {
    const rlimit limit{setup.fileSize, setup.fileSize};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  // As from a terminal: a test run in the background must not hand its ignored signals on.
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ}) {
    ::signal(signal, SIG_DFL);
  }
  ::execv(pointers[0], pointers.data());
  ::_exit(127);
}

// Waits for `child`, killing it once the guard runs out.
inline Outcome finish(pid_t child, const std::filesystem::path& out,
                      const std::filesystem::path& err, std::chrono::seconds guard) {
  const auto start = std::chrono::steady_clock::now();
  Outcome run;
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() - start > guard) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.out = testing_files::readBytes(out);
  run.err = testing_files::readBytes(err);
  return run;
}

// Runs vorlet-thin to its end; `feed`, when given, reaches its standard input through a pipe.
inline Outcome runThin(const std::vector<std::string>& args, ChildSetup setup = {},
                       const std::string* feed = nullptr) {
  testing_files::TempFolder io;
  int ends[2] = {-1, -1};
  if (feed != nullptr && ::pipe2(ends, O_CLOEXEC) == 0) setup.input = ends[0];
  const pid_t child = startThin(args, io / "stdout", io / "stderr", setup);
  if (feed != nullptr) {
    ::close(ends[0]);
    const auto previous = ::signal(SIGPIPE, SIG_IGN);  // the child may stop reading early
    for (std::size_t at = 0; at < feed->size();) {
      const ssize_t n = ::write(ends[1], feed->data() + at, feed->size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(ends[1]);
    ::signal(SIGPIPE, previous);
  }
  return finish(child, io / "stdout", io / "stderr", setup.guard);
}

}  // namespace vorlet::testing_process
