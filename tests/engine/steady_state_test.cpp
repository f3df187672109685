#include "engine/steady_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "engine/stability.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"
#include "support/reference_models.h"

namespace vireon {
namespace {

using test::EngineRig;
using test::ReferenceModel;

TaskSettings WithStrategy(int strategy) {
  TaskSettings settings;
  settings.solver.steadyStateStrategy = static_cast<SteadyStateStrategy>(strategy);
  return settings;
}

double Concentration(const Model& model, const char* name) {
  return model.metabolites[model.FindMetabolite(name)].concentration;
}

TEST(SteadyStateTest, EveryStrategyFindsTheLinearChainSteadyState) {
  const test::TwoStepChain& chain = test::kTwoStepChain;
  for (int strategy : {0, 1, 2}) {
    SCOPED_TRACE(strategy);
    EngineRig rig(chain.Build(), WithStrategy(strategy));
    SteadyState(*rig.engine);
    ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
    EXPECT_CLOSE(Concentration(rig.model, "X"), chain.SteadyX(), 1e-8, 1e-7);
    EXPECT_CLOSE(rig.model.steps[rig.model.FindStep("R2")].flux, chain.Flux(), 1e-8, 1e-7);
    EXPECT_GT(rig.state.fEvaluations, 0.0);
  }
}

TEST(SteadyStateTest, AStartAtTheSteadyStateNeedsOneEvaluation) {
  Model model = test::kTwoStepChain.Build();
  test::SetInitial(model, "X", test::kTwoStepChain.SteadyX());
  EngineRig rig(std::move(model), WithStrategy(2));
  SteadyState(*rig.engine);
  EXPECT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
  EXPECT_EQ(rig.state.fEvaluations, 1.0);
  EXPECT_EQ(rig.state.jEvaluations, 0.0);
}

TEST(SteadyStateTest, EveryReferenceModelReachesItsCataloguedSteadyStateJacobianAndEigenvalues) {
  for (const ReferenceModel& r : test::ReferenceModels()) {
    SCOPED_TRACE(r.name);
    EngineRig rig(r.model);
    // A run's steady-state task: totals from the initial state, then the search.
    ComputeMoietyTotals(rig.model);
    SteadyState(*rig.engine);
    ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
    const Model& model = rig.model;
    ASSERT_EQ(static_cast<int>(r.concentrations.size()), model.nVariable);
    for (const auto& [name, expected] : r.concentrations) {
      EXPECT_CLOSE(model.metabolites[model.FindMetabolite(name)].concentration, expected,
                   test::kSteadyStateAbs, test::kSteadyStateRel)
          << name;
    }
    ASSERT_EQ(static_cast<int>(r.fluxes.size()), model.nSteps());
    for (const auto& [name, expected] : r.fluxes) {
      EXPECT_CLOSE(model.steps[model.FindStep(name)].flux, expected, test::kSteadyStateAbs,
                   test::kSteadyStateRel)
          << name;
    }
    // The steady state keeps the totals it started from.
    Model now = model;
    for (Metabolite& m : now.metabolites) m.initialConcentration = m.concentration;
    ComputeMoietyTotals(now);
    ASSERT_EQ(now.nMoieties(), static_cast<int>(r.moieties.size()));
    for (std::size_t k = 0; k < r.moieties.size(); ++k) {
      EXPECT_CLOSE(now.moieties[k].initialConcentration, r.moieties[k].total, test::kSteadyStateAbs,
                   test::kSteadyStateRel);
    }

    const int n = model.nIndependent;
    ASSERT_EQ(n, static_cast<int>(r.independent.size()));
    const std::vector<int> p = r.MetabolitePositions(model);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        // jacobian[column][row], 1-based.
        EXPECT_CLOSE(rig.state.jacobian[p[j] + 1][p[i] + 1], r.jacobian[i][j], test::kDerivativeAbs,
                     test::kDerivativeRel)
            << "dF(" << r.independent[i] << ")/dx(" << r.independent[j] << ")";
      }
    }
    // Each catalogued eigenvalue is one of the engine's, each used once.
    ASSERT_EQ(static_cast<int>(r.eigenvalues.size()), n);
    std::vector<bool> used(n, false);
    for (const std::complex<double>& expected : r.eigenvalues) {
      int match = -1;
      for (int k = 0; k < n && match < 0; ++k) {
        const std::complex<double> found(rig.state.eigenReal[k], rig.state.eigenImag[k]);
        const double tolerance = test::kDerivativeAbs * (1.0 + std::abs(expected));
        if (!used[k] && std::abs(found - expected) <= tolerance) match = k;
      }
      EXPECT_GE(match, 0) << "eigenvalue " << expected;
      if (match >= 0) used[match] = true;
    }
  }
}

