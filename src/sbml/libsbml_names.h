#pragma once
// The libSBML classes that Vireon's SBML code names, under one namespace
// whether libSBML was built with its C++ namespace or without (as Debian
// builds it), so that they never meet Vireon's own Model and Species.

#include <sbml/common/libsbml-namespace.h>

LIBSBML_CPP_NAMESPACE_BEGIN
class ASTNode;
class Model;
class SBMLDocument;
LIBSBML_CPP_NAMESPACE_END

namespace vireon::sbml::lib {
using ::LIBSBML_CPP_NAMESPACE_QUALIFIER ASTNode;
using ::LIBSBML_CPP_NAMESPACE_QUALIFIER Model;
using ::LIBSBML_CPP_NAMESPACE_QUALIFIER SBMLDocument;
}  // namespace vireon::sbml::lib
