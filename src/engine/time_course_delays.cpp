#include "engine/time_course_delays.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace vireon {

namespace {

// Rounding units within which two times count as one (as the events take
// them).
constexpr double kSameTimeUnits = 100.0;
// Relative distance within which a discontinuity counts as the time the
// integration stands at: stopping there again would take a step of
// rounding size.
constexpr double kBreakpointResolution = 1e-10;
// The shortest constant delay, relative to the length of the time course,
// that bounds the integrator's steps and restarts it at its multiples.
constexpr double kShortestBoundingDelay = 1e-6;
// The history kept behind the longest constant delay, relative to it, so
// that a read at the oldest time it needs never falls off the end.
constexpr double kHistoryMargin = 0.5;

bool SameTime(double a, double b) {
  return std::fabs(a - b) <= kSameTimeUnits * DBL_EPSILON * std::max(std::fabs(a), std::fabs(b));
}

}  // namespace

bool TimeCourseDelays::Needed(const Engine& engine) {
  if (!engine.rules) return false;
  DelayHistory history;
  engine.rules->RegisterDelays(history);
  if (engine.events) engine.events->RegisterDelays(*engine.rules, history);
  return history.slotCount() > 0;
}

TimeCourseDelays::TimeCourseDelays(Engine& engine) : engine_(engine) {
  RuleSystem& rules = *engine_.rules;
  rules.RegisterDelays(history_);
  if (engine_.events) engine_.events->RegisterDelays(rules, history_);
  // The constant lengths, read at the start.
  EngineState& state = engine_.state;
  const RuleQuantities q{state.time, state.amounts.data(), state.quantityValues.data(),
                         state.volumeValues.data()};
  for (int s = 0; s < history_.slotCount(); ++s) {
    const DelayHistory::Slot& slot = history_.slot(s);
    if (!slot.constantTau) continue;
    const double tau = rules.NodeValue(*slot.expression, slot.tau, q);
    if (tau > 0.0 && std::isfinite(tau)) constantLengths_.push_back(tau);
  }
  std::sort(constantLengths_.begin(), constantLengths_.end());
  constantLengths_.erase(std::unique(constantLengths_.begin(), constantLengths_.end()),
                         constantLengths_.end());
  // A delay far shorter than the time course neither bounds the steps nor
  // stops the integration: it is read from the last step's polynomial, as
  // one whose length changes.
  if (!constantLengths_.empty()) longestConstant_ = constantLengths_.back();
  const double shortest = kShortestBoundingDelay * std::fabs(engine_.settings.endTime);
  std::erase_if(constantLengths_, [shortest](double tau) { return tau < shortest; });
  if (!constantLengths_.empty()) hmax_ = constantLengths_.front();
  for (double tau : constantLengths_) {
    for (int k = 1; k <= kBreakpointOrders; ++k) breakpoints_.push_back(state.time + k * tau);
  }
  std::sort(breakpoints_.begin(), breakpoints_.end());
  const auto n = static_cast<std::size_t>(engine_.equations.nEquations()) + 1;
  y_.assign(n, 0.0);
  ydot_.assign(n, 0.0);
  values_.assign(
      static_cast<std::size_t>(kMaxDelaySamples) * static_cast<std::size_t>(history_.slotCount()),
      0.0);
  for (int s = 0; s < history_.slotCount() && !needsRates_; ++s) {
    for (const RuleSymbol& symbol : history_.slot(s).expression->symbols) {
      needsRates_ = needsRates_ || symbol.rate;
    }
  }
  needsRates_ = needsRates_ || rules.readsAmountRates();
  rules.AttachDelayHistory(&history_);
  engine_.lsoda.SetStepObserver([this] { RecordStep(); });
  engine_.delays = this;
  rules.KeepValuesOfTimeZero(engine_.model);
  if (!rules.delayProblemAtStart().empty()) history_.Fail(rules.delayProblemAtStart());
  // The rules at the start read their delays before time 0 now.
  engine_.equations.SetTime(state.time);
  engine_.equations.UpdateRules(state.amounts.data());
}

TimeCourseDelays::~TimeCourseDelays() {
  engine_.delays = nullptr;
  engine_.lsoda.SetStepObserver(nullptr);
  engine_.rules->AttachDelayHistory(nullptr);
}

void TimeCourseDelays::Sample(double t, const double* y, double* row) {
  // The rates and the rules at (t, y), in scratch amounts: the engine state
  // keeps the amounts of the last point, and the fixed ones.
  EngineState& state = engine_.state;
  amounts_.assign(state.amounts.begin(), state.amounts.end());
  engine_.equations.SetTime(t);
  // The rates are needed only where an argument reads one.
  if (needsRates_) engine_.equations.Derivs(y, ydot_.data());
  engine_.equations.UnpackState(y, amounts_.data());
  RuleQuantities q{t, amounts_.data(), state.quantityValues.data(), state.volumeValues.data()};
  if (needsRates_) q.amountRates = ydot_.data();
  for (int s = 0; s < history_.slotCount(); ++s) {
    const DelayHistory::Slot& slot = history_.slot(s);
    row[s] = engine_.rules->NodeValue(*slot.expression, slot.argument, q);
  }
}

