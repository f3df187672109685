#include "sbml/sbml_export.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "kinetics/expression.h"
#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetic_function.h"
#include "kinetics/kinetic_type.h"
#include "model/model_name_index.h"
#include "rules/rule_expression.h"
#include "rules/rule_order.h"
#include "sbml/built_in_law_formulas.h"
#include "sbml/libsbml.h"
#include "sbml/sbml_names.h"

namespace vireon {

namespace {

namespace lib = sbml::lib;
using AstPointer = std::unique_ptr<lib::ASTNode>;

AstPointer Ast(int type) {
  LIBSBML_CPP_NAMESPACE_USE
  return std::make_unique<lib::ASTNode>(static_cast<ASTNodeType_t>(type));
}

AstPointer NumberAst(double value) {
  LIBSBML_CPP_NAMESPACE_USE
  AstPointer node = Ast(AST_REAL);
  node->setValue(value);
  return node;
}

AstPointer NameAst(const std::string& id) {
  LIBSBML_CPP_NAMESPACE_USE
  AstPointer node = Ast(AST_NAME);
  node->setName(id.c_str());
  return node;
}

AstPointer ApplyAst(int type, std::vector<AstPointer> children) {
  AstPointer node = Ast(type);
  for (AstPointer& child : children) node->addChild(child.release());
  return node;
}

// The species ids a step's rate law reads, and its constants' ids.
struct StepNames {
  std::vector<std::string> substrates, products, modifiers, constants;
  // The constants that follow the time, which the law reads as the time symbol.
  std::vector<bool> constantIsTime;
};

// The id SBML cannot give, which marks a constant read as the time.
const char* const kTimeConstant = "";

// The MathML of constant i of a step.
AstPointer ConstantAst(const StepNames& names, std::size_t i) {
  LIBSBML_CPP_NAMESPACE_USE
  if (i >= names.constants.size()) return NumberAst(0.0);
  if (i < names.constantIsTime.size() && names.constantIsTime[i]) {
    AstPointer node = Ast(AST_NAME_TIME);
    node->setName("time");
    return node;
  }
  return NameAst(names.constants[i]);
}

// What a symbol of a rule's expression is in MathML: an id, the time or
// Avogadro's number.
struct RuleSymbolMath {
  int type = 0;  // AST_NAME, AST_NAME_TIME or AST_NAME_AVOGADRO
  std::string id;
};

// The MathML of a user-defined rate law, from its node list: the tree the
// expression engine evaluates, symbol by symbol the step's metabolite or
// constant. What the engine evaluates as 0 (an unbound symbol, a
// parenthesis taken as an operator) is 0 here too.
class NodeWriter {
 public:
  NodeWriter(const std::vector<KineticNode>& nodes, const StepNames& names,
             const std::vector<RuleSymbolMath>* ruleSymbols = nullptr)
      : nodes_(nodes), names_(names), ruleSymbols_(ruleSymbols) {}

  AstPointer Write(int position) const {
    LIBSBML_CPP_NAMESPACE_USE
    if (position <= 0 || position >= static_cast<int>(nodes_.size())) return NumberAst(0.0);
    const KineticNode& node = nodes_[position];
    switch (node.kind) {
      case node_kind::kNumber:
        return NumberAst(node.value);
      case node_kind::kSubstrate:
        return Symbol(names_.substrates, node.index);
      case node_kind::kProduct:
        return Symbol(names_.products, node.index);
      case node_kind::kModifier:
        return Symbol(names_.modifiers, node.index);
      case node_kind::kConstant:
        if (node.index < 0) return NumberAst(0.0);
        return ConstantAst(names_, static_cast<std::size_t>(node.index));
      case node_kind::kSymbol:
        return RuleSymbol(node.index);
      case node_kind::kFunction:
        return Function(node);
      case node_kind::kOperator: {
        int type = 0;
        switch (node.code) {
          case node_code::kPlus:
            type = AST_PLUS;
            break;
          case node_code::kMinus:
            type = AST_MINUS;
            break;
          case node_code::kTimes:
            type = AST_TIMES;
            break;
          case node_code::kDivide:
            type = AST_DIVIDE;
            break;
          case node_code::kPower:
            type = AST_POWER;
            break;
          default:
            return NumberAst(0.0);
        }
        std::vector<AstPointer> operands;
        operands.push_back(Write(node.left));
        operands.push_back(Write(node.right));
        return ApplyAst(type, std::move(operands));
      }
      default:
        return NumberAst(0.0);
    }
  }

 private:
  static AstPointer Symbol(const std::vector<std::string>& ids, int index) {
    if (index < 0 || index >= static_cast<int>(ids.size())) return NumberAst(0.0);
    return NameAst(ids[static_cast<std::size_t>(index)]);
  }

