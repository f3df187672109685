#pragma once
// SBML Level 2 and 3 core models as Vireon models (a hierarchical model of
// the "comp" package flattened by libSBML first).
//
// Compartments keep their ids and sizes; every species becomes a metabolite
// named by its id, fixed when it is a boundary condition or constant or
// follows a rule, with its initial amount or concentration as the initial
// concentration; every parameter with a value (or one that an initial
// assignment or an assignment rule gives) becomes a global quantity. Each
// reaction becomes a step whose rate law is a user-defined kinetic type made
// from its kinetic law (function definitions and reaction ids inlined,
// local parameters, global parameters, compartment sizes and the time as
// the step's kinetic constants; reactions with the same law share one
// type). A constant that stands for a parameter, a size or the time keeps
// its value and follows it through an assignment rule of the model, so
// that a rule or a scan of the quantity reaches every step that reads it.
//
// Assignment rules, rate rules and initial assignments on parameters,
// compartments and species become rules of the model, their MathML the
// rate-law dialect's text (a species whose mathematics is its amount is
// set and read through its concentration times its compartment's size).
// A name that a rule must read and that is no symbol of the dialect (an id
// with "_", a function's name, "time") is given one: letters and digits of
// the id, made unique. Stoichiometries that are the same number from time
// 0 on (stoichiometryMath, initial assignments of species references) are
// numbers; a compartment of no dimensions holds amounts only.
//
// An SBML kinetic law gives an amount per time, v, and changes species m by
// c(m) v, while a step's rate r changes the amount of each of its
// metabolites m by n(m) r V(m), V(m) being the current volume of m's
// compartment. A reaction whose species share one volume V is one step with
// the coefficients c scaled to whole numbers n = c / s, and the rate
// r = s v / V. Compartments of one fixed size share a volume; a compartment
// whose size a rule sets shares it with none other. A reaction across
// compartments of unequal volume becomes one step per volume, each with the
// species of that volume; coefficients that no common scale makes whole
// numbers of modest size get a step each.
//
// Events, algebraic rules, fast reactions, delays, rateOf, constraints,
// stoichiometries that change over time, rules in a model without
// reactions, models of other files and everything else without an
// equivalent are refused: the import then changes nothing and names each
// refused construct with its id.

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

// How a reaction's rate (an amount per time) is read from the model: the
// flux of one of its steps (a concentration rate in `compartment`, scaled
// by `scale` to whole coefficients) times that compartment's current
// volume, over the scale. With no compartment the flux is the rate itself.
struct SbmlReactionRate {
  std::string step;
  std::string compartment;
  double scale = 1.0;
};

struct SbmlImportResult {
  bool imported = false;
  // The records named otherwise than the SBML ids they come from, by id:
  // the name each id was given (an id that is no valid Vireon name, or one
  // taken already). Ids kept as names are not listed.
  std::map<std::string, std::string> renamedIds;
  // Every reaction's rate, by its id.
  std::map<std::string, SbmlReactionRate> reactionRates;
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
