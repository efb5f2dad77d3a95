// Both roads of thinning against the rules read the slow, obvious way: the reference reader's
// records, thinned by a loop straight from the thinning rules, with means written by the
// reference formatter. The window's road (open, ThinTable, the bytes a save writes) and the
// command line's streaming road (in chunks of many sizes, so that the encoding check runs beside
// it and Shift-JIS files are read again) must give exactly those results.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "../ReferenceNumbers.h"
#include "../ReferenceReader.h"
#include "TempFolder.h"
#include "delimited/FileRoad.h"
#include "delimited/Module3.h"
#include "delimited/StreamThinner.h"
#include "thinning/Module2.h"

namespace vorlet {
namespace {

namespace fs = std::filesystem;
using testing::referenceFormat;
using testing::referenceParse;
using testing::referenceRecords;
using testing_files::TempFolder;
using testing_files::writeBytes;

// A thinned record: texts in simple mode (nullopt where the source record had no such field),
// means in average mode.
struct Thinned {
  std::vector<std::optional<std::string>> texts;
  std::vector<float> means;
};

// Complete groups of N records from the first; simple keeps each group's first record, average
// keeps each field's mean: a single-precision sum, each addition done in double, of the cells
// that are numbers (a missing field is an empty cell, which adds 0; anything else, the empty
// text included, adds nothing), divided by N.
std::vector<Thinned> referenceThin(const std::vector<std::vector<std::string>>& records,
                                   std::size_t n, ThinMode mode) {
  std::vector<Thinned> result;
  if (records.empty()) return result;
  const std::size_t fields = records[0].size();
  for (std::size_t group = 0; (group + 1) * n <= records.size(); ++group) {
    Thinned& out = result.emplace_back();
    for (std::size_t f = 0; f < fields; ++f) {
      if (mode == ThinMode::Simple) {
        const auto& record = records[group * n];
        out.texts.push_back(f < record.size() ? std::optional(record[f]) : std::nullopt);
        continue;
      }
      float sum = 0;
      for (std::size_t k = 0; k < n; ++k) {
        const auto& record = records[group * n + k];
        double value = 0;
        if (f < record.size()) {
          const Result<double> number = referenceParse(record[f]);
          if (!number) continue;
          value = *number;
        }
        const auto next = static_cast<float>(static_cast<double>(sum) + value);
        if (std::isfinite(next)) sum = next;
      }
      out.means.push_back(static_cast<float>(static_cast<double>(sum) / static_cast<float>(n)));
    }
  }
  return result;
}

// The bytes a save writes for those records: fields quoted by the saving rule, means as the
// reference formatter writes them, CR LF after each record and once more at the end.
std::string referenceBytes(const std::vector<Thinned>& thinned, bool bom) {
  std::string bytes = bom ? "\xEF\xBB\xBF" : "";
  for (const Thinned& record : thinned) {
    const std::size_t fields = std::max(record.texts.size(), record.means.size());
    for (std::size_t f = 0; f < fields; ++f) {
      if (f > 0) bytes += ',';
      if (!record.means.empty()) {
        bytes += referenceFormat(record.means[f]);
      } else if (record.texts[f]) {
        appendSavedField(bytes, *record.texts[f]);
      }
    }
    bytes += "\r\n";
  }
  return bytes + "\r\n";
}

// Measurement lines with the odd cell the rules must notice: blanks, exponents, signs, values
// beyond the single range, negative zero, texts, quotes, lone CR and LF, ragged records.
class OracleCsv {
 public:
  explicit OracleCsv(unsigned seed) : random_(seed) {}

  std::string file(int encoding, std::size_t records) {
    std::string text = encoding == 1 ? "\xEF\xBB\xBF" : "";
    const std::size_t width = 1 + pick(6);
    for (std::size_t r = 0; r < records; ++r) {
      const std::size_t fields = pick(12) == 0 ? 1 + pick(8) : width;
      for (std::size_t f = 0; f < fields; ++f) {
        if (f > 0) text += ',';
        text += pick(10) == 0 ? odd(encoding == 2) : number();
      }
      if (r + 1 < records || pick(3) != 0) text += "\r\n";
    }
    return text;
  }

 private:
  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }

  std::string number() {
    std::string text = pick(3) == 0 ? "-" : "";
    text += std::to_string(pick(pick(2) == 0 ? 100 : 10'000'000));
    if (pick(4) != 0) {
      text += '.';
      for (std::size_t d = 1 + pick(6); d > 0; --d) text += static_cast<char>('0' + pick(10));
    }
    return text;
  }

  std::string odd(bool shiftJis) {
    static const char* const kOdd[] = {"",
                                       " 12 ",
                                       "\t-3e2",
                                       "1e39",
                                       "-1e39",
                                       "3.4e38",
                                       "-0",
                                       "+.5",
                                       "5.",
                                       "1e-50",
                                       "abc",
                                       "\"1,5\"",
                                       "\"2\"",
                                       "\"a\"\"b\"",
                                       "\"x\r\ny\"",
                                       "1\r2",
                                       "3\n4",
                                       "1717200000010",
                                       "123456789012345678",
                                       "0.1e1",
                                       "\"\"",
                                       "\"7\"z",
                                       "nan"};
    static const char* const kUtf8[] = {"\xC3\xA9", "\"q\"\xE3\x81\x82"};
    static const char* const kShiftJis[] = {"\x82\xA0", "\"q\"\x82\xA0", "\xB1"};
    if (pick(6) == 0) return shiftJis ? kShiftJis[pick(3)] : kUtf8[pick(2)];
    return kOdd[pick(std::size(kOdd))];
  }

  std::mt19937 random_;
};

std::string streamBytes(const fs::path& path, const StreamSettings& settings) {
  auto opened = InputFile::open(path);
  if (auto* error = std::get_if<FileError>(&opened)) return "error: " + describe(*error);
  std::string out;
  const auto result = thinStream(std::get<InputFile>(opened), settings, [&out](std::string_view b) {
    out += b;
    return std::optional<FileError>{};
  });
  if (auto* error = std::get_if<FileError>(&result)) return "error: " + describe(*error);
  return out;
}

void expectTable(const CellTable& result, const std::vector<Thinned>& expected, ThinMode mode,
                 const std::string& input) {
  ASSERT_EQ(result.recordCount(), static_cast<std::int64_t>(expected.size()) + 1)
      << ::testing::PrintToString(input);
  for (std::size_t r = 0; r < expected.size(); ++r) {
    const auto record = static_cast<std::int32_t>(r + 1);
    if (mode == ThinMode::Average) {
      for (std::size_t f = 0; f < expected[r].means.size(); ++f) {
        const Cell cell = result.cellAt(static_cast<std::int32_t>(f + 1), record);
        ASSERT_EQ(cell.kind(), CellKind::Single);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(cell.asSingle()),
                  std::bit_cast<std::uint32_t>(expected[r].means[f]))
            << ::testing::PrintToString(input) << " at " << f + 1 << ", " << record;
      }
      continue;
    }
    for (std::size_t f = 0; f < expected[r].texts.size(); ++f) {
      const Cell cell = result.cellAt(static_cast<std::int32_t>(f + 1), record);
      if (!expected[r].texts[f]) {
        ASSERT_TRUE(cell.isEmpty()) << ::testing::PrintToString(input);
      } else {
        ASSERT_TRUE(cell.isText());
        ASSERT_EQ(cell.asText(), *expected[r].texts[f]) << ::testing::PrintToString(input);
      }
    }
  }
}