  AstPointer RuleSymbol(int index) const {
    if (ruleSymbols_ == nullptr || index < 0 || index >= static_cast<int>(ruleSymbols_->size())) {
      return NumberAst(0.0);
    }
    const RuleSymbolMath& symbol = (*ruleSymbols_)[static_cast<std::size_t>(index)];
    AstPointer node = Ast(symbol.type);
    node->setName(symbol.id.c_str());
    return node;
  }

  // The arguments of a call: the lefts down a chain of commas and the last right.
  std::vector<AstPointer> Arguments(int operand) const {
    std::vector<AstPointer> arguments;
    int position = operand;
    while (position > 0 && position < static_cast<int>(nodes_.size()) &&
           nodes_[position].IsOperator(node_code::kComma)) {
      arguments.push_back(Write(nodes_[position].left));
      position = nodes_[position].right;
    }
    arguments.push_back(Write(position));
    return arguments;
  }

  AstPointer Function(const KineticNode& node) const {
    LIBSBML_CPP_NAMESPACE_USE
    int type = 0;
    switch (node.code) {
      case node_code::kPlus:
        return Write(node.left);
      case node_code::kMinus:
        type = AST_MINUS;
        break;
      case node_code::kLog:
        type = AST_FUNCTION_LN;
        break;
      case node_code::kLog10:
        type = AST_FUNCTION_LOG;
        break;
      case node_code::kExp:
        type = AST_FUNCTION_EXP;
        break;
      case node_code::kSin:
        type = AST_FUNCTION_SIN;
        break;
      case node_code::kCos:
        type = AST_FUNCTION_COS;
        break;
      case node_code::kPiecewise:
        type = AST_FUNCTION_PIECEWISE;
        break;
      case node_code::kLess:
        type = AST_RELATIONAL_LT;
        break;
      case node_code::kGreater:
        type = AST_RELATIONAL_GT;
        break;
      case node_code::kLessEqual:
        type = AST_RELATIONAL_LEQ;
        break;
      case node_code::kGreaterEqual:
        type = AST_RELATIONAL_GEQ;
        break;
      case node_code::kEqual:
        type = AST_RELATIONAL_EQ;
        break;
      case node_code::kNotEqual:
        type = AST_RELATIONAL_NEQ;
        break;
      case node_code::kAnd:
        type = AST_LOGICAL_AND;
        break;
      case node_code::kOr:
        type = AST_LOGICAL_OR;
        break;
      case node_code::kXor:
        type = AST_LOGICAL_XOR;
        break;
      case node_code::kNot:
        type = AST_LOGICAL_NOT;
        break;
      case node_code::kFloor:
        type = AST_FUNCTION_FLOOR;
        break;
      case node_code::kCeiling:
        type = AST_FUNCTION_CEILING;
        break;
      case node_code::kFactorial:
        type = AST_FUNCTION_FACTORIAL;
        break;
      case node_code::kAbs:
        type = AST_FUNCTION_ABS;
        break;
      case node_code::kMax:
        type = AST_FUNCTION_MAX;
        break;
      case node_code::kMin:
        type = AST_FUNCTION_MIN;
        break;
      case node_code::kArcSin:
        type = AST_FUNCTION_ARCSIN;
        break;
      case node_code::kArcCos:
        type = AST_FUNCTION_ARCCOS;
        break;
      case node_code::kArcTan:
        type = AST_FUNCTION_ARCTAN;
        break;
      case node_code::kSinh:
        type = AST_FUNCTION_SINH;
        break;
      case node_code::kCosh:
        type = AST_FUNCTION_COSH;
        break;
      case node_code::kTanh:
        type = AST_FUNCTION_TANH;
        break;
      case node_code::kArcSinh:
        type = AST_FUNCTION_ARCSINH;
        break;
      case node_code::kArcCosh:
        type = AST_FUNCTION_ARCCOSH;
        break;
      case node_code::kArcTanh:
        type = AST_FUNCTION_ARCTANH;
        break;
      case node_code::kQuotient:
        type = AST_FUNCTION_QUOTIENT;
        break;
      case node_code::kRemainder:
        type = AST_FUNCTION_REM;
        break;
      case node_code::kRateOf:
        type = AST_FUNCTION_RATE_OF;
        break;
      case node_code::kDelay:
        type = AST_FUNCTION_DELAY;
        break;
      default:
        return NumberAst(0.0);
    }
    if (FindCallFunction(node.code) != nullptr) return ApplyAst(type, Arguments(node.left));
    std::vector<AstPointer> operand;
    operand.push_back(Write(node.left));
    return ApplyAst(type, std::move(operand));
  }

