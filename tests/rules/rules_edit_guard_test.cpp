#include "rules/rules_edit_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetics_editor.h"
#include "kinetics/user_kinetic_types_editor.h"
#include "kinetics/user_type_helpers.h"
#include "model/compartment_editor.h"
#include "model/metabolite_editor.h"
#include "model/reaction_editor.h"
#include "rules/rules_editor.h"
#include "rules_test_model.h"
#include "support/kinetic_models.h"

namespace vireon {
namespace {

using test::Assignment;
using test::MakeRule;
using test::RulesTestModel;

// S -> X -> P (mass action, R1 and R2, S and P fixed) with the global
// quantity kf, a rule that ties R1's constant to it, one that sets the
// fixed metabolite S and one that reads the compartment's volume.
Model GuardedModel() {
  Model model = test::LinearTwoStep();
  model.compartments[0].name = "cell";
  model.globalQuantities = {{"kf", 2.0}, {"size", 0.0}};
  model.rules = {MakeRule(RuleKind::kAssignment, "R1", "kf*2", RuleTargetKind::kKineticConstant),
                 MakeRule(RuleKind::kAssignment, "S", "kf + X", RuleTargetKind::kMetabolite),
                 Assignment("size", "cell")};
  model.rules[0].target.constant = "k";
  return model;
}

const ModelCheck kRulesCheck = RulesEditProblem;

TEST(RulesEditGuard, TheMetabolitesEditorRefusesWhatBreaksARule) {
  Model document = GuardedModel();
  ASSERT_EQ(RulesEditProblem(document, document), "");
  const Model original = document;
  RecordingSink sink;
  {
    MetaboliteEditor editor(document, sink);
    editor.rows()[1].name = "Y";  // X, which the rule for S reads
    EXPECT_FALSE(editor.Commit(document, {}, kRulesCheck));
    EXPECT_TRUE(sink.Said(
        "The assignment rule for S: X at character 6 is not a metabolite, compartment or global "
        "quantity of the model.\nPlease change the rules first."));
    EXPECT_EQ(document, original);
    // The same editor takes the rows once they break nothing.
    editor.rows()[1].name = "X";
    editor.rows()[2].name = "Q";
    EXPECT_TRUE(editor.Commit(document, {}, kRulesCheck));
    EXPECT_EQ(document.metabolites[2].name, "Q");
  }
  {
    MetaboliteEditor editor(document, sink);
    editor.rows()[0].fixed = false;  // S follows an assignment rule
    EXPECT_FALSE(editor.Commit(document, {}, kRulesCheck));
    EXPECT_EQ(document.metabolites[0].type, FIXED);
    editor.rows()[0].fixed = true;
    editor.rows()[2].name = "size";  // a global quantity's name, though no rule reads Q
    sink.Clear();
    EXPECT_FALSE(editor.Commit(document, {}, kRulesCheck));
    EXPECT_TRUE(sink.Said(
        "The name size of a metabolite is already in use by a global quantity.\nPlease give the "
        "metabolite another name."));
  }
  // Without the check the editor does what it always did.
  MetaboliteEditor editor(document, sink);
  editor.rows()[1].name = "Y";
  EXPECT_TRUE(editor.Commit(document, {}));
}

// An event's target and what it reads are kept as a rule's are.
TEST(RulesEditGuard, TheMetabolitesEditorKeepsWhatTheEventsUse) {
  Model document = test::LinearTwoStep();
  Event dose;
  dose.name = "dose";
  dose.trigger = "lt(X, 0.5)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "P", {}}, "0"}};
  document.events = {dose};
  ASSERT_EQ(RulesEditProblem(document, document), "");
  RecordingSink sink;
  for (const std::size_t renamed : {1u, 2u}) {  // X, read; P, set
    MetaboliteEditor editor(document, sink);
    editor.rows()[renamed].name = "Y";
    sink.Clear();
    EXPECT_FALSE(editor.Commit(document, {}, kRulesCheck));
    ASSERT_EQ(sink.messages().size(), 1u);
    EXPECT_NE(sink.messages()[0].text.find("the event dose"), std::string::npos)
        << sink.messages()[0].text;
    EXPECT_TRUE(sink.messages()[0].text.ends_with("\nPlease change the events first."));
  }
  MetaboliteEditor editor(document, sink);
  editor.rows()[0].name = "T";  // S, which the event leaves alone
  EXPECT_TRUE(editor.Commit(document, {}, kRulesCheck));
}

TEST(RulesEditGuard, TheCompartmentsEditorKeepsTheVolumesRulesRead) {
  Model document = GuardedModel();
  const Model original = document;
  RecordingSink sink;
  CompartmentEditor editor(document);
  editor.rows()[0].name = "cytosol";
  EXPECT_FALSE(editor.Commit(document, sink, kRulesCheck));
  EXPECT_EQ(editor.badRow(), -1);
  EXPECT_EQ(document, original);
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].text.rfind("The assignment rule for size: cell at character 1", 0),
            0u);
  editor.rows()[0].name = "cell";
  editor.rows()[0].volume = "2";
  EXPECT_TRUE(editor.Commit(document, sink, kRulesCheck));
}

