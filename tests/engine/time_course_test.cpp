#include "engine/time_course.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/integrator_error_text.h"
#include "engine/run_observer.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

using test::EngineRig;

// A -> B with rate k[A] and B fixed: [A](t) = A0 exp(-k t).
Model Decay(double k, double a0) {
  Model model = test::BuildModel({{"R", "A -> B"}}, {"B"});
  test::UseKinetics(model, "R", "Mass action (irreversible)", {k});
  test::SetInitial(model, "A", a0);
  StructuralAnalysis(model);
  return model;
}

TEST(TimeCourseTest, FollowsExponentialDecayAtEveryPoint) {
  TaskSettings settings;
  settings.endTime = 5.0;
  settings.points = 10;
  settings.dynamicsData.titles = 1;
  EngineRig rig(Decay(0.7, 2.0), settings);
  SetUpTimeCourse(*rig.engine);
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/true);
  EXPECT_EQ(result.outcome, TimeCourseOutcome::kCompleted);
  EXPECT_EQ(rig.hooks.titles, 1);
  ASSERT_EQ(rig.hooks.rowTimes.size(), 11u);  // time 0 and ten points
  for (std::size_t i = 0; i < rig.hooks.rowTimes.size(); ++i) {
    const double t = rig.hooks.rowTimes[i];
    EXPECT_CLOSE(t, 0.5 * i, 1e-12, 1e-12);
    EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts[i], "A"), 2.0 * std::exp(-0.7 * t), 1e-9, 1e-5);
  }
  EXPECT_TRUE(rig.hooks.errors.empty());
  EXPECT_TRUE(rig.state.errorLog.empty());
  EXPECT_GT(result.summary.steps, 0);
  EXPECT_GT(result.summary.fEvaluations, result.summary.steps);
  // The output items read the same counters.
  EXPECT_EQ(static_cast<long long>(rig.state.stepCount), result.summary.steps);
  EXPECT_EQ(static_cast<long long>(rig.state.fEvaluations), result.summary.fEvaluations);
  EXPECT_EQ(static_cast<long long>(rig.state.jEvaluations), result.summary.jEvaluations);
  // Concentrations and fluxes are those of the last point.
  const Metabolite& a = rig.model.metabolites[rig.model.FindMetabolite("A")];
  EXPECT_CLOSE(a.concentration, 2.0 * std::exp(-3.5), 1e-9, 1e-5);
  EXPECT_CLOSE(rig.model.steps[0].flux, 0.7 * a.concentration, 1e-12, 1e-12);
}

// Nothing can change when every metabolite is fixed: the rows are the
// initial state at every output time, with the fluxes it gives, and the
// integrator (which refuses a system of no equations) is never asked.
TEST(TimeCourseTest, AModelWithEveryMetaboliteFixedWritesConstantRows) {
  Model model = test::BuildModel({{"R", "A -> B"}}, {"A", "B"});
  test::UseKinetics(model, "R", "Mass action (irreversible)", {0.5});
  test::SetInitial(model, "A", 3.0);
  StructuralAnalysis(model);
  ASSERT_EQ(model.nVariable, 0);
  for (int points : {4, 1}) {
    SCOPED_TRACE(points);
    TaskSettings settings;
    settings.endTime = 2.0;
    settings.points = points;
    EngineRig rig(model, settings);
    rig.hooks.stopAtCheck = 0;
    SetUpTimeCourse(*rig.engine);
    TimeCourse(*rig.engine, /*write=*/true);
    ASSERT_EQ(rig.hooks.rowTimes.size(), static_cast<std::size_t>(points + 1));
    for (std::size_t i = 0; i < rig.hooks.rowTimes.size(); ++i) {
      EXPECT_CLOSE(rig.hooks.rowTimes[i], 2.0 * i / points, 1e-15, 1e-15);
      EXPECT_EQ(rig.AmountOf(rig.hooks.rowAmounts[i], "A"), 3.0);
    }
    EXPECT_TRUE(rig.hooks.errors.empty());
    EXPECT_TRUE(rig.state.errorLog.empty());
    EXPECT_CLOSE(rig.model.steps[0].flux, 1.5, 1e-15, 1e-15);
    EXPECT_EQ(rig.model.metabolites[rig.model.FindMetabolite("A")].concentration, 3.0);
  }
}

