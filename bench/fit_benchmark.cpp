// Parameter estimation benchmarks.
//
//   fit_benchmark pathway FOLDER
//       The Henri-Michaelis-Menten chain of 10 metabolites (chain_model.h)
//       fitted for 4 constants (E1's Km and V, E5's V, E10's V) to 3 time
//       series ([S3], [S6], [S10] at t = 0, 2, ..., 100, each with noise of
//       sd 0.01 drawn from a fixed seed), from the starts kPathwayStarts, at
//       rtol 1e-8 and atol 1e-12. Writes the data to FOLDER/pathway.csv
//       and prints the best time of a few fits, the objective, the
//       evaluations and the fitted values, one "key value" per line, for
//       bench/fit_reference.py, which fits the same data with SciPy's
//       least_squares driving odeint from the same starts and prints the
//       ratio of the times.
//   fit_benchmark global [STARTS] [THREADS]   (default 100 2)
//       A global fit of the same problem from STARTS starts spread over
//       bounds a factor 10 either side of the true values, on one thread
//       and on THREADS, checks that both give the same numbers, and prints
//       the ratio of the times.
//   fit_benchmark uneven
//       The pathway fit of "pathway" to data at its 51 even times, simulated
//       on their grid, against the same fit with those times met one by one
//       as uneven times are, and against a fit to data (made the same way)
//       at 51 times on no even grid, t = 100 (k / 50)^1.5: the processor
//       time per evaluation of each, best of 20 fits, and the ratios.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "chain_model.h"
#include "document/time_course_table.h"
#include "fit/experiment_file.h"
#include "fit/fit_problem.h"
#include "fit/parameter_estimation.h"
#include "kinetics/built_in_rate_laws.h"

