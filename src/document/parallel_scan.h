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
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/task_iteration.h"

namespace vireon {

struct Document;
class RandomGenerator;
class ScanProgress;

// A process elsewhere that solves chunks of the scan (a rank of an MPI
// job), through a ChunkService over its own copy of the document.
class ChunkChannel {
 public:
  virtual ~ChunkChannel() = default;
  // Hands over a chunk's request and returns the service's answer; nothing
  // when the process failed. A channel that failed is not asked again and
  // its chunk is solved by the run itself.
  virtual std::optional<std::string> Solve(const std::string& request) = 0;
};

struct ParallelScanOptions {
  int jobs = 1;         // threads of this process that solve points (0 with remotes: none)
  int chunkPoints = 0;  // points a worker takes at a time; 0: chosen from the scan's size
  std::vector<ChunkChannel*> remotes;  // other processes that solve points
};

// The far end of a ChunkChannel: solves the chunks of one run's scan on a
// document loaded from the same model file.
class ChunkService {
 public:
  // Readies the document as a run readies it (engine allocated, items
  // bound); false when its engine cannot be allocated.
  static bool Prepare(Document& document);

  // Over a document readied by Prepare, which stays where it is.
  explicit ChunkService(Document& document);
  ~ChunkService();
  ChunkService(const ChunkService&) = delete;
  ChunkService& operator=(const ChunkService&) = delete;

  // The answer to one request; a request that cannot be read is answered
  // as a failed chunk.
  std::string Solve(std::string_view request);

 private:
  struct Parts;
  Document& document_;
  std::unique_ptr<Parts> parts_;
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
// another (when `pointsShown`: a run without a window, as on the command
// line, shows none), and a link from the real time takes a value that
// depends on when each point runs.
std::string SerialScanReason(const Document& document, bool pointsShown = true);

// Runs the scan of the document as described above. Returns false when a
// stop request ended it.
bool RunParallelScan(ScanRun& run, const ParallelScanOptions& options);

}  // namespace vireon
