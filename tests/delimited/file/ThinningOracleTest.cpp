// Both roads of thinning (open, ThinTable and save; the stream in chunks of many sizes) against
// the reference reader's records thinned by a loop straight from the rules: the same bytes.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "delimited/FileRoad.h"
#include "delimited/JoinDelimited.h"
#include "delimited/StreamPipeline.h"
#include "support/CsvGenerator.h"
#include "support/ReferenceNumbers.h"
#include "support/ReferenceReader.h"
#include "support/TableCells.h"
#include "support/TempFolder.h"
#include "thinning/ThinTable.h"

namespace vorlet {
namespace {

namespace fs = std::filesystem;
using testing::referenceFormat;
using testing::referenceLfLineEnds;
using testing::referenceParse;
using testing::referenceRecords;
using testing_files::TempFolder;
using testing_files::writeBytes;

// The bytes a save writes for the records thinned by the rules: complete groups of N records
// from the first. Simple keeps each group's first record, its fields quoted by the saving rule,
// a missing field written as nothing. Average keeps each field's mean, as the reference formatter
// writes it: a single-precision sum, each addition done in double, of the cells that are numbers
// (a missing field is an empty cell, which adds 0; anything else, the empty text included, adds
// nothing), divided by N. The line end after each record and once more at the end.
std::string referenceSaved(const std::vector<std::vector<std::string>>& records, std::size_t n,
                           ThinMode mode, bool bom, LineEnd lineEnd) {
  const SavedFieldWriter appendField = savedFieldWriter(lineEnd);
  std::string bytes = bom ? "\xEF\xBB\xBF" : "";
  const std::size_t fields = records.empty() ? 0 : records[0].size();
  for (std::size_t group = 0; (group + 1) * n <= records.size(); ++group) {
    for (std::size_t f = 0; f < fields; ++f) {
      if (f > 0) bytes += ',';
      if (mode == ThinMode::Simple) {
        const auto& record = records[group * n];
        if (f < record.size()) appendField(bytes, record[f]);
        continue;
      }
      float sum = 0;
      for (std::size_t k = 0; k < n; ++k) {
        const auto& record = records[group * n + k];
        const Result<double> number = f < record.size() ? referenceParse(record[f]) : 0.0;
        const auto next = static_cast<float>(static_cast<double>(sum) + number.value());
        if (number && std::isfinite(next)) sum = next;
      }
      bytes +=
          referenceFormat(static_cast<float>(static_cast<double>(sum) / static_cast<float>(n)));
    }
    bytes += lineEndText(lineEnd);
  }
  return bytes + std::string(lineEndText(lineEnd));
}

// Odd cells in either encoding.
const char* const kCommon[] = {
    "",           " 12 ", "\t-3e2", "1e39",    "-1e39",   "3.4e38",        "-0",
    "+.5",        "5.",   "1e-50",  "abc",     "nan",     "1717200000010", "123456789012345678",
    "0.1e1",      "1\r2", "3\n4",   "x\"y",    "\"1,5\"", "\"2\"",         "\"a\"\"b\"",
    "\"x\r\ny\"", "\"\"", "\"7\"z", "\"ab\"x", "\"open",  "\"1\r\n2\",3"};
// Line ends next to quotes, where LF files part from CR LF ones.
const char* const kLineEnds[] = {"\"a\nb\"", "1\r", "\"q\"\"\n\""};

// Measurement lines with, now and then or densely, odd cells the rules must notice: blanks,
// exponents, signs, values beyond the single range, negative zero, texts, quotes doubled, dropped
// or never closed, line ends inside quotes, lone CR and LF, ragged records, and characters of
// several bytes right after a closing quote (the one place where characters, not bytes, count).
std::string oracleCsv(testing::CsvGenerator& generator, int encoding, std::size_t records,
                      std::string_view lineEnd) {
  static const std::array<std::vector<std::string>, 2> kOdd = [] {
    std::vector<std::string> common(std::begin(kCommon), std::end(kCommon));
    common.insert(common.end(), std::begin(kLineEnds), std::end(kLineEnds));
    // Characters of several bytes, in each encoding; weighted to a fifth of the odd cells.
    const std::vector<std::string> multibyte[2] = {
        {"\xC3\xA9", "\"q\"\xE3\x81\x82", "\"\xE6\x97\xA5\"\xF0\x9F\x98\x80x"},
        {"\x82\xA0", "\"q\"\x82\xA0", "\xB1", "\x95\x5C", "\"\x93\xFA\"\x82\xA0x"}};
    std::array<std::vector<std::string>, 2> all{common, common};
    for (std::size_t e = 0; e < 2; ++e) {
      while (all[e].size() < common.size() * 5 / 4) {
        all[e].insert(all[e].end(), multibyte[e].begin(), multibyte[e].end());
      }
    }
    return all;
  }();
  const std::string bom = encoding == 1 ? "\xEF\xBB\xBF" : "";
  return bom + generator.lines(records, ',', lineEnd, kOdd[encoding == 2 ? 1 : 0]);
}

// The stream's bytes; with `startOver`, into a sink that can start over (as a temporary file
// can), counting how often it did in `*startedOver`.
std::string streamBytes(const fs::path& path, StreamSettings settings, int* startedOver = nullptr,
                        StreamSummary* summary = nullptr) {
  auto opened = InputFile::open(path);
  if (auto* error = std::get_if<FileError>(&opened)) return "error: " + describe(*error);
  std::string out;
  if (startedOver != nullptr) {
    settings.startOver = [&] {
      out.clear();
      ++*startedOver;
      return std::optional<FileError>{};
    };
  }
  const auto result = thinStream(std::get<InputFile>(opened), settings, [&out](std::string_view b) {
    out += b;
    return std::optional<FileError>{};
  });
  if (auto* error = std::get_if<FileError>(&result)) return "error: " + describe(*error);
  if (summary != nullptr) *summary = std::get<StreamSummary>(result);
  return out;
}

TEST(ThinningOracle, BothRoadsThinAsTheRulesSay) {
  TempFolder folder;
  testing::CsvGenerator generator(20240613);
  std::mt19937 random(11);
  // Records straddle the reads of the small chunks; large files take only the first five.
  const std::size_t chunks[] = {8 << 20, 1 << 16, 4096, 300, 64, 13, 8, 5, 3, 2, 1};
  for (int round = 0; round < 900; ++round) {
    const int encoding = static_cast<int>(random() % 3);  // UTF-8, with BOM, Shift-JIS
    // Now and then a file big enough for the helper threads to take a share.
    const std::size_t records = round % 75 == 0   ? 15000 + random() % 10000
                                : round % 50 == 0 ? 3000 + random() % 3000
                                                  : random() % 80;
    // A third of the files end their lines in LF alone.
    const std::string input =
        oracleCsv(generator, encoding, records, round % 3 == 0 ? "\n" : "\r\n");
    // A fresh name each round: rewriting a truncated file makes ext4 flush it on close.
    const fs::path path = folder / ("in" + std::to_string(round) + ".csv");
    writeBytes(path, input);

    auto opened = readDelimitedFile(path);
    if (auto* error = std::get_if<FileError>(&opened)) {
      // Only the empty file and the byte order mark alone are refused here.
      EXPECT_EQ(error->kind, FileError::Kind::NoRecords) << ::testing::PrintToString(input);
      continue;
    }
    auto& table = std::get<OpenedTable>(opened);
    const bool bom = encoding == 1;
    const CharSet charset =
        table.encoding == TextEncoding::ShiftJis ? CharSet::ShiftJis : CharSet::Utf8;
    const std::string_view text = std::string_view(input).substr(bom ? 3 : 0);
    const LineEnd lineEnd = referenceLfLineEnds(text, charset) ? LineEnd::Lf : LineEnd::CrLf;
    ASSERT_EQ(table.lineEnd, lineEnd) << ::testing::PrintToString(input);
    const auto references =
        referenceRecords(text, charset, {',', std::string_view(lineEndText(lineEnd)), '"'});

    SharedVariables vars;
    vars.SourceTable = std::move(table.table);
    for (const std::int16_t n : {std::int16_t{2}, static_cast<std::int16_t>(2 + random() % 12)}) {
      for (const ThinMode mode : {ThinMode::Simple, ThinMode::Average}) {
        SCOPED_TRACE("interval " + std::to_string(n) +
                     (mode == ThinMode::Simple ? " simple" : " average"));
        const std::string bytes =
            referenceSaved(references, static_cast<std::size_t>(n), mode, bom, lineEnd);
        thinTable(vars, ThinSettings{n, mode});
        ASSERT_EQ(savedFileBytes(vars.ResultTable, table.encoding, lineEnd), bytes)
            << ::testing::PrintToString(input);
        const StreamSettings settings{{n, mode},
                                      chunks[random() % (records > 100 ? 5 : std::size(chunks))]};
        // Every other stream goes to a sink that can start over: it is read once.
        int startedOver = 0;
        ASSERT_EQ(streamBytes(path, settings, round % 2 == 0 ? &startedOver : nullptr), bytes)
            << ::testing::PrintToString(input) << " in chunks of " << settings.chunkSize;
      }
    }
  }
}

// An LF file was read as one record; both roads now read its records and write LF.
TEST(BothRoads, ReadUnixLineEnds) {
  TempFolder folder;
  writeBytes(folder / "in.csv", "t,v\n1,2\n\"a\nb\",3\n4,5\n");
  auto opened = readDelimitedFile(folder / "in.csv");
  ASSERT_TRUE(std::holds_alternative<OpenedTable>(opened));
  auto& table = std::get<OpenedTable>(opened);
  EXPECT_EQ(table.lineEnd, LineEnd::Lf);
  EXPECT_EQ(testing::cellsOf(table.table),
            (testing::Records{{"t", "v"}, {"1", "2"}, {"a\nb", "3"}, {"4", "5"}}));
  SharedVariables vars;
  vars.SourceTable = std::move(table.table);
  thinTable(vars, ThinSettings{2, ThinMode::Simple});
  const std::string expected = "t,v\n\"a\nb\",3\n\n";
  EXPECT_EQ(savedFileBytes(vars.ResultTable, table.encoding, table.lineEnd), expected);
  EXPECT_EQ(streamBytes(folder / "in.csv", {{2, ThinMode::Simple}, 5}), expected);
}

// A Shift-JIS file is read as UTF-8 until its end, where a sink that can start over learns
// the encoding. Only a quote before a character and a line end parts the readings: then the sink
// starts over and gets what the table road gives, else it keeps the bytes it got.
TEST(StreamPipeline, StartsOverOnlyWhereShiftJisReadsOtherwise) {
  TempFolder folder;
  for (const bool parting : {true, false}) {
    std::string input = "t,v\r\n\"" + std::string(100, 'q') + "\"" + (parting ? "\x82\xA0" : ",1");
    for (int i = 0; i < 50; ++i) input += "\r\n\x93\xFA," + std::to_string(i);
    writeBytes(folder / "in.csv", input);
    auto opened = readDelimitedFile(folder / "in.csv");
    ASSERT_TRUE(std::holds_alternative<OpenedTable>(opened));
    auto& table = std::get<OpenedTable>(opened);
    SharedVariables vars;
    vars.SourceTable = std::move(table.table);
    thinTable(vars, ThinSettings{2, ThinMode::Simple});
    int startedOver = 0;
    StreamSummary summary;
    EXPECT_EQ(streamBytes(folder / "in.csv", {{2, ThinMode::Simple}, 16}, &startedOver, &summary),
              savedFileBytes(vars.ResultTable, table.encoding, table.lineEnd));
    EXPECT_EQ(startedOver, parting ? 1 : 0);
    EXPECT_EQ(summary.encoding, TextEncoding::ShiftJis);
  }
}

// A refusal comes before any output of the streaming road, however late the offending byte.
TEST(StreamPipeline, RefusesBeforeWritingAnything) {
  TempFolder folder;
  std::string input;
  for (int i = 0; i < 500; ++i) input += "1,2\r\n";
  for (const char* tail : {"\xFF", "\0"}) {
    writeBytes(folder / "in.csv", input + std::string(tail, 1));
    auto opened = InputFile::open(folder / "in.csv");
    bool wrote = false;
    const auto result =
        thinStream(std::get<InputFile>(opened), {{2, ThinMode::Simple}, 16}, [&](std::string_view) {
          wrote = true;
          return std::optional<FileError>{};
        });
    ASSERT_TRUE(std::holds_alternative<FileError>(result));
    EXPECT_FALSE(wrote);
  }
}

}  // namespace
}  // namespace vorlet
