#include "kinetics/law_tape.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

#include "kinetics/expression.h"
#include "kinetics/kinetic_function.h"
#include "kinetics/kinetic_type.h"
#include "model/model.h"

namespace vireon {

namespace {

// Deeper than this (which no linked tree is) a law is left to the tree
// evaluator, whose cut-off of broken trees the tape does not copy.
constexpr int kMaxCompiledDepth = 2 * kMaxExpressionDepth;

constexpr double Truth(bool condition) { return condition ? 1.0 : 0.0; }

// The operation of one instruction on its operands' values, exactly as the
// tree evaluator computes it.
inline double Apply(TapeOp op, double a, double b, double c) {
  switch (op) {
    case TapeOp::kAdd:
      return a + b;
    case TapeOp::kSubtract:
      return a - b;
    case TapeOp::kMultiply:
      return a * b;
    case TapeOp::kDivide:
      return a / b;
    case TapeOp::kPower:
      return std::pow(a, b);
    case TapeOp::kNegate:
      return -a;
    case TapeOp::kLog:
      return std::log(a);
    case TapeOp::kLog10:
      return std::log10(a);
    case TapeOp::kExp:
      return std::exp(a);
    case TapeOp::kSin:
      return std::sin(a);
    case TapeOp::kCos:
      return std::cos(a);
    case TapeOp::kFloor:
      return std::floor(a);
    case TapeOp::kCeiling:
      return std::ceil(a);
    case TapeOp::kFactorial:
      return std::tgamma(a + 1.0);
    case TapeOp::kAbs:
      return a >= 0.0 ? a : -a;
    case TapeOp::kArcSin:
      return std::asin(a);
    case TapeOp::kArcCos:
      return std::acos(a);
    case TapeOp::kArcTan:
      return std::atan(a);
    case TapeOp::kSinh:
      return std::sinh(a);
    case TapeOp::kCosh:
      return std::cosh(a);
    case TapeOp::kTanh:
      return std::tanh(a);
    case TapeOp::kArcSinh:
      return std::asinh(a);
    case TapeOp::kArcCosh:
      return std::acosh(a);
    case TapeOp::kArcTanh:
      return std::atanh(a);
    case TapeOp::kLess:
      return Truth(a < b);
    case TapeOp::kGreater:
      return Truth(a > b);
    case TapeOp::kLessEqual:
      return Truth(a <= b);
    case TapeOp::kGreaterEqual:
      return Truth(a >= b);
    case TapeOp::kEqual:
      return Truth(a == b);
    case TapeOp::kNotEqual:
      return Truth(a != b);
    case TapeOp::kNot:
      return Truth(a == 0.0);
    case TapeOp::kNonZero:
      return Truth(a != 0.0);
    case TapeOp::kAnd:
      return Truth(a != 0.0 && b != 0.0);
    case TapeOp::kOr:
      return Truth(a != 0.0 || b != 0.0);
    case TapeOp::kXor:
      return Truth((a != 0.0) != (b != 0.0));
    case TapeOp::kMax:
      return a >= b ? a : b;
    case TapeOp::kMin:
      return a <= b ? a : b;
    case TapeOp::kSelect:
      return a != 0.0 ? b : c;
    case TapeOp::kQuotient:
      return std::trunc(a / b);
    case TapeOp::kRemainder:
      return std::fmod(a, b);
    case TapeOp::kAmount:
    case TapeOp::kConcentration:
    case TapeOp::kParameter:
      break;
  }
  return 0.0;
}

bool IsUnary(TapeOp op) {
  switch (op) {
    case TapeOp::kNegate:
    case TapeOp::kLog:
    case TapeOp::kLog10:
    case TapeOp::kExp:
    case TapeOp::kSin:
    case TapeOp::kCos:
    case TapeOp::kFloor:
    case TapeOp::kCeiling:
    case TapeOp::kFactorial:
    case TapeOp::kAbs:
    case TapeOp::kArcSin:
    case TapeOp::kArcCos:
    case TapeOp::kArcTan:
    case TapeOp::kSinh:
    case TapeOp::kCosh:
    case TapeOp::kTanh:
    case TapeOp::kArcSinh:
    case TapeOp::kArcCosh:
    case TapeOp::kArcTanh:
    case TapeOp::kNot:
    case TapeOp::kNonZero:
      return true;
    default:
      return false;
  }
}

// The unary function of a function node that is not a call, or nothing
// (the bindings' FunctionValue, 0 for a rate law).
bool UnaryOfFunction(char code, TapeOp& op, bool& identity) {
  identity = false;
  switch (code) {
    case node_code::kPlus:
      identity = true;
      return true;
    case node_code::kMinus:
      op = TapeOp::kNegate;
      return true;
    case node_code::kLog:
      op = TapeOp::kLog;
      return true;
    case node_code::kLog10:
      op = TapeOp::kLog10;
      return true;
    case node_code::kExp:
      op = TapeOp::kExp;
      return true;
    case node_code::kSin:
      op = TapeOp::kSin;
      return true;
    case node_code::kCos:
      op = TapeOp::kCos;
      return true;
    default:
      return false;
  }
}

bool UnaryOfCall(char code, TapeOp& op) {
  switch (code) {
    case node_code::kNot:
      op = TapeOp::kNot;
      return true;
    case node_code::kFloor:
      op = TapeOp::kFloor;
      return true;
    case node_code::kCeiling:
      op = TapeOp::kCeiling;
      return true;
    case node_code::kFactorial:
      op = TapeOp::kFactorial;
      return true;
    case node_code::kAbs:
      op = TapeOp::kAbs;
      return true;
    case node_code::kArcSin:
      op = TapeOp::kArcSin;
      return true;
    case node_code::kArcCos:
      op = TapeOp::kArcCos;
      return true;
    case node_code::kArcTan:
      op = TapeOp::kArcTan;
      return true;
    case node_code::kSinh:
      op = TapeOp::kSinh;
      return true;
    case node_code::kCosh:
      op = TapeOp::kCosh;
      return true;
    case node_code::kTanh:
      op = TapeOp::kTanh;
      return true;
    case node_code::kArcSinh:
      op = TapeOp::kArcSinh;
      return true;
    case node_code::kArcCosh:
      op = TapeOp::kArcCosh;
      return true;
    case node_code::kArcTanh:
      op = TapeOp::kArcTanh;
      return true;
    default:
      return false;
  }
}

bool BinaryOfCall(char code, TapeOp& op) {
  switch (code) {
    case node_code::kLess:
      op = TapeOp::kLess;
      return true;
    case node_code::kGreater:
      op = TapeOp::kGreater;
      return true;
    case node_code::kLessEqual:
      op = TapeOp::kLessEqual;
      return true;
    case node_code::kGreaterEqual:
      op = TapeOp::kGreaterEqual;
      return true;
    case node_code::kEqual:
      op = TapeOp::kEqual;
      return true;
    case node_code::kNotEqual:
      op = TapeOp::kNotEqual;
      return true;
    case node_code::kQuotient:
      op = TapeOp::kQuotient;
      return true;
    case node_code::kRemainder:
      op = TapeOp::kRemainder;
      return true;
    default:
      return false;
  }
}

}  // namespace

// Turns one step's tree into instructions, following the tree evaluator
// node for node: what it reads as 0 (a missing operand, an unknown code, a
// symbol the step has no counterpart for) is the number 0 here.
class LawCompiler {
 public:
  LawCompiler(LawTape& tape, const Model& model, const Step& step,
              std::span<const ExpressionNode> nodes)
      : tape_(tape), model_(model), step_(step), nodes_(nodes) {}

