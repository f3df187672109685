#include "scan/scan_binding.h"

#include <gtest/gtest.h>

#include <vector>

#include "output/output_function.h"
#include "scan/item_trees.h"
#include "engine/random.h"
#include "scan/saved_quantities.h"
#include "scan/scan.h"
#include "scan/scan_test_model.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;
using test::ScanTestModel;

ScanItem Scanned(OutputItem quantity, double min, double max, int density) {
  ScanItem item(quantity);
  item.min = min;
  item.max = max;
  item.density = density;
  return item;
}

ParameterLink Link(OutputItem target, OutputItem source, double constant) {
  ParameterLink link;
  link.target = std::move(target);
  link.source = std::move(source);
  link.constant = constant;
  return link;
}

TEST(ScanBindingTest, ScanItemsBindToTheirQuantitiesAndUnresolvedOnesGo) {
  ScanTestModel t;
  std::vector<ScanItem> items = {
      Scanned(MakeOutputItem(kInitialConcentration, "A"), 1, 2, 2),
      Scanned(MakeOutputItem(kKineticConstant, "R1", "V"), 1, 2, 2),
      Scanned(MakeOutputItem(kInitialConcentration, "Z"), 1, 2, 2),  // no such metabolite
      Scanned(MakeOutputItem(kVolume, "cell"), 1, 2, 2),
      Scanned(MakeOutputItem(kTransientFlux, "R1"), 1, 2, 2),  // a flux cannot be scanned
      Scanned(MakeOutputItem(kRelativeTolerance), 1, 2, 2),
      Scanned(MakeOutputItem(kEndTime), 1, 2, 2),
      Scanned(MakeOutputItem(kKineticConstant, "R2", "V"), 1, 2, 2),  // R2 has no type
  };
  EXPECT_EQ(RebindScanItems(items, t.Context(), true), 3);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].value, &t.model.metabolites[0].initialConcentration);
  EXPECT_EQ(items[1].value, &t.model.steps[0].constants[1]);
  EXPECT_EQ(items[2].value, &t.model.compartments[0].volume);
  EXPECT_EQ(items[3].value, &t.settings.solver.relativeTolerance);
  EXPECT_EQ(items[4].value, &t.settings.endTime);
  // Checking without binding leaves every reference cleared.
  EXPECT_EQ(RebindScanItems(items, t.Context(), false), 0);
  for (const ScanItem& item : items) EXPECT_EQ(item.value, nullptr);
}

TEST(ScanBindingTest, LinksNeedBothEnds) {
  ScanTestModel t;
  std::vector<ParameterLink> links = {
      Link(MakeOutputItem(kKineticConstant, "R1", "Km"), MakeOutputItem(kTime), 2.0),
      Link(MakeOutputItem(kTime), MakeOutputItem(kEndTime), 1.0),  // time is never a target
      Link(MakeOutputItem(kVolume, "cell"), MakeOutputItem(kRealTime), 1.0),
      Link(MakeOutputItem(kEndTime), MakeOutputItem(kInitialConcentration, "gone"), 1.0),
  };
  EXPECT_EQ(RebindParameterLinks(links, t.Context(), true), 2);
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].source.value, &t.engine.time);
  EXPECT_EQ(links[1].source.value, &t.engine.elapsedTime);
  t.engine.time = 4.0;
  ApplyLinks(links);
  EXPECT_CLOSE(t.model.steps[0].constants[0], 8.0, kTightAbs, kTightRel);
}

TEST(ScanBindingTest, DeletingTheStepOfALinkEndRemovesTheLink) {
  ScanTestModel t;
  std::vector<ParameterLink> links = {
      Link(MakeOutputItem(kKineticConstant, "R1", "Km"), MakeOutputItem(kVolume, "cell"), 1.0)};
  EXPECT_EQ(RebindParameterLinks(links, t.Context(), false), 0);
  t.model.steps[0].name = "R1a";
  EXPECT_EQ(RebindParameterLinks(links, t.Context(), false), 1);
  EXPECT_TRUE(links.empty());
}

