#include "kinetics/kinetic_binding.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"

namespace vireon {
namespace {

// A step with the given numbers of substrates and products (metabolites 0,
// 1, ... in order) and the given reversibility.
Step MakeStep(int substrates, int products, bool reversible) {
  Step step;
  step.reversible = reversible ? 1 : 0;
  step.SizeSubstrates(substrates);
  for (int i = 0; i < substrates; ++i) step.AppendSubstrate(i);
  step.SizeProducts(products);
  for (int i = 0; i < products; ++i) step.AppendProduct(substrates + i);
  return step;
}

std::unique_ptr<KineticType> UserType(const std::string& name, int substrates, int products,
                                      int reversible, int constants, int modifiers) {
  auto type = std::make_unique<KineticType>();
  type->name = name;
  type->substrates = substrates;
  type->products = products;
  type->reversible = static_cast<std::int16_t>(reversible);
  type->SizeNames(modifiers, constants);
  type->rate = EvaluateUserDefinedRate;
  return type;
}

std::vector<std::string> Names(const std::vector<const KineticType*>& types) {
  std::vector<std::string> names;
  for (const KineticType* t : types) names.push_back(t->name);
  return names;
}

class KineticBindingTest : public ::testing::Test {
 protected:
  KineticBindingTest() { BuildBuiltInKineticTypes(catalogue); }
  KineticCatalogue catalogue;
};

TEST_F(KineticBindingTest, ReversibleUniUniStepIsOfferedTheReversibleOneToOneTypesInOrder) {
  catalogue.Insert(UserType("my one to one", 1, 1, 1, 1, 0));
  catalogue.Insert(UserType("my one to two", 1, 2, 1, 1, 0));
  EXPECT_EQ(
      Names(EligibleKineticTypes(catalogue, MakeStep(1, 1, true))),
      (std::vector<std::string>{
          "Constant flux (reversible)", "Mass action (reversible)", "Reversible Michaelis-Menten",
          "Substrate inhibition (rev)", "Competitive inhibition (rev)",
          "Uncompetitive inhibition (rev)", "Noncompetitive inhibition (rev)",
          "Mixed inhibition (rev)", "Specific activation (rev)", "Catalytic activation (rev)",
          "Mixed activation (rev)", "Hyperbolic modifier (rev)",
          "Allosteric inhibition (empirical)", "Uni Uni", "Iso Uni Uni", "my one to one"}));
}

TEST_F(KineticBindingTest, IrreversibleStepIsCheckedOnlyForSubstratesAndDirection) {
  const std::vector<std::string> expected = {"Constant flux (irreversible)",
                                             "Mass action (irreversible)",
                                             "Henri-Michaelis-Menten (irreversible)",
                                             "Substrate inhibition (irr)",
                                             "Substrate activation (irr)",
                                             "Competitive inhibition (irr)",
                                             "Uncompetitive inhibition (irr)",
                                             "Noncompetitive inhibition (irr)",
                                             "Mixed inhibition (irr)",
                                             "Specific activation (irrev)",
                                             "Catalytic activation (irrev)",
                                             "Mixed activation (irrev)",
                                             "Hyperbolic modifier (irrev)",
                                             "Allosteric inhibition (MWC)",
                                             "Hill Cooperativity"};
  EXPECT_EQ(Names(EligibleKineticTypes(catalogue, MakeStep(1, 2, false))), expected);
  EXPECT_EQ(Names(EligibleKineticTypes(catalogue, MakeStep(1, 0, false))), expected);
}

TEST_F(KineticBindingTest, ReversibleStepWithTwoProductsIsNotOfferedOneProductTypes) {
  const std::vector<std::string> names =
      Names(EligibleKineticTypes(catalogue, MakeStep(1, 2, true)));
  EXPECT_EQ(names, (std::vector<std::string>{"Constant flux (reversible)",
                                             "Mass action (reversible)", "Ordered Uni Bi"}));
}

TEST_F(KineticBindingTest, BiBiStepsAndStepsWithoutSubstrates) {
  EXPECT_EQ(Names(EligibleKineticTypes(catalogue, MakeStep(2, 2, true))),
            (std::vector<std::string>{"Constant flux (reversible)", "Mass action (reversible)",
                                      "Ordered Bi Bi", "Ping Pong Bi Bi"}));
  EXPECT_EQ(
      Names(EligibleKineticTypes(catalogue, MakeStep(0, 1, false))),
      (std::vector<std::string>{"Constant flux (irreversible)", "Mass action (irreversible)"}));
}

TEST_F(KineticBindingTest, MissingTypeBecomesConstantFluxWithTheDefaultConstant) {
  Model model;
  model.steps = {MakeStep(1, 1, true), MakeStep(1, 1, false), MakeStep(1, 1, true)};
  model.steps[0].kineticTypeName = "deleted type";
  model.steps[0].constants = {5, 6, 7};
  model.steps[0].modifiers = {0};
  model.steps[1].kineticTypeName = "";
  model.steps[2].kineticTypeName = "Uni Uni";
  model.steps[2].constants = {1.5, 2.5, 3.5, 4.5};

  BindMissingKineticTypes(model, catalogue, 2.75);

  EXPECT_EQ(model.steps[0].kineticTypeName, kConstantFluxReversible);
  EXPECT_EQ(model.steps[0].kineticType, catalogue.Find(kConstantFluxReversible));
  EXPECT_EQ(model.steps[0].constants, std::vector<double>{2.75});
  EXPECT_TRUE(model.steps[0].modifiers.empty());
  EXPECT_EQ(model.steps[1].kineticTypeName, kConstantFluxIrreversible);
  EXPECT_EQ(model.steps[1].constants, std::vector<double>{2.75});
  // A type that exists is bound by name and keeps its constants.
  EXPECT_EQ(model.steps[2].kineticType, catalogue.Find("Uni Uni"));
  EXPECT_EQ(model.steps[2].constants, (std::vector<double>{1.5, 2.5, 3.5, 4.5}));
}

TEST_F(KineticBindingTest, BindingByNamePadsShortArrays) {
  Model model;
  model.steps = {MakeStep(1, 1, true)};
  model.steps[0].kineticTypeName = "Competitive inhibition (rev)";
  model.steps[0].constants = {1.5};
  BindMissingKineticTypes(model, catalogue, 0.5);
  EXPECT_EQ(model.steps[0].constants, (std::vector<double>{1.5, 0.5, 0.5, 0.5, 0.5}));
  EXPECT_EQ(model.steps[0].modifiers, std::vector<int>{-1});
}

TEST_F(KineticBindingTest, NewStepsGetConstantFluxAndOldStepsKeepTheirType) {
  Model model;
  model.steps = {MakeStep(1, 1, true), MakeStep(1, 1, false)};
  model.steps[0].kineticType = catalogue.Find("Uni Uni");
  model.steps[0].kineticTypeName = "Uni Uni";
  model.steps[0].constants = {1, 2, 3, 4};
  BindNewSteps(model, catalogue, 1.0);
  EXPECT_EQ(model.steps[0].kineticTypeName, "Uni Uni");
  EXPECT_EQ(model.steps[0].constants, (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(model.steps[1].kineticType, catalogue.Find(kConstantFluxIrreversible));
  EXPECT_EQ(model.steps[1].constants, std::vector<double>{1.0});
}

TEST_F(KineticBindingTest, RebindResetsConstantsOfStepsOfThatNameOnly) {
  catalogue.Insert(UserType("mine", 1, 1, 1, 2, 0));
  Model model;
  model.steps = {MakeStep(1, 1, true), MakeStep(1, 1, true)};
  for (Step& step : model.steps) {
    step.kineticType = catalogue.Find("mine");
    step.kineticTypeName = "mine";
    step.constants = {7, 8};
  }
  model.steps[1].kineticTypeName = "Uni Uni";
  model.steps[1].kineticType = catalogue.Find("Uni Uni");
  model.steps[1].constants = {1, 2, 3, 4};

  catalogue.Remove("mine");
  catalogue.Insert(UserType("mine", 1, 1, 1, 3, 1));
  RebindKineticType(model, catalogue, "mine", 0.25);

  EXPECT_EQ(model.steps[0].kineticType, catalogue.Find("mine"));
  EXPECT_EQ(model.steps[0].constants, (std::vector<double>{0.25, 0.25, 0.25}));
  EXPECT_EQ(model.steps[0].modifiers, std::vector<int>{-1});
  EXPECT_EQ(model.steps[1].constants, (std::vector<double>{1, 2, 3, 4}));
}

TEST_F(KineticBindingTest, CanEvaluateRateChecksWhatTheLawReads) {
  Model model;
  model.Allocate(1, 3, 3, 0, 1);
  model.steps[0] = MakeStep(1, 1, true);
  model.steps[0].kineticTypeName = "Competitive inhibition (rev)";
  EXPECT_FALSE(CanEvaluateRate(model, 0));  // no type yet
  BindMissingKineticTypes(model, catalogue, 1.0);
  EXPECT_FALSE(CanEvaluateRate(model, 0));  // the inhibitor is unassigned
  model.steps[0].modifiers[0] = 2;
  EXPECT_TRUE(CanEvaluateRate(model, 0));
  model.steps[0].modifiers[0] = 3;
  EXPECT_FALSE(CanEvaluateRate(model, 0));
  model.steps[0].modifiers[0] = 2;
  model.steps[0].constants.pop_back();
  EXPECT_FALSE(CanEvaluateRate(model, 0));
  EXPECT_FALSE(CanEvaluateRate(model, 1));

  // An irreversible law that reads no product needs none.
  model.steps[0] = MakeStep(1, 0, false);
  model.steps[0].kineticTypeName = "Henri-Michaelis-Menten (irreversible)";
  BindMissingKineticTypes(model, catalogue, 1.0);
  EXPECT_TRUE(CanEvaluateRate(model, 0));
  model.steps[0] = MakeStep(0, 1, false);
  model.steps[0].kineticTypeName = "Henri-Michaelis-Menten (irreversible)";
  BindMissingKineticTypes(model, catalogue, 1.0);
  EXPECT_FALSE(CanEvaluateRate(model, 0));
}

}  // namespace
}  // namespace vireon
