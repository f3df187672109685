#pragma once
// The task, output and numerical settings that travel with a model in its
// file: what a run does and how. New documents take them from the user's
// default values; the values here are the built-in defaults.

#include <cmath>
#include <string>

namespace vireon {

// The end time nearest 0 a time course runs to (either way): nearer, the
// integrator's step sizes, squared, fall out of the normal doubles (below
// about 1e-154) and the concentrations turn to NaN.
inline constexpr double kMinEndTimeMagnitude = 1e-100;

// Whether a time course can run to `endTime`: a finite number, not nearer
// 0 than kMinEndTimeMagnitude. (0 itself is no end time either.)
inline bool IsUsableEndTime(double endTime) {
  return std::isfinite(endTime) && std::fabs(endTime) >= kMinEndTimeMagnitude;
}

// Steady-state strategies, numbered as the model file stores them. A file
// may hold another number: it is kept as it is (and written back), and the
// search then tries only the backward integration.
enum class SteadyStateStrategy : int {
  kNewtonThenIntegration = 0,  // "Newton+integration"
  kIntegrationOnly = 1,        // "Integration only"
  kNewtonOnly = 2,             // "Newton only"
  kBackwardIntegration = 3,    // "Backward integration"
};

struct TaskSettings {
  // Time course.
  double endTime = 10.0;  // may be negative: integrates backwards
  int points = 50;        // 0: no limit on the number of intervals
  int realTime = 0;
  int sleepTime = 1;  // milliseconds per interactive point
  std::string timeUnit = "s";
  std::string concentrationUnit = "mM";
  std::string volumeUnit = "ml";

  // Tasks.
  int dynamics = 1;     // "Dynamics": run a time course
  int steadyState = 1;  // "SteadyState": run a steady-state search
  int report = 0;       // "Report": write the report

  // Data files.
  int dynamicsTitles = 0, steadyStateTitles = 0;
  int dynamicsQuotes = 0, steadyStateQuotes = 0;
  int dynamicsColumnWidth = 12, steadyStateColumnWidth = 12;
  char dynamicsSeparator = ' ', steadyStateSeparator = ' ';

  // Steady state and control analysis.
  int mcaUnscaled = 0;  // "SSMCAUnscaled"
  SteadyStateStrategy steadyStateStrategy = SteadyStateStrategy::kNewtonThenIntegration;
  int backIntegration = 0;
  int newtonLimit = 50;
  double steadyStateResolution = 1e-9;  // file key "SSResoltion"

  // Report sections.
  int reportStructuralAnalysis = 0;
  int reportStabilityAnalysis = 0;
  int reportMca = 1;
  int reportComments = 1;

  // Integrator.
  double relativeTolerance = 1e-6;
  double absoluteTolerance = 1e-12;
  int adamsMaxOrder = 12;
  int bdfMaxOrder = 5;
  double derivationFactor = 0.001;

  // File names: the report file name is derived from the model's path;
  // the data file names are relative to the model's folder.
  std::string reportFile;
  std::string dynamicsFile;
  std::string steadyStateFile;

  bool operator==(const TaskSettings&) const = default;
};

}  // namespace vireon
