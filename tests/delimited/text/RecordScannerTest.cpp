#include "delimited/RecordScanner.h"

#include <gtest/gtest.h>

#include <random>

#include "TableCells.h"

namespace vorlet {
namespace {

using Status = RecordScanner::Status;
using Fields = std::vector<std::vector<std::string>>;

struct Config {
  CharSet charset;
  Separators separators;
  std::vector<std::string> pieces;  // what random texts are made of
};

// Scans `text` handed over in parts: up to each of `cuts` as all there is so far, dropping what
// was read as a stream does, then the whole as the final input.
Fields scan(const Config& config, std::string_view text, const std::vector<std::size_t>& cuts) {
  RecordScanner scanner(config.charset, config.separators);
  ScannedRecord record;
  Fields records;
  std::size_t dropped = 0;
  for (std::size_t i = 0; i <= cuts.size(); ++i) {
    const bool final = i == cuts.size();
    const std::string buffer(text.substr(dropped, (final ? text.size() : cuts[i]) - dropped));
    std::size_t pos = 0;
    Status status;
    while ((status = scanner.next(buffer, pos, final, record)) == Status::Record) {
      records.emplace_back(record.fields.begin(), record.fields.end());
    }
    EXPECT_EQ(status, final ? Status::End : Status::NeedMore);
    dropped += pos;
  }
  return records;
}

// Random texts long enough for the 16-byte scan, cut at every byte: the streaming command line
// relies on getting the records of the whole text.
TEST(RecordScanner, AnyCutsGiveTheRecordsOfTheWholeText) {
  const Config configs[] = {
      {CharSet::Utf8, {}, {",", "\"", "\r", "\n", "\r\n", "ab", "\xE3\x81\x82"}},
      {CharSet::ShiftJis, {}, {",", "\"", "\r\n", "\r", "x", "\x82\xA0", "\xB1"}},
      {CharSet::Utf8, {';', "\n", '\''}, {";", "'", "\n", "\r", "a", ","}},
      {CharSet::Utf8, {',', "<>|", '"'}, {",", "\"", "<", ">", "|", "<>|", "a"}},
      {CharSet::Utf8, {',', "aab", '"'}, {",", "\"", "a", "b", "aab"}},
      {CharSet::Utf8, {',', ",\n", '"'}, {",", "\"", "\n", ",\n", "a"}},
      {CharSet::Utf8, {',', "", '"'}, {",", "\"", "\r\n", "a"}},
  };
  std::mt19937 random(20240501);
  for (const Config& config : configs) {
    SCOPED_TRACE(::testing::PrintToString(config.separators.record));
    std::uniform_int_distribution<std::size_t> length(0, 30);
    std::uniform_int_distribution<std::size_t> piece(0, config.pieces.size() - 1);
    for (int i = 0; i < 300; ++i) {
      std::string text;
      for (std::size_t n = length(random); n > 0; --n) text += config.pieces[piece(random)];
      const Fields whole = scan(config, text, {});
      std::vector<std::size_t> everyByte;
      for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        ASSERT_EQ(scan(config, text, {cut}), whole) << ::testing::PrintToString(text) << cut;
        everyByte.push_back(cut);
      }
      ASSERT_EQ(scan(config, text, everyByte), whole) << ::testing::PrintToString(text);
    }
  }
}

TEST(RecordScanner, ReportsARecordOnlyOnceItsEndIsCertain) {
  const struct {
    const char* text;
    std::size_t next;  // 0: NeedMore
  } cases[] = {{"", 0},     {"1,2", 0}, {"1,2\r", 0}, {"QaQ", 0},
               {"Qa^b", 0}, {"Qa^", 0}, {"1,2^3", 5}, {"Qa^bQ^", 8}};
  for (const auto& c : cases) {
    RecordScanner scanner;
    ScannedRecord record;
    std::size_t pos = 0;
    EXPECT_EQ(scanner.next(testing::decode(c.text), pos, false, record),
              c.next == 0 ? Status::NeedMore : Status::Record)
        << c.text;
    EXPECT_EQ(pos, c.next) << c.text;
  }
  RecordScanner scanner;
  ScannedRecord record;
  std::size_t pos = 0;
  EXPECT_EQ(scanner.next("", pos, true, record), Status::End);
  EXPECT_EQ(scanner.next("1\r\n", pos, true, record), Status::Record);
  EXPECT_EQ(scanner.next("1\r\n", pos, true, record), Status::End);
}

}  // namespace
}  // namespace vorlet
