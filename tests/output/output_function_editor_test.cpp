#include "output/output_function_editor.h"

#include <gtest/gtest.h>

#include "model/messages.h"
#include "engine/random.h"
#include "scan/scan_test_model.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

const OutputItem kFluxR1{"J(R1)", kTransientFlux, "R1", "", nullptr};
const OutputItem kKm{"R2(Km)", kKineticConstant, "R2", "Km", nullptr};

class OutputFunctionEditorTest : public ::testing::Test {
 protected:
  RecordingSink sink;
};

TEST_F(OutputFunctionEditorTest, NewFunctionStartsEditable) {
  OutputFunctionEditor editor(sink);
  EXPECT_FALSE(editor.accepted());
  EXPECT_TRUE(editor.ExpressionEditable());
  EXPECT_FALSE(editor.ItemsEnabled());
  EXPECT_EQ(editor.AcceptButtonText(), "&Accept Function");
  EXPECT_EQ(editor.OkButtonText(), "&Ok");
  EXPECT_TRUE(editor.CancelEnabled());
}

TEST_F(OutputFunctionEditorTest, AcceptNeedsAName) {
  OutputFunctionEditor editor(sink);
  editor.SetExpression("a+b");
  EXPECT_FALSE(editor.Accept());
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{kFunctionNeedsName});
  EXPECT_FALSE(editor.accepted());
}

TEST_F(OutputFunctionEditorTest, SyntaxErrorDiscardsTheFunction) {
  OutputFunctionEditor editor(sink);
  editor.SetName("f");
  for (const char* text : {"Km+1", "1+a(b)", ""}) {
    editor.SetExpression(text);
    EXPECT_FALSE(editor.Accept()) << text;
    EXPECT_FALSE(editor.accepted());
    EXPECT_EQ(editor.SymbolCount(), 0);
  }
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{
                "Syntax error at character 1 (names here are single letters): [K]m+1",
                "Syntax error at character 4 (an operator is missing before \"(\"): 1+a[(]b)",
                "Syntax error at the end (the expression is empty): []"}));
}

TEST_F(OutputFunctionEditorTest, AcceptListsTheDistinctLettersUnassociated) {
  OutputFunctionEditor editor(sink);
  editor.SetName("ratio");
  editor.SetExpression("b/\r\na + b");
  editor.PressAcceptButton();
  ASSERT_TRUE(editor.accepted());
  EXPECT_EQ(editor.expression(), "b/a + b");
  EXPECT_FALSE(editor.ExpressionEditable());
  EXPECT_TRUE(editor.ItemsEnabled());
  EXPECT_EQ(editor.AcceptButtonText(), "&Edit function");
  ASSERT_EQ(editor.SymbolCount(), 2);
  EXPECT_EQ(editor.SymbolLetter(0), 'b');
  EXPECT_EQ(editor.SymbolLetter(1), 'a');
  EXPECT_FALSE(editor.IsAssociated(0));
  EXPECT_EQ(editor.SymbolText(1), "a");
  editor.SetExpression("x");  // read-only once accepted
  EXPECT_EQ(editor.expression(), "b/a + b");
}

TEST_F(OutputFunctionEditorTest, OkWaitsUntilEverySymbolIsAssociated) {
  OutputFunctionEditor editor(sink);
  editor.SetName("ratio");
  editor.SetExpression("a/b");
  ASSERT_TRUE(editor.Accept());
  EXPECT_FALSE(editor.Associate(&kFluxR1));  // no symbol selected
  editor.SelectSymbol(0);
  EXPECT_TRUE(editor.Associate(&kFluxR1));
  EXPECT_EQ(editor.SymbolText(0), "a = J(R1)");
  EXPECT_FALSE(editor.Ok());
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{kFunctionSymbolsNotAssociated});
  editor.SelectSymbol(1);
  EXPECT_TRUE(editor.Associate(nullptr));  // a tree entry without items
  EXPECT_FALSE(editor.IsAssociated(1));
  EXPECT_FALSE(editor.Ok());
  EXPECT_TRUE(editor.Associate(&kKm));
  EXPECT_TRUE(editor.Ok());
  std::optional<OutputFunction> function = editor.TakeFunction();
  ASSERT_TRUE(function.has_value());
  EXPECT_EQ(function->name(), "ratio");
  EXPECT_EQ(function->ItemOf('a')->title, "J(R1)");
  EXPECT_EQ(function->ItemOf('a')->type, kTransientFlux);
  EXPECT_EQ(function->ItemOf('b')->i, "R2");
  EXPECT_EQ(function->ItemOf('b')->j, "Km");
}

