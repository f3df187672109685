#include "engine/time_course.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>

#include "engine/cvode_integrator.h"
#include "engine/integrator_error_text.h"
#include "engine/run_observer.h"
#include "engine/time_course_delays.h"
#include "engine/time_course_events.h"

namespace vireon {

namespace {

// The longest pause real-time pacing asks for at one point.
constexpr int kLongestSleepMilliseconds = std::numeric_limits<int>::max();
// The step limit per call after the integrator returned for excess work.
constexpr int kStepsAfterExcessWork = 2000;

IntegratorErrorContext ErrorContext(const Engine& engine, bool starting) {
  IntegratorErrorContext context;
  context.istate = engine.state.istate;
  context.time = engine.state.time;
  context.relativeTolerance = engine.state.rtol[1];
  context.absoluteTolerance = engine.state.atol[1];
  context.starting = starting;
  return context;
}

void ReportErrorReturn(Engine& engine) {
  char text[240];
  if (engine.usesCvode()) {
    std::snprintf(text, sizeof text, kCvodeErrorFormat, engine.state.istate,
                  engine.cvode->failureName().c_str());
  } else {
    std::snprintf(text, sizeof text, kLsodaErrorFormat, engine.state.istate);
  }
  engine.state.errorLog += text;
  engine.state.errorLog += IntegratorErrorLogLine(ErrorContext(engine, false));
  engine.hooks.IntegratorError(IntegratorFault::kErrorReturn, engine.state.istate);
}

// One call of the integrator towards state.timeOut, through the events
// when the time course has them.
void Advance(Engine& engine, TimeCourseEvents* events) {
  if (events != nullptr) {
    events->Advance();
  } else {
    engine.CallLsoda();
  }
}

// The values every output point refreshes.
void RefreshPoint(Engine& engine, TimeCourseSummary& summary,
                  const TimeCourseEvents* events = nullptr) {
  EngineState& state = engine.state;
  const IntegratorCounters counters = engine.Counters();
  summary.steps = events != nullptr ? events->steps() : counters.steps;
  summary.fEvaluations = events != nullptr ? events->fEvaluations() : counters.fEvaluations;
  summary.jEvaluations = events != nullptr ? events->jEvaluations() : counters.jEvaluations;
  if (engine.delays != nullptr) {
    // The integrations that ended at a discontinuity of the delays.
    summary.steps += engine.delays->steps();
    summary.fEvaluations += engine.delays->fEvaluations();
    summary.jEvaluations += engine.delays->jEvaluations();
  }
  summary.stepSize = counters.stepSize;
  state.stepCount = static_cast<double>(summary.steps);
  state.fEvaluations = static_cast<double>(summary.fEvaluations);
  state.jEvaluations = static_cast<double>(summary.jEvaluations);
  state.stepSize = summary.stepSize;
  if (engine.rules) {
    engine.equations.SetTime(state.time);
    engine.equations.UpdateRules(state.amounts.data());
  }
  engine.equations.StoreConcentrations(state.amounts.data(), engine.model);
  engine.equations.EvaluateFluxes(state.amounts.data(), engine.model);
  engine.hooks.EvaluateOutputFunctions();
  const double now = engine.hooks.NowMilliseconds();
  state.elapsedTime = (now - state.startTick) * 0.001;
  state.timeRatio = ((now - engine.realTimeBase) * 0.001) / state.time;
}

// The time of output point `point` (from 1) of a time course from `start`.
double PointTime(const Engine& engine, double start, int point) {
  const std::size_t k = static_cast<std::size_t>(point - 1);
  if (k < engine.outputTimes.size()) return engine.outputTimes[k];
  return start + point * engine.state.interval;
}

// The output time after `time`, which the time course reached as its
// point number `point` (from 1).
double NextPointTime(const Engine& engine, double time, int point) {
  const std::size_t k = static_cast<std::size_t>(point);
  if (k < engine.outputTimes.size()) return engine.outputTimes[k];
  return time + engine.state.interval;
}

// Calls the integrator until it returns successfully at an output time,
// point number `point` (from 1). An excess-work return raises the step
// limit and carries on from the time reached, which becomes the point.
// False after an error return.
bool ReachNextPoint(Engine& engine, TimeCourseEvents* events, int point) {
  EngineState& state = engine.state;
  for (;;) {
    if ((events != nullptr && events->failed()) ||
        (engine.delays != nullptr && engine.delays->failed())) {
      // The reason is in the error log already.
      engine.FreeIntegrator();
      return false;
    }
    if (state.istate == -1) {
      state.maxSteps = kStepsAfterExcessWork;
      state.istate = 3;
      state.time = state.lastTime;
      state.timeOut = engine.IntegratorTime();
      Advance(engine, events);
      continue;
    }
    if (state.istate != 1 && state.istate != 2) {
      engine.FreeIntegrator();
      ReportErrorReturn(engine);
      return false;
    }
    state.lastTime = state.time;
    state.timeOut = NextPointTime(engine, state.time, point);
    if (state.istate != 1) return true;
    Advance(engine, events);
  }
}

// Asks the driver about pause and stop and does what it says. False when
// the time course must end.
bool CheckPauseStop(Engine& engine) {
  const double asked = engine.hooks.NowMilliseconds();
  switch (engine.hooks.CheckPauseStop()) {
    case PointAction::kContinue:
      return true;
    case PointAction::kRestart:
      // The pause is no time the simulation ran: real-time pacing goes on
      // from the moment the run continues.
      engine.realTimeBase += engine.hooks.NowMilliseconds() - asked;
      Restart(engine);
      return true;
    case PointAction::kStop:
      engine.FreeIntegrator();
      return false;
  }
  return true;
}

// The pace of an interactive point: real time (one unit of model time is
// one second of wall-clock time since the time course started, pauses not
// counted; no pause when the simulation is behind) or the pause per point;
// then the window is told of every refreshEvery-th point and of the last,
// so that it ends at the end time.
void PaceInteractivePoint(Engine& engine, int& notificationCount, bool lastPoint) {
  EngineState& state = engine.state;
  if (engine.settings.realTime) {
    const double running = (engine.hooks.NowMilliseconds() - engine.realTimeBase) * 0.001;
    if (state.time > running) {
      // A lead of more than about 24 days does not fit a millisecond
      // count: the pause is capped instead of overflowing.
      const double lead = std::min((state.time - running) * 1000.0,
                                   static_cast<double>(kLongestSleepMilliseconds));
      engine.hooks.SleepMilliseconds(static_cast<int>(lead));
    }
  } else {
    engine.hooks.SleepMilliseconds(engine.sleepLength);
  }
  ++notificationCount;
  if (notificationCount % engine.refreshEvery == 0 || lastPoint) engine.hooks.PointReady();
}

// Follows a time course's event executions: logs them, tells the hooks,
// and with event rows on writes the rows before and after them. A row
// refreshes the point's values without touching the summary of the last
// output point.
class ExecutionFollower : public TimeCourseEvents::Listener {
 public:
  ExecutionFollower(Engine& engine, TimeCourseEvents& events, bool write, EventExecutionLog& log)
      : engine_(engine),
        events_(events),
        rows_(write && engine.settings.eventRows != 0),
        log_(log) {
    log_.events.resize(engine.model.events.size());
  }

