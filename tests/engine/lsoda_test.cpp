#include "engine/lsoda.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/expect_close.h"

namespace vireon {
namespace {

constexpr double kDecayRate = 0.5;
constexpr double kGlobalRel = 1e-6;  // global error allowed at rtol 1e-8
constexpr double kGlobalAbs = 1e-10;

// Runs one integration with scalar tolerances and records every diagnostic.
class LsodaTest : public ::testing::Test {
 protected:
  LsodaTest() {
    solver.SetPrintFunction([this](std::string_view text) { printed.emplace_back(text); });
  }

  // Calls lsoda once with the fixture's tolerances and options.
  void Call(LsodaRhs& f, std::vector<double>& y, double tout, int itask = 1) {
    const double rtolv[2] = {0.0, rtol};
    const double atolv[2] = {0.0, atol};
    solver.lsoda(f, int(y.size()) - 1, y.data(), t, tout, 1, rtolv, atolv, itask, istate, 1, 2,
                 options);
  }

  bool Printed(const std::string& text) const {
    return std::find(printed.begin(), printed.end(), text) != printed.end();
  }

  Lsoda solver;
  LsodaOptionalInputs options;
  std::vector<std::string> printed;
  double rtol = 1e-8;
  double atol = 1e-12;
  double t = 0.0;
  int istate = 1;
};

auto Decay() {
  return LsodaFunction(
      [](int, double, const double* y, double* ydot) { ydot[1] = -kDecayRate * y[1]; });
}

// y' = A·y with eigenvalues -1 (vector (1, 1)) and -1000 (vector (1, -1)):
// from (2, 0), y = e^-t·(1, 1) + e^-1000t·(1, -1).
auto StiffLinear() {
  return LsodaFunction([](int, double, const double* y, double* ydot) {
    ydot[1] = -500.5 * y[1] + 499.5 * y[2];
    ydot[2] = 499.5 * y[1] - 500.5 * y[2];
  });
}

auto Robertson() {
  return LsodaFunction([](int, double, const double* y, double* ydot) {
    ydot[1] = -0.04 * y[1] + 1.0e4 * y[2] * y[3];
    ydot[3] = 3.0e7 * y[2] * y[2];
    ydot[2] = -ydot[1] - ydot[3];
  });
}

TEST_F(LsodaTest, ExponentialDecayFollowsTheClosedFormInBothDirections) {
  for (double direction : {1.0, -1.0}) {
    auto f = Decay();
    std::vector<double> y = {0.0, 1.0};
    t = 0.0;
    istate = 1;
    for (int k = 1; k <= 10; ++k) {
      Call(f, y, direction * k);
      ASSERT_EQ(istate, 2) << "direction " << direction << ", tout " << direction * k;
      EXPECT_EQ(t, direction * k);
      EXPECT_CLOSE(y[1], std::exp(-kDecayRate * t), kGlobalAbs, kGlobalRel);
    }
    EXPECT_EQ(solver.mused(), 1) << "a mild decay stays with the Adams method";
    EXPECT_GT(solver.nst(), 0);
    EXPECT_GT(solver.nfe(), solver.nst());
  }
  EXPECT_TRUE(printed.empty());
}

TEST_F(LsodaTest, StiffLinearSystemSwitchesToBdfAndFollowsTheClosedForm) {
  auto f = StiffLinear();
  std::vector<double> y = {0.0, 2.0, 0.0};
  options.ixpr = 1;
  for (double tout : {0.01, 0.1, 1.0, 10.0}) {
    Call(f, y, tout);
    ASSERT_EQ(istate, 2) << "tout " << tout;
    const double slow = std::exp(-tout);
    const double fast = std::exp(-1000.0 * tout);
    EXPECT_CLOSE(y[1], slow + fast, 1e-7, 1e-5);
    EXPECT_CLOSE(y[2], slow - fast, 1e-7, 1e-5);
  }
  EXPECT_EQ(solver.mused(), 2);
  EXPECT_GT(solver.tsw(), 0.0);
  EXPECT_GT(solver.nje(), 0);
  EXPECT_TRUE(Printed("\nlsoda -- a switch to the stiff method has occurred"));
  // Adams alone would need thousands of steps held back by stability.
  EXPECT_LT(solver.nst(), 500);
}

// Without a print function the diagnostics go nowhere: the core never
// writes to the standard streams by itself.
TEST(LsodaWithoutPrintFunction, SaysNothingOnTheStandardStreams) {
  Lsoda solver;
  solver.LsodaSetPrint(1);
  auto f = StiffLinear();
  std::vector<double> y = {0.0, 2.0, 0.0};
  LsodaOptionalInputs options;
  options.ixpr = 1;
  const double rtolv[2] = {0.0, 1e-8};
  const double atolv[2] = {0.0, 1e-12};
  double t = 0.0;
  int istate = 1;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  solver.lsoda(f, 2, y.data(), t, 10.0, 1, rtolv, atolv, 1, istate, 1, 2, options);
  // An illegal call (a negative tolerance with changed inputs) has a
  // diagnostic of its own.
  const double badRtol[2] = {0.0, -1.0};
  istate = 3;
  solver.lsoda(f, 2, y.data(), t, 20.0, 1, badRtol, atolv, 1, istate, 1, 2, options);
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(istate, -3);
  EXPECT_GT(solver.tsw(), 0.0);  // the switch that a print function would hear of
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
}

TEST_F(LsodaTest, RobertsonConservesMassAndMatchesReferenceValues) {
  auto f = Robertson();
  std::vector<double> y = {0.0, 1.0, 0.0, 0.0};
  rtol = 1e-8;
  atol = 1e-14;
  for (double tout : {0.4, 4.0, 40.0}) {
    Call(f, y, tout);
    ASSERT_EQ(istate, 2);
    EXPECT_CLOSE(y[1] + y[2] + y[3], 1.0, 1e-7, 0.0) << "at t = " << tout;
  }
  // Reference values of this classic problem at t = 40.
  EXPECT_CLOSE(y[1], 0.7158270687, 0.0, 1e-5);
  EXPECT_CLOSE(y[2], 9.185534764e-6, 0.0, 1e-4);
  EXPECT_CLOSE(y[3], 0.2841637457, 0.0, 1e-5);
  EXPECT_EQ(solver.mused(), 2);
}

struct IllegalCase {
  const char* name;
  int neq;
  int itol;
  int iopt;
  int jt;
  int itask;
  int istate;
  double rtol;
  double atol;
  LsodaOptionalInputs options;
  const char* text;
};

LsodaOptionalInputs With(int LsodaOptionalInputs::*field, int value) {
  LsodaOptionalInputs options;
  options.*field = value;
  return options;
}

LsodaOptionalInputs With(double LsodaOptionalInputs::*field, double value) {
  LsodaOptionalInputs options;
  options.*field = value;
  return options;
}

void PrintTo(const IllegalCase& c, std::ostream* os) {
  *os << c.name;
}

class LsodaIllegalInputTest : public LsodaTest,
                              public ::testing::WithParamInterface<IllegalCase> {};

TEST_P(LsodaIllegalInputTest, ReturnsMinusThreeWithItsTextAndLeavesTheStateAlone) {
  const IllegalCase& c = GetParam();
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0, 1.0};
  const double rtolv[2] = {0.0, c.rtol};
  const double atolv[2] = {0.0, c.atol};
  istate = c.istate;
  solver.lsoda(f, c.neq, y.data(), t, 1.0, c.itol, rtolv, atolv, c.itask, istate, c.iopt, c.jt,
               c.options);
  EXPECT_EQ(istate, -3);
  EXPECT_TRUE(Printed(c.text)) << "missing: " << c.text;
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(y[1], 1.0);
}

using O = LsodaOptionalInputs;
INSTANTIATE_TEST_SUITE_P(
    Cases, LsodaIllegalInputTest,
    ::testing::Values(
        IllegalCase{"NegativeRtol",
                    2,
                    1,
                    1,
                    2,
                    1,
                    1,
                    -1e-6,
                    1e-12,
                    {},
                    "\nlsoda -- rtol = -1e-06 is less than 0."},
        IllegalCase{"NegativeAtol",
                    2,
                    1,
                    1,
                    2,
                    1,
                    1,
                    1e-6,
                    -1.0,
                    {},
                    "\nlsoda -- atol = -1 is less than 0."},
        IllegalCase{
            "ZeroTolerances", 2, 1, 1, 2, 1, 1, 0.0, 0.0, {}, "\nlsoda -- ewt[1] = 0 <= 0."},
        IllegalCase{"NaNTolerance",
                    2,
                    1,
                    1,
                    2,
                    1,
                    1,
                    std::nan(""),
                    1e-12,
                    {},
                    "\nlsoda -- ewt[1] = nan <= 0."},
        IllegalCase{
            "NoEquations", 0, 1, 1, 2, 1, 1, 1e-6, 1e-12, {}, "\nlsoda -- neq = 0 is less than 1"},
        IllegalCase{"Itol", 2, 5, 1, 2, 1, 1, 1e-6, 1e-12, {}, "\nlsoda -- itol = 5 illegal"},
        IllegalCase{"Iopt", 2, 1, 2, 2, 1, 1, 1e-6, 1e-12, {}, "\nlsoda -- iopt = 2 illegal"},
        IllegalCase{"Jt", 2, 1, 1, 3, 1, 1, 1e-6, 1e-12, {}, "\nlsoda -- jt = 3 illegal"},
        IllegalCase{"BandWidth", 2, 1, 1, 4, 1, 1, 1e-6, 1e-12, With(&O::ml, 2),
                    "\nlsoda -- _ml = 2 not between 1 and neq"},
        IllegalCase{"Itask", 2, 1, 1, 2, 6, 1, 1e-6, 1e-12, {}, "\nlsoda -- illegal itask = 6"},
        IllegalCase{"Istate", 2, 1, 1, 2, 1, 0, 1e-6, 1e-12, {}, "\nlsoda -- illegal istate = 0"},
        IllegalCase{"NotInitialised",
                    2,
                    1,
                    1,
                    2,
                    1,
                    2,
                    1e-6,
                    1e-12,
                    {},
                    "\nlsoda -- istate > 1 but lsoda not initialized"},
        IllegalCase{"Ixpr", 2, 1, 1, 2, 1, 1, 1e-6, 1e-12, With(&O::ixpr, 3),
                    "\nlsoda -- ixpr = 3 is illegal"},
        IllegalCase{"Mxstep", 2, 1, 1, 2, 1, 1, 1e-6, 1e-12, With(&O::mxstep, -1),
                    "\nlsoda -- mxstep < 0"},
        IllegalCase{"Mxhnil", 2, 1, 1, 2, 1, 1, 1e-6, 1e-12, With(&O::mxhnil, -1),
                    "\nlsoda -- mxhnil < 0"},
        IllegalCase{"Mxordn", 2, 1, 1, 2, 1, 1, 1e-6, 1e-12, With(&O::mxordn, -1),
                    "\nlsoda -- mxordn = -1 is less than 0"},
        IllegalCase{"Mxords", 2, 1, 1, 2, 1, 1, 1e-6, 1e-12, With(&O::mxords, -2),
                    "\nlsoda -- mxords = -2 is less than 0"},
        IllegalCase{"Hmax", 2, 1, 1, 2, 1, 1, 1e-6, 1e-12, With(&O::hmax, -1.0),
                    "\nlsoda -- hmax < 0."},
        IllegalCase{"Hmin", 2, 1, 1, 2, 1, 1, 1e-6, 1e-12, With(&O::hmin, -1.0),
                    "\nlsoda -- hmin < 0."},
        IllegalCase{"H0Direction", 2, 1, 1, 2, 1, 1, 1e-6, 1e-12, With(&O::h0, -0.5),
                    "\n         integration direction is given by -0.5"},
        IllegalCase{"TcritBehindTout", 2, 1, 1, 2, 4, 1, 1e-6, 1e-12, With(&O::tcrit, 0.5),
                    "\nlsoda -- itask = 4 or 5 and tcrit behind tout"},
        IllegalCase{"TooMuchAccuracy",
                    2,
                    1,
                    1,
                    2,
                    1,
                    1,
                    1e-20,
                    0.0,
                    {},
                    "\nlsoda -- at start of problem, too much accuracy"}),
    [](const ::testing::TestParamInfo<IllegalCase>& info) { return info.param.name; });

TEST_F(LsodaTest, ToutTooCloseToTRefusesToStart) {
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0};
  t = 1e10;
  Call(f, y, std::nextafter(1e10, 2e10));
  EXPECT_EQ(istate, -3);
  EXPECT_TRUE(Printed("\nlsoda -- tout too close to t to start integration\n"));
}

