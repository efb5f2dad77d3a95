// vorlet-thin run as a process on inputs it must refuse (exit status 1, a message naming the
// input, no output file) or survive (large and odd inputs that are valid come out exactly as the
// window's road gives them).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "../delimited/file/OddInputs.h"
#include "ThinProcess.h"
#include "delimited/FileRoad.h"
#include "thinning/Module2.h"

namespace {

namespace fs = std::filesystem;

using vorlet::testing_files::millionFieldsFirst;
using vorlet::testing_files::numbersOnOneLine;
using vorlet::testing_files::raggedRecords;
using vorlet::testing_files::readBytes;
using vorlet::testing_files::repeated;
using vorlet::testing_files::TempFolder;
using vorlet::testing_files::unclosedQuoteFirst;
using vorlet::testing_files::utf16;
using vorlet::testing_files::writeBytes;
using vorlet::testing_process::ChildSetup;
using vorlet::testing_process::Outcome;
using vorlet::testing_process::runThin;

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
  void (*replace)(const fs::path& input) = nullptr;  // puts something else at in.csv
  const char* elsewhere = nullptr;                   // or reads this path instead
};

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
     [](const fs::path& input) {
       fs::remove(input);
       fs::create_directory(input);
     }},
    // Refused without being opened: opening it would wait for a writer.
    {"Fifo", "", ": not a regular file (a folder, pipe or device)",
     [](const fs::path& input) {
       fs::remove(input);
       ::mkfifo(input.c_str(), 0600);
     }},
    {"Device", "", ": not a regular file (a folder, pipe or device)", nullptr, "/dev/zero"},
    {"Missing", "", ": no such file or folder", [](const fs::path& input) { fs::remove(input); }},
    // Claims to be empty, then has bytes: a file that changed between its size and its reading.
    {"SizeDisagreesWithContent", "", ": the file changed size while being read", nullptr,
     "/proc/self/status"},
};

class Refused : public testing::TestWithParam<Refusal> {};

TEST_P(Refused, SaysWhyNamingTheInputAndWritesNothing) {
  const Refusal& c = GetParam();
  TempFolder folder;
  fs::path input = folder / "in.csv";
  writeBytes(input, c.bytes);
  if (c.replace != nullptr) c.replace(input);
  if (c.elsewhere != nullptr) input = c.elsewhere;
  const std::string before = folder.listing();

  const Outcome run = runThin({"-n", "2", input.string(), "-o", (folder / "out.csv").string()});

  EXPECT_FALSE(run.hung);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with("vorlet-thin: cannot ")) << run.err;
  EXPECT_NE(run.err.find(input.string() + c.message), std::string::npos) << run.err;
  EXPECT_EQ(folder.listing(), before);
}

INSTANTIATE_TEST_SUITE_P(BadInput, Refused, testing::ValuesIn(kRefusals),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(BadInput, AFileWithoutReadPermissionIsRefused) {
  TempFolder folder;
  writeBytes(folder / "in.csv", "1,2\r\n3,4\r\n");
  ::chmod((folder / "in.csv").c_str(), 0);
  ChildSetup setup;
  // Root reads anything; a child that is nobody does not.
  if (::geteuid() == 0 && !vorlet::testing_process::asNobody(setup)) {
    GTEST_SKIP() << "no unprivileged user to read as";
  }
  const std::string before = folder.listing();
  const Outcome run = runThin(
      {"-n", "2", (folder / "in.csv").string(), "-o", (folder / "out.csv").string()}, setup);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot open " + (folder / "in.csv").string() + ": permission denied"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(folder.listing(), before);
}

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
TEST(BadInput, StandardInputBeyondTheMemoryLimitIsRefused) {
  if (kSanitized) GTEST_SKIP() << "a memory limit and the address sanitizer do not mix";
  TempFolder folder;
  int feed[2];
  ASSERT_EQ(::pipe2(feed, O_CLOEXEC), 0);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);  // the child stops reading early
  ChildSetup setup;
  setup.input = feed[0];
  setup.addressSpace = kMemoryLimit;
  TempFolder io;
  const pid_t child = vorlet::testing_process::startThin(
      {"-n", "2", "-", "-o", (folder / "out.csv").string()}, io / "stdout", io / "stderr", setup);
  ::close(feed[0]);
  const std::string block = repeated(kRecord, (1 << 20) / kRecord.size());
  for (std::size_t sent = 0; sent < kRecordsBeyondTheLimit * kRecord.size();) {
    const ssize_t n = ::write(feed[1], block.data(), block.size());
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  ::close(feed[1]);
  const Outcome run = vorlet::testing_process::finish(child, io / "stdout", io / "stderr",
                                                      std::chrono::seconds(60));
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot open standard input: too large for the memory available"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(folder.listing(), "");
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
std::string tableRoad(const fs::path& path, int interval, vorlet::ThinMode mode) {
  auto opened = vorlet::readDelimitedFile(path);
  if (auto* error = std::get_if<vorlet::FileError>(&opened)) return vorlet::describe(*error);
  auto& file = std::get<vorlet::OpenedTable>(opened);
  vorlet::SharedVariables vars;
  vars.SourceTable = std::move(file.table);
  vorlet::ThinTable(vars, vorlet::Cell::text(std::to_string(interval)),
                    vorlet::Cell::integer16(static_cast<std::int16_t>(mode)));
  return vorlet::savedFileBytes(vars.ResultTable, file.encoding);
}

struct LargeInput {
  const char* name;
  std::string (*make)();
  int interval;
  vorlet::ThinMode mode;
};

const LargeInput kLargeInputs[] = {
    {"SingleLineOf20MB", [] { return numbersOnOneLine(4'000'000); }, 2, vorlet::ThinMode::Simple},
    {"SingleFieldOf20MB", [] { return std::string(20 << 20, 'x') + "\r\n" + "y\r\n"; }, 2,
     vorlet::ThinMode::Simple},
    {"FirstRecordOfAMillionFields", millionFieldsFirst, 2, vorlet::ThinMode::Simple},
    {"FirstRecordOfAMillionFieldsAveraged", millionFieldsFirst, 2, vorlet::ThinMode::Average},
    {"HundredThousandRaggedRecords", raggedRecords, 3, vorlet::ThinMode::Simple},
    {"HundredThousandRaggedRecordsAveraged", raggedRecords, 3, vorlet::ThinMode::Average},
    // The quote never closes: the whole file is one field of one record.
    {"UnclosedQuoteAtTheStart", unclosedQuoteFirst, 2, vorlet::ThinMode::Simple},
};

class Large : public testing::TestWithParam<LargeInput> {};

TEST_P(Large, GivesTheWindowsBytes) {
  const LargeInput& c = GetParam();
  TempFolder folder;
  writeBytes(folder / "in.csv", c.make());
  const bool average = c.mode == vorlet::ThinMode::Average;
  const Outcome run =
      runThin({"-n", std::to_string(c.interval), "-m", average ? "average" : "simple",
               (folder / "in.csv").string(), "-o", (folder / "out.csv").string()});
  EXPECT_FALSE(run.hung);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string expected = tableRoad(folder / "in.csv", c.interval, c.mode);
  const std::string written = readBytes(folder / "out.csv");
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

INSTANTIATE_TEST_SUITE_P(BadInput, Large, testing::ValuesIn(kLargeInputs),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
