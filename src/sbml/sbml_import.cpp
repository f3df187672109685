#include "sbml/sbml_import.h"

#include "sbml/libsbml.h"


#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <set>
#include <sstream>

#include "document/model_file.h"
#include "kinetics/expression.h"
#include "kinetics/kinetic_function.h"
#include "model/equation_parser.h"
#include "model/file_access.h"
#include "model/record_cursor.h"
#include "model/structural_analysis.h"
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
// compartment's size, or a number the rate-law dialect would round.
struct ConstantEntry {
  std::string name;  // the SBML id, or a name for a number
  double value = 0.0;
  bool isCompartment = false;
};

struct SpeciesEntry {
  std::string id;
  int compartment = 0;
  double initialConcentration = 0.0;
  bool fixed = false;
  bool amountInLaws = false;  // hasOnlySubstanceUnits
  double conversionFactor = 1.0;
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

class Importer {
 public:
  Importer(const lib::Model& model, const KineticCatalogue& catalogue)
      : sbml_(model), catalogue_(catalogue) {}

  // Builds the model; on refusal fills problems_ and returns false.
  bool Build(Model& model, std::vector<std::unique_ptr<KineticType>>& newTypes);
  std::vector<std::string>& problems() { return problems_; }

 private:
  void CheckConstructs();
  void ReadCompartments();
  void ReadSpecies();
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
  MathNode Law(const lib::Reaction& reaction);
  std::optional<MathNode> Resolve(const lib::Reaction& reaction, const std::string& name);
  MathNode ReplaceInexactNumbers(MathNode node);
  int NumberConstant(double value);
  MathNode PartRate(const MathNode& law, double scale, int compartment) ;
  void AddPart(PartStep part);
  int ChooseType(const std::string& baseName, std::unique_ptr<KineticFunction> function,
                 int substrates, int products);
  std::string UniqueStepName(const std::string& base);

  const lib::Model& sbml_;
  const KineticCatalogue& catalogue_;
  std::vector<std::string> problems_;

  std::vector<Compartment> compartments_;
  std::map<std::string, int> compartmentIndex_;
  std::set<std::string> dimensionless_;
  std::vector<int> compartmentConstant_;  // constant index of each compartment's size
  std::vector<SpeciesEntry> species_;
  std::map<std::string, int> speciesIndex_;
  std::vector<ConstantEntry> constants_;
  std::map<std::string, int> globalConstant_;  // parameter and compartment ids
  std::map<std::pair<std::string, std::string>, int> localConstant_;  // (reaction, id)
  std::map<std::string, int> reactionIndex_;
  std::vector<LawEntry> laws_;  // per reaction, once translated
  std::map<std::string, FunctionNames> functionNames_;
  long long spentNodes_ = 0;

