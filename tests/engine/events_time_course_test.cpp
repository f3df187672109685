// Time courses of models with events against their closed forms: a bolus
// dose, a threshold that fires once or again and again, a delayed
// execution kept or cancelled by persistence, and events at one moment in
// the order of their priorities.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/random.h"
#include "engine/time_course.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

constexpr double kA0 = 2.0;
constexpr double kAbsolute = 1e-7, kRelative = 1e-5;

// A -> B, mass action with k = 1, B fixed: A(t) = A0 exp(-t) between events.
Model Decay() {
  Model model = test::BuildModel({{"R1", "A -> B"}}, {"B"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "A", kA0);
  test::SetInitial(model, "B", 0.0);
  StructuralAnalysis(model);
  return model;
}

Event MakeEvent(std::string name, std::string trigger,
                std::vector<std::pair<std::string, std::string>> quantityAssignments = {},
                std::vector<std::pair<std::string, std::string>> metaboliteAssignments = {}) {
  Event event;
  event.name = std::move(name);
  event.trigger = std::move(trigger);
  for (auto& [target, expression] : quantityAssignments) {
    event.assignments.push_back({{RuleTargetKind::kGlobalQuantity, target, {}}, expression});
  }
  for (auto& [target, expression] : metaboliteAssignments) {
    event.assignments.push_back({{RuleTargetKind::kMetabolite, target, {}}, expression});
  }
  return event;
}

struct Course {
  std::vector<double> times;
  std::vector<std::vector<double>> amounts, quantities;
  long long steps = 0;
};

Course TimeCourseOf(Model model, double endTime, int points, RandomGenerator* random = nullptr) {
  TaskSettings settings;
  settings.endTime = endTime;
  settings.points = points;
  settings.solver.relativeTolerance = 1e-9;
  settings.solver.absoluteTolerance = 1e-12;
  test::EngineRig rig(std::move(model), settings);
  rig.engine->random = random;
  SetUpTimeCourse(*rig.engine);
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/true);
  EXPECT_EQ(result.outcome, TimeCourseOutcome::kCompleted);
  EXPECT_TRUE(rig.hooks.errors.empty());
  EXPECT_EQ(rig.hooks.rowTimes.size(), static_cast<std::size_t>(points) + 1);
  return {rig.hooks.rowTimes, rig.hooks.rowAmounts, rig.hooks.rowQuantities, result.summary.steps};
}

double AmountOf(const Model& model, const Course& run, std::size_t row, const char* name) {
  return run.amounts[row][static_cast<std::size_t>(
      model.metabolitePosition[static_cast<std::size_t>(model.FindMetabolite(name))] + 1)];
}

// A dose of 3 at t = 1.05, between two points: A jumps from A0 e^-1.05 by
// 3 and decays on. The points stay on their grid.
TEST(EventsTimeCourse, BolusDoseJumpsAndDecays) {
  constexpr double kDoseTime = 1.05, kDose = 3.0;
  Model model = Decay();
  model.events = {MakeEvent("dose", "geq(time, 1.05)", {}, {{"A", "A + 3"}})};
  const Course run = TimeCourseOf(model, 3.0, 30);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_CLOSE(t, 0.1 * static_cast<double>(i), 1e-12, 1e-12);
    const double expected = t < kDoseTime
                                ? kA0 * std::exp(-t)
                                : (kA0 * std::exp(-kDoseTime) + kDose) * std::exp(-(t - kDoseTime));
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), expected, kAbsolute, kRelative) << "t = " << t;
  }
}

