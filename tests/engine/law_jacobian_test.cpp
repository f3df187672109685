#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "document/time_course_table.h"
#include "engine/klu_solver.h"
#include "engine/lsoda.h"
#include "engine/model_equations.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/matrix.h"
#include "sbml/sbml_builder.h"
#include "sbml/sbml_import.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::EngineRig;
using test::SbmlBuilder;

// The analytic Jacobian against central differences of F: relative to the
// row's largest entry, with the differences' own error.
constexpr double kJacobianRel = 1e-6;
// Relative increment of the central differences of F.
constexpr double kDifferenceIncrement = 1e-6;
// Two time courses with the same tolerances agree to about that much.
constexpr double kTimeCourseRel = 1e-5;
constexpr double kTimeCourseAbs = 1e-9;

// A random network as imported models are written: mass action, reversible
// mass action, Michaelis-Menten and Hill laws, an enzyme whose total is
// conserved (its binding `binding` times as fast as the others, for a stiff
// network), two compartments of different volumes, one boundary species.
std::string RandomNetwork(unsigned seed, int species, double binding = 1.0) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(0.2, 2.0);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  SbmlBuilder b;
  b.Compartment("c1", 1.0).Compartment("c2", 2.5);
  std::vector<std::string> names, compartments;
  for (int i = 0; i < species; ++i) {
    names.push_back("S" + std::to_string(i));
    compartments.push_back(i % 3 == 2 ? "c2" : "c1");
    b.Species(names.back(), compartments.back(), value(random),
              {.boundary = i == 0, .constant = false});
  }
  b.Species("E", "c1", 0.5).Species("ES", "c1", 0.1);
  b.Reaction("bind", {{"E", 1}, {names[1], 1}}, {{"ES", 1}}, "(kon*E*S1 - koff*ES)*c1",
             {{"kon", 2.0 * binding}, {"koff", 0.3 * binding}}, true);
  b.Reaction("release", {{"ES", 1}}, {{"E", 1}, {names[2], 1}}, "kcat*ES*c1", {{"kcat", 0.7}});
  for (int r = 0; r < 2 * species; ++r) {
    const int a = pick(species), p = pick(species);
    if (a == p) continue;
    const std::string& A = names[a];
    const std::string& P = names[p];
    const std::string& c = compartments[a];
    const std::string id = "r" + std::to_string(r);
    switch (pick(4)) {
      case 0:
        b.Reaction(id, {{A, 1}}, {{P, 1}}, "k*" + A + "*" + c, {{"k", value(random)}});
        break;
      case 1:
        b.Reaction(id, {{A, 1}}, {{P, 1}}, "(kf*" + A + " - kr*" + P + ")*" + c,
                   {{"kf", value(random)}, {"kr", value(random)}}, true);
        break;
      case 2:
        b.Reaction(id, {{A, 1}}, {{P, 1}}, "V*" + A + "/(Km + " + A + ")*" + c,
                   {{"V", value(random)}, {"Km", value(random)}});
        break;
      default:
        b.Reaction(id, {{A, 2}}, {{P, 1}},
                   "V*" + A + "^h/(K^h + " + A + "^h)/(1 + (" + P + "/Ki)^2)*" + c,
                   {{"V", value(random)}, {"K", value(random)}, {"h", 2.3}, {"Ki", 0.8}});
        break;
    }
  }
  return b.Text();
}

struct ImportedNetwork {
  KineticCatalogue catalogue;
  Model model;
  explicit ImportedNetwork(const std::string& text) {
    BuildBuiltInKineticTypes(catalogue);
    const SbmlImportResult result = ImportSbmlText(text, catalogue, model);
    EXPECT_TRUE(result.imported);
  }
};

// Row pointers of a matrix, as the integrator passes its own.
std::vector<double*> RowsOf(Matrix<double>& matrix) {
  std::vector<double*> rows(static_cast<std::size_t>(matrix.rows()));
  for (int i = 0; i < matrix.rows(); ++i) rows[static_cast<std::size_t>(i)] = matrix[i];
  return rows;
}