  // Whether the tree is one the tape compiles: a tree (no node reached
  // twice), no deeper than the evaluator follows, without delay.
  bool Compilable(int position, int depth) {
    if (position <= 0 || position >= static_cast<int>(nodes_.size())) return true;
    if (depth > kMaxCompiledDepth) return false;
    if (visited_.empty()) visited_.assign(nodes_.size(), 0);
    char& seen = visited_[static_cast<std::size_t>(position)];
    if (seen != 0) return false;
    seen = 1;
    const ExpressionNode& node = nodes_[static_cast<std::size_t>(position)];
    if (node.kind == node_kind::kFunction && node.code == node_code::kDelay) return false;
    // The evaluator follows a function's operand (a call's chain of
    // arguments) and both operands of an arithmetic operator or a comma.
    if (node.kind == node_kind::kFunction) return Compilable(node.left, depth + 1);
    if (node.kind == node_kind::kOperator) {
      switch (node.code) {
        case node_code::kPlus:
        case node_code::kMinus:
        case node_code::kTimes:
        case node_code::kDivide:
        case node_code::kPower:
        case node_code::kComma:
          return Compilable(node.left, depth + 1) && Compilable(node.right, depth + 1);
        default:
          return true;
      }
    }
    return true;
  }

  int Compile(int position) {
    if (position <= 0 || position >= static_cast<int>(nodes_.size())) return tape_.Number(0.0);
    const ExpressionNode& node = nodes_[static_cast<std::size_t>(position)];
    switch (node.kind) {
      case node_kind::kNumber:
        return tape_.Number(node.value);
      case node_kind::kFunction: {
        if (FindCallFunction(node.code) != nullptr) return Call(node);
        TapeOp op{};
        bool identity = false;
        if (!UnaryOfFunction(node.code, op, identity)) return tape_.Number(0.0);
        const int operand = Compile(node.left);
        return identity ? operand : tape_.Emit(op, operand);
      }
      case node_kind::kOperator: {
        TapeOp op{};
        switch (node.code) {
          case node_code::kPlus:
            op = TapeOp::kAdd;
            break;
          case node_code::kMinus:
            op = TapeOp::kSubtract;
            break;
          case node_code::kTimes:
            op = TapeOp::kMultiply;
            break;
          case node_code::kDivide:
            op = TapeOp::kDivide;
            break;
          case node_code::kPower:
            op = TapeOp::kPower;
            break;
          default:
            return tape_.Number(0.0);
        }
        const int left = Compile(node.left);
        const int right = Compile(node.right);
        return tape_.Emit(op, left, right);
      }
      case node_kind::kSubstrate:
        return Concentration(step_.substrates, node.index);
      case node_kind::kProduct:
        return Concentration(step_.products, node.index);
      case node_kind::kModifier:
        return Concentration(step_.modifiers, node.index);
      case node_kind::kConstant: {
        if (node.index < 0 || node.index >= step_.ConstantCount()) return tape_.Number(0.0);
        const double* constant = step_.constants.data() + node.index;
        auto [found, added] = tape_.parameterIndex_.try_emplace(
            constant, static_cast<int>(tape_.parameters_.size()));
        if (added) tape_.parameters_.push_back(constant);
        return tape_.Emit(TapeOp::kParameter, found->second);
      }
      default:
        return tape_.Number(0.0);
    }
  }