TEST(ScanBindingTest, LinkOntoAUserFunctionWritesItsCurrentValue) {
  ScanTestModel t;
  std::vector<OutputFunction> functions = {OutputFunction("ratio", "a/2")};
  ASSERT_EQ(functions[0].Parse(), 0);
  *functions[0].ItemOf('a') = MakeOutputItem(kInitialConcentration, "B");
  BindingContext context = t.Context(OutputFunctionLookup(functions));
  EXPECT_EQ(RebindOutputFunctions(functions, context, true), 0);
  std::vector<ParameterLink> links = {
      Link(MakeOutputItem(kVolume, "cell"), MakeOutputItem(kUserFunction, "ratio"), 10.0),
      Link(MakeOutputItem(kUserFunction, "ratio"), MakeOutputItem(kEndTime), 1.0)};
  EXPECT_EQ(RebindParameterLinks(links, context, true), 0);
  RandomGenerator random(1);
  EvaluateOutputFunctions(functions, random);
  ApplyLinks(links);
  EXPECT_CLOSE(t.model.compartments[0].volume, 15.0, kTightAbs, kTightRel);
  // The function's value is replaced the next time it is evaluated.
  EXPECT_CLOSE(functions[0].value(), t.settings.endTime, kTightAbs, kTightRel);
  EvaluateOutputFunctions(functions, random);
  EXPECT_CLOSE(functions[0].value(), 1.5, kTightAbs, kTightRel);
}

TEST(ScanBindingTest, FunctionSymbolThatNoLongerResolvesStaysUnbound) {
  ScanTestModel t;
  std::vector<OutputFunction> functions = {OutputFunction("f", "a+b")};
  ASSERT_EQ(functions[0].Parse(), 0);
  *functions[0].ItemOf('a') = MakeOutputItem(kInitialConcentration, "A");
  *functions[0].ItemOf('b') = MakeOutputItem(kInitialConcentration, "gone");
  EXPECT_EQ(RebindOutputFunctions(functions, t.Context(), true), 1);
  ASSERT_EQ(functions.size(), 1u);
  RandomGenerator random(1);
  EXPECT_CLOSE(functions[0].Evaluate(random), 1.0, kTightAbs, kTightRel);
}

// A whole scan as a run drives it: bind, remember, scan with the links
// applied at the start of every iteration, restore.
TEST(ScanBindingTest, ScannedSourceIsFollowedAndEverythingIsRestoredAfterTheRun) {
  ScanTestModel t;
  Model& model = t.model;
  std::vector<ScanItem> items = {Scanned(MakeOutputItem(kInitialConcentration, "A"), 1, 3, 3),
                                 Scanned(MakeOutputItem(kKineticConstant, "R1", "Km"), 5, 6, 2)};
  std::vector<ParameterLink> links = {
      // B follows the scanned A; Km is scanned but the link overrides it.
      Link(MakeOutputItem(kInitialConcentration, "B"), MakeOutputItem(kInitialConcentration, "A"),
           2.0),
      Link(MakeOutputItem(kKineticConstant, "R1", "Km"), MakeOutputItem(kVolume, "cell"), 0.25)};
  ASSERT_EQ(RebindScanItems(items, t.Context(), true), 0);
  ASSERT_EQ(RebindParameterLinks(links, t.Context(), true), 0);
  SavedQuantities saved;
  saved.RememberScanItems(items);
  saved.RememberLinkTargets(links);

  std::vector<double> seenA, seenB, seenKm;
  ScanCallbacks callbacks;
  callbacks.tick = [] { return 0.0; };
  callbacks.runIteration = [&] {
    ApplyLinks(links);
    seenA.push_back(model.metabolites[0].initialConcentration);
    seenB.push_back(model.metabolites[1].initialConcentration);
    seenKm.push_back(model.steps[0].constants[0]);
    ++t.engine.iteration;
    return true;
  };
  RandomGenerator random(1);
  ScanDriver driver(items, random, t.engine, nullptr, callbacks);
  driver.Run();
  ASSERT_EQ(seenA.size(), 6u);
  for (std::size_t k = 0; k < seenA.size(); ++k) {
    EXPECT_CLOSE(seenA[k], 1.0 + k % 3, kTightAbs, kTightRel);
    EXPECT_CLOSE(seenB[k], 2.0 * seenA[k], kTightAbs, kTightRel);
    EXPECT_CLOSE(seenKm[k], 0.5, kTightAbs, kTightRel);
  }
  saved.Restore();
  EXPECT_CLOSE(model.metabolites[0].initialConcentration, 1.0, 0.0, 0.0);
  EXPECT_CLOSE(model.metabolites[1].initialConcentration, 3.0, 0.0, 0.0);
  EXPECT_CLOSE(model.steps[0].constants[0], 0.5, 0.0, 0.0);
}

