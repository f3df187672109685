#include "model/reaction_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/messages.h"
#include "model/working_copy.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

using test::BuildModel;

std::vector<std::string> StepNames(const StepTable& table) {
  std::vector<std::string> names;
  for (const Step& s : table.records) names.push_back(s.name);
  return names;
}

std::vector<std::string> MetaboliteNames(const std::vector<Metabolite>& metabolites) {
  std::vector<std::string> names;
  for (const Metabolite& m : metabolites) names.push_back(m.name);
  return names;
}

// Commits the editor and applies its working copy to document.
void CommitInto(ReactionEditor& editor, Model& document) {
  ASSERT_TRUE(editor.Commit(nullptr));
  ApplyWorkingCopy(document, editor.working(), nullptr);
}

// ---- opening ----

TEST(ReactionEditorOpenTest, KeepsReferencedMetabolitesAndRenumbersModifiers) {
  // X0 and X1 lose their only step; M is then a modifier of v2 alone.
  Model document = BuildModel({{"v1", "X0 + X1 -> M"}, {"v2", "A -> B"}});
  RecordingSink sink;
  {
    ReactionEditor editor(document, sink);
    ASSERT_TRUE(editor.Delete(0));
    CommitInto(editor, document);
  }
  // The metabolites stay until the next opening.
  ASSERT_EQ(MetaboliteNames(document.metabolites),
            (std::vector<std::string>{"X0", "X1", "M", "A", "B"}));
  document.steps[0].modifiers = {2};

  ReactionEditor editor(document, sink);
  EXPECT_EQ(MetaboliteNames(editor.metabolites().records),
            (std::vector<std::string>{"M", "A", "B"}));
  EXPECT_EQ(editor.working().nMetabolites(), 3);
  ASSERT_EQ(editor.steps().records[0].modifiers, std::vector<int>{0});

  CommitInto(editor, document);
  ASSERT_EQ(MetaboliteNames(document.metabolites), (std::vector<std::string>{"M", "A", "B"}));
  EXPECT_EQ(document.steps[0].modifiers, std::vector<int>{0});
  EXPECT_EQ(document.steps[0].equation, "A -> B");
  // The modifier has no stoichiometry of its own.
  EXPECT_EQ(document.stoichiometry[0][0], 0.0f);
  EXPECT_TRUE(sink.messages().empty());
}

TEST(ReactionEditorOpenTest, TableCapacities) {
  RecordingSink sink;
  Model small = BuildModel({{"v1", "A -> B"}});
  ReactionEditor smallEditor(small, sink);
  EXPECT_EQ(smallEditor.steps().capacity, 100);
  EXPECT_EQ(smallEditor.metabolites().capacity, 100);

  Model large;
  large.Allocate(90, 0, 0, 0, 1);
  ReactionEditor largeEditor(large, sink);
  EXPECT_EQ(largeEditor.steps().capacity, 117);  // (int)(90 * 1.3)
  EXPECT_EQ(largeEditor.metabolites().capacity, 100);
}

// ---- selecting, adding, changing, deleting ----

TEST(ReactionEditorEditTest, SelectLoadsTheFieldsOrSaysNothingIsSelected) {
  Model document = BuildModel({{"v1", "A -> B"}, {"v2", "B = C"}});
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  ASSERT_TRUE(editor.Select(1));
  EXPECT_EQ(editor.nameField(), "v2");
  EXPECT_EQ(editor.equationField(), "B = C");
  EXPECT_EQ(editor.changing(), 1);
  EXPECT_TRUE(sink.messages().empty());

  for (int index : {-1, 2}) {
    sink.Clear();
    EXPECT_FALSE(editor.Select(index));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{messages::kNoItemSelected});
    EXPECT_EQ(editor.changing(), 1);
  }
}

TEST(ReactionEditorEditTest, AddingAppendsAStepWithTheTypedText) {
  RecordingSink sink;
  ReactionEditor editor(Model(), sink);
  ASSERT_TRUE(editor.AddOrChange("v1", "2*A->B"));
  ASSERT_TRUE(editor.AddOrChange("v2", "B = C"));
  EXPECT_EQ(StepNames(editor.steps()), (std::vector<std::string>{"v1", "v2"}));
  EXPECT_EQ(editor.steps().records[0].equation, "2*A->B");
  EXPECT_EQ(editor.changing(), -1);
  EXPECT_TRUE(sink.messages().empty());
}

