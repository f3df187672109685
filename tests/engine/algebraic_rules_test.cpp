// Models with algebraic rules against their closed forms: a constraint that
// fixes a sum follows the amounts it reads, a nonlinear one keeps its root,
// two constraints that read each other's targets are solved together, the
// initial values are made consistent at time 0, and the steady state sees
// the rates the constraints give. A constraint that cannot be solved at
// time 0 is refused by name before the run.

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/steady_state.h"
#include "engine/time_course.h"
#include "model/structural_analysis.h"
#include "rules/rule_system.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

constexpr double kA0 = 2.0;
// The integration's tolerance, and the constraints', which hold to rounding
// at every output point.
constexpr double kAbsolute = 1e-7, kRelative = 1e-5;
constexpr double kConstraint = 1e-12;

Rule MakeRule(RuleKind kind, RuleTargetKind target, std::string name, std::string expression,
              std::string constant = {}) {
  return Rule{kind, RuleTarget{target, std::move(name), std::move(constant)},
              std::move(expression)};
}

Rule Algebraic(std::string target, std::string expression) {
  return MakeRule(RuleKind::kAlgebraic, RuleTargetKind::kGlobalQuantity, std::move(target),
                  std::move(expression));
}

// A -> B with B fixed, mass action with k = 1 unless a rule sets it:
// A(t) = A0 exp(-t).
Model Decay() {
  Model model = test::BuildModel({{"R1", "A -> B"}}, {"B"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "A", kA0);
  test::SetInitial(model, "B", 0.0);
  StructuralAnalysis(model);
  return model;
}

struct Course {
  std::vector<double> times;
  std::vector<std::vector<double>> amounts, quantities;
};

Course TimeCourseOf(Model model, double endTime = 4.0, int points = 40) {
  TaskSettings settings;
  settings.endTime = endTime;
  settings.points = points;
  settings.solver.relativeTolerance = 1e-9;
  settings.solver.absoluteTolerance = 1e-12;
  test::EngineRig rig(std::move(model), settings);
  SetUpTimeCourse(*rig.engine);
  EXPECT_EQ(TimeCourse(*rig.engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted);
  EXPECT_TRUE(rig.hooks.errors.empty());
  EXPECT_EQ(rig.hooks.rowTimes.size(), static_cast<std::size_t>(points) + 1);
  return {rig.hooks.rowTimes, rig.hooks.rowAmounts, rig.hooks.rowQuantities};
}

double AmountOf(const Model& model, const Course& run, std::size_t row, const char* name) {
  return run.amounts[row][static_cast<std::size_t>(
      model.metabolitePosition[static_cast<std::size_t>(model.FindMetabolite(name))] + 1)];
}

// 0 = A + rest - total keeps A + rest at total = 5 while A decays, from a
// value of rest at time 0 that breaks the constraint; 0 = root^2 - A keeps
// the positive root that its start 1 leads to.
TEST(AlgebraicRules, AConstraintThatFixesASumFollowsTheAmountsItReads) {
  Model model = Decay();
  model.globalQuantities = {{"rest", 100.0}, {"total", 5.0}, {"root", 1.0}};
  model.rules = {Algebraic("rest", "A + rest - total"), Algebraic("root", "root*root - A")};
  const Course run = TimeCourseOf(model);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    const double a = AmountOf(model, run, i, "A");
    EXPECT_CLOSE(a, kA0 * std::exp(-t), kAbsolute, kRelative);
    EXPECT_CLOSE(run.quantities[i][0], 5.0 - a, kConstraint, kConstraint);
    EXPECT_CLOSE(run.quantities[i][0], 5.0 - kA0 * std::exp(-t), kAbsolute, kRelative);
    EXPECT_CLOSE(run.quantities[i][2], std::sqrt(a), kConstraint, kConstraint);
  }
}

// x + y = 3 and x - y = 2 time, each rule named after the target the other
// rule reads as much as its own: x = 3/2 + time, y = 3/2 - time. R1's
// constant follows x, so A(t) = A0 exp(-(3t/2 + t^2/2)).
TEST(AlgebraicRules, ConstraintsOnEachOthersTargetsAreSolvedTogetherAndFeedTheRates) {
  Model model = Decay();
  model.globalQuantities = {{"x", 0.0}, {"y", 0.0}};
  model.rules = {Algebraic("y", "x + y - 3"), Algebraic("x", "x - y - 2*time"),
                 MakeRule(RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R1", "x", "k")};
  const Course run = TimeCourseOf(model, 2.0, 20);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_CLOSE(run.quantities[i][0], 1.5 + t, kConstraint, kConstraint);
    EXPECT_CLOSE(run.quantities[i][1], 1.5 - t, kConstraint, kConstraint);
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), kA0 * std::exp(-(1.5 * t + t * t / 2)), kAbsolute,
                 kRelative);
  }
}