// A metabolite that only a rule uses survives the reactions editor; a step
// whose constant a rule sets cannot go, and the refusal leaves the editor
// open with its tables as they were.
TEST(RulesEditGuard, TheReactionsEditorKeepsWhatTheRulesUse) {
  Model document = GuardedModel();
  document.globalQuantities.push_back({"total", 0.0});
  document.metabolites.push_back(Metabolite("Z", FIXED, 0, 4.0));  // in no step
  document.rules.push_back(Assignment("total", "Z + S"));
  ASSERT_EQ(RulesEditProblem(document, document), "");
  EXPECT_EQ(MetabolitesTheRulesUse(document), (std::vector<bool>{true, true, false, true}));

  RecordingSink sink;
  {
    ReactionEditor dropping(document, sink);
    EXPECT_FALSE(dropping.Commit({}, kRulesCheck));
    EXPECT_TRUE(dropping.isOpen());
    ASSERT_FALSE(sink.messages().empty());
    EXPECT_NE(sink.messages().back().text.find("The assignment rule for total: Z"),
              std::string::npos);
  }
  {
    ReactionEditor editor(document, sink, 0.0, MetabolitesTheRulesUse(document));
    ASSERT_EQ(editor.metabolites().count(), 4);
    ASSERT_TRUE(editor.Delete(0));  // R1, whose constant follows a rule
    sink.Clear();
    EXPECT_FALSE(editor.Commit({}, kRulesCheck));
    EXPECT_TRUE(sink.Said(
        "The target R1(k) of the assignment rule is not a kinetic constant of the model.\nPlease "
        "change the rules first."));
    EXPECT_TRUE(editor.isOpen());
    EXPECT_EQ(editor.metabolites().count(), 4);
  }
  // A new step and its new metabolite: the commit goes through and keeps Z.
  ReactionEditor editor(document, sink, 0.0, MetabolitesTheRulesUse(document));
  editor.StartNew();
  ASSERT_TRUE(editor.AddOrChange("R3", "P -> W"));
  ASSERT_TRUE(editor.Commit({}, kRulesCheck));
  EXPECT_EQ(editor.working().FindMetabolite("Z"), 3);
  EXPECT_EQ(editor.working().FindMetabolite("W"), 4);
}

TEST(RulesEditGuard, TheKineticsEditorKeepsTheConstantsRulesSet) {
  Model document = GuardedModel();
  const Model original = document;
  RecordingSink sink;
  KineticsEditor editor(document, test::BuiltInCatalogue(), 1.0);
  ASSERT_TRUE(editor.ApplyType("Henri-Michaelis-Menten (irreversible)"));  // R1: Km and V
  EXPECT_FALSE(editor.Commit(document, sink, kRulesCheck));
  EXPECT_EQ(document, original);
  EXPECT_TRUE(sink.Said(
      "The target R1(k) of the assignment rule is not a kinetic constant of the model.\nPlease "
      "change the rules first."));
  ASSERT_TRUE(editor.ApplyType("Mass action (irreversible)"));
  ASSERT_TRUE(editor.SelectStep(1, sink));
  ASSERT_TRUE(editor.ApplyType("Henri-Michaelis-Menten (irreversible)"));
  EXPECT_TRUE(editor.Commit(document, sink, kRulesCheck));
  EXPECT_EQ(document.steps[1].kineticTypeName, "Henri-Michaelis-Menten (irreversible)");
}

// A user-defined type edited or deleted in the "User-defined Kinetic Types"
// dialog keeps the constants that rules set: R1 follows "mm", whose V a
// rule ties to kf. Renaming V is refused with the dialog left open on the
// new text, deleting the type too; neither changes the model or the
// catalogue, and an edit that keeps V goes through.
TEST(RulesEditGuard, TheKineticTypesListKeepsTheConstantsRulesSet) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  catalogue.Insert(test::MakeMichaelisMenten("mm"));
  Model document = GuardedModel();
  document.steps[0].kineticTypeName = "mm";
  document.steps[0].kineticType = nullptr;
  BindMissingKineticTypes(document, catalogue, 1.0);
  document.rules[0].target.constant = "V";
  ASSERT_EQ(RulesEditProblem(document, document), "");
  const Model original = document;
  RecordingSink sink;
  UserKineticTypesEditor list(catalogue, document, 1.0, kRulesCheck);

  KineticTypeEditor* dialog = list.BeginEdit("mm", sink);
  ASSERT_NE(dialog, nullptr);
  dialog->EditFunction();
  dialog->SetExpression("Vmax*S/(Km+S)");
  ASSERT_TRUE(dialog->AcceptFunction(sink));
  dialog->SetRole(1, SymbolRole::kSubstrate);
  EXPECT_FALSE(list.Finish(sink));
  EXPECT_TRUE(sink.Said(
      "The target R1(V) of the assignment rule is not a kinetic constant of the model.\nPlease "
      "change the rules first."));
  EXPECT_EQ(document, original);
  ASSERT_EQ(list.dialog(), dialog);
  EXPECT_FALSE(catalogue.Contains("mm"));
  ASSERT_EQ(dialog->symbols().size(), 3u);
  EXPECT_EQ(dialog->symbols()[1].role, SymbolRole::kSubstrate);

  // Put back as it was, the law passes; the steps are rebound to it.
  dialog->EditFunction();
  dialog->SetExpression("V*S/(Km+S)");
  ASSERT_TRUE(dialog->AcceptFunction(sink));
  dialog->SetRole(1, SymbolRole::kSubstrate);
  ASSERT_TRUE(list.Finish(sink));
  EXPECT_EQ(document.steps[0].kineticType, catalogue.Find("mm"));

  sink.Clear();
  sink.QueueAnswer(Answer::kYes);
  EXPECT_FALSE(list.Delete("mm", sink));
  EXPECT_TRUE(catalogue.Contains("mm"));
  EXPECT_EQ(document.steps[0].kineticType, catalogue.Find("mm"));
  EXPECT_EQ(sink.Texts().size(), 1u);  // the refusal, and no question before it
}

