#include "kinetics/kinetics_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_binding.h"
#include "model/messages.h"

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