 private:
  // As the step's bindings read an amount: over its compartment's volume,
  // 0 for an entry the step lacks or a metabolite the model lacks.
  int Concentration(const std::vector<int>& metabolites, int index) {
    if (index < 0 || index >= static_cast<int>(metabolites.size())) return tape_.Number(0.0);
    const int metabolite = metabolites[static_cast<std::size_t>(index)];
    if (metabolite < 0 || metabolite >= model_.nMetabolites() ||
        metabolite >= static_cast<int>(model_.metabolitePosition.size()) ||
        model_.nCompartments() < 1) {
      return tape_.Number(0.0);
    }
    const int position = model_.metabolitePosition[static_cast<std::size_t>(metabolite)];
    if (position < 0 || position >= model_.nMetabolites()) return tape_.Number(0.0);
    const double volume = model_.VolumeOf(metabolite);
    // x / 1 is x, whatever x is.
    if (volume == 1.0) return tape_.Emit(TapeOp::kAmount, position);
    return tape_.Emit(TapeOp::kConcentration, position, tape_.Number(volume));
  }

  int Call(const ExpressionNode& node) {
    const std::vector<int> arguments =
        CallArguments(nodes_, static_cast<int>(&node - nodes_.data()));
    auto argument = [&](std::size_t i) {
      return i < arguments.size() ? Compile(arguments[i]) : tape_.Number(0.0);
    };
    switch (node.code) {
      case node_code::kPiecewise: {
        // From the last pair back: a value where its condition holds,
        // else what follows; with no value otherwise, not a number.
        std::size_t pairs = arguments.size() / 2;
        int result = arguments.size() % 2 == 1
                         ? Compile(arguments.back())
                         : tape_.Number(std::numeric_limits<double>::quiet_NaN());
        std::vector<int> values(pairs), conditions(pairs);
        for (std::size_t i = 0; i < pairs; ++i) {
          values[i] = Compile(arguments[2 * i]);
          conditions[i] = Compile(arguments[2 * i + 1]);
        }
        for (std::size_t i = pairs; i-- > 0;) {
          result = tape_.Emit(TapeOp::kSelect, conditions[i], values[i], result);
        }
        return result;
      }
      case node_code::kAnd:
      case node_code::kOr:
      case node_code::kXor: {
        if (arguments.empty()) return tape_.Number(Truth(node.code == node_code::kAnd));
        const TapeOp op = node.code == node_code::kAnd  ? TapeOp::kAnd
                          : node.code == node_code::kOr ? TapeOp::kOr
                                                        : TapeOp::kXor;
        int result = tape_.Emit(TapeOp::kNonZero, argument(0));
        for (std::size_t i = 1; i < arguments.size(); ++i) {
          result = tape_.Emit(op, result, argument(i));
        }
        return result;
      }
      case node_code::kMax:
      case node_code::kMin: {
        const TapeOp op = node.code == node_code::kMax ? TapeOp::kMax : TapeOp::kMin;
        int extreme = argument(0);
        for (std::size_t i = 1; i < arguments.size(); ++i) {
          extreme = tape_.Emit(op, extreme, argument(i));
        }
        return extreme;
      }
      case node_code::kRateOf:
        return argument(0);
      default:
        break;
    }
    TapeOp op{};
    if (UnaryOfCall(node.code, op)) return tape_.Emit(op, argument(0));
    if (BinaryOfCall(node.code, op)) {
      const int a = argument(0);
      const int b = argument(1);
      return tape_.Emit(op, a, b);
    }
    return tape_.Number(0.0);
  }

