#include "document/parallel_scan.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <type_traits>
#include <vector>

#include "document/document.h"
#include "engine/random.h"
#include "kinetics/arithmetic_fault.h"
#include "kinetics/expression.h"
#include "model/structural_analysis.h"
#include "scan/parameter_link.h"
#include "scan/scan.h"

namespace vireon {

namespace {

// A chunk is at least this many points, so that the point solved twice at
// its start costs little, and at most this many, so that a stop or the
// last chunk does not wait long.
constexpr int kFewestChunkPoints = 8;
constexpr int kMostChunkPoints = 256;
// Chunks per worker the points are cut into when the scan is large, so
// that the workers finish together.
constexpr int kChunksPerJob = 16;
// Chunks a worker may be ahead of the one being written, bounding the
// output kept in memory.
constexpr int kChunksAheadPerJob = 2;
// How often the run's thread looks for a pause or stop request while it
// waits for a chunk.
constexpr std::chrono::milliseconds kControlInterval(20);

// ---------------------------------------------------------------- state

// Every value of a document that a task iteration may leave for the next
// one: the results in the model, the quantities scans and links set, the
// output functions' values and the engine state's results.
template <class Visit>
void VisitCarriedState(Document& d, Visit& visit) {
  for (Metabolite& m : d.model.metabolites) {
    visit(m.concentration), visit(m.initialConcentration), visit(m.transitionTime);
  }
  for (Metabolite& m : d.model.moieties) visit(m.initialConcentration);
  for (Step& s : d.model.steps) visit(s.flux), visit(s.constants);
  for (Compartment& c : d.model.compartments) visit(c.volume);
  visit(d.model.totalTransitionTime);
  TaskSettings& t = d.settings;
  visit(t.endTime), visit(t.relativeTolerance), visit(t.absoluteTolerance);
  visit(t.steadyStateResolution), visit(t.derivationFactor);
  for (OutputFunction& f : d.functions) visit(*f.valuePointer());
  d.engine.VisitResults(visit);
}

// The carried state as bytes, bit for bit (so -0 differs from 0, and one
// NaN from another).
class StateWriter {
 public:
  explicit StateWriter(std::string& out) : out_(out) {}
  template <class T>
  void operator()(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    Append(&value, sizeof value);
  }
  template <class T>
  void operator()(const std::vector<T>& values) {
    (*this)(values.size());
    Append(values.data(), values.size() * sizeof(T));
  }
  template <class T>
  void operator()(const Matrix<T>& matrix) {
    (*this)(matrix.rows()), (*this)(matrix.columns());
    Append(matrix.data(), static_cast<std::size_t>(matrix.rows()) * matrix.columns() * sizeof(T));
  }

 private:
  void Append(const void* data, std::size_t bytes) {
    if (bytes > 0) out_.append(static_cast<const char*>(data), bytes);
  }
  std::string& out_;
};

class StateReader {
 public:
  explicit StateReader(std::string_view in) : in_(in) {}
  template <class T>
  void operator()(T& value) {
    Take(&value, sizeof value);
  }
  template <class T>
  void operator()(std::vector<T>& values) {
    std::size_t size = 0;
    (*this)(size);
    values.resize(size);
    Take(values.data(), size * sizeof(T));
  }
  template <class T>
  void operator()(Matrix<T>& matrix) {
    int rows = 0, columns = 0;
    (*this)(rows), (*this)(columns);
    if (rows != matrix.rows() || columns != matrix.columns()) matrix.Assign(rows, columns);
    Take(matrix.data(), static_cast<std::size_t>(rows) * columns * sizeof(T));
  }

