#include "engine/engine_state.h"

#include "model/model.h"

namespace vireon {

void EngineState::Allocate(const Model& model) {
  const int nMetabolites = model.nMetabolites();
  const int size = nMetabolites + 1;
  structure.Clear();
  amounts.assign(size, 0.0);
  ssAmounts.assign(size, 0.0);
  derivatives.assign(size, 0.0);
  trialAmounts.assign(size, 0.0);
  newtonStep.assign(size, 0.0);
  // Only the reduced system is ever differentiated: nIndependent + 1 square
  // (1-based), not nMetabolites + 1, which for large models would cost
  // gigabytes that are never read.
  jacobian.Assign(model.nIndependent + 1, model.nIndependent + 1);
  eigenReal.assign(nMetabolites, 0.0);
  eigenImag.assign(nMetabolites, 0.0);
  // Untouched until the eigenvalues are computed: a time course of a large
  // model never pays for its pages.
  eigenMatrix.Assign(model.nIndependent, model.nIndependent);
  elasticities.Assign(model.nSteps(), nMetabolites);
  concControl.Assign(model.nVariable, model.nSteps());
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
