#include "engine/model_equations.h"

#include <gtest/gtest.h>

#include <cmath>

#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/reference_models.h"

namespace vireon {
namespace {

using test::EngineRig;

constexpr double kFiniteDifferenceRel = 1e-6;

TEST(ModelEquationsTest, DerivsOfALinearChainAreInMinusOut) {
  const test::TwoStepChain& chain = test::kTwoStepChain;
  EngineRig rig(chain.Build());
  ModelEquations& eq = rig.engine->equations;
  std::vector<double> x(rig.model.nMetabolites() + 1, 0.0), dx(x.size(), -7.0);
  eq.SetInitialAmounts(x.data());
  x[rig.PositionOf("X")] = 3.0;
  eq.Derivs(x.data(), dx.data());
  // dX/dt = k1 [S] - k2 [X] = 2 - 1.5.
  EXPECT_CLOSE(dx[rig.PositionOf("X")], chain.k1 * chain.s - chain.k2 * 3.0, test::kTightAbs,
               test::kTightRel);
  // Fixed positions are never written.
  EXPECT_EQ(dx[rig.PositionOf("S")], -7.0);
}

TEST(ModelEquationsTest, VolumesTurnRatesIntoAmountsPerTime) {
  const test::TwoStepChain& chain = test::kTwoStepChain;
  Model model = chain.Build();
  model.SetCompartmentCount(2);
  model.compartments[1].volume = 4.0;
  test::SetInitial(model, "X", 3.0, 1);
  EngineRig rig(std::move(model));
  std::vector<double> x(rig.model.nMetabolites() + 1), dx(x.size());
  rig.engine->equations.SetInitialAmounts(x.data());
  EXPECT_CLOSE(rig.AmountOf(x, "X"), 12.0, test::kTightAbs, test::kTightRel);
  rig.engine->equations.Derivs(x.data(), dx.data());
  // Rates per unit volume (2 - 0.5*3) times the volume of X's compartment.
  EXPECT_CLOSE(dx[rig.PositionOf("X")], (chain.k1 * chain.s - chain.k2 * 3.0) * 4.0,
               test::kTightAbs, test::kTightRel);
}

TEST(ModelEquationsTest, DependentDerivativesFollowTheConservationRelation) {
  EngineRig rig(test::EnzymeWithMoiety());
  ASSERT_EQ(rig.model.nIndependent, 1);
  ASSERT_EQ(rig.model.nVariable, 2);
  std::vector<double> x(rig.model.nMetabolites() + 1), dx(x.size());
  rig.engine->equations.SetInitialAmounts(x.data());
  x[rig.PositionOf("ES")] = 0.3;
  x[rig.PositionOf("E")] = 0.7;
  rig.engine->equations.Derivs(x.data(), dx.data());
  // E + ES is conserved: their rates of change cancel.
  EXPECT_CLOSE(dx[rig.PositionOf("E")] + dx[rig.PositionOf("ES")], 0.0, 1e-14, 0.0);
  const double bind = 10.0 * 0.7 * 0.5 - 1.0 * 0.3;
  const double cat = 2.0 * 0.3;
  EXPECT_CLOSE(dx[rig.PositionOf("ES")], bind - cat, test::kTightAbs, test::kTightRel);
}

TEST(ModelEquationsTest, JacobianOfTheReducedSystemAccountsForTheMoiety) {
  EngineRig rig(test::EnzymeWithMoiety());
  ModelEquations& eq = rig.engine->equations;
  std::vector<double> x(rig.model.nMetabolites() + 1);
  eq.SetInitialAmounts(x.data());
  ComputeMoietyTotals(rig.model);
  ASSERT_EQ(rig.model.metaboliteOrder[0], rig.model.FindMetabolite("E"));
  x[1] = 0.6;  // E; ES follows from the total 1.0
  eq.DependentAmounts(x.data());
  EXPECT_CLOSE(x[rig.PositionOf("ES")], 0.4, test::kTightAbs, test::kTightRel);
  eq.ComputeJacobian(x.data(), rig.state.jacobian);
  // dE/dt = -k1 E S + k2 (T - E) + kcat (T - E): d/dE = -k1 S - k2 - kcat,
  // the same at every E, so the catalogue's value at the steady state.
  const double expected = test::FindReferenceModel("EnzymeWithMoiety").jacobian[0][0];
  EXPECT_CLOSE(rig.state.jacobian[1][1], expected, 0.0, kFiniteDifferenceRel);
  EXPECT_EQ(rig.state.newtonFEvals, 2);
  EXPECT_EQ(rig.state.newtonJEvals, 1);
  EXPECT_EQ(x[1], 0.6);  // restored
}

TEST(ModelEquationsTest, AmountsBelowTheResolutionArePerturbedAroundIt) {
  // The chain's Jacobian, -k2, is the same at every [X].
  const test::ReferenceModel& r = test::FindReferenceModel("LinearTwoStep");
  EngineRig rig(r.model);
  std::vector<double> x(rig.model.nMetabolites() + 1);
  rig.engine->equations.SetInitialAmounts(x.data());
  ASSERT_EQ(rig.AmountOf(x, "X"), 0.0);
  rig.engine->equations.ComputeJacobian(x.data(), rig.state.jacobian);
  // The increment is about 1e-12, so rounding of the other terms limits the accuracy.
  EXPECT_CLOSE(rig.state.jacobian[1][1], r.jacobian[0][0], 0.0, 1e-3);
}

TEST(ModelEquationsTest, ResidualNormIsTheLargestMagnitudeAndNeverHidesNaN) {
  EngineRig rig(test::EnzymeWithMoiety());
  std::vector<double> f = {99.0, -0.5, 0.25, 1000.0};  // position 3 is fixed
  EXPECT_EQ(rig.engine->equations.ResidualNorm(f.data()), 0.5);
  f[2] = std::nan("");
  EXPECT_TRUE(std::isnan(rig.engine->equations.ResidualNorm(f.data())));
}

TEST(ModelEquationsTest, TransitionTimesUseConcentrations) {
  const test::TwoStepChain& chain = test::kTwoStepChain;
  Model model = chain.Build();
  model.SetCompartmentCount(2);
  model.compartments[1].volume = 5.0;
  model.metabolites[model.FindMetabolite("X")].compartment = 1;
  EngineRig rig(std::move(model));
  std::vector<double> x(rig.model.nMetabolites() + 1);
  rig.engine->equations.SetInitialAmounts(x.data());
  x[rig.PositionOf("X")] = chain.SteadyX() * 5.0;  // [X] at its steady state
  rig.engine->equations.ComputeTransitionTimes(x.data(), rig.model);
  const Metabolite& xm = rig.model.metabolites[rig.model.FindMetabolite("X")];
  // [X] over the rate producing it: 4 / 2.
  const double expected = chain.SteadyX() / chain.Flux();
  EXPECT_CLOSE(xm.transitionTime, expected, test::kTightAbs, test::kTightRel);
  EXPECT_CLOSE(rig.model.totalTransitionTime, expected, test::kTightAbs, test::kTightRel);
}

TEST(ModelEquationsTest, AMetaboliteNothingTouchesHasAnInfiniteTransitionTime) {
  EngineRig rig(test::TwoStepChain{.k1 = 0.0}.Build());
  std::vector<double> x(rig.model.nMetabolites() + 1, 0.0);
  rig.engine->equations.ComputeTransitionTimes(x.data(), rig.model);
  EXPECT_EQ(rig.model.metabolites[rig.model.FindMetabolite("X")].transitionTime, kInfiniteValue);
  EXPECT_EQ(rig.model.totalTransitionTime, kInfiniteValue);
  EXPECT_EQ(rig.model.metabolites[rig.model.FindMetabolite("S")].transitionTime, 0.0);
}

}  // namespace
}  // namespace vireon
