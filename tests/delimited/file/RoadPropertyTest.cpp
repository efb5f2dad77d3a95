// The fuzz target's properties, each input streamed every way: the inputs that once broke one,
// and inputs made to reach the rules where the two roads and the writer part most easily.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "RoadProperties.h"
#include "support/CsvGenerator.h"

namespace vorlet {
namespace {

struct RoadInput {
  const char* name;
  std::string bytes;
};
const RoadInput kInputs[] = {
    {"Measurements",
     "time,a,b\r\n1700000000000,1.25,-3\r\n1700000000010,1.5,-2.75\r\n1700000000020,,4e2\r\n"
     "1700000000030,7,x\r\n1700000000040,3e38,3e38\r\n1700000000050,3e38,-1e-50\r\n"
     "1700000000060, 7 ,0.1\r\n"},
    {"Quoting",
     "\"a,b\",\"x\"\"y\",plain\r\n\"two\r\nlines\",\r\n\"q\"z,\"ab\"x\r\n\"x\"\",\"\r\n\"open"},
    {"QuotesBeforeLineEnds", "\"a\"\"\r\n\"\"\"\r\n\"\",\"\"\r\n\"b\"\r\r\n\"\r\n\"\r\n"},
    {"UnclosedQuoteWithoutFieldSeparator", "1\r\n\"2\r\n3\r\n4"},
    {"UnclosedQuoteWithFieldSeparators", "1,2\r\n\"3,4\r\n5,6\r\n7"},
    {"LoneCarriageReturnsAndLineFeeds", "1\r2\n3\r\n\r\n4\n\r5\r\n\r"},
    {"RaggedRecords", "1\r\n2,3,4\r\n\r\n5,6\r\n7,8,9,10\r\n11\r\n12,13\r\n"},
    {"Utf8WithBom",
     "\xEF\xBB\xBF\xE6\x97\xA5\xE4\xBB\x98,\xE5\x80\xA4\r\n\"ab\"\xE3\x81\x82,1\r\n"
     "\"\xF0\x9F\x98\x80\"x,2\r\n3,4\r\n"},
    {"ShiftJis",
     "\x93\xfa\x95\x74,\x92\x6c\r\n\"ab\"\x82\xa0,1\r\n\xb1,2\r\n\"\x95\x5c\"\r\n3,4\r\n"},
    {"NoLineEndAtTheEnd", "1,2\r\n3,4\r\n5,6"},
    {"BomAlone", "\xEF\xBB\xBF"},
    {"Empty", ""},
    {"Binary", std::string("1,2\r\n\0", 6)},
    {"Undecodable", "1,\x80\r\n"},
    {"UnixLineEnds", "t,a\n1,\"x\ny\"\n2,\"q\"\"\r\n\"\n3,4\r\n5\n\"a\"\"\n\"\n6,\"\r\""},
    {"CrLfWithQuotedLfFirst", "\"a\nb\",1\r\n2\n3\r\n\"c\"\"\nd\",4\r\n"},
    {"LfAfterAQuotedCrLf", "\"a\r\nb\"\n1\r\n2\n"},
    {"TextsTableWithEverySpecialByte",
     "a\xff\"b\xff,\xff\r\n\xfe\"\r\n\"\xff\xff\r\xfe\n\xfe\xfe\""},
};

class RoadProperties : public ::testing::TestWithParam<RoadInput> {};

TEST_P(RoadProperties, Hold) {
  fuzzing::RoadChecker checker(fuzzing::RoadChecker::Streams::EveryWay);
  const fuzzing::Finding finding = checker.check(GetParam().bytes);
  EXPECT_FALSE(finding) << *finding;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, RoadProperties, ::testing::ValuesIn(kInputs),
                         [](const auto& test) { return std::string(test.param.name); });

// Files big enough for the helper threads, with cells where the rules of a group part, each
// thinned under the random settings its bytes draw.
TEST(RoadProperties, HoldUnderRandomSettings) {
  // The quoted ones last: a quote ends a batch, and some rounds need long batches.
  static const char* const kOdd[] = {"",          "-0",  "0",     "abc",           "1e39",
                                     "1e400",     " 7 ", "-1e-9", "1717200000000", "\"3,5\"",
                                     "\"x\"\"y\""};
  std::mt19937 random(13);
  fuzzing::RoadChecker checker(fuzzing::RoadChecker::Streams::EveryWay);
  for (int round = 0; round < 24; ++round) {
    const std::size_t width = 1 + random() % 5;
    // Without quotes, more records than a batch holds: groups span batches. Every line starting
    // with a quote makes long batches of records read by the full rules.
    const bool quotes = round % 8 != 0;
    const bool quotedFirst = round % 8 == 4;
    const std::size_t records = !quotes || quotedFirst ? 9000 + random() % 4000
                                : round % 4 == 0       ? 2000 + random() % 2000
                                                       : random() % 40;
    const std::size_t odd = std::size(kOdd) - (quotes ? 0 : 2);
    std::string bytes;
    for (std::size_t r = 0; r < records; ++r) {
      const std::size_t fields = random() % 10 == 0 ? 1 + random() % 6 : width;
      for (std::size_t f = 0; f < fields; ++f) {
        if (f > 0) bytes += ',';
        if (f == 0 && quotedFirst) bytes += '"';
        bytes += random() % 6 == 0 ? kOdd[random() % odd]
                                   : std::to_string(static_cast<int>(random() % 41) - 20);
        if (f == 0 && quotedFirst) bytes += '"';
      }
      bytes += "\r\n";
    }
    const fuzzing::Finding finding = checker.check(bytes);
    EXPECT_FALSE(finding) << *finding << " in round " << round;
  }
}

// Tables of texts made of what a save must quote (FF ends a field, FE a record): saved with
// either line end and read again, each gives its texts back.
TEST(TextTables, ReadBackAsSaved) {
  const std::vector<std::string> pieces = {
      "a", " ", ",", "\"", "\r", "\n", "\r\n", "\xE3\x81\x82", "\xFF", "\xFE"};
  testing::CsvGenerator generator(11);
  fuzzing::RoadChecker checker(fuzzing::RoadChecker::Streams::EveryWay);
  for (int i = 0; i < 400; ++i) {
    const std::string bytes = generator.pieces(generator.pick(40), pieces);
    const fuzzing::Finding finding = checker.check(bytes);
    ASSERT_FALSE(finding) << *finding << " " << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace vorlet