 private:
  void Take(void* data, std::size_t bytes) {
    if (bytes > 0) std::memcpy(data, in_.data(), bytes);
    in_.remove_prefix(bytes);
  }
  std::string_view in_;
};

std::string CaptureState(Document& document) {
  std::string bytes;
  StateWriter writer(bytes);
  VisitCarriedState(document, writer);
  return bytes;
}

void RestoreState(Document& document, std::string_view bytes) {
  StateReader reader(bytes);
  VisitCarriedState(document, reader);
}

// ---------------------------------------------------------------- plan

// One point of the scan: the values of the scanned and linked quantities
// before it, and the block separators written after it.
struct PlannedPoint {
  std::vector<double> values;
  std::string timeCourseAfter;
  std::string steadyStateAfter;
};

// The quantities a scan or a link writes: the scan items', then the link
// targets', in list order (null for one that is not bound).
std::vector<double*> WrittenQuantities(Document& d) {
  std::vector<double*> quantities;
  for (ScanItem& item : d.scan.items) quantities.push_back(item.value);
  for (ParameterLink& link : d.links) quantities.push_back(link.target.value);
  return quantities;
}

void ApplyPlannedPoint(Document& d, const PlannedPoint& point) {
  const std::vector<double*> quantities = WrittenQuantities(d);
  for (std::size_t k = 0; k < quantities.size() && k < point.values.size(); ++k) {
    if (quantities[k] != nullptr) *quantities[k] = point.values[k];
  }
}

// Runs the scan's loops on `plan`, a copy of the run's document, drawing
// from the run's generator: before each point the written quantities are
// kept, then the links are applied as the point's iteration applies them
// (a fault is the iteration's to report).
std::vector<PlannedPoint> PlanScan(Document& plan, RandomGenerator& random) {
  std::vector<PlannedPoint> points;
  ScanCallbacks callbacks;
  callbacks.runIteration = [&] {
    PlannedPoint point;
    for (double* q : WrittenQuantities(plan)) point.values.push_back(q != nullptr ? *q : 0.0);
    points.push_back(std::move(point));
    Model& model = plan.model;
    try {
      ApplyLinksBetweenTotals(plan.links, [&model] { ComputeMoietyTotals(model); });
    } catch (const ArithmeticFault&) {
    } catch (const std::bad_alloc&) {
    }
    return true;
  };
  callbacks.separateTimeCourse = [&](std::string_view s) { points.back().timeCourseAfter += s; };
  callbacks.separateSteadyState = [&](std::string_view s) {
    points.back().steadyStateAfter += s;
  };
  ScanDriver driver(plan.scan.items, random, plan.engine, nullptr, std::move(callbacks));
  driver.Run();
  return points;
}

// ---------------------------------------------------------------- output

// One output of a point, in the order it was made.
struct Event {
  enum class Kind : char { kTimeCourse, kSteadyState, kReport, kErrorLog, kIntegratorError };
  Kind kind;
  std::string text;
  IntegratorFault fault = IntegratorFault::kInitializationFailed;
  int istate = 0;
};

struct PointOutput {
  std::vector<Event> events;
};

// Writes a kept point as the run would have written it.
void Replay(const PointOutput& point, ScanRun& run) {
  for (const Event& e : point.events) {
    switch (e.kind) {
      case Event::Kind::kTimeCourse:
        run.output.TimeCourse(e.text);
        break;
      case Event::Kind::kSteadyState:
        run.output.SteadyState(e.text);
        break;
      case Event::Kind::kReport:
        run.output.Report(e.text);
        break;
      case Event::Kind::kErrorLog:
        run.document.engine.errorLog += e.text;
        break;
      case Event::Kind::kIntegratorError:
        run.output.IntegratorError(e.fault, e.istate);
        break;
    }
  }
}

void Separate(const PlannedPoint& point, ScanRun& run) {
  if (!point.timeCourseAfter.empty() && run.separateTimeCourse) {
    run.separateTimeCourse(point.timeCourseAfter);
  }
  if (!point.steadyStateAfter.empty() && run.separateSteadyState) {
    run.separateSteadyState(point.steadyStateAfter);
  }
}

// ---------------------------------------------------------------- workers

struct Chunk {
  int first = 0;  // points first .. end - 1
  int end = 0;
  bool done = false;
  bool failed = false;   // a worker could not finish it: the run solves it again
  std::string before;    // state the point before `first` left (chunks after the first)
  std::string after;     // state the last point left
  std::vector<PointOutput> points;
};

// What the run's thread and the workers share, under `mutex`.
struct SharedWork {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Chunk> chunks;
  int nextChunk = 0;     // the next chunk a worker takes
  int writtenChunks = 0;  // chunks the run has written
  int ahead = 0;         // chunks a worker may be ahead of the written ones
  bool stop = false;
  bool paused = false;
};

// A worker's output for one point: everything kept in order, the error
// log's new text taken before each section and integrator error, as the
// run writes them.
class KeepingOutput : public IterationOutput {
 public:
  KeepingOutput(SharedWork& work, Document& document, bool timeCourseOpen, bool steadyStateOpen)
      : work_(work),
        document_(document),
        timeCourseOpen_(timeCourseOpen),
        steadyStateOpen_(steadyStateOpen) {}

  void Begin(PointOutput* point) {
    point_ = point;
    document_.engine.errorLog.clear();
  }
  void End() { TakeErrorLog(); }