// The same dose with output points at uneven times of their own: each row
// is at its time exactly, the dose between two of them.
TEST(EventsTimeCourse, UnevenOutputTimesAreMetExactly) {
  constexpr double kDoseTime = 1.05, kDose = 3.0;
  const std::vector<double> times = {0.3, 1.0, std::sqrt(2.0), std::exp(1.0), 2.75};
  Model model = Decay();
  model.events = {MakeEvent("dose", "geq(time, 1.05)", {}, {{"A", "A + 3"}})};
  TaskSettings settings;
  settings.endTime = times.back();
  settings.points = static_cast<int>(times.size());
  settings.solver.relativeTolerance = 1e-9;
  settings.solver.absoluteTolerance = 1e-12;
  test::EngineRig rig(std::move(model), settings);
  rig.engine->outputTimes = times;
  SetUpTimeCourse(*rig.engine);
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/true);
  EXPECT_EQ(result.outcome, TimeCourseOutcome::kCompleted);
  ASSERT_EQ(rig.hooks.rowTimes.size(), times.size() + 1);
  EXPECT_EQ(rig.hooks.rowTimes[0], 0.0);
  const Course run{rig.hooks.rowTimes, rig.hooks.rowAmounts, {}, 0};
  for (std::size_t i = 1; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_EQ(t, times[i - 1]);
    const double expected = t < kDoseTime
                                ? kA0 * std::exp(-t)
                                : (kA0 * std::exp(-kDoseTime) + kDose) * std::exp(-(t - kDoseTime));
    EXPECT_CLOSE(AmountOf(rig.model, run, i, "A"), expected, kAbsolute, kRelative) << "t = " << t;
  }

  // Every metabolite fixed: the constant solution, at the same times.
  Model still = test::BuildModel({{"R1", "A -> B"}}, {"A", "B"});
  test::UseKinetics(still, "R1", "Mass action (irreversible)", {1.0});
  StructuralAnalysis(still);
  test::EngineRig constant(std::move(still), settings);
  constant.engine->outputTimes = times;
  SetUpTimeCourse(*constant.engine);
  EXPECT_EQ(TimeCourse(*constant.engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted);
  ASSERT_EQ(constant.hooks.rowTimes.size(), times.size() + 1);
  for (std::size_t i = 1; i < constant.hooks.rowTimes.size(); ++i) {
    EXPECT_EQ(constant.hooks.rowTimes[i], times[i - 1]);
  }
}

// A threshold crossed once: a counter goes to 1 and stays, since the
// trigger stays true. With a refill to A0 the trigger goes false again, and
// the event fires every ln 4 (the time A takes from 2 to 1/2).
TEST(EventsTimeCourse, ThresholdFiresOnceOrEveryTimeItIsCrossedAgain) {
  Model once = Decay();
  once.globalQuantities = {{"count", 0.0}};
  once.events = {MakeEvent("low", "lt(A, 0.5)", {{"count", "count + 1"}})};
  const Course a = TimeCourseOf(once, 5.0, 50);
  for (std::size_t i = 0; i < a.times.size(); ++i) {
    EXPECT_CLOSE(a.quantities[i][0], a.times[i] < std::log(4.0) ? 0.0 : 1.0, 0.0, 0.0);
  }

  Model again = Decay();
  again.globalQuantities = {{"count", 0.0}};
  again.events = {MakeEvent("refill", "lt(A, 0.5)", {{"count", "count + 1"}}, {{"A", "2"}})};
  const Course b = TimeCourseOf(again, 5.0, 50);
  const double period = std::log(4.0);
  for (std::size_t i = 0; i < b.times.size(); ++i) {
    const double t = b.times[i];
    const double fired = std::floor(t / period);
    EXPECT_CLOSE(b.quantities[i][0], fired, 0.0, 0.0) << "t = " << t;
    EXPECT_CLOSE(AmountOf(again, b, i, "A"), kA0 * std::exp(-(t - fired * period)), kAbsolute,
                 kRelative)
        << "t = " << t;
  }
}

// A continuous quantity equals a threshold only at the instant it crosses
// it, which root finding brackets but rarely hits: eq(A, 1) fires there
// (at ln 2) and, refilled to 2, at every crossing after; neq(A, 1) is false
// only at that instant, so it goes true again and fires just after each.
TEST(EventsTimeCourse, EqualityFiresAtEveryCrossingOfItsSides) {
  const double period = std::log(2.0);
  for (const char* trigger : {"eq(A, 1)", "neq(A, 1)"}) {
    Model model = Decay();
    model.globalQuantities = {{"count", 0.0}};
    Event event = MakeEvent("cross", trigger, {{"count", "count + 1"}}, {{"A", "2"}});
    event.initialValue = std::string(trigger).starts_with("neq");  // true at t = 0: no firing
    model.events = {event};
    const Course run = TimeCourseOf(model, 3.0, 30);
    for (std::size_t i = 0; i < run.times.size(); ++i) {
      const double t = run.times[i];
      const double fired = std::floor(t / period);
      EXPECT_CLOSE(run.quantities[i][0], fired, 0.0, 0.0) << trigger << ", t = " << t;
      EXPECT_CLOSE(AmountOf(model, run, i, "A"), kA0 * std::exp(-(t - fired * period)), kAbsolute,
                   kRelative)
          << trigger << ", t = " << t;
    }
  }
}

