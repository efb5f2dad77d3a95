#include "table/CellTable.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vorlet {
namespace {

constexpr std::uint64_t kindBits(CellKind kind) noexcept {
  return static_cast<std::uint64_t>(kind);
}

std::uint64_t payload32(std::uint32_t bits, CellKind kind) noexcept {
  return (std::uint64_t{bits} << 32) | kindBits(kind);
}

}  // namespace

CellTable::CellTable() {
  resetStorage();
}

void CellTable::resetStorage() {
  arena_ = std::make_shared<std::string>();
  blocks_.assign(1, arena_);
  doubles_.clear();
  longTexts_.clear();
  sharedFrom_.fill({});
}

Fault CellTable::dimension(std::int32_t lb1, std::int32_t ub1, std::int32_t lb2, std::int32_t ub2) {
  if (ub1 < lb1 || ub2 < lb2) return Fault::Bounds;
  const auto cells =
      static_cast<std::size_t>((std::int64_t{ub1} - lb1 + 1) * (std::int64_t{ub2} - lb2 + 1));
  // Written, though calloc gave zeros: the pages are faulted in here at once, not one by one by
  // whoever fills the table (two threads faulting pages of one process slow each other down).
  // May throw std::bad_alloc: the state stays.
  decltype(slots_) slots(cells, 0);
  slots_ = std::move(slots);
  resetStorage();
  dimensioned_ = true;
  lb1_ = lb1, ub1_ = ub1, lb2_ = lb2, ub2_ = ub2;
  return Fault::None;
}

Fault CellTable::growRecords(std::int32_t ub2) {
  if (!dimensioned_ || ub2 < lb2_) return Fault::Bounds;
  const auto cells = static_cast<std::size_t>((std::int64_t{ub2} - lb2_ + 1) * width());
  // Cells given up are cleared, so that the room past the size stays empty.
  if (cells < slots_.size())
    std::fill(slots_.begin() + static_cast<std::ptrdiff_t>(cells), slots_.end(), 0);
  slots_.resize(cells);
  ub2_ = ub2;
  return Fault::None;
}

void CellTable::reserveRecords(std::int64_t records) {
  const auto cells = static_cast<std::size_t>(records * width());
  if (!dimensioned_ || records <= 0 || cells <= slots_.capacity()) return;
  slots_.reserve(cells);
}

void CellTable::erase() {
  dimensioned_ = false;
  lb1_ = ub1_ = lb2_ = ub2_ = 0;
  decltype(slots_)().swap(slots_);
  resetStorage();
}

Result<std::int32_t> CellTable::lowerBound(int dimension) const noexcept {
  if (!dimensioned_ || (dimension != 1 && dimension != 2)) return Fault::Bounds;
  return dimension == 1 ? lb1_ : lb2_;
}

Result<std::int32_t> CellTable::upperBound(int dimension) const noexcept {
  if (!dimensioned_ || (dimension != 1 && dimension != 2)) return Fault::Bounds;
  return dimension == 1 ? ub1_ : ub2_;
}

Result<Cell> CellTable::get(std::int32_t field, std::int32_t record) const noexcept {
  if (!contains(field, record)) return Fault::Bounds;
  return cellAt(field, record);
}

Fault CellTable::set(std::int32_t field, std::int32_t record, const Cell& value) {
  if (!contains(field, record)) return Fault::Bounds;
  slots_[index(field, record)] = encode(value);
  return Fault::None;
}

Cell CellTable::decode(std::uint64_t slot) const noexcept {
  const auto kind = static_cast<CellKind>(slot & kKindMask);
  const auto high = static_cast<std::uint32_t>(slot >> 32);
  switch (kind) {
    case CellKind::Empty:
      return Cell();
    case CellKind::Null:
      return Cell::null();
    case CellKind::Integer16:
      return Cell::integer16(static_cast<std::int16_t>(high));
    case CellKind::Integer32:
      return Cell::integer32(static_cast<std::int32_t>(high));
    case CellKind::Single:
      return Cell::single(std::bit_cast<float>(high));
    case CellKind::Boolean:
      return Cell::boolean(high != 0);
    case CellKind::Double:
      return Cell::real(doubles_[slot >> kLengthShift]);
    case CellKind::Text:
      break;
  }
  std::uint64_t block = (slot >> kBlockShift) & 0x1F;
  std::uint64_t length = (slot >> kLengthShift) & kLongLength;
  std::uint64_t offset = slot >> kOffsetShift;
  if (length == kLongLength) {
    const LongText& text = longTexts_[offset];
    block = text.block, offset = text.offset, length = text.length;
  }
  return Cell::text(std::string_view(blocks_[block]->data() + offset, length));
}

