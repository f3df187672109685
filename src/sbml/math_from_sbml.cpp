#include "sbml/math_from_sbml.h"

#include "sbml/libsbml.h"

#include <algorithm>
#include <numbers>

#include "kinetics/expression.h"

namespace vireon::sbml {

namespace {

// libSBML's value of Avogadro's constant, the value of the avogadro symbol.
constexpr double kAvogadro = 6.02214179e23;

MathNode Negate(MathNode operand) { return Function(node_code::kMinus, std::move(operand)); }

MathNode Exp(MathNode operand) { return Function(node_code::kExp, std::move(operand)); }

MathNode Reciprocal(MathNode operand) { return Apply('/', Number(1.0), std::move(operand)); }

MathNode Sqrt(MathNode x) { return Apply('^', std::move(x), Number(0.5)); }

// An n-ary operator with fewer than two operands is its operand or the
// operator's unit.
// Nested sums and products are flattened into one, so that a compartment
// size multiplying a whole law stands among its top factors.
MathNode Fold(char code, std::vector<MathNode> operands, double unit) {
  if (operands.empty()) return Number(unit);
  if (operands.size() == 1) return std::move(operands.front());
  auto same = [code](const MathNode& node) {
    return node.kind == MathNode::Kind::kOperator && node.code == code;
  };
  // A first operand of the same operator, as a+b+c nests in MathML, hands
  // its operands on whole, so that flattening such a chain stays linear.
  std::vector<MathNode> flat;
  std::size_t next = 0;
  if (same(operands.front())) {
    flat = std::move(operands.front().children);
    next = 1;
  }
  for (; next < operands.size(); ++next) {
    MathNode& operand = operands[next];
    if (same(operand)) {
      for (MathNode& inner : operand.children) flat.push_back(std::move(inner));
    } else {
      flat.push_back(std::move(operand));
    }
  }
  return Apply(code, std::move(flat));
}

struct Shape {
  int nodes = 0;
  int height = 0;
};

// Size and height of a tree, without recursion: a substituted tree may come
// from a hostile file.
Shape ShapeOf(const MathNode& root) {
  Shape shape;
  std::vector<std::pair<const MathNode*, int>> pending{{&root, 1}};
  while (!pending.empty()) {
    auto [node, level] = pending.back();
    pending.pop_back();
    ++shape.nodes;
    shape.height = std::max(shape.height, level);
    for (const MathNode& child : node->children) pending.emplace_back(&child, level + 1);
  }
  return shape;
}

}  // namespace

MathTranslator::MathTranslator(const lib::Model& model, Resolver resolve)
    : model_(model), resolve_(std::move(resolve)) {}

MathNode MathTranslator::Translate(const lib::ASTNode& math, const std::string& where) {
  where_ = where;
  depth_ = 0;
  nodes_ = 0;
  arguments_.clear();
  inlining_.clear();
  MathNode tree = Node(math);
  if (ShapeOf(tree).height > kMaxExpressionDepth) RefuseTooDeep();
  return tree;
}

// A name's value is a whole tree: it counts towards the limits where it is
// used, so that repeated inlining cannot grow without bound.
MathNode MathTranslator::Copy(const MathNode& value) {
  const Shape shape = ShapeOf(value);
  if (shape.nodes > kMaxMathNodes - nodes_) RefuseTooLarge();
  nodes_ += shape.nodes;
  if (shape.height > kMaxExpressionDepth) RefuseTooDeep();
  return value;
}

void MathTranslator::Refuse(const std::string& construct) const {
  throw Refusal(construct + " in " + where_);
}

void MathTranslator::RefuseTooDeep() const {
  Refuse("an expression nested deeper than " + std::to_string(kMaxExpressionDepth) + " levels");
}

void MathTranslator::RefuseTooLarge() const {
  Refuse("an expression of more than " + std::to_string(kMaxMathNodes) + " nodes");
}

void MathTranslator::Count() {
  if (++nodes_ > kMaxMathNodes) RefuseTooLarge();
}

std::vector<MathNode> MathTranslator::Children(const lib::ASTNode& ast) {
  std::vector<MathNode> children;
  for (unsigned int i = 0; i < ast.getNumChildren(); ++i) children.push_back(ChildAt(ast, i));
  return children;
}

MathNode MathTranslator::ChildAt(const lib::ASTNode& ast, unsigned int i) {
  const lib::ASTNode* child = ast.getChild(i);
  if (child == nullptr) Refuse("a missing operand");
  return Node(*child);
}

MathNode MathTranslator::Unary(const lib::ASTNode& ast) {
  const unsigned int n = ast.getNumChildren();
  if (n != 1) Refuse("a function with " + std::to_string(n) + " arguments");
  return ChildAt(ast, 0);
}

// A relation over several operands holds between each neighbouring pair:
// lt(a, b, c) is and(lt(a, b), lt(b, c)).
MathNode MathTranslator::Relation(char code, std::vector<MathNode> operands) {
  if (operands.size() < 2) Refuse("a comparison of fewer than two operands");
  if (operands.size() == 2) return Call(code, std::move(operands));
  std::vector<MathNode> pairs;
  for (std::size_t i = 0; i + 1 < operands.size(); ++i) {
    // An inner operand stands in two pairs: a copy on the right of the
    // first, itself on the left of the second.
    MathNode right = i + 2 < operands.size() ? Copy(operands[i + 1]) : std::move(operands[i + 1]);
    pairs.push_back(Call(code, std::move(operands[i]), std::move(right)));
  }
  return Call(node_code::kAnd, std::move(pairs));
}

MathNode MathTranslator::UserFunction(const lib::ASTNode& ast) {
  const std::string name = ast.getName() != nullptr ? ast.getName() : "";
  const lib::FunctionDefinition* definition = model_.getFunctionDefinition(name);
  if (definition == nullptr || definition->getBody() == nullptr) {
    Refuse("the undefined function \"" + name + "\"");
  }
  if (std::find(inlining_.begin(), inlining_.end(), name) != inlining_.end()) {
    Refuse("the function \"" + name + "\" that calls itself");
  }
  if (definition->getNumArguments() != ast.getNumChildren()) {
    Refuse("a call of the function \"" + name + "\" with the wrong number of arguments");
  }
  // The arguments are translated where the call stands, the body with its
  // parameters bound to them and no other names of the caller.
  std::vector<std::pair<std::string, MathNode>> bound;
  for (unsigned int i = 0; i < definition->getNumArguments(); ++i) {
    const lib::ASTNode* parameter = definition->getArgument(i);
    if (parameter == nullptr || parameter->getName() == nullptr) {
      Refuse("the function \"" + name + "\" with an unnamed argument");
    }
    bound.emplace_back(parameter->getName(), ChildAt(ast, i));
  }
  arguments_.push_back(std::move(bound));
  inlining_.push_back(name);
  MathNode body = Node(*definition->getBody());
  inlining_.pop_back();
  arguments_.pop_back();
  return body;
}

// Each element is counted, and its depth too, before its family translates it.
MathNode MathTranslator::Node(const lib::ASTNode& ast) {
  Count();
  if (++depth_ > kMaxExpressionDepth) RefuseTooDeep();
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{depth_};

  if (std::optional<MathNode> node = Leaf(ast)) return std::move(*node);
  if (std::optional<MathNode> node = Arithmetic(ast)) return std::move(*node);
  if (std::optional<MathNode> node = Trigonometric(ast)) return std::move(*node);
  if (std::optional<MathNode> node = Hyperbolic(ast)) return std::move(*node);
  if (std::optional<MathNode> node = Logic(ast)) return std::move(*node);
  if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_FUNCTION) return UserFunction(ast);
  RefuseElement(ast);
}

