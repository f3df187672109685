#pragma once
// Rules: a quantity of the model given by an expression instead of by its
// own value. The model keeps a rule as its kind, its target and the text of
// its expression in the rate-law dialect; reading the text, resolving its
// names and ordering the rules by their dependencies is the work of
// src/rules, which knows the expression engine.
//
// An algebraic rule is a constraint, 0 = expression. Its target is the
// quantity the constraint determines, one the model leaves free otherwise;
// it is named because nothing else in the model tells a quantity that may
// move from one that stays. The algebraic rules determine their targets as
// one system: a rule need not read its own target, as long as the system
// can be solved for all of them (rules/rule_order.h).

#include <string>
#include <vector>

namespace vireon {

enum class RuleKind {
  kAssignment,         // the target equals the expression at every moment
  kRate,               // the target's time derivative is the expression
  kInitialAssignment,  // the target's value at time 0 is the expression
  kAlgebraic,          // the expression is 0 at every moment, by the value of the target
};

// What a rule sets. A metabolite target is its concentration, a compartment
// target its volume, a kinetic-constant target one constant of a step's
// rate law (the step's name, and the constant's name in its kinetic type):
// an assignment rule ties the constant to the quantities it reads, so that
// one global quantity reaches every step that uses it. Targets are named,
// not indexed, so that they survive the renumbering of an edit.
enum class RuleTargetKind {
  kGlobalQuantity,
  kCompartmentVolume,
  kMetabolite,
  kKineticConstant,
};

struct RuleTarget {
  RuleTargetKind kind = RuleTargetKind::kGlobalQuantity;
  std::string name;
  std::string constant;  // kinetic-constant targets only
  bool operator==(const RuleTarget&) const = default;
};

struct Rule {
  RuleKind kind = RuleKind::kAssignment;
  RuleTarget target;
  std::string expression;  // one line
  bool operator==(const Rule&) const = default;
};

// The rate rules among the rules: each adds a variable to the system the
// steady state solves, after the independent amounts, in the rules' order.
inline int RateRuleCount(const std::vector<Rule>& rules) {
  int count = 0;
  for (const Rule& rule : rules) count += rule.kind == RuleKind::kRate ? 1 : 0;
  return count;
}

}  // namespace vireon
