#include "sbml/sbml_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <unordered_map>

#include "document/model_file.h"
#include "engine/fast_equilibrium.h"
#include "kinetics/expression.h"
#include "kinetics/kinetic_function.h"
#include "model/equation_parser.h"
#include "model/file_access.h"
#include "model/record_cursor.h"
#include "model/structural_analysis.h"
#include "rules/event_check.h"
#include "rules/global_quantities_editor.h"
#include "rules/rule_order.h"
#include "rules/rule_system.h"
#include "sbml/algebraic_variables.h"
#include "sbml/comp_external.h"
#include "sbml/libsbml.h"
#include "sbml/math_from_sbml.h"
#include "sbml/rate_math.h"
#include "sbml/sbml_names.h"
#include "sbml/xml_depth.h"

namespace vireon {

namespace {

namespace lib = sbml::lib;
using sbml::MathNode;
using sbml::Refusal;

// How many of the reader's errors a refused file lists.
constexpr unsigned int kMaxListedReadErrors = 10;
// Whole-number coefficients of a scaled reaction stay within this size;
// beyond it the reaction's species get a step each.
constexpr double kMaxScaledCoefficient = 1000.0;
// A scaled coefficient counts as a whole number within this relative distance.
constexpr double kWholeNumberTolerance = 1e-9;

std::string Quoted(const std::string& id) { return "\"" + id + "\""; }

// The plain text of an XHTML notes element: its character data, with a line
// break after every paragraph-like element.
void AppendNotesText(const lib::XMLNode& node, std::string& text) {
  if (node.isText()) {
    text += node.getCharacters();
    return;
  }
  for (unsigned int i = 0; i < node.getNumChildren(); ++i) AppendNotesText(node.getChild(i), text);
  const std::string& name = node.getName();
  if (name == "p" || name == "br" || name == "div" || name == "li" || name == "h1" ||
      name == "h2" || name == "h3" || name == "tr") {
    text += '\n';
  }
}

// Blank runs become one blank and blank lines disappear.
std::string TidyNotes(const std::string& raw) {
  std::string result;
  std::istringstream lines(raw);
  std::string line;
  while (std::getline(lines, line)) {
    std::string tidy;
    bool blank = false;
    for (char c : line) {
      if (c == ' ' || c == '\t' || c == '\r') {
        blank = !tidy.empty();
        continue;
      }
      if (blank) tidy += ' ';
      blank = false;
      tidy += c;
    }
    if (tidy.empty()) continue;
    if (!result.empty()) result += "\r\n";
    result += tidy;
  }
  return result;
}

// A kinetic constant of the import: a parameter, a local parameter, a
// compartment's size, the time, or a number the rate-law dialect would
// round. A step constant that stands for a quantity of the model (a
// parameter, a compartment's size, the time) keeps its value and follows
// the quantity through an assignment rule; in a rule's expression it is the
// quantity's name.
struct ConstantEntry {
  enum class Source { kValue, kParameter, kCompartment, kTime };
  std::string name;  // the SBML id, or a name for a number
  double value = 0.0;
  Source source = Source::kValue;
  int record = -1;  // the parameter or compartment
};

// What the rules of the SBML model do to one id.
struct RuleUse {
  const lib::Rule* overTime = nullptr;  // an assignment, rate or algebraic rule
  const lib::InitialAssignment* initial = nullptr;
  // The algebraic rules determine it (overTime is then one of them): its
  // value at time 0 is only where their solution starts from.
  bool algebraic = false;
  bool eventTarget = false;  // an event's assignment sets it
  bool assigned() const { return overTime != nullptr && overTime->isAssignment(); }
  bool rate() const { return overTime != nullptr && overTime->isRate(); }
};

struct ParameterEntry {
  std::string id;
  double value = 0.0;
  bool hasValue = false;
  int constant = -1;
  bool quantity = false;  // it becomes a global quantity
};

struct SpeciesEntry {
  std::string id;
  int compartment = 0;
  double initialConcentration = 0.0;
  bool fixed = false;
  bool amountInLaws = false;  // hasOnlySubstanceUnits
  double conversionFactor = 1.0;
  // The initial amount, when the size it is divided by is known only at
  // time 0 (an initial assignment or an assignment rule gives it).
  std::optional<double> initialAmount;
};

// One step of the Vireon model in the making.
struct PartStep {
  std::string name;
  std::int16_t reversible = 1;
  std::vector<std::pair<int, int>> members;  // species, whole-number coefficient
  MathNode rate;
};

struct BuiltStep {
  Step step;
  std::vector<int> constantEntries;  // the import's constant behind each of the step's constants
  std::vector<std::pair<int, int>> stoichiometry;  // species, products minus substrates
  int type = -1;  // index into the import's new or reused types
};

// The import's budget of rate-law nodes is spent: what follows is not read.
class BudgetSpent : public Refusal {
 public:
  using Refusal::Refusal;
};

// A reaction's kinetic law, translated once, or why it was refused.
struct LawEntry {
  std::optional<MathNode> law;
  std::string refusal;
};

struct TypeChoice {
  std::unique_ptr<KineticType> created;  // null when the catalogue's type is used
  const KineticType* existing = nullptr;
  std::string key;
};

// A rule of the Vireon model in the making: its target and its tree, whose
// text is written once the names are known.
struct PendingRule {
  RuleKind kind = RuleKind::kAssignment;
  RuleTargetKind targetKind = RuleTargetKind::kGlobalQuantity;
  int record = -1;  // the parameter, compartment or species, or a stoichiometry's step
  MathNode tree;
  int species = -1;  // a stoichiometry's species
  bool amount = false;  // an event's tree gives a metabolite's amount
};

// An event of the Vireon model in the making: its trees, whose texts are
// written once the names are known, and its assignments' targets and trees.
struct PendingEvent {
  Event event;  // name and flags
  MathNode trigger;
  std::optional<MathNode> delay, priority;
  std::vector<PendingRule> assignments;
};

class Importer {
 public:
  Importer(const lib::Model& model, const KineticCatalogue& catalogue)
      : sbml_(model), catalogue_(catalogue) {}

  // Builds the model; on refusal fills problems_ and returns false.
  bool Build(Model& model, std::vector<std::unique_ptr<KineticType>>& newTypes);
  std::vector<std::string>& problems() { return problems_; }
  // After Build: the ids whose records took other names, with those names.
  std::map<std::string, std::string> RenamedIds() const;
  std::map<std::string, SbmlReactionRate> ReactionRates() const;

 private:
  void ScanRules();
  void CheckConstructs();
  void ReadCompartments();
  void ReadParameters();
  void ReadSpecies();
  void ReadVariableStoichiometries();
  int AddStoichiometryQuantity(const std::string& id, const lib::SpeciesReference& reference);
  // A global quantity of the import's own, with its value at time 0 if
  // known; returns its constant.
  int AddQuantity(const std::string& id, std::optional<double> value);
  // `base`, or base_2, base_3, ...: an id no record of the SBML model has.
  std::string FreeId(const std::string& base) const;
  void AmountQuantities();
  void CheckSize(std::size_t steps);
  void CheckEquationText();
  void ReadLaws();
  std::vector<int> LawOrder();
  std::vector<int> NamedReactions(int reaction);
  struct FunctionNames {
    std::vector<std::string> names, calls;
  };
  const FunctionNames& NamesInFunction(const std::string& function);
  void Spend(long long nodes);
  void ReadReaction(const lib::Reaction& reaction, const LawEntry& entry);
  // Marks the steps from `first` on, those of a fast reaction, as fast.
  void MarkFast(const lib::Reaction& reaction, std::size_t first);
  MathNode Law(const lib::Reaction& reaction);
  // The tree of rateOf(name) in a kinetic law, and the reactions whose laws
  // it writes out.
  MathNode LawRateOf(const lib::Reaction& reaction, const std::string& name,
                     const std::string& where);
  void RateOfReactions(const std::string& name, std::vector<int>& named,
                       std::set<std::string>& seen);
  // The step constant a rate law reads for a delay: a new global quantity
  // set to `delay` by an assignment rule.
  MathNode LawDelay(const lib::Reaction& reaction, MathNode delay);
  std::optional<MathNode> Resolve(const lib::Reaction* reaction, const std::string& name,
                                  const std::string& where);
  MathNode ReplaceInexactNumbers(MathNode node);
  int NumberConstant(double value);
  int TimeConstant();
  bool FixedSize(int compartment) const;
  bool SameVolume(int a, int b) const;
  MathNode PartRate(const MathNode& law, double scale, int compartment);
  void AddPart(PartStep part);
  // Takes the rate of reaction `id` from the step just added.
  void NoteReactionRate(const std::string& id, double scale, int compartment);
  int ChooseType(const std::string& baseName, std::unique_ptr<KineticFunction> function,
                 int substrates, int products);
  std::string UniqueStepName(const std::string& base);
  std::optional<double> Stoichiometry(const lib::SpeciesReference& reference, int depth);
  std::optional<double> StartValue(MathNode tree, int depth);
  void ReadRules();
  MathNode RuleMath(const lib::ASTNode* math, const std::string& where);
  // The tree of rateOf(name) in a rule.
  MathNode RateOfMath(const std::string& name, const std::string& where);
  void AddRule(RuleKind kind, const std::string& variable, const lib::ASTNode* math);
  PendingRule RuleFor(RuleKind kind, const std::string& variable, MathNode tree,
                      const std::string& where);
  void ReadEvents();
  std::vector<Event> WriteEvents();
  void InitialAmounts();
  void NameRecords();
  std::string RuleText(const MathNode& tree);
  std::vector<Rule> WriteRules();

  const lib::Model& sbml_;
  const KineticCatalogue& catalogue_;
  std::vector<std::string> problems_;

  std::map<std::string, RuleUse> ruleUses_;
  std::set<std::string> lawRatesOpen_;  // the rates LawRateOf is writing out
  // Species whose amount a global quantity holds (AmountQuantities), and
  // that quantity's constant.
  std::map<int, int> amountQuantity_;
  sbml::AlgebraicVariables algebraic_;
  std::map<std::string, const lib::SpeciesReference*> speciesReferences_;  // by id
  std::set<const lib::SpeciesReference*> evaluating_;  // stoichiometries being evaluated
  // The species references whose stoichiometry changes over time, each
  // with the constant of the global quantity that holds it; and the
  // stoichiometryMath of those without an id of their own, under the id
  // their quantity takes.
  std::map<const lib::SpeciesReference*, int> variableStoichiometry_;
  std::vector<std::pair<std::string, const lib::ASTNode*>> stoichiometryMaths_;
  std::vector<Compartment> compartments_;
  std::map<std::string, int> compartmentIndex_;
  std::set<std::string> dimensionless_;
  std::vector<int> compartmentConstant_;  // constant index of each compartment's size
  std::vector<ParameterEntry> parameters_;
  std::vector<SpeciesEntry> species_;
  std::map<std::string, int> speciesIndex_;
  std::vector<ConstantEntry> constants_;
  std::map<std::string, int> globalConstant_;  // parameter and compartment ids
  std::map<std::pair<std::string, std::string>, int> localConstant_;  // (reaction, id)
  int timeConstant_ = -1;
  std::map<std::string, int> reactionIndex_;
  std::vector<LawEntry> laws_;  // per reaction, once translated
  std::map<std::string, FunctionNames> functionNames_;
  long long spentNodes_ = 0;

  std::vector<BuiltStep> steps_;
  std::set<std::string> stepNames_;
  std::vector<TypeChoice> types_;
  std::multimap<std::string, int> typesByDescription_;  // indices into types_
  std::set<std::string> typeNames_;

