#pragma once
// One way to compare computed doubles in every test: |a - b| <= abs + rel * |b|.

#include <gtest/gtest.h>

namespace vireon::test {

inline constexpr double kTightAbs = 1e-12;
inline constexpr double kTightRel = 1e-10;

::testing::AssertionResult IsClose(double actual, double expected, double absTol, double relTol);

}  // namespace vireon::test

#define EXPECT_CLOSE(actual, expected, absTol, relTol) \
  EXPECT_TRUE(::vireon::test::IsClose((actual), (expected), (absTol), (relTol)))
#define EXPECT_NEAR_REL(actual, expected, relTol) \
  EXPECT_TRUE(::vireon::test::IsClose((actual), (expected), 0.0, (relTol)))
