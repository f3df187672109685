#include "model/structural_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "support/expect_close.h"
#include "support/reference_models.h"

namespace vireon {
namespace {

// The analysis works in single precision on small whole numbers; products
// and sums of a few such numbers stay well inside this.
constexpr double kFloatAbs = 1e-4;
constexpr double kFloatRel = 1e-5;

struct Term {
  int metabolite;
  int coefficient = 1;
};

struct Reaction {
  std::vector<Term> left;
  std::vector<Term> right;
};

int Units(const std::vector<Term>& terms) {
  int units = 0;
  for (const Term& t : terms) units += t.coefficient;
  return units;
}

// A model filled the way the equation parser fills one: every metabolite
// internal unless listed as fixed, concentration 1, compartment 0.
Model BuildModel(const std::vector<std::string>& names, const std::vector<Reaction>& reactions,
                 const std::vector<int>& fixed = {}) {
  Model model;
  const int nMetabolites = static_cast<int>(names.size());
  model.Allocate(static_cast<int>(reactions.size()), nMetabolites, nMetabolites, 0, 1);
  for (int i = 0; i < nMetabolites; ++i) {
    model.metabolites[i] = Metabolite(names[i], INDEPENDENT, 0, 1.0);
  }
  for (int f : fixed) model.metabolites[f].type = FIXED;
  for (int s = 0; s < static_cast<int>(reactions.size()); ++s) {
    Step& step = model.steps[s];
    step.name = "R" + std::to_string(s);
    step.SizeSubstrates(Units(reactions[s].left));
    step.SizeProducts(Units(reactions[s].right));
    for (const Term& t : reactions[s].left)
      model.AddStoichiometry(s, t.metabolite, -1, t.coefficient);
    for (const Term& t : reactions[s].right)
      model.AddStoichiometry(s, t.metabolite, +1, t.coefficient);
  }
  return model;
}

// The stoichiometry of the internal metabolites in position order.
double Permuted(const Model& model, int p, int q) {
  return model.stoichiometry[model.metaboliteOrder[p]][model.stepOrder[q]];
}

// Rank of the internal rows of the stoichiometry, by elimination in double
// precision with partial pivoting (a different method from the analysis).
int ReferenceRank(const Model& model) {
  std::vector<std::vector<double>> rows;
  for (int m = 0; m < model.nMetabolites(); ++m) {
    if (!model.metabolites[m].IsInternal()) continue;
    rows.emplace_back(model.stoichiometry[m], model.stoichiometry[m] + model.nSteps());
  }
  int rank = 0;
  for (int column = 0; column < model.nSteps() && rank < static_cast<int>(rows.size()); ++column) {
    int best = rank;
    for (int i = rank; i < static_cast<int>(rows.size()); ++i) {
      if (std::fabs(rows[i][column]) > std::fabs(rows[best][column])) best = i;
    }
    if (std::fabs(rows[best][column]) < 1e-9) continue;
    std::swap(rows[best], rows[rank]);
    for (int i = rank + 1; i < static_cast<int>(rows.size()); ++i) {
      double f = rows[i][column] / rows[rank][column];
      for (int j = column; j < model.nSteps(); ++j) rows[i][j] -= f * rows[rank][j];
    }
    ++rank;
  }
  return rank;
}

bool IsPermutation(std::vector<int> values) {
  std::sort(values.begin(), values.end());
  for (int i = 0; i < static_cast<int>(values.size()); ++i) {
    if (values[i] != i) return false;
  }
  return true;
}

// Everything that must hold after an analysis, whatever the network.
void ExpectConsistentAnalysis(const Model& model) {
  const int nMetabolites = model.nMetabolites();
  const int nSteps = model.nSteps();
  const int n = model.nVariable;
  const int r = model.nIndependent;

  EXPECT_EQ(n + model.nFixed, nMetabolites);
  EXPECT_EQ(r + model.nDependent, n);
  EXPECT_EQ(model.nMoieties(), model.nDependent);
  EXPECT_EQ(r, ReferenceRank(model));

  ASSERT_TRUE(IsPermutation(model.metaboliteOrder));
  ASSERT_TRUE(IsPermutation(model.stepOrder));
  for (int p = 0; p < nMetabolites; ++p) {
    EXPECT_EQ(model.metabolitePosition[model.metaboliteOrder[p]], p);
    std::int16_t expected = p < r ? INDEPENDENT : p < n ? DEPENDENT : FIXED;
    EXPECT_EQ(model.metabolites[model.metaboliteOrder[p]].type, expected) << "position " << p;
  }
  for (int q = 0; q < nSteps; ++q) EXPECT_EQ(model.stepPosition[model.stepOrder[q]], q);
  // Fixed metabolites are never swapped: they keep their index order.
  for (int p = n + 1; p < nMetabolites; ++p) {
    EXPECT_LT(model.metaboliteOrder[p - 1], model.metaboliteOrder[p]);
  }
  // Every internal metabolite takes part in some step.
  for (int p = 0; p < n; ++p) {
    bool any = false;
    for (int q = 0; q < nSteps; ++q) any = any || Permuted(model, p, q) != 0.0;
    EXPECT_TRUE(any) << "position " << p;
  }

  // The link matrix is unit lower-triangular.
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(model.link[i][i], 1.0f);
    for (int j = i + 1; j < n; ++j) EXPECT_EQ(model.link[i][j], 0.0f);
  }
  // The reduced rows are upper-trapezoidal with non-zero pivots; the rows
  // past the rank are zero.
  const Matrix<float>& u = model.reducedStoichiometry;
  for (int i = 0; i < n; ++i) {
    if (i < r) {
      EXPECT_GT(std::fabs(u[i][i]), kStructuralZeroTolerance);
    }
    for (int j = 0; j < nSteps; ++j) {
      if (i >= r || j < i) {
        EXPECT_CLOSE(u[i][j], 0.0, kFloatAbs, 0.0) << i << "," << j;
      }
    }
  }
  // Link times reduced rows gives back the permuted stoichiometry.
  for (int p = 0; p < n; ++p) {
    for (int q = 0; q < nSteps; ++q) {
      double sum = 0.0;
      for (int t = 0; t < n; ++t) sum += static_cast<double>(model.link[p][t]) * u[t][q];
      EXPECT_CLOSE(sum, Permuted(model, p, q), kFloatAbs, kFloatRel) << p << "," << q;
    }
  }
  // Each conservation row is unit on its own dependent position, zero on
  // the others, and annihilates every column of the stoichiometry: the
  // relation really is conserved by every step.
  for (int p = r; p < n; ++p) {
    for (int c = r; c < n; ++c) EXPECT_EQ(model.conservation[p][c], c == p ? 1.0f : 0.0f);
    for (int q = 0; q < nSteps; ++q) {
      double sum = 0.0;
      for (int l = 0; l < n; ++l)
        sum += static_cast<double>(model.conservation[p][l]) * Permuted(model, l, q);
      EXPECT_CLOSE(sum, 0.0, kFloatAbs, 0.0) << "relation " << p << ", step position " << q;
    }
  }
  for (const Metabolite& moiety : model.moieties) {
    EXPECT_EQ(moiety.type, MOIETY);
    EXPECT_EQ(moiety.compartment, 0);
  }
}

// A model with metabolites M0, M1, ... whose stoichiometry has the given
// rows (one per metabolite, one entry per step).
Model BuildFromRows(const std::vector<std::vector<int>>& rows, const std::vector<int>& fixed = {}) {
  const int nSteps = rows.empty() ? 0 : static_cast<int>(rows[0].size());
  std::vector<std::string> names;
  std::vector<Reaction> reactions(nSteps);
  for (int m = 0; m < static_cast<int>(rows.size()); ++m) {
    names.push_back("M" + std::to_string(m));
    for (int s = 0; s < nSteps; ++s) {
      if (rows[m][s] < 0) reactions[s].left.push_back({m, -rows[m][s]});
      if (rows[m][s] > 0) reactions[s].right.push_back({m, rows[m][s]});
    }
  }
  return BuildModel(names, reactions, fixed);
}

std::vector<std::string> MetaboliteNames(const Model& model) {
  std::vector<std::string> names;
  for (const Metabolite& m : model.metabolites) names.push_back(m.name);
  return names;
}

std::vector<std::string> MoietyNames(const Model& model) {
  std::vector<std::string> names;
  for (const Metabolite& m : model.moieties) names.push_back(m.name);
  return names;
}

// ---- Small networks with known results -----------------------------------

TEST(StructuralAnalysisTest, ChainWithFixedEndsHasOneIndependentMetabolite) {
  // A -> B, B -> P with A and P fixed.
  Model model = BuildModel({"A", "B", "P"}, {{{{0}}, {{1}}}, {{{1}}, {{2}}}}, {0, 2});
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.nVariable, 1);
  EXPECT_EQ(model.nIndependent, 1);
  EXPECT_EQ(model.nDependent, 0);
  EXPECT_EQ(model.nFixed, 2);
  EXPECT_EQ(model.nMoieties(), 0);
  EXPECT_EQ(model.metaboliteOrder, (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(model.metabolites[1].type, INDEPENDENT);
}

// E + S = ES, ES = E + P with S and P fixed.
Model EnzymeModel(bool complexFirst) {
  const int e = complexFirst ? 1 : 0;
  const int es = complexFirst ? 0 : 1;
  std::vector<std::string> names(4);
  names[e] = "E";
  names[es] = "ES";
  names[2] = "S";
  names[3] = "P";
  return BuildModel(names, {{{{e}, {2}}, {{es}}}, {{{es}}, {{e}, {3}}}}, {2, 3});
}

TEST(StructuralAnalysisTest, EnzymeAndComplexFormOneMoiety) {
  Model model = EnzymeModel(false);
  ASSERT_EQ(model.SetCompartmentCount(2), 0);
  model.compartments[1].volume = 2.5;
  model.metabolites[0].compartment = 1;  // E
  model.metabolites[0].initialConcentration = 2.0;
  model.metabolites[1].initialConcentration = 0.5;  // ES, volume 1
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.nVariable, 2);
  EXPECT_EQ(model.nIndependent, 1);
  EXPECT_EQ(model.metabolites[0].type, INDEPENDENT);
  EXPECT_EQ(model.metabolites[1].type, DEPENDENT);
  ASSERT_EQ(model.nMoieties(), 1);
  EXPECT_EQ(model.moieties[0].name, "  E + ES ");
  // E + ES in concentrations, as an amount in the volume of the dependent ES.
  EXPECT_CLOSE(model.moieties[0].initialConcentration, (2.0 + 0.5) * 1.0, test::kTightAbs,
               test::kTightRel);
}

TEST(StructuralAnalysisTest, MoietyNameFollowsTheMetaboliteTable) {
  Model model = EnzymeModel(true);
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(MoietyNames(model), (std::vector<std::string>{"  ES + E "}));
}

TEST(StructuralAnalysisTest, ModifierOnlyMetaboliteBecomesFixedAndStaysFixed) {
  // A -> B, B -> C with C fixed; I only modifies the first step.
  Model model = BuildModel({"A", "B", "C", "I"}, {{{{0}}, {{1}}}, {{{1}}, {{2}}}}, {2});
  model.steps[0].ResizeModifiers(1);
  model.steps[0].modifiers[0] = 3;
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.metabolites[3].type, FIXED);
  EXPECT_EQ(model.nVariable, 2);