  std::vector<PendingRule> rules_;
  // By reaction id: the step its rate is read from, and the compartment
  // (-1 for none) and scale of that step's flux.
  struct RateSource {
    std::string step;
    int compartment = -1;
    double scale = 1.0;
  };
  std::map<std::string, RateSource> reactionRates_;
  std::vector<PendingEvent> events_;
  // The Vireon names of the species, compartments and parameters: their ids,
  // unless a rule must read an id that is no symbol of the rate-law dialect.
  std::vector<std::string> speciesNames_, compartmentNames_, parameterNames_;
};

// Which ids the rules and initial assignments set, and the ids of the
// species references (which name stoichiometries in the mathematics).
void Importer::ScanRules() {
  for (unsigned int i = 0; i < sbml_.getNumRules(); ++i) {
    const lib::Rule* rule = sbml_.getRule(i);
    if (!rule->isAlgebraic()) ruleUses_[rule->getVariable()].overTime = rule;
  }
  algebraic_ = sbml::FindAlgebraicVariables(sbml_);
  for (unsigned int i = 0; i < sbml_.getNumRules(); ++i) {
    const std::string& variable = algebraic_.variables[i];
    if (variable.empty()) continue;
    RuleUse& use = ruleUses_[variable];
    use.overTime = sbml_.getRule(i);
    use.algebraic = true;
  }
  for (unsigned int i = 0; i < sbml_.getNumInitialAssignments(); ++i) {
    const lib::InitialAssignment* assignment = sbml_.getInitialAssignment(i);
    ruleUses_[assignment->getSymbol()].initial = assignment;
  }
  for (unsigned int i = 0; i < sbml_.getNumEvents(); ++i) {
    const lib::Event* event = sbml_.getEvent(i);
    for (unsigned int j = 0; j < event->getNumEventAssignments(); ++j) {
      ruleUses_[event->getEventAssignment(j)->getVariable()].eventTarget = true;
    }
  }
  for (unsigned int i = 0; i < sbml_.getNumReactions(); ++i) {
    const lib::Reaction* r = sbml_.getReaction(i);
    for (unsigned int j = 0; j < r->getNumReactants(); ++j) {
      const lib::SpeciesReference* reference = r->getReactant(j);
      if (reference->isSetId()) speciesReferences_.emplace(reference->getId(), reference);
    }
    for (unsigned int j = 0; j < r->getNumProducts(); ++j) {
      const lib::SpeciesReference* reference = r->getProduct(j);
      if (reference->isSetId()) speciesReferences_.emplace(reference->getId(), reference);
    }
  }
}

void Importer::CheckConstructs() {
  const lib::Model& m = sbml_;
  problems_.insert(problems_.end(), algebraic_.problems.begin(), algebraic_.problems.end());
  for (unsigned int i = 0; i < m.getNumRules(); ++i) {
    const lib::Rule* rule = m.getRule(i);
    if (rule->isAlgebraic()) continue;
    const std::string& variable = rule->getVariable();
    const std::string kind = rule->isRate() ? "rate rule" : "assignment rule";
    if (speciesReferences_.count(variable) > 0) {
      // A stoichiometry that changes over time: read with its reaction.
    } else if (m.getSpecies(variable) == nullptr && m.getCompartment(variable) == nullptr &&
               m.getParameter(variable) == nullptr) {
      problems_.push_back(kind + " for " + Quoted(variable) +
                          ", which is no species, compartment or parameter");
    }
  }
  for (unsigned int i = 0; i < m.getNumInitialAssignments(); ++i) {
    const std::string& symbol = m.getInitialAssignment(i)->getSymbol();
    // The stoichiometry a reference takes at time 0 is read with its reaction.
    if (speciesReferences_.count(symbol) == 0 && m.getSpecies(symbol) == nullptr &&
        m.getCompartment(symbol) == nullptr && m.getParameter(symbol) == nullptr) {
      problems_.push_back("initial assignment to " + Quoted(symbol) +
                          ", which is no species, compartment or parameter");
    }
  }
  for (unsigned int i = 0; i < m.getNumEvents(); ++i) {
    const lib::Event* event = m.getEvent(i);
    const std::string name = event->isSetId() ? "event " + Quoted(event->getId())
                                              : "event number " + std::to_string(i + 1);
    for (unsigned int j = 0; j < event->getNumEventAssignments(); ++j) {
      const std::string& variable = event->getEventAssignment(j)->getVariable();
      // A stoichiometry that an event sets changes over time: it is read
      // as a global quantity, as one that a rule sets.
      if (speciesReferences_.count(variable) == 0 && m.getSpecies(variable) == nullptr &&
          m.getCompartment(variable) == nullptr && m.getParameter(variable) == nullptr) {
        problems_.push_back("the assignment of " + name + " to " + Quoted(variable) +
                            ", which is no species, compartment or parameter");
      }
    }
  }
  for (unsigned int i = 0; i < m.getNumConstraints(); ++i) {
    problems_.push_back("constraint number " + std::to_string(i + 1));
  }
}

// The limits a model file's reader keeps: the structural matrices of the
// model stay within kMaxModelMatrixEntries.
void Importer::CheckSize(std::size_t steps) {
  const auto metabolites = static_cast<long long>(species_.size());
  const auto n = static_cast<long long>(steps);
  if (metabolites * metabolites > kMaxModelMatrixEntries || metabolites * n > kMaxModelMatrixEntries ||
      n * n > kMaxModelMatrixEntries) {
    problems_.push_back("a model of " + std::to_string(metabolites) + " species and " +
                        std::to_string(n) + " steps, whose matrices would hold more than the " +
                        std::to_string(kMaxModelMatrixEntries) + " entries a model may have");
  }
}

// A step's equation names each species once per unit of its coefficient,
// so that a long id in a large coefficient could make a model file beyond
// what the reader takes: the equations must stay within half of it.
void Importer::CheckEquationText() {
  constexpr auto kMaxEquationBytes = static_cast<long long>(kMaxRecordFileSize / 2);
  long long bytes = 0;
  for (const BuiltStep& built : steps_) {
    for (const auto& [species, n] : built.stoichiometry) {
      bytes += std::abs(static_cast<long long>(n)) *
               (static_cast<long long>(species_[static_cast<std::size_t>(species)].id.size()) + 3);
    }
  }
  if (bytes > kMaxEquationBytes) {
    problems_.push_back("reactions whose equations would take more than the " +
                        std::to_string(kMaxEquationBytes) + " bytes a model file may give them");
  }
}

// A compartment whose size is the same number from start to end: no rule
// and no initial assignment sets it. Only these compartments are told
// apart by their sizes; others by their identity.
bool Importer::FixedSize(int compartment) const {
  auto use = ruleUses_.find(compartments_[static_cast<std::size_t>(compartment)].name);
  return use == ruleUses_.end() || (use->second.overTime == nullptr &&
                                    use->second.initial == nullptr && !use->second.eventTarget);
}

bool Importer::SameVolume(int a, int b) const {
  if (a == b) return true;
  return FixedSize(a) && FixedSize(b) &&
         compartments_[static_cast<std::size_t>(a)].volume ==
             compartments_[static_cast<std::size_t>(b)].volume;
}

void Importer::ReadCompartments() {
  for (unsigned int i = 0; i < sbml_.getNumCompartments(); ++i) {
    const lib::Compartment* c = sbml_.getCompartment(i);
    Compartment compartment;
    compartment.name = c->getId();
    auto use = ruleUses_.find(c->getId());
    // An initial assignment or an assignment rule gives the size at time 0,
    // or the algebraic rules find it from where a size would start them.
    const bool sizedByRule =
        use != ruleUses_.end() && (use->second.initial != nullptr || use->second.assigned() ||
                                   (use->second.algebraic && !c->isSetSize()));
    // Level 2 gives a compartment of no dimensions no size; from Level 3 on
    // one that has a size behaves as any other.
    const bool dimensionless = c->isSetSpatialDimensions() &&
                               c->getSpatialDimensionsAsDouble() == 0 &&
                               (sbml_.getLevel() < 3 || (!c->isSetSize() && !sizedByRule));
    if (dimensionless) {
      // Species in it have amounts only: a volume of 1 makes their
      // concentrations the amounts.
      dimensionless_.insert(c->getId());
      compartment.volume = 1.0;
    } else if (sizedByRule) {
      // The volume it has before time 0 is never used.
      compartment.volume = 1.0;
    } else if (!c->isSetSize() && !(sbml_.getLevel() < 3)) {
      problems_.push_back("compartment " + Quoted(c->getId()) + " without a size");
    } else {
      compartment.volume = c->isSetSize() ? c->getSize() : 1.0;
      if (!(compartment.volume > 0.0) || !std::isfinite(compartment.volume)) {
        problems_.push_back("compartment " + Quoted(c->getId()) + " of size " +
                            std::to_string(compartment.volume));
        compartment.volume = 1.0;
      }
    }
    const int index = static_cast<int>(compartments_.size());
    compartmentIndex_[compartment.name] = index;
    constants_.push_back(
        {compartment.name, compartment.volume, ConstantEntry::Source::kCompartment, index});
    compartmentConstant_.push_back(static_cast<int>(constants_.size()) - 1);
    globalConstant_[compartment.name] = compartmentConstant_.back();
    compartments_.push_back(std::move(compartment));
  }
}

// Every parameter with a value, or given one by an initial assignment or
// an assignment rule, becomes a global quantity; one without is refused
// where it is read.
void Importer::ReadParameters() {
  for (unsigned int i = 0; i < sbml_.getNumParameters(); ++i) {
    const lib::Parameter* p = sbml_.getParameter(i);
    ParameterEntry entry;
    entry.id = p->getId();
    entry.hasValue = p->isSetValue() && std::isfinite(p->getValue());
    entry.value = entry.hasValue ? p->getValue() : 0.0;
    auto use = ruleUses_.find(entry.id);
    const bool givenByRule =
        use != ruleUses_.end() && (use->second.initial != nullptr || use->second.assigned());
    entry.quantity =
        entry.hasValue || givenByRule || (use != ruleUses_.end() && use->second.algebraic);
    if (!entry.quantity && use != ruleUses_.end() && use->second.rate()) {
      problems_.push_back("the parameter " + Quoted(entry.id) +
                          " without a value, which its rate rule needs at time 0");
    }
    const int index = static_cast<int>(parameters_.size());
    constants_.push_back({entry.id, entry.value, ConstantEntry::Source::kParameter, index});
    entry.constant = static_cast<int>(constants_.size()) - 1;
    globalConstant_[entry.id] = entry.constant;
    parameters_.push_back(std::move(entry));
  }
}

void Importer::ReadSpecies() {
  // A conversion factor is the same number from time 0 on: its value, or
  // the value at time 0 of its initial assignment.
  auto factorOf = [&](const std::string& parameter, const std::string& what) -> double {
    const lib::Parameter* p = sbml_.getParameter(parameter);
    auto use = ruleUses_.find(parameter);
    if (use != ruleUses_.end() && (use->second.overTime != nullptr || use->second.eventTarget)) {
      problems_.push_back("conversion factor " + Quoted(parameter) + " of " + what +
                          ", which a rule or an event changes over time");
      return 1.0;
    }
    std::optional<double> value;
    if (p != nullptr && use != ruleUses_.end() && use->second.initial != nullptr) {
      try {
        value = StartValue(RuleMath(use->second.initial->getMath(),
                                    "the initial assignment to " + Quoted(parameter)),
                           0);
      } catch (const Refusal& refusal) {
        problems_.push_back(refusal.what());
        return 1.0;
      }
    } else if (p != nullptr && p->isSetValue()) {
      value = p->getValue();
    }
    if (!value) {
      problems_.push_back("conversion factor " + Quoted(parameter) + " of " + what +
                          " without a value at time 0");
      return 1.0;
    }
    return *value;
  };
  double modelFactor = 1.0;
  if (sbml_.getLevel() >= 3 && sbml_.isSetConversionFactor()) {
    modelFactor = factorOf(sbml_.getConversionFactor(), "the model");
  }
  for (unsigned int i = 0; i < sbml_.getNumSpecies(); ++i) {
    const lib::Species* s = sbml_.getSpecies(i);
    SpeciesEntry entry;
    entry.id = s->getId();
    auto found = compartmentIndex_.find(s->getCompartment());
    if (found == compartmentIndex_.end()) {
      problems_.push_back("species " + Quoted(entry.id) + " in the unknown compartment " +
                          Quoted(s->getCompartment()));
      entry.compartment = 0;
    } else {
      entry.compartment = found->second;
    }
    // Where there is no size, a species is its amount whatever its units
    // say: the size of 1 makes it the concentration too.
    if (dimensionless_.count(s->getCompartment()) > 0 && s->isSetInitialConcentration()) {
      problems_.push_back("species " + Quoted(entry.id) + " in the compartment " +
                          Quoted(s->getCompartment()) +
                          " of no spatial dimensions, given as a concentration");
    }
    auto use = ruleUses_.find(entry.id);
    const bool givenByRule =
        use != ruleUses_.end() && (use->second.initial != nullptr || use->second.assigned());
    // A size given at time 0 by a rule is not known yet: the concentration
    // follows from the amount at time 0.
    auto sizeUse =
        found == compartmentIndex_.end() ? ruleUses_.end() : ruleUses_.find(s->getCompartment());
    const bool sizeKnown =
        sizeUse == ruleUses_.end() || (sizeUse->second.initial == nullptr &&
                                       !sizeUse->second.assigned() && !sizeUse->second.algebraic);
    const double volume =
        compartments_.empty() ? 1.0 : compartments_[static_cast<std::size_t>(entry.compartment)].volume;
    if (givenByRule) {
      entry.initialConcentration = 0.0;
    } else if (s->isSetInitialConcentration()) {
      entry.initialConcentration = s->getInitialConcentration();
    } else if (s->isSetInitialAmount() && sizeKnown) {
      entry.initialConcentration = s->getInitialAmount() / volume;
    } else if (s->isSetInitialAmount()) {
      entry.initialAmount = s->getInitialAmount();
    } else if (use != ruleUses_.end() && use->second.algebraic) {
      // The algebraic rules start from 0.
      entry.initialConcentration = 0.0;
    } else {
      problems_.push_back("species " + Quoted(entry.id) + " without an initial value");
    }
    // A species that follows a rule is set by it alone, never by a step.
    const bool followsRule = use != ruleUses_.end() && use->second.overTime != nullptr;
    entry.fixed = s->getBoundaryCondition() || s->getConstant() || followsRule;
    entry.amountInLaws = s->getHasOnlySubstanceUnits();
    entry.conversionFactor = modelFactor;
    if (sbml_.getLevel() >= 3 && s->isSetConversionFactor()) {
      entry.conversionFactor = factorOf(s->getConversionFactor(), "species " + Quoted(entry.id));
    }
    speciesIndex_[entry.id] = static_cast<int>(species_.size());
    species_.push_back(std::move(entry));
  }
}

// A stoichiometry that changes over time becomes a global quantity, which
// the rules and laws that name the species reference read and the step's
// stoichiometry rule follows: a species reference whose id a rate or
// assignment rule sets takes that id (as does one whose initial assignment
// the import cannot evaluate), and a Level 2 stoichiometryMath that reads
// what changes over time (or has no value at time 0) becomes an assignment
// rule for a quantity of a new id.
void Importer::ReadVariableStoichiometries() {
  std::vector<std::pair<const lib::SpeciesReference*, const lib::Reaction*>> maths;
  std::vector<const lib::SpeciesReference*> initials;
  for (unsigned int i = 0; i < sbml_.getNumReactions(); ++i) {
    const lib::Reaction* r = sbml_.getReaction(i);
    for (unsigned int j = 0; j < r->getNumReactants() + r->getNumProducts(); ++j) {
      const lib::SpeciesReference* reference =
          j < r->getNumReactants() ? r->getReactant(j) : r->getProduct(j - r->getNumReactants());
      if (reference->getLevel() < 3 && reference->isSetStoichiometryMath()) {
        maths.emplace_back(reference, r);
        continue;
      }
      if (!reference->isSetId()) continue;
      auto use = ruleUses_.find(reference->getId());
      if (use == ruleUses_.end()) continue;
      if (use->second.overTime == nullptr && !use->second.eventTarget) {
        if (use->second.initial != nullptr) initials.push_back(reference);
        continue;
      }
      if (use->second.rate() && !reference->isSetStoichiometry() &&
          use->second.initial == nullptr) {
        problems_.push_back("the stoichiometry " + Quoted(reference->getId()) +
                            " without a value, which its rate rule needs at time 0");
      }
      variableStoichiometry_[reference] = AddStoichiometryQuantity(reference->getId(), *reference);
    }
  }
  // After the quantities above, which these may read: an initial
  // assignment whose value is known only when the run starts (it reads a
  // species, or a quantity that changes) is the initial assignment of the
  // reference's quantity, which keeps its value from then on.
  for (const lib::SpeciesReference* reference : initials) {
    try {
      if (Stoichiometry(*reference, 0)) continue;
    } catch (const Refusal& refusal) {
      problems_.push_back(refusal.what());
      continue;
    }
    variableStoichiometry_[reference] = AddStoichiometryQuantity(reference->getId(), *reference);
  }
  for (const auto& [reference, reaction] : maths) {
    const lib::StoichiometryMath* math = reference->getStoichiometryMath();
    if (math == nullptr || !math->isSetMath()) continue;
    try {
      if (Stoichiometry(*reference, 0)) continue;
    } catch (const Refusal& refusal) {
      problems_.push_back(refusal.what());
      continue;
    }
    const std::string id =
        FreeId("stoichiometry_" + reference->getSpecies() + "_" + reaction->getId());
    variableStoichiometry_[reference] = AddStoichiometryQuantity(id, *reference);
    stoichiometryMaths_.emplace_back(id, math->getMath());
  }
}

// The global quantity of a stoichiometry that changes, with its value at
// time 0 where the reference gives one (a rule or initial assignment may
// give another); returns its constant.
int Importer::AddStoichiometryQuantity(const std::string& id,
                                       const lib::SpeciesReference& reference) {
  const bool hasValue = !(reference.getLevel() < 3 && reference.isSetStoichiometryMath()) &&
                        reference.isSetStoichiometry() &&
                        std::isfinite(reference.getStoichiometry());
  return AddQuantity(id, hasValue ? std::optional<double>(reference.getStoichiometry())
                                  : std::nullopt);
}

std::string Importer::FreeId(const std::string& base) const {
  std::string id = base;
  for (int k = 2; speciesIndex_.count(id) > 0 || globalConstant_.count(id) > 0 ||
                  speciesReferences_.count(id) > 0 || sbml_.getReaction(id) != nullptr ||
                  sbml_.getFunctionDefinition(id) != nullptr;
       ++k) {
    id = base + "_" + std::to_string(k);
  }
  return id;
}

int Importer::AddQuantity(const std::string& id, std::optional<double> value) {
  ParameterEntry entry;
  entry.id = id;
  entry.hasValue = value.has_value();
  entry.value = value.value_or(0.0);
  entry.quantity = true;
  const int index = static_cast<int>(parameters_.size());
  constants_.push_back({entry.id, entry.value, ConstantEntry::Source::kParameter, index});
  entry.constant = static_cast<int>(constants_.size()) - 1;
  globalConstant_[entry.id] = entry.constant;
  parameters_.push_back(std::move(entry));
  return parameters_.back().constant;
}

// Names in a kinetic law or a rule: the reaction's local parameters first
// (a law's only), then the species, compartments and parameters of the
// model, then the reactions, whose ids stand for their rates and are
// replaced by their laws. `where` names the law or rule for refusals.
std::optional<MathNode> Importer::Resolve(const lib::Reaction* reaction, const std::string& name,
                                          const std::string& where) {
  if (reaction != nullptr) {
    auto local = localConstant_.find({reaction->getId(), name});
    if (local != localConstant_.end()) return sbml::ConstantNode(local->second);
  }
  auto species = speciesIndex_.find(name);
  if (species != speciesIndex_.end()) {
    const SpeciesEntry& s = species_[static_cast<std::size_t>(species->second)];
    MathNode node = sbml::SpeciesNode(species->second);
    if (!s.amountInLaws || (FixedSize(s.compartment) &&
                            compartments_[static_cast<std::size_t>(s.compartment)].volume == 1.0)) {
      return node;
    }
    // The amount: concentration times the compartment's size.
    return sbml::Apply('*', std::move(node), sbml::ConstantNode(compartmentConstant_[s.compartment]));
  }
  auto global = globalConstant_.find(name);
  if (global != globalConstant_.end()) {
    const ConstantEntry& entry = constants_[static_cast<std::size_t>(global->second)];
    if (dimensionless_.count(name) > 0) {
      throw Refusal("the compartment " + Quoted(name) + " of no spatial dimensions read in " +
                    where);
    }
    if (entry.source == ConstantEntry::Source::kParameter &&
        !parameters_[static_cast<std::size_t>(entry.record)].quantity) {
      throw Refusal("the parameter " + Quoted(name) + " without a value in " + where);
    }
    return sbml::ConstantNode(global->second);
  }
  if (auto reference = speciesReferences_.find(name); reference != speciesReferences_.end()) {
    // A stoichiometry that never changes is a number.
    if (std::optional<double> value = Stoichiometry(*reference->second, 0)) {
      return sbml::Number(*value);
    }
    throw Refusal("the stoichiometry " + Quoted(name) +
                  ", which changes or has no value, read in " + where);
  }
  auto other = reactionIndex_.find(name);
  if (other != reactionIndex_.end()) {
    // The laws are read in an order that puts every named law first, and
    // before the rules.
    const LawEntry& entry = laws_[static_cast<std::size_t>(other->second)];
    if (entry.law) return entry.law;
    if (!entry.refusal.empty()) throw Refusal(entry.refusal);
    throw Refusal("the kinetic law of " + Quoted(name) + ", not read before " + where +
                  " that names it");
  }
  return std::nullopt;
}

int Importer::TimeConstant() {
  if (timeConstant_ < 0) {
    constants_.push_back({"time", 0.0, ConstantEntry::Source::kTime, -1});
    timeConstant_ = static_cast<int>(constants_.size()) - 1;
  }
  return timeConstant_;
}

MathNode Importer::Law(const lib::Reaction& reaction) {
  const lib::KineticLaw* law = reaction.getKineticLaw();
  if (law == nullptr || !law->isSetMath()) {
    throw Refusal("reaction " + Quoted(reaction.getId()) + " without a kinetic law");
  }
  const bool levelThree = reaction.getLevel() >= 3;
  const unsigned int count = levelThree ? law->getNumLocalParameters() : law->getNumParameters();
  for (unsigned int i = 0; i < count; ++i) {
    std::string id;
    double value = 0.0;
    bool set = false;
    if (levelThree) {
      const lib::LocalParameter* p = law->getLocalParameter(i);
      id = p->getId();
      set = p->isSetValue();
      value = p->getValue();
    } else {
      const lib::Parameter* p = law->getParameter(i);
      id = p->getId();
      set = p->isSetValue();
      value = p->getValue();
    }
    const auto key = std::make_pair(reaction.getId(), id);
    if (localConstant_.count(key) > 0) continue;
    if (!set) {
      throw Refusal("the local parameter " + Quoted(id) + " without a value in the kinetic law of " +
                    Quoted(reaction.getId()));
    }
    constants_.push_back({id, value});
    localConstant_[key] = static_cast<int>(constants_.size()) - 1;
  }
  const std::string where = "the kinetic law of " + Quoted(reaction.getId());
  sbml::MathTranslator translator(
      sbml_, [&](const std::string& name) { return Resolve(&reaction, name, where); });
  translator.AllowTime(sbml::ConstantNode(TimeConstant()));
  translator.AllowRateOf(
      [&](const std::string& name) { return LawRateOf(reaction, name, where); });
  // A rate law has no history: a delay in it becomes a global quantity
  // that an assignment rule sets to the delay, read as a step constant.
  translator.AllowDelay([&](MathNode argument, MathNode tau) {
    return LawDelay(reaction, sbml::Call(node_code::kDelay, std::move(argument), std::move(tau)));
  });
  MathNode tree = translator.Translate(*law->getMath(), where);
  Spend(translator.nodes());
  return tree;
}

// A rate law reads the rate of change of a quantity written out in what
// changes it: 0 for a constant, a rate rule's mathematics for its target,
// and for a species the laws of the reactions that change it with their
// stoichiometries (read before this law, see NamedReactions). What an
// assignment or algebraic rule sets has no rate known before the rates.
MathNode Importer::LawRateOf(const lib::Reaction& reaction, const std::string& name,
                             const std::string& where) {
  const std::optional<MathNode> value = Resolve(&reaction, name, where);
  if (value && value->kind == MathNode::Kind::kConstant &&
      constants_[static_cast<std::size_t>(value->index)].source == ConstantEntry::Source::kValue) {
    return sbml::Number(0.0);
  }
  const auto refuse = [&] {
    return Refusal("a rateOf of " + Quoted(name) + ", which changes, in " + where);
  };
  if (value && value->kind == MathNode::Kind::kConstant &&
      localConstant_.count({reaction.getId(), name}) > 0) {
    return sbml::Number(0.0);  // a local parameter is constant
  }
  auto use = ruleUses_.find(name);
  if (use != ruleUses_.end() && use->second.rate()) {
    if (!lawRatesOpen_.insert(name).second) {
      throw Refusal("a rateOf of " + Quoted(name) + " whose rate rule reads that rate, in " + where);
    }
    const lib::Rule& rule = *use->second.overTime;
    if (!rule.isSetMath()) throw refuse();
    sbml::MathTranslator translator(
        sbml_, [&](const std::string& id) { return Resolve(nullptr, id, where); });
    translator.AllowTime(sbml::ConstantNode(TimeConstant()));
    translator.AllowRateOf([&](const std::string& id) { return LawRateOf(reaction, id, where); });
    MathNode tree = translator.Translate(*rule.getMath(), where);
    Spend(translator.nodes());
    lawRatesOpen_.erase(name);
    return tree;
  }
  if (use != ruleUses_.end() && (use->second.assigned() || use->second.algebraic)) throw refuse();
  auto species = speciesIndex_.find(name);
  if (species == speciesIndex_.end()) {
    // A compartment or parameter that no rule changes over time: only
    // events do, and a rate is that between them.
    if (globalConstant_.count(name) > 0) return sbml::Number(0.0);
    throw Refusal("a rateOf of " + Quoted(name) + ", which is no species, compartment or "
                  "parameter, in " + where);
  }
  const SpeciesEntry& s = species_[static_cast<std::size_t>(species->second)];
  if (s.fixed) return sbml::Number(0.0);
  if (!s.amountInLaws && !FixedSize(s.compartment)) throw refuse();
  std::optional<MathNode> sum;
  for (unsigned int i = 0; i < sbml_.getNumReactions(); ++i) {
    const lib::Reaction& other = *sbml_.getReaction(i);
    double coefficient = 0.0;
    const auto add = [&](const lib::SpeciesReference* ref, double sign) {
      if (ref == nullptr || ref->getSpecies() != name) return;
      const std::optional<double> n = Stoichiometry(*ref, 0);
      if (!n) throw refuse();
      coefficient += sign * *n;
    };
    for (unsigned int j = 0; j < other.getNumReactants(); ++j) add(other.getReactant(j), -1.0);
    for (unsigned int j = 0; j < other.getNumProducts(); ++j) add(other.getProduct(j), 1.0);
    if (coefficient == 0.0) continue;
    const LawEntry& entry = laws_[i];
    if (!entry.law) throw Refusal(entry.refusal.empty() ? refuse().what() : entry.refusal);
    MathNode term = sbml::Apply('*', sbml::Number(coefficient * s.conversionFactor), *entry.law);
    sum = sum ? sbml::Apply('+', std::move(*sum), std::move(term)) : std::move(term);
  }
  if (!sum) return sbml::Number(0.0);
  if (s.amountInLaws) return std::move(*sum);
  return sbml::Apply('/', std::move(*sum),
                     sbml::ConstantNode(compartmentConstant_[static_cast<std::size_t>(s.compartment)]));
}

// The reactions whose laws rateOf(name) writes out in a law: those that
// change a species, and those the mathematics of a rate rule names.
void Importer::RateOfReactions(const std::string& name, std::vector<int>& named,
                               std::set<std::string>& seen) {
  if (!seen.insert(name).second) return;
  auto use = ruleUses_.find(name);
  if (use != ruleUses_.end() && use->second.rate()) {
    sbml::VisitAst(use->second.overTime->getMath(), [&](const lib::ASTNode& ast) {
      if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_FUNCTION_RATE_OF &&
          ast.getNumChildren() == 1 && ast.getChild(0)->getName() != nullptr) {
        RateOfReactions(ast.getChild(0)->getName(), named, seen);
      } else if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_NAME &&
                 ast.getName() != nullptr && speciesIndex_.count(ast.getName()) == 0 &&
                 globalConstant_.count(ast.getName()) == 0) {
        auto found = reactionIndex_.find(ast.getName());
        if (found != reactionIndex_.end()) named.push_back(found->second);
      }
    });
    return;
  }
  if (speciesIndex_.count(name) == 0) return;
  for (unsigned int i = 0; i < sbml_.getNumReactions(); ++i) {
    const lib::Reaction& r = *sbml_.getReaction(i);
    bool changes = false;
    for (unsigned int j = 0; j < r.getNumReactants(); ++j) {
      changes = changes || r.getReactant(j)->getSpecies() == name;
    }
    for (unsigned int j = 0; j < r.getNumProducts(); ++j) {
      changes = changes || r.getProduct(j)->getSpecies() == name;
    }
    if (changes) named.push_back(static_cast<int>(i));
  }
}

