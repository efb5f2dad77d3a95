#include "cli/InterruptCleanup.h"

#include <csignal>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace vorlet {

#ifdef _WIN32

// Windows delivers Ctrl+C on another thread; a left-over temporary there explains itself by
// its name.
void installInterruptCleanup() {}
InterruptCleanup::~InterruptCleanup() = default;
void InterruptCleanup::arm(const std::filesystem::path&) {}
void InterruptCleanup::disarm() {}
HeldInterrupts::HeldInterrupts() = default;
HeldInterrupts::~HeldInterrupts() = default;

#else

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Only what a handler may touch: a fixed buffer and a flag, written while signals are held.
char armedPath[4096];
volatile std::sig_atomic_t armed = 0;

extern "C" void removeTemporary(int signal) {
  if (armed != 0) ::unlink(armedPath);
  // The handler was reset on entry (SA_RESETHAND); the signal, held until the handler returns,
  // then ends the process with its usual status.
  ::raise(signal);
}

sigset_t cleanupSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kSignals) sigaddset(&set, signal);
  return set;
}

}  // namespace

void installInterruptCleanup() {
  // Beyond the file-size limit a write then fails with EFBIG, an ordinary write failure,
  // instead of ending the process with the temporary left behind.
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = removeTemporary;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal : kSignals) {
    struct sigaction previous {};
    // A signal ignored by whoever started us (nohup) stays ignored.
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

HeldInterrupts::HeldInterrupts() {
  const sigset_t held = cleanupSignals();
  ::sigprocmask(SIG_BLOCK, &held, &saved_);
}

HeldInterrupts::~HeldInterrupts() {
  ::sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

InterruptCleanup::~InterruptCleanup() {
  disarm();
}

void InterruptCleanup::arm(const std::filesystem::path& temporary) {
  const std::string& text = temporary.native();
  const HeldInterrupts held;
  armed = 0;
  // A name too long for the buffer is left to explain itself.
  if (text.empty() || text.size() >= sizeof armedPath) return;
  std::memcpy(armedPath, text.c_str(), text.size() + 1);
  armed = 1;
}

void InterruptCleanup::disarm() {
  const HeldInterrupts held;
  armed = 0;
}

#endif

}  // namespace vorlet