TEST_F(LsodaTest, StartWithToutEqualToTDoesNothingUntilItRepeatsFiveTimes) {
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0};
  for (int call = 1; call <= 4; ++call) {
    Call(f, y, 0.0);
    EXPECT_EQ(istate, 1) << "call " << call;
  }
  EXPECT_EQ(solver.nfe(), 0);
  EXPECT_TRUE(printed.empty());
  Call(f, y, 0.0);
  EXPECT_EQ(istate, -3);
  EXPECT_TRUE(Printed("\nlsoda -- repeated calls with istate = 1 and tout = t"));
  EXPECT_TRUE(Printed("\n         run aborted.. apparent infinite loop"));
  EXPECT_EQ(y[1], 1.0);
  // The engine's pattern: one call with tout = t, then the real start.
  istate = 1;
  Call(f, y, 0.0);
  EXPECT_EQ(istate, 1);
  Call(f, y, 1.0);
  EXPECT_EQ(istate, 2);
}

TEST_F(LsodaTest, RepeatedIllegalInputIsNamedAndStillFails) {
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0};
  const std::string repeated = "\nlsoda -- repeated occurrence of illegal input\n";
  for (int call = 1; call <= 5; ++call) {
    istate = 7;
    Call(f, y, 1.0);
    EXPECT_EQ(istate, -3);
  }
  EXPECT_FALSE(Printed(repeated));
  istate = 7;
  Call(f, y, 1.0);
  EXPECT_TRUE(Printed(repeated));
  // A failure must never come back as success, even the sixth time.
  EXPECT_EQ(istate, -3);

  // A successful return starts the count again.
  printed.clear();
  istate = 1;
  Call(f, y, 1.0);
  ASSERT_EQ(istate, 2);
  for (int call = 1; call <= 5; ++call) {
    istate = 0;
    Call(f, y, 2.0);
  }
  EXPECT_FALSE(Printed(repeated));
}

