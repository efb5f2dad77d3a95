#include "delimited/Parts.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>

namespace vorlet {
namespace {

constexpr std::size_t kMaxRecordSeparator = 32767;
constexpr std::int64_t kMaxIndex = std::numeric_limits<std::int32_t>::max();
// After this many records the rest of the text tells how many records to make room for.
constexpr std::int64_t kProbeRecords = 16;

// Puts a record's fields into the table: bytes that lie in the block are referred to, rebuilt
// fields copied.
class FieldStore {
 public:
  FieldStore(CellTable& table, const TextBlock& block) noexcept : table_(table), block_(block) {
    if (block_) {
      begin_ = block_->data();
      end_ = begin_ + block_->size();
    }
  }

  // Called once the table has its final storage: sizing it discards the blocks it shared.
  void adopt() { blockId_ = table_.adopt(block_); }

  void store(std::int32_t field, std::int32_t record, std::string_view text) {
    const std::less_equal<const char*> notAfter;
    if (blockId_ >= 0 && notAfter(begin_, text.data()) &&
        notAfter(text.data() + text.size(), end_)) {
      table_.setTextAt(field, record, blockId_, static_cast<std::uint64_t>(text.data() - begin_),
                       text.size());
    } else {
      table_.set(field, record, Cell::text(text));
    }
  }

 private:
  CellTable& table_;
  const TextBlock& block_;
  const char* begin_ = nullptr;
  const char* end_ = nullptr;
  int blockId_ = -1;
};

// Reserves room for the records still to come, judging by the `records` that took the first
// `done` bytes, with a little to spare, so that a long table grows about once.
void reserveRest(CellTable& table, std::int64_t records, std::size_t done, std::size_t total) {
  if (done == 0 || done >= total) return;
  const double rate = static_cast<double>(records) / static_cast<double>(done);
  const double expected =
      static_cast<double>(records) + static_cast<double>(total - done) * rate * 1.0625 + 64;
  try {
    table.reserveRecords(static_cast<std::int64_t>(std::min(expected, double{kMaxIndex})));
  } catch (const std::bad_alloc&) {
    // Only an estimate: growing record by record may still fit.
  }
}

}  // namespace

Result<std::int32_t> ParseDelimited(const TextBlock& text, std::size_t begin, CellTable& table,
                                    std::string_view fieldSeparator,
                                    std::string_view recordSeparator, std::string_view quote,
                                    CharSet charset) {
  if (recordSeparator.size() > kMaxRecordSeparator) return Fault::Overflow;
  if (fieldSeparator.empty() || quote.empty()) return Fault::TypeMismatch;
  std::string_view input;
  if (text) input = std::string_view(*text).substr(std::min(begin, text->size()));

  bool sizing = !table.isDimensioned();
  std::int32_t lb1 = 1;
  std::int32_t ub1 = 1;
  if (!sizing) {
    lb1 = *table.lowerBound(1);
    ub1 = *table.upperBound(1);
  }
  RecordScanner scanner(charset, Separators{fieldSeparator[0], recordSeparator, quote[0]});
  ScannedRecord scanned;
  FieldStore store(table, text);
  std::size_t pos = 0;
  std::int64_t record = 0;
  while (scanner.next(input, pos, true, scanned) == RecordScanner::Status::Record) {
    if (++record > kMaxIndex) return Fault::Overflow;
    const auto index = static_cast<std::int32_t>(record);
    if (sizing) {
      // The first record decides the number of fields; it is then stored like any other.
      if (scanned.fields.size() > static_cast<std::size_t>(kMaxIndex)) return Fault::Overflow;
      ub1 = static_cast<std::int32_t>(scanned.fields.size());
      if (const Fault fault = table.dimension(1, ub1, 1, 1); fault != Fault::None) return fault;
      sizing = false;
    } else if (const Fault fault = table.growRecords(index); fault != Fault::None) {
      return fault;
    }
    if (record == 1) store.adopt();
    const auto width = static_cast<std::size_t>(std::int64_t{ub1} - lb1 + 1);
    const std::size_t stored = std::min(scanned.fields.size(), width);
    for (std::size_t i = 0; i < stored; ++i) {
      store.store(static_cast<std::int32_t>(lb1 + static_cast<std::int64_t>(i)), index,
                  scanned.fields[i]);
    }
    if (record == kProbeRecords) reserveRest(table, record, pos, input.size());
  }
  if (record == 0) return table.upperBound(2);
  return static_cast<std::int32_t>(record);
}

Result<std::int32_t> ParseDelimited(std::string_view text, CellTable& table,
                                    std::string_view fieldSeparator,
                                    std::string_view recordSeparator, std::string_view quote,
                                    CharSet charset) {
  return ParseDelimited(std::make_shared<const std::string>(text), 0, table, fieldSeparator,
                        recordSeparator, quote, charset);
}

}  // namespace vorlet