MathNode Importer::LawDelay(const lib::Reaction& reaction, MathNode delay) {
  // An id that no SBML id and no quantity of the import has.
  std::string id;
  for (int n = 1;; ++n) {
    id = reaction.getId() + "_delay" + std::to_string(n);
    const bool taken = sbml_.getParameter(id) != nullptr || sbml_.getSpecies(id) != nullptr ||
                       sbml_.getCompartment(id) != nullptr || sbml_.getReaction(id) != nullptr ||
                       sbml_.getFunctionDefinition(id) != nullptr ||
                       sbml_.getEvent(id) != nullptr || globalConstant_.count(id) > 0 ||
                       speciesReferences_.count(id) > 0;
    if (!taken) break;
  }
  ParameterEntry parameter;
  parameter.id = id;
  parameter.hasValue = true;
  parameter.quantity = true;
  parameters_.push_back(parameter);
  const int record = static_cast<int>(parameters_.size()) - 1;
  constants_.push_back({id, 0.0, ConstantEntry::Source::kParameter, record});
  const int constant = static_cast<int>(constants_.size()) - 1;
  parameters_.back().constant = constant;
  globalConstant_[id] = constant;
  PendingRule rule;
  rule.kind = RuleKind::kAssignment;
  rule.targetKind = RuleTargetKind::kGlobalQuantity;
  rule.record = record;
  rule.tree = std::move(delay);
  rules_.push_back(std::move(rule));
  return sbml::ConstantNode(constant);
}