  void BeforeExecutions() override { WriteRow(); }
  void Executed(int event, double time) override {
    log_.Record(event, time);
    engine_.hooks.EventExecuted(event, time);
  }
  void AfterExecutions() override { WriteRow(); }

 private:
  void WriteRow() {
    if (!rows_) return;
    TimeCourseSummary scratch;
    RefreshPoint(engine_, scratch, &events_);
    engine_.hooks.WriteDynamicsRow();
  }

  Engine& engine_;
  TimeCourseEvents& events_;
  bool rows_;
  EventExecutionLog& log_;
};

// The result so far, ended with this outcome.
TimeCourseResult Ended(TimeCourseResult result, TimeCourseOutcome outcome) {
  result.outcome = outcome;
  return result;
}

// A model in which no metabolite can change (every one is fixed) has the
// constant solution: its points follow at every interval without the
// integrator, which would refuse a system of no equations.
TimeCourseResult ConstantTimeCourse(Engine& engine, bool write, TimeCourseEvents* events,
                                    TimeCourseResult& result) {
  EngineState& state = engine.state;
  engine.realTimeBase = engine.hooks.NowMilliseconds() - 0.5;
  const double start = state.time;
  int notificationCount = 0;
  for (int point = 1; engine.points == 0 || point <= engine.points; ++point) {
    if (events != nullptr) {
      // The events change the state at their times between the points.
      state.timeOut = PointTime(engine, start, point);
      events->Advance();
      if (events->failed() || (engine.delays != nullptr && engine.delays->failed())) {
        return Ended(result, TimeCourseOutcome::kIntegrationFailed);
      }
    } else if (engine.delays != nullptr) {
      engine.delays->RecordSpan(state.time, PointTime(engine, start, point));
      if (engine.delays->failed()) return Ended(result, TimeCourseOutcome::kIntegrationFailed);
    }
    state.time = PointTime(engine, start, point);
    state.lastTime = state.time;
    RefreshPoint(engine, result.summary, events);
    if (write) {
      engine.hooks.WriteDynamicsRow();
      if (engine.interactive) {
        if (!CheckPauseStop(engine)) return Ended(result, TimeCourseOutcome::kStopped);
        PaceInteractivePoint(engine, notificationCount, point == engine.points);
      }
    }
    if (!CheckPauseStop(engine)) return Ended(result, TimeCourseOutcome::kStopped);
  }
  return result;
}

}  // namespace

void SetUpTimeCourse(Engine& engine) {
  EngineState& state = engine.state;
  const TaskSettings& settings = engine.settings;
  engine.equations.SetInitialAmounts(state.amounts.data());
  state.time = 0.0;
  state.timeOut = 0.0;
  state.rtol[1] = settings.solver.relativeTolerance;
  state.atol[1] = settings.solver.absoluteTolerance;
  state.istate = 1;
  state.interval = engine.points >= 1 ? settings.endTime / engine.points : settings.endTime;
  state.maxSteps = 0;
  if (engine.rules) {
    // The rules' quantities start from the model's values at time 0.
    const Model& model = engine.model;
    for (std::size_t g = 0; g < model.globalQuantities.size(); ++g) {
      state.quantityValues[g] = model.globalQuantities[g].value;
    }
    for (std::size_t c = 0; c < model.compartments.size(); ++c) {
      state.volumeValues[c] = model.compartments[c].volume;
    }
    engine.equations.SetTime(0.0);
    engine.rules->ReadConcentrations(
        {0.0, state.amounts.data(), state.quantityValues.data(), state.volumeValues.data()});
    engine.equations.UpdateRules(state.amounts.data());
  }
}

void Restart(Engine& engine) {
  EngineState& state = engine.state;
  engine.FreeIntegrator();
  engine.sleepLength = engine.settings.sleepTime;
  // The constant solution needs no integrator to take up the new amounts.
  if (engine.equations.nEquations() == 0) return;
  state.timeOut = state.time;
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
//  6. pause and stop requests are honoured at every point: after a pause
//     the integrator starts again from the current amounts, a stop ends
//     the time course;
//  7. the integration ends after `points` intervals (never when points is 0).
// A model with no variable metabolite takes its constant solution instead.
// A model with events has them carried out on the way (time_course_events.h):
// those due at time 0 before the row of time 0, the others wherever the
// integration meets them between the points.
TimeCourseResult TimeCourse(Engine& engine, bool write) {
  EngineState& state = engine.state;
  TimeCourseResult result;
  Model& model = engine.model;
  const TaskSettings& settings = engine.settings;
  EngineHooks& hooks = engine.hooks;

  if (write && settings.dynamicsData.titles && state.iteration == 0) hooks.WriteDynamicsTitles();
  // The delays keep their history from the start, before the events at time
  // 0; the steady state's integration passes read a delay as its argument
  // now, as the steady state itself does.
  std::optional<TimeCourseDelays> delaysOfRun;
  if (engine.watchEvents && TimeCourseDelays::Needed(engine)) delaysOfRun.emplace(engine);
  std::optional<TimeCourseEvents> eventsOfRun;
  std::optional<ExecutionFollower> follower;
  if (engine.events && engine.watchEvents) {
    eventsOfRun.emplace(engine);
    follower.emplace(engine, *eventsOfRun, write, result.eventExecutions);
    eventsOfRun->SetListener(&*follower);
    eventsOfRun->Start();
  }
  TimeCourseEvents* events = eventsOfRun ? &*eventsOfRun : nullptr;
  if (write) {
    if (engine.rules) {
      // The rules give some concentrations at time 0.
      engine.equations.StoreConcentrations(state.amounts.data(), model);
    } else {
      for (Metabolite& m : model.metabolites) m.concentration = m.initialConcentration;
    }
    engine.equations.EvaluateFluxes(state.amounts.data(), model);
    hooks.EvaluateOutputFunctions();
    state.elapsedTime = ElapsedSeconds(engine);
    hooks.WriteDynamicsRow();
    hooks.PointReady();
  }

  engine.sleepLength = settings.sleepTime;
  if (events != nullptr && events->failed()) {
    return Ended(result, TimeCourseOutcome::kIntegrationFailed);
  }
  if (engine.equations.nEquations() == 0) return ConstantTimeCourse(engine, write, events, result);
  state.timeOut = state.time;
  engine.CallLsoda();
  if (state.istate != 1 && state.istate != 2) {
    engine.FreeIntegrator();
    if (engine.usesCvode()) {
      char text[160];
      std::snprintf(text, sizeof text, kCvodeInitErrorFormat, engine.cvode->failureName().c_str());
      state.errorLog += text;
    } else {
      state.errorLog += kLsodaInitErrorLine;
    }
    state.errorLog += IntegratorErrorLogLine(ErrorContext(engine, true));
    hooks.IntegratorError(IntegratorFault::kInitializationFailed, state.istate);
    return Ended(result, TimeCourseOutcome::kInitializationFailed);
  }

  state.timeOut = engine.outputTimes.empty() ? state.interval : engine.outputTimes.front();
  engine.lsoda.LsodaSetPrint(0);
  engine.realTimeBase = hooks.NowMilliseconds() - 0.5;
  int pointCount = 0;
  int notificationCount = 0;
  Advance(engine, events);

  for (;;) {
    if (!ReachNextPoint(engine, events, pointCount + 1))
      return Ended(result, TimeCourseOutcome::kIntegrationFailed);
    RefreshPoint(engine, result.summary, events);
    if (write) {
      hooks.WriteDynamicsRow();
      if (engine.interactive) {
        if (!CheckPauseStop(engine)) return Ended(result, TimeCourseOutcome::kStopped);
        PaceInteractivePoint(engine, notificationCount,
                             engine.points > 0 && pointCount + 1 >= engine.points);
      }
    }
    if (!CheckPauseStop(engine)) return Ended(result, TimeCourseOutcome::kStopped);

    if (engine.points > 0) ++pointCount;
    if (engine.points != 0 && pointCount >= engine.points) {
      engine.FreeIntegrator();
      return result;
    }
    if (state.istate < 0) state.istate = 2;
    Advance(engine, events);
  }
}

}  // namespace vireon