  // I now takes part in a step; it stays fixed until the user says otherwise.
  model.stoichiometry[3][1] = 1.0f;
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.metabolites[3].type, FIXED);
}

TEST(StructuralAnalysisTest, AllFixedModelHasNoVariables) {
  Model model = BuildModel({"X", "Y"}, {{{{0}}, {{1}}}}, {0, 1});
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.nVariable, 0);
  EXPECT_EQ(model.nIndependent, 0);
  EXPECT_EQ(model.nDependent, 0);
  EXPECT_EQ(model.nFixed, 2);
  EXPECT_EQ(model.nMoieties(), 0);
  EXPECT_EQ(model.metaboliteOrder, (std::vector<int>{0, 1}));
}

TEST(StructuralAnalysisTest, MoreStepsThanMetabolitesStopsAtTheRank) {
  // X -> A, A -> Y, X -> Y, 2A -> Y, A -> 2Y with X and Y fixed.
  Model model = BuildModel(
      {"X", "A", "Y"},
      {{{{0}}, {{1}}}, {{{1}}, {{2}}}, {{{0}}, {{2}}}, {{{1, 2}}, {{2}}}, {{{1}}, {{2, 2}}}},
      {0, 2});
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.nVariable, 1);
  EXPECT_EQ(model.nIndependent, 1);
  EXPECT_EQ(model.nMoieties(), 0);
}

