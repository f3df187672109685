#include "kinetics/user_kinetic_types_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_binding.h"
#include "kinetics/user_type_helpers.h"

namespace vireon {
namespace {

constexpr double kDefaultConstant = 0.75;

class UserKineticTypesEditorTest : public ::testing::Test {
 protected:
  UserKineticTypesEditorTest() {
    BuildBuiltInKineticTypes(catalogue);
    catalogue.Insert(test::MakeMichaelisMenten("first"));
    catalogue.Insert(test::MakeMichaelisMenten("mm"));
    catalogue.Insert(test::MakeMichaelisMenten("last"));
    model.Allocate(2, 2, 2, 0, 1);
    for (Step& step : model.steps) {
      step.reversible = 0;
      step.SizeSubstrates(1);
      step.AppendSubstrate(0);
      step.SizeProducts(1);
      step.AppendProduct(1);
      step.kineticTypeName = "mm";
    }
    model.steps[1].kineticTypeName = "last";
    BindMissingKineticTypes(model, catalogue, kDefaultConstant);
    model.steps[0].constants = {10, 20};
    model.steps[1].constants = {30, 40};
  }

  std::vector<std::string> CatalogueUserNames() const {
    std::vector<std::string> names;
    for (const KineticType* t : catalogue.UserDefinedTypes()) names.push_back(t->name);
    return names;
  }

  KineticCatalogue catalogue;
  Model model;
  RecordingSink sink;
};

TEST_F(UserKineticTypesEditorTest, ListsTheUserDefinedTypes) {
  UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
  EXPECT_EQ(list.names(), (std::vector<std::string>{"first", "mm", "last"}));
}

TEST_F(UserKineticTypesEditorTest, AddEntersTheNewTypeAtTheEnd) {
  UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
  KineticTypeEditor& dialog = list.BeginAdd();
  dialog.SetName("hill");
  dialog.SetExpression("V*S^h/(K^h+S^h)");
  ASSERT_TRUE(dialog.AcceptFunction(sink));
  dialog.SetRole(1, SymbolRole::kSubstrate);
  ASSERT_TRUE(list.Finish(sink));
  EXPECT_EQ(list.dialog(), nullptr);
  EXPECT_EQ(list.names(), (std::vector<std::string>{"first", "mm", "last", "hill"}));
  EXPECT_EQ(catalogue.Find("hill")->substrates, 1);
}

TEST_F(UserKineticTypesEditorTest, FinishIsRefusedUntilTheRateLawIsAccepted) {
  UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
  list.BeginAdd().SetName("pending");
  EXPECT_FALSE(list.Finish(sink));
  EXPECT_NE(list.dialog(), nullptr);
  list.Cancel();
  EXPECT_EQ(list.names().size(), 3u);
}

TEST_F(UserKineticTypesEditorTest, DeleteAsksNamingTheStepsAndTurnsThemIntoConstantFluxes) {
  UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
  EXPECT_FALSE(list.Delete("Uni Uni", sink));
  EXPECT_FALSE(list.Delete("nothing", sink));
  // A type no step uses goes without a question.
  ASSERT_TRUE(list.Delete("first", sink));
  EXPECT_TRUE(sink.messages().empty());

  model.steps[1].name = "second";
  model.steps[1].kineticTypeName = "mm";
  model.steps[1].kineticType = catalogue.Find("mm");
  EXPECT_EQ(list.StepsUsing("mm"), (std::vector<std::string>{"dummyase", "second"}));
  EXPECT_FALSE(list.Delete("mm", sink));  // the unanswered question is No
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{
                              "The kinetic type 'mm' is used by the steps dummyase, second.\nIf "
                              "you delete it, they become constant fluxes. Delete it?"});
  EXPECT_TRUE(catalogue.Contains("mm"));
  model.steps[1].kineticTypeName = "last";
  model.steps[1].kineticType = catalogue.Find("last");

