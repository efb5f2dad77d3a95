#pragma once

#include <cstdint>

#include "thinning/GroupRules.h"

class QSettings;

namespace vorlet::app {

// The settings of the "間引きの詳細設定" dialog. They persist between runs; the defaults thin as
// the program always has.
struct ThinOptions {
  static constexpr std::int32_t kMaxHeaderLines = 9999;

  std::int32_t headerLines = 0;  // 0..kMaxHeaderLines
  bool numbersOnly = false;      // means over the numbers of a group only
  bool firstFieldKept = false;   // field 1 takes each group's first value (a time column)
  bool doublePrecision = false;  // means in double precision

  bool operator==(const ThinOptions&) const = default;
};

// The engine's settings for one run.
vorlet::ThinSettings toThinSettings(const ThinOptions& options, std::int16_t interval,
                                    vorlet::ThinMode mode);

// Out of range or missing values read as their defaults.
ThinOptions loadThinOptions(QSettings& settings);
void storeThinOptions(QSettings& settings, const ThinOptions& options);

}  // namespace vorlet::app
