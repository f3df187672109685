#include "scan/scan.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "engine/run_observer.h"
#include "engine/random.h"
#include "scan/saved_quantities.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

ScanItem Item(double* quantity, double min, double max, int density, int grid = kScanRegularGrid,
              int log = 0, int master = 1) {
  ScanItem item;
  item.title = "q";
  item.type = kInitialConcentration;
  item.value = quantity;
  item.min = min;
  item.max = max;
  item.density = density;
  item.grid = grid;
  item.log = log;
  item.independent = master;
  return item;
}

// A stand-in for the run: every task iteration records the values of the
// quantities and writes one row to each data file; the separators go to the
// same two files.
struct FakeRun {
  std::vector<double*> watched;
  std::vector<std::vector<double>> points;
  std::string timeCourseFile;
  std::string steadyStateFile;
  EngineState state;
  int stopAfter = -1;

  ScanCallbacks Callbacks() {
    ScanCallbacks callbacks;
    callbacks.runIteration = [this] {
      std::vector<double> values;
      for (double* w : watched) values.push_back(*w);
      points.push_back(values);
      timeCourseFile += "tc\n";
      steadyStateFile += "ss\n";
      ++state.iteration;
      return stopAfter < 0 || state.iteration < stopAfter;
    };
    callbacks.separateTimeCourse = [this](std::string_view s) { timeCourseFile += s; };
    callbacks.separateSteadyState = [this](std::string_view s) { steadyStateFile += s; };
    callbacks.tick = [] { return 0.0; };
    return callbacks;
  }

  bool Run(std::vector<ScanItem>& items, RandomGenerator& random, RunObserver* observer = nullptr) {
    ScanDriver driver(items, random, state, observer, Callbacks());
    return driver.Run();
  }
};

std::string Repeat(const std::string& text, int times) {
  std::string result;
  for (int n = 0; n < times; ++n) result += text;
  return result;
}

struct GridCase {
  const char* name;
  double min, max;
  int density;
  int log;
  std::vector<double> expected;
};

class GridValuesTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(GridValuesTest, OneMasterVisitsEveryGridPointOnce) {
  const GridCase& c = GetParam();
  double quantity = 42.0;
  std::vector<ScanItem> items = {Item(&quantity, c.min, c.max, c.density, kScanRegularGrid, c.log)};
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&quantity};
  EXPECT_TRUE(run.Run(items, random));
  ASSERT_EQ(run.points.size(), c.expected.size());
  EXPECT_EQ(run.state.totalIterations, static_cast<int>(c.expected.size()));
  for (std::size_t k = 0; k < c.expected.size(); ++k) {
    EXPECT_CLOSE(run.points[k][0], c.expected[k], kTightAbs, kTightRel) << "point " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Grids, GridValuesTest,
    ::testing::Values(GridCase{"Linear", 0.0, 1.0, 5, 0, {0.0, 0.25, 0.5, 0.75, 1.0}},
                      GridCase{"Logarithmic", 1.0, 100.0, 3, 1, {1.0, 10.0, 100.0}},
                      GridCase{"Descending", 2.0, -2.0, 3, 0, {2.0, 0.0, -2.0}},
                      GridCase{
                          "LogDecades", 1e-3, 1e3, 7, 1, {1e-3, 1e-2, 0.1, 1.0, 10.0, 100.0, 1e3}},
                      GridCase{"TwoPoints", 5.0, 6.0, 2, 0, {5.0, 6.0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanLoopsTest, NestedMastersRunTheProductWithItemZeroFastest) {
  double inner = 0.0, outer = 0.0;
  std::vector<ScanItem> items = {Item(&inner, 1.0, 3.0, 3), Item(&outer, 10.0, 40.0, 4)};
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&inner, &outer};
  run.Run(items, random);
  ASSERT_EQ(run.points.size(), 12u);
  EXPECT_EQ(run.state.totalIterations, 12);
  for (int k = 0; k < 12; ++k) {
    EXPECT_CLOSE(run.points[k][0], 1.0 + k % 3, kTightAbs, kTightRel) << k;
    EXPECT_CLOSE(run.points[k][1], 10.0 * (1 + k / 3), kTightAbs, kTightRel) << k;
  }
  // A blank line after every point of the outer loop, in both files.
  const std::string block = "tc\ntc\ntc\n\n";
  EXPECT_EQ(run.timeCourseFile, Repeat(block, 4));
  EXPECT_EQ(run.steadyStateFile, Repeat("ss\nss\nss\n\n", 4));
}

TEST(ScanLoopsTest, RandomOuterLoopSeparatesWithTwoLineFeeds) {
  double inner = 0.0, outer = 0.0;
  std::vector<ScanItem> items = {Item(&inner, 1.0, 2.0, 2),
                                 Item(&outer, 1.0, 2.0, 3, kScanUniform)};
  RandomGenerator random(5);
  FakeRun run;
  run.watched = {&inner, &outer};
  run.Run(items, random);
  ASSERT_EQ(run.points.size(), 6u);
  EXPECT_EQ(run.timeCourseFile, Repeat("tc\ntc\n\n\n", 3));
  EXPECT_EQ(run.steadyStateFile, Repeat("ss\nss\n\n\n", 3));
}

TEST(ScanLoopsTest, SingleMasterSeparatesOnlyTheTimeCourseFile) {
  for (int grid : {kScanRegularGrid, kScanUniform, kScanNormal, kScanPositiveNormal}) {
    double quantity = 0.0;
    std::vector<ScanItem> items = {Item(&quantity, 1.0, 2.0, 3, grid)};
    RandomGenerator random(3);
    FakeRun run;
    run.watched = {&quantity};
    run.Run(items, random);
    const std::string separator = grid == kScanRegularGrid ? "\n" : "\n\n";
    EXPECT_EQ(run.timeCourseFile, Repeat("tc\n" + separator, 3)) << "grid " << grid;
    EXPECT_EQ(run.steadyStateFile, "ss\nss\nss\n") << "grid " << grid;
  }
}

TEST(ScanLoopsTest, FollowerStepsWithItsMasterOverItsOwnRange) {
  double master = 0.0, follower = 0.0, logFollower = 0.0;
  std::vector<ScanItem> items = {Item(&master, 0.0, 3.0, 4),
                                 Item(&follower, 10.0, 40.0, 99, kScanRegularGrid, 0, 0),
                                 Item(&logFollower, 1.0, 1000.0, 2, kScanRegularGrid, 1, 0)};
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&master, &follower, &logFollower};
  run.Run(items, random);
  ASSERT_EQ(run.points.size(), 4u);  // the follower's own density does not count
  for (int k = 0; k < 4; ++k) {
    EXPECT_CLOSE(run.points[k][0], k, kTightAbs, kTightRel);
    EXPECT_CLOSE(run.points[k][1], 10.0 * (k + 1), kTightAbs, kTightRel);
    EXPECT_CLOSE(run.points[k][2], std::pow(10.0, k), kTightAbs, kTightRel);
  }
  EXPECT_CLOSE(items[1].step, 10.0, kTightAbs, kTightRel);
}

TEST(ScanLoopsTest, FollowersBelongToTheNearestMasterBeforeThem) {
  double a = 0, b = 0, c = 0, d = 0;
  // a (master, 2 points) is followed by b; c (master, 3 points) by d.
  std::vector<ScanItem> items = {Item(&a, 0.0, 1.0, 2), Item(&b, 0.0, 10.0, 2, 0, 0, 0),
                                 Item(&c, 0.0, 2.0, 3), Item(&d, 0.0, 20.0, 2, 0, 0, 0)};
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&a, &b, &c, &d};
  run.Run(items, random);
  ASSERT_EQ(run.points.size(), 6u);
  for (int k = 0; k < 6; ++k) {
    EXPECT_CLOSE(run.points[k][1], 10.0 * run.points[k][0], kTightAbs, kTightRel);
    EXPECT_CLOSE(run.points[k][3], 10.0 * run.points[k][2], kTightAbs, kTightRel);
    EXPECT_CLOSE(run.points[k][2], k / 2, kTightAbs, kTightRel);
  }
}

