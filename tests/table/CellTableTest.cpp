#include "table/CellTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vorlet {
namespace {

std::string textAt(const CellTable& table, std::int32_t field, std::int32_t record) {
  const Result<Cell> cell = table.get(field, record);
  if (!cell) return "<bounds>";
  if (cell->isEmpty()) return "<empty>";
  return toText(*cell).value();
}

TEST(CellTable, DimensionSetsBoundsAndEmptiesEveryCellEraseUndoesIt) {
  CellTable table;
  EXPECT_EQ(table.get(1, 1).fault(), Fault::Bounds);
  EXPECT_EQ(table.set(1, 1, Cell::text("x")), Fault::Bounds);
  EXPECT_EQ(table.growRecords(3), Fault::Bounds);
  ASSERT_EQ(table.dimension(1, 3, 1, 1), Fault::None);
  EXPECT_EQ(*table.upperBound(1), 3);
  table.set(2, 1, Cell::text("x"));
  ASSERT_EQ(table.dimension(0, 1, 0, 4), Fault::None);
  EXPECT_EQ(textAt(table, 1, 1), "<empty>");
  EXPECT_EQ(*table.lowerBound(1), 0);
  // An upper bound below its lower bound is refused and the table keeps its shape.
  EXPECT_EQ(table.dimension(1, 0, 1, 1), Fault::Bounds);
  EXPECT_EQ(*table.upperBound(2), 4);
  // Records given up and grown back are empty again; the records kept keep their cells.
  table.set(1, 1, Cell::text("kept"));
  table.set(1, 3, Cell::text("dropped"));
  ASSERT_EQ(table.growRecords(1), Fault::None);
  ASSERT_EQ(table.growRecords(4), Fault::None);
  EXPECT_EQ(textAt(table, 1, 1), "kept");
  EXPECT_EQ(textAt(table, 1, 3), "<empty>");
  table.erase();
  EXPECT_FALSE(table.isDimensioned());
  EXPECT_EQ(table.upperBound(1).fault(), Fault::Bounds);
}

TEST(CellTable, StoresEveryKindAndCopiesTextsOfAnyLength) {
  CellTable table;
  table.dimension(1, 9, 1, 1);
  std::string transient = "short-lived";
  const std::string big(3 << 20, 'z');  // far offsets into the table's text storage
  table.set(9, 1, Cell::text(big));
  table.set(1, 1, Cell::text(transient));
  transient.assign("overwritten");
  table.set(2, 1, Cell::integer16(-7));
  table.set(3, 1, Cell::integer32(-2000000000));
  table.set(4, 1, Cell::single(2.5f));
  table.set(5, 1, Cell::real(0.1));
  table.set(6, 1, Cell::boolean(true));
  table.set(7, 1, Cell::null());
  table.set(8, 1, Cell::text(""));
  EXPECT_EQ(textAt(table, 1, 1), "short-lived");
  EXPECT_EQ(table.get(2, 1)->asInteger16(), -7);
  EXPECT_EQ(table.get(3, 1)->asInteger32(), -2000000000);
  EXPECT_EQ(table.get(4, 1)->asSingle(), 2.5f);
  EXPECT_EQ(table.get(5, 1)->asDouble(), 0.1);
  EXPECT_TRUE(table.get(6, 1)->asBoolean());
  EXPECT_EQ(table.get(7, 1)->kind(), CellKind::Null);
  EXPECT_EQ(table.get(8, 1)->kind(), CellKind::Text);
  EXPECT_EQ(textAt(table, 8, 1), "");
  EXPECT_EQ(table.get(9, 1)->asText(), big);
}

TEST(CellTable, CopiedCellsOutliveTheirSourceTable) {
  auto block = std::make_shared<const std::string>("alpha,beta");
  CellTable result;
  result.dimension(0, 2, 0, 1);
  {
    CellTable source;
    source.dimension(1, 2, 1, 1);
    const int id = source.adopt(block);
    ASSERT_GE(id, 0);
    source.setTextAt(1, 1, id, 0, 5);
    source.set(2, 1, Cell::text("gamma"));  // copied into the source's own storage
    result.copyCellAt(source, 1, 1, 1, 1);
    result.copyCellAt(source, 2, 1, 2, 1);
    block.reset();
    source.erase();
  }
  EXPECT_EQ(textAt(result, 1, 1), "alpha");
  EXPECT_EQ(textAt(result, 2, 1), "gamma");
}

}  // namespace
}  // namespace vorlet
