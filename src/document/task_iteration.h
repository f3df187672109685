#pragma once
// One task iteration of a run, on any thread: the parameter links between
// two computations of the conservation totals, the report's parameters, the
// time course, and the steady state with its stability and control
// analysis, writing data rows and report sections as it goes. Where the
// rows and sections go, and how pause and stop requests are heard, is the
// caller's: a run on one thread writes them to its files at once; a scan
// that runs its points on several threads keeps each point's output until
// the points before it are written.

#include <string_view>

#include "engine/engine.h"
#include "engine/run_observer.h"

namespace vireon {

struct Document;
class RandomGenerator;

// Headers of the guarded parts of a task iteration in the error log.
inline constexpr const char* kLinksErrorHeader =
    "Error in calculation of conserved masses or linked parameters:\r\n";
inline constexpr const char* kTimeCourseErrorHeader = "Error in calculation of time course:\r\n";
inline constexpr const char* kSteadyStateErrorHeader = "Error in calculation of steady state:\r\n";
// The text that follows a header when a part ran out of memory.
inline constexpr const char* kOutOfMemoryText = "not enough memory\r\n";

// Where a task iteration's output goes, and what it hears at each
// time-course point.
class IterationOutput {
 public:
  virtual ~IterationOutput() = default;
  // Whether each data file is open: a time course writes rows (and shows
  // points) only when its file is.
  virtual bool TimeCourseOpen() const = 0;
  virtual bool SteadyStateOpen() const = 0;
  // Text for the data files, a line or more at a time.
  virtual void TimeCourse(std::string_view text) = 0;
  virtual void SteadyState(std::string_view text) = 0;
  // One section of the report, appended to the report file; a failure is
  // named in the document's error log.
  virtual void Report(std::string_view section) = 0;
  // The engine's calls at its time-course points (see EngineHooks).
  virtual void PointReady(Engine& /*engine*/) {}
  virtual PointAction CheckPauseStop(Engine& /*engine*/) { return PointAction::kContinue; }
  virtual void IntegratorError(IntegratorFault /*fault*/, int /*istate*/) {}
  virtual void EventExecuted(Engine& /*engine*/, int /*event*/, double /*time*/) {}
  // Whether a window shows the time course's points; without one the run
  // is never paced (RunPacing).
  virtual bool PointsShown() const { return false; }
};

// Runs one task iteration of the document (whose engine state is allocated
// and whose items are bound) and counts it in state.iteration. Each of the
// three parts is guarded: an arithmetic fault or an allocation failure
// abandons the rest of that part only, and its header and the fault's text
// go to the error log. Returns false when a stop request ended it.
// `functionEvaluations`, when given, counts the evaluations of the output
// functions (each draws their random factors once).
bool RunTaskIteration(Document& document, RandomGenerator& random, IterationOutput& output,
                      int* functionEvaluations = nullptr);

}  // namespace vireon