  sink.QueueAnswer(Answer::kYes);
  ASSERT_TRUE(list.Delete("mm", sink));
  EXPECT_EQ(list.names(), (std::vector<std::string>{"last"}));
  EXPECT_FALSE(catalogue.Contains("mm"));
  EXPECT_TRUE(catalogue.UserDefinedRemoved());
  EXPECT_EQ(model.steps[0].kineticTypeName, kConstantFluxIrreversible);
  EXPECT_EQ(model.steps[0].constants, std::vector<double>{kDefaultConstant});
  EXPECT_EQ(model.steps[1].constants, (std::vector<double>{30, 40}));
}

TEST_F(UserKineticTypesEditorTest, EditKeepsThePlaceAndRebindsTheSteps) {
  UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
  KineticTypeEditor* dialog = list.BeginEdit("mm", sink);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(catalogue.Contains("mm"));
  dialog->EditFunction();
  dialog->SetExpression("V*S/(Km+S)*(1+S/Ks)");
  ASSERT_TRUE(dialog->AcceptFunction(sink));
  dialog->SetRole(1, SymbolRole::kSubstrate);
  ASSERT_TRUE(list.Finish(sink));

  EXPECT_EQ(CatalogueUserNames(), (std::vector<std::string>{"first", "mm", "last"}));
  const KineticType* edited = catalogue.Find("mm");
  EXPECT_EQ(edited->constants, 3);
  EXPECT_EQ(model.steps[0].kineticType, edited);
  EXPECT_EQ(model.steps[0].constants, std::vector<double>(3, kDefaultConstant));
  EXPECT_EQ(model.steps[1].constants, (std::vector<double>{30, 40}));
  EXPECT_FALSE(catalogue.UserDefinedRemoved());
}

TEST_F(UserKineticTypesEditorTest, CancelGivesTheOldTypeBack) {
  const KineticType* before = catalogue.Find("mm");
  UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
  KineticTypeEditor* dialog = list.BeginEdit("mm", sink);
  ASSERT_NE(dialog, nullptr);
  dialog->EditFunction();
  dialog->SetExpression("V");
  ASSERT_TRUE(dialog->AcceptFunction(sink));
  list.Cancel();

  EXPECT_EQ(catalogue.Find("mm"), before);
  ASSERT_NE(before->function, nullptr);
  EXPECT_EQ(before->function->description(), "V*S/(Km+S)");
  EXPECT_EQ(CatalogueUserNames(), (std::vector<std::string>{"first", "mm", "last"}));
  EXPECT_EQ(model.steps[0].kineticType, before);
  EXPECT_EQ(model.steps[0].constants, (std::vector<double>{10, 20}));
  EXPECT_FALSE(catalogue.UserDefinedRemoved());

  // The rate law given back still computes: V*S/(Km+S) with V = 10, Km = 20.
  model.metabolitePosition = {0, 1};
  const double x[2] = {5.0, 0.0};
  EXPECT_DOUBLE_EQ(before->rate(model, x, 0), 10.0 * 5.0 / (20.0 + 5.0));
}

TEST_F(UserKineticTypesEditorTest, RenamingATypeLeavesItsStepsConstantFluxes) {
  UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
  KineticTypeEditor* dialog = list.BeginEdit("last", sink);
  ASSERT_NE(dialog, nullptr);
  dialog->EditFunction();
  dialog->SetName("renamed");
  dialog->SetExpression("V*S/(Km+S)");
  ASSERT_TRUE(dialog->AcceptFunction(sink));
  ASSERT_TRUE(list.Finish(sink));
  EXPECT_EQ(list.names(), (std::vector<std::string>{"first", "mm", "renamed"}));
  EXPECT_EQ(model.steps[1].kineticTypeName, kConstantFluxIrreversible);
  EXPECT_EQ(model.steps[1].constants, std::vector<double>{kDefaultConstant});
}

TEST_F(UserKineticTypesEditorTest, EditingCannotTakeAnotherTypesName) {
  UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
  KineticTypeEditor* dialog = list.BeginEdit("last", sink);
  ASSERT_NE(dialog, nullptr);
  dialog->EditFunction();
  dialog->SetName("first");
  dialog->SetExpression("V");
  EXPECT_FALSE(dialog->AcceptFunction(sink));
  EXPECT_EQ(sink.messages().size(), 1u);
}

TEST_F(UserKineticTypesEditorTest, CloseBindsStepsWhoseTypeIsGone) {
  {
    UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
    catalogue.Remove("last");  // as if removed behind the list's back
    list.Close();
  }
  EXPECT_EQ(model.steps[1].kineticTypeName, kConstantFluxIrreversible);
  EXPECT_EQ(model.steps[0].kineticTypeName, "mm");
}

TEST_F(UserKineticTypesEditorTest, ClosingWithADialogOpenPutsTheEditedTypeBack) {
  {
    UserKineticTypesEditor list(catalogue, model, kDefaultConstant);
    ASSERT_NE(list.BeginEdit("mm", sink), nullptr);
  }
  EXPECT_TRUE(catalogue.Contains("mm"));
  EXPECT_NE(catalogue.Find("mm")->function, nullptr);
}

}  // namespace
}  // namespace vireon
