#include "kinetics/kinetic_type_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/user_type_helpers.h"
#include "model/messages.h"
#include "model/model.h"

namespace vireon {
namespace {

std::vector<std::string> SymbolNames(const KineticTypeEditor& editor) {
  std::vector<std::string> names;
  for (const auto& symbol : editor.symbols()) names.push_back(symbol.name);
  return names;
}

class KineticTypeEditorTest : public ::testing::Test {
 protected:
  KineticTypeEditorTest() { BuildBuiltInKineticTypes(catalogue); }
  KineticCatalogue catalogue;
  RecordingSink sink;
};

TEST_F(KineticTypeEditorTest, NewTypeStartsWithTheRateLawEditable) {
  KineticTypeEditor editor(catalogue);
  EXPECT_FALSE(editor.functionAccepted());
  EXPECT_TRUE(editor.expressionEditable());
  EXPECT_FALSE(editor.okEnabled());
  EXPECT_TRUE(editor.cancelEnabled());
  EXPECT_FALSE(editor.rolesEnabled());
  EXPECT_TRUE(editor.symbols().empty());
  EXPECT_EQ(editor.functionButtonText(), "&Accept Function");
  EXPECT_EQ(editor.okButtonText(), "A&dd");
}

TEST_F(KineticTypeEditorTest, AcceptRefusesAMissingOrTakenName) {
  KineticTypeEditor editor(catalogue);
  editor.SetExpression("V*S");
  EXPECT_FALSE(editor.AcceptFunction(sink));
  editor.SetName("Uni Uni");
  EXPECT_FALSE(editor.AcceptFunction(sink));
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{messages::kKineticTypeNameMissing,
                                                    messages::kKineticTypeNameTaken}));
  EXPECT_FALSE(editor.functionAccepted());
}

TEST_F(KineticTypeEditorTest, SyntaxErrorIsShownAndNothingAccepted) {
  KineticTypeEditor editor(catalogue);
  editor.SetName("broken");
  editor.SetExpression("V*(S");
  EXPECT_FALSE(editor.PressFunctionButton(sink));
  EXPECT_EQ(sink.Texts(),
            std::vector<std::string>{"Syntax error at character 3 (no \")\" closes this \"(\" "
                                     "where its expression ends): V*[(]S"});
  EXPECT_FALSE(editor.functionAccepted());
  EXPECT_TRUE(editor.expressionEditable());
}

TEST_F(KineticTypeEditorTest, AcceptListsTheDistinctSymbolsAsConstants) {
  KineticTypeEditor editor(catalogue);
  editor.SetName("mm");
  editor.SetExpression("V*S/\r\n(Km+S)");
  ASSERT_TRUE(editor.PressFunctionButton(sink));
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(SymbolNames(editor), (std::vector<std::string>{"V", "S", "Km"}));
  for (const auto& symbol : editor.symbols()) EXPECT_EQ(symbol.role, SymbolRole::kConstant);
  EXPECT_TRUE(editor.okEnabled());
  EXPECT_TRUE(editor.rolesEnabled());
  EXPECT_FALSE(editor.expressionEditable());
  EXPECT_EQ(editor.functionButtonText(), "&Edit function");
  editor.SetExpression("ignored while accepted");
  EXPECT_EQ(editor.expression(), "V*S/\r\n(Km+S)");
}

TEST_F(KineticTypeEditorTest, RolesRaiseTheCountsAndLowerCountsAreRefused) {
  KineticTypeEditor editor(catalogue);
  editor.SetName("bi");
  editor.SetExpression("k*A*B - k2*P");
  ASSERT_TRUE(editor.AcceptFunction(sink));
  ASSERT_EQ(SymbolNames(editor), (std::vector<std::string>{"k", "A", "B", "k2", "P"}));
  editor.SetRole(1, SymbolRole::kSubstrate);
  editor.SetRole(2, SymbolRole::kSubstrate);
  editor.SetRole(4, SymbolRole::kProduct);
  EXPECT_EQ(editor.substrates(), 2);
  EXPECT_EQ(editor.products(), 1);
  // The count fields as the user leaves them.
  EXPECT_TRUE(editor.LeaveSubstrates(" 3 ", sink));
  EXPECT_EQ(editor.substrates(), 3);
  EXPECT_FALSE(editor.LeaveSubstrates("1", sink));  // two symbols are substrates
  EXPECT_FALSE(editor.LeaveProducts("0", sink));
  const std::vector<std::string> notCounts = {"", "two", "2.5", "-1", "3x"};
  for (const std::string& text : notCounts) {
    EXPECT_FALSE(editor.LeaveProducts(text, sink)) << text;
  }
  EXPECT_EQ(editor.products(), 0);
  EXPECT_FALSE(editor.SetProducts(-1));
  std::vector<std::string> said = {messages::kSubstrateCountTooLow,
                                   messages::kProductCountTooLow};
  said.insert(said.end(), notCounts.size(), kCountNotANumber);
  EXPECT_EQ(sink.Texts(), said);
}

