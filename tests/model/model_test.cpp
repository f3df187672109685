#include "model/model.h"

#include <gtest/gtest.h>

#include "model/model_name_index.h"

namespace vireon {
namespace {

TEST(ModelTest, NewModelHasOneDefaultCompartmentAndNothingElse) {
  Model model;
  EXPECT_EQ(model.title, "Untitled");
  EXPECT_EQ(model.nMetabolites(), 0);
  EXPECT_EQ(model.nSteps(), 0);
  EXPECT_EQ(model.nMoieties(), 0);
  ASSERT_EQ(model.nCompartments(), 1);
  EXPECT_EQ(model.compartments[0].name, "compartment");
  EXPECT_EQ(model.compartments[0].volume, 1.0);
}

TEST(ModelTest, AddStoichiometryRepeatsTheMetaboliteOncePerUnit) {
  Model model;
  model.Allocate(1, 2, 2, 0, 1);
  model.steps[0].SizeSubstrates(2);
  model.steps[0].SizeProducts(1);
  model.AddStoichiometry(0, 0, -1, 2);
  model.AddStoichiometry(0, 1, +1, 1);
  EXPECT_EQ(model.stoichiometry[0][0], -2.0f);
  EXPECT_EQ(model.stoichiometry[1][0], 1.0f);
  EXPECT_EQ(model.steps[0].substrates, (std::vector<int>{0, 0}));
  EXPECT_EQ(model.steps[0].products, (std::vector<int>{1}));
  EXPECT_FALSE(model.steps[0].AppendProduct(0));
}

TEST(ModelTest, SetCompartmentCountRefusesLessThanOne) {
  Model model;
  EXPECT_EQ(model.SetCompartmentCount(0), 1);
  EXPECT_EQ(model.nCompartments(), 1);
  EXPECT_EQ(model.SetCompartmentCount(3), 0);
  EXPECT_EQ(model.nCompartments(), 3);
}

TEST(ModelTest, MetaboliteNameRule) {
  for (const char* good : {"A", "ATP", "2A", "glc-6-P", "A>B", "A-"}) {
    EXPECT_TRUE(IsValidMetaboliteName(good)) << good;
  }
  for (const char* bad : {"", "A B", "A\tB", "A*B", "A.1", "A=B", "A->B", "->"}) {
    EXPECT_FALSE(IsValidMetaboliteName(bad)) << bad;
  }
}

// The index answers every lookup as the linear search does, the first of a
// repeated name and a name that is not there included.
TEST(ModelTest, NameIndexFindsWhatTheModelsSearchFinds) {
  Model model;
  model.Allocate(3, 4, 0, 0, 1);
  const char* metaboliteNames[] = {"A", "B", "A", ""};
  for (int m = 0; m < 4; ++m) model.metabolites[m].name = metaboliteNames[m];
  const char* stepNames[] = {"v1", "v2", "v2"};
  for (int k = 0; k < 3; ++k) model.steps[k].name = stepNames[k];
  const ModelNameIndex index(model);
  for (const char* name : {"A", "B", "", "v1", "v2", "C", "a", "A "}) {
    EXPECT_EQ(index.Metabolite(name), model.FindMetabolite(name)) << name;
    EXPECT_EQ(index.Step(name), model.FindStep(name)) << name;
  }
  EXPECT_EQ(index.Metabolite("A"), 0);
  EXPECT_EQ(index.Step("v2"), 1);
}

}  // namespace
}  // namespace vireon
