#pragma once
// The events of a time course: their triggers watched by the integrator's
// root functions, their executions scheduled and carried out, and the
// integration started again after every execution, since an assignment
// changes the state the integrator's history describes.
//
// What holds:
//   - an event fires when its trigger goes from false to true; before time
//     0 the trigger has its initialValue, so an event whose trigger is true
//     at time 0 and whose initialValue is false fires at time 0;
//   - a fired event executes after its delay (evaluated when it fires), with
//     the assignments' values of the moment it fired or of its execution;
//     an execution pending when a non-persistent event's trigger goes false
//     is cancelled;
//   - executions due at one moment go one by one, the highest priority
//     (evaluated then) first, equal priorities in an order drawn from the
//     run's generator; after each, every trigger is read again, so that an
//     assignment may fire other events at the same moment;
//   - the time course's points stay where they are: the integration stops
//     at an event without a point of its own (a listener may write one).

#include <cstddef>
#include <memory>
#include <random>
#include <vector>

#include "engine/engine.h"

namespace vireon {

// The executions of each event over one time course, within a bound
// whatever their number: the count, the first and the last time, and the
// first kListedTimes times. A delayed event's times are those of its
// executions, not of its trigger.
struct EventExecutionLog {
  // How many times of each event are kept.
  static constexpr std::size_t kListedTimes = 10;
  struct Times {
    long long count = 0;
    double first = 0.0;
    double last = 0.0;
    std::vector<double> listed;  // the first kListedTimes, in order
  };
  std::vector<Times> events;  // by event, in the model's order

  void Record(int event, double time);
};

class TimeCourseEvents {
 public:
  // Follows the executions: told before the first execution of a moment
  // (the state is still that of before), of each execution, and after the
  // last execution of that moment, with the state as they left it.
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void BeforeExecutions() {}
    virtual void Executed(int /*event*/, double /*time*/) {}
    virtual void AfterExecutions() {}
  };

  // Binds the events of engine.events to its integrator for one time
  // course; the destructor unbinds them.
  explicit TimeCourseEvents(Engine& engine);
  ~TimeCourseEvents();
  TimeCourseEvents(const TimeCourseEvents&) = delete;
  TimeCourseEvents& operator=(const TimeCourseEvents&) = delete;

  // The triggers at time 0 against their initial values, and whatever
  // fires and is due then; with the state at time 0 set up.
  void Start();
  // Calls the integrator towards state.timeOut as Engine::CallLsoda does,
  // stopping at every root of a trigger and every pending execution on the
  // way; on return state.istate is what the last call gave (2 at timeOut).
  void Advance();

  // The listener (none: null) for the executions from now on.
  void SetListener(Listener* listener) { listener_ = listener; }

  // The integrator's counters since Start, over all its restarts.
  long long steps() const;
  long long fEvaluations() const;
  long long jEvaluations() const;
  // How many executions were carried out.
  int executions() const { return executions_; }
  // Whether an event could not be carried out (a delay that is no finite
  // number at least 0, or events that trigger each other without end): the
  // reason is in state.errorLog, Start or Advance returned with istate
  // kEventFailure, and the time course must end.
  bool failed() const { return failed_; }
  static constexpr int kEventFailure = -100;

 private:
  struct Pending {
    int event = -1;
    double time = 0.0;
    bool haveValues = false;
    std::vector<double> values;
  };
  class Roots : public LsodaRoots {
   public:
    explicit Roots(Engine& engine) : engine_(engine) {}
    int Count() const override;
    void Evaluate(double t, const double* y, double* g, char* holds) override;

   private:
    Engine& engine_;
    std::vector<double> amounts_;
  };

  RuleQuantities Quantities();
  // Reads every trigger at the current time: fires those that became true,
  // cancels the pending executions of non-persistent ones that became false.
  // With `crossed` (a mark per root function), the triggers where those
  // roots have just been located, their equalities at the crossing's
  // instant or just after it (EventSystem::TriggerAtCrossing).
  void ReadTriggers(const std::vector<char>* crossed = nullptr, bool atInstant = true);
  void Fire(int event);
  // Carries out every execution due at the current time, reading the
  // triggers after each; true when any was.
  bool Settle(const std::vector<char>* crossed = nullptr);
  int ChooseDue();
  // The integration starts again at the current time from the state.
  void Restart();
  // Advance for a model with nothing to integrate: the state changes with
  // time only through the rules, and the triggers are searched on time
  // alone from each stop to the next.
  void AdvanceWithoutIntegration();
  void RootsAtTime(double t, double* g, char* holds);

  Engine& engine_;
  Roots roots_;
  std::vector<char> triggers_;   // by event: the trigger's value as last read
  std::vector<double> amounts_;  // scratch of the search on time alone
  std::vector<Pending> pending_;
  Listener* listener_ = nullptr;
  // The draws between executions of equal priority (ChooseDue).
  std::mt19937 ties_;
  bool tiesSeeded_ = false;
  long long steps_ = 0, fEvaluations_ = 0, jEvaluations_ = 0;
  int executions_ = 0;
  // The integration must start again at the next call: an execution
  // happened where the call's goal already stood.
  bool restartPending_ = false;
  bool failed_ = false;
  // Start and Advance without the handling of a failure.
  void StartEvents();
  void AdvanceEvents();
  void Fail(const std::string& message);
  template <class Work>
  void Guarded(Work work);
  double NextStop(double goal, bool& atPending) const;
};

}  // namespace vireon
