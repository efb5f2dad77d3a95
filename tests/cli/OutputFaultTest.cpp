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
#include <string>
#include <thread>

#include "../delimited/file/Immutable.h"
#include "ThinProcess.h"
#include "cli/InterruptCleanup.h"

namespace {

namespace fs = std::filesystem;

using vorlet::testing_files::readBytes;
using vorlet::testing_files::TempFolder;
using vorlet::testing_files::writeBytes;

struct SignalCase {
  const char* name;
  int signal;
};

const SignalCase kCleanedUp[] = {{"Interrupt", SIGINT}, {"Terminate", SIGTERM}, {"HangUp", SIGHUP}};

class Cleanup : public testing::TestWithParam<SignalCase> {};

TEST_P(Cleanup, RemovesTheArmedFileAndDiesOfTheSignal) {
  TempFolder folder;
  const fs::path temporary = folder / ".out.csv.1.tmp";
  writeBytes(temporary, "partial");
  EXPECT_EXIT(
      {
        vorlet::installInterruptCleanup();
        vorlet::InterruptCleanup cleanup;
        cleanup.arm(temporary);
        ::raise(GetParam().signal);
      },
      testing::KilledBySignal(GetParam().signal), "");
  EXPECT_FALSE(fs::exists(temporary));
}

INSTANTIATE_TEST_SUITE_P(InterruptCleanup, Cleanup, testing::ValuesIn(kCleanedUp),
                         [](const auto& test) { return std::string(test.param.name); });

// While held, a signal waits; a name disarmed meanwhile (renamed away by a commit) stays.
TEST(InterruptCleanup, ASignalWhileHeldActsAfterwardsOnWhatIsArmedThen) {
  TempFolder folder;
  const fs::path renamed = folder / "out.csv";
  writeBytes(renamed, "complete");
  EXPECT_EXIT(
      {
        vorlet::installInterruptCleanup();
        vorlet::InterruptCleanup cleanup;
        cleanup.arm(renamed);
        {
          const vorlet::HeldInterrupts held;
          ::raise(SIGTERM);
          cleanup.disarm();
        }
        std::_Exit(0);
      },
      testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(readBytes(renamed), "complete");
}

// Whether the folder can hold unnamed files; where it cannot, a killed run leaves its named
// temporary behind, and only a catchable signal removes it.
bool unnamedFilesIn(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
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

const SignalCase kEndings[] = {
    {"Killed", SIGKILL}, {"Terminated", SIGTERM}, {"Interrupted", SIGINT}};

class EndedMidWrite : public testing::TestWithParam<SignalCase> {};

TEST_P(EndedMidWrite, LeavesTheTargetAndNoTemporary) {
  TempFolder folder;
  if (!unnamedFilesIn(folder.path())) GTEST_SKIP() << "no unnamed files on this file system";
  std::string input;
  const std::string record = "1700000000000,1.25,-3,0.001,42\r\n";
  input.reserve(32 << 20);
  while (input.size() < (32 << 20)) input += record;
  writeBytes(folder / "in.csv", input);
  writeBytes(folder / "out.csv", "the previous result\r\n");

  TempFolder io;
  const pid_t child = vorlet::testing_process::startThin(
      {"-n", "2", (folder / "in.csv").string(), "-o", (folder / "out.csv").string()}, io / "stdout",
      io / "stderr");
  // Waits until a megabyte of output is in the temporary: well into the writing.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (temporarySize(child, folder / "in.csv") < (1 << 20) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ::kill(child, GetParam().signal);
  const auto run = vorlet::testing_process::finish(child, io / "stdout", io / "stderr",
                                                   std::chrono::seconds(60));

  EXPECT_EQ(run.signal, GetParam().signal) << "the run ended before the signal: " << run.err;
  EXPECT_EQ(readBytes(folder / "out.csv"), "the previous result\r\n");
  EXPECT_EQ(folder.listing(), "in.csv\nout.csv\n");
}

INSTANTIATE_TEST_SUITE_P(ThinCommand, EndedMidWrite, testing::ValuesIn(kEndings),
                         [](const auto& test) { return std::string(test.param.name); });

struct OutputFault {
  const char* name;
  const char* output;   // under the test's folder
  const char* message;  // after "cannot write <output>: "
  bool immutableTarget = false;
  bool immutableFolder = false;
};

const OutputFault kOutputFaults[] = {
    {"MissingFolder", "missing/out.csv",
     "creating a temporary file beside it failed: No such file or directory"},
    {"TargetIsAFolder", "folder", "it is a folder"},
    {"ReadOnlyTarget", "sealed/out.csv", "it is read-only", true},
    {"ReadOnlyFolder", "sealed/out.csv",
     "creating a temporary file beside it failed: Operation not permitted", false, true},
};

class CannotWrite : public testing::TestWithParam<OutputFault> {};

TEST_P(CannotWrite, ExitsWithOneAndLeavesTheTarget) {
  const OutputFault& c = GetParam();
  TempFolder folder;
  writeBytes(folder / "in.csv", "1\r\n2\r\n3\r\n");
  fs::create_directory(folder / "folder");
  fs::create_directory(folder / "sealed");
  writeBytes(folder / "sealed" / "out.csv", "old\r\n");
  const vorlet::testing_files::Immutable target(c.immutableTarget ? folder / "sealed" / "out.csv"
                                                                  : fs::path());
  const vorlet::testing_files::Immutable sealed(c.immutableFolder ? folder / "sealed" : fs::path());
  if ((c.immutableTarget && !target.set()) || (c.immutableFolder && !sealed.set())) {
    GTEST_SKIP() << "the file system or the user cannot make files immutable";
  }
  const std::string before = folder.listing();
  const fs::path output = folder / c.output;

  const auto run = vorlet::testing_process::runThin(
      {"-n", "2", (folder / "in.csv").string(), "-o", output.string()});

  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write " + output.string() + ": " + c.message), std::string::npos)
      << run.err;
  EXPECT_EQ(folder.listing(), before);
  EXPECT_EQ(readBytes(folder / "sealed" / "out.csv"), "old\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "sealed"), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(ThinCommand, CannotWrite, testing::ValuesIn(kOutputFaults),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
