#include "kinetics/kinetic_function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "kinetics/expression.h"
#include "model/model.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

KineticFunction Parsed(std::string_view text) {
  KineticFunction function("f", std::string(text));
  EXPECT_EQ(function.ParseKineticFunction(), 0) << text;
  return function;
}

// Binds every symbol in order of first appearance, as the kinetic type
// dialog does after a reset.
void BindAll(KineticFunction& function,
             const std::vector<std::pair<std::string, SymbolRole>>& roles) {
  function.ResetBindings();
  for (const auto& [name, role] : roles) function.BindSymbol(name, role);
}

std::string NodeKinds(const KineticFunction& function) {
  std::string kinds;
  for (const KineticNode& node : function.nodes()) kinds += node.kind;
  return kinds;
}

TEST(KineticFunctionConstruction, StartsEmptyAndKeepsTheTextOnOneLine) {
  KineticFunction empty;
  EXPECT_EQ(empty.name(), "");
  EXPECT_EQ(empty.description(), "");
  EXPECT_EQ(empty.NodeCount(), 0);
  EXPECT_EQ(
      empty.SubstrateCount() + empty.ProductCount() + empty.ModifierCount() + empty.ConstantCount(),
      0);
  KineticFunction typed("MM", "V*S/\r\n(Km+\nS)\r");
  EXPECT_EQ(typed.description(), "V*S/(Km+S)");
  EXPECT_EQ(typed.NodeCount(), 0);
  typed.set_description("a\n+b");
  EXPECT_EQ(typed.description(), "a+b");
}

TEST(KineticFunctionParse, BuildsTheNodeListWithUnboundSymbols) {
  KineticFunction function = Parsed("V*S/(Km+S)");
  EXPECT_EQ(function.NodeCount(), 10);
  EXPECT_EQ(NodeKinds(function), "%IOIOOIOIO");
  EXPECT_EQ(function.SymbolNames(), (std::vector<std::string>{"V", "S", "Km"}));
}

TEST(KineticFunctionParse, FailureLeavesNoNodes) {
  for (const char* text : {"", "()", "a(b)", "a b", "_x", "K0.5", "ln(S)"}) {
    KineticFunction function("f", text);
    EXPECT_NE(function.ParseKineticFunction(), 0) << text;
    EXPECT_EQ(function.NodeCount(), 0) << text;
  }
}

TEST(KineticFunctionParse, ParsingAgainForgetsTheOldBindings) {
  KineticFunction function = Parsed("k*S");
  BindAll(function, {{"k", SymbolRole::kConstant}, {"S", SymbolRole::kSubstrate}});
  EXPECT_EQ(function.ConstantCount(), 1);
  function.set_description("k*P");
  ASSERT_EQ(function.ParseKineticFunction(), 0);
  EXPECT_EQ(function.ConstantCount(), 0);
  EXPECT_EQ(function.SubstrateCount(), 0);
  EXPECT_EQ(NodeKinds(function), "%IOI");
}

