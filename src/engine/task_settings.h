#pragma once
// The task, output and numerical settings that travel with a model in its
// file: what a run does and how. New documents take them from the user's
// default values; the values here are the built-in defaults.

#include <cmath>
#include <string>

#include "model/solver_options.h"

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

// The settings of one data file, the time course's or the steady state's.
struct DataFileSettings {
  int titles = 0;        // "DynTitles" / "SSTitles": a first line of column titles
  int quotes = 0;        // "DynQuotes" / "SSQuotes": the titles in quotes
  int columnWidth = 12;  // "DynColWidth" / "SSColWidth"
  char separator = ' ';  // "DynSeparator" / "SSSeparator": between the columns
  std::string file;      // "DynamicsFile" / "SSFile": relative to the model's folder

  bool operator==(const DataFileSettings&) const = default;
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
  DataFileSettings dynamicsData;     // the time course's
  // "DynEventRows": the time course's data file has, at each moment an
  // event is carried out, a row before and a row after its assignments
  // (besides the rows of the output points). The model file holds it only
  // when it is on.
  int eventRows = 0;
  DataFileSettings steadyStateData;  // the steady state's

  // Control analysis.
  int mcaUnscaled = 0;  // "SSMCAUnscaled"

  // Report sections.
  int reportStructuralAnalysis = 0;
  int reportStabilityAnalysis = 0;
  int reportMca = 1;
  int reportComments = 1;

  // Integrator, steady-state search and finite differences.
  SolverOptions solver;

  // The report file name, derived from the model's path.
  std::string reportFile;

  bool operator==(const TaskSettings&) const = default;
};

}  // namespace vireon
