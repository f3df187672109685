#pragma once
// Small SBML Level 3 models for the tests, built through libSBML: formulas
// in libSBML's infix syntax become the MathML of kinetic laws.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sbml/libsbml.h"

namespace vireon::test {

namespace lib = sbml::lib;

struct SpeciesOptions {
  bool amount = false;  // the initial value is an amount
  bool boundary = false;
  bool constant = false;
  bool onlySubstanceUnits = false;
};

class SbmlBuilder {
 public:
  explicit SbmlBuilder(unsigned int level = 3, unsigned int version = 1)
      : document_(std::make_unique<lib::SBMLDocument>(level, version)) {
    model_ = document_->createModel();
    model_->setId("m");
  }

  SbmlBuilder& Compartment(const std::string& id, double size) {
    auto* c = model_->createCompartment();
    c->setId(id);
    c->setSize(size);
    c->setConstant(true);
    c->setSpatialDimensions(3u);
    return *this;
  }

  SbmlBuilder& Species(const std::string& id, const std::string& compartment, double initial,
                       SpeciesOptions options = {}) {
    auto* s = model_->createSpecies();
    s->setId(id);
    s->setCompartment(compartment);
    if (options.amount) {
      s->setInitialAmount(initial);
    } else {
      s->setInitialConcentration(initial);
    }
    s->setBoundaryCondition(options.boundary);
    s->setConstant(options.constant);
    s->setHasOnlySubstanceUnits(options.onlySubstanceUnits);
    return *this;
  }

  SbmlBuilder& Parameter(const std::string& id, double value) {
    auto* p = model_->createParameter();
    p->setId(id);
    p->setValue(value);
    p->setConstant(true);
    return *this;
  }

  SbmlBuilder& Function(const std::string& id, const std::string& lambda) {
    auto* f = model_->createFunctionDefinition();
    f->setId(id);
    std::unique_ptr<lib::ASTNode> math(lib::SBML_parseL3Formula(lambda.c_str()));
    EXPECT_TRUE(math) << lambda;
    f->setMath(math.get());
    return *this;
  }

  using References = std::vector<std::pair<std::string, double>>;

  SbmlBuilder& Reaction(const std::string& id, const References& reactants,
                        const References& products, const std::string& formula,
                        const References& locals = {}, bool reversible = false) {
    auto* r = model_->createReaction();
    r->setId(id);
    r->setReversible(reversible);
    r->setFast(false);
    for (const auto& [species, stoichiometry] : reactants) {
      auto* reference = r->createReactant();
      reference->setSpecies(species);
      reference->setStoichiometry(stoichiometry);
      reference->setConstant(true);
    }
    for (const auto& [species, stoichiometry] : products) {
      auto* reference = r->createProduct();
      reference->setSpecies(species);
      reference->setStoichiometry(stoichiometry);
      reference->setConstant(true);
    }
    auto* law = r->createKineticLaw();
    std::unique_ptr<lib::ASTNode> math(lib::SBML_parseL3Formula(formula.c_str()));
    EXPECT_TRUE(math) << formula;
    law->setMath(math.get());
    for (const auto& [parameter, value] : locals) {
      auto* p = law->createLocalParameter();
      p->setId(parameter);
      p->setValue(value);
    }
    return *this;
  }

  // A rule or initial assignment of `variable`; a parameter or compartment
  // it sets over time becomes non-constant.
  SbmlBuilder& AssignmentRule(const std::string& variable, const std::string& formula) {
    auto* rule = model_->createAssignmentRule();
    rule->setVariable(variable);
    SetMath(*rule, formula);
    MakeVariable(variable);
    return *this;
  }
  SbmlBuilder& RateRule(const std::string& variable, const std::string& formula) {
    auto* rule = model_->createRateRule();
    rule->setVariable(variable);
    SetMath(*rule, formula);
    MakeVariable(variable);
    return *this;
  }
  SbmlBuilder& AlgebraicRule(const std::string& formula) {
    SetMath(*model_->createAlgebraicRule(), formula);
    return *this;
  }
  SbmlBuilder& InitialAssignment(const std::string& symbol, const std::string& formula) {
    auto* assignment = model_->createInitialAssignment();
    assignment->setSymbol(symbol);
    SetMath(*assignment, formula);
    return *this;
  }

  lib::Model& model() { return *model_; }
  std::string Text() const { return lib::writeSBMLToStdString(document_.get()); }

 private:
  template <class Element>
  static void SetMath(Element& element, const std::string& formula) {
    std::unique_ptr<lib::ASTNode> math(lib::SBML_parseL3Formula(formula.c_str()));
    EXPECT_TRUE(math) << formula;
    element.setMath(math.get());
  }
  void MakeVariable(const std::string& variable) {
    if (auto* p = model_->getParameter(variable)) p->setConstant(false);
    if (auto* c = model_->getCompartment(variable)) c->setConstant(false);
  }

  std::unique_ptr<lib::SBMLDocument> document_;
  lib::Model* model_ = nullptr;
};

}  // namespace vireon::test