// "late" fires when A drops below 1 (at ln 2) and counts 1 later; "reset"
// puts A back to 2 at t = 1.2, before that execution, so the trigger is
// false again when it is due. Persistent, it counts then (1.69) and after
// the next crossing (1.2 + ln 2, executed at 2.89); not persistent, the
// first execution is cancelled.
TEST(EventsTimeCourse, PersistenceDecidesWhetherAPendingExecutionSurvives) {
  for (const bool persistent : {true, false}) {
    Model model = Decay();
    model.globalQuantities = {{"count", 0.0}};
    Event late = MakeEvent("late", "lt(A, 1)", {{"count", "count + 1"}});
    late.delay = "1";
    late.persistent = persistent;
    model.events = {late, MakeEvent("reset", "geq(time, 1.2)", {}, {{"A", "2"}})};
    const Course run = TimeCourseOf(model, 4.0, 40);
    const double first = std::log(2.0) + 1.0, second = 1.2 + std::log(2.0) + 1.0;
    for (std::size_t i = 0; i < run.times.size(); ++i) {
      const double t = run.times[i];
      const double count = (persistent && t >= first ? 1.0 : 0.0) + (t >= second ? 1.0 : 0.0);
      EXPECT_CLOSE(run.quantities[i][0], count, 0.0, 0.0) << "t = " << t << " " << persistent;
    }
  }
}

// A delayed assignment of an amount in a compartment that grows as 1 + t:
// the value 2t is taken at the trigger (t = 0.5) or at the execution (t =
// 1.5), and the amount is set to it whatever the volume then; the amount
// decays as exp(-t) before and after. Taken as a concentration, the same
// value would give 2.5 times the amount.
TEST(EventsTimeCourse, ADelayedAmountIsSetAsItIsAtTheVolumeOfItsExecution) {
  for (const bool atTrigger : {true, false}) {
    Model model = Decay();
    Rule grows;
    grows.kind = RuleKind::kAssignment;
    grows.target = {RuleTargetKind::kCompartmentVolume, model.compartments[0].name, {}};
    grows.expression = "1+time";
    model.rules = {grows};
    Event set = MakeEvent("set", "geq(time, 0.5)", {}, {{"A", "2*time"}});
    set.delay = "1";
    set.useValuesFromTriggerTime = atTrigger;
    set.assignments[0].amount = true;
    model.events = {set};
    const Course run = TimeCourseOf(model, 3.0, 30);
    const double value = atTrigger ? 1.0 : 3.0;
    for (std::size_t i = 0; i < run.times.size(); ++i) {
      const double t = run.times[i];
      const double expected = t < 1.5 ? kA0 * std::exp(-t) : value * std::exp(-(t - 1.5));
      EXPECT_CLOSE(AmountOf(model, run, i, "A"), expected, kAbsolute, kRelative)
          << "t = " << t << " " << atTrigger;
    }
  }
}

// Two events at one moment, their values taken when they are carried out:
// q = 2q and q = q + 1 from q = 1 give 3 when the doubling goes first and
// 4 otherwise; the priorities decide. With the values of the moment they
// fired, both give 2.
TEST(EventsTimeCourse, SimultaneousEventsGoInTheOrderOfTheirPriorities) {
  for (const bool doubleFirst : {true, false}) {
    Model model = Decay();
    model.globalQuantities = {{"q", 1.0}};
    Event twice = MakeEvent("twice", "geq(time, 0.55)", {{"q", "2*q"}});
    Event plus = MakeEvent("plus", "geq(time, 0.55)", {{"q", "q + 1"}});
    twice.priority = doubleFirst ? "2" : "1";
    plus.priority = "1.5";
    twice.useValuesFromTriggerTime = plus.useValuesFromTriggerTime = false;
    model.events = {plus, twice};
    const Course run = TimeCourseOf(model, 1.0, 10);
    EXPECT_CLOSE(run.quantities.back()[0], doubleFirst ? 3.0 : 4.0, 0.0, 0.0);
    EXPECT_CLOSE(run.quantities[5][0], 1.0, 0.0, 0.0);
    twice.useValuesFromTriggerTime = plus.useValuesFromTriggerTime = true;
    model.events = {plus, twice};
    EXPECT_CLOSE(TimeCourseOf(model, 1.0, 10).quantities.back()[0], 2.0, 0.0, 0.0);
  }
}

