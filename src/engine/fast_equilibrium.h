#pragma once
// Fast steps: steps at equilibrium at every moment. The fast steps of a
// model form a subsystem in quasi-steady state: with N_f the stoichiometry
// columns of the fast steps, the amounts always satisfy N_f·v_f(x) = 0,
// and the combinations L·x with L·N_f = 0 (the left null space of N_f) move
// only by the other steps, d(L·x)/dt = L·N_s·v_s. The balance fixes the
// remaining combinations: x lies on the plane L·x = const, which is x + B·ξ
// for the fast directions B (a basis of the columns of N_f), and the r
// extents ξ solve r independent rows of N_f·v_f(x + B·ξ) = 0.
//
// So the integrator keeps the amounts as it always does, and every
// evaluation first moves them to the equilibrium x* = x + B·ξ(x) by
// Newton's method (rules/constraint_newton.h), as the algebraic rules are
// eliminated; the derivative is the other steps' rates at x* plus a flux
// along the fast directions, N_s·v_s(x*) + B·w. The slow combinations
// follow the first term exactly (L·B = 0), whatever w is; w is the flux
// through the fast steps that keeps the balances as the amounts move
// (AddFastFlux), so that the integrator's amounts stay at the equilibrium
// rather than drift from it along the fast directions.
//
// Where the balances have several roots, the equilibrium is the one the
// fast steps run to: the first is found by following their own flow from
// the initial amounts (pseudo-transient continuation, Relax), each later
// one by Newton's method from the last, and a Newton solution that makes an
// amount negative that was not is taken for the wrong root and the flow
// followed instead.
//
// Elimination gives the exact reduced system for every task that
// evaluates the equations, and keeps LSODA with its error control and step
// counts; the limit of very fast rates it stands for would instead make the
// full system stiff without bound. What a task reports (concentrations,
// fluxes, output items) is read at x*, where the fast steps' rate laws
// are 0 to within the Newton tolerance: a fast step's flux is its rate law
// there, not the flux w that runs through it.
//
// The balance rows are those of N_f·v_f rather than each fast rate: two
// fast steps that run one reaction back and forth (A -> B and B -> A) are
// at equilibrium when their rates are equal, not when each is 0, and for
// fast steps of independent columns the rows say v_f = 0.
//
// The conservation relations of the whole network hold for the fast
// subsystem as they are (each column of N_f keeps them), so the structural
// analysis and the moiety totals need nothing of their own.

#include <cstddef>
#include <string>
#include <vector>

#include "model/model.h"
#include "rules/constraint_newton.h"

namespace vireon {

// Why the engine cannot follow the model's fast steps, judged by the
// model's structure and rules; empty when it can or when no step is fast.
// The engine refuses a fast step whose stoichiometry a rule sets, one that
// changes a metabolite a rule sets, and one that changes a metabolite in a
// compartment whose volume a rule or an event changes.
std::string FastStepsProblem(const Model& model);

// "the fast step a" or "the fast steps a, b and c".
std::string FastStepsTitle(const Model& model);

class FastEquilibrium {
 public:
  // The model must have been through its structural analysis; volumes are
  // by position (1-based), as the equations set them up.
  FastEquilibrium(const Model& model, const std::vector<double>& volumes);

  // The fast steps, by step index, in the model's order.
  const std::vector<int>& steps() const { return steps_; }
  // The number of balances, the rank of N_f over the variable amounts.
  int rank() const { return static_cast<int>(pivotRows_.size()); }

  // Moves the amounts x (1-based by position, every position) along the
  // fast directions until the balances hold; rates(t, out) writes the rate
  // of every fast step (in the order of steps()) at the amounts t, an
  // array like x. Starts from the equilibrium found last, carried to x's
  // plane. False when Newton's method fails (x is then as it was); what a
  // rate law throws passes through.
  template <class Rates>
  bool Equilibrate(double* x, Rates rates);

