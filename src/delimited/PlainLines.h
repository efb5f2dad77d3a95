#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "delimited/RecordScanner.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VORLET_PLAIN_LINES_SSE2 1
#endif

namespace vorlet {

// The records of a stretch of plain lines: every field's end as an offset from `base`, and for
// every record the index in `fieldEnds` just past its last field. A field starts one byte after
// the previous field's end, a record two bytes after the previous record's end. Reused from
// batch to batch, so that reading allocates nothing once warm.
struct PlainBatch {
  std::size_t base = 0;
  std::vector<std::uint32_t> fieldEnds;
  std::vector<std::uint32_t> recordEnds;

  std::size_t records() const noexcept { return recordEnds.size(); }
  std::uint32_t firstField(std::size_t record) const noexcept {
    return record == 0 ? 0 : recordEnds[record - 1];
  }
  // Where the record starts, as an offset from base.
  std::uint32_t recordStart(std::size_t record) const noexcept {
    return record == 0 ? 0 : fieldEnds[recordEnds[record - 1] - 1] + 2;
  }
};

// The fast path of the reading rules for the common case of numeric files. A line without a
// quote byte is one record whose fields are cut at every field separator: RecordScanner::next
// reads exactly that. These scans stop before the first line that holds a quote, or whose
// record separator is not in the text yet; RecordScanner::next reads it, then they go on.
// They work for a one-byte field separator and quote and a two-byte record separator, four
// different bytes (CSV's ",", '"' and CR LF); `usable` says whether they do.
class PlainLines {
 public:
  explicit PlainLines(const Separators& separators) noexcept
      : field_(separators.field),
        quote_(separators.quote),
        first_(separators.record.size() == 2 ? separators.record[0] : '\0'),
        second_(separators.record.size() == 2 ? separators.record[1] : '\0'),
        usable_(separators.record.size() == 2 && field_ != quote_ && field_ != first_ &&
                field_ != second_ && quote_ != first_ && quote_ != second_ && first_ != second_) {}

  bool usable() const noexcept { return usable_; }

  // Reads up to `maxRecords` plain records from `pos` into `batch` (cleared first); returns
  // where reading stopped, the start of the first record not read.
  std::size_t read(std::string_view text, std::size_t pos, std::size_t maxRecords,
                   PlainBatch& batch) const {
    batch.base = pos;
    batch.fieldEnds.clear();
    batch.recordEnds.clear();
    // Offsets are 32 bits: a batch spans less than 4 GB.
    const std::size_t end = std::min(text.size(), pos + (std::size_t{1} << 31));
    const char* const data = text.data();
    std::size_t recordStart = pos;
    for (std::size_t block = pos; block < end && batch.recordEnds.size() < maxRecords;
         block += 64) {
      const Masks m = masksAt(data, block, end);
      const std::uint64_t quoteBefore = m.quote & (0 - m.quote);  // lowest quote, or 0
      std::uint64_t events = m.field | m.lineEnd;
      if (quoteBefore != 0) events &= quoteBefore - 1;
      for (; events != 0; events &= events - 1) {
        const std::uint64_t bit = events & (0 - events);
        const auto at = static_cast<std::uint32_t>(
            block + static_cast<std::size_t>(std::countr_zero(events)) - pos);
        batch.fieldEnds.push_back(at);
        if ((m.lineEnd & bit) != 0) {
          batch.recordEnds.push_back(static_cast<std::uint32_t>(batch.fieldEnds.size()));
          recordStart = pos + at + 2;
          if (batch.recordEnds.size() == maxRecords) return recordStart;
        }
      }
      if (quoteBefore != 0) break;  // the quote lies in the record being read
    }
    // The record being read did not end: it is left to RecordScanner::next.
    batch.fieldEnds.resize(batch.recordEnds.empty() ? 0 : batch.recordEnds.back());
    return recordStart;
  }

  // How many record separators the text holds: a bound on its records, one more at most.
  std::size_t countLineEnds(std::string_view text) const noexcept {
    const char* const data = text.data();
    std::size_t count = 0;
    for (std::size_t block = 0; block < text.size(); block += 64) {
      // A loop rather than std::popcount, which is a library call without the POPCNT instruction.
      for (std::uint64_t ends = masksAt(data, block, text.size()).lineEnd; ends != 0;
           ends &= ends - 1) {
        ++count;
      }
    }
    return count;
  }

  // Skips up to `count` plain records from `pos`; returns where skipping stopped and adds the
  // records skipped to `skipped`.
  std::size_t skip(std::string_view text, std::size_t pos, std::size_t count,
                   std::size_t& skipped) const noexcept {
    const char* const data = text.data();
    const std::size_t end = text.size();
    std::size_t recordStart = pos;
    std::size_t left = count;
    for (std::size_t block = pos; block < end && left > 0; block += 64) {
      const Masks m = masksAt(data, block, end);
      const std::uint64_t quoteBefore = m.quote & (0 - m.quote);
      std::uint64_t ends = m.lineEnd;
      if (quoteBefore != 0) ends &= quoteBefore - 1;
      for (; ends != 0 && left > 0; ends &= ends - 1, --left) {
        recordStart = block + static_cast<std::size_t>(std::countr_zero(ends)) + 2;
      }
      if (quoteBefore != 0) break;
    }
    skipped += count - left;
    return recordStart;
  }

 private:
  struct Masks {
    std::uint64_t field;
    std::uint64_t lineEnd;  // where a record separator starts
    std::uint64_t quote;
  };

  // The masks of the 64 bytes from `block`; bits at or past `end` are clear, and so is a record
  // separator whose second byte is not in the text.
  Masks masksAt(const char* data, std::size_t block, std::size_t end) const noexcept {
    if (end - block > 64) return fullMasks(data + block, data[block + 64] == second_);
    char padded[64];
    const std::size_t size = end - block;
    std::memcpy(padded, data + block, size);
    // A byte that is none of the four: the padding never counts.
    char filler = 0;
    while (filler == field_ || filler == quote_ || filler == first_ || filler == second_) ++filler;
    std::memset(padded + size, filler, 64 - size);
    return fullMasks(padded, false);
  }

  Masks fullMasks(const char* p, bool secondFollows) const noexcept {
    std::uint64_t field = 0, quote = 0, first = 0, second = 0;
#if defined(VORLET_PLAIN_LINES_SSE2)
    const __m128i wantField = _mm_set1_epi8(field_);
    const __m128i wantQuote = _mm_set1_epi8(quote_);
    const __m128i wantFirst = _mm_set1_epi8(first_);
    const __m128i wantSecond = _mm_set1_epi8(second_);
    for (int i = 0; i < 4; ++i) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      const auto at = [&](__m128i want) {
        return static_cast<std::uint64_t>(
                   static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, want))))
               << (16 * i);
      };
      field |= at(wantField);
      quote |= at(wantQuote);
      first |= at(wantFirst);
      second |= at(wantSecond);
    }
#else
    for (int i = 0; i < 64; ++i) {
      const std::uint64_t bit = std::uint64_t{1} << i;
      field |= p[i] == field_ ? bit : 0;
      quote |= p[i] == quote_ ? bit : 0;
      first |= p[i] == first_ ? bit : 0;
      second |= p[i] == second_ ? bit : 0;
    }
#endif
    const std::uint64_t next = (second >> 1) | (secondFollows ? std::uint64_t{1} << 63 : 0);
    return {field, first & next, quote};
  }

  char field_;
  char quote_;
  char first_;
  char second_;
  bool usable_;
};

}  // namespace vorlet