// Equal priorities go in an order drawn from the run's generator: one seed
// gives one order, and both orders occur over seeds.
TEST(EventsTimeCourse, EqualPrioritiesAreOrderedByTheSeededGenerator) {
  Model model = Decay();
  model.globalQuantities = {{"q", 1.0}};
  model.events = {MakeEvent("twice", "geq(time, 0.55)", {{"q", "2*q"}}),
                  MakeEvent("plus", "geq(time, 0.55)", {{"q", "q + 1"}})};
  for (Event& event : model.events) event.useValuesFromTriggerTime = false;
  bool seen3 = false, seen4 = false;
  for (std::uint32_t seed = 1; seed <= 16; ++seed) {
    RandomGenerator first(seed), second(seed);
    const double a = TimeCourseOf(model, 1.0, 10, &first).quantities.back()[0];
    const double b = TimeCourseOf(model, 1.0, 10, &second).quantities.back()[0];
    EXPECT_CLOSE(a, b, 0.0, 0.0);
    seen3 = seen3 || a == 3.0;
    seen4 = seen4 || a == 4.0;
  }
  EXPECT_TRUE(seen3);
  EXPECT_TRUE(seen4);
}

// Two non-persistent events tied at every instant, each undoing the
// other's trigger: exactly one executes each time, and over a thousand ties
// the two are chosen alike, within four standard deviations of a fair coin,
// for every seed (a biased or correlated draw drifts like a random walk).
TEST(EventsTimeCourse, TiesAreDrawnLikeAFairCoinOverManyInstants) {
  Model model = Decay();  // A falls from 2 to 1 in ln 2
  model.globalQuantities = {{"q", 0.0}, {"r", 0.0}};
  model.events = {MakeEvent("toQ", "lt(A, 1)", {{"q", "q + 1"}}, {{"A", "2"}}),
                  MakeEvent("toR", "lt(A, 1)", {{"r", "r + 1"}}, {{"A", "2"}})};
  for (Event& event : model.events) event.persistent = false;
  const double ties = std::floor(700.0 / std::log(2.0));
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    RandomGenerator random(seed);
    const std::vector<double> last = TimeCourseOf(model, 700.0, 10, &random).quantities.back();
    EXPECT_CLOSE(last[0] + last[1], ties, 0.0, 0.0) << seed;
    EXPECT_LE(std::fabs(last[0] - last[1]), 4.0 * std::sqrt(ties)) << seed;
  }
}

// A trigger true at time 0 fires then only when its value before time 0
// is false.
TEST(EventsTimeCourse, InitialValueDecidesAFiringAtTimeZero) {
  for (const bool initialValue : {true, false}) {
    Model model = Decay();
    model.globalQuantities = {{"count", 0.0}};
    Event event = MakeEvent("start", "gt(A, 1)", {{"count", "count + 1"}});
    event.initialValue = initialValue;
    model.events = {event};
    const Course run = TimeCourseOf(model, 1.0, 10);
    EXPECT_CLOSE(run.quantities.back()[0], initialValue ? 0.0 : 1.0, 0.0, 0.0);
  }
}

// An execution due exactly at a point comes before the point's row, as a
// trigger that becomes true there does: both rows at t = 1 show the change
// (points every 0.25, which add up to 1 exactly).
TEST(EventsTimeCourse, AnExecutionAtAPointShowsInItsRow) {
  for (const bool delayed : {true, false}) {
    Model model = Decay();
    model.globalQuantities = {{"q", 0.0}};
    Event event = MakeEvent("set", delayed ? "geq(time, 0.5)" : "geq(time, 1)", {{"q", "1"}});
    if (delayed) event.delay = "0.5";
    model.events = {event};
    const Course run = TimeCourseOf(model, 2.0, 8);
    ASSERT_EQ(run.times[4], 1.0);
    EXPECT_CLOSE(run.quantities[3][0], 0.0, 0.0, 0.0) << delayed;
    EXPECT_CLOSE(run.quantities[4][0], 1.0, 0.0, 0.0) << delayed;
  }
}