  const std::vector<KineticNode>& nodes_;
  const StepNames& names_;
  const std::vector<RuleSymbolMath>* ruleSymbols_;
};

// A built-in law from its formula, the placeholders s0, p1, m0, k3, ...
// renamed to the step's ids.
AstPointer BuiltInLaw(std::string_view formula, const StepNames& names) {
  AstPointer tree(lib::SBML_parseL3Formula(std::string(formula).c_str()));
  if (!tree) return NumberAst(0.0);
  std::vector<lib::ASTNode*> pending{tree.get()};
  while (!pending.empty()) {
    lib::ASTNode* node = pending.back();
    pending.pop_back();
    for (unsigned int i = 0; i < node->getNumChildren(); ++i) pending.push_back(node->getChild(i));
    if (!node->isName() || node->getName() == nullptr) continue;
    const std::string placeholder = node->getName();
    const std::vector<std::string>* ids = nullptr;
    switch (placeholder.front()) {
      case 's':
        ids = &names.substrates;
        break;
      case 'p':
        ids = &names.products;
        break;
      case 'm':
        ids = &names.modifiers;
        break;
      default:
        ids = &names.constants;
        break;
    }
    const std::size_t index = std::stoul(placeholder.substr(1));
    if (ids == &names.constants && index < names.constantIsTime.size() &&
        names.constantIsTime[index]) {
      node->setType(LIBSBML_CPP_NAMESPACE_QUALIFIER AST_NAME_TIME);
      node->setName("time");
    } else if (index < ids->size()) {
      node->setName((*ids)[index].c_str());
    } else {
      node->setType(LIBSBML_CPP_NAMESPACE_QUALIFIER AST_REAL);
      node->setValue(0.0);
    }
  }
  return tree;
}

// k0 times the product over the list, for each side of a mass-action law.
AstPointer MassAction(bool reversible, const StepNames& names) {
  LIBSBML_CPP_NAMESPACE_USE
  auto side = [&](std::size_t constant, const std::vector<std::string>& species) {
    std::vector<AstPointer> factors;
    factors.push_back(ConstantAst(names, constant));
    for (const std::string& id : species) factors.push_back(NameAst(id));
    return factors.size() == 1 ? std::move(factors.front()) : ApplyAst(AST_TIMES, std::move(factors));
  };
  if (!reversible) return side(0, names.substrates);
  std::vector<AstPointer> terms;
  terms.push_back(side(0, names.substrates));
  terms.push_back(side(1, names.products));
  return ApplyAst(AST_MINUS, std::move(terms));
}

// The text as XML 1.0 can carry it: valid UTF-8 stays as it is, a byte
// that is not part of a valid sequence is read as the Latin-1 character it
// would be in an older file, and a control character other than a tab or a
// line break, which XML cannot hold at all, becomes U+FFFD.
std::string XmlText(const std::string& text) {
  std::string result;
  auto append = [&](char32_t c) {
    if (c < 0x80) {
      result += static_cast<char>(c);
    } else if (c < 0x800) {
      result += static_cast<char>(0xC0 | (c >> 6));
      result += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      result += static_cast<char>(0xE0 | (c >> 12));
      result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      result += static_cast<char>(0xF0 | (c >> 18));
      result += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (c & 0x3F));
    }
  };
  constexpr char32_t kReplacement = 0xFFFD;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // The length of the sequence the lead byte starts and its first bits.
    std::size_t length = 1;
    char32_t c = lead;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
    }
    bool valid = lead < 0x80 || length > 1;
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates, values beyond U+10FFFF and the two
    // non-characters XML refuses.
    const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (valid && length > 1 &&
        (c < smallest || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || c == 0xFFFE || c == 0xFFFF)) {
      valid = false;
    }
    if (!valid) {
      append(lead);  // Latin-1
      ++i;
      continue;
    }
    const bool control = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
    append(control ? kReplacement : c);
    i += length;
  }
  return result;
}

std::string EscapeXml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The comments as XHTML notes, one paragraph per line.
std::string NotesOf(const std::string& comments) {
  std::string body = "<body xmlns=\"http://www.w3.org/1999/xhtml\">";
  std::size_t start = 0;
  while (start <= comments.size()) {
    std::size_t end = comments.find('\n', start);
    if (end == std::string::npos) end = comments.size();
    std::string line = comments.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    body += "<p>" + EscapeXml(XmlText(line)) + "</p>";
    start = end + 1;
  }
  return body + "</body>";
}

// The height of a MathML tree, found without recursion.
int HeightOf(const lib::ASTNode& root) {
  int height = 0;
  std::vector<std::pair<const lib::ASTNode*, int>> pending{{&root, 1}};
  while (!pending.empty()) {
    auto [node, level] = pending.back();
    pending.pop_back();
    height = std::max(height, level);
    for (unsigned int i = 0; i < node->getNumChildren(); ++i) {
      if (node->getChild(i) != nullptr) pending.emplace_back(node->getChild(i), level + 1);
    }
  }
  return height;
}

// The SBML ids given so far: compartments, species and global quantities
// by index; the parameters that stand for step constants, by step and
// constant, with the id the law reads instead of a local parameter; the
// species references whose stoichiometry a rule sets, by step and
// metabolite, and which of them a rule over time sets.
struct ExportIds {
  sbml::IdNamer namer;
  std::vector<std::string> compartments, species, quantities;
  std::map<std::pair<int, int>, std::string> constants;
  std::map<std::pair<int, int>, std::string> stoichiometries;
  std::set<std::pair<int, int>> varyingStoichiometries;
};

