#include "kinetics/expression.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kinetics/expression_scanner.h"

namespace vireon {

namespace {

// A call function's name and a symbol of the same text have equal lengths:
// the call name, coming first, wins where a parenthesis follows.
constexpr TokenRule kKineticRules[] = {
    {TokenClass::kNumber, MatchNumber},     {TokenClass::kFunction, MatchFunctionName},
    {TokenClass::kFunction, MatchCallName}, {TokenClass::kOperator, MatchOperator},
    {TokenClass::kOperator, MatchComma},    {TokenClass::kSymbol, MatchIdentifier},
    {TokenClass::kBlank, MatchBlank},
};

// A run of letters and digits that is not a function name or a number is
// longer than a single-letter symbol, so it wins and is refused.
constexpr TokenRule kOutputRules[] = {
    {TokenClass::kNumber, MatchNumber},           {TokenClass::kFunction, MatchFunctionName},
    {TokenClass::kOperator, MatchOperator},       {TokenClass::kSymbol, MatchLetter},
    {TokenClass::kInvalid, MatchAlphanumericRun}, {TokenClass::kBlank, MatchBlank},
};

constexpr FunctionSpelling kKineticFunctions[] = {
    {"log", node_code::kLog},     {"LOG", node_code::kLog}, {"log10", node_code::kLog10},
    {"LOG10", node_code::kLog10}, {"exp", node_code::kExp}, {"EXP", node_code::kExp},
    {"sin", node_code::kSin},     {"SIN", node_code::kSin}, {"cos", node_code::kCos},
    {"COS", node_code::kCos},
};

// The rate laws' call functions are all but the last, which only rules
// have.
constexpr CallFunction kCallFunctions[] = {
    {"piecewise", node_code::kPiecewise, 1, kAnyArgumentCount},
    {"lt", node_code::kLess, 2, 2},
    {"gt", node_code::kGreater, 2, 2},
    {"leq", node_code::kLessEqual, 2, 2},
    {"geq", node_code::kGreaterEqual, 2, 2},
    {"eq", node_code::kEqual, 2, 2},
    {"neq", node_code::kNotEqual, 2, 2},
    {"and", node_code::kAnd, 1, kAnyArgumentCount},
    {"or", node_code::kOr, 1, kAnyArgumentCount},
    {"xor", node_code::kXor, 1, kAnyArgumentCount},
    {"not", node_code::kNot, 1, 1},
    {"floor", node_code::kFloor, 1, 1},
    {"ceiling", node_code::kCeiling, 1, 1},
    {"factorial", node_code::kFactorial, 1, 1},
    {"abs", node_code::kAbs, 1, 1},
    {"max", node_code::kMax, 1, kAnyArgumentCount},
    {"min", node_code::kMin, 1, kAnyArgumentCount},
    {"asin", node_code::kArcSin, 1, 1},
    {"acos", node_code::kArcCos, 1, 1},
    {"atan", node_code::kArcTan, 1, 1},
    {"sinh", node_code::kSinh, 1, 1},
    {"cosh", node_code::kCosh, 1, 1},
    {"tanh", node_code::kTanh, 1, 1},
    {"asinh", node_code::kArcSinh, 1, 1},
    {"acosh", node_code::kArcCosh, 1, 1},
    {"atanh", node_code::kArcTanh, 1, 1},
    {"quotient", node_code::kQuotient, 2, 2},
    {"rem", node_code::kRemainder, 2, 2},
    {"rateOf", node_code::kRateOf, 1, 1},
    {"delay", node_code::kDelay, 2, 2},
};
constexpr std::span<const CallFunction> kRuleCallFunctions(kCallFunctions);
constexpr std::span<const CallFunction> kKineticCallFunctions =
    kRuleCallFunctions.first(kRuleCallFunctions.size() - 2);

constexpr NamedConstant kNamedConstants[] = {
    {"avogadro", kAvogadroNumber},
};

constexpr FunctionSpelling kOutputFunctions[] = {
    {"log", node_code::kLog},     {"LOG", node_code::kLog},     {"log10", node_code::kLog10},
    {"LOG10", node_code::kLog10}, {"exp", node_code::kExp},     {"EXP", node_code::kExp},
    {"sin", node_code::kSin},     {"SIN", node_code::kSin},     {"cos", node_code::kCos},
    {"COS", node_code::kCos},     {"rand", node_code::kRand},   {"RAND", node_code::kRand},
    {"gauss", node_code::kGauss}, {"GAUSS", node_code::kGauss}, {"boltz", node_code::kBoltz},
    {"BOLTZ", node_code::kBoltz},
};

// Binding powers of the operators: "+" "-" and "*" "/" group from the left,
// "^" from the right, and "(" after an operand is an operator that binds
// tightest. The comma binds loosest and groups from the right, so that the
// arguments of a call hang down the right side of a chain of commas.
// Anything else (")" and unknown codes) does not continue an expression.
int LeftPower(char code) {
  switch (code) {
    case node_code::kComma:
      return 1;
    case node_code::kPlus:
    case node_code::kMinus:
      return 1;
    case node_code::kTimes:
    case node_code::kDivide:
      return 3;
    case node_code::kPower:
      return 5;
    case node_code::kOpen:
      return 6;
    default:
      return 0;
  }
}

int RightPower(char code) {
  switch (code) {
    case node_code::kPlus:
    case node_code::kMinus:
      return 2;
    case node_code::kTimes:
    case node_code::kDivide:
    case node_code::kPower:
      return 4;
    default:
      return 0;
  }
}

// Precedence climbing over the node list. A node whose left and right are
// still 0 after the parse was never taken.
//
// 1. Clear every link to 0, start at node 1.
// 2. Parse an expression of minimum power 0 into node 0's left.
// 3. Expression: a primary, then while the next node is an operator binding
//    tighter than the minimum, take it with an expression of its right power.
// 4. Primary: a number or symbol; "(" expression ")"; or a prefix sign or
//    function applied to the next primary.
// 5. Validate the nodes the parse left behind.
class Linker {
 public:
  Linker(std::vector<ExpressionNode>& nodes, const ExpressionDialect& dialect)
      : nodes_(nodes), dialect_(dialect), count_(static_cast<int>(nodes.size())) {}