// A delay below 0 cannot be carried out: the time course ends with the
// reason in the error log instead of going on with a wrong history.
TEST(EventsTimeCourse, ANegativeDelayEndsTheTimeCourseWithItsReason) {
  Model model = Decay();
  Event event = MakeEvent("back", "lt(A, 1)", {}, {{"A", "2"}});
  event.delay = "0 - 1";
  model.events = {event};
  TaskSettings settings;
  settings.endTime = 2.0;
  settings.points = 10;
  test::EngineRig rig(std::move(model), settings);
  SetUpTimeCourse(*rig.engine);
  EXPECT_EQ(TimeCourse(*rig.engine, /*write=*/true).outcome, TimeCourseOutcome::kIntegrationFailed);
  EXPECT_NE(rig.state.errorLog.find("The delay of the event back is -1"), std::string::npos)
      << rig.state.errorLog;
  EXPECT_LT(rig.hooks.rowTimes.size(), 11u);
}

// Doses of 1.5 whenever A falls below 0.5 (every ln 4, A going from 2 to
// 1/2): the log keeps the count, the first kListedTimes times and the
// last; the hooks hear every execution; and only with event rows on does
// the data file get a row before (A = 1/2) and after (A = 2) each dose.
TEST(EventsTimeCourse, ExecutionsAreLoggedAndAddRowsOnlyOnRequest) {
  constexpr int kPoints = 20;
  constexpr double kEnd = 20.0;
  const double period = std::log(4.0);
  const auto doses = static_cast<long long>(std::floor(kEnd / period));
  ASSERT_GT(doses, static_cast<long long>(EventExecutionLog::kListedTimes));
  for (const int eventRows : {0, 1}) {
    Model model = Decay();
    model.events = {MakeEvent("dose", "lt(A, 0.5)", {}, {{"A", "A + 1.5"}})};
    TaskSettings settings;
    settings.endTime = kEnd;
    settings.points = kPoints;
    settings.solver.relativeTolerance = 1e-9;
    settings.solver.absoluteTolerance = 1e-12;
    settings.eventRows = eventRows;
    test::EngineRig rig(std::move(model), settings);
    SetUpTimeCourse(*rig.engine);
    const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/true);
    ASSERT_EQ(result.outcome, TimeCourseOutcome::kCompleted);

    ASSERT_EQ(result.eventExecutions.events.size(), 1u);
    const EventExecutionLog::Times& times = result.eventExecutions.events[0];
    EXPECT_EQ(times.count, doses);
    ASSERT_EQ(times.listed.size(), EventExecutionLog::kListedTimes);
    for (std::size_t k = 0; k < times.listed.size(); ++k) {
      EXPECT_CLOSE(times.listed[k], period * static_cast<double>(k + 1), kAbsolute, kRelative);
    }
    EXPECT_CLOSE(times.first, period, kAbsolute, kRelative);
    EXPECT_CLOSE(times.last, period * static_cast<double>(doses), kAbsolute, kRelative);
    ASSERT_EQ(rig.hooks.executions.size(), static_cast<std::size_t>(doses));
    EXPECT_EQ(rig.hooks.executions.back().second, times.last);

    const std::size_t rows = rig.hooks.rowTimes.size();
    const int position = rig.PositionOf("A");
    if (eventRows == 0) {
      EXPECT_EQ(rows, static_cast<std::size_t>(kPoints) + 1);
      continue;
    }
    ASSERT_EQ(rows, static_cast<std::size_t>(kPoints) + 1 + 2 * static_cast<std::size_t>(doses));
    std::size_t dose = 0;
    for (std::size_t row = 0; row + 1 < rows; ++row) {
      const double t = rig.hooks.rowTimes[row];
      if (t != rig.hooks.rowTimes[row + 1]) continue;
      ++dose;
      EXPECT_CLOSE(t, period * static_cast<double>(dose), kAbsolute, kRelative);
      EXPECT_CLOSE(rig.hooks.rowAmounts[row][position], 0.5, kAbsolute, kRelative);
      EXPECT_CLOSE(rig.hooks.rowAmounts[row + 1][position], 2.0, kAbsolute, kRelative);
      ++row;
    }
    EXPECT_EQ(dose, static_cast<std::size_t>(doses));
  }
}

}  // namespace
}  // namespace vireon
