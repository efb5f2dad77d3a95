// vorlet-thin as a process on inputs it refuses or that exceed a memory limit, and outputs it
// cannot write or is killed while writing: the target stays as it was, with no temporary file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ThinProcess.h"
#include "cli/InterruptCleanup.h"

namespace vorlet {
namespace {

namespace fs = std::filesystem;
using namespace testing_files;
using testing_process::ChildSetup;
using testing_process::Outcome;
using testing_process::runThin;

TEST(InterruptCleanup, RemovesTheArmedFileAndDiesOfTheSignal) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
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
  for (const int signal : {SIGKILL, SIGTERM, SIGINT, SIGQUIT}) {
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

// Beyond the file-size limit a write fails as on a full disk, instead of a signal ending the
// process without a word.
TEST(ThinCommand, BeyondTheFileSizeLimitFailsAsAWriteDoes) {
  TempFolder folder;
  std::string input;
  for (int i = 0; i < 200'000; ++i) input += "1700000000000,1.25\r\n";
  writeBytes(folder / "in.csv", input);
  writeBytes(folder / "out.csv", "old\r\n");
  testing_process::ChildSetup limited;
  limited.fileSize = 64 << 10;
  const fs::path output = folder / "out.csv";
  const auto run = testing_process::runThin(
      {"-n", "2", (folder / "in.csv").string(), "-o", output.string()}, limited);
  EXPECT_EQ(run.status, 1) << "signal " << run.signal;
  EXPECT_EQ(run.err,
            "vorlet-thin: cannot write " + output.string() + ": writing failed: File too large\n");
  EXPECT_EQ(readBytes(output), "old\r\n");
  EXPECT_EQ(folder.listing(), "in.csv\nout.csv\n");
}

// Refused early, or past the first chunks, where a temporary file already holds thinned bytes
// (standard output must not have had any).
TEST(BadInput, ARefusedInputExitsWithOneAndWritesNothing) {
  const std::string records = repeated("1,2\r\n", 300000);
  const std::pair<std::string, std::string> cases[] = {
      {std::string("1,2\r\n3\0,4\r\n", 11), "a binary or UTF-16 file (NUL byte at offset 6)"},
      {records + std::string("3\0", 2), "a binary or UTF-16 file (NUL byte at offset 1500001)"},
      {records + "\xFF\r\n4\r\n",
       "neither UTF-8 nor Shift-JIS text (invalid byte at offset 1500000)"},
  };
  for (const auto& [bytes, reason] : cases) {
    for (const bool toFile : {true, false}) {
      TempFolder folder;
      const fs::path input = folder / "in.csv";
      writeBytes(input, bytes);
      writeBytes(folder / "out.csv", "kept\r\n");
      std::vector<std::string> args = {"-n", "2", input.string()};
      if (toFile) args.insert(args.end(), {"-o", (folder / "out.csv").string()});
      const Outcome run = runThin(args);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, "vorlet-thin: cannot open " + input.string() + ": " + reason + "\n");
      EXPECT_EQ(folder.listing(), "in.csv\nout.csv\n");
      EXPECT_EQ(readBytes(folder / "out.csv"), "kept\r\n");
    }
  }
}

constexpr rlim_t kMemoryLimit = 24 << 20;
const std::string kRecord = "1700000000000,1.25,-3,0.001,42\r\n";
const std::size_t kRecordsBeyondTheLimit = (32 << 20) / kRecord.size();

// Standard input cannot be read twice, so it is held whole: beyond the memory it is refused,
// but NUL bytes are refused at the first one, before they fill the memory.
TEST(BadInput, StandardInputBeyondTheMemoryLimitIsRefused) {
  if (kSanitized) GTEST_SKIP() << "a memory limit and the address sanitizer do not mix";
  const std::pair<std::string, const char*> cases[] = {
      {repeated(kRecord, kRecordsBeyondTheLimit), "too large for the memory available"},
      {std::string(kRecord.size() * kRecordsBeyondTheLimit, '\0'),
       "a binary or UTF-16 file (NUL byte at offset 0)"},
  };
  for (const auto& [input, reason] : cases) {
    TempFolder folder;
    ChildSetup setup;
    setup.addressSpace = kMemoryLimit;
    const Outcome run =
        runThin({"-n", "2", "-", "-o", (folder / "out.csv").string()}, setup, &input);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(std::string("cannot open standard input: ") + reason), std::string::npos)
        << run.err;
    EXPECT_EQ(folder.listing(), "");
  }
}

// A regular file is read a chunk at a time, once into a file that it replaces (a longer one),
// twice to standard output (checked before it is written to).
TEST(BadInput, ARegularFileBeyondTheMemoryLimitStreamsThrough) {
  if (kSanitized) GTEST_SKIP() << "a memory limit and the address sanitizer do not mix";
  TempFolder folder;
  writeBytes(folder / "in.csv", repeated(kRecord, kRecordsBeyondTheLimit));
  const std::string thinned = repeated(kRecord, kRecordsBeyondTheLimit / 2) + "\r\n";
  for (const bool toFile : {true, false}) {
    writeBytes(folder / "out.csv", repeated("an older, longer result\r\n", 1 << 20));
    std::vector<std::string> args = {"-n", "2", (folder / "in.csv").string()};
    if (toFile) args.insert(args.end(), {"-o", (folder / "out.csv").string()});
    ChildSetup setup;
    setup.addressSpace = kMemoryLimit;
    const Outcome run = runThin(args, setup);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE((toFile ? readBytes(folder / "out.csv") : run.out) == thinned);
    EXPECT_TRUE(run.out.empty() == toFile);
    EXPECT_EQ(folder.listing(), "in.csv\nout.csv\n");
  }
}

}  // namespace
}  // namespace vorlet
