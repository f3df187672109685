#pragma once
// A Vireon model as an SBML Level 3 Version 2 document.
//
// Compartments, metabolites (species in concentration, fixed metabolites as
// boundary species) and steps (reactions) keep their names as SBML names;
// their ids are the names made valid. Every rate law becomes MathML: a
// built-in law by its formula, a user-defined one by its expression, the
// step's kinetic constants as local parameters. A step's rate r per unit
// volume changes the amount of each metabolite m by n(m) r V(m), so the
// kinetic law is V r, with V the volume of the compartment of the step's
// first substrate (first product, default compartment), and species m
// takes the stoichiometry n(m) V(m) / V: whole numbers when the step's
// metabolites share one volume. The model's title is the model's name, its
// comments the notes.

#include <string>
#include <vector>

#include "model/model.h"

namespace vireon {

struct SbmlExportResult {
  bool exported = false;
  std::string text;  // the SBML document
  // Why it was not exported: steps whose rate cannot be evaluated, or the
  // errors libSBML's consistency check found.
  std::vector<std::string> problems;
};

// Writes the model, whose steps are bound to their kinetic types.
SbmlExportResult ExportSbml(const Model& model);

}  // namespace vireon
