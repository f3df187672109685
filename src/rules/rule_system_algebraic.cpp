// The algebraic rules of a RuleSystem: the values of their targets that
// make every constraint 0, found wherever the assignment rules are
// evaluated.
//
// The constraints are eliminated rather than integrated together with the
// differential equations (as a differential-algebraic solver such as IDA
// would). For a system of index 1, which is all the rules' check admits,
// the constraints define their targets as functions of time and the
// state; solving them to within rounding at each evaluation makes the
// equations the integrator sees exactly the ordinary differential system
// of the other variables. So every task the engine has follows the model
// unchanged: the time course keeps LSODA, its error control and its step
// counts' meaning, and the steady state, stability and control analysis
// differentiate through the constraints as they do through the assignment
// rules. A DAE solver would have needed its own path through each of them,
// and its error test would control the algebraic targets only as loosely
// as the states. A model without algebraic rules never comes here.
//
// Solving, in the order the code takes it:
//  1. start from the targets' current values (the solution found last, so
//     that a time course pays about one Newton step per evaluation);
//  2. evaluate the constraints there, the changing assignment rules first;
//  3. the Jacobian of the constraints by forward differences, one target
//     at a time, and the Newton step from it by Gaussian elimination with
//     partial pivoting;
//  4. take the step and evaluate again; stop when the step has become
//     small against the targets' scales, so that what is left after it is
//     far below the integrator's tolerances; refuse after
//     kMaxNewtonIterations steps, a singular Jacobian or a value that is
//     not a number.
// The quantities are left as the last evaluation, at the solution, set them.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "kinetics/arithmetic_fault.h"
#include "rules/constraint_newton.h"
#include "rules/rule_system.h"

namespace vireon {

std::string RuleSystem::AlgebraicRulesTitle() const {
  std::string text =
      algebraicNames_.size() == 1 ? "the algebraic rule for " : "the algebraic rules for ";
  for (std::size_t i = 0; i < algebraicNames_.size(); ++i) {
    if (i > 0) text += i + 1 == algebraicNames_.size() ? " and " : ", ";
    text += algebraicNames_[i];
  }
  return text;
}

// The largest magnitude among the values the constraints read.
double RuleSystem::LargestRead(const std::vector<BoundRule>& constraints,
                               const RuleQuantities& q) const {
  double largest = 0.0;
  for (const BoundRule& rule : constraints) {
    for (const RuleSymbol& symbol : rule.expression.symbols) {
      largest = std::max(largest, std::fabs(SymbolValue(symbol, q)));
    }
  }
  return largest;
}

double RuleSystem::LargestReadAtStart(const Model& model) const {
  double largest = 0.0;
  for (const BoundRule& rule : algebraic_) {
    for (const RuleSymbol& symbol : rule.expression.symbols) {
      largest = std::max(largest, std::fabs(SymbolValueAtStart(symbol, model)));
    }
  }
  return largest;
}

void RuleSystem::SolveConstraints(bool late, const RuleQuantities& q, Model& model) {
  const std::vector<BoundRule>& constraints = late ? lateAlgebraic_ : algebraic_;
  const std::size_t n = constraints.size();
  newtonValues_.resize(n);
  for (std::size_t i = 0; i < n; ++i) newtonValues_[i] = Read(constraints[i].target, q, model);
  const bool solved =
      SolveConstraintsByNewton(newtonValues_, newtonResidual_, newtonTrial_, newtonJacobian_,
                               [&](const double* z, double* f, double* read) {
                                 for (std::size_t i = 0; i < n; ++i)
                                   Write(constraints[i].target, z[i], q, model);
                                 if (late) {
                                   for (const BoundRule& rule : late_)
                                     Write(rule.target, Evaluate(rule.expression, q), q, model);
                                 } else {
                                   EvaluateChanging(q, model);
                                 }
                                 for (std::size_t i = 0; i < n; ++i)
                                   f[i] = Evaluate(constraints[i].expression, q);
                                 if (read != nullptr) *read = LargestRead(constraints, q);
                               });
  if (!solved) throw ArithmeticFault(ArithmeticFaultKind::kInvalidOperation);
}

void RuleSystem::SolveConstraintsAtStart(Model& model) const {
  const std::size_t n = algebraic_.size();
  newtonValues_.resize(n);
  for (std::size_t i = 0; i < n; ++i) newtonValues_[i] = ModelValueOf(algebraic_[i].target, model);
  // The values at time 0 of the initial assignments and assignment rules
  // may read the targets: each trial sets them up again.
  const bool solved = SolveConstraintsByNewton(
      newtonValues_, newtonResidual_, newtonTrial_, newtonJacobian_,
      [&](const double* z, double* f, double* read) {
        for (std::size_t i = 0; i < n; ++i) ModelValueOf(algebraic_[i].target, model) = z[i];
        for (const BoundRule& rule : initial_) {
          ModelValueOf(rule.target, model) = EvaluateAtStart(rule.expression, model);
        }
        for (std::size_t i = 0; i < n; ++i) {
          f[i] = EvaluateAtStart(algebraic_[i].expression, model);
        }
        if (read != nullptr) *read = LargestReadAtStart(model);
      });
  if (!solved) {
    RestoreModelValues(model);
    std::string title = AlgebraicRulesTitle();
    title[0] = 'T';
    throw std::invalid_argument(title +
                                " cannot be solved at time 0: Newton's method finds no values of "
                                "their targets that make every constraint 0.");
  }
}

}  // namespace vireon
