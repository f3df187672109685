#include "model/solver_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace vireon {
namespace {

constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kIntMax = std::numeric_limits<int>::max();

// Each option at both ends of its range and just beyond them.
TEST(SolverOptionsTest, EachOptionKeepsItsRangeWithBothEndsIncluded) {
  using O = SolverOption;
  struct Case {
    O option;
    double low;
    double high;
    double belowLow;
    double aboveHigh;
  };
  const Case cases[] = {
      {O::kRelativeTolerance, 0.0, kLargest, -1e-300, kInfinity},
      {O::kAbsoluteTolerance, 0.0, kLargest, -1e-300, kInfinity},
      {O::kAdamsMaxOrder, 1, 12, 0, 13},
      {O::kBdfMaxOrder, 1, 5, 0, 6},
      {O::kDerivationFactor, 0.00001, 0.25, std::nextafter(0.00001, 0.0),
       std::nextafter(0.25, 1.0)},
      {O::kSteadyStateResolution, 0.0, kLargest, -1e-300, kInfinity},
      {O::kNewtonLimit, 2, kIntMax, 1, kIntMax + 1.0},
      {O::kSteadyStateStrategy, 0, 3, -1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.option));
    const SolverOptionRange range = SolverOptionLimits(c.option);
    EXPECT_EQ(range.low, c.low);
    EXPECT_EQ(range.high, c.high);
    EXPECT_TRUE(CheckSolverOption(c.option, c.low).ok());
    EXPECT_TRUE(CheckSolverOption(c.option, c.high).ok());
    for (const double bad : {c.belowLow, c.aboveHigh, std::nan("")}) {
      const SolverOptionsCheck check = CheckSolverOption(c.option, bad);
      EXPECT_EQ(check.field, c.option) << bad;
      EXPECT_FALSE(check.message.empty()) << bad;
    }
    // Half way between the two lowest whole numbers: only the real options take it.
    if (c.low + 0.5 <= c.high) {
      EXPECT_EQ(CheckSolverOption(c.option, c.low + 0.5).ok(), !range.integer);
    }
  }
}

TEST(SolverOptionsTest, MessagesNameTheOptionAndItsRange) {
  EXPECT_EQ(CheckSolverOption(SolverOption::kDerivationFactor, 0.5).message,
            "The derivation factor must be a number from 1e-05 to 0.25.");
  EXPECT_EQ(CheckSolverOption(SolverOption::kNewtonLimit, 1).message,
            "The Newton limit must be an integer from 2 to 2147483647.");
  EXPECT_EQ(CheckSolverOption(SolverOption::kRelativeTolerance, -1).message,
            "The relative tolerance must be a number from 0 to 1.79769313486232e+308.");
}

TEST(SolverOptionsTest, CheckReportsTheFirstWrongOptionInOrder) {
  EXPECT_TRUE(SolverOptions{}.Check().ok());
  SolverOptions options;
  options.newtonLimit = 1;
  options.bdfMaxOrder = 6;
  options.derivationFactor = std::nan("");
  SolverOptionsCheck check = options.Check();
  EXPECT_EQ(check.field, SolverOption::kBdfMaxOrder);
  EXPECT_EQ(check.message, CheckSolverOption(SolverOption::kBdfMaxOrder, 6).message);
  options.bdfMaxOrder = 5;
  EXPECT_EQ(options.Check().field, SolverOption::kDerivationFactor);
  options.derivationFactor = 0.25;
  EXPECT_EQ(options.Check().field, SolverOption::kNewtonLimit);
  options.newtonLimit = 2;
  options.steadyStateStrategy = static_cast<SteadyStateStrategy>(7);
  EXPECT_EQ(options.Check().field, SolverOption::kSteadyStateStrategy);
  EXPECT_EQ(options.Value(SolverOption::kSteadyStateStrategy), 7.0);
}

}  // namespace
}  // namespace vireon