void MathTranslator::RefuseElement(const lib::ASTNode& ast) const {
  const char* name = ast.getName();
  Refuse(std::string("the MathML element ") +
         (name != nullptr && *name != '\0' ? "\"" + std::string(name) + "\""
                                           : "of type " + std::to_string(ast.getType())));
}

// Numbers, constants and names.
std::optional<MathNode> MathTranslator::Leaf(const lib::ASTNode& ast) {
  LIBSBML_CPP_NAMESPACE_USE
  switch (ast.getType()) {
    case AST_INTEGER:
    case AST_REAL:
    case AST_REAL_E:
    case AST_RATIONAL:
      return Number(ast.getValue());
    case AST_CONSTANT_E:
      return Number(std::numbers::e);
    case AST_CONSTANT_PI:
      return Number(std::numbers::pi);
    case AST_CONSTANT_TRUE:
      return Number(1.0);
    case AST_CONSTANT_FALSE:
      return Number(0.0);
    case AST_NAME_AVOGADRO:
      return Number(kAvogadro);
    case AST_NAME: {
      const std::string name = ast.getName() != nullptr ? ast.getName() : "";
      // Inside an inlined function its parameters hide the model's names.
      if (!arguments_.empty()) {
        for (const auto& [parameter, value] : arguments_.back()) {
          if (parameter == name) return Copy(value);
        }
      }
      std::optional<MathNode> value = resolve_(name);
      if (!value) Refuse("the unknown name \"" + name + "\"");
      return Copy(*value);
    }
    case AST_NAME_TIME:
      if (!time_) Refuse("the time symbol");
      return Copy(*time_);
    case AST_FUNCTION_DELAY: {
      if (!delay_) Refuse("a delay");
      if (ast.getNumChildren() != 2) {
        Refuse("a delay of " + std::to_string(ast.getNumChildren()) + " arguments");
      }
      MathNode argument = ChildAt(ast, 0);
      MathNode tau = ChildAt(ast, 1);
      return delay_(std::move(argument), std::move(tau));
    }
    case AST_FUNCTION_RATE_OF: {
      if (!rateOf_) Refuse("a rateOf");
      const lib::ASTNode* argument = ast.getNumChildren() == 1 ? ast.getChild(0) : nullptr;
      if (argument == nullptr || argument->getType() != AST_NAME || argument->getName() == nullptr) {
        Refuse("a rateOf of anything but a name");
      }
      const std::string name = argument->getName();
      if (!arguments_.empty()) {
        for (const auto& bound : arguments_.back()) {
          if (bound.first == name) Refuse("a rateOf of a function's argument");
        }
      }
      MathNode rate = rateOf_(name);
      Count();
      return rate;
    }
    default:
      return std::nullopt;
  }
}

