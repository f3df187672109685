#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "engine/lsoda.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

constexpr double kDecayRate = 0.5;
// Loose tolerances, so that each step is long and a root falls inside one.
constexpr double kLooseRtol = 1e-4;
constexpr double kLooseAtol = 1e-8;
// The root's width: 100 rounding units of |tn| + |h|, as the integrator states.
constexpr double kRootWidthUnits = 100.0;

auto Decay() {
  return LsodaFunction(
      [](int, double, const double* y, double* ydot) { ydot[1] = -kDecayRate * y[1]; });
}

// Root functions given by a callable g(t, y) whose condition is g > 0.
template <class Function>
class Roots final : public LsodaRoots {
 public:
  explicit Roots(std::vector<Function> functions) : functions_(std::move(functions)) {}
  int Count() const override { return static_cast<int>(functions_.size()); }
  void Evaluate(double t, const double* y, double* g, char* holds) override {
    ++evaluations;
    for (std::size_t i = 0; i < functions_.size(); ++i) {
      g[i] = functions_[i](t, y);
      holds[i] = g[i] > 0.0;
    }
  }
  int evaluations = 0;

 private:
  std::vector<Function> functions_;
};

struct Integration {
  double t = 0.0;
  std::vector<double> y{0.0, 1.0};
  int istate = 1;
  void Call(Lsoda& solver, LsodaRhs& f, double tout) {
    const double rtol[2] = {0.0, kLooseRtol};
    const double atol[2] = {0.0, kLooseAtol};
    solver.lsoda(f, 1, y.data(), t, tout, 1, rtol, atol, 1, istate, 0, 2);
  }
};

using RootFunction = double (*)(double, const double*);

// A condition on time alone is located to the root's width, whatever the
// accuracy of the solution, and the return lies inside the step that crossed it.
TEST(LsodaRoots, TimeConditionIsLocatedWithinTheRootWidthInsideOneStep) {
  constexpr double kRootTime = 3.7;
  Roots<RootFunction> roots({[](double t, const double*) { return t - kRootTime; }});
  Lsoda solver;
  solver.SetRootFunctions(&roots);
  auto f = Decay();
  Integration run;
  run.Call(solver, f, 10.0);
  ASSERT_EQ(run.istate, 3);
  EXPECT_EQ(solver.rootsFound(), std::vector<char>{1});
  EXPECT_GT(run.t, kRootTime);
  const double width =
      kRootWidthUnits * DBL_EPSILON * (std::fabs(solver.tn()) + std::fabs(solver.h()));
  EXPECT_LE(run.t - kRootTime, width);
  EXPECT_LT(run.t, solver.tn());
  EXPECT_GT(run.t, solver.tn() - solver.hu());
  // The solution returned is the one at the root.
  EXPECT_CLOSE(run.y[1], std::exp(-kDecayRate * run.t), 1e-12, 1e-3);
}

// A condition on the solution: y = 1/2 is crossed at ln 2 / k; the root is
// exact on the interpolating polynomial, so the solution there is 1/2 to
// rounding, and the time is as accurate as the integration.
TEST(LsodaRoots, StateConditionMatchesTheClosedForm) {
  Roots<RootFunction> roots({[](double, const double* y) { return y[1] - 0.5; }});
  Lsoda solver;
  solver.SetRootFunctions(&roots);
  auto f = Decay();
  Integration run;
  run.Call(solver, f, 10.0);
  ASSERT_EQ(run.istate, 3);
  EXPECT_LE(run.y[1], 0.5);
  EXPECT_NEAR(run.y[1], 0.5, 1e-12);
  EXPECT_NEAR_REL(run.t, std::log(2.0) / kDecayRate, 1e-3);
  EXPECT_LT(run.t, solver.tn());
  // Continuing finds no further root and reaches tout.
  run.istate = 2;
  run.Call(solver, f, 10.0);
  EXPECT_EQ(run.istate, 2);
  EXPECT_EQ(run.t, 10.0);
}

// Root functions that never change leave every count and every number of
// the integration as it is without them.
TEST(LsodaRoots, UnchangedConditionsCostNoEvaluationOfTheSystem) {
  auto f = Decay();
  Lsoda plain;
  Integration without;
  without.Call(plain, f, 0.0);
  for (double tout = 1.0; tout <= 10.0; tout += 1.0) without.Call(plain, f, tout);

  Roots<RootFunction> roots({[](double, const double* y) { return y[1] + 1.0; }});
  Lsoda watched;
  watched.SetRootFunctions(&roots);
  Integration with;
  with.Call(watched, f, 0.0);
  for (double tout = 1.0; tout <= 10.0; tout += 1.0) with.Call(watched, f, tout);

  EXPECT_EQ(with.istate, 2);
  // Bit for bit: the root functions must not touch the integration.
  EXPECT_EQ(with.y[1], without.y[1]);
  EXPECT_EQ(watched.nst(), plain.nst());
  EXPECT_EQ(watched.nfe(), plain.nfe());
  EXPECT_EQ(watched.nje(), plain.nje());
  EXPECT_GT(roots.evaluations, watched.nst());
}

// Two conditions crossed within one step: the earlier is returned first,
// then the later on the next call.
TEST(LsodaRoots, TwoRootsInOneStepComeInTheirOrder) {
  Roots<RootFunction> roots({[](double t, const double*) { return t - 2.02; },
                             [](double t, const double*) { return t - 2.01; }});
  Lsoda solver;
  solver.SetRootFunctions(&roots);
  auto f = Decay();
  Integration run;
  run.Call(solver, f, 10.0);
  ASSERT_EQ(run.istate, 3);
  EXPECT_EQ(solver.rootsFound(), (std::vector<char>{0, 1}));
  EXPECT_NEAR(run.t, 2.01, 1e-12);
  run.istate = 2;
  run.Call(solver, f, 10.0);
  ASSERT_EQ(run.istate, 3);
  EXPECT_EQ(solver.rootsFound(), (std::vector<char>{1, 0}));
  EXPECT_NEAR(run.t, 2.02, 1e-12);
}

}  // namespace
}  // namespace vireon
