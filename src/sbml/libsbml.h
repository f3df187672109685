#pragma once
// All of libSBML that the SBML code's sources use, under vireon::sbml::lib
// (see libsbml_names.h). Sources include this; headers only the names.

#include <sbml/SBMLTypes.h>
#include <sbml/conversion/ConversionProperties.h>
#include <sbml/extension/SBasePlugin.h>
#include <sbml/packages/comp/extension/CompSBMLDocumentPlugin.h>

#include <vector>

#include "sbml/libsbml_names.h"

namespace vireon::sbml::lib {
#define VIREON_LIBSBML(name) using ::LIBSBML_CPP_NAMESPACE_QUALIFIER name;
VIREON_LIBSBML(CompSBMLDocumentPlugin)
VIREON_LIBSBML(AlgebraicRule)
VIREON_LIBSBML(AssignmentRule)
VIREON_LIBSBML(Compartment)
VIREON_LIBSBML(ConversionProperties)
VIREON_LIBSBML(Delay)
VIREON_LIBSBML(Event)
VIREON_LIBSBML(EventAssignment)
VIREON_LIBSBML(FunctionDefinition)
VIREON_LIBSBML(InitialAssignment)
VIREON_LIBSBML(KineticLaw)
VIREON_LIBSBML(LocalParameter)
VIREON_LIBSBML(ModifierSpeciesReference)
VIREON_LIBSBML(Parameter)
VIREON_LIBSBML(RateRule)
VIREON_LIBSBML(Reaction)
VIREON_LIBSBML(Rule)
VIREON_LIBSBML(SBMLError)
VIREON_LIBSBML(SBMLNamespaces)
VIREON_LIBSBML(Species)
VIREON_LIBSBML(SpeciesReference)
VIREON_LIBSBML(Priority)
VIREON_LIBSBML(StoichiometryMath)
VIREON_LIBSBML(Trigger)
VIREON_LIBSBML(XMLNode)
VIREON_LIBSBML(LIBSBML_SEV_ERROR)
VIREON_LIBSBML(LIBSBML_SEV_FATAL)
VIREON_LIBSBML(readSBMLFromFile)
VIREON_LIBSBML(readSBMLFromString)
VIREON_LIBSBML(writeSBMLToStdString)
VIREON_LIBSBML(SBML_parseL3Formula)
#undef VIREON_LIBSBML
}  // namespace vireon::sbml::lib

namespace vireon::sbml {

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

}  // namespace vireon::sbml