TEST_F(LsodaTest, NanFromTheRightHandSideEndsWithAnErrorReturn) {
  struct Case {
    double badFrom;  // the derivative is NaN from this time on
    double value;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const Case& c :
       {Case{0.0, nan}, Case{0.0, inf}, Case{1.0, nan}, Case{1.0, inf}, Case{1.0, -inf}}) {
    auto f = LsodaFunction([&c](int, double time, const double* y, double* ydot) {
      ydot[1] = time >= c.badFrom ? c.value : -y[1];
      ydot[2] = -2.0 * y[2];
    });
    std::vector<double> y = {0.0, 1.0, 1.0};
    t = 0.0;
    istate = 1;
    Call(f, y, 5.0);
    EXPECT_LT(istate, 0) << "bad from " << c.badFrom << " value " << c.value;
    EXPECT_NE(istate, -1);
    EXPECT_LE(t, std::max(c.badFrom, 0.0) + 0.5);
    if (c.badFrom > 0.0) {
      EXPECT_TRUE(std::isfinite(y[1])) << "the last good state comes back";
      EXPECT_CLOSE(y[2], std::exp(-2.0 * t), 1e-6, 1e-5);
    }
  }
  EXPECT_TRUE(Printed("\n         corrector convergence failed repeatedly or"));
}

