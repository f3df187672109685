// The history of the delays: the interpolant of a segment reproduces a
// polynomial of its degree exactly, a jump is read as the value after it
// at its time and before it just before, a cut forgets what followed, and
// what is discarded or refused keeps the history bounded.

#include "rules/delay_history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/expect_close.h"

namespace vireon {
namespace {

constexpr double kExact = 1e-13;

// One delay call, delay(x, 1), to give the history a slot.
RuleExpression OneDelay() {
  RuleExpression expression;
  expression.nodes.resize(3);
  expression.nodes[1].kind = node_kind::kFunction;
  expression.nodes[1].code = node_code::kDelay;
  return expression;
}

// Samples of f over [a, b] at the history's sample times.
std::vector<double> Samples(double a, double b, int count, double (*f)(double)) {
  std::vector<double> values;
  for (int j = 0; j < count; ++j) values.push_back(f(DelayHistory::SampleTime(a, b, j, count)));
  return values;
}

double Quartic(double t) {
  return 1.0 - 2.0 * t + 0.5 * t * t * t * t;
}

TEST(DelayHistory, ASegmentReproducesAPolynomialOfItsDegree) {
  const RuleExpression expression = OneDelay();
  DelayHistory history;
  ASSERT_EQ(history.Register(expression, 1, true), 0);
  history.AddSegment(0.0, 0.5, 5, Samples(0.0, 0.5, 5, Quartic));
  history.AddSegment(0.5, 2.0, 5, Samples(0.5, 2.0, 5, Quartic));
  for (double t = 0.0; t <= 2.0; t += 0.0625) {
    EXPECT_CLOSE(history.Value(0, t), Quartic(t), kExact, kExact) << "t = " << t;
  }
}

TEST(DelayHistory, AJumpIsReadAsTheValueAfterItAtItsTime) {
  const RuleExpression expression = OneDelay();
  DelayHistory history;
  history.Register(expression, 1, true);
  // x = t up to 1.5, then 10 from the jump at 1 (the step beyond it cut).
  history.AddSegment(0.0, 1.5, 3, Samples(0.0, 1.5, 3, [](double t) { return t; }));
  history.AddSegment(1.0, 1.0, 1, {10.0});
  history.AddSegment(1.0, 2.0, 3, {10.0, 10.0, 10.0});
  EXPECT_CLOSE(history.Value(0, 0.999), 0.999, kExact, kExact);
  EXPECT_CLOSE(history.Value(0, 1.0), 10.0, kExact, kExact);
  EXPECT_CLOSE(history.Value(0, 1.25), 10.0, kExact, kExact);
  // A cut forgets what followed.
  history.CutAfter(1.0);
  EXPECT_CLOSE(history.end(), 1.0, kExact, kExact);
}

TEST(DelayHistory, DiscardingAndTheLimitKeepItBounded) {
  const RuleExpression expression = OneDelay();
  DelayHistory history;
  history.Register(expression, 1, true);
  for (int i = 0; i < 1000; ++i) {
    history.AddSegment(i, i + 1, 4, {1.0, 1.0, 1.0, 1.0});
    history.DiscardBefore(i - 2.0);
  }
  EXPECT_LE(history.storedValues(), 4u * 4u);
  EXPECT_TRUE(history.problem().empty());

  // Without discarding, the history refuses to hold more than its limit.
  DelayHistory growing;
  growing.Register(expression, 1, false);
  const std::vector<double> many(kMaxDelaySamples, 1.0);
  const std::size_t segments = kMaxDelayHistoryValues / kMaxDelaySamples + 2;
  for (std::size_t i = 0; i < segments && growing.problem().empty(); ++i) {
    growing.AddSegment(static_cast<double>(i), static_cast<double>(i + 1), kMaxDelaySamples, many);
  }
  EXPECT_NE(growing.problem().find("more than"), std::string::npos);
  EXPECT_LE(growing.storedValues(), kMaxDelayHistoryValues);
}

}  // namespace
}  // namespace vireon
