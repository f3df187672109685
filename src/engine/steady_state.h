#pragma once
// The steady-state search: damped Newton iterations on the reduced system,
// forward integration over growing time spans, and backward integration as
// the last resort. On success the solution is in state.ssAmounts and the
// model's concentrations, fluxes and transition times, the Jacobian and the
// eigenvalues are those of the steady state.

#include "engine/engine.h"

namespace vireon {

// Outcomes held in EngineState::ssFailure.
inline constexpr int kSteadyStateFound = 0;
inline constexpr int kSteadyStateNotFound = 1;     // residual too large or negative amounts
inline constexpr int kSingularJacobian = 2;
inline constexpr int kDampingFailed = 3;           // no damped step reduced the residual
inline constexpr int kNewtonLimitReached = 4;

// The whole task under the run's strategy; the counters of all stages are
// totalled in state.fEvaluations and state.jEvaluations.
void SteadyState(Engine& engine);

// Damped Newton iteration from state.ssAmounts; sets state.ssFailure.
void Newton(Engine& engine);

// 0 when state.ssAmounts is a steady state with no negative variable amount.
int CheckSteadyState(Engine& engine);

// state.equilibrium = 1 when no step carries a flux above the resolution.
void CheckEquilibrium(Engine& engine);

}  // namespace vireon
