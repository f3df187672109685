// Time courses of models with rules against their closed forms: assignment
// rules evaluated before the rates (in dependency order, whatever the order
// of the list), a rate rule integrated with the amounts, initial
// assignments that read each other, and a compartment that grows while the
// amounts in it are kept and their concentrations diluted.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
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
constexpr double kAbsolute = 1e-7, kRelative = 1e-4;

Rule MakeRule(RuleKind kind, RuleTargetKind target, std::string name, std::string expression,
              std::string constant = {}) {
  return Rule{kind, RuleTarget{target, std::move(name), std::move(constant)},
              std::move(expression)};
}

// R1's rate constant follows the expression `k`.
Rule TieRateConstant(std::string expression) {
  return MakeRule(RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R1",
                  std::move(expression), "k");
}

// A -> B, mass action with a constant that rules set; B fixed unless both
// are internal.
Model Decay(bool bothInternal = false) {
  Model model = bothInternal ? test::BuildModel({{"R1", "A -> B"}})
                             : test::BuildModel({{"R1", "A -> B"}}, {"B"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "A", kA0);
  test::SetInitial(model, "B", 0.0);
  StructuralAnalysis(model);
  return model;
}

struct Course {
  std::vector<double> times;
  std::vector<std::vector<double>> amounts, quantities, volumes;
};

Course TimeCourseOf(Model model, double endTime = 4.0, int points = 40) {
  TaskSettings settings;
  settings.endTime = endTime;
  settings.points = points;
  settings.solver.relativeTolerance = 1e-8;
  settings.solver.absoluteTolerance = 1e-12;
  test::EngineRig rig(std::move(model), settings);
  SetUpTimeCourse(*rig.engine);
  EXPECT_EQ(TimeCourse(*rig.engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted);
  EXPECT_TRUE(rig.hooks.errors.empty());
  EXPECT_EQ(rig.hooks.rowTimes.size(), static_cast<std::size_t>(points) + 1);
  return {rig.hooks.rowTimes, rig.hooks.rowAmounts, rig.hooks.rowQuantities, rig.hooks.rowVolumes};
}

double AmountOf(const Model& model, const Course& run, std::size_t row, const char* name) {
  return run.amounts[row][static_cast<std::size_t>(
      model.metabolitePosition[static_cast<std::size_t>(model.FindMetabolite(name))] + 1)];
}

// b = a / 2 + 0.1 is listed before a = 2 time, which it reads; R1's
// constant is b: A(t) = A0 exp(-(t^2/2 + t/10)).
TEST(RulesTimeCourse, AssignmentRulesAreEvaluatedInTheOrderTheyReadEachOther) {
  Model model = Decay();
  model.globalQuantities = {{"a", 5.0}, {"b", 5.0}};
  model.rules = {MakeRule(RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "b", "a/2+0.1"),
                 TieRateConstant("b"),
                 MakeRule(RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "a", "2*time")};
  const Course run = TimeCourseOf(model);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), kA0 * std::exp(-(t * t / 2 + t / 10)), kAbsolute,
                 kRelative);
    EXPECT_CLOSE(run.quantities[i][0], 2 * t, 1e-12, 1e-12);
    EXPECT_CLOSE(run.quantities[i][1], t + 0.1, 1e-12, 1e-12);
  }
}

// q' = 1/2 from q(0) = 0.2 ties R1's constant: A(t) = A0 exp(-(t/5 + t^2/4)).
TEST(RulesTimeCourse, ARateRuleOnAQuantityIsIntegratedWithTheAmounts) {
  Model model = Decay();
  model.globalQuantities = {{"q", 0.2}};
  model.rules = {MakeRule(RuleKind::kRate, RuleTargetKind::kGlobalQuantity, "q", "0.5"),
                 TieRateConstant("q")};
  const Course run = TimeCourseOf(model);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), kA0 * std::exp(-(t / 5 + t * t / 4)), kAbsolute,
                 kRelative);
    EXPECT_CLOSE(run.quantities[i][0], 0.2 + 0.5 * t, kAbsolute, kRelative);
  }
}

// S -> A with S fixed and [S]' = -S/2 by a rate rule: [S] = exp(-t/2) and,
// with k = 1, [A] = 2 (1 - exp(-t/2)).
TEST(RulesTimeCourse, ARateRuleOnAFixedMetaboliteFeedsTheRatesThatReadIt) {
  Model model = test::BuildModel({{"R1", "S -> A"}}, {"S"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "S", 1.0);
  test::SetInitial(model, "A", 0.0);
  StructuralAnalysis(model);
  model.rules = {MakeRule(RuleKind::kRate, RuleTargetKind::kMetabolite, "S", "-S/2")};
  const Course run = TimeCourseOf(model);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_CLOSE(AmountOf(model, run, i, "S"), std::exp(-t / 2), kAbsolute, kRelative);
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), 2 * (1 - std::exp(-t / 2)), kAbsolute, kRelative);
  }
}

