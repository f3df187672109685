#pragma once
// A scan whose points are solved on several threads, with files exactly as
// one thread writes them.
//
// The points of a scan are independent once their parameter values are
// known, except for what one task iteration leaves behind for the next (the
// eigenvalues of a steady state that a failed one keeps, the time of the
// last integration, ...). So:
//   1. the scan is planned on one thread in its serial order: every random
//      value is drawn and the links are applied as the iterations would
//      apply them, and the values of the scanned and linked quantities
//      before each point are kept, with the block separators after it;
//   2. the points, in chunks, are solved by workers, each with its own copy
//      of the document (model, engine state, integrator); every output a
//      point makes (data rows, report sections, error-log texts,
//      integrator errors) is kept in order;
//   3. a worker starts a chunk by solving the point before it, whose
//      results it throws away, and keeps the state that point leaves;
//   4. the run writes the chunks in order. A chunk whose first point was
//      reached from exactly the state the serial run reaches it from is
//      written as kept; any other is solved again on the run's thread from
//      the right state, writing as it goes. After a chunk the run's
//      document takes the state its last point left.
// Progress, pause and stop are heard on the run's thread; a stop leaves the
// points written so far, a prefix of what one thread writes.

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
// another, output functions that draw random numbers share the generator
// with the scan in the order of the points, and a link from a result
// (time, real time, an output function) carries one point into the next.
std::string SerialScanReason(const Document& document);

// Runs the scan of the document as described above. Returns false when a
// stop request ended it.
bool RunParallelScan(ScanRun& run, const ParallelScanOptions& options);

}  // namespace vireon