TEST(ThinningOracle, BothRoadsThinAsTheRulesSay) {
  TempFolder folder;
  OracleCsv generator(20240613);
  std::mt19937 random(11);
  const std::size_t chunks[] = {7, 64, 300, 4096, 1 << 16, 8 << 20};
  for (int round = 0; round < 300; ++round) {
    const int encoding = static_cast<int>(random() % 3);  // UTF-8, with BOM, Shift-JIS
    // Now and then a file big enough for the helper threads to take a share.
    const std::size_t records = round % 25 == 0   ? 15000 + random() % 10000
                                : round % 10 == 0 ? 3000 + random() % 3000
                                                  : random() % 80;
    const std::string input = generator.file(encoding, records);
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
    const auto references = referenceRecords(std::string_view(input).substr(bom ? 3 : 0), charset);

    SharedVariables vars;
    vars.SourceTable = std::move(table.table);
    for (const std::int16_t n : {std::int16_t{2}, static_cast<std::int16_t>(2 + random() % 12)}) {
      for (const ThinMode mode : {ThinMode::Simple, ThinMode::Average}) {
        SCOPED_TRACE("interval " + std::to_string(n) +
                     (mode == ThinMode::Simple ? " simple" : " average"));
        const auto expected = referenceThin(references, static_cast<std::size_t>(n), mode);
        ASSERT_EQ(ThinTable(vars, Cell::text(std::to_string(n)),
                            Cell::integer16(static_cast<std::int16_t>(mode))),
                  ThinStatus::Done);
        expectTable(vars.ResultTable, expected, mode, input);
        const std::string bytes = referenceBytes(expected, bom);
        ASSERT_EQ(savedFileBytes(vars.ResultTable, table.encoding), bytes)
            << ::testing::PrintToString(input);
        StreamSettings settings;
        settings.interval = n;
        settings.mode = mode;
        settings.chunkSize = chunks[random() % std::size(chunks)];
        ASSERT_EQ(streamBytes(path, settings), bytes)
            << ::testing::PrintToString(input) << " in chunks of " << settings.chunkSize;
      }
    }
  }
}

// Tables with cells of every kind, as the window may hold them: ThinTable reads texts in place
// and everything else through the cell conversions; the means must not tell the difference.
TEST(ThinningOracle, AveragesOfCellsOfEveryKind) {
  std::mt19937 random(12);
  const auto pick = [&random](int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random);
  };
  auto block = std::make_shared<const std::string>("12.5,-3,abc,,1e39,0.1");
  for (int round = 0; round < 200; ++round) {
    const std::int32_t fields = 1 + pick(5);
    const std::int32_t records = pick(40);
    SharedVariables vars;
    vars.SourceTable.dimension(1, fields, 1, std::max(records, 1));
    const int id = vars.SourceTable.adopt(block);
    for (std::int32_t r = 1; r <= records; ++r) {
      for (std::int32_t f = 1; f <= fields; ++f) {
        switch (pick(8)) {
          case 0:
            vars.SourceTable.set(f, r,
                                 Cell::integer16(static_cast<std::int16_t>(pick(2000) - 1000)));
            break;
          case 1:
            vars.SourceTable.set(f, r, Cell::integer32(pick(2'000'000) - 1'000'000));
            break;
          case 2:
            vars.SourceTable.set(f, r, Cell::single(static_cast<float>(pick(1000)) / 7.0f));
            break;
          case 3:
            vars.SourceTable.set(f, r, Cell::real(pick(1000) / 3.0));
            break;
          case 4:
            vars.SourceTable.set(f, r, Cell::boolean(pick(2) == 0));
            break;
          case 5:
            break;  // empty
          case 6:
            vars.SourceTable.set(f, r, Cell::text(std::to_string(pick(100)) + ".25"));
            break;
          default: {
            const std::size_t starts[] = {0, 5, 8, 12, 13, 18};
            const std::size_t ends[] = {4, 7, 11, 12, 17, 21};
            const int which = pick(6);
            vars.SourceTable.setTextAt(f, r, id, starts[which], ends[which] - starts[which]);
          }
        }
      }
    }
    const std::int16_t n = static_cast<std::int16_t>(2 + pick(5));
    ASSERT_EQ(ThinTable(vars, Cell::text(std::to_string(n)), Cell::integer16(1)), ThinStatus::Done);
    for (std::int32_t g = 0; (g + 1) * n <= records; ++g) {
      for (std::int32_t f = 1; f <= fields; ++f) {
        float sum = 0;
        for (std::int32_t k = 1; k <= n; ++k) {
          const Result<double> value = toDouble(vars.SourceTable.cellAt(f, g * n + k));
          if (!value) continue;
          const auto next = static_cast<float>(static_cast<double>(sum) + *value);
          if (std::isfinite(next)) sum = next;
        }
        const auto mean = static_cast<float>(static_cast<double>(sum) / static_cast<float>(n));
        const Cell cell = vars.ResultTable.cellAt(f, g + 1);
        ASSERT_EQ(cell.kind(), CellKind::Single);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(cell.asSingle()),
                  std::bit_cast<std::uint32_t>(mean));
      }
    }
  }
}

}  // namespace
}  // namespace vorlet
