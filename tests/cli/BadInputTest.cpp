// vorlet-thin run as a process on inputs it must refuse, and on inputs beyond a memory limit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "ThinProcess.h"
#include "support/OddInputs.h"

namespace vorlet {
namespace {

namespace fs = std::filesystem;
using namespace testing_files;
using testing_process::ChildSetup;
using testing_process::Outcome;
using testing_process::runThin;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // the sanitizer's shadow memory does not fit a memory limit
#else
constexpr bool kSanitized = false;
#endif

// What a refusal looks like from outside: exit status 1, a message naming the input, nothing on
// standard output and the output as it was. The refusals themselves are tested in-process (by
// kind of file in InputFileTest, by bytes in TextEncodingTest and the road properties).
TEST(BadInput, ARefusedInputExitsWithOneAndWritesNothing) {
  TempFolder folder;
  const fs::path input = folder / "in.csv";
  writeBytes(input, std::string("1,2\r\n3\0,4\r\n", 11));
  writeBytes(folder / "out.csv", "kept\r\n");
  const Outcome run = runThin({"-n", "2", input.string(), "-o", (folder / "out.csv").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "vorlet-thin: cannot open " + input.string() +
                         ": a binary or UTF-16 file (NUL byte at offset 6)\n");
  EXPECT_EQ(folder.listing(), "in.csv\nout.csv\n");
  EXPECT_EQ(readBytes(folder / "out.csv"), "kept\r\n");
}

constexpr rlim_t kMemoryLimit = 24 << 20;
const std::string kRecord = "1700000000000,1.25,-3,0.001,42\r\n";
const std::size_t kRecordsBeyondTheLimit = (32 << 20) / kRecord.size();

// Standard input cannot be read twice, so it is held whole; beyond the memory it is refused.
// A pipe is held whole: records beyond the memory are refused as too large, but NUL bytes are
// refused at the first one, before they fill the memory.
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

// A regular file is read twice, a chunk at a time: its size does not matter.
TEST(BadInput, ARegularFileBeyondTheMemoryLimitStreamsThrough) {
  if (kSanitized) GTEST_SKIP() << "a memory limit and the address sanitizer do not mix";
  TempFolder folder;
  writeBytes(folder / "in.csv", repeated(kRecord, kRecordsBeyondTheLimit));
  ChildSetup setup;
  setup.addressSpace = kMemoryLimit;
  const Outcome run = runThin(
      {"-n", "2", (folder / "in.csv").string(), "-o", (folder / "out.csv").string()}, setup);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(readBytes(folder / "out.csv") ==
              repeated(kRecord, kRecordsBeyondTheLimit / 2) + "\r\n");
}

}  // namespace
}  // namespace vorlet
