// Time courses of a step whose stoichiometry follows rules, against closed
// forms. A -> B by mass action with k = 1: while A's coefficient stays -1,
// A(t) = A0 exp(-t) whatever B's coefficient n(t) is, and
// B(t) = A0 ∫0^t n(s) exp(-s) ds.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/time_course.h"
#include "model/structural_analysis.h"
#include "rules/rule_order.h"
#include "rules/rule_system.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

constexpr double kA0 = 2.0;
constexpr double kAbsolute = 1e-7, kRelative = 1e-5;

Rule StoichiometryRule(RuleKind kind, std::string metabolite, std::string expression) {
  return Rule{kind, RuleTarget{RuleTargetKind::kStoichiometry, "R1", std::move(metabolite)},
              std::move(expression)};
}

// A -> B, both internal, with the rules given; analysed after the rules are
// set, as the document does when they are committed.
Model Conversion(std::vector<Rule> rules) {
  Model model = test::BuildModel({{"R1", "A -> B"}});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "A", kA0);
  test::SetInitial(model, "B", 0.0);
  model.rules = std::move(rules);
  StructuralAnalysis(model);
  return model;
}

struct Course {
  std::vector<double> times, a, b;
};

Course TimeCourseOf(Model model) {
  TaskSettings settings;
  settings.endTime = 4.0;
  settings.points = 40;
  settings.solver.relativeTolerance = 1e-9;
  settings.solver.absoluteTolerance = 1e-12;
  test::EngineRig rig(std::move(model), settings);
  SetUpTimeCourse(*rig.engine);
  EXPECT_EQ(TimeCourse(*rig.engine, /*write=*/true).outcome, TimeCourseOutcome::kCompleted);
  EXPECT_TRUE(rig.hooks.errors.empty());
  Course course;
  course.times = rig.hooks.rowTimes;
  for (const std::vector<double>& amounts : rig.hooks.rowAmounts) {
    course.a.push_back(rig.AmountOf(amounts, "A"));
    course.b.push_back(rig.AmountOf(amounts, "B"));
  }
  EXPECT_EQ(course.times.size(), 41u);
  return course;
}

// n = 1 + t: B = A0 (2 - (2 + t) exp(-t)), and A + B grows, so the model
// keeps both amounts independent (without the rule, B = A0 - A).
TEST(StoichiometryRules, ATimeDependentCoefficientMakesWhatTheClosedFormSays) {
  EXPECT_EQ(Conversion({}).nDependent, 1);
  const Model model = Conversion({StoichiometryRule(RuleKind::kAssignment, "B", "1+time")});
  EXPECT_EQ(model.nDependent, 0);
  EXPECT_EQ(model.nIndependent, 2);
  const Course run = TimeCourseOf(model);
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_CLOSE(run.a[i], kA0 * std::exp(-t), kAbsolute, kRelative);
    EXPECT_CLOSE(run.b[i], kA0 * (2 - (2 + t) * std::exp(-t)), kAbsolute, kRelative);
  }
}

// n' = 1 integrates the coefficient as a state: from the equation's n(0) = 1
// it is the course above; from n(0) = 2, set by an initial assignment,
// B = A0 (3 - (3 + t) exp(-t)).
TEST(StoichiometryRules, ARateRuleIntegratesTheCoefficientFromItsValueAtTimeZero) {
  const Course fromEquation =
      TimeCourseOf(Conversion({StoichiometryRule(RuleKind::kRate, "B", "1")}));
  const Course fromAssignment =
      TimeCourseOf(Conversion({StoichiometryRule(RuleKind::kRate, "B", "1"),
                               StoichiometryRule(RuleKind::kInitialAssignment, "B", "2")}));
  for (std::size_t i = 0; i < fromEquation.times.size(); ++i) {
    const double t = fromEquation.times[i];
    EXPECT_CLOSE(fromEquation.b[i], kA0 * (2 - (2 + t) * std::exp(-t)), kAbsolute, kRelative);
    EXPECT_CLOSE(fromAssignment.b[i], kA0 * (3 - (3 + t) * std::exp(-t)), kAbsolute, kRelative);
    EXPECT_CLOSE(fromAssignment.a[i], kA0 * std::exp(-t), kAbsolute, kRelative);
  }
}

// The substrate's coefficient -(1 + t) feeds back on its own amount:
// A' = -(1 + t) A, A = A0 exp(-(t + t^2/2)), while B keeps its coefficient
// 1, B' = A: B = A0 ∫0^t exp(-(s + s^2/2)) ds
//              = A0 sqrt(pi/2) e^(1/2) (erf((t + 1)/sqrt 2) - erf(1/sqrt 2)).
TEST(StoichiometryRules, ASubstrateCoefficientFeedsBackOnItsOwnAmount) {
  const Course run =
      TimeCourseOf(Conversion({StoichiometryRule(RuleKind::kAssignment, "A", "-1-time")}));
  for (std::size_t i = 0; i < run.times.size(); ++i) {
    const double t = run.times[i];
    EXPECT_CLOSE(run.a[i], kA0 * std::exp(-(t + t * t / 2)), kAbsolute, kRelative);
    const double integral = std::sqrt(M_PI / 2) * std::exp(0.5) *
                            (std::erf((t + 1) / std::sqrt(2.0)) - std::erf(1 / std::sqrt(2.0)));
    EXPECT_CLOSE(run.b[i], kA0 * integral, kAbsolute, kRelative);
  }
}

// A metabolite the step's equation does not name has no stoichiometry there,
// and a model analysed before its stoichiometry rules is not run on.
TEST(StoichiometryRules, ATargetTheStepDoesNotHaveAndAStaleAnalysisAreRefused) {
  Model model = test::BuildModel({{"R1", "A -> B"}, {"R2", "B -> C"}});
  test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
  test::UseKinetics(model, "R2", "Mass action (irreversible)", {1.0});
  model.rules = {StoichiometryRule(RuleKind::kAssignment, "C", "2")};
  const RulesCheck check = CheckRules(model);
  ASSERT_FALSE(check.ok());
  EXPECT_EQ(check.message,
            "The target R1:C of the assignment rule is not a stoichiometry of the "
            "model.");

  Model stale = Conversion({});
  stale.rules = {StoichiometryRule(RuleKind::kAssignment, "B", "2")};
  EXPECT_TRUE(CheckRules(stale).ok());
  EXPECT_NE(RuleSystem::Problem(stale).find("analysed again"), std::string::npos);
  StructuralAnalysis(stale);
  EXPECT_EQ(RuleSystem::Problem(stale), "");
}

}  // namespace
}  // namespace vireon
