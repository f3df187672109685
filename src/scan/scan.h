#pragma once
// The parameter scan: repeats a run's task iteration for every point of a
// grid or of random draws over the scan items' ranges. The masters' loops
// are nested, the first item of the list innermost; the items after a master
// that are not masters change together with it, point by point.
//
// The driver knows nothing about tasks or files: the caller supplies one
// task iteration and the writers of the block separators, and hears of the
// progress through its RunObserver.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/scan_item.h"

namespace vireon {

class RandomGenerator;
class RunObserver;
struct EngineState;

// Block separators the outermost loop appends to the data files after each
// of its points: one line feed after a regular-grid point, two after a
// random one.
inline constexpr std::string_view kGridSeparator = "\n";
inline constexpr std::string_view kRandomSeparator = "\n\n";

// Progress goes out at most this often (milliseconds of the tick counter).
inline constexpr double kScanProgressInterval = 2000.0;
// The run start counts as this long before the first point, so that the
// first point always reports.
inline constexpr double kScanFirstProgressLead = 2001.0;
// remainingTime while no rate is known yet (before the first iteration).
inline constexpr double kRemainingTimeUnknown = -1.0;

// The product of the masters' densities: the number of task iterations a
// scan of these items runs (1 for an empty list, the page's display).
// Saturates at the largest int instead of overflowing.
int CountIterations(const std::vector<ScanItem>& items);

// Readies the items for a run (nothing happens for an empty list):
//   1. item 0 becomes a master; every master gets a density of at least 2;
//   2. for each item, n = the density of the nearest master at or before it;
//      a logarithmic item with a non-positive end gets Min 1, Max 2; range =
//      Max - Min (log10(Max) - log10(Min) when logarithmic); step = range / (n - 1).
// Returns the number of task iterations (CountIterations after the repairs);
// 0 for an empty list.
int PrepareScan(std::vector<ScanItem>& items);

// Writes the value for point i to the quantities of items first .. end - 1,
// each by its own kind (a follower keeps its kind while following its
// master's loop). Random kinds draw a fresh number per item and point, also
// for i = 0. Items with no bound quantity are skipped.
void SetScanValues(std::vector<ScanItem>& items, int i, int first, int end,
                   RandomGenerator& random);

// "%H:%M:%S" of a number of seconds, hours not wrapped at a day;
// "--:--:--" for kRemainingTimeUnknown or any negative or undefined value.
std::string FormatRemainingTime(double seconds);

// The millisecond tick counter the scan measures progress with; a run
// should take its startTick from the same counter.
double ScanTickMilliseconds();

struct ScanCallbacks {
  // One task iteration (the run's RunTasks). Returns false when the run has
  // been stopped: the scan then ends at once, writing and setting nothing more.
  std::function<bool()> runIteration;
  // Appends a block separator to the time-course file, and to the
  // steady-state file (either may be empty when that file is not open).
  std::function<void(std::string_view)> separateTimeCourse;
  std::function<void(std::string_view)> separateSteadyState;
  // The millisecond tick counter; ScanTickMilliseconds when empty.
  std::function<double()> tick;
};

// The scan's progress, told before every innermost point at most every
// kScanProgressInterval: the rate in points per second since the run
// started, the remaining time from it, and a report to the observer, which
// returns once the user interface has taken the values. A scan that runs
// its points on several threads tells it in the points' serial order.
class ScanProgress {
 public:
  // `state` supplies startTick, iteration and totalIterations and receives
  // iterationRate and remainingTime; `observer` may be null; `tick` is the
  // millisecond tick counter (ScanTickMilliseconds when empty).
  ScanProgress(EngineState& state, RunObserver* observer, std::function<double()> tick = {});

  // Starts counting from the state's startTick: the first point reports.
  void Restart();
  // Before an innermost point, with state.iteration points done.
  void BeforePoint();

  // The remaining time of the last report, as the page shows it.
  const std::string& remainingTimeText() const { return remainingTimeText_; }

 private:
  double Now() const;

  EngineState& state_;
  RunObserver* observer_;
  std::function<double()> tick_;
  double lastProgressTick_ = 0.0;
  std::string remainingTimeText_;
};

class ScanDriver {
 public:
  // `state` supplies startTick, iteration and totalIterations and receives
  // iterationRate and remainingTime; `observer` may be null.
  ScanDriver(std::vector<ScanItem>& items, RandomGenerator& random, EngineState& state,
             RunObserver* observer, ScanCallbacks callbacks);

  // PrepareScan (setting the state's totalIterations), then the loop of the
  // last master with everything nested in it. Returns false when a task
  // iteration asked to stop. The loops need no stack space per master.
  bool Run();

  // The remaining time of the last progress report, as the page shows it.
  const std::string& remainingTimeText() const { return progress_.remainingTimeText(); }
  const ScanProgress& progress() const { return progress_; }

 private:
  // The loops of the masters (the indices of the master items, in order).
  void RunLoops(const std::vector<int>& masters);
  void Separate(int k, std::string_view separator);

  std::vector<ScanItem>& items_;
  RandomGenerator& random_;
  EngineState& state_;
  ScanCallbacks callbacks_;
  ScanProgress progress_;
  bool stopped_ = false;
};

}  // namespace vireon
