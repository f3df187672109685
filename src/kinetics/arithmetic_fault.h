#pragma once
// An arithmetic fault raised while a rate law, an expression or an engine
// task computes. The program keeps the platform's default floating-point
// masks, so an overflow or a division by zero normally yields an infinite or
// undefined value that flows into the results; code that detects a fault it
// cannot compute through throws an ArithmeticFault instead. A run catches it
// around each task, appends the task's header and the fault's text to its
// error log and goes on with the next task.

#include <exception>

namespace vireon {

enum class ArithmeticFaultKind {
  kDenormalOperand,
  kDivideByZero,
  kInexactResult,
  kInvalidOperation,
  kOverflow,
  kStackCheck,
  kUnderflow,
  kIntegerDivideByZero,
  kIntegerOverflow,
};

// The text a run's error log gives the fault, ending in "\r\n"
// ("floating point division by zero\r\n").
constexpr const char* ArithmeticFaultText(ArithmeticFaultKind kind) {
  switch (kind) {
    case ArithmeticFaultKind::kDenormalOperand:
      return "floating point denormal operand\r\n";
    case ArithmeticFaultKind::kDivideByZero:
      return "floating point division by zero\r\n";
    case ArithmeticFaultKind::kInexactResult:
      return "floating point inexact result\r\n";
    case ArithmeticFaultKind::kInvalidOperation:
      return "floating point invalid operation\r\n";
    case ArithmeticFaultKind::kOverflow:
      return "floating point overflow\r\n";
    case ArithmeticFaultKind::kStackCheck:
      return "floating point stack check\r\n";
    case ArithmeticFaultKind::kUnderflow:
      return "floating point underflow\r\n";
    case ArithmeticFaultKind::kIntegerDivideByZero:
      return "integer division by zero\r\n";
    case ArithmeticFaultKind::kIntegerOverflow:
      return "integer overflow\r\n";
  }
  return "arithmetic fault\r\n";
}

class ArithmeticFault : public std::exception {
 public:
  explicit ArithmeticFault(ArithmeticFaultKind kind) : kind_(kind) {}
  ArithmeticFaultKind kind() const { return kind_; }
  // The error-log text of the fault.
  const char* what() const noexcept override { return ArithmeticFaultText(kind_); }

 private:
  ArithmeticFaultKind kind_;
};

}  // namespace vireon
