#pragma once
// The steady-state search: damped Newton iterations on the reduced system,
// forward integration over growing time spans, and backward integration as
// the last resort. On success the solution is in state.ssAmounts and the
// model's concentrations, fluxes and transition times, the Jacobian and the
// eigenvalues are those of the steady state.

#include "engine/engine.h"

namespace vireon {

// What a search did, counted over all its stages.
struct SteadyStateSummary {
  long long fEvaluations = 0;  // right-hand-side evaluations
  long long jEvaluations = 0;  // Jacobian evaluations
  int integrationPasses = 0;   // forward and backward passes integrated
};

struct SteadyStateResult {
  SteadyStateOutcome outcome = SteadyStateOutcome::kNotFound;
  SteadyStateSummary summary;
};

// The whole task under the run's strategy. The outcome is also left in
// state.ssFailure and the counters in state.fEvaluations and
// state.jEvaluations, where the report and the output items read them. A
// stop request during an integration pass ends the search at once with
// kStopped and leaves the model's results as they were.
SteadyStateResult SteadyState(Engine& engine);

// Damped Newton iteration from state.ssAmounts; the outcome is also left in
// state.ssFailure.
SteadyStateOutcome Newton(Engine& engine);

// kFound when state.ssAmounts is a steady state with no negative variable
// amount (kNotFound otherwise); also left in state.ssFailure.
SteadyStateOutcome CheckSteadyState(Engine& engine);

// state.equilibrium = 1 when no step carries a flux above the resolution.
void CheckEquilibrium(Engine& engine);

}  // namespace vireon
