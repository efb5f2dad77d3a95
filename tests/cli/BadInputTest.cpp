// vorlet-thin run as a process on inputs it must refuse (exit status 1, a message naming the
// input, the output as it was) or survive (large and odd inputs that are valid come out exactly
// as the window's road gives them).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "ThinProcess.h"
#include "delimited/FileRoad.h"
#include "support/OddInputs.h"
#include "thinning/ThinTable.h"

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

const std::string kBom = "\xEF\xBB\xBF";

struct Refusal {
  const char* name;
  std::string bytes;    // in.csv's content
  const char* message;  // what standard error says right after the input's path
  void (*make)(const fs::path& input) = nullptr;  // puts something else at in.csv, or nothing
  const char* elsewhere = nullptr;                // or reads this path instead
  bool asNobody = false;  // root reads anything; a child that is nobody does not
};
// Test names, not bytes, in the test list.
void PrintTo(const Refusal& c, std::ostream* os) {
  *os << c.name;
}

const Refusal kRefusals[] = {
    {"EmptyFile", "", ": the file holds no records"},
    {"BomAlone", kBom, ": the file holds no records"},
    {"NulByte", std::string("1,2\r\n3\0,4\r\n", 11),
     ": a binary or UTF-16 file (NUL byte at offset 6)"},
    {"Utf16LittleEndian", utf16("1,2\r\n", true),
     ": a binary or UTF-16 file (NUL byte at offset 3)"},
    {"Utf16BigEndian", utf16("1,2\r\n", false), ": a binary or UTF-16 file (NUL byte at offset 2)"},
    {"NeitherUtf8NorShiftJis", "1,2\r\n\x80x\r\n",
     ": neither UTF-8 nor Shift-JIS text (invalid byte at offset 5)"},
    {"LoneShiftJisLeadByteAtTheEnd", "\x82\xA0,1\r\n2,\x82",
     ": neither UTF-8 nor Shift-JIS text (invalid byte at offset 8)"},
    {"Folder", "", ": not a regular file (a folder, pipe or device)",
     [](const fs::path& input) { fs::create_directory(input); }},
    // Refused without being opened: opening it would wait for a writer.
    {"Fifo", "", ": not a regular file (a folder, pipe or device)",
     [](const fs::path& input) { ::mkfifo(input.c_str(), 0600); }},
    {"Device", "", ": not a regular file (a folder, pipe or device)", nullptr, "/dev/zero"},
    {"Missing", "", ": no such file or folder", [](const fs::path&) {}},
    {"NoReadPermission", "", ": permission denied",
     [](const fs::path& input) { ::close(::open(input.c_str(), O_CREAT | O_WRONLY, 0)); }, nullptr,
     true},
    // One endless line of NUL bytes: refused at the first, before the line fills the memory.
    {"SparseTerabyteOfNulBytes", "", ": a binary or UTF-16 file (NUL byte at offset 0)",
     [](const fs::path& input) {
       writeBytes(input, "");
       fs::resize_file(input, std::uintmax_t{1} << 40);
     }},
    // Claims to be empty, then has bytes: a file that changed between its size and its reading.
    {"SizeDisagreesWithContent", "", ": the file changed size while being read", nullptr,
     "/proc/self/status"},
};

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, SaysWhyNamingTheInputAndWritesNothing) {
  const Refusal& c = GetParam();
  ChildSetup setup;
  if (c.asNobody && ::geteuid() == 0 && !testing_process::asNobody(setup)) {
    GTEST_SKIP() << "no unprivileged user to read as";
  }
  TempFolder folder;
  fs::path input = folder / "in.csv";
  c.make != nullptr ? c.make(input) : writeBytes(input, c.bytes);
  writeBytes(folder / "out.csv", "kept\r\n");
  if (c.elsewhere != nullptr) input = c.elsewhere;
  const std::string before = folder.listing();

  const Outcome run =
      runThin({"-n", "2", input.string(), "-o", (folder / "out.csv").string()}, setup);

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with("vorlet-thin: cannot ")) << run.err;
  EXPECT_NE(run.err.find(input.string() + c.message), std::string::npos) << run.err;
  EXPECT_EQ(folder.listing(), before);
  EXPECT_EQ(readBytes(folder / "out.csv"), "kept\r\n");
}

INSTANTIATE_TEST_SUITE_P(BadInput, Refused, ::testing::ValuesIn(kRefusals),
                         [](const auto& test) { return std::string(test.param.name); });

// An appender keeps the file growing while vorlet-thin reads it. Should the reader ever get
// through between two appends, it is tried again.
TEST(BadInput, AFileThatGrowsWhileItIsReadIsRefused) {
  TempFolder folder;
  const fs::path input = folder / "in.csv";
  writeBytes(input, repeated("1700000000000,1.25,-3\r\n", 400'000));
  std::atomic<bool> stop{false};
  std::thread appender([&] {
    const int fd = ::open(input.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    while (!stop && ::write(fd, "1,2\r\n", 5) == 5) {
    }
    ::close(fd);
  });
  Outcome run;
  for (int attempt = 0; attempt < 5 && run.status != 1; ++attempt) {
    fs::remove(folder / "out.csv");
    run = runThin({"-n", "2", input.string(), "-o", (folder / "out.csv").string()});
  }
  stop = true;
  appender.join();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(
      run.err.find("cannot read " + input.string() + ": the file changed size while being read"),
      std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(folder / "out.csv"));
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

// The window's road on the same file: open, thin, the bytes a save writes.
std::string tableRoad(const fs::path& path, int interval, ThinMode mode) {
  auto opened = readDelimitedFile(path);
  if (auto* error = std::get_if<FileError>(&opened)) return describe(*error);
  auto& file = std::get<OpenedTable>(opened);
  SharedVariables vars;
  vars.SourceTable = std::move(file.table);
  thinTable(vars, ThinSettings{static_cast<std::int16_t>(interval), mode});
  return savedFileBytes(vars.ResultTable, file.encoding);
}

struct LargeInput {
  const char* name;
  std::string (*make)();
  int interval;
  ThinMode mode;
};
// Test names, not bytes, in the test list.
void PrintTo(const LargeInput& c, std::ostream* os) {
  *os << c.name;
}

const LargeInput kLargeInputs[] = {
    {"SingleLineOf20MB", [] { return numbersOnOneLine(4'000'000); }, 2, ThinMode::Simple},
    {"FirstRecordOfAMillionFields", millionFieldsFirst, 2, ThinMode::Simple},
    {"FirstRecordOfAMillionFieldsAveraged", millionFieldsFirst, 2, ThinMode::Average},
    {"HundredThousandRaggedRecords", raggedRecords, 3, ThinMode::Simple},
    // The quote never closes: the whole file is one field of one record.
    {"UnclosedQuoteAtTheStart", unclosedQuoteFirst, 2, ThinMode::Simple},
};

class Large : public ::testing::TestWithParam<LargeInput> {};

TEST_P(Large, GivesTheWindowsBytes) {
  const LargeInput& c = GetParam();
  TempFolder folder;
  writeBytes(folder / "in.csv", c.make());
  const bool average = c.mode == ThinMode::Average;
  const Outcome run =
      runThin({"-n", std::to_string(c.interval), "-m", average ? "average" : "simple",
               (folder / "in.csv").string(), "-o", (folder / "out.csv").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string expected = tableRoad(folder / "in.csv", c.interval, c.mode);
  const std::string written = readBytes(folder / "out.csv");
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

INSTANTIATE_TEST_SUITE_P(BadInput, Large, ::testing::ValuesIn(kLargeInputs),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace vorlet
