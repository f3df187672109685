#include "engine/time_course_events.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "engine/random.h"
#include "engine/time_course_delays.h"

namespace vireon {

namespace {

// Rounding units within which a time the integrator is sent to counts as
// the time it stands at: no integration could start over so short a span.
constexpr double kSameTimeUnits = 100.0;
// Executions carried out at one moment before the events are taken to
// re-trigger each other without end; the run then fails with a message.
constexpr int kMaxExecutionsAtOneTime = 100000;

bool SameTime(double a, double b) {
  return std::fabs(a - b) <= kSameTimeUnits * DBL_EPSILON * std::max(std::fabs(a), std::fabs(b));
}

}  // namespace

void EventExecutionLog::Record(int event, double time) {
  if (event < 0) return;
  const auto e = static_cast<std::size_t>(event);
  if (events.size() <= e) events.resize(e + 1);
  Times& times = events[e];
  if (times.count == 0) times.first = time;
  times.last = time;
  ++times.count;
  if (times.listed.size() < kListedTimes) times.listed.push_back(time);
}

int TimeCourseEvents::Roots::Count() const {
  return engine_.events->rootCount();
}

void TimeCourseEvents::Roots::Evaluate(double t, const double* y, double* g, char* holds) {
  // The amounts at (t, y) with the rules evaluated there, in scratch: the
  // engine state keeps the amounts of the last point.
  EngineState& state = engine_.state;
  amounts_.assign(state.amounts.begin(), state.amounts.end());
  engine_.equations.SetTime(t);
  engine_.equations.UnpackState(y, amounts_.data());
  RuleQuantities q{t, amounts_.data(), state.quantityValues.data(), state.volumeValues.data()};
  if (engine_.events->readsStepRates()) q.amountRates = engine_.equations.RatesOfAmounts(q.amounts);
  engine_.events->RootValues(*engine_.rules, q, g, holds);
}

TimeCourseEvents::TimeCourseEvents(Engine& engine)
    : engine_(engine),
      roots_(engine),
      triggers_(static_cast<std::size_t>(engine.events->count()), 0) {
  engine_.lsoda.SetRootFunctions(&roots_);
}

TimeCourseEvents::~TimeCourseEvents() {
  engine_.lsoda.SetRootFunctions(nullptr);
}

long long TimeCourseEvents::steps() const {
  return steps_ + engine_.lsoda.nst();
}
long long TimeCourseEvents::fEvaluations() const {
  return fEvaluations_ + engine_.lsoda.nfe();
}
long long TimeCourseEvents::jEvaluations() const {
  return jEvaluations_ + engine_.lsoda.nje();
}

RuleQuantities TimeCourseEvents::Quantities() {
  EngineState& state = engine_.state;
  engine_.equations.SetTime(state.time);
  RuleQuantities q{state.time, state.amounts.data(), state.quantityValues.data(),
                   state.volumeValues.data()};
  if (engine_.events->readsStepRates()) q.amountRates = engine_.equations.RatesOfAmounts(q.amounts);
  return q;
}

namespace {

// A failure to carry out an event, raised inside and caught at the public
// calls.
class EventFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace

void TimeCourseEvents::Fail(const std::string& message) {
  throw EventFailure(message);
}

// A failure ends the run with its message in the error log.
template <class Work>
void TimeCourseEvents::Guarded(Work work) {
  try {
    work();
  } catch (const EventFailure& failure) {
    failed_ = true;
    engine_.state.errorLog += std::string(failure.what()) + "\r\n";
    engine_.state.istate = kEventFailure;
  }
}

// Where the integration stops next: the goal, or the first pending
// execution before it or at it (an execution due at the goal itself comes
// before the goal's point, as an event whose trigger becomes true there
// does).
double TimeCourseEvents::NextStop(double goal, bool& atPending) const {
  double stop = goal;
  atPending = false;
  for (const Pending& p : pending_) {
    if (p.time <= stop) {
      stop = p.time;
      atPending = true;
    }
  }
  return stop;
}

void TimeCourseEvents::Start() {
  Guarded([this] { StartEvents(); });
}

void TimeCourseEvents::Advance() {
  Guarded([this] { AdvanceEvents(); });
}

void TimeCourseEvents::StartEvents() {
  for (int e = 0; e < engine_.events->count(); ++e) {
    triggers_[static_cast<std::size_t>(e)] = engine_.events->event(e).initialValue;
  }
  pending_.clear();
  restartPending_ = false;
  steps_ = fEvaluations_ = jEvaluations_ = 0;
  executions_ = 0;
  Settle();
}

void TimeCourseEvents::Fire(int event) {
  EventSystem& events = *engine_.events;
  RuleSystem& rules = *engine_.rules;
  const RuleQuantities q = Quantities();
  Pending pending;
  pending.event = event;
  pending.time = engine_.state.time;
  if (events.hasDelay(event)) {
    const double delay = events.Delay(event, rules, q);
    if (!(delay >= 0.0) || !std::isfinite(delay)) {
      Fail("The delay of the event " + events.event(event).name + " is " + std::to_string(delay) +
           " at time " + std::to_string(engine_.state.time) +
           ": a delay must be a finite "
           "number not below 0.");
    }
    pending.time += delay;
  }
  if (events.event(event).useValuesFromTriggerTime) {
    pending.values = events.Values(event, rules, q);
    pending.haveValues = true;
  }
  pending_.push_back(std::move(pending));
}

void TimeCourseEvents::ReadTriggers(const std::vector<char>* crossed, bool atInstant) {
  EventSystem& events = *engine_.events;
  const RuleQuantities q = Quantities();
  for (int e = 0; e < events.count(); ++e) {
    const bool now = crossed != nullptr
                         ? events.TriggerAtCrossing(e, *engine_.rules, q, *crossed, atInstant)
                         : events.Trigger(e, *engine_.rules, q);
    char& before = triggers_[static_cast<std::size_t>(e)];
    if (now && !before) {
      before = 1;
      Fire(e);
    } else if (!now && before) {
      before = 0;
      if (!events.event(e).persistent) {
        std::erase_if(pending_, [e](const Pending& p) { return p.event == e; });
      }
    }
  }
}

int TimeCourseEvents::ChooseDue() {
  // Among the executions due now, those of the highest priority; one of
  // them drawn at random when several share it.
  EventSystem& events = *engine_.events;
  const RuleQuantities q = Quantities();
  const double now = engine_.state.time;
  std::vector<int> best;
  double highest = 0.0;
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (pending_[i].time > now && !SameTime(pending_[i].time, now)) continue;
    const double priority = events.Priority(pending_[i].event, *engine_.rules, q);
    if (best.empty() || priority > highest) {
      best.assign(1, static_cast<int>(i));
      highest = priority;
    } else if (priority == highest) {
      best.push_back(static_cast<int>(i));
    }
  }
  if (best.empty()) return -1;
  if (best.size() == 1 || engine_.random == nullptr) return best.front();
  // The ties are drawn from a Mersenne twister of their own, seeded by two
  // words of the run's generator at the first tie of the time course: the
  // run's shift-register generator has the correlations of two-tap
  // generators, which bias a long run of such choices (a random walk), and
  // the seed from the run keeps the choices reproducible with the run.
  if (!tiesSeeded_) {
    const auto word = [this] { return static_cast<std::uint32_t>(engine_.random->Uniform() * 65536.0); };
    const std::uint32_t high = word();
    ties_.seed((high << 16) | word());
    tiesSeeded_ = true;
  }
  const auto draw = static_cast<std::size_t>(
      (static_cast<std::uint64_t>(ties_()) * static_cast<std::uint64_t>(best.size())) >> 32);
  return best[std::min(draw, best.size() - 1)];
}

bool TimeCourseEvents::Settle(const std::vector<char>* crossed) {
  // At the crossing of an eq or neq the triggers are read first at the
  // instant of equality, which may fire them, then as just after it.
  const std::vector<char>* equalities =
      crossed != nullptr && engine_.events->CrossesEquality(*crossed) ? crossed : nullptr;
  bool atInstant = equalities != nullptr;
  bool any = false;
  for (int count = 0;; ++count) {
    ReadTriggers(equalities, atInstant);
    const bool wasInstant = atInstant;
    atInstant = false;
    const int due = ChooseDue();
    if (due < 0 && wasInstant) continue;
    if (due < 0) {
      if (any && listener_ != nullptr) listener_->AfterExecutions();
      return any;
    }
    if (count >= kMaxExecutionsAtOneTime) {
      Fail("More than " + std::to_string(kMaxExecutionsAtOneTime) + " event executions at time " +
           std::to_string(engine_.state.time) + ": the events trigger each other without end.");
    }
    if (!any && listener_ != nullptr) listener_->BeforeExecutions();
    Pending execution = std::move(pending_[static_cast<std::size_t>(due)]);
    pending_.erase(pending_.begin() + due);
    EventSystem& events = *engine_.events;
    const RuleQuantities q = Quantities();
    if (!execution.haveValues) execution.values = events.Values(execution.event, *engine_.rules, q);
    events.Assign(execution.event, execution.values, *engine_.rules, q, engine_.model);
    ++executions_;
    any = true;
    if (listener_ != nullptr) listener_->Executed(execution.event, engine_.state.time);
  }
}

void TimeCourseEvents::Restart() {
  steps_ += engine_.lsoda.nst();
  fEvaluations_ += engine_.lsoda.nfe();
  jEvaluations_ += engine_.lsoda.nje();
  engine_.state.istate = 1;
}

void TimeCourseEvents::AdvanceEvents() {
  // Steps: (1) the next stop: the earliest pending execution before the
  // goal, or the goal; (2) a stop at the current time needs no integration;
  // (3) the integrator towards the stop; at a root of a trigger, and at a
  // pending execution, the triggers are read and what is due carried out,
  // and the integration starts again if anything was; (4) at the goal the
  // call is done.
  if (engine_.equations.nEquations() == 0) {
    AdvanceWithoutIntegration();
    return;
  }
  EngineState& state = engine_.state;
  const double goal = state.timeOut;
  if (restartPending_) {
    restartPending_ = false;
    state.istate = 1;
  }
  for (;;) {
    bool atPending = false;
    const double stop = NextStop(goal, atPending);
    if (SameTime(stop, state.time) && (atPending || state.istate == 1)) {
      state.time = stop;
      if (atPending) {
        if (Settle()) Restart();
        continue;
      }
      // The goal is where the integration stands: the state is the point,
      // and the integration starts at the next call.
      state.timeOut = goal;
      state.istate = 2;
      restartPending_ = true;
      return;
    }
    state.timeOut = stop;
    engine_.CallLsoda();
    state.timeOut = goal;
    if (state.istate == 3) {
      if (Settle(&engine_.lsoda.rootsFound())) {
        Restart();
      } else {
        state.istate = 2;
      }
      continue;
    }
    if (state.istate != 2) return;
    if (!atPending) return;
    if (Settle()) Restart();
  }
}

void TimeCourseEvents::RootsAtTime(double t, double* g, char* holds) {
  EngineState& state = engine_.state;
  amounts_.assign(state.amounts.begin(), state.amounts.end());
  engine_.equations.SetTime(t);
  engine_.equations.UpdateRules(amounts_.data());
  const RuleQuantities q{t, amounts_.data(), state.quantityValues.data(),
                         state.volumeValues.data()};
  engine_.events->RootValues(*engine_.rules, q, g, holds);
}

void TimeCourseEvents::AdvanceWithoutIntegration() {
  EngineState& state = engine_.state;
  const double goal = state.timeOut;
  const auto count = static_cast<std::size_t>(engine_.events->rootCount());
  std::vector<double> g0(count), g1(count);
  std::vector<char> holds0(count), holds1(count);
  const auto evaluate = [this](double x, double* g, char* holds) { RootsAtTime(x, g, holds); };
  // The delays' history follows the state from stop to stop.
  TimeCourseDelays* delays = engine_.delays;
  const auto moveTo = [&](double time) {
    if (delays != nullptr) delays->RecordSpan(state.time, time);
    state.time = time;
  };
  const auto settle = [&](const std::vector<char>* crossed = nullptr) {
    if (Settle(crossed) && delays != nullptr) delays->RecordJump();
  };
  for (;;) {
    bool atPending = false;
    const double stop = NextStop(goal, atPending);
    if (!SameTime(stop, state.time)) {
      RootsAtTime(state.time, g0.data(), holds0.data());
      RootsAtTime(stop, g1.data(), holds1.data());
      if (holds0 != holds1) {
        const double tolerance =
            kSameTimeUnits * DBL_EPSILON * std::max(std::fabs(state.time), std::fabs(stop));
        moveTo(LocateRoot(state.time, stop, tolerance, g0, holds0, g1, holds1, evaluate));
        engine_.equations.SetTime(state.time);
        engine_.equations.UpdateRules(state.amounts.data());
        std::vector<char> crossed(count);
        for (std::size_t r = 0; r < count; ++r) crossed[r] = holds0[r] != holds1[r];
        settle(&crossed);
        continue;
      }
    }
    moveTo(stop);
    engine_.equations.SetTime(state.time);
    engine_.equations.UpdateRules(state.amounts.data());
    if (!atPending) break;
    settle();
  }
  state.time = goal;
  state.timeOut = goal;
  state.istate = 2;
}

}  // namespace vireon