  LawTape& tape_;
  const Model& model_;
  const Step& step_;
  std::span<const ExpressionNode> nodes_;
  std::vector<char> visited_;
};

std::size_t LawTape::KeyHash::operator()(const Key& k) const {
  std::size_t h = static_cast<std::size_t>(k.op);
  for (int v : {k.a, k.b, k.c}) h = h * 1000003u ^ static_cast<std::size_t>(v);
  return h;
}

int LawTape::Number(double value) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  auto found = numbers_.find(bits);
  if (found != numbers_.end()) return found->second;
  const int reg = static_cast<int>(registers_.size());
  registers_.push_back(value);
  isNumber_.push_back(1);
  active_.push_back(0);
  producer_.push_back(-1);
  numbers_.emplace(bits, reg);
  return reg;
}

int LawTape::Emit(TapeOp op, int a, int b, int c) {
  const bool load =
      op == TapeOp::kAmount || op == TapeOp::kConcentration || op == TapeOp::kParameter;
  if (IsUnary(op)) b = c = 0;
  if (op != TapeOp::kSelect) c = 0;
  if (!load) {
    // Folded where the operands are numbers: the same operation, once.
    if (op == TapeOp::kSelect && IsNumber(a)) {
      return registers_[static_cast<std::size_t>(a)] != 0.0 ? b : c;
    }
    const bool numbers = IsNumber(a) && (IsUnary(op) || IsNumber(b)) &&
                         (op != TapeOp::kSelect || IsNumber(c));
    if (numbers) {
      return Number(Apply(op, registers_[static_cast<std::size_t>(a)],
                          registers_[static_cast<std::size_t>(b)],
                          registers_[static_cast<std::size_t>(c)]));
    }
  }
  const Key key{op, a, b, c};
  auto found = shared_.find(key);
  if (found != shared_.end()) return found->second;
  const int reg = static_cast<int>(registers_.size());
  registers_.push_back(0.0);
  isNumber_.push_back(0);
  bool active = op == TapeOp::kAmount || op == TapeOp::kConcentration;
  if (!load) {
    active = active_[static_cast<std::size_t>(a)] != 0 ||
             (!IsUnary(op) && active_[static_cast<std::size_t>(b)] != 0) ||
             (op == TapeOp::kSelect && active_[static_cast<std::size_t>(c)] != 0);
  }
  active_.push_back(active ? 1 : 0);
  producer_.push_back(static_cast<int>(code_.size()));
  if (op == TapeOp::kFactorial && active) differentiable_ = false;
  code_.push_back({op, reg, a, b, c});
  shared_.emplace(key, reg);
  return reg;
}

