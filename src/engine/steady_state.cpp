#include "engine/steady_state.h"

#include <cmath>
#include <vector>

#include "engine/lu_solver.h"
#include "engine/stability.h"
#include "engine/time_course.h"

namespace vireon {

namespace {

// Damped Newton tries the full step, then half, a quarter, ... of it.
constexpr int kMaxDampingHalvings = 32;
// Integration passes cover 10, 100, ..., 1e10 units of time.
constexpr int kIntegrationPasses = 10;
constexpr double kPassGrowth = 10.0;

// True when some variable amount is negative or not a number: an amount
// that no rate law reads can be NaN while the residual is small, and such
// a point is no steady state either.
bool AnyNegativeVariable(const Engine& engine, const std::vector<double>& x) {
  for (int p = 1; p <= engine.model.nVariable; ++p) {
    if (!(x[p] >= 0.0)) return true;
  }
  return false;
}

// The verdict on a residual m: found, unless some variable amount is negative.
SteadyStateOutcome JudgeResidual(const Engine& engine, double m, SteadyStateOutcome otherwise) {
  if (m < engine.settings.solver.steadyStateResolution) {
    return AnyNegativeVariable(engine, engine.state.ssAmounts) ? SteadyStateOutcome::kNotFound
                                                               : SteadyStateOutcome::kFound;
  }
  return otherwise;
}

std::vector<double*> RowPointers(Matrix<double>& matrix) {
  std::vector<double*> rows(matrix.rows());
  for (int i = 0; i < matrix.rows(); ++i) rows[i] = matrix[i];
  return rows;
}

// The unknowns Newton's method works on. Without rate rules they are the
// independent amounts, kept in the engine state's vectors; F comes from
// Derivs and the dependent amounts from the conservation relations.
class AmountSystem {
 public:
  explicit AmountSystem(Engine& engine) : engine_(engine), state_(engine.state) {}
  int size() const { return engine_.model.nIndependent; }
  double* point() { return state_.ssAmounts.data(); }
  double* trial() { return state_.trialAmounts.data(); }
  double* residual() { return state_.derivatives.data(); }
  double* step() { return state_.newtonStep.data(); }
  bool sparse() const { return engine_.equations.useSparsity(); }
  double Evaluate() {
    engine_.equations.Derivs(point(), residual());
    return engine_.equations.ResidualNorm(residual());
  }
  double EvaluateTrial() {
    engine_.equations.DependentAmounts(trial());
    engine_.equations.Derivs(trial(), residual());
    return engine_.equations.ResidualNorm(residual());
  }
  void Jacobian() { engine_.equations.ComputeJacobian(point(), state_.jacobian); }
  void Accept() {
    for (int p = 1; p <= engine_.model.nVariable; ++p) state_.ssAmounts[p] = state_.trialAmounts[p];
  }
  void Finish() {}

 private:
  Engine& engine_;
  EngineState& state_;
};

// With rate rules the unknowns are the independent amounts and then the
// rate-rule targets, held here; the engine state's amounts and the
// targets' places follow every accepted point.
class RateRuleSystem {
 public:
  explicit RateRuleSystem(Engine& engine)
      : engine_(engine),
        n_(engine.equations.nReduced()),
        point_(static_cast<std::size_t>(n_) + 1, 0.0),
        trial_(point_),
        residual_(point_),
        step_(point_) {
    engine.equations.ReducedPoint(engine.state.ssAmounts.data(), point_.data());
  }
  int size() const { return n_; }
  double* point() { return point_.data(); }
  double* trial() { return trial_.data(); }
  double* residual() { return residual_.data(); }
  double* step() { return step_.data(); }
  bool sparse() const { return false; }
  double Evaluate() { return engine_.equations.ReducedResidual(point(), residual()); }
  double EvaluateTrial() { return engine_.equations.ReducedResidual(trial(), residual()); }
  void Jacobian() { engine_.equations.ComputeReducedJacobian(point(), engine_.state.jacobian); }
  void Accept() {
    point_ = trial_;
    Finish();
  }
  // The engine state's amounts and the rules at the current point.
  void Finish() { engine_.equations.SetReducedPoint(point(), engine_.state.ssAmounts.data()); }

