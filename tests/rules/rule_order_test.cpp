#include "rules/rule_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/model_name_index.h"
#include "rules/rule_expression.h"
#include "rules_test_model.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::Assignment;
using test::MakeRule;
using test::RulesTestModel;

int PositionIn(const std::vector<int>& order, int rule) {
  auto at = std::find(order.begin(), order.end(), rule);
  return at == order.end() ? -1 : static_cast<int>(at - order.begin());
}

// Evaluates the assignment rules in their order, each symbol read from the
// values computed so far: the result is right only if every rule comes
// after the rules it reads.
class Values : public ExpressionBindings {
 public:
  explicit Values(const Model& model) : model_(model) {
    for (const GlobalQuantity& q : model.globalQuantities) quantity.push_back(q.value);
  }
  const std::vector<RuleSymbol>* symbols = nullptr;
  std::vector<double> quantity;
  double time = 0.0;
  double SymbolValue(const ExpressionNode& node) override {
    const RuleSymbol& s = (*symbols)[static_cast<std::size_t>(node.index)];
    switch (s.kind) {
      case RuleSymbol::Kind::kGlobalQuantity:
        return quantity[static_cast<std::size_t>(s.index)];
      case RuleSymbol::Kind::kCompartmentVolume:
        return model_.compartments[static_cast<std::size_t>(s.index)].volume;
      case RuleSymbol::Kind::kMetabolite:
        return model_.metabolites[static_cast<std::size_t>(s.index)].initialConcentration;
      case RuleSymbol::Kind::kTime:
        return time;
      case RuleSymbol::Kind::kConstant:
        return s.value;
    }
    return 0.0;
  }

 private:
  const Model& model_;
};

void EvaluateInOrder(const RuleSet& set, const std::vector<int>& order, Values& values) {
  for (int r : order) {
    const RuleExpression& e = set.expressions[static_cast<std::size_t>(r)];
    values.symbols = &e.symbols;
    values.quantity[static_cast<std::size_t>(set.targets[static_cast<std::size_t>(r)])] =
        EvaluateExpression(e.nodes, values);
  }
}

// c = b*V, b = a + k, a = 2*time, listed last first, with a rate rule on k
// and an unrelated rule: the order puts each after what it reads, and the
// chain gives its closed form c = (2t + k) V.
TEST(RuleOrder, AChainIsOrderedAfterItsDependencies) {
  Model model = RulesTestModel();
  model.rules = {Assignment("c", "b*V"), MakeRule(RuleKind::kRate, "k", "-k*a"),
                 Assignment("b", "a + k"), Assignment("V", "3*cell"), Assignment("a", "2*time")};
  RuleSet set;
  const RulesCheck check = CheckRules(model, &set);
  ASSERT_TRUE(check.ok()) << check.message;
  ASSERT_EQ(set.assignmentOrder.size(), 4u);
  EXPECT_EQ(PositionIn(set.assignmentOrder, 1), -1);  // a rate rule is no assignment
  EXPECT_LT(PositionIn(set.assignmentOrder, 4), PositionIn(set.assignmentOrder, 2));
  EXPECT_LT(PositionIn(set.assignmentOrder, 2), PositionIn(set.assignmentOrder, 0));
  EXPECT_LT(PositionIn(set.assignmentOrder, 3), PositionIn(set.assignmentOrder, 0));
  Values values(model);
  values.time = 1.5;
  EvaluateInOrder(set, set.assignmentOrder, values);
  EXPECT_CLOSE(values.quantity[4], (2.0 * 1.5 + 2.0) * 3.0, test::kTightAbs, test::kTightRel);
}

// At time 0 an initial assignment may read an assignment rule's target and
// the other way round: both kinds are ordered together.
TEST(RuleOrder, InitialValuesInterleaveInitialAssignmentsAndAssignmentRules) {
  Model model = RulesTestModel();
  model.rules = {Assignment("c", "b + 1"), MakeRule(RuleKind::kInitialAssignment, "b", "a*k"),
                 Assignment("a", "V*avogadro/avogadro"), MakeRule(RuleKind::kRate, "V", "-V")};
  RuleSet set;
  ASSERT_TRUE(CheckRules(model, &set).ok());
  EXPECT_EQ(set.assignmentOrder, (std::vector<int>{0, 2}));  // independent over time
  EXPECT_EQ(set.initialOrder, (std::vector<int>{2, 1, 0}));
  Values values(model);
  EvaluateInOrder(set, set.initialOrder, values);
  EXPECT_CLOSE(values.quantity[4], 3.0 * 2.0 + 1.0, test::kTightAbs, test::kTightRel);
}

struct CycleCase {
  std::vector<Rule> rules;
  int rule;  // the rule the fault names
  std::string message;
};

class RuleCycle : public ::testing::TestWithParam<CycleCase> {};

