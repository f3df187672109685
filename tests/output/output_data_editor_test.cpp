#include "output/output_data_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "output_test_models.h"

namespace vireon {
namespace {

// One line per leaf: its path, then every entry as title{type:I,J}.
void Flatten(const std::vector<OutputDataNode>& nodes, const std::string& path,
             std::vector<std::string>& lines) {
  for (const OutputDataNode& node : nodes) {
    std::string name = path.empty() ? node.text : path + "/" + node.text;
    if (!node.children.empty()) {
      EXPECT_TRUE(node.entries.empty()) << name;
      Flatten(node.children, name, lines);
      continue;
    }
    std::string line = name + ":";
    for (const OutputItem& entry : node.entries) {
      line += " " + entry.title + "{" + std::to_string(entry.type) + ":" + entry.i + "," + entry.j +
              "}";
    }
    lines.push_back(line);
  }
}

std::vector<std::string> Flatten(const std::vector<OutputDataNode>& tree) {
  std::vector<std::string> lines;
  Flatten(tree, "", lines);
  return lines;
}

const std::vector<std::string> kFunctions = {"f1", "f2"};

const char* kNumericalMethods =
    "numerical methods: step count{15:,} F(x) evaluations{16:,} Jac. evaluations{17:,} step "
    "size{18:,} rel.tolerance{19:,} abs.tolerance{20:,} deriv.factor{22:,} ss resolution{21:,}";

TEST(OutputDataTreeTest, TimeCourseOutput) {
  auto t = test::EnzymeMoiety();
  EXPECT_EQ(Flatten(BuildOutputDataTree(OutputDataMode::kTimeCourse, t->model, kFunctions)),
            (std::vector<std::string>{
                "time: time{14:,} real time{23:,}",
                "metabolites/initial concentrations: [E]i{1:E,} [S]i{1:S,} [ES]i{1:ES,} "
                "[P]i{1:P,}",
                "metabolites/transient concentrations: [E]t{3:E,} [S]t{3:S,} [ES]t{3:ES,} "
                "[P]t{3:P,}",
                "metabolites/conservation relations:   E + ES {13:  E + ES ,}",
                "steps/fluxes: J(binding){5:binding,} J(catalysis){5:catalysis,}",
                "steps/kinetic constants: binding(k1){6:binding,k1} binding(k2){6:binding,k2} "
                "catalysis(k){6:catalysis,k}",
                "compartments: V(compartment){12:compartment,} V(cytosol){12:cytosol,}",
                "user functions: f1{24:,} f2{24:,}",
                kNumericalMethods,
            }));
}

TEST(OutputDataTreeTest, SteadyStateOutput) {
  auto t = test::EnzymeMoiety();
  EXPECT_EQ(Flatten(BuildOutputDataTree(OutputDataMode::kSteadyState, t->model, kFunctions)),
            (std::vector<std::string>{
                "time: real time{23:,}",
                "metabolites/initial concentrations: [E]i{1:E,} [S]i{1:S,} [ES]i{1:ES,} "
                "[P]i{1:P,}",
                "metabolites/steady-state concentrations: [E]ss{2:E,} [S]ss{2:S,} "
                "[ES]ss{2:ES,} [P]ss{2:P,}",
                "metabolites/conservation relations:   E + ES {13:  E + ES ,}",
                "metabolites/transition times: tt(E){10:E,} tt(S){10:S,} tt(ES){10:ES,} "
                "tt(P){10:P,}",
                "steps/fluxes: J(binding){4:binding,} J(catalysis){4:catalysis,}",
                "steps/kinetic constants: binding(k1){6:binding,k1} binding(k2){6:binding,k2} "
                "catalysis(k){6:catalysis,k}",
                "compartments: V(compartment){12:compartment,} V(cytosol){12:cytosol,}",
                "eigenvalues: Max.real eigenvalue component{27:,} Max.imag.eigenvalue "
                "component{28:,} Tot.real eigenvalues{31:,} Tot.imag.eigenvalues{32:,} "
                "Tot.cplx.eigenvalues{33:,} Tot.zero eigenvalues{34:,} Tot.w/pos.real "
                "part{29:,} Tot.w/neg.real part{30:,}",
                "control analysis/elasticities: e(binding,[E]){7:binding,E} "
                "e(binding,[S]){7:binding,S} e(binding,[ES]){7:binding,ES} "
                "e(binding,[P]){7:binding,P} e(catalysis,[E]){7:catalysis,E} "
                "e(catalysis,[S]){7:catalysis,S} e(catalysis,[ES]){7:catalysis,ES} "
                "e(catalysis,[P]){7:catalysis,P}",
                "control analysis/concentration-control coeffs.: C([E],binding){8:E,binding} "
                "C([E],catalysis){8:E,catalysis} C([ES],binding){8:ES,binding} "
                "C([ES],catalysis){8:ES,catalysis}",
                "control analysis/flux-control coeffs.: C(J(binding),binding){9:binding,binding} "
                "C(J(binding),catalysis){9:binding,catalysis} "
                "C(J(catalysis),binding){9:catalysis,binding} "
                "C(J(catalysis),catalysis){9:catalysis,catalysis}",
                "user functions: f1{24:,} f2{24:,}",
                kNumericalMethods,
            }));
}

TEST(OutputDataTreeTest, InteractiveWindow) {
  auto t = test::EnzymeMoiety();
  t->model.steps[1].kineticType = nullptr;  // a step without a type has no constants
  EXPECT_EQ(Flatten(BuildOutputDataTree(OutputDataMode::kInteractive, t->model, {})),
            (std::vector<std::string>{
                "metabolites/initial concentrations: [E]i{1:E,} [S]i{1:S,} [ES]i{1:ES,} "
                "[P]i{1:P,}",
                "metabolites/transient concentrations: [E]t{3:E,} [S]t{3:S,} [ES]t{3:ES,} "
                "[P]t{3:P,}",
                "metabolites/conservation relations:   E + ES {13:  E + ES ,}",
                "steps/fluxes: J(binding){5:binding,} J(catalysis){5:catalysis,}",
                "steps/kinetic constants: binding(k1){6:binding,k1} binding(k2){6:binding,k2}",
                "compartments: V(compartment){12:compartment,} V(cytosol){12:cytosol,}",
                "user functions:",
                kNumericalMethods,
            }));
}

// A model with global quantities gets the current volumes and the current
// values of its quantities after the compartments, in every mode; one with
// rules but no quantities only the current volumes.
TEST(OutputDataTreeTest, CurrentVolumesAndGlobalQuantitiesFollowTheCompartments) {
  auto t = test::EnzymeMoiety();
  t->model.globalQuantities = {{"Vmax", 2.0}, {"K", 0.5}};
  const std::vector<std::string> expected = {
      "compartments: V(compartment){12:compartment,} V(cytosol){12:cytosol,}",
      "current volumes: V(compartment)t{37:compartment,} V(cytosol)t{37:cytosol,}",
      "global quantities: Vmax(t){36:Vmax,} K(t){36:K,}",
  };
  for (OutputDataMode mode :
       {OutputDataMode::kTimeCourse, OutputDataMode::kSteadyState, OutputDataMode::kInteractive}) {
    const std::vector<std::string> lines = Flatten(BuildOutputDataTree(mode, t->model, kFunctions));
    const auto at = std::find(lines.begin(), lines.end(), expected[0]);
    ASSERT_NE(at, lines.end());
    ASSERT_GE(lines.end() - at, 3);
    EXPECT_EQ(std::vector<std::string>(at, at + 3), expected) << static_cast<int>(mode);
  }

  t->model.globalQuantities.clear();
  t->model.rules = {
      Rule{RuleKind::kRate, {RuleTargetKind::kCompartmentVolume, "cytosol", {}}, "1"}};
  const std::vector<std::string> lines =
      Flatten(BuildOutputDataTree(OutputDataMode::kTimeCourse, t->model, kFunctions));
  const auto at = std::find(lines.begin(), lines.end(), expected[0]);
  ASSERT_NE(at, lines.end());
  ASSERT_GE(lines.end() - at, 2);
  EXPECT_EQ(at[1], expected[1]);
  EXPECT_EQ(at[2], "user functions: f1{24:,} f2{24:,}");
}

const OutputDataNode& Node(const OutputDataEditor& editor, const std::string& text,
                           const std::string& child = {}) {
  for (const OutputDataNode& node : editor.tree()) {
    if (node.text != text) continue;
    if (child.empty()) return node;
    for (const OutputDataNode& c : node.children) {
      if (c.text == child) return c;
    }
  }
  ADD_FAILURE() << "no node " << text << "/" << child;
  static const OutputDataNode kNone;
  return kNone;
}

TEST(OutputDataEditorTest, TitlesAndLimitsByMode) {
  auto t = test::EnzymeMoiety();
  OutputDataEditor timeCourse(OutputDataMode::kTimeCourse, t->model, {}, {});
  OutputDataEditor steadyState(OutputDataMode::kSteadyState, t->model, {}, {});
  OutputDataEditor window(OutputDataMode::kInteractive, t->model, {}, {});
  EXPECT_EQ(timeCourse.Title(), "Time-Course Output Data");
  EXPECT_EQ(steadyState.Title(), "Steady-State Output Data");
  EXPECT_EQ(window.Title(), "Time-Course Window Data");
  EXPECT_EQ(timeCourse.limit(), 0);
  EXPECT_EQ(steadyState.limit(), 0);
  EXPECT_EQ(window.limit(), 4);
}

TEST(OutputDataEditorTest, AddChosenEntriesAndAddAllWithoutLimit) {
  auto t = test::EnzymeMoiety();
  RecordingSink sink;
  OutputDataEditor editor(OutputDataMode::kTimeCourse, t->model, {}, {MakeOutputItem(14)});
  const OutputDataNode& concentrations = Node(editor, "metabolites", "transient concentrations");
  const int chosen[] = {2, 0, 9, -1};
  EXPECT_TRUE(editor.Add(concentrations, chosen, sink));
  EXPECT_TRUE(editor.AddAll(Node(editor, "numerical methods"), sink));
  ASSERT_EQ(editor.selected().size(), 11u);
  EXPECT_EQ(editor.selected()[1], MakeOutputItem(3, "ES"));
  EXPECT_EQ(editor.selected()[2], MakeOutputItem(3, "E"));
  EXPECT_EQ(editor.selected()[10], MakeOutputItem(21));
  EXPECT_FALSE(editor.Add(concentrations, {}, sink));
  EXPECT_TRUE(sink.messages().empty());

  std::vector<OutputItem> selection;
  bool modified = false;
  editor.Close(selection, modified);
  EXPECT_TRUE(modified);
  EXPECT_EQ(selection, editor.selected());
}

TEST(OutputDataEditorTest, WindowTakesOnlyTheFirstFourItems) {
  auto t = test::EnzymeMoiety();
  std::vector<OutputItem> selection;
  for (int type : {14, 15, 16, 17, 18}) selection.push_back(MakeOutputItem(type));
  OutputDataEditor editor(OutputDataMode::kInteractive, t->model, {}, selection);
  ASSERT_EQ(editor.selected().size(), 4u);
  EXPECT_EQ(editor.selected()[3].type, 17);
}

TEST(OutputDataEditorTest, FifthItemOfTheWindowIsRefusedWithTheLimitMessage) {
  auto t = test::EnzymeMoiety();
  RecordingSink sink;
  OutputDataEditor editor(OutputDataMode::kInteractive, t->model, {}, {});
  const OutputDataNode& concentrations = Node(editor, "metabolites", "transient concentrations");
  EXPECT_TRUE(editor.AddAll(concentrations, sink));  // 4 entries: exactly the limit
  EXPECT_TRUE(sink.messages().empty());
  const int one[] = {0};
  EXPECT_FALSE(editor.Add(Node(editor, "steps", "fluxes"), one, sink));
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"You can only select a total of 4 items."}));
  EXPECT_EQ(editor.selected().size(), 4u);
}