bool LawTape::AddStep(const Model& model, int step) {
  if (step < 0 || step >= model.nSteps()) return false;
  const Step& s = model.steps[static_cast<std::size_t>(step)];
  const KineticType* type = s.kineticType;
  if (type == nullptr || !type->function || type->rate != EvaluateUserDefinedRate) return false;
  const std::vector<ExpressionNode>& nodes = type->function->nodes();
  if (nodes.empty()) {
    outputs_.push_back(Output{step, Number(0.0), 0, 0, {}});
    conesBuilt_ = false;
    return true;
  }
  LawCompiler compiler(*this, model, s, nodes);
  if (!compiler.Compilable(nodes[0].left, 0)) return false;
  outputs_.push_back(Output{step, compiler.Compile(nodes[0].left), 0, 0, {}});
  conesBuilt_ = false;
  return true;
}

void LawTape::Evaluate(const double* x, double* rates) {
  double* r = registers_.data();
  const double* const* parameters = parameters_.data();
  for (const TapeInstruction& i : code_) {
    double& out = r[i.result];
    switch (i.op) {
      case TapeOp::kAmount:
        out = x[i.a];
        break;
      case TapeOp::kConcentration:
        out = x[i.a] / r[i.b];
        break;
      case TapeOp::kParameter:
        out = *parameters[i.a];
        break;
      case TapeOp::kAdd:
        out = r[i.a] + r[i.b];
        break;
      case TapeOp::kSubtract:
        out = r[i.a] - r[i.b];
        break;
      case TapeOp::kMultiply:
        out = r[i.a] * r[i.b];
        break;
      case TapeOp::kDivide:
        out = r[i.a] / r[i.b];
        break;
      default:
        out = Apply(i.op, r[i.a], r[i.b], r[i.c]);
        break;
    }
  }
  for (const Output& output : outputs_) rates[output.step] = r[output.reg];
}

void LawTape::BuildCones() {
  std::vector<int> mark(code_.size(), -1);
  std::vector<int> stack;
  for (std::size_t o = 0; o < outputs_.size(); ++o) {
    Output& output = outputs_[o];
    output.cone.clear();
    stack.assign(1, output.reg);
    while (!stack.empty()) {
      const int reg = stack.back();
      stack.pop_back();
      const int i = producer_[static_cast<std::size_t>(reg)];
      if (i < 0 || mark[static_cast<std::size_t>(i)] == static_cast<int>(o)) continue;
      if (active_[static_cast<std::size_t>(reg)] == 0) continue;
      mark[static_cast<std::size_t>(i)] = static_cast<int>(o);
      output.cone.push_back(i);
      const TapeInstruction& ins = code_[static_cast<std::size_t>(i)];
      if (ins.op == TapeOp::kAmount || ins.op == TapeOp::kConcentration ||
          ins.op == TapeOp::kParameter) {
        continue;
      }
      stack.push_back(ins.a);
      if (!IsUnary(ins.op)) stack.push_back(ins.b);
      if (ins.op == TapeOp::kSelect) stack.push_back(ins.c);
    }
    std::sort(output.cone.begin(), output.cone.end());
  }
  adjoints_.assign(registers_.size(), 0.0);
  conesBuilt_ = true;
}

std::vector<int> LawTape::PositionsRead(int i) const {
  std::vector<int> positions;
  const Output& output = outputs_[static_cast<std::size_t>(i)];
  std::vector<int> stack(1, output.reg);
  std::vector<char> seen(registers_.size(), 0);
  while (!stack.empty()) {
    const int reg = stack.back();
    stack.pop_back();
    if (seen[static_cast<std::size_t>(reg)] != 0) continue;
    seen[static_cast<std::size_t>(reg)] = 1;
    const int p = producer_[static_cast<std::size_t>(reg)];
    if (p < 0 || active_[static_cast<std::size_t>(reg)] == 0) continue;
    const TapeInstruction& ins = code_[static_cast<std::size_t>(p)];
    if (ins.op == TapeOp::kAmount || ins.op == TapeOp::kConcentration) {
      positions.push_back(ins.a);
      continue;
    }
    stack.push_back(ins.a);
    if (!IsUnary(ins.op)) stack.push_back(ins.b);
    if (ins.op == TapeOp::kSelect) stack.push_back(ins.c);
  }
  std::sort(positions.begin(), positions.end());
  return positions;
}