  // At amounts x that Equilibrate has moved to the equilibrium, with ydot
  // the slow steps' rates of the amounts (1-based, every variable
  // position): adds the fast steps' flux along their directions that keeps
  // the balances as the slow steps move the amounts, B·w with
  // (J·B)·w = -J·ydot, J the balances' Jacobian by differences. The slow
  // combinations' rates stay as they were (L·B = 0), so the time course's
  // equilibrium does not depend on it: it keeps the integrator's amounts
  // at the equilibrium, where otherwise they would drift along the fast
  // directions by all the flux that passes through the fast steps, and
  // the equilibrium would be their difference, with the integrator's
  // error on their size. Nothing is added where J·B is singular.
  template <class Rates>
  void AddFastFlux(const double* x, double* ydot, Rates rates);

 private:
  struct Entry {
    int index;  // a position (1-based), or a fast step's place in steps_
    double coefficient;
  };
  // The extents (into start_) at which x + B·ξ meets the last equilibrium
  // on the balance rows.
  void StartExtents(const double* x);
  // The balance rows at the amounts t (an array like x) into f.
  template <class Rates>
  void BalanceAt(const double* t, double* f, Rates& rates) {
    rates(const_cast<double*>(t), rates_.data());
    for (std::size_t i = 0; i < balances_.size(); ++i) {
      double sum = 0.0;
      for (const Entry& e : balances_[i]) {
        sum += e.coefficient * rates_[static_cast<std::size_t>(e.index)];
      }
      f[i] = sum;
    }
  }
  // Follows the fast steps' own flow from extents_ towards the equilibrium
  // it reaches (a stable one); false when it cannot be followed.
  template <class Balance>
  bool Relax(Balance balance);

  // The most pseudo-time steps of one relaxation.
  static constexpr int kMaxRelaxationSteps = 500;
  // The first pseudo-time step moves the extents by this fraction of the
  // largest amount the fast steps change.
  static constexpr double kFirstRelaxationMove = 1e-3;
  // The least and the most a pseudo-time step grows from one step to the
  // next, and the factor that cuts it when its implicit equation has no
  // solution.
  static constexpr double kRelaxationLeastGrowth = 2.0;
  static constexpr double kRelaxationGrowth = 10.0;
  static constexpr double kRelaxationCut = 0.25;
  // The relaxation ends when a step moves the extents by at most this
  // fraction of the amounts: Newton's method then finishes from within the
  // basin of the equilibrium the flow approaches.
  static constexpr double kRelaxedMove = 1e-6;
  // A solution of Newton's method with an amount below -kNegativeAmount
  // times the largest amount it moves, where its start had none, is the
  // wrong root.
  static constexpr double kNegativeAmount = 1e-9;