TEST(OutputDataEditorTest, AddAllThatWouldPassTheLimitAddsNothing) {
  auto t = test::EnzymeMoiety();
  RecordingSink sink;
  OutputDataEditor editor(OutputDataMode::kInteractive, t->model, {}, {MakeOutputItem(15)});
  EXPECT_FALSE(editor.AddAll(Node(editor, "numerical methods"), sink));
  EXPECT_TRUE(sink.Said("You can only select a total of 4 items."));
  EXPECT_EQ(editor.selected().size(), 1u);
  const int three[] = {0, 1, 2};
  EXPECT_TRUE(editor.Add(Node(editor, "numerical methods"), three, sink));
  EXPECT_EQ(editor.selected().size(), 4u);
}

TEST(OutputDataEditorTest, DeleteAndDeleteAll) {
  auto t = test::EnzymeMoiety();
  std::vector<OutputItem> selection;
  for (int type : {14, 15, 16, 17}) selection.push_back(MakeOutputItem(type));
  OutputDataEditor editor(OutputDataMode::kTimeCourse, t->model, {}, selection);
  const int doomed[] = {3, 1, 8};
  editor.Delete(doomed);
  EXPECT_EQ(editor.selected(), (std::vector<OutputItem>{MakeOutputItem(14), MakeOutputItem(16)}));
  editor.DeleteAll();
  EXPECT_TRUE(editor.selected().empty());
  bool modified = false;
  editor.Close(selection, modified);
  EXPECT_TRUE(selection.empty());
  EXPECT_TRUE(modified);
}

}  // namespace
}  // namespace vireon
