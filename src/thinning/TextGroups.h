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
// do: the reducer, and the texts of the cells the group's output takes. The texts are views
// into the records while these last; keep() copies them before their bytes are reused, which
// happens once per batch of records rather than once per cell.
class TextGroups {
 public:
  TextGroups(const ThinSettings& settings, std::size_t first, std::size_t last)
      : reducer_(settings, first, last), texts_(last - first) {}

  std::size_t first() const noexcept { return reducer_.first(); }
  std::size_t last() const noexcept { return reducer_.last(); }

  // Field `field` of the record at position `at` of the group. A field the record lacks is
  // simply not added: it is no number, and as the first record's cell it is written as nothing.
  void add(std::size_t field, std::string_view text, std::int32_t at) noexcept {
    Texts& t = texts_[field - reducer_.first()];
    if (at == 0) t.views[kFirst] = text;
    if (!reducer_.reads(field)) return;
    const unsigned kept = reducer_.addText(field, text, at);
    if ((kept & GroupReducer::kSmallest) != 0) t.views[kSmallest] = text;
    if ((kept & GroupReducer::kLargest) != 0) t.views[kLargest] = text;
  }

  // Output record `row` (0, or 1 in peak mode) of `field` once the group is complete: a text
  // or a mean.
  Cell output(std::size_t field, std::int32_t row) const noexcept {
    const Pick pick = reducer_.pick(field, row);
    const Texts& t = texts_[field - reducer_.first()];
    switch (pick) {
      case Pick::Mean:
        return reducer_.mean(field);
      case Pick::Smallest:
        return Cell::text(t.views[kSmallest]);
      case Pick::Largest:
        return Cell::text(t.views[kLargest]);
      default:
        return Cell::text(t.views[kFirst]);
    }
  }

  // Copies the texts the open group refers to, before the records' bytes are reused.
  void keep() {
    for (Texts& t : texts_) {
      for (std::size_t i = 0; i < t.views.size(); ++i) {
        if (t.views[i].data() == t.owned[i].data()) continue;
        t.owned[i].assign(t.views[i]);
        t.views[i] = t.owned[i];
      }
    }
  }

  // After a complete group.
  void reset() noexcept {
    reducer_.reset();
    for (Texts& t : texts_) t.views = {};
  }

  std::uint64_t notNumbers() const noexcept { return reducer_.notNumbers(); }

 private:
  static constexpr std::size_t kFirst = 0;
  static constexpr std::size_t kSmallest = 1;
  static constexpr std::size_t kLargest = 2;
  struct Texts {
    std::array<std::string_view, 3> views{};
    std::array<std::string, 3> owned{};
  };

  GroupReducer reducer_;
  std::vector<Texts> texts_;
};

}  // namespace vorlet