// Every tree the import builds counts against one budget, so that no model
// of modest size can make it build without bound.
void Importer::Spend(long long nodes) {
  spentNodes_ += nodes;
  if (spentNodes_ > kMaxSbmlImportNodes) {
    throw BudgetSpent("kinetic laws of more than " + std::to_string(kMaxSbmlImportNodes) +
                      " nodes in all");
  }
}


// The reactions whose ids the kinetic law of `reaction` names for their
// rates, also through the function definitions it calls. A name the law
// gives a value of its own (a local parameter, a species, a global
// constant, a function's argument) is no reaction's. Each function body is
// walked once for the whole import.
std::vector<int> Importer::NamedReactions(int reaction) {
  const lib::Reaction& r = *sbml_.getReaction(static_cast<unsigned int>(reaction));
  std::vector<int> named;
  const lib::KineticLaw* law = r.getKineticLaw();
  if (law == nullptr || !law->isSetMath()) return named;
  auto isLocal = [&](const std::string& name) {
    return r.getLevel() >= 3 ? law->getLocalParameter(name) != nullptr
                             : law->getParameter(name) != nullptr;
  };
  auto add = [&](const std::string& name) {
    if (isLocal(name) || speciesIndex_.count(name) > 0 || globalConstant_.count(name) > 0) return;
    auto found = reactionIndex_.find(name);
    if (found != reactionIndex_.end()) named.push_back(found->second);
  };
  // The functions the law calls, and those they call in turn.
  std::vector<std::string> calls;
  std::set<std::string> called, rates;
  sbml::VisitAst(law->getMath(), [&](const lib::ASTNode& ast) {
    if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_FUNCTION_RATE_OF) {
      if (ast.getNumChildren() == 1 && ast.getChild(0)->getName() != nullptr &&
          !isLocal(ast.getChild(0)->getName())) {
        RateOfReactions(ast.getChild(0)->getName(), named, rates);
      }
      return;
    }
    if (ast.getName() == nullptr) return;
    if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_FUNCTION) {
      if (called.insert(ast.getName()).second) calls.push_back(ast.getName());
    } else if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_NAME) {
      add(ast.getName());
    }
  });
  while (!calls.empty()) {
    const FunctionNames& body = NamesInFunction(calls.back());
    calls.pop_back();
    for (const std::string& name : body.names) add(name);
    for (const std::string& function : body.calls) {
      if (called.insert(function).second) calls.push_back(function);
    }
  }
  return named;
}

// The names in a function definition's body other than its arguments, and
// the functions it calls.
const Importer::FunctionNames& Importer::NamesInFunction(const std::string& function) {
  auto [entry, added] = functionNames_.try_emplace(function);
  if (!added) return entry->second;
  const lib::FunctionDefinition* definition = sbml_.getFunctionDefinition(function);
  if (definition == nullptr) return entry->second;
  std::set<std::string> arguments;
  for (unsigned int i = 0; i < definition->getNumArguments(); ++i) {
    const lib::ASTNode* argument = definition->getArgument(i);
    if (argument != nullptr && argument->getName() != nullptr) arguments.insert(argument->getName());
  }
  std::set<std::string> names, calls;
  sbml::VisitAst(definition->getBody(), [&](const lib::ASTNode& ast) {
    if (ast.getName() == nullptr) return;
    if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_FUNCTION) {
      calls.insert(ast.getName());
    } else if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_NAME &&
               arguments.count(ast.getName()) == 0) {
      names.insert(ast.getName());
    }
  });
  entry->second.names.assign(names.begin(), names.end());
  entry->second.calls.assign(calls.begin(), calls.end());
  return entry->second;
}

// The reactions in an order in which every law comes after the laws it
// names, in document order where the names leave a choice: a depth-first
// walk, without recursion, that emits a reaction once all it names are out.
// Reactions whose laws name each other in a cycle are refused, and so left
// out.
std::vector<int> Importer::LawOrder() {
  const int n = static_cast<int>(sbml_.getNumReactions());
  enum class Mark { kNew, kOpen, kDone };
  std::vector<Mark> marks(static_cast<std::size_t>(n), Mark::kNew);
  std::vector<std::vector<int>> named(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) named[static_cast<std::size_t>(i)] = NamedReactions(i);
  std::vector<int> order;
  std::vector<std::pair<int, std::size_t>> path;  // reaction, next named law to visit
  auto idOf = [&](int i) { return sbml_.getReaction(static_cast<unsigned int>(i))->getId(); };
  for (int start = 0; start < n; ++start) {
    if (marks[static_cast<std::size_t>(start)] != Mark::kNew) continue;
    marks[static_cast<std::size_t>(start)] = Mark::kOpen;
    path.emplace_back(start, 0);
    while (!path.empty()) {
      auto& [reaction, next] = path.back();
      const std::vector<int>& targets = named[static_cast<std::size_t>(reaction)];
      if (next == targets.size()) {
        marks[static_cast<std::size_t>(reaction)] = Mark::kDone;
        order.push_back(reaction);
        path.pop_back();
        continue;
      }
      const int target = targets[next++];
      if (marks[static_cast<std::size_t>(target)] == Mark::kNew) {
        marks[static_cast<std::size_t>(target)] = Mark::kOpen;
        path.emplace_back(target, 0);
      } else if (marks[static_cast<std::size_t>(target)] == Mark::kOpen) {
        // The path from the target on is a cycle.
        std::size_t from = path.size() - 1;
        while (path[from].first != target) --from;
        std::string message;
        if (from + 1 == path.size()) {
          message = "the kinetic law of " + Quoted(idOf(target)) + " that refers to its own rate";
        } else {
          std::string members;
          for (std::size_t i = from; i < path.size(); ++i) {
            members += (i == from ? "" : ", ") + Quoted(idOf(path[i].first));
          }
          message = "the kinetic laws of reactions " + members +
                    ", which name each other's rates in a cycle";
        }
        for (std::size_t i = from; i < path.size(); ++i) {
          LawEntry& entry = laws_[static_cast<std::size_t>(path[i].first)];
          if (entry.refusal.empty()) entry.refusal = message;
        }
      }
    }
  }
  return order;
}

// Every kinetic law once, the laws a law names before it.
void Importer::ReadLaws() {
  laws_.assign(sbml_.getNumReactions(), {});
  for (unsigned int i = 0; i < sbml_.getNumReactions(); ++i) {
    reactionIndex_.emplace(sbml_.getReaction(i)->getId(), static_cast<int>(i));
  }
  for (int i : LawOrder()) {
    LawEntry& entry = laws_[static_cast<std::size_t>(i)];
    if (!entry.refusal.empty()) continue;
    try {
      entry.law = Law(*sbml_.getReaction(static_cast<unsigned int>(i)));
    } catch (const BudgetSpent&) {
      throw;
    } catch (const Refusal& refusal) {
      entry.refusal = refusal.what();
    }
  }
}

int Importer::NumberConstant(double value) {
  std::string name = "number";
  if (value == std::numbers::pi) name = "pi";
  if (value == std::numbers::e) name = "exponentiale";
  constants_.push_back({name, value});
  return static_cast<int>(constants_.size()) - 1;
}

// Numbers that a kinetic type record would round are kept as constants,
// whose values the model file stores exactly.
MathNode Importer::ReplaceInexactNumbers(MathNode node) {
  if (node.kind == MathNode::Kind::kNumber) {
    if (sbml::IsExactExpressionNumber(node.value)) return node;
    return sbml::ConstantNode(NumberConstant(node.value));
  }
  for (MathNode& child : node.children) child = ReplaceInexactNumbers(std::move(child));
  return node;
}

// The step's rate: the law times the scale, per unit volume of the
// compartment. A size of that compartment that multiplies the whole law
// cancels against the division: the compartment itself, or one of the same
// fixed size. The division reads the compartment's size through a step
// constant that follows it, so that a size that changes is read as it is.
MathNode Importer::PartRate(const MathNode& law, double scale, int compartment) {
  auto isVolume = [&](const MathNode& node) {
    if (node.kind != MathNode::Kind::kConstant) return false;
    const ConstantEntry& c = constants_[static_cast<std::size_t>(node.index)];
    return c.source == ConstantEntry::Source::kCompartment && SameVolume(c.record, compartment);
  };
  const bool unitVolume = compartment >= 0 && FixedSize(compartment) &&
                          compartments_[static_cast<std::size_t>(compartment)].volume == 1.0;
  MathNode rate = law;
  bool cancelled = false;
  if (compartment >= 0) {
    if (isVolume(rate)) {
      rate = sbml::Number(1.0);
      cancelled = true;
    } else if (rate.kind == MathNode::Kind::kOperator && rate.code == '*') {
      auto factor = std::find_if(rate.children.begin(), rate.children.end(), isVolume);
      if (factor != rate.children.end()) {
        rate.children.erase(factor);
        if (rate.children.size() == 1) rate = MathNode(rate.children.front());
        cancelled = true;
      }
    }
    if (!cancelled && !unitVolume) {
      rate = sbml::Apply('/', std::move(rate), sbml::ConstantNode(compartmentConstant_[compartment]));
    }
  }
  if (scale != 1.0) {
    MathNode factor = sbml::Number(scale);
    if (!sbml::IsExactExpressionNumber(scale)) {
      constants_.push_back({"scale", scale});
      factor = sbml::ConstantNode(static_cast<int>(constants_.size()) - 1);
    }
    rate = sbml::Apply('*', std::move(factor), std::move(rate));
  }
  return rate;
}

// A scale s that makes every coefficient c / s a whole number of modest
// size: 1 when they are whole numbers already, else the smallest magnitude
// divided by 1, 2, 3, ... The scale returned is refined by least squares
// over the whole numbers found.
std::optional<double> CommonScale(const std::vector<double>& coefficients,
                                  std::vector<int>& wholeNumbers) {
  auto tryScale = [&](double scale) {
    wholeNumbers.clear();
    for (double c : coefficients) {
      const double ratio = c / scale;
      const double whole = std::round(ratio);
      if (whole == 0.0 || std::fabs(whole) > kMaxScaledCoefficient ||
          std::fabs(ratio - whole) > kWholeNumberTolerance * std::fabs(ratio)) {
        return false;
      }
      wholeNumbers.push_back(static_cast<int>(whole));
    }
    return true;
  };
  if (tryScale(1.0)) return 1.0;
  double smallest = HUGE_VAL;
  for (double c : coefficients) smallest = std::min(smallest, std::fabs(c));
  for (int k = 1; k <= static_cast<int>(kMaxScaledCoefficient); ++k) {
    if (!tryScale(smallest / k)) continue;
    double numerator = 0.0, denominator = 0.0;
    for (std::size_t i = 0; i < coefficients.size(); ++i) {
      numerator += coefficients[i] * wholeNumbers[i];
      denominator += static_cast<double>(wholeNumbers[i]) * wholeNumbers[i];
    }
    return numerator / denominator;
  }
  return std::nullopt;
}

