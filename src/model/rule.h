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
// one global quantity reaches every step that uses it. A stoichiometry
// target is the net coefficient of one metabolite in one step (the step's
// name, and the metabolite's name in `constant`): it replaces the
// coefficient the step's equation gives, so that a step can make or use a
// metabolite in a proportion that changes over time. Rules set
// stoichiometries but never read them: a stoichiometry that other
// quantities read is a global quantity that the stoichiometry's assignment
// rule follows (the SBML import names it by its species reference's id).
// Targets are named, not indexed, so that they survive the renumbering of
// an edit.
enum class RuleTargetKind {
  kGlobalQuantity,
  kCompartmentVolume,
  kMetabolite,
  kKineticConstant,
  kStoichiometry,
};

struct RuleTarget {
  RuleTargetKind kind = RuleTargetKind::kGlobalQuantity;
  std::string name;
  // The second name of a two-part target: a kinetic constant's name in its
  // step's type, or the metabolite of a stoichiometry; empty for the others.
  std::string constant;
  bool operator==(const RuleTarget&) const = default;
};

// Whether a target kind names its step and a second name (`constant`).
inline bool HasSecondName(RuleTargetKind kind) {
  return kind == RuleTargetKind::kKineticConstant || kind == RuleTargetKind::kStoichiometry;
}

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

// Whether any rule sets a stoichiometry. The conservation relations of a
// network follow from its stoichiometry; once a rule replaces a coefficient
// (over time, or only at time 0 with a value the equations do not have)
// they need not hold, and the structural analysis reduces nothing.
inline bool HasStoichiometryRules(const std::vector<Rule>& rules) {
  for (const Rule& rule : rules) {
    if (rule.target.kind == RuleTargetKind::kStoichiometry) return true;
  }
  return false;
}

}  // namespace vireon