// The operators, powers, roots, exponentials and logarithms.
std::optional<MathNode> MathTranslator::Arithmetic(const lib::ASTNode& ast) {
  LIBSBML_CPP_NAMESPACE_USE
  const unsigned int n = ast.getNumChildren();
  switch (ast.getType()) {
    case AST_PLUS:
      return Fold('+', Children(ast), 0.0);
    case AST_TIMES:
      return Fold('*', Children(ast), 1.0);
    case AST_MINUS:
      if (n == 1) return Negate(ChildAt(ast, 0));
      if (n != 2) Refuse("a subtraction of " + std::to_string(n) + " operands");
      return Apply('-', Children(ast));
    case AST_DIVIDE:
      if (n != 2) Refuse("a division of " + std::to_string(n) + " operands");
      return Apply('/', Children(ast));
    case AST_POWER:
    case AST_FUNCTION_POWER:
      if (n != 2) Refuse("a power of " + std::to_string(n) + " operands");
      return Apply('^', Children(ast));
    case AST_FUNCTION_ROOT:
      if (n == 1) return Sqrt(ChildAt(ast, 0));
      if (n != 2) Refuse("a root of " + std::to_string(n) + " operands");
      {
        MathNode radicand = ChildAt(ast, 1);
        return Apply('^', std::move(radicand), Reciprocal(ChildAt(ast, 0)));
      }
    case AST_FUNCTION_EXP:
      return Exp(Unary(ast));
    case AST_FUNCTION_LN:
      return Function(node_code::kLog, Unary(ast));
    case AST_FUNCTION_LOG:
      if (n == 1) return Function(node_code::kLog10, ChildAt(ast, 0));
      if (n != 2) Refuse("a logarithm of " + std::to_string(n) + " operands");
      {
        MathNode argument = ChildAt(ast, 1);
        return Apply('/', Function(node_code::kLog10, std::move(argument)),
                     Function(node_code::kLog10, ChildAt(ast, 0)));
      }
    default:
      return std::nullopt;
  }
}