void Importer::ReadReaction(const lib::Reaction& reaction, const LawEntry& entry) {
  const std::string& id = reaction.getId();
  // Net change of every species per unit of the law, in order of first
  // mention: the part that never changes, and for the species some of whose
  // stoichiometries change over time, the quantities that hold them, each
  // with its factor (the side and the conversion factor).
  std::vector<std::pair<int, double>> change;
  std::map<int, std::vector<std::pair<int, double>>> varying;  // species -> (constant, factor)
  auto add = [&](const lib::SpeciesReference& reference, double side) {
    auto found = speciesIndex_.find(reference.getSpecies());
    if (found == speciesIndex_.end()) {
      throw Refusal("the unknown species " + Quoted(reference.getSpecies()) + " in reaction " +
                    Quoted(id));
    }
    if (auto variable = variableStoichiometry_.find(&reference);
        variable != variableStoichiometry_.end()) {
      varying[found->second].emplace_back(
          variable->second,
          side * species_[static_cast<std::size_t>(found->second)].conversionFactor);
      for (const auto& entry : change) {
        if (entry.first == found->second) return;
      }
      change.emplace_back(found->second, 0.0);
      return;
    }
    const std::optional<double> stoichiometry = Stoichiometry(reference, 0);
    if (!stoichiometry && reference.getLevel() < 3 && reference.isSetStoichiometryMath()) {
      // One with mathematics has a value or a quantity that holds it.
      throw Refusal("stoichiometryMath of " + Quoted(reference.getSpecies()) + " in reaction " +
                    Quoted(id) + " without mathematics");
    }
    if (!stoichiometry && reference.isSetId() && ruleUses_.count(reference.getId()) > 0) {
      throw Refusal("the initial assignment to the stoichiometry " + Quoted(reference.getId()) +
                    " in reaction " + Quoted(id) + " that reads what changes over time, or itself");
    }
    if (!stoichiometry) {
      throw Refusal("the stoichiometry of " + Quoted(reference.getSpecies()) + " in reaction " +
                    Quoted(id) + " without a value");
    }
    const double amount =
        side * *stoichiometry * species_[static_cast<std::size_t>(found->second)].conversionFactor;
    if (!std::isfinite(amount) || std::fabs(amount) > kMaxSbmlStoichiometry) {
      std::ostringstream value;
      value << *stoichiometry;
      throw Refusal("the stoichiometry " + value.str() + " of " + Quoted(reference.getSpecies()) +
                    " in reaction " + Quoted(id) + ", which is not a number of magnitude up to " +
                    std::to_string(static_cast<long long>(kMaxSbmlStoichiometry)) +
                    " (its conversion factor included)");
    }
    for (auto& [species, total] : change) {
      if (species == found->second) {
        total += amount;
        return;
      }
    }
    change.emplace_back(found->second, amount);
  };
  for (unsigned int i = 0; i < reaction.getNumReactants(); ++i) add(*reaction.getReactant(i), -1.0);
  for (unsigned int i = 0; i < reaction.getNumProducts(); ++i) add(*reaction.getProduct(i), 1.0);
  std::erase_if(change, [&](const auto& entry) {
    return entry.second == 0.0 && varying.count(entry.first) == 0;
  });
  const auto varies = [&](int species) { return varying.count(species) > 0; };
  // A species whose stoichiometry varies stands in the step's equation once,
  // on the side of its stoichiometry's sign where that is known; the rule
  // gives the step its coefficient, the net change over the step's scale.
  const auto placeholder = [&](int species, double constantPart) {
    if (constantPart != 0.0) return constantPart > 0.0 ? 1 : -1;
    return varying.at(species).front().second > 0.0 ? 1 : -1;
  };
  const auto stoichiometryRule = [&](int species, double constantPart, double scale) {
    if (species_[static_cast<std::size_t>(species)].fixed) return;
    std::optional<MathNode> tree;
    if (constantPart != 0.0) tree = sbml::Number(constantPart);
    for (const auto& [constant, factor] : varying.at(species)) {
      MathNode term = sbml::ConstantNode(constant);
      if (factor != 1.0) term = sbml::Apply('*', sbml::Number(factor), std::move(term));
      tree = tree ? sbml::Apply('+', std::move(*tree), std::move(term)) : std::move(term);
    }
    if (scale != 1.0) tree = sbml::Apply('/', std::move(*tree), sbml::Number(scale));
    PendingRule rule;
    rule.kind = RuleKind::kAssignment;
    rule.targetKind = RuleTargetKind::kStoichiometry;
    rule.record = static_cast<int>(steps_.size()) - 1;
    rule.species = species;
    rule.tree = std::move(*tree);
    rules_.push_back(std::move(rule));
  };

  if (!entry.law) throw Refusal(entry.refusal);
  const MathNode law = ReplaceInexactNumbers(*entry.law);
  const std::int16_t reversible = reaction.getReversible() ? 1 : 0;

  // Groups of one volume: the variable species by the volume of their
  // compartment; fixed species, whose amounts no step changes, join the
  // group of their volume or else the first group.
  auto compartmentOf = [&](int species) {
    return species_[static_cast<std::size_t>(species)].compartment;
  };
  std::vector<std::vector<std::pair<int, double>>> groups;
  auto join = [&](const std::pair<int, double>& entry, bool createGroup) {
    for (auto& group : groups) {
      if (SameVolume(compartmentOf(group.front().first), compartmentOf(entry.first))) {
        group.push_back(entry);
        return true;
      }
    }
    if (!createGroup) return false;
    groups.push_back({entry});
    return true;
  };
  for (const auto& entry : change) {
    if (!species_[static_cast<std::size_t>(entry.first)].fixed) join(entry, true);
  }
  for (const auto& entry : change) {
    if (!species_[static_cast<std::size_t>(entry.first)].fixed) continue;
    if (!join(entry, groups.empty())) groups.front().push_back(entry);
  }

  if (groups.empty()) {
    // Nothing changes: one step whose rate is the law itself.
    AddPart({id, 1, {}, law});
    NoteReactionRate(id, 1.0, -1);
    return;
  }
  for (const auto& group : groups) {
    // The scale is found among the stoichiometries that never change.
    std::vector<double> coefficients;
    for (const auto& entry : group) {
      if (!varies(entry.first)) coefficients.push_back(entry.second);
    }
    std::vector<int> whole;
    const std::string groupName =
        groups.size() == 1 ? id : id + "_" + compartments_[compartmentOf(group.front().first)].name;
    const int compartment = compartmentOf(group.front().first);
    std::optional<double> scale =
        coefficients.empty() ? std::optional<double>(1.0) : CommonScale(coefficients, whole);
    if (scale) {
      PartStep part{groupName, reversible, {}, PartRate(law, *scale, compartment)};
      std::size_t next = 0;
      for (const auto& [species, coefficient] : group) {
        part.members.emplace_back(
            species, varies(species) ? placeholder(species, coefficient) : whole[next++]);
      }
      AddPart(std::move(part));
      for (const auto& [species, coefficient] : group) {
        if (varies(species)) stoichiometryRule(species, coefficient, *scale);
      }
      NoteReactionRate(id, *scale, compartment);
      continue;
    }
    // No common scale: a step for each species, with its coefficient as the scale.
    for (const auto& [species, coefficient] : group) {
      const bool ruled = varies(species);
      const double partScale = ruled ? 1.0 : std::fabs(coefficient);
      PartStep part{id + "_" + species_[static_cast<std::size_t>(species)].id, reversible, {},
                    PartRate(law, partScale, compartmentOf(species))};
      part.members.emplace_back(
          species, ruled ? placeholder(species, coefficient) : (coefficient > 0 ? 1 : -1));
      AddPart(std::move(part));
      if (ruled) stoichiometryRule(species, coefficient, 1.0);
      NoteReactionRate(id, partScale, compartmentOf(species));
    }
  }
}

// A fast reaction is one balance with one extent: it must be one step. A
// reaction read as several (species in volumes that differ, coefficients
// without a common scale, a stoichiometry that changes) would become
// balances the steps could not move together.
void Importer::MarkFast(const lib::Reaction& reaction, std::size_t first) {
  if (!reaction.isSetFast() || !reaction.getFast()) return;
  if (steps_.size() != first + 1) {
    throw Refusal("the fast reaction " + Quoted(reaction.getId()) + ", which is read as " +
                  std::to_string(steps_.size() - first) +
                  " steps (species in compartments of different sizes or stoichiometries "
                  "without a common scale)");
  }
  for (const PendingRule& rule : rules_) {
    if (rule.targetKind == RuleTargetKind::kStoichiometry &&
        rule.record == static_cast<int>(first)) {
      throw Refusal("the fast reaction " + Quoted(reaction.getId()) +
                    ", whose stoichiometry changes over time");
    }
  }
  steps_[first].step.fast = true;
}

void Importer::NoteReactionRate(const std::string& id, double scale, int compartment) {
  if (reactionRates_.count(id) > 0 || steps_.empty()) return;
  reactionRates_[id] = {steps_.back().step.name, compartment, scale};
}

// The compartments' names are settled once the rules are read.
std::map<std::string, SbmlReactionRate> Importer::ReactionRates() const {
  std::map<std::string, SbmlReactionRate> rates;
  for (const auto& [id, source] : reactionRates_) {
    rates[id] = {source.step,
                 source.compartment >= 0
                     ? compartmentNames_[static_cast<std::size_t>(source.compartment)]
                     : std::string(),
                 source.scale};
  }
  return rates;
}

std::string Importer::UniqueStepName(const std::string& base) {
  std::string name = base;
  for (int k = 2; stepNames_.count(name) > 0; ++k) name = base + "_" + std::to_string(k);
  stepNames_.insert(name);
  return name;
}

// Two user-defined types agree when they read the same law the same way.
bool SameLaw(const KineticType& a, const KineticType& b) {
  if (!a.function || !b.function) return false;
  if (a.function->description() != b.function->description() || a.reversible != b.reversible ||
      a.substrates != b.substrates || a.products != b.products) {
    return false;
  }
  // Each symbol of one law has the same role in the other (none when the
  // other has no such symbol).
  const std::vector<std::pair<std::string, int>> aRoles = a.function->SymbolRoles();
  const std::vector<std::pair<std::string, int>> bRoles = b.function->SymbolRoles();
  std::unordered_map<std::string_view, int> bRoleOf;
  bRoleOf.reserve(bRoles.size());
  for (const auto& [symbol, role] : bRoles) bRoleOf.emplace(symbol, role);
  for (const auto& [symbol, role] : aRoles) {
    const auto found = bRoleOf.find(symbol);
    if ((found != bRoleOf.end() ? found->second : kNoSymbol) != role) return false;
  }
  return true;
}

int Importer::ChooseType(const std::string& baseName, std::unique_ptr<KineticFunction> function,
                         int substrates, int products) {
  auto type = std::make_unique<KineticType>(std::move(function), substrates, products);
  const std::string description = type->function->description();
  for (auto [it, end] = typesByDescription_.equal_range(description); it != end; ++it) {
    const TypeChoice& choice = types_[static_cast<std::size_t>(it->second)];
    const KineticType& other = choice.created ? *choice.created : *choice.existing;
    if (SameLaw(*type, other)) return it->second;
  }
  std::string name = baseName;
  for (int k = 2;; ++k) {
    const KineticType* existing = catalogue_.Find(name);
    if (existing != nullptr && existing->userDefined != 0 && SameLaw(*type, *existing) &&
        typeNames_.count(name) == 0) {
      types_.push_back({nullptr, existing, name});
      typeNames_.insert(name);
      typesByDescription_.emplace(description, static_cast<int>(types_.size()) - 1);
      return static_cast<int>(types_.size()) - 1;
    }
    if (existing == nullptr && typeNames_.count(name) == 0) break;
    name = baseName + " (" + std::to_string(k) + ")";
  }
  type->name = name;
  type->function->set_name(name);
  typeNames_.insert(name);
  types_.push_back({std::move(type), nullptr, name});
  typesByDescription_.emplace(description, static_cast<int>(types_.size()) - 1);
  return static_cast<int>(types_.size()) - 1;
}

void Importer::AddPart(PartStep part) {
  // The distinct leaves in the order the text names them: they become the
  // symbols of the type, bound in this order.
  std::vector<MathNode> leaves;
  std::set<std::pair<int, int>> seen;  // (kind, index)
  long long size = 0;
  sbml::VisitNodes(part.rate, [&](const MathNode& node) {
    ++size;
    if (node.kind != MathNode::Kind::kSpecies && node.kind != MathNode::Kind::kConstant) return;
    if (seen.emplace(static_cast<int>(node.kind), node.index).second) leaves.push_back(node);
  });
  Spend(size);
  sbml::SymbolNamer namer;
  std::map<std::pair<int, int>, std::string> names;  // (kind, index) -> symbol
  std::vector<std::pair<std::string, SymbolRole>> bindings;
  auto coefficientOf = [&](int species) {
    for (const auto& [s, n] : part.members) {
      if (s == species) return n;
    }
    return 0;
  };

  Step step;
  step.name = UniqueStepName(part.name);
  step.reversible = part.reversible;
  std::vector<int> substrates, products;
  std::vector<double> constants;
  BuiltStep built;
  for (const MathNode& leaf : leaves) {
    const bool isSpecies = leaf.kind == MathNode::Kind::kSpecies;
    const std::string& id = isSpecies ? species_[static_cast<std::size_t>(leaf.index)].id
                                      : constants_[static_cast<std::size_t>(leaf.index)].name;
    const std::string symbol = namer.Name(id);
    names[{static_cast<int>(leaf.kind), leaf.index}] = symbol;
    if (!isSpecies) {
      bindings.emplace_back(symbol, SymbolRole::kConstant);
      constants.push_back(constants_[static_cast<std::size_t>(leaf.index)].value);
      built.constantEntries.push_back(leaf.index);
      continue;
    }
    const int n = coefficientOf(leaf.index);
    if (n < 0) {
      bindings.emplace_back(symbol, SymbolRole::kSubstrate);
      substrates.push_back(leaf.index);
    } else if (n > 0) {
      bindings.emplace_back(symbol, SymbolRole::kProduct);
      products.push_back(leaf.index);
    } else {
      bindings.emplace_back(symbol, SymbolRole::kModifier);
      step.modifiers.push_back(leaf.index);
    }
  }
  // The law reads the first entry of each species it names; the remaining
  // units of stoichiometry follow.
  for (const auto& [species, n] : part.members) {
    built.stoichiometry.emplace_back(species, n);
    std::vector<int>& list = n < 0 ? substrates : products;
    const bool named = std::find(list.begin(), list.end(), species) != list.end();
    for (int unit = named ? 1 : 0; unit < std::abs(n); ++unit) list.push_back(species);
  }
  step.SizeSubstrates(static_cast<int>(substrates.size()));
  for (int s : substrates) step.AppendSubstrate(s);
  step.SizeProducts(static_cast<int>(products.size()));
  for (int p : products) step.AppendProduct(p);
  step.constants = constants;

  auto symbol = [&](const MathNode& leaf) {
    return names.at({static_cast<int>(leaf.kind), leaf.index});
  };
  const std::string modelId = sbml_.getId();
  const std::string typeName = (modelId.empty() ? std::string("SBML") : modelId) + ":" + step.name;
  auto function = std::make_unique<KineticFunction>(typeName, sbml::ExpressionText(part.rate, symbol));
  if (function->ParseKineticFunction() != 0) {
    // A law nested nearly as deeply as a rate law may be, written with no
    // more parentheses than it needs.
    function = std::make_unique<KineticFunction>(typeName, sbml::CompactExpressionText(part.rate, symbol));
    if (function->ParseKineticFunction() != 0) {
      throw Refusal("the kinetic law of " + Quoted(part.name) + ", which cannot be written as a rate law");
    }
  }
  function->ResetBindings();
  function->BindSymbols(bindings);
  function->set_reversible(step.reversible);
  built.type = ChooseType(typeName, std::move(function), step.nSubstrates, step.nProducts);
  built.step = std::move(step);
  steps_.push_back(std::move(built));
}

