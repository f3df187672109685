// Models with fast steps against their closed forms: a fast binding
// equilibrium fed by a slow input holds its balance at every moment while
// the totals follow the slow step, two fast steps that run one reaction back
// and forth balance each other's rates, a long run of flux through a fast
// step follows its closed form, and a fast step whose rate cannot
// reach 0 is refused by name before the run.

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/time_course.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

// The integration's tolerance, and the balance's, which holds to the
// Newton tolerance at every output point.
constexpr double kAbsolute = 1e-7, kRelative = 1e-6;
constexpr double kBalance = 1e-9;
constexpr double kInput = 0.5;  // the slow input's constant rate

struct Course {
  std::vector<double> times;
  std::vector<std::vector<double>> amounts;
};

Course TimeCourseOf(Model model, double endTime, int points) {
  TaskSettings settings;
  settings.endTime = endTime;
  settings.points = points;
  settings.solver.relativeTolerance = 1e-10;
  settings.solver.absoluteTolerance = 1e-14;
  test::EngineRig rig(std::move(model), settings);
  SetUpTimeCourse(*rig.engine);
  EXPECT_EQ(TimeCourse(*rig.engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted);
  EXPECT_TRUE(rig.hooks.errors.empty());
  EXPECT_EQ(rig.hooks.rowTimes.size(), static_cast<std::size_t>(points) + 1);
  return {rig.hooks.rowTimes, rig.hooks.rowAmounts};
}

double AmountOf(const Model& model, const Course& run, std::size_t row, const char* name) {
  return run.amounts[row][static_cast<std::size_t>(
      model.metabolitePosition[static_cast<std::size_t>(model.FindMetabolite(name))] + 1)];
}

void MakeFast(Model& model, const char* step) {
  model.steps[static_cast<std::size_t>(model.FindStep(step))].fast = true;
}

// X -> A at the constant rate kInput (X fixed at 1), A + B = C fast with
// mass action kf, kr, from A = 1, B = 2, C = 0, which is not at
// equilibrium. The totals a = A + C = 1 + kInput t and b = B + C = 2 move by
// the slow step alone, and kf (a - C)(b - C) = kr C at every moment, time 0
// included: C is the root of kf C^2 - (kf (a + b) + kr) C + kf a b = 0
// below min(a, b).
TEST(FastSteps, ABindingEquilibriumFedByASlowInputFollowsItsClosedForm) {
  constexpr double kf = 3.0, kr = 0.7;
  Model model = test::BuildModel({{"In", "X -> A"}, {"Bind", "A + B = C"}}, {"X"});
  test::UseKinetics(model, "In", "Mass action (irreversible)", {kInput});
  test::UseKinetics(model, "Bind", "Mass action (reversible)", {kf, kr});
  test::SetInitial(model, "X", 1.0);
  test::SetInitial(model, "A", 1.0);
  test::SetInitial(model, "B", 2.0);
  test::SetInitial(model, "C", 0.0);
  MakeFast(model, "Bind");
  StructuralAnalysis(model);
  const Course run = TimeCourseOf(model, 4.0, 40);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    const double a = 1.0 + kInput * t, b = 2.0;
    const double s = kf * (a + b) + kr;
    const double c = (s - std::sqrt(s * s - 4.0 * kf * kf * a * b)) / (2.0 * kf);
    const double gotA = AmountOf(model, run, i, "A");
    const double gotB = AmountOf(model, run, i, "B");
    const double gotC = AmountOf(model, run, i, "C");
    EXPECT_CLOSE(gotC, c, kAbsolute, kRelative) << "at t = " << t;
    EXPECT_CLOSE(gotA, a - c, kAbsolute, kRelative) << "at t = " << t;
    EXPECT_CLOSE(gotB, b - c, kAbsolute, kRelative) << "at t = " << t;
    EXPECT_CLOSE(kf * gotA * gotB, kr * gotC, kBalance, kBalance) << "at t = " << t;
  }
}

