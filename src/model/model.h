#pragma once
// The records of one reaction network: metabolites, steps, compartments,
// conserved moieties, and the matrices the structural analysis derives from
// the equations. Counts are the sizes of the containers; the derived counts
// (nVariable, nIndependent, ...) are set by the structural analysis.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/event.h"
#include "model/global_quantity.h"
#include "model/matrix.h"
#include "model/rule.h"

namespace vireon {

struct KineticType;  // the rate law a step uses; owned by the kinetic catalogue

// Metabolite type codes. A model file may carry any value 0 ... 7; the model
// itself uses only these four.
enum MetaboliteType : std::int16_t {
  FIXED = 0,        // external metabolite: its concentration is a parameter
  INDEPENDENT = 1,  // internal, independent after the structural analysis
  DEPENDENT = 2,    // internal, follows from a conservation relation
  MOIETY = 7,       // record of a conserved moiety
};

// Values a new record takes from the user's default values.
inline constexpr double kBuiltInDefaultConcentration = 0.0;

struct Metabolite {
  std::string name = "dummy";
  double concentration = 0.0;         // current value, written by the engine
  double initialConcentration = kBuiltInDefaultConcentration;  // moiety: the total
  double transitionTime = 0.0;        // at the last steady state
  std::int16_t type = INDEPENDENT;
  int compartment = 0;

  Metabolite() = default;
  Metabolite(std::string name, std::int16_t type, int compartment,
             double initialConcentration = kBuiltInDefaultConcentration)
      : name(std::move(name)),
        initialConcentration(initialConcentration),
        type(type),
        compartment(compartment) {}

  bool IsInternal() const { return type == INDEPENDENT || type == DEPENDENT; }
  bool operator==(const Metabolite&) const = default;
};

struct Step {
  std::string name = "dummyase";
  std::string equation;
  const KineticType* kineticType = nullptr;
  std::string kineticTypeName;
  double flux = 0.0;
  std::int16_t reversible = 1;
  // A fast step is at equilibrium at every moment: its rate law states a
  // balance that holds at once (engine/fast_equilibrium.h), and the
  // quantities it joins move only by the other steps.
  bool fast = false;

  // The substrate and product lists hold one metabolite index per unit of
  // stoichiometry. Their declared counts are set first (by the equation
  // parser or the file reader); the lists are then filled by appending, and
  // an append beyond the declared count is refused.
  int nSubstrates = 0;
  int nProducts = 0;
  std::vector<int> substrates;
  std::vector<int> products;
  std::vector<int> modifiers;     // in the order of the kinetic type's modifier roles
  std::vector<double> constants;  // in the order of the kinetic type's constant names

  // Sets the declared counts and empties both lists.
  void SizeSubstrates(int count);
  void SizeProducts(int count);
  // False (and no change) when the list already holds its declared count.
  bool AppendSubstrate(int metabolite);
  bool AppendProduct(int metabolite);
  // Replace the arrays: old values are lost (modifiers become -1, constants 0).
  void ResizeModifiers(int count);
  void ResizeConstants(int count);

  int ModifierCount() const { return static_cast<int>(modifiers.size()); }
  int ConstantCount() const { return static_cast<int>(constants.size()); }
  bool operator==(const Step&) const = default;
};

struct Compartment {
  std::string name = "compartment";
  double volume = 1.0;  // finite and positive
  bool operator==(const Compartment&) const = default;
};

class Model {
 public:
  // A new model: title "Untitled", nothing in it but one default compartment.
  Model();

  std::string title = "Untitled";
  std::string comments;

  int nVariable = 0;     // internal metabolites (types 1 and 2)
  int nIndependent = 0;  // rank of the internal stoichiometry
  int nDependent = 0;    // nVariable - nIndependent
  int nFixed = 0;        // metabolites of type FIXED

  std::vector<Metabolite> metabolites;  // in order of first appearance in the equations
  std::vector<Metabolite> moieties;     // records of type MOIETY
  double totalTransitionTime = 0.0;
  std::vector<Step> steps;
  std::vector<Compartment> compartments;  // at least one; index 0 is the default

