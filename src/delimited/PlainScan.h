// The record source's scans over plain lines, with no include guard: RecordSource.cpp includes
// it once for every instruction set it builds them for, each time in a namespace of its own
// (VORLET_PLAIN_SCAN), and with VORLET_PLAIN_SCAN_AVX2 defined for the AVX2 build.

namespace VORLET_PLAIN_SCAN {

// The fast path's scans over plain lines, 64 bytes at a time, for a record separator of
// kRecord (1 or 2) bytes; made for each call from the source's separators, so that the bytes
// sought stay in registers.
template <std::uint32_t kRecord>
class PlainScan {
 public:
  PlainScan(char field, char quote, char first, char second) noexcept
      : field_(field), quote_(quote), first_(first), second_(second) {}

  // Reads up to `maxRecords` plain records from `pos` into `batch` (empty before); returns
  // where reading stopped, the start of the first record not read.
  std::size_t read(std::string_view text, std::size_t pos, std::size_t maxRecords,
                   RecordBatch& batch) const {
    batch.base = text.data() + pos;
    // A file whose fields are all quoted need not be looked at further.
    if (pos < text.size() && text[pos] == quote_) return pos;
    // Offsets are 32 bits: a batch spans less than 4 GB.
    const std::size_t end = std::min(text.size(), pos + (std::size_t{1} << 31));
    const char* const data = text.data();
    std::uint32_t recordStart = 0;
    std::size_t fields = 0;
    std::size_t records = 0;
    for (std::size_t block = pos; block < end; block += 64) {
      const Masks m = masksAt(data, block, end);
      const std::uint64_t quoteBefore = m.quote & (0 - m.quote);  // lowest quote, or 0
      std::uint64_t events = m.field | m.lineEnd;
      if (quoteBefore != 0) events &= quoteBefore - 1;
      // At most 64 events a block: room for them all (and a few more), written without a check
      // each.
      batch.fieldEnds.room(72);
      batch.recordEnds.room(64);
      batch.recordStarts.room(64);
      std::uint32_t* const fieldEnds = batch.fieldEnds.data();
      std::uint32_t* const recordEnds = batch.recordEnds.data();
      std::uint32_t* const recordStarts = batch.recordStarts.data();
      const auto offset = static_cast<std::uint32_t>(block - pos);
#if defined(VORLET_PLAIN_SCAN_AVX2)
      // Every event's offset, eight at a time (what is written past the last is left over);
      // then the record ends among them, each with the count of the events up to it.
      const std::uint64_t lineEnds = events & m.lineEnd;
      const std::uint64_t all = events;
      const std::size_t before = fields;
      const auto count = static_cast<std::size_t>(std::popcount(events));
      for (std::size_t i = 0; i < count; i += 8) {
        for (std::size_t j = 0; j < 8; ++j) {
          fieldEnds[before + i + j] = offset + static_cast<std::uint32_t>(std::countr_zero(events));
          events &= events - 1;
        }
      }
      fields += count;
      for (std::uint64_t ends = lineEnds; ends != 0; ends &= ends - 1) {
        const auto bit = static_cast<std::uint32_t>(std::countr_zero(ends));
        const std::size_t through =
            before +
            static_cast<std::size_t>(std::popcount(all & (~std::uint64_t{0} >> (63 - bit))));
        recordEnds[records] = static_cast<std::uint32_t>(through);
        recordStarts[records] = recordStart;
        ++records;
        recordStart = offset + bit + kRecord;
        if (records == maxRecords) {
          fields = through;
          break;
        }
      }
#else
      // A line end is written as a field's end, then counted or not, so that which it is costs
      // no branch.
      for (; events != 0; events &= events - 1) {
        const auto bit = static_cast<std::uint32_t>(std::countr_zero(events));
        const std::uint32_t at = offset + bit;
        fieldEnds[fields++] = at;
        const auto ends = static_cast<std::uint32_t>((m.lineEnd >> bit) & 1);
        recordEnds[records] = static_cast<std::uint32_t>(fields);
        recordStarts[records] = recordStart;
        records += ends;
        recordStart = ends != 0 ? at + kRecord : recordStart;
        if (records == maxRecords) break;
      }
#endif
      batch.fieldEnds.resize(fields);
      batch.recordEnds.resize(records);
      batch.recordStarts.resize(records);
      if (records == maxRecords) return pos + recordStart;
      if (quoteBefore != 0) break;  // the quote lies in the record being read
    }
    // The record being read did not end: it is left to the scanner.
    batch.fieldEnds.resize(records == 0 ? 0 : batch.recordEnds.back());
    return pos + recordStart;
  }

