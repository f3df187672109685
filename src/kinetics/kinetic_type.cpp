#include "kinetics/kinetic_type.h"

#include <algorithm>
#include <span>

#include "kinetics/kinetic_function.h"
#include "model/model.h"

namespace vireon {

KineticType::KineticType() : userDefined(1) {}

KineticType::KineticType(std::string name, int substrates, int products, int modifiers,
                         int constants, RateFunction rate, std::int16_t reversible)
    : name(std::move(name)),
      substrates(substrates),
      products(products),
      reversible(reversible),
      rate(rate) {
  SizeNames(modifiers, constants);
}

KineticType::KineticType(std::unique_ptr<KineticFunction> function, int substrates, int products)
    : substrates(substrates),
      products(products),
      rate(EvaluateUserDefinedRate),
      userDefined(1),
      readsOwnStepOnly(true) {
  if (function) {
    const KineticFunction& f = *function;
    name = f.name();
    this->substrates = std::max(substrates, f.SubstrateCount());
    this->products = std::max(products, f.ProductCount());
    reversible = static_cast<std::int16_t>(f.reversible());
    SizeNames(f.ModifierCount(), f.ConstantCount());
    for (int i = 0; i < modifiers; ++i) modifierNames[i] = f.ModifierName(i);
    for (int i = 0; i < constants; ++i) constantNames[i] = f.ConstantName(i);
  }
  this->function = std::move(function);
}

KineticType::~KineticType() = default;

void KineticType::SetConstantName(std::string_view text, int i) {
  if (i >= 0 && i < static_cast<int>(constantNames.size())) constantNames[i] = text;
}

void KineticType::SetModifierName(std::string_view text, int i) {
  if (i >= 0 && i < static_cast<int>(modifierNames.size())) modifierNames[i] = text;
}

int KineticType::FindConstant(std::string_view constantName) const {
  for (std::size_t i = 0; i < constantNames.size(); ++i) {
    if (constantNames[i] == constantName) return static_cast<int>(i);
  }
  return -1;
}

void KineticType::SizeNames(int modifierCount, int constantCount) {
  modifiers = std::max(modifierCount, 0);
  constants = std::max(constantCount, 0);
  modifierNames.resize(static_cast<std::size_t>(modifiers));
  constantNames.resize(static_cast<std::size_t>(constants));
}

double EvaluateUserDefinedRate(const Model& model, const double* x, int step) {
  const KineticType* type = model.steps[static_cast<std::size_t>(step)].kineticType;
  if (type == nullptr || !type->function) return 0.0;
  // The engine's vector holds one amount per metabolite position.
  const std::span<const double> amounts(x, static_cast<std::size_t>(model.nMetabolites()));
  return type->function->EvaluateKineticFunction(model, amounts, step);
}

}  // namespace vireon
