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

MathNode Reciprocal(MathNode operand) { return Apply('/', {Number(1.0), std::move(operand)}); }

// sinh and cosh through exp: (exp(x) - exp(-x)) / 2 and (exp(x) + exp(-x)) / 2.
MathNode HalfExpCombination(char code, const MathNode& x) {
  return Apply('/', {Apply(code, {Exp(x), Exp(Negate(x))}), Number(2.0)});
}

MathNode Tanh(const MathNode& x) {
  return Apply('/', {Apply('-', {Exp(x), Exp(Negate(x))}), Apply('+', {Exp(x), Exp(Negate(x))})});
}

MathNode Sqrt(MathNode x) { return Apply('^', {std::move(x), Number(0.5)}); }

// An n-ary operator with fewer than two operands is its operand or the
// operator's unit.
// Nested sums and products are flattened into one, so that a compartment
// size multiplying a whole law stands among its top factors.
MathNode Fold(char code, std::vector<MathNode> operands, double unit) {
  if (operands.empty()) return Number(unit);
  if (operands.size() == 1) return std::move(operands.front());
  std::vector<MathNode> flat;
  for (MathNode& operand : operands) {
    if (operand.kind == MathNode::Kind::kOperator && operand.code == code) {
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
  if (ShapeOf(tree).height > kMaxMathDepth) Refuse("an expression nested too deeply");
  return tree;
}

// A name's value is a whole tree: it counts towards the limits where it is
// used, so that repeated inlining cannot grow without bound.
MathNode MathTranslator::Substitute(const MathNode& value) {
  const Shape shape = ShapeOf(value);
  nodes_ += shape.nodes;
  if (nodes_ > kMaxMathNodes) Refuse("an expression too large");
  if (shape.height > kMaxMathDepth) Refuse("an expression nested too deeply");
  return value;
}

void MathTranslator::Refuse(const std::string& construct) const {
  throw Refusal(construct + " in " + where_);
}

void MathTranslator::Count() {
  if (++nodes_ > kMaxMathNodes) Refuse("an expression too large");
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

// A relation over several operands holds between each neighbouring pair:
// lt(a, b, c) is and(lt(a, b), lt(b, c)).
MathNode MathTranslator::Relation(char code, std::vector<MathNode> operands) {
  if (operands.size() < 2) Refuse("a comparison of fewer than two operands");
  if (operands.size() == 2) return Call(code, std::move(operands));
  std::vector<MathNode> pairs;
  for (std::size_t i = 0; i + 1 < operands.size(); ++i) {
    pairs.push_back(Call(code, {operands[i], operands[i + 1]}));
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

MathNode MathTranslator::Node(const lib::ASTNode& ast) {
  Count();
  if (++depth_ > kMaxMathDepth) Refuse("an expression nested too deeply");
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{depth_};

  LIBSBML_CPP_NAMESPACE_USE
  const ASTNodeType_t type = ast.getType();
  const unsigned int n = ast.getNumChildren();
  auto unary = [&]() -> MathNode {
    if (n != 1) Refuse("a function with " + std::to_string(n) + " arguments");
    return ChildAt(ast, 0);
  };
  switch (type) {
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
          if (parameter == name) return Substitute(value);
        }
      }
      std::optional<MathNode> value = resolve_(name);
      if (!value) Refuse("the unknown name \"" + name + "\"");
      return Substitute(*value);
    }
    case AST_NAME_TIME:
      Refuse("the time symbol");
    case AST_FUNCTION_DELAY:
      Refuse("a delay");
    case AST_FUNCTION_RATE_OF:
      Refuse("a rateOf");
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
      return Apply('^', {ChildAt(ast, 1), Reciprocal(ChildAt(ast, 0))});
    case AST_FUNCTION_EXP:
      return Exp(unary());
    case AST_FUNCTION_LN:
      return Function(node_code::kLog, unary());
    case AST_FUNCTION_LOG:
      if (n == 1) return Function(node_code::kLog10, ChildAt(ast, 0));
      if (n != 2) Refuse("a logarithm of " + std::to_string(n) + " operands");
      return Apply('/', {Function(node_code::kLog10, ChildAt(ast, 1)),
                         Function(node_code::kLog10, ChildAt(ast, 0))});
    case AST_FUNCTION_SIN:
      return Function(node_code::kSin, unary());
    case AST_FUNCTION_COS:
      return Function(node_code::kCos, unary());
    case AST_FUNCTION_TAN: {
      MathNode x = unary();
      return Apply('/', {Function(node_code::kSin, x), Function(node_code::kCos, x)});
    }
    case AST_FUNCTION_SEC:
      return Reciprocal(Function(node_code::kCos, unary()));
    case AST_FUNCTION_CSC:
      return Reciprocal(Function(node_code::kSin, unary()));
    case AST_FUNCTION_COT: {
      MathNode x = unary();
      return Apply('/', {Function(node_code::kCos, x), Function(node_code::kSin, x)});
    }
    case AST_FUNCTION_SINH:
      return HalfExpCombination('-', unary());
    case AST_FUNCTION_COSH:
      return HalfExpCombination('+', unary());
    case AST_FUNCTION_TANH:
      return Tanh(unary());
    case AST_FUNCTION_SECH:
      return Reciprocal(HalfExpCombination('+', unary()));
    case AST_FUNCTION_CSCH:
      return Reciprocal(HalfExpCombination('-', unary()));
    case AST_FUNCTION_COTH:
      return Reciprocal(Tanh(unary()));
    case AST_FUNCTION_ARCSINH: {
      // ln(x + sqrt(x^2 + 1))
      MathNode x = unary();
      return Function(node_code::kLog,
                      Apply('+', {x, Sqrt(Apply('+', {Apply('^', {x, Number(2.0)}), Number(1.0)}))}));
    }
    case AST_FUNCTION_ARCCOSH: {
      // ln(x + sqrt(x^2 - 1))
      MathNode x = unary();
      return Function(node_code::kLog,
                      Apply('+', {x, Sqrt(Apply('-', {Apply('^', {x, Number(2.0)}), Number(1.0)}))}));
    }
    case AST_FUNCTION_ARCTANH: {
      // ln((1 + x) / (1 - x)) / 2
      MathNode x = unary();
      return Apply('/', {Function(node_code::kLog, Apply('/', {Apply('+', {Number(1.0), x}),
                                                               Apply('-', {Number(1.0), x})})),
                         Number(2.0)});
    }
    case AST_FUNCTION_ABS: {
      MathNode x = unary();
      return Call(node_code::kPiecewise,
                  {x, Call(node_code::kGreaterEqual, {x, Number(0.0)}), Negate(x)});
    }
    case AST_FUNCTION_MAX:
    case AST_FUNCTION_MIN: {
      // A running extreme: piecewise(a, geq(a, b), b) for max, leq for min.
      std::vector<MathNode> operands = Children(ast);
      if (operands.empty()) Refuse("a maximum or minimum of nothing");
      const char test = type == AST_FUNCTION_MAX ? node_code::kGreaterEqual : node_code::kLessEqual;
      MathNode result = operands.front();
      for (std::size_t i = 1; i < operands.size(); ++i) {
        result = Call(node_code::kPiecewise,
                      {result, Call(test, {result, operands[i]}), operands[i]});
      }
      return result;
    }
    case AST_FUNCTION_CEILING:
      return Call(node_code::kCeiling, {unary()});
    case AST_FUNCTION_FLOOR:
      return Call(node_code::kFloor, {unary()});
    case AST_FUNCTION_FACTORIAL:
      return Call(node_code::kFactorial, {unary()});
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
      return Call(node_code::kNot, {unary()});
    case AST_LOGICAL_IMPLIES:
      if (n != 2) Refuse("implies of " + std::to_string(n) + " operands");
      return Call(node_code::kOr, {Call(node_code::kNot, {ChildAt(ast, 0)}), ChildAt(ast, 1)});
    case AST_FUNCTION:
      return UserFunction(ast);
    default:
      break;
  }
  const char* name = ast.getName();
  Refuse(std::string("the MathML element ") +
         (name != nullptr && *name != '\0' ? "\"" + std::string(name) + "\"" : "of type " + std::to_string(type)));
}

}  // namespace vireon::sbml