namespace {

using namespace vireon;

constexpr int kChainLength = 10;
constexpr double kNoise = 0.01;
constexpr unsigned kNoiseSeed = 20261211;
constexpr double kEnd = 100.0;
constexpr int kIntervals = 50;
constexpr int kRepeats = 3;
const std::vector<std::string> kMeasured = {"S3", "S6", "S10"};
const std::vector<std::string> kParameters = {"E1(Km)", "E1(V)", "E5(V)", "E10(V)"};
// The starts: the true values 0.5, 0.9, 1, 1 moved by these factors.
const std::vector<double> kPathwayStarts = {0.5 * 1.6, 0.9 * 0.7, 1.0 * 0.6, 1.0 * 1.5};

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Processor time of the whole process so far, every thread counted.
double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Pathway {
  Document document;
  std::string data;
};

// `times`, when given, are the data's times after 0 instead of the even
// grid.
void Build(const KineticCatalogue& catalogue, Pathway& pathway,
           const std::vector<double>& times = {}) {
  bench::BuildChainDocument(pathway.document, kChainLength, catalogue);
  TaskSettings settings = pathway.document.settings;
  settings.endTime = kEnd;
  settings.points = kIntervals;
  settings.solver.relativeTolerance = 1e-10;
  settings.solver.absoluteTolerance = 1e-14;
  Model model = pathway.document.model;
  TimeCourseTable table;
  table.errorLog = ComputeTimeCourseRows(
      model, settings,
      [&table](double time, std::span<const double> row) {
        table.times.push_back(time);
        table.concentrations.emplace_back(row.begin(), row.end());
        return true;
      },
      nullptr, nullptr, times);
  std::mt19937_64 random(kNoiseSeed);
  std::normal_distribution<double> normal(0.0, kNoise);
  std::string text = "time";
  for (const std::string& name : kMeasured) text += "," + name;
  text += "\n";
  char number[40];
  for (std::size_t r = 0; r < table.times.size(); ++r) {
    std::snprintf(number, sizeof number, "%.17g", table.times[r]);
    text += number;
    for (const std::string& name : kMeasured) {
      const double value =
          table.concentrations[r][static_cast<std::size_t>(model.FindMetabolite(name))];
      std::snprintf(number, sizeof number, ",%.17g", value + normal(random));
      text += number;
    }
    text += "\n";
  }
  pathway.data = text;
  pathway.document.settings.solver.relativeTolerance = 1e-8;
  pathway.document.settings.solver.absoluteTolerance = 1e-12;
}

std::unique_ptr<FitProblem> Problem(Pathway& pathway, const std::vector<double>& starts,
                                    double spread) {
  Model model = pathway.document.model;
  std::vector<FitParameter> parameters;
  for (std::size_t j = 0; j < kParameters.size(); ++j) {
    const std::string& title = kParameters[j];
    const std::size_t open = title.find('(');
    const int step = model.FindStep(title.substr(0, open));
    const std::size_t constant = title.substr(open + 1) == "Km)" ? 0 : 1;
    model.steps[static_cast<std::size_t>(step)].constants[constant] = starts[j];
    FitParameter parameter{title};
    if (spread > 0.0) {
      const double truth = j == 0 ? 0.5 : j == 1 ? 0.9 : 1.0;
      parameter.lower = truth / spread;
      parameter.upper = truth * spread;
    }
    parameters.push_back(parameter);
  }
  ExperimentReadResult read = ParseExperimentText(pathway.data, "pathway.csv");
  FitProblemResult built =
      BuildFitProblem(model, pathway.document.settings, {*read.experiment}, parameters, false);
  if (!built.problem) {
    std::fprintf(stderr, "fit_benchmark: %s\n", built.error.c_str());
    std::exit(1);
  }
  return std::move(built.problem);
}

int PathwayBenchmark(const std::string& folder) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Pathway pathway;
  Build(catalogue, pathway);
  std::ofstream(folder + "/pathway.csv") << pathway.data;
  const auto problem = Problem(pathway, kPathwayStarts, 0.0);
  double best = 1e300;
  FitResult result;
  for (int k = 0; k < kRepeats; ++k) {
    const auto start = std::chrono::steady_clock::now();
    result = EstimateParameters(*problem, {});
    best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
  }
  std::printf("seconds %.6g\nobjective %.17g\nevaluations %lld\niterations %d\n", best,
              result.objective, result.evaluations, result.starts.front().iterations);
  for (std::size_t j = 0; j < result.parameters.size(); ++j) {
    std::printf("value %s %.17g %.6g\n", result.parameters[j].title.c_str(),
                result.parameters[j].value, result.parameters[j].sd);
  }
  for (double start : kPathwayStarts) std::printf("start %.17g\n", start);
  return result.status == FitStatus::kFailed ? 1 : 0;
}

int GlobalBenchmark(int starts, int threads) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Pathway pathway;
  Build(catalogue, pathway);
  const auto problem = Problem(pathway, kPathwayStarts, 10.0);
  FitOptions options;
  options.method = FitMethod::kGlobal;
  options.starts = starts;
  options.seed = 1;
  options.jobs = 1;
  auto start = std::chrono::steady_clock::now();
  double processor = ProcessorSeconds();
  const FitResult one = EstimateParameters(*problem, options);
  const double serial = Seconds(std::chrono::steady_clock::now() - start);
  const double serialProcessor = ProcessorSeconds() - processor;
  options.jobs = threads;
  start = std::chrono::steady_clock::now();
  processor = ProcessorSeconds();
  const FitResult many = EstimateParameters(*problem, options);
  const double parallel = Seconds(std::chrono::steady_clock::now() - start);
  const double parallelProcessor = ProcessorSeconds() - processor;
  bool same = one.objective == many.objective && one.bestStart == many.bestStart &&
              one.evaluations == many.evaluations;
  for (std::size_t j = 0; j < one.parameters.size(); ++j) {
    same = same && one.parameters[j].value == many.parameters[j].value &&
           one.parameters[j].sd == many.parameters[j].sd;
  }
  std::printf("%d-start global fit of a 4-parameter, 10-metabolite pathway\n", starts);
  std::printf("  1 thread:   %8.3f s (processor %.3f s)   objective %.10g, %lld evaluations\n",
              serial, serialProcessor, one.objective, one.evaluations);
  std::printf("  %d threads: %8.3f s (processor %.3f s)   %s\n", threads, parallel,
              parallelProcessor, same ? "the same numbers" : "DIFFERENT numbers");
  std::printf("  speed-up %.2fx (want >= 1.8x on 2 threads)\n", serial / parallel);
  return same ? 0 : 1;
}

