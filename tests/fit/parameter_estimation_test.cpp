#include "fit/parameter_estimation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "document/parallel_scan.h"
#include "document/time_course_table.h"
#include "fit/experiment_file.h"
#include "fit/fit_problem.h"
#include "fit/fit_report.h"
#include "output/number_format.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"

namespace vireon {
namespace {

// The data are simulated as tightly as the fit simulates, so that a fit
// without noise can meet them to the integrator's accuracy.
constexpr double kDataTolerance = 1e-11;
constexpr double kRecovered = 1e-6;

TaskSettings TightSettings() {
  TaskSettings settings;
  settings.solver.relativeTolerance = kDataTolerance;
  settings.solver.absoluteTolerance = 1e-15;
  return settings;
}

std::string Number(double value) {
  std::ostringstream text;
  text.precision(17);
  text << value;
  return text.str();
}

// [X] of S -> X -> P at 0, 0.5, ..., 10 with the given constants.
std::vector<std::pair<double, double>> TwoStepCourse(double k1, double k2) {
  Model model = test::LinearTwoStep(k1, k2);
  TaskSettings settings = TightSettings();
  settings.endTime = 10.0;
  settings.points = 20;
  const TimeCourseTable table = ComputeTimeCourseTable(model, settings);
  EXPECT_TRUE(table.errorLog.empty()) << table.errorLog;
  const int x = model.FindMetabolite("X");
  std::vector<std::pair<double, double>> course;
  for (std::size_t r = 0; r < table.times.size(); ++r) {
    course.emplace_back(table.times[r], table.concentrations[r][static_cast<std::size_t>(x)]);
  }
  return course;
}

// The course as the text of a data file; with `sd` > 0 each value gets
// noise of that sd from `noise`, and an sd column.
std::string CourseText(const std::vector<std::pair<double, double>>& course, double sd = 0.0,
                       std::mt19937_64* noise = nullptr) {
  std::normal_distribution<double> normal(0.0, sd > 0.0 ? sd : 1.0);
  std::string text = sd > 0.0 ? "time,X,sd(X)\n" : "time,X\n";
  for (const auto& [time, value] : course) {
    text += Number(time) + "," + Number(sd > 0.0 ? value + normal(*noise) : value);
    if (sd > 0.0) text += "," + Number(sd);
    text += "\n";
  }
  return text;
}

std::string TwoStepTimeCourse(double k1, double k2, double sd = 0.0,
                              std::mt19937_64* noise = nullptr) {
  return CourseText(TwoStepCourse(k1, k2), sd, noise);
}

ExperimentFile Experiment(const std::string& text, const std::string& name = "data.csv") {
  ExperimentReadResult read = ParseExperimentText(text, name);
  EXPECT_TRUE(read.experiment) << read.error;
  return read.experiment ? *read.experiment : ExperimentFile{};
}

std::unique_ptr<FitProblem> Problem(const Model& model, const std::vector<std::string>& files,
                                    const std::vector<FitParameter>& parameters,
                                    const TaskSettings& settings = TightSettings()) {
  std::vector<ExperimentFile> experiments;
  for (std::size_t k = 0; k < files.size(); ++k) {
    experiments.push_back(Experiment(files[k], "data" + std::to_string(k) + ".csv"));
  }
  FitProblemResult built = BuildFitProblem(model, settings, experiments, parameters, false);
  EXPECT_TRUE(built.problem) << built.error;
  return std::move(built.problem);
}

TEST(ParameterEstimation, RecoversTheConstantsFromStartsTenfoldOff) {
  const std::string data = TwoStepTimeCourse(2.0, 0.5);
  // The model starts ten times above both values, and ten times below.
  for (const double factor : {10.0, 0.1}) {
    const auto problem =
        Problem(test::LinearTwoStep(2.0 * factor, 0.5 * factor), {data}, {{"R1(k)"}, {"R2(k)"}});
    ASSERT_TRUE(problem);
    EXPECT_TRUE(problem->parameters[0].log);
    const FitResult result = EstimateParameters(*problem, {});
    ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
    ASSERT_EQ(result.parameters.size(), 2u);
    SCOPED_TRACE("starts off by a factor " + Number(factor));
    EXPECT_NEAR_REL(result.parameters[0].value, 2.0, kRecovered);
    EXPECT_NEAR_REL(result.parameters[1].value, 0.5, kRecovered);
    EXPECT_LT(result.objective, 1e-16);
    EXPECT_EQ(result.points, 21);
    ASSERT_EQ(result.curves.size(), 1u);
    EXPECT_GT(result.evaluations, 0);
  }
}

// With noise of known sd the true values lie within 3 reported sd, and the
// reported sd match the spread of the estimates over many noise draws.
TEST(ParameterEstimation, ReportedDeviationsMatchTheSpreadOfTheEstimates) {
  constexpr double kSd = 0.01;
  constexpr int kDraws = 200;
  constexpr double kAgreement = 0.3;
  std::mt19937_64 noise(7);
  const Model start = test::LinearTwoStep(2.0, 0.5);
  const auto course = TwoStepCourse(2.0, 0.5);
  // The noise is far above the integrator's error at a looser tolerance.
  TaskSettings settings;
  settings.solver.relativeTolerance = 1e-8;
  settings.solver.absoluteTolerance = 1e-12;
  std::vector<double> sum(2, 0.0);
  std::vector<double> sumSquares(2, 0.0);
  std::vector<double> reported(2, 0.0);
  for (int draw = 0; draw < kDraws; ++draw) {
    const auto problem =
        Problem(start, {CourseText(course, kSd, &noise)}, {{"R1(k)"}, {"R2(k)"}}, settings);
    ASSERT_TRUE(problem);
    const FitResult result = EstimateParameters(*problem, {});
    ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
    for (std::size_t j = 0; j < 2; ++j) {
      const double value = result.parameters[j].value;
      sum[j] += value;
      sumSquares[j] += value * value;
      if (draw == 0) {
        const double truth = j == 0 ? 2.0 : 0.5;
        EXPECT_LT(std::fabs(value - truth), 3.0 * result.parameters[j].sd);
        EXPECT_FALSE(result.parameters[j].poorlyDetermined);
      }
      reported[j] += result.parameters[j].sd / kDraws;
    }
  }
  for (std::size_t j = 0; j < 2; ++j) {
    const double mean = sum[j] / kDraws;
    const double spread = std::sqrt((sumSquares[j] - kDraws * mean * mean) / (kDraws - 1));
    EXPECT_NEAR_REL(reported[j], spread, kAgreement) << "parameter " << j;
  }
}

// S -> X -> P at steady state: [X]ss = k1 [S] / k2 and J = k1 [S].
TEST(ParameterEstimation, FitsASteadyStateTitration) {
  std::string data = "[S]i,X,J(R1)\n";
  for (const double s : {0.5, 1.0, 2.0, 4.0}) {
    data += Number(s) + "," + Number(3.0 * s / 0.75) + "," + Number(3.0 * s) + "\n";
  }
  const auto problem = Problem(test::LinearTwoStep(1.0, 1.0), {data}, {{"R1(k)"}, {"R2(k)"}});
  ASSERT_TRUE(problem);
  ASSERT_EQ(problem->experiments[0].conditions.size(), 1u);
  const FitResult result = EstimateParameters(*problem, {});
  ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
  EXPECT_NEAR_REL(result.parameters[0].value, 3.0, kRecovered);
  EXPECT_NEAR_REL(result.parameters[1].value, 0.75, kRecovered);
  EXPECT_FALSE(result.parameters[0].poorlyDetermined);
}

// [X]ss alone gives only k1 / k2: the pair is flagged.
TEST(ParameterEstimation, FlagsAPairTheDataCannotSeparate) {
  std::string data = "[S]i,X\n";
  for (const double s : {0.5, 1.0, 2.0, 4.0}) {
    data += Number(s) + "," + Number(4.0 * s * (1.0 + 0.01 * s)) + "\n";
  }
  const auto problem = Problem(test::LinearTwoStep(1.0, 1.0), {data}, {{"R1(k)"}, {"R2(k)"}});
  ASSERT_TRUE(problem);
  const FitResult result = EstimateParameters(*problem, {});
  ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
  // The least-squares ratio r of r [S] = 4 [S] (1 + [S] / 100).
  double cubes = 0.0;
  double squares = 0.0;
  for (const double s : {0.5, 1.0, 2.0, 4.0}) {
    cubes += s * s * s;
    squares += s * s;
  }
  EXPECT_NEAR_REL(result.parameters[0].value / result.parameters[1].value,
                  4.0 * (1.0 + 0.01 * cubes / squares), kRecovered);
  EXPECT_TRUE(result.parameters[0].poorlyDetermined);
  EXPECT_TRUE(result.parameters[1].poorlyDetermined);
  EXPECT_GT(std::fabs(result.correlation[0][1]), kPoorCorrelation);
}

// [X] of S -> X -> P from [X] = 0: k1 [S] / k2 (1 - exp(-k2 t)).
double TwoStepX(double k1, double k2, double t) {
  return k1 / k2 * -std::expm1(-k2 * t);
}

// Times on no grid of equal intervals, with replicates and a row at 0: the
// model is met at each time itself, as the closed form says.
TEST(ParameterEstimation, MeetsTheModelAtUnevenTimesAndReplicates) {
  const std::vector<double> times = {0.0,  0.0, std::sqrt(2.0) / 10.0, 0.3,  0.3, 0.3,
                                     1.0 / 3.0, std::exp(1.0),        7.25, 7.25, 10.0 / 3.0 * 3.1};
  std::string data = "time,X\n";
  for (double t : times) data += Number(t) + "," + Number(TwoStepX(2.0, 0.5, t)) + "\n";
  const auto problem = Problem(test::LinearTwoStep(2.0, 0.5), {data}, {{"R1(k)"}, {"R2(k)"}});
  ASSERT_TRUE(problem);
  const FitExperiment& experiment = problem->experiments[0];
  ASSERT_EQ(experiment.outputTimes.size(), 6u);
  EXPECT_EQ(experiment.outputTimes.back(), times.back());
  FitEvaluator evaluator(*problem);
  std::vector<std::vector<std::vector<double>>> curves;
  ASSERT_TRUE(evaluator.Curves(std::vector<double>{2.0, 0.5}, curves));
  ASSERT_EQ(curves[0][0].size(), times.size());
  for (std::size_t r = 0; r < times.size(); ++r) {
    EXPECT_NEAR(curves[0][0][r], TwoStepX(2.0, 0.5, times[r]), 1e-9) << "time " << times[r];
  }
  EXPECT_EQ(curves[0][0][3], curves[0][0][5]);

  // From a factor 10 off, the fit recovers the constants there.
  const auto off = Problem(test::LinearTwoStep(0.2, 5.0), {data}, {{"R1(k)"}, {"R2(k)"}});
  ASSERT_TRUE(off);
  const FitResult result = EstimateParameters(*off, {});
  ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
  EXPECT_NEAR_REL(result.parameters[0].value, 2.0, kRecovered);
  EXPECT_NEAR_REL(result.parameters[1].value, 0.5, kRecovered);
  EXPECT_EQ(result.points, static_cast<int>(times.size()));
}

// Times on an even grid are simulated on it, as the model's own time
// course is: the fitted curve is the time course's rows themselves.
TEST(ParameterEstimation, TimesOnAnEvenGridGiveTheTimeCoursesRows) {
  const std::vector<std::pair<double, double>> course = TwoStepCourse(2.0, 0.5);
  const auto problem =
      Problem(test::LinearTwoStep(2.0, 0.5), {CourseText(course)}, {{"R1(k)"}, {"R2(k)"}});
  ASSERT_TRUE(problem);
  EXPECT_TRUE(problem->experiments[0].outputTimes.empty());
  EXPECT_EQ(problem->experiments[0].gridPoints, 20);
  FitEvaluator evaluator(*problem);
  std::vector<std::vector<std::vector<double>>> curves;
  ASSERT_TRUE(evaluator.Curves(std::vector<double>{2.0, 0.5}, curves));
  for (std::size_t r = 0; r < course.size(); ++r) EXPECT_EQ(curves[0][0][r], course[r].second);
}

TEST(ParameterEstimation, ABoundHoldsTheOptimumOnItsEdge) {
  const std::string data = TwoStepTimeCourse(2.0, 0.5);
  FitParameter k2{"R2(k)"};
  k2.upper = 0.3;
  const auto problem = Problem(test::LinearTwoStep(1.0, 0.2), {data}, {{"R1(k)"}, k2});
  ASSERT_TRUE(problem);
  const FitResult result = EstimateParameters(*problem, {});
  ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
  EXPECT_NEAR_REL(result.parameters[1].value, 0.3, 1e-9);
  EXPECT_TRUE(result.parameters[1].atBound);
  EXPECT_FALSE(result.parameters[0].atBound);
  EXPECT_GT(result.objective, 1e-6);
}

// Two experiments that start from different [S]: each sets the model for
// itself.
TEST(ParameterEstimation, EachExperimentSetsItsOwnInitialValues) {
  std::string twice = "time,X,[S]i\n";
  {
    Model model = test::LinearTwoStep(2.0, 0.5, 2.0);
    TaskSettings settings = TightSettings();
    settings.points = 10;
    const TimeCourseTable table = ComputeTimeCourseTable(model, settings);
    for (std::size_t r = 0; r < table.times.size(); ++r) {
      twice +=
          Number(table.times[r]) + "," +
          Number(table.concentrations[r][static_cast<std::size_t>(model.FindMetabolite("X"))]) +
          (r == 0 ? ",2\n" : ",\n");
    }
  }
  const auto problem = Problem(test::LinearTwoStep(1.0, 1.0), {TwoStepTimeCourse(2.0, 0.5), twice},
                               {{"R1(k)"}, {"R2(k)"}});
  ASSERT_TRUE(problem);
  const FitResult result = EstimateParameters(*problem, {});
  ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
  EXPECT_NEAR_REL(result.parameters[0].value, 2.0, kRecovered);
  EXPECT_NEAR_REL(result.parameters[1].value, 0.5, kRecovered);
}

TEST(ParameterEstimation, AGlobalFitGivesTheSameNumbersOnAnyNumberOfThreads) {
  std::mt19937_64 noise(11);
  const std::string data = TwoStepTimeCourse(2.0, 0.5, 0.02, &noise);
  FitParameter k1{"R1(k)", 0.01, 100.0};
  FitParameter k2{"R2(k)", 0.01, 100.0};
  const auto problem = Problem(test::LinearTwoStep(1.0, 1.0), {data}, {k1, k2});
  ASSERT_TRUE(problem);
  FitOptions options;
  options.method = FitMethod::kGlobal;
  options.starts = 7;
  options.seed = 3;
  const FitResult one = EstimateParameters(*problem, options);
  options.jobs = 3;
  const FitResult three = EstimateParameters(*problem, options);
  ASSERT_NE(one.status, FitStatus::kFailed) << one.message;
  ASSERT_EQ(one.starts.size(), 7u);
  EXPECT_EQ(one.bestStart, three.bestStart);
  EXPECT_EQ(one.objective, three.objective);
  EXPECT_EQ(one.evaluations, three.evaluations);
  for (std::size_t j = 0; j < 2; ++j) {
    EXPECT_EQ(one.parameters[j].value, three.parameters[j].value);
    EXPECT_EQ(one.parameters[j].sd, three.parameters[j].sd);
  }
  for (std::size_t s = 0; s < one.starts.size(); ++s) {
    EXPECT_EQ(one.starts[s].objective, three.starts[s].objective);
    EXPECT_EQ(one.starts[s].from, three.starts[s].from);
  }
  EXPECT_NEAR_REL(one.parameters[0].value, 2.0, 0.1);
  // The same seed draws the same starts; another seed others.
  EXPECT_EQ(FitStartPoints(*problem, 7, 3), FitStartPoints(*problem, 7, 3));
  EXPECT_NE(FitStartPoints(*problem, 7, 3), FitStartPoints(*problem, 7, 4));
}

// The report's fit sections: the settings as the fit resolved them, the
// values, and the best starts in order of their objective.
TEST(ParameterEstimation, TheReportListsTheFitAndItsBestStarts) {
  std::mt19937_64 noise(5);
  FitSettings fit;
  fit.dataFiles = {"data0.csv"};
  fit.parameters = {{"R1(k)", 0.01, 100.0}, {"R2(k)", 0.01, 100.0, ParameterScale::kLinear}};
  fit.method = FitMethod::kGlobal;
  fit.starts = 12;
  fit.seed = 2;
  const auto problem = Problem(test::LinearTwoStep(1.0, 1.0),
                               {TwoStepTimeCourse(2.0, 0.5, 0.02, &noise)}, fit.parameters);
  ASSERT_TRUE(problem);
  EXPECT_EQ(ReportFitSettingsText(fit, problem.get()),
            "\nPARAMETER ESTIMATION\nMethod: global, 12 starts, seed 2\n"
            "Weights: 1/sd where a column gives sd, else 1\nExperiments:\n data0.csv\n"
            "Parameters:\n"
            " R1(k): lower  1.0000e-002, upper  1.0000e+002, searched in log space\n"
            " R2(k): lower  1.0000e-002, upper  1.0000e+002, searched linear\n");
  FitOptions options;
  options.method = fit.method;
  options.starts = fit.starts;
  options.seed = fit.seed;
  const FitResult result = EstimateParameters(*problem, options);
  ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
  const std::string text = ReportFitResultText(*problem, result);
  ASSERT_EQ(text.rfind("\nRESULTS OF THE FIT\nStatus: ", 0), 0u) << text;
  EXPECT_NE(text.find("Standard deviations from the Fisher information with the data's sd\n"),
            std::string::npos);
  EXPECT_NE(text.find(Format("R1(k) = % .6le +/- %.6le\n", result.parameters[0].value,
                             result.parameters[0].sd)),
            std::string::npos)
      << text;
  const std::size_t starts = text.find("\nSTARTS\n12 run, 0 failed; the best is start " +
                                       std::to_string(result.bestStart + 1) + "\n");
  ASSERT_NE(starts, std::string::npos) << text;
  std::istringstream lines(text.substr(starts + 8));
  std::string line;
  std::getline(lines, line);
  double last = -1.0;
  int listed = 0;
  while (std::getline(lines, line) && line.rfind("start ", 0) == 0) {
    const double objective = std::strtod(line.c_str() + line.find("= ") + 2, nullptr);
    EXPECT_GE(objective, last) << line;
    if (listed == 0) {
      EXPECT_EQ(line.find("start " + std::to_string(result.bestStart + 1) + ":"), 0u);
    }
    last = objective;
    ++listed;
  }
  EXPECT_EQ(listed, static_cast<int>(kListedStarts));
  EXPECT_EQ(line, "(2 more)");
}

// A process elsewhere, here: its own problem built from the same inputs,
// reached only through the texts a channel carries. It fails after
// `answers` answers when that is not negative.
class LoopbackChannel final : public ChunkChannel {
 public:
  LoopbackChannel(std::unique_ptr<FitProblem> problem, int answers)
      : problem_(std::move(problem)), service_(*problem_), answers_(answers) {}
  std::optional<std::string> Solve(const std::string& request) override {
    ++asked_;
    if (answers_ >= 0 && asked_ > answers_) return std::nullopt;
    return service_.Solve(request);
  }
  int asked() const { return asked_; }

