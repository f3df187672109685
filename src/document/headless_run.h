#pragma once
// Running one loaded document to its end without a user interface, for the
// command line and the tests: the run goes on its own thread as always, and
// the caller waits for it. Every notification is acknowledged at once.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/run_control.h"

namespace vireon {

class MessageSink;
class RandomGenerator;
class RunObserver;
struct Document;

struct HeadlessRunResult {
  RunOutcome outcome = RunOutcome::kNotStarted;
  // The run's error log (empty when the run did not start or had no trouble).
  std::string errorLog;
  // Task iterations completed.
  int iterations = 0;
  // The events carried out (RunController::eventFirings).
  std::vector<EventFiring> eventFirings;
};

struct HeadlessRunOptions {
  // Scan progress, on the run thread: iterations completed, their total and
  // the estimated time left ("%H:%M:%S", "--:--:--" while unknown).
  std::function<void(int iteration, int totalIterations, std::string_view timeLeft)> progress;
  // Hears every notification too (on the run thread); may be null.
  RunObserver* observer = nullptr;
  // Threads that solve a scan's points (RunController::SetJobs).
  int jobs = 1;
  // Whether the observer stands for a window that shows the time course's
  // points (RunController::SetPointsShown); without one the run is never
  // paced.
  bool pointsShown = false;
};

// Starts the run (nothing is saved; a refusal is said through the sink),
// waits for it to end and collects the outcome and the error log.
HeadlessRunResult RunDocumentToEnd(Document& document, RandomGenerator& random, MessageSink& sink,
                                   const HeadlessRunOptions& options = {});

}  // namespace vireon
