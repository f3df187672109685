// The model equations of a model with rules: the integrator's state is the
// variable amounts followed by the rate-rule targets, and every evaluation
// of the rates is preceded by the rules at the current time and state.
//
// Derivs with rules, in the order it works:
//  1. the amounts: the variable ones from the integrator's state, the fixed
//     ones from the engine state;
//  2. the rate-rule targets from the integrator's state;
//  3. with fast steps, the amounts moved to their equilibrium
//     (model_equations_fast.cpp);
//  4. the changing assignment rules, in dependency order (global
//     quantities, volumes, metabolites the rules set, kinetic constants);
//  5. the rates at the amounts, scaled where a volume has changed so that
//     each law reads the concentration at the current volume, the fast
//     steps' rates set to 0;
//  6. the rows of the amounts, with the coefficients of the stoichiometries
//     that rules set at their current values, each row times its current
//     volume over the one the rows were set up with, then the dependent
//     rows, and with fast steps the flux through them that keeps the
//     amounts at their equilibrium;
//  7. the assignment rules that read those rows (rateOf a metabolite the
//     steps change), then the rate rules' derivatives, which may read them
//     too.

#include <algorithm>
#include <cmath>

#include "engine/model_equations.h"
#include "rules/rule_system.h"

namespace vireon {

void ModelEquations::AttachRules(RuleSystem* rules, Model& model) {
  rules_ = rules;
  ruleModel_ = &model;
  nRate_ = rules != nullptr ? rules->rateCount() : 0;
  compartmentOf_.assign(static_cast<std::size_t>(nMetabolites_) + 1, 0);
  for (int p = 1; p <= nMetabolites_; ++p) {
    const int c = model.metabolites[static_cast<std::size_t>(model.metaboliteOrder[p - 1])].compartment;
    compartmentOf_[static_cast<std::size_t>(p)] = c >= 0 && c < model.nCompartments() ? c : 0;
  }
  ruleAmounts_.assign(static_cast<std::size_t>(nMetabolites_) + 1, 0.0);
  ruleScaled_.assign(static_cast<std::size_t>(nMetabolites_) + 1, 0.0);
  lateRows_.assign(static_cast<std::size_t>(nMetabolites_) + 1, 0.0);
  reducedY_.assign(static_cast<std::size_t>(nEquations()) + 1, 0.0);
  reducedYdot_.assign(static_cast<std::size_t>(nEquations()) + 1, 0.0);
  ruleTerms_.clear();
  if (rules != nullptr) BindRuleTerms();
  fast_ = rules != nullptr && HasFastSteps(model_)
              ? std::make_unique<FastEquilibrium>(model_, volumes_)
              : nullptr;
  rulesKeepLawJacobian_ = rules != nullptr && RulesKeepLawJacobian();
}

bool ModelEquations::RulesKeepLawJacobian() const {
  if (fast_ != nullptr || nRate_ != 0 || rules_->anyVolumeChanges() ||
      rules_->stoichiometryCount() != 0 || rules_->hasAlgebraicRules() ||
      rules_->readsAmountRates() || rules_->hasDelays() || !ruleTerms_.empty()) {
    return false;
  }
  for (const Rule& rule : ruleModel_->rules) {
    if (rule.target.kind == RuleTargetKind::kMetabolite) return false;
  }
  std::vector<std::vector<int>> reads(static_cast<std::size_t>(model_.nSteps()));
  rules_->AddPositionsRead(model_, reads);
  return std::all_of(reads.begin(), reads.end(),
                     [](const std::vector<int>& positions) { return positions.empty(); });
}

void ModelEquations::BindRuleTerms() {
  // Which steps have their rates evaluated already.
  std::vector<char> evaluated(batched_.begin(), batched_.end());
  for (const RateCall& call : activeSteps_) evaluated[static_cast<std::size_t>(call.step)] = 1;
  const auto findTerm = [this](int p, int step) -> Term* {
    for (int count = 0; count <= kShortRow; ++count) {
      ShortRows& rows = shortRows_[static_cast<std::size_t>(count)];
      for (std::size_t r = 0; r < rows.positions.size(); ++r) {
        if (rows.positions[r] != p) continue;
        for (int t = 0; t < count; ++t) {
          Term& term =
              rows.terms[r * static_cast<std::size_t>(count) + static_cast<std::size_t>(t)];
          if (term.step == step) return &term;
        }
        return nullptr;
      }
    }
    for (std::size_t r = 0; r < longPositions_.size(); ++r) {
      if (longPositions_[r] != p) continue;
      for (int t = longStart_[r]; t < longStart_[r + 1]; ++t) {
        if (longTerms_[static_cast<std::size_t>(t)].step == step)
          return &longTerms_[static_cast<std::size_t>(t)];
      }
      return nullptr;
    }
    return nullptr;
  };
  for (int i = 0; i < rules_->stoichiometryCount(); ++i) {
    const RuleSystem::StoichiometryValue& value = rules_->stoichiometry(i);
    const int p = model_.metabolitePosition[static_cast<std::size_t>(value.metabolite)] + 1;
    // A fixed metabolite keeps its amount whatever its stoichiometry.
    if (p > nIndependent_) continue;
    Term* term = findTerm(p, value.step);
    ruleTerms_.push_back({term, p, value.step, i});
    if (term == nullptr && !evaluated[static_cast<std::size_t>(value.step)]) {
      const KineticType* type = model_.steps[static_cast<std::size_t>(value.step)].kineticType;
      activeSteps_.push_back({value.step, type != nullptr ? type->rate : nullptr});
      evaluated[static_cast<std::size_t>(value.step)] = 1;
    }
  }
}

void ModelEquations::SetRuleCoefficients() {
  for (const RuleTerm& rule : ruleTerms_) {
    if (rule.term != nullptr) {
      rule.term->coefficient = rules_->stoichiometry(rule.entry).value * volumes_[rule.position];
    }
  }
}

void ModelEquations::AddRuleTerms(double* ydot) const {
  for (const RuleTerm& rule : ruleTerms_) {
    if (rule.term != nullptr) continue;
    ydot[rule.position] += rates_[static_cast<std::size_t>(rule.step)] *
                           (rules_->stoichiometry(rule.entry).value * volumes_[rule.position]);
  }
}

double ModelEquations::CurrentVolume(int p) const {
  if (rules_ == nullptr) return volumes_[p];
  return state_.volumeValues[static_cast<std::size_t>(compartmentOf_[static_cast<std::size_t>(p)])];
}

const double* ModelEquations::ScaledForRates(const double* x) {
  if (rules_ == nullptr || !rules_->anyVolumeChanges()) return x;
  for (int p = 1; p <= nMetabolites_; ++p) {
    ruleScaled_[p] = x[p] * (volumes_[p] / CurrentVolume(p));
  }
  return ruleScaled_.data();
}

void ModelEquations::DerivsWithRules(const double* y, double* ydot) {
  double* x = ruleAmounts_.data();
  std::copy(y + 1, y + nVariable_ + 1, x + 1);
  std::copy(state_.amounts.begin() + nVariable_ + 1, state_.amounts.begin() + nMetabolites_ + 1,
            x + nVariable_ + 1);
  const RuleQuantities q{time_, x, state_.quantityValues.data(), state_.volumeValues.data()};
  for (int r = 0; r < nRate_; ++r) rules_->SetRateTarget(r, y[nVariable_ + 1 + r], q, *ruleModel_);
  if (fast_ != nullptr) FastEquilibriumOrFault(x);
  rules_->EvaluateAssignments(q, *ruleModel_);
  AmountRates(x, ydot);
  if (fast_ != nullptr) AddFastFlux(x, ydot);
  LateRules(x, ydot);
  if (nRate_ > 0) {
    RuleQuantities withRates = q;
    withRates.amountRates = ydot;
    rules_->Derivatives(withRates, ydot + nVariable_ + 1);
  }
}

void ModelEquations::AmountRates(const double* x, double* ydot) {
  ComputeRates(ScaledForRates(x));
  if (fast_ != nullptr) ZeroFastRates();
  SetRuleCoefficients();
  SumRows(ydot);
  AddRuleTerms(ydot);
  if (rules_ != nullptr && rules_->anyVolumeChanges()) {
    for (int p = 1; p <= nIndependent_; ++p) ydot[p] *= CurrentVolume(p) / volumes_[p];
  }
  DependentRows(ydot);
}

void ModelEquations::LateRules(const double* x, const double* ydot) {
  if (!rules_->readsAmountRates()) return;
  RuleQuantities q{time_, const_cast<double*>(x), state_.quantityValues.data(),
                   state_.volumeValues.data()};
  q.amountRates = ydot;
  rules_->EvaluateLateAssignments(q, *ruleModel_);
}

const double* ModelEquations::RateInput(const double* v) {
  if (rules_ == nullptr) return v;
  double* x = ruleAmounts_.data();
  std::copy(v + 1, v + nMetabolites_ + 1, x + 1);
  UpdateRules(x);
  return ScaledForRates(x);
}

void ModelEquations::PackState(const double* amounts, double* y) const {
  std::copy(amounts + 1, amounts + nVariable_ + 1, y + 1);
  if (rules_ == nullptr) return;
  const RuleQuantities q{time_, const_cast<double*>(amounts), state_.quantityValues.data(),
                         state_.volumeValues.data()};
  rules_->ReadConcentrations(q);
  for (int r = 0; r < nRate_; ++r) y[nVariable_ + 1 + r] = rules_->RateTargetValue(r, q, *ruleModel_);
}

void ModelEquations::UnpackState(const double* y, double* amounts) {
  std::copy(y + 1, y + nVariable_ + 1, amounts + 1);
  if (rules_ == nullptr) return;
  const RuleQuantities q{time_, amounts, state_.quantityValues.data(), state_.volumeValues.data()};
  for (int r = 0; r < nRate_; ++r) rules_->SetRateTarget(r, y[nVariable_ + 1 + r], q, *ruleModel_);
  if (fast_ != nullptr) FastEquilibriumOrFault(amounts);
  rules_->EvaluateAssignments(q, *ruleModel_);
}

double ModelEquations::ReducedResidual(const double* u, double* g) {
  double* y = reducedY_.data();
  double* ydot = reducedYdot_.data();
  std::copy(u + 1, u + nIndependent_ + 1, y + 1);
  DependentAmounts(y);
  std::copy(u + nIndependent_ + 1, u + nReduced() + 1, y + nVariable_ + 1);
  Derivs(y, ydot);
  // The amounts' rates, as the amounts' own Newton leaves them.
  std::copy(ydot + 1, ydot + nVariable_ + 1, state_.derivatives.begin() + 1);
  std::copy(ydot + 1, ydot + nIndependent_ + 1, g + 1);
  std::copy(ydot + nVariable_ + 1, ydot + nEquations() + 1, g + nIndependent_ + 1);
  double largest = ResidualNorm(ydot);
  for (int r = nIndependent_ + 1; r <= nReduced(); ++r) {
    const double a = std::fabs(g[r]);
    if (std::isnan(a)) return a;
    if (a > largest) largest = a;
  }
  return largest;
}

void ModelEquations::ReducedPoint(const double* amounts, double* u) const {
  std::copy(amounts + 1, amounts + nIndependent_ + 1, u + 1);
  if (rules_ == nullptr) return;
  const RuleQuantities q{time_, const_cast<double*>(amounts), state_.quantityValues.data(),
                         state_.volumeValues.data()};
  rules_->ReadConcentrations(q);
  for (int r = 0; r < nRate_; ++r) u[nIndependent_ + 1 + r] = rules_->RateTargetValue(r, q, *ruleModel_);
}

void ModelEquations::SetReducedPoint(const double* u, double* amounts) {
  std::copy(u + 1, u + nIndependent_ + 1, amounts + 1);
  DependentAmounts(amounts);
  if (rules_ == nullptr) return;
  const RuleQuantities q{time_, amounts, state_.quantityValues.data(), state_.volumeValues.data()};
  for (int r = 0; r < nRate_; ++r) rules_->SetRateTarget(r, u[nIndependent_ + 1 + r], q, *ruleModel_);
  rules_->EvaluateAssignments(q, *ruleModel_);
}

void ModelEquations::UpdateRules(double* amounts) {
  if (rules_ == nullptr) return;
  if (fast_ != nullptr) FastEquilibriumOrFault(amounts);
  const RuleQuantities q{time_, amounts, state_.quantityValues.data(), state_.volumeValues.data()};
  rules_->EvaluateAssignments(q, *ruleModel_);
  if (!rules_->readsAmountRates()) return;
  AmountRates(amounts, lateRows_.data());
  LateRules(amounts, lateRows_.data());
}

const double* ModelEquations::RatesOfAmounts(const double* amounts) {
  lateRows_.resize(static_cast<std::size_t>(nMetabolites_) + 1);  // also without rules
  AmountRates(amounts, lateRows_.data());
  return lateRows_.data();
}

void ModelEquations::ApplyLateInitialValues(double* amounts) {
  time_ = 0.0;
  RuleQuantities q{0.0, amounts, state_.quantityValues.data(), state_.volumeValues.data()};
  rules_->ReadConcentrations(q);
  rules_->EvaluateAssignments(q, *ruleModel_);
  AmountRates(amounts, lateRows_.data());
  q.amountRates = lateRows_.data();
  rules_->ApplyLateInitialValues(q, *ruleModel_);
}

}  // namespace vireon
