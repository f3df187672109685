#pragma once
// The rate laws of a model compiled into one straight-line program: every
// user-defined law of the steps added becomes a run of instructions over one
// register file, numbers folded where every operand is a number, equal
// subexpressions (the same operation on the same registers) computed once
// for all the steps that share them. One pass over the instructions gives
// every compiled step's rate, without recursion or virtual calls.
//
// The rates are those of the tree evaluator (EvaluateUserDefinedRate) bit
// for bit: each instruction is the operation the tree applies to the same
// operands, with the same library function, and faults (division by zero, a
// logarithm of a negative number) flow on as the infinite or undefined
// values the tree gives. Where the tree evaluates lazily (piecewise), the
// tape evaluates every branch and selects; the branches have no effects, so
// the value is the same.
//
// After an evaluation the tape can also give each step's derivatives with
// respect to the amounts it reads (a reverse sweep over the instructions
// the step's rate depends on), where every operation on an amount has a
// derivative; a law that is piecewise constant (floor, a comparison) has
// derivative 0 there.

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace vireon {

class Model;

enum class TapeOp : std::uint8_t {
  kAmount,        // x[a]
  kConcentration, // x[a] / register b (the volume)
  kParameter,     // the kinetic constant parameters_[a], read at every evaluation
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kPower,
  kNegate,
  kLog,
  kLog10,
  kExp,
  kSin,
  kCos,
  kFloor,
  kCeiling,
  kFactorial,
  kAbs,
  kArcSin,
  kArcCos,
  kArcTan,
  kSinh,
  kCosh,
  kTanh,
  kArcSinh,
  kArcCosh,
  kArcTanh,
  kLess,
  kGreater,
  kLessEqual,
  kGreaterEqual,
  kEqual,
  kNotEqual,
  kNot,        // a == 0
  kNonZero,    // a != 0
  kAnd,        // a != 0 and b != 0
  kOr,         // a != 0 or b != 0
  kXor,        // (a != 0) != (b != 0)
  kMax,        // a >= b ? a : b
  kMin,        // a <= b ? a : b
  kSelect,     // a != 0 ? b : c
  kQuotient,   // trunc(a / b)
  kRemainder,  // fmod(a, b)
};

struct TapeInstruction {
  TapeOp op;
  int result;  // the register written
  int a = 0;
  int b = 0;
  int c = 0;
};

// One step's derivative with respect to the amount at x[position].
struct TapePartial {
  int position;
  double value;
};

class LawTape {
 public:
  // Compiles step k's user-defined law; false (the tape as it was) when the
  // step has none, or its law holds what the tape does not compile (delay,
  // a tree no linker made), which the caller then evaluates as before.
  bool AddStep(const Model& model, int step);

  // The rate of every compiled step at the amounts x (indexed by position,
  // as a RateFunction's), into rates[step index].
  void Evaluate(const double* x, double* rates);

  // Whether every compiled law has derivatives (factorial of an amount has
  // none here).
  bool differentiable() const { return differentiable_; }
  // After Evaluate: the partial derivatives of every compiled step's rate
  // with respect to the amounts it reads; Partials(i) are those of the i-th
  // compiled step, StepOf(i).
  void Differentiate();
  int StepCount() const { return static_cast<int>(outputs_.size()); }
  int StepOf(int i) const { return outputs_[static_cast<std::size_t>(i)].step; }
  std::span<const TapePartial> Partials(int i) const {
    const Output& output = outputs_[static_cast<std::size_t>(i)];
    return {partials_.data() + output.partialStart,
            static_cast<std::size_t>(output.partialEnd - output.partialStart)};
  }
  // The amounts step i's rate reads, by position (the true sparsity of the
  // law, which may be less than the step's lists).
  std::vector<int> PositionsRead(int i) const;

  std::size_t InstructionCount() const { return code_.size(); }
  std::size_t RegisterCount() const { return registers_.size(); }

 private:
  struct Output {
    int step;
    int reg;
    int partialStart = 0;
    int partialEnd = 0;
    std::vector<int> cone;  // the instructions the rate depends on, ascending
  };
  struct Key {
    TapeOp op;
    int a, b, c;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const;
  };

  int Number(double value);
  int Emit(TapeOp op, int a, int b = 0, int c = 0);
  bool IsNumber(int reg) const { return isNumber_[static_cast<std::size_t>(reg)] != 0; }
  void BuildCones();

  std::vector<TapeInstruction> code_;
  std::vector<double> registers_;
  std::vector<char> isNumber_;     // by register: a folded constant
  std::vector<char> active_;       // by register: depends on an amount
  std::vector<int> producer_;      // by register: its instruction, or -1
  std::vector<const double*> parameters_;
  std::unordered_map<const double*, int> parameterIndex_;
  std::unordered_map<Key, int, KeyHash> shared_;
  std::unordered_map<std::uint64_t, int> numbers_;
  std::vector<Output> outputs_;
  bool differentiable_ = true;
  bool conesBuilt_ = false;
  std::vector<double> adjoints_;
  std::vector<TapePartial> partials_;

  friend class LawCompiler;
};

}  // namespace vireon
