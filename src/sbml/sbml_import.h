#pragma once
// SBML Level 2 and 3 core models as Vireon models.
//
// Compartments keep their ids and sizes; every species becomes a metabolite
// named by its id, fixed when it is a boundary condition or constant, with
// its initial amount or concentration as the initial concentration. Each
// reaction becomes a step whose rate law is a user-defined kinetic type made
// from its kinetic law (function definitions and reaction ids inlined,
// local and global parameters and compartment sizes as the step's kinetic
// constants; reactions with the same law share one type).
//
// An SBML kinetic law gives an amount per time, v, and changes species m by
// c(m) v, while a step's rate r changes the amount of each of its
// metabolites m by n(m) r V(m), V(m) being the volume of m's compartment.
// A reaction whose species share one volume V is one step with the
// coefficients c scaled to whole numbers n = c / s, and the rate
// r = s v / V. A reaction across compartments of unequal volume becomes one
// step per volume, each with the species of that volume; coefficients that
// no common scale makes whole numbers of modest size get a step each. Inside
// a law, a species with hasOnlySubstanceUnits stands for its amount, its
// concentration times its compartment's size.
//
// Events, rules, delays, algebraic constraints, non-constant compartments
// and everything else without an equivalent are refused: the import then
// changes nothing and names each refused construct with its id.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "kinetics/kinetic_catalogue.h"
#include "model/model.h"

namespace vireon {

// A file larger than this is refused before it is read.
inline constexpr long long kMaxSbmlFileBytes = 256LL * 1024 * 1024;
// Elements nested deeper than this are refused before libSBML reads the
// file, whose readers recurse once per level. The MathML of the deepest rate
// law (kMaxExpressionDepth) stands well within it.
inline constexpr int kMaxSbmlXmlDepth = 2000;
// The nodes of all the rate laws an import builds, copies of inlined
// functions and reactions included, stay within this many.
inline constexpr long long kMaxSbmlImportNodes = 1000000;
// A stoichiometry (times its conversion factor) must be a finite number of
// at most this magnitude.
inline constexpr double kMaxSbmlStoichiometry = 1e6;

struct SbmlImportResult {
  bool imported = false;
  // The records named otherwise than the SBML ids they come from, by id:
  // the name each id was given (an id that is no valid Vireon name, or one
  // taken already). Ids kept as names are not listed.
  std::map<std::string, std::string> renamedIds;
  // Why the model was not imported: one line per refused construct ("event
  // \"E1\""), or the reader's errors for a file that is not valid SBML.
  std::vector<std::string> problems;
};

// Reads SBML text into `model`. On success the model has been through its
// structural analysis, its equations are built, and the kinetic types its
// steps use are in the catalogue (a user-defined type of the same name and
// law already there is used as it is). On failure neither the model nor the
// catalogue has changed.
SbmlImportResult ImportSbmlText(std::string_view text, KineticCatalogue& catalogue, Model& model);

// The same for the file at `path`; a file that cannot be read is a problem
// named with the system's reason.
SbmlImportResult ImportSbmlFile(const std::string& path, KineticCatalogue& catalogue, Model& model);

// Whether a model file name is taken for SBML rather than a Vireon model
// file: every name that does not end in ".vrn" (in any case).
bool IsSbmlFileName(std::string_view path);

}  // namespace vireon
