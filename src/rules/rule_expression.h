#pragma once
// The expression of a rule: a text in the rate-law dialect whose names are
// quantities of the model. Reading one scans and links it with the
// expression engine (kinetics/expression.h) and resolves every name: to a
// metabolite (its concentration), a compartment (its volume), a global
// quantity (its value), the model's time ("time") or a named constant
// ("avogadro"). The reserved names win over a quantity of the same name.
// rateOf(x) reads the rate of change of the metabolite, compartment or
// global quantity x: its argument is a symbol entry of its own, marked as
// a rate.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "kinetics/expression.h"

namespace vireon {

class ModelNameIndex;

// What one distinct name of an expression stands for.
struct RuleSymbol {
  enum class Kind { kMetabolite, kCompartmentVolume, kGlobalQuantity, kTime, kConstant };
  Kind kind = Kind::kTime;
  int index = -1;      // the metabolite, compartment or global quantity
  double value = 0.0;  // a named constant's value
  std::string name;
  bool rate = false;  // the quantity's rate of change, not its value
  bool operator==(const RuleSymbol&) const = default;
};

// An expression read and resolved: the engine's node list, in which every
// symbol node ('I') carries in `index` its entry of `symbols` (one entry per
// distinct name, in order of first appearance).
struct RuleExpression {
  std::vector<ExpressionNode> nodes;
  std::vector<RuleSymbol> symbols;
};

// Why an expression was refused, and where.
struct ExpressionProblem {
  enum class Kind { kNone, kSyntax, kUnknownName, kAmbiguousName };
  Kind kind = Kind::kNone;
  std::size_t position = 0;  // offset in the text of the character at fault
  std::string name;          // the name that does not resolve
  std::string message;       // a sentence for the user, naming the position and the name
  bool ok() const { return kind == Kind::kNone; }
};

// Reads `text` against the model that `names` indexes. On a
// syntax error, a name that is no quantity of the model, or a name that two
// kinds of record share (a metabolite and a compartment of one name),
// returns the problem at its first occurrence and leaves `out` empty.
ExpressionProblem ReadRuleExpression(std::string_view text, const ModelNameIndex& names,
                                     RuleExpression& out);

// Whether the text, read as a rule's expression, calls delay.
bool CallsDelay(std::string_view text);

}  // namespace vireon
