#pragma once
// The delays of a time course, integrated by the method of steps: the
// history of every delayed argument is kept from the integrator's own
// interpolating polynomial (rules/delay_history.h), and the integration
// never steps over a discontinuity that a delay carries forward.
//
// What holds:
//   - every accepted step of the integrator is sampled into the history,
//     and so is the state wherever the integration starts (time 0, after an
//     event, after a pause), so that a jump is kept as the values before
//     and after it at one time;
//   - a delay of constant length tau limits the step to tau, so that a
//     delayed read never lands in the step being taken, and the integration
//     stops and starts again at k·tau after time 0 and after every event
//     (k = 1 … kBreakpointOrders), where the solution's derivatives jump;
//     one far shorter than the time course (below a millionth of it) does
//     neither and is read as one of changing length is;
//   - a delay of changing length reads the history wherever it points; a
//     read inside the step being taken follows the last step's polynomial;
//   - a model without delays never builds one: its integration is exactly
//     what it was.

#include <limits>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "rules/delay_history.h"

namespace vireon {

// The multiples of a constant delay after time 0 and after each event at
// which the integration starts again: a jump in the derivative of order k
// at k·tau, smoothed by one order at every further multiple.
inline constexpr int kBreakpointOrders = 3;

class TimeCourseDelays {
 public:
  // Whether the model's rules or events call delay (and the time course
  // must keep a history).
  static bool Needed(const Engine& engine);
  // Binds a history of the delays of engine.rules and engine.events to the
  // rules and the integrator for one time course; the destructor unbinds
  // it.
  explicit TimeCourseDelays(Engine& engine);
  ~TimeCourseDelays();
  TimeCourseDelays(const TimeCourseDelays&) = delete;
  TimeCourseDelays& operator=(const TimeCourseDelays&) = delete;

  // Calls the integrator towards state.timeOut as Engine::CallLsoda does,
  // through the discontinuities on the way.
  void Advance();

  // A time course with nothing to integrate moves the state by the rules
  // alone: the history of [from, to] is sampled from them (a segment of
  // kMaxDelaySamples samples), and a jump of the state at the current time
  // (an event) is kept as it is.
  void RecordSpan(double from, double to);
  void RecordJump() { RecordStart(/*afterJump=*/true); }

  // The integrator's counters of the integrations that ended at a
  // discontinuity (the current one's are the integrator's own).
  long long steps() const { return steps_; }
  long long fEvaluations() const { return fEvaluations_; }
  long long jEvaluations() const { return jEvaluations_; }
  // Whether a delay could not be evaluated (a length below 0, a history
  // grown too long): the reason is in state.errorLog, Advance returned with
  // istate kDelayFailure, and the time course must end.
  bool failed() const { return failed_; }
  static constexpr int kDelayFailure = -101;

  const DelayHistory& history() const { return history_; }

 private:
  // The arguments of every slot at (t, y), y the integrator's state.
  void Sample(double t, const double* y, double* row);
  void RecordStep();
  void RecordStart(bool afterJump);
  double NextBreakpoint(double after) const;
  void CheckProblem();

  Engine& engine_;
  DelayHistory history_;
  std::vector<double> constantLengths_;  // the constant delays' lengths above 0
  double longestConstant_ = 0.0;
  double hmax_ = 0.0;                // 0: no limit
  std::vector<double> breakpoints_;  // ascending
  std::vector<double> y_, ydot_, amounts_, values_;
  // Whether an argument reads the amounts' rates, which the samples then
  // compute; the last sample of the last step and its time.
  bool needsRates_ = false;
  std::vector<double> lastRow_;
  double lastEnd_ = std::numeric_limits<double>::quiet_NaN();
  long long steps_ = 0, fEvaluations_ = 0, jEvaluations_ = 0;
  bool failed_ = false;
};

}  // namespace vireon