TEST_F(OutputFunctionEditorTest, EditDiscardsAndAcceptsAgain) {
  OutputFunctionEditor editor(sink);
  editor.SetName("f");
  editor.SetExpression("a");
  editor.PressAcceptButton();
  editor.PressAcceptButton();
  EXPECT_FALSE(editor.accepted());
  EXPECT_TRUE(editor.ExpressionEditable());
  EXPECT_EQ(editor.AcceptButtonText(), "&Accept function");
  editor.SetExpression("x*y");
  EXPECT_TRUE(editor.Accept());
  EXPECT_EQ(editor.SymbolCount(), 2);
}

TEST_F(OutputFunctionEditorTest, OkWithoutAcceptedExpressionGivesNoFunction) {
  OutputFunctionEditor editor(sink);
  EXPECT_TRUE(editor.Ok());
  EXPECT_FALSE(editor.TakeFunction().has_value());
}

TEST_F(OutputFunctionEditorTest, ExistingFunctionOpensAcceptedAndAssociated) {
  OutputFunction function("sum", "a+b");
  ASSERT_EQ(function.Parse(), 0);
  *function.ItemOf('a') = kFluxR1;
  *function.ItemOf('b') = kKm;
  OutputFunctionEditor editor(function, sink);
  EXPECT_TRUE(editor.accepted());
  EXPECT_EQ(editor.OkButtonText(), "&Close");
  EXPECT_FALSE(editor.CancelEnabled());
  EXPECT_EQ(editor.AcceptButtonText(), "&Edit function");
  EXPECT_EQ(editor.SymbolText(1), "b = R2(Km)");
  editor.SetName("total");
  EXPECT_TRUE(editor.Ok());
  std::optional<OutputFunction> edited = editor.TakeFunction();
  ASSERT_TRUE(edited.has_value());
  EXPECT_EQ(edited->name(), "total");
  EXPECT_EQ(edited->description(), "a+b");
}

TEST_F(OutputFunctionEditorTest, EmptiedNameKeepsTheDialogOpen) {
  OutputFunctionEditor editor(sink);
  editor.SetName("f");
  editor.SetExpression("2");
  ASSERT_TRUE(editor.Accept());
  editor.SetName("");
  EXPECT_FALSE(editor.Ok());
  EXPECT_TRUE(sink.Said(kFunctionNeedsName));
}

OutputFunction Function(const std::string& name) {
  OutputFunction function(name, "1");
  function.Parse();
  return function;
}

TEST(OutputFunctionListEditorTest, AddEditDelete) {
  std::vector<OutputFunction> functions;
  RecordingSink sink;
  OutputFunctionListEditor editor(functions, sink);
  EXPECT_FALSE(editor.EditEnabled());
  EXPECT_FALSE(editor.DeleteEnabled());
  editor.Added(Function("f"));
  editor.Added(Function("g"));
  EXPECT_EQ(editor.Names(), (std::vector<std::string>{"f", "g"}));
  EXPECT_TRUE(editor.EditEnabled());
  EXPECT_TRUE(editor.modified());

  editor.Select(0);
  ASSERT_NE(editor.EditTarget(), nullptr);
  EXPECT_EQ(editor.EditTarget()->name(), "f");
  editor.Edited(Function("h"));  // renamed, same position
  EXPECT_EQ(editor.Names(), (std::vector<std::string>{"h", "g"}));
  editor.Edited(std::nullopt);  // left without a function: unchanged
  EXPECT_EQ(editor.Names(), (std::vector<std::string>{"h", "g"}));

  EXPECT_TRUE(editor.Delete());
  EXPECT_EQ(editor.Names(), std::vector<std::string>{"g"});
  EXPECT_TRUE(editor.Delete());
  EXPECT_FALSE(editor.Delete());
  EXPECT_FALSE(editor.DeleteEnabled());
  EXPECT_TRUE(sink.messages().empty());
}

