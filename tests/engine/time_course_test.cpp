#include "engine/time_course.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
  settings.dynTitles = 1;
  EngineRig rig(Decay(0.7, 2.0), settings);
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, /*write=*/true);
  EXPECT_EQ(rig.hooks.titles, 1);
  ASSERT_EQ(rig.hooks.rowTimes.size(), 11u);  // time 0 and ten points
  for (std::size_t i = 0; i < rig.hooks.rowTimes.size(); ++i) {
    const double t = rig.hooks.rowTimes[i];
    EXPECT_CLOSE(t, 0.5 * i, 1e-12, 1e-12);
    EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts[i], "A"), 2.0 * std::exp(-0.7 * t), 1e-9,
                 1e-5);
  }
  EXPECT_TRUE(rig.hooks.errors.empty());
  EXPECT_TRUE(rig.state.errorLog.empty());
  EXPECT_GT(rig.state.stepCount, 0.0);
  EXPECT_GT(rig.state.fEvaluations, rig.state.stepCount);
  // Concentrations and fluxes are those of the last point.
  const Metabolite& a = rig.model.metabolites[rig.model.FindMetabolite("A")];
  EXPECT_CLOSE(a.concentration, 2.0 * std::exp(-3.5), 1e-9, 1e-5);
  EXPECT_CLOSE(rig.model.steps[0].flux, 0.7 * a.concentration, 1e-12, 1e-12);
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
  EXPECT_THROW(TimeCourse(*rig.engine, true), RunStopped);
  // The start row and one row per interval up to the stop.
  EXPECT_EQ(rig.hooks.rowTimes.size(), 8u);
  EXPECT_CLOSE(rig.hooks.rowTimes.back(), 7.0, 1e-12, 1e-12);
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
  settings.relativeTolerance = 0.0;
  settings.absoluteTolerance = 0.0;
  EngineRig rig(Decay(1.0, 1.0), settings);
  SetUpTimeCourse(*rig.engine);
  TimeCourse(*rig.engine, true);
  ASSERT_FALSE(rig.hooks.errors.empty());
  EXPECT_FALSE(rig.state.errorLog.empty());
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
