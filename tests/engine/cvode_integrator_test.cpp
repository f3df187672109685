#include "engine/cvode_integrator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "engine/integrator_error_text.h"
#include "engine/time_course.h"
#include "kinetics/arithmetic_fault.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

using test::EngineRig;

// Tolerances of the comparisons: a few times the integration's own.
constexpr double kRtol = 1e-8;
constexpr double kAtol = 1e-12;
constexpr double kCompareRel = 2e-6;
constexpr double kCompareAbs = 1e-9;

TaskSettings CvodeSettings(double endTime, int points) {
  TaskSettings settings;
  settings.endTime = endTime;
  settings.points = points;
  settings.solver.relativeTolerance = kRtol;
  settings.solver.absoluteTolerance = kAtol;
  settings.solver.integrator = Integrator::kCvode;
  return settings;
}

// A -> B -> C, first order (k1, k2), C fixed: [A] = A0 exp(-k1 t) and
// [B] = A0 k1 / (k2 - k1) (exp(-k1 t) - exp(-k2 t)).
Model FirstOrderChain(double k1, double k2, double a0) {
  Model model = test::BuildModel({{"R1", "A -> B"}, {"R2", "B -> C"}}, {"C"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {k1});
  test::UseKinetics(model, "R2", "Mass action (irreversible)", {k2});
  test::SetInitial(model, "A", a0);
  test::SetInitial(model, "B", 0.0);
  StructuralAnalysis(model);
  return model;
}

// X1 -> X2 -> … -> Xn -> P with P fixed, every step first order with the
// constant k: long enough for the sparse Newton matrix.
Model LongChain(int n, double k) {
  std::vector<std::pair<std::string, std::string>> steps;
  for (int i = 1; i <= n; ++i) {
    const std::string to = i == n ? "P" : "X" + std::to_string(i + 1);
    steps.push_back({"R" + std::to_string(i), "X" + std::to_string(i) + " -> " + to});
  }
  Model model = test::BuildModel(steps, {"P"});
  for (int i = 1; i <= n; ++i) {
    test::UseKinetics(model, "R" + std::to_string(i), "Mass action (irreversible)",
                      {k * (1.0 + 0.01 * i)});
  }
  test::SetInitial(model, "X1", 1.0);
  StructuralAnalysis(model);
  return model;
}

TEST(CvodeIntegratorTest, FollowsTheClosedFormOfAFirstOrderChain) {
  const double k1 = 1.3, k2 = 0.4, a0 = 2.0;
  EngineRig rig(FirstOrderChain(k1, k2, a0), CvodeSettings(10.0, 20));
  ASSERT_TRUE(rig.engine->usesCvode());
  SetUpTimeCourse(*rig.engine);
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/true);
  ASSERT_EQ(result.outcome, TimeCourseOutcome::kCompleted) << rig.state.errorLog;
  ASSERT_EQ(rig.hooks.rowTimes.size(), 21u);
  for (std::size_t i = 0; i < rig.hooks.rowTimes.size(); ++i) {
    const double t = rig.hooks.rowTimes[i];
    EXPECT_CLOSE(t, 0.5 * i, 1e-12, 1e-12);
    const double a = a0 * std::exp(-k1 * t);
    const double b = a0 * k1 / (k2 - k1) * (std::exp(-k1 * t) - std::exp(-k2 * t));
    EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts[i], "A"), a, kCompareAbs, kCompareRel);
    EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts[i], "B"), b, kCompareAbs, kCompareRel);
  }
  EXPECT_TRUE(rig.state.errorLog.empty());
  EXPECT_GT(result.summary.steps, 0);
  EXPECT_GT(result.summary.fEvaluations, result.summary.steps);
  EXPECT_GT(result.summary.jEvaluations, 0);
  EXPECT_EQ(static_cast<long long>(rig.state.stepCount), result.summary.steps);
  EXPECT_EQ(static_cast<long long>(rig.state.fEvaluations), result.summary.fEvaluations);
  EXPECT_FALSE(rig.engine->cvode->sparse());
}