 private:
  std::unique_ptr<FitProblem> problem_;
  FitStartService service_;
  int answers_;
  int asked_ = 0;
};

// Starts fitted by other processes, or by this one when one of them fails,
// give every number a fit in one process on one thread gives.
TEST(ParameterEstimation, StartsFittedElsewhereGiveTheSameNumbers) {
  std::mt19937_64 noise(13);
  const std::string data = TwoStepTimeCourse(2.0, 0.5, 0.02, &noise);
  const std::vector<FitParameter> parameters = {{"R1(k)", 0.01, 100.0}, {"R2(k)", 0.01, 100.0}};
  const auto problem = Problem(test::LinearTwoStep(1.0, 1.0), {data}, parameters);
  ASSERT_TRUE(problem);
  FitOptions options;
  options.method = FitMethod::kGlobal;
  options.starts = 9;
  options.seed = 6;
  const FitResult one = EstimateParameters(*problem, options);
  ASSERT_NE(one.status, FitStatus::kFailed) << one.message;

  // One process that fits every start; one that fails after two, whose
  // thread then fits the rest here; both beside a thread of this process.
  for (const int setup : {0, 1, 2}) {
    SCOPED_TRACE("setup " + std::to_string(setup));
    LoopbackChannel steady(Problem(test::LinearTwoStep(1.0, 1.0), {data}, parameters), -1);
    LoopbackChannel failing(Problem(test::LinearTwoStep(1.0, 1.0), {data}, parameters), 2);
    options.remotes.clear();
    if (setup != 1) options.remotes.push_back(&steady);
    if (setup != 0) options.remotes.push_back(&failing);
    options.jobs = setup == 2 ? 1 : 0;
    const FitResult spread = EstimateParameters(*problem, options);
    EXPECT_EQ(spread.status, one.status);
    EXPECT_EQ(spread.message, one.message);
    EXPECT_EQ(spread.objective, one.objective);
    EXPECT_EQ(spread.bestStart, one.bestStart);
    EXPECT_EQ(spread.evaluations, one.evaluations);
    EXPECT_EQ(spread.correlation, one.correlation);
    ASSERT_EQ(spread.parameters.size(), one.parameters.size());
    for (std::size_t j = 0; j < one.parameters.size(); ++j) {
      EXPECT_EQ(spread.parameters[j].value, one.parameters[j].value);
      EXPECT_EQ(spread.parameters[j].sd, one.parameters[j].sd);
    }
    ASSERT_EQ(spread.starts.size(), one.starts.size());
    for (std::size_t k = 0; k < one.starts.size(); ++k) {
      EXPECT_EQ(spread.starts[k].from, one.starts[k].from);
      EXPECT_EQ(spread.starts[k].values, one.starts[k].values);
      EXPECT_EQ(spread.starts[k].objective, one.starts[k].objective);
      EXPECT_EQ(spread.starts[k].iterations, one.starts[k].iterations);
    }
    EXPECT_EQ(spread.curves, one.curves);
    if (setup == 0) {
      EXPECT_EQ(steady.asked(), 9);
    }
    if (setup == 1) {
      // Asked once more than it answered, then no more.
      EXPECT_EQ(failing.asked(), 3);
    }
  }
  // A request that is not one is answered as a failed start.
  FitStartService service(*problem);
  const std::string answer = service.Solve("nonsense");
  EXPECT_EQ(answer.rfind("1 ", 0), 0u) << answer;
}

// A Latin hypercube puts exactly one start in each of the m strata of every
// parameter's (log) range.
TEST(ParameterEstimation, StartsFillEveryStratumOnce) {
  FitParameter k1{"R1(k)", 0.01, 100.0};
  FitParameter k2{"R2(k)", 0.5, 8.0};
  const auto problem =
      Problem(test::LinearTwoStep(1.0, 1.0), {TwoStepTimeCourse(2.0, 0.5)}, {k1, k2});
  ASSERT_TRUE(problem);
  constexpr int kStarts = 9;
  const auto points = FitStartPoints(*problem, kStarts, 5);
  ASSERT_EQ(points.size(), static_cast<std::size_t>(kStarts));
  EXPECT_EQ(points[0], (std::vector<double>{1.0, 1.0}));
  for (std::size_t j = 0; j < 2; ++j) {
    const double low = std::log(j == 0 ? 0.01 : 0.5);
    const double high = std::log(j == 0 ? 100.0 : 8.0);
    std::vector<int> hits(kStarts - 1, 0);
    for (std::size_t s = 1; s < points.size(); ++s) {
      const double u = (std::log(points[s][j]) - low) / (high - low);
      ASSERT_GE(u, 0.0);
      ASSERT_LT(u, 1.0);
      ++hits[static_cast<std::size_t>(u * (kStarts - 1))];
    }
    EXPECT_EQ(hits, std::vector<int>(kStarts - 1, 1));
  }
}

TEST(ParameterEstimation, DirectSearchFindsTheOptimumFromFarAway) {
  FitParameter k1{"R1(k)", 0.01, 100.0};
  FitParameter k2{"R2(k)", 0.01, 100.0};
  const auto problem =
      Problem(test::LinearTwoStep(50.0, 0.02), {TwoStepTimeCourse(2.0, 0.5)}, {k1, k2});
  ASSERT_TRUE(problem);
  FitOptions options;
  options.method = FitMethod::kDirect;
  const FitResult result = EstimateParameters(*problem, options);
  ASSERT_NE(result.status, FitStatus::kFailed) << result.message;
  EXPECT_NEAR_REL(result.parameters[0].value, 2.0, kRecovered);
  EXPECT_NEAR_REL(result.parameters[1].value, 0.5, kRecovered);
}

TEST(ParameterEstimation, AStopKeepsTheStartingPoint) {
  std::atomic<bool> stop{true};
  const auto problem =
      Problem(test::LinearTwoStep(1.0, 1.0), {TwoStepTimeCourse(2.0, 0.5)}, {{"R1(k)"}, {"R2(k)"}});
  ASSERT_TRUE(problem);
  FitOptions options;
  options.stop = &stop;
  const FitResult result = EstimateParameters(*problem, options);
  EXPECT_EQ(result.status, FitStatus::kStopped);
}

struct ProblemRefusal {
  const char* data;
  FitParameter parameter;
  const char* message;
};

class FitProblemRefusal : public ::testing::TestWithParam<ProblemRefusal> {};

TEST_P(FitProblemRefusal, SaysWhatIsWrong) {
  const ExperimentFile experiment = Experiment(GetParam().data, "d.csv");
  const FitProblemResult built = BuildFitProblem(test::LinearTwoStep(), TightSettings(),
                                                 {experiment}, {GetParam().parameter}, false);
  EXPECT_FALSE(built.problem);
  EXPECT_EQ(built.error, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, FitProblemRefusal,
    ::testing::Values(
        ProblemRefusal{"time,X\n0,0\n1,1\n",
                       {"R9(k)"},
                       "parameter R9(k) is no quantity the fit can set (a kinetic constant such "
                       "as R1(k), an initial concentration [S]i, a volume V(c) or a global "
                       "quantity's name)"},
        ProblemRefusal{"time,X\n0,0\n1,1\n",
                       {"rel.tolerance"},
                       "parameter rel.tolerance is a setting of the run, not a quantity of the "
                       "model"},
        ProblemRefusal{"time,X\n0,0\n1,1\n",
                       {"R1(k)", 2.0, 1.0},
                       "parameter R1(k): the lower bound must not exceed the upper bound"},
        ProblemRefusal{"time,Y\n0,0\n1,1\n",
                       {"R1(k)"},
                       "d.csv, column 2: Y names nothing in the model that a time course "
                       "measures or that sets it"},
        ProblemRefusal{"time,X,[S]i\n0,0,1\n1,1,2\n",
                       {"R1(k)"},
                       "d.csv, line 3, column 3 ([S]i): a time course has one setting of [S]i, "
                       "this row another"},
        ProblemRefusal{"time,X\n0,0\n", {"R1(k)"}, "d.csv: a time course needs a row after time 0"},
        ProblemRefusal{
            "[S]i\n1\n", {"R1(k)"}, "d.csv: no column is measured; every column sets the model"}));

}  // namespace
}  // namespace vireon
