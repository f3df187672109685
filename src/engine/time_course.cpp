#include "engine/time_course.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "engine/run_observer.h"

namespace vireon {

namespace {

// The longest pause real-time pacing asks for at one point.
constexpr int kLongestSleepMilliseconds = std::numeric_limits<int>::max();

void ReportErrorReturn(Engine& engine) {
  char text[160];
  std::snprintf(text, sizeof text, kLsodaErrorFormat, engine.state.istate);
  engine.state.errorLog += text;
  engine.hooks.IntegratorError(kIntegratorErrorReturn, engine.state.istate);
}

// The values every output point refreshes.
void RefreshPoint(Engine& engine) {
  EngineState& state = engine.state;
  state.stepCount = engine.lsoda.nst();
  state.fEvaluations = engine.lsoda.nfe();
  state.jEvaluations = engine.lsoda.nje();
  state.stepSize = engine.lsoda.h();
  engine.equations.StoreConcentrations(state.amounts.data(), engine.model);
  engine.equations.EvaluateFluxes(state.amounts.data(), engine.model);
  engine.hooks.EvaluateOutputFunctions();
  const double now = engine.hooks.NowMilliseconds();
  state.elapsedTime = (now - state.startTick) * 0.001;
  state.timeRatio = ((now - engine.realTimeBase) * 0.001) / state.time;
}

// The pacing of an interactive point and the end of a point for both
// drivers: steps 8 and 9 of the driver below.
void FinishPoint(Engine& engine, bool write, int& notificationCount) {
  EngineState& state = engine.state;
  const TaskSettings& settings = engine.settings;
  EngineHooks& hooks = engine.hooks;
  if (write) {
    hooks.WriteDynamicsRow();
    if (engine.interactive) {
      hooks.CheckPauseStop();
      if (state.restartRequested) Restart(engine);
      if (settings.realTime) {
        // One unit of model time is one second of wall-clock time since the
        // run started; no pause when the simulation is behind.
        if (state.time > state.elapsedTime) {
          // A lead of more than about 24 days does not fit a millisecond
          // count: the pause is capped instead of overflowing.
          const double lead = std::min((state.time - state.elapsedTime) * 1000.0,
                                       static_cast<double>(kLongestSleepMilliseconds));
          hooks.SleepMilliseconds(static_cast<int>(lead));
        }
      } else {
        hooks.SleepMilliseconds(engine.sleepLength);
      }
      ++notificationCount;
      if (notificationCount % engine.refreshEvery == 0) hooks.PointReady();
    }
  }
  hooks.CheckPauseStop();
  if (state.restartRequested) Restart(engine);
}

// A model in which no metabolite can change (every one is fixed) has the
// constant solution: its points follow at every interval without the
// integrator, which would refuse a system of no equations.
void ConstantTimeCourse(Engine& engine, bool write) {
  EngineState& state = engine.state;
  state.restartRequested = 0;
  engine.realTimeBase = engine.hooks.NowMilliseconds() - 0.5;
  const double start = state.time;
  int notificationCount = 1;
  for (int point = 1; engine.points == 0 || point <= engine.points; ++point) {
    state.time = start + point * state.interval;
    state.lastTime = state.time;
    RefreshPoint(engine);
    FinishPoint(engine, write, notificationCount);
  }
}

}  // namespace

void SetUpTimeCourse(Engine& engine) {
  EngineState& state = engine.state;
  const TaskSettings& settings = engine.settings;
  engine.equations.SetInitialAmounts(state.amounts.data());
  state.time = 0.0;
  state.timeOut = 0.0;
  state.rtol[1] = settings.relativeTolerance;
  state.atol[1] = settings.absoluteTolerance;
  state.istate = 1;
  state.interval = engine.points >= 1 ? settings.endTime / engine.points : settings.endTime;
  state.maxSteps = 0;
}

void Restart(Engine& engine) {
  EngineState& state = engine.state;
  if (engine.model.nVariable == 0) {
    // The constant solution needs no integrator to take up the new amounts.
    state.restartRequested = 0;
    return;
  }
  engine.lsoda.LsodaFree();
  state.timeOut = state.time;
  state.restartRequested = 0;
  state.istate = 1;
  engine.CallLsoda();
}

// The driver, in the order it works:
//  1. the title row, once per run, before the first iteration;
//  2. the row of time 0 (concentrations, fluxes and functions at the start);
//  3. an initialising call of the integrator with tout = t;
//  4. calls towards each output time; an excess-work return raises the
//     step limit and restarts from the time reached, which becomes a point;
//  5. at each point the counters, concentrations, fluxes and functions are
//     refreshed, a row is written and the interactive window paced;
//  6. pause and stop requests are honoured at every point;
//  7. the integration ends after `points` intervals (never when points is 0).
// A model with no variable metabolite takes its constant solution instead.
void TimeCourse(Engine& engine, bool write) {
  EngineState& state = engine.state;
  Model& model = engine.model;
  const TaskSettings& settings = engine.settings;
  EngineHooks& hooks = engine.hooks;

  if (write && settings.dynamicsTitles && state.iteration == 0) hooks.WriteDynamicsTitles();
  if (write) {
    for (Metabolite& m : model.metabolites) m.concentration = m.initialConcentration;
    engine.equations.EvaluateFluxes(state.amounts.data(), model);
    hooks.EvaluateOutputFunctions();
    state.elapsedTime = ElapsedSeconds(engine);
    hooks.WriteDynamicsRow();
    hooks.PointReady();
  }

  engine.sleepLength = settings.sleepTime;
  if (model.nVariable == 0) {
    ConstantTimeCourse(engine, write);
    return;
  }
  state.restartRequested = 0;
  state.timeOut = state.time;
  engine.CallLsoda();
  if (state.istate != 1 && state.istate != 2) {
    engine.lsoda.LsodaFree();
    state.errorLog += kLsodaInitErrorLine;
    hooks.IntegratorError(kIntegratorInitFailed, state.istate);
    return;
  }

  state.timeOut = state.interval;
  engine.lsoda.LsodaSetPrint(0);
  engine.realTimeBase = hooks.NowMilliseconds() - 0.5;
  int pointCount = 0;
  int notificationCount = 1;
  engine.CallLsoda();

  for (;;) {
    // Step 4: wait for a successful return at an output time.
    for (;;) {
      if (state.istate == -1) {
        // Excess work: carry on with a higher step limit from the time reached.
        state.maxSteps = 2000;
        state.istate = 3;
        state.time = state.lastTime;
        state.timeOut = engine.lsoda.tn();
        engine.CallLsoda();
        continue;
      }
      if (state.istate != 1 && state.istate != 2) {
        engine.lsoda.LsodaFree();
        ReportErrorReturn(engine);
        return;
      }
      state.lastTime = state.time;
      state.timeOut = state.time + state.interval;
      if (state.istate == 1) {
        engine.CallLsoda();
        continue;
      }
      break;
    }

    RefreshPoint(engine);
    FinishPoint(engine, write, notificationCount);

    if (engine.points > 0) ++pointCount;
    if (engine.points != 0 && pointCount >= engine.points) {
      engine.lsoda.LsodaFree();
      return;
    }
    if (state.istate < 0) state.istate = 2;
    engine.CallLsoda();
  }
}

}  // namespace vireon
