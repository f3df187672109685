#pragma once
// A fit problem: a model, the parameters to estimate and the experiments to
// match, every title resolved against the model; and the evaluator that
// simulates the experiments at given parameter values, one per thread.
//
// The titles are those of the scan and of the data files:
// - a parameter is any quantity a scan may set, by the title of the scan
//   page's tree ("R1(k)", "[S]i", "V(cell)", a global quantity's name),
//   except the end time and the numerical settings;
// - a column of an experiment titled as a scan item sets the model: for a
//   time course the whole experiment (the same value on every row where it
//   is given), for a steady state its row;
// - every other column is measured: in a time course a quantity as
//   simulate's --select names it (a metabolite's, step's or compartment's
//   name, or a time-course title such as "[S]t", "J(R1)", "V(c)t", "q(t)";
//   a global quantity's own name is a scan title, so its course is "q(t)"),
//   at a steady state a metabolite's name ([X]ss), a step's name (its
//   steady flux) or a title of the steady-state data file.
// An experiment's settings override the fitted parameters, which override
// the model's own values; every evaluation starts again from the model.

#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/task_settings.h"
#include "fit/experiment_file.h"
#include "model/model.h"
#include "output/output_item.h"

namespace vireon {

// How a parameter is searched.
enum class ParameterScale {
  kAuto,    // in log space when it is positive and its bounds allow it
  kLinear,  // as it is
  kLog,     // in log space; the parameter must be positive
};

inline constexpr double kNoBound = std::numeric_limits<double>::infinity();

// A parameter as the user gives it.
struct FitParameter {
  std::string title;
  double lower = -kNoBound;
  double upper = kNoBound;
  ParameterScale scale = ParameterScale::kAuto;

  bool operator==(const FitParameter&) const = default;
};

// The most output intervals of the even grid a time-course experiment is
// simulated on when its data times lie on one; other times are met one by
// one.
inline constexpr int kMaxFitGridPoints = 100000;

struct FitMeasurement {
  std::string title;
  OutputItem item;
  int metabolite = -1;          // a transient concentration read from the row, or -1
  std::vector<double> values;   // per row, NaN where missing
  std::vector<double> weights;  // per row: 1/sd, or the column's weight
};

struct FitCondition {
  std::string title;
  OutputItem item;
  std::vector<double> values;  // per row (time course: one value), NaN where not set
};

struct FitExperiment {
  std::string path;
  ExperimentKind kind = ExperimentKind::kTimeCourse;
  std::vector<double> times;  // time course: the data's times
  std::vector<int> lines;     // the file line of each row
  // Time course: the output points up to `endTime`. When the data's times
  // lie on a grid of equal intervals from 0, `gridPoints` such intervals;
  // otherwise the data's distinct times after 0, `outputTimes`, which the
  // integration meets exactly. Each row's point: 0 the start, k the k-th
  // output point.
  int gridPoints = 0;
  double endTime = 0.0;
  std::vector<double> outputTimes;  // empty on a grid
  std::vector<int> pointIndex;
  std::vector<FitMeasurement> measurements;
  std::vector<FitCondition> conditions;
  std::size_t rows() const { return lines.size(); }
};

struct FitProblemParameter {
  std::string title;
  OutputItem item;
  double initial = 0.0;  // the model's value, moved inside the bounds
  double lower = -kNoBound;
  double upper = kNoBound;
  bool log = false;  // searched in log space
};

struct FitProblem {
  Model model;
  TaskSettings settings;
  std::vector<FitProblemParameter> parameters;
  std::vector<FitExperiment> experiments;
  int points = 0;      // measured values (the residuals)
  bool anySd = false;  // some column gave standard deviations
};

// What a column's or a parameter's title names, as BuildFitProblem looks it
// up: the scan items titled so (what a fit can set); and the steady-state
// quantities it measures, a metabolite's name, a step's name or a title of
// the steady-state data file (a time course's are FindTimeCourseItems').
std::vector<OutputItem> FindScanItems(const Model& model, std::string_view text);
std::vector<OutputItem> FindSteadyStateItems(const Model& model, std::string_view text);

struct FitProblemResult {
  std::unique_ptr<FitProblem> problem;  // null when refused
  std::string error;
};

// Resolves the parameters and the experiments against the model (after its
// structural analysis). Refuses, saying why: a title that names nothing the
// fit can set or measure, or that is ambiguous; a parameter given twice;
// bounds that are empty, or a log-space parameter that cannot be positive;
// a time-course experiment whose settings differ between rows; a
// model that cannot be simulated; no measured value at all, or fewer than
// the parameters. `scaleColumns`: a column without standard deviations is
// weighted by 1/sqrt of its mean square.
FitProblemResult BuildFitProblem(const Model& model, const TaskSettings& settings,
                                 const std::vector<ExperimentFile>& experiments,
                                 const std::vector<FitParameter>& parameters, bool scaleColumns);

// The simulations of a problem over its own copy of the model: one per
// thread, nothing shared, so that the same values always give the same
// numbers.
class FitEvaluator {
 public:
  explicit FitEvaluator(const FitProblem& problem);
  FitEvaluator(const FitEvaluator&) = delete;
  FitEvaluator& operator=(const FitEvaluator&) = delete;

  const FitProblem& problem() const { return problem_; }

  // The weighted residuals (model - data) / sd of every measured value, in
  // the order of the experiments, their rows, their columns; false when a
  // simulation failed (the integrator, a rate law, a steady state not
  // found) or gave a value that is not finite.
  bool Residuals(std::span<const double> values, std::span<double> residuals);

  // The model's value at every cell of every experiment (experiment,
  // measurement, row), also where the data are missing; false as above.
  bool Curves(std::span<const double> values,
              std::vector<std::vector<std::vector<double>>>& curves);

  // Evaluations so far: simulations of the whole set of experiments.
  long long simulations() const { return simulations_; }

 private:
  struct Slot {
    double* value = nullptr;
    double base = 0.0;
  };
  bool Simulate(std::span<const double> values, std::vector<std::vector<std::vector<double>>>& out);
  void Reset(std::span<const double> values);
  bool TimeCourse(std::size_t e, std::vector<std::vector<double>>& out);
  bool SteadyState(std::size_t e, std::vector<std::vector<double>>& out);

  const FitProblem& problem_;
  Model model_;
  TaskSettings settings_;
  std::vector<OutputItem> parameterItems_;
  std::vector<std::vector<OutputItem>> conditionItems_;  // per experiment
  std::vector<Slot> slots_;  // every quantity a parameter or a condition writes
  std::vector<std::vector<std::vector<double>>> scratch_;
  std::vector<double> scratchValues_;  // the values of the evaluation under way
  long long simulations_ = 0;
};

}  // namespace vireon
