#include "engine/control_analysis.h"

#include <gtest/gtest.h>

#include "engine/steady_state.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

using test::EngineRig;

// What finite differences with the default factor allow.
constexpr double kTheoremTolerance = 1e-5;

TaskSettings Scaled(bool scaled) {
  TaskSettings settings;
  settings.mcaUnscaled = scaled ? 0 : 1;
  return settings;
}

void Solve(EngineRig& rig) {
  ComputeMoietyTotals(rig.model);
  SteadyState(*rig.engine);
  ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
  CheckEquilibrium(*rig.engine);
  ControlAnalysis(*rig.engine);
}

// Summation and connectivity theorems of the scaled coefficients, for a
// model without conserved moieties.
void ExpectScaledTheorems(EngineRig& rig) {
  const int nSteps = rig.model.nSteps();
  const int nVariable = rig.model.nVariable;
  const EngineState& st = rig.state;
  for (int j = 0; j < nSteps; ++j) {
    double sum = 0.0;
    for (int k = 0; k < nSteps; ++k) sum += st.fluxControl[j][k];
    EXPECT_CLOSE(sum, 1.0, kTheoremTolerance, 0.0) << "flux summation, step " << j;
  }
  for (int i = 0; i < nVariable; ++i) {
    double sum = 0.0;
    for (int k = 0; k < nSteps; ++k) sum += st.concControl[i][k];
    EXPECT_CLOSE(sum, 0.0, kTheoremTolerance, 0.0) << "concentration summation, metabolite " << i;
  }
  for (int m = 0; m < nVariable; ++m) {
    for (int j = 0; j < nSteps; ++j) {
      double sum = 0.0;
      for (int k = 0; k < nSteps; ++k) sum += st.fluxControl[j][k] * st.elasticities[k][m];
      EXPECT_CLOSE(sum, 0.0, kTheoremTolerance, 0.0) << "flux connectivity " << j << "," << m;
    }
    for (int i = 0; i < nVariable; ++i) {
      double sum = 0.0;
      for (int k = 0; k < nSteps; ++k) sum += st.concControl[i][k] * st.elasticities[k][m];
      EXPECT_CLOSE(sum, i == m ? -1.0 : 0.0, kTheoremTolerance, 0.0)
          << "concentration connectivity " << i << "," << m;
    }
  }
}

TEST(ControlAnalysisTest, TheoremsHoldOnALinearPathway) {
  EngineRig rig(test::LinearMichaelisMenten(), Scaled(true));
  Solve(rig);
  ExpectScaledTheorems(rig);
}

TEST(ControlAnalysisTest, TheoremsHoldOnABranchedPathway) {
  EngineRig rig(test::BranchedPathway(), Scaled(true));
  Solve(rig);
  ExpectScaledTheorems(rig);
}

TEST(ControlAnalysisTest, LinkMatrixTheoremsHoldWithAConservedMoiety) {
  EngineRig rig(test::EnzymeWithMoiety(), Scaled(false));
  Solve(rig);
  const Model& model = rig.model;
  const EngineState& st = rig.state;
  const int nSteps = model.nSteps();
  const int nVariable = model.nVariable;
  const int nIndependent = model.nIndependent;
  ASSERT_EQ(nVariable, 2);
  ASSERT_EQ(nIndependent, 1);
  // C^J e L = 0 and C^S e L = -L, with L the first nIndependent columns of the link matrix.
  for (int c = 0; c < nIndependent; ++c) {
    for (int j = 0; j < nSteps; ++j) {
      double sum = 0.0;
      for (int k = 0; k < nSteps; ++k) {
        for (int m = 0; m < nVariable; ++m) {
          sum += st.fluxControl[j][k] * st.elasticities[k][m] * model.link[m][c];
        }
      }
      EXPECT_CLOSE(sum, 0.0, kTheoremTolerance, 0.0);
    }
    for (int i = 0; i < nVariable; ++i) {
      double sum = 0.0;
      for (int k = 0; k < nSteps; ++k) {
        for (int m = 0; m < nVariable; ++m) {
          sum += st.concControl[i][k] * st.elasticities[k][m] * model.link[m][c];
        }
      }
      EXPECT_CLOSE(sum, -model.link[i][c], kTheoremTolerance, 0.0);
    }
  }
  // Unscaled summation: C^J J = J and C^S J = 0 for the steady-state fluxes.
  for (int j = 0; j < nSteps; ++j) {
    double sum = 0.0;
    for (int k = 0; k < nSteps; ++k)
      sum += st.fluxControl[j][k] * model.steps[model.stepOrder[k]].flux;
    EXPECT_CLOSE(sum, model.steps[model.stepOrder[j]].flux, kTheoremTolerance, 0.0);
  }
}

