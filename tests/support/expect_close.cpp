#include "support/expect_close.h"

#include <cmath>

namespace vireon::test {

::testing::AssertionResult IsClose(double actual, double expected, double absTol, double relTol) {
  if (std::isnan(expected) && std::isnan(actual)) return ::testing::AssertionSuccess();
  if (actual == expected) return ::testing::AssertionSuccess();
  double diff = std::fabs(actual - expected);
  double bound = absTol + relTol * std::fabs(expected);
  if (diff <= bound) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "actual " << actual << " differs from expected "
                                       << expected << " by " << diff << " (allowed " << bound
                                       << ")";
}

}  // namespace vireon::test