// The same Michaelis-Menten pathway by both integrators, each to its
// tolerance: the rows agree to a few times the tolerance.
TEST(CvodeIntegratorTest, AgreesWithLsodaOnAMichaelisMentenPathway) {
  TaskSettings lsodaSettings = CvodeSettings(20.0, 40);
  lsodaSettings.solver.integrator = Integrator::kLsoda;
  EngineRig lsoda(test::LinearMichaelisMenten(), lsodaSettings);
  EngineRig cvode(test::LinearMichaelisMenten(), CvodeSettings(20.0, 40));
  ASSERT_FALSE(lsoda.engine->usesCvode());
  for (EngineRig* rig : {&lsoda, &cvode}) {
    SetUpTimeCourse(*rig->engine);
    ASSERT_EQ(TimeCourse(*rig->engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted);
  }
  ASSERT_EQ(lsoda.hooks.rowTimes.size(), cvode.hooks.rowTimes.size());
  for (std::size_t i = 0; i < lsoda.hooks.rowTimes.size(); ++i) {
    for (const char* name : {"A", "B"}) {
      EXPECT_CLOSE(cvode.AmountOf(cvode.hooks.rowAmounts[i], name),
                   lsoda.AmountOf(lsoda.hooks.rowAmounts[i], name), 1e-8, 1e-5)
          << name << " at " << lsoda.hooks.rowTimes[i];
    }
  }
  // The fluxes of the last point are those of its amounts.
  const double a = cvode.AmountOf(cvode.hooks.rowAmounts.back(), "A");
  EXPECT_CLOSE(cvode.model.steps[1].flux, 3.0 * a / (1.0 + a), 1e-12, 1e-10);
}

// A chain of 150 metabolites takes the sparse Newton matrix; the first
// metabolite's closed form holds and the amount is conserved.
TEST(CvodeIntegratorTest, ALongChainIsSolvedWithTheSparseMatrix) {
  const int n = 150;
  const double k = 2.0;
  Model model = LongChain(n, k);
  EngineRig rig(model, CvodeSettings(5.0, 10));
  SetUpTimeCourse(*rig.engine);
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/true);
  ASSERT_EQ(result.outcome, TimeCourseOutcome::kCompleted) << rig.state.errorLog;
  ASSERT_GE(n, kSparseSystemSize);
  EXPECT_TRUE(rig.engine->cvode->sparse());
  // Far fewer right-hand sides than a column at a time would take.
  EXPECT_LT(result.summary.fEvaluations,
            result.summary.steps * 3 + result.summary.jEvaluations * (n / 10));
  const double k1 = k * 1.01;
  for (std::size_t i = 0; i < rig.hooks.rowTimes.size(); ++i) {
    const double t = rig.hooks.rowTimes[i];
    EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts[i], "X1"), std::exp(-k1 * t), kCompareAbs,
                 kCompareRel);
  }
  // Against LSODA at the end, every metabolite.
  TaskSettings lsodaSettings = CvodeSettings(5.0, 10);
  lsodaSettings.solver.integrator = Integrator::kLsoda;
  EngineRig lsoda(model, lsodaSettings);
  SetUpTimeCourse(*lsoda.engine);
  ASSERT_EQ(TimeCourse(*lsoda.engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted);
  for (int i = 1; i <= n; ++i) {
    const std::string name = "X" + std::to_string(i);
    EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts.back(), name),
                 lsoda.AmountOf(lsoda.hooks.rowAmounts.back(), name), 1e-9, 1e-4)
        << name;
  }
}

// Without the network's structure (sparsity off) the Jacobian is CVODE's
// own dense difference quotient; the solution is the same to tolerance.
TEST(CvodeIntegratorTest, TheStructureOnlySavesEvaluations) {
  EngineRig grouped(test::LinearMichaelisMenten(), CvodeSettings(20.0, 10));
  EngineRig dense(test::LinearMichaelisMenten(), CvodeSettings(20.0, 10));
  dense.engine->SetUseSparsity(false);
  for (EngineRig* rig : {&grouped, &dense}) {
    SetUpTimeCourse(*rig->engine);
    ASSERT_EQ(TimeCourse(*rig->engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted);
  }
  for (std::size_t i = 0; i < grouped.hooks.rowTimes.size(); ++i) {
    EXPECT_CLOSE(grouped.AmountOf(grouped.hooks.rowAmounts[i], "A"),
                 dense.AmountOf(dense.hooks.rowAmounts[i], "A"), 1e-9, 1e-6);
  }
}

// A rate rule adds a variable: X -> S -> P with q' = 1 - q [S], as LSODA
// integrates it.
TEST(CvodeIntegratorTest, FollowsRateRulesAsLsodaDoes) {
  TaskSettings lsodaSettings = CvodeSettings(8.0, 16);
  lsodaSettings.solver.integrator = Integrator::kLsoda;
  EngineRig lsoda(test::RateRuleFeedback(), lsodaSettings);
  EngineRig cvode(test::RateRuleFeedback(), CvodeSettings(8.0, 16));
  for (EngineRig* rig : {&lsoda, &cvode}) {
    SetUpTimeCourse(*rig->engine);
    ASSERT_EQ(TimeCourse(*rig->engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted)
        << rig->state.errorLog;
  }
  ASSERT_EQ(lsoda.hooks.rowQuantities.size(), cvode.hooks.rowQuantities.size());
  for (std::size_t i = 0; i < lsoda.hooks.rowTimes.size(); ++i) {
    EXPECT_CLOSE(cvode.AmountOf(cvode.hooks.rowAmounts[i], "S"),
                 lsoda.AmountOf(lsoda.hooks.rowAmounts[i], "S"), 1e-8, 1e-5);
    ASSERT_FALSE(cvode.hooks.rowQuantities[i].empty());
    EXPECT_CLOSE(cvode.hooks.rowQuantities[i][0], lsoda.hooks.rowQuantities[i][0], 1e-8, 1e-5);
  }
}

// CVODE checks the tolerances when it starts: the time course then fails
// to start, with CVODE's reason.
TEST(CvodeIntegratorTest, IllegalTolerancesFailTheStartWithCvodesReason) {
  EngineRig rig(FirstOrderChain(1.0, 2.0, 1.0), CvodeSettings(1.0, 2));
  SetUpTimeCourse(*rig.engine);
  rig.state.rtol[1] = -1.0;
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/false);
  EXPECT_EQ(result.outcome, TimeCourseOutcome::kInitializationFailed);
  // The reason is followed by what it means and what to change.
  IntegratorErrorContext context;
  context.istate = -3;
  context.relativeTolerance = -1.0;
  context.absoluteTolerance = rig.state.atol[1];
  context.starting = true;
  EXPECT_EQ(rig.state.errorLog, "Error initializing integration routine (CVODE): CV_ILL_INPUT.\r\n" +
                                    IntegratorErrorLogLine(context));
  EXPECT_NE(rig.state.errorLog.find("(relative -1, absolute "), std::string::npos);
  ASSERT_EQ(rig.hooks.errors.size(), 1u);
  EXPECT_EQ(rig.hooks.errors[0].second, -3);
  EXPECT_EQ(result.summary.steps, 0);
}

// An error return mid-way names CVODE and its reason, with LSODA's istate.
TEST(CvodeIntegratorTest, AnErrorReturnNamesCvodeAndItsReason) {
  EngineRig rig(test::Brusselator(), CvodeSettings(10.0, 2));
  SetUpTimeCourse(*rig.engine);
  rig.state.rtol[1] = 1e-300;
  rig.state.atol[1] = 1e-300;
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/false);
  EXPECT_EQ(result.outcome, TimeCourseOutcome::kIntegrationFailed);
  EXPECT_EQ(rig.state.errorLog.rfind("Integration routine (CVODE) returned error -2 (CV_TOO_MUCH_ACC)", 0),
            0u)
      << rig.state.errorLog;
}

