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
#include "rules/rule_system.h"

namespace vireon {

namespace {

// The most Newton steps one solution may take.
constexpr int kMaxNewtonIterations = 50;
// A step at most this large against its target's scale ends the iteration:
// Newton's error after it is about its square, or, with a Jacobian of
// differences, about the step times the differences' relative error.
constexpr double kConvergedStep = 1e-10;
// A target's scale is its magnitude, but at least this fraction of the
// largest value the constraints read (the targets among them): a target
// that crosses 0 is known only to the rounding of the terms it is balanced
// against, and its differences need an increment those terms feel.
constexpr double kScaleFloor = 1e-3;
// The scale of a target when it and everything the constraints read is 0.
constexpr double kZeroScale = 1.0;
// The relative increment of the Jacobian's forward differences, the
// square root of the double precision's epsilon, times the target's scale.
constexpr double kDifferenceIncrement = 1.4901161193847656e-8;

// Solves a·x = b for x, in place in b, by Gaussian elimination with partial
// pivoting (a is n × n, row-major, and is overwritten); false when a pivot
// is 0 or not a number.
bool SolveDense(std::vector<double>& a, double* b, int n) {
  const auto at = [&a, n](int i, int j) -> double& {
    return a[static_cast<std::size_t>(i) * static_cast<std::size_t>(n) +
             static_cast<std::size_t>(j)];
  };
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    for (int i = k + 1; i < n; ++i) {
      if (std::fabs(at(i, k)) > std::fabs(at(pivot, k))) pivot = i;
    }
    if (!(std::fabs(at(pivot, k)) > 0.0) || !std::isfinite(at(pivot, k))) return false;
    if (pivot != k) {
      for (int j = 0; j < n; ++j) std::swap(at(k, j), at(pivot, j));
      std::swap(b[k], b[pivot]);
    }
    for (int i = k + 1; i < n; ++i) {
      const double factor = at(i, k) / at(k, k);
      if (factor == 0.0) continue;
      for (int j = k; j < n; ++j) at(i, j) -= factor * at(k, j);
      b[i] -= factor * b[k];
    }
  }
  for (int k = n - 1; k >= 0; --k) {
    double sum = b[k];
    for (int j = k + 1; j < n; ++j) sum -= at(k, j) * b[j];
    b[k] = sum / at(k, k);
  }
  return true;
}

bool AllFinite(const std::vector<double>& values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

// Newton's method on residual(z, f, read) from z (n values), with the
// scratch given; `read`, when not null, receives the largest magnitude of
// the values the constraints read. True when it converged; the last call
// of `residual` was then at the z it leaves.
template <class Residual>
bool Newton(std::vector<double>& z, std::vector<double>& f, std::vector<double>& trial,
            std::vector<double>& jacobian, Residual residual) {
  const std::size_t n = z.size();
  const int size = static_cast<int>(n);
  f.resize(n);
  trial.resize(2 * n);
  jacobian.resize(n * n);
  double* trialF = trial.data() + n;
  double read = 0.0;
  const auto scaleOf = [&z, &read](std::size_t i) {
    const double scale = std::max(std::fabs(z[i]), kScaleFloor * read);
    return scale > 0.0 ? scale : kZeroScale;
  };
  residual(z.data(), f.data(), &read);
  for (int iteration = 0; iteration < kMaxNewtonIterations; ++iteration) {
    if (!AllFinite(f, n)) return false;
    bool zero = true;
    for (std::size_t i = 0; i < n && zero; ++i) zero = f[i] == 0.0;
    if (zero) return true;
    for (std::size_t j = 0; j < n; ++j) {
      for (std::size_t i = 0; i < n; ++i) trial[i] = z[i];
      trial[j] = z[j] + kDifferenceIncrement * scaleOf(j);
      const double step = trial[j] - z[j];  // the increment as represented
      residual(trial.data(), trialF, nullptr);
      for (std::size_t i = 0; i < n; ++i) jacobian[i * n + j] = (trialF[i] - f[i]) / step;
    }
    for (std::size_t i = 0; i < n; ++i) trial[i] = -f[i];
    if (!SolveDense(jacobian, trial.data(), size)) {
      residual(z.data(), f.data(), nullptr);
      return false;
    }
    for (std::size_t i = 0; i < n; ++i) z[i] += trial[i];
    residual(z.data(), f.data(), &read);
    double largest = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      const double relative = std::fabs(trial[i]) / scaleOf(i);
      if (!(relative <= largest)) largest = relative;
    }
    if (largest <= kConvergedStep && AllFinite(f, n)) return true;
  }
  return false;
}

}  // namespace

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
double RuleSystem::LargestRead(const RuleQuantities& q) const {
  double largest = 0.0;
  for (const BoundRule& rule : algebraic_) {
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

void RuleSystem::SolveConstraints(const RuleQuantities& q, Model& model) {
  const std::size_t n = algebraic_.size();
  newtonValues_.resize(n);
  for (std::size_t i = 0; i < n; ++i) newtonValues_[i] = Read(algebraic_[i].target, q, model);
  const bool solved = Newton(newtonValues_, newtonResidual_, newtonTrial_, newtonJacobian_,
                             [&](const double* z, double* f, double* read) {
                               for (std::size_t i = 0; i < n; ++i)
                                 Write(algebraic_[i].target, z[i], q, model);
                               EvaluateChanging(q, model);
                               for (std::size_t i = 0; i < n; ++i)
                                 f[i] = Evaluate(algebraic_[i].expression, q);
                               if (read != nullptr) *read = LargestRead(q);
                             });
  if (!solved) throw ArithmeticFault(ArithmeticFaultKind::kInvalidOperation);
}

void RuleSystem::SolveConstraintsAtStart(Model& model) const {
  const std::size_t n = algebraic_.size();
  newtonValues_.resize(n);
  for (std::size_t i = 0; i < n; ++i) newtonValues_[i] = ModelValueOf(algebraic_[i].target, model);
  // The values at time 0 of the initial assignments and assignment rules
  // may read the targets: each trial sets them up again.
  const bool solved = Newton(newtonValues_, newtonResidual_, newtonTrial_, newtonJacobian_,
                             [&](const double* z, double* f, double* read) {
                               for (std::size_t i = 0; i < n; ++i)
                                 ModelValueOf(algebraic_[i].target, model) = z[i];
                               for (const BoundRule& rule : initial_) {
                                 ModelValueOf(rule.target, model) =
                                     EvaluateAtStart(rule.expression, model);
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
