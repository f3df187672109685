#pragma once
// Reference models with rate laws, for the tests of the engine and of
// everything built on it. Models are built from equations (model_builder.h),
// analysed, and given built-in kinetic types by name.

#include <string>
#include <vector>

#include "kinetics/kinetic_catalogue.h"
#include "model/model.h"

namespace vireon::test {

// The 34 built-in kinetic types, built once for the whole test program.
const KineticCatalogue& BuiltInCatalogue();

// Gives the named step the named built-in type with these constants (in the
// type's order) and modifiers (metabolite names, in the type's role order).
void UseKinetics(Model& model, const std::string& step, const std::string& type,
                 std::vector<double> constants, const std::vector<std::string>& modifiers = {});

// Sets a metabolite's initial concentration (and compartment, when given).
void SetInitial(Model& model, const std::string& metabolite, double concentration,
                int compartment = -1);

// The reference models. Each has been through its structural analysis and
// every step has a type.

// S -> X -> P with S and P fixed, mass action: v1 = k1 [S], v2 = k2 [X].
// Steady state [X] = k1 [S] / k2.
Model LinearTwoStep(double k1 = 2.0, double k2 = 0.5, double s = 1.0);

// S -> A -> B -> P, S and P fixed, irreversible Michaelis-Menten steps.
Model LinearMichaelisMenten();

// S -> X, X -> P1, X -> P2: a branch point; fixed ends, Michaelis-Menten.
Model BranchedPathway();

// E + S = ES, ES -> E + P with S and P fixed (mass action): a conserved
// moiety E + ES.
Model EnzymeWithMoiety();

// The Brusselator with A and B fixed: A -> X, 2X + Y -> 3X, B + X -> Y + D,
// X -> E, all mass action (rates 1). With A = 1 and B = 3 its steady state
// X = 1, Y = 3 is an unstable focus (eigenvalues 0.5 +/- 0.866i).
Model Brusselator(double a = 1.0, double b = 3.0);

}  // namespace vireon::test
