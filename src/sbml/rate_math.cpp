#include "sbml/rate_math.h"

#include <charconv>
#include <cmath>

#include "kinetics/expression.h"
#include "kinetics/expression_record.h"
#include "kinetics/expression_scanner.h"

namespace vireon::sbml {

MathNode Number(double value) {
  MathNode node;
  node.kind = MathNode::Kind::kNumber;
  node.value = value;
  return node;
}

MathNode SpeciesNode(int index) {
  MathNode node;
  node.kind = MathNode::Kind::kSpecies;
  node.index = index;
  return node;
}

MathNode ConstantNode(int index) {
  MathNode node;
  node.kind = MathNode::Kind::kConstant;
  node.index = index;
  return node;
}

MathNode Apply(char code, std::vector<MathNode> operands) {
  MathNode node;
  node.kind = MathNode::Kind::kOperator;
  node.code = code;
  node.children = std::move(operands);
  return node;
}

MathNode Function(char code, MathNode operand) {
  MathNode node;
  node.kind = MathNode::Kind::kFunction;
  node.code = code;
  node.children.push_back(std::move(operand));
  return node;
}

MathNode Call(char code, std::vector<MathNode> arguments) {
  MathNode node;
  node.kind = MathNode::Kind::kCall;
  node.code = code;
  node.children = std::move(arguments);
  return node;
}

namespace {

std::vector<MathNode> Operands(MathNode first, MathNode second) {
  std::vector<MathNode> operands;
  operands.reserve(2);
  operands.push_back(std::move(first));
  operands.push_back(std::move(second));
  return operands;
}

}  // namespace

MathNode Apply(char code, MathNode left, MathNode right) {
  return Apply(code, Operands(std::move(left), std::move(right)));
}

MathNode Call(char code, MathNode argument) {
  std::vector<MathNode> arguments;
  arguments.push_back(std::move(argument));
  return Call(code, std::move(arguments));
}

MathNode Call(char code, MathNode first, MathNode second) {
  return Call(code, Operands(std::move(first), std::move(second)));
}

bool IsExactExpressionNumber(double value) {
  if (!std::isfinite(value)) return false;
  return NumberValue(FormatExpressionNumber(std::fabs(value))) == std::fabs(value);
}

namespace {

std::string NumberText(double value) {
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value));
  std::string text = error == std::errc() ? std::string(buffer, end) : "0";
  // A number token never carries a sign: a negative one is a negated primary.
  return std::signbit(value) ? "(-" + text + ")" : text;
}

const char* FunctionName(char code) {
  switch (code) {
    case node_code::kLog:
      return "log";
    case node_code::kLog10:
      return "log10";
    case node_code::kExp:
      return "exp";
    case node_code::kSin:
      return "sin";
    case node_code::kCos:
      return "cos";
    default:
      return "";
  }
}

std::string CallName(char code) {
  const CallFunction* function = FindCallFunction(code);
  return function != nullptr ? std::string(function->text) : std::string();
}

bool IsLeaf(const MathNode& node) {
  return node.kind == MathNode::Kind::kSpecies || node.kind == MathNode::Kind::kConstant ||
         (node.kind == MathNode::Kind::kNumber && !std::signbit(node.value));
}

// A call with its arguments, each written by `write`.
template <class WriteArgument>
void WriteCall(const MathNode& node, std::string& out, WriteArgument write) {
  out += CallName(node.code);
  out += '(';
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    if (i > 0) out += ", ";
    write(node.children[i]);
  }
  out += ')';
}

void Write(const MathNode& node, const std::function<std::string(const MathNode&)>& symbol,
           std::string& out) {
  auto operand = [&](const MathNode& child) {
    if (IsLeaf(child) || child.kind == MathNode::Kind::kCall) {
      Write(child, symbol, out);
    } else {
      out += '(';
      Write(child, symbol, out);
      out += ')';
    }
  };
  switch (node.kind) {
    case MathNode::Kind::kNumber:
      out += NumberText(node.value);
      return;
    case MathNode::Kind::kSpecies:
    case MathNode::Kind::kConstant:
      out += symbol(node);
      return;
    case MathNode::Kind::kOperator:
      for (std::size_t i = 0; i < node.children.size(); ++i) {
        if (i > 0) out += node.code;
        operand(node.children[i]);
      }
      return;
    case MathNode::Kind::kFunction:
      if (node.code == node_code::kMinus) {
        out += '-';
      } else {
        out += FunctionName(node.code);
      }
      out += '(';
      Write(node.children.front(), symbol, out);
      out += ')';
      return;
    case MathNode::Kind::kCall:
      WriteCall(node, out, [&](const MathNode& argument) { Write(argument, symbol, out); });
      return;
  }
}

// How tightly an operator binds its operands in the rate-law dialect; a
// prefix sign, a function and a call bind tighter than any operator.
int Precedence(const MathNode& node) {
  constexpr int kTightest = 9;
  if (node.kind != MathNode::Kind::kOperator) return kTightest;
  switch (node.code) {
    case '+':
    case '-':
      return 1;
    case '*':
    case '/':
      return 3;
    default:
      return 5;  // '^'
  }
}

void WriteCompact(const MathNode& node, const std::function<std::string(const MathNode&)>& symbol,
                  std::string& out) {
  auto operand = [&](const MathNode& child, bool parenthesise) {
    if (parenthesise) out += '(';
    WriteCompact(child, symbol, out);
    if (parenthesise) out += ')';
  };
  switch (node.kind) {
    case MathNode::Kind::kNumber:
      // A negative number is a prefix sign before its magnitude.
      if (std::signbit(node.value)) out += '-';
      out += NumberText(std::fabs(node.value));
      return;
    case MathNode::Kind::kSpecies:
    case MathNode::Kind::kConstant:
      out += symbol(node);
      return;
    case MathNode::Kind::kOperator: {
      // "+" "-" "*" "/" group from the left, "^" from the right.
      const int precedence = Precedence(node);
      const bool rightGrouping = node.code == '^';
      for (std::size_t i = 0; i < node.children.size(); ++i) {
        if (i > 0) out += node.code;
        const int inner = Precedence(node.children[i]);
        const bool groupingSide = rightGrouping ? i > 0 : i == 0;
        operand(node.children[i], groupingSide ? inner < precedence : inner <= precedence);
      }
      return;
    }
    case MathNode::Kind::kFunction:
      if (node.code == node_code::kMinus) {
        // A prefix sign takes a primary.
        out += '-';
        operand(node.children.front(), node.children.front().kind == MathNode::Kind::kOperator);
        return;
      }
      out += FunctionName(node.code);
      operand(node.children.front(), true);
      return;
    case MathNode::Kind::kCall:
      WriteCall(node, out, [&](const MathNode& argument) { WriteCompact(argument, symbol, out); });
      return;
  }
}

}  // namespace

std::string CompactExpressionText(const MathNode& node,
                                  const std::function<std::string(const MathNode&)>& symbol) {
  std::string text;
  WriteCompact(node, symbol, text);
  return text;
}

std::string ExpressionText(const MathNode& node,
                           const std::function<std::string(const MathNode&)>& symbol) {
  std::string text;
  Write(node, symbol, text);
  return text;
}

void VisitNodes(const MathNode& node, const std::function<void(const MathNode&)>& visit) {
  visit(node);
  for (const MathNode& child : node.children) VisitNodes(child, visit);
}

}  // namespace vireon::sbml