TEST(StructuralAnalysisTest, ZeroColumnAtThePivotIsSwappedAway) {
  // X -> Y involves no internal metabolite; X -> A and A -> Y do.
  Model model =
      BuildModel({"A", "X", "Y"}, {{{{1}}, {{2}}}, {{{1}}, {{0}}}, {{{0}}, {{2}}}}, {1, 2});
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.nIndependent, 1);
  EXPECT_EQ(model.stepOrder, (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(model.stepPosition, (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(model.reducedStoichiometry[0][0], 1.0f);
}

TEST(StructuralAnalysisTest, ZeroRowIsMovedBelowTheRemainingRows) {
  // X -> A + B, X -> Y, X -> C with X and Y fixed: after the first pivot
  // the row of B is zero, and C's row has its entry in the last column.
  Model model = BuildModel({"A", "B", "C", "X", "Y"},
                           {{{{3}}, {{0}, {1}}}, {{{3}}, {{4}}}, {{{3}}, {{2}}}}, {3, 4});
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.nIndependent, 2);
  EXPECT_EQ(model.metaboliteOrder, (std::vector<int>{0, 2, 1, 3, 4}));
  EXPECT_EQ(model.stepOrder, (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(model.metabolites[1].type, DEPENDENT);
  EXPECT_EQ(MoietyNames(model), (std::vector<std::string>{"- A + B "}));
}

TEST(StructuralAnalysisTest, CoefficientAboveOneIsWrittenBeforeTheName) {
  // B = 2*A with B first in the table: the relation is 2 B + A.
  Model model = BuildModel({"B", "A"}, {{{{0}}, {{1, 2}}}});
  model.metabolites[0].initialConcentration = 3.0;
  model.metabolites[1].initialConcentration = 4.0;
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(MoietyNames(model), (std::vector<std::string>{"  2.0*B + A "}));
  EXPECT_CLOSE(model.moieties[0].initialConcentration, 2 * 3.0 + 4.0, test::kTightAbs,
               test::kTightRel);
}

TEST(StructuralAnalysisTest, CoefficientBelowMinusOneReplacesThePrefix) {
  // F -> X + 2*Y with F fixed: Y - 2 X is conserved.
  Model model = BuildModel({"F", "X", "Y"}, {{{{0}}, {{1}, {2, 2}}}}, {0});
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(MoietyNames(model), (std::vector<std::string>{"- 2.0*X + Y "}));
}

TEST(StructuralAnalysisTest, FractionalCoefficientKeepsItsValue) {
  // 2*A = B with A first: A/2 + B is conserved.
  Model model = BuildModel({"A", "B"}, {{{{0, 2}}, {{1}}}});
  model.metabolites[0].initialConcentration = 3.0;
  model.metabolites[1].initialConcentration = 0.25;
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(MoietyNames(model), (std::vector<std::string>{"  0.5*A + B "}));
  EXPECT_CLOSE(model.moieties[0].initialConcentration, 0.5 * 3.0 + 0.25, test::kTightAbs,
               test::kTightRel);
}

TEST(StructuralAnalysisTest, KinaseCycleHasThreeMoieties) {
  // E + S = ES, ES + ATP = E + SP + ADP, SP = S, ADP = ATP (regeneration):
  // enzyme, substrate and adenylate are each conserved.
  enum { kE, kS, kES, kATP, kSP, kADP };
  Model model =
      BuildModel({"E", "S", "ES", "ATP", "SP", "ADP"}, {{{{kE}, {kS}}, {{kES}}},
                                                        {{{kES}, {kATP}}, {{kE}, {kSP}, {kADP}}},
                                                        {{{kSP}}, {{kS}}},
                                                        {{{kADP}}, {{kATP}}}});
  const double concentrations[] = {1.0, 10.0, 0.5, 3.0, 2.0, 1.5};
  for (int m = 0; m < 6; ++m) model.metabolites[m].initialConcentration = concentrations[m];
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.nVariable, 6);
  EXPECT_EQ(model.nIndependent, 3);
  ASSERT_EQ(model.nMoieties(), 3);
  // The pivots fall on E, S and ATP (ES becomes zero after the first
  // elimination and ATP is swapped up to the third row); ES, SP and ADP
  // follow from them: E + ES, -E + S + SP (that is S + ES + SP less the
  // enzyme) and ATP + ADP.
  EXPECT_EQ(model.metaboliteOrder, (std::vector<int>{kE, kS, kATP, kES, kSP, kADP}));
  EXPECT_EQ(MoietyNames(model),
            (std::vector<std::string>{"  E + ES ", "- E + S + SP ", "  ATP + ADP "}));
  const double e = 1.0, s = 10.0, es = 0.5, atp = 3.0, sp = 2.0, adp = 1.5;
  EXPECT_CLOSE(model.moieties[0].initialConcentration, e + es, kFloatAbs, kFloatRel);
  EXPECT_CLOSE(model.moieties[1].initialConcentration, -e + s + sp, kFloatAbs, kFloatRel);
  EXPECT_CLOSE(model.moieties[2].initialConcentration, atp + adp, kFloatAbs, kFloatRel);
}

TEST(StructuralAnalysisTest, ResiduesOfFractionalMultipliersAreNotPivots) {
  // M5 = M4 - M3 and M6 = -2 M0: rank 5, two relations. The elimination
  // meets multipliers such as 1/3 on the way; in single precision their
  // residues (about 1e-6) would pass for a sixth pivot.
  Model model = BuildFromRows({{-2, 0, 2, 0, 0, -2, 2, 0},
                               {-1, -2, -2, 0, -1, 0, 0, -1},
                               {-2, 0, 1, 1, 0, 2, -2, 0},
                               {-2, 2, 0, -1, -1, 0, 0, -2},
                               {1, 0, 0, 0, 0, -2, 0, 0},
                               {3, -2, 0, 1, 1, -2, 0, 2},
                               {4, 0, -4, 0, 0, 4, -4, 0}});
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.nVariable, 7);
  EXPECT_EQ(model.nIndependent, 5);
  EXPECT_EQ(model.nMoieties(), 2);
}

TEST(StructuralAnalysisTest, MultipliersBeyondTheFloatRangeBecomeInfinite) {
  // A stoichiometry read from a damaged file: the multiplier 3e38 / 1e-5 does
  // not fit a float.
  Model model = BuildFromRows({{1}, {1}});
  model.stoichiometry[0][0] = 1e-5f;
  model.stoichiometry[1][0] = 3e38f;
  StructuralAnalysis(model);
  EXPECT_EQ(model.nIndependent, 1);
  ASSERT_EQ(model.nMoieties(), 1);
  EXPECT_EQ(model.link[1][0], std::numeric_limits<float>::infinity());
  EXPECT_EQ(model.conservation[1][0], -std::numeric_limits<float>::infinity());
  EXPECT_EQ(model.moieties[0].name, "- inf*M0 + M1 ");
}

TEST(StructuralAnalysisTest, UnusedTypeCodesAreTakenAsInternal) {
  // A -> B, B -> C with C fixed; A and B carry type codes the model does not use.
  Model model = BuildModel({"A", "B", "C", "D"}, {{{{0}}, {{1}}}, {{{1}}, {{2}}}}, {2});
  model.metabolites[0].type = 5;
  model.metabolites[1].type = MOIETY;
  model.metabolites[3].type = 3;  // takes part in no step
  StructuralAnalysis(model);
  ExpectConsistentAnalysis(model);
  EXPECT_EQ(model.metabolites[0].type, INDEPENDENT);
  EXPECT_EQ(model.metabolites[1].type, INDEPENDENT);
  EXPECT_EQ(model.metabolites[3].type, FIXED);
  EXPECT_EQ(model.nVariable, 2);
}

TEST(StructuralAnalysisTest, ModelWithoutStepsIsLeftAlone) {
  Model model;
  model.Allocate(0, 2, 2, 1, 1);
  model.metabolites[0].type = DEPENDENT;
  model.nIndependent = 1;
  model.nDependent = 1;
  model.moieties[0].name = "  A + B ";
  const Model before = model;
  StructuralAnalysis(model);
  EXPECT_EQ(model, before);
}

TEST(StructuralAnalysisTest, RepeatedAnalysisChangesNothing) {
  Model model = EnzymeModel(false);
  StructuralAnalysis(model);
  const Model first = model;
  StructuralAnalysis(model);
  EXPECT_EQ(model, first);
}

// ---- The reference catalogue ---------------------------------------------

TEST(StructuralAnalysisTest, EveryReferenceModelHasItsCataloguedStructure) {
  for (const test::ReferenceModel& r : test::ReferenceModels()) {
    SCOPED_TRACE(r.name);
    const Model& model = r.model;
    ExpectConsistentAnalysis(model);
    const std::vector<std::string> internal = r.Internal();
    ASSERT_EQ(model.nIndependent, static_cast<int>(r.independent.size()));
    ASSERT_EQ(model.nDependent, static_cast<int>(r.dependent.size()));
    for (int p = 0; p < model.nVariable; ++p) {
      EXPECT_EQ(model.metabolites[model.metaboliteOrder[p]].name, internal[p]) << "position " << p;
      for (int c = 0; c < model.nIndependent; ++c) {
        EXPECT_CLOSE(model.link[p][c], r.link[p][c], kFloatAbs, kFloatRel)
            << "L(" << internal[p] << ", " << internal[c] << ")";
      }
    }
    ASSERT_EQ(model.nMoieties(), static_cast<int>(r.moieties.size()));
    for (int k = 0; k < model.nMoieties(); ++k) {
      EXPECT_EQ(model.moieties[k].name, r.moieties[k].name);
      EXPECT_CLOSE(model.moieties[k].initialConcentration, r.moieties[k].total, test::kTightAbs,
                   test::kTightRel);
    }
  }
}

// ---- Moiety totals --------------------------------------------------------

// A total is an amount: the relation's sum over concentrations times the
// volume of its dependent metabolite, which is the plain sum of amounts when
// the relation stays within one volume.
TEST(ComputeMoietyTotalsTest, TotalsAreAmountsThatFollowVolumesAndConcentrations) {
  Model model = EnzymeModel(false);
  StructuralAnalysis(model);
  ASSERT_EQ(model.nMoieties(), 1);
  EXPECT_CLOSE(model.moieties[0].initialConcentration, 2.0, test::kTightAbs, test::kTightRel);

  ASSERT_EQ(model.SetCompartmentCount(2), 0);
  model.compartments[0].volume = 0.5;
  model.compartments[1].volume = 4.0;
  model.metabolites[1].compartment = 1;  // ES
  model.metabolites[0].initialConcentration = 3.0;
  model.metabolites[1].initialConcentration = 0.25;
  model.metabolites[2].initialConcentration = 100.0;  // S is fixed and not counted
  ComputeMoietyTotals(model);
  ASSERT_EQ(model.metaboliteOrder[model.nIndependent], 1);  // ES is the dependent one
  EXPECT_CLOSE(model.moieties[0].initialConcentration, (3.0 + 0.25) * 4.0, test::kTightAbs,
               test::kTightRel);

  model.compartments[0].volume = 4.0;
  ComputeMoietyTotals(model);
  EXPECT_CLOSE(model.moieties[0].initialConcentration, 3.0 * 4.0 + 0.25 * 4.0, test::kTightAbs,
               test::kTightRel);
}

// ---- Random networks ------------------------------------------------------

// Advances step s by dv (a step changes each of its metabolites'
// concentrations by coefficient x dv, whatever the volumes) and returns the
// new totals, which must equal the old ones: every relation is conserved by
// every step.
std::vector<double> TotalsAfterStep(Model model, int s, double dv) {
  for (int m = 0; m < model.nMetabolites(); ++m) {
    model.metabolites[m].initialConcentration += model.stoichiometry[m][s] * dv;
  }
  ComputeMoietyTotals(model);
  std::vector<double> totals;
  for (const Metabolite& moiety : model.moieties) totals.push_back(moiety.initialConcentration);
  return totals;
}

TEST(StructuralAnalysisRandomTest, EveryNetworkGivesAConsistentAnalysis) {
  std::mt19937 generator(20240611);
  std::uniform_int_distribution<int> size(1, 8);
  std::uniform_int_distribution<int> coefficient(-2, 2);
  std::uniform_real_distribution<double> value(0.1, 5.0);
  for (int trial = 0; trial < 2000; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const int nMetabolites = size(generator);
    const int nSteps = size(generator);
    // Rows: random ones, and some that combine earlier rows so that the
    // network has conservation relations.
    std::vector<std::vector<int>> rows(nMetabolites, std::vector<int>(nSteps, 0));
    for (int m = 0; m < nMetabolites; ++m) {
      int kind = std::uniform_int_distribution<int>(0, 3)(generator);
      if (m >= 2 && kind == 0) {
        int a = std::uniform_int_distribution<int>(0, m - 1)(generator);
        int b = std::uniform_int_distribution<int>(0, m - 1)(generator);
        for (int s = 0; s < nSteps; ++s) rows[m][s] = std::clamp(rows[a][s] - rows[b][s], -3, 3);
      } else if (m >= 1 && kind == 1) {
        int a = std::uniform_int_distribution<int>(0, m - 1)(generator);
        for (int s = 0; s < nSteps; ++s) rows[m][s] = -2 * rows[a][s];
      } else {
        for (int s = 0; s < nSteps; ++s) rows[m][s] = coefficient(generator) * (generator() % 2);
      }
    }
    std::vector<int> fixed;
    for (int m = 0; m < nMetabolites; ++m) {
      if (generator() % 5 == 0) fixed.push_back(m);
    }
    Model model = BuildFromRows(rows, fixed);
    const std::vector<std::string> names = MetaboliteNames(model);
    ASSERT_EQ(model.SetCompartmentCount(2), 0);
    model.compartments[1].volume = value(generator);
    for (Metabolite& m : model.metabolites) {
      m.initialConcentration = value(generator);
      m.compartment = static_cast<int>(generator() % 2);
    }

    StructuralAnalysis(model);
    ExpectConsistentAnalysis(model);
    for (int m = 0; m < nMetabolites; ++m) {
      const bool zeroRow =
          std::all_of(rows[m].begin(), rows[m].end(), [](int c) { return c == 0; });
      const bool userFixed = std::find(fixed.begin(), fixed.end(), m) != fixed.end();
      EXPECT_EQ(model.metabolites[m].type == FIXED, zeroRow || userFixed) << names[m];
    }
    // Each moiety name lists exactly the metabolites of its relation.
    for (int k = 0; k < model.nMoieties(); ++k) {
      const std::string& name = model.moieties[k].name;
      for (int m = 0; m < nMetabolites; ++m) {
        const bool inRelation =
            model.metabolites[m].type != FIXED &&
            model.conservation[model.nIndependent + k][model.metabolitePosition[m]] != 0.0f;
        const bool named = name.find(" " + names[m] + " ") != std::string::npos ||
                           name.find("*" + names[m] + " ") != std::string::npos;
        EXPECT_EQ(named, inRelation) << name << " / " << names[m];
      }
    }
    // Totals do not change when any step moves the amounts.
    std::vector<double> totals;
    for (const Metabolite& moiety : model.moieties) totals.push_back(moiety.initialConcentration);
    for (int s = 0; s < nSteps; ++s) {
      std::vector<double> moved = TotalsAfterStep(model, s, 0.75);
      for (std::size_t k = 0; k < totals.size(); ++k) {
        EXPECT_CLOSE(moved[k], totals[k], 1e-3, 1e-5) << "step " << s;
      }
    }
  }
}

// ---- The same results as a dense elimination -------------------------------

namespace dense {

bool NonZero(double v) { return std::fabs(v) > kStructuralZeroTolerance; }

float Narrow(double v) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  if (v > kLargest) return std::numeric_limits<float>::infinity();
  if (v < -kLargest) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

struct Result {
  std::vector<int> metaboliteOrder, stepOrder;
  int rank = 0;
  Matrix<float> reduced, link, conservation;
};

// The elimination as the textbook states it, over every entry of dense
// matrices: the first acceptable pivot in column, then row order, zero rows
// compacted downwards, every entry of an updated row from the pivot column
// on rounded to 0 within the tolerance.
Result Analyse(const Model& model) {
  const int nMetabolites = model.nMetabolites(), m = model.nSteps();
  Result out;
  std::vector<bool> internal(nMetabolites);
  for (int i = 0; i < nMetabolites; ++i) {
    const float* row = model.stoichiometry[i];
    internal[i] = model.metabolites[i].type != FIXED && std::any_of(row, row + m, [](float v) {
                    return NonZero(v);
                  });
  }
  for (bool wanted : {true, false}) {
    for (int i = 0; i < nMetabolites; ++i) {
      if (internal[i] == wanted) out.metaboliteOrder.push_back(i);
    }
  }
  const int n = static_cast<int>(std::count(internal.begin(), internal.end(), true));
  out.stepOrder.resize(m);
  std::iota(out.stepOrder.begin(), out.stepOrder.end(), 0);
  Matrix<double> a(n, m), l(n, n);
  for (int p = 0; p < n; ++p) {
    for (int q = 0; q < m; ++q) a[p][q] = model.stoichiometry[out.metaboliteOrder[p]][q];
  }
  auto swapRows = [&](int x, int y) {
    for (int j = 0; j < m; ++j) std::swap(a[x][j], a[y][j]);
    for (int j = 0; j < n; ++j) std::swap(l[x][j], l[y][j]);
    std::swap(out.metaboliteOrder[x], out.metaboliteOrder[y]);
  };
  auto zeroRow = [&](int i) { return std::none_of(a[i], a[i] + m, NonZero); };
  int k = 0;
  for (; k < m && k < n; ++k) {
    int i = k;
    while (i < n && !NonZero(a[i][k])) ++i;
    bool found = i < n;
    if (found && i != k) swapRows(k, i);
    while (!found) {
      int j = k + 1;
      while (j < m && !NonZero(a[k][j])) ++j;
      if (j < m) {
        for (int r = 0; r < n; ++r) std::swap(a[r][j], a[r][k]);
        std::swap(out.stepOrder[j], out.stepOrder[k]);
        found = true;
        break;
      }
      bool swapped = false;
      for (int r = 0; r < n; ++r) {
        if (!zeroRow(r)) continue;
        int s = r + 1;
        while (s < n && zeroRow(s)) ++s;
        if (s < n) {
          swapRows(r, s);
          swapped = true;
        }
      }
      if (!swapped) break;
    }
    if (!found) break;
    for (int r = k + 1; r < n; ++r) {
      if (!NonZero(a[r][k])) continue;
      const double f = a[r][k] / a[k][k];
      l[r][k] = f;
      if (f == 0.0) continue;
      for (int j = k; j < m; ++j) {
        a[r][j] = a[r][j] - a[k][j] * f;
        if (!NonZero(a[r][j])) a[r][j] = 0.0;
      }
    }
  }
  out.rank = k;
  for (int i = 0; i < n; ++i) l[i][i] = 1.0;
  Matrix<double> t(k, k);
  for (int c = 0; c < k; ++c) {
    for (int i = 0; i < k; ++i) {
      double s = 0.0;
      for (int u = 0; u < i; ++u) s += l[i][u] * t[u][c];
      t[i][c] = (i == c ? 1.0 : -s) / l[i][i];
    }
  }
  out.reduced.Assign(nMetabolites, m);
  out.link.Assign(nMetabolites, nMetabolites);
  out.conservation.Assign(nMetabolites, nMetabolites);
  for (int p = 0; p < n; ++p) {
    for (int q = 0; q < m; ++q) out.reduced[p][q] = Narrow(a[p][q]);
    for (int q = 0; q < n; ++q) out.link[p][q] = Narrow(l[p][q]);
  }
  for (int p = k; p < n; ++p) {
    for (int c = 0; c < k; ++c) {
      double s = 0.0;
      for (int u = 0; u < k; ++u) s += l[p][u] * t[u][c];
      out.conservation[p][c] = Narrow(-s);
    }
    for (int c = k; c < n; ++c) out.conservation[p][c] = c == p ? 1.0f : 0.0f;
  }
  return out;
}

// Bit for bit, so that -0 and +0 differ.
bool SameBits(const Matrix<float>& x, const Matrix<float>& y) {
  return x.rows() == y.rows() && x.columns() == y.columns() &&
         std::memcmp(x.data(), y.data(), sizeof(float) * x.rows() * x.columns()) == 0;
}

}  // namespace dense

TEST(StructuralAnalysisRandomTest, ResultsAreThoseOfADenseEliminationBitForBit) {
  // Sparse networks with repeated and combined rows (conservation
  // relations), fractions, residues within the tolerance, negative zeros,
  // and now and then entries so large that the multipliers overflow.
  std::mt19937 generator(77);
  const float kOdd[] = {-0.0f, 1e-11f, -3e-12f, 0.5f, 1.0f / 3.0f, 3e38f, -2e38f, 1e-30f};
  for (int trial = 0; trial < 2000; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const int nMetabolites = std::uniform_int_distribution<int>(1, 14)(generator);
    const int nSteps = std::uniform_int_distribution<int>(1, 14)(generator);
    Model model;
    model.Allocate(nSteps, nMetabolites, nMetabolites, 0, 1);
    for (int i = 0; i < nMetabolites; ++i) {
      model.metabolites[i] = Metabolite("M" + std::to_string(i), INDEPENDENT, 0, 1.0);
      if (generator() % 7 == 0) model.metabolites[i].type = FIXED;
      float* row = model.stoichiometry[i];
      const int kind = static_cast<int>(generator() % 4);
      if (i >= 2 && kind == 0) {
        const float* x = model.stoichiometry[generator() % i];
        const float* y = model.stoichiometry[generator() % i];
        for (int s = 0; s < nSteps; ++s) row[s] = x[s] + (generator() % 2 ? y[s] : -2 * y[s]);
      } else {
        for (int s = 0; s < nSteps; ++s) {
          if (generator() % 3 != 0) continue;
          row[s] = static_cast<float>(static_cast<int>(generator() % 5) - 2);
          if (generator() % 40 == 0) row[s] = kOdd[generator() % std::size(kOdd)];
        }
      }
    }
    const dense::Result expected = dense::Analyse(model);
    StructuralAnalysis(model);
    ASSERT_EQ(model.nIndependent, expected.rank);
    std::vector<int> internalOrder(model.metaboliteOrder.begin(),
                                   model.metaboliteOrder.begin() + model.nVariable);
    ASSERT_EQ(internalOrder, std::vector<int>(expected.metaboliteOrder.begin(),
                                              expected.metaboliteOrder.begin() + model.nVariable));
    ASSERT_EQ(model.stepOrder, expected.stepOrder);
    EXPECT_TRUE(dense::SameBits(model.reducedStoichiometry, expected.reduced));
    EXPECT_TRUE(dense::SameBits(model.link, expected.link));
    EXPECT_TRUE(dense::SameBits(model.conservation, expected.conservation));
  }
}

}  // namespace
}  // namespace vireon