// The trigonometric functions through sin and cos.
std::optional<MathNode> MathTranslator::Trigonometric(const lib::ASTNode& ast) {
  LIBSBML_CPP_NAMESPACE_USE
  switch (ast.getType()) {
    case AST_FUNCTION_SIN:
      return Function(node_code::kSin, Unary(ast));
    case AST_FUNCTION_COS:
      return Function(node_code::kCos, Unary(ast));
    case AST_FUNCTION_TAN: {
      MathNode x = Unary(ast);
      MathNode sine = Function(node_code::kSin, Copy(x));
      return Apply('/', std::move(sine), Function(node_code::kCos, std::move(x)));
    }
    case AST_FUNCTION_SEC:
      return Reciprocal(Function(node_code::kCos, Unary(ast)));
    case AST_FUNCTION_CSC:
      return Reciprocal(Function(node_code::kSin, Unary(ast)));
    case AST_FUNCTION_COT: {
      MathNode x = Unary(ast);
      MathNode cosine = Function(node_code::kCos, Copy(x));
      return Apply('/', std::move(cosine), Function(node_code::kSin, std::move(x)));
    }
    case AST_FUNCTION_ARCSIN:
      return Call(node_code::kArcSin, Unary(ast));
    case AST_FUNCTION_ARCCOS:
      return Call(node_code::kArcCos, Unary(ast));
    case AST_FUNCTION_ARCTAN:
      return Call(node_code::kArcTan, Unary(ast));
    // The inverses of the reciprocal functions are those of the reciprocals.
    case AST_FUNCTION_ARCSEC:
      return Call(node_code::kArcCos, Reciprocal(Unary(ast)));
    case AST_FUNCTION_ARCCSC:
      return Call(node_code::kArcSin, Reciprocal(Unary(ast)));
    case AST_FUNCTION_ARCCOT:
      return Call(node_code::kArcTan, Reciprocal(Unary(ast)));
    default:
      return std::nullopt;
  }
}

// The hyperbolic functions and their inverses through exp, log and powers.
std::optional<MathNode> MathTranslator::Hyperbolic(const lib::ASTNode& ast) {
  LIBSBML_CPP_NAMESPACE_USE
  // sinh and cosh: (exp(x) - exp(-x)) / 2 and (exp(x) + exp(-x)) / 2.
  auto halfExpCombination = [this](char code, const MathNode& x) {
    MathNode up = Exp(Copy(x));
    return Apply('/', Apply(code, std::move(up), Exp(Negate(Copy(x)))), Number(2.0));
  };
  auto tanh = [this](const MathNode& x) {
    MathNode up = Exp(Copy(x));
    MathNode difference = Apply('-', std::move(up), Exp(Negate(Copy(x))));
    up = Exp(Copy(x));
    MathNode sum = Apply('+', std::move(up), Exp(Negate(Copy(x))));
    return Apply('/', std::move(difference), std::move(sum));
  };
  // ln(x + sqrt(x^2 + 1)) for arcsinh, ln(x + sqrt(x^2 - 1)) for arccosh.
  auto inverse = [this](char code, const MathNode& x) {
    MathNode square = Apply('^', Copy(x), Number(2.0));
    MathNode root = Sqrt(Apply(code, std::move(square), Number(1.0)));
    return Function(node_code::kLog, Apply('+', Copy(x), std::move(root)));
  };
  switch (ast.getType()) {
    case AST_FUNCTION_SINH:
      return halfExpCombination('-', Unary(ast));
    case AST_FUNCTION_COSH:
      return halfExpCombination('+', Unary(ast));
    case AST_FUNCTION_TANH:
      return tanh(Unary(ast));
    case AST_FUNCTION_SECH:
      return Reciprocal(halfExpCombination('+', Unary(ast)));
    case AST_FUNCTION_CSCH:
      return Reciprocal(halfExpCombination('-', Unary(ast)));
    case AST_FUNCTION_COTH:
      return Reciprocal(tanh(Unary(ast)));
    case AST_FUNCTION_ARCSINH:
      return inverse('+', Unary(ast));
    case AST_FUNCTION_ARCCOSH:
      return inverse('-', Unary(ast));
    case AST_FUNCTION_ARCSECH: {
      // ln((1 + sqrt(1 - x^2)) / x)
      MathNode x = Unary(ast);
      MathNode square = Apply('^', Copy(x), Number(2.0));
      MathNode root = Sqrt(Apply('-', Number(1.0), std::move(square)));
      MathNode quotient = Apply('/', Apply('+', Number(1.0), std::move(root)), std::move(x));
      return Function(node_code::kLog, std::move(quotient));
    }
    case AST_FUNCTION_ARCCSCH: {
      // ln(1/x + sqrt(1/x^2 + 1))
      MathNode x = Unary(ast);
      MathNode square = Apply('^', Copy(x), Number(2.0));
      MathNode root = Sqrt(Apply('+', Reciprocal(std::move(square)), Number(1.0)));
      return Function(node_code::kLog, Apply('+', Reciprocal(std::move(x)), std::move(root)));
    }
    case AST_FUNCTION_ARCCOTH: {
      // ln((x + 1) / (x - 1)) / 2
      MathNode x = Unary(ast);
      MathNode numerator = Apply('+', Copy(x), Number(1.0));
      MathNode quotient = Apply('/', std::move(numerator), Apply('-', std::move(x), Number(1.0)));
      return Apply('/', Function(node_code::kLog, std::move(quotient)), Number(2.0));
    }
    case AST_FUNCTION_ARCTANH: {
      // ln((1 + x) / (1 - x)) / 2
      MathNode x = Unary(ast);
      MathNode numerator = Apply('+', Number(1.0), Copy(x));
      MathNode quotient = Apply('/', std::move(numerator), Apply('-', Number(1.0), std::move(x)));
      return Apply('/', Function(node_code::kLog, std::move(quotient)), Number(2.0));
    }
    default:
      return std::nullopt;
  }
}