TEST(KineticFunctionBinding, GivesEachRoleItsKindAndIndexInBindingOrder) {
  KineticFunction function = Parsed("V*S/(Km+S) - Vr*P*M1/(Kp+P+M2)");
  BindAll(function, {{"V", SymbolRole::kConstant},
                     {"S", SymbolRole::kSubstrate},
                     {"Km", SymbolRole::kConstant},
                     {"Vr", SymbolRole::kConstant},
                     {"P", SymbolRole::kProduct},
                     {"M1", SymbolRole::kModifier},
                     {"Kp", SymbolRole::kConstant},
                     {"M2", SymbolRole::kModifier}});
  EXPECT_EQ(function.SubstrateCount(), 1);
  EXPECT_EQ(function.ProductCount(), 1);
  EXPECT_EQ(function.ModifierCount(), 2);
  EXPECT_EQ(function.ConstantCount(), 4);
  EXPECT_EQ(function.ConstantName(0), "V");
  EXPECT_EQ(function.ConstantName(1), "Km");
  EXPECT_EQ(function.ConstantName(2), "Vr");
  EXPECT_EQ(function.ConstantName(3), "Kp");
  EXPECT_EQ(function.ModifierName(0), "M1");
  EXPECT_EQ(function.ModifierName(1), "M2");
  EXPECT_EQ(function.ConstantName(4), "");
  EXPECT_EQ(function.ConstantName(-1), "");
  EXPECT_EQ(function.ModifierName(2), "");
  // Both occurrences of S and of P are bound together.
  for (const KineticNode& node : function.nodes()) {
    if (node.name == "S") {
      EXPECT_EQ(node.kind, 's');
    }
    if (node.name == "P") {
      EXPECT_EQ(node.kind, 'p');
    }
    if (node.name == "Kp") {
      EXPECT_EQ(node.index, 3);
    }
    if (node.name == "M2") {
      EXPECT_EQ(node.index, 1);
    }
  }
  EXPECT_EQ(function.SymbolNames().size(), 8u);
}

struct RoleCase {
  const char* name;
  int role;
  int position;
};

TEST(KineticFunctionBinding, RoleAndPositionOfASymbolByName) {
  KineticFunction function = Parsed("V*S/(Km+S)+P*I");
  // Before binding every symbol reads as a constant.
  EXPECT_EQ(function.RoleOfSymbol("S"), 3);
  BindAll(function, {{"V", SymbolRole::kConstant},
                     {"S", SymbolRole::kSubstrate},
                     {"Km", SymbolRole::kConstant},
                     {"P", SymbolRole::kProduct},
                     {"I", SymbolRole::kModifier}});
  const RoleCase cases[] = {{"V", 3, 1},  {"S", 0, 3},   {"Km", 3, 6}, {"P", 1, 11},
                            {"I", 2, 13}, {"s", -1, -1}, {"", -1, -1}, {"Q", -1, -1}};
  for (const RoleCase& c : cases) {
    EXPECT_EQ(function.RoleOfSymbol(c.name), c.role) << c.name;
    EXPECT_EQ(function.PositionOfSymbol(c.name), c.position) << c.name;
  }
}

TEST(KineticFunctionBinding, ARoleOutsideTheFourBindsNothing) {
  KineticFunction function = Parsed("k*S");
  function.BindSymbol("S", static_cast<SymbolRole>(4));
  function.BindSymbol("S", static_cast<SymbolRole>(-1));
  EXPECT_EQ(NodeKinds(function), "%IOI");
  EXPECT_EQ(function.SubstrateCount() + function.ProductCount() + function.ModifierCount() +
                function.ConstantCount(),
            0);
}

