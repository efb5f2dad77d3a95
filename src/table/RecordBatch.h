#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vorlet {

// Records as the record source hands them to whoever consumes them (the table pipeline stores
// them, the stream pipeline thins them): every field a byte range of one text. A field starts
// one byte after the previous field of its record ends; a record's first field starts at its
// recordStarts entry. Reused from batch to batch, so that reading allocates nothing once warm.
struct RecordBatch {
  const char* base = nullptr;             // where the offsets count from
  std::vector<std::uint32_t> fieldEnds;   // every field's end, as an offset from base
  std::vector<std::uint32_t> recordEnds;  // per record: the index in fieldEnds past its last field
  std::vector<std::uint32_t> recordStarts;  // per record: the offset of its first byte
  // True when every field's bytes are its text as written in the input (no quote, field
  // separator or line end inside), so a record's bytes from its start to its last field's end
  // are its fields joined by the field separator. False for a batch of records read by the full
  // rules (a quote in them, or the last line): their fields are then laid out the same way in
  // the source's own storage, valid until its next call.
  bool plain = true;

  std::size_t records() const noexcept { return recordEnds.size(); }
  std::uint32_t firstField(std::size_t record) const noexcept {
    return record == 0 ? 0 : recordEnds[record - 1];
  }
  std::size_t fieldCount(std::size_t record) const noexcept {
    return recordEnds[record] - firstField(record);
  }
  // Field `field` (from 0) of record `record`.
  std::string_view field(std::size_t record, std::size_t field) const noexcept {
    const std::size_t index = firstField(record) + field;
    const std::size_t begin = field == 0 ? recordStarts[record] : fieldEnds[index - 1] + 1;
    return std::string_view(base + begin, fieldEnds[index] - begin);
  }
  void clear() noexcept {
    fieldEnds.clear();
    recordEnds.clear();
    recordStarts.clear();
    plain = true;
  }
};

}  // namespace vorlet
