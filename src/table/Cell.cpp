#include "table/Cell.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "table/NumberText.h"

namespace vorlet {

const char* describe(Fault fault) noexcept {
  switch (fault) {
    case Fault::None:
      return "no error";
    case Fault::Bounds:
      return "index out of bounds";
    case Fault::TypeMismatch:
      return "type mismatch";
    case Fault::Overflow:
      return "overflow";
    case Fault::DivisionByZero:
      return "division by zero";
  }
  return "unknown error";
}

Result<double> toDouble(const Cell& cell) noexcept {
  switch (cell.kind()) {
    case CellKind::Empty:
      return 0.0;
    case CellKind::Null:
      return Fault::TypeMismatch;
    case CellKind::Integer16:
      return static_cast<double>(cell.asInteger16());
    case CellKind::Integer32:
      return static_cast<double>(cell.asInteger32());
    case CellKind::Single:
      return static_cast<double>(cell.asSingle());
    case CellKind::Double:
      return cell.asDouble();
    case CellKind::Boolean:
      return cell.asBoolean() ? -1.0 : 0.0;
    case CellKind::Text:
      return parseDecimal(cell.asText());
  }
  return Fault::TypeMismatch;
}

double roundHalfEven(double value) noexcept {
  const double floor = std::floor(value);
  const double fraction = value - floor;
  if (fraction > 0.5) return floor + 1;
  if (fraction < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

Result<std::int16_t> toInteger16(const Cell& cell) noexcept {
  if (cell.kind() == CellKind::Integer16) return cell.asInteger16();
  const Result<double> number = toDouble(cell);
  if (!number) return number.fault();
  const double rounded = roundHalfEven(*number);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return Fault::Overflow;
  return static_cast<std::int16_t>(rounded);
}

Result<float> toSingle(const Cell& cell) noexcept {
  if (cell.kind() == CellKind::Single) return cell.asSingle();
  const Result<double> number = toDouble(cell);
  if (!number) return number.fault();
  const float single = static_cast<float>(*number);
  if (std::isinf(single)) return Fault::Overflow;
  return single;
}

Fault appendText(const Cell& cell, std::string& out) {
  char buffer[kNumberTextMax];
  std::size_t length = 0;
  switch (cell.kind()) {
    case CellKind::Empty:
      return Fault::None;
    case CellKind::Null:
      return Fault::TypeMismatch;
    case CellKind::Text:
      out.append(cell.asText());
      return Fault::None;
    case CellKind::Boolean:
      out.append(cell.asBoolean() ? "True" : "False");
      return Fault::None;
    case CellKind::Integer16:
      length = static_cast<std::size_t>(
          std::to_chars(buffer, buffer + sizeof buffer, cell.asInteger16()).ptr - buffer);
      break;
    case CellKind::Integer32:
      length = static_cast<std::size_t>(
          std::to_chars(buffer, buffer + sizeof buffer, cell.asInteger32()).ptr - buffer);
      break;
    case CellKind::Single:
      length = formatSingle(cell.asSingle(), buffer);
      break;
    case CellKind::Double:
      length = formatDouble(cell.asDouble(), buffer);
      break;
  }
  out.append(buffer, length);
  return Fault::None;
}

Result<std::string> toText(const Cell& cell) {
  std::string text;
  const Fault fault = appendText(cell, text);
  if (fault != Fault::None) return fault;
  return text;
}

Result<bool> equals(const Cell& a, const Cell& b) noexcept {
  if (a.kind() == CellKind::Null || b.kind() == CellKind::Null) return Fault::TypeMismatch;
  if (a.isText() && b.isText()) return a.asText() == b.asText();
  // Empty equals the empty text as well as 0.
  if (a.isEmpty() && b.isText()) return b.asText().empty();
  if (b.isEmpty() && a.isText()) return a.asText().empty();
  const Result<double> x = toDouble(a);
  if (!x) return x.fault();
  const Result<double> y = toDouble(b);
  if (!y) return y.fault();
  return *x == *y;
}

}  // namespace vorlet