// Every SetScanValues call draws for each random item of its group, also the
// call after a loop's last point whose values are never used, so a nested
// scan consumes the uniform sequence in a fixed order. The numbers are the
// first uniform numbers of seed 1 (see the generator's tests): u1 .. u11.
// A grid follower of a random master is set for point 0 before the loop and
// again after the first point, so it takes 0, 0, 1 times its step.
TEST(ScanLoopsTest, NestedRandomAndGridGroupsDrawInListAndLoopOrder) {
  double a = -1.0, b = -1.0, c = -1.0, d = -1.0;
  std::vector<ScanItem> items = {Item(&a, 0.0, 1.0, 2),                           // grid master
                                 Item(&b, 0.0, 1.0, 5, kScanUniform, 0, 0),       // its follower
                                 Item(&c, 10.0, 14.0, 3, kScanUniform),           // uniform master
                                 Item(&d, 0.0, 2.0, 9, kScanRegularGrid, 0, 0)};  // its follower
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&a, &b, &c, &d};
  run.Run(items, random);
  // c: 10 + 4 u1, then 10 + 4 u5 and 10 + 4 u9; b: u2, u3 | u6, u7 | u10, u11
  // (u4, u8 and u12 are drawn after the inner loop's last point).
  const std::vector<std::vector<double>> expected = {
      {0.0, 0.628814697265625, 11.56109619140625, 0.0},
      {1.0, 0.6919097900390625, 11.56109619140625, 0.0},
      {0.0, 0.8270111083984375, 12.11676025390625, 0.0},
      {1.0, 0.834869384765625, 12.11676025390625, 0.0},
      {0.0, 0.5037841796875, 13.4119873046875, 1.0},
      {1.0, 0.137054443359375, 13.4119873046875, 1.0}};
  ASSERT_EQ(run.points.size(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) {
    for (std::size_t j = 0; j < 4; ++j) {
      EXPECT_CLOSE(run.points[k][j], expected[k][j], 0.0, 0.0) << "point " << k << " item " << j;
    }
  }
  EXPECT_EQ(run.timeCourseFile, Repeat("tc\ntc\n\n\n", 3));
  EXPECT_EQ(run.steadyStateFile, Repeat("ss\nss\n\n\n", 3));
}

TEST(ScanLoopsTest, EmptyListRunsNoIteration) {
  std::vector<ScanItem> items;
  RandomGenerator random(1);
  FakeRun run;
  EXPECT_TRUE(run.Run(items, random));
  EXPECT_TRUE(run.points.empty());
  EXPECT_EQ(run.timeCourseFile, "");
  EXPECT_EQ(PrepareScan(items), 0);
  EXPECT_EQ(CountIterations(items), 1);
}

TEST(ScanLoopsTest, UnknownKindSkipsItsLoopAndEverythingInside) {
  double inner = 5.0, outer = 5.0;
  std::vector<ScanItem> items = {Item(&inner, 1.0, 2.0, 2), Item(&outer, 1.0, 2.0, 3, kScanNone)};
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&inner, &outer};
  run.Run(items, random);
  EXPECT_TRUE(run.points.empty());
  EXPECT_CLOSE(outer, 5.0, 0.0, 0.0);
}

TEST(ScanLoopsTest, StopRequestEndsTheScanAtOnce) {
  double inner = 0.0, outer = 0.0;
  std::vector<ScanItem> items = {Item(&inner, 1.0, 3.0, 3), Item(&outer, 1.0, 4.0, 4)};
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&inner, &outer};
  run.stopAfter = 5;
  EXPECT_FALSE(run.Run(items, random));
  EXPECT_EQ(run.points.size(), 5u);
  EXPECT_EQ(run.timeCourseFile, "tc\ntc\ntc\n\ntc\ntc\n");
}