 private:
  Engine& engine_;
  int n_;
  std::vector<double> point_, trial_, residual_, step_;
};

bool HasRateRules(const Engine& engine) { return engine.rules && engine.rules->rateCount() > 0; }

// Integration passes from the initial amounts over growing spans (forward
// for a positive first interval, backward for a negative one), stopping at
// the first pass that ends at a steady state. With newtonAfterPass, Newton
// is tried from the end of every pass. False when a stop request ended it.
bool IntegrationStage(Engine& engine, double firstInterval, bool newtonAfterPass,
                      SteadyStateSummary& summary) {
  EngineState& state = engine.state;
  const TaskSettings& settings = engine.settings;
  engine.equations.SetInitialAmounts(state.amounts.data());
  state.rtol[1] = settings.solver.relativeTolerance;
  state.atol[1] = settings.solver.absoluteTolerance;
  const int savedPoints = engine.points;
  engine.points = 1;
  state.interval = firstInterval;
  for (int pass = 0; pass < kIntegrationPasses; ++pass) {
    state.time = 0.0;
    state.timeOut = 0.0;
    state.istate = 1;
    state.interval *= kPassGrowth;
    state.maxSteps = 0;
    engine.watchEvents = false;
    const TimeCourseResult integration = TimeCourse(engine, /*write=*/false);
    engine.watchEvents = true;
    ++summary.integrationPasses;
    if (integration.outcome == TimeCourseOutcome::kStopped) {
      engine.points = savedPoints;
      return false;
    }
    summary.fEvaluations += integration.summary.fEvaluations;
    summary.jEvaluations += integration.summary.jEvaluations;
    const int n = engine.model.nMetabolites();
    for (int p = 1; p <= n; ++p) state.ssAmounts[p] = state.amounts[p];
    if (CheckSteadyState(engine) == SteadyStateOutcome::kFound) break;
    if (newtonAfterPass) {
      state.newtonFEvals = 0;
      state.newtonJEvals = 0;
      const SteadyStateOutcome outcome = Newton(engine);
      summary.fEvaluations += state.newtonFEvals;
      summary.jEvaluations += state.newtonJEvals;
      if (outcome == SteadyStateOutcome::kFound) break;
    }
  }
  engine.points = savedPoints;
  return true;
}

}  // namespace

SteadyStateOutcome CheckSteadyState(Engine& engine) {
  EngineState& state = engine.state;
  state.ssFailure = SteadyStateOutcome::kNotFound;
  if (AnyNegativeVariable(engine, state.ssAmounts)) return state.ssFailure;
  double m = 0.0;
  if (HasRateRules(engine)) {
    RateRuleSystem system(engine);
    m = system.Evaluate();
  } else {
    engine.equations.Derivs(state.ssAmounts.data(), state.derivatives.data());
    m = engine.equations.ResidualNorm(state.derivatives.data());
  }
  ++state.newtonFEvals;
  if (m < engine.settings.solver.steadyStateResolution) {
    state.ssFailure = SteadyStateOutcome::kFound;
  }
  return state.ssFailure;
}

namespace {

// Newton's method, in the order it works:
//  1. the residual at the start; a start that already is a steady state ends it;
//  2. up to NewtonLimit iterations of: the Jacobian, its LU factors (a zero
//     pivot ends with "singular"), the correction from J delta = F, and the
//     damping that halves the correction until the residual does not grow;
//  3. the outcome is judged on the last accepted residual.
template <class System>
SteadyStateOutcome NewtonOn(Engine& engine, System& system) {
  EngineState& state = engine.state;
  const int n = system.size();

  state.ssFailure = SteadyStateOutcome::kNotFound;
  double m = system.Evaluate();
  ++state.newtonFEvals;
  // A residual that is not a number cannot be reduced.
  if (std::isnan(m)) return state.ssFailure;
  state.ssFailure = JudgeResidual(engine, m, SteadyStateOutcome::kNotFound);
  if (state.ssFailure == SteadyStateOutcome::kFound) return state.ssFailure;

  std::vector<double*> rows = RowPointers(state.jacobian);
  // The transposed solve gives the dense form's zeros with their signs, which
  // the step below reads: -0 - (+0) differs from -0 - (-0).
  LuSolver lu(/*sparse=*/system.sparse());
  double* point = system.point();
  double* trialPoint = system.trial();
  double* step = system.step();
  for (int k = 1; k <= engine.settings.solver.newtonLimit; ++k) {
    system.Jacobian();
    if (lu.Factor(rows.data(), n) != 0) {
      state.ssFailure = SteadyStateOutcome::kSingularJacobian;
      return state.ssFailure;
    }
    // jacobian[j][i] holds dF_i/dx_j, so J delta = F is the transposed solve.
    for (int p = 1; p <= n; ++p) step[p] = system.residual()[p];
    lu.SolveTransposed(step);

    // The full step is always tried first, whatever m is: a loop guarded by
    // "reference 1.001 m > m" makes no trial at all when m is exactly 0 and
    // would then accept whatever trialAmounts held from an earlier search
    // as the new point, judged on the old residual.
    double reference = m;
    int trial = 0;
    do {
      for (int p = 1; p <= n; ++p) {
        trialPoint[p] = point[p] - step[p];
        step[p] /= 2.0;
      }
      reference = system.EvaluateTrial();
      ++state.newtonFEvals;
    } while (++trial < kMaxDampingHalvings && !(reference <= m));
    if (!(reference <= m)) {
      state.ssFailure = JudgeResidual(engine, m, SteadyStateOutcome::kDampingFailed);
      return state.ssFailure;
    }
    system.Accept();
    m = reference;
  }
  state.ssFailure = JudgeResidual(engine, m, SteadyStateOutcome::kNewtonLimitReached);
  return state.ssFailure;
}

}  // namespace

SteadyStateOutcome Newton(Engine& engine) {
  if (HasRateRules(engine)) {
    RateRuleSystem system(engine);
    const SteadyStateOutcome outcome = NewtonOn(engine, system);
    system.Finish();
    return outcome;
  }
  AmountSystem system(engine);
  return NewtonOn(engine, system);
}

// The task, in the order it works:
//  1. the Newton stage ("Newton+integration" and "Newton only");
//  2. forward integration passes ("Integration only", or "Newton+integration"
//     after Newton failed, with Newton after each pass);
//  3. backward integration passes after every failed strategy (and always
//     under "Backward integration", which tries nothing else);
//  4. the results: on failure concentrations -1 and fluxes 0, on success
//     the Jacobian, eigenvalues, concentrations, fluxes and transition times.
SteadyStateResult SteadyState(Engine& engine) {
  using Strategy = SteadyStateStrategy;
  EngineState& state = engine.state;
  Model& model = engine.model;
  const Strategy strategy = engine.settings.solver.steadyStateStrategy;

  state.fEvaluations = 0.0;
  state.jEvaluations = 0.0;
  state.newtonFEvals = 0;
  state.newtonJEvals = 0;
  state.ssFailure = SteadyStateOutcome::kNotFound;
  SteadyStateResult result;
  SteadyStateSummary& summary = result.summary;
  if (strategy == Strategy::kNewtonThenIntegration || strategy == Strategy::kNewtonOnly) {
    engine.equations.SetInitialAmounts(state.trialAmounts.data());
    state.ssAmounts = state.trialAmounts;
    Newton(engine);
    summary.fEvaluations += state.newtonFEvals;
    summary.jEvaluations += state.newtonJEvals;
  }
  bool going = true;
  if ((strategy == Strategy::kNewtonThenIntegration &&
       state.ssFailure != SteadyStateOutcome::kFound) ||
      strategy == Strategy::kIntegrationOnly) {
    going =
        IntegrationStage(engine, 1.0,
                         /*newtonAfterPass=*/strategy == Strategy::kNewtonThenIntegration, summary);
  }
  // Any stored value other than the four strategies also ends here.
  if (going && (state.ssFailure != SteadyStateOutcome::kFound ||
                strategy == Strategy::kBackwardIntegration)) {
    going = IntegrationStage(engine, -1.0, /*newtonAfterPass=*/false, summary);
  }
  if (!going) {
    state.ssFailure = SteadyStateOutcome::kStopped;
    result.outcome = SteadyStateOutcome::kStopped;
    return result;
  }
  state.fEvaluations = static_cast<double>(summary.fEvaluations);
  state.jEvaluations = static_cast<double>(summary.jEvaluations);
  result.outcome = state.ssFailure;

  if (state.ssFailure != SteadyStateOutcome::kFound) {
    for (Metabolite& m : model.metabolites) {
      m.concentration = -1.0;
      m.transitionTime = 0.0;
    }
    for (Step& s : model.steps) s.flux = 0.0;
    model.totalTransitionTime = 0.0;
    return result;
  }
  // The metabolites the rules set take their values at the steady state.
  engine.equations.UpdateRules(state.ssAmounts.data());
  if (HasRateRules(engine)) {
    RateRuleSystem system(engine);
    system.Jacobian();
  } else {
    engine.equations.ComputeJacobian(state.ssAmounts.data(), state.jacobian);
  }
  ComputeEigenvalues(engine);
  engine.equations.StoreConcentrations(state.ssAmounts.data(), model);
  engine.equations.EvaluateFluxes(state.ssAmounts.data(), model);
  engine.equations.ComputeTransitionTimes(state.ssAmounts.data(), model);
  return result;
}

void CheckEquilibrium(Engine& engine) {
  // Every flux must be small in magnitude: a network whose fluxes all run
  // backwards is not at equilibrium, and neither is one with a flux that is
  // not a number (a step between fixed metabolites can have one at a
  // steady state).
  int equilibrium = 1;
  for (const Step& s : engine.model.steps) {
    if (!(std::fabs(s.flux) <= engine.settings.solver.steadyStateResolution)) equilibrium = 0;
  }
  engine.state.equilibrium = equilibrium;
}

}  // namespace vireon