  bool TimeCourseOpen() const override { return timeCourseOpen_; }
  bool SteadyStateOpen() const override { return steadyStateOpen_; }
  void TimeCourse(std::string_view text) override { Keep(Event::Kind::kTimeCourse, text); }
  void SteadyState(std::string_view text) override { Keep(Event::Kind::kSteadyState, text); }
  void Report(std::string_view section) override {
    TakeErrorLog();
    Keep(Event::Kind::kReport, section);
  }
  void IntegratorError(IntegratorFault fault, int istate) override {
    TakeErrorLog();
    if (point_ != nullptr) point_->events.push_back({Event::Kind::kIntegratorError, {}, fault, istate});
  }
  // A pause holds the worker at its next point; a stop ends the point.
  PointAction CheckPauseStop(Engine&) override {
    std::unique_lock<std::mutex> lock(work_.mutex);
    work_.changed.wait(lock, [this] { return !work_.paused || work_.stop; });
    return work_.stop ? PointAction::kStop : PointAction::kContinue;
  }

 private:
  void Keep(Event::Kind kind, std::string_view text) {
    if (point_ == nullptr) return;
    std::vector<Event>& events = point_->events;
    if (kind != Event::Kind::kReport && !events.empty() && events.back().kind == kind) {
      events.back().text += text;
    } else {
      events.push_back({kind, std::string(text)});
    }
  }
  void TakeErrorLog() {
    std::string& log = document_.engine.errorLog;
    if (log.empty()) return;
    if (point_ != nullptr) point_->events.push_back({Event::Kind::kErrorLog, log});
    log.clear();
  }