// The steady state adds up the counts of its integration passes: one that
// fails before its first point counts nothing, whatever the integrator
// counted before.
TEST(TimeCourseTest, ATimeCourseThatFailsBeforeItsFirstPointCountsNothing) {
  TaskSettings settings;
  settings.endTime = 5.0;
  settings.points = 5;
  EngineRig rig(Decay(0.7, 2.0), settings);
  SetUpTimeCourse(*rig.engine);
  ASSERT_GT(TimeCourse(*rig.engine, /*write=*/false).summary.steps, 0);
  SetUpTimeCourse(*rig.engine);
  rig.state.rtol[1] = -1.0;
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/false);
  EXPECT_EQ(result.outcome, TimeCourseOutcome::kIntegrationFailed);
  EXPECT_EQ(result.summary.steps, 0);
  EXPECT_EQ(result.summary.fEvaluations, 0);
  EXPECT_EQ(result.summary.jEvaluations, 0);
}

TEST(TimeCourseTest, NegativeEndTimeIntegratesBackwards) {
  TaskSettings settings;
  settings.endTime = -2.0;
  settings.points = 4;
  EngineRig rig(Decay(1.0, 1.0), settings);
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, true);
  ASSERT_EQ(rig.hooks.rowTimes.size(), 5u);
  EXPECT_CLOSE(rig.hooks.rowTimes.back(), -2.0, 1e-12, 1e-12);
  EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts.back(), "A"), std::exp(2.0), 1e-9, 1e-5);
}

TEST(TimeCourseTest, ZeroPointsRunsUntilStopped) {
  TaskSettings settings;
  settings.endTime = 1.0;
  settings.points = 0;
  EngineRig rig(Decay(1.0, 1.0), settings);
  rig.hooks.stopAtCheck = 7;
  SetUpTimeCourse(*rig.engine);
  EXPECT_EQ(rig.state.interval, 1.0);
  EXPECT_EQ(TimeCourse(*rig.engine, true).outcome, TimeCourseOutcome::kStopped);
  // The start row and one row per interval up to the stop.
  EXPECT_EQ(rig.hooks.rowTimes.size(), 8u);
  EXPECT_CLOSE(rig.hooks.rowTimes.back(), 7.0, 1e-12, 1e-12);
}

TEST(TimeCourseTest, RealTimePacingWaitsForTheWallClock) {
  struct Case {
    double endTime;
    int points;
    std::size_t pauses;
  };
  // Forwards: one pause per point, model time ahead of the clock. Backwards:
  // model time is never ahead, so there is no pause at all.
  for (const Case& c : {Case{2.0, 2, 2}, Case{-2.0, 2, 0}}) {
    SCOPED_TRACE(c.endTime);
    TaskSettings settings;
    settings.endTime = c.endTime;
    settings.points = c.points;
    settings.realTime = 1;
    EngineRig rig(Decay(1.0, 1.0), settings);
    rig.engine->interactive = true;
    rig.state.startTick = rig.hooks.NowMilliseconds();
    SetUpTimeCourse(*rig.engine);
    TimeCourse(*rig.engine, true);
    ASSERT_EQ(rig.hooks.sleeps.size(), c.pauses);
    for (std::size_t i = 0; i < c.pauses; ++i) {
      // The point at t = i + 1 waits until i + 1 seconds after the start,
      // less the little time the integration itself took.
      const int whole = 1000 * static_cast<int>(i + 1);
      EXPECT_LE(rig.hooks.sleeps[i], whole);
      EXPECT_GT(rig.hooks.sleeps[i], whole - 500);
    }
  }
}

// A clock that moves only when the run sleeps or is paused, and a pause of
// pauseMilliseconds at the n-th pause/stop check.
class PausedClockHooks : public EngineHooks {
 public:
  double NowMilliseconds() override { return clock; }
  void SleepMilliseconds(int milliseconds) override {
    sleeps.push_back(milliseconds);
    clock += milliseconds;
  }
  PointAction CheckPauseStop() override {
    if (++checks != pauseAtCheck) return PointAction::kContinue;
    clock += pauseMilliseconds;
    return PointAction::kRestart;
  }

  double clock = 1e6;
  int pauseAtCheck = 0;
  int checks = 0;
  double pauseMilliseconds = 0.0;
  std::vector<int> sleeps;
};

TEST(TimeCourseTest, RealTimePacingGoesOnFromTheMomentAPauseEnds) {
  // Ten points of 0.1 s; a pause of a minute at the fourth point (the
  // seventh check: two per point).
  TaskSettings settings;
  settings.endTime = 1.0;
  settings.points = 10;
  settings.realTime = 1;
  Model model = Decay(1.0, 1.0);
  EngineState state;
  state.Allocate(model);
  PausedClockHooks hooks;
  hooks.pauseAtCheck = 7;
  hooks.pauseMilliseconds = 60000.0;
  state.startTick = hooks.clock;
  Engine engine(model, state, settings, hooks);
  engine.interactive = true;
  SetUpTimeCourse(engine);
  TimeCourse(engine, true);
  EXPECT_TRUE(state.errorLog.empty()) << state.errorLog;
  // Every point, those after the pause too, waits its tenth of a second.
  ASSERT_EQ(hooks.sleeps.size(), 10u);
  for (std::size_t i = 0; i < hooks.sleeps.size(); ++i) {
    EXPECT_GE(hooks.sleeps[i], 99) << "point " << i + 1;
    EXPECT_LE(hooks.sleeps[i], 101) << "point " << i + 1;
  }
}

