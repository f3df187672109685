#include "document/interactive_pacing.h"

#include <gtest/gtest.h>

namespace vireon {
namespace {

TEST(InteractivePacingTest, LongTimeCoursesAreThinnedToAboutFiftyShownPoints) {
  struct Case {
    int points;
    int refreshEvery;
    int plotPoints;
  };
  const Case cases[] = {
      {0, 1, 50},  // no limit: every point, in a plot of 50
      {1, 1, 1},    {10, 1, 10},  {99, 1, 99},    {100, 2, 51},
      {149, 2, 76}, {150, 3, 51}, {1000, 20, 51}, {12345, 246, 52},
  };
  for (const Case& c : cases) {
    const InteractivePacing pacing = InteractivePacingFor(c.points);
    EXPECT_EQ(pacing.refreshEvery, c.refreshEvery) << c.points;
    EXPECT_EQ(pacing.plotPoints, c.plotPoints) << c.points;
  }
}

TEST(InteractivePacingTest, AThinnedPlotHoldsBetweenFiftyAndAHundredAndOnePoints) {
  for (int points = 100; points <= 5000; points += 37) {
    const InteractivePacing pacing = InteractivePacingFor(points);
    EXPECT_GE(pacing.plotPoints, 50) << points;
    EXPECT_LE(pacing.plotPoints, 101) << points;
  }
}

}  // namespace
}  // namespace vireon
