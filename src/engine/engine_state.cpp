#include "engine/engine_state.h"

#include "model/model.h"

namespace vireon {

void EngineState::Allocate(const Model& model) {
  const int nMetabolites = model.nMetabolites();
  const int size = nMetabolites + 1;
  // The steady-state system: the independent amounts, then the rate-rule
  // targets of a model with rate rules.
  const int nRate = RateRuleCount(model.rules);
  const int nReduced = model.nIndependent + nRate;
  structure.Clear();
  amounts.assign(size, 0.0);
  ssAmounts.assign(size, 0.0);
  derivatives.assign(size, 0.0);
  trialAmounts.assign(size, 0.0);
  newtonStep.assign(size, 0.0);
  // Only the reduced system is ever differentiated: nIndependent + 1 square
  // (1-based), not nMetabolites + 1, which for large models would cost
  // gigabytes that are never read.
  jacobian.Assign(nReduced + 1, nReduced + 1);
  eigenReal.assign(nMetabolites + nRate, 0.0);
  eigenImag.assign(nMetabolites + nRate, 0.0);
  // Untouched until the eigenvalues are computed: a time course of a large
  // model never pays for its pages.
  eigenMatrix.Assign(nReduced, nReduced);
  // A rate-rule target's column of elasticities and row of control
  // coefficients follow the metabolites'.
  elasticities.Assign(model.nSteps(), nMetabolites + nRate);
  concControl.Assign(model.nVariable + nRate, model.nSteps());
  fluxControl.Assign(model.nSteps(), model.nSteps());
  quantityValues.resize(model.globalQuantities.size());
  for (std::size_t g = 0; g < model.globalQuantities.size(); ++g) {
    quantityValues[g] = model.globalQuantities[g].value;
  }
  volumeValues.resize(model.compartments.size());
  for (std::size_t c = 0; c < model.compartments.size(); ++c) {
    volumeValues[c] = model.compartments[c].volume;
  }
}

void EngineState::Free() {
  structure.Clear();
  amounts.clear();
  ssAmounts.clear();
  derivatives.clear();
  trialAmounts.clear();
  newtonStep.clear();
  jacobian.Clear();
  eigenReal.clear();
  eigenImag.clear();
  eigenMatrix.Clear();
  elasticities.Clear();
  concControl.Clear();
  fluxControl.Clear();
  quantityValues.clear();
  volumeValues.clear();
}

}  // namespace vireon
