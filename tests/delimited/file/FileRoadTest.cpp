#include "delimited/FileRoad.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "TempFolder.h"
#include "thinning/Module2.h"

namespace vorlet {
namespace {

using testing_files::readBytes;
using testing_files::TempFolder;
using testing_files::writeBytes;
using Kind = FileError::Kind;
namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";

fs::path fileWith(const TempFolder& folder, const std::string& bytes) {
  const fs::path path = folder / "input.csv";
  writeBytes(path, bytes);
  return path;
}

struct RefusalCase {
  const char* name;
  std::function<fs::path(const TempFolder&)> make;
  Kind kind;
  std::uint64_t offset = 0;
};

const RefusalCase kRefusals[] = {
    {"NulByte", [](auto& f) { return fileWith(f, std::string("a,b\r\n\0", 6)); }, Kind::Binary, 5},
    {"Utf16WithBom",
     [](auto& f) {
       return fileWith(f, std::string("\xFF\xFE"
                                      "a\0,\0",
                                      6));
     },
     Kind::Binary, 3},
    {"InvalidBytes", [](auto& f) { return fileWith(f, "a,b\r\nc,\xFF\r\n"); }, Kind::Undecodable,
     7},
    {"EmptyFile", [](auto& f) { return fileWith(f, ""); }, Kind::NoRecords},
    {"BomAlone", [](auto& f) { return fileWith(f, kBom); }, Kind::NoRecords},
    {"Folder",
     [](auto& f) {
       fs::create_directory(f / "folder.csv");
       return f / "folder.csv";
     },
     Kind::NotRegular},
    {"Fifo",  // must be refused without waiting for a writer
     [](auto& f) {
       ::mkfifo((f / "pipe.csv").c_str(), 0600);
       return f / "pipe.csv";
     },
     Kind::NotRegular},
    {"MissingFile", [](auto& f) { return f / "missing.csv"; }, Kind::NotFound},
    {"MissingFolder", [](auto& f) { return f / "missing" / "x.csv"; }, Kind::NotFound},
};

class Refusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, NamesThePathAndTheReason) {
  TempFolder folder;
  const fs::path path = GetParam().make(folder);
  const auto result = readDelimitedFile(path);
  ASSERT_TRUE(std::holds_alternative<FileError>(result));
  const FileError& error = std::get<FileError>(result);
  EXPECT_EQ(error.kind, GetParam().kind);
  EXPECT_EQ(error.path, path.string());
  EXPECT_EQ(error.offset, GetParam().offset);
  EXPECT_NE(describe(error).find(path.string()), std::string::npos) << describe(error);
}

INSTANTIATE_TEST_SUITE_P(FileRoad, Refusal, testing::ValuesIn(kRefusals),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(FileRoad, RefusesAFileItCannotRead) {
  if (testing_files::runningAsRoot()) GTEST_SKIP() << "root reads every file";
  TempFolder folder;
  const fs::path path = fileWith(folder, "1,2\r\n");
  fs::permissions(path, fs::perms::none);
  const auto result = readDelimitedFile(path);
  ASSERT_TRUE(std::holds_alternative<FileError>(result));
  EXPECT_EQ(std::get<FileError>(result).kind, Kind::NoPermission);
}

// /proc files claim size 0 and then deliver bytes: the read must notice the mismatch.
TEST(FileRoad, RefusesAFileWhoseSizeChangesWhileRead) {
  if (!fs::exists("/proc/self/status")) GTEST_SKIP() << "no /proc";
  const auto result = readDelimitedFile("/proc/self/status");
  ASSERT_TRUE(std::holds_alternative<FileError>(result));
  EXPECT_EQ(std::get<FileError>(result).kind, Kind::ReadFailed);
}

// Reads, thins and saves the way the window does.
std::string openThinSave(const std::string& bytes, const char* interval, std::int16_t mode,
                         TextEncoding* encoding = nullptr) {
  TempFolder folder;
  auto opened = readDelimitedFile(fileWith(folder, bytes));
  if (!std::holds_alternative<OpenedTable>(opened)) {
    ADD_FAILURE() << describe(std::get<FileError>(opened));
    return {};
  }
  auto& table = std::get<OpenedTable>(opened);
  if (encoding != nullptr) *encoding = table.encoding;
  SharedVariables vars;
  vars.SourceTable = std::move(table.table);
  ThinTable(vars, Cell::text(interval), Cell::integer16(mode));
  const fs::path saved = folder / "saved.csv";
  if (const auto error = saveDelimitedFile(vars.ResultTable, table.encoding, saved)) {
    ADD_FAILURE() << describe(*error);
  }
  return readBytes(saved);
}

TEST(FileRoad, ShiftJisBytesSurviveOpenThinAndSave) {
  // 表 (95 5C) has a backslash as its trail byte; ｱｲ are single-byte katakana.
  const std::string kept1 = "\x95\x5C\x8E\xA6,\xB1\xB2,\x82\xA0\x82\xA2";
  const std::string kept2 = "\x93\xFA\x96\x7B,12.5,";
  const std::string bytes = kept1 + "\r\nx,y,z\r\n" + kept2 + "\r\n\x82\xA4,1,2\r\nlast\r\n";
  TextEncoding encoding = TextEncoding::Utf8;
  EXPECT_EQ(openThinSave(bytes, "2", 0, &encoding), kept1 + "\r\n" + kept2 + "\r\n\r\n");
  EXPECT_EQ(encoding, TextEncoding::ShiftJis);
}

TEST(FileRoad, ByteOrderMarkComesBackInTheSavedFile) {
  TextEncoding encoding = TextEncoding::Utf8;
  EXPECT_EQ(openThinSave(kBom + "a,b\r\n1,2\r\n3,4\r\n5,6\r\n", "2", 0, &encoding),
            kBom + "a,b\r\n3,4\r\n\r\n");
  EXPECT_EQ(encoding, TextEncoding::Utf8WithBom);
  EXPECT_EQ(openThinSave(kBom + "1,2\r\n3,4\r\n", "2", 1), kBom + "2,3\r\n\r\n");
}

TEST(FileRoad, NoThinnedRecordSavesTheLineEndAlone) {
  EXPECT_EQ(openThinSave("1,2\r\n3,4\r\n", "5", 0), "\r\n");
  EXPECT_EQ(openThinSave(kBom + "1,2\r\n", "2", 1), kBom + "\r\n");
}

}  // namespace
}  // namespace vorlet
