#include "kinetics/kinetic_binding.h"

#include <algorithm>

#include "kinetics/built_in_rate_laws.h"

namespace vireon {
namespace {

// Resizes an array to `count` entries, keeping the existing ones by position.
template <typename T>
void ResizeKeeping(std::vector<T>& values, int count, T fill) {
  values.resize(static_cast<std::size_t>(std::max(count, 0)), fill);
}

void Bind(Step& step, const KineticType& type, double defaultConstant) {
  step.kineticType = &type;
  step.kineticTypeName = type.name;
  ResizeKeeping(step.constants, type.constants, defaultConstant);
  ResizeKeeping(step.modifiers, type.modifiers, -1);
}

}  // namespace

void ApplyConstantFlux(Step& step, const KineticCatalogue& catalogue, double defaultConstant) {
  const KineticType* type =
      catalogue.Find(step.reversible != 0 ? kConstantFluxReversible : kConstantFluxIrreversible);
  if (type == nullptr) return;
  step.kineticType = type;
  step.kineticTypeName = type->name;
  step.constants.assign(static_cast<std::size_t>(type->constants), defaultConstant);
  step.modifiers.clear();
}

void BindMissingKineticTypes(Model& model, const KineticCatalogue& catalogue,
                             double defaultConstant) {
  for (Step& step : model.steps) {
    const KineticType* type = catalogue.Find(step.kineticTypeName);
    if (type != nullptr) {
      Bind(step, *type, defaultConstant);
    } else {
      ApplyConstantFlux(step, catalogue, defaultConstant);
    }
  }
}

void BindNewSteps(Model& model, const KineticCatalogue& catalogue, double defaultConstant) {
  for (Step& step : model.steps) {
    if (step.kineticType != nullptr) continue;
    const KineticType* type = catalogue.Find(step.kineticTypeName);
    if (type != nullptr) {
      Bind(step, *type, defaultConstant);
    } else {
      ApplyConstantFlux(step, catalogue, defaultConstant);
    }
  }
}

void RebindKineticType(Model& model, const KineticCatalogue& catalogue, std::string_view name,
                       double defaultConstant) {
  const KineticType* type = catalogue.Find(name);
  for (Step& step : model.steps) {
    if (step.kineticTypeName != name) continue;
    if (type == nullptr) {
      ApplyConstantFlux(step, catalogue, defaultConstant);
      continue;
    }
    step.kineticType = type;
    step.constants.assign(static_cast<std::size_t>(type->constants), defaultConstant);
    ResizeKeeping(step.modifiers, type->modifiers, -1);
  }
}

bool IsKineticTypeEligible(const KineticType& type, const Step& step) {
  const int substrates = static_cast<int>(step.substrates.size());
  const int products = static_cast<int>(step.products.size());
  if (type.substrates != -1 && type.substrates != substrates) return false;
  if (step.reversible != 0 && type.products != -1 && type.products != products) return false;
  return (type.reversible != 0) == (step.reversible != 0);
}

std::vector<const KineticType*> EligibleKineticTypes(const KineticCatalogue& catalogue,
                                                     const Step& step) {
  std::vector<const KineticType*> eligible;
  for (const KineticType* type : catalogue.Types()) {
    if (IsKineticTypeEligible(*type, step)) eligible.push_back(type);
  }
  return eligible;
}

bool CanEvaluateRate(const Model& model, int stepIndex) {
  if (stepIndex < 0 || stepIndex >= model.nSteps()) return false;
  const Step& step = model.steps[static_cast<std::size_t>(stepIndex)];
  const KineticType* type = step.kineticType;
  if (type == nullptr || type->rate == nullptr) return false;
  if (step.ConstantCount() < type->constants) return false;
  if (step.ModifierCount() < type->modifiers) return false;
  for (int i = 0; i < type->modifiers; ++i) {
    const int m = step.modifiers[static_cast<std::size_t>(i)];
    if (m < 0 || m >= model.nMetabolites()) return false;
  }
  // The built-in irreversible laws never read a product; a user-defined law
  // may read any product it counts.
  const bool readsProducts = type->userDefined != 0 || type->reversible != 0;
  if (static_cast<int>(step.substrates.size()) < std::max(type->substrates, 0)) return false;
  if (readsProducts && static_cast<int>(step.products.size()) < std::max(type->products, 0)) {
    return false;
  }
  return static_cast<int>(model.metabolitePosition.size()) >= model.nMetabolites();
}

}  // namespace vireon