// Every item a master: the loops nest 100000 deep, which must not take
// stack space per level. The first points count in binary, item 0 fastest.
TEST(ScanLoopsTest, ScanOfAHundredThousandMastersRunsWithoutDeepening) {
  constexpr int kMasters = 100000;
  std::vector<double> quantities(kMasters, -1.0);
  std::vector<ScanItem> items;
  for (double& q : quantities) items.push_back(Item(&q, 0.0, 1.0, 2));
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&quantities[0], &quantities[1], &quantities[2], &quantities[kMasters - 1]};
  run.stopAfter = 8;
  EXPECT_FALSE(run.Run(items, random));
  EXPECT_EQ(run.state.totalIterations, INT_MAX);
  ASSERT_EQ(run.points.size(), 8u);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(run.points[k][0], k & 1) << k;
    EXPECT_EQ(run.points[k][1], (k >> 1) & 1) << k;
    EXPECT_EQ(run.points[k][2], (k >> 2) & 1) << k;
    EXPECT_EQ(run.points[k][3], 0.0) << k;
  }
  // The outermost loop never finished a point: no separator yet.
  EXPECT_EQ(run.timeCourseFile, Repeat("tc\n", 8));
}

TEST(ScanValuesTest, UniformDrawsSpanTheRangeFromTheSharedGenerator) {
  double linear = 0.0, logarithmic = 0.0;
  std::vector<ScanItem> items = {Item(&linear, 2.0, 4.0, 50, kScanUniform),
                                 Item(&logarithmic, 1.0, 1000.0, 2, kScanUniform, 1, 0)};
  RandomGenerator random(11);
  RandomGenerator twin(11);
  FakeRun run;
  run.watched = {&linear, &logarithmic};
  run.Run(items, random);
  ASSERT_EQ(run.points.size(), 50u);
  // Each point draws afresh for every item in list order.
  for (const std::vector<double>& point : run.points) {
    EXPECT_CLOSE(point[0], 2.0 + 2.0 * twin.Uniform(), kTightAbs, kTightRel);
    EXPECT_CLOSE(point[1], std::pow(10.0, 3.0 * twin.Uniform()), kTightAbs, kTightRel);
    EXPECT_GE(point[0], 2.0);
    EXPECT_LT(point[0], 4.0);
    EXPECT_GE(point[1], 1.0);
    EXPECT_LT(point[1], 1000.0);
  }
}

TEST(ScanValuesTest, NormalKindsTakeMeanAndDeviation) {
  RandomGenerator random(21);
  RandomGenerator twin(21);
  double normal = 0.0, positive = 0.0, logNormal = 0.0;
  std::vector<ScanItem> items = {Item(&normal, 5.0, -2.0, 2, kScanNormal),
                                 Item(&positive, -0.5, 3.0, 2, kScanPositiveNormal, 0, 0),
                                 Item(&logNormal, 2.0, 0.5, 2, kScanNormal, 1, 0)};
  PrepareScan(items);
  for (int point = 0; point < 200; ++point) {
    SetScanValues(items, point, 0, 3, random);
    EXPECT_CLOSE(normal, 5.0 + 2.0 * twin.Normal(), kTightAbs, kTightRel);
    double expected = 0.0;
    do expected = 0.5 + 3.0 * twin.Normal();
    while (expected <= 0.0);
    EXPECT_CLOSE(positive, expected, kTightAbs, kTightRel);
    EXPECT_GT(positive, 0.0);
    EXPECT_CLOSE(logNormal, 2.0 * std::pow(10.0, 0.5 * twin.Normal()), kTightAbs, kTightRel);
  }
}

