// The reading rules' fast paths (the record scanner's 16-byte scan, the plain-line batches and
// skips, ParseDelimited's batched table filling) against a deliberately simple reader written
// straight from the rules, a character at a time, on many generated texts.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../ReferenceReader.h"
#include "delimited/Parts.h"
#include "delimited/PlainLines.h"
#include "delimited/RecordScanner.h"

namespace vorlet {
namespace {

using Records = std::vector<std::vector<std::string>>;
using testing::ReferenceReader;

struct Config {
  CharSet charset;
  Separators separators;
  std::vector<std::string> pieces;  // what the texts are made of, besides numbers
};

// Long runs of numeric lines, as the fast paths see them, broken now and then by the pieces.
std::string generate(std::mt19937& random, const Config& config) {
  const auto pick = [&random](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  std::string text;
  const std::size_t lines = pick(60);
  const std::size_t width = 1 + pick(6);
  const std::string_view record = config.separators.record;
  for (std::size_t line = 0; line < lines; ++line) {
    const std::size_t fields = pick(8) == 0 ? 1 + pick(8) : width;
    for (std::size_t f = 0; f < fields; ++f) {
      if (f > 0) text += config.separators.field;
      if (pick(7) == 0) {
        const std::size_t count = 1 + pick(4);
        for (std::size_t k = 0; k < count; ++k) text += config.pieces[pick(config.pieces.size())];
      } else {
        text += std::to_string(static_cast<int>(pick(2000000)) - 1000000);
        if (pick(2) == 0) {
          text += '.';
          text += std::to_string(pick(1000));
        }
      }
    }
    if (line + 1 < lines || pick(3) != 0) text += record;
  }
  return text;
}

const std::vector<Config>& configs() {
  static const std::vector<Config> all = {
      {CharSet::Utf8,
       {},
       {",", "\"", "\"\"", "\r", "\n", "\r\n", "a", " ", "\xE3\x81\x82", "\xC3\xA9"}},
      {CharSet::ShiftJis, {}, {",", "\"", "\r\n", "\r", "x", "\x82\xA0", "\xB1", "\x95\x5C"}},
      {CharSet::Utf8, {';', "\n\r", '\''}, {";", "'", "\n", "\r", "\n\r", "a", ","}},
      {CharSet::Utf8, {',', "\n", '"'}, {",", "\"", "\n", "\r", "a"}},
      {CharSet::Utf8, {',', "<>|", '"'}, {",", "\"", "<", ">", "|", "<>|", "a"}},
      {CharSet::Utf8, {',', "aa", '"'}, {",", "\"", "a", "b", "aa"}},
      {CharSet::Utf8, {',', "", '"'}, {",", "\"", "\r\n", "a"}},
  };
  return all;
}

Records fieldsOf(const std::vector<ReferenceReader::Record>& records) {
  Records all;
  for (const auto& record : records) all.push_back(record.fields);
  return all;
}

TEST(ReadingOracle, TheScannerReadsWhatTheRulesRead) {
  std::mt19937 random(20240610);
  for (const Config& config : configs()) {
    SCOPED_TRACE(::testing::PrintToString(config.separators.record));
    for (int round = 0; round < 1500; ++round) {
      const std::string text = generate(random, config);
      const Records expected =
          fieldsOf(ReferenceReader(text, config.charset, config.separators).records());
      RecordScanner scanner(config.charset, config.separators);
      ScannedRecord record;
      Records got;
      std::size_t pos = 0;
      while (scanner.next(text, pos, true, record) == RecordScanner::Status::Record) {
        got.emplace_back(record.fields.begin(), record.fields.end());
      }
      ASSERT_EQ(got, expected) << ::testing::PrintToString(text);
    }
  }
}

// From every record start, a batch gives the plain records that follow, up to a quote or the
// last line, and skipping passes over the same records.
TEST(ReadingOracle, PlainLinesGiveThePlainRecordsThatFollow) {
  std::mt19937 random(20240611);
  int plainUsable = 0;
  for (const Config& config : configs()) {
    const PlainLines plain(config.separators);
    if (!plain.usable()) continue;
    ++plainUsable;
    SCOPED_TRACE(::testing::PrintToString(config.separators.record));
    for (int round = 0; round < 1500; ++round) {
      const std::string text = generate(random, config);
      const auto records = ReferenceReader(text, config.charset, config.separators).records();
      // A record the fast path may read: its line holds no quote and ends in a separator.
      const auto isPlain = [&](std::size_t r) {
        const std::size_t end = r + 1 < records.size() ? records[r + 1].start : text.size();
        const std::string_view line =
            std::string_view(text).substr(records[r].start, end - records[r].start);
        return line.find(config.separators.quote) == std::string_view::npos && line.size() >= 2 &&
               line.substr(line.size() - 2) == config.separators.record;
      };
      PlainBatch batch;
      for (std::size_t first = 0; first < records.size(); ++first) {
        const std::size_t most = 1 + random() % 8;
        std::size_t expectedCount = 0;
        while (first + expectedCount < records.size() && expectedCount < most &&
               isPlain(first + expectedCount)) {
          ++expectedCount;
        }
        const std::size_t stop = first + expectedCount < records.size()
                                     ? records[first + expectedCount].start
                                     : text.size();
        ASSERT_EQ(plain.read(text, records[first].start, most, batch), stop)
            << ::testing::PrintToString(text) << " from record " << first;
        ASSERT_EQ(batch.records(), expectedCount);
        for (std::size_t r = 0; r < batch.records(); ++r) {
          std::vector<std::string> fields;
          std::size_t start = batch.base + batch.recordStart(r);
          for (std::size_t i = batch.firstField(r); i < batch.recordEnds[r]; ++i) {
            const std::size_t end = batch.base + batch.fieldEnds[i];
            fields.emplace_back(text.substr(start, end - start));
            start = end + 1;
          }
          ASSERT_EQ(fields, records[first + r].fields) << ::testing::PrintToString(text);
        }
        std::size_t skipped = 0;
        ASSERT_EQ(plain.skip(text, records[first].start, most, skipped), stop);
        ASSERT_EQ(skipped, expectedCount);
      }
    }
  }
  EXPECT_EQ(plainUsable, 3);  // CSV's separators in both encodings, and ;, LF CR and '
}

// A fresh table: fields 1..F by records 1..R, F from the first record, every field a text cell
// up to F, what a record lacks left empty.
TEST(ReadingOracle, ParseDelimitedStoresWhatTheRulesRead) {
  std::mt19937 random(20240612);
  for (const Config& config : configs()) {
    SCOPED_TRACE(::testing::PrintToString(config.separators.record));
    for (int round = 0; round < 800; ++round) {
      const std::string text = generate(random, config);
      const Records expected =
          fieldsOf(ReferenceReader(text, config.charset, config.separators).records());
      CellTable table;
      const Result<std::int32_t> ub2 =
          ParseDelimited(std::make_shared<const std::string>(text), 0, table,
                         std::string(1, config.separators.field), config.separators.record,
                         std::string(1, config.separators.quote), config.charset);
      if (expected.empty()) {
        EXPECT_FALSE(table.isDimensioned());
        continue;
      }
      ASSERT_TRUE(ub2) << ::testing::PrintToString(text);
      ASSERT_EQ(*ub2, static_cast<std::int32_t>(expected.size()));
      const auto width = static_cast<std::int32_t>(expected[0].size());
      ASSERT_EQ(*table.upperBound(1), width);
      for (std::int32_t r = 1; r <= *ub2; ++r) {
        const auto& fields = expected[static_cast<std::size_t>(r - 1)];
        for (std::int32_t f = 1; f <= width; ++f) {
          const Cell cell = table.cellAt(f, r);
          if (static_cast<std::size_t>(f) > fields.size()) {
            ASSERT_TRUE(cell.isEmpty()) << ::testing::PrintToString(text);
          } else {
            ASSERT_TRUE(cell.isText());
            ASSERT_EQ(cell.asText(), fields[static_cast<std::size_t>(f - 1)])
                << ::testing::PrintToString(text) << " at " << f << ", " << r;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace vorlet