// Whether a rule over time or an event sets the target.
bool Varies(const Model& model, RuleTargetKind kind, const std::string& name) {
  const bool byRule = std::any_of(model.rules.begin(), model.rules.end(), [&](const Rule& rule) {
    return rule.kind != RuleKind::kInitialAssignment && rule.target.kind == kind &&
           rule.target.name == name;
  });
  return byRule || std::any_of(model.events.begin(), model.events.end(), [&](const Event& event) {
           return std::any_of(event.assignments.begin(), event.assignments.end(),
                              [&](const EventAssignment& a) {
                                return a.target.kind == kind && a.target.name == name;
                              });
         });
}

void WriteCompartments(const Model& model, lib::Model& m, ExportIds& ids) {
  for (const Compartment& c : model.compartments) {
    lib::Compartment* compartment = m.createCompartment();
    ids.compartments.push_back(ids.namer.Name(c.name));
    compartment->setId(ids.compartments.back());
    compartment->setName(XmlText(c.name));
    compartment->setSpatialDimensions(3u);
    compartment->setSize(c.volume);
    compartment->setConstant(!Varies(model, RuleTargetKind::kCompartmentVolume, c.name));
  }
}

void WriteSpecies(const Model& model, lib::Model& m, ExportIds& ids) {
  const bool algebraic = std::any_of(model.rules.begin(), model.rules.end(), [](const Rule& rule) {
    return rule.kind == RuleKind::kAlgebraic;
  });
  for (const Metabolite& metabolite : model.metabolites) {
    lib::Species* species = m.createSpecies();
    ids.species.push_back(ids.namer.Name(metabolite.name));
    species->setId(ids.species.back());
    species->setName(XmlText(metabolite.name));
    species->setCompartment(ids.compartments[static_cast<std::size_t>(metabolite.compartment)]);
    species->setInitialConcentration(metabolite.initialConcentration);
    species->setHasOnlySubstanceUnits(false);
    species->setBoundaryCondition(metabolite.type == FIXED);
    // A reader chooses what algebraic rules determine among the quantities
    // that are not constant: with them, a fixed metabolite that no rule
    // sets says that it stays.
    species->setConstant(algebraic && metabolite.type == FIXED &&
                         !Varies(model, RuleTargetKind::kMetabolite, metabolite.name));
  }
}

void WriteParameters(const Model& model, lib::Model& m, ExportIds& ids) {
  for (const GlobalQuantity& q : model.globalQuantities) {
    lib::Parameter* parameter = m.createParameter();
    ids.quantities.push_back(ids.namer.Name(q.name));
    parameter->setId(ids.quantities.back());
    parameter->setName(XmlText(q.name));
    parameter->setValue(q.value);
    parameter->setConstant(!Varies(model, RuleTargetKind::kGlobalQuantity, q.name));
  }
}

// The compartment whose volume the step's law is given in: that of the first
// substrate, else of the first product, else the default compartment.
int ReferenceCompartment(const Model& model, const Step& step) {
  if (!step.substrates.empty()) return model.metabolites[step.substrates.front()].compartment;
  if (!step.products.empty()) return model.metabolites[step.products.front()].compartment;
  return 0;
}

// The reactants, products and modifiers of the step's reaction. A
// stoichiometry that a rule sets is that of the metabolite's product
// reference, or of its reactant reference when it is no product.
void WriteSpeciesReferences(const Model& model, int k, const ExportIds& ids,
                            lib::Reaction& reaction) {
  const Step& step = model.steps[static_cast<std::size_t>(k)];
  const double referenceVolume = model.compartments[ReferenceCompartment(model, step)].volume;
  std::map<int, int> reactants, products;
  for (int s : step.substrates) ++reactants[s];
  for (int p : step.products) ++products[p];
  auto addReferences = [&](const std::map<int, int>& counts, bool asReactants) {
    for (const auto& [metabolite, count] : counts) {
      lib::SpeciesReference* r = asReactants ? reaction.createReactant() : reaction.createProduct();
      r->setSpecies(ids.species[static_cast<std::size_t>(metabolite)]);
      r->setStoichiometry(count * (model.VolumeOf(metabolite) / referenceVolume));
      r->setConstant(true);
      const std::pair<int, int> key(k, metabolite);
      auto ruled = ids.stoichiometries.find(key);
      if (ruled != ids.stoichiometries.end() && (!asReactants || products.count(metabolite) == 0)) {
        r->setId(ruled->second);
        r->setConstant(ids.varyingStoichiometries.count(key) == 0);
      }
    }
  };
  addReferences(reactants, true);
  addReferences(products, false);
  std::map<int, bool> modifiers;
  for (int modifier : step.modifiers) {
    if (modifier >= 0 && reactants.count(modifier) == 0 && products.count(modifier) == 0 &&
        !modifiers[modifier]) {
      modifiers[modifier] = true;
      reaction.createModifier()->setSpecies(ids.species[static_cast<std::size_t>(modifier)]);
    }
  }
}