TEST_F(LsodaTest, IntdyInterpolatesValueAndDerivativeWithinTheLastStep) {
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0};
  rtol = 1e-10;
  atol = 1e-14;
  for (int step = 0; step < 30; ++step) {
    Call(f, y, 10.0, 2);  // one step per call
    ASSERT_EQ(istate, 2);
  }
  const double tn = solver.tn();
  const double hu = solver.hu();
  ASSERT_GT(hu, 0.0);
  std::vector<double> dky(2, 0.0);
  for (double fraction : {0.0, 0.25, 0.5, 0.9, 1.0}) {
    const double at = tn - fraction * hu;
    ASSERT_EQ(solver.intdy(at, 0, dky.data()), 0);
    EXPECT_CLOSE(dky[1], std::exp(-kDecayRate * at), 1e-12, 1e-8) << "fraction " << fraction;
    ASSERT_EQ(solver.intdy(at, 1, dky.data()), 0);
    EXPECT_CLOSE(dky[1], -kDecayRate * std::exp(-kDecayRate * at), 1e-12, 1e-6);
  }
  EXPECT_EQ(solver.intdy(tn, solver.nqcur() + 1, dky.data()), -1);
  EXPECT_TRUE(Printed("\nintdy -- k = " + std::to_string(solver.nqcur() + 1) + " illegal"));
  EXPECT_EQ(solver.intdy(tn + hu, 0, dky.data()), -2);
  EXPECT_TRUE(Printed("\n         t not in interval tcur - hu to tcur"));
}