TEST(ReactionEditorEditTest, DuplicateStepNamesAreRefused) {
  Model document = BuildModel({{"v1", "A -> B"}, {"v2", "B -> C"}});
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  const std::vector<Step> before = editor.steps().records;

  EXPECT_FALSE(editor.AddOrChange("v1", "C -> D"));  // adding
  ASSERT_TRUE(editor.Select(1));
  EXPECT_FALSE(editor.AddOrChange("v1", "C -> D"));  // renaming v2 to v1
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{messages::kStepNameInUse, messages::kStepNameInUse}));
  EXPECT_EQ(editor.steps().records, before);

  // Names compare exactly, and a step may keep its own name.
  sink.Clear();
  EXPECT_TRUE(editor.AddOrChange("v2", "C -> D"));
  EXPECT_EQ(editor.steps().records[1].equation, "C -> D");
  editor.StartNew();
  EXPECT_TRUE(editor.AddOrChange("V1", "D -> E"));
  EXPECT_EQ(StepNames(editor.steps()), (std::vector<std::string>{"v1", "v2", "V1"}));
  EXPECT_TRUE(sink.messages().empty());
}

TEST(ReactionEditorEditTest, StepNamesMustBeOneNonEmptyWord) {
  Model document = BuildModel({{"v1", "A -> B"}});
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  const std::vector<Step> before = editor.steps().records;

  for (const char* bad : {"", "two words", "tab\there", "line\nbreak", " v2", "v2 "}) {
    EXPECT_FALSE(editor.AddOrChange(bad, "C -> D")) << bad;  // adding
  }
  ASSERT_TRUE(editor.Select(0));
  EXPECT_FALSE(editor.AddOrChange("", "A -> B"));  // emptying a step's name
  EXPECT_EQ(sink.Texts(), std::vector<std::string>(7, messages::kBadStepName));
  EXPECT_EQ(editor.steps().records, before);

  // Signs and punctuation that metabolite names may not hold are fine here.
  sink.Clear();
  editor.StartNew();
  EXPECT_TRUE(editor.AddOrChange("v2.a=b*c->d", "C -> D"));
  EXPECT_TRUE(sink.messages().empty());
}

TEST(ReactionEditorEditTest, TextNotYetTakenIsKnownForNewAndChangedSteps) {
  Model document = BuildModel({{"v1", "A -> B"}});
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  EXPECT_FALSE(editor.HasUntakenText("", ""));
  EXPECT_TRUE(editor.HasUntakenText("", "C -> D"));
  EXPECT_TRUE(editor.HasUntakenText("v2", ""));

  ASSERT_TRUE(editor.Select(0));
  EXPECT_FALSE(editor.HasUntakenText("v1", "A -> B"));
  EXPECT_TRUE(editor.HasUntakenText("v1", "A -> C"));
  EXPECT_TRUE(editor.HasUntakenText("w1", "A -> B"));

  // What Add or Change took is no longer pending.
  ASSERT_TRUE(editor.AddOrChange("v1", "A -> C"));
  EXPECT_FALSE(editor.HasUntakenText("v1", "A -> C"));
  ASSERT_TRUE(editor.Commit(nullptr));
  EXPECT_FALSE(editor.HasUntakenText("v1", "A -> D"));
}

TEST(ReactionEditorEditTest, SyntaxErrorLeavesTheTablesUnchanged) {
  Model document = BuildModel({{"v1", "A -> B"}});
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  const std::vector<Step> steps = editor.steps().records;
  const std::vector<Metabolite> metabolites = editor.metabolites().records;

  for (const char* bad : {"A -> B -> C", "", "1.5*A -> B", "-2*A -> B"}) {
    EXPECT_FALSE(editor.AddOrChange("v2", bad)) << bad;  // adding
  }
  ASSERT_TRUE(editor.Select(0));
  EXPECT_FALSE(editor.AddOrChange("v1", "A + -> B"));  // changing
  // Each refusal says where the equation is wrong and why.
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{
                "Syntax error at character 8 (an equation has one \"=\" or \"->\"): A -> B [-]> C",
                "Syntax error at the end (\"=\" or \"->\" must stand between substrates and "
                "products): []",
                "Syntax error at character 2 (a term holds no \".\": coefficients are whole "
                "numbers): 1[.]5*A -> B",
                "Syntax error at character 1 (a coefficient is a whole number from 1 to 10000): "
                "[-]2*A -> B",
                "Syntax error at character 3 (a term is missing after \"+\"): A [+] -> B"}));
  EXPECT_EQ(editor.steps().records, steps);
  EXPECT_EQ(editor.metabolites().records, metabolites);
}

