#include "delimited/StreamThinner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <random>
#include <string>
#include <thread>

#include "TempFolder.h"
#include "thinning/Module2.h"

namespace vorlet {
namespace {

using testing_files::TempFolder;
using testing_files::writeBytes;
namespace fs = std::filesystem;
using Road = std::variant<std::string, FileError>;

// The window's road: open, thin, the bytes a save writes.
Road tableRoad(const fs::path& path, std::int16_t interval, ThinMode mode) {
  auto opened = readDelimitedFile(path);
  if (auto* error = std::get_if<FileError>(&opened)) return *error;
  auto& table = std::get<OpenedTable>(opened);
  SharedVariables vars;
  vars.SourceTable = std::move(table.table);
  ThinTable(vars, Cell::text(std::to_string(interval)),
            Cell::integer16(static_cast<std::int16_t>(mode)));
  return savedFileBytes(vars.ResultTable, table.encoding);
}

Road streamRoad(InputFile& input, const StreamSettings& settings,
                StreamSummary* summary = nullptr) {
  std::string out;
  const auto result = thinStream(input, settings, [&out](std::string_view bytes) {
    out += bytes;
    return std::optional<FileError>{};
  });
  if (auto* error = std::get_if<FileError>(&result)) return *error;
  if (summary != nullptr) *summary = std::get<StreamSummary>(result);
  return out;
}

Road streamFile(const fs::path& path, const StreamSettings& settings,
                StreamSummary* summary = nullptr) {
  auto opened = InputFile::open(path);
  if (auto* error = std::get_if<FileError>(&opened)) return *error;
  return streamRoad(std::get<InputFile>(opened), settings, summary);
}

Road streamPipe(const std::string& bytes, const StreamSettings& settings) {
  std::array<int, 2> ends{};
  if (::pipe(ends.data()) != 0) return FileError{};
  std::thread writer([&] {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = ::write(ends[1], bytes.data() + at, bytes.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(ends[1]);
  });
  auto input = InputFile::borrow(ends[0], "pipe");
  Road road = streamRoad(std::get<InputFile>(input), settings);
  writer.join();
  ::close(ends[0]);
  return road;
}

void expectSameRoad(const Road& table, const Road& stream, const std::string& input) {
  if (const auto* error = std::get_if<FileError>(&table)) {
    ASSERT_TRUE(std::holds_alternative<FileError>(stream)) << testing::PrintToString(input);
    EXPECT_EQ(std::get<FileError>(stream).kind, error->kind) << testing::PrintToString(input);
    return;
  }
  ASSERT_TRUE(std::holds_alternative<std::string>(stream))
      << describe(std::get<FileError>(stream)) << testing::PrintToString(input);
  EXPECT_EQ(std::get<std::string>(stream), std::get<std::string>(table))
      << testing::PrintToString(input);
}

// Random small files that go through every reading rule: quotes, doubled and dropped quotes,
// line ends inside quotes, lone CR and LF, ragged records, multibyte characters right after a
// closing quote (the one place where characters, not bytes, are counted), both encodings.
class CsvGenerator {
 public:
  explicit CsvGenerator(unsigned seed) : random_(seed) {}

  std::string file() {
    const int encoding = pick(3);  // UTF-8, UTF-8 with BOM, Shift-JIS
    std::string text = encoding == 1 ? "\xEF\xBB\xBF" : "";
    const int records = pick(30);
    for (int r = 0; r < records; ++r) {
      const int fields = 1 + pick(5);
      for (int f = 0; f < fields; ++f) {
        if (f > 0) text += ',';
        text += field(encoding == 2);
      }
      if (r + 1 < records || pick(2) == 0) text += "\r\n";
    }
    return text;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  template <std::size_t N>
  const char* any(const char* const (&choices)[N]) {
    return choices[pick(static_cast<int>(N))];
  }

  std::string field(bool shiftJis) {
    static const char* const kPlain[] = {"1",   "-2.5", "1e3",  " 7 ",  "16777217", "0.1",
                                         "abc", "",     "a\rb", "c\nd", "x\"y",     "3"};
    static const char* const kQuoted[] = {"\"a,b\"", "\"x\"\"y\"", "\"two\r\nlines\"",
                                          "\"q\"z",  "\"ab\"x",    "\"\"",
                                          "\"open",  "\"4\"",      "\"1\r\n2\",3"};
    static const char* const kUtf8[] = {"\xE3\x81\x82", "\xC3\xA9", "\"ab\"\xE3\x81\x82",
                                        "\"\xE6\x97\xA5\"\xF0\x9F\x98\x80x"};
    static const char* const kShiftJis[] = {"\x82\xA0", "\xB1", "\x95\x5C", "\"ab\"\x82\xA0",
                                            "\"\x93\xFA\"\x82\xA0x"};
    switch (pick(4)) {
      case 0:
        return any(kQuoted);
      case 1:
        return shiftJis ? any(kShiftJis) : any(kUtf8);
      default:
        return any(kPlain);
    }
  }

  std::mt19937 random_;
};

TEST(StreamThinner, BothRoadsWriteTheSameBytes) {
  TempFolder folder;
  CsvGenerator generator(20240601);
  std::mt19937 random(7);
  const std::int16_t intervals[] = {2, 3, 4, 7};
  const std::size_t chunks[] = {1, 2, 3, 5, 8, 13, 64, 1 << 16};
  for (int round = 0; round < 1500; ++round) {
    const std::string input = generator.file();
    // A fresh name each round: rewriting a truncated file makes ext4 flush it on close.
    const fs::path path = folder / ("input" + std::to_string(round) + ".csv");
    writeBytes(path, input);
    StreamSettings settings;
    settings.interval = intervals[random() % std::size(intervals)];
    settings.mode = random() % 2 == 0 ? ThinMode::Simple : ThinMode::Average;
    settings.chunkSize = chunks[random() % std::size(chunks)];
    const Road table = tableRoad(path, settings.interval, settings.mode);
    expectSameRoad(table, streamFile(path, settings), input);
    if (round % 10 == 0) expectSameRoad(table, streamPipe(input, settings), input);
    if (HasFailure()) break;
  }
}

// The verdict comes before any output, however late the offending byte.
TEST(StreamThinner, RefusesBeforeWritingAnything) {
  TempFolder folder;
  std::string input;
  for (int i = 0; i < 500; ++i) input += "1,2\r\n";
  for (const char* tail : {"\xFF", "\0"}) {
    writeBytes(folder / "in.csv", input + std::string(tail, 1));
    auto opened = InputFile::open(folder / "in.csv");
    bool wrote = false;
    const auto result =
        thinStream(std::get<InputFile>(opened), {2, ThinMode::Simple, 16}, [&](std::string_view) {
          wrote = true;
          return std::optional<FileError>{};
        });
    ASSERT_TRUE(std::holds_alternative<FileError>(result));
    EXPECT_FALSE(wrote);
  }
}

}  // namespace
}  // namespace vorlet
