#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "table/Cell.h"
#include "table/Fault.h"

namespace vorlet {

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
                 std::uint64_t length);
  // Copies a cell of `source` without copying its bytes; the blocks are shared on first use.
  void copyCellAt(const CellTable& source, std::int32_t sourceField, std::int32_t sourceRecord,
                  std::int32_t field, std::int32_t record);
  // Reserves room for this many records in all, so a reader that knows roughly how many
  // records are coming grows the table once.
  void reserveRecords(std::int64_t records);

  std::int64_t fieldCount() const noexcept { return dimensioned_ ? width() : 0; }
  std::int64_t recordCount() const noexcept {
    return dimensioned_ ? std::int64_t{ub2_} - lb2_ + 1 : 0;
  }

 private:
  static constexpr int kMaxBlocks = 32;
  struct LongText {
    std::uint32_t block;
    std::uint64_t offset;
    std::uint64_t length;
  };

  std::int64_t width() const noexcept { return std::int64_t{ub1_} - lb1_ + 1; }
  std::size_t index(std::int32_t field, std::int32_t record) const noexcept {
    return static_cast<std::size_t>((std::int64_t{record} - lb2_) * width() + (field - lb1_));
  }
  Cell decode(std::uint64_t slot) const noexcept;
  std::uint64_t encode(const Cell& value);
  std::uint64_t encodeText(int block, std::uint64_t offset, std::uint64_t length);
  int blockIdFor(const CellTable& source, int sourceBlock);
  void resetStorage();

  bool dimensioned_ = false;
  std::int32_t lb1_ = 0, ub1_ = 0, lb2_ = 0, ub2_ = 0;
  std::vector<std::uint64_t> slots_;
  std::shared_ptr<std::string> arena_;  // block 0: bytes copied in by set
  std::vector<TextBlock> blocks_;
  std::vector<double> doubles_;
  std::vector<LongText> longTexts_;
};

}  // namespace vorlet