void LawTape::Differentiate() {
  if (!conesBuilt_) BuildCones();
  const double* r = registers_.data();
  double* adjoint = adjoints_.data();
  partials_.clear();
  for (Output& output : outputs_) {
    output.partialStart = static_cast<int>(partials_.size());
    if (output.cone.empty()) {
      output.partialEnd = output.partialStart;
      continue;
    }
    for (int i : output.cone) adjoint[code_[static_cast<std::size_t>(i)].result] = 0.0;
    adjoint[output.reg] = 1.0;
    for (auto it = output.cone.rbegin(); it != output.cone.rend(); ++it) {
      const TapeInstruction& ins = code_[static_cast<std::size_t>(*it)];
      const double w = adjoint[ins.result];
      if (w == 0.0) continue;
      // A load's operands are a position and a register, not values.
      if (ins.op == TapeOp::kAmount) {
        partials_.push_back({ins.a, w});
        continue;
      }
      if (ins.op == TapeOp::kConcentration) {
        partials_.push_back({ins.a, w / r[ins.b]});
        continue;
      }
      const double a = r[ins.a];
      const double b = r[ins.b];
      const double v = r[ins.result];
      auto add = [&](int reg, double d) {
        if (active_[static_cast<std::size_t>(reg)] != 0) adjoint[reg] += w * d;
      };
      switch (ins.op) {
        case TapeOp::kAdd:
          add(ins.a, 1.0);
          add(ins.b, 1.0);
          break;
        case TapeOp::kSubtract:
          add(ins.a, 1.0);
          add(ins.b, -1.0);
          break;
        case TapeOp::kMultiply:
          add(ins.a, b);
          add(ins.b, a);
          break;
        case TapeOp::kDivide:
          add(ins.a, 1.0 / b);
          add(ins.b, -v / b);
          break;
        case TapeOp::kPower:
          if (active_[static_cast<std::size_t>(ins.a)] != 0) {
            add(ins.a, b == 0.0 ? 0.0 : b * std::pow(a, b - 1.0));
          }
          if (active_[static_cast<std::size_t>(ins.b)] != 0 && a > 0.0) {
            add(ins.b, v * std::log(a));
          }
          break;
        case TapeOp::kNegate:
          add(ins.a, -1.0);
          break;
        case TapeOp::kLog:
          add(ins.a, 1.0 / a);
          break;
        case TapeOp::kLog10:
          add(ins.a, 1.0 / (a * std::numbers::ln10));
          break;
        case TapeOp::kExp:
          add(ins.a, v);
          break;
        case TapeOp::kSin:
          add(ins.a, std::cos(a));
          break;
        case TapeOp::kCos:
          add(ins.a, -std::sin(a));
          break;
        case TapeOp::kAbs:
          add(ins.a, a >= 0.0 ? 1.0 : -1.0);
          break;
        case TapeOp::kArcSin:
          add(ins.a, 1.0 / std::sqrt(1.0 - a * a));
          break;
        case TapeOp::kArcCos:
          add(ins.a, -1.0 / std::sqrt(1.0 - a * a));
          break;
        case TapeOp::kArcTan:
          add(ins.a, 1.0 / (1.0 + a * a));
          break;
        case TapeOp::kSinh:
          add(ins.a, std::cosh(a));
          break;
        case TapeOp::kCosh:
          add(ins.a, std::sinh(a));
          break;
        case TapeOp::kTanh:
          add(ins.a, 1.0 - v * v);
          break;
        case TapeOp::kArcSinh:
          add(ins.a, 1.0 / std::sqrt(a * a + 1.0));
          break;
        case TapeOp::kArcCosh:
          add(ins.a, 1.0 / std::sqrt(a * a - 1.0));
          break;
        case TapeOp::kArcTanh:
          add(ins.a, 1.0 / (1.0 - a * a));
          break;
        case TapeOp::kMax:
          add(a >= b ? ins.a : ins.b, 1.0);
          break;
        case TapeOp::kMin:
          add(a <= b ? ins.a : ins.b, 1.0);
          break;
        case TapeOp::kSelect:
          add(a != 0.0 ? ins.b : ins.c, 1.0);
          break;
        case TapeOp::kRemainder:
          add(ins.a, 1.0);
          add(ins.b, -std::trunc(a / b));
          break;
        default:
          // Piecewise constant: floor, ceiling, the comparisons and the
          // connectives, the quotient. Factorial never gets here.
          break;
      }
    }
    // One entry per amount: a load is shared, so each appears once.
    output.partialEnd = static_cast<int>(partials_.size());
  }
}

}  // namespace vireon