// The log-normal variant of the positive kind takes Min as it is and draws
// once per point: 10^x is positive whatever the draw, so nothing is redrawn.
TEST(ScanValuesTest, LogPositiveNormalDrawsOnceFromMinAndDeviation) {
  RandomGenerator random(8);
  RandomGenerator twin(8);
  double value = 0.0;
  std::vector<ScanItem> items = {Item(&value, 3.0, 0.5, 2, kScanPositiveNormal, 1)};
  PrepareScan(items);
  int negativeDraws = 0;
  for (int point = 0; point < 100; ++point) {
    SetScanValues(items, point, 0, 1, random);
    const double g = twin.Normal();
    negativeDraws += g < 0.0 ? 1 : 0;
    EXPECT_CLOSE(value, 3.0 * std::pow(10.0, 0.5 * g), kTightAbs, kTightRel);
  }
  EXPECT_GT(negativeDraws, 0);
}

TEST(ScanValuesTest, PositiveNormalThatCanNeverBePositiveStillEnds) {
  double quantity = 7.0;
  std::vector<ScanItem> items = {Item(&quantity, 0.0, 0.0, 2, kScanPositiveNormal)};
  RandomGenerator random(1);
  SetScanValues(items, 0, 0, 1, random);
  EXPECT_CLOSE(quantity, 0.0, 0.0, 0.0);
}