void TimeCourseDelays::RecordStep() {
  // The step [tn - hu, tn] at Chebyshev points, one more than its order
  // (at least 3); the first is the last step's end where the history
  // goes on from there, so that it stays continuous.
  Lsoda& lsoda = engine_.lsoda;
  const double b = lsoda.tn();
  const double a = b - lsoda.hu();
  const int count = std::clamp(lsoda.nqu() + 1, 3, kMaxDelaySamples);
  const auto width = static_cast<std::size_t>(history_.slotCount());
  const bool continues = !history_.empty() && history_.end() == a && lastEnd_ == a;
  for (int j = 0; j < count; ++j) {
    double* row = values_.data() + static_cast<std::size_t>(j) * width;
    if (j == 0 && continues) {
      std::copy(lastRow_.begin(), lastRow_.end(), row);
      continue;
    }
    const double t = DelayHistory::SampleTime(a, b, j, count);
    lsoda.intdy(t, 0, y_.data());
    Sample(t, y_.data(), row);
  }
  history_.AddSegment(a, b, count, values_);
  const double* last = values_.data() + static_cast<std::size_t>(count - 1) * width;
  lastRow_.assign(last, last + width);
  lastEnd_ = b;
  if (history_.everyTauConstant()) {
    history_.DiscardBefore(a - longestConstant_ * (1.0 + kHistoryMargin));
  }
}

void TimeCourseDelays::RecordSpan(double from, double to) {
  CheckProblem();
  if (failed_ || !(to > from)) return;
  const auto width = static_cast<std::size_t>(history_.slotCount());
  for (int j = 0; j < kMaxDelaySamples; ++j) {
    const double t = DelayHistory::SampleTime(from, to, j, kMaxDelaySamples);
    Sample(t, y_.data(), values_.data() + static_cast<std::size_t>(j) * width);
  }
  history_.AddSegment(from, to, kMaxDelaySamples, values_);
  lastEnd_ = std::numeric_limits<double>::quiet_NaN();
  if (history_.everyTauConstant()) {
    history_.DiscardBefore(from - longestConstant_ * (1.0 + kHistoryMargin));
  }
  CheckProblem();
}

void TimeCourseDelays::RecordStart(bool afterJump) {
  EngineState& state = engine_.state;
  engine_.equations.SetTime(state.time);
  engine_.equations.PackState(state.amounts.data(), y_.data());
  Sample(state.time, y_.data(), values_.data());
  history_.AddSegment(state.time, state.time, 1, values_);
  const auto width = static_cast<std::size_t>(history_.slotCount());
  lastRow_.assign(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(width));
  lastEnd_ = state.time;
  // The state may have jumped here: its discontinuities travel on.
  if (afterJump && state.time > history_.start()) {
    for (double tau : constantLengths_) {
      for (int k = 1; k <= kBreakpointOrders; ++k) breakpoints_.push_back(state.time + k * tau);
    }
    std::sort(breakpoints_.begin(), breakpoints_.end());
  }
  // The breakpoints behind are of no further use.
  const auto behind = std::upper_bound(breakpoints_.begin(), breakpoints_.end(), state.time);
  breakpoints_.erase(breakpoints_.begin(), behind);
}

double TimeCourseDelays::NextBreakpoint(double after) const {
  // A discontinuity this close to where the integration stands is the one
  // it started at (an event at t + tau within the rounding of the root
  // finding, say).
  const double resolution = kBreakpointResolution * std::max(1.0, std::fabs(after));
  for (double b : breakpoints_) {
    if (b > after + resolution) return b;
  }
  return std::numeric_limits<double>::infinity();
}

void TimeCourseDelays::CheckProblem() {
  if (failed_ || history_.problem().empty()) return;
  failed_ = true;
  engine_.state.errorLog += history_.problem() + "\r\n";
  engine_.state.istate = kDelayFailure;
}

void TimeCourseDelays::Advance() {
  // Steps: (1) where the integration starts, the state there goes into the
  // history; (2) the next discontinuity before the goal, if any, is the
  // call's end, not to be stepped over; (3) there the integration starts
  // again; (4) at the goal, or at a root or failure, the call is done.
  EngineState& state = engine_.state;
  CheckProblem();
  if (failed_) {
    state.istate = kDelayFailure;
    return;
  }
  const double goal = state.timeOut;
  // A start here follows a jump of the state (an event, a pause), or is
  // the first of the time course.
  if (state.istate == 1) RecordStart(/*afterJump=*/true);
  for (;;) {
    const double next = NextBreakpoint(state.time);
    const bool toBreakpoint = next < goal && !SameTime(next, goal);
    state.timeOut = toBreakpoint ? next : goal;
    const bool bounded = std::isfinite(next);
    // A discontinuity within rounding of the goal is the goal.
    engine_.CallLsodaBounded(bounded ? 4 : 1, bounded ? std::max(next, state.timeOut) : 0.0, hmax_);
    state.timeOut = goal;
    CheckProblem();
    if (failed_) return;
    if (!toBreakpoint || state.istate != 2 || !SameTime(state.time, next)) return;
    Lsoda& lsoda = engine_.lsoda;
    steps_ += lsoda.nst();
    fEvaluations_ += lsoda.nfe();
    jEvaluations_ += lsoda.nje();
    state.istate = 1;
    RecordStart(false);
    CheckProblem();
    if (failed_) return;
  }
}

}  // namespace vireon