  LinkResult Run() {
    if (nodes_.empty()) return LinkResult{1, 0, LinkFault::kEmpty};
    for (ExpressionNode& node : nodes_) node.left = node.right = 0;
    cursor_ = 1;
    Operand root = Expression(0);
    nodes_[0].left = root.ok() ? root.node : kNoNode;
    nodes_[0].right = kNoNode;
    if (!root.ok()) CountError(0, count_ > 1 ? LinkFault::kMissingOperand : LinkFault::kEmpty);
    Validate();
    return result_;
  }

 private:
  static constexpr int kFailed = -2;

  struct Operand {
    int node = kFailed;
    int height = 0;
    bool ok() const { return node > 0; }
  };

  void CountError(int position, LinkFault fault) {
    if (result_.errors == 0) {
      result_.firstErrorPosition = position;
      result_.fault = fault;
    }
    ++result_.errors;
  }

  // Counts one nesting level; false (and one error) once the limit is passed.
  bool Enter() {
    if (++depth_ <= kMaxExpressionDepth) return true;
    if (!tooDeep_) CountError(std::min(cursor_, count_ - 1), LinkFault::kTooDeep);
    tooDeep_ = true;
    return false;
  }

  Operand Combine(int node, Operand left, Operand right) {
    Operand result{node, 1 + std::max(left.height, right.height)};
    if (result.height > kMaxExpressionDepth) {
      if (!tooDeep_) CountError(node, LinkFault::kTooDeep);
      tooDeep_ = true;
    }
    return result;
  }

