#include "document/interactive_pacing.h"

#include <gtest/gtest.h>

#include "document/document.h"
#include "output/output_item.h"

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

TEST(InteractivePacingTest, OnlyARunWithItemsThatAWindowShowsIsPaced) {
  for (const int points : {0, 60, 1000}) {
    EXPECT_TRUE(RunPacing(points, true, true).paced) << points;
    EXPECT_FALSE(RunPacing(points, true, false).paced) << points;
    EXPECT_FALSE(RunPacing(points, false, true).paced) << points;
    EXPECT_FALSE(RunPacing(points, false, false).paced) << points;
    // The thinning stays that of the window either way.
    EXPECT_EQ(RunPacing(points, true, false).refreshEvery,
              InteractivePacingFor(points).refreshEvery);
  }
}

TEST(InteractivePacingTest, AScanIsSaidToBePacedOnlyWhenTheWindowShowsItsTimeCourses) {
  Document document;
  document.settings.dynamics = 1;
  document.settings.points = 1000;
  document.settings.sleepTime = 40;
  document.scan.enabled = 1;
  EXPECT_EQ(ScanPacingNotice(document), "");  // no items for the window
  document.selections.interactive = {MakeOutputItem(kTime)};
  EXPECT_EQ(ScanPacingNotice(document),
            "The Time course page shows every time course of this scan: each pauses 40 ms at "
            "each of its 51 shown points and waits for the page to draw it.");
  document.settings.realTime = 1;
  document.settings.timeUnit = "min";
  EXPECT_EQ(ScanPacingNotice(document),
            "The Time course page shows every time course of this scan: each runs in real time "
            "(a second on the clock for each min of model time) and waits for the page to draw "
            "it.");
  document.scan.enabled = 0;
  EXPECT_EQ(ScanPacingNotice(document), "");
  document.scan.enabled = 1;
  document.settings.dynamics = 0;
  EXPECT_EQ(ScanPacingNotice(document), "");
}

}  // namespace
}  // namespace vireon
