#pragma once
// A scan whose points are solved on several threads, with files exactly as
// one thread writes them.
//
// The points of a scan are independent once their parameter values are
// known, except for what one task iteration leaves behind for the next (the
// eigenvalues a failed steady state keeps, the time of the last
// integration, the random numbers the output functions drew, ...). So:
//   1. the first point runs on the run's thread as in a serial run, and
//      shows how often a point evaluates the output functions;
//   2. a planner runs the scan's loops on its own copy of the items, a
//      bounded way ahead of the files: every value the loops write is kept
//      with the point it belongs to, every random value drawn in the serial
//      order (the output functions' draws of a point counted as the first
//      point's), with the block separators after each point;
//   3. workers, each with its own copy of the document (model, engine
//      state, integrator, random numbers), solve the points in chunks: a
//      chunk starts by solving the point before it (its output dropped)
//      unless the worker just solved it, and every output a point makes
//      (data rows, report sections, error-log texts) is kept in order;
//   4. the run's thread writes the chunks in order. A chunk is written as
//      kept only when its first point was reached from exactly the state the
//      serial run reaches it from and every point drew exactly the random
//      numbers planned for it; a chunk whose state differs is solved again
//      on the run's thread from the right state; when the random numbers
//      differ, the rest of the scan runs on the run's thread alone.
// Progress, pause and stop are heard on the run's thread between points; a
// stop leaves the points written so far, a prefix of what one thread writes.

#include <functional>
#include <string>
#include <string_view>

#include "document/task_iteration.h"

namespace vireon {

struct Document;
class RandomGenerator;
class ScanProgress;

struct ParallelScanOptions {
  int jobs = 1;         // threads that solve points
  int chunkPoints = 0;  // points a worker takes at a time; 0: chosen from the scan's size
};

// What the scan needs from the run that drives it, all used on the run's
// thread only.
struct ScanRun {
  Document& document;  // engine allocated, items bound, files open
  RandomGenerator& random;
  IterationOutput& output;  // the run's files: rows, sections, integrator errors
  std::function<void(std::string_view)> separateTimeCourse;
  std::function<void(std::string_view)> separateSteadyState;
  ScanProgress& progress;
  // Honours pause and stop requests as a time-course point does; `pausing`
  // hears true before the run waits in a pause and false after it.
  std::function<PointAction(const std::function<void(bool)>& pausing)> checkPauseStop;
};

// Why the document's scan must run on one thread, or empty when its points
// may be solved on several: the interactive window shows points one after
// another, and a link from the real time takes a value that depends on when
// each point runs.
std::string SerialScanReason(const Document& document);

// Runs the scan of the document as described above. Returns false when a
// stop request ended it.
bool RunParallelScan(ScanRun& run, const ParallelScanOptions& options);

}  // namespace vireon
