#pragma once
// The catalogue of reference models: small networks from kinetic_models.h
// and a few more, each carrying the answers worked out for it once, by hand
// or in closed form (the derivation stands beside the numbers in
// reference_models.cpp): its structure (the positions the structural
// analysis gives the metabolites, the link matrix, the conserved moieties),
// its steady state, the reduced Jacobian there and its eigenvalues, and the
// scaled elasticities and control coefficients. Tests of every subsystem read
// the expected values from here instead of deriving them again.
//
// Matrices are addressed by name, not by position: rows and columns follow
// the name lists of the entry (`independent`, then `dependent`, for the
// metabolites; `steps` for the steps), and a test finds the engine position
// of each name through the model.

#include <cmath>
#include <complex>
#include <map>
#include <string>
#include <vector>

#include "model/model.h"

namespace vireon::test {

// What the engine's numbers may differ from the closed forms by: the steady
// state is solved to the resolution 1e-9; the Jacobian, the elasticities
// and the control coefficients come from central differences with the
// factor 0.001.
inline constexpr double kSteadyStateAbs = 1e-9;
inline constexpr double kSteadyStateRel = 1e-7;
inline constexpr double kDerivativeAbs = 1e-5;
inline constexpr double kDerivativeRel = 1e-5;

// S -> X -> P with S and P fixed and mass-action steps v1 = k1 [S],
// v2 = k2 [X] (the model of LinearTwoStep, in volumes of 1), and the closed
// forms of its time course and steady state:
//   d[X]/dt = k1 [S] - k2 [X],  [X](t) = X* + ([X](t0) - X*) exp(-k2 (t - t0)),
//   X* = k1 [S] / k2,  J = k1 [S] through both steps.
// The members are in the order k1, [S], k2 so that a test can list the
// values of one task iteration as {k1, s, k2}.
struct TwoStepChain {
  double k1 = 2.0;
  double s = 1.0;
  double k2 = 0.5;

  Model Build() const;
  double SteadyX() const { return k1 * s / k2; }
  double Flux() const { return k1 * s; }
  // From [X] = 0 at time 0.
  double X(double t) const { return SteadyX() * (1.0 - std::exp(-k2 * t)); }
  // From [X] = x0 at time t0.
  double XFrom(double x0, double t0, double t) const {
    return SteadyX() + (x0 - SteadyX()) * std::exp(-k2 * (t - t0));
  }
};

// The chain with its catalogue constants: k1 = 2, [S] = 1, k2 = 0.5, so
// X* = 4 and J = 2.
inline constexpr TwoStepChain kTwoStepChain{};

struct ReferenceMoiety {
  std::string name;  // as the structural analysis writes it
  double total;      // the model record's value from the initial concentrations
};

struct ReferenceModel {
  std::string name;
  // Analysed, every step with its kinetic type, at its initial state.
  Model model;

  // Structure: the internal metabolites in the positions the structural
  // analysis gives them, and the link matrix L with rows over
  // independent + dependent and columns over independent (the permuted
  // stoichiometry is L times the reduced stoichiometry).
  std::vector<std::string> independent;
  std::vector<std::string> dependent;
  std::vector<std::vector<double>> link;
  std::vector<ReferenceMoiety> moieties;

  // The steady state: every internal metabolite's concentration and every
  // step's flux.
  std::map<std::string, double> concentrations;
  std::map<std::string, double> fluxes;
  // jacobian[i][j] = dF_i/dx_j there, F the rates of change of the amounts
  // of the independent metabolites and x their amounts (with unequal
  // volumes dF_i/dx_j = V_i / V_j times the same derivative in
  // concentrations); and its eigenvalues, in any order.
  std::vector<std::vector<double>> jacobian;
  std::vector<std::complex<double>> eigenvalues;

  // Scaled (relative) control analysis at the steady state.
  std::vector<std::string> steps;
  std::vector<std::vector<double>> elasticities;  // [step][internal metabolite]
  std::vector<std::vector<double>> fluxControl;   // [step j][step k]: C^J_j over v_k
  std::vector<std::vector<double>> concControl;   // [internal metabolite][step]

  // independent, then dependent.
  std::vector<std::string> Internal() const;
  // The 0-based positions that `model` (this entry's model or a copy of it)
  // gives the metabolites of Internal() and the steps of `steps`, in their
  // order; an unknown name fails the calling test.
  std::vector<int> MetabolitePositions(const Model& model) const;
  std::vector<int> StepPositions(const Model& model) const;
};

// Every catalogue model, built once for the whole test program:
// "LinearTwoStep", "ReversibleTwoStep", "LinearMichaelisMenten",
// "BranchedPathway", "EnzymeWithMoiety", "ReversibleMichaelisMenten",
// "UnequalVolumesCycle", "Brusselator".
const std::vector<ReferenceModel>& ReferenceModels();

// The catalogue entry of that name; an unknown name fails the calling test
// and gives the first entry.
const ReferenceModel& FindReferenceModel(const std::string& name);

}  // namespace vireon::test
