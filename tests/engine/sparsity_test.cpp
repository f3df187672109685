#include "engine/sparsity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/control_analysis.h"
#include "engine/steady_state.h"
#include "kinetics/kinetic_function.h"
#include "kinetics/kinetic_type.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

using test::EngineRig;

// Every evaluation of the counted law, to tell grouped differences from
// column-by-column ones.
int countedEvaluations = 0;

// First-order decay of the first substrate, counting its calls.
double CountedDecay(const Model& model, const double* x, int step) {
  ++countedEvaluations;
  const int s = model.steps[step].substrates[0];
  return 0.7 * x[model.metabolitePosition[s]] / model.VolumeOf(s);
}

// The same law, but declared as reading anything: the engine must then
// assume every amount can change every rate.
double UnknownReach(const Model& model, const double* x, int step) {
  return CountedDecay(model, x, step);
}

struct NetworkTypes {
  KineticType counted{"Counted decay", 1, 1, 0, 0, CountedDecay, 0};
  KineticType unknown{"Unknown reach", 1, 1, 0, 0, UnknownReach, 0};
  std::unique_ptr<KineticType> user;
  NetworkTypes() {
    counted.readsOwnStepOnly = true;
    auto function = std::make_unique<KineticFunction>("User MM", "V*S/(Km+S)");
    EXPECT_EQ(function->ParseKineticFunction(), 0);
    function->ResetBindings();
    function->BindSymbol("V", SymbolRole::kConstant);
    function->BindSymbol("S", SymbolRole::kSubstrate);
    function->BindSymbol("Km", SymbolRole::kConstant);
    user = std::make_unique<KineticType>(std::move(function), 1, 1);
  }
};

const NetworkTypes& Types() {
  static const NetworkTypes types;
  return types;
}

// S = X1 = X2 = ... = Xn -> P with reversible Michaelis-Menten steps, and
// around it: an enzyme E that binds X3 (the moiety E + EX3), activators
// EX3 of the step X6 = X7 and X(n-1) of X12 = X13, a user-defined law, a counted law, and X5 in
// a compartment of volume 2. With unknownReach one step's law may read
// anything, which leaves no two columns independent.
Model Network(int n, bool unknownReach) {
  std::vector<std::pair<std::string, std::string>> steps;
  auto X = [](int i) { return "X" + std::to_string(i); };
  steps.push_back({"R0", "S = X1"});
  for (int i = 1; i < n; ++i) steps.push_back({"R" + std::to_string(i), X(i) + " = " + X(i + 1)});
  steps.push_back({"Rn", X(n) + " -> P"});
  steps.push_back({"Bind", "E + X3 = EX3"});
  steps.push_back({"Release", "EX3 -> E + X4"});
  steps.push_back({"Leak", X(n - 2) + " -> Q"});
  Model model = test::BuildModel(steps, {"S", "P", "Q"});
  for (const auto& [name, equation] : steps) {
    test::UseKinetics(model, name, "Reversible Michaelis-Menten", {1.0, 2.0, 3.0, 0.5});
  }
  test::UseKinetics(model, "R6", "Specific activation (rev)", {1.0, 2.0, 3.0, 0.5, 0.4}, {"EX3"});
  test::UseKinetics(model, "R12", "Specific activation (rev)", {1.0, 2.0, 3.0, 0.5, 0.4},
                    {X(n - 1)});
  test::UseKinetics(model, "Rn", "Henri-Michaelis-Menten (irreversible)", {0.5, 1.0});
  test::UseKinetics(model, "Bind", "Mass action (reversible)", {2.0, 0.3});
  test::UseKinetics(model, "Release", "Mass action (irreversible)", {1.5});
  Step& user = model.steps[model.FindStep("R8")];
  user.kineticType = Types().user.get();
  user.kineticTypeName = user.kineticType->name;
  user.constants = {2.0, 0.8};
  Step& leak = model.steps[model.FindStep("Leak")];
  leak.kineticType = unknownReach ? &Types().unknown : &Types().counted;
  leak.kineticTypeName = leak.kineticType->name;
  leak.constants.clear();
  model.SetCompartmentCount(2);
  model.compartments[1].volume = 2.0;
  test::SetInitial(model, "S", 5.0);
  test::SetInitial(model, "E", 1.0);
  test::SetInitial(model, X(5), 0.2, 1);
  StructuralAnalysis(model);
  return model;
}

