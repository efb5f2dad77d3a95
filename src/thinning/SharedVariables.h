#pragma once

#include <cstdint>

#include "table/Cell.h"
#include "table/CellTable.h"

namespace vorlet {

// The state the commands share for the whole run. The window owns one and hands it to whoever
// needs it; nothing here is global.
struct SharedVariables {
  CellTable SourceTable;  // the file opened last: fields 1..F by records 1..R
  CellTable ResultTable;  // the thinned table: 0..F by 0..R \ N, index 0 left empty
  Cell FieldMax;          // upper field bound of SourceTable; empty until first set
  Cell RecordMax;         // upper record bound of SourceTable; empty until first set
  Cell FieldIndex;        // loop counters of the preview and the engine
  Cell RecordIndex;
  std::int16_t Interval = 0;  // the thinning interval N of the last run
};

}  // namespace vorlet
