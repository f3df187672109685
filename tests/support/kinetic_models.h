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
// every step has a type. The catalogue in reference_models.h holds their
// steady states, Jacobians, link matrices and control coefficients.

// S -> X -> P with S and P fixed, mass action: v1 = k1 [S], v2 = k2 [X].
// The defaults are the catalogue's (kTwoStepChain), which also has the
// closed forms.
Model LinearTwoStep(double k1 = 2.0, double k2 = 0.5, double s = 1.0);

// S = X -> P with S and P fixed, mass action: v1 = k1 [S] - km1 [X],
// v2 = k2 [X].
Model ReversibleTwoStep(double k1 = 2.0, double km1 = 1.0, double k2 = 0.5, double s = 1.0);

// X -> S -> P with X and P fixed at 1 and 0, mass action, v1 = q [X] (R1's
// constant k tied to the global quantity q by an assignment rule) and
// v2 = [S], and the rate rule q' = 1 - q [S]; [S] starts at 0.6, q at 1.7.
// At the steady state q = [S] = 1, J = 1: scaling v1 by a gives [S] = J =
// sqrt(a), q = 1 / sqrt(a); scaling v2 by b gives [S] = q = 1 / sqrt(b),
// J = sqrt(b), so every scaled control coefficient is +-1/2. The Jacobian
// over ([S], q) is [[-1, 1], [-1, -1]], with eigenvalues -1 +- i.
Model RateRuleFeedback();

// S -> A -> B -> P, S and P fixed, irreversible Michaelis-Menten steps.
Model LinearMichaelisMenten();

// S -> X, X -> P1, X -> P2: a branch point; fixed ends, Michaelis-Menten.
Model BranchedPathway();

// E + S = ES, ES -> E + P with S and P fixed (mass action): a conserved
// moiety E + ES.
Model EnzymeWithMoiety();

// S = X with the reversible Michaelis-Menten law (Kms = Kmp = 1, Vf = 4,
// Vr = 1), then X -> P by mass action (k = 1); S = 1 and P fixed.
Model ReversibleMichaelisMentenStep();

// A -> B -> C -> A by mass action (k1 = 1, k2 = 2, k3 = 0.5), A and C in a
// compartment of volume 0.5, B in one of volume 2; A + B + C (over
// concentrations) is conserved.
Model UnequalVolumesCycle();

// The Brusselator with A and B fixed: A -> X, 2X + Y -> 3X, B + X -> Y + D,
// X -> E, all mass action (rates 1).
Model Brusselator(double a = 1.0, double b = 3.0);

}  // namespace vireon::test