  int nMetabolites_ = 0;
  int nVariable_ = 0;
  std::vector<int> steps_;
  // By basis column: the amounts one unit of its extent changes.
  std::vector<std::vector<Entry>> directions_;
  // By balance: its position and its row of N_f over the fast steps.
  std::vector<int> pivotRows_;
  std::vector<std::vector<Entry>> balances_;
  std::vector<int> touched_;      // the positions some fast direction changes
  std::vector<double> previous_;  // the last equilibrium, 1-based
  bool hasPrevious_ = false;
  std::vector<double> trial_, rates_, extents_, residual_, newtonTrial_, newtonJacobian_;
  std::vector<double> startMatrix_;
  // R·B, the balance rows of the fast directions (row-major, r × r).
  std::vector<double> balanceMatrix_;
  std::vector<double> start_, stepResidual_, flow_, matrix_, zero_, lastExtents_;
  std::vector<double> tangent_, balanceAt_, balancePlus_, tangentMatrix_, fastFlux_;
  std::vector<char> startSigns_;  // by position, 1-based: the start's amount was not negative
};

template <class Rates>
bool FastEquilibrium::Equilibrate(double* x, Rates rates) {
  const std::size_t r = pivotRows_.size();
  if (r == 0) return true;
  const auto place = [&](const double* z) {
    for (int p = 1; p <= nMetabolites_; ++p) trial_[static_cast<std::size_t>(p)] = x[p];
    for (std::size_t j = 0; j < r; ++j) {
      for (const Entry& e : directions_[j]) {
        trial_[static_cast<std::size_t>(e.index)] += e.coefficient * z[j];
      }
    }
  };
  // The balance rows at the extents z, and the largest amount they move.
  const auto balance = [&](const double* z, double* f, double* read) {
    place(z);
    rates(trial_.data(), rates_.data());
    for (std::size_t i = 0; i < r; ++i) {
      double sum = 0.0;
      for (const Entry& e : balances_[i]) {
        sum += e.coefficient * rates_[static_cast<std::size_t>(e.index)];
      }
      f[i] = sum;
    }
    if (read != nullptr) {
      double largest = 0.0;
      for (int p : touched_) {
        largest = std::max(largest, std::fabs(trial_[static_cast<std::size_t>(p)]));
      }
      *read = largest;
    }
  };
  // Where the fast rates vanish identically (a rate constant of 0), every
  // point balances and x is the state: the steps it leaves do not act.
  zero_.assign(r, 0.0);
  balance(zero_.data(), residual_.data(), nullptr);
  bool solved = true;
  for (std::size_t i = 0; i < r && solved; ++i) solved = residual_[i] == 0.0;
  if (solved) extents_ = zero_;
  // Newton's method from a start, kept when it converges to amounts that
  // are not negative where the start's were not: a root beyond that is
  // one the fast steps' flow never reaches (a binding that would use more
  // than there is), and the flow itself is followed instead.
  const auto newtonFrom = [&](const std::vector<double>& from) {
    extents_ = from;
    place(extents_.data());
    double read = 0.0;
    for (int p : touched_) {
      const double amount = trial_[static_cast<std::size_t>(p)];
      startSigns_[static_cast<std::size_t>(p)] = amount >= 0.0 ? 1 : 0;
      read = std::max(read, std::fabs(amount));
    }
    if (!SolveConstraintsByNewton(extents_, residual_, newtonTrial_, newtonJacobian_, balance)) {
      return false;
    }
    place(extents_.data());
    for (int p : touched_) {
      const double amount = trial_[static_cast<std::size_t>(p)];
      if (startSigns_[static_cast<std::size_t>(p)] && amount < -kNegativeAmount * read)
        return false;
    }
    return true;
  };
  // The starts in turn: the extents found last, which carry the last
  // equilibrium along with the slow steps' change; the amounts of the last
  // equilibrium on the balance rows (after the integrator's amounts were
  // replaced); then the flow from the first.
  if (!solved && hasPrevious_) {
    solved = newtonFrom(lastExtents_);
    if (!solved) {
      StartExtents(x);
      solved = newtonFrom(start_);
    }
  }
  if (!solved) {
    extents_ = hasPrevious_ ? lastExtents_ : zero_;
    solved = Relax(balance) && newtonFrom(extents_);
  }
  if (!solved) return false;
  place(extents_.data());
  for (int p = 1; p <= nVariable_; ++p) x[p] = trial_[static_cast<std::size_t>(p)];
  for (int p = 1; p <= nVariable_; ++p) previous_[static_cast<std::size_t>(p)] = x[p];
  lastExtents_ = extents_;
  hasPrevious_ = true;
  return true;
}

template <class Rates>
void FastEquilibrium::AddFastFlux(const double* x, double* ydot, Rates rates) {
  const std::size_t r = pivotRows_.size();
  if (r == 0) return;
  double scale = 0.0, speed = 0.0;
  for (int p : touched_) scale = std::max(scale, std::fabs(x[p]));
  if (!(scale > 0.0)) scale = constraint_newton::kZeroScale;
  for (int p = 1; p <= nVariable_; ++p) speed = std::max(speed, std::fabs(ydot[p]));
  if (!(speed > 0.0) || !std::isfinite(speed)) return;
  tangent_.assign(x, x + nMetabolites_ + 1);
  balanceAt_.resize(r);
  balancePlus_.resize(r);
  tangentMatrix_.resize(r * r);
  fastFlux_.resize(r);
  BalanceAt(tangent_.data(), balanceAt_.data(), rates);
  // J·ydot, along the slow steps' motion over a time that moves the
  // amounts by the difference increment.
  const double along = constraint_newton::kDifferenceIncrement * scale / speed;
  for (int p = 1; p <= nVariable_; ++p)
    tangent_[static_cast<std::size_t>(p)] = x[p] + along * ydot[p];
  BalanceAt(tangent_.data(), balancePlus_.data(), rates);
  for (std::size_t i = 0; i < r; ++i) {
    fastFlux_[i] = -(balancePlus_[i] - balanceAt_[i]) / along;
  }
  for (int p = 1; p <= nVariable_; ++p) tangent_[static_cast<std::size_t>(p)] = x[p];
  const double increment = constraint_newton::kDifferenceIncrement * scale;
  for (std::size_t j = 0; j < r; ++j) {
    for (const Entry& e : directions_[j]) {
      tangent_[static_cast<std::size_t>(e.index)] += e.coefficient * increment;
    }
    BalanceAt(tangent_.data(), balancePlus_.data(), rates);
    for (std::size_t i = 0; i < r; ++i) {
      tangentMatrix_[i * r + j] = (balancePlus_[i] - balanceAt_[i]) / increment;
    }
    for (const Entry& e : directions_[j]) {
      tangent_[static_cast<std::size_t>(e.index)] = x[e.index];
    }
  }
  if (!constraint_newton::SolveDense(tangentMatrix_, fastFlux_.data(), static_cast<int>(r)) ||
      !constraint_newton::AllFinite(fastFlux_, r)) {
    return;
  }
  for (std::size_t j = 0; j < r; ++j) {
    for (const Entry& e : directions_[j]) ydot[e.index] += e.coefficient * fastFlux_[j];
  }
}

// Pseudo-transient continuation: implicit Euler steps of the fast steps'
// own flow, dξ/dτ = (R·B)^-1·f(ξ) (which is dx/dτ = N_f·v_f in the extents),
// each solved by Newton's method, with the pseudo-time step grown as the
// flow falls (h times the ratio of its sizes, kept between
// kRelaxationLeastGrowth and kRelaxationGrowth), until a step moves the
// extents little against the amounts. Returns with extents_ near the
// equilibrium the flow reaches.
template <class Balance>
bool FastEquilibrium::Relax(Balance balance) {
  const std::size_t r = pivotRows_.size();
  double read = 0.0;
  balance(extents_.data(), residual_.data(), &read);
  // The size of the flow at the residual f: the largest of (R·B)^-1·f.
  const auto flowSize = [&](const std::vector<double>& f) {
    flow_.assign(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(r));
    matrix_ = balanceMatrix_;
    if (!constraint_newton::SolveDense(matrix_, flow_.data(), static_cast<int>(r))) return -1.0;
    double largest = 0.0;
    for (double w : flow_) {
      if (!(std::fabs(w) <= largest)) largest = std::fabs(w);
    }
    return largest;
  };
  double size = flowSize(residual_);
  if (!(size >= 0.0) || !std::isfinite(size)) return false;
  const double scale = read > 0.0 ? read : constraint_newton::kZeroScale;
  if (size == 0.0) return true;
  double h = kFirstRelaxationMove * scale / size;
  for (int step = 0; step < kMaxRelaxationSteps; ++step) {
    start_ = extents_;
    const double at = h;
    const bool taken =
        SolveConstraintsByNewton(extents_, stepResidual_, newtonTrial_, newtonJacobian_,
                                 [&](const double* z, double* g, double* stepRead) {
                                   balance(z, g, stepRead);
                                   for (std::size_t i = 0; i < r; ++i) {
                                     double moved = 0.0;
                                     for (std::size_t j = 0; j < r; ++j) {
                                       moved += balanceMatrix_[i * r + j] * (z[j] - start_[j]);
                                     }
                                     g[i] = moved - at * g[i];
                                   }
                                 });
    if (!taken) {
      extents_ = start_;
      h *= kRelaxationCut;
      if (!(h > 0.0)) return false;
      continue;
    }
    balance(extents_.data(), residual_.data(), &read);
    const double next = flowSize(residual_);
    if (!(next >= 0.0) || !std::isfinite(next)) return false;
    double moved = 0.0;
    for (std::size_t j = 0; j < r; ++j) moved = std::max(moved, std::fabs(extents_[j] - start_[j]));
    if (next == 0.0 || moved <= kRelaxedMove * std::max(read, scale * kRelaxedMove)) return true;
    h *= std::clamp(size / next, kRelaxationLeastGrowth, kRelaxationGrowth);
    size = next;
  }
  return false;
}

}  // namespace vireon