  SharedWork& work_;
  Document& document_;
  bool timeCourseOpen_;
  bool steadyStateOpen_;
  PointOutput* point_ = nullptr;
};

// Solves one chunk on the worker's own document: the point before it
// first (its output dropped), then every point of the chunk.
void SolveChunk(Chunk& chunk, const std::vector<PlannedPoint>& plan, Document& document,
                RandomGenerator& random, KeepingOutput& output) {
  if (chunk.first > 0) {
    ApplyPlannedPoint(document, plan[chunk.first - 1]);
    document.engine.iteration = chunk.first - 1;
    output.Begin(nullptr);
    if (!RunTaskIteration(document, random, output)) return;
    output.End();
    chunk.before = CaptureState(document);
  }
  for (int i = chunk.first; i < chunk.end; ++i) {
    PointOutput point;
    ApplyPlannedPoint(document, plan[i]);
    document.engine.iteration = i;
    output.Begin(&point);
    if (!RunTaskIteration(document, random, output)) return;
    output.End();
    chunk.points.push_back(std::move(point));
  }
  chunk.after = CaptureState(document);
}

void Work(SharedWork& work, const std::vector<PlannedPoint>& plan, Document& document,
          RandomGenerator& random, bool timeCourseOpen, bool steadyStateOpen) {
  KeepingOutput output(work, document, timeCourseOpen, steadyStateOpen);
  for (;;) {
    Chunk* chunk = nullptr;
    {
      std::unique_lock<std::mutex> lock(work.mutex);
      work.changed.wait(lock, [&] {
        return work.stop || work.nextChunk >= static_cast<int>(work.chunks.size()) ||
               work.nextChunk < work.writtenChunks + work.ahead;
      });
      if (work.stop || work.nextChunk >= static_cast<int>(work.chunks.size())) return;
      chunk = &work.chunks[work.nextChunk++];
    }
    // The chunk belongs to this worker until it is marked done.
    bool failed = false;
    try {
      SolveChunk(*chunk, plan, document, random, output);
      failed = chunk->after.empty();
    } catch (...) {
      // Whatever ended the chunk happens again when the run solves it, and
      // the run reports it as a run on one thread does.
      failed = true;
    }
    std::lock_guard<std::mutex> lock(work.mutex);
    chunk->failed = failed;
    chunk->done = true;
    work.changed.notify_all();
  }
}

// Ends the workers however the run leaves the scan.
class Workers {
 public:
  explicit Workers(SharedWork& work) : work_(work) {}
  ~Workers() {
    {
      std::lock_guard<std::mutex> lock(work_.mutex);
      work_.stop = true;
    }
    work_.changed.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  void Start(std::function<void()> body) { threads_.emplace_back(std::move(body)); }

 private:
  SharedWork& work_;
  std::vector<std::thread> threads_;
};

int ChunkPoints(int points, const ParallelScanOptions& options) {
  if (options.chunkPoints > 0) return options.chunkPoints;
  const int perChunk = (points + options.jobs * kChunksPerJob - 1) / (options.jobs * kChunksPerJob);
  return std::clamp(perChunk, kFewestChunkPoints, kMostChunkPoints);
}

bool DrawsRandomNumbers(const OutputFunction& function) {
  return std::any_of(function.nodes().begin(), function.nodes().end(), [](const ExpressionNode& n) {
    return n.kind == node_kind::kFunction &&
           (n.code == node_code::kRand || n.code == node_code::kGauss ||
            n.code == node_code::kBoltz);
  });
}

}  // namespace

std::string SerialScanReason(const Document& document) {
  if (!document.selections.interactive.empty()) {
    return "the interactive window shows the points one after another";
  }
  for (const OutputFunction& function : document.functions) {
    if (DrawsRandomNumbers(function)) {
      return "output function " + function.name() + " draws random numbers between the points";
    }
  }
  for (const ParameterLink& link : document.links) {
    const int type = link.source.type;
    if (type == kTime || type == kRealTime || type == kUserFunction) {
      return "a link follows " + link.source.title + ", a result of the point before";
    }
  }
  return {};
}

bool RunParallelScan(ScanRun& run, const ParallelScanOptions& options) {
  Document& document = run.document;
  if (document.scan.items.empty()) return true;
  document.engine.totalIterations = PrepareScan(document.scan.items);

  // 1. The plan, on a copy, so that the document keeps its values.
  std::vector<PlannedPoint> plan;
  {
    Document copy = document;
    RebindDocumentItems(copy, true);
    plan = PlanScan(copy, run.random);
  }
  const int points = static_cast<int>(plan.size());
  run.progress.Restart();

  SharedWork work;
  const int chunkPoints = ChunkPoints(points, options);
  for (int first = 0; first < points; first += chunkPoints) {
    Chunk chunk;
    chunk.first = first;
    chunk.end = std::min(points, first + chunkPoints);
    work.chunks.push_back(std::move(chunk));
  }
  work.ahead = options.jobs * kChunksAheadPerJob;

  // 2. The workers, each over its own copy of the document as it is now.
  const int jobs = std::min(options.jobs, static_cast<int>(work.chunks.size()));
  std::vector<Document> copies(static_cast<std::size_t>(jobs), document);
  std::vector<RandomGenerator> generators(static_cast<std::size_t>(jobs), run.random);
  for (Document& copy : copies) RebindDocumentItems(copy, true);
  const bool timeCourseOpen = run.output.TimeCourseOpen();
  const bool steadyStateOpen = run.output.SteadyStateOpen();
  Workers workers(work);
  for (int j = 0; j < jobs; ++j) {
    workers.Start([&, j] {
      Work(work, plan, copies[j], generators[j], timeCourseOpen, steadyStateOpen);
    });
  }

  // 3. The chunks in order, on the run's thread.
  auto pausing = [&work](bool paused) {
    {
      std::lock_guard<std::mutex> lock(work.mutex);
      work.paused = paused;
    }
    work.changed.notify_all();
  };
  for (std::size_t c = 0; c < work.chunks.size(); ++c) {
    Chunk* chunk = &work.chunks[c];
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(work.mutex);
        if (work.changed.wait_for(lock, kControlInterval, [&] { return chunk->done; })) break;
      }
      if (run.checkPauseStop(pausing) == PointAction::kStop) return false;
    }
    const bool kept = !chunk->failed && (chunk->first == 0 || chunk->before == CaptureState(document));
    if (kept) {
      for (int i = chunk->first; i < chunk->end; ++i) {
        run.progress.BeforePoint();
        Replay(chunk->points[static_cast<std::size_t>(i - chunk->first)], run);
        ++document.engine.iteration;
        Separate(plan[static_cast<std::size_t>(i)], run);
      }
      RestoreState(document, chunk->after);
    } else {
      for (int i = chunk->first; i < chunk->end; ++i) {
        run.progress.BeforePoint();
        ApplyPlannedPoint(document, plan[static_cast<std::size_t>(i)]);
        if (!RunTaskIteration(document, run.random, run.output)) return false;
        Separate(plan[static_cast<std::size_t>(i)], run);
      }
    }
    // The chunk is written: its output is freed and a worker may go on.
    {
      std::lock_guard<std::mutex> lock(work.mutex);
      chunk->points.clear();
      chunk->points.shrink_to_fit();
      ++work.writtenChunks;
    }
    work.changed.notify_all();
  }
  return true;
}

}  // namespace vireon
