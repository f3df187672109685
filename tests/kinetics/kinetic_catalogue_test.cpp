#include "kinetics/kinetic_catalogue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"

namespace vireon {
namespace {

std::unique_ptr<KineticType> UserType(const std::string& name) {
  auto type = std::make_unique<KineticType>();
  type->name = name;
  return type;
}

std::vector<std::string> Names(const std::vector<const KineticType*>& types) {
  std::vector<std::string> names;
  for (const KineticType* t : types) names.push_back(t->name);
  return names;
}

TEST(KineticTypeTest, NameArraysFollowTheCounts) {
  KineticType type("t", 1, 1, 2, 3, nullptr, 1);
  EXPECT_EQ(type.constantNames, (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(type.modifierNames, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(type.userDefined, 0);
  type.SetConstantName("Km", 1);
  type.SetConstantName("ignored", 3);
  type.SetConstantName("ignored", -1);
  type.SetModifierName("Inhibitor", 0);
  type.SetModifierName("ignored", 2);
  EXPECT_EQ(type.constantNames, (std::vector<std::string>{"", "Km", ""}));
  EXPECT_EQ(type.modifierNames, (std::vector<std::string>{"Inhibitor", ""}));
}

TEST(KineticTypeTest, FindConstantComparesExactlyAndTakesTheFirst) {
  KineticType type("t", 1, 1, 0, 4, nullptr, 1);
  type.SetConstantName("Km", 0);
  type.SetConstantName("V", 1);
  type.SetConstantName("Km", 2);
  EXPECT_EQ(type.FindConstant("Km"), 0);
  EXPECT_EQ(type.FindConstant("V"), 1);
  EXPECT_EQ(type.FindConstant("km"), -1);
  EXPECT_EQ(type.FindConstant("Vmax"), -1);
}

TEST(KineticTypeTest, NegativeCountsGiveEmptyArrays) {
  KineticType type("t", -1, -1, -3, -2, nullptr, 0);
  EXPECT_EQ(type.constants, 0);
  EXPECT_EQ(type.modifiers, 0);
  EXPECT_TRUE(type.constantNames.empty());
}

TEST(KineticCatalogueTest, LookupIsExact) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  EXPECT_TRUE(catalogue.Contains("Uni Uni"));
  EXPECT_FALSE(catalogue.Contains("uni uni"));
  EXPECT_FALSE(catalogue.Contains("Uni Uni "));
  EXPECT_EQ(catalogue.Find("Nothing"), nullptr);
}

TEST(KineticCatalogueTest, UserDefinedTypesFollowTheBuiltInOnesInOrderOfAddition) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  ASSERT_NE(catalogue.Insert(UserType("zeta")), nullptr);
  ASSERT_NE(catalogue.Insert(UserType("alpha")), nullptr);
  ASSERT_NE(catalogue.Insert(UserType("mu")), nullptr);
  const std::vector<std::string> names = Names(catalogue.Types());
  ASSERT_EQ(names.size(), 37u);
  EXPECT_EQ(names[0], kConstantFluxIrreversible);
  EXPECT_EQ(names[33], "Ping Pong Bi Bi");
  EXPECT_EQ(std::vector<std::string>(names.begin() + 34, names.end()),
            (std::vector<std::string>{"zeta", "alpha", "mu"}));
  EXPECT_EQ(Names(catalogue.UserDefinedTypes()), (std::vector<std::string>{"zeta", "alpha", "mu"}));
  EXPECT_EQ(catalogue.UserDefinedCount(), 3);
}

TEST(KineticCatalogueTest, InsertRefusesATakenName) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  EXPECT_EQ(catalogue.Insert(UserType("Uni Uni")), nullptr);
  EXPECT_EQ(catalogue.Find("Uni Uni")->userDefined, 0);
  ASSERT_NE(catalogue.Insert(UserType("mine")), nullptr);
  EXPECT_EQ(catalogue.Insert(UserType("mine")), nullptr);
  EXPECT_EQ(catalogue.size(), kBuiltInKineticTypeCount + 1);
  EXPECT_EQ(catalogue.Insert(nullptr), nullptr);
}

TEST(KineticCatalogueTest, RemoveHandsTheTypeBackAndItsPlace) {
  KineticCatalogue catalogue;
  catalogue.Insert(UserType("a"));
  catalogue.Insert(UserType("b"));
  catalogue.Insert(UserType("c"));
  int position = -1;
  std::unique_ptr<KineticType> b = catalogue.Remove("b", &position);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(position, 1);
  EXPECT_FALSE(catalogue.Contains("b"));
  EXPECT_EQ(Names(catalogue.Types()), (std::vector<std::string>{"a", "c"}));
  EXPECT_TRUE(catalogue.UserDefinedRemoved());
  // Entered again at its old place, it is no longer missing.
  catalogue.Insert(std::move(b), position);
  EXPECT_EQ(Names(catalogue.Types()), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_FALSE(catalogue.UserDefinedRemoved());
  EXPECT_EQ(catalogue.Remove("nothing"), nullptr);
}

TEST(KineticCatalogueTest, DestroyEmptiesTheCatalogue) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  catalogue.Insert(UserType("a"));
  DestroyKineticCatalogue(catalogue);
  EXPECT_EQ(catalogue.size(), 0);
  EXPECT_FALSE(catalogue.Contains("a"));
  EXPECT_FALSE(catalogue.Contains("Uni Uni"));
}

}  // namespace
}  // namespace vireon
