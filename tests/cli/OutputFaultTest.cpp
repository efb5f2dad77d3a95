// A run of vorlet-thin that cannot write its output, or is interrupted or killed while writing
// it, leaves the target as it was and no temporary file; the signal handler removes a named
// temporary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>

#include "ThinProcess.h"
#include "cli/InterruptCleanup.h"
#include "support/Immutable.h"

namespace vorlet {
namespace {

namespace fs = std::filesystem;
using testing_files::readBytes;
using testing_files::TempFolder;
using testing_files::writeBytes;

TEST(InterruptCleanup, RemovesTheArmedFileAndDiesOfTheSignal) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TempFolder folder;
    const fs::path temporary = folder / ".out.csv.1.tmp";
    writeBytes(temporary, "partial");
    EXPECT_EXIT(
        {
          installInterruptCleanup();
          InterruptCleanup cleanup;
          cleanup.arm(temporary);
          ::raise(signal);
        },
        ::testing::KilledBySignal(signal), "");
    EXPECT_FALSE(fs::exists(temporary)) << "signal " << signal;
  }
}

// While held, a signal waits; a name disarmed meanwhile (renamed away by a commit) stays.
TEST(InterruptCleanup, ASignalWhileHeldActsAfterwardsOnWhatIsArmedThen) {
  TempFolder folder;
  const fs::path renamed = folder / "out.csv";
  writeBytes(renamed, "complete");
  EXPECT_EXIT(
      {
        installInterruptCleanup();
        InterruptCleanup cleanup;
        cleanup.arm(renamed);
        {
          const HeldInterrupts held;
          ::raise(SIGTERM);
          cleanup.disarm();
        }
        std::_Exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(readBytes(renamed), "complete");
}

// The size of the file other than `input` that `child` has open in `input`'s folder (the
// output's temporary), or -1 while it has none.
long long temporarySize(pid_t child, const fs::path& input) {
  std::error_code ec;
  const fs::path fds = "/proc/" + std::to_string(child) + "/fd";
  for (const auto& entry : fs::directory_iterator(fds, ec)) {
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (ec || target == input || target.parent_path() != input.parent_path()) continue;
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) == 0) return st.st_size;
  }
  return -1;
}

// With an unnamed temporary, even a kill that no handler sees leaves nothing behind.
TEST(ThinCommand, EndedMidWriteLeavesTheTargetAndNoTemporary) {
  TempFolder folder;
  const int probe = ::open(folder.path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (probe < 0) GTEST_SKIP() << "no unnamed files on this file system";
  ::close(probe);
  std::string input;
  input.reserve(32 << 20);
  while (input.size() < (32 << 20)) input += "1700000000000,1.25,-3,0.001,42\r\n";
  writeBytes(folder / "in.csv", input);
  for (const int signal : {SIGKILL, SIGTERM, SIGINT}) {
    writeBytes(folder / "out.csv", "the previous result\r\n");
    TempFolder io;
    const pid_t child = testing_process::startThin(
        {"-n", "2", (folder / "in.csv").string(), "-o", (folder / "out.csv").string()},
        io / "stdout", io / "stderr");
    // Waits until a megabyte of output is in the temporary: well into the writing.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (temporarySize(child, folder / "in.csv") < (1 << 20) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(child, signal);
    const auto run =
        testing_process::finish(child, io / "stdout", io / "stderr", std::chrono::seconds(60));
    EXPECT_EQ(run.signal, signal) << "the run ended before the signal: " << run.err;
    EXPECT_EQ(readBytes(folder / "out.csv"), "the previous result\r\n");
    EXPECT_EQ(folder.listing(), "in.csv\nout.csv\n");
  }
}

struct OutputFault {
  const char* name;
  const char* output;   // under the test's folder
  const char* message;  // after "cannot write <output>: "
  bool immutableTarget = false;
  bool immutableFolder = false;
};
// Test names, not bytes, in the test list.
void PrintTo(const OutputFault& c, std::ostream* os) {
  *os << c.name;
}

const OutputFault kOutputFaults[] = {
    {"MissingFolder", "missing/out.csv",
     "creating a temporary file beside it failed: No such file or directory"},
    {"TargetIsAFolder", "folder", "it is a folder"},
    {"ReadOnlyTarget", "sealed/out.csv", "it is read-only", true},
    {"ReadOnlyFolder", "sealed/out.csv",
     "creating a temporary file beside it failed: Operation not permitted", false, true},
};

class CannotWrite : public ::testing::TestWithParam<OutputFault> {};

TEST_P(CannotWrite, ExitsWithOneAndLeavesTheTarget) {
  const OutputFault& c = GetParam();
  TempFolder folder;
  writeBytes(folder / "in.csv", "1\r\n2\r\n3\r\n");
  fs::create_directory(folder / "folder");
  fs::create_directory(folder / "sealed");
  writeBytes(folder / "sealed" / "out.csv", "old\r\n");
  const testing_files::Immutable target(c.immutableTarget ? folder / "sealed" / "out.csv"
                                                          : fs::path());
  const testing_files::Immutable sealed(c.immutableFolder ? folder / "sealed" : fs::path());
  if ((c.immutableTarget && !target.set()) || (c.immutableFolder && !sealed.set())) {
    GTEST_SKIP() << "the file system or the user cannot make files immutable";
  }
  const std::string before = folder.listing();
  const fs::path output = folder / c.output;

  const auto run =
      testing_process::runThin({"-n", "2", (folder / "in.csv").string(), "-o", output.string()});

  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write " + output.string() + ": " + c.message), std::string::npos)
      << run.err;
  EXPECT_EQ(folder.listing(), before);
  EXPECT_EQ(readBytes(folder / "sealed" / "out.csv"), "old\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "sealed"), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(ThinCommand, CannotWrite, ::testing::ValuesIn(kOutputFaults),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace vorlet