  std::vector<BuiltStep> steps_;
  std::set<std::string> stepNames_;
  std::vector<TypeChoice> types_;
  std::multimap<std::string, int> typesByDescription_;  // indices into types_
  std::set<std::string> typeNames_;
};

void Importer::CheckConstructs() {
  const lib::Model& m = sbml_;
  for (unsigned int i = 0; i < m.getNumRules(); ++i) {
    const lib::Rule* rule = m.getRule(i);
    if (rule->isAlgebraic()) {
      problems_.push_back("algebraic rule number " + std::to_string(i + 1));
    } else {
      const std::string kind = rule->isRate() ? "rate rule" : "assignment rule";
      problems_.push_back(kind + " for " + Quoted(rule->getVariable()));
    }
  }
  for (unsigned int i = 0; i < m.getNumEvents(); ++i) {
    const lib::Event* event = m.getEvent(i);
    problems_.push_back(event->isSetId() ? "event " + Quoted(event->getId())
                                         : "event number " + std::to_string(i + 1));
  }
  for (unsigned int i = 0; i < m.getNumConstraints(); ++i) {
    problems_.push_back("constraint number " + std::to_string(i + 1));
  }
  for (unsigned int i = 0; i < m.getNumInitialAssignments(); ++i) {
    problems_.push_back("initial assignment to " + Quoted(m.getInitialAssignment(i)->getSymbol()));
  }
  // A compartment whose size a rule or an event changes.
  std::set<std::string> changed;
  for (unsigned int i = 0; i < m.getNumRules(); ++i) changed.insert(m.getRule(i)->getVariable());
  for (unsigned int i = 0; i < m.getNumEvents(); ++i) {
    const lib::Event* event = m.getEvent(i);
    for (unsigned int j = 0; j < event->getNumEventAssignments(); ++j) {
      changed.insert(event->getEventAssignment(j)->getVariable());
    }
  }
  for (unsigned int i = 0; i < m.getNumCompartments(); ++i) {
    const lib::Compartment* c = m.getCompartment(i);
    if (!c->getConstant() && changed.count(c->getId()) > 0) {
      problems_.push_back("non-constant compartment " + Quoted(c->getId()));
    }
  }
  for (unsigned int i = 0; i < m.getNumReactions(); ++i) {
    const lib::Reaction* r = m.getReaction(i);
    if (r->isSetFast() && r->getFast()) problems_.push_back("fast reaction " + Quoted(r->getId()));
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

void Importer::ReadCompartments() {
  for (unsigned int i = 0; i < sbml_.getNumCompartments(); ++i) {
    const lib::Compartment* c = sbml_.getCompartment(i);
    Compartment compartment;
    compartment.name = c->getId();
    const bool dimensionless = c->isSetSpatialDimensions() && c->getSpatialDimensionsAsDouble() == 0;
    if (dimensionless) {
      // Species in it have no concentration; they are refused.
      dimensionless_.insert(c->getId());
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
    compartmentIndex_[compartment.name] = static_cast<int>(compartments_.size());
    constants_.push_back({compartment.name, compartment.volume, true});
    compartmentConstant_.push_back(static_cast<int>(constants_.size()) - 1);
    globalConstant_[compartment.name] = compartmentConstant_.back();
    compartments_.push_back(std::move(compartment));
  }
  for (unsigned int i = 0; i < sbml_.getNumParameters(); ++i) {
    const lib::Parameter* p = sbml_.getParameter(i);
    // A parameter without a value is refused where a law uses it.
    constants_.push_back({p->getId(), p->isSetValue() ? p->getValue() : std::nan(""), false});
    globalConstant_[p->getId()] = static_cast<int>(constants_.size()) - 1;
  }
}

void Importer::ReadSpecies() {
  auto factorOf = [&](const std::string& parameter, const std::string& what) -> double {
    const lib::Parameter* p = sbml_.getParameter(parameter);
    if (p == nullptr || !p->isSetValue()) {
      problems_.push_back("conversion factor " + Quoted(parameter) + " of " + what +
                          " without a value");
      return 1.0;
    }
    return p->getValue();
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
    if (dimensionless_.count(s->getCompartment()) > 0) {
      problems_.push_back("species " + Quoted(entry.id) + " in the compartment " +
                          Quoted(s->getCompartment()) + " of no spatial dimensions");
    }
    const double volume =
        compartments_.empty() ? 1.0 : compartments_[static_cast<std::size_t>(entry.compartment)].volume;
    if (s->isSetInitialConcentration()) {
      entry.initialConcentration = s->getInitialConcentration();
    } else if (s->isSetInitialAmount()) {
      entry.initialConcentration = s->getInitialAmount() / volume;
    } else {
      problems_.push_back("species " + Quoted(entry.id) + " without an initial value");
    }
    entry.fixed = s->getBoundaryCondition() || s->getConstant();
    entry.amountInLaws = s->getHasOnlySubstanceUnits();
    entry.conversionFactor = modelFactor;
    if (sbml_.getLevel() >= 3 && s->isSetConversionFactor()) {
      entry.conversionFactor = factorOf(s->getConversionFactor(), "species " + Quoted(entry.id));
    }
    speciesIndex_[entry.id] = static_cast<int>(species_.size());
    species_.push_back(std::move(entry));
  }
}

// Names in a kinetic law: the reaction's local parameters first, then the
// species, compartments and parameters of the model, then the reactions,
// whose ids stand for their rates and are replaced by their laws.
std::optional<MathNode> Importer::Resolve(const lib::Reaction& reaction,
                                          const std::string& name) {
  auto local = localConstant_.find({reaction.getId(), name});
  if (local != localConstant_.end()) return sbml::ConstantNode(local->second);
  auto species = speciesIndex_.find(name);
  if (species != speciesIndex_.end()) {
    const SpeciesEntry& s = species_[static_cast<std::size_t>(species->second)];
    MathNode node = sbml::SpeciesNode(species->second);
    if (!s.amountInLaws || compartments_[static_cast<std::size_t>(s.compartment)].volume == 1.0) {
      return node;
    }
    // The amount: concentration times the compartment's size.
    return sbml::Apply('*', std::move(node), sbml::ConstantNode(compartmentConstant_[s.compartment]));
  }
  auto global = globalConstant_.find(name);
  if (global != globalConstant_.end()) {
    if (std::isnan(constants_[static_cast<std::size_t>(global->second)].value)) {
      throw Refusal("the parameter " + Quoted(name) + " without a value in the kinetic law of " +
                    Quoted(reaction.getId()));
    }
    return sbml::ConstantNode(global->second);
  }
  auto other = reactionIndex_.find(name);
  if (other != reactionIndex_.end()) {
    // The laws are read in an order that puts every named law first.
    const LawEntry& entry = laws_[static_cast<std::size_t>(other->second)];
    if (entry.law) return entry.law;
    if (!entry.refusal.empty()) throw Refusal(entry.refusal);
    throw Refusal("the kinetic law of " + Quoted(name) + ", not read before the law of " +
                  Quoted(reaction.getId()) + " that names it");
  }
  return std::nullopt;
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
    constants_.push_back({id, value, false});
    localConstant_[key] = static_cast<int>(constants_.size()) - 1;
  }
  sbml::MathTranslator translator(
      sbml_, [&](const std::string& name) { return Resolve(reaction, name); });
  MathNode tree = translator.Translate(*law->getMath(),
                                       "the kinetic law of " + Quoted(reaction.getId()));
  Spend(translator.nodes());
  return tree;
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

// Calls `visit` for every node of a tree, without recursion.
template <typename Visit>
void VisitAst(const lib::ASTNode* root, Visit visit) {
  std::vector<const lib::ASTNode*> pending{root};
  while (!pending.empty()) {
    const lib::ASTNode* ast = pending.back();
    pending.pop_back();
    if (ast == nullptr) continue;
    for (unsigned int i = 0; i < ast->getNumChildren(); ++i) pending.push_back(ast->getChild(i));
    visit(*ast);
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
  std::set<std::string> called;
  VisitAst(law->getMath(), [&](const lib::ASTNode& ast) {
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
  VisitAst(definition->getBody(), [&](const lib::ASTNode& ast) {
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
  constants_.push_back({name, value, false});
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
// cancels against the division.
MathNode Importer::PartRate(const MathNode& law, double scale, int compartment) {
  const double volume =
      compartment < 0 ? 1.0 : compartments_[static_cast<std::size_t>(compartment)].volume;
  auto isVolume = [&](const MathNode& node) {
    if (node.kind != MathNode::Kind::kConstant) return false;
    const ConstantEntry& c = constants_[static_cast<std::size_t>(node.index)];
    return c.isCompartment && c.value == volume;
  };
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
    if (!cancelled && volume != 1.0) {
      rate = sbml::Apply('/', std::move(rate), sbml::ConstantNode(compartmentConstant_[compartment]));
    }
  }
  if (scale != 1.0) {
    MathNode factor = sbml::Number(scale);
    if (!sbml::IsExactExpressionNumber(scale)) {
      constants_.push_back({"scale", scale, false});
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
  // Net change of every species per unit of the law, in order of first mention.
  std::vector<std::pair<int, double>> change;
  auto add = [&](const lib::SpeciesReference& reference, double side) {
    auto found = speciesIndex_.find(reference.getSpecies());
    if (found == speciesIndex_.end()) {
      throw Refusal("the unknown species " + Quoted(reference.getSpecies()) + " in reaction " +
                    Quoted(id));
    }
    if (reference.getLevel() < 3 && reference.isSetStoichiometryMath()) {
      throw Refusal("stoichiometryMath of " + Quoted(reference.getSpecies()) + " in reaction " +
                    Quoted(id));
    }
    if (reference.getLevel() >= 3 && !reference.isSetStoichiometry()) {
      throw Refusal("the stoichiometry of " + Quoted(reference.getSpecies()) + " in reaction " +
                    Quoted(id) + " without a value");
    }
    const double amount = side * reference.getStoichiometry() *
                          species_[static_cast<std::size_t>(found->second)].conversionFactor;
    if (!std::isfinite(amount) || std::fabs(amount) > kMaxSbmlStoichiometry) {
      std::ostringstream value;
      value << reference.getStoichiometry();
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
  std::erase_if(change, [](const auto& entry) { return entry.second == 0.0; });

  if (!entry.law) throw Refusal(entry.refusal);
  const MathNode law = ReplaceInexactNumbers(*entry.law);
  const std::int16_t reversible = reaction.getReversible() ? 1 : 0;

  // Groups of one volume: the variable species by the volume of their
  // compartment; fixed species, whose amounts no step changes, join the
  // group of their volume or else the first group.
  auto volumeOf = [&](int species) {
    return compartments_[static_cast<std::size_t>(species_[species].compartment)].volume;
  };
  std::vector<std::vector<std::pair<int, double>>> groups;
  auto join = [&](const std::pair<int, double>& entry, bool createGroup) {
    for (auto& group : groups) {
      if (volumeOf(group.front().first) == volumeOf(entry.first)) {
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
    return;
  }
  auto compartmentOf = [&](int species) { return species_[static_cast<std::size_t>(species)].compartment; };
  for (const auto& group : groups) {
    std::vector<double> coefficients;
    for (const auto& entry : group) coefficients.push_back(entry.second);
    std::vector<int> whole;
    const std::string groupName =
        groups.size() == 1 ? id : id + "_" + compartments_[compartmentOf(group.front().first)].name;
    const int compartment = compartmentOf(group.front().first);
    if (std::optional<double> scale = CommonScale(coefficients, whole)) {
      PartStep part{groupName, reversible, {}, PartRate(law, *scale, compartment)};
      for (std::size_t i = 0; i < group.size(); ++i) part.members.emplace_back(group[i].first, whole[i]);
      AddPart(std::move(part));
      continue;
    }
    // No common scale: a step for each species, with its coefficient as the scale.
    for (const auto& [species, coefficient] : group) {
      PartStep part{id + "_" + species_[static_cast<std::size_t>(species)].id, reversible, {},
                    PartRate(law, std::fabs(coefficient), compartmentOf(species))};
      part.members.emplace_back(species, coefficient > 0 ? 1 : -1);
      AddPart(std::move(part));
    }
  }
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
  for (const std::string& symbol : a.function->SymbolNames()) {
    if (a.function->RoleOfSymbol(symbol) != b.function->RoleOfSymbol(symbol)) return false;
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
  for (const MathNode& leaf : leaves) {
    const bool isSpecies = leaf.kind == MathNode::Kind::kSpecies;
    const std::string& id = isSpecies ? species_[static_cast<std::size_t>(leaf.index)].id
                                      : constants_[static_cast<std::size_t>(leaf.index)].name;
    const std::string symbol = namer.Name(id);
    names[{static_cast<int>(leaf.kind), leaf.index}] = symbol;
    if (!isSpecies) {
      bindings.emplace_back(symbol, SymbolRole::kConstant);
      constants.push_back(constants_[static_cast<std::size_t>(leaf.index)].value);
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
  BuiltStep built;
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
  for (const auto& [symbol, role] : bindings) function->BindSymbol(symbol, role);
  function->set_reversible(step.reversible);
  built.type = ChooseType(typeName, std::move(function), step.nSubstrates, step.nProducts);
  built.step = std::move(step);
  steps_.push_back(std::move(built));
}

bool Importer::Build(Model& model, std::vector<std::unique_ptr<KineticType>>& newTypes) {
  CheckConstructs();
  ReadCompartments();
  ReadSpecies();
  if (!problems_.empty()) return false;
  // Every reaction gives one step or more: a model too large to be loaded
  // is refused before its laws are read, and again once its steps are known.
  CheckSize(sbml_.getNumReactions());
  if (!problems_.empty()) return false;
  // A law named in several reactions refuses each of them with one message.
  std::set<std::string> listed;
  try {
    ReadLaws();
    for (unsigned int i = 0; i < sbml_.getNumReactions(); ++i) {
      try {
        ReadReaction(*sbml_.getReaction(i), laws_[i]);
      } catch (const BudgetSpent&) {
        throw;
      } catch (const Refusal& refusal) {
        if (listed.insert(refusal.what()).second) problems_.push_back(refusal.what());
      }
    }
  } catch (const BudgetSpent& spent) {
    problems_.push_back(spent.what());
  }
  if (!problems_.empty()) return false;
  CheckSize(steps_.size());
  CheckEquationText();
  if (!problems_.empty()) return false;

  Model result;
  const int nCompartments = std::max(1, static_cast<int>(compartments_.size()));
  result.Reset(static_cast<int>(steps_.size()), static_cast<int>(species_.size()), 0, 0,
               nCompartments, sbml_.isSetName() ? sbml_.getName()
                                                : (sbml_.isSetId() ? sbml_.getId() : "Untitled"));
  for (std::size_t c = 0; c < compartments_.size(); ++c) result.compartments[c] = compartments_[c];
  for (std::size_t m = 0; m < species_.size(); ++m) {
    const SpeciesEntry& s = species_[m];
    result.metabolites[m] = Metabolite(s.id, s.fixed ? FIXED : INDEPENDENT, s.compartment,
                                       s.initialConcentration);
  }
  result.ZeroStoichiometry();
  for (std::size_t k = 0; k < steps_.size(); ++k) {
    result.steps[k] = std::move(steps_[k].step);
    for (const auto& [species, n] : steps_[k].stoichiometry) {
      result.stoichiometry[static_cast<std::size_t>(species)][k] = static_cast<float>(n);
    }
  }
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
  for (TypeChoice& choice : types_) {
    if (choice.created) newTypes.push_back(std::move(choice.created));
  }
  model = std::move(result);
  return true;
}

SbmlImportResult Refused(std::vector<std::string> problems) {
  SbmlImportResult result;
  result.problems = std::move(problems);
  return result;
}

// Reads the text and builds the model and the types it needs, without
// touching the catalogue; an empty result (no problems) means it was built.
SbmlImportResult Read(std::string_view text, const KineticCatalogue& catalogue, Model& imported,
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
  // Initial assignments that libSBML can evaluate become initial values;
  // those left are refused.
  if (document->getModel()->getNumInitialAssignments() > 0) {
    lib::ConversionProperties properties;
    properties.addOption("expandInitialAssignments", true);
    document->convert(properties);
  }

  Importer importer(*document->getModel(), catalogue);
  if (!importer.Build(imported, newTypes)) return Refused(std::move(importer.problems()));
  return {};
}

}  // namespace

SbmlImportResult ImportSbmlText(std::string_view text, KineticCatalogue& catalogue, Model& model) {
  std::vector<std::unique_ptr<KineticType>> newTypes;
  Model imported;
  // libSBML meets some faults of a file by throwing, a namespace that names
  // a package at a level it does not know among them.
  try {
    SbmlImportResult refused = Read(text, catalogue, imported, newTypes);
    if (!refused.problems.empty()) return refused;
  } catch (const std::exception& error) {
    return Refused({std::string("the file could not be read as SBML: ") + error.what()});
  }

  for (std::unique_ptr<KineticType>& type : newTypes) catalogue.Insert(std::move(type));
  for (Step& step : imported.steps) {
    if (step.kineticType == nullptr) step.kineticType = catalogue.Find(step.kineticTypeName);
  }
  RebuildEquations(imported);
  StructuralAnalysis(imported);
  model = std::move(imported);
  SbmlImportResult result;
  result.imported = true;
  return result;
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
  return ImportSbmlText(contents, catalogue, model);
}

bool IsSbmlFileName(std::string_view path) {
  if (path.size() < 4) return true;
  std::string extension(path.substr(path.size() - 4));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension != ".vrn";
}

}  // namespace vireon
