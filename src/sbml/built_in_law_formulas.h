#pragma once
// The built-in rate laws written as formulas, for export as MathML. A
// formula names the step's first and second substrate s0 and s1, its first
// and second product p0 and p1, its first modifier m0, and its kinetic
// constants k0, k1, ... in the order of the type's constant names. The two
// mass-action laws run over whole lists and have no formula here.

#include <string_view>

namespace vireon::sbml {

// The formula of the built-in type of that name in libSBML's infix syntax,
// or an empty view for a mass-action law or a name that is no built-in type.
std::string_view BuiltInLawFormula(std::string_view typeName);

// The mass-action laws: the irreversible one is k0 times the product of the
// substrates, the reversible one subtracts k1 times the product of the
// products.
inline constexpr std::string_view kMassActionIrreversible = "Mass action (irreversible)";
inline constexpr std::string_view kMassActionReversible = "Mass action (reversible)";

}  // namespace vireon::sbml