// k2 = 2 k1 and [A](0) = 3 k1 at time 0 only; R1's constant is k2:
// A(t) = 0.9 exp(-0.6 t). The model keeps its own values after the run.
TEST(RulesTimeCourse, InitialAssignmentsReadEachOtherAndLeaveTheModelAsItWas) {
  Model model = Decay();
  model.globalQuantities = {{"k2", 7.0}, {"k1", 0.3}};
  model.rules = {
      TieRateConstant("k2"),
      MakeRule(RuleKind::kInitialAssignment, RuleTargetKind::kMetabolite, "A", "3*k1"),
      MakeRule(RuleKind::kInitialAssignment, RuleTargetKind::kGlobalQuantity, "k2", "2*k1")};
  const Course run = TimeCourseOf(model);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), 0.9 * std::exp(-0.6 * run.times[i]), kAbsolute,
                 kRelative);
    EXPECT_EQ(run.quantities[i][0], 0.6);
  }

  TaskSettings settings;
  const Model before = model;
  {
    EngineState state;
    state.Allocate(model);
    EngineHooks hooks;
    Engine engine(model, state, settings, hooks);
    EXPECT_EQ(model.globalQuantities[0].value, 0.6);
    EXPECT_DOUBLE_EQ(model.metabolites[static_cast<std::size_t>(model.FindMetabolite("A"))]
                  .initialConcentration,
              0.9);
  }
  EXPECT_EQ(model.globalQuantities, before.globalQuantities);
  EXPECT_EQ(model.metabolites, before.metabolites);
  EXPECT_EQ(model.steps, before.steps);
}

// V = 1 + t with A -> B inside, both internal: the amounts follow
// A' = -k [A] V, so they keep their sum while the concentrations are
// diluted: [A] = A0 exp(-k t) / (1 + t), [B] = A0 (1 - exp(-k t)) / (1 + t).
TEST(RulesTimeCourse, AGrowingCompartmentKeepsItsAmountsAndDilutesItsConcentrations) {
  constexpr double kRate = 0.4;
  Model model = Decay(/*bothInternal=*/true);
  model.steps[0].constants = {kRate};
  model.rules = {MakeRule(RuleKind::kAssignment, RuleTargetKind::kCompartmentVolume,
                          model.compartments[0].name, "1+time")};
  const Course run = TimeCourseOf(model);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    const double volume = run.volumes[i][0];
    EXPECT_CLOSE(volume, 1 + t, 1e-12, 1e-12);
    const double a = AmountOf(model, run, i, "A"), b = AmountOf(model, run, i, "B");
    EXPECT_CLOSE(a + b, kA0, 1e-10, 1e-10);
    EXPECT_CLOSE(a / volume, kA0 * std::exp(-kRate * t) / (1 + t), kAbsolute, kRelative);
    EXPECT_CLOSE(b / volume, kA0 * (1 - std::exp(-kRate * t)) / (1 + t), kAbsolute, kRelative);
  }
}

// A -> B from one compartment into another keeps A + B in amounts only while
// the volumes keep their ratio: a rule that changes one is refused, naming
// the compartment, and the engine is never built over it.
TEST(RulesTimeCourse, AConservationRelationAcrossAChangingVolumeIsRefused) {
  Model model = test::BuildModel({{"R1", "A -> B"}});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  ASSERT_EQ(model.SetCompartmentCount(2), 0);
  model.compartments[1].name = "outside";
  test::SetInitial(model, "A", kA0, 0);
  test::SetInitial(model, "B", 0.0, 1);
  StructuralAnalysis(model);
  ASSERT_EQ(model.nDependent, 1);
  model.rules = {MakeRule(RuleKind::kAssignment, RuleTargetKind::kCompartmentVolume, "outside",
                          "1+time")};
  const std::string problem = RuleSystem::Problem(model);
  EXPECT_NE(problem.find("outside"), std::string::npos) << problem;
  TaskSettings settings;
  EngineState state;
  state.Allocate(model);
  EngineHooks hooks;
  EXPECT_THROW(Engine(model, state, settings, hooks), std::invalid_argument);

  model.rules.clear();
  EXPECT_EQ(RuleSystem::Problem(model), "");
}

