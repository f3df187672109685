#pragma once
// The engine of one run: the model, its engine state and settings, the
// right-hand side bound to them, and an integrator of its own. The tasks
// (time course, steady state, control analysis) are functions of an Engine;
// whoever drives the run plugs into them through EngineHooks.
//
// One engine per run, nothing shared between runs. Everything a task writes
// is reachable from its Engine: the model's results fields, the
// EngineState, the right-hand side's scratch vectors and the integrator's
// work arrays and counters. There is no process-wide state in the engine,
// the kinetics or the model; the kinetic types a model's steps point to are
// only read. So several runs may go on at once on separate threads as long
// as each has its own Engine over its own Model, EngineState and hooks.

#include <memory>
#include <span>
#include <vector>

#include "engine/engine_state.h"
#include "engine/lsoda.h"
#include "engine/model_equations.h"
#include "engine/run_observer.h"
#include "engine/task_settings.h"
#include "model/model.h"
#include "rules/event_system.h"
#include "rules/rule_system.h"

namespace vireon {

class CvodeIntegrator;
class RandomGenerator;
class TimeCourseDelays;

// The counters of the run's integrator after a call, as the output items
// read them.
struct IntegratorCounters {
  long long steps = 0;         // nst
  long long fEvaluations = 0;  // nfe
  long long jEvaluations = 0;  // nje
  double stepSize = 0.0;       // the step size to try next
};

// What the engine does after a time-course point, as the driver's pause and
// stop check decides.
enum class PointAction {
  kContinue,  // go on integrating
  kRestart,   // a pause was taken: re-initialise the integrator at the current
              // time from the amounts, which the driver may have changed
  kStop,      // end the run: the task in progress returns at once
};

// What the tasks call out to. Every hook has a harmless default, so a bare
// EngineHooks runs the tasks silently.
class EngineHooks {
 public:
  virtual ~EngineHooks() = default;
  // Time-course data file: the title line and one row of values.
  virtual void WriteDynamicsTitles() {}
  virtual void WriteDynamicsRow() {}
  // Refresh the values of the user-defined output functions.
  virtual void EvaluateOutputFunctions() {}
  // A point is ready for the interactive window; returns once it is shown.
  virtual void PointReady() {}
  // Honours pause and stop requests at an output point (a pause returns
  // only when the run is resumed or stopped) and says what the engine does
  // next. The engine state may be written only while this call lasts.
  virtual PointAction CheckPauseStop() { return PointAction::kContinue; }
  // The integrator failed, with the istate it returned; the text is already
  // in the error log.
  virtual void IntegratorError(IntegratorFault /*fault*/, int /*istate*/) {}
  // An event's assignments were carried out at this time of a time course
  // (the event by its place in the model's list).
  virtual void EventExecuted(int /*event*/, double /*time*/) {}
  // Milliseconds of a monotonic clock, and a pause of the calling thread.
  virtual double NowMilliseconds();
  virtual void SleepMilliseconds(int milliseconds);
};

class Engine {
 public:
  // The model must have been through its structural analysis, every step
  // must have a kinetic type, and state must be allocated for the model.
  // A model with rules has them set up here: the initial assignments (and
  // the assignment rules at time 0) give the model its initial values, the
  // conservation totals are computed again from them, and the destructor
  // puts the model's own values back. Rules that do not pass their check
  // raise std::invalid_argument with the check's message (callers check
  // the rules before they build an engine), as do fast steps that
  // FastStepsProblem refuses or that find no equilibrium at time 0, and a
  // model CVODE cannot integrate (CvodeProblem) when the settings choose it.
  Engine(Model& model, EngineState& state, const TaskSettings& settings, EngineHooks& hooks);
  ~Engine();

  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Whether the finite differences and the factorisations exploit the
  // network's sparsity (the default). The results are the same either
  // way; off, everything is dense, as the benchmarks compare.
  void SetUseSparsity(bool use);