// X is made at a constant rate and removed at another: the Jacobian is zero.
Model ConstantInAndOut(double in, double out) {
  Model model = test::BuildModel({{"In", " -> X"}, {"Out", "X -> "}});
  test::UseKinetics(model, "In", "Constant flux (irreversible)", {in});
  test::UseKinetics(model, "Out", "Constant flux (irreversible)", {out});
  test::SetInitial(model, "X", 1.0);
  StructuralAnalysis(model);
  return model;
}

TEST(SteadyStateTest, EachStrategyRunsItsOwnStages) {
  // The chain relaxes to X = X* (4); backwards in time it runs away from it.
  // Every integration pass ends either at one output point, where the run
  // checks for pause and stop once, or in an integration error (backwards,
  // the amounts soon overflow), so checks and errors together count the
  // passes.
  struct Case {
    int strategy;
    double initialX;
    int passes;
    SteadyStateOutcome ssFailure;
    double finalInterval;  // the span of the last pass (0: no pass)
  };
  const double steadyX = test::kTwoStepChain.SteadyX();
  const Case cases[] = {
      {0, steadyX, 0, SteadyStateOutcome::kFound, 0.0},  // Newton sees the steady state at once
      {2, steadyX, 0, SteadyStateOutcome::kFound, 0.0},  // likewise
      {1, steadyX, 1, SteadyStateOutcome::kFound,
       10.0},  // the first 10 time units are still integrated
      {3, 0.0, 10, SteadyStateOutcome::kNotFound, -1e10},  // only backward passes, all ten of them
      {7, 0.0, 10, SteadyStateOutcome::kNotFound, -1e10},  // a number with no name: the same
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.strategy);
    Model model = test::kTwoStepChain.Build();
    test::SetInitial(model, "X", c.initialX);
    EngineRig rig(std::move(model), WithStrategy(c.strategy));
    const SteadyStateResult result = SteadyState(*rig.engine);
    EXPECT_EQ(result.outcome, c.ssFailure);
    EXPECT_EQ(rig.state.ssFailure, c.ssFailure);
    EXPECT_EQ(result.summary.integrationPasses, c.passes);
    EXPECT_EQ(rig.hooks.checks + static_cast<int>(rig.hooks.errors.size()), c.passes);
    if (c.passes > 0) {
      EXPECT_EQ(rig.state.interval, c.finalInterval);
    } else {
      EXPECT_EQ(rig.state.fEvaluations, 1.0);
    }
    // The output-point count of the time course is left as it was.
    EXPECT_EQ(rig.engine->points, rig.settings.points);
  }
}

TEST(SteadyStateTest, AStopDuringAnIntegrationPassEndsTheSearchAndLeavesTheResultsAlone) {
  EngineRig rig(test::kTwoStepChain.Build(), WithStrategy(1));
  rig.hooks.stopAtCheck = 1;
  const SteadyStateResult result = SteadyState(*rig.engine);
  EXPECT_EQ(result.outcome, SteadyStateOutcome::kStopped);
  EXPECT_EQ(result.summary.integrationPasses, 1);
  EXPECT_EQ(rig.hooks.checks, 1);
  // A search that did not end is no failed search: no -1 concentrations.
  EXPECT_GT(Concentration(rig.model, "X"), 0.0);
  EXPECT_EQ(rig.engine->points, rig.settings.points);
}

TEST(SteadyStateTest, SingularJacobianUnderNewtonOnlyFallsBackToBackwardIntegration) {
  EngineRig rig(ConstantInAndOut(2.0, 1.0), WithStrategy(2));
  rig.engine->equations.SetInitialAmounts(rig.state.ssAmounts.data());
  Newton(*rig.engine);
  EXPECT_EQ(rig.state.ssFailure, SteadyStateOutcome::kSingularJacobian);

  SteadyState(*rig.engine);
  EXPECT_NE(rig.state.ssFailure, SteadyStateOutcome::kFound);
  // The backward passes integrated: far more evaluations than Newton made.
  EXPECT_GT(rig.state.fEvaluations, 10.0);
  EXPECT_EQ(Concentration(rig.model, "X"), -1.0);
  EXPECT_EQ(rig.model.steps[0].flux, 0.0);
}