// Too few steps per call: the time course raises the limit and carries on
// from where CVODE got to, as it does with LSODA.
TEST(CvodeIntegratorTest, AnExcessWorkReturnCarriesOn) {
  EngineRig rig(test::Brusselator(), CvodeSettings(30.0, 1));
  SetUpTimeCourse(*rig.engine);
  rig.state.maxSteps = 5;
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/true);
  EXPECT_EQ(result.outcome, TimeCourseOutcome::kCompleted) << rig.state.errorLog;
  EXPECT_TRUE(rig.state.errorLog.empty());
  ASSERT_GE(rig.hooks.rowTimes.size(), 2u);
  EXPECT_GT(rig.hooks.rowTimes[1], 0.0);
}

// A rate law that cannot be evaluated raises its fault inside CVODE; it
// leaves through the time course as it does with LSODA, and the engine
// integrates again afterwards.
double FaultingRate(const Model& model, const double* x, int step) {
  const int substrate = model.steps[static_cast<std::size_t>(step)].substrates[0];
  const double a = x[model.metabolitePosition[static_cast<std::size_t>(substrate)]];
  if (a < 0.5) throw ArithmeticFault(ArithmeticFaultKind::kDivideByZero);
  return a;
}

TEST(CvodeIntegratorTest, AFaultOfTheRateLawLeavesThroughTheTimeCourse) {
  Model model = FirstOrderChain(1.0, 2.0, 1.0);
  KineticType faulting("faulting", 1, 1, 0, 0, FaultingRate, 0);
  model.steps[0].kineticType = &faulting;
  EngineRig rig(std::move(model), CvodeSettings(5.0, 5));
  SetUpTimeCourse(*rig.engine);
  EXPECT_THROW(TimeCourse(*rig.engine, /*write=*/false), ArithmeticFault);
  rig.engine->FreeIntegrator();
  SetUpTimeCourse(*rig.engine);
  rig.state.interval = 0.1;
  const TimeCourseResult result = TimeCourse(*rig.engine, /*write=*/true);
  EXPECT_EQ(result.outcome, TimeCourseOutcome::kCompleted) << rig.state.errorLog;
  EXPECT_CLOSE(rig.AmountOf(rig.hooks.rowAmounts.back(), "A"), std::exp(-0.5), kCompareAbs,
               kCompareRel);
}

TEST(CvodeIntegratorTest, ModelsWithEventsOrDelaysAreRefused) {
  Model withDelay = test::RateRuleFeedback();
  ASSERT_FALSE(withDelay.rules.empty());
  EXPECT_TRUE(CvodeProblem(withDelay).empty());
  withDelay.rules.back().expression = "1 - q * delay(S, 0.5)";
  EXPECT_NE(CvodeProblem(withDelay).find("delay"), std::string::npos);

  Model withEvent = test::LinearTwoStep();
  withEvent.events.emplace_back();
  EXPECT_NE(CvodeProblem(withEvent).find("events"), std::string::npos);
  EngineState state;
  state.Allocate(withDelay);
  test::RecordingHooks hooks;
  const TaskSettings settings = CvodeSettings(1.0, 1);
  try {
    Engine engine(withDelay, state, settings, hooks);
    ADD_FAILURE() << "a model with delays was taken";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("CVODE cannot integrate"), std::string::npos);
  }
}

}  // namespace
}  // namespace vireon
