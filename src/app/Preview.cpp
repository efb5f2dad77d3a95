#include "app/Preview.h"

#include "app/FlexGrid.h"
#include "app/TextDecoding.h"

namespace vorlet::app {

void showPreview(FlexGrid& grid, const vorlet::CellTable& table, vorlet::TextEncoding encoding) {
  for (int record = 1; record <= FlexGrid::kRows; ++record) {
    for (int field = 1; field <= FlexGrid::kCols; ++field) {
      if (!table.contains(field, record)) continue;
      const vorlet::Result<std::string> text = vorlet::toText(table.cellAt(field, record));
      if (!text) continue;  // a null cell has no text
      grid.setRow(record - 1);
      grid.setCol(field - 1);
      grid.setText(decodeForDisplay(*text, encoding));
    }
  }
}

}  // namespace vorlet::app