// dX/dt = -1 - X: a constant negative inflow and first-order removal, so
// the only steady state is X = -1 and the residual there is exactly 0.
Model NegativeSteadyState() {
  Model model = test::BuildModel({{"In", " -> X"}, {"Out", "X -> "}});
  test::UseKinetics(model, "In", "Constant flux (irreversible)", {-1.0});
  test::UseKinetics(model, "Out", "Mass action (irreversible)", {1.0});
  test::SetInitial(model, "X", 0.5);
  StructuralAnalysis(model);
  return model;
}

TEST(SteadyStateTest, ASteadyStateWithNegativeAmountsIsRejected) {
  EngineRig rig(NegativeSteadyState(), WithStrategy(2));
  rig.engine->equations.SetInitialAmounts(rig.state.ssAmounts.data());
  rig.settings.solver.newtonLimit = 5;
  Newton(*rig.engine);
  EXPECT_EQ(rig.state.ssFailure, SteadyStateOutcome::kNotFound);
  EXPECT_CLOSE(rig.state.ssAmounts[1], -1.0, 1e-12, 1e-9);
}

TEST(SteadyStateTest, NewtonOnlyAcceptsPointsItHasTried) {
  // Newton starts exactly at the negative steady state (residual 0), while
  // trialAmounts still holds X = 0.5, where dX/dt = -1.5, from an earlier
  // search. Every iteration must try its own step (here a step of 0) and
  // never take the left-over point for a steady state.
  EngineRig rig(NegativeSteadyState(), WithStrategy(2));
  rig.settings.solver.newtonLimit = 3;
  rig.state.ssAmounts[1] = -1.0;
  rig.state.trialAmounts[1] = 0.5;
  Newton(*rig.engine);
  EXPECT_EQ(rig.state.ssFailure, SteadyStateOutcome::kNotFound);
  EXPECT_CLOSE(rig.state.ssAmounts[1], -1.0, 1e-12, 0.0);
  // One residual at the start, then per iteration one Jacobian (two
  // evaluations) and the full step, which is accepted at once.
  EXPECT_EQ(rig.state.newtonFEvals, 1 + 3 * (2 + 1));
  EXPECT_EQ(rig.state.newtonJEvals, 3);
}

// X is made at a constant rate, turned into Y by first-order kinetics, and
// Y leaves at a constant rate: no rate law reads Y.
Model UnreadMetabolite() {
  Model model = test::BuildModel({{"In", " -> X"}, {"Mid", "X -> Y"}, {"Out", "Y -> "}});
  test::UseKinetics(model, "In", "Constant flux (irreversible)", {1.0});
  test::UseKinetics(model, "Mid", "Mass action (irreversible)", {1.0});
  test::UseKinetics(model, "Out", "Constant flux (irreversible)", {1.0});
  StructuralAnalysis(model);
  return model;
}

TEST(SteadyStateTest, AnAmountThatIsNotANumberIsNoSteadyState) {
  EngineRig rig(UnreadMetabolite());
  rig.state.ssAmounts[rig.PositionOf("X")] = 1.0;  // In and Mid balance
  rig.state.ssAmounts[rig.PositionOf("Y")] = 2.0;  // Mid and Out balance whatever Y is
  EXPECT_EQ(CheckSteadyState(*rig.engine), SteadyStateOutcome::kFound);
  rig.state.ssAmounts[rig.PositionOf("Y")] = std::nan("");
  EXPECT_NE(CheckSteadyState(*rig.engine), SteadyStateOutcome::kFound);
  EXPECT_EQ(rig.state.ssFailure, SteadyStateOutcome::kNotFound);
}

TEST(SteadyStateTest, StrategyThreeOnlyIntegratesBackwards) {
  // Backwards in time the decay towards X = 4 runs away from it.
  EngineRig rig(test::kTwoStepChain.Build(), WithStrategy(3));
  SteadyState(*rig.engine);
  EXPECT_NE(rig.state.ssFailure, SteadyStateOutcome::kFound);
  EXPECT_EQ(rig.state.newtonJEvals, 0);
}