TEST(ReactionEditorEditTest, StepTableGrowsWhenItsCountReachesCapacityLessOne) {
  RecordingSink sink;
  ReactionEditor editor(Model(), sink);
  for (int i = 0; i < 99; ++i) {
    ASSERT_TRUE(editor.AddOrChange("v" + std::to_string(i), "A -> B"));
  }
  EXPECT_EQ(editor.steps().count(), 99);
  EXPECT_EQ(editor.steps().capacity, 100);
  ASSERT_TRUE(editor.AddOrChange("v99", "A -> B"));
  EXPECT_EQ(editor.steps().count(), 100);
  EXPECT_EQ(editor.steps().capacity, 130);
}

TEST(ReactionEditorEditTest, DeleteMovesTheStepBeingChanged) {
  Model document = BuildModel({{"v1", "A -> B"}, {"v2", "B -> C"}, {"v3", "C -> D"}});
  RecordingSink sink;
  ReactionEditor editor(document, sink);

  ASSERT_TRUE(editor.Select(2));
  ASSERT_TRUE(editor.Delete(0));
  EXPECT_EQ(StepNames(editor.steps()), (std::vector<std::string>{"v2", "v3"}));
  EXPECT_EQ(editor.changing(), 1);  // still v3
  EXPECT_TRUE(editor.AddOrChange("v3", "C = D"));
  EXPECT_EQ(editor.steps().records[1].equation, "C = D");

  ASSERT_TRUE(editor.Delete(1));  // the step being changed itself
  EXPECT_EQ(editor.changing(), -1);
  ASSERT_TRUE(editor.Select(0));
  ASSERT_TRUE(editor.Delete(0));
  EXPECT_EQ(editor.steps().count(), 0);
  EXPECT_TRUE(sink.messages().empty());

  EXPECT_FALSE(editor.Delete(0));
  EXPECT_FALSE(editor.Delete(-1));
  EXPECT_EQ(sink.Texts(), std::vector<std::string>(2, messages::kNoItemSelected));
}

// ---- commit ----