  std::size_t skip(std::string_view text, std::size_t& pos, std::size_t count) const noexcept {
    const char* const data = text.data();
    const std::size_t end = text.size();
    std::size_t recordStart = pos;
    std::size_t left = count;
    for (std::size_t block = pos; block < end && left > 0; block += 64) {
      const Masks m = masksAt(data, block, end);
      const std::uint64_t quoteBefore = m.quote & (0 - m.quote);
      std::uint64_t ends = m.lineEnd;
      if (quoteBefore != 0) ends &= quoteBefore - 1;
#if defined(VORLET_PLAIN_SCAN_AVX2)
      // A block's line ends at once: all of them, or the one that is the last to pass.
      const auto found = static_cast<std::size_t>(std::popcount(ends));
      if (found != 0) {
        const std::uint64_t last = found <= left ? std::uint64_t{1} << (63 - std::countl_zero(ends))
                                                 : _pdep_u64(std::uint64_t{1} << (left - 1), ends);
        recordStart = block + static_cast<std::size_t>(std::countr_zero(last)) + kRecord;
        left -= std::min(found, left);
      }
#else
      for (; ends != 0 && left > 0; ends &= ends - 1, --left) {
        recordStart = block + static_cast<std::size_t>(std::countr_zero(ends)) + kRecord;
      }
#endif
      if (quoteBefore != 0) break;
    }
    pos = recordStart;
    return count - left;
  }

  std::size_t countLineEnds(std::string_view text) const noexcept {
    std::size_t count = 0;
    for (std::size_t block = 0; block < text.size(); block += 64) {
      // A loop rather than std::popcount, which is a library call without POPCNT.
      for (std::uint64_t ends = masksAt(text.data(), block, text.size()).lineEnd; ends != 0;
           ends &= ends - 1) {
        ++count;
      }
    }
    return count;
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
    // A byte that is none of the separators: the padding never counts.
    char filler = 0;
    while (filler == field_ || filler == quote_ || filler == first_ || filler == second_) ++filler;
    std::memset(padded + size, filler, 64 - size);
    return fullMasks(padded, false);
  }

  // The one place that looks at many bytes at once.
  Masks fullMasks(const char* p, bool secondFollows) const noexcept {
    std::uint64_t field = 0, quote = 0, first = 0, second = 0;
#if defined(VORLET_PLAIN_SCAN_AVX2)
    const __m256i wantField = _mm256_set1_epi8(field_);
    const __m256i wantQuote = _mm256_set1_epi8(quote_);
    const __m256i wantFirst = _mm256_set1_epi8(first_);
    const __m256i wantSecond = _mm256_set1_epi8(second_);
    for (int i = 0; i < 2; ++i) {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i));
      const auto at = [&](__m256i want) {
        return static_cast<std::uint64_t>(
                   static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, want))))
               << (32 * i);
      };
      field |= at(wantField);
      quote |= at(wantQuote);
      first |= at(wantFirst);
      if constexpr (kRecord == 2) second |= at(wantSecond);
    }
#elif defined(VORLET_RECORD_SOURCE_SSE2)
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
      if constexpr (kRecord == 2) second |= at(wantSecond);
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
    if constexpr (kRecord == 1) {
      (void)second;
      (void)secondFollows;
      return {field, first, quote};
    } else {
      const std::uint64_t next = (second >> 1) | (secondFollows ? std::uint64_t{1} << 63 : 0);
      return {field, first & next, quote};
    }
  }

  char field_;
  char quote_;
  char first_;
  char second_;
};

}  // namespace VORLET_PLAIN_SCAN
