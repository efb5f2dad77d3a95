// Inputs refused for their kind of file or for changing while read, and large odd valid inputs:
// both pipelines refuse alike or give the same bytes.
#include "delimited/InputFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <variant>

#include "delimited/FileRoad.h"
#include "delimited/StreamPipeline.h"
#include "support/TempFolder.h"
#include "thinning/ThinTable.h"

namespace vorlet {
namespace {

namespace fs = std::filesystem;
using Kind = FileError::Kind;
using namespace testing_files;

// The stream pipeline's bytes, or its refusal.
std::variant<std::string, FileError> streamRoad(const fs::path& path, const ThinSettings& thin) {
  auto opened = InputFile::open(path);
  if (auto* error = std::get_if<FileError>(&opened)) return *error;
  std::string bytes;
  const auto result = thinStream(std::get<InputFile>(opened), StreamSettings{thin},
                                 [&bytes](std::string_view block) -> std::optional<FileError> {
                                   bytes += block;
                                   return std::nullopt;
                                 });
  if (auto* error = std::get_if<FileError>(&result)) return *error;
  return bytes;
}

// The table pipeline's bytes, or its refusal.
std::variant<std::string, FileError> tableRoad(const fs::path& path, const ThinSettings& thin) {
  auto opened = readDelimitedFile(path);
  if (auto* error = std::get_if<FileError>(&opened)) return *error;
  auto& file = std::get<OpenedTable>(opened);
  SharedVariables vars;
  vars.SourceTable = std::move(file.table);
  thinTable(vars, thin);
  return savedFileBytes(vars.ResultTable, file.encoding);
}

std::optional<Kind> refusal(const std::variant<std::string, FileError>& result) {
  if (const auto* error = std::get_if<FileError>(&result)) return error->kind;
  return std::nullopt;
}

struct KindOfFile {
  const char* name;
  fs::path (*make)(const TempFolder&);  // the input's path
  Kind table;                           // the window's refusal
  Kind stream;                          // the command line's
};
const KindOfFile kKinds[] = {
    {"Folder", [](const TempFolder& f) { return f.path(); }, Kind::NotRegular, Kind::NotRegular},
    // Refused without being opened: opening it would wait for a writer.
    {"Fifo",
     [](const TempFolder& f) {
       ::mkfifo((f / "fifo").c_str(), 0600);
       return f / "fifo";
     },
     Kind::NotRegular, Kind::NotRegular},
    {"Device", [](const TempFolder&) { return fs::path("/dev/zero"); }, Kind::NotRegular,
     Kind::NotRegular},
    {"Missing", [](const TempFolder& f) { return f / "missing.csv"; }, Kind::NotFound,
     Kind::NotFound},
    // One endless line of NUL bytes: the stream refuses it at the first, before the line fills
    // the memory; the window knows at once that it would not fit.
    {"SparseTerabyte",
     [](const TempFolder& f) {
       writeBytes(f / "in.csv", "");
       fs::resize_file(f / "in.csv", std::uintmax_t{1} << 40);
       return f / "in.csv";
     },
     Kind::TooLarge, Kind::Binary},
    // Claims to be empty, then has bytes: a file that changed between its size and its reading.
    {"SizeDisagreesWithContent", [](const TempFolder&) { return fs::path("/proc/self/status"); },
     Kind::ChangedSize, Kind::ChangedSize},
};

class ByKind : public testing::TestWithParam<KindOfFile> {};

TEST_P(ByKind, BothPipelinesRefuse) {
  TempFolder folder;
  const fs::path input = GetParam().make(folder);
  const ThinSettings thin{2, ThinMode::Simple};
  EXPECT_EQ(refusal(tableRoad(input, thin)), GetParam().table);
  EXPECT_EQ(refusal(streamRoad(input, thin)), GetParam().stream);
}

INSTANTIATE_TEST_SUITE_P(InputFile, ByKind, testing::ValuesIn(kKinds),
                         [](const auto& test) { return std::string(test.param.name); });

// Root reads anything: the reading is done by a child that is nobody.
TEST(InputFile, NoReadPermissionIsRefused) {
  TempFolder folder;
  ::close(::open((folder / "in.csv").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0));
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() == 0 && (nobody == nullptr || nobody->pw_uid == 0)) {
    GTEST_SKIP() << "no unprivileged user to read as";
  }
  const auto readAsNobody = [&] {
    if (::geteuid() == 0 && (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)) {
      std::_Exit(3);
    }
    const ThinSettings thin{2, ThinMode::Simple};
    const bool table = refusal(tableRoad(folder / "in.csv", thin)) == Kind::NoPermission;
    const bool stream = refusal(streamRoad(folder / "in.csv", thin)) == Kind::NoPermission;
    std::_Exit(table && stream ? 0 : 1);
  };
  EXPECT_EXIT(readAsNobody(), testing::ExitedWithCode(0), "");
}

// An appender keeps the file growing while it is read. Should the reader ever get through
// between two appends, it is tried again.
TEST(InputFile, AFileThatGrowsWhileItIsReadIsRefused) {
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
  std::optional<Kind> stream;
  for (int attempt = 0; attempt < 5 && stream != Kind::ChangedSize; ++attempt) {
    stream = refusal(streamRoad(input, ThinSettings{2, ThinMode::Simple}));
  }
  stop = true;
  appender.join();
  EXPECT_EQ(stream, Kind::ChangedSize);
}

struct LargeInput {
  const char* name;
  std::string (*make)();
  ThinSettings thin;
};
std::string millionFieldsFirst() {
  std::string text = "1";
  for (int i = 2; i <= 1'000'000; ++i) text += ',' + std::to_string(i);
  return text + "\r\na\r\nb\r\nc\r\n";
}
const LargeInput kLargeInputs[] = {
    {"SingleLineOf20MB",
     [] {
       std::string text = "1000";
       for (int i = 1; i < 4'000'000; ++i) text += ',' + std::to_string(1000 + i % 9000);
       return text;
     },
     {2, ThinMode::Simple}},
    {"FirstRecordOfAMillionFields", millionFieldsFirst, {2, ThinMode::Simple}},
    {"FirstRecordOfAMillionFieldsAveraged", millionFieldsFirst, {2, ThinMode::Average}},
    {"HundredThousandRaggedRecords",  // records of 1 to 9 fields
     [] {
       std::string text = "a,b,c,d\r\n";
       for (int r = 1; r < 100'000; ++r) {
         const int width = 1 + (r * 7919) % 9;
         for (int f = 0; f < width; ++f) {
           text += std::to_string(r) + "." + std::to_string(f) + (f + 1 < width ? "," : "\r\n");
         }
       }
       return text;
     },
     {3, ThinMode::Simple}},
    // The quote never closes: the whole file is one field of one record.
    {"UnclosedQuoteAtTheStart",
     [] {
       std::string text = "\"";
       return text += repeated("1,2\r\n", 1'000'000);
     },
     {2, ThinMode::Simple}},
};

class Large : public testing::TestWithParam<LargeInput> {};

TEST_P(Large, BothPipelinesGiveTheSameBytes) {
  TempFolder folder;
  writeBytes(folder / "in.csv", GetParam().make());
  const auto stream = streamRoad(folder / "in.csv", GetParam().thin);
  const auto table = tableRoad(folder / "in.csv", GetParam().thin);
  ASSERT_TRUE(std::holds_alternative<std::string>(stream));
  ASSERT_TRUE(std::holds_alternative<std::string>(table));
  EXPECT_EQ(std::get<std::string>(stream).size(), std::get<std::string>(table).size());
  EXPECT_TRUE(std::get<std::string>(stream) == std::get<std::string>(table));
}

INSTANTIATE_TEST_SUITE_P(InputFile, Large, testing::ValuesIn(kLargeInputs),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace vorlet
