#pragma once
// The rules of a model checked as a whole and put in the order in which
// they must be evaluated.
//
// What must hold:
//   - every rule's target exists (a stoichiometry target names a step and
//     one of the substrates or products of its equation), and its
//     expression reads and resolves (rules/rule_expression.h);
//   - a target has at most one assignment or rate rule (so assignment and
//     rate rules never share a target) and at most one initial assignment,
//     and never both an assignment rule and an initial assignment (the
//     assignment rule already gives its value at time 0);
//   - an algebraic rule's target is a global quantity, a volume or a fixed
//     metabolite that no other rule sets over time and no initial
//     assignment gives; the algebraic rules can be paired with distinct
//     targets, each read by its rule directly or through the assignment
//     rules it reads (the structure of a system that can be solved for its
//     targets: an over-determined or higher-index one is refused with the
//     rules at fault named);
//   - the assignment rules can be ordered so that each comes after every
//     assignment rule whose target it reads; at time 0 the same holds for
//     the assignment rules and initial assignments together. A rate rule's
//     target is a state of the model: reading it depends on no rule.
// A cycle is refused with a message that names its quantities in the
// order in which they read each other.

#include <string>
#include <vector>

#include "model/rule.h"
#include "rules/rule_expression.h"

namespace vireon {

class Model;
class ModelNameIndex;
struct Step;

// The rules of a model read, resolved and ordered.
struct RuleSet {
  // One per rule of the model, in the model's order.
  std::vector<RuleExpression> expressions;
  // The index of each rule's target in its kind's list of the model (for a
  // kinetic constant or a stoichiometry, its step), and for a
  // kinetic-constant target the constant's place in the step's list, for a
  // stoichiometry target the metabolite (-1 for the other targets).
  std::vector<int> targets;
  std::vector<int> constants;
  // The assignment rules (indices into the model's rules), each after the
  // assignment rules it reads.
  std::vector<int> assignmentOrder;
  // The initial assignments and the assignment rules, each after the rules
  // it reads at time 0: the order in which time 0 is set up.
  std::vector<int> initialOrder;
  // The algebraic rules, in the model's order.
  std::vector<int> algebraic;
};

// The first thing found wrong with a model's rules.
struct RulesCheck {
  int rule = -1;                 // the rule at fault, -1 when all is well
  bool inExpression = false;     // the fault lies in that rule's expression...
  ExpressionProblem expression;  // ...and this is it
  std::string message;
  bool ok() const { return rule < 0; }
};

// The words for a rule kind and a target kind, as messages and the model
// file name them ("assignment", "rate", "initial assignment", "algebraic";
// "global quantity", "volume", "metabolite", "kinetic constant",
// "stoichiometry").
std::string RuleKindWord(RuleKind kind);
std::string RuleTargetKindWord(RuleTargetKind kind);
// How messages name a target: its name, for a kinetic constant
// "step(constant)", as the constant's output item is titled, and for a
// stoichiometry "step:metabolite".
std::string RuleTargetTitle(const RuleTarget& target);

// The index of a target in its kind's list of the model (for a kinetic
// constant or a stoichiometry, its step), or -1.
int FindRuleTarget(const ModelNameIndex& names, const RuleTarget& target);
// The place of a constant in a step's list, by the names of the step's
// kinetic type; -1 when it has none of that name.
int FindKineticConstant(const Step& step, const std::string& name);

// Checks every rule of the model, in linear time in the size of the rules.
// When all is well and `set` is given, fills it.
RulesCheck CheckRules(const Model& model, RuleSet* set = nullptr);

}  // namespace vireon