  // Advances the integration from state.time to state.timeOut with the
  // run's settings; state.istate in and out. The absolute tolerance
  // state.atol[1] is one on concentrations: the integrator, whose state is
  // amounts, holds each variable to it times the volume of the variable's
  // compartment, so that a tiny compartment is integrated as accurately as
  // a litre. Where every volume is 1 the tolerance is passed as it is.
  void CallLsoda();
  // One call of the integrator as CallLsoda makes it without delays, with
  // itask (1, or 4 not to pass tcrit) and the largest step (0: no limit).
  void CallLsodaBounded(int itask, double tcrit, double hmax);

  // The integrator the settings choose: LSODA (lsoda) or CVODE (cvode).
  // CallLsoda calls it; these read and release it, whichever it is.
  bool usesCvode() const { return cvode != nullptr; }
  IntegratorCounters Counters() const;
  double IntegratorTime() const;  // the internal time reached (tn)
  void FreeIntegrator();

  Model& model;
  EngineState& state;
  const TaskSettings& settings;
  EngineHooks& hooks;
  // The model's rules for this run; null for a model without rules and
  // events (a model with events has its rules set up, none perhaps).
  std::unique_ptr<RuleSystem> rules;
  // The model's events for this run; null for a model without events.
  std::unique_ptr<EventSystem> events;
  ModelEquations equations;
  Lsoda lsoda;
  // CVODE, when the settings choose it; null otherwise.
  std::unique_ptr<CvodeIntegrator> cvode;

  // Output points of the time course; the steady-state passes use 1.
  int points;
  // The times of the output points when they are not equal intervals of
  // the end time: increasing, after time 0, one per point (points is their
  // count). Empty: `points` equal intervals. The span's owner keeps it for
  // the time course.
  std::span<const double> outputTimes;
  // Interactive mode: the window is told of every refreshEvery-th point.
  bool interactive = false;
  int refreshEvery = 1;
  // Current pause per interactive point (milliseconds): "SleepTime" as it
  // was at the start of the time course or at the last pause.
  int sleepLength;
  // Millisecond tick from which real-time pacing counts.
  double realTimeBase = 0.0;
  // Whether a time course carries out the model's events; the steady
  // state's integration passes do not (a steady state is a state, not a
  // history).
  bool watchEvents = true;
  // The run's generator, which orders events of equal priority; without
  // one they go in the model's order.
  RandomGenerator* random = nullptr;
  // The delays of the running time course, through which CallLsoda goes
  // (time_course_delays.h); null otherwise.
  TimeCourseDelays* delays = nullptr;

 private:
  // Throws std::invalid_argument, naming the fast steps and with the
  // model's own values put back, when they find no equilibrium at the
  // initial amounts.
  void CheckFastEquilibriumAtStart();
  // The absolute tolerance LSODA is given for state.atol[1], 1-based, and
  // its itol: 1 for one tolerance for all variables, 2 for one each.
  const double* AbsoluteTolerance(int& itol);
  // One call of CVODE as CallLsodaBounded makes LSODA's.
  void CallCvode(int itol, const double* atol, double hmax);

  std::vector<double> absoluteTolerances_;  // 1-based, as LSODA reads it
  std::vector<double> packed_;              // the integrator's state with rules, 1-based

  class Rhs : public LsodaRhs {
   public:
    explicit Rhs(ModelEquations& equations) : equations_(equations) {}
    void Derivs(int, double t, const double* y, double* ydot) override {
      equations_.SetTime(t);
      equations_.Derivs(y, ydot);
    }

   private:
    ModelEquations& equations_;
  };
  Rhs rhs_;

  class Jacobian : public LsodaJacobian {
   public:
    explicit Jacobian(ModelEquations& equations) : equations_(equations) {}
    bool Evaluate(int, double t, const double* y, double** jacobian) override {
      equations_.SetTime(t);
      return equations_.LawJacobian(y, jacobian);
    }
    bool EvaluateSparse(int, double t, const double* y, const int* columnStart, const int* rows,
                        double* entries) override {
      equations_.SetTime(t);
      return equations_.SparseLawJacobian(y, columnStart, rows, entries);
    }

   private:
    ModelEquations& equations_;
  };
  Jacobian jacobian_;
};

// Elapsed seconds of the run, from state.startTick.
double ElapsedSeconds(Engine& engine);

}  // namespace vireon
