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

bool ModelEquations::EquilibrateFastSteps(double* amounts) {
  if (fast_ == nullptr) return true;
  // Each trial evaluates the rules at its amounts, as the rates read them.
  return fast_->Equilibrate(amounts, [this](double* trial, double* rates) {
    const double* input = trial;
    if (rules_ != nullptr) {
      const RuleQuantities q{time_, trial, state_.quantityValues.data(),
                             state_.volumeValues.data()};
      rules_->EvaluateAssignments(q, *ruleModel_);
      input = ScaledForRates(trial);
    }
    const std::vector<int>& steps = fast_->steps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
      rates[i] = StepRate(input, model_.stepPosition[static_cast<std::size_t>(steps[i])] + 1);
    }
  });
}

void ModelEquations::FastEquilibriumOrFault(double* amounts) {
  if (!EquilibrateFastSteps(amounts)) throw ArithmeticFault(ArithmeticFaultKind::kInvalidOperation);
}

void ModelEquations::ZeroFastRates() {
  for (int k : fast_->steps()) rates_[static_cast<std::size_t>(k)] = 0.0;
}

}  // namespace vireon