TEST(ControlAnalysisTest, TwoStepPathwayMatchesTheClosedForm) {
  // v1 = k1 S - km1 X, v2 = k2 X: C^J_1 = k2 / (k2 + km1), C^J_2 = km1 / (k2 + km1),
  // C^X_1 = k2 / (k2 + km1) = -C^X_2.
  const double k1 = 2.0, km1 = 1.0, k2 = 0.5;
  Model model = test::BuildModel({{"R1", "S = X"}, {"R2", "X -> P"}}, {"S", "P"});
  test::UseKinetics(model, "R1", "Mass action (reversible)", {k1, km1});
  test::UseKinetics(model, "R2", "Mass action (irreversible)", {k2});
  test::SetInitial(model, "S", 1.0);
  StructuralAnalysis(model);
  EngineRig rig(std::move(model), Scaled(true));
  Solve(rig);
  const int r1 = rig.model.stepPosition[rig.model.FindStep("R1")];
  const int r2 = rig.model.stepPosition[rig.model.FindStep("R2")];
  const double c1 = k2 / (k2 + km1);
  const double c2 = km1 / (k2 + km1);
  for (int j : {r1, r2}) {
    EXPECT_CLOSE(rig.state.fluxControl[j][r1], c1, kTheoremTolerance, 0.0);
    EXPECT_CLOSE(rig.state.fluxControl[j][r2], c2, kTheoremTolerance, 0.0);
  }
  EXPECT_CLOSE(rig.state.concControl[0][r1], c1, kTheoremTolerance, 0.0);
  EXPECT_CLOSE(rig.state.concControl[0][r2], -c1, kTheoremTolerance, 0.0);
  // The scaled elasticity of the mass-action step to its substrate is 1.
  EXPECT_CLOSE(rig.state.elasticities[r2][0], 1.0, kTheoremTolerance, 0.0);
}

TEST(ControlAnalysisTest, ScalingUsesAmountsSoVolumesDoNotChangeTheResult) {
  auto run = [](double volume) {
    Model model = test::LinearMichaelisMenten();
    model.SetCompartmentCount(2);
    model.compartments[1].volume = volume;
    for (Metabolite& m : model.metabolites) m.compartment = 1;
    EngineRig rig(std::move(model), Scaled(true));
    Solve(rig);
    return std::vector<double>{rig.state.elasticities[1][0], rig.state.concControl[0][0],
                               rig.state.fluxControl[0][1]};
  };
  const std::vector<double> unit = run(1.0);
  const std::vector<double> big = run(7.0);
  for (std::size_t i = 0; i < unit.size(); ++i) EXPECT_CLOSE(big[i], unit[i], 1e-6, 1e-5);
}

TEST(ControlAnalysisTest, ElasticitiesAreTakenWithRespectToAmountsEvenAtZero) {
  // Nothing flows in, so X rests at amount 0, below the resolution: it is
  // perturbed around r (1 + f) instead. R2 = k2 [X] = k2 x / V, so its
  // unscaled elasticity to the amount x is k2 / V whatever x is.
  const double k2 = 0.5, volume = 4.0;
  Model model = test::LinearTwoStep(0.0, k2, 1.0);
  model.SetCompartmentCount(2);
  model.compartments[1].volume = volume;
  model.metabolites[model.FindMetabolite("X")].compartment = 1;
  EngineRig rig(std::move(model), Scaled(false));
  Solve(rig);
  const int x = rig.PositionOf("X") - 1;
  ASSERT_EQ(rig.state.ssAmounts[x + 1], 0.0);
  const int r1 = rig.model.stepPosition[rig.model.FindStep("R1")];
  const int r2 = rig.model.stepPosition[rig.model.FindStep("R2")];
  EXPECT_CLOSE(rig.state.elasticities[r2][x], k2 / volume, 0.0, 1e-6);
  EXPECT_CLOSE(rig.state.elasticities[r1][x], 0.0, 1e-15, 0.0);
}

TEST(ControlAnalysisTest, ZeroFluxAndNoSteadyStateGiveTheDocumentedValues) {
  EngineRig rig(test::LinearTwoStep(0.0, 0.5, 1.0), Scaled(true));
  Solve(rig);
  // Nothing flows: every scaled flux-control coefficient is infinite.
  EXPECT_EQ(rig.state.fluxControl[0][0], kInfiniteValue);
  EXPECT_EQ(rig.state.elasticities[1][0], kInfiniteValue);
  // X sits at amount 0: its row of scaled concentration control is infinite.
  ASSERT_EQ(rig.state.ssAmounts[1], 0.0);
  EXPECT_EQ(rig.state.concControl[0][0], kInfiniteValue);
  EXPECT_EQ(rig.state.concControl[0][1], kInfiniteValue);

  rig.state.ssFailure = SteadyStateOutcome::kNotFound;
  ComputeElasticities(*rig.engine);
  EXPECT_EQ(ComputeControlCoefficients(*rig.engine), 1);
  ComputeFluxControl(*rig.engine, 1);
  EXPECT_EQ(rig.state.fluxControl[0][0], 0.0);
  EXPECT_EQ(rig.state.concControl[0][0], 0.0);
}

}  // namespace
}  // namespace vireon