  Operand Expression(int minimumPower) {
    if (!Enter()) {
      --depth_;
      return {};
    }
    Operand operand = Primary();
    if (operand.ok()) {
      while (!tooDeep_ && cursor_ < count_ && nodes_[cursor_].kind == node_kind::kOperator &&
             LeftPower(nodes_[cursor_].code) > minimumPower) {
        int op = cursor_++;
        Operand right = Expression(RightPower(nodes_[op].code));
        if (!right.ok()) {
          CountError(op, LinkFault::kMissingOperand);
          continue;
        }
        nodes_[op].left = operand.node;
        nodes_[op].right = right.node;
        operand = Combine(op, operand, right);
      }
    }
    --depth_;
    return operand;
  }

  Operand Primary() {
    if (cursor_ >= count_) return {};
    if (!Enter()) {
      --depth_;
      return {};
    }
    Operand result;
    int position = cursor_;
    ExpressionNode& node = nodes_[position];
    if (node.kind == node_kind::kNumber || dialect_.IsSymbolKind(node.kind)) {
      node.left = node.right = kNoNode;
      ++cursor_;
      result = Operand{position, 1};
    } else if (node.IsOperator(node_code::kOpen)) {
      ++cursor_;
      Operand inner = Expression(0);
      if (cursor_ < count_ && nodes_[cursor_].IsOperator(node_code::kClose)) {
        ++cursor_;
        result = inner;
      } else {
        CountError(position, LinkFault::kUnclosedParenthesis);
      }
    } else if (node.IsOperator(node_code::kPlus) || node.IsOperator(node_code::kMinus) ||
               node.kind == node_kind::kFunction) {
      ++cursor_;
      Operand operand = Primary();
      if (operand.ok()) {
        node.kind = node_kind::kFunction;
        node.left = operand.node;
        node.right = kNoNode;
        result = Combine(position, operand, Operand{});
      } else {
        CountError(position, LinkFault::kMissingOperand);
      }
    }
    --depth_;
    return result;
  }

  bool IsTaken(int link) const { return link > 0 && link < count_; }

  bool IsComma(int link) const { return IsTaken(link) && nodes_[link].IsOperator(node_code::kComma); }

  // Commas may only separate the arguments of a call function, whose count
  // must suit it: a comma is allowed as a call's operand and as the right of
  // another comma. Visits the tree, whose height the parse has bounded.
  void ValidateArguments(int position, bool commaAllowed) {
    if (!IsTaken(position) || result_.errors != 0) return;
    const ExpressionNode& node = nodes_[position];
    if (node.IsOperator(node_code::kComma)) {
      if (!commaAllowed) {
        CountError(position, LinkFault::kMisplacedComma);
        return;
      }
      ValidateArguments(node.left, false);
      ValidateArguments(node.right, true);
      return;
    }
    const CallFunction* call =
        node.kind == node_kind::kFunction ? FindCallFunction(node.code) : nullptr;
    if (call != nullptr) {
      int arguments = 1;
      for (int link = node.left; IsComma(link); link = nodes_[link].right) ++arguments;
      if (arguments < call->minimumArguments ||
          (call->maximumArguments != kAnyArgumentCount && arguments > call->maximumArguments)) {
        CountError(position, LinkFault::kArgumentCount);
        return;
      }
      ValidateArguments(node.left, true);
      return;
    }
    if (node.kind == node_kind::kFunction || node.kind == node_kind::kOperator) {
      ValidateArguments(node.left, false);
      if (node.kind == node_kind::kOperator) ValidateArguments(node.right, false);
    }
  }

