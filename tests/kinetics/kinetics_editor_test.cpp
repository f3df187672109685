#include "kinetics/kinetics_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/expression_fault.h"
#include "kinetics/kinetic_binding.h"
#include "model/messages.h"
#include "sbml/built_in_law_formulas.h"

namespace vireon {
namespace {

constexpr double kDefaultConstant = 1.5;

class KineticsEditorTest : public ::testing::Test {
 protected:
  KineticsEditorTest() {
    BuildBuiltInKineticTypes(catalogue);
    // A -> B (reversible, 1:1), A + C = B + D (reversible, 2:2).
    model.Allocate(2, 4, 4, 0, 1);
    const char* names[] = {"A", "B", "C", "D"};
    for (int i = 0; i < 4; ++i) model.metabolites[i].name = names[i];
    Step& uni = model.steps[0];
    uni.name = "uni";
    uni.SizeSubstrates(1);
    uni.AppendSubstrate(0);
    uni.SizeProducts(1);
    uni.AppendProduct(1);
    Step& bi = model.steps[1];
    bi.name = "bi";
    bi.SizeSubstrates(2);
    bi.AppendSubstrate(0);
    bi.AppendSubstrate(2);
    bi.SizeProducts(2);
    bi.AppendProduct(1);
    bi.AppendProduct(3);
    BindMissingKineticTypes(model, catalogue, kDefaultConstant);
  }

  KineticCatalogue catalogue;
  Model model;
  RecordingSink sink;
};

TEST_F(KineticsEditorTest, ApplyingATypeKeepsConstantsAndModifiersByPosition) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  ASSERT_EQ(editor.currentStep(), 0);
  ASSERT_TRUE(editor.ApplyType("Reversible Michaelis-Menten"));
  editor.SetConstant(0, 10);
  editor.SetConstant(1, 20);
  editor.SetConstant(2, 30);
  editor.SetConstant(3, 40);
  ASSERT_TRUE(editor.ApplyType("Mixed inhibition (rev)"));
  const Step& step = editor.steps()[0];
  EXPECT_EQ(step.constants,
            (std::vector<double>{10, 20, 30, 40, kDefaultConstant, kDefaultConstant}));
  EXPECT_EQ(step.modifiers, std::vector<int>{-1});
  EXPECT_EQ(step.kineticTypeName, "Mixed inhibition (rev)");
  EXPECT_EQ(step.kineticType, catalogue.Find("Mixed inhibition (rev)"));

  editor.SetModifier(0, 3);
  ASSERT_TRUE(editor.ApplyType("Competitive inhibition (rev)"));
  EXPECT_EQ(editor.steps()[0].modifiers, std::vector<int>{3});
  EXPECT_EQ(editor.steps()[0].constants, (std::vector<double>{10, 20, 30, 40, kDefaultConstant}));
  ASSERT_TRUE(editor.ApplyType("Uni Uni"));
  EXPECT_TRUE(editor.steps()[0].modifiers.empty());
  EXPECT_EQ(editor.steps()[0].constants, (std::vector<double>{10, 20, 30, 40}));
}

TEST_F(KineticsEditorTest, OnlyEligibleTypesCanBeApplied) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  EXPECT_FALSE(editor.ApplyType("Ordered Bi Bi"));
  EXPECT_FALSE(editor.ApplyType("Henri-Michaelis-Menten (irreversible)"));
  EXPECT_FALSE(editor.ApplyType("no such type"));
  EXPECT_EQ(editor.steps()[0].kineticTypeName, kConstantFluxReversible);
  const std::vector<const KineticType*> eligible = editor.EligibleTypes();
  ASSERT_FALSE(eligible.empty());
  EXPECT_EQ(eligible.front()->name, kConstantFluxReversible);
  EXPECT_EQ(editor.CurrentType(), catalogue.Find(kConstantFluxReversible));
}

TEST_F(KineticsEditorTest, LeavingAStepWithAnUnassignedModifierIsRefused) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  ASSERT_TRUE(editor.ApplyType("Competitive inhibition (rev)"));
  EXPECT_FALSE(editor.SelectStep(1, sink));
  EXPECT_EQ(editor.currentStep(), 0);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{messages::kModifiersUndefined});
  EXPECT_FALSE(editor.Commit(model, sink));
  EXPECT_EQ(model.steps[0].kineticTypeName, kConstantFluxReversible);

  editor.SetModifier(0, 2);
  EXPECT_TRUE(editor.SelectStep(1, sink));
  EXPECT_EQ(editor.currentStep(), 1);
  EXPECT_EQ(sink.messages().size(), 2u);
}

