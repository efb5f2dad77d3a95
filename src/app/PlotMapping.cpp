#include "app/PlotMapping.h"

#include <algorithm>
#include <limits>

namespace vorlet::app {

double sourcePosition(const vorlet::ThinSettings& settings, std::int64_t resultRecord) noexcept {
  const std::int64_t header = std::max<std::int64_t>(settings.headerLines, 0);
  if (resultRecord <= header) return static_cast<double>(resultRecord);
  const int perGroup = vorlet::recordsPerGroup(settings.mode);
  const std::int64_t kept = resultRecord - header - 1;
  const double n = settings.interval;
  const double groupStart = static_cast<double>(header + (kept / perGroup) * settings.interval + 1);
  switch (settings.mode) {
    case vorlet::ThinMode::Simple:
      return groupStart;
    case vorlet::ThinMode::Peak:
      return groupStart + (n - 1) * (kept % 2 == 0 ? 0.25 : 0.75);
    default:
      return groupStart + (n - 1) / 2;
  }
}

std::int64_t resultRecordCount(const vorlet::ThinSettings& settings,
                               std::int64_t records) noexcept {
  const std::int64_t header = std::clamp<std::int64_t>(settings.headerLines, 0, records);
  const std::int64_t groups = settings.interval > 0 ? (records - header) / settings.interval : 0;
  return header + groups * vorlet::recordsPerGroup(settings.mode);
}

int smallestIntervalFitting(vorlet::ThinSettings settings, std::int64_t records,
                            std::int64_t rows) noexcept {
  // The count falls as N grows, so the first N that fits is found by bisection.
  int lo = 2;
  int hi = std::numeric_limits<std::int16_t>::max();
  const auto fits = [&](int n) {
    settings.interval = static_cast<std::int16_t>(n);
    return resultRecordCount(settings, records) <= rows;
  };
  if (!fits(hi)) return 0;
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (fits(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

}  // namespace vorlet::app
