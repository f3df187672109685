#include "output/output_item_binding.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "model/model_name_index.h"
#include "output/output_selections.h"
#include "output_test_models.h"

namespace vireon {
namespace {

// The enzyme model (metabolites E, S (fixed), ES, P (fixed) at positions 0,
// 2, 1, 3; steps binding, catalysis; compartments "compartment", "cytosol";
// relation "  E + ES ") with two user-defined functions.
class BindingTest : public testing::Test {
 protected:
  BindingTest() : t_(test::EnzymeMoiety()) {
    functions_["ratio"] = 0.5;
    functions_["total"] = 2.0;
  }

  BindingContext Context() {
    return BindingContext{t_->model, t_->engine, t_->settings,
                          [this](std::string_view name) -> double* {
                            auto found = functions_.find(std::string(name));
                            return found == functions_.end() ? nullptr : &found->second;
                          }};
  }

  Model& model() { return t_->model; }
  EngineState& engine() { return t_->engine; }
  TaskSettings& settings() { return t_->settings; }

  std::unique_ptr<test::TestModel> t_;
  std::map<std::string, double> functions_;
};

TEST_F(BindingTest, EveryTypeBindsToItsQuantity) {
  struct Case {
    OutputItem item;
    double* expected;
  };
  Model& m = model();
  EngineState& e = engine();
  TaskSettings& s = settings();
  const std::vector<Case> cases = {
      {MakeOutputItem(1, "ES"), &m.metabolites[2].initialConcentration},
      {MakeOutputItem(2, "ES"), &m.metabolites[2].concentration},
      {MakeOutputItem(3, "S"), &m.metabolites[1].concentration},
      {MakeOutputItem(10, "E"), &m.metabolites[0].transitionTime},
      {MakeOutputItem(4, "catalysis"), &m.steps[1].flux},
      {MakeOutputItem(5, "binding"), &m.steps[0].flux},
      {MakeOutputItem(6, "binding", "k2"), &m.steps[0].constants[1]},
      {MakeOutputItem(6, "catalysis", "k"), &m.steps[1].constants[0]},
      // Engine matrices are addressed by position: ES is at 1, S at 2.
      {MakeOutputItem(7, "catalysis", "ES"), &e.elasticities[1][1]},
      {MakeOutputItem(7, "binding", "S"), &e.elasticities[0][2]},
      {MakeOutputItem(8, "ES", "binding"), &e.concControl[1][0]},
      {MakeOutputItem(9, "catalysis", "binding"), &e.fluxControl[1][0]},
      {MakeOutputItem(12, "cytosol"), &m.compartments[1].volume},
      {MakeOutputItem(13, "  E + ES "), &m.moieties[0].initialConcentration},
      {MakeOutputItem(14), &e.time},
      {MakeOutputItem(15), &e.stepCount},
      {MakeOutputItem(16), &e.fEvaluations},
      {MakeOutputItem(17), &e.jEvaluations},
      {MakeOutputItem(18), &e.stepSize},
      {MakeOutputItem(19), &s.solver.relativeTolerance},
      {MakeOutputItem(20), &s.solver.absoluteTolerance},
      {MakeOutputItem(21), &s.solver.steadyStateResolution},
      {MakeOutputItem(22), &s.solver.derivationFactor},
      {MakeOutputItem(23), &e.elapsedTime},
      {MakeOutputItem(24, "total"), &functions_["total"]},
      {MakeOutputItem(25), &s.endTime},
      {MakeOutputItem(27), &e.maxRealPart},
      {MakeOutputItem(28), &e.maxImagPart},
      {MakeOutputItem(29), &e.nPositiveReal},
      {MakeOutputItem(30), &e.nNegativeReal},
      {MakeOutputItem(31), &e.nReal},
      {MakeOutputItem(32), &e.nImaginary},
      {MakeOutputItem(33), &e.nComplex},
      {MakeOutputItem(34), &e.nZero},
  };
  BindingContext context = Context();
  for (const Case& c : cases) {
    OutputItem item = c.item;
    EXPECT_TRUE(BindOutputItem(item, context, true)) << item.title;
    EXPECT_EQ(item.value, c.expected) << item.title;
  }
}

TEST_F(BindingTest, EngineMatricesAreAddressedByStepPosition) {
  model().stepOrder = {1, 0};  // position 0 holds catalysis, position 1 binding
  model().stepPosition = {1, 0};
  const struct {
    OutputItem item;
    double* expected;
  } cases[] = {
      {MakeOutputItem(7, "binding", "ES"), &engine().elasticities[1][1]},
      {MakeOutputItem(8, "ES", "binding"), &engine().concControl[1][1]},
      {MakeOutputItem(9, "catalysis", "binding"), &engine().fluxControl[0][1]},
  };
  for (const auto& c : cases) {
    OutputItem item = c.item;
    EXPECT_TRUE(BindOutputItem(item, Context(), true)) << item.title;
    EXPECT_EQ(item.value, c.expected) << item.title;
  }
}

TEST_F(BindingTest, BoundItemsFollowTheirQuantities) {
  OutputItem item = MakeOutputItem(3, "E");
  ASSERT_TRUE(BindOutputItem(item, Context(), true));
  model().metabolites[0].concentration = 0.75;
  EXPECT_EQ(item.Value(), 0.75);
}

TEST_F(BindingTest, NamesThatDoNotResolve) {
  const std::vector<OutputItem> items = {
      MakeOutputItem(1, "F"),             // no such metabolite
      MakeOutputItem(3, "e"),             // names are compared exactly
      MakeOutputItem(4, "Binding"),       // no such step
      MakeOutputItem(6, "binding", "k"),  // not a constant of its type
      MakeOutputItem(6, "nosuchstep", "k"),
      MakeOutputItem(7, "binding", "Q"),
      MakeOutputItem(8, "S", "binding"),  // S is fixed
      MakeOutputItem(8, "E", "nosuchstep"),
      MakeOutputItem(9, "binding", "nosuchstep"),
      MakeOutputItem(12, "nucleus"),
      MakeOutputItem(13, "E + ES"),  // the relation's name has its blanks
      MakeOutputItem(24, "nosuchfunction"),
  };
  BindingContext context = Context();
  for (OutputItem item : items) {
    double stale = 0.0;
    item.value = &stale;
    EXPECT_FALSE(BindOutputItem(item, context, true)) << item.title;
    EXPECT_EQ(item.value, nullptr) << item.title;
  }
}

TEST_F(BindingTest, UnknownAndReservedTypesNeverResolve) {
  for (int type : {0, 11, 26, 38, -4}) {
    OutputItem item;
    item.type = type;
    item.title = "x";
    item.i = "E";
    item.j = "binding";
    EXPECT_FALSE(BindOutputItem(item, Context(), true)) << type;
  }
}

// A global quantity's value is the model's (what scans and links set); its
// current value and a compartment's current volume are the engine's.
TEST_F(BindingTest, GlobalQuantitiesAndCurrentVolumesBindToModelAndEngine) {
  model().globalQuantities = {{"Vmax", 2.0}, {"k_on", 0.5}};
  engine().Allocate(model());
  Model& m = model();
  EngineState& e = engine();
  const struct {
    OutputItem item;
    double* expected;
  } cases[] = {
      {MakeOutputItem(kGlobalQuantity, "k_on"), &m.globalQuantities[1].value},
      {MakeOutputItem(kGlobalQuantity, "Vmax"), &m.globalQuantities[0].value},
      {MakeOutputItem(kCurrentGlobalQuantity, "k_on"), &e.quantityValues[1]},
      {MakeOutputItem(kCurrentVolume, "cytosol"), &e.volumeValues[1]},
      {MakeOutputItem(kCurrentVolume, "compartment"), &e.volumeValues[0]},
  };
  const ModelNameIndex names(m);
  BindingContext indexed = Context();
  indexed.names = &names;
  for (const BindingContext& context : {Context(), indexed}) {
    for (const auto& c : cases) {
      OutputItem item = c.item;
      EXPECT_TRUE(BindOutputItem(item, context, true)) << item.title;
      EXPECT_EQ(item.value, c.expected) << item.title;
    }
  }
  // The engine starts from the model's values; the items then follow each one.
  OutputItem current = MakeOutputItem(kCurrentGlobalQuantity, "Vmax");
  OutputItem value = MakeOutputItem(kGlobalQuantity, "Vmax");
  ASSERT_TRUE(BindOutputItem(current, Context(), true));
  ASSERT_TRUE(BindOutputItem(value, Context(), true));
  EXPECT_EQ(current.Value(), 2.0);
  e.quantityValues[0] = 3.0;
  EXPECT_EQ(current.Value(), 3.0);
  EXPECT_EQ(value.Value(), 2.0);
}

TEST_F(BindingTest, GlobalQuantityItemsNeedTheirNames) {
  model().globalQuantities = {{"Vmax", 2.0}};
  engine().Allocate(model());
  for (OutputItem item :
       {MakeOutputItem(kGlobalQuantity, "vmax"),
        MakeOutputItem(kCurrentGlobalQuantity, "E"),  // a metabolite
        MakeOutputItem(kCurrentVolume, "nucleus"), MakeOutputItem(kCurrentVolume, "Vmax")}) {
    EXPECT_FALSE(BindOutputItem(item, Context(), true)) << item.title;
  }
  // Without an engine the current values resolve but read nothing.
  engine().Free();
  OutputItem current = MakeOutputItem(kCurrentGlobalQuantity, "Vmax");
  EXPECT_TRUE(BindOutputItem(current, Context(), true));
  EXPECT_EQ(current.value, nullptr);
  OutputItem volume = MakeOutputItem(kCurrentVolume, "cytosol");
  EXPECT_TRUE(BindOutputItem(volume, Context(), true));
  EXPECT_EQ(volume.value, nullptr);
}

TEST_F(BindingTest, StepWithoutKineticTypeHasNoConstants) {
  model().steps[0].kineticType = nullptr;
  OutputItem item = MakeOutputItem(6, "binding", "k1");
  EXPECT_FALSE(BindOutputItem(item, Context(), true));
}

TEST_F(BindingTest, UserFunctionsNeedALookup) {
  OutputItem item = MakeOutputItem(24, "ratio");
  BindingContext context = Context();
  EXPECT_TRUE(BindOutputItem(item, context, true));
  EXPECT_EQ(item.Value(), 0.5);
  BindingContext noFunctions{model(), engine(), settings(), {}};
  EXPECT_FALSE(BindOutputItem(item, noFunctions, true));
}

TEST_F(BindingTest, CheckingWithoutBindingLeavesNoReference) {
  OutputItem item = MakeOutputItem(2, "E");
  double stale = 1.0;
  item.value = &stale;
  EXPECT_TRUE(BindOutputItem(item, Context(), false));
  EXPECT_EQ(item.value, nullptr);
}

TEST_F(BindingTest, EngineElementsWithoutAnEngineResolveButStayUnbound) {
  engine().Free();
  OutputItem item = MakeOutputItem(9, "binding", "catalysis");
  EXPECT_TRUE(BindOutputItem(item, Context(), true));
  EXPECT_EQ(item.value, nullptr);
  EXPECT_EQ(item.Value(), 0.0);
}

TEST_F(BindingTest, RenamedMetaboliteRemovesItsItemsAtTheNextRebinding) {
  OutputSelections selections;
  selections.timeCourse = {MakeOutputItem(14), MakeOutputItem(3, "ES"), MakeOutputItem(3, "E")};
  selections.steadyState = {MakeOutputItem(7, "binding", "ES"), MakeOutputItem(4, "binding")};
  selections.interactive = {MakeOutputItem(3, "ES")};
  model().metabolites[2].name = "EnzymeSubstrate";
  EXPECT_EQ(RebindItems(selections, Context(), false), 3);
  EXPECT_EQ(selections.timeCourse,
            (std::vector<OutputItem>{MakeOutputItem(14), MakeOutputItem(3, "E")}));
  EXPECT_EQ(selections.steadyState, (std::vector<OutputItem>{MakeOutputItem(4, "binding")}));
  EXPECT_TRUE(selections.interactive.empty());
}

TEST_F(BindingTest, ConcentrationControlOfAMetaboliteThatBecameFixedIsRemoved) {
  std::vector<OutputItem> selection = {MakeOutputItem(8, "ES", "binding"),
                                       MakeOutputItem(8, "E", "catalysis")};
  model().metabolites[2].type = FIXED;
  EXPECT_EQ(RebindSelection(selection, Context(), true), 1);
  ASSERT_EQ(selection.size(), 1u);
  EXPECT_EQ(selection[0].i, "E");
  EXPECT_EQ(selection[0].value, &engine().concControl[0][1]);
}

TEST(SelectionOrderTest, UpAndDownSwapNeighbours) {
  std::vector<OutputItem> selection = {MakeOutputItem(14), MakeOutputItem(15), MakeOutputItem(16)};
  EXPECT_TRUE(MoveSelectionItem(selection, 2, -1));
  EXPECT_EQ(selection[1].type, 16);
  EXPECT_EQ(selection[2].type, 15);
  EXPECT_TRUE(MoveSelectionItem(selection, 0, +1));
  EXPECT_EQ(selection[0].type, 16);
  EXPECT_EQ(selection[1].type, 14);
  EXPECT_FALSE(MoveSelectionItem(selection, 0, -1));
  EXPECT_FALSE(MoveSelectionItem(selection, 2, +1));
  EXPECT_FALSE(MoveSelectionItem(selection, 7, -1));
  EXPECT_EQ(selection[2].type, 15);
}

}  // namespace
}  // namespace vireon