// The step's kinetic constants as local parameters of the law, with their
// ids in `names`. Local parameters must not hide the species and
// compartments the law reads.
void WriteLocalParameters(const Step& step, int k, const ExportIds& ids, lib::KineticLaw& law,
                          StepNames& names) {
  sbml::IdNamer localIds;
  for (const std::string& id : ids.species) localIds.Reserve(id);
  for (const std::string& id : ids.compartments) localIds.Reserve(id);
  for (const std::string& id : ids.quantities) localIds.Reserve(id);
  for (const auto& [key, id] : ids.constants) localIds.Reserve(id);
  const KineticType* type = step.kineticType;
  for (int i = 0; i < step.ConstantCount(); ++i) {
    auto global = ids.constants.find({k, i});
    if (global != ids.constants.end()) {
      names.constants.push_back(global->second);
      names.constantIsTime.push_back(global->second == kTimeConstant);
      continue;
    }
    names.constantIsTime.push_back(false);
    const std::string name =
        type != nullptr && i < type->constants ? type->constantNames[i] : "k" + std::to_string(i);
    names.constants.push_back(localIds.Name(name.empty() ? "k" : name));
    lib::LocalParameter* parameter = law.createLocalParameter();
    parameter->setId(names.constants.back());
    if (!name.empty()) parameter->setName(XmlText(name));
    parameter->setValue(step.constants[i]);
  }
}

// The step's rate per unit volume as MathML.
AstPointer RateMath(const KineticType* type, const StepNames& names) {
  if (type == nullptr) return NumberAst(0.0);
  if (type->function) {
    const std::vector<KineticNode>& nodes = type->function->nodes();
    return NodeWriter(nodes, names).Write(nodes.empty() ? kNoNode : nodes[0].left);
  }
  if (type->name == sbml::kMassActionIrreversible || type->name == sbml::kMassActionReversible) {
    return MassAction(type->name == sbml::kMassActionReversible, names);
  }
  return BuiltInLaw(sbml::BuiltInLawFormula(type->name), names);
}

// The step as a reaction whose kinetic law is the volume of the reference
// compartment times the rate; a law deeper than the import reads is a
// problem.
void WriteReaction(const Model& model, int k, lib::Model& m, ExportIds& ids,
                   std::vector<std::string>& problems) {
  const Step& step = model.steps[static_cast<std::size_t>(k)];
  lib::Reaction* reaction = m.createReaction();
  reaction->setId(ids.namer.Name(step.name));
  reaction->setName(XmlText(step.name));
  reaction->setReversible(step.reversible != 0);
  // Level 3 version 1 requires the attribute on every reaction.
  if (m.getLevel() == 3 && m.getVersion() == 1) reaction->setFast(step.fast);
  WriteSpeciesReferences(model, k, ids, *reaction);

  StepNames names;
  for (int s : step.substrates) names.substrates.push_back(ids.species[static_cast<std::size_t>(s)]);
  for (int p : step.products) names.products.push_back(ids.species[static_cast<std::size_t>(p)]);
  for (int modifier : step.modifiers) {
    names.modifiers.push_back(modifier >= 0 ? ids.species[static_cast<std::size_t>(modifier)] : "");
  }
  lib::KineticLaw* law = reaction->createKineticLaw();
  WriteLocalParameters(step, k, ids, *law, names);

  std::vector<AstPointer> factors;
  factors.push_back(NameAst(ids.compartments[static_cast<std::size_t>(ReferenceCompartment(model, step))]));
  factors.push_back(RateMath(step.kineticType, names));
  AstPointer lawMath = ApplyAst(LIBSBML_CPP_NAMESPACE_QUALIFIER AST_TIMES, std::move(factors));
  if (HeightOf(*lawMath) > kMaxExpressionDepth) {
    problems.push_back("step \"" + step.name + "\", whose kinetic law would nest deeper than the " +
                       std::to_string(kMaxExpressionDepth) + " levels of a rate law");
    return;
  }
  law->setMath(lawMath.get());
}

// A rule of the model and the id of the SBML element it sets, whose value
// is factor x the rule's expression + offset (the offset left out of a
// rate rule).
struct ExportRule {
  const Rule* rule = nullptr;
  std::string variable;
  double factor = 1.0;
  double offset = 0.0;
};

