// The Jacobian of the equations from the rate laws' derivatives.

#include <algorithm>

#include "engine/model_equations.h"
#include "rules/rule_system.h"

namespace vireon {

namespace {

// The modifiers a built-in law reads: those its type has roles for; a
// user-defined law's tree may read any of the step's.
std::span<const int> ModifiersOfLaw(const Step& step) {
  const KineticType* type = step.kineticType;
  if (type == nullptr || type->userDefined != 0) return step.modifiers;
  const int count = std::clamp(type->modifiers, 0, step.ModifierCount());
  return {step.modifiers.data(), static_cast<std::size_t>(count)};
}

}  // namespace

void ModelEquations::PlanLawJacobian() {
  const int nSteps = model_.nSteps();
  tapeOutput_.assign(static_cast<std::size_t>(nSteps), -1);
  differencedOf_.assign(static_cast<std::size_t>(nSteps), -1);
  differenced_.clear();
  differencedPositions_.clear();
  if (tape_.differentiable()) {
    for (int i = 0; i < tape_.StepCount(); ++i) {
      tapeOutput_[static_cast<std::size_t>(tape_.StepOf(i))] = i;
    }
  }
  auto difference = [&](int k, RateFunction rate) {
    if (rate == nullptr || tapeOutput_[static_cast<std::size_t>(k)] >= 0 ||
        differencedOf_[static_cast<std::size_t>(k)] >= 0) {
      return;
    }
    const Step& step = model_.steps[static_cast<std::size_t>(k)];
    DifferencedStep entry{k, rate, static_cast<int>(differencedPositions_.size()), 0};
    for (std::span<const int> list : {std::span<const int>(step.substrates),
                                      std::span<const int>(step.products), ModifiersOfLaw(step)}) {
      for (int m : list) {
        if (m < 0 || m >= nMetabolites_) continue;
        const int position = model_.metabolitePosition[static_cast<std::size_t>(m)];
        if (position < 0 || position >= nMetabolites_) continue;
        auto first = differencedPositions_.begin() + entry.start;
        if (std::find(first, differencedPositions_.end(), position) == differencedPositions_.end()) {
          differencedPositions_.push_back(position);
        }
      }
    }
    entry.end = static_cast<int>(differencedPositions_.size());
    differencedOf_[static_cast<std::size_t>(k)] = static_cast<int>(differenced_.size());
    differenced_.push_back(entry);
  };
  for (const RateCall& call : tapedSteps_) difference(call.step, call.rate);
  for (const RateBatch& batch : rateBatches_) {
    for (const StepOperands& operands : batch.steps) {
      difference(operands.step, model_.steps[static_cast<std::size_t>(operands.step)].kineticType->rate);
    }
  }
  for (const RateCall& call : activeSteps_) difference(call.step, call.rate);
  differencedValues_.assign(differencedPositions_.size(), 0.0);
  lawPoint_.assign(static_cast<std::size_t>(nMetabolites_), 0.0);
  lawRates_.assign(static_cast<std::size_t>(nSteps), 0.0);
  lawJacobianPlanned_ = true;
}

// Central differences of each differenced step's rate in each amount it
// reads, the others at y, with the perturbations of the elasticities.
void ModelEquations::DifferenceSteps(const double* y) {
  if (differenced_.empty()) return;
  std::copy(y + 1, y + 1 + nMetabolites_, lawPoint_.begin());
  for (const DifferencedStep& entry : differenced_) {
    for (int d = entry.start; d < entry.end; ++d) {
      const int position = differencedPositions_[static_cast<std::size_t>(d)];
      double& amount = lawPoint_[static_cast<std::size_t>(position)];
      const double at = amount;
      const double base = at >= resolution_ ? at : resolution_ * (1.0 + derivationFactor_);
      amount = (1.0 + derivationFactor_) * base;
      const double plus = entry.rate(model_, lawPoint_.data(), entry.step);
      amount = (1.0 - derivationFactor_) * base;
      const double minus = entry.rate(model_, lawPoint_.data(), entry.step);
      amount = at;
      differencedValues_[static_cast<std::size_t>(d)] =
          (plus - minus) / (2.0 * derivationFactor_ * base);
    }
  }
}

bool ModelEquations::PrepareLawPartials(const double* y) {
  if (!CanDifferentiateLaws()) return false;
  if (!lawJacobianPlanned_) PlanLawJacobian();
  // With rules, the laws read the amounts of y, the fixed ones of the
  // engine state and the constants the rules give them now, as F does.
  const double* x = y;
  if (rules_ != nullptr) {
    lawAmounts_.resize(static_cast<std::size_t>(nMetabolites_) + 1);
    double* amounts = lawAmounts_.data();
    std::copy(y + 1, y + nVariable_ + 1, amounts + 1);
    std::copy(state_.amounts.begin() + nVariable_ + 1, state_.amounts.begin() + nMetabolites_ + 1,
              amounts + nVariable_ + 1);
    const RuleQuantities q{time_, amounts, state_.quantityValues.data(),
                           state_.volumeValues.data()};
    rules_->EvaluateAssignments(q, *ruleModel_);
    x = amounts;
  }
  if (tape_.differentiable() && tape_.StepCount() > 0) {
    tape_.Evaluate(x + 1, lawRates_.data());
    tape_.Differentiate();
  }
  DifferenceSteps(x);
  return true;
}

template <typename Add>
void ModelEquations::ForEachPartial(const Term& term, Add&& add) const {
  const int output = tapeOutput_[static_cast<std::size_t>(term.step)];
  if (output >= 0) {
    for (const TapePartial& partial : tape_.Partials(output)) {
      const int q = partial.position + 1;
      if (q <= nVariable_) add(q, term.coefficient * partial.value);
    }
    return;
  }
  const int d = differencedOf_[static_cast<std::size_t>(term.step)];
  if (d < 0) return;
  const DifferencedStep& entry = differenced_[static_cast<std::size_t>(d)];
  for (int e = entry.start; e < entry.end; ++e) {
    const int q = differencedPositions_[static_cast<std::size_t>(e)] + 1;
    if (q <= nVariable_) add(q, term.coefficient * differencedValues_[static_cast<std::size_t>(e)]);
  }
}

template <typename Row>
void ModelEquations::ForEachRow(Row&& row) const {
  for (int count = 1; count <= kShortRow; ++count) {
    const ShortRows& rows = shortRows_[static_cast<std::size_t>(count)];
    const Term* t = rows.terms.data();
    for (int p : rows.positions) {
      row(p, t, t + count);
      t += count;
    }
  }
  for (std::size_t r = 0; r < longPositions_.size(); ++r) {
    const Term* t = longTerms_.data();
    row(longPositions_[r], t + longStart_[r], t + longStart_[r + 1]);
  }
}

bool ModelEquations::LawJacobian(const double* y, double** jacobian) {
  if (!PrepareLawPartials(y)) return false;
  for (int i = 1; i <= nVariable_; ++i) std::fill(jacobian[i] + 1, jacobian[i] + nVariable_ + 1, 0.0);
  // Row p gets coefficient × d rate / d y_q of every step of its sum.
  ForEachRow([&](int p, const Term* first, const Term* last) {
    double* row = jacobian[p];
    for (const Term* t = first; t != last; ++t) {
      ForEachPartial(*t, [row](int q, double value) { row[q] += value; });
    }
  });
  // A dependent amount's rate is minus its relation's sum over the
  // independent ones' rates, and so is its row.
  for (int p = nIndependent_ + 1; p <= nVariable_; ++p) {
    const double* g = DependentRow(p);
    double* row = jacobian[p];
    for (int l = 1; l <= nIndependent_; ++l) {
      if (g[l - 1] == 0.0) continue;
      const double* source = jacobian[l];
      for (int q = 1; q <= nVariable_; ++q) row[q] -= g[l - 1] * source[q];
    }
  }
  return true;
}

bool ModelEquations::SparseLawJacobian(const double* y, const int* columnStart, const int* rows,
                                       double* entries) {
  if (!PrepareLawPartials(y)) return false;
  // The pattern by rows: the entries of row i, in the order of their
  // columns, are sparseEntry_[sparseRowStart_[i] … sparseRowStart_[i + 1] - 1].
  const int n = nVariable_;
  const int nEntries = columnStart[n];
  sparseRowStart_.assign(static_cast<std::size_t>(n) + 2, 0);
  for (int e = 0; e < nEntries; ++e) ++sparseRowStart_[static_cast<std::size_t>(rows[e]) + 2];
  for (int i = 1; i <= n + 1; ++i) sparseRowStart_[i] += sparseRowStart_[i - 1];
  sparseColumn_.resize(static_cast<std::size_t>(nEntries));
  sparseEntry_.resize(static_cast<std::size_t>(nEntries));
  for (int j = 1; j <= n; ++j) {
    for (int e = columnStart[j - 1]; e < columnStart[j]; ++e) {
      const int at = sparseRowStart_[static_cast<std::size_t>(rows[e]) + 1]++;
      sparseColumn_[static_cast<std::size_t>(at)] = j;
      sparseEntry_[static_cast<std::size_t>(at)] = e;
    }
  }
  // Now sparseRowStart_[i] is where row i ends, and row i starts where
  // row i - 1 ends.
  std::fill(entries, entries + nEntries, 0.0);
  sparseRow_.assign(static_cast<std::size_t>(n) + 1, 0.0);
  sparseTouched_.assign(static_cast<std::size_t>(n) + 1, 0);
  touchedPositions_.clear();
  double* work = sparseRow_.data();
  auto add = [&](int q, double value) {
    if (sparseTouched_[static_cast<std::size_t>(q)] == 0) {
      sparseTouched_[static_cast<std::size_t>(q)] = 1;
      touchedPositions_.push_back(q);
    }
    work[q] += value;
  };
  auto rowBegin = [&](int p) { return sparseRowStart_[static_cast<std::size_t>(p) - 1]; };
  auto rowEnd = [&](int p) { return sparseRowStart_[static_cast<std::size_t>(p)]; };
  // Each row is summed in full as LawJacobian sums it, then its entries on
  // the pattern are kept and the row cleared.
  auto keep = [&](int p) {
    for (int k = rowBegin(p); k < rowEnd(p); ++k) {
      entries[sparseEntry_[static_cast<std::size_t>(k)]] = work[sparseColumn_[static_cast<std::size_t>(k)]];
    }
    for (int q : touchedPositions_) {
      work[q] = 0.0;
      sparseTouched_[static_cast<std::size_t>(q)] = 0;
    }
    touchedPositions_.clear();
  };
  ForEachRow([&](int p, const Term* first, const Term* last) {
    for (const Term* t = first; t != last; ++t) ForEachPartial(*t, add);
    keep(p);
  });
  for (int p = nIndependent_ + 1; p <= n; ++p) {
    for (int k = rowBegin(p); k < rowEnd(p); ++k) {
      add(sparseColumn_[static_cast<std::size_t>(k)], entries[sparseEntry_[static_cast<std::size_t>(k)]]);
    }
    const double* g = DependentRow(p);
    for (int l = 1; l <= nIndependent_; ++l) {
      if (g[l - 1] == 0.0) continue;
      for (int k = rowBegin(l); k < rowEnd(l); ++k) {
        add(sparseColumn_[static_cast<std::size_t>(k)],
            -(g[l - 1] * entries[sparseEntry_[static_cast<std::size_t>(k)]]));
      }
    }
    keep(p);
  }
  return true;
}

}  // namespace vireon
