#include "sbml/algebraic_variables.h"

#include <algorithm>
#include <map>
#include <set>

#include "rules/constraint_matching.h"
#include "sbml/libsbml.h"

namespace vireon::sbml {

namespace {

std::string Quoted(const std::string& id) {
  return "\"" + id + "\"";
}

std::string RuleNumbers(const std::vector<int>& rules) {
  std::string text = rules.size() == 1 ? "algebraic rule number " : "algebraic rules number ";
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (i > 0) text += i + 1 == rules.size() ? " and " : ", ";
    text += std::to_string(rules[i] + 1);
  }
  return text;
}

// The names a rule's mathematics reads, without recursion.
std::set<std::string> NamesRead(const lib::ASTNode* root) {
  std::set<std::string> names;
  VisitAst(root, [&names](const lib::ASTNode& ast) {
    if (ast.getType() == LIBSBML_CPP_NAMESPACE_QUALIFIER AST_NAME && ast.getName() != nullptr) {
      names.insert(ast.getName());
    }
  });
  return names;
}

}  // namespace

AlgebraicVariables FindAlgebraicVariables(const lib::Model& model) {
  AlgebraicVariables result;
  result.variables.assign(model.getNumRules(), std::string());
  std::set<std::string> ruled, changedByReactions;
  std::vector<int> algebraic;
  for (unsigned int i = 0; i < model.getNumRules(); ++i) {
    const lib::Rule* rule = model.getRule(i);
    if (rule->isAlgebraic()) {
      // Without mathematics it constrains nothing.
      if (rule->isSetMath()) algebraic.push_back(static_cast<int>(i));
    } else {
      ruled.insert(rule->getVariable());
    }
  }
  if (algebraic.empty()) return result;
  std::set<std::string> stoichiometries;
  for (unsigned int i = 0; i < model.getNumReactions(); ++i) {
    const lib::Reaction* reaction = model.getReaction(i);
    for (unsigned int j = 0; j < reaction->getNumReactants(); ++j) {
      const lib::SpeciesReference* reference = reaction->getReactant(j);
      changedByReactions.insert(reference->getSpecies());
      if (reference->isSetId() && !reference->getConstant())
        stoichiometries.insert(reference->getId());
    }
    for (unsigned int j = 0; j < reaction->getNumProducts(); ++j) {
      const lib::SpeciesReference* reference = reaction->getProduct(j);
      changedByReactions.insert(reference->getSpecies());
      if (reference->isSetId() && !reference->getConstant())
        stoichiometries.insert(reference->getId());
    }
  }
  const auto free = [&](const std::string& id) {
    if (ruled.count(id) > 0) return false;
    if (const lib::Species* s = model.getSpecies(id)) {
      return !s->getConstant() && (s->getBoundaryCondition() || changedByReactions.count(id) == 0);
    }
    if (const lib::Compartment* c = model.getCompartment(id)) return !c->getConstant();
    if (const lib::Parameter* p = model.getParameter(id)) return !p->getConstant();
    return model.getLevel() >= 3 && stoichiometries.count(id) > 0;
  };
  // The unknowns: the free quantities the rules read, numbered as met.
  std::vector<std::string> unknowns;
  std::map<std::string, int> unknownIndex;
  std::vector<std::vector<int>> involves(algebraic.size());
  for (std::size_t a = 0; a < algebraic.size(); ++a) {
    const lib::Rule* rule = model.getRule(static_cast<unsigned int>(algebraic[a]));
    for (const std::string& name : NamesRead(rule->getMath())) {
      if (!free(name)) continue;
      auto [found, added] = unknownIndex.emplace(name, static_cast<int>(unknowns.size()));
      if (added) unknowns.push_back(name);
      involves[a].push_back(found->second);
    }
  }
  const ConstraintMatching matching = MatchConstraints(involves, static_cast<int>(unknowns.size()));
  if (!matching.complete()) {
    std::vector<int> rules;
    std::set<std::string> read;
    for (int a : matching.excess) {
      rules.push_back(algebraic[static_cast<std::size_t>(a)]);
      for (int u : involves[static_cast<std::size_t>(a)])
        read.insert(unknowns[static_cast<std::size_t>(u)]);
    }
    std::string reads;
    for (const std::string& id : read) reads += (reads.empty() ? "" : ", ") + Quoted(id);
    const bool one = rules.size() == 1;
    result.problems.push_back(
        RuleNumbers(rules) +
        (read.empty() ? std::string(one ? ", which reads no quantity that nothing else determines"
                                        : ", which read no quantity that nothing else determines")
                      : ", which can determine only " + reads) +
        ": an over-determined or higher-index system");
    return result;
  }
  std::vector<char> paired(unknowns.size(), 0);
  for (int u : matching.unknownOf) paired[static_cast<std::size_t>(u)] = 1;
  for (std::size_t a = 0; a < algebraic.size(); ++a) {
    for (int u : involves[a]) {
      if (paired[static_cast<std::size_t>(u)]) continue;
      const std::string& chosen = unknowns[static_cast<std::size_t>(matching.unknownOf[a])];
      result.problems.push_back(RuleNumbers({algebraic[a]}) + ", which could determine " +
                                Quoted(chosen) + " or " +
                                Quoted(unknowns[static_cast<std::size_t>(u)]));
      return result;
    }
  }
  for (std::size_t a = 0; a < algebraic.size(); ++a) {
    const std::string& id = unknowns[static_cast<std::size_t>(matching.unknownOf[a])];
    if (stoichiometries.count(id) > 0) {
      result.problems.push_back(RuleNumbers({algebraic[a]}) +
                                ", which determines the stoichiometry " + Quoted(id));
      continue;
    }
    result.variables[static_cast<std::size_t>(algebraic[a])] = id;
  }
  return result;
}

}  // namespace vireon::sbml