// A stoichiometry rule as a rule for a species reference. The model's
// coefficient n of a metabolite in a step is its products' count b minus
// its substrates' count a, per unit of the step's rate in the volume of
// its reference compartment, where the reaction's law is the rate times
// that volume: the product reference's stoichiometry is (n + a) f and the
// reactant reference's -n f, with f the metabolite's volume over the
// reference volume.
std::optional<ExportRule> StoichiometryRule(const Model& model, const Rule& rule,
                                            const ModelNameIndex& names, ExportIds& ids) {
  const int k = names.Step(rule.target.name);
  const int m = names.Metabolite(rule.target.constant);
  if (k < 0 || m < 0) return std::nullopt;
  const Step& step = model.steps[static_cast<std::size_t>(k)];
  const auto a = std::count(step.substrates.begin(), step.substrates.end(), m);
  const auto b = std::count(step.products.begin(), step.products.end(), m);
  if (a == 0 && b == 0) return std::nullopt;
  const double f = model.VolumeOf(m) / model.compartments[ReferenceCompartment(model, step)].volume;
  const std::pair<int, int> key(k, m);
  auto [entry, added] = ids.stoichiometries.try_emplace(key);
  if (added) {
    entry->second =
        ids.namer.Name(step.name + "_" + model.metabolites[static_cast<std::size_t>(m)].name);
  }
  if (rule.kind != RuleKind::kInitialAssignment) ids.varyingStoichiometries.insert(key);
  ExportRule exported{&rule, entry->second};
  exported.factor = b > 0 ? f : -f;
  exported.offset = b > 0 ? static_cast<double>(a) * f : 0.0;
  return exported;
}

// The targets of the rules as SBML ids. A step constant that an assignment
// rule ties to one global quantity or compartment is read in the law as
// that quantity; any other rule on a step constant sets a parameter of the
// constant's own, which the law reads instead of a local parameter.
std::vector<ExportRule> ConstantParameters(const Model& model, lib::Model& m, ExportIds& ids) {
  const ModelNameIndex names(model);
  std::vector<ExportRule> rules;
  std::set<std::pair<int, int>> varying;  // constants that a rule over time sets
  auto constantOf = [&](const Rule& rule) -> std::optional<std::pair<int, int>> {
    const int k = names.Step(rule.target.name);
    if (k < 0) return std::nullopt;
    const Step& step = model.steps[static_cast<std::size_t>(k)];
    const int c =
        step.kineticType == nullptr ? -1 : step.kineticType->FindConstant(rule.target.constant);
    if (c < 0 || c >= step.ConstantCount()) return std::nullopt;
    return std::make_pair(k, c);
  };
  for (const Rule& rule : model.rules) {
    if (rule.target.kind != RuleTargetKind::kKineticConstant ||
        rule.kind == RuleKind::kInitialAssignment) {
      continue;
    }
    if (auto constant = constantOf(rule)) varying.insert(*constant);
  }
  for (const Rule& rule : model.rules) {
    const std::string& name = rule.target.name;
    switch (rule.target.kind) {
      case RuleTargetKind::kGlobalQuantity:
        rules.push_back(
            {&rule, ids.quantities[static_cast<std::size_t>(names.GlobalQuantity(name))]});
        continue;
      case RuleTargetKind::kCompartmentVolume:
        rules.push_back(
            {&rule, ids.compartments[static_cast<std::size_t>(names.Compartment(name))]});
        continue;
      case RuleTargetKind::kMetabolite:
        rules.push_back({&rule, ids.species[static_cast<std::size_t>(names.Metabolite(name))]});
        continue;
      case RuleTargetKind::kStoichiometry:
        if (std::optional<ExportRule> exported = StoichiometryRule(model, rule, names, ids)) {
          rules.push_back(*exported);
        }
        continue;
      case RuleTargetKind::kKineticConstant:
        break;
    }
    const std::optional<std::pair<int, int>> constant = constantOf(rule);
    if (!constant) continue;
    if (rule.kind == RuleKind::kAssignment) {
      std::string text = rule.expression;
      std::erase_if(text, [](char c) { return c == ' ' || c == '\t'; });
      const int quantity = names.GlobalQuantity(text);
      const int compartment = names.Compartment(text);
      if (quantity >= 0 && compartment < 0 && names.Metabolite(text) < 0) {
        ids.constants[*constant] = ids.quantities[static_cast<std::size_t>(quantity)];
        continue;
      }
      if (compartment >= 0 && quantity < 0 && names.Metabolite(text) < 0) {
        ids.constants[*constant] = ids.compartments[static_cast<std::size_t>(compartment)];
        continue;
      }
      if (text == kTimeName) {
        ids.constants[*constant] = kTimeConstant;
        continue;
      }
    }
    auto [entry, added] = ids.constants.try_emplace(*constant);
    if (added) {
      const Step& step = model.steps[static_cast<std::size_t>(constant->first)];
      entry->second = ids.namer.Name(step.name + "_" + rule.target.constant);
      lib::Parameter* parameter = m.createParameter();
      parameter->setId(entry->second);
      parameter->setName(XmlText(RuleTargetTitle(rule.target)));
      parameter->setValue(step.constants[static_cast<std::size_t>(constant->second)]);
      parameter->setConstant(varying.count(*constant) == 0);
    }
    rules.push_back({&rule, entry->second});
  }
  return rules;
}