TEST(ReactionEditorCommitTest, BuildsMetabolitesInOrderOfFirstAppearance) {
  Model document = BuildModel({{"v1", "S -> X"}});
  document.metabolites[0].initialConcentration = 7.0;
  document.metabolites[0].type = FIXED;
  RecordingSink sink;
  ReactionEditor editor(document, sink, 0.5);
  ASSERT_TRUE(editor.AddOrChange("v2", "2*X + Y = Z"));
  ASSERT_TRUE(editor.AddOrChange("v0", "Z -> S"));
  CommitInto(editor, document);

  ASSERT_EQ(MetaboliteNames(document.metabolites), (std::vector<std::string>{"S", "X", "Y", "Z"}));
  EXPECT_EQ(document.metabolites[0].initialConcentration, 7.0);  // kept values
  EXPECT_EQ(document.metabolites[0].type, FIXED);
  EXPECT_EQ(document.metabolites[2].initialConcentration, 0.5);  // a new one
  EXPECT_EQ(document.nVariable, 4);
  EXPECT_EQ(document.nMoieties(), 0);

  const float expected[4][3] = {{-1, 0, 1}, {1, -2, 0}, {0, -1, 0}, {0, 1, -1}};
  for (int m = 0; m < 4; ++m) {
    for (int s = 0; s < 3; ++s) EXPECT_EQ(document.stoichiometry[m][s], expected[m][s]) << m << s;
  }
  EXPECT_EQ(document.steps[1].substrates, (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(document.steps[1].products, std::vector<int>{3});
  EXPECT_EQ(document.steps[1].reversible, 1);
  EXPECT_EQ(document.steps[1].equation, "X + X + Y = Z");
  EXPECT_EQ(document.steps[2].reversible, 0);
  EXPECT_FALSE(editor.isOpen());
  EXPECT_EQ(editor.steps().count(), 0);  // the tables are released
}

TEST(ReactionEditorCommitTest, StepWithoutKineticTypeGetsTheDefault) {
  Model document = BuildModel({{"v1", "A -> B"}, {"v2", "B -> C"}});
  // A stand-in address: the editor only tells a set kinetic type from none.
  alignas(64) static const unsigned char kStandIn[64] = {};
  const auto* someType = reinterpret_cast<const KineticType*>(kStandIn);
  for (Step& s : document.steps) {
    s.kineticType = someType;
    s.kineticTypeName = "Some type";
  }
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  ASSERT_TRUE(editor.Delete(1));
  ASSERT_TRUE(editor.AddOrChange("v2", "B -> C"));  // added right after a delete
  EXPECT_EQ(editor.steps().records[1].kineticType, nullptr);
  EXPECT_TRUE(editor.steps().records[1].kineticTypeName.empty());

  std::vector<std::string> given;
  ASSERT_TRUE(editor.Commit([&given](Step& step) {
    given.push_back(step.name);
    step.kineticTypeName =
        step.reversible ? "Constant flux (reversible)" : "Constant flux (irreversible)";
  }));
  EXPECT_EQ(given, std::vector<std::string>{"v2"});
  EXPECT_EQ(editor.working().steps[0].kineticType, someType);
  EXPECT_EQ(editor.working().steps[1].kineticTypeName, "Constant flux (irreversible)");
}

TEST(ReactionEditorCommitTest, EquationThatCameWithTheModelMustParse) {
  Model document = BuildModel({{"v1", "A -> B"}, {"v2", "B -> C"}});
  document.steps[1].equation = "B C";  // as a damaged file might have it
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  EXPECT_FALSE(editor.Commit(nullptr));
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{
                             "The equation of step v2: Syntax error at the end (\"=\" or \"->\" "
                             "must stand between substrates and products): B C[]"});
  EXPECT_TRUE(editor.isOpen());
  EXPECT_EQ(editor.changing(), 1);
  EXPECT_EQ(editor.equationField(), "B C");
  ASSERT_TRUE(editor.AddOrChange("v2", "B -> C"));
  EXPECT_TRUE(editor.Commit(nullptr));
}

TEST(ReactionEditorCommitTest, CancelLeavesTheDocumentAlone) {
  Model document = BuildModel({{"v1", "A -> B"}});
  const Model before = document;
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  ASSERT_TRUE(editor.AddOrChange("v2", "B -> C"));
  editor.Cancel();
  EXPECT_FALSE(editor.isOpen());
  EXPECT_EQ(document, before);
  EXPECT_EQ(editor.working(), before);
  EXPECT_FALSE(editor.AddOrChange("v3", "C -> D"));
  EXPECT_FALSE(editor.Commit(nullptr));
}

TEST(ReactionEditorCommitTest, ApplyingRebuildsEquationsAndRunsTheAnalysis) {
  Model document;
  RecordingSink sink;
  ReactionEditor editor(document, sink);
  ASSERT_TRUE(editor.AddOrChange("v1", " 2*A->B"));
  ASSERT_TRUE(editor.AddOrChange("v2", "->A"));
  ASSERT_TRUE(editor.Commit(nullptr));
  EXPECT_EQ(document.nSteps(), 0);  // nothing before the model page applies it

  int analysed = 0;
  ApplyWorkingCopy(document, editor.working(), [&](Model& model) {
    EXPECT_EQ(&model, &document);
    EXPECT_EQ(model.steps[0].equation, "A + A -> B");  // rebuilt before the analysis
    ++analysed;
  });
  EXPECT_EQ(analysed, 1);
  EXPECT_EQ(document.steps[1].equation, " -> A");
}

TEST(ModelBuilderTest, BuildsFromEquationsAndFixesTheNamedMetabolites) {
  Model model = BuildModel({{"v1", "2*S = I"}, {"v2", "I -> P"}}, {"S", "P"});
  ASSERT_EQ(MetaboliteNames(model.metabolites), (std::vector<std::string>{"S", "I", "P"}));
  EXPECT_EQ(model.metabolites[0].type, FIXED);
  EXPECT_EQ(model.metabolites[1].type, INDEPENDENT);
  EXPECT_EQ(model.metabolites[2].type, FIXED);
  EXPECT_EQ(model.steps[0].equation, "S + S = I");
  EXPECT_EQ(model.stoichiometry[0][0], -2.0f);
  EXPECT_EQ(model.stoichiometry[1][1], -1.0f);
}

}  // namespace
}  // namespace vireon