// An edit cannot break rules that were broken before it: the model stays
// editable while the user mends them.
TEST(RulesEditGuard, RulesBrokenBeforeTheEditDoNotStopIt) {
  Model before = RulesTestModel();
  before.rules = {Assignment("a", "nothing")};
  Model edited = before;
  edited.metabolites[0].name = "T";
  EXPECT_EQ(RulesEditProblem(before, edited), "");
  before.rules.clear();
  edited.rules.clear();
  EXPECT_EQ(RulesEditProblem(before, edited), "");
}

// The "Rules" dialog's choices of a target, and a rule on a kinetic constant.
TEST(RulesEditor, OffersTargetsByKindAndSetsKineticConstants) {
  Model document = GuardedModel();
  document.rules.clear();
  RulesEditor editor(document);
  using Names = std::vector<std::string>;
  EXPECT_EQ(editor.TargetNames(RuleKind::kAssignment, RuleTargetKind::kMetabolite),
            (Names{"S", "P"}));
  EXPECT_EQ(editor.TargetNames(RuleKind::kInitialAssignment, RuleTargetKind::kMetabolite),
            (Names{"S", "X", "P"}));
  EXPECT_EQ(editor.TargetNames(RuleKind::kRate, RuleTargetKind::kKineticConstant),
            (Names{"R1", "R2"}));
  EXPECT_EQ(editor.TargetNames(RuleKind::kRate, RuleTargetKind::kGlobalQuantity),
            (Names{"kf", "size"}));
  EXPECT_EQ(editor.ConstantNames("R2"), (Names{"k"}));
  EXPECT_TRUE(editor.ConstantNames("R9").empty());

  RecordingSink sink;
  const RuleForm tie{RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R2", "k", "kf/2"};
  ASSERT_TRUE(editor.Add(tie, sink)) << sink.Texts().back();
  EXPECT_EQ(editor.rules()[0].target, (RuleTarget{RuleTargetKind::kKineticConstant, "R2", "k"}));
  const RuleForm back = editor.FormOf(0);
  EXPECT_EQ(back.constant, "k");
  EXPECT_EQ(back.target, "R2");
  // The constant is named in the messages as its output item is titled.
  EXPECT_FALSE(
      editor.Add({RuleKind::kRate, RuleTargetKind::kKineticConstant, "R2", "k", "1"}, sink));
  EXPECT_EQ(editor.lastRefusal().field, RuleField::kTarget);
  EXPECT_EQ(editor.lastRefusal().message.rfind("R2(k) is the target of two rules over time", 0),
            0u);
  EXPECT_FALSE(editor.Change(
      0, {RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R2", "k", "kf*Vmax"}, sink));
  EXPECT_EQ(editor.lastRefusal().field, RuleField::kExpression);
  EXPECT_EQ(editor.lastRefusal().position, 3u);
  EXPECT_EQ(editor.lastRefusal().name, "Vmax");
  EXPECT_EQ(editor.lastRefusal().message.rfind("The assignment rule for R2(k): Vmax", 0), 0u);
  EXPECT_FALSE(
      editor.Add({RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "R1", "Km", "1"}, sink));
  EXPECT_EQ(editor.lastRefusal().field, RuleField::kTarget);
  // A rule over time on a metabolite the steps change is refused.
  EXPECT_FALSE(editor.Add({RuleKind::kRate, RuleTargetKind::kMetabolite, "X", "", "1"}, sink));
  EXPECT_EQ(editor.rules().size(), 1u);
  ASSERT_TRUE(editor.Commit(document, sink, {}));
  EXPECT_EQ(document.rules, editor.rules());
}

}  // namespace
}  // namespace vireon