// Records the time of every point the window is told of.
class ShownTimesHooks : public EngineHooks {
 public:
  void PointReady() override { times.push_back(state->time); }
  void SleepMilliseconds(int) override {}
  EngineState* state = nullptr;
  std::vector<double> times;
};

TEST(TimeCourseTest, AThinnedWindowIsToldOfTheLastPoint) {
  // 150 points to 30 s shown every third: the start, 0.6 s, ..., and 30 s.
  for (const bool constant : {false, true}) {
    SCOPED_TRACE(constant);
    TaskSettings settings;
    settings.endTime = 30.0;
    settings.points = 150;
    // With A fixed too nothing changes: the points follow without the integrator.
    Model model = constant ? test::BuildModel({{"R", "A -> B"}}, {"A", "B"}) : Decay(1.0, 1.0);
    if (constant) {
      test::UseKinetics(model, "R", "Mass action (irreversible)", {1.0});
      StructuralAnalysis(model);
    }
    EngineState state;
    state.Allocate(model);
    ShownTimesHooks hooks;
    hooks.state = &state;
    Engine engine(model, state, settings, hooks);
    engine.interactive = true;
    engine.refreshEvery = 3;
    SetUpTimeCourse(engine);
    TimeCourse(engine, true);
    ASSERT_EQ(hooks.times.size(), 51u);
    EXPECT_CLOSE(hooks.times.front(), 0.0, 1e-12, 1e-12);
    EXPECT_CLOSE(hooks.times[1], 0.6, 1e-12, 1e-12);
    EXPECT_CLOSE(hooks.times.back(), 30.0, 1e-12, 1e-12);
  }
}

TEST(TimeCourseTest, RealTimePacingFarAheadAsksForTheLongestPause) {
  // A point 1e8 s ahead of the clock is more milliseconds than an int holds.
  TaskSettings settings;
  settings.endTime = 1e8;
  settings.points = 1;
  settings.realTime = 1;
  EngineRig rig(Decay(1e-9, 1.0), settings);
  rig.engine->interactive = true;
  rig.state.startTick = rig.hooks.NowMilliseconds();
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, true);
  ASSERT_EQ(rig.hooks.rowTimes.size(), 2u);
  ASSERT_GT(rig.hooks.rowTimes[1], 1e7);
  ASSERT_EQ(rig.hooks.sleeps.size(), 1u);
  EXPECT_EQ(rig.hooks.sleeps[0], std::numeric_limits<int>::max());
}

// Pauses the run at the n-th pause/stop check; on resuming, the amount of
// the first metabolite is set to a new value, as the interactive page does
// with a concentration the user typed during the pause.
class PausingHooks : public EngineHooks {
 public:
  void WriteDynamicsRow() override {
    rowTimes.push_back(state->time);
    rowAmounts.push_back(state->amounts[1]);
  }
  PointAction CheckPauseStop() override {
    if (++checks != pauseAtCheck) return PointAction::kContinue;
    state->amounts[1] = amountAfterPause;
    return PointAction::kRestart;
  }
  void SleepMilliseconds(int) override {}

  EngineState* state = nullptr;
  int pauseAtCheck = 0;
  int checks = 0;
  double amountAfterPause = 0.0;
  std::vector<double> rowTimes, rowAmounts;
};

TEST(TimeCourseTest, RestartAfterAPauseContinuesFromTheChangedAmounts) {
  // Interactive mode checks twice per point, so the third check is the
  // first one at the point t = 2 in either mode.
  for (const bool interactive : {false, true}) {
    SCOPED_TRACE(interactive);
    TaskSettings settings;
    settings.endTime = 4.0;
    settings.points = 4;
    Model model = Decay(1.0, 1.0);
    EngineState state;
    state.Allocate(model);
    PausingHooks hooks;
    hooks.state = &state;
    hooks.pauseAtCheck = interactive ? 3 : 2;
    hooks.amountAfterPause = 5.0;
    Engine engine(model, state, settings, hooks);
    engine.interactive = interactive;
    SetUpTimeCourse(engine);
    TimeCourse(engine, true);
    EXPECT_TRUE(state.errorLog.empty()) << state.errorLog;
    ASSERT_EQ(hooks.rowTimes.size(), 5u);
    // Before the pause A = exp(-t); after it A = 5 exp(-(t - 2)).
    const double expected[] = {1.0, std::exp(-1.0), std::exp(-2.0), 5.0 * std::exp(-1.0),
                               5.0 * std::exp(-2.0)};
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_CLOSE(hooks.rowTimes[i], static_cast<double>(i), 1e-12, 1e-12);
      EXPECT_CLOSE(hooks.rowAmounts[i], expected[i], 1e-9, 1e-5) << "row " << i;
    }
  }
}