// The MathML of an expression in the rules' names; null, with the problem
// listed under `title`, when it cannot be written.
AstPointer ExpressionMath(const std::string& text, const ModelNameIndex& names,
                          const ExportIds& ids, const std::string& title,
                          std::vector<std::string>& problems) {
  LIBSBML_CPP_NAMESPACE_USE
  RuleExpression expression;
  if (!ReadRuleExpression(text, names, expression).ok()) {
    problems.push_back(title + ", whose expression cannot be read");
    return nullptr;
  }
  {
    std::vector<RuleSymbolMath> symbols;
    for (const RuleSymbol& symbol : expression.symbols) {
      const auto index = static_cast<std::size_t>(symbol.index);
      switch (symbol.kind) {
        case RuleSymbol::Kind::kMetabolite:
          symbols.push_back({AST_NAME, ids.species[index]});
          break;
        case RuleSymbol::Kind::kCompartmentVolume:
          symbols.push_back({AST_NAME, ids.compartments[index]});
          break;
        case RuleSymbol::Kind::kGlobalQuantity:
          symbols.push_back({AST_NAME, ids.quantities[index]});
          break;
        case RuleSymbol::Kind::kTime:
          symbols.push_back({AST_NAME_TIME, "time"});
          break;
        case RuleSymbol::Kind::kConstant:
          symbols.push_back({AST_NAME_AVOGADRO, "avogadro"});
          break;
      }
    }
    const StepNames none;
    const std::vector<KineticNode>& nodes = expression.nodes;
    AstPointer math =
        NodeWriter(nodes, none, &symbols).Write(nodes.empty() ? kNoNode : nodes[0].left);
    if (HeightOf(*math) > kMaxExpressionDepth) {
      problems.push_back(title + ", whose expression would nest deeper than the " +
                         std::to_string(kMaxExpressionDepth) + " levels of an expression");
      return nullptr;
    }
    return math;
  }
}

// The rules as SBML rules and initial assignments, their expressions as
// MathML.
void WriteRules(const Model& model, const std::vector<ExportRule>& rules, lib::Model& m,
                const ExportIds& ids, std::vector<std::string>& problems) {
  const ModelNameIndex names(model);
  for (const ExportRule& exported : rules) {
    const Rule& rule = *exported.rule;
    const std::string title =
        "the " + RuleKindWord(rule.kind) + " rule for \"" + RuleTargetTitle(rule.target) + "\"";
    AstPointer math = ExpressionMath(rule.expression, names, ids, title, problems);
    if (!math) continue;
    // A stoichiometry's rule gives the reference's value from the step's
    // coefficient.
    if (exported.factor != 1.0) {
      std::vector<AstPointer> factors;
      factors.push_back(NumberAst(exported.factor));
      factors.push_back(std::move(math));
      math = ApplyAst(LIBSBML_CPP_NAMESPACE_QUALIFIER AST_TIMES, std::move(factors));
    }
    if (exported.offset != 0.0 && rule.kind != RuleKind::kRate) {
      std::vector<AstPointer> terms;
      terms.push_back(std::move(math));
      terms.push_back(NumberAst(exported.offset));
      math = ApplyAst(LIBSBML_CPP_NAMESPACE_QUALIFIER AST_PLUS, std::move(terms));
    }
    if (HeightOf(*math) > kMaxExpressionDepth) {
      problems.push_back(title + ", whose expression would nest deeper than the " +
                         std::to_string(kMaxExpressionDepth) + " levels of an expression");
      continue;
    }
    switch (rule.kind) {
      case RuleKind::kAssignment: {
        lib::AssignmentRule* assignment = m.createAssignmentRule();
        assignment->setVariable(exported.variable);
        assignment->setMath(math.get());
        break;
      }
      case RuleKind::kRate: {
        lib::RateRule* rate = m.createRateRule();
        rate->setVariable(exported.variable);
        rate->setMath(math.get());
        break;
      }
      case RuleKind::kInitialAssignment: {
        lib::InitialAssignment* initial = m.createInitialAssignment();
        initial->setSymbol(exported.variable);
        initial->setMath(math.get());
        break;
      }
      case RuleKind::kAlgebraic: {
        // SBML names no target: the target is the one non-constant
        // quantity that nothing else sets, which the reader finds again.
        lib::AlgebraicRule* algebraic = m.createAlgebraicRule();
        algebraic->setMath(math.get());
        break;
      }
    }
  }
}

