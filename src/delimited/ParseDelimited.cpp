#include "delimited/ParseDelimited.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "delimited/Prefault.h"
#include "delimited/RecordSource.h"

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

  // The records of `batch` from table record `record` on, from the field lower bound on, at
  // most `width` fields each; `asRead` holds the fields of a batch that is not plain.
  void storeBatch(std::int32_t field, std::int32_t record, const RecordBatch& batch,
                  std::size_t width, const std::vector<std::string_view>& asRead) {
    if (batch.plain && blockId_ >= 0) {
      table_.setTextRecords(record, blockId_, static_cast<std::uint64_t>(batch.base - begin_),
                            batch);
      return;
    }
    for (std::size_t r = 0; r < batch.records(); ++r) {
      const std::size_t count = std::min(batch.fieldCount(r), width);
      const auto at = record + static_cast<std::int32_t>(r);
      for (std::size_t i = 0; i < count; ++i) {
        store(field + static_cast<std::int32_t>(i), at,
              batch.plain ? batch.field(r, i) : asRead[i]);
      }
    }
  }

 private:
  CellTable& table_;
  const TextBlock& block_;
  const char* begin_ = nullptr;
  const char* end_ = nullptr;
  int blockId_ = -1;
};

// Reserves room for the records to come, by the caller's bound or, without one, when the source
// can bound them cheaply: counting costs a fraction of reading them and spares a long table
// every copy.
void reserveRest(CellTable& table, std::size_t bound, std::string_view rest,
                 const RecordSource& source) {
  if (bound == 0) bound = source.countRecords(rest);
  if (bound == 0) return;
  const auto expected = static_cast<std::int64_t>(std::min<std::size_t>(bound, kMaxIndex));
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
                                    CharSet charset, Progress* progress, std::size_t recordBound) {
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
  RecordSource source(charset, Separators{fieldSeparator[0], recordSeparator, quote[0]},
                      RecordSource::ReadFields::AsRead);
  RecordBatch batch;
  FieldStore store(table, text);
  Prefault prefault;
  std::size_t pos = 0;
  std::int64_t record = 0;
  for (;;) {
    // The table grows once per batch.
    const auto most = static_cast<std::size_t>(
        std::min<std::int64_t>(kBatchRecords, std::max<std::int64_t>(kMaxIndex - record, 1)));
    const std::size_t start = pos;
    if (source.next(input, pos, true, most, batch) != RecordSource::Status::Records) break;
    if (sizing) {
      // The first record decides the number of fields; it is then stored like any other.
      if (batch.fieldCount(0) > static_cast<std::size_t>(kMaxIndex)) return Fault::Overflow;
      ub1 = static_cast<std::int32_t>(batch.fieldCount(0));
      if (const Fault fault = table.dimension(1, ub1, 1, 1); fault != Fault::None) return fault;
      sizing = false;
    }
    if (record == 0) {
      if (*table.lowerBound(2) > 1) return Fault::Bounds;
      store.adopt();
      reserveRest(table, recordBound, input.substr(start), source);
    }
    const std::int64_t last = record + static_cast<std::int64_t>(batch.records());
    if (last > kMaxIndex) return Fault::Overflow;
    if (const Fault fault = table.growRecords(static_cast<std::int32_t>(last));
        fault != Fault::None) {
      return fault;
    }
    if (record == 0) {
      // The table's room is faulted in on the helper thread while this one fills it.
      const CellTable::Storage storage = table.storage();
      prefault.start(storage.data, storage.bytes);
    }
    const auto width = static_cast<std::size_t>(std::int64_t{ub1} - lb1 + 1);
    store.storeBatch(lb1, static_cast<std::int32_t>(record + 1), batch, width,
                     source.fieldsAsRead());
    record = last;
    if (progress != nullptr) progress->add(pos - start);
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
