#pragma once
// The quantities an SBML model's algebraic rules determine. SBML names no
// variable for an algebraic rule: it determines the quantities it reads
// that nothing else does, those that are not constant, have no assignment
// or rate rule and, for a species, are not changed by reactions (a
// boundary species, or one that is no reactant or product). The rules are
// paired with distinct such quantities each reads, by a maximum matching;
// a rule left over makes the system over-determined (or of higher index,
// when it reads none of them), and a quantity a rule reads but no rule is
// paired with leaves the system a choice of what to solve for. Both are
// refused, with the rules named, since either would make the numbers
// depend on a choice the model does not make.

#include <string>
#include <vector>

#include "sbml/libsbml_names.h"

namespace vireon::sbml {

struct AlgebraicVariables {
  // By rule of the model (every kind, in its order): the id the algebraic
  // rule determines, empty for the other rules.
  std::vector<std::string> variables;
  // What the import must refuse, one phrase each.
  std::vector<std::string> problems;
};

AlgebraicVariables FindAlgebraicVariables(const lib::Model& model);

}  // namespace vireon::sbml
