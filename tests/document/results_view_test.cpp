// The Results page's data through its view object: the files of a real
// two-level scan are read back and cut into curves, and every point is
// checked against the closed forms of S -> X -> P (TwoStepChain of the
// reference catalogue).

#include "document/results_view.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
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

TEST_F(ResultsViewTest, ASteadyStateWithoutAScanIsATableOfItsValues) {
  document_.scan.enabled = 0;
  Run();
  ResultsView view;
  view.Load(document_);
  view.SetSource(ResultsSource::kSteadyState);
  ASSERT_TRUE(view.HasData(ResultsSource::kSteadyState));
  EXPECT_TRUE(view.ShowsTable());  // one row draws no curve
  const ResultsTable table = view.Table();
  EXPECT_TRUE(table.byColumn);
  EXPECT_EQ(table.headers, (std::vector<std::string>{"Quantity", "Value", "Unit"}));
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0][0], document_.selections.steadyState[0].title);
  EXPECT_NEAR_REL(std::stod(table.rows[0][1]), TwoStepChain{.k1 = 1.0}.SteadyX(), kValueTolerance);
  EXPECT_EQ(table.rows[1][0], document_.selections.steadyState[1].title);
  EXPECT_EQ(table.rows[1][1], "1");
  // A concentration in the document's unit; a kinetic constant's unit is
  // not known.
  EXPECT_EQ(table.rows[0][2], "mM");
  EXPECT_EQ(table.rows[1][2], "");

  // A time course is a chart unless a table is asked for: then its rows.
  view.SetSource(ResultsSource::kTimeCourse);
  EXPECT_FALSE(view.ShowsTable());
  view.AskForTable(true);
  EXPECT_TRUE(view.ShowsTable());
  const ResultsTable rows = view.Table();
  EXPECT_EQ(rows.headers, (std::vector<std::string>{"time (s)", "[X]t (mM)"}));
  ASSERT_EQ(rows.rows.size(), 5u);  // time 0 and four points
  EXPECT_EQ(rows.rows[0][0], "0");
  EXPECT_EQ(rows.rows[4][0], "2");
}

TEST(ValueAxisRangeTest, NoiseAroundZeroDoesNotStretchTheAxis) {
  const AxisRange noisy = ValueAxisRange({-1e-14, 0.5, 10.0, 3e-15}, false);
  EXPECT_EQ(noisy.lower, 0.0);
  EXPECT_EQ(noisy.upper, 10.0);
  // A real negative value still counts, as does a small value on its own.
  EXPECT_EQ(ValueAxisRange({-0.5, 10.0}, false).lower, -0.5);
  const AxisRange small = ValueAxisRange({1e-14, 2e-14}, false);
  EXPECT_EQ(small.lower, 1e-14);
  EXPECT_EQ(small.upper, 2e-14);
  // Flat and empty ranges are widened; values the engine could not compute
  // do not count.
  const AxisRange flat = ValueAxisRange({2.0, 2.0, std::numeric_limits<double>::max()}, false);
  EXPECT_DOUBLE_EQ(flat.lower, 1.9);
  EXPECT_DOUBLE_EQ(flat.upper, 2.1);
  EXPECT_EQ(ValueAxisRange({}, false).upper, 1.0);
}

TEST(ValueAxisRangeTest, ALogarithmicAxisSpansThePositiveValues) {
  const AxisRange wide = ValueAxisRange({0.0, -3.0, 1e-4, 1e4}, true);
  EXPECT_EQ(wide.lower, 1e-4);
  EXPECT_EQ(wide.upper, 1e4);
  const AxisRange flat = ValueAxisRange({5.0}, true);
  EXPECT_DOUBLE_EQ(flat.lower, 0.5);
  EXPECT_DOUBLE_EQ(flat.upper, 50.0);
  EXPECT_EQ(ValueAxisRange({0.0, -1.0}, true).lower, 1.0);
}

