#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "table/Fault.h"

namespace vorlet {

enum class CellKind : std::uint8_t {
  Empty,  // never assigned; what every cell of a freshly dimensioned table holds
  Null,
  Integer16,
  Integer32,
  Single,
  Double,
  Boolean,
  Text,
};

// A variant value. A text cell is a view: its bytes belong to whoever made it (usually the table
// it came from), and they are the file's own bytes, never transcoded.
class Cell {
 public:
  constexpr Cell() noexcept : i32_(0) {}

  static constexpr Cell null() noexcept { return Cell(CellKind::Null); }
  static constexpr Cell integer16(std::int16_t v) noexcept {
    Cell c(CellKind::Integer16);
    c.i16_ = v;
    return c;
  }
  static constexpr Cell integer32(std::int32_t v) noexcept {
    Cell c(CellKind::Integer32);
    c.i32_ = v;
    return c;
  }
  static constexpr Cell single(float v) noexcept {
    Cell c(CellKind::Single);
    c.f32_ = v;
    return c;
  }
  static constexpr Cell real(double v) noexcept {
    Cell c(CellKind::Double);
    c.f64_ = v;
    return c;
  }
  static constexpr Cell boolean(bool v) noexcept {
    Cell c(CellKind::Boolean);
    c.b_ = v;
    return c;
  }
  static constexpr Cell text(std::string_view v) noexcept {
    Cell c(CellKind::Text);
    c.text_ = v.data();
    c.size_ = v.size();
    return c;
  }

  constexpr CellKind kind() const noexcept { return kind_; }
  constexpr bool isEmpty() const noexcept { return kind_ == CellKind::Empty; }
  constexpr bool isText() const noexcept { return kind_ == CellKind::Text; }
  constexpr bool isNumeric() const noexcept {
    return kind_ == CellKind::Integer16 || kind_ == CellKind::Integer32 ||
           kind_ == CellKind::Single || kind_ == CellKind::Double || kind_ == CellKind::Boolean;
  }

  // Unchecked accessors: the kind must match.
  constexpr std::int16_t asInteger16() const noexcept { return i16_; }
  constexpr std::int32_t asInteger32() const noexcept { return i32_; }
  constexpr float asSingle() const noexcept { return f32_; }
  constexpr double asDouble() const noexcept { return f64_; }
  constexpr bool asBoolean() const noexcept { return b_; }
  constexpr std::string_view asText() const noexcept { return {text_, size_}; }

 private:
  explicit constexpr Cell(CellKind kind) noexcept : kind_(kind), i32_(0) {}

  CellKind kind_ = CellKind::Empty;
  union {
    std::int16_t i16_;
    std::int32_t i32_;
    float f32_;
    double f64_;
    bool b_;
  };
  const char* text_ = nullptr;
  std::size_t size_ = 0;
};

// Conversions. Texts are read with parseDecimal; empty counts as 0; null fails.
Result<double> toDouble(const Cell& cell) noexcept;
// Rounds half to even; Overflow outside -32768..32767.
Result<std::int16_t> toInteger16(const Cell& cell) noexcept;
// Rounds to the nearest single; Overflow when that is beyond the single range.
Result<float> toSingle(const Cell& cell) noexcept;
// Appends the cell's text to `out`; null fails with TypeMismatch and appends nothing.
Fault appendText(const Cell& cell, std::string& out);
Result<std::string> toText(const Cell& cell);

// Rounds half to even, as every conversion of a number to an integer does.
double roundHalfEven(double value) noexcept;

// Comparison: a = b.
Result<bool> equals(const Cell& a, const Cell& b) noexcept;

}  // namespace vorlet