TEST_F(LsodaTest, ExcessWorkReturnsMinusOneAndCanContinue) {
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0};
  options.mxstep = 5;
  Call(f, y, 100.0);
  EXPECT_EQ(istate, -1);
  EXPECT_TRUE(Printed("\nlsoda -- 5 steps taken before reaching tout"));
  EXPECT_EQ(t, solver.tn());
  EXPECT_CLOSE(y[1], std::exp(-kDecayRate * t), kGlobalAbs, kGlobalRel);
  options.mxstep = 2000;
  istate = 3;
  Call(f, y, 20.0);
  EXPECT_EQ(istate, 2);
  EXPECT_CLOSE(y[1], std::exp(-kDecayRate * 20.0), kGlobalAbs, 1e-5);
}

TEST_F(LsodaTest, Itask4NeverEvaluatesBeyondTcrit) {
  double latest = 0.0;
  auto f = LsodaFunction([&latest](int, double time, const double* y, double* ydot) {
    latest = std::max(latest, time);
    ydot[1] = -y[1];
  });
  std::vector<double> y = {0.0, 1.0};
  options.tcrit = 1.0;
  Call(f, y, 1.0, 4);
  EXPECT_EQ(istate, 2);
  EXPECT_EQ(t, 1.0);
  EXPECT_CLOSE(y[1], std::exp(-1.0), kGlobalAbs, kGlobalRel);
  EXPECT_LE(latest, 1.0 + 1e-12);
}

TEST_F(LsodaTest, OneStepAndStopAtOrBeyondToutTasksReturnAtInternalTimes) {
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0};
  Call(f, y, 1.0, 2);  // one step
  ASSERT_EQ(istate, 2);
  EXPECT_EQ(t, solver.tn());
  EXPECT_EQ(solver.nst(), 1);
  EXPECT_CLOSE(y[1], std::exp(-kDecayRate * t), kGlobalAbs, kGlobalRel);
  Call(f, y, 1.0, 3);  // up to the first internal time at or beyond tout
  ASSERT_EQ(istate, 2);
  EXPECT_GE(t, 1.0);
  EXPECT_EQ(t, solver.tn());
  EXPECT_LT(t - solver.hu(), 1.0);
  EXPECT_CLOSE(y[1], std::exp(-kDecayRate * t), kGlobalAbs, kGlobalRel);
  // One step that may not pass tcrit, then one that lands on it.
  options.tcrit = t + 1e-3;
  const double tcrit = options.tcrit;
  for (int call = 0; call < 20 && t != tcrit; ++call) {
    Call(f, y, tcrit, 5);
    ASSERT_EQ(istate, 2);
    EXPECT_LE(t, tcrit);
  }
  EXPECT_EQ(t, tcrit);
  EXPECT_CLOSE(y[1], std::exp(-kDecayRate * t), kGlobalAbs, kGlobalRel);
}

