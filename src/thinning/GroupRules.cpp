#include "thinning/GroupRules.h"

#include <string>

namespace vorlet {

namespace {

bool listsField(const ThinSettings& settings, std::int64_t field) noexcept {
  return std::find(settings.firstRecordFields.begin(), settings.firstRecordFields.end(), field) !=
         settings.firstRecordFields.end();
}

}  // namespace

bool plainGroups(const ThinSettings& settings, std::int64_t fields) noexcept {
  if (settings.mode == ThinMode::Simple) return true;
  if (settings.mode != ThinMode::Average || settings.numbersOnly || settings.doublePrecision) {
    return false;
  }
  return std::none_of(settings.firstRecordFields.begin(), settings.firstRecordFields.end(),
                      [fields](std::int32_t field) { return field >= 1 && field <= fields; });
}

GroupReducer::GroupReducer(const ThinSettings& settings, std::size_t first, std::size_t last)
    : mode_(settings.mode),
      fold_(settings.mode != ThinMode::Average ? Fold::Extremes
            : settings.doublePrecision         ? Fold::DoubleSum
                                               : Fold::SingleSum),
      average_(settings.mode == ThinMode::Average),
      numbersOnly_(average_ && settings.numbersOnly),
      doublePrecision_(average_ && settings.doublePrecision),
      interval_(settings.interval),
      first_(first) {
  // A cache line more than the fields take, as AverageGroups does for its sums.
  fields_.reserve(last - first + (kCacheLine + sizeof(Field) - 1) / sizeof(Field));
  fields_.resize(last - first);
  for (std::size_t f = first; f < last; ++f) {
    fields_[f - first].firstRecord = listsField(settings, static_cast<std::int64_t>(f) + 1);
  }
}

void GroupReducer::appendMean(std::size_t field, std::string& out) const {
  char text[kNumberTextMax];
  const Cell value = mean(field);
  out.append(text, value.kind() == CellKind::Double ? formatDouble(value.asDouble(), text)
                                                    : formatSingle(value.asSingle(), text));
}

}  // namespace vorlet