TEST_F(KineticsEditorTest, ConstantsAreShownSixAtATimeAndWrapAround) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  ASSERT_TRUE(editor.SelectStep(1, sink));
  ASSERT_TRUE(editor.ApplyType("Ordered Bi Bi"));
  EXPECT_TRUE(editor.HasMoreConstants());
  std::vector<KineticsEditor::ConstantField> fields = editor.ConstantFields();
  ASSERT_EQ(fields.size(), 6u);
  EXPECT_EQ(fields[0].label, "Keq");
  EXPECT_EQ(fields[0].index, 0);
  editor.NextConstantGroup();
  fields = editor.ConstantFields();
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields[0].index, 6);
  EXPECT_EQ(fields[0].label, "Kmq");
  EXPECT_EQ(fields[3].label, "Kip");
  editor.NextConstantGroup();
  EXPECT_EQ(editor.ConstantFields()[0].label, "Keq");

  ASSERT_TRUE(editor.ApplyType("Ping Pong Bi Bi"));
  EXPECT_EQ(editor.ConstantFields().size(), 6u);
  ASSERT_TRUE(editor.ApplyType("Mass action (reversible)"));
  EXPECT_FALSE(editor.HasMoreConstants());
  EXPECT_EQ(editor.ConstantFields().size(), 2u);
  EXPECT_FALSE(editor.HasMoreModifiers());
  EXPECT_TRUE(editor.ModifierFields().empty());
}

TEST_F(KineticsEditorTest, TypedValuesAreStoredWhenTheyAreNumbers) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  EXPECT_TRUE(editor.SetConstantText(0, " 2.5e-3 "));
  EXPECT_EQ(editor.steps()[0].constants[0], 2.5e-3);
  EXPECT_FALSE(editor.SetConstantText(0, "abc"));
  EXPECT_FALSE(editor.SetConstantText(0, "1.5x"));
  EXPECT_FALSE(editor.SetConstantText(0, ""));
  // A rate law cannot work with a constant beyond the doubles.
  for (const char* notFinite : {"1e999", "-1e999", "inf", "nan", " infinity "}) {
    EXPECT_FALSE(editor.SetConstantText(0, notFinite)) << notFinite;
  }
  EXPECT_EQ(editor.steps()[0].constants[0], 2.5e-3);
  EXPECT_EQ(editor.ConstantFields()[0].text, "0.0025");
  // With a sink, the refusal says which constant and why.
  RecordingSink sink;
  EXPECT_FALSE(editor.SetConstantText(0, "1e999", &sink));
  EXPECT_FALSE(editor.SetConstantText(0, "nan", &sink));
  const std::string name = editor.ConstantFields()[0].label;
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{
                name + ": \"1e999\" is beyond the largest number (about 1.8e308).\nThe constant "
                       "keeps its value.",
                name + ": \"nan\" is not a finite number.\nThe constant keeps its value."}));
  EXPECT_EQ(editor.steps()[0].constants[0], 2.5e-3);
  editor.SetConstant(0, 0.1);
  EXPECT_EQ(editor.ConstantFields()[0].text, "0.1");
  editor.SetConstant(0, 1.0 / 3.0);
  EXPECT_EQ(editor.ConstantFields()[0].text, "0.3333333333333333");
}

TEST_F(KineticsEditorTest, ModifierFieldsShowRolesAndAssignments) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  ASSERT_TRUE(editor.ApplyType("Specific activation (rev)"));
  editor.SetModifier(0, 3);
  editor.SetModifier(0, 9);  // not a metabolite: ignored
  const std::vector<KineticsEditor::ModifierField> fields = editor.ModifierFields();
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].label, "Activator");
  EXPECT_EQ(fields[0].metabolite, 3);
  EXPECT_EQ(editor.metabolites().size(), 4u);
}

TEST_F(KineticsEditorTest, CommitCopiesTheKineticsBack) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  ASSERT_TRUE(editor.ApplyType("Uni Uni"));
  editor.SetConstant(3, 9.5);
  ASSERT_TRUE(editor.SelectStep(1, sink));
  ASSERT_TRUE(editor.ApplyType("Ping Pong Bi Bi"));
  EXPECT_EQ(model.steps[0].kineticTypeName, kConstantFluxReversible);  // a working copy
  ASSERT_TRUE(editor.Commit(model, sink));
  EXPECT_EQ(model.steps[0].kineticType, catalogue.Find("Uni Uni"));
  EXPECT_EQ(model.steps[0].constants,
            (std::vector<double>{kDefaultConstant, kDefaultConstant, kDefaultConstant, 9.5}));
  EXPECT_EQ(model.steps[1].kineticTypeName, "Ping Pong Bi Bi");
  EXPECT_EQ(model.steps[1].constants.size(), 9u);
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(KineticsEditorTest, AModelWithoutStepsHasNothingToEdit) {
  Model empty;
  KineticsEditor editor(empty, catalogue, kDefaultConstant);
  EXPECT_EQ(editor.currentStep(), -1);
  EXPECT_TRUE(editor.EligibleTypes().empty());
  EXPECT_FALSE(editor.ApplyType("Uni Uni"));
  EXPECT_FALSE(editor.SelectStep(0, sink));
  EXPECT_TRUE(editor.Commit(empty, sink));
}

}  // namespace
}  // namespace vireon

