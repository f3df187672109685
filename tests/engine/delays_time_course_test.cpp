// Time courses of models with delays against the closed forms of the
// method of steps: a delayed degradation x' = -k x(t - tau) from x = 1 for
// t <= 0, a delay whose length changes, the history before time 0 given by
// an initial value that reads time, a jump of the state kept in the
// history; delays at a steady state; and a length below 0 refused with a
// message.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/steady_state.h"
#include "engine/time_course.h"
#include "model/structural_analysis.h"
#include "rules/rule_order.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

// The integration is held to 1e-10; the history keeps that accuracy.
constexpr double kAbsolute = 1e-8, kRelative = 1e-7;

Rule MakeRule(RuleKind kind, std::string name, std::string expression) {
  return Rule{kind, RuleTarget{RuleTargetKind::kGlobalQuantity, std::move(name), {}},
              std::move(expression)};
}

// A model of one fixed metabolite and no steps that moves by its rules.
Model QuantitiesOnly(std::vector<GlobalQuantity> quantities, std::vector<Rule> rules,
                     std::vector<Event> events = {}) {
  Model model = test::BuildModel({{"R1", "A -> B"}}, {"A", "B"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {0.0});
  StructuralAnalysis(model);
  model.globalQuantities = std::move(quantities);
  model.rules = std::move(rules);
  model.events = std::move(events);
  return model;
}

struct Course {
  std::vector<double> times;
  std::vector<std::vector<double>> quantities;
  std::string errorLog;
  TimeCourseOutcome outcome = TimeCourseOutcome::kCompleted;
};

Course RunTimeCourse(Model model, double endTime, int points) {
  TaskSettings settings;
  settings.endTime = endTime;
  settings.points = points;
  settings.solver.relativeTolerance = 1e-10;
  settings.solver.absoluteTolerance = 1e-14;
  test::EngineRig rig(std::move(model), settings);
  SetUpTimeCourse(*rig.engine);
  Course course;
  course.outcome = TimeCourse(*rig.engine, /*write=*/true).outcome;
  course.times = rig.hooks.rowTimes;
  course.quantities = rig.hooks.rowQuantities;
  course.errorLog = rig.state.errorLog;
  return course;
}

// x' = -k x(t - tau), x = 1 for t <= 0, by steps: 1 - k t on [0, tau],
// + k^2 (t - tau)^2 / 2 on [tau, 2 tau], - k^3 (t - 2 tau)^3 / 6 on
// [2 tau, 3 tau].
double DelayedDegradation(double k, double tau, double t) {
  double x = 1.0 - k * t;
  if (t > tau) x += k * k * (t - tau) * (t - tau) / 2.0;
  if (t > 2 * tau) x -= k * k * k * std::pow(t - 2 * tau, 3) / 6.0;
  return x;
}

TEST(DelaysTimeCourse, DelayedDegradationFollowsTheMethodOfSteps) {
  constexpr double k = 0.8, tau = 0.7;
  const Model model =
      QuantitiesOnly({{"x", 1.0}, {"k", k}}, {MakeRule(RuleKind::kRate, "x", "-k*delay(x, 0.7)")});
  const Course run = RunTimeCourse(model, 3 * tau, 42);
  ASSERT_EQ(run.outcome, TimeCourseOutcome::kCompleted) << run.errorLog;
  ASSERT_EQ(run.times.size(), 43u);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    EXPECT_CLOSE(run.quantities[i][0], DelayedDegradation(k, tau, run.times[i]), kAbsolute,
                 kRelative)
        << "t = " << run.times[i];
  }
}

// A delay a billionth of the time course bounds no step: x' = -k x(t -
// 1e-9) is x' = -k x to within the delay, x = exp(-k t).
TEST(DelaysTimeCourse, AVeryShortDelayIsReadFromTheLastStep) {
  constexpr double k = 0.8;
  const Model model = QuantitiesOnly({{"x", 1.0}, {"k", k}},
                                     {MakeRule(RuleKind::kRate, "x", "-k*delay(x, 1e-9)")});
  const Course run = RunTimeCourse(model, 2.0, 20);
  ASSERT_EQ(run.outcome, TimeCourseOutcome::kCompleted) << run.errorLog;
  ASSERT_EQ(run.times.size(), 21u);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    EXPECT_CLOSE(run.quantities[i][0], std::exp(-k * run.times[i]), kAbsolute, kRelative)
        << "t = " << run.times[i];
  }
}