TEST(ScanValuesTest, OnlyTheGroupsItemsChangeAndUnboundItemsAreSkipped) {
  double a = -1.0, c = -1.0;
  std::vector<ScanItem> items = {Item(&a, 1.0, 2.0, 2), Item(nullptr, 1.0, 2.0, 2),
                                 Item(&c, 1.0, 2.0, 2)};
  PrepareScan(items);
  RandomGenerator random(1);
  SetScanValues(items, 1, 0, 2, random);
  EXPECT_CLOSE(a, 2.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(c, -1.0, 0.0, 0.0);
  SetScanValues(items, 0, 2, 99, random);  // an end past the list is clamped
  EXPECT_CLOSE(c, 1.0, kTightAbs, kTightRel);
}

TEST(PrepareScanTest, FirstItemBecomesAMasterWithAtLeastTwoPoints) {
  double q = 0.0;
  std::vector<ScanItem> items = {Item(&q, 0.0, 1.0, 0, kScanRegularGrid, 0, 0),
                                 Item(&q, 0.0, 1.0, 1)};
  EXPECT_EQ(PrepareScan(items), 4);
  EXPECT_TRUE(items[0].IsMaster());
  EXPECT_EQ(items[0].density, 2);
  EXPECT_EQ(items[1].density, 2);
  EXPECT_CLOSE(items[0].step, 1.0, kTightAbs, kTightRel);
}

TEST(PrepareScanTest, LogarithmicItemWithNonPositiveEndIsReset) {
  double q = 0.0;
  std::vector<ScanItem> items = {Item(&q, 0.0, 10.0, 3, kScanRegularGrid, 1),
                                 Item(&q, 5.0, -1.0, 3, kScanNormal, 1)};
  PrepareScan(items);
  for (const ScanItem& item : items) {
    EXPECT_CLOSE(item.min, 1.0, 0.0, 0.0);
    EXPECT_CLOSE(item.max, 2.0, 0.0, 0.0);
    EXPECT_CLOSE(item.range, std::log10(2.0), kTightAbs, kTightRel);
  }
}

TEST(PrepareScanTest, HugeProductsSaturateInsteadOfOverflowing) {
  double q = 0.0;
  std::vector<ScanItem> items;
  for (int k = 0; k < 4; ++k) items.push_back(Item(&q, 0.0, 1.0, 100000));
  EXPECT_EQ(CountIterations(items), INT_MAX);
  EXPECT_EQ(PrepareScan(items), INT_MAX);
}

class RecordingObserver : public RunObserver {
 public:
  void ScanProgress(int iteration) override { reported.push_back(iteration); }
  std::vector<int> reported;
};

TEST(ScanProgressTest, ReportsAtFirstPointThenAtMostEveryTwoSeconds) {
  double q = 0.0;
  std::vector<ScanItem> items = {Item(&q, 0.0, 1.0, 10)};
  RandomGenerator random(1);
  RecordingObserver observer;
  EngineState state;
  state.startTick = 1000.0;
  double now = 1000.0;
  std::vector<double> remainingSeen;
  std::vector<std::string> textSeen;
  ScanCallbacks callbacks;
  ScanDriver* driverPointer = nullptr;
  callbacks.tick = [&] { return now; };
  callbacks.runIteration = [&] {
    remainingSeen.push_back(state.remainingTime);
    textSeen.push_back(driverPointer->remainingTimeText());
    ++state.iteration;
    now += 900.0;  // each point takes 0.9 s
    return true;
  };
  ScanDriver driver(items, random, state, &observer, callbacks);
  driverPointer = &driver;
  driver.Run();
  // Points start at 0, 0.9, 1.8, ... s; reports when more than 2 s passed
  // since the last one: at points 0, 3 (2.7 s), 6 (5.4 s) and 9 (8.1 s).
  EXPECT_EQ(observer.reported, (std::vector<int>{0, 3, 6, 9}));
  EXPECT_CLOSE(remainingSeen[0], kRemainingTimeUnknown, 0.0, 0.0);
  EXPECT_EQ(textSeen[0], "--:--:--");
  // At point 3: 3 points in 2.7 s, 7 left at 1/0.9 points per second.
  EXPECT_CLOSE(remainingSeen[3], 7 * 0.9, kTightAbs, kTightRel);
  EXPECT_EQ(textSeen[3], "00:00:06");
  EXPECT_CLOSE(state.iterationRate, 9 * 1000.0 / 8100.0, kTightAbs, kTightRel);
}

TEST(ScanProgressTest, RemainingTimeIsHoursMinutesSeconds) {
  EXPECT_EQ(FormatRemainingTime(0.0), "00:00:00");
  EXPECT_EQ(FormatRemainingTime(59.9), "00:00:59");
  EXPECT_EQ(FormatRemainingTime(3 * 3600 + 25 * 60 + 7), "03:25:07");
  EXPECT_EQ(FormatRemainingTime(30 * 3600.0), "30:00:00");  // not wrapped at a day
  EXPECT_EQ(FormatRemainingTime(kRemainingTimeUnknown), "--:--:--");
  EXPECT_EQ(FormatRemainingTime(std::nan("")), "--:--:--");
  EXPECT_FALSE(FormatRemainingTime(1e300).empty());
}

TEST(SavedQuantitiesTest, ScannedQuantitiesGetTheirValuesBackAfterTheRun) {
  double inner = 0.25, outer = 7.0, follower = -3.0;
  std::vector<ScanItem> items = {Item(&inner, 1.0, 3.0, 3), Item(&follower, 5, 9, 2, 1, 0, 0),
                                 Item(&outer, 10.0, 40.0, 4)};
  SavedQuantities saved;
  saved.RememberScanItems(items);
  EXPECT_CLOSE(items[2].savedValue, 7.0, 0.0, 0.0);
  RandomGenerator random(1);
  FakeRun run;
  run.watched = {&inner};
  run.Run(items, random);
  EXPECT_NE(inner, 0.25);
  saved.Restore();
  EXPECT_CLOSE(inner, 0.25, 0.0, 0.0);
  EXPECT_CLOSE(outer, 7.0, 0.0, 0.0);
  EXPECT_CLOSE(follower, -3.0, 0.0, 0.0);
}

TEST(SavedQuantitiesTest, AQuantityRememberedTwiceEndsWithItsFirstValue) {
  double q = 1.0;
  OutputItem item;
  item.value = &q;
  SavedQuantities saved;
  saved.Remember(item);
  q = 2.0;
  saved.Remember(item);
  q = 3.0;
  saved.Restore();
  EXPECT_CLOSE(q, 1.0, 0.0, 0.0);
  q = 4.0;
  saved.Restore();
  EXPECT_CLOSE(q, 1.0, 0.0, 0.0);
}

}  // namespace
}  // namespace vireon