// The fits "uneven" takes the best of: each is short.
constexpr int kUnevenRepeats = 20;

// Processor seconds per evaluation of the best of kUnevenRepeats fits
// (on this thread alone, so that other programs' load does not count).
double SecondsPerEvaluation(const FitProblem& problem, FitResult& result) {
  double best = 1e300;
  for (int k = 0; k < kUnevenRepeats; ++k) {
    const double start = ProcessorSeconds();
    result = EstimateParameters(problem, {});
    best = std::min(best, ProcessorSeconds() - start);
  }
  return best / static_cast<double>(std::max(1LL, result.evaluations));
}

int UnevenBenchmark() {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Pathway even;
  Build(catalogue, even);
  std::vector<double> times;
  for (int k = 1; k <= kIntervals; ++k) {
    times.push_back(kEnd * std::pow(static_cast<double>(k) / kIntervals, 1.5));
  }
  Pathway uneven;
  Build(catalogue, uneven, times);
  const auto onGrid = Problem(even, kPathwayStarts, 0.0);
  const auto atTimes = Problem(uneven, kPathwayStarts, 0.0);
  if (!onGrid->experiments[0].outputTimes.empty() ||
      atTimes->experiments[0].outputTimes.size() != times.size()) {
    std::fprintf(stderr, "fit_benchmark: the data's times did not give the points meant\n");
    return 1;
  }
  // The even times met one by one: the same problem, its points given as
  // times.
  FitProblem evenAtTimes = *onGrid;
  FitExperiment& experiment = evenAtTimes.experiments[0];
  for (int k = 1; k <= experiment.gridPoints; ++k) {
    experiment.outputTimes.push_back(experiment.endTime * k / experiment.gridPoints);
  }
  FitResult gridResult;
  FitResult evenTimesResult;
  FitResult timesResult;
  const double grid = SecondsPerEvaluation(*onGrid, gridResult);
  const double evenExact = SecondsPerEvaluation(evenAtTimes, evenTimesResult);
  const double exact = SecondsPerEvaluation(*atTimes, timesResult);
  std::printf("4-parameter fit of a 10-metabolite pathway to 3 series of 51 times\n");
  std::printf("  even times on their grid: %8.3f ms per evaluation, %lld evaluations, "
              "objective %.10g\n",
              grid * 1e3, gridResult.evaluations, gridResult.objective);
  std::printf("  even times one by one:    %8.3f ms per evaluation, %lld evaluations, "
              "objective %.10g\n",
              evenExact * 1e3, evenTimesResult.evaluations, evenTimesResult.objective);
  std::printf("  uneven times:             %8.3f ms per evaluation, %lld evaluations, "
              "objective %.10g\n",
              exact * 1e3, timesResult.evaluations, timesResult.objective);
  std::printf("  one by one / grid %.2fx, uneven / even grid %.2fx per evaluation\n",
              evenExact / grid, exact / grid);
  return gridResult.status == FitStatus::kFailed ||
         evenTimesResult.status == FitStatus::kFailed || timesResult.status == FitStatus::kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "pathway" && argc == 3) return PathwayBenchmark(argv[2]);
  if (mode == "global") {
    return GlobalBenchmark(argc > 2 ? std::atoi(argv[2]) : 100, argc > 3 ? std::atoi(argv[3]) : 2);
  }
  if (mode == "uneven") return UnevenBenchmark();
  std::fprintf(stderr,
               "usage: fit_benchmark pathway FOLDER | global [STARTS] [THREADS] | uneven\n");
  return 2;
}
