#pragma once
// The history that delay(x, tau) reads during a time course: for every
// delay call of the rules and events (a slot), the values its argument x
// took since time 0, kept as one interpolating polynomial per step of the
// integrator.
//
// Each accepted step [a, b] of the integrator is sampled at the Chebyshev
// points of the second kind, as many as the step's order and two more: the
// state at each comes from the integrator's own interpolating polynomial
// and every argument is evaluated there. The interpolant through those
// samples is exact for an argument linear in the state (it reproduces the
// integrator's polynomial) and otherwise as accurate as the integration,
// and the barycentric formula evaluates it stably at any order. A jump of
// the state (an event) ends the segment before it at the jump's time and
// starts a segment of one sample there, so that a delayed read at exactly
// that time takes the value after the jump, and one before it the value
// before.
//
// A delay whose length cannot change (it reads no quantity that changes)
// needs nothing older than its length: the history is cut behind the
// longest such length. A delay of changing length may read anything back to
// time 0, so its history grows with the time course; it is refused once it
// holds more than kMaxDelayHistoryValues values rather than grow without
// bound.

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "rules/rule_expression.h"

namespace vireon {

// The most values the history keeps, all slots together (a little over
// 100 MB of doubles).
inline constexpr std::size_t kMaxDelayHistoryValues = std::size_t{1} << 24;
// The most samples of one segment: the highest order of the integrator
// (12) and two more.
inline constexpr int kMaxDelaySamples = 14;

class DelayHistory {
 public:
  // One delay call: the expression it stands in, its node and its
  // arguments' nodes.
  struct Slot {
    const RuleExpression* expression = nullptr;
    int call = -1;
    int argument = -1;
    int tau = -1;
    bool constantTau = false;
  };

  // Enters the delay call at expression.nodes[call]; the expression must
  // stay where it is while the history is used. Returns its slot.
  int Register(const RuleExpression& expression, int call, bool constantTau);
  // The slot of a delay call's node, or -1.
  int SlotOf(const ExpressionNode* call) const;
  int slotCount() const { return static_cast<int>(slots_.size()); }
  const Slot& slot(int s) const { return slots_[static_cast<std::size_t>(s)]; }
  bool everyTauConstant() const;

  // Sample times of a segment [a, b] of `count` samples (count 1: a alone).
  static double SampleTime(double a, double b, int j, int count);
  // Adds the segment [a, b] with values[j * slotCount() + s], sample j of
  // slot s. Segments come in time order; a segment that starts before the
  // end of the last one cuts it there. A segment that would take the
  // history beyond kMaxDelayHistoryValues is not added: the problem says why.
  void AddSegment(double a, double b, int count, const std::vector<double>& values);
  // Forgets everything after t (the state changed there).
  void CutAfter(double t);
  // Forgets the segments that end before t.
  void DiscardBefore(double t);

  bool empty() const { return segments_.empty(); }
  double start() const { return segments_.empty() ? 0.0 : segments_.front().a; }
  double end() const { return segments_.empty() ? 0.0 : segments_.back().end; }
  // Slot s's argument at time t, start() <= t; beyond end() the last
  // segment's polynomial is followed (a step longer than a delay of
  // changing length).
  double Value(int s, double t) const;
  std::size_t storedValues() const { return stored_; }

  // The first problem a delay met (a length below 0, a history too long),
  // for the time course to report; empty when none.
  void Fail(const std::string& message) {
    if (problem_.empty()) problem_ = message;
  }
  const std::string& problem() const { return problem_; }

 private:
  struct Segment {
    double a = 0.0, b = 0.0;  // the sample interval
    double end = 0.0;         // the segment holds up to here (b, or less once cut)
    int count = 0;
    std::size_t offset = 0;  // first value in values_, counted from base_
  };
  double SegmentValue(const Segment& segment, int s, double t) const;

  std::vector<Slot> slots_;
  std::unordered_map<const ExpressionNode*, int> slotOf_;
  std::deque<Segment> segments_;
  std::deque<double> values_;
  std::size_t base_ = 0;  // the offset of values_.front()
  std::size_t stored_ = 0;
  std::string problem_;
};

}  // namespace vireon