std::vector<std::string> Titles(const OutputDataNode& node) {
  std::vector<std::string> titles;
  for (const OutputItem& item : node.entries) titles.push_back(item.title);
  return titles;
}

TEST(ItemTreesTest, ScanTreeOffersTheScannableQuantities) {
  ScanTestModel t;
  const std::vector<OutputDataNode> tree = BuildScanItemTree(t.model);
  ASSERT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree[0].text, "time");
  EXPECT_EQ(Titles(tree[0]), std::vector<std::string>{"end time"});
  EXPECT_EQ(tree[1].text, "initial concentrations");
  EXPECT_EQ(Titles(tree[1]), (std::vector<std::string>{"[A]i", "[B]i"}));
  EXPECT_EQ(tree[2].text, "kinetic constants");
  EXPECT_EQ(Titles(tree[2]), (std::vector<std::string>{"R1(Km)", "R1(V)"}));
  EXPECT_EQ(tree[3].text, "compartments");
  EXPECT_EQ(Titles(tree[3]), std::vector<std::string>{"V(cell)"});
  EXPECT_EQ(tree[4].text, "numerical methods");
  EXPECT_EQ(Titles(tree[4]), (std::vector<std::string>{"rel.tolerance", "abs.tolerance",
                                                       "deriv.factor", "ss resolution"}));
  // Every entry can be bound as a scan item.
  for (const OutputDataNode& node : tree) {
    for (const OutputItem& entry : node.entries) {
      std::vector<ScanItem> items = {ScanItem(entry)};
      EXPECT_EQ(RebindScanItems(items, t.Context(), true), 0) << entry.title;
    }
  }
}

// Scans and links set a global quantity's value, as they set a volume; its
// current value during a time course is the engine's and is never scanned.
TEST(ItemTreesTest, GlobalQuantitiesAreScannedAndLinkedByTheirValues) {
  ScanTestModel t;
  t.model.globalQuantities = {{"k", 1.5}, {"n", 4.0}};
  t.engine.Allocate(t.model);
  for (const std::vector<OutputDataNode>& tree :
       {BuildScanItemTree(t.model), BuildLinkItemTree(t.model, {})}) {
    ASSERT_EQ(tree.size(), 6u);
    EXPECT_EQ(tree[3].text, "compartments");
    EXPECT_EQ(tree[4].text, "global quantities");
    EXPECT_EQ(Titles(tree[4]), (std::vector<std::string>{"k", "n"}));
    EXPECT_EQ(tree[4].entries[1].type, kGlobalQuantity);
  }
  std::vector<ScanItem> items = {Scanned(MakeOutputItem(kGlobalQuantity, "n"), 1, 2, 2),
                                 Scanned(MakeOutputItem(kCurrentGlobalQuantity, "n"), 1, 2, 2)};
  EXPECT_EQ(RebindScanItems(items, t.Context(), true), 1);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].value, &t.model.globalQuantities[1].value);

  std::vector<ParameterLink> links = {
      Link(MakeOutputItem(kGlobalQuantity, "k"), MakeOutputItem(kGlobalQuantity, "n"), 0.5),
      Link(MakeOutputItem(kKineticConstant, "R1", "V"), MakeOutputItem(kGlobalQuantity, "k"), 3.0)};
  ASSERT_EQ(RebindParameterLinks(links, t.Context(), true), 0);
  ApplyLinks(links);
  EXPECT_CLOSE(t.model.globalQuantities[0].value, 2.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(t.model.steps[0].constants[1], 6.0, kTightAbs, kTightRel);
}

TEST(ItemTreesTest, LinkTreeAddsTheUserFunctions) {
  ScanTestModel t;
  const std::vector<std::string> names = {"ratio", "sum"};
  const std::vector<OutputDataNode> tree = BuildLinkItemTree(t.model, names);
  ASSERT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree[4].text, "user functions");
  EXPECT_EQ(Titles(tree[4]), names);
  EXPECT_EQ(tree[4].entries[0].type, kUserFunction);
  EXPECT_EQ(tree[2].entries[1].j, "V");
}

}  // namespace
}  // namespace vireon
