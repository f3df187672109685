#include "output/output_item_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output_test_models.h"

namespace vireon {
namespace {

std::vector<std::string> Titles(const std::vector<OutputItem>& items) {
  std::vector<std::string> titles;
  for (const OutputItem& item : items) titles.push_back(item.title);
  return titles;
}

// The enzyme model: metabolites E, S, ES, P; steps binding, catalysis;
// compartments "compartment" and "cytosol"; relation "  E + ES ".
TEST(FindTimeCourseItemsTest, NamesStandForTheirCurrentValues) {
  auto t = test::EnzymeMoiety();
  t->model.globalQuantities = {{"Vmax", 2.0}};
  const struct {
    const char* text;
    OutputItem item;
  } cases[] = {
      {"ES", MakeOutputItem(kTransientConcentration, "ES")},
      {"binding", MakeOutputItem(kTransientFlux, "binding")},
      {"cytosol", MakeOutputItem(kCurrentVolume, "cytosol")},
      {"Vmax", MakeOutputItem(kCurrentGlobalQuantity, "Vmax")},
      // Titles of the time-course data file's items.
      {"[ES]t", MakeOutputItem(kTransientConcentration, "ES")},
      {"[S]i", MakeOutputItem(kInitialConcentration, "S")},
      {"J(catalysis)", MakeOutputItem(kTransientFlux, "catalysis")},
      {"binding(k2)", MakeOutputItem(kKineticConstant, "binding", "k2")},
      {"V(cytosol)", MakeOutputItem(kVolume, "cytosol")},
      {"V(cytosol)t", MakeOutputItem(kCurrentVolume, "cytosol")},
      {"Vmax(t)", MakeOutputItem(kCurrentGlobalQuantity, "Vmax")},
      {"  E + ES ", MakeOutputItem(kMoietyTotal, "  E + ES ")},
      {"step count", MakeOutputItem(kStepCount)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindTimeCourseItems(t->model, c.text), std::vector<OutputItem>{c.item}) << c.text;
  }
}

TEST(FindTimeCourseItemsTest, UnknownAmbiguousAndExcludedTexts) {
  auto t = test::EnzymeMoiety();
  // Steady-state items, the time (the table's first column), wrong case.
  for (const char* text : {"es", "[ES]ss", "tt(E)", "time", "V(nucleus)", "Vmax(t)", ""}) {
    EXPECT_TRUE(FindTimeCourseItems(t->model, text).empty()) << text;
  }
  // A step named like a metabolite: the name is both.
  t->model.steps[1].name = "P";
  EXPECT_EQ(Titles(FindTimeCourseItems(t->model, "P")), (std::vector<std::string>{"[P]t", "J(P)"}));
  // Without step names, only the metabolite; the title still finds the flux.
  EXPECT_EQ(Titles(FindTimeCourseItems(t->model, "P", /*stepNames=*/false)),
            (std::vector<std::string>{"[P]t"}));
  EXPECT_EQ(Titles(FindTimeCourseItems(t->model, "J(P)", false)),
            (std::vector<std::string>{"J(P)"}));
  // A name is taken before a title: a metabolite called "time" is found.
  t->model.metabolites[0].name = "time";
  EXPECT_EQ(FindTimeCourseItems(t->model, "time"),
            std::vector<OutputItem>{MakeOutputItem(kTransientConcentration, "time")});
}

}  // namespace
}  // namespace vireon