// 0 = rateOf(A) + k*A - u and 0 = w - 2*u read the rates: they are solved
// after them, from time 0 on. A' = -A gives u = (k - 1) A with k = 3, and
// w = 2u reads the first constraint's target; a rate rule on z reads w,
// so z = z0 + 4 A0 (1 - exp(-t)).
TEST(AlgebraicRules, AConstraintOnTheRatesIsSolvedOnceTheRatesAreKnown) {
  Model model = Decay();
  model.globalQuantities = {{"u", 0.0}, {"w", 0.0}, {"k", 3.0}, {"z", 1.0}};
  model.rules = {Algebraic("u", "rateOf(A) + k*A - u"), Algebraic("w", "w - 2*u"),
                 MakeRule(RuleKind::kRate, RuleTargetKind::kGlobalQuantity, "z", "w")};
  ASSERT_EQ(RuleSystem::Problem(model), "");
  const Course run = TimeCourseOf(model, 2.0, 20);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    const double a = kA0 * std::exp(-t);
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), a, kAbsolute, kRelative);
    EXPECT_CLOSE(run.quantities[i][0], 2.0 * AmountOf(model, run, i, "A"), kConstraint,
                 kConstraint);
    EXPECT_CLOSE(run.quantities[i][1], 4.0 * a, kAbsolute, kRelative);
    EXPECT_CLOSE(run.quantities[i][3], 1.0 + 4.0 * kA0 * (1.0 - std::exp(-t)), kAbsolute,
                 kRelative);
  }
  // What the rates read cannot wait for them: a constraint on a volume
  // that reads a rate is refused.
  model.rules = {MakeRule(RuleKind::kAlgebraic, RuleTargetKind::kCompartmentVolume,
                          model.compartments[0].name,
                          "rateOf(A) + " + model.compartments[0].name + " - 5")};
  EXPECT_NE(RuleSystem::Problem(model).find("known only after the constraints are solved"),
            std::string::npos)
      << RuleSystem::Problem(model);
}

// X -> A -> B with X and B fixed at 1 and 0, R1 at rate 1 and R2's constant
// q, where 0 = q^2 - 4 from q = 1: the steady state has [A] = 1/2.
TEST(AlgebraicRules, TheSteadyStateReadsTheRatesTheConstraintsGive) {
  Model model = test::BuildModel({{"R1", "X -> A"}, {"R2", "A -> B"}}, {"X", "B"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::UseKinetics(model, "R2", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "X", 1.0);
  test::SetInitial(model, "A", 3.0);
  test::SetInitial(model, "B", 0.0);
  StructuralAnalysis(model);
  model.globalQuantities = {{"q", 1.0}};
  model.rules = {Algebraic("q", "q*q - 4"),
                 MakeRule(RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R2", "q", "k")};
  test::EngineRig rig(model);
  SteadyState(*rig.engine);
  ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
  EXPECT_CLOSE(
      rig.model.metabolites[static_cast<std::size_t>(rig.model.FindMetabolite("A"))].concentration,
      0.5, 1e-9, 1e-9);
  EXPECT_CLOSE(rig.model.steps[static_cast<std::size_t>(rig.model.FindStep("R2"))].flux, 1.0, 1e-9,
               1e-9);
  EXPECT_CLOSE(rig.state.quantityValues[0], 2.0, kConstraint, kConstraint);
}

// 0 = y^2 + 1 has no real root: the engine refuses the model, naming the
// rule, before any task runs.
TEST(AlgebraicRules, AConstraintWithoutASolutionAtTimeZeroIsRefusedByName) {
  Model model = Decay();
  model.globalQuantities = {{"y", 1.0}};
  model.rules = {Algebraic("y", "y*y + 1")};
  ASSERT_EQ(RuleSystem::Problem(model), "");
  TaskSettings settings;
  EngineState state;
  state.Allocate(model);
  EngineHooks hooks;
  try {
    Engine engine(model, state, settings, hooks);
    ADD_FAILURE() << "the engine was built";
  } catch (const std::invalid_argument& refusal) {
    EXPECT_NE(std::string(refusal.what()).find("The algebraic rule for y cannot be solved"),
              std::string::npos)
        << refusal.what();
  }
  // The model keeps its own values.
  EXPECT_EQ(model.globalQuantities[0].value, 1.0);
}

}  // namespace
}  // namespace vireon
