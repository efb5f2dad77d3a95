#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "table/Cell.h"
#include "table/Fault.h"
#include "table/RecordBatch.h"

namespace vorlet {

// Asks for the cache line at `address` ahead of its use; only a hint.
inline void prefetchLine(const void* address) noexcept {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// Hands out zeroed memory and leaves elements made without a value as they are: calloc's fresh
// pages need no clearing, so a table of hundreds of megabytes is not written twice.
template <class T>
struct ZeroedAllocator {
  using value_type = T;
  ZeroedAllocator() = default;
  template <class U>
  explicit ZeroedAllocator(const ZeroedAllocator<U>& /*other*/) noexcept {}
  T* allocate(std::size_t n) {
    // calloc(0) may give null, which must not read as a failure.
    if (void* memory = std::calloc(n == 0 ? 1 : n, sizeof(T))) return static_cast<T*>(memory);
    throw std::bad_alloc();
  }
  void deallocate(T* memory, std::size_t /*n*/) noexcept { std::free(memory); }
  template <class U>
  void construct(U* /*at*/) noexcept {}  // keeps the zero calloc gave, or the table put there
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
  friend bool operator==(const ZeroedAllocator&, const ZeroedAllocator&) noexcept { return true; }
};

// A block of text bytes a table keeps alive; text cells refer into blocks by offset.
using TextBlock = std::shared_ptr<const std::string>;

// A two-dimensional table of cells: dimension 1 is the field, dimension 2 the record, with the
// field index varying fastest. Each cell takes 8 bytes; text bytes live in blocks the table owns
// or shares (the file's own text, another table's storage), never one allocation per cell.
class CellTable {
 public:
  CellTable();

  bool isDimensioned() const noexcept { return dimensioned_; }

  // Discards all contents; every cell becomes empty. Bounds when an upper bound is below its
  // lower bound (the table then keeps its previous state).
  Fault dimension(std::int32_t lb1, std::int32_t ub1, std::int32_t lb2, std::int32_t ub2);
  // Sets the record upper bound, keeping the cells inside both old and new bounds. Amortised.
  Fault growRecords(std::int32_t ub2);
  // Back to undimensioned; storage shared with other tables stays alive for them.
  void erase();

  Result<std::int32_t> lowerBound(int dimension) const noexcept;
  Result<std::int32_t> upperBound(int dimension) const noexcept;

  Result<Cell> get(std::int32_t field, std::int32_t record) const noexcept;
  // Stores a copy; the bytes of a text are copied into the table's own storage.
  Fault set(std::int32_t field, std::int32_t record, const Cell& value);

  // Fast paths for readers and the engine. The indexes must lie inside the bounds.
  bool contains(std::int32_t field, std::int32_t record) const noexcept {
    return dimensioned_ && field >= lb1_ && field <= ub1_ && record >= lb2_ && record <= ub2_;
  }
  Cell cellAt(std::int32_t field, std::int32_t record) const noexcept {
    return decode(slots_[index(field, record)]);
  }
  // Keeps `block` alive with the table; returns its id for setTextAt, or -1 when the table
  // already shares as many blocks as it can (copy the bytes with set then).
  int adopt(TextBlock block);
  // Stores a text cell made of bytes [offset, offset + length) of an adopted block.
  void setTextAt(std::int32_t field, std::int32_t record, int block, std::uint64_t offset,
                 std::uint64_t length) {
    std::uint64_t& slot = slots_[index(field, record)];
    if (length < kLongLength && offset <= kMaxOffset) {
      slot = (offset << kOffsetShift) | (length << kLengthShift) |
             (static_cast<std::uint64_t>(block) << kBlockShift) | kTextKind;
    } else {
      slot = encodeText(block, offset, length);
    }
  }
  // Stores the records of a plain batch (lines cut at one-byte separators) as text cells of
  // records `record` on, from the field lower bound on, each record's fields up to the field
  // upper bound; the batch's offsets count from offset `base` of an adopted block. Cells a
  // record lacks keep what they held. The records must lie inside the bounds.
  void setTextRecords(std::int32_t record, int block, std::uint64_t base, const RecordBatch& batch);
  // Copies a cell of `source` without copying its bytes; the blocks are shared on first use.
  void copyCellAt(const CellTable& source, std::int32_t sourceField, std::int32_t sourceRecord,
                  std::int32_t field, std::int32_t record) {
    slots_[index(field, record)] =
        copiedSlot(source, source.slots_[source.index(sourceField, sourceRecord)]);
  }
  // copyCellAt for fields first..last of a record, all inside both tables.
  void copyCellsAt(const CellTable& source, std::int32_t sourceRecord, std::int32_t record,
                   std::int32_t first, std::int32_t last) {
    const std::uint64_t* from = source.slots_.data() + source.index(first, sourceRecord);
    std::uint64_t* to = slots_.data() + index(first, record);
    for (std::int32_t field = first; field <= last; ++field, ++from, ++to) {
      *to = copiedSlot(source, *from);
    }
  }
  // Asks for the cells of fields first..last of a record to be brought into the cache: a reader
  // that skips records (simple thinning reads one in N) otherwise waits on memory for each.
  void prefetchCells(std::int32_t record, std::int32_t first, std::int32_t last) const noexcept {
    prefetchLine(slots_.data() + index(first, record));
    prefetchLine(slots_.data() + index(last, record));
  }
  // Reserves room for this many records in all, so a reader that knows roughly how many
  // records are coming grows the table once.
  void reserveRecords(std::int64_t records);
  // The memory of the cells and of the room reserved, for a reader that wants it faulted in
  // ahead of time; its contents are the table's own business.
  struct Storage {
    void* data;
    std::size_t bytes;
  };
  Storage storage() noexcept { return {slots_.data(), slots_.capacity() * sizeof(std::uint64_t)}; }

  // For engines that read text cells in bulk: the text of a text cell without making a Cell.
  // False when the cell is no text.
  bool textAt(std::int32_t field, std::int32_t record, std::string_view& text) const noexcept {
    const std::uint64_t slot = slots_[index(field, record)];
    if (static_cast<CellKind>(slot & kKindMask) != CellKind::Text) return false;
    std::uint64_t block = (slot >> kBlockShift) & kBlockMask;
    std::uint64_t length = (slot >> kLengthShift) & kLongLength;
    std::uint64_t offset = slot >> kOffsetShift;
    if (length == kLongLength) {
      const LongText& longText = longTexts_[offset];
      block = longText.block, offset = longText.offset, length = longText.length;
    }
    text = std::string_view(blocks_[block]->data() + offset, length);
    return true;
  }

  std::int64_t fieldCount() const noexcept { return dimensioned_ ? width() : 0; }
  std::int64_t recordCount() const noexcept {
    return dimensioned_ ? std::int64_t{ub2_} - lb2_ + 1 : 0;
  }

 private:
  static constexpr int kMaxBlocks = 32;
  // A slot is 64 bits: the kind in bits 0-2, then
  //   numbers:  the 32-bit value in bits 32-63 (doubles: an index into a side vector in 8-63);
  //   texts:    block id in 3-7, length in 8-27, offset in 28-63; a text too long or too far
  //             into its block has the length all ones and an index into a side vector in 28-63.
  static constexpr std::uint64_t kKindMask = 0x7;
  static constexpr std::uint64_t kTextKind = static_cast<std::uint64_t>(CellKind::Text);
  static constexpr int kBlockShift = 3;
  static constexpr std::uint64_t kBlockMask = 0x1F;
  static constexpr int kLengthShift = 8;
  static constexpr int kOffsetShift = 28;
  static constexpr std::uint64_t kLongLength = (std::uint64_t{1} << 20) - 1;
  static constexpr std::uint64_t kMaxOffset = (std::uint64_t{1} << 36) - 1;

  struct LongText {
    std::uint32_t block;
    std::uint64_t offset;
    std::uint64_t length;
  };
  // Which of our blocks is a source table's block, by the source's block id; `source` is the
  // block's bytes, which our own reference keeps from being reused by another block.
  struct SharedBlock {
    const std::string* source = nullptr;
    std::uint64_t id = 0;
  };

  std::int64_t width() const noexcept { return std::int64_t{ub1_} - lb1_ + 1; }
  std::size_t index(std::int32_t field, std::int32_t record) const noexcept {
    return static_cast<std::size_t>((std::int64_t{record} - lb2_) * width() + (field - lb1_));
  }
  Cell decode(std::uint64_t slot) const noexcept;
  std::uint64_t encode(const Cell& value);
  std::uint64_t encodeText(int block, std::uint64_t offset, std::uint64_t length);
  // A source slot as it reads in this table.
  std::uint64_t copiedSlot(const CellTable& source, std::uint64_t slot) {
    const auto kind = static_cast<CellKind>(slot & kKindMask);
    if (kind != CellKind::Text && kind != CellKind::Double) return slot;
    // A short text of a block already shared keeps its offset and length.
    const auto sourceBlock = static_cast<std::size_t>((slot >> kBlockShift) & kBlockMask);
    const SharedBlock& shared = sharedFrom_[sourceBlock];
    if (kind == CellKind::Text && ((slot >> kLengthShift) & kLongLength) != kLongLength &&
        shared.source == source.blocks_[sourceBlock].get()) {
      return (slot & ~(kBlockMask << kBlockShift)) | (shared.id << kBlockShift);
    }
    return copiedSlowly(source, slot);
  }
  std::uint64_t copiedSlowly(const CellTable& source, std::uint64_t slot);
  void resetStorage();

  bool dimensioned_ = false;
  std::int32_t lb1_ = 0, ub1_ = 0, lb2_ = 0, ub2_ = 0;
  // Every slot between the size and the capacity is 0 (empty), so growing writes nothing.
  std::vector<std::uint64_t, ZeroedAllocator<std::uint64_t>> slots_;
  std::shared_ptr<std::string> arena_;  // block 0: bytes copied in by set
  std::vector<TextBlock> blocks_;
  std::vector<double> doubles_;
  std::vector<LongText> longTexts_;
  std::array<SharedBlock, kMaxBlocks> sharedFrom_{};
};

}  // namespace vorlet