// Bit-for-bit equality of two vectors, NaNs and signed zeros included.
template <class Vector>
bool SameBits(const Vector& a, const Vector& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
}
bool SameBits(const Matrix<double>& a, const Matrix<double>& b) {
  return a.rows() == b.rows() && a.columns() == b.columns() &&
         std::memcmp(a.data(), b.data(), sizeof(double) * a.rows() * a.columns()) == 0;
}

// Columns of one group never share a row, and every column is in one group.
void ExpectValidGroups(const SparsityPattern& pattern) {
  const ColumnGroups groups = GroupColumns(pattern);
  std::vector<int> seen(pattern.nColumns + 1, 0);
  for (int g = 0; g < groups.size(); ++g) {
    std::vector<int> owner(pattern.nRows + 1, 0);
    for (int c = groups.groupStart[g]; c < groups.groupStart[g + 1]; ++c) {
      const int j = groups.columns[c];
      ++seen[j];
      for (const int* i = pattern.RowsBegin(j); i != pattern.RowsEnd(j); ++i) {
        EXPECT_EQ(owner[*i], 0) << "columns " << owner[*i] << " and " << j << " share row " << *i;
        owner[*i] = j;
      }
    }
  }
  for (int j = 1; j <= pattern.nColumns; ++j) EXPECT_EQ(seen[j], 1) << "column " << j;
}

TEST(SparsityTest, GroupsOfEveryEngineMatrixShareNoRow) {
  const Model model = Network(30, false);
  for (const SparsityPattern& pattern :
       {ReducedJacobianPattern(model), FullJacobianPattern(model), ElasticityPattern(model)}) {
    ExpectValidGroups(pattern);
    // A chain needs a handful of groups, not one per column.
    EXPECT_LT(GroupColumns(pattern).size(), 8);
  }
  // A law that may read anything ties every column to every other.
  const Model tied = Network(30, true);
  EXPECT_EQ(GroupColumns(ReducedJacobianPattern(tied)).size(), tied.nIndependent);
}

// Everything the steady-state task and the control analysis compute, with
// and without the sparsity, at the same points: the same bits.
void ExpectSameResults(const EngineState& a, const EngineState& b) {
  EXPECT_EQ(a.ssFailure, b.ssFailure);
  EXPECT_TRUE(SameBits(a.ssAmounts, b.ssAmounts));
  EXPECT_TRUE(SameBits(a.jacobian, b.jacobian));
  EXPECT_TRUE(SameBits(a.eigenReal, b.eigenReal));
  EXPECT_TRUE(SameBits(a.elasticities, b.elasticities));
  EXPECT_TRUE(SameBits(a.concControl, b.concControl));
  EXPECT_TRUE(SameBits(a.fluxControl, b.fluxControl));
  EXPECT_EQ(a.fEvaluations, b.fEvaluations);
  EXPECT_EQ(a.jEvaluations, b.jEvaluations);
  EXPECT_EQ(a.newtonFEvals, b.newtonFEvals);
}

