// The Results page's data through its view object: the files of a real
// two-level scan are read back and cut into curves, and every point is
// checked against the closed forms of S -> X -> P (TwoStepChain of the
// reference catalogue).

#include "document/results_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/headless_run.h"
#include "engine/random.h"
#include "model/message_sink.h"
#include "run_test_support.h"
#include "scan/scan_item.h"
#include "support/expect_close.h"
#include "support/reference_models.h"

namespace vireon::test {
namespace {

constexpr double kValueTolerance = 1e-5;  // relative: values read back at 6 digits

class ResultsViewTest : public ::testing::Test {
 protected:
  ResultsViewTest() : document_(MakeDocument(TwoStepChain{.k1 = 1.0}.Build(), folder_)) {
    TaskSettings& s = document_.settings;
    s.dynamics = 1;
    s.steadyState = 1;
    s.endTime = 2.0;
    s.points = 4;
    s.solver.relativeTolerance = 1e-10;
    s.solver.absoluteTolerance = 1e-14;
    s.dynamicsData.file = "run.dyn";
    s.steadyStateData.file = "run.ss";
    s.dynamicsData.titles = 1;
    s.dynamicsData.quotes = 1;
    s.dynamicsData.separator = ',';
    s.dynamicsData.columnWidth = 14;
    s.steadyStateData.titles = 0;
    s.steadyStateData.separator = '\t';
    document_.selections.timeCourse = {MakeOutputItem(kTime),
                                       MakeOutputItem(kTransientConcentration, "X")};
    document_.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X"),
                                        MakeOutputItem(kKineticConstant, "R1", "k")};
    // k1 over 1, 2, 3 (inner loop), [S] over 1, 2 (outer loop).
    ScanItem k1(MakeOutputItem(kKineticConstant, "R1", "k"));
    k1.min = 1.0;
    k1.max = 3.0;
    k1.density = 3;
    ScanItem s0(MakeOutputItem(kInitialConcentration, "S"));
    s0.min = 1.0;
    s0.max = 2.0;
    s0.density = 2;
    document_.scan.enabled = 1;
    document_.scan.items = {k1, s0};
  }

  void Run() {
    const HeadlessRunResult result = RunDocumentToEnd(document_, random_, sink_);
    ASSERT_EQ(result.outcome, RunOutcome::kFinished);
    ASSERT_EQ(result.errorLog, "");
  }

  TemporaryFolder folder_;
  Document document_;
  RandomGenerator random_{11u};
  RecordingSink sink_;
};

TEST_F(ResultsViewTest, ScanSteadyStatesAreDrawnAgainstTheScannedParameter) {
  Run();
  ResultsView view;
  view.Load(document_);
  ASSERT_TRUE(view.scan());
  EXPECT_EQ(view.source(), ResultsSource::kSteadyState);
  EXPECT_EQ(view.Columns(), (std::vector<std::string>{"[X]ss", "R1(k)"}));
  EXPECT_EQ(view.xColumn(), 1);
  EXPECT_EQ(view.XTitle(), "R1(k)");

  const std::vector<ResultsCurve> curves = view.Curves();
  ASSERT_EQ(curves.size(), 1u);
  EXPECT_EQ(curves[0].title, "[X]ss");
  // One curve piece per point of the outer loop, k1 running along it.
  ASSERT_EQ(curves[0].pieces.size(), 2u);
  for (int outer = 0; outer < 2; ++outer) {
    const double s = 1.0 + outer;
    const auto& piece = curves[0].pieces[outer];
    ASSERT_EQ(piece.size(), 3u);
    for (int inner = 0; inner < 3; ++inner) {
      const double k1 = 1.0 + inner;
      EXPECT_CLOSE(piece[inner].first, k1, 1e-12, kValueTolerance);
      EXPECT_CLOSE(piece[inner].second, (TwoStepChain{.k1 = k1, .s = s}.SteadyX()), 1e-12,
                   kValueTolerance);
    }
  }
}

TEST_F(ResultsViewTest, ScanTimeCoursesBecomeOneCurvePieceEach) {
  Run();
  ResultsView view;
  view.Load(document_);
  view.SetSource(ResultsSource::kTimeCourse);
  EXPECT_EQ(view.XTitle(), "time");
  const std::vector<ResultsCurve> curves = view.Curves();
  ASSERT_EQ(curves.size(), 1u);
  ASSERT_EQ(curves[0].pieces.size(), 6u);
  for (int course = 0; course < 6; ++course) {
    const double k1 = 1.0 + course % 3;
    const double s = 1.0 + course / 3;
    const auto& piece = curves[0].pieces[course];
    ASSERT_EQ(piece.size(), 5u);
    for (int p = 0; p < 5; ++p) {
      const double t = 0.5 * p;
      EXPECT_CLOSE(piece[p].first, t, 1e-12, 1e-9);
      EXPECT_CLOSE(piece[p].second, (TwoStepChain{.k1 = k1, .s = s}.X(t)), 1e-9,
                   kValueTolerance);
    }
  }
}

TEST_F(ResultsViewTest, ChoicesOutliveAReloadOfTheSameColumnsOnly) {
  Run();
  ResultsView view;
  view.Load(document_);
  view.SetXColumn(0);
  view.SetYChosen(1, true);
  view.SetYChosen(0, false);
  view.Load(document_);
  EXPECT_EQ(view.xColumn(), 0);
  EXPECT_TRUE(view.YChosen(1));
  EXPECT_FALSE(view.YChosen(0));

  document_.selections.steadyState.push_back(MakeOutputItem(kSteadyStateFlux, "R2"));
  view.Load(document_);
  EXPECT_EQ(view.xColumn(), 1);
  EXPECT_TRUE(view.YChosen(0));
  EXPECT_FALSE(view.YChosen(1));
  EXPECT_TRUE(view.YChosen(2));
}

TEST_F(ResultsViewTest, SourcesWithoutDataSayWhy) {
  ResultsView view;
  view.Load(document_);  // nothing has run yet
  EXPECT_FALSE(view.HasData(ResultsSource::kTimeCourse));
  EXPECT_EQ(view.Problem(ResultsSource::kTimeCourse), kResultsNoRunYet);
  EXPECT_TRUE(view.Curves().empty());

  document_.settings.steadyStateData.file.clear();
  document_.selections.timeCourse.clear();
  view.Load(document_);
  EXPECT_NE(view.Problem(ResultsSource::kSteadyState).find("writes no data file"),
            std::string::npos);
  EXPECT_NE(view.Problem(ResultsSource::kTimeCourse).find("No output items"), std::string::npos);
}

}  // namespace
}  // namespace vireon
