#pragma once
// Metabolic control analysis at a steady state: elasticities by finite
// differences, concentration and flux control coefficients by the matrix
// method on the reduced system, and their scaled (relative) form.
//
// Storage is by 0-based positions: elasticities[s][i] for the step at step
// position s and the metabolite at position i; concControl[i][s];
// fluxControl[j][k].

#include "engine/engine.h"

namespace vireon {

// d(rate)/d(amount) for every step and metabolite; all zero when no steady
// state was found.
void ComputeElasticities(Engine& engine);

// concControl = -L (U e L)^-1 U. Returns 0, or 1 when the reduced Jacobian
// is singular (concControl then stays 0).
int ComputeControlCoefficients(Engine& engine);

// fluxControl = I + e concControl, or all zero when singular.
void ComputeFluxControl(Engine& engine, int singular);

// Relative form: each coefficient times the ratio of the quantities it
// relates (amounts and fluxes); DBL_MAX where the divisor is below the
// resolution. Nothing happens when singular.
void ScaleCoefficients(Engine& engine, int singular);

// The whole analysis as a run does it after each steady state.
void ControlAnalysis(Engine& engine);

}  // namespace vireon