TEST_F(KineticTypeEditorTest, EditFunctionStartsOver) {
  KineticTypeEditor editor(catalogue);
  editor.SetName("mm");
  editor.SetExpression("V*S/(Km+S)");
  ASSERT_TRUE(editor.AcceptFunction(sink));
  editor.SetRole(1, SymbolRole::kSubstrate);
  ASSERT_TRUE(editor.PressFunctionButton(sink));  // "&Edit function"
  EXPECT_FALSE(editor.functionAccepted());
  EXPECT_TRUE(editor.symbols().empty());
  EXPECT_EQ(editor.substrates(), 0);
  EXPECT_EQ(editor.products(), 0);
  EXPECT_FALSE(editor.okEnabled());
  EXPECT_TRUE(editor.expressionEditable());
  EXPECT_EQ(editor.functionButtonText(), "&Accept function");
  EXPECT_EQ(editor.Ok(catalogue, sink), nullptr);
}

TEST_F(KineticTypeEditorTest, OkBuildsAndEntersTheType) {
  KineticTypeEditor editor(catalogue);
  editor.SetName("inhibited");
  editor.SetExpression("kf*A/(1+I/Ki) - kr*P");
  ASSERT_TRUE(editor.AcceptFunction(sink));
  ASSERT_EQ(SymbolNames(editor), (std::vector<std::string>{"kf", "A", "I", "Ki", "kr", "P"}));
  editor.SetRole(1, SymbolRole::kSubstrate);
  editor.SetRole(2, SymbolRole::kModifier);
  editor.SetRole(5, SymbolRole::kProduct);
  editor.SetReversible(true);
  editor.SetSubstrates(2);

  const KineticType* type = editor.Ok(catalogue, sink);
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(catalogue.Find("inhibited"), type);
  EXPECT_EQ(catalogue.UserDefinedCount(), 1);
  EXPECT_EQ(type->userDefined, 1);
  EXPECT_EQ(type->reversible, 1);
  EXPECT_EQ(type->substrates, 2);
  EXPECT_EQ(type->products, 1);
  EXPECT_EQ(type->modifierNames, std::vector<std::string>{"I"});
  EXPECT_EQ(type->constantNames, (std::vector<std::string>{"kf", "Ki", "kr"}));
  EXPECT_EQ(type->rate, &EvaluateUserDefinedRate);

  // kf*A/(1+I/Ki) - kr*P at A = 2, I = 0.5, P = 3 with kf, Ki, kr = 4, 0.25, 0.5.
  Model model;
  model.Allocate(1, 4, 4, 0, 1);
  model.metabolitePosition = {0, 1, 2, 3};
  Step& step = model.steps[0];
  step.SizeSubstrates(2);
  step.AppendSubstrate(0);
  step.AppendSubstrate(3);
  step.SizeProducts(1);
  step.AppendProduct(2);
  step.modifiers = {1};
  step.constants = {4.0, 0.25, 0.5};
  step.kineticType = type;
  const double x[4] = {2.0, 0.5, 3.0, 7.0};
  EXPECT_DOUBLE_EQ(type->rate(model, x, 0), 4.0 * 2.0 / (1 + 0.5 / 0.25) - 0.5 * 3.0);
}

TEST_F(KineticTypeEditorTest, ExistingTypeOpensWithItsRoles) {
  std::unique_ptr<KineticType> old = test::MakeInhibitedMassAction("inhibited");
  KineticTypeEditor editor(catalogue, std::move(old->function), old->substrates, old->products,
                           old->reversible != 0, sink);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_TRUE(editor.functionAccepted());
  EXPECT_FALSE(editor.expressionEditable());
  EXPECT_EQ(editor.okButtonText(), "Close");
  EXPECT_FALSE(editor.cancelEnabled());
  EXPECT_TRUE(editor.reversible());
  EXPECT_EQ(editor.name(), "inhibited");
  ASSERT_EQ(SymbolNames(editor), (std::vector<std::string>{"kf", "A", "kr", "P", "I", "Ki"}));
  const std::vector<SymbolRole> roles = {SymbolRole::kConstant, SymbolRole::kSubstrate,
                                         SymbolRole::kConstant, SymbolRole::kProduct,
                                         SymbolRole::kModifier, SymbolRole::kConstant};
  for (std::size_t i = 0; i < roles.size(); ++i) EXPECT_EQ(editor.symbols()[i].role, roles[i]);

  const KineticType* type = editor.Ok(catalogue, sink);
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type->constantNames, (std::vector<std::string>{"kf", "kr", "Ki"}));
  EXPECT_EQ(type->modifierNames, std::vector<std::string>{"I"});
}

TEST_F(KineticTypeEditorTest, OriginalRateLawSurvivesEditingForCancel) {
  std::unique_ptr<KineticType> old = test::MakeMichaelisMenten("mm");
  KineticTypeEditor editor(catalogue, std::move(old->function), 1, 0, false, sink);
  editor.EditFunction();
  editor.SetExpression("V*S");
  ASSERT_TRUE(editor.AcceptFunction(sink));
  std::unique_ptr<KineticFunction> original = editor.TakeOriginalFunction();
  ASSERT_NE(original, nullptr);
  EXPECT_EQ(original->description(), "V*S/(Km+S)");
  EXPECT_EQ(original->ConstantCount(), 2);
}

TEST(RemoveLineBreaksTest, JoinsLinesWithNothingBetween) {
  EXPECT_EQ(RemoveLineBreaks("V*S/\r\n(Km+S)"), "V*S/(Km+S)");
  EXPECT_EQ(RemoveLineBreaks("a\nb\r\nc"), "abc");
  EXPECT_EQ(RemoveLineBreaks("a\r"), "a");
  EXPECT_EQ(RemoveLineBreaks(""), "");
}

}  // namespace
}  // namespace vireon
