#include "engine/engine.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "engine/cvode_integrator.h"
#include "engine/fast_equilibrium.h"
#include "engine/time_course_delays.h"
#include "kinetics/arithmetic_fault.h"
#include "model/structural_analysis.h"

namespace vireon {

double EngineHooks::NowMilliseconds() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void EngineHooks::SleepMilliseconds(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

// The rules of the model, their initial values applied to it (the model's
// own values kept for the destructor) and the conservation totals computed
// again; null when the model has none. A model with fast steps has its
// rules set up, none perhaps, since the fast equilibrium is found where the
// rules are evaluated.
std::unique_ptr<RuleSystem> SetUpRules(Model& model) {
  if (model.rules.empty() && model.events.empty() && !HasFastSteps(model)) return nullptr;
  if (const std::string problem = FastStepsProblem(model); !problem.empty()) {
    throw std::invalid_argument(problem);
  }
  std::string problem;
  std::unique_ptr<RuleSystem> rules = RuleSystem::Build(model, problem);
  if (!rules) throw std::invalid_argument(problem);
  rules->SaveModelValues(model);
  rules->ApplyInitialValues(model);
  ComputeMoietyTotals(model);
  return rules;
}

// The events of the model, the model's kinetic constants that they set
// kept for the destructor; null when the model has none.
std::unique_ptr<EventSystem> SetUpEvents(const Model& model) {
  if (model.events.empty()) return nullptr;
  std::string problem;
  std::unique_ptr<EventSystem> events = EventSystem::Build(model, problem);
  if (!events) throw std::invalid_argument(problem);
  events->SaveModelValues(model);
  return events;
}

// The current values start as the model's (after its initial values), for
// a model without rules as well: a scan may have changed them.
void StartCurrentValues(const Model& model, EngineState& state) {
  for (std::size_t g = 0; g < model.globalQuantities.size() && g < state.quantityValues.size(); ++g) {
    state.quantityValues[g] = model.globalQuantities[g].value;
  }
  for (std::size_t c = 0; c < model.compartments.size() && c < state.volumeValues.size(); ++c) {
    state.volumeValues[c] = model.compartments[c].volume;
  }
}

}  // namespace

Engine::Engine(Model& model, EngineState& state, const TaskSettings& settings, EngineHooks& hooks)
    : model(model),
      state(state),
      settings(settings),
      hooks(hooks),
      rules(SetUpRules(model)),
      events(SetUpEvents(model)),
      equations(model, state, settings.solver.derivationFactor,
                settings.solver.steadyStateResolution),
      points(settings.points),
      sleepLength(settings.sleepTime),
      rhs_(equations),
      jacobian_(equations) {
  if (settings.solver.integrator == Integrator::kCvode) {
    if (const std::string problem = CvodeProblem(model); !problem.empty()) {
      if (events) events->RestoreModelValues(model);
      if (rules) rules->RestoreModelValues(model);
      throw std::invalid_argument("CVODE cannot integrate this model: " + problem + ".");
    }
    cvode = std::make_unique<CvodeIntegrator>();
  }
  StartCurrentValues(model, state);
  // Events alone change the equations only through a volume: a model whose
  // events set amounts, kinetic constants and quantities keeps the
  // equations of a model without rules, and their cost. Fast steps are
  // followed where the rules are evaluated.
  if (rules && (!model.rules.empty() || rules->anyVolumeChanges() || HasFastSteps(model))) {
    equations.AttachRules(rules.get(), model);
    // With rules the fixed amounts are read from the engine state, whatever
    // vector a task evaluates the equations at: they start as the model's.
    equations.SetInitialAmounts(state.amounts.data());
    if (equations.hasFastSteps()) CheckFastEquilibriumAtStart();
    if (rules->hasLateInitialValues()) equations.ApplyLateInitialValues(state.amounts.data());
  }
  SetUseSparsity(true);
  if (settings.solver.analyticJacobian != 0 && equations.CanDifferentiateLaws()) {
    lsoda.SetJacobian(&jacobian_);
  }
  lsoda.SetSparseFactorisation(settings.solver.sparseFactorisation != 0);
}

// The fast steps must find their equilibrium at the initial values, or
// the model cannot run at all: that is said here, with the steps' names,
// rather than as an arithmetic fault of the first evaluation.
void Engine::CheckFastEquilibriumAtStart() {
  equations.SetTime(0.0);
  bool found = false;
  try {
    found = equations.EquilibrateFastSteps(state.amounts.data());
  } catch (const ArithmeticFault&) {
    found = false;
  }
  if (found) return;
  if (events) events->RestoreModelValues(model);
  rules->RestoreModelValues(model);
  std::string title = FastStepsTitle(model);
  title[0] = 'T';
  throw std::invalid_argument(
      title +
      " cannot be brought to equilibrium at time 0: Newton's method finds no amounts at "
      "which their rates balance (a rate that cannot reach 0, or a balance that does not "
      "fix the amounts the steps change).");
}

Engine::~Engine() {
  if (events) events->RestoreModelValues(model);
  if (rules) rules->RestoreModelValues(model);
}

void Engine::SetUseSparsity(bool use) {
  // The network's structure knows what the assignment rules make a rate
  // read, but not the rate-rule targets, which are further variables of
  // the integrator, nor a compartment that changes, nor a coefficient that
  // a rule gives where the equation has none.
  // Through the fast equilibrium, a rate reads every amount the fast
  // steps join.
  use = use && (!rules || (rules->rateCount() == 0 && !rules->anyVolumeChanges() &&
                           rules->stoichiometryCount() == 0 && !equations.hasFastSteps()));
  equations.SetUseSparsity(use);
  if (use) {
    lsoda.SetColumnStructure(&equations.fullStructure());
  } else {
    lsoda.SetColumnStructure(nullptr);
  }
  if (cvode) cvode->SetColumnStructure(use ? &equations.fullStructure() : nullptr);
}

IntegratorCounters Engine::Counters() const {
  if (cvode) return {cvode->nst(), cvode->nfe(), cvode->nje(), cvode->h()};
  return {lsoda.nst(), lsoda.nfe(), lsoda.nje(), lsoda.h()};
}

double Engine::IntegratorTime() const { return cvode ? cvode->tn() : lsoda.tn(); }

void Engine::FreeIntegrator() {
  if (cvode) {
    cvode->Free();
  } else {
    lsoda.LsodaFree();
  }
}

const double* Engine::AbsoluteTolerance(int& itol) {
  if (equations.hasRules()) {
    // The rate-rule targets are values and concentrations: their tolerance
    // is the one given.
    const int n = equations.nEquations();
    itol = 2;
    absoluteTolerances_.assign(static_cast<std::size_t>(n) + 1, state.atol[1]);
    for (int p = 1; p <= model.nVariable; ++p) {
      absoluteTolerances_[p] = state.atol[1] * equations.Volume(p);
    }
    return absoluteTolerances_.data();
  }
  const int n = model.nVariable;
  itol = 1;
  bool uniform = true;
  for (int p = 2; p <= n && uniform; ++p) uniform = equations.Volume(p) == equations.Volume(1);
  const double first = n >= 1 ? equations.Volume(1) : 1.0;
  if (uniform && first == 1.0) return state.atol;
  if (uniform) {
    absoluteTolerances_.assign(2, state.atol[1] * first);
    return absoluteTolerances_.data();
  }
  itol = 2;
  absoluteTolerances_.assign(static_cast<std::size_t>(n) + 1, 0.0);
  for (int p = 1; p <= n; ++p) absoluteTolerances_[p] = state.atol[1] * equations.Volume(p);
  return absoluteTolerances_.data();
}

void Engine::CallLsoda() {
  if (delays != nullptr) {
    delays->Advance();
    return;
  }
  CallLsodaBounded(/*itask=*/1, 0.0, 0.0);
}

void Engine::CallLsodaBounded(int itask, double tcrit, double hmax) {
  LsodaOptionalInputs options;
  options.mxstep = state.maxSteps;
  options.tcrit = tcrit;
  options.hmax = hmax;
  options.mxordn = settings.solver.adamsMaxOrder;
  options.mxords = settings.solver.bdfMaxOrder;
  int itol = 1;
  const double* atol = AbsoluteTolerance(itol);
  if (cvode) {
    CallCvode(itol, atol, hmax);
    return;
  }
  if (!equations.hasRules()) {
    lsoda.lsoda(rhs_, model.nVariable, state.amounts.data(), state.time, state.timeOut, itol,
                state.rtol, atol, itask, state.istate, /*iopt=*/1, /*jt=*/2, options);
    return;
  }
  // The integrator's state is the variable amounts and the rate-rule
  // targets; the engine state gets them back, with the rules evaluated at
  // the time reached.
  const int n = equations.nEquations();
  packed_.assign(static_cast<std::size_t>(n) + 1, 0.0);
  equations.SetTime(state.time);
  equations.PackState(state.amounts.data(), packed_.data());
  lsoda.lsoda(rhs_, n, packed_.data(), state.time, state.timeOut, itol, state.rtol, atol, itask,
              state.istate, /*iopt=*/1, /*jt=*/2, options);
  equations.SetTime(state.time);
  equations.UnpackState(packed_.data(), state.amounts.data());
}

// As the LSODA path, with CVODE: the time course's calls carry no tcrit
// (events and delays, which need one, are refused with CVODE).
void Engine::CallCvode(int itol, const double* atol, double hmax) {
  CvodeInputs inputs;
  inputs.mxstep = state.maxSteps;
  inputs.maxOrder = settings.solver.bdfMaxOrder;
  inputs.hmax = hmax;
  if (!equations.hasRules()) {
    cvode->Integrate(rhs_, model.nVariable, static_cast<int>(state.amounts.size()) - 1,
                     state.amounts.data(), state.time, state.timeOut, itol, state.rtol, atol,
                     state.istate, inputs);
    return;
  }
  const int n = equations.nEquations();
  packed_.assign(static_cast<std::size_t>(n) + 1, 0.0);
  equations.SetTime(state.time);
  equations.PackState(state.amounts.data(), packed_.data());
  cvode->Integrate(rhs_, n, n, packed_.data(), state.time, state.timeOut, itol, state.rtol, atol,
                   state.istate, inputs);
  equations.SetTime(state.time);
  equations.UnpackState(packed_.data(), state.amounts.data());
}

double ElapsedSeconds(Engine& engine) {
  return (engine.hooks.NowMilliseconds() - engine.state.startTick) * 0.001;
}

}  // namespace vireon