// A rule whose target is constant over the time course is applied once: a
// constant tied to a fixed quantity gives the very numbers of the constant
// itself, step for step.
TEST(RulesTimeCourse, AConstantTiedToAFixedQuantityGivesTheSameNumbers) {
  Model plain = Decay();
  plain.steps[0].constants = {0.7};
  Model tied = Decay();
  tied.globalQuantities = {{"k1", 0.7}};
  tied.rules = {TieRateConstant("k1")};
  const Course a = TimeCourseOf(plain), b = TimeCourseOf(tied);
  ASSERT_EQ(a.amounts.size(), b.amounts.size());
  for (std::size_t i = 0; i < a.amounts.size(); ++i) {
    EXPECT_CLOSE(AmountOf(plain, a, i, "A"), AmountOf(tied, b, i, "A"), 1e-12, 1e-10);
  }
}

// A -> B with k = 2 q' = 1, where q' = 1/2 by a rate rule: A = A0 exp(-t).
// Rules read rates of change: r = [A]' = -A, listed after s = q' + 2 r + z'
// which reads it (z fixed); w' = [A]' from 0, so w = A - A0; and u takes
// [A]' = -A0 at time 0 only. r, s and w read the rates of the steps, which
// are known only after the rules they read.
TEST(RulesTimeCourse, RulesReadRatesOfChange) {
  Model model = Decay();
  model.globalQuantities = {{"q", 0.2}, {"z", 3.0}, {"r", 0.0}, {"s", 0.0}, {"w", 0.0}, {"u", 0.0}};
  model.rules = {MakeRule(RuleKind::kRate, RuleTargetKind::kGlobalQuantity, "q", "0.5"),
                 TieRateConstant("2*rateOf(q)"),
                 MakeRule(RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "s",
                          "rateOf(q) + 2*r + rateOf(z)"),
                 MakeRule(RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "r", "rateOf(A)"),
                 MakeRule(RuleKind::kRate, RuleTargetKind::kGlobalQuantity, "w", "rateOf(A)"),
                 MakeRule(RuleKind::kInitialAssignment, RuleTargetKind::kGlobalQuantity, "u",
                          "rateOf(A)")};
  ASSERT_EQ(RuleSystem::Problem(model), "");
  const Course run = TimeCourseOf(model);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    const double a = kA0 * std::exp(-t);
    const std::vector<double>& values = run.quantities[i];
    EXPECT_CLOSE(AmountOf(model, run, i, "A"), a, kAbsolute, kRelative);
    EXPECT_CLOSE(values[2], -a, kAbsolute, kRelative) << t;
    EXPECT_CLOSE(values[3], 0.5 - 2 * a, kAbsolute, kRelative) << t;
    EXPECT_CLOSE(values[4], a - kA0, kAbsolute, kRelative) << t;
    EXPECT_EQ(values[5], -kA0) << t;
  }
}

// What rateOf cannot read: a rate the steps read in turn, the rate of what
// an assignment rule sets, rate rules that read each other's rates.
TEST(RulesTimeCourse, RatesOfChangeThatCannotBeKnownAreRefused) {
  Model model = Decay();
  model.globalQuantities = {{"p", 1.0}, {"q", 1.0}};
  model.rules = {TieRateConstant("-rateOf(A)")};
  EXPECT_NE(RuleSystem::Problem(model).find("rates of the steps read what it sets"),
            std::string::npos);
  model.rules = {MakeRule(RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "p", "time"),
                 MakeRule(RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "q",
                          "rateOf(p)")};
  EXPECT_NE(RuleSystem::Problem(model).find("rate of change of p, which an assignment rule sets"),
            std::string::npos);
  model.rules = {MakeRule(RuleKind::kRate, RuleTargetKind::kGlobalQuantity, "p", "rateOf(q)"),
                 MakeRule(RuleKind::kRate, RuleTargetKind::kGlobalQuantity, "q", "1+rateOf(p)")};
  EXPECT_EQ(RuleSystem::Problem(model),
            "The rate rules for p and q depend on each other in a cycle: p reads q and q reads p.");
  model.rules = {MakeRule(RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "p",
                          "rateOf(2*q)")};
  EXPECT_NE(RuleSystem::Problem(model).find("rateOf at character 1 takes the name"),
            std::string::npos);
}

}  // namespace
}  // namespace vireon