TEST_P(RuleCycle, IsRefusedNamingItsMembers) {
  Model model = RulesTestModel();
  model.rules = GetParam().rules;
  const RulesCheck check = CheckRules(model);
  EXPECT_EQ(check.rule, GetParam().rule);
  EXPECT_EQ(check.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    AssignmentAndInitial, RuleCycle,
    ::testing::Values(
        CycleCase{{Assignment("k", "V"), Assignment("a", "b+1"), Assignment("b", "c*2"),
                   Assignment("c", "a+time")},
                  1,
                  "The assignment rules for a, b and c depend on each other in a cycle: a reads "
                  "b, b reads c and c reads a."},
        CycleCase{{Assignment("a", "k"), Assignment("k", "2*k")},
                  1,
                  "The assignment rule for k depends on itself: k reads k."},
        // Rules that only wait behind a cycle are not part of it.
        CycleCase{{Assignment("c", "a"), Assignment("a", "b"), Assignment("b", "a")},
                  1,
                  "The assignment rules for a and b depend on each other in a cycle: a reads b "
                  "and b reads a."},
        CycleCase{{MakeRule(RuleKind::kInitialAssignment, "a", "b"), Assignment("b", "a*time")},
                  0,
                  "The initial values of a and b depend on each other in a cycle: a reads b and "
                  "b reads a."}));

// A rate rule's target is a state: reading it, even in its own rate rule,
// is no dependency.
TEST(RuleOrder, ARateRuleMayReadItsOwnTarget) {
  Model model = RulesTestModel();
  model.rules = {MakeRule(RuleKind::kRate, "a", "-k*a"), Assignment("b", "a")};
  EXPECT_TRUE(CheckRules(model).ok());
}

struct TargetCase {
  std::vector<Rule> rules;
  std::string message;
};

class RuleTargets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(RuleTargets, AreRefusedWhenTheyClash) {
  Model model = RulesTestModel();
  model.rules = GetParam().rules;
  const RulesCheck check = CheckRules(model);
  EXPECT_EQ(check.rule, 1);
  EXPECT_EQ(check.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    OnePerTarget, RuleTargets,
    ::testing::Values(
        TargetCase{{Assignment("a", "1"), Assignment("a", "2")},
                   "a is the target of two rules over time (assignment and assignment); it can "
                   "follow one assignment or one rate rule."},
        TargetCase{{Assignment("a", "1"), MakeRule(RuleKind::kRate, "a", "2")},
                   "a is the target of two rules over time (assignment and rate); it can follow "
                   "one assignment or one rate rule."},
        TargetCase{{MakeRule(RuleKind::kInitialAssignment, "a", "1"),
                    MakeRule(RuleKind::kInitialAssignment, "a", "2")},
                   "a has two initial assignments."},
        TargetCase{{Assignment("a", "2"), MakeRule(RuleKind::kInitialAssignment, "a", "1")},
                   "a has an assignment rule and an initial assignment; the assignment rule "
                   "gives its value at time 0 as well."},
        TargetCase{{Assignment("a", "1"), MakeRule(RuleKind::kAssignment, "nucleus", "2",
                                                   RuleTargetKind::kCompartmentVolume)},
                   "The target nucleus of the assignment rule is not a volume of the model."}));

// Algebraic rules: the structure of a system that can be solved for its
// targets, or a refusal naming the rules that constrain too few of them.
struct AlgebraicCase {
  std::vector<Rule> rules;
  int rule;  // the rule at fault, -1 when the rules pass
  std::string message;
};

class AlgebraicStructure : public ::testing::TestWithParam<AlgebraicCase> {};

TEST_P(AlgebraicStructure, IsSolvableForItsTargetsOrRefusedNamingTheRules) {
  Model model = RulesTestModel();
  model.rules = GetParam().rules;
  RuleSet set;
  const RulesCheck check = CheckRules(model, &set);
  EXPECT_EQ(check.rule, GetParam().rule);
  EXPECT_EQ(check.message, GetParam().message);
  if (check.ok()) {
    int algebraic = 0;
    for (const Rule& rule : model.rules) algebraic += rule.kind == RuleKind::kAlgebraic ? 1 : 0;
    EXPECT_EQ(set.algebraic.size(), static_cast<std::size_t>(algebraic));
  }
}

Rule Constraint(const std::string& target, const std::string& expression) {
  return MakeRule(RuleKind::kAlgebraic, target, expression);
}

INSTANTIATE_TEST_SUITE_P(
    Matching, AlgebraicStructure,
    ::testing::Values(
        // Each rule reads the other's target only: a and b are solved together.
        AlgebraicCase{{Constraint("a", "b - 2"), Constraint("b", "a + k")}, -1, ""},
        // a moves c through the assignment rule, and c is what the rule reads.
        AlgebraicCase{{Constraint("a", "c - 2"), Assignment("c", "3*a")}, -1, ""},
        AlgebraicCase{{Constraint("a", "a - 1"), Constraint("b", "a - 2")},
                      0,
                      "The algebraic rules for a and b read only a of the quantities the "
                      "algebraic rules determine: the system is over-determined or of higher "
                      "index, and cannot be solved for its targets."},
        // A constraint between the metabolites, which the steps move.
        AlgebraicCase{{Constraint("a", "S + P - 1")},
                      0,
                      "The algebraic rule for a reads none of the quantities the algebraic "
                      "rules determine: the system is over-determined or of higher index, and "
                      "cannot be solved for its targets."},
        AlgebraicCase{{Assignment("b", "1"), Constraint("b", "b - 2")},
                      1,
                      "b is the target of two rules over time (assignment and algebraic); it can "
                      "follow one assignment or one rate rule."},
        AlgebraicCase{{Constraint("a", "a - 2"), MakeRule(RuleKind::kInitialAssignment, "a", "1")},
                      1,
                      "a has an algebraic rule and an initial assignment; the algebraic rules "
                      "give its value at time 0 as well."}));

// A rate rule and an initial assignment share a target: the value at time
// 0 and the derivative after it. Targets of every kind are accepted.
TEST(RuleTargets, RateRuleAndInitialAssignmentMayShareATarget) {
  Model model = RulesTestModel();
  model.metabolites[static_cast<std::size_t>(model.FindMetabolite("S"))].type = FIXED;
  model.rules = {
      MakeRule(RuleKind::kRate, "S", "-k*S", RuleTargetKind::kMetabolite),
      MakeRule(RuleKind::kInitialAssignment, "S", "V", RuleTargetKind::kMetabolite),
      MakeRule(RuleKind::kAssignment, "cell", "1+time", RuleTargetKind::kCompartmentVolume)};
  EXPECT_TRUE(CheckRules(model).ok());
}

// The steps change an internal metabolite: a rule over time on it is
// refused, an initial assignment is not.
TEST(RuleTargets, OnlyAFixedMetaboliteFollowsARuleOverTime) {
  Model model = RulesTestModel();
  for (RuleKind kind : {RuleKind::kRate, RuleKind::kAssignment}) {
    model.rules = {MakeRule(kind, "S", "k", RuleTargetKind::kMetabolite)};
    const RulesCheck check = CheckRules(model);
    EXPECT_FALSE(check.ok());
    EXPECT_NE(check.message.find("must be fixed"), std::string::npos) << check.message;
  }
  model.rules = {MakeRule(RuleKind::kInitialAssignment, "S", "k", RuleTargetKind::kMetabolite)};
  EXPECT_TRUE(CheckRules(model).ok());
}

struct NameCase {
  const char* text;
  ExpressionProblem::Kind kind;
  std::size_t position;
  const char* name;
  const char* message;
};

class RuleExpressionNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(RuleExpressionNames, AreRefusedWithThePositionAndTheName) {
  Model model = RulesTestModel();
  model.metabolites.push_back(Metabolite("cell", FIXED, 0));  // shares the compartment's name
  const ModelNameIndex names(model);
  RuleExpression expression;
  const ExpressionProblem problem = ReadRuleExpression(GetParam().text, names, expression);
  EXPECT_EQ(problem.kind, GetParam().kind);
  EXPECT_EQ(problem.position, GetParam().position);
  EXPECT_EQ(problem.name, GetParam().name);
  EXPECT_EQ(problem.message, GetParam().message);
  EXPECT_TRUE(expression.nodes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Problems, RuleExpressionNames,
    ::testing::Values(
        NameCase{"k*S + Km", ExpressionProblem::Kind::kUnknownName, 6, "Km",
                 "Km at character 7 is not a metabolite, compartment or global quantity of the "
                 "model."},
        NameCase{"2*conversion", ExpressionProblem::Kind::kUnknownName, 2, "conversion",
                 "conversion at character 3 is a step: a rule reads metabolites, compartments, "
                 "global quantities and time."},
        NameCase{"k/cell", ExpressionProblem::Kind::kAmbiguousName, 2, "cell",
                 "cell at character 3 names more than one quantity of the model (a metabolite, "
                 "a compartment or a global quantity): please rename one of them."},
        NameCase{"k + * S", ExpressionProblem::Kind::kSyntax, 2, "",
                 "Syntax error at character 3 of the expression."},
        NameCase{"k_1", ExpressionProblem::Kind::kSyntax, 1, "",
                 "Syntax error at character 2 of the expression."},
        NameCase{"", ExpressionProblem::Kind::kSyntax, 0, "",
                 "Syntax error at character 1 of the expression."}));

TEST(RuleExpressionNames, ResolveToEachKindOfQuantityOncePerName) {
  Model model = RulesTestModel();
  const ModelNameIndex names(model);
  RuleExpression expression;
  ASSERT_TRUE(ReadRuleExpression("S*k/cell + S*time*avogadro", names, expression).ok());
  using Kind = RuleSymbol::Kind;
  EXPECT_EQ(expression.symbols,
            (std::vector<RuleSymbol>{{Kind::kMetabolite, model.FindMetabolite("S"), 0.0, "S"},
                                     {Kind::kGlobalQuantity, 0, 0.0, "k"},
                                     {Kind::kCompartmentVolume, 0, 0.0, "cell"},
                                     {Kind::kTime, -1, 0.0, "time"},
                                     {Kind::kConstant, -1, kAvogadroNumber, "avogadro"}}));
  EXPECT_EQ(expression.nodes[1].index, 0);  // S
  EXPECT_EQ(expression.nodes[7].index, 0);  // S again
}

}  // namespace
}  // namespace vireon
