#pragma once

#include <cstdint>

#include "thinning/GroupRules.h"

namespace vorlet::app {

// Where result record `resultRecord` (from 1) of a run with `settings` stands among the source
// records (from 1): header lines where they were, a simple group's kept record at its first
// record, a mean at its group's centre, a peak pair at a quarter and three quarters of its group.
// Fractional for records that stand for a whole group.
double sourcePosition(const vorlet::ThinSettings& settings, std::int64_t resultRecord) noexcept;

// The records a source of `records` records thins to with `settings`: header lines, then one
// record per complete group (two in peak mode).
std::int64_t resultRecordCount(const vorlet::ThinSettings& settings, std::int64_t records) noexcept;

// Rows a spreadsheet holds at most.
inline constexpr std::int64_t kSpreadsheetRows = 1'048'576;

// The smallest interval N (from 2) whose result of `records` source records fits in `rows`
// rows with these settings otherwise; 0 when no interval a thinning run accepts does.
int smallestIntervalFitting(vorlet::ThinSettings settings, std::int64_t records,
                            std::int64_t rows = kSpreadsheetRows) noexcept;

}  // namespace vorlet::app