  void Validate() {
    int root = nodes_[0].left;
    if (IsTaken(root) && nodes_[root].IsOperator(node_code::kOpen)) {
      CountError(root, LinkFault::kMisplacedParenthesis);
    }
    for (int i = 1; i < count_ && result_.errors == 0; ++i) {
      const ExpressionNode& node = nodes_[i];
      bool isOperator = node.kind == node_kind::kOperator;
      if (isOperator && dialect_.refuseParenthesisOperand && IsTaken(node.right) &&
          nodes_[node.right].IsOperator(node_code::kOpen)) {
        CountError(i, LinkFault::kMisplacedParenthesis);
      } else if ((node.kind == node_kind::kNumber || node.kind == node_kind::kSymbol) &&
                 (node.left == 0 || node.right == 0)) {
        CountError(i, LinkFault::kMissingOperator);
      } else if (isOperator && node.code != node_code::kOpen && node.code != node_code::kClose &&
                 (!IsTaken(node.left) || !IsTaken(node.right))) {
        CountError(i, LinkFault::kMissingOperand);
      } else if (isOperator &&
                 ((IsTaken(node.left) && nodes_[node.left].IsOperator(node_code::kOpen)) ||
                  (IsTaken(node.right) && nodes_[node.right].IsOperator(node_code::kClose)))) {
        CountError(i, LinkFault::kMisplacedParenthesis);
      }
    }
    if (result_.errors == 0) ValidateArguments(root, false);
  }

  std::vector<ExpressionNode>& nodes_;
  const ExpressionDialect& dialect_;
  int count_;
  int cursor_ = 1;
  int depth_ = 0;
  bool tooDeep_ = false;
  LinkResult result_;
};

// Past this depth a broken or hand-made tree is cut off rather than followed.
constexpr int kMaxEvaluationDepth = 2 * kMaxExpressionDepth + 2;

double Evaluate(std::span<const ExpressionNode> nodes, int position, ExpressionBindings& bindings,
                int depth);

// Walks the arguments of a call: the operand, or the lefts of a chain of
// commas down its right side and the last right.
class Arguments {
 public:
  Arguments(std::span<const ExpressionNode> nodes, int operand) : nodes_(nodes), next_(operand) {}
  bool AtEnd() const { return next_ == kNoNode; }
  // The position of the next argument.
  int Next() {
    int position = next_;
    if (IsComma(position)) {
      next_ = nodes_[position].right;
      return nodes_[position].left;
    }
    next_ = kNoNode;
    return position;
  }