  // Net stoichiometric coefficients, [metabolite][step], whole numbers.
  Matrix<float> stoichiometry;
  // Working matrix of the structural analysis, [position][step position].
  Matrix<float> reducedStoichiometry;
  std::vector<int> metaboliteOrder, metabolitePosition;  // position -> index and back
  std::vector<int> stepOrder, stepPosition;
  Matrix<float> conservation;  // nMetabolites x nMetabolites
  Matrix<float> link;          // nMetabolites x nMetabolites

  // Named values of the model and the rules that set quantities (see
  // model/global_quantity.h and model/rule.h). A new model, and Reset, have
  // none; Resize keeps them, since they do not depend on the equations.
  std::vector<GlobalQuantity> globalQuantities;
  std::vector<Rule> rules;
  // The events of the model (model/event.h), kept like the rules.
  std::vector<Event> events;

  int nMetabolites() const { return static_cast<int>(metabolites.size()); }
  int nSteps() const { return static_cast<int>(steps.size()); }
  int nMoieties() const { return static_cast<int>(moieties.size()); }
  int nCompartments() const { return static_cast<int>(compartments.size()); }

  // Sets the counts (nCompartments < 1 becomes 1) and fills every array and
  // matrix with default records. nVariable is taken as given.
  void Allocate(int nSteps, int nMetabolites, int nVariable, int nMoieties, int nCompartments);
  void FreeAll();
  // FreeAll, Allocate, set the title, empty the comments, drop the global
  // quantities and rules.
  void Reset(int nSteps, int nMetabolites, int nVariable, int nMoieties, int nCompartments,
             std::string title);
  // File New: an empty model with one compartment.
  void New();
  // Reallocates everything but the compartments; the new records are defaults.
  void Resize(int nSteps, int nMetabolites, int nVariable, int nMoieties);
  // Resize for a model whose structure is about to be analysed (the
  // reactions editor's commit): the conservation and link matrices, the
  // only ones of nMetabolites x nMetabolites, are left empty for the
  // structural analysis to size, so that the resize takes time in
  // proportion to the stoichiometry alone. nVariable is nMetabolites.
  void ResizeForAnalysis(int nSteps, int nMetabolites);

  // n < 1: returns 1 and changes nothing. Otherwise replaces the compartments
  // by n default compartments and returns 0.
  int SetCompartmentCount(int n);
  // Puts every metabolite whose compartment no longer exists into compartment 0.
  void ClampCompartments();

  void ZeroStoichiometry();
  // The entry [metabolite][step] grows by side x coefficient; the metabolite
  // is appended to the product list (side >= 0) or substrate list (side < 0)
  // coefficient times (not at all for a negative coefficient).
  void AddStoichiometry(int step, int metabolite, int side, int coefficient);

  // Lookups by exact name; -1 when absent.
  int FindMetabolite(std::string_view name) const;
  int FindStep(std::string_view name) const;
  int FindMoiety(std::string_view name) const;
  int FindCompartment(std::string_view name) const;
  int FindGlobalQuantity(std::string_view name) const;

  // Volume of the compartment that holds metabolite m. (Rate laws ask for
  // it at every evaluation, so it is inline.)
  double VolumeOf(int metabolite) const {
    int c = metabolites[static_cast<std::size_t>(metabolite)].compartment;
    if (c < 0 || c >= nCompartments()) c = 0;
    return compartments[static_cast<std::size_t>(c)].volume;
  }

  bool operator==(const Model&) const = default;
};

// Whether any step of the model is fast.
inline bool HasFastSteps(const Model& model) {
  for (const Step& step : model.steps) {
    if (step.fast) return true;
  }
  return false;
}

// The name rule for metabolites: non-empty, no blank, tab, "*", "." or "=",
// and not the sequence "->".
bool IsValidMetaboliteName(std::string_view name);

// The name rule for steps: non-empty, with no blank, tab, line break or
// other control character, so that a step name stays one word in the
// report, the data files' titles and the output items that name it.
bool IsValidStepName(std::string_view name);

}  // namespace vireon
