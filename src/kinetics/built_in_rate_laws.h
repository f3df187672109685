#pragma once
// The 34 built-in kinetic types.

#include "kinetics/kinetic_catalogue.h"

namespace vireon {

inline constexpr int kBuiltInKineticTypeCount = 34;

inline constexpr const char* kConstantFluxIrreversible = "Constant flux (irreversible)";
inline constexpr const char* kConstantFluxReversible = "Constant flux (reversible)";

// Creates the built-in types in the order of their table, names their
// constants and modifier roles, and enters each in the catalogue under its
// name (a name already there is left as it is).
void BuildBuiltInKineticTypes(KineticCatalogue& catalogue);

}  // namespace vireon