TEST_F(LsodaTest, TraceAndYieldOptionsLeaveTheSolutionAlone) {
  auto f = Decay();
  std::vector<double> plain = {0.0, 1.0};
  Call(f, plain, 3.0);
  ASSERT_EQ(istate, 2);
  const int steps = solver.nst();

  Lsoda traced;
  std::vector<std::string> lines;
  traced.SetPrintFunction([&lines](std::string_view text) { lines.emplace_back(text); });
  traced.SetYieldAfterStep(true);
  std::vector<double> y = {0.0, 1.0};
  double tt = 0.0;
  int state = 1;
  const double rtolv[2] = {0.0, rtol};
  const double atolv[2] = {0.0, atol};
  LsodaOptionalInputs trace;
  trace.ixpr = 2;
  traced.lsoda(f, 1, y.data(), tt, 3.0, 1, rtolv, atolv, 1, state, 1, 2, trace);
  ASSERT_EQ(state, 2);
  EXPECT_EQ(y[1], plain[1]);
  EXPECT_EQ(traced.nst(), steps);
  ASSERT_EQ(int(lines.size()), 2 * steps);
  EXPECT_EQ(lines[0].rfind("\nmeth= 1,   order= 1,   nfe= ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("\nt= ", 0), 0u) << lines[1];
}

TEST_F(LsodaTest, FreeTwiceIsHarmlessAndForgetsTheIntegration) {
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0};
  Call(f, y, 1.0);
  ASSERT_EQ(istate, 2);
  solver.LsodaFree();
  solver.LsodaFree();
  Call(f, y, 2.0);
  EXPECT_EQ(istate, -3);
  EXPECT_TRUE(Printed("\nlsoda -- istate > 1 but lsoda not initialized"));
  istate = 1;
  Call(f, y, 2.0);
  EXPECT_EQ(istate, 2);
  EXPECT_CLOSE(y[1], std::exp(-kDecayRate * 2.0), kGlobalAbs, kGlobalRel);
}

TEST_F(LsodaTest, PrintFlagSilencesEveryDiagnostic) {
  auto f = Decay();
  std::vector<double> y = {0.0, 1.0};
  solver.LsodaSetPrint(0);
  rtol = -1.0;
  Call(f, y, 1.0);
  EXPECT_EQ(istate, -3);
  EXPECT_TRUE(printed.empty());
}

TEST_F(LsodaTest, TwoIntegrationsRunSideBySide) {
  auto decay = Decay();
  auto stiff = StiffLinear();
  Lsoda other;
  std::vector<double> a = {0.0, 1.0};
  std::vector<double> b = {0.0, 2.0, 0.0};
  double tb = 0.0;
  int istateB = 1;
  const double rtolv[2] = {0.0, 1e-8};
  const double atolv[2] = {0.0, 1e-12};
  for (int k = 1; k <= 5; ++k) {
    Call(decay, a, k);
    other.lsoda(stiff, 2, b.data(), tb, k, 1, rtolv, atolv, 1, istateB, 0, 2);
    ASSERT_EQ(istate, 2);
    ASSERT_EQ(istateB, 2);
    EXPECT_CLOSE(a[1], std::exp(-kDecayRate * k), kGlobalAbs, kGlobalRel);
    EXPECT_CLOSE(b[1], std::exp(-double(k)), 1e-7, 1e-5);
  }
}

}  // namespace
}  // namespace vireon