TEST(OutputFunctionListEditorTest, NoFunctionFromTheDialogIsAnInternalError) {
  std::vector<OutputFunction> functions;
  RecordingSink sink;
  OutputFunctionListEditor editor(functions, sink);
  editor.Added(std::nullopt);
  EXPECT_TRUE(functions.empty());
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{kFunctionNotAdded});
}

std::vector<std::string> Texts(const std::vector<OutputDataNode>& nodes) {
  std::vector<std::string> texts;
  for (const OutputDataNode& node : nodes) texts.push_back(node.text);
  return texts;
}

std::vector<std::string> Titles(const OutputDataNode& node) {
  std::vector<std::string> titles;
  for (const OutputItem& item : node.entries) titles.push_back(item.title);
  return titles;
}

TEST(FunctionSymbolTreeTest, NodesInTheDialogsOrder) {
  test::ScanTestModel t;
  const std::vector<OutputDataNode> tree = BuildFunctionSymbolTree(t.model);
  EXPECT_EQ(Texts(tree),
            (std::vector<std::string>{"time", "metabolites", "steps", "compartments",
                                      "control analysis", "eigenvalues", "numerical methods"}));
  EXPECT_EQ(Titles(tree[0]), (std::vector<std::string>{"time", "real time"}));
  EXPECT_EQ(Texts(tree[1].children),
            (std::vector<std::string>{"initial concentrations", "trans./s.s. concentrations",
                                      "conservation relations", "transition times"}));
  EXPECT_EQ(Titles(tree[1].children[1]), (std::vector<std::string>{"[A]", "[B]"}));
  EXPECT_EQ(Titles(tree[1].children[3]), (std::vector<std::string>{"tt(A)", "tt(B)"}));
  EXPECT_EQ(Texts(tree[2].children), (std::vector<std::string>{"fluxes", "kinetic constants"}));
  EXPECT_EQ(Titles(tree[2].children[0]), (std::vector<std::string>{"J(R1)", "J(R2)"}));
  EXPECT_EQ(Texts(tree[4].children),
            (std::vector<std::string>{"elasticities", "concentration-control coeffs.",
                                      "flux-control coeffs."}));
  EXPECT_EQ(tree[5].entries.size(), 8u);
  EXPECT_EQ(Titles(tree[6]).front(), "step count");
  EXPECT_EQ(Titles(tree[6]).size(), 8u);
}

TEST(FunctionSymbolTreeTest, GlobalQuantitiesOfferTheirCurrentValues) {
  test::ScanTestModel t;
  t.model.globalQuantities = {{"k", 1.5}};
  const std::vector<OutputDataNode> tree = BuildFunctionSymbolTree(t.model);
  EXPECT_EQ(Texts(tree),
            (std::vector<std::string>{"time", "metabolites", "steps", "compartments",
                                      "current volumes", "global quantities", "control analysis",
                                      "eigenvalues", "numerical methods"}));
  EXPECT_EQ(Titles(tree[5]), (std::vector<std::string>{"k(t)"}));
  EXPECT_EQ(tree[5].entries[0].type, kCurrentGlobalQuantity);
  EXPECT_EQ(tree[4].entries[0].type, kCurrentVolume);
}

TEST(FunctionSymbolTreeTest, ChosenEntriesBindToCurrentValues) {
  test::ScanTestModel t;
  const std::vector<OutputDataNode> tree = BuildFunctionSymbolTree(t.model);
  RecordingSink sink;
  OutputFunctionEditor editor(sink);
  editor.SetName("f");
  editor.SetExpression("c*j");
  ASSERT_TRUE(editor.Accept());
  editor.SelectSymbol(0);
  editor.Associate(&tree[1].children[1].entries[0]);  // [A]
  editor.SelectSymbol(1);
  editor.Associate(&tree[2].children[0].entries[0]);  // J(R1)
  ASSERT_TRUE(editor.Ok());
  std::vector<OutputFunction> functions = {*editor.TakeFunction()};
  EXPECT_EQ(RebindOutputFunctions(functions, t.Context(), true), 0);
  t.model.metabolites[0].concentration = 2.5;
  t.model.steps[0].flux = 4.0;
  RandomGenerator random(1);
  EXPECT_CLOSE(functions[0].Evaluate(random), 10.0, test::kTightAbs, test::kTightRel);
}

}  // namespace
}  // namespace vireon