// Binding many symbols at once must leave exactly what binding them one by
// one leaves: kinds and indices of every node, counts and name lists, also
// for a name bound twice (the last binding wins), a role outside the four
// and a name no node has.
TEST(KineticFunctionBinding, BindingAllAtOnceEqualsBindingOneByOne) {
  const std::vector<std::pair<std::string, SymbolRole>> bindings = {
      {"V", SymbolRole::kConstant},         {"S", SymbolRole::kSubstrate},
      {"Km", SymbolRole::kConstant},        {"P", SymbolRole::kProduct},
      {"S", SymbolRole::kModifier},         {"I", static_cast<SymbolRole>(7)},
      {"Q", SymbolRole::kConstant},         {"I", SymbolRole::kModifier},
      {"P2", SymbolRole::kProduct},         {"Km", SymbolRole::kConstant}};
  const std::string text = "V*S/(Km+S)+P*I-P2*S/Km";
  KineticFunction one = Parsed(text);
  BindAll(one, bindings);
  KineticFunction all = Parsed(text);
  all.ResetBindings();
  all.BindSymbols(bindings);
  ASSERT_EQ(all.NodeCount(), one.NodeCount());
  for (int i = 0; i < one.NodeCount(); ++i) {
    EXPECT_EQ(all.nodes()[i].kind, one.nodes()[i].kind) << i;
    EXPECT_EQ(all.nodes()[i].index, one.nodes()[i].index) << i;
  }
  EXPECT_EQ(all.SubstrateCount(), one.SubstrateCount());
  EXPECT_EQ(all.ProductCount(), one.ProductCount());
  ASSERT_EQ(all.ModifierCount(), one.ModifierCount());
  ASSERT_EQ(all.ConstantCount(), one.ConstantCount());
  for (int i = 0; i < one.ModifierCount(); ++i) EXPECT_EQ(all.ModifierName(i), one.ModifierName(i));
  for (int i = 0; i < one.ConstantCount(); ++i) EXPECT_EQ(all.ConstantName(i), one.ConstantName(i));
  // The one pass over the names agrees with asking name by name.
  const std::vector<std::pair<std::string, int>> roles = all.SymbolRoles();
  const std::vector<std::string> names = all.SymbolNames();
  ASSERT_EQ(roles.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(roles[i].first, names[i]);
    EXPECT_EQ(roles[i].second, all.RoleOfSymbol(names[i])) << names[i];
  }
}

TEST(KineticFunctionBinding, ResetSetsTheCountsToZero) {
  KineticFunction function = Parsed("k*S*M");
  BindAll(
      function,
      {{"k", SymbolRole::kConstant}, {"S", SymbolRole::kSubstrate}, {"M", SymbolRole::kModifier}});
  function.ResetBindings();
  EXPECT_EQ(function.SubstrateCount(), 0);
  EXPECT_EQ(function.ModifierCount(), 0);
  EXPECT_EQ(function.ConstantCount(), 0);
  EXPECT_EQ(function.ModifierName(0), "");
}

TEST(KineticFunctionFlags, AnyNonzeroReversibleReadsAsOne) {
  KineticFunction function;
  EXPECT_EQ(function.reversible(), 0);
  function.set_reversible(5);
  EXPECT_EQ(function.reversible(), 1);
  function.set_reversible(-2);
  EXPECT_EQ(function.reversible(), 1);
}

// Two compartments of different volumes, metabolite positions that differ
// from the indices, and one step A + A -> B with modifier I:
//   A (index 0, volume 2, position 2), B (1, volume 0.5, position 0),
//   I (2, volume 0.5, position 1).
class KineticFunctionEvaluation : public ::testing::Test {
 protected:
  void SetUp() override {
    model.Allocate(2, 3, 2, 0, 2);
    model.compartments[0].volume = 2.0;
    model.compartments[1].volume = 0.5;
    model.metabolites[0] = Metabolite("A", INDEPENDENT, 0);
    model.metabolites[1] = Metabolite("B", INDEPENDENT, 1);
    model.metabolites[2] = Metabolite("I", FIXED, 1);
    model.metabolitePosition = {2, 0, 1};
    model.metaboliteOrder = {1, 2, 0};
    Step& step = model.steps[0];
    step.SizeSubstrates(2);
    step.SizeProducts(1);
    model.AddStoichiometry(0, 0, -1, 2);
    model.AddStoichiometry(0, 1, +1, 1);
    step.modifiers = {2};
    step.constants = {kV, kKm, kK2, kKi};
  }

  static constexpr double kV = 3.0, kKm = 0.7, kK2 = 0.4, kKi = 2.5;
  static constexpr double kAmountA = 1.2, kAmountB = 0.3, kAmountI = 0.9;
  Model model;
  std::vector<double> x = {kAmountB, kAmountI, kAmountA};
};