std::uint64_t CellTable::encodeText(int block, std::uint64_t offset, std::uint64_t length) {
  if (length < kLongLength && offset <= kMaxOffset) {
    return (offset << kOffsetShift) | (length << kLengthShift) |
           (static_cast<std::uint64_t>(block) << kBlockShift) | kindBits(CellKind::Text);
  }
  longTexts_.push_back({static_cast<std::uint32_t>(block), offset, length});
  return (static_cast<std::uint64_t>(longTexts_.size() - 1) << kOffsetShift) |
         (kLongLength << kLengthShift) | (static_cast<std::uint64_t>(block) << kBlockShift) |
         kindBits(CellKind::Text);
}

std::uint64_t CellTable::encode(const Cell& value) {
  switch (value.kind()) {
    case CellKind::Empty:
      return 0;
    case CellKind::Null:
      return kindBits(CellKind::Null);
    case CellKind::Integer16:
      return payload32(static_cast<std::uint32_t>(static_cast<std::int32_t>(value.asInteger16())),
                       CellKind::Integer16);
    case CellKind::Integer32:
      return payload32(static_cast<std::uint32_t>(value.asInteger32()), CellKind::Integer32);
    case CellKind::Single:
      return payload32(std::bit_cast<std::uint32_t>(value.asSingle()), CellKind::Single);
    case CellKind::Boolean:
      return payload32(value.asBoolean() ? 1 : 0, CellKind::Boolean);
    case CellKind::Double:
      doubles_.push_back(value.asDouble());
      return (static_cast<std::uint64_t>(doubles_.size() - 1) << kLengthShift) |
             kindBits(CellKind::Double);
    case CellKind::Text:
      break;
  }
  const std::string_view text = value.asText();
  const std::uint64_t offset = arena_->size();
  arena_->append(text);
  return encodeText(0, offset, text.size());
}

int CellTable::adopt(TextBlock block) {
  if (!block) return -1;
  for (std::size_t i = 0; i < blocks_.size(); ++i) {
    if (blocks_[i] == block) return static_cast<int>(i);
  }
  if (blocks_.size() >= kMaxBlocks) return -1;
  blocks_.push_back(std::move(block));
  return static_cast<int>(blocks_.size() - 1);
}

void CellTable::setTextRecords(std::int32_t record, int block, std::uint64_t base,
                               const RecordBatch& batch) {
  const auto fields = static_cast<std::size_t>(width());
  std::uint64_t* row = slots_.data() + index(lb1_, record);
  const std::uint64_t kind = (static_cast<std::uint64_t>(block) << kBlockShift) | kTextKind;
  std::uint32_t first = 0;
  for (std::size_t r = 0; r < batch.records(); ++r, row += fields) {
    const std::uint32_t* ends = batch.fieldEnds.data() + first;
    const std::size_t count = std::min<std::size_t>(batch.recordEnds[r] - first, fields);
    first = batch.recordEnds[r];
    std::uint64_t start = base + batch.recordStarts[r];
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t end = base + ends[i];
      const std::uint64_t length = end - start;
      row[i] = length < kLongLength && start <= kMaxOffset
                   ? (start << kOffsetShift) | (length << kLengthShift) | kind
                   : encodeText(block, start, length);
      start = end + 1;
    }
  }
}

// The slow ways of copyCellAt: the first text of a source block, long texts, doubles.
std::uint64_t CellTable::copiedSlowly(const CellTable& source, std::uint64_t slot) {
  const Cell cell = source.decode(slot);
  if (cell.kind() == CellKind::Text) {
    auto sourceBlock = static_cast<std::size_t>((slot >> kBlockShift) & kBlockMask);
    std::uint64_t offset = slot >> kOffsetShift;
    if (((slot >> kLengthShift) & kLongLength) == kLongLength) {
      sourceBlock = source.longTexts_[offset].block;
      offset = source.longTexts_[offset].offset;
    }
    const int block = adopt(source.blocks_[sourceBlock]);
    if (block >= 0) {
      sharedFrom_[sourceBlock] = {source.blocks_[sourceBlock].get(),
                                  static_cast<std::uint64_t>(block)};
      return encodeText(block, offset, cell.asText().size());
    }
  }
  return encode(cell);
}

}  // namespace vorlet