// Whether a name reads in a rule's expression as itself: a symbol of the
// rate-law dialect that is no function's name and no name that expressions
// reserve.
bool IsRuleSymbol(const std::string& name) {
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name.front()))) return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return KineticExpressionDialect().FunctionCode(name) == 0 && name != kTimeName &&
         FindNamedConstant(name) == nullptr;
}

// A species' rate is that of its concentration, or of its amount
// [S] V = [S]' V + [S] V' when the laws read its amount; a constant's rate
// is 0.
MathNode Importer::RateOfMath(const std::string& name, const std::string& where) {
  if (auto species = speciesIndex_.find(name); species != speciesIndex_.end()) {
    const int index = species->second;
    const SpeciesEntry& s = species_[static_cast<std::size_t>(index)];
    MathNode rate = sbml::Call(node_code::kRateOf, sbml::SpeciesNode(index));
    const std::optional<MathNode> value = Resolve(nullptr, name, where);
    if (value && value->kind == MathNode::Kind::kSpecies) return rate;
    const int volume = compartmentConstant_[static_cast<std::size_t>(s.compartment)];
    rate = sbml::Apply('*', std::move(rate), sbml::ConstantNode(volume));
    if (FixedSize(s.compartment)) return rate;
    return sbml::Apply(
        '+', std::move(rate),
        sbml::Apply('*', sbml::SpeciesNode(index),
                    sbml::Call(node_code::kRateOf, sbml::ConstantNode(volume))));
  }
  if (auto global = globalConstant_.find(name); global != globalConstant_.end()) {
    const ConstantEntry& entry = constants_[static_cast<std::size_t>(global->second)];
    if (entry.source == ConstantEntry::Source::kValue) return sbml::Number(0.0);
    if (entry.source == ConstantEntry::Source::kCompartment && FixedSize(entry.record)) {
      return sbml::Number(0.0);
    }
    if (entry.source == ConstantEntry::Source::kParameter &&
        !parameters_[static_cast<std::size_t>(entry.record)].quantity) {
      throw Refusal("the parameter " + Quoted(name) + " without a value in " + where);
    }
    return sbml::Call(node_code::kRateOf, sbml::ConstantNode(global->second));
  }
  if (auto reference = speciesReferences_.find(name); reference != speciesReferences_.end()) {
    if (Stoichiometry(*reference->second, 0)) return sbml::Number(0.0);
  }
  throw Refusal("a rateOf of " + Quoted(name) + ", which is no species, compartment or "
                "parameter, in " + where);
}

bool ExpressionParses(const std::string& text) {
  const ExpressionDialect& dialect = RuleExpressionDialect();
  std::vector<ExpressionNode> nodes;
  if (!BuildExpressionNodes(text, dialect, nodes)) return false;
  return LinkExpressionTree(nodes, dialect).errors == 0;
}

MathNode Importer::RuleMath(const lib::ASTNode* math, const std::string& where) {
  if (math == nullptr) throw Refusal(where + " without mathematics");
  sbml::MathTranslator translator(
      sbml_, [&](const std::string& name) { return Resolve(nullptr, name, where); });
  translator.AllowTime(sbml::ConstantNode(TimeConstant()));
  translator.AllowRateOf([&](const std::string& name) { return RateOfMath(name, where); });
  translator.AllowDelay([](MathNode argument, MathNode tau) {
    return sbml::Call(node_code::kDelay, std::move(argument), std::move(tau));
  });
  MathNode tree = translator.Translate(*math, where);
  Spend(translator.nodes());
  return tree;
}

// A rule's target is a metabolite's concentration, a compartment's volume
// or a global quantity's value. A species whose mathematics is its amount
// is set through its concentration, the amount divided by the size.
void Importer::AddRule(RuleKind kind, const std::string& variable, const lib::ASTNode* math) {
  const std::string where = (kind == RuleKind::kAssignment  ? "the assignment rule for "
                             : kind == RuleKind::kRate      ? "the rate rule for "
                             : kind == RuleKind::kAlgebraic ? "the algebraic rule determining "
                                                            : "the initial assignment to ") +
                            Quoted(variable);
  rules_.push_back(RuleFor(kind, variable, RuleMath(math, where), where));
}

// The target of a rule or of an event's assignment, with its tree made to
// give what the target holds (an amount turned into a concentration).
PendingRule Importer::RuleFor(RuleKind kind, const std::string& variable, MathNode tree,
                              const std::string& where) {
  PendingRule rule;
  rule.kind = kind;
  rule.tree = std::move(tree);
  if (auto species = speciesIndex_.find(variable); species != speciesIndex_.end()) {
    if (auto amount = amountQuantity_.find(species->second);
        amount != amountQuantity_.end() && kind != RuleKind::kAlgebraic) {
      // The tree gives the amount, which the quantity holds.
      rule.targetKind = RuleTargetKind::kGlobalQuantity;
      rule.record = constants_[static_cast<std::size_t>(amount->second)].record;
      return rule;
    }
    const SpeciesEntry& s = species_[static_cast<std::size_t>(species->second)];
    rule.targetKind = RuleTargetKind::kMetabolite;
    rule.record = species->second;
    // A constraint is 0 whatever its target's units: it is not divided.
    if (s.amountInLaws && kind != RuleKind::kAlgebraic) {
      auto sizeUse = ruleUses_.find(compartments_[static_cast<std::size_t>(s.compartment)].name);
      if (kind == RuleKind::kRate && sizeUse != ruleUses_.end() &&
          sizeUse->second.overTime != nullptr) {
        // The concentration n/V changes at (dn/dt - (n/V) dV/dt) / V, with
        // dV/dt the size's own rate rule (any other rule's size has an
        // amount quantity, see AmountQuantities).
        MathNode sizeRate = RuleMath(sizeUse->second.overTime->getMath(),
                                     "the rate rule for " + Quoted(sizeUse->first));
        rule.tree =
            sbml::Apply('-', std::move(rule.tree),
                        sbml::Apply('*', sbml::SpeciesNode(species->second), std::move(sizeRate)));
      }
      if (!(FixedSize(s.compartment) &&
            compartments_[static_cast<std::size_t>(s.compartment)].volume == 1.0)) {
        rule.tree = sbml::Apply('/', std::move(rule.tree),
                                sbml::ConstantNode(compartmentConstant_[s.compartment]));
      }
    }
  } else if (auto compartment = compartmentIndex_.find(variable);
             compartment != compartmentIndex_.end()) {
    if (dimensionless_.count(variable) > 0) {
      throw Refusal(where + ", a compartment of no spatial dimensions");
    }
    rule.targetKind = RuleTargetKind::kCompartmentVolume;
    rule.record = compartment->second;
  } else {
    auto parameter = globalConstant_.find(variable);
    if (parameter == globalConstant_.end())
      throw Refusal(where + ", which sets nothing Vireon has");
    rule.targetKind = RuleTargetKind::kGlobalQuantity;
    rule.record = constants_[static_cast<std::size_t>(parameter->second)].record;
  }
  return rule;
}

// Initial assignments that give values at time 0 to what the value reads
// are followed this deep.
constexpr int kMaxStartValueDepth = 100;

// Evaluates numbers only.
class NumbersOnly : public ExpressionBindings {
 public:
  double SymbolValue(const ExpressionNode&) override { return 0.0; }
};

// The value of a tree that reads nothing that changes over time (numbers,
// parameters and sizes that no rule sets over time, at their values at
// time 0), as the expression engine computes it; nothing when it reads
// anything else.
std::optional<double> Importer::StartValue(MathNode tree, int depth) {
  if (depth > kMaxStartValueDepth) return std::nullopt;
  std::vector<MathNode*> pending{&tree};
  while (!pending.empty()) {
    MathNode* node = pending.back();
    pending.pop_back();
    if (node->kind == MathNode::Kind::kSpecies) return std::nullopt;
    if (node->kind == MathNode::Kind::kConstant) {
      const ConstantEntry& entry = constants_[static_cast<std::size_t>(node->index)];
      if (entry.source == ConstantEntry::Source::kTime) return std::nullopt;
      double value = entry.value;
      if (entry.source != ConstantEntry::Source::kValue) {
        auto use = ruleUses_.find(entry.name);
        if (use != ruleUses_.end() &&
            (use->second.overTime != nullptr || use->second.eventTarget)) {
          return std::nullopt;
        }
        if (use != ruleUses_.end() && use->second.initial != nullptr) {
          const std::optional<double> start =
              StartValue(RuleMath(use->second.initial->getMath(),
                                  "the initial assignment to " + Quoted(entry.name)),
                         depth + 1);
          if (!start) return std::nullopt;
          value = *start;
        } else if (entry.source == ConstantEntry::Source::kParameter &&
                   !parameters_[static_cast<std::size_t>(entry.record)].hasValue) {
          return std::nullopt;
        }
      }
      *node = sbml::Number(value);
    }
    for (MathNode& child : node->children) pending.push_back(&child);
  }
  const std::string text =
      sbml::ExpressionText(tree, [](const MathNode&) { return std::string(); });
  const ExpressionDialect& dialect = KineticExpressionDialect();
  std::vector<ExpressionNode> nodes;
  if (!BuildExpressionNodes(text, dialect, nodes) ||
      LinkExpressionTree(nodes, dialect).errors != 0) {
    return std::nullopt;
  }
  NumbersOnly numbers;
  return EvaluateExpression(nodes, numbers);
}

// A species reference's stoichiometry when it is the same number from time
// 0 on: its value, or the value at time 0 of its stoichiometryMath or of
// its initial assignment. Nothing when a rule changes it over time or it
// has no value.
std::optional<double> Importer::Stoichiometry(const lib::SpeciesReference& reference, int depth) {
  // A stoichiometry whose value reads itself has none.
  if (!evaluating_.insert(&reference).second) return std::nullopt;
  struct Done {
    std::set<const lib::SpeciesReference*>& evaluating;
    const lib::SpeciesReference* reference;
    ~Done() { evaluating.erase(reference); }
  } done{evaluating_, &reference};
  const std::string where = "the stoichiometry of " + Quoted(reference.getSpecies());
  if (reference.getLevel() < 3 && reference.isSetStoichiometryMath()) {
    const lib::StoichiometryMath* math = reference.getStoichiometryMath();
    if (math == nullptr || !math->isSetMath()) return std::nullopt;
    return StartValue(
        RuleMath(math->getMath(), "the stoichiometryMath of " + Quoted(reference.getSpecies())),
        depth + 1);
  }
  if (reference.isSetId()) {
    auto use = ruleUses_.find(reference.getId());
    if (use != ruleUses_.end() && use->second.overTime != nullptr) return std::nullopt;
    if (use != ruleUses_.end() && use->second.initial != nullptr) {
      return StartValue(RuleMath(use->second.initial->getMath(),
                                 "the initial assignment to " + Quoted(reference.getId())),
                        depth + 1);
    }
  }
  if (reference.getLevel() >= 3 && !reference.isSetStoichiometry()) return std::nullopt;
  return reference.getStoichiometry();
}

// Rules first, then initial assignments, each in the order of the file.
// A rate rule gives the rate of a species' amount when the laws read its
// amount. In a compartment whose size follows an assignment or algebraic
// rule, the size's rate is not known, so the concentration's is not
// either: the amount is integrated as a global quantity of its own, and the
// species' concentration follows it, amount over size. The species' initial
// assignment and the events' assignments to it set the quantity.
void Importer::AmountQuantities() {
  for (unsigned int i = 0; i < sbml_.getNumRules(); ++i) {
    const lib::Rule* rule = sbml_.getRule(i);
    if (!rule->isRate()) continue;
    auto species = speciesIndex_.find(rule->getVariable());
    if (species == speciesIndex_.end()) continue;
    const int m = species->second;
    const SpeciesEntry& s = species_[static_cast<std::size_t>(m)];
    if (!s.amountInLaws) continue;
    auto sizeUse = ruleUses_.find(compartments_[static_cast<std::size_t>(s.compartment)].name);
    if (sizeUse == ruleUses_.end() || sizeUse->second.overTime == nullptr ||
        sizeUse->second.rate()) {
      continue;
    }
    const int size = compartmentConstant_[static_cast<std::size_t>(s.compartment)];
    const bool initialGiven = ruleUses_[s.id].initial != nullptr;
    const int quantity =
        AddQuantity(FreeId("amount_" + s.id), initialGiven ? std::nullopt : s.initialAmount);
    amountQuantity_[m] = quantity;
    const int record = constants_[static_cast<std::size_t>(quantity)].record;
    if (!initialGiven && !s.initialAmount) {
      rules_.push_back({RuleKind::kInitialAssignment, RuleTargetKind::kGlobalQuantity, record,
                        sbml::Apply('*', sbml::Number(s.initialConcentration),
                                    sbml::ConstantNode(size))});
    }
    rules_.push_back({RuleKind::kAssignment, RuleTargetKind::kMetabolite, m,
                      sbml::Apply('/', sbml::ConstantNode(quantity), sbml::ConstantNode(size))});
  }
}

