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

void Engine::CallLsoda() {
  LsodaOptionalInputs options;
  options.mxstep = state.maxSteps;
  options.mxordn = settings.solver.adamsMaxOrder;
  options.mxords = settings.solver.bdfMaxOrder;
  lsoda.lsoda(rhs_, model.nVariable, state.amounts.data(), state.time, state.timeOut,
              /*itol=*/1, state.rtol, state.atol, /*itask=*/1, state.istate, /*iopt=*/1,
              /*jt=*/2, options);
}

double ElapsedSeconds(Engine& engine) {
  return (engine.hooks.NowMilliseconds() - engine.state.startTick) * 0.001;
}

}  // namespace vireon
