// The model equations of a model with fast steps: the amounts moved to the
// fast equilibrium before every evaluation of the rates, and the fast
// steps left out of the rows (engine/fast_equilibrium.h says why the
// equilibrium is eliminated this way). A model with fast steps always has
// its rules attached, so that these hooks sit where the rules are
// evaluated.

#include "engine/model_equations.h"
#include "kinetics/arithmetic_fault.h"
#include "rules/rule_system.h"

namespace vireon {

// The fast steps' rates at the amounts t, the rules evaluated at them, as
// the rates read them.
void ModelEquations::FastRates(double* t, double* rates) {
  const double* input = t;
  if (rules_ != nullptr) {
    const RuleQuantities q{time_, t, state_.quantityValues.data(), state_.volumeValues.data()};
    rules_->EvaluateAssignments(q, *ruleModel_);
    input = ScaledForRates(t);
  }
  const std::vector<int>& steps = fast_->steps();
  for (std::size_t i = 0; i < steps.size(); ++i) {
    rates[i] = StepRate(input, model_.stepPosition[static_cast<std::size_t>(steps[i])] + 1);
  }
}

void ModelEquations::AddFastFlux(const double* x, double* ydot) {
  fast_->AddFastFlux(x, ydot, [this](double* t, double* rates) { FastRates(t, rates); });
  // The rules' current values are those at x again.
  const RuleQuantities q{time_, const_cast<double*>(x), state_.quantityValues.data(),
                         state_.volumeValues.data()};
  rules_->EvaluateAssignments(q, *ruleModel_);
}

bool ModelEquations::EquilibrateFastSteps(double* amounts) {
  if (fast_ == nullptr) return true;
  return fast_->Equilibrate(amounts,
                            [this](double* trial, double* rates) { FastRates(trial, rates); });
}

void ModelEquations::FastEquilibriumOrFault(double* amounts) {
  if (!EquilibrateFastSteps(amounts)) throw ArithmeticFault(ArithmeticFaultKind::kInvalidOperation);
}

void ModelEquations::ZeroFastRates() {
  for (int k : fast_->steps()) rates_[static_cast<std::size_t>(k)] = 0.0;
}

}  // namespace vireon
