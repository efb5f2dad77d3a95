#pragma once

#include <functional>

#include "table/Cell.h"
#include "table/Progress.h"
#include "thinning/GroupRules.h"
#include "thinning/SharedVariables.h"

namespace vorlet {

enum class ThinStatus : std::uint8_t {
  Done,
  BadInterval,  // the interval text is not a number of at least 2 that fits 16 bits; nothing
                // changed
};

// Thins vars.SourceTable by the interval into vars.ResultTable: dimensioned anew to 0..F by
// 0..R \ N with index 0 empty; simple mode copies the first record of every complete group,
// average mode stores each field's single-precision mean over the group. Sets FieldMax,
// RecordMax, Interval and the loop counters. `setBusy` runs once, before the work starts.
// A `thinMode` of 1 is average thinning; anything else, empty included, is simple thinning.
ThinStatus ThinTable(SharedVariables& vars, const Cell& intervalText, const Cell& thinMode,
                     const std::function<void()>& setBusy = {});

// The same with the mode as a mode, for callers that hold one.
ThinStatus ThinTable(SharedVariables& vars, const Cell& intervalText, ThinMode mode,
                     const std::function<void()>& setBusy = {});

// The same under any settings, the interval taken from the text instead of `settings`.
ThinStatus ThinTable(SharedVariables& vars, const Cell& intervalText, ThinSettings settings,
                     const std::function<void()>& setBusy = {});

// The engine beneath them: thins with an interval already checked by checkInterval. The result
// holds the header lines (K or all R records, whichever is fewer), then the output records of
// every complete group of N records after them, two per group in peak mode; fields 0..F and
// index 0 empty as above. Sets FieldMax, RecordMax, Interval and the loop counters as
// ThinTable does.
// `progress`, when given, counts the source records thinned.
void thinTable(SharedVariables& vars, const ThinSettings& settings, Progress* progress = nullptr);

}  // namespace vorlet
