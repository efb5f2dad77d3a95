#include "delimited/TextEncoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vorlet {
namespace {

using Kind = EncodingVerdict::Kind;
using namespace std::string_literals;

struct EncodingCase {
  const char* name;
  std::string bytes;
  Kind kind;
  std::uint64_t offset;
};
const EncodingCase kCases[] = {
    {"EmptyIsUtf8", "", Kind::Utf8, 0},
    {"Utf16WithBom", "\xFF\xFEz\0"s, Kind::Binary, 3},
    {"NulWinsOverInvalidBytes", "\xFFz\0"s, Kind::Binary, 2},
    {"NulAfterBom", "\xEF\xBB\xBFz\0"s, Kind::Binary, 4},
    {"BomAlone", "\xEF\xBB\xBF", Kind::Utf8WithBom, 0},
    {"BomThenInvalidUtf8", "\xEF\xBB\xBFz\x82\xA0", Kind::Undecodable, 4},
    {"ShiftJisTrailInAsciiRange", "\x81\x40\x9F\x7E", Kind::ShiftJis, 0},
    {"OverlongTwoByteIsNotUtf8", "\xC1\xBF", Kind::ShiftJis, 0},
    {"TruncatedUtf8ReadsAsShiftJis", "a\xE3\x81", Kind::ShiftJis, 0},
    {"SurrogateIsNotUtf8", "\xED\xA0\x80", Kind::Undecodable, 2},
    {"AboveU10FFFFIsNotUtf8", "\xF4\x90\x80\x80", Kind::Undecodable, 2},
    {"LoneContinuationByte", "ab\x80", Kind::Undecodable, 2},
    {"ByteA0IsNeither", "\xA0", Kind::Undecodable, 0},
    {"ByteFDIsNeither", "x\xFD", Kind::Undecodable, 1},
    {"ShiftJisLeadAtEnd", "a\x82", Kind::Undecodable, 1},
    {"ShiftJisBadTrail", "\x82\x20", Kind::Undecodable, 0},
    // UTF-8 fails at 4, Shift-JIS only at 6: the offset is where the furthest reading stopped.
    {"OffsetOfTheFurthestReading", "\xE3\x81\x82@\x82\xA0\xFF", Kind::Undecodable, 6},
};

class Detection : public testing::TestWithParam<EncodingCase> {};

// A file is checked chunk by chunk: characters split across chunks must not change anything.
TEST_P(Detection, WholeOrInPiecesOfAnySize) {
  const std::string_view bytes = GetParam().bytes;
  const bool refused = GetParam().kind == Kind::Binary || GetParam().kind == Kind::Undecodable;
  for (std::size_t piece = 1; piece <= 8; ++piece) {
    EncodingDetector detector;
    const std::size_t step = piece == 8 ? bytes.size() + 1 : piece;  // 8: the whole buffer
    for (std::size_t at = 0; at < bytes.size(); at += step) detector.feed(bytes.substr(at, step));
    EXPECT_EQ(detector.verdict().kind, GetParam().kind) << "piece " << piece;
    if (refused) {
      EXPECT_EQ(detector.verdict().offset, GetParam().offset) << "piece " << piece;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(TextEncoding, Detection, testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

// The block-wise ASCII skip must stop exactly at the first byte that matters, wherever it lies
// within or across blocks, and whatever the length of the ASCII after it.
TEST(TextEncoding, FastPathFindsEveryOffset) {
  const std::pair<std::string, Kind> specials[] = {
      {std::string(1, '\0'), Kind::Binary},
      {"\xFF", Kind::Undecodable},
      {"\xE3\x81\x82", Kind::Utf8},
      {"\x82\xA0", Kind::ShiftJis},
  };
  for (const auto& [special, kind] : specials) {
    for (std::size_t before = 0; before < 70; ++before) {
      for (const std::size_t after : {0, 1, 40}) {
        const std::string bytes = std::string(before, 'x') + special + std::string(after, 'y');
        const EncodingVerdict verdict = detectEncoding(bytes);
        ASSERT_EQ(verdict.kind, kind) << before << " " << after;
        if (kind == Kind::Binary || kind == Kind::Undecodable) {
          ASSERT_EQ(verdict.offset, before) << before << " " << after;
        }
      }
    }
  }
}

// Runs of ASCII are passed many bytes at a time: texts of everything that matters, fed in random
// pieces, must give what they give a byte at a time.
TEST(TextEncoding, PiecesAgreeWithBytes) {
  const std::string parts[] = {std::string(70, 'x'),
                               "1,2",
                               "\r\n",
                               "\n",
                               "\"",
                               "\"q\"",
                               "\xE3\x81\x82",
                               "\xC3\xA9",
                               "\xF0\x9F\x98\x80",
                               "\x82\xA0",
                               "\x93\xFA",
                               "\xB1",
                               "\xE3\x81",
                               "\x80",
                               "\xFF",
                               std::string(1, '\0')};
  std::mt19937 random(5);
  for (int round = 0; round < 4000; ++round) {
    std::string text = round % 5 == 0 ? std::string(kUtf8Bom) : "";
    // Broken sequences and NUL bytes are rarer, or nearly every text would be refused early.
    for (std::size_t count = random() % 24; count > 0; --count) {
      text += parts[random() % (random() % 8 == 0 ? std::size(parts) : std::size(parts) - 3)];
    }
    EncodingDetector whole, bytes;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t piece = 1 + random() % 100;
      whole.feed(std::string_view(text).substr(at, piece));
      at += piece;
    }
    for (const char c : text) bytes.feed(std::string_view(&c, 1));
    ASSERT_EQ(whole.verdict().kind, bytes.verdict().kind) << testing::PrintToString(text);
    ASSERT_EQ(whole.verdict().offset, bytes.verdict().offset) << testing::PrintToString(text);
    if (!whole.refused()) {
      ASSERT_EQ(whole.readingsMayDiffer(), bytes.readingsMayDiffer())
          << testing::PrintToString(text);
    }
  }
}

// Only the bytes after a quote and before a line end are counted as characters, and only where
// the encodings count them differently may a text read as UTF-8 read otherwise as Shift-JIS.
TEST(TextEncoding, ReadingsPartOnlyWhereCharactersAreCounted) {
  const std::pair<std::string, bool> cases[] = {
      {"\"q\"\x82\xA0\r\n1\r\n", true}, {"\"q\"\x82\xA0\n", true},
      {"\"q\"\x82\xA0", true},          {"\"q\"\xE3\x81\x82\r\n", true},
      {"\"q\"\xC3\xA9\r\n", true},      {"\"q\"\x82\r\n", true},
      {"\"q\"\x82\xA0,1\r\n", false},   {"\"q\"\xE0\xA0\r\n", false},
      {"q\x82\xA0\r\n", false},         {"\"q\"a\x82\r\n", false},
      {"\"q\"\xB1\r\n", false},         {"\"q\"\x82\xA0\x82\xA0\x82\r\n", false},
  };
  for (const auto& [tail, parts] : cases) {
    const std::string text = std::string(70, 'x') + "\r\n" + tail;
    for (std::size_t piece = 1; piece <= 80; piece += 13) {
      EncodingDetector detector;
      for (std::size_t at = 0; at < text.size(); at += piece) {
        detector.feed(std::string_view(text).substr(at, piece));
      }
      EXPECT_EQ(detector.readingsMayDiffer(), parts) << testing::PrintToString(tail);
    }
  }
}

// The first record, read with LF ending records, settles the line ends. A text cut short says
// nothing, or already what the whole says: a stream may decide on its first bytes.
TEST(LineEnds, TheFirstRecordDecides) {
  const std::pair<const char*, LineEnd> cases[] = {
      {"a,b\r\n1,2\n", LineEnd::CrLf},
      {"a,b\n1,2\r\n", LineEnd::Lf},
      {"\"x\ny\",1\r\n2\n", LineEnd::CrLf},  // a quoted line end does not count
      {"\"x\r\ny\"\n2\r\n", LineEnd::Lf},
      {"a\rb\n", LineEnd::Lf},
      {"\n1\r\n", LineEnd::Lf},
      {"a,b", LineEnd::CrLf},  // one record to the end: as before
      {"a\rb\r", LineEnd::CrLf},
      {"\"a\nb\nc", LineEnd::CrLf},
  };
  for (const auto& [text, lineEnd] : cases) {
    const std::string_view bytes = text;
    EXPECT_EQ(lineEndOf(bytes, CharSet::Utf8, true), lineEnd) << testing::PrintToString(bytes);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
      const auto early = lineEndOf(bytes.substr(0, cut), CharSet::Utf8, false);
      EXPECT_TRUE(!early || *early == lineEnd) << testing::PrintToString(bytes) << " cut " << cut;
    }
  }
}

}  // namespace
}  // namespace vorlet
