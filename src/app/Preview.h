#pragma once

#include "delimited/FileRoad.h"
#include "table/CellTable.h"

namespace vorlet::app {

class FlexGrid;

// Shows records 1..50 and fields 1..5 of a table in grid rows 0..49 and columns 0..4, each cell
// as its text decoded from the table's encoding. Cells the table does not hold are left as they
// are, so callers clear the grid first.
void showPreview(FlexGrid& grid, const vorlet::CellTable& table, vorlet::TextEncoding encoding);

}  // namespace vorlet::app
