#pragma once
// A rate law on its way between SBML and Vireon: a small expression tree
// whose leaves are numbers, species and constants, and whose inner nodes
// carry the operator, function and call codes of the rate-law dialect
// (kinetics/expression.h). The import builds it from MathML, rewrites it
// (the volume and the stoichiometric scale) and writes it as the text of a
// user-defined kinetic type.

#include <functional>
#include <string>
#include <vector>

namespace vireon::sbml {

struct MathNode {
  enum class Kind {
    kNumber,    // value
    kSpecies,   // index: the species' index in the import
    kConstant,  // index: the constant's index in the import
    kOperator,  // code '+', '*' (two or more children), '-', '/', '^' (two)
    kFunction,  // code of log, log10, exp, sin, cos, or '-' for negation (one child)
    kCall,      // code of a call function (piecewise, lt, ..., factorial)
  };
  Kind kind = Kind::kNumber;
  char code = 0;
  double value = 0.0;
  int index = -1;
  std::vector<MathNode> children;

  bool operator==(const MathNode&) const = default;
};

MathNode Number(double value);
MathNode SpeciesNode(int index);
MathNode ConstantNode(int index);
// An operator over two or more operands.
MathNode Apply(char code, std::vector<MathNode> operands);
MathNode Function(char code, MathNode operand);
MathNode Call(char code, std::vector<MathNode> arguments);
// The same for one or two operands, which are moved, not copied as the
// elements of a braced list would be.
MathNode Apply(char code, MathNode left, MathNode right);
MathNode Call(char code, MathNode argument);
MathNode Call(char code, MathNode first, MathNode second);

// Whether the rate-law dialect keeps the number exactly: it is finite and
// survives the seven significant digits with which a kinetic type record
// stores the numbers of its expression.
bool IsExactExpressionNumber(double value);

// The text of the tree in the rate-law dialect, with `symbol` naming the
// species and constants. Operands that are not leaves are parenthesised, so
// the text parses back into the same tree whatever the precedences.
std::string ExpressionText(const MathNode& node,
                           const std::function<std::string(const MathNode&)>& symbol);

// The same tree with only the parentheses the precedences need, so that the
// text nests no deeper than the tree does. For trees whose fully
// parenthesised text nests too deeply for the rate-law dialect.
std::string CompactExpressionText(const MathNode& node,
                                  const std::function<std::string(const MathNode&)>& symbol);

// Calls `visit` for every node, each before its children: the species and
// constant leaves in the order in which ExpressionText writes them.
void VisitNodes(const MathNode& node, const std::function<void(const MathNode&)>& visit);

}  // namespace vireon::sbml
