#include "rules/delay_history.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vireon {

int DelayHistory::Register(const RuleExpression& expression, int call, bool constantTau) {
  const ExpressionNode* node = &expression.nodes[static_cast<std::size_t>(call)];
  const auto known = slotOf_.find(node);
  if (known != slotOf_.end()) return known->second;
  const std::vector<int> arguments = CallArguments(expression.nodes, call);
  Slot slot;
  slot.expression = &expression;
  slot.call = call;
  slot.argument = arguments.size() > 0 ? arguments[0] : kNoNode;
  slot.tau = arguments.size() > 1 ? arguments[1] : kNoNode;
  slot.constantTau = constantTau;
  const int index = static_cast<int>(slots_.size());
  slots_.push_back(slot);
  slotOf_.emplace(node, index);
  return index;
}

int DelayHistory::SlotOf(const ExpressionNode* call) const {
  const auto known = slotOf_.find(call);
  return known != slotOf_.end() ? known->second : -1;
}

bool DelayHistory::everyTauConstant() const {
  return std::all_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.constantTau; });
}

double DelayHistory::SampleTime(double a, double b, int j, int count) {
  if (count <= 1 || j <= 0) return a;
  if (j >= count - 1) return b;
  const double x = std::cos(std::numbers::pi * j / (count - 1));
  return a + (b - a) * (1.0 - x) * 0.5;
}

void DelayHistory::AddSegment(double a, double b, int count, const std::vector<double>& values) {
  CutAfter(a);
  const std::size_t n = static_cast<std::size_t>(count) * slots_.size();
  if (stored_ + n > kMaxDelayHistoryValues) {
    Fail("The history of the delays would hold more than " +
         std::to_string(kMaxDelayHistoryValues) + " values at time " + std::to_string(b) +
         ": a delay whose length changes keeps everything since time 0, and this time course "
         "needs too much of it.");
    return;
  }
  Segment segment;
  segment.a = a;
  segment.b = b;
  segment.end = b;
  segment.count = count;
  segment.offset = base_ + values_.size();
  values_.insert(values_.end(), values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n));
  stored_ += n;
  segments_.push_back(segment);
}

void DelayHistory::CutAfter(double t) {
  while (!segments_.empty() && segments_.back().a > t) {
    const Segment& last = segments_.back();
    const std::size_t n = static_cast<std::size_t>(last.count) * slots_.size();
    values_.erase(values_.end() - static_cast<std::ptrdiff_t>(n), values_.end());
    stored_ -= n;
    segments_.pop_back();
  }
  if (!segments_.empty() && segments_.back().end > t) segments_.back().end = t;
}

void DelayHistory::DiscardBefore(double t) {
  // The last segment stays, whatever its end.
  while (segments_.size() > 1 && segments_.front().end < t) {
    const std::size_t n = static_cast<std::size_t>(segments_.front().count) * slots_.size();
    values_.erase(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(n));
    base_ += n;
    stored_ -= n;
    segments_.pop_front();
  }
}

double DelayHistory::SegmentValue(const Segment& segment, int s, double t) const {
  const std::size_t stride = slots_.size();
  const auto at = [&](int j) {
    return values_[segment.offset - base_ + static_cast<std::size_t>(j) * stride +
                   static_cast<std::size_t>(s)];
  };
  if (segment.count <= 1 || segment.b == segment.a) return at(0);
  // The barycentric formula on the Chebyshev points of the second kind:
  // weights (-1)^j, halved at both ends.
  double numerator = 0.0, denominator = 0.0;
  for (int j = 0; j < segment.count; ++j) {
    const double tj = SampleTime(segment.a, segment.b, j, segment.count);
    if (t == tj) return at(j);
    double w = (j % 2 == 0) ? 1.0 : -1.0;
    if (j == 0 || j == segment.count - 1) w *= 0.5;
    const double c = w / (t - tj);
    numerator += c * at(j);
    denominator += c;
  }
  return numerator / denominator;
}

double DelayHistory::Value(int s, double t) const {
  if (segments_.empty()) return std::nan("");
  // The last segment that starts at t or before it: at a jump, the one
  // after it.
  auto after =
      std::upper_bound(segments_.begin(), segments_.end(), t,
                       [](double time, const Segment& segment) { return time < segment.a; });
  if (after == segments_.begin()) return SegmentValue(segments_.front(), s, t);
  // A segment that was cut is followed by the one that starts where it
  // ends, so only the last is ever read beyond its end.
  return SegmentValue(*(after - 1), s, t);
}

}  // namespace vireon