// F at y, as a vector over 1 … nVariable.
std::vector<double> F(ModelEquations& equations, const std::vector<double>& y) {
  std::vector<double> f(y.size(), 0.0);
  equations.Derivs(y.data(), f.data());
  return f;
}

TEST(LawJacobianTest, AgreesWithCentralDifferencesOnImportedNetworks) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    ImportedNetwork network(RandomNetwork(seed, 12));
    EngineRig rig(network.model);
    ModelEquations& equations = rig.engine->equations;
    ASSERT_TRUE(equations.CanDifferentiateLaws());
    ASSERT_GT(equations.lawTape().StepCount(), 0);
    const int n = rig.model.nVariable;
    ASSERT_GT(rig.model.nMetabolites(), n);  // the boundary species stays fixed
    ASSERT_LT(rig.model.nIndependent, n);    // the enzyme's total is conserved
    std::vector<double> y(rig.model.nMetabolites() + 1, 0.0);
    equations.SetInitialAmounts(y.data());
    Matrix<double> analytic(n + 1, n + 1);
    ASSERT_TRUE(equations.LawJacobian(y.data(), RowsOf(analytic).data()));
    const SparsityPattern& pattern = equations.fullStructure().pattern();
    for (int j = 1; j <= n; ++j) {
      std::vector<double> plus = y, minus = y;
      const double h = kDifferenceIncrement * y[j];
      plus[j] += h;
      minus[j] -= h;
      const std::vector<double> fPlus = F(equations, plus), fMinus = F(equations, minus);
      std::vector<char> inPattern(n + 1, 0);
      for (const int* i = pattern.RowsBegin(j); i != pattern.RowsEnd(j); ++i) inPattern[*i] = 1;
      for (int i = 1; i <= n; ++i) {
        double rowScale = 0.0;
        for (int q = 1; q <= n; ++q) rowScale = std::max(rowScale, std::fabs(analytic[i][q]));
        const double difference = (fPlus[i] - fMinus[i]) / (2.0 * h);
        EXPECT_NEAR(analytic[i][j], difference, kJacobianRel * std::max(rowScale, 1e-3))
            << "seed " << seed << " row " << i << " column " << j;
        // The laws' own pattern lies within the stoichiometric one.
        if (analytic[i][j] != 0.0) {
          EXPECT_TRUE(inPattern[i]) << i << ", " << j;
        }
      }
    }
  }
}

TEST(LawJacobianTest, BuiltInLawsAreDifferencedWithinTheSameMatrix) {
  // A built-in law beside the expressions: its partials come from
  // differences of its own rate, the others' exactly.
  ImportedNetwork network(RandomNetwork(3, 8));
  Step& first = network.model.steps[0];
  const KineticType* massAction = network.catalogue.Find("Mass action (reversible)");
  ASSERT_NE(massAction, nullptr);
  first.kineticType = massAction;
  first.kineticTypeName = massAction->name;
  first.constants = {2.0, 0.3};
  first.modifiers.clear();
  EngineRig rig(network.model);
  ModelEquations& equations = rig.engine->equations;
  const int n = rig.model.nVariable;
  std::vector<double> y(rig.model.nMetabolites() + 1, 0.0);
  equations.SetInitialAmounts(y.data());
  Matrix<double> analytic(n + 1, n + 1);
  ASSERT_TRUE(equations.LawJacobian(y.data(), RowsOf(analytic).data()));
  for (int j = 1; j <= n; ++j) {
    std::vector<double> plus = y, minus = y;
    const double h = kDifferenceIncrement * y[j];
    plus[j] += h;
    minus[j] -= h;
    const std::vector<double> fPlus = F(equations, plus), fMinus = F(equations, minus);
    for (int i = 1; i <= n; ++i) {
      // The built-in law's differences carry the derivation factor's error.
      EXPECT_NEAR(analytic[i][j], (fPlus[i] - fMinus[i]) / (2.0 * h), 1e-4) << i << ", " << j;
    }
  }
}

