#pragma once
// A model built in code from reactions written as text, the way a user
// builds one in the dialogs: the equations through the reactions editor,
// the fixed metabolites and initial concentrations through the metabolites
// editor, and every step's rate law through the kinetics editor.

#include <string>
#include <utility>
#include <vector>

#include "document/document.h"

namespace vireon::python {

// One step: its name, its equation ("A + B = C", "S -> P") and its rate
// law, which is either the name of a kinetic type of the catalogue
// ("Mass action (irreversible)") or an expression ("V*S/(Km+S)"). In an
// expression every symbol that names a metabolite of the model reads that
// metabolite's concentration (a substrate or product of the step as such,
// any other metabolite as a modifier); every other symbol is a kinetic
// constant of the step. `constants` gives constants their values by name;
// the others take the default kinetic constant. A step without a rate law
// keeps the constant flux of a new step.
struct ReactionText {
  std::string name;
  std::string equation;
  std::string rateLaw;
  std::vector<std::pair<std::string, double>> constants;
  // For a kinetic type with modifier roles: the metabolites, by role order.
  std::vector<std::string> modifiers;
};

// A new document of the user's default values with the reactions, the
// metabolites named in `fixed` fixed and the initial concentrations given.
// An expression becomes a user-defined kinetic type of the program's
// catalogue, named after the step (with a number added when that name is
// taken). Throws VireonError with the editors' messages on a bad equation,
// an unknown kinetic type, metabolite or constant.
Document BuildDocument(const std::vector<ReactionText>& reactions,
                       const std::vector<std::pair<std::string, double>>& initial,
                       const std::vector<std::string>& fixed, const std::string& title);

}  // namespace vireon::python
