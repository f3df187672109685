#include "sbml/built_in_law_formulas.h"

#include <utility>

#include "kinetics/built_in_rate_laws.h"

namespace vireon::sbml {

namespace {

// Each formula follows its rate law in kinetics/built_in_rate_laws.cpp term
// by term, so that the exported law computes the same numbers in the same
// order; the export tests compare every one of them with its rate law.
constexpr std::pair<std::string_view, std::string_view> kFormulas[] = {
    {kConstantFluxIrreversible, "k0"},
    {kConstantFluxReversible, "k0"},
    {"Henri-Michaelis-Menten (irreversible)", "k1*s0/(k0 + s0)"},
    {"Reversible Michaelis-Menten", "(k2*s0/k0 - k3*p0/k1)/(1 + s0/k0 + p0/k1)"},
    {"Substrate inhibition (rev)", "(k2*s0/k0 - k3*p0/k1)/(1 + s0/k0 + p0/k1 + s0*s0/k4)"},
    {"Substrate inhibition (irr)", "(k1*s0/k0)/(1 + s0/k0 + s0*s0/k2)"},
    {"Substrate activation (irr)",
     "k0*(s0/k2)*(s0/k2)/(1 + s0/k1 + s0/k2 + (s0/k2)*(s0/k2))"},
    {"Competitive inhibition (rev)", "(k2*s0/k0 - k3*p0/k1)/(1 + s0/k0 + p0/k1 + m0/k4)"},
    {"Competitive inhibition (irr)", "(k1*s0/k0)/(1 + s0/k0 + m0/k2)"},
    {"Uncompetitive inhibition (rev)",
     "(k2*s0/k0 - k3*p0/k1)/(1 + (s0/k0 + p0/k1)*(1 + m0/k4))"},
    {"Uncompetitive inhibition (irr)", "(k1*s0/k0)/(1 + (s0/k0)*(1 + m0/k2))"},
    {"Noncompetitive inhibition (rev)",
     "(k2*s0/k0 - k3*p0/k1)/(1 + m0/k4 + (s0/k0 + p0/k1)*(1 + m0/k4))"},
    {"Noncompetitive inhibition (irr)", "(k1*s0/k0)/(1 + m0/k2 + (s0/k0)*(1 + m0/k2))"},
    {"Mixed inhibition (rev)",
     "(k2*s0/k0 - k3*p0/k1)/(1 + m0/k4 + (s0/k0 + p0/k1)*(1 + m0/k5))"},
    {"Mixed inhibition (irr)", "(k1*s0/k0)/(1 + m0/k2 + (s0/k0)*(1 + m0/k3))"},
    {"Specific activation (rev)",
     "(k2*s0*k1 - k3*p0*k0)*m0/((k0*k1 + s0*k1 + p0*k0)*m0 + k4*k0*k1)"},
    {"Specific activation (irrev)", "k1*s0*m0/((k0 + s0)*m0 + k2*k0)"},
    {"Catalytic activation (rev)",
     "(k2*s0*k1 - k3*p0*k0)*m0/((m0 + k4)*(k0*k1 + s0*k1 + p0*k0))"},
    {"Catalytic activation (irrev)", "k1*s0*m0/((m0 + k2)*(k0 + s0))"},
    {"Mixed activation (rev)",
     "(k2*s0*k1 - k3*p0*k0)*m0/((m0 + k5)*(s0*k1 + p0*k0) + (m0 + k4)*k0*k1)"},
    {"Mixed activation (irrev)", "k1*s0*m0/((m0 + k3)*s0 + (m0 + k2)*k0)"},
    {"Hyperbolic modifier (irrev)",
     "k1*(s0/k0)*(1 + k4*m0/(k3*k2))/(1 + m0/k2 + (s0/k0)*(1 + m0/(k3*k2)))"},
    {"Hyperbolic modifier (rev)",
     "(k2*s0/k0 - k3*p0/k1)*(1 + k6*m0/(k5*k4))/(1 + m0/k4 + (s0/k0 + p0/k1)*(1 + "
     "m0/(k5*k4)))"},
    {"Allosteric inhibition (MWC)",
     "k0*(s0/k1)*(1 + s0/k1)^(k2 - 1)/((1 + s0/k1)^k2 + k3*(1 + m0/k4)^k2)"},
    {"Allosteric inhibition (empirical)",
     "(k0*s0/k2 - k1*p0/k3)/(1 + s0/k2 + p0/k3 + m0^k4/k5)"},
    {"Hill Cooperativity", "k1*s0^k2/(k0^k2 + s0^k2)"},
    {"Uni Uni", "k2*(s0 - p0/k3)/(s0 + k0*(1 + p0/k1))"},
    {"Iso Uni Uni", "k3*(s0 - p0/k4)/(s0*(1 + s0/k2) + k0*(1 + s0/k1))"},
    {"Ordered Uni Bi",
     "k5*(s0 - p0*p1/k4)/(k0 + s0*(1 + p0/k3) + (k5/(k4*k6))*(k2*p0 + k1*p1 + p0*p1))"},
    {"Ordered Bi Uni",
     "k5*(s0*s1 - p0/k4)/(k0*s1 + k1*s0 + s0*s1 + (k5/(k4*k6))*(k2 + p0*(1 + s0/k3)))"},
    {"Ordered Bi Bi",
     "k1*(s0*s1 - p0*p1/k0)/(k7*k4 + k4*s0 + k3*s1 + s0*s1*(1 + p0/k9) + "
     "(k1/k0)*((k5*p1*(1 + k3*s1/(k7*k4)) + p0*p1*(1 + s1/k8))/k2 + k6*p0*(1 + s0/k7)))"},
    {"Ping Pong Bi Bi",
     "k1*k2*(s0*s1 - p0*p1/k0)/(k4*s0 + k3*s1*(1 + p1/k8) + s0*s1 + "
     "(k1/(k0*k2))*(k6*p0*(1 + s0/k7) + k5*p1 + p0*p1))"},
};

}  // namespace

std::string_view BuiltInLawFormula(std::string_view typeName) {
  for (const auto& [name, formula] : kFormulas) {
    if (name == typeName) return formula;
  }
  return {};
}

}  // namespace vireon::sbml