namespace vireon {
namespace {

// R1: A -> B reads [C] through its constant (k = [C] / 2), R2: C -> D does
// not read A: without the rule the columns of A and C share no row and are
// differenced together. The rule joins them, and the Jacobian differenced in
// groups must stay that of one column at a time, bit for bit, and match
// the closed form dF_A/d[C] = -[A] / 2.
TEST(RulesJacobian, TheColumnGroupsKnowWhatTheRulesMakeARateRead) {
  Model model = test::BuildModel({{"R1", "A -> B"}, {"R2", "C -> D"}}, {"B", "D"});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::UseKinetics(model, "R2", "Mass action (irreversible)", {0.3});
  test::SetInitial(model, "A", 2.0);
  test::SetInitial(model, "C", 3.0);
  StructuralAnalysis(model);
  model.rules = {TieRateConstant("C/2")};

  std::vector<Matrix<double>> jacobians;
  for (bool sparse : {true, false}) {
    TaskSettings settings;
    test::EngineRig rig(model, settings);
    rig.engine->SetUseSparsity(sparse);
    std::vector<double> x = rig.state.amounts;
    rig.engine->equations.SetInitialAmounts(x.data());
    Matrix<double> jacobian(model.nIndependent + 1, model.nIndependent + 1);
    rig.engine->equations.ComputeJacobian(x.data(), jacobian);
    jacobians.push_back(jacobian);
    const int a = rig.PositionOf("A"), c = rig.PositionOf("C");
    EXPECT_CLOSE(jacobian[c][a], -1.0, 1e-6, 1e-6);  // dF_A/d[C] = -[A]/2
    EXPECT_CLOSE(jacobian[a][a], -1.5, 1e-6, 1e-6);  // -k = -[C]/2
  }
  for (int j = 1; j <= model.nIndependent; ++j) {
    for (int i = 1; i <= model.nIndependent; ++i) EXPECT_EQ(jacobians[0][j][i], jacobians[1][j][i]);
  }
}

}  // namespace
}  // namespace vireon

#include "engine/control_analysis.h"
#include "engine/stability.h"

namespace vireon {
namespace {

// The steady state of the model of RateRuleFeedback (support/kinetic_models.h)
// against its closed form, by Newton and by integration.
TEST(RateRuleSteadyState, TheSteadyStateAndItsControlCoefficientsCountTheRuleVariable) {
  const Model model = test::RateRuleFeedback();

  for (SteadyStateStrategy strategy :
       {SteadyStateStrategy::kNewtonOnly, SteadyStateStrategy::kIntegrationOnly}) {
    SCOPED_TRACE(static_cast<int>(strategy));
    TaskSettings settings;
    settings.solver.steadyStateStrategy = strategy;
    settings.solver.steadyStateResolution = 1e-12;
    test::EngineRig rig(model, settings);
    ASSERT_EQ(SteadyState(*rig.engine).outcome, SteadyStateOutcome::kFound);
    const int s = rig.PositionOf("S");
    EXPECT_CLOSE(rig.state.ssAmounts[s], 1.0, 1e-9, 1e-9);
    EXPECT_CLOSE(rig.state.quantityValues[0], 1.0, 1e-9, 1e-9);
    EXPECT_CLOSE(rig.state.maxRealPart, -1.0, 1e-6, 1e-6);
    EXPECT_CLOSE(rig.state.maxImagPart, 1.0, 1e-6, 1e-6);

    ControlAnalysis(*rig.engine);
    const int r1 = rig.engine->model.stepPosition[0], r2 = rig.engine->model.stepPosition[1];
    const int rule = rig.engine->model.nVariable;  // the rule variable's row
    const double half = 0.5, tolerance = 1e-5;
    EXPECT_CLOSE(rig.state.concControl[s - 1][r1], half, tolerance, tolerance);
    EXPECT_CLOSE(rig.state.concControl[s - 1][r2], -half, tolerance, tolerance);
    EXPECT_CLOSE(rig.state.concControl[rule][r1], -half, tolerance, tolerance);
    EXPECT_CLOSE(rig.state.concControl[rule][r2], half, tolerance, tolerance);
    for (int j : {r1, r2}) {
      EXPECT_CLOSE(rig.state.fluxControl[j][r1], half, tolerance, tolerance);
      EXPECT_CLOSE(rig.state.fluxControl[j][r2], half, tolerance, tolerance);
    }
    // v1 = q [X] reads q with a scaled elasticity of 1; v2 does not read it.
    const int column = rig.engine->model.nMetabolites();
    EXPECT_CLOSE(rig.state.elasticities[r1][column], 1.0, tolerance, tolerance);
    EXPECT_EQ(rig.state.elasticities[r2][column], 0.0);
  }
}

}  // namespace
}  // namespace vireon