void Importer::ReadRules() {
  AmountQuantities();
  auto add = [&](RuleKind kind, const std::string& variable, const lib::ASTNode* math) {
    try {
      AddRule(kind, variable, math);
    } catch (const BudgetSpent&) {
      throw;
    } catch (const Refusal& refusal) {
      problems_.push_back(refusal.what());
    }
  };
  for (unsigned int i = 0; i < sbml_.getNumRules(); ++i) {
    const lib::Rule* rule = sbml_.getRule(i);
    if (rule->isAlgebraic()) {
      if (!algebraic_.variables[i].empty()) {
        add(RuleKind::kAlgebraic, algebraic_.variables[i], rule->getMath());
      }
      continue;
    }
    add(rule->isRate() ? RuleKind::kRate : RuleKind::kAssignment, rule->getVariable(),
        rule->getMath());
  }
  for (unsigned int i = 0; i < sbml_.getNumInitialAssignments(); ++i) {
    const lib::InitialAssignment* assignment = sbml_.getInitialAssignment(i);
    // A stoichiometry that never changes has its value at time 0 in its
    // step already; one that changes holds it in its quantity.
    if (speciesReferences_.count(assignment->getSymbol()) > 0 &&
        globalConstant_.count(assignment->getSymbol()) == 0) {
      continue;
    }
    add(RuleKind::kInitialAssignment, assignment->getSymbol(), assignment->getMath());
  }
  for (const auto& [id, math] : stoichiometryMaths_) add(RuleKind::kAssignment, id, math);
  InitialAmounts();
}

// The events: their trigger, delay and priority, and their assignments,
// whose targets are read as a rule's. SBML before level 3 has no
// initialValue, persistence or priority: its events behave as with the
// trigger true before time 0 and persistent.
void Importer::ReadEvents() {
  for (unsigned int i = 0; i < sbml_.getNumEvents(); ++i) {
    const lib::Event* e = sbml_.getEvent(i);
    const std::string name = e->isSetId() ? e->getId() : "event" + std::to_string(i + 1);
    const std::string where = "the event " + Quoted(name);
    try {
      PendingEvent pending;
      pending.event.name = name;
      const lib::Trigger* trigger = e->getTrigger();
      pending.trigger = RuleMath(trigger->getMath(), "the trigger of " + where);
      if (sbml_.getLevel() >= 3) {
        pending.event.initialValue = trigger->getInitialValue();
        pending.event.persistent = trigger->getPersistent();
      }
      if (e->isSetUseValuesFromTriggerTime()) {
        pending.event.useValuesFromTriggerTime = e->getUseValuesFromTriggerTime();
      }
      // A delay, a priority or an assignment without mathematics (SBML
      // level 3 version 2 allows it) is none.
      if (e->isSetDelay() && e->getDelay()->isSetMath()) {
        pending.delay = RuleMath(e->getDelay()->getMath(), "the delay of " + where);
      }
      if (e->isSetPriority() && e->getPriority()->isSetMath()) {
        pending.priority = RuleMath(e->getPriority()->getMath(), "the priority of " + where);
      }
      for (unsigned int j = 0; j < e->getNumEventAssignments(); ++j) {
        const lib::EventAssignment* assignment = e->getEventAssignment(j);
        if (!assignment->isSetMath()) continue;
        const std::string& variable = assignment->getVariable();
        if (dimensionless_.count(variable) > 0) {
          throw Refusal("the assignment of " + where + " to the compartment " + Quoted(variable) +
                        " of no spatial dimensions");
        }
        const std::string assignmentWhere =
            "the assignment of " + where + " to " + Quoted(variable);
        // An amount becomes a concentration by the size when the values are
        // computed; with a delay that is not the size at the execution, so
        // the assignment keeps the amount, and the engine divides it by the
        // size when it carries it out.
        if (auto species = speciesIndex_.find(variable); species != speciesIndex_.end()) {
          const SpeciesEntry& s = species_[static_cast<std::size_t>(species->second)];
          if (s.amountInLaws && !FixedSize(s.compartment) && pending.delay &&
              pending.event.useValuesFromTriggerTime &&
              amountQuantity_.count(species->second) == 0) {
            PendingRule amount;
            amount.targetKind = RuleTargetKind::kMetabolite;
            amount.record = species->second;
            amount.tree = RuleMath(assignment->getMath(), assignmentWhere);
            amount.amount = true;
            pending.assignments.push_back(std::move(amount));
            continue;
          }
        }
        pending.assignments.push_back(RuleFor(RuleKind::kAssignment, variable,
                                              RuleMath(assignment->getMath(), assignmentWhere),
                                              assignmentWhere));
      }
      events_.push_back(std::move(pending));
    } catch (const BudgetSpent&) {
      throw;
    } catch (const Refusal& refusal) {
      problems_.push_back(refusal.what());
    }
  }
}

std::vector<Event> Importer::WriteEvents() {
  std::vector<Event> events;
  for (const PendingEvent& pending : events_) {
    Event event = pending.event;
    event.trigger = RuleText(pending.trigger);
    if (pending.delay) event.delay = RuleText(*pending.delay);
    if (pending.priority) event.priority = RuleText(*pending.priority);
    for (const PendingRule& assignment : pending.assignments) {
      EventAssignment written;
      written.target.kind = assignment.targetKind;
      const auto record = static_cast<std::size_t>(assignment.record);
      switch (assignment.targetKind) {
        case RuleTargetKind::kMetabolite:
          written.target.name = speciesNames_[record];
          break;
        case RuleTargetKind::kCompartmentVolume:
          written.target.name = compartmentNames_[record];
          break;
        default:
          written.target.name = parameterNames_[record];
          break;
      }
      written.expression = RuleText(assignment.tree);
      written.amount = assignment.amount;
      event.assignments.push_back(std::move(written));
    }
    events.push_back(std::move(event));
  }
  return events;
}

// A species given as an amount in a compartment whose size is known only
// at time 0 gets its concentration then. (A species that nothing changes
// keeps its amount while its compartment's size changes, in SBML as in a
// Vireon model.)
void Importer::InitialAmounts() {
  for (std::size_t m = 0; m < species_.size(); ++m) {
    const SpeciesEntry& s = species_[m];
    auto use = ruleUses_.find(s.id);
    const bool given =
        use != ruleUses_.end() && (use->second.initial != nullptr || use->second.assigned());
    if (!s.initialAmount || given || amountQuantity_.count(static_cast<int>(m)) > 0) continue;
    rules_.push_back({RuleKind::kInitialAssignment, RuleTargetKind::kMetabolite,
                      static_cast<int>(m),
                      sbml::Apply('/', sbml::Number(*s.initialAmount),
                                  sbml::ConstantNode(compartmentConstant_[s.compartment]))});
  }
}

// Names: every record keeps its id, unless a rule must read an id that
// does not read as a symbol there; a parameter never keeps a name that
// expressions reserve. New names are free among all ids and step names.
void Importer::NameRecords() {
  std::vector<bool> readSpecies(species_.size()), readCompartments(compartments_.size()),
      readParameters(parameters_.size());
  auto markEntry = [&](int index) {
    const ConstantEntry& entry = constants_[static_cast<std::size_t>(index)];
    if (entry.source == ConstantEntry::Source::kParameter) readParameters[entry.record] = true;
    if (entry.source == ConstantEntry::Source::kCompartment) readCompartments[entry.record] = true;
  };
  const auto markTree = [&](const MathNode& tree) {
    sbml::VisitNodes(tree, [&](const MathNode& node) {
      if (node.kind == MathNode::Kind::kSpecies)
        readSpecies[static_cast<std::size_t>(node.index)] = true;
      if (node.kind == MathNode::Kind::kConstant) markEntry(node.index);
    });
  };
  for (const PendingRule& rule : rules_) markTree(rule.tree);
  for (const PendingEvent& event : events_) {
    markTree(event.trigger);
    if (event.delay) markTree(*event.delay);
    if (event.priority) markTree(*event.priority);
    for (const PendingRule& assignment : event.assignments) markTree(assignment.tree);
  }
  for (const BuiltStep& built : steps_) {
    for (int entry : built.constantEntries) markEntry(entry);
  }
  sbml::SymbolNamer symbols;
  for (const SpeciesEntry& s : species_) symbols.Reserve(s.id);
  for (const Compartment& c : compartments_) symbols.Reserve(c.name);
  for (const ParameterEntry& p : parameters_) symbols.Reserve(p.id);
  for (const std::string& step : stepNames_) symbols.Reserve(step);
  symbols.Reserve(std::string(kTimeName));
  for (const NamedConstant& constant : NamedConstants())
    symbols.Reserve(std::string(constant.text));
  auto name = [&](const std::string& id, bool read) {
    return !read || IsRuleSymbol(id) ? id : symbols.Name(id);
  };
  for (std::size_t m = 0; m < species_.size(); ++m) {
    speciesNames_.push_back(name(species_[m].id, readSpecies[m]));
  }
  for (std::size_t c = 0; c < compartments_.size(); ++c) {
    compartmentNames_.push_back(name(compartments_[c].name, readCompartments[c]));
  }
  for (std::size_t p = 0; p < parameters_.size(); ++p) {
    const std::string& id = parameters_[p].id;
    const bool reserved = id == kTimeName || FindNamedConstant(id) != nullptr;
    parameterNames_.push_back(name(id, readParameters[p] || reserved));
  }
}

// The text of a rule's tree: constants that stand for no quantity become
// their numbers, the others the names of their quantities.
std::string Importer::RuleText(const MathNode& tree) {
  std::vector<MathNode*> pending;
  MathNode text = tree;
  pending.push_back(&text);
  while (!pending.empty()) {
    MathNode* node = pending.back();
    pending.pop_back();
    if (node->kind == MathNode::Kind::kConstant &&
        constants_[static_cast<std::size_t>(node->index)].source == ConstantEntry::Source::kValue) {
      *node = sbml::Number(constants_[static_cast<std::size_t>(node->index)].value);
    }
    // The dialect has no literal for an infinite or undefined number; the
    // divisions by zero that give them say the same.
    if (node->kind == MathNode::Kind::kNumber && !std::isfinite(node->value)) {
      const double value = node->value;
      *node = sbml::Apply('/', sbml::Number(std::isnan(value) ? 0.0 : 1.0), sbml::Number(0.0));
      if (value < 0.0) *node = sbml::Function('-', std::move(*node));
      continue;
    }
    for (MathNode& child : node->children) pending.push_back(&child);
  }
  auto symbol = [&](const MathNode& leaf) -> std::string {
    if (leaf.kind == MathNode::Kind::kSpecies)
      return speciesNames_[static_cast<std::size_t>(leaf.index)];
    const ConstantEntry& entry = constants_[static_cast<std::size_t>(leaf.index)];
    switch (entry.source) {
      case ConstantEntry::Source::kParameter:
        return parameterNames_[static_cast<std::size_t>(entry.record)];
      case ConstantEntry::Source::kCompartment:
        return compartmentNames_[static_cast<std::size_t>(entry.record)];
      default:
        return std::string(kTimeName);
    }
  };
  std::string result = sbml::ExpressionText(text, symbol);
  if (!ExpressionParses(result)) result = sbml::CompactExpressionText(text, symbol);
  return result;
}

// The model's rules: those of the file in its order, the amounts kept,
// then the step constants that follow quantities, step by step.
std::vector<Rule> Importer::WriteRules() {
  std::vector<Rule> rules;
  for (const PendingRule& pending : rules_) {
    Rule rule;
    rule.kind = pending.kind;
    rule.target.kind = pending.targetKind;
    const auto record = static_cast<std::size_t>(pending.record);
    switch (pending.targetKind) {
      case RuleTargetKind::kMetabolite:
        rule.target.name = speciesNames_[record];
        break;
      case RuleTargetKind::kCompartmentVolume:
        rule.target.name = compartmentNames_[record];
        break;
      case RuleTargetKind::kStoichiometry:
        rule.target.name = steps_[record].step.name;
        rule.target.constant = speciesNames_[static_cast<std::size_t>(pending.species)];
        break;
      default:
        rule.target.name = parameterNames_[record];
        break;
    }
    rule.expression = RuleText(pending.tree);
    rules.push_back(std::move(rule));
  }
  for (const BuiltStep& built : steps_) {
    const TypeChoice& choice = types_[static_cast<std::size_t>(built.type)];
    const KineticType& type = choice.created ? *choice.created : *choice.existing;
    for (std::size_t i = 0; i < built.constantEntries.size(); ++i) {
      const int entry = built.constantEntries[i];
      if (constants_[static_cast<std::size_t>(entry)].source == ConstantEntry::Source::kValue)
        continue;
      Rule rule;
      rule.target = {RuleTargetKind::kKineticConstant, built.step.name, type.constantNames[i]};
      rule.expression = RuleText(sbml::ConstantNode(entry));
      rules.push_back(std::move(rule));
    }
  }
  return rules;
}

std::map<std::string, std::string> Importer::RenamedIds() const {
  std::map<std::string, std::string> renamed;
  auto add = [&](const std::string& id, const std::string& name) {
    if (id != name) renamed.emplace(id, name);
  };
  for (std::size_t m = 0; m < speciesNames_.size(); ++m) add(species_[m].id, speciesNames_[m]);
  for (std::size_t c = 0; c < compartmentNames_.size(); ++c) {
    add(compartments_[c].name, compartmentNames_[c]);
  }
  for (std::size_t p = 0; p < parameterNames_.size(); ++p) {
    if (parameters_[p].quantity) add(parameters_[p].id, parameterNames_[p]);
  }
  return renamed;
}