// X -> A at kInput, A -> B and B -> A both fast with constants k1 and k2:
// the balance is k1 A = k2 B (the net rate of the pair), not each rate 0,
// so A = k2/(k1 + k2) of the total 1 + kInput t.
TEST(FastSteps, TwoFastStepsThatRunOneReactionBothWaysBalanceTheirRates) {
  constexpr double k1 = 2.0, k2 = 0.5;
  Model model =
      test::BuildModel({{"In", "X -> A"}, {"Forth", "A -> B"}, {"Back", "B -> A"}}, {"X"});
  test::UseKinetics(model, "In", "Mass action (irreversible)", {kInput});
  test::UseKinetics(model, "Forth", "Mass action (irreversible)", {k1});
  test::UseKinetics(model, "Back", "Mass action (irreversible)", {k2});
  test::SetInitial(model, "X", 1.0);
  test::SetInitial(model, "A", 1.0);
  test::SetInitial(model, "B", 0.0);
  MakeFast(model, "Forth");
  MakeFast(model, "Back");
  StructuralAnalysis(model);
  const Course run = TimeCourseOf(model, 2.0, 20);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double total = 1.0 + kInput * run.times[i];
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), k2 / (k1 + k2) * total, kAbsolute, kRelative);
    EXPECT_CLOSE(AmountOf(model, run, i, "B"), k1 / (k1 + k2) * total, kAbsolute, kRelative);
  }
}

// X -> A at kInput, A = B fast (kf, kr), B -> Y at d (X, Y fixed): all the
// flux passes through the fast step. With beta = kf/(kf + kr), B = beta T
// of the total T = A + B, and T' = kInput - d beta T: the run passes many
// times the amounts through the fast step.
TEST(FastSteps, AFluxThroughAFastStepFollowsItsClosedFormOverALongRun) {
  constexpr double kf = 4.0, kr = 1.0, d = 0.01;
  constexpr double beta = kf / (kf + kr);
  Model model =
      test::BuildModel({{"In", "X -> A"}, {"Shift", "A = B"}, {"Out", "B -> Y"}}, {"X", "Y"});
  test::UseKinetics(model, "In", "Mass action (irreversible)", {kInput});
  test::UseKinetics(model, "Shift", "Mass action (reversible)", {kf, kr});
  test::UseKinetics(model, "Out", "Mass action (irreversible)", {d});
  test::SetInitial(model, "X", 1.0);
  test::SetInitial(model, "Y", 0.0);
  test::SetInitial(model, "A", 1.0);
  test::SetInitial(model, "B", 0.0);
  MakeFast(model, "Shift");
  StructuralAnalysis(model);
  const Course run = TimeCourseOf(model, 2000.0, 50);
  const double steady = kInput / (d * beta);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double total = steady + (1.0 - steady) * std::exp(-d * beta * run.times[i]);
    EXPECT_CLOSE(AmountOf(model, run, i, "B"), beta * total, kAbsolute, kRelative)
        << "at t = " << run.times[i];
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), (1.0 - beta) * total, kAbsolute, kRelative)
        << "at t = " << run.times[i];
  }
}

// A fast X -> A with X fixed runs at k X whatever A is: no amount balances
// it, and the engine says so with the step's name, in bounded time.
TEST(FastSteps, AFastStepWhoseRateCannotReachZeroIsRefusedByName) {
  Model model = test::BuildModel({{"Feed", "X -> A"}, {"Out", "A -> Y"}}, {"X", "Y"});
  test::UseKinetics(model, "Feed", "Mass action (irreversible)", {1.0});
  test::UseKinetics(model, "Out", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "X", 1.0);
  test::SetInitial(model, "A", 1.0);
  test::SetInitial(model, "Y", 0.0);
  MakeFast(model, "Feed");
  StructuralAnalysis(model);
  try {
    test::EngineRig rig(model);
    FAIL() << "the engine took a fast step that cannot balance";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("The fast step Feed cannot be brought to equilibrium"),
              std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace vireon