TEST(SteadyStateTest, EquilibriumLooksAtTheMagnitudeOfEveryFlux) {
  EngineRig rig(test::LinearTwoStep());
  rig.model.steps[0].flux = -3.0;
  rig.model.steps[1].flux = -1.0;
  CheckEquilibrium(*rig.engine);
  EXPECT_EQ(rig.state.equilibrium, 0);
  rig.model.steps[0].flux = 1e-12;
  rig.model.steps[1].flux = -1e-12;
  CheckEquilibrium(*rig.engine);
  EXPECT_EQ(rig.state.equilibrium, 1);
  // A flux that is not a number is no evidence of equilibrium.
  rig.model.steps[0].flux = std::nan("");
  CheckEquilibrium(*rig.engine);
  EXPECT_EQ(rig.state.equilibrium, 0);
}

TEST(StabilityTest, TheBrusselatorBeyondItsBifurcationIsAnUnstableFocus) {
  const ReferenceModel& r = test::FindReferenceModel("Brusselator");
  EngineRig rig(r.model, WithStrategy(2));
  SteadyState(*rig.engine);
  ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
  EXPECT_CLOSE(Concentration(rig.model, "X"), r.concentrations.at("X"), 1e-9, 1e-7);
  EXPECT_CLOSE(Concentration(rig.model, "Y"), r.concentrations.at("Y"), 1e-9, 1e-7);
  // The catalogue's pair l = 1/2 +/- i sqrt(3)/2.
  ASSERT_EQ(r.eigenvalues.size(), 2u);
  EXPECT_CLOSE(rig.state.maxRealPart, r.eigenvalues[0].real(), 0.0, 1e-5);
  EXPECT_CLOSE(rig.state.maxImagPart, std::abs(r.eigenvalues[0].imag()), 0.0, 1e-5);
  EXPECT_EQ(rig.state.nComplex, 2.0);
  EXPECT_EQ(rig.state.nPositiveReal, 2.0);
  EXPECT_EQ(rig.state.nReal + rig.state.nImaginary + rig.state.nComplex + rig.state.nZero, 2.0);
  EXPECT_EQ(StabilityVerdict(rig.state.maxRealPart, rig.state.maxImagPart, 1e-9),
            "is unstable,\n transient states in its vicinity have oscillatory components");
}

TEST(StabilityTest, ALinearChainIsAStableNode) {
  EngineRig rig(test::LinearMichaelisMenten());
  SteadyState(*rig.engine);
  ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
  EXPECT_LT(rig.state.maxRealPart, 0.0);
  EXPECT_EQ(rig.state.nNegativeReal, 2.0);
  EXPECT_EQ(rig.state.nReal, 2.0);
  EXPECT_EQ(StabilityVerdict(rig.state.maxRealPart, rig.state.maxImagPart, 1e-9),
            "is asymptotically stable");
}

TEST(StabilityTest, StatisticsPartitionTheEigenvalues) {
  const double re[] = {1e-10, 0.0, 0.0, -2.0, 3.0, 1e-9};
  const double im[] = {0.0, 2.0, -2.0, 0.0, 1.0, 0.0};
  const EigenvalueStatistics s = SummariseEigenvalues(re, im, 6, 1e-9);
  EXPECT_EQ(s.nZero, 2.0);  // |re| = r counts as zero
  EXPECT_EQ(s.nImaginary, 2.0);
  EXPECT_EQ(s.nReal, 1.0);
  EXPECT_EQ(s.nComplex, 1.0);
  EXPECT_EQ(s.nPositiveReal, 1.0);
  EXPECT_EQ(s.nNegativeReal, 1.0);
  EXPECT_EQ(s.maxRealPart, 3.0);
  EXPECT_EQ(s.maxImagPart, 2.0);
  EXPECT_EQ(StabilityVerdict(0.0, 2.0, 1e-9),
            "stability is undetermined,\n transient states in its vicinity have oscillatory "
            "components");
}

// A stable spectrum with one eigenvalue unknown is not stable, wherever the
// unknown one stands.
TEST(StabilityTest, AnUnknownEigenvalueLeavesTheStabilityUndetermined) {
  const double nan = std::nan("");
  for (int at = 0; at < 3; ++at) {
    SCOPED_TRACE(at);
    double re[] = {-1.0, -2.0, -3.0};
    double im[] = {0.5, -0.5, 0.0};
    re[at] = nan;
    im[at] = nan;
    const EigenvalueStatistics s = SummariseEigenvalues(re, im, 3, 1e-9);
    EXPECT_TRUE(std::isnan(s.maxRealPart));
    EXPECT_TRUE(std::isnan(s.maxImagPart));
    EXPECT_EQ(StabilityVerdict(s.maxRealPart, s.maxImagPart, 1e-9), "stability is undetermined");
  }
}

}  // namespace
}  // namespace vireon