bool Importer::Build(Model& model, std::vector<std::unique_ptr<KineticType>>& newTypes) {
  ScanRules();
  CheckConstructs();
  ReadCompartments();
  ReadParameters();
  ReadSpecies();
  if (!problems_.empty()) return false;
  ReadVariableStoichiometries();
  if (!problems_.empty()) return false;
  // Every reaction gives one step or more: a model too large to be loaded
  // is refused before its laws are read, and again once its steps are known.
  CheckSize(sbml_.getNumReactions());
  if (!problems_.empty()) return false;
  // Step names never take a parameter's id, which a global quantity keeps.
  for (const ParameterEntry& p : parameters_) stepNames_.insert(p.id);
  // A law named in several reactions refuses each of them with one message.
  std::set<std::string> listed;
  try {
    ReadLaws();
    for (unsigned int i = 0; i < sbml_.getNumReactions(); ++i) {
      try {
        const std::size_t first = steps_.size();
        ReadReaction(*sbml_.getReaction(i), laws_[i]);
        MarkFast(*sbml_.getReaction(i), first);
      } catch (const BudgetSpent&) {
        throw;
      } catch (const Refusal& refusal) {
        if (listed.insert(refusal.what()).second) problems_.push_back(refusal.what());
      }
    }
    ReadRules();
    ReadEvents();
  } catch (const BudgetSpent& spent) {
    problems_.push_back(spent.what());
  }
  for (const ParameterEntry& p : parameters_) stepNames_.erase(p.id);
  if (!problems_.empty()) return false;
  CheckSize(steps_.size());
  CheckEquationText();
  if (!problems_.empty()) return false;
  NameRecords();
  std::vector<Rule> rules = WriteRules();
  std::vector<Event> events = WriteEvents();
  if (!problems_.empty()) return false;

  Model result;
  const int nCompartments = std::max(1, static_cast<int>(compartments_.size()));
  result.Reset(static_cast<int>(steps_.size()), static_cast<int>(species_.size()), 0, 0,
               nCompartments, sbml_.isSetName() ? sbml_.getName()
                                                : (sbml_.isSetId() ? sbml_.getId() : "Untitled"));
  for (std::size_t c = 0; c < compartments_.size(); ++c) {
    result.compartments[c] = compartments_[c];
    result.compartments[c].name = compartmentNames_[c];
  }
  for (std::size_t m = 0; m < species_.size(); ++m) {
    const SpeciesEntry& s = species_[m];
    result.metabolites[m] = Metabolite(speciesNames_[m], s.fixed ? FIXED : INDEPENDENT,
                                       s.compartment, s.initialConcentration);
  }
  result.ZeroStoichiometry();
  for (std::size_t k = 0; k < steps_.size(); ++k) {
    result.steps[k] = std::move(steps_[k].step);
    for (const auto& [species, n] : steps_[k].stoichiometry) {
      result.stoichiometry[static_cast<std::size_t>(species)][k] = static_cast<float>(n);
    }
  }
  for (std::size_t p = 0; p < parameters_.size(); ++p) {
    if (parameters_[p].quantity) {
      result.globalQuantities.push_back({parameterNames_[p], parameters_[p].value});
    }
  }
  result.rules = std::move(rules);
  result.events = std::move(events);
  if (sbml_.isSetNotes() && sbml_.getNotes() != nullptr) {
    std::string raw;
    AppendNotesText(*sbml_.getNotes(), raw);
    result.comments = TidyNotes(raw);
  }
  // Types: the new ones go to the caller, who enters them in the catalogue
  // and binds the steps by name.
  for (std::size_t k = 0; k < steps_.size(); ++k) {
    const TypeChoice& choice = types_[static_cast<std::size_t>(steps_[k].type)];
    result.steps[k].kineticTypeName = choice.key;
    result.steps[k].kineticType = choice.existing;
  }
  // The rules as the model file's reader will check them, the steps bound
  // to their types meanwhile.
  if (!result.rules.empty() || !result.globalQuantities.empty() || !result.events.empty()) {
    std::vector<const KineticType*> bound;
    for (std::size_t k = 0; k < steps_.size(); ++k) {
      const TypeChoice& choice = types_[static_cast<std::size_t>(steps_[k].type)];
      bound.push_back(result.steps[k].kineticType);
      result.steps[k].kineticType = choice.created ? choice.created.get() : choice.existing;
    }
    Model others = result;
    others.globalQuantities.clear();
    for (const GlobalQuantity& q : result.globalQuantities) {
      const std::string problem = GlobalQuantityNameProblem(others, q.name);
      if (!problem.empty()) problems_.push_back("the parameter " + Quoted(q.name) + ": " + problem);
    }
    const RulesCheck check = CheckRules(result);
    if (!check.ok()) problems_.push_back(check.message);
    const EventsCheck eventsCheck = CheckEvents(result);
    if (check.ok() && !eventsCheck.ok()) problems_.push_back(eventsCheck.message);
    for (std::size_t k = 0; k < steps_.size(); ++k) result.steps[k].kineticType = bound[k];
    if (!problems_.empty()) return false;
  }
  for (TypeChoice& choice : types_) {
    if (choice.created) newTypes.push_back(std::move(choice.created));
  }
  model = std::move(result);
  return true;
}

// A rule, an initial assignment or an event without mathematics (which
// Level 3 Version 2 allows) says nothing: the model behaves as if it were
// not there.
void DropWhatHasNoMath(lib::Model& model) {
  for (unsigned int i = model.getNumRules(); i-- > 0;) {
    if (!model.getRule(i)->isSetMath()) delete model.removeRule(i);
  }
  for (unsigned int i = model.getNumInitialAssignments(); i-- > 0;) {
    if (!model.getInitialAssignment(i)->isSetMath()) delete model.removeInitialAssignment(i);
  }
  // An event without a trigger's mathematics can never fire, and an
  // assignment without mathematics sets nothing.
  for (unsigned int i = model.getNumEvents(); i-- > 0;) {
    lib::Event* event = model.getEvent(i);
    if (!event->isSetTrigger() || !event->getTrigger()->isSetMath()) {
      delete model.removeEvent(i);
      continue;
    }
    for (unsigned int j = event->getNumEventAssignments(); j-- > 0;) {
      if (!event->getEventAssignment(j)->isSetMath()) delete event->removeEventAssignment(j);
    }
  }
}

SbmlImportResult Refused(std::vector<std::string> problems) {
  SbmlImportResult result;
  result.problems = std::move(problems);
  return result;
}

// A model of submodels as one model, by libSBML's flattening. Models kept
// in other files are read from beside `file`, the model's own, once they
// are checked.
std::vector<std::string> Flatten(lib::SBMLDocument& document, const std::filesystem::path& file) {
  auto* plugin = dynamic_cast<lib::CompSBMLDocumentPlugin*>(document.getPlugin("comp"));
  if (plugin != nullptr && plugin->getNumExternalModelDefinitions() > 0) {
    std::vector<std::string> problems = sbml::CheckExternalModels(document, file);
    if (!problems.empty()) return problems;
    std::error_code error;
    document.setLocationURI("file:" + std::filesystem::weakly_canonical(file, error).string());
  }
  lib::ConversionProperties properties;
  properties.addOption("flatten comp", true);
  properties.addOption("performValidation", false);
  const unsigned int errorsBefore = document.getNumErrors();
  if (document.convert(properties) == LIBSBML_CPP_NAMESPACE_QUALIFIER LIBSBML_OPERATION_SUCCESS &&
      document.getModel() != nullptr) {
    return {};
  }
  std::vector<std::string> problems;
  for (unsigned int i = errorsBefore; i < document.getNumErrors(); ++i) {
    const lib::SBMLError* error = document.getError(i);
    if (error->getSeverity() < lib::LIBSBML_SEV_ERROR || problems.size() >= kMaxListedReadErrors) {
      continue;
    }
    std::string message = error->getMessage();
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    problems.push_back("the SBML package \"comp\", whose model could not be flattened: " + message);
  }
  if (problems.empty()) {
    problems.push_back("the SBML package \"comp\", whose model could not be flattened");
  }
  return problems;
}

// Reads the text and builds the model and the types it needs, without
// touching the catalogue; a result without problems means it was built, and
// lists the ids renamed.
SbmlImportResult Read(std::string_view text, const std::filesystem::path& file,
                      const KineticCatalogue& catalogue, Model& imported,
                      std::vector<std::unique_ptr<KineticType>>& newTypes) {
  const sbml::XmlDepth depth = sbml::MeasureXmlDepth(text, kMaxSbmlXmlDepth);
  if (depth.line > 0) {
    return Refused({"line " + std::to_string(depth.line) + ": elements nested deeper than the " +
                    std::to_string(kMaxSbmlXmlDepth) + " levels an SBML file may have"});
  }
  if (depth.entity) return Refused({"an XML entity declaration, which SBML files do not use"});
  std::unique_ptr<lib::SBMLDocument> document(
      lib::readSBMLFromString(std::string(text).c_str()));
  if (!document) return Refused({"the file could not be read as SBML"});
  std::vector<std::string> problems;
  for (unsigned int i = 0; i < document->getNumErrors(); ++i) {
    const lib::SBMLError* error = document->getError(i);
    if (error->getSeverity() < lib::LIBSBML_SEV_ERROR) continue;
    if (problems.size() < kMaxListedReadErrors) {
      std::string message = error->getMessage();
      while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
      problems.push_back("line " + std::to_string(error->getLine()) + ": " + message);
    }
  }
  if (!problems.empty()) return Refused(std::move(problems));
  if (document->getModel() == nullptr) return Refused({"the file holds no model"});
  if (document->getLevel() < 2) return Refused({"SBML Level 1 (Vireon reads Levels 2 and 3)"});
  if (document->getLevel() >= 3 && document->isPackageEnabled("comp")) {
    std::vector<std::string> refused = Flatten(*document, file);
    if (!refused.empty()) return Refused(std::move(refused));
  }
  // Packages exist from Level 3 on; a model that needs one to be understood
  // says so with required="true". libSBML carries the mathematics of Level 3
  // Version 2 core as a package of its own.
  for (unsigned int i = 0; document->getLevel() >= 3 && i < document->getNumPlugins(); ++i) {
    const std::string package = document->getPlugin(i)->getPackageName();
    if (package == "l3v2extendedmath") continue;
    if (document->isPackageEnabled(package) && document->getPackageRequired(package)) {
      problems.push_back("the SBML package " + Quoted(package));
    }
  }
  for (int i = 0; i < document->getNumUnknownPackages(); ++i) {
    problems.push_back("the unknown SBML package " + Quoted(document->getUnknownPackagePrefix(i)));
  }
  // A flux-balance model may leave its package optional, but without kinetic
  // laws it describes no time course: say so before listing the reactions.
  if (document->getLevel() >= 3 && document->isPackageEnabled("fbc")) {
    const lib::Model& m = *document->getModel();
    for (unsigned int i = 0; i < m.getNumReactions(); ++i) {
      if (!m.getReaction(i)->isSetKineticLaw()) {
        problems.push_back("a flux-balance model of the SBML package \"fbc\", which has no time "
                           "course (reactions without kinetic laws)");
        break;
      }
    }
  }
  if (!problems.empty()) return Refused(std::move(problems));

  DropWhatHasNoMath(*document->getModel());
  Importer importer(*document->getModel(), catalogue);
  if (!importer.Build(imported, newTypes)) return Refused(std::move(importer.problems()));
  SbmlImportResult built;
  built.renamedIds = importer.RenamedIds();
  built.reactionRates = importer.ReactionRates();
  return built;
}

// The import of the text of `file` (empty for text of no file).
SbmlImportResult ImportText(std::string_view text, const std::filesystem::path& file,
                            KineticCatalogue& catalogue, Model& model) {
  std::vector<std::unique_ptr<KineticType>> newTypes;
  Model imported;
  // libSBML meets some faults of a file by throwing, a namespace that names
  // a package at a level it does not know among them.
  SbmlImportResult read;
  try {
    read = Read(text, file, catalogue, imported, newTypes);
    if (!read.problems.empty()) return read;
  } catch (const std::exception& error) {
    return Refused({std::string("the file could not be read as SBML: ") + error.what()});
  }

  // The steps are bound to the new types before these join the catalogue,
  // so that a model whose rules cannot be followed leaves it as it was.
  std::unordered_map<std::string_view, KineticType*> newTypeNamed;
  newTypeNamed.reserve(newTypes.size());
  for (const std::unique_ptr<KineticType>& type : newTypes) newTypeNamed[type->name] = type.get();
  for (Step& step : imported.steps) {
    if (step.kineticType != nullptr) continue;
    const auto made = newTypeNamed.find(step.kineticTypeName);
    step.kineticType = made != newTypeNamed.end() ? made->second : catalogue.Find(step.kineticTypeName);
  }
  RebuildEquations(imported);
  StructuralAnalysis(imported);
  if (!imported.rules.empty()) {
    std::string problem = RuleSystem::Problem(imported);
    if (!problem.empty()) return Refused({"rules that cannot be followed: " + problem});
  }
  if (const std::string problem = FastStepsProblem(imported); !problem.empty()) {
    return Refused({"fast reactions that cannot be followed: " + problem});
  }
  for (std::unique_ptr<KineticType>& type : newTypes) {
    const KineticType* made = type.get();
    const std::string name = type->name;
    if (catalogue.Insert(std::move(type)) != nullptr) continue;
    // A type of that name is there already: the steps take it.
    for (Step& step : imported.steps) {
      if (step.kineticType == made) step.kineticType = catalogue.Find(name);
    }
  }
  model = std::move(imported);
  read.imported = true;
  return read;
}

}  // namespace

SbmlImportResult ImportSbmlText(std::string_view text, KineticCatalogue& catalogue, Model& model) {
  return ImportText(text, {}, catalogue, model);
}

SbmlImportResult ImportSbmlFile(const std::string& path, KineticCatalogue& catalogue, Model& model) {
  // Read as every model file is: without blocking, a regular file only,
  // within the size limit.
  std::string contents;
  const InputFileResult read = ReadInputFile(path, kMaxSbmlFileBytes, contents);
  if (read.cause == FileErrorCause::kFileTooLarge) {
    return Refused({path + ": the file is too large"});
  }
  if (!read.ok()) return Refused({path + ": " + read.reason});
  return ImportText(contents, path, catalogue, model);
}

bool IsSbmlFileName(std::string_view path) {
  if (path.size() < 4) return true;
  std::string extension(path.substr(path.size() - 4));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension != ".vrn";
}

}  // namespace vireon
