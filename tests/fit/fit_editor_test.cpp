#include "fit/fit_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "document/document.h"
#include "document/edit_history.h"
#include "document/model_file.h"
#include "document/time_course_table.h"
#include "fit/fit_run.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/metabolite_editor.h"
#include "output/output_item_binding.h"
#include "support/document_fixtures.h"
#include "support/expect_close.h"
#include "support/files.h"
#include "support/kinetic_models.h"

namespace vireon {
namespace {

// The published least-squares fit of the puromycin data (Bates and Watts,
// Nonlinear Regression Analysis and Its Applications, section 2.2.1), to
// the digits given there.
constexpr double kPublishedV = 212.7;
constexpr double kPublishedVSd = 6.947;
constexpr double kPublishedKm = 0.06412;
constexpr double kPublishedKmSd = 0.008281;
// Half a unit of the last digit published.
constexpr double kPublishedDigits = 5e-4;
// Starts enough that a fit is still under way when the test stops it.
constexpr int kManyStarts = 2000;

class FitEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { test::FillCatalogue(catalogue_, false); }

  // The puromycin example, read from a copy in the test's folder.
  Document Puromycin() {
    const std::filesystem::path examples = std::filesystem::path(VIREON_SOURCE_DIR) / "examples";
    for (const char* name : {"puromycin.vrn", "puromycin.csv"}) {
      std::filesystem::copy_file(examples / name, folder_ / name,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    Document document;
    EXPECT_TRUE(ReadModelFile(document, (folder_ / "puromycin.vrn").string(), catalogue_,
                              DefaultValues{}, sink_));
    return document;
  }

  double Constant(Document& document, const std::string& title) {
    for (const OutputDataNode& node : FitEditor(document, 1).ParameterTree()) {
      for (OutputItem item : node.entries) {
        if (item.title != title) continue;
        const BindingContext context{document.model, document.engine, document.settings, {},
                                     nullptr};
        if (BindOutputItem(item, context, true) && item.value != nullptr) return *item.value;
      }
    }
    ADD_FAILURE() << "no parameter " << title;
    return 0.0;
  }

  // An item of the parameter tree by its title.
  static OutputItem Quantity(const FitEditor& editor, const std::string& title) {
    for (const OutputDataNode& node : editor.ParameterTree()) {
      for (const OutputItem& item : node.entries) {
        if (item.title == title) return item;
      }
    }
    ADD_FAILURE() << "no quantity " << title;
    return {};
  }

  test::TemporaryFolder folder_;
  KineticCatalogue catalogue_;
  RecordingSink sink_;
};

TEST_F(FitEditorTest, FitsThePuromycinDataToThePublishedValues) {
  Document document = Puromycin();
  FitEditor editor(document, 2);
  ASSERT_EQ(editor.experiments().size(), 1u);
  const FitExperimentPreview& preview = editor.experiments().front();
  EXPECT_TRUE(preview.ok()) << preview.error;
  EXPECT_EQ(preview.kind, ExperimentKind::kSteadyState);
  EXPECT_EQ(preview.rows, 12u);
  ASSERT_EQ(preview.columns.size(), 2u);
  EXPECT_EQ(preview.columns[0].role, FitColumnRole::kSetting);
  EXPECT_EQ(preview.columns[0].meaning, "sets [S]i");
  EXPECT_EQ(preview.columns[1].role, FitColumnRole::kMeasured);
  EXPECT_EQ(preview.columns[1].meaning, "measures J(velocity)");
  EXPECT_EQ(preview.columns[1].cells.size(), kFitPreviewRows);
  EXPECT_EQ(editor.Problem(), "");

  FitProblemResult built = editor.BuildProblem();
  ASSERT_TRUE(built.problem) << built.error;
  std::atomic<int> heard{0};
  std::atomic<bool> ended{false};
  double first = 0.0;
  FitRun run(std::move(built.problem), editor.Options(),
             [&](int done, int, double best) {
               if (heard.fetch_add(1) == 0) {
                 EXPECT_EQ(done, 0);
                 first = best;
               }
             },
             [&] { ended.store(true); });
  const FitResult& result = run.Wait();
  EXPECT_TRUE(ended.load());
  EXPECT_TRUE(run.finished());
  EXPECT_GE(heard.load(), 2);
  ASSERT_EQ(result.status, FitStatus::kConverged) << result.message;
  EXPECT_GT(first, result.objective);
  ASSERT_EQ(result.parameters.size(), 2u);
  EXPECT_NEAR_REL(result.parameters[0].value, kPublishedV, kPublishedDigits);
  EXPECT_NEAR_REL(result.parameters[0].sd, kPublishedVSd, kPublishedDigits);
  EXPECT_NEAR_REL(result.parameters[1].value, kPublishedKm, kPublishedDigits);
  EXPECT_NEAR_REL(result.parameters[1].sd, kPublishedKmSd, kPublishedDigits);

  // Applying the values is an edit of the model that Undo takes back.
  EditHistory history;
  history.Reset(document);
  const double before = Constant(document, "velocity(V)");
  ApplyFitValues(document, run.problem(), result);
  CommitModelChange(document);
  history.Record(document, "Fitted Values");
  EXPECT_EQ(Constant(document, "velocity(V)"), result.parameters[0].value);
  EXPECT_EQ(Constant(document, "velocity(Km)"), result.parameters[1].value);
  ASSERT_TRUE(history.Undo(document, catalogue_, 1.0));
  EXPECT_EQ(Constant(document, "velocity(V)"), before);

  // The table and the charts say what the result holds.
  const std::vector<FitValueRow> rows = FitValueRows(result);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].title, "velocity(V)");
  EXPECT_EQ(rows[0].value, "212.686");
  EXPECT_EQ(rows[1].sd, "0.00828102");
  EXPECT_FALSE(rows[0].poorlyDetermined);
  EXPECT_EQ(rows[0].note, "");
  const std::vector<FitExperimentChart> charts = FitCharts(run.problem(), result);
  ASSERT_EQ(charts.size(), 1u);
  EXPECT_EQ(charts[0].xTitle, "[S]i");
  ASSERT_EQ(charts[0].series.size(), 1u);
  const FitChartSeries& series = charts[0].series[0];
  EXPECT_EQ(series.title, "J(velocity)");
  ASSERT_EQ(series.data.size(), 12u);
  ASSERT_EQ(series.model.size(), 12u);
  ASSERT_EQ(series.residuals.size(), 12u);
  EXPECT_EQ(series.data[0], std::make_pair(0.02, 76.0));
  double squares = 0.0;
  for (std::size_t r = 0; r < series.residuals.size(); ++r) {
    EXPECT_EQ(series.residuals[r].first, series.data[r].first);
    squares += series.residuals[r].second * series.residuals[r].second;
    // The model's points follow x, and lie on the Michaelis-Menten curve.
    if (r > 0) {
      EXPECT_LE(series.model[r - 1].first, series.model[r].first);
    }
    const double s = series.model[r].first;
    EXPECT_NEAR_REL(series.model[r].second,
                    result.parameters[0].value * s / (result.parameters[1].value + s), 1e-5);
  }
  EXPECT_NEAR_REL(squares, result.objective, 1e-9);
}

TEST_F(FitEditorTest, NamesEveryMistakeOfAFileAsItIsAdded) {
  Document document = Puromycin();
  test::WriteText(folder_ / "bad.csv",
                  "[S]i,sd([S]i),J(velocity),nothing\n0.02,1,76,3\n0.06,1,97,4\n");
  test::WriteText(folder_ / "broken.csv", "[S]i,J(velocity)\n0.02,seventy\n");
  FitEditor editor(document, 1);
  EXPECT_EQ(editor.AddExperiment((folder_ / "bad.csv").string()), "");
  EXPECT_EQ(editor.AddExperiment((folder_ / "broken.csv").string()), "");
  EXPECT_NE(editor.AddExperiment((folder_ / "bad.csv").string()), "");
  ASSERT_EQ(editor.experiments().size(), 3u);
  EXPECT_EQ(editor.fit().dataFiles[1], "bad.csv");

  const FitExperimentPreview& bad = editor.experiments()[1];
  EXPECT_FALSE(bad.ok());
  ASSERT_EQ(bad.columns.size(), 4u);
  EXPECT_NE(bad.columns[0].problem.find("no standard deviation"), std::string::npos);
  EXPECT_EQ(bad.columns[1].role, FitColumnRole::kDeviation);
  EXPECT_EQ(bad.columns[1].meaning, "sd of [S]i");
  EXPECT_EQ(bad.columns[2].role, FitColumnRole::kMeasured);
  EXPECT_EQ(bad.columns[2].problem, "");
  EXPECT_EQ(bad.columns[3].role, FitColumnRole::kUnknown);
  EXPECT_NE(bad.columns[3].problem.find("names nothing"), std::string::npos);

  const FitExperimentPreview& broken = editor.experiments()[2];
  EXPECT_FALSE(broken.ok());
  EXPECT_NE(broken.error.find("broken.csv"), std::string::npos);
  EXPECT_TRUE(broken.columns.empty());
  // The fit stops at the file it cannot read, before it looks at columns.
  EXPECT_EQ(editor.Problem(), broken.error);

  ASSERT_TRUE(editor.RemoveExperiment(2));
  EXPECT_NE(editor.Problem().find("bad.csv, column 1"), std::string::npos) << editor.Problem();
  ASSERT_TRUE(editor.RemoveExperiment(1));
  EXPECT_EQ(editor.Problem(), "");
  EXPECT_FALSE(editor.RemoveExperiment(1));

  // A file outside the model's folder is kept in full.
  const std::filesystem::path outside = folder_.path().parent_path() / "fit_editor_outside.csv";
  test::WriteText(outside, "[S]i,J(velocity)\n0.02,76\n");
  EXPECT_EQ(editor.AddExperiment(outside.string()), "");
  EXPECT_EQ(editor.fit().dataFiles.back(), outside.lexically_normal().string());
  std::filesystem::remove(outside);
}

TEST_F(FitEditorTest, ParametersTakeBoundsAndTheEditIsUndoable) {
  Document document = Puromycin();
  EditHistory history;
  history.Reset(document);
  const FitSettings stored = document.fit;
  FitEditor editor(document, 1);

  for (const OutputDataNode& node : editor.ParameterTree()) {
    for (const OutputItem& item : node.entries) {
      EXPECT_NE(item.type, kEndTime);
      EXPECT_NE(item.type, kRelativeTolerance);
    }
  }
  EXPECT_NE(editor.AddParameter(Quantity(editor, "velocity(V)")), "");
  EXPECT_EQ(editor.AddParameter(Quantity(editor, "[S]i")), "");
  ASSERT_EQ(editor.fit().parameters.size(), 3u);
  EXPECT_TRUE(editor.modified());

  EXPECT_EQ(editor.SetLowerText(0, "10"), "");
  EXPECT_EQ(editor.SetUpperText(0, " 1e3 "), "");
  EXPECT_NE(editor.SetUpperText(0, "5"), "");   // below the lower bound
  EXPECT_NE(editor.SetLowerText(0, "ten"), "");  // no number
  EXPECT_EQ(editor.fit().parameters[0].lower, 10.0);
  EXPECT_EQ(editor.fit().parameters[0].upper, 1000.0);
  EXPECT_EQ(FitEditor::BoundText(editor.fit().parameters[0].upper), "1000");
  EXPECT_EQ(editor.SetLowerText(0, "0.1234567890123"), "");
  EXPECT_EQ(FitEditor::BoundText(editor.fit().parameters[0].lower), "0.1234567890123");
  EXPECT_EQ(editor.SetLowerText(0, "10"), "");
  EXPECT_EQ(editor.SetUpperText(0, ""), "");
  EXPECT_EQ(FitEditor::BoundText(editor.fit().parameters[0].upper), "");
  EXPECT_TRUE(editor.SetScale(1, ParameterScale::kLinear));
  EXPECT_TRUE(editor.RemoveParameter(2));
  EXPECT_FALSE(editor.SetStarts(0));
  EXPECT_TRUE(editor.SetStarts(50));
  editor.SetMethod(FitMethod::kGlobal);
  editor.SetSeed(7);
  EXPECT_FALSE(editor.SetJobs(0));
  EXPECT_TRUE(editor.SetJobs(3));
  EXPECT_EQ(editor.Options().jobs, 3);
  EXPECT_EQ(editor.Options().starts, 50);

  ASSERT_TRUE(editor.Commit(document));
  EXPECT_FALSE(editor.Commit(document));
  CommitModelChange(document);
  history.Record(document, "Fit");
  EXPECT_EQ(document.fit.parameters[0].lower, 10.0);
  EXPECT_EQ(document.fit.method, FitMethod::kGlobal);
  EXPECT_EQ(document.fit.seed, 7u);
  ASSERT_TRUE(history.Undo(document, catalogue_, 1.0));
  EXPECT_EQ(document.fit, stored);
  ASSERT_TRUE(history.Redo(document, catalogue_, 1.0));
  EXPECT_EQ(document.fit.starts, 50);
}

// Fits the document's parameters `titles` to the data files at once.
FitResult FitNow(const Document& document, const std::vector<std::string>& files,
                 const std::vector<std::string>& titles, std::unique_ptr<FitRun>& run) {
  FitEditor editor(document, 1);
  for (const std::string& file : files) EXPECT_EQ(editor.AddExperiment(file), "");
  for (const std::string& title : titles) {
    OutputItem quantity;
    for (const OutputDataNode& node : editor.ParameterTree()) {
      for (const OutputItem& item : node.entries) {
        if (item.title == title) quantity = item;
      }
    }
    EXPECT_EQ(editor.AddParameter(quantity), "");
  }
  FitProblemResult built = editor.BuildProblem();
  EXPECT_TRUE(built.problem) << built.error;
  if (!built.problem) return {};
  run = std::make_unique<FitRun>(std::move(built.problem), editor.Options(), nullptr, nullptr);
  return run->Wait();
}

TEST_F(FitEditorTest, ChartsATimeCourseAgainstTimeAndMarksWhatTheDataCannotDetermine) {
  // [X] of S -> X -> P with k1 = 2, k2 = 0.5 at 0, 1, ..., 10, the value
  // at 3 missing, each with an sd of 0.01.
  Model truth = test::LinearTwoStep(2.0, 0.5);
  TaskSettings settings;
  settings.solver.relativeTolerance = 1e-10;
  settings.solver.absoluteTolerance = 1e-14;
  settings.endTime = 10.0;
  settings.points = 10;
  const TimeCourseTable table = ComputeTimeCourseTable(truth, settings);
  ASSERT_TRUE(table.errorLog.empty()) << table.errorLog;
  const auto x = static_cast<std::size_t>(truth.FindMetabolite("X"));
  std::string text = "time,X,sd(X)\n";
  for (std::size_t r = 0; r < table.times.size(); ++r) {
    text += FormatConcentration(table.times[r]) + "," +
            (r == 3 ? std::string() : FormatConcentration(table.concentrations[r][x])) + ",0.01\n";
  }
  test::WriteText(folder_ / "course.csv", text);

  Document document;
  document.model = test::LinearTwoStep(1.0, 1.0);
  document.settings = settings;
  std::unique_ptr<FitRun> run;
  const FitResult result =
      FitNow(document, {(folder_ / "course.csv").string()}, {"R1(k)", "R2(k)"}, run);
  ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
  EXPECT_NEAR_REL(result.parameters[0].value, 2.0, 1e-6);
  const std::vector<FitExperimentChart> charts = FitCharts(run->problem(), result);
  ASSERT_EQ(charts.size(), 1u);
  EXPECT_EQ(charts[0].xTitle, "time");
  ASSERT_EQ(charts[0].series.size(), 1u);
  const FitChartSeries& series = charts[0].series[0];
  EXPECT_EQ(series.title, "X");
  EXPECT_EQ(series.model.size(), 11u);  // the model also where the data are missing
  ASSERT_EQ(series.data.size(), 10u);
  ASSERT_EQ(series.residuals.size(), 10u);
  EXPECT_EQ(series.data[3].first, 4.0);
  for (std::size_t r = 0; r < series.data.size(); ++r) {
    const std::size_t row = r < 3 ? r : r + 1;
    EXPECT_EQ(series.residuals[r].second, series.model[row].second - series.data[r].second);
  }

  // At steady states [X] = k1 [S] / k2 holds only the ratio of the two.
  std::string titration = "[S]i,X\n";
  for (const double s : {0.5, 1.0, 2.0, 4.0}) {
    titration += FormatConcentration(s) + "," + FormatConcentration(4.0 * s * (1.0 + 0.01 * s)) +
                 "\n";
  }
  test::WriteText(folder_ / "titration.csv", titration);
  const FitResult ratio =
      FitNow(document, {(folder_ / "titration.csv").string()}, {"R1(k)", "R2(k)"}, run);
  ASSERT_NE(ratio.status, FitStatus::kFailed) << ratio.message;
  const std::vector<FitValueRow> rows = FitValueRows(ratio);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(rows[0].poorlyDetermined);
  EXPECT_EQ(rows[1].note.find("poorly determined"), 0u);
  const std::vector<FitExperimentChart> steady = FitCharts(run->problem(), ratio);
  ASSERT_EQ(steady.size(), 1u);
  EXPECT_EQ(steady[0].xTitle, "[S]i");
}

TEST(FitDataFiles, FollowTheModelFileToAnotherFolder) {
  const std::vector<std::string> files = {"run1.csv", "data/run2.csv", "/elsewhere/run3.csv",
                                          "/m/new/run4.csv"};
  EXPECT_EQ(DataFilesFrom(files, "/m/", "/m/new/"),
            (std::vector<std::string>{"/m/run1.csv", "/m/data/run2.csv", "/elsewhere/run3.csv",
                                      "run4.csv"}));
  EXPECT_EQ(DataFilesFrom(files, "/m/", "/"),
            (std::vector<std::string>{"m/run1.csv", "m/data/run2.csv", "elsewhere/run3.csv",
                                      "m/new/run4.csv"}));
  EXPECT_EQ(DataFilesFrom(files, "/m/", "/m/"),
            (std::vector<std::string>{"run1.csv", "data/run2.csv", "/elsewhere/run3.csv",
                                      "new/run4.csv"}));
}

TEST_F(FitEditorTest, AStoppedRunKeepsItsBestPoint) {
  Document document = Puromycin();
  FitEditor editor(document, 1);
  ASSERT_EQ(editor.SetLowerText(0, "1"), "");
  ASSERT_EQ(editor.SetUpperText(0, "1e4"), "");
  ASSERT_EQ(editor.SetLowerText(1, "1e-4"), "");
  ASSERT_EQ(editor.SetUpperText(1, "10"), "");
  editor.SetMethod(FitMethod::kGlobal);
  ASSERT_TRUE(editor.SetStarts(kManyStarts));
  FitProblemResult built = editor.BuildProblem();
  ASSERT_TRUE(built.problem) << built.error;
  std::atomic<bool> stopNow{false};
  FitRun run(std::move(built.problem), editor.Options(),
             [&](int done, int, double) {
               if (done >= 1) stopNow.store(true);
             },
             {});
  while (!stopNow.load() && !run.finished()) std::this_thread::yield();
  run.Stop();
  const FitResult& result = run.Wait();
  EXPECT_EQ(result.status, FitStatus::kStopped);
  ASSERT_EQ(result.parameters.size(), 2u);
  EXPECT_TRUE(std::isfinite(result.objective));
  const auto fitted = std::count_if(result.starts.begin(), result.starts.end(),
                                    [](const FitStart& start) { return !start.failed; });
  EXPECT_LT(fitted, kManyStarts);
}

TEST_F(FitEditorTest, ARunEndedByItsOwnerStopsAndWaits) {
  Document document = Puromycin();
  FitEditor editor(document, 2);
  editor.SetMethod(FitMethod::kGlobal);
  ASSERT_EQ(editor.SetLowerText(0, "1"), "");
  ASSERT_EQ(editor.SetUpperText(0, "1e4"), "");
  ASSERT_EQ(editor.SetLowerText(1, "1e-4"), "");
  ASSERT_EQ(editor.SetUpperText(1, "10"), "");
  ASSERT_TRUE(editor.SetStarts(kManyStarts));
  FitProblemResult built = editor.BuildProblem();
  ASSERT_TRUE(built.problem) << built.error;
  std::atomic<bool> ended{false};
  {
    FitRun run(std::move(built.problem), editor.Options(), {}, [&] { ended.store(true); });
  }
  EXPECT_TRUE(ended.load());
}

}  // namespace
}  // namespace vireon
