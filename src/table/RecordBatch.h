#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace vorlet {

// A growable array of offsets whose new room is left unwritten, unlike std::vector's: the
// record source reserves room for a block's worth of offsets, writes them without a check
// each, and keeps as many as it wrote.
class Offsets {
 public:
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  std::size_t capacity() const noexcept { return capacity_; }
  std::uint32_t* data() noexcept { return data_.get(); }
  const std::uint32_t* data() const noexcept { return data_.get(); }
  std::uint32_t operator[](std::size_t i) const noexcept { return data_[i]; }
  std::uint32_t back() const noexcept { return data_[size_ - 1]; }
  void clear() noexcept { size_ = 0; }
  void push_back(std::uint32_t value) {
    if (size_ == capacity_) reserve(std::max<std::size_t>(64, 2 * capacity_));
    data_[size_++] = value;
  }
  // Room for at least `count` offsets past the end, to be written and then kept by resize().
  std::uint32_t* room(std::size_t count) {
    if (capacity_ - size_ < count) reserve(std::max(size_ + count, 2 * capacity_));
    return data_.get() + size_;
  }
  // Keeps the first `size` offsets; growing keeps what room() had written there.
  void resize(std::size_t size) {
    if (size > capacity_) reserve(size);
    size_ = size;
  }
  void reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    auto grown = std::make_unique_for_overwrite<std::uint32_t[]>(capacity);
    std::copy_n(data_.get(), size_, grown.get());
    data_ = std::move(grown);
    capacity_ = capacity;
  }

 private:
  std::unique_ptr<std::uint32_t[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Records as the record source hands them to whoever consumes them (the table pipeline stores
// them, the stream pipeline thins them): every field a byte range of one text. A field starts
// one byte after the previous field of its record ends; a record's first field starts at its
// recordStarts entry. Reused from batch to batch, so that reading allocates nothing once warm.
struct RecordBatch {
  const char* base = nullptr;  // where the offsets count from
  Offsets fieldEnds;           // every field's end, as an offset from base
  Offsets recordEnds;          // per record: the index in fieldEnds past its last field
  Offsets recordStarts;        // per record: the offset of its first byte
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
