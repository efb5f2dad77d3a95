#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table/Cell.h"
#include "thinning/GroupRules.h"

namespace vorlet {

// The rules of a group over records whose bytes go away once read, as the stream pipeline's
// do. While a batch of records lasts, the group's output cells are found by their positions in
// it (`textAt(field, at)` gives the text of a field in the record at position `at` of the
// group, the empty text for a field the record lacks); keep() copies the texts that the open
// group still needs before the batch goes. Nothing is stored per cell: the cells of a group
// are many, and its chosen ones few.
class TextGroups {
 public:
  TextGroups(const ThinSettings& settings, std::size_t first, std::size_t last)
      : reducer_(settings, first, last), kept_(last - first) {}

  std::size_t first() const noexcept { return reducer_.first(); }
  std::size_t last() const noexcept { return reducer_.last(); }

  // Field `field` of the record at position `at` of the group. A field the record lacks is not
  // added: it is no number.
  template <GroupReducer::Fold kFold>
  void add(std::size_t field, std::string_view text, std::int32_t at) noexcept {
    reducer_.addText<kFold>(field, text, at);
  }
  GroupReducer::Fold fold() const noexcept { return reducer_.fold(); }

  // A cell of a group's output: a text, or a mean.
  struct Output {
    Cell cell;
    bool number;  // a number's text or a mean: never needs quotes
  };

  // Output record `row` (0, or 1 in peak mode) of `field` once the group is complete.
  // Positions from `from` on are still in the batch; earlier ones were kept.
  template <class TextAt>
  Output output(std::size_t field, std::int32_t row, std::int32_t from,
                const TextAt& textAt) const {
    const Pick pick = reducer_.pick(field, row);
    if (pick == Pick::Mean) return {reducer_.mean(field), true};
    const std::int32_t at = reducer_.position(field, pick);
    const std::string_view text =
        at >= from ? textAt(field, at) : std::string_view(kept_[field - first()][slot(pick)]);
    return {Cell::text(text), pick != Pick::FirstRecord};
  }

  // Copies the texts of the open group that lie in the batch (positions from `from` on), before
  // the batch goes. The group must hold a record.
  template <class TextAt>
  void keep(std::int32_t from, const TextAt& textAt) {
    for (std::size_t field = first(); field < last(); ++field) {
      auto& texts = kept_[field - first()];
      if (from == 0) texts[slot(Pick::FirstRecord)].assign(textAt(field, 0));
      if (!reducer_.holdsNumber(field)) continue;
      for (const Pick pick : {Pick::Smallest, Pick::Largest}) {
        const std::int32_t at = reducer_.position(field, pick);
        if (at >= from) texts[slot(pick)].assign(textAt(field, at));
      }
    }
  }

  // After a complete group.
  void reset() noexcept { reducer_.reset(); }

  std::uint64_t notNumbers() const noexcept { return reducer_.notNumbers(); }

 private:
  static std::size_t slot(Pick pick) noexcept { return static_cast<std::size_t>(pick); }

  GroupReducer reducer_;
  std::vector<std::array<std::string, 3>> kept_;  // per field: first record, smallest, largest
};

}  // namespace vorlet