TEST(SparsityTest, GroupedDifferencesGiveTheSameBitsAsColumnByColumn) {
  struct Case {
    const char* name;
    bool unknownReach;
    SteadyStateStrategy strategy;
    bool nanAmount;  // the last Jacobian is taken where an amount is NaN
  };
  const Case cases[] = {
      {"Newton", false, SteadyStateStrategy::kNewtonThenIntegration, false},
      {"integration (LSODA's matrix)", false, SteadyStateStrategy::kIntegrationOnly, false},
      {"backward integration", false, SteadyStateStrategy::kBackwardIntegration, false},
      {"law of unknown reach", true, SteadyStateStrategy::kNewtonThenIntegration, false},
      {"amount not a number", false, SteadyStateStrategy::kNewtonOnly, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TaskSettings settings;
    settings.solver.steadyStateStrategy = c.strategy;
    settings.mcaUnscaled = 1;
    EngineRig sparse(Network(24, c.unknownReach), settings);
    EngineRig dense(Network(24, c.unknownReach), settings);
    dense.engine->SetUseSparsity(false);
    long long evaluations[2] = {0, 0};
    int k = 0;
    for (EngineRig* rig : {&sparse, &dense}) {
      ComputeMoietyTotals(rig->model);
      countedEvaluations = 0;
      SteadyState(*rig->engine);
      CheckEquilibrium(*rig->engine);
      ControlAnalysis(*rig->engine);
      // One Jacobian at a point off the steady state, with a zero amount.
      std::vector<double> x(rig->state.ssAmounts);
      for (int p = 1; p <= rig->model.nIndependent; ++p) x[p] = 0.05 * p;
      x[2] = 0.0;
      if (c.nanAmount) x[3] = std::nan("");
      rig->engine->equations.ComputeJacobian(x.data(), rig->state.jacobian);
      evaluations[k++] = countedEvaluations;
    }
    ExpectSameResults(sparse.state, dense.state);
    if (!c.unknownReach && !c.nanAmount) {
      EXPECT_LT(evaluations[0], evaluations[1] / 2) << "the grouped path was not taken";
    }
  }
}

// A Newton step takes an amount of -0 to -0 - (±0), which shows the sign of
// a zero correction: the sparse factors must give the dense ones' zeros.
TEST(SparsityTest, NewtonStepsFromAmountsOfMinusZeroGiveTheSameBits) {
  auto network = [] {
    Model model = test::BuildModel(
        {{"R1", "S -> A"}, {"R2", "A -> P"}, {"R3", "B = C"}, {"R4", "C -> Q"}, {"R5", "D -> Q"}},
        {"S", "P", "Q"});
    test::UseKinetics(model, "R1", "Mass action (irreversible)", {1.0});
    test::UseKinetics(model, "R2", "Mass action (irreversible)", {0.5});
    test::UseKinetics(model, "R3", "Mass action (reversible)", {2.0, 0.3});
    test::UseKinetics(model, "R4", "Mass action (irreversible)", {1.5});
    test::UseKinetics(model, "R5", "Mass action (irreversible)", {0.7});
    test::SetInitial(model, "S", 1.0);
    for (const char* name : {"B", "C", "D"}) test::SetInitial(model, name, -0.0);
    StructuralAnalysis(model);
    return model;
  };
  TaskSettings settings;
  settings.solver.steadyStateStrategy = SteadyStateStrategy::kNewtonOnly;
  EngineRig sparse(network(), settings);
  EngineRig dense(network(), settings);
  dense.engine->SetUseSparsity(false);
  for (EngineRig* rig : {&sparse, &dense}) {
    ComputeMoietyTotals(rig->model);
    SteadyState(*rig->engine);
  }
  EXPECT_EQ(sparse.state.ssFailure, SteadyStateOutcome::kFound);
  EXPECT_TRUE(SameBits(sparse.state.ssAmounts, dense.state.ssAmounts));
  EXPECT_TRUE(SameBits(sparse.state.trialAmounts, dense.state.trialAmounts));
  EXPECT_TRUE(SameBits(sparse.state.newtonStep, dense.state.newtonStep));
}

void RunSteadyStateAndControl(EngineRig& rig) {
  ComputeMoietyTotals(rig.model);
  SteadyState(*rig.engine);
  CheckEquilibrium(*rig.engine);
  ControlAnalysis(*rig.engine);
}

// The points of a scan build one engine after another over one state; they
// share the structure it keeps, which a copy of the state and a new
// allocation (as every run makes) let go.
TEST(SparsityTest, StateKeepsTheStructureUntilItIsAllocatedAgain) {
  TaskSettings settings;
  settings.mcaUnscaled = 1;
  EngineRig rig(Network(24, false), settings);
  RunSteadyStateAndControl(rig);
  const ColumnStructure* kept = &rig.engine->equations.fullStructure();
  rig.engine = std::make_unique<Engine>(rig.model, rig.state, rig.settings, rig.hooks);
  EXPECT_EQ(&rig.engine->equations.fullStructure(), kept);
  EngineState copy = rig.state;
  Engine onCopy(rig.model, copy, rig.settings, rig.hooks);
  EXPECT_NE(&onCopy.equations.fullStructure(), kept);

  // X20 now activates R6 instead of EX3: the next run over the same model
  // and state must difference the new network, as a fresh state does.
  auto rewire = [](Model& model) {
    test::UseKinetics(model, "R6", "Specific activation (rev)", {1.0, 2.0, 3.0, 0.5, 0.4}, {"X20"});
    StructuralAnalysis(model);
  };
  rewire(rig.model);
  rig.state.Allocate(rig.model);
  rig.engine = std::make_unique<Engine>(rig.model, rig.state, rig.settings, rig.hooks);
  RunSteadyStateAndControl(rig);
  Model rewired = Network(24, false);
  rewire(rewired);
  EngineRig fresh(std::move(rewired), settings);
  RunSteadyStateAndControl(fresh);
  ExpectSameResults(rig.state, fresh.state);
}

}  // namespace
}  // namespace vireon
