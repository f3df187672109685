#include "engine/engine.h"

#include <chrono>
#include <thread>

namespace vireon {

double EngineHooks::NowMilliseconds() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void EngineHooks::SleepMilliseconds(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Engine::Engine(Model& model, EngineState& state, const TaskSettings& settings, EngineHooks& hooks)
    : model(model),
      state(state),
      settings(settings),
      hooks(hooks),
      equations(model, state, settings.solver.derivationFactor,
                settings.solver.steadyStateResolution),
      points(settings.points),
      sleepLength(settings.sleepTime),
      rhs_(equations) {
  SetUseSparsity(true);
}

void Engine::SetUseSparsity(bool use) {
  equations.SetUseSparsity(use);
  if (use) {
    lsoda.SetColumnStructure(&equations.fullStructure());
  } else {
    lsoda.SetColumnStructure(nullptr);
  }
}

const double* Engine::AbsoluteTolerance(int& itol) {
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
  LsodaOptionalInputs options;
  options.mxstep = state.maxSteps;
  options.mxordn = settings.solver.adamsMaxOrder;
  options.mxords = settings.solver.bdfMaxOrder;
  int itol = 1;
  const double* atol = AbsoluteTolerance(itol);
  lsoda.lsoda(rhs_, model.nVariable, state.amounts.data(), state.time, state.timeOut, itol,
              state.rtol, atol, /*itask=*/1, state.istate, /*iopt=*/1, /*jt=*/2, options);
}

double ElapsedSeconds(Engine& engine) {
  return (engine.hooks.NowMilliseconds() - engine.state.startTick) * 0.001;
}

}  // namespace vireon
