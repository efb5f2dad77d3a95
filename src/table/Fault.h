#pragma once

#include <utility>

namespace vorlet {

// The errors that cell and table operations report to their caller.
enum class Fault {
  None,
  Bounds,        // an index or bound outside the table, or an undimensioned table
  TypeMismatch,  // a value that does not convert (a text that is not a number, a null)
  Overflow,      // a value outside the range of the target kind
  DivisionByZero,
};

const char* describe(Fault fault) noexcept;

// A value or the fault that prevented it. Errors are values, never process state.
template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Fault fault) : fault_(fault) {}         // NOLINT: implicit by design

  explicit operator bool() const noexcept { return fault_ == Fault::None; }
  Fault fault() const noexcept { return fault_; }
  const T& value() const& noexcept { return value_; }
  T&& value() && noexcept { return std::move(value_); }
  const T& operator*() const& noexcept { return value_; }
  const T* operator->() const noexcept { return &value_; }

 private:
  T value_{};
  Fault fault_ = Fault::None;
};

}  // namespace vorlet
