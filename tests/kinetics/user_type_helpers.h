#pragma once
// Building user-defined kinetic types for tests.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kinetics/kinetic_function.h"
#include "kinetics/kinetic_type.h"

namespace vireon::test {

// A user-defined type whose rate law `text` is parsed and whose symbols get
// the given roles, in the order listed.
inline std::unique_ptr<KineticType> MakeUserType(
    const std::string& name, const std::string& text,
    const std::vector<std::pair<std::string, SymbolRole>>& roles, int reversible = 0,
    int substrates = 0, int products = 0) {
  auto function = std::make_unique<KineticFunction>(name, text);
  if (function->ParseKineticFunction() != 0) return nullptr;
  function->ResetBindings();
  for (const auto& [symbol, role] : roles) function->BindSymbol(symbol, role);
  function->set_reversible(reversible);
  return std::make_unique<KineticType>(std::move(function), substrates, products);
}

// Michaelis-Menten written by the user: V*S/(Km+S).
inline std::unique_ptr<KineticType> MakeMichaelisMenten(const std::string& name) {
  return MakeUserType(
      name, "V*S/(Km+S)",
      {{"V", SymbolRole::kConstant}, {"S", SymbolRole::kSubstrate}, {"Km", SymbolRole::kConstant}});
}

// A reversible law with a modifier: (kf*A - kr*P)/(1 + I/Ki).
inline std::unique_ptr<KineticType> MakeInhibitedMassAction(const std::string& name) {
  return MakeUserType(name, "(kf*A - kr*P)/(1 + I/Ki)",
                      {{"kf", SymbolRole::kConstant},
                       {"A", SymbolRole::kSubstrate},
                       {"kr", SymbolRole::kConstant},
                       {"P", SymbolRole::kProduct},
                       {"I", SymbolRole::kModifier},
                       {"Ki", SymbolRole::kConstant}},
                      1);
}

}  // namespace vireon::test
