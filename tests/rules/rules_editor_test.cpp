#include "rules/rules_editor.h"

#include <gtest/gtest.h>

#include "rules/global_quantities_editor.h"
#include "rules_test_model.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::Assignment;
using test::RulesTestModel;

RuleForm Form(const std::string& target, const std::string& expression,
              RuleKind kind = RuleKind::kAssignment) {
  return RuleForm{kind, RuleTargetKind::kGlobalQuantity, target, "", expression};
}

// A rule enters the list only when it reads and resolves; a refusal names
// the position and the name and leaves the list as it was. OK hands the
// list to the document and runs the analysis.
TEST(RulesEditor, TakesOnlyRulesThatReadAndResolve) {
  Model document = RulesTestModel();
  RulesEditor editor(document);
  RecordingSink sink;
  ASSERT_TRUE(editor.Add(Form("a", "k*time"), sink));
  EXPECT_FALSE(editor.Add(Form("b", "a + Vmax"), sink));
  EXPECT_EQ(editor.lastRefusal().field, RuleField::kExpression);
  EXPECT_EQ(editor.lastRefusal().position, 4u);
  EXPECT_EQ(editor.lastRefusal().name, "Vmax");
  EXPECT_TRUE(
      sink.Said("The assignment rule for b: Vmax at character 5 is not a metabolite, "
                "compartment or global quantity of the model."));
  EXPECT_FALSE(editor.Add(Form("b", "a*(k"), sink));
  EXPECT_EQ(editor.lastRefusal().field, RuleField::kExpression);
  EXPECT_EQ(editor.lastRefusal().position, 2u);
  EXPECT_TRUE(editor.lastRefusal().name.empty());
  EXPECT_FALSE(editor.Add(Form("nothing", "1"), sink));
  EXPECT_EQ(editor.lastRefusal().field, RuleField::kTarget);
  // A change that would close a cycle is refused like an addition.
  ASSERT_TRUE(editor.Add(Form("b", "a\r\n+ 1"), sink));
  EXPECT_FALSE(editor.Change(0, Form("a", "b*k"), sink));
  EXPECT_EQ(editor.rules().size(), 2u);
  EXPECT_EQ(editor.rules()[1].expression, "a  + 1");
  EXPECT_EQ(editor.FormOf(0).expression, "k*time");

  EXPECT_TRUE(document.rules.empty());  // nothing before OK
  int analysed = 0;
  ASSERT_TRUE(editor.Commit(document, sink, [&analysed](Model&) { ++analysed; }));
  EXPECT_EQ(document.rules, editor.rules());
  EXPECT_EQ(analysed, 1);
  EXPECT_TRUE(editor.Delete(0));
  EXPECT_FALSE(editor.Delete(5));
  EXPECT_EQ(editor.TargetNames(RuleKind::kAssignment, RuleTargetKind::kCompartmentVolume),
            (std::vector<std::string>{"cell"}));
}

// Names are checked as metabolite names are, against every other record
// of the model, and a quantity that a rule uses cannot go or be renamed.
TEST(GlobalQuantitiesEditor, ChecksNamesValuesAndTheRulesThatUseThem) {
  Model document = RulesTestModel();
  document.rules = {Assignment("a", "k*2")};
  RecordingSink sink;
  const auto check = [&document](auto change) {
    GlobalQuantitiesEditor editor(document);
    change(editor.rows());
    return editor.Check();
  };
  using Rows = std::vector<GlobalQuantityRow>;
  GlobalQuantitiesCheck c = check([](Rows& rows) { rows[1].name = "S"; });
  EXPECT_EQ(c.row, 1);
  EXPECT_EQ(c.field, GlobalQuantityField::kName);
  EXPECT_EQ(c.message, "The name S is already in use by a metabolite.");
  c = check([](Rows& rows) { rows[1].name = "conversion"; });
  EXPECT_EQ(c.message, "The name conversion is already in use by a step.");
  c = check([](Rows& rows) { rows[2].name = "time"; });
  EXPECT_EQ(c.row, 2);
  c = check([](Rows& rows) { rows[3].name = "b c"; });
  EXPECT_EQ(c.row, 3);
  c = check([](Rows& rows) { rows[4].name = "V"; });
  EXPECT_EQ(c.row, 4);
  c = check([](Rows& rows) { rows[1].value = "three"; });
  EXPECT_EQ(c.field, GlobalQuantityField::kValue);
  c = check([](Rows& rows) { rows[0].name = "kf"; });
  EXPECT_EQ(c.field, GlobalQuantityField::kRules);
  EXPECT_EQ(c.message,
            "The assignment rule for a: k at character 1 is not a metabolite, compartment or "
            "global quantity of the model.\nPlease change the rules first.");

  GlobalQuantitiesEditor editor(document);
  EXPECT_FALSE(editor.Remove(2) && editor.Commit(document, sink, {}));  // a is a rule's target
  EXPECT_EQ(document.globalQuantities.size(), 5u);
  GlobalQuantitiesEditor adding(document);
  const int row = adding.Add();
  EXPECT_EQ(adding.rows()[static_cast<std::size_t>(row)].name, "quantity1");
  adding.rows()[1].value = "-1.5e-3";
  ASSERT_TRUE(adding.Commit(document, sink, {}));
  ASSERT_EQ(document.globalQuantities.size(), 6u);
  EXPECT_CLOSE(document.globalQuantities[1].value, -1.5e-3, 0.0, test::kTightRel);
  EXPECT_EQ(document.globalQuantities[5].name, "quantity1");
}

}  // namespace
}  // namespace vireon