void ExpectSameTimeCourse(const Model& model, TaskSettings settings, int analytic, int sparse) {
  Model differenced = model;
  const TimeCourseTable reference = ComputeTimeCourseTable(differenced, settings);
  settings.solver.analyticJacobian = analytic;
  settings.solver.sparseFactorisation = sparse;
  Model other = model;
  const TimeCourseTable table = ComputeTimeCourseTable(other, settings);
  ASSERT_TRUE(reference.errorLog.empty()) << reference.errorLog;
  ASSERT_TRUE(table.errorLog.empty()) << table.errorLog;
  ASSERT_EQ(table.concentrations.size(), reference.concentrations.size());
  for (std::size_t row = 0; row < table.concentrations.size(); ++row) {
    for (std::size_t m = 0; m < table.concentrations[row].size(); ++m) {
      EXPECT_CLOSE(table.concentrations[row][m], reference.concentrations[row][m], kTimeCourseAbs,
                   kTimeCourseRel);
    }
  }
}

TEST(LawJacobianTest, LargeNetworksFactoredSparselyAgreeWithTheDenseElimination) {
  ImportedNetwork network(RandomNetwork(8, 140));
  ASSERT_GE(network.model.nVariable, Lsoda::kKluMinimumSize);
  TaskSettings settings;
  settings.endTime = 5.0;
  settings.points = 5;
  settings.solver.relativeTolerance = 1e-9;
  settings.solver.absoluteTolerance = 1e-14;
  ExpectSameTimeCourse(network.model, settings, 1, 1);
}

TEST(LawJacobianTest, TimeCoursesAgreeWithTheDifferencedJacobian) {
  ImportedNetwork network(RandomNetwork(5, 30));
  TaskSettings settings;
  settings.endTime = 20.0;
  settings.points = 10;
  settings.solver.relativeTolerance = 1e-9;
  settings.solver.absoluteTolerance = 1e-14;
  Model differenced = network.model;
  const TimeCourseTable reference = ComputeTimeCourseTable(differenced, settings);
  settings.solver.analyticJacobian = 1;
  Model analytic = network.model;
  const TimeCourseTable table = ComputeTimeCourseTable(analytic, settings);
  ASSERT_TRUE(reference.errorLog.empty()) << reference.errorLog;
  ASSERT_TRUE(table.errorLog.empty()) << table.errorLog;
  ASSERT_EQ(table.concentrations.size(), reference.concentrations.size());
  for (std::size_t row = 0; row < table.concentrations.size(); ++row) {
    for (std::size_t m = 0; m < table.concentrations[row].size(); ++m) {
      EXPECT_CLOSE(table.concentrations[row][m], reference.concentrations[row][m], kTimeCourseAbs,
                   kTimeCourseRel);
    }
  }
}

TEST(LawJacobianTest, SparseEntriesAreTheFullMatrixsOnThePattern) {
  ImportedNetwork network(RandomNetwork(8, 140));
  EngineRig rig(network.model);
  ModelEquations& equations = rig.engine->equations;
  const int n = rig.model.nVariable;
  ASSERT_LT(rig.model.nIndependent, n);  // rows from the conservation relation
  std::vector<double> y(rig.model.nMetabolites() + 1, 0.0);
  equations.SetInitialAmounts(y.data());
  Matrix<double> full(n + 1, n + 1);
  ASSERT_TRUE(equations.LawJacobian(y.data(), RowsOf(full).data()));
  KluSolver klu;
  ASSERT_TRUE(klu.Analyze(equations.fullStructure().pattern(), n));
  std::vector<double> entries(static_cast<std::size_t>(klu.NonZeros()), -1.0);
  ASSERT_TRUE(
      equations.SparseLawJacobian(y.data(), klu.columnStart(), klu.rows(), entries.data()));
  int kept = 0, nonZero = 0;
  for (int j = 1; j <= n; ++j) {
    for (int e = klu.columnStart()[j - 1]; e < klu.columnStart()[j]; ++e) {
      const double value = entries[static_cast<std::size_t>(e)];
      EXPECT_EQ(value, full[klu.rows()[e] + 1][j]) << klu.rows()[e] + 1 << ", " << j;
      if (value != 0.0) ++kept;
    }
    for (int i = 1; i <= n; ++i) {
      if (full[i][j] != 0.0) ++nonZero;
    }
  }
  // Every entry of the full matrix lies on the pattern, the dependent rows'
  // among them.
  EXPECT_EQ(kept, nonZero);
  EXPECT_GT(kept, n);
}

