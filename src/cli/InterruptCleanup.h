#pragma once

#include <filesystem>

#ifndef _WIN32
#include <signal.h>
#endif

namespace vorlet {

// Removes a named temporary output file when the process is interrupted, quit, terminated or
// hung up, then lets the signal end the process as it would have. Exceeding the file-size limit
// becomes a write error instead of a signal. An unnamed temporary needs none of
// this: the system drops it with the process.
//
// Call installInterruptCleanup() once, early in main.
void installInterruptCleanup();

// Names the file the handler removes for as long as this object lives; empty names none.
// Signals are held while the name changes, so the handler never sees half of one.
class InterruptCleanup {
 public:
  InterruptCleanup() = default;
  ~InterruptCleanup();
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

  void arm(const std::filesystem::path& temporary);
  void disarm();
};

// Holds those signals for its lifetime: a step that gives a temporary its name and renames it
// away runs to its end, and a signal that came meanwhile acts afterwards.
class HeldInterrupts {
 public:
  HeldInterrupts();
  ~HeldInterrupts();
  HeldInterrupts(const HeldInterrupts&) = delete;
  HeldInterrupts& operator=(const HeldInterrupts&) = delete;

 private:
#ifndef _WIN32
  sigset_t saved_;  // the mask before
#endif
};

}  // namespace vorlet