TEST_F(ResultsViewTest, ALogarithmicAxisLeavesOutWhatItCannotShow) {
  Run();
  ResultsView view;
  view.Load(document_);
  view.SetSource(ResultsSource::kTimeCourse);
  // [X] starts at 0, which a logarithmic y axis cannot show.
  std::size_t linear = 0, logarithmic = 0;
  for (const ResultsCurve& curve : view.Curves()) {
    for (const auto& piece : curve.pieces) linear += piece.size();
  }
  for (const ResultsCurve& curve : view.Curves(false, true)) {
    for (const auto& piece : curve.pieces) {
      logarithmic += piece.size();
      for (const auto& point : piece) EXPECT_GT(point.second, 0.0);
    }
  }
  EXPECT_LT(logarithmic, linear);
  EXPECT_GT(view.YRange(false, true).lower, 0.0);
}

// Concentrations and fluxes in one chart: the fluxes go on an axis of
// their own on the right, each axis titled with its unit, and the units
// follow the document's.
TEST_F(ResultsViewTest, FluxesBesideConcentrationsTakeTheRightAxis) {
  document_.scan.enabled = 0;
  document_.settings.timeUnit = "min";
  document_.settings.concentrationUnit = "uM";
  document_.selections.timeCourse = {MakeOutputItem(kTime),
                                     MakeOutputItem(kTransientConcentration, "X"),
                                     MakeOutputItem(kTransientFlux, "R1")};
  Run();
  ResultsView view;
  view.Load(document_);
  view.SetSource(ResultsSource::kTimeCourse);
  EXPECT_TRUE(view.TwoValueAxes());
  EXPECT_EQ(view.XAxisTitle(), "time (min)");
  EXPECT_EQ(view.YAxisTitle(kLeftAxis), "uM");
  EXPECT_EQ(view.YAxisTitle(kRightAxis), "uM/min");
  const std::vector<ResultsCurve> curves = view.Curves();
  ASSERT_EQ(curves.size(), 2u);
  EXPECT_EQ(curves[0].axis, kLeftAxis);
  EXPECT_EQ(curves[1].axis, kRightAxis);
  // Each axis spans its own curve: [X] starts at 0 and J(R1) = k1 [S]
  // starts at [S]i, so the ranges differ at their upper ends.
  const AxisRange left = view.YRange(false, false, kLeftAxis);
  const AxisRange right = view.YRange(false, false, kRightAxis);
  const AxisRange both = view.YRange();
  EXPECT_EQ(both.lower, std::min(left.lower, right.lower));
  EXPECT_EQ(both.upper, std::max(left.upper, right.upper));
  EXPECT_NE(left.upper, right.upper);

  // Without the flux every curve is on the left again.
  view.SetYChosen(2, false);
  EXPECT_FALSE(view.TwoValueAxes());
  EXPECT_EQ(view.YAxisTitle(kRightAxis), "");
  for (const ResultsCurve& curve : view.Curves()) EXPECT_EQ(curve.axis, kLeftAxis);
  // Concentrations and fluxes on one axis when only fluxes are drawn.
  view.SetYChosen(1, false);
  view.SetYChosen(2, true);
  EXPECT_FALSE(view.TwoValueAxes());
  EXPECT_EQ(view.YAxisTitle(kLeftAxis), "uM/min");
}

TEST_F(ResultsViewTest, PointMarksAreKeptPerColumnAcrossAReload) {
  Run();
  ResultsView view;
  view.Load(document_);
  view.SetSource(ResultsSource::kTimeCourse);
  EXPECT_FALSE(view.PointsMarked(1));
  view.SetPointsMarked(1, true);
  EXPECT_TRUE(view.Curves()[0].pointsMarked);
  view.Load(document_);
  EXPECT_TRUE(view.PointsMarked(1));
  view.SetAllPointsMarked(false);
  EXPECT_FALSE(view.PointsMarked(1));
  view.SetAllPointsMarked(true);
  EXPECT_TRUE(view.PointsMarked(0));
  EXPECT_FALSE(view.PointsMarked(7));  // no such column
}