// The events as SBML events. An assignment to a step's kinetic constant has
// no SBML element to set unless a rule gave the constant a parameter.
void WriteEvents(const Model& model, lib::Model& m, ExportIds& ids,
                 std::vector<std::string>& problems) {
  const ModelNameIndex names(model);
  for (const Event& event : model.events) {
    const std::string title = "the event \"" + event.name + "\"";
    lib::Event* e = m.createEvent();
    e->setId(ids.namer.Name(event.name));
    e->setName(XmlText(event.name));
    e->setUseValuesFromTriggerTime(event.useValuesFromTriggerTime);
    lib::Trigger* trigger = e->createTrigger();
    trigger->setInitialValue(event.initialValue);
    trigger->setPersistent(event.persistent);
    if (AstPointer math =
            ExpressionMath(event.trigger, names, ids, "the trigger of " + title, problems)) {
      trigger->setMath(math.get());
    }
    if (!event.delay.empty()) {
      if (AstPointer math =
              ExpressionMath(event.delay, names, ids, "the delay of " + title, problems)) {
        e->createDelay()->setMath(math.get());
      }
    }
    if (!event.priority.empty()) {
      if (AstPointer math =
              ExpressionMath(event.priority, names, ids, "the priority of " + title, problems)) {
        e->createPriority()->setMath(math.get());
      }
    }
    for (const EventAssignment& assignment : event.assignments) {
      const std::string where =
          "the assignment of " + title + " to \"" + RuleTargetTitle(assignment.target) + "\"";
      std::string variable;
      const std::string& name = assignment.target.name;
      switch (assignment.target.kind) {
        case RuleTargetKind::kGlobalQuantity:
          variable = ids.quantities[static_cast<std::size_t>(names.GlobalQuantity(name))];
          break;
        case RuleTargetKind::kCompartmentVolume:
          variable = ids.compartments[static_cast<std::size_t>(names.Compartment(name))];
          break;
        case RuleTargetKind::kMetabolite:
          variable = ids.species[static_cast<std::size_t>(names.Metabolite(name))];
          break;
        case RuleTargetKind::kKineticConstant:
          problems.push_back(where + ", a kinetic constant that SBML reads as a local parameter");
          continue;
        case RuleTargetKind::kStoichiometry:
          problems.push_back(where + ", a stoichiometry");
          continue;
      }
      AstPointer math = ExpressionMath(assignment.expression, names, ids, where, problems);
      if (!math) continue;
      if (assignment.amount && assignment.target.kind == RuleTargetKind::kMetabolite) {
        // The species are written in concentrations: the amount over the
        // size, which is the size at the execution only when the values are
        // computed then.
        if (!event.delay.empty() && event.useValuesFromTriggerTime) {
          problems.push_back(where + ", an amount computed at the trigger time of a delayed "
                                     "event, which SBML keeps only for a species in amounts");
          continue;
        }
        const Metabolite& m = model.metabolites[static_cast<std::size_t>(names.Metabolite(name))];
        std::vector<AstPointer> quotient;
        quotient.push_back(std::move(math));
        quotient.push_back(NameAst(ids.compartments[static_cast<std::size_t>(m.compartment)]));
        math = ApplyAst(AST_DIVIDE, std::move(quotient));
      }
      lib::EventAssignment* written = e->createEventAssignment();
      written->setVariable(variable);
      written->setMath(math.get());
    }
  }
}

}  // namespace

SbmlExportResult ExportSbml(const Model& model) {
  SbmlExportResult result;
  for (int k = 0; k < model.nSteps(); ++k) {
    if (!CanEvaluateRate(model, k)) {
      result.problems.push_back("step \"" + model.steps[k].name +
                                "\", whose rate cannot be evaluated");
    }
  }
  if (!result.problems.empty()) return result;

  // Level 3 version 2 has no fast reactions; a model with fast steps is
  // written at version 1, which has them and everything else the export
  // writes but for a few functions of the mathematics (which its check
  // then refuses by name).
  lib::SBMLDocument document(3, HasFastSteps(model) ? 1 : 2);
  lib::Model* m = document.createModel();
  ExportIds ids;
  m->setId(ids.namer.Name(model.title.empty() ? "model" : model.title));
  m->setName(XmlText(model.title));
  if (!model.comments.empty()) m->setNotes(NotesOf(model.comments));
  WriteCompartments(model, *m, ids);
  WriteSpecies(model, *m, ids);
  WriteParameters(model, *m, ids);
  std::vector<ExportRule> rules = ConstantParameters(model, *m, ids);
  for (int k = 0; k < model.nSteps(); ++k) WriteReaction(model, k, *m, ids, result.problems);
  WriteRules(model, rules, *m, ids, result.problems);
  WriteEvents(model, *m, ids, result.problems);
  if (!result.problems.empty()) return result;

  // The export refuses only errors. The units checks, which give warnings
  // only, take time quadratic in the depth of a law inside libSBML.
  document.setConsistencyChecks(LIBSBML_CPP_NAMESPACE_QUALIFIER LIBSBML_CAT_UNITS_CONSISTENCY, false);
  document.setConsistencyChecks(LIBSBML_CPP_NAMESPACE_QUALIFIER LIBSBML_CAT_MODELING_PRACTICE, false);
  document.checkConsistency();
  for (unsigned int i = 0; i < document.getNumErrors(); ++i) {
    const lib::SBMLError* error = document.getError(i);
    if (error->getSeverity() >= lib::LIBSBML_SEV_ERROR) result.problems.push_back(error->getMessage());
  }
  if (!result.problems.empty()) return result;
  result.text = lib::writeSBMLToStdString(&document);
  result.exported = true;
  return result;
}

}  // namespace vireon
