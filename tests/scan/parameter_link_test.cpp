#include "scan/parameter_link.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/model.h"
#include "model/structural_analysis.h"
#include "scan/saved_quantities.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

OutputItem Bound(const std::string& title, double* value) {
  OutputItem item;
  item.title = title;
  item.type = kKineticConstant;
  item.value = value;
  return item;
}

ParameterLink Link(OutputItem target, OutputItem source, double constant) {
  ParameterLink link;
  link.target = std::move(target);
  link.source = std::move(source);
  link.constant = constant;
  return link;
}

TEST(ParameterLinkTest, LaterLinksSeeWhatEarlierOnesWrote) {
  double a = 1.0, b = 5.0, c = 0.0;
  std::vector<ParameterLink> links = {Link(Bound("A", &a), Bound("B", &b), 2.0),
                                      Link(Bound("C", &c), Bound("A", &a), 3.0)};
  ApplyLinks(links);
  EXPECT_CLOSE(a, 10.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(c, 6.0 * b, kTightAbs, kTightRel);
}

TEST(ParameterLinkTest, InReverseOrderTheSecondLinkUsesTheOldValue) {
  double a = 1.0, b = 5.0, c = 0.0;
  std::vector<ParameterLink> links = {Link(Bound("C", &c), Bound("A", &a), 3.0),
                                      Link(Bound("A", &a), Bound("B", &b), 2.0)};
  ApplyLinks(links);
  EXPECT_CLOSE(c, 3.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(a, 10.0, kTightAbs, kTightRel);
}

TEST(ParameterLinkTest, UnboundEndChangesNothing) {
  double a = 4.0;
  ApplyLink(Link(Bound("A", &a), Bound("B", nullptr), 2.0));
  ApplyLink(Link(Bound("A", nullptr), Bound("B", &a), 2.0));
  EXPECT_CLOSE(a, 4.0, 0.0, 0.0);
}

TEST(ParameterLinkTest, LinkOntoAnInitialConcentrationCountsInTheTotals) {
  // A conservation relation A + B = total, computed from the initial
  // concentrations before and after the links.
  double initialA = 1.0, initialB = 2.0, total = 0.0;
  std::vector<double> totalsSeen;
  auto computeTotals = [&] {
    total = initialA + initialB;
    totalsSeen.push_back(total);
  };
  std::vector<ParameterLink> links = {
      Link(Bound("[A]i", &initialA), Bound("[B]i", &initialB), 4.0)};
  ApplyLinksBetweenTotals(links, computeTotals);
  ASSERT_EQ(totalsSeen.size(), 2u);
  EXPECT_CLOSE(totalsSeen[0], 3.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(total, 10.0, kTightAbs, kTightRel);
}

// E + S = ES, ES -> E + P with S and P fixed: E + ES is conserved.
TEST(ParameterLinkTest, LinkOntoAnInitialConcentrationChangesThatIterationsMoietyTotal) {
  Model model;
  model.Allocate(2, 4, 2, 0, 1);
  model.compartments[0].volume = 2.0;
  const char* names[] = {"E", "S", "ES", "P"};
  const std::int16_t types[] = {INDEPENDENT, FIXED, INDEPENDENT, FIXED};
  const double initial[] = {1.0, 5.0, 0.5, 0.0};
  for (int m = 0; m < 4; ++m) model.metabolites[m] = Metabolite(names[m], types[m], 0, initial[m]);
  model.steps[0].name = "R1";
  model.steps[1].name = "R2";
  model.steps[0].SizeSubstrates(2);
  model.steps[0].SizeProducts(1);
  model.steps[1].SizeSubstrates(1);
  model.steps[1].SizeProducts(2);
  model.AddStoichiometry(0, 0, -1, 1);
  model.AddStoichiometry(0, 1, -1, 1);
  model.AddStoichiometry(0, 2, 1, 1);
  model.AddStoichiometry(1, 2, -1, 1);
  model.AddStoichiometry(1, 0, 1, 1);
  model.AddStoichiometry(1, 3, 1, 1);
  StructuralAnalysis(model);
  ASSERT_EQ(model.nMoieties(), 1);
  // The total is an amount: (E + ES) x volume.
  EXPECT_CLOSE(model.moieties[0].initialConcentration, 3.0, kTightAbs, kTightRel);

  std::vector<ParameterLink> links = {
      Link(Bound("[E]i", &model.metabolites[0].initialConcentration),
           Bound("[S]i", &model.metabolites[1].initialConcentration), 0.5)};
  ApplyLinksBetweenTotals(links, [&] { ComputeMoietyTotals(model); });
  EXPECT_CLOSE(model.metabolites[0].initialConcentration, 2.5, kTightAbs, kTightRel);
  EXPECT_CLOSE(model.moieties[0].initialConcentration, (2.5 + 0.5) * 2.0, kTightAbs, kTightRel);
}

TEST(ParameterLinkTest, DisplayLineUsesSixSignificantDigits) {
  double x = 0.0;
  ParameterLink link = Link(Bound("k1(V)", &x), Bound("k2(V)", &x), 2.0);
  EXPECT_EQ(link.DisplayLine(), "k1(V) = 2 * k2(V)");
  link.constant = 3.14159265358979;
  EXPECT_EQ(link.DisplayLine(), "k1(V) = 3.14159 * k2(V)");
  link.constant = 1.5e-12;
  EXPECT_EQ(link.DisplayLine(), "k1(V) = 1.5e-12 * k2(V)");
}

TEST(ParameterLinkTest, LinkTargetsGetTheirValuesBackAfterTheRun) {
  double a = 1.0, b = 5.0, c = 0.5;
  std::vector<ParameterLink> links = {Link(Bound("A", &a), Bound("B", &b), 2.0),
                                      Link(Bound("C", &c), Bound("A", &a), 3.0)};
  SavedQuantities saved;
  saved.RememberLinkTargets(links);
  EXPECT_CLOSE(links[1].savedValue, 0.5, 0.0, 0.0);
  for (int iteration = 0; iteration < 3; ++iteration) {
    b += 1.0;  // as if the source were scanned
    ApplyLinks(links);
    EXPECT_CLOSE(c, 6.0 * b, kTightAbs, kTightRel);
  }
  saved.Restore();
  EXPECT_CLOSE(a, 1.0, 0.0, 0.0);
  EXPECT_CLOSE(c, 0.5, 0.0, 0.0);
}

}  // namespace
}  // namespace vireon