// The integration of a large network with KLU takes the same steps to the
// last bit whether the Jacobian comes along the pattern or in full.
TEST(LawJacobianTest, IntegrationAlongThePatternIsTheFullMatrixs) {
  ImportedNetwork network(RandomNetwork(3, 150, 1e4));
  EngineRig rig(network.model);
  ModelEquations& equations = rig.engine->equations;
  const int n = rig.model.nVariable;
  ASSERT_GE(n, Lsoda::kKluMinimumSize);
  class Full : public LsodaJacobian {
   public:
    explicit Full(ModelEquations& e) : e_(e) {}
    bool Evaluate(int, double t, const double* y, double** jacobian) override {
      e_.SetTime(t);
      return e_.LawJacobian(y, jacobian);
    }

   protected:
    ModelEquations& e_;
  };
  class Sparse : public Full {
   public:
    using Full::Full;
    bool EvaluateSparse(int, double t, const double* y, const int* columnStart, const int* rows,
                        double* entries) override {
      e_.SetTime(t);
      return e_.SparseLawJacobian(y, columnStart, rows, entries);
    }
  };
  struct Run {
    std::vector<double> y;
    int nst = 0, nfe = 0, nje = 0;
  };
  auto integrate = [&](LsodaJacobian* jacobian) {
    Run run;
    run.y.assign(rig.model.nMetabolites() + 1, 0.0);
    equations.SetInitialAmounts(run.y.data());
    LsodaFunction rhs([&](int, double t, const double* y, double* ydot) {
      equations.SetTime(t);
      equations.Derivs(y, ydot);
    });
    Lsoda lsoda;
    lsoda.SetColumnStructure(&equations.fullStructure());
    lsoda.SetSparseFactorisation(true);
    lsoda.SetJacobian(jacobian);
    double t = 0.0;
    int istate = 1;
    const double rtol[2] = {0.0, 1e-6}, atol[2] = {0.0, 1e-12};
    for (double tout = 2.0; tout <= 10.0; tout += 2.0) {
      LsodaOptionalInputs optional;
      optional.mxstep = 100000;
      lsoda.lsoda(rhs, n, run.y.data(), t, tout, 1, rtol, atol, 1, istate, 1, 2, optional);
      EXPECT_EQ(istate, 2);
    }
    run.nst = lsoda.nst();
    run.nfe = lsoda.nfe();
    run.nje = lsoda.nje();
    return run;
  };
  Full full(equations);
  Sparse sparse(equations);
  const Run a = integrate(&full), b = integrate(&sparse), c = integrate(nullptr);
  EXPECT_GT(a.nje, 0);
  EXPECT_EQ(a.nst, b.nst);
  EXPECT_EQ(a.nfe, b.nfe);
  EXPECT_EQ(a.nje, b.nje);
  for (int i = 1; i <= n; ++i) EXPECT_EQ(a.y[i], b.y[i]) << i;
  // Differenced along the pattern, the same equations to the tolerance.
  EXPECT_GT(c.nje, 0);
  for (int i = 1; i <= n; ++i) EXPECT_CLOSE(c.y[i], a.y[i], 1e-9, 1e-5) << i;
}

}  // namespace
}  // namespace vireon