 private:
  bool IsComma(int position) const {
    return position > 0 && position < static_cast<int>(nodes_.size()) &&
           nodes_[position].IsOperator(node_code::kComma);
  }
  std::span<const ExpressionNode> nodes_;
  int next_;
};

constexpr double Truth(bool condition) { return condition ? 1.0 : 0.0; }

double EvaluateCall(std::span<const ExpressionNode> nodes, const ExpressionNode& node,
                    ExpressionBindings& bindings, int depth) {
  Arguments arguments(nodes, node.left);
  auto next = [&] { return Evaluate(nodes, arguments.Next(), bindings, depth + 1); };
  switch (node.code) {
    case node_code::kDelay: {
      const int argument = arguments.Next();
      const int tau = arguments.Next();
      return bindings.DelayValue(nodes, static_cast<int>(&node - nodes.data()), argument, tau);
    }
    case node_code::kPiecewise:
      // Pairs of a value and its condition, then perhaps the value otherwise.
      while (!arguments.AtEnd()) {
        const int value = arguments.Next();
        if (arguments.AtEnd()) return Evaluate(nodes, value, bindings, depth + 1);
        if (next() != 0.0) return Evaluate(nodes, value, bindings, depth + 1);
      }
      return std::numeric_limits<double>::quiet_NaN();
    case node_code::kAnd: {
      bool all = true;
      while (!arguments.AtEnd()) all = (next() != 0.0) && all;
      return Truth(all);
    }
    case node_code::kOr: {
      bool any = false;
      while (!arguments.AtEnd()) any = (next() != 0.0) || any;
      return Truth(any);
    }
    case node_code::kXor: {
      bool odd = false;
      while (!arguments.AtEnd()) odd = odd != (next() != 0.0);
      return Truth(odd);
    }
    case node_code::kMax:
    case node_code::kMin: {
      // A comparison that fails, as one with NaN does, takes the later operand.
      double extreme = next();
      while (!arguments.AtEnd()) {
        const double b = next();
        const bool keep = node.code == node_code::kMax ? extreme >= b : extreme <= b;
        if (!keep) extreme = b;
      }
      return extreme;
    }
    default:
      break;
  }
  const double a = next();
  switch (node.code) {
    case node_code::kNot:
      return Truth(a == 0.0);
    case node_code::kFloor:
      return std::floor(a);
    case node_code::kCeiling:
      return std::ceil(a);
    case node_code::kFactorial:
      return std::tgamma(a + 1.0);
    case node_code::kAbs:
      return a >= 0.0 ? a : -a;
    case node_code::kArcSin:
      return std::asin(a);
    case node_code::kArcCos:
      return std::acos(a);
    case node_code::kArcTan:
      return std::atan(a);
    case node_code::kSinh:
      return std::sinh(a);
    case node_code::kCosh:
      return std::cosh(a);
    case node_code::kTanh:
      return std::tanh(a);
    case node_code::kArcSinh:
      return std::asinh(a);
    case node_code::kArcCosh:
      return std::acosh(a);
    case node_code::kArcTanh:
      return std::atanh(a);
    case node_code::kRateOf:
      return a;
    default:
      break;
  }
  const double b = next();
  switch (node.code) {
    case node_code::kLess:
      return Truth(a < b);
    case node_code::kGreater:
      return Truth(a > b);
    case node_code::kLessEqual:
      return Truth(a <= b);
    case node_code::kGreaterEqual:
      return Truth(a >= b);
    case node_code::kEqual:
      return Truth(a == b);
    case node_code::kNotEqual:
      return Truth(a != b);
    case node_code::kQuotient:
      return std::trunc(a / b);
    case node_code::kRemainder:
      return std::fmod(a, b);
    default:
      return 0.0;
  }
}

double Evaluate(std::span<const ExpressionNode> nodes, int position, ExpressionBindings& bindings,
                int depth) {
  if (position <= 0 || position >= static_cast<int>(nodes.size()) || depth > kMaxEvaluationDepth) {
    return 0.0;
  }
  const ExpressionNode& node = nodes[position];
  switch (node.kind) {
    case node_kind::kNumber:
      return node.value;
    case node_kind::kFunction: {
      if (FindCallFunction(node.code) != nullptr) return EvaluateCall(nodes, node, bindings, depth);
      double operand = Evaluate(nodes, node.left, bindings, depth + 1);
      switch (node.code) {
        case node_code::kPlus:
          return operand;
        case node_code::kMinus:
          return -operand;
        case node_code::kLog:
          return std::log(operand);
        case node_code::kLog10:
          return std::log10(operand);
        case node_code::kExp:
          return std::exp(operand);
        case node_code::kSin:
          return std::sin(operand);
        case node_code::kCos:
          return std::cos(operand);
        default:
          return bindings.FunctionValue(node.code, operand);
      }
    }
    case node_kind::kOperator: {
      switch (node.code) {
        case node_code::kPlus:
        case node_code::kMinus:
        case node_code::kTimes:
        case node_code::kDivide:
        case node_code::kPower:
          break;
        default:
          return 0.0;
      }
      double left = Evaluate(nodes, node.left, bindings, depth + 1);
      double right = Evaluate(nodes, node.right, bindings, depth + 1);
      switch (node.code) {
        case node_code::kPlus:
          return left + right;
        case node_code::kMinus:
          return left - right;
        case node_code::kTimes:
          return left * right;
        case node_code::kDivide:
          return left / right;
        default:
          return std::pow(left, right);
      }
    }
    case node_kind::kRoot:
      return 0.0;
    default:
      return bindings.SymbolValue(node);
  }
}

}  // namespace

bool ExpressionDialect::IsSymbolKind(char kind) const {
  return kind != '\0' && symbolKinds.find(kind) != std::string_view::npos;
}

char ExpressionDialect::FunctionCode(std::string_view text) const {
  for (const FunctionSpelling& spelling : functions) {
    if (spelling.text == text) return spelling.code;
  }
  for (const CallFunction& function : callFunctions) {
    if (function.text == text) return function.code;
  }
  return 0;
}

std::span<const CallFunction> KineticCallFunctions() { return kKineticCallFunctions; }

std::span<const CallFunction> RuleCallFunctions() { return kRuleCallFunctions; }

std::span<const NamedConstant> NamedConstants() { return kNamedConstants; }

const NamedConstant* FindNamedConstant(std::string_view name) {
  for (const NamedConstant& constant : kNamedConstants) {
    if (constant.text == name) return &constant;
  }
  return nullptr;
}

const CallFunction* FindCallFunction(char code) {
  for (const CallFunction& function : kRuleCallFunctions) {
    if (function.code == code) return &function;
  }
  return nullptr;
}

const ExpressionDialect& KineticExpressionDialect() {
  static const ExpressionDialect dialect{
      kKineticRules, kKineticFunctions, kKineticCallFunctions, "Ispmk", false, false};
  return dialect;
}

const ExpressionDialect& RuleExpressionDialect() {
  static const ExpressionDialect dialect{
      kKineticRules, kKineticFunctions, kRuleCallFunctions, "Ispmk", false, false};
  return dialect;
}

const ExpressionDialect& OutputExpressionDialect() {
  static const ExpressionDialect dialect{kOutputRules, kOutputFunctions, {}, "I", true, true};
  return dialect;
}

bool BuildExpressionNodes(std::string_view text, const ExpressionDialect& dialect,
                          std::vector<ExpressionNode>& nodes, std::size_t* invalidOffset) {
  nodes.clear();
  TokenScan scan = ScanExpression(text, dialect);
  if (!scan.ok) {
    if (invalidOffset != nullptr) *invalidOffset = scan.invalidOffset;
    return false;
  }
  nodes.reserve(scan.tokens.size() + 1);
  nodes.push_back(ExpressionNode{});
  for (const Token& token : scan.tokens) {
    ExpressionNode node;
    switch (token.tokenClass) {
      case TokenClass::kNumber:
        node.kind = node_kind::kNumber;
        node.value = NumberValue(token.text);
        break;
      case TokenClass::kFunction:
        node.kind = node_kind::kFunction;
        node.code = dialect.FunctionCode(token.text);
        break;
      case TokenClass::kOperator:
        node.kind = node_kind::kOperator;
        node.code = token.text[0];
        break;
      default:
        node.kind = node_kind::kSymbol;
        node.name = std::string(token.text);
        if (dialect.symbolCodeIsLetter) node.code = token.text[0];
        break;
    }
    nodes.push_back(std::move(node));
  }
  return true;
}

LinkResult LinkExpressionTree(std::vector<ExpressionNode>& nodes,
                              const ExpressionDialect& dialect) {
  return Linker(nodes, dialect).Run();
}

double ExpressionBindings::FunctionValue(char, double) {
  return 0.0;
}

double ExpressionBindings::DelayValue(std::span<const ExpressionNode> nodes, int, int argument,
                                      int) {
  return EvaluateExpressionNode(nodes, argument, *this);
}

double EvaluateExpression(std::span<const ExpressionNode> nodes, ExpressionBindings& bindings) {
  if (nodes.empty()) return 0.0;
  return Evaluate(nodes, nodes[0].left, bindings, 0);
}

double EvaluateExpressionNode(std::span<const ExpressionNode> nodes, int position,
                              ExpressionBindings& bindings) {
  return Evaluate(nodes, position, bindings, 0);
}

std::vector<int> CallArguments(std::span<const ExpressionNode> nodes, int call) {
  std::vector<int> list;
  if (call <= 0 || call >= static_cast<int>(nodes.size())) return list;
  Arguments arguments(nodes, nodes[static_cast<std::size_t>(call)].left);
  while (!arguments.AtEnd()) list.push_back(arguments.Next());
  return list;
}

}  // namespace vireon