TEST_F(KineticFunctionEvaluation, ReadsConcentrationsAndConstantsOfTheStep) {
  KineticFunction function = Parsed("V*S1*S2/(Km+S1) - k2*P/(1+M/Ki)");
  BindAll(function, {{"V", SymbolRole::kConstant},
                     {"S1", SymbolRole::kSubstrate},
                     {"S2", SymbolRole::kSubstrate},
                     {"Km", SymbolRole::kConstant},
                     {"k2", SymbolRole::kConstant},
                     {"P", SymbolRole::kProduct},
                     {"M", SymbolRole::kModifier},
                     {"Ki", SymbolRole::kConstant}});
  double a = kAmountA / 2.0, b = kAmountB / 0.5, i = kAmountI / 0.5;
  double expected = kV * a * a / (kKm + a) - kK2 * b / (1 + i / kKi);
  EXPECT_CLOSE(function.EvaluateKineticFunction(model, x, 0), expected, kTightAbs, kTightRel);
}

TEST_F(KineticFunctionEvaluation, AnEntryTheStepLacksContributesZero) {
  KineticFunction function = Parsed("1 + S3 + M + k9");
  BindAll(function, {{"S3", SymbolRole::kSubstrate},
                     {"M", SymbolRole::kModifier},
                     {"k9", SymbolRole::kConstant}});
  // Substrate index 0 exists, so bind two more to reach index 2.
  KineticFunction beyond = Parsed("1 + S1 + S2 + S3");
  BindAll(beyond, {{"S1", SymbolRole::kSubstrate},
                   {"S2", SymbolRole::kSubstrate},
                   {"S3", SymbolRole::kSubstrate}});
  double a = kAmountA / 2.0;
  EXPECT_CLOSE(beyond.EvaluateKineticFunction(model, x, 0), 1 + 2 * a, kTightAbs, kTightRel);
  model.steps[0].modifiers = {-1};  // an unassigned modifier
  model.steps[0].constants.clear();
  EXPECT_CLOSE(function.EvaluateKineticFunction(model, x, 0), 1 + a, kTightAbs, kTightRel);
  model.steps[0].substrates = {7};  // no such metabolite
  EXPECT_CLOSE(function.EvaluateKineticFunction(model, x, 0), 1.0, kTightAbs, kTightRel);
}

TEST_F(KineticFunctionEvaluation, AStepOrPositionOutOfRangeGivesZeroInsteadOfReadingBeyond) {
  KineticFunction function = Parsed("S + 1");
  BindAll(function, {{"S", SymbolRole::kSubstrate}});
  EXPECT_EQ(function.EvaluateKineticFunction(model, x, 2), 0.0);
  EXPECT_EQ(function.EvaluateKineticFunction(model, x, -1), 0.0);
  std::vector<double> tooShort = {kAmountB};
  EXPECT_CLOSE(function.EvaluateKineticFunction(model, tooShort, 0), 1.0, kTightAbs, kTightRel);
}

TEST_F(KineticFunctionEvaluation, UnboundSymbolsAndUnparsedFunctionsGiveZero) {
  KineticFunction unbound = Parsed("S + 2");
  EXPECT_CLOSE(unbound.EvaluateKineticFunction(model, x, 0), 2.0, kTightAbs, kTightRel);
  KineticFunction unparsed("f", "S + 2");
  EXPECT_EQ(unparsed.EvaluateKineticFunction(model, x, 0), 0.0);
}

TEST_F(KineticFunctionEvaluation, ACopyEvaluatesOnItsOwn) {
  KineticFunction function = Parsed("k*S");
  BindAll(function, {{"k", SymbolRole::kConstant}, {"S", SymbolRole::kSubstrate}});
  KineticFunction copy = function;
  function.set_description("k");
  ASSERT_EQ(function.ParseKineticFunction(), 0);
  EXPECT_CLOSE(copy.EvaluateKineticFunction(model, x, 0), kV * kAmountA / 2.0, kTightAbs,
               kTightRel);
  EXPECT_EQ(copy.ConstantName(0), "k");
}

}  // namespace
}  // namespace vireon