namespace vireon {
namespace {

// The formulas of the built-in laws are the export's; any table serves the
// editor's substitution, so the tests use the program's own.
std::string_view Formulas(std::string_view typeName) {
  return sbml::BuiltInLawFormula(typeName);
}

TEST_F(KineticsEditorTest, TheRateLawReadsInTheStepsOwnNames) {
  model.steps[0].equation = "A = B";
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  EXPECT_EQ(editor.CurrentEquation(), "A = B");
  ASSERT_TRUE(editor.ApplyType("Reversible Michaelis-Menten"));
  const KineticType* type = editor.CurrentType();
  ASSERT_NE(type, nullptr);
  const std::vector<std::string>& km = type->constantNames;
  EXPECT_EQ(editor.CurrentFormula(Formulas), "(" + km[2] + "*A/" + km[0] + " - " + km[3] + "*B/" +
                                                 km[1] + ")/(1 + A/" + km[0] + " + B/" + km[1] +
                                                 ")");

  // A modifier not yet chosen is named by its role, a chosen one by the metabolite.
  ASSERT_TRUE(editor.ApplyType("Competitive inhibition (rev)"));
  const std::string role = editor.CurrentType()->modifierNames[0];
  EXPECT_NE(editor.CurrentFormula(Formulas).find(" + B/" + editor.CurrentType()->constantNames[1] +
                                                 " + " + role + "/"),
            std::string::npos)
      << editor.CurrentFormula(Formulas);
  editor.SetModifier(0, 2);
  EXPECT_NE(editor.CurrentFormula(Formulas).find(" + C/"), std::string::npos);

  ASSERT_TRUE(editor.SelectStep(1, sink));
  ASSERT_TRUE(editor.ApplyType("Mass action (reversible)"));
  const std::vector<std::string>& k = editor.CurrentType()->constantNames;
  EXPECT_EQ(editor.CurrentFormula(Formulas), k[0] + "*A*C - " + k[1] + "*B*D");
  EXPECT_EQ(editor.CurrentFormula(nullptr), k[0] + "*A*C - " + k[1] + "*B*D");
}

TEST_F(KineticsEditorTest, EveryBuiltInFormulaParsesWithNoPlaceholderLeft) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  for (int step : {0, 1}) {
    ASSERT_TRUE(editor.SelectStep(step, sink));
    for (const KineticType* type : editor.EligibleTypes()) {
      SCOPED_TRACE(type->name);
      ASSERT_TRUE(editor.ApplyType(type->name));
      for (int m = 0; m < editor.CurrentType()->modifiers; ++m) editor.SetModifier(m, 3);
      const std::string formula = editor.CurrentFormula(Formulas);
      ASSERT_FALSE(formula.empty());
      EXPECT_EQ(FindExpressionFault(formula, KineticExpressionDialect()), std::nullopt) << formula;
      std::vector<ExpressionNode> nodes;
      ASSERT_TRUE(BuildExpressionNodes(formula, KineticExpressionDialect(), nodes));
      for (const ExpressionNode& node : nodes) {
        if (node.kind != node_kind::kSymbol) continue;
        const bool metabolite = node.name.size() == 1 && node.name >= "A" && node.name <= "D";
        const auto& names = editor.CurrentType()->constantNames;
        const bool constant = std::find(names.begin(), names.end(), node.name) != names.end();
        EXPECT_TRUE(metabolite || constant) << node.name << " in " << formula;
      }
    }
  }
}

TEST_F(KineticsEditorTest, AllFieldsAreEveryConstantAndModifier) {
  KineticsEditor editor(model, catalogue, kDefaultConstant);
  ASSERT_TRUE(editor.SelectStep(1, sink));
  ASSERT_TRUE(editor.ApplyType("Ordered Bi Bi"));
  const std::vector<KineticsEditor::ConstantField> all = editor.AllConstantFields();
  ASSERT_EQ(all.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(all[static_cast<std::size_t>(i)].index, i);
    EXPECT_EQ(all[static_cast<std::size_t>(i)].label, editor.CurrentType()->constantNames[static_cast<std::size_t>(i)]);
  }
  ASSERT_TRUE(editor.SelectStep(0, sink));
  ASSERT_TRUE(editor.ApplyType("Mixed inhibition (rev)"));
  ASSERT_EQ(editor.AllModifierFields().size(), 1u);
  EXPECT_EQ(editor.AllModifierFields()[0].metabolite, -1);
}

}  // namespace
}  // namespace vireon
