#include "cli/progress_bar.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <string>

#include "support/expect_close.h"

namespace vireon::cli {
namespace {

TEST(TimeLeft, IsTheTimePerPointTimesThePointsLeft) {
  EXPECT_CLOSE(TimeLeft(1, 4, 2.0), 6.0, test::kTightAbs, test::kTightRel);
  EXPECT_CLOSE(TimeLeft(3, 4, 3.0), 1.0, test::kTightAbs, test::kTightRel);
  EXPECT_CLOSE(TimeLeft(4, 4, 3.0), 0.0, test::kTightAbs, test::kTightRel);
}

TEST(TimeLeft, IsUnknownBeforeTheFirstPoint) {
  EXPECT_LT(TimeLeft(0, 10, 5.0), 0.0);
  EXPECT_LT(TimeLeft(3, 0, 5.0), 0.0);
}

struct LineCase {
  int done;
  int total;
  double elapsed;
  std::string line;
};

class ProgressLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ProgressLine, ShowsBarPercentCountsAndTimeLeft) {
  const LineCase& c = GetParam();
  EXPECT_EQ(ProgressBarLine(c.done, c.total, c.elapsed), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgressLine,
    ::testing::Values(
        LineCase{0, 10, 0.0,
                 "scan [------------------------------]   0%  0/10  time left --:--:--"},
        LineCase{5, 10, 30.0,
                 "scan [###############---------------]  50%  5/10  time left 00:00:30"},
        LineCase{1, 3, 1800.0,
                 "scan [##########--------------------]  33%  1/3  time left 01:00:00"},
        LineCase{10, 10, 7.0,
                 "scan [##############################] 100%  10/10  time left 00:00:00"},
        // Counts beyond the total are shown as the total.
        LineCase{12, 10, 7.0,
                 "scan [##############################] 100%  10/10  time left 00:00:00"}));

// Reads back what the bar drew into a memory stream.
std::string Drawn(bool enabled, int points) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  {
    ProgressBar bar(stream, enabled);
    for (int done = 1; done <= points; ++done) bar.Update(done, points);
    bar.Finish();
  }
  fclose(stream);
  std::string text(buffer, size);
  free(buffer);
  return text;
}

TEST(ProgressBar, RedrawsOneLineAndEndsIt) {
  const std::string text = Drawn(true, 3);
  EXPECT_EQ(text.front(), '\r');
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_NE(text.find("3/3"), std::string::npos);
}

TEST(ProgressBar, DisabledDrawsNothing) {
  EXPECT_EQ(Drawn(false, 3), "");
}

TEST(ProgressBar, NothingDrawnEndsNoLine) {
  EXPECT_EQ(Drawn(true, 0), "");
}

}  // namespace
}  // namespace vireon::cli