// The chart's data as comma-separated values: the items' titles (the one
// with a comma quoted) and every row of the scan's file, read back to the
// digits the file holds.
TEST_F(ResultsViewTest, TheChartsValuesGoOutAsCommaSeparatedValues) {
  document_.selections.steadyState.push_back(MakeOutputItem(kFluxControl, "R2", "R1"));
  Run();
  ResultsView view;
  view.Load(document_);
  view.SetSource(ResultsSource::kSteadyState);
  const std::string csv = view.ChartCsv();
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "R1(k),[X]ss,\"C(J(R2),R1)\"");
  std::vector<std::vector<double>> rows;
  while (std::getline(lines, line)) {
    std::vector<double> row;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) row.push_back(std::stod(field));
    rows.push_back(row);
  }
  ASSERT_EQ(rows.size(), 6u);  // three k1 values for each of two [S]i
  for (std::size_t r = 0; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), 3u);
    const double k1 = rows[r][0];
    EXPECT_NEAR(k1, 1.0 + static_cast<double>(r % 3), 1e-12);
    const double s = 1.0 + static_cast<double>(r / 3);
    EXPECT_NEAR_REL(rows[r][1], (TwoStepChain{.k1 = k1, .s = s}.SteadyX()), kValueTolerance);
  }
  // Unchosen columns stay out; an empty file gives nothing.
  view.SetYChosen(2, false);
  EXPECT_EQ(view.ChartCsv().substr(0, view.ChartCsv().find('\n')), "R1(k),[X]ss");
  ResultsView empty;
  EXPECT_EQ(empty.ChartCsv(), "");
}

// A periodic event: sin(pi t) rises through 0.5 at t = 1/6 + 2k, five
// times in 10 s. The run keeps every execution, and the chart of the time
// course against time marks each with the event's name.
TEST_F(ResultsViewTest, APeriodicEventIsMarkedAtEachExecution) {
  document_.scan.enabled = 0;
  document_.settings.endTime = 10.0;
  document_.settings.points = 20;
  Event tick;
  tick.name = "tick";
  tick.trigger = "geq(sin(3.14159265358979*time), 0.5)";
  tick.assignments = {{{RuleTargetKind::kMetabolite, "X", {}}, "X + 1"}};
  document_.model.events = {tick};
  const HeadlessRunResult result = RunDocumentToEnd(document_, random_, sink_);
  ASSERT_EQ(result.outcome, RunOutcome::kFinished);
  ASSERT_EQ(result.eventFirings.size(), 5u);
  ResultsView view;
  view.SetEventFirings(result.eventFirings);
  view.Load(document_);
  view.SetSource(ResultsSource::kTimeCourse);
  const std::vector<ResultsEventMark> marks = view.EventMarks();
  ASSERT_EQ(marks.size(), 5u);
  for (std::size_t k = 0; k < marks.size(); ++k) {
    EXPECT_EQ(marks[k].name, "tick");
    EXPECT_NEAR(marks[k].time, 1.0 / 6.0 + 2.0 * static_cast<double>(k), 1e-6);
  }
  // Against another column than time, or for the steady state, nothing.
  view.SetXColumn(1);
  EXPECT_TRUE(view.EventMarks().empty());
  view.SetXColumn(0);
  view.SetSource(ResultsSource::kSteadyState);
  EXPECT_TRUE(view.EventMarks().empty());
  // An execution of an event the model lost is not marked.
  view.SetSource(ResultsSource::kTimeCourse);
  view.SetEventFirings({{3, 1.0}, {0, 2.0}});
  ASSERT_EQ(view.EventMarks().size(), 1u);
  EXPECT_EQ(view.EventMarks()[0].time, 2.0);
}

}  // namespace
}  // namespace vireon::test
