// The record source and ParseDelimited against a simple reader written straight from the rules,
// a character at a time, on many generated texts, whole and in chunks.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "delimited/ParseDelimited.h"
#include "delimited/RecordSource.h"
#include "support/CsvGenerator.h"
#include "support/ReferenceReader.h"
#include "support/TableCells.h"

namespace vorlet {
namespace {

using Fields = std::vector<std::vector<std::string>>;
using ::testing::PrintToString;
using testing::referenceRecords;

struct Config {
  CharSet charset;
  Separators separators;
  std::vector<std::string> pieces;  // what the texts are made of, besides numbers
};

// Record separators of one, two and three characters, overlapping themselves or the field
// separator, and none at all.
const Config kConfigs[] = {
    {CharSet::Utf8,
     {},
     {",", "\"", "\"\"", "\r", "\n", "\r\n", "a", " ", "\xE3\x81\x82", "\xC3\xA9"}},
    {CharSet::ShiftJis, {}, {",", "\"", "\r\n", "\r", "x", "\x82\xA0", "\xB1", "\x95\x5C"}},
    {CharSet::Utf8, {';', "\n\r", '\''}, {";", "'", "\n", "\r", "\n\r", "a", ","}},
    {CharSet::Utf8, {',', "\n", '"'}, {",", "\"", "\n", "\r", "a"}},
    {CharSet::Utf8, {',', "<>|", '"'}, {",", "\"", "<", ">", "|", "<>|", "a"}},
    {CharSet::Utf8, {',', "aa", '"'}, {",", "\"", "a", "b", "aa"}},
    {CharSet::Utf8, {',', "aab", '"'}, {",", "\"", "a", "b", "aab"}},
    {CharSet::Utf8, {',', ",\n", '"'}, {",", "\"", "\n", ",\n", "a"}},
    {CharSet::Utf8, {',', "", '"'}, {",", "\"", "\r\n", "a"}},
};

// Long runs of numeric lines, as the fast paths see them, broken by the pieces.
std::string numericText(testing::CsvGenerator& generator, const Config& config) {
  return generator.lines(generator.pick(60), config.separators.field, config.separators.record,
                         config.pieces);
}

// Reads `text` handed over in chunks: up to each of `cuts` as all there is so far, dropping what
// was read as a stream does, then the whole as the final input; batches of 1 to 4 records.
// `baseline`: with the scans every x86-64 CPU has, rather than this one's widest.
Fields scan(const Config& config, std::string_view text, const std::vector<std::size_t>& cuts,
            bool baseline = false) {
  RecordSource source(config.charset, config.separators);
  if (baseline) source.useBaselineScan();
  RecordBatch batch;
  Fields records;
  std::size_t dropped = 0;
  for (std::size_t i = 0; i <= cuts.size(); ++i) {
    const bool final = i == cuts.size();
    const std::string buffer(text.substr(dropped, (final ? text.size() : cuts[i]) - dropped));
    std::size_t pos = 0;
    RecordSource::Status status;
    while ((status = source.next(buffer, pos, final, 1 + records.size() % 4, batch)) ==
           RecordSource::Status::Records) {
      for (std::size_t r = 0; r < batch.records(); ++r) {
        std::vector<std::string>& fields = records.emplace_back();
        for (std::size_t f = 0; f < batch.fieldCount(r); ++f)
          fields.emplace_back(batch.field(r, f));
      }
    }
    EXPECT_EQ(status, final ? RecordSource::Status::End : RecordSource::Status::NeedMore);
    dropped += pos;
  }
  return records;
}

// Every third record of the whole of `text`, the two before each passed over as simple thinning
// passes them: by skip() where it can, else by pass().
Fields everyThird(const Config& config, std::string_view text, bool baseline) {
  RecordSource source(config.charset, config.separators);
  if (baseline) source.useBaselineScan();
  RecordBatch batch;
  Fields kept;
  std::size_t pos = 0;
  for (;;) {
    for (std::size_t left = 2; left > 0;) {
      std::size_t passed = source.skip(text, pos, left);
      if (passed == 0) {
        if (source.pass(text, pos, true) != RecordSource::Status::Records) return kept;
        passed = 1;
      }
      left -= passed;
    }
    if (source.next(text, pos, true, 1, batch) != RecordSource::Status::Records) return kept;
    std::vector<std::string>& fields = kept.emplace_back();
    for (std::size_t f = 0; f < batch.fieldCount(0); ++f) fields.emplace_back(batch.field(0, f));
  }
}

// Short texts dense in quotes and separators, cut at every byte: a record is reported only once
// its end is certain, so a stream read in chunks of any size gets the records of the whole text.
TEST(ReadingOracle, TheSourceReadsTheSameInChunksOfAnySize) {
  testing::CsvGenerator generator(20240501);
  for (const Config& config : kConfigs) {
    SCOPED_TRACE(PrintToString(config.separators.record));
    for (int round = 0; round < 300; ++round) {
      const std::string text = generator.pieces(generator.pick(31), config.pieces);
      const Fields expected = referenceRecords(text, config.charset, config.separators);
      std::vector<std::size_t> everyByte;
      for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        ASSERT_EQ(scan(config, text, {cut}), expected) << PrintToString(text) << " cut " << cut;
        everyByte.push_back(cut);
      }
      ASSERT_EQ(scan(config, text, everyByte), expected) << PrintToString(text);
      ASSERT_EQ(scan(config, text, everyByte, true), expected) << PrintToString(text);
    }
  }
}

// The source reads the records; ParseDelimited fills a fresh table with them: fields 1..F by
// records 1..R, F from the first record, every field a text cell up to F, the rest left empty.
TEST(ReadingOracle, TheSourceAndParseDelimitedReadWhatTheRulesRead) {
  testing::CsvGenerator generator(20240612);
  for (const Config& config : kConfigs) {
    SCOPED_TRACE(PrintToString(config.separators.record));
    for (int round = 0; round < 1500; ++round) {
      const std::string text = numericText(generator, config);
      const Fields records = referenceRecords(text, config.charset, config.separators);
      ASSERT_EQ(scan(config, text, {}), records) << PrintToString(text);
      ASSERT_EQ(scan(config, text, {}, true), records) << PrintToString(text);
      Fields third;
      for (std::size_t r = 2; r < records.size(); r += 3) third.push_back(records[r]);
      ASSERT_EQ(everyThird(config, text, false), third) << PrintToString(text);
      ASSERT_EQ(everyThird(config, text, true), third) << PrintToString(text);
      testing::Records expected;
      for (const auto& fields : records) {
        expected.emplace_back(fields.begin(), fields.end());
        expected.back().resize(expected.front().size());
      }
      CellTable table;
      const Result<std::int32_t> ub2 =
          ParseDelimited(std::make_shared<const std::string>(text), 0, table,
                         std::string(1, config.separators.field), config.separators.record,
                         std::string(1, config.separators.quote), config.charset);
      ASSERT_EQ(testing::cellsOf(table), expected) << PrintToString(text);
      if (!expected.empty()) {
        ASSERT_EQ(*ub2, static_cast<std::int32_t>(expected.size()));
      }
    }
  }
}

}  // namespace
}  // namespace vorlet