// The same through a rate law: the step's constant is k x(t - tau) / x, so
// that A' = -k A(t - tau) for the metabolite itself.
TEST(DelaysTimeCourse, ARateLawReadsADelayThroughItsConstant) {
  constexpr double k = 0.8, tau = 0.7;
  Model model = test::BuildModel({{"R1", "A -> B"}}, {"B"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {k});
  test::SetInitial(model, "A", 1.0);
  StructuralAnalysis(model);
  model.rules = {Rule{RuleKind::kAssignment,
                      RuleTarget{RuleTargetKind::kKineticConstant, "R1", "k"},
                      "0.8*delay(A, 0.7)/A"}};
  TaskSettings settings;
  settings.endTime = 3 * tau;
  settings.points = 30;
  settings.solver.relativeTolerance = 1e-10;
  settings.solver.absoluteTolerance = 1e-14;
  test::EngineRig rig(std::move(model), settings);
  SetUpTimeCourse(*rig.engine);
  ASSERT_EQ(TimeCourse(*rig.engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted)
      << rig.state.errorLog;
  const int a = rig.PositionOf("A");
  for (std::size_t i = 0; i < rig.hooks.rowTimes.size(); ++i) {
    EXPECT_CLOSE(rig.hooks.rowAmounts[i][static_cast<std::size_t>(a)],
                 DelayedDegradation(k, tau, rig.hooks.rowTimes[i]), kAbsolute, kRelative)
        << "t = " << rig.hooks.rowTimes[i];
  }
}

// p' = 1 from 0 and y = delay(p, time/2): y = t/2; z = delay(p, 1 + p) =
// max(0, t - 1 - t) = 0 reads before time 0 all along.
TEST(DelaysTimeCourse, ADelayWhoseLengthChangesReadsTheHistoryWhereItPoints) {
  const Model model = QuantitiesOnly({{"p", 0.0}, {"y", 0.0}, {"z", 5.0}},
                                     {MakeRule(RuleKind::kRate, "p", "1"),
                                      MakeRule(RuleKind::kAssignment, "y", "delay(p, time/2)"),
                                      MakeRule(RuleKind::kAssignment, "z", "delay(p, 1 + p)")});
  const Course run = RunTimeCourse(model, 4.0, 40);
  ASSERT_EQ(run.outcome, TimeCourseOutcome::kCompleted) << run.errorLog;
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    EXPECT_CLOSE(run.quantities[i][1], run.times[i] / 2, kAbsolute, kRelative);
    EXPECT_CLOSE(run.quantities[i][2], 0.0, kAbsolute, kRelative);
  }
}

// x is fixed after time 0 but its initial value is sin(time): y =
// delay(x, 0.5) sees sin(t - 0.5) until t = 0.5, then sin(0) = 0.
TEST(DelaysTimeCourse, BeforeTimeZeroAQuantityHasTheInitialValueOfThatTime) {
  const Model model = QuantitiesOnly({{"x", 3.0}, {"y", 0.0}},
                                     {MakeRule(RuleKind::kInitialAssignment, "x", "sin(time)"),
                                      MakeRule(RuleKind::kAssignment, "y", "delay(x, 0.5)")});
  const Course run = RunTimeCourse(model, 1.0, 20);
  ASSERT_EQ(run.outcome, TimeCourseOutcome::kCompleted) << run.errorLog;
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_CLOSE(run.quantities[i][1], t < 0.5 ? std::sin(t - 0.5) : 0.0, 1e-12, 1e-12)
        << "t = " << t;
  }
}

// p' = 1 is set back to 0 by an event at t = 1: y = delay(p, 0.45) follows
// it 0.45 time units later, jump included.
TEST(DelaysTimeCourse, AJumpOfTheStateIsKeptInTheHistory) {
  Event reset;
  reset.name = "reset";
  reset.trigger = "gt(time, 1)";
  reset.assignments = {EventAssignment{RuleTarget{RuleTargetKind::kGlobalQuantity, "p", {}}, "0"}};
  const Model model = QuantitiesOnly(
      {{"p", 0.0}, {"y", 0.0}},
      {MakeRule(RuleKind::kRate, "p", "1"), MakeRule(RuleKind::kAssignment, "y", "delay(p, 0.45)")},
      {reset});
  const Course run = RunTimeCourse(model, 3.0, 30);
  ASSERT_EQ(run.outcome, TimeCourseOutcome::kCompleted) << run.errorLog;
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    const auto p = [](double s) { return s <= 0.0 ? 0.0 : (s <= 1.0 ? s : s - 1.0); };
    EXPECT_CLOSE(run.quantities[i][0], p(t), kAbsolute, kRelative) << "t = " << t;
    EXPECT_CLOSE(run.quantities[i][1], p(t - 0.45), kAbsolute, kRelative) << "t = " << t;
  }
}

// At a steady state a delayed value is the value now: x' = 2 - delay(x, 3)
// rests at x = 2.
TEST(DelaysSteadyState, ADelayIsItsArgumentAtASteadyState) {
  Model model = QuantitiesOnly({{"x", 0.5}}, {MakeRule(RuleKind::kRate, "x", "2 - delay(x, 3)")});
  TaskSettings settings;
  test::EngineRig rig(std::move(model), settings);
  const SteadyStateResult result = SteadyState(*rig.engine);
  ASSERT_EQ(result.outcome, SteadyStateOutcome::kFound);
  EXPECT_CLOSE(rig.state.quantityValues[0], 2.0, 1e-9, 1e-9);
}

// A length below 0 ends the time course with a message that says so once
// it becomes so on the way; one written below 0 is refused when read.
TEST(DelaysTimeCourse, ALengthBelowZeroIsRefusedWithAMessage) {
  // Below 0 after t = 1, and from the start.
  for (const char* length : {"1 - time", "p - 5"}) {
    const Model model = QuantitiesOnly(
        {{"p", 0.0}, {"y", 0.0}},
        {MakeRule(RuleKind::kRate, "p", "1"),
         MakeRule(RuleKind::kAssignment, "y", std::string("delay(p, ") + length + ")")});
    const Course run = RunTimeCourse(model, 3.0, 30);
    EXPECT_NE(run.outcome, TimeCourseOutcome::kCompleted) << length;
    EXPECT_NE(run.errorLog.find("the length of a delay must be a finite number not below 0"),
              std::string::npos)
        << length << ": " << run.errorLog;
    ASSERT_FALSE(run.times.empty()) << length;
    EXPECT_LE(run.times.back(), 1.0 + 1e-9) << length;
  }

  const Model written = QuantitiesOnly({{"p", 0.0}, {"y", 0.0}},
                                       {MakeRule(RuleKind::kAssignment, "y", "delay(p, -2)")});
  const RulesCheck check = CheckRules(written);
  EXPECT_FALSE(check.ok());
  EXPECT_NE(check.message.find("is given a length below 0"), std::string::npos) << check.message;
}

}  // namespace
}  // namespace vireon
