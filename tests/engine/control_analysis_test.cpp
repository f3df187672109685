#include "engine/control_analysis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/steady_state.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/reference_models.h"

namespace vireon {
namespace {

using test::EngineRig;
using test::ReferenceModel;

// What finite differences with the default factor allow in a sum of
// products of coefficients.
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

// The scaled analysis against the catalogue, with the summation theorems
// (sum_k C^J_jk = 1, sum_k C^S_ik = 0) and, without conserved moieties, the
// scaled connectivity theorems (C^J e = 0, C^S e = -I).
void ExpectScaledAnalysis(const ReferenceModel& r, EngineRig& rig) {
  const EngineState& st = rig.state;
  const std::vector<int> p = r.MetabolitePositions(rig.model);
  const std::vector<int> q = r.StepPositions(rig.model);
  const int nSteps = rig.model.nSteps();
  const int nVariable = rig.model.nVariable;
  ASSERT_EQ(static_cast<int>(q.size()), nSteps);
  ASSERT_EQ(static_cast<int>(p.size()), nVariable);
  for (int k = 0; k < nSteps; ++k) {
    for (int i = 0; i < nVariable; ++i) {
      EXPECT_CLOSE(st.elasticities[q[k]][p[i]], r.elasticities[k][i], test::kDerivativeAbs,
                   test::kDerivativeRel)
          << "e(" << r.steps[k] << ", " << r.Internal()[i] << ")";
    }
    for (int j = 0; j < nSteps; ++j) {
      EXPECT_CLOSE(st.fluxControl[q[j]][q[k]], r.fluxControl[j][k], test::kDerivativeAbs,
                   test::kDerivativeRel)
          << "C(J" << r.steps[j] << ", " << r.steps[k] << ")";
    }
    for (int i = 0; i < nVariable; ++i) {
      EXPECT_CLOSE(st.concControl[p[i]][q[k]], r.concControl[i][k], test::kDerivativeAbs,
                   test::kDerivativeRel)
          << "C(" << r.Internal()[i] << ", " << r.steps[k] << ")";
    }
  }
  for (int j = 0; j < nSteps; ++j) {
    double sum = 0.0;
    for (int k = 0; k < nSteps; ++k) sum += st.fluxControl[j][k];
    EXPECT_CLOSE(sum, 1.0, kTheoremTolerance, 0.0) << "flux summation, step position " << j;
  }
  for (int i = 0; i < nVariable; ++i) {
    double sum = 0.0;
    for (int k = 0; k < nSteps; ++k) sum += st.concControl[i][k];
    EXPECT_CLOSE(sum, 0.0, kTheoremTolerance, 0.0) << "concentration summation, position " << i;
  }
  if (rig.model.nDependent > 0) return;
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

// The unscaled theorems, which hold with conserved moieties too: C^J J = J
// and C^S J = 0 for the steady-state fluxes J, and C^J e L = 0,
// C^S e L = -L. The elasticities are taken with respect to amounts and the
// conservation relations hold between concentrations, so L is the link
// between amounts, V L V_independent^-1 (L the link matrix's independent
// columns, V the metabolites' volumes).
void ExpectUnscaledTheorems(EngineRig& rig) {
  const Model& model = rig.model;
  const EngineState& st = rig.state;
  const int nSteps = model.nSteps();
  const int nVariable = model.nVariable;
  auto flux = [&](int k) { return model.steps[model.stepOrder[k]].flux; };
  auto volume = [&](int position) { return model.VolumeOf(model.metaboliteOrder[position]); };
  Matrix<double> link(nVariable, model.nIndependent);
  for (int m = 0; m < nVariable; ++m) {
    for (int c = 0; c < model.nIndependent; ++c)
      link[m][c] = model.link[m][c] * volume(m) / volume(c);
  }
  for (int j = 0; j < nSteps; ++j) {
    double sum = 0.0;
    for (int k = 0; k < nSteps; ++k) sum += st.fluxControl[j][k] * flux(k);
    EXPECT_CLOSE(sum, flux(j), kTheoremTolerance, 0.0) << "step position " << j;
  }
  for (int i = 0; i < nVariable; ++i) {
    double sum = 0.0;
    for (int k = 0; k < nSteps; ++k) sum += st.concControl[i][k] * flux(k);
    EXPECT_CLOSE(sum, 0.0, kTheoremTolerance, 0.0) << "position " << i;
  }
  for (int c = 0; c < model.nIndependent; ++c) {
    for (int j = 0; j < nSteps; ++j) {
      double sum = 0.0;
      for (int k = 0; k < nSteps; ++k) {
        for (int m = 0; m < nVariable; ++m) {
          sum += st.fluxControl[j][k] * st.elasticities[k][m] * link[m][c];
        }
      }
      EXPECT_CLOSE(sum, 0.0, kTheoremTolerance, 0.0) << "C^J e L " << j << "," << c;
    }
    for (int i = 0; i < nVariable; ++i) {
      double sum = 0.0;
      for (int k = 0; k < nSteps; ++k) {
        for (int m = 0; m < nVariable; ++m) {
          sum += st.concControl[i][k] * st.elasticities[k][m] * link[m][c];
        }
      }
      EXPECT_CLOSE(sum, -link[i][c], kTheoremTolerance, 0.0) << "C^S e L " << i << "," << c;
    }
  }
}

TEST(ControlAnalysisTest, EveryReferenceModelHasItsCataloguedCoefficientsAndTheTheoremsHold) {
  for (const ReferenceModel& r : test::ReferenceModels()) {
    SCOPED_TRACE(r.name);
    for (bool scaled : {true, false}) {
      SCOPED_TRACE(scaled ? "scaled" : "unscaled");
      EngineRig rig(r.model, Scaled(scaled));
      ASSERT_NO_FATAL_FAILURE(Solve(rig));
      if (scaled) {
        ExpectScaledAnalysis(r, rig);
      } else {
        ExpectUnscaledTheorems(rig);
      }
    }
  }
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
  const test::TwoStepChain chain{.k1 = 0.0};
  const double volume = 4.0;
  Model model = chain.Build();
  model.SetCompartmentCount(2);
  model.compartments[1].volume = volume;
  model.metabolites[model.FindMetabolite("X")].compartment = 1;
  EngineRig rig(std::move(model), Scaled(false));
  Solve(rig);
  const int x = rig.PositionOf("X") - 1;
  ASSERT_EQ(rig.state.ssAmounts[x + 1], 0.0);
  const int r1 = rig.model.stepPosition[rig.model.FindStep("R1")];
  const int r2 = rig.model.stepPosition[rig.model.FindStep("R2")];
  EXPECT_CLOSE(rig.state.elasticities[r2][x], chain.k2 / volume, 0.0, 1e-6);
  EXPECT_CLOSE(rig.state.elasticities[r1][x], 0.0, 1e-15, 0.0);
}

TEST(ControlAnalysisTest, ZeroFluxAndNoSteadyStateGiveTheDocumentedValues) {
  EngineRig rig(test::TwoStepChain{.k1 = 0.0}.Build(), Scaled(true));
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
