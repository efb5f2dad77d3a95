#include "delimited/ParseDelimited.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "delimited/PlainLines.h"
#include "delimited/Prefault.h"

namespace vorlet {
namespace {

constexpr std::size_t kMaxRecordSeparator = 32767;
constexpr std::int64_t kMaxIndex = std::numeric_limits<std::int32_t>::max();
// Records of plain lines read at a time.
constexpr std::size_t kBatchRecords = 4096;

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

  // A record of plain lines read from the block, its fields ending at `ends` (offsets from
  // `base` in the block, the first field starting at `start`), from the field lower bound on.
  void storePlain(std::int32_t field, std::int32_t record, std::size_t start,
                  const std::uint32_t* ends, std::size_t count, std::size_t base) {
    if (blockId_ < 0) {
      for (std::size_t i = 0; i < count; ++i) {
        const std::size_t end = base + ends[i];
        store(field + static_cast<std::int32_t>(i), record,
              std::string_view(begin_ + start, end - start));
        start = end + 1;
      }
      return;
    }
    table_.setTextFields(record, blockId_, start, ends, count, base);
  }

 private:
  CellTable& table_;
  const TextBlock& block_;
  const char* begin_ = nullptr;
  const char* end_ = nullptr;
  int blockId_ = -1;
};

// Reserves room for the records still to come: at most one per record separator left, and one
// more. Counting them costs a fraction of reading them and spares a long table every copy.
void reserveRest(CellTable& table, std::int64_t records, std::string_view rest,
                 const PlainLines& plain) {
  if (!plain.usable()) return;
  const std::int64_t expected =
      records +
      static_cast<std::int64_t>(std::min<std::size_t>(plain.countLineEnds(rest), kMaxIndex)) + 1;
  try {
    table.reserveRecords(std::min(expected, kMaxIndex));
  } catch (const std::bad_alloc&) {
    // Growing record by record may still fit.
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
  const std::size_t base = text ? std::min(begin, text->size()) : 0;

  bool sizing = !table.isDimensioned();
  std::int32_t lb1 = 1;
  std::int32_t ub1 = 1;
  if (!sizing) {
    lb1 = *table.lowerBound(1);
    ub1 = *table.upperBound(1);
  }
  const Separators separators{fieldSeparator[0], recordSeparator, quote[0]};
  RecordScanner scanner(charset, separators);
  const PlainLines plain(separators);
  ScannedRecord scanned;
  PlainBatch batch;
  FieldStore store(table, text);
  Prefault prefault;
  std::size_t pos = 0;
  std::int64_t record = 0;
  const auto width = [&] { return static_cast<std::size_t>(std::int64_t{ub1} - lb1 + 1); };
  for (;;) {
    if (record > 0 && plain.usable()) {
      // Plain lines a batch at a time; the table grows once per batch.
      const std::size_t most = static_cast<std::size_t>(
          std::min<std::int64_t>(kBatchRecords, std::max<std::int64_t>(kMaxIndex - record, 1)));
      pos = plain.read(input, pos, most, batch);
      if (batch.records() > 0) {
        const std::int64_t last = record + static_cast<std::int64_t>(batch.records());
        if (last > kMaxIndex) return Fault::Overflow;
        if (const Fault fault = table.growRecords(static_cast<std::int32_t>(last));
            fault != Fault::None) {
          return fault;
        }
        for (std::size_t r = 0; r < batch.records(); ++r) {
          const std::uint32_t first = batch.firstField(r);
          const std::size_t count = std::min<std::size_t>(batch.recordEnds[r] - first, width());
          store.storePlain(lb1,
                           static_cast<std::int32_t>(record + 1 + static_cast<std::int64_t>(r)),
                           base + batch.base + batch.recordStart(r), batch.fieldEnds.data() + first,
                           count, base + batch.base);
        }
        record = last;
        continue;
      }
    }
    // A line with a quote, the last one, or any line where the fast path does not serve.
    if (scanner.next(input, pos, true, scanned) != RecordScanner::Status::Record) break;
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
    if (record == 1) {
      store.adopt();
      reserveRest(table, record, input.substr(pos), plain);
      // The table's room is faulted in on the helper thread while this one fills it.
      const CellTable::Storage storage = table.storage();
      prefault.start(storage.data, storage.bytes);
    }
    const std::size_t stored = std::min(scanned.fields.size(), width());
    for (std::size_t i = 0; i < stored; ++i) {
      store.store(static_cast<std::int32_t>(lb1 + static_cast<std::int64_t>(i)), index,
                  scanned.fields[i]);
    }
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
