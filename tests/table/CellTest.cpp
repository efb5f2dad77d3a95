#include "table/Cell.h"

#include <gtest/gtest.h>

namespace vorlet {
namespace {

TEST(CellConversion, ToInteger16RoundsHalfToEvenAndChecksRange) {
  struct Case {
    Cell cell;
    Fault fault;
    std::int16_t value;
  };
  const Case cases[] = {
      {Cell::text(" 12 "), Fault::None, 12},
      {Cell::text("2.5"), Fault::None, 2},
      {Cell::text("3.5"), Fault::None, 4},
      {Cell::text("-2.5"), Fault::None, -2},
      {Cell::text("2.4999"), Fault::None, 2},
      {Cell::text("32767.4"), Fault::None, 32767},
      {Cell::text("32767.5"), Fault::Overflow, 0},
      {Cell::text("32768"), Fault::Overflow, 0},
      {Cell::text("-32768.5"), Fault::None, -32768},
      {Cell::text("-32769"), Fault::Overflow, 0},
      {Cell::text("12a"), Fault::TypeMismatch, 0},
      {Cell::text(""), Fault::TypeMismatch, 0},
      {Cell(), Fault::None, 0},
      {Cell::null(), Fault::TypeMismatch, 0},
      {Cell::single(6.5f), Fault::None, 6},
      {Cell::real(1e300), Fault::Overflow, 0},
  };
  for (const Case& c : cases) {
    const Result<std::int16_t> result = toInteger16(c.cell);
    EXPECT_EQ(result.fault(), c.fault) << toText(c.cell).value();
    if (result) {
      EXPECT_EQ(*result, c.value) << toText(c.cell).value();
    }
  }
}

TEST(CellConversion, ToSingleRefusesValuesBeyondTheSingleRange) {
  EXPECT_EQ(*toSingle(Cell::text("16777217")), 16777216.0f);
  EXPECT_EQ(toSingle(Cell::text("1e39")).fault(), Fault::Overflow);
  EXPECT_EQ(toSingle(Cell::text("abc")).fault(), Fault::TypeMismatch);
  EXPECT_EQ(*toSingle(Cell::text("1e-50")), 0.0f);
}

TEST(CellConversion, ToText) {
  EXPECT_EQ(*toText(Cell()), "");
  EXPECT_EQ(*toText(Cell::text("a,b")), "a,b");
  EXPECT_EQ(*toText(Cell::integer16(-12)), "-12");
  EXPECT_EQ(*toText(Cell::integer32(2147483647)), "2147483647");
  EXPECT_EQ(*toText(Cell::single(1.0f / 3.0f)), "0.3333333");
  EXPECT_EQ(*toText(Cell::real(0.1)), "0.1");
  EXPECT_EQ(toText(Cell::null()).fault(), Fault::TypeMismatch);
}

TEST(CellArithmetic, IntegerDivisionRoundsOperandsThenTruncates) {
  EXPECT_EQ(integerDivide(Cell::integer32(7), Cell::integer32(2))->asInteger32(), 3);
  EXPECT_EQ(integerDivide(Cell::real(7.5), Cell::integer32(2))->asInteger32(), 4);
  EXPECT_EQ(integerDivide(Cell::integer32(-7), Cell::integer32(2))->asInteger32(), -3);
  EXPECT_EQ(integerDivide(Cell::text("9"), Cell::text("2.5"))->asInteger32(), 4);
  EXPECT_EQ(integerDivide(Cell(), Cell::integer32(3))->asInteger32(), 0);
  EXPECT_EQ(integerDivide(Cell::integer32(1), Cell::real(0.4)).fault(), Fault::DivisionByZero);
  EXPECT_EQ(integerDivide(Cell::integer32(1), Cell()).fault(), Fault::DivisionByZero);
  EXPECT_EQ(integerDivide(Cell::integer32(-2147483647 - 1), Cell::integer32(-1)).fault(),
            Fault::Overflow);
}

TEST(CellArithmetic, AdditionReadsTextsAsNumbers) {
  const Result<Cell> sum = add(Cell::single(1.5f), Cell::text("2"));
  ASSERT_TRUE(sum);
  EXPECT_EQ(sum->kind(), CellKind::Double);
  EXPECT_EQ(sum->asDouble(), 3.5);
  EXPECT_EQ(add(Cell::integer16(1), Cell::text("abc")).fault(), Fault::TypeMismatch);
  EXPECT_EQ(add(Cell(), Cell::integer16(4))->asInteger32(), 4);
  EXPECT_EQ(subtract(Cell::integer32(1), Cell::integer32(3))->asInteger32(), -2);
  EXPECT_EQ(add(Cell::single(3e38f), Cell::single(3e38f)).fault(), Fault::Overflow);
  EXPECT_EQ(add(Cell::integer32(2147483647), Cell::integer32(1))->kind(), CellKind::Double);
}

TEST(CellComparison, EmptyEqualsZeroAndTheEmptyText) {
  EXPECT_TRUE(*equals(Cell(), Cell::integer16(0)));
  EXPECT_TRUE(*equals(Cell(), Cell::text("")));
  EXPECT_TRUE(*equals(Cell::text("a"), Cell::text("a")));
  EXPECT_FALSE(*equals(Cell::text("a"), Cell::text("A")));
  EXPECT_FALSE(*equals(Cell::text("a "), Cell::text("a")));
  EXPECT_TRUE(*equals(Cell::single(1.0f), Cell::integer16(1)));
  EXPECT_TRUE(*equals(Cell::text("1.0"), Cell::integer16(1)));
  EXPECT_EQ(equals(Cell::text("x"), Cell::integer16(1)).fault(), Fault::TypeMismatch);
}

}  // namespace
}  // namespace vorlet