double NotANumberRate(const Model&, const double*, int) {
  return std::numeric_limits<double>::quiet_NaN();
}

TEST(TimeCourseTest, RateThatIsNotANumberEndsWithAnErrorText) {
  Model model = Decay(1.0, 1.0);
  KineticType broken("broken", 1, 1, 0, 0, NotANumberRate, 0);
  model.steps[0].kineticType = &broken;
  EngineRig rig(std::move(model));
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, true);
  ASSERT_EQ(rig.hooks.errors.size(), 1u);
  EXPECT_NE(rig.state.errorLog.find("Integration routine (LSODA) returned error"),
            std::string::npos);
  EXPECT_NE(rig.state.errorLog.find("\r\n  aborting this iteration.\r\n"), std::string::npos);
}

TEST(TimeCourseTest, ZeroTolerancesAreRefusedByTheIntegrator) {
  TaskSettings settings;
  settings.solver.relativeTolerance = 0.0;
  settings.solver.absoluteTolerance = 0.0;
  EngineRig rig(Decay(1.0, 1.0), settings);
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, true);
  ASSERT_FALSE(rig.hooks.errors.empty());
  // The code's line is followed by what it means and what to change.
  IntegratorErrorContext context;
  context.istate = -3;
  context.time = rig.state.time;
  EXPECT_EQ(rig.state.errorLog,
            "Integration routine (LSODA) returned error -3.\r\n  aborting this iteration.\r\n" +
                IntegratorErrorLogLine(context));
  EXPECT_NE(rig.state.errorLog.find("refused its settings (relative 0, absolute 0): a tolerance "
                                    "that is negative, both 0"),
            std::string::npos);
}

TEST(TimeCourseTest, AnEndTimeOfZeroEndsWithAnErrorInsteadOfLooping) {
  // Every call then asks for tout = t; the integrator refuses the fifth
  // such call, with or without a point limit.
  for (const int points : {50, 0}) {
    SCOPED_TRACE(points);
    TaskSettings settings;
    settings.endTime = 0.0;
    settings.points = points;
    EngineRig rig(Decay(1.0, 1.0), settings);
    SetUpTimeCourse(*rig.engine);
    TimeCourse(*rig.engine, true);
    ASSERT_EQ(rig.hooks.errors.size(), 1u);
    EXPECT_EQ(rig.hooks.errors[0].first, IntegratorFault::kErrorReturn);
    EXPECT_EQ(rig.hooks.errors[0].second, -3);
    EXPECT_EQ(rig.hooks.rowTimes.size(), 1u);  // only the row of time 0
  }
}

TEST(TimeCourseTest, AZeroVolumeEndsWithAnErrorText) {
  // Amounts and volumes of 0 give rates that are not numbers.
  Model model = Decay(1.0, 1.0);
  model.compartments[0].volume = 0.0;
  EngineRig rig(std::move(model));
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, true);
  ASSERT_EQ(rig.hooks.errors.size(), 1u);
  EXPECT_NE(rig.state.errorLog.find("Integration routine (LSODA) returned error"),
            std::string::npos);
}

TEST(TimeCourseTest, ExcessWorkInsertsAPointAndShiftsTheLaterOnes) {
  // The Brusselator oscillates on its limit cycle: thousands of time units
  // in one interval need more than the default 500 steps.
  TaskSettings settings;
  settings.endTime = 20000.0;
  settings.points = 2;
  EngineRig rig(test::Brusselator(1.0, 3.0), settings);
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, true);
  EXPECT_TRUE(rig.hooks.errors.empty()) << rig.state.errorLog;
  ASSERT_EQ(rig.hooks.rowTimes.size(), 3u);
  const double reached = rig.hooks.rowTimes[1];
  EXPECT_GT(reached, 0.0);
  EXPECT_LT(reached, 10000.0);
  // Every excess-work return makes the time reached a point of its own.
  EXPECT_GT(rig.hooks.rowTimes[2], reached);
  EXPECT_LE(rig.hooks.rowTimes[2], reached + 10000.0);
  EXPECT_EQ(rig.state.maxSteps, 2000);
}

}  // namespace
}  // namespace vireon