// Conditions, comparisons, connectives and the functions of the rate-law
// dialect's calls.
std::optional<MathNode> MathTranslator::Logic(const lib::ASTNode& ast) {
  LIBSBML_CPP_NAMESPACE_USE
  const unsigned int n = ast.getNumChildren();
  switch (ast.getType()) {
    case AST_FUNCTION_ABS:
      return Call(node_code::kAbs, Unary(ast));
    case AST_FUNCTION_MAX:
    case AST_FUNCTION_MIN:
      if (n == 0) Refuse("a maximum or minimum of nothing");
      return Call(ast.getType() == AST_FUNCTION_MAX ? node_code::kMax : node_code::kMin,
                  Children(ast));
    case AST_FUNCTION_CEILING:
      return Call(node_code::kCeiling, Unary(ast));
    case AST_FUNCTION_FLOOR:
      return Call(node_code::kFloor, Unary(ast));
    case AST_FUNCTION_FACTORIAL:
      return Call(node_code::kFactorial, Unary(ast));
    case AST_FUNCTION_QUOTIENT:
    case AST_FUNCTION_REM:
      if (n != 2) Refuse("an integer division of " + std::to_string(n) + " operands");
      return Call(ast.getType() == AST_FUNCTION_QUOTIENT ? node_code::kQuotient
                                                         : node_code::kRemainder,
                  Children(ast));
    case AST_FUNCTION_PIECEWISE:
      if (n == 0) Refuse("an empty piecewise");
      return Call(node_code::kPiecewise, Children(ast));
    case AST_RELATIONAL_EQ:
      return Relation(node_code::kEqual, Children(ast));
    case AST_RELATIONAL_NEQ:
      if (n != 2) Refuse("neq of " + std::to_string(n) + " operands");
      return Call(node_code::kNotEqual, Children(ast));
    case AST_RELATIONAL_LT:
      return Relation(node_code::kLess, Children(ast));
    case AST_RELATIONAL_GT:
      return Relation(node_code::kGreater, Children(ast));
    case AST_RELATIONAL_LEQ:
      return Relation(node_code::kLessEqual, Children(ast));
    case AST_RELATIONAL_GEQ:
      return Relation(node_code::kGreaterEqual, Children(ast));
    case AST_LOGICAL_AND:
      if (n == 0) return Number(1.0);
      return Call(node_code::kAnd, Children(ast));
    case AST_LOGICAL_OR:
      if (n == 0) return Number(0.0);
      return Call(node_code::kOr, Children(ast));
    case AST_LOGICAL_XOR:
      if (n == 0) return Number(0.0);
      return Call(node_code::kXor, Children(ast));
    case AST_LOGICAL_NOT:
      return Call(node_code::kNot, Unary(ast));
    case AST_LOGICAL_IMPLIES:
      if (n != 2) Refuse("implies of " + std::to_string(n) + " operands");
      {
        MathNode premise = ChildAt(ast, 0);
        return Call(node_code::kOr, Call(node_code::kNot, std::move(premise)), ChildAt(ast, 1));
      }
    default:
      return std::nullopt;
  }
}

}  // namespace vireon::sbml
