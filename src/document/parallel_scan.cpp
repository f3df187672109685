#include "document/parallel_scan.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "document/document.h"
#include "engine/random.h"
#include "engine/engine_state.h"
#include "kinetics/expression.h"
#include "output/output_function.h"
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
  for (GlobalQuantity& q : d.model.globalQuantities) visit(q.value);
  visit(d.model.totalTransitionTime);
  TaskSettings& t = d.settings;
  visit(t.endTime), visit(t.solver.relativeTolerance), visit(t.solver.absoluteTolerance);
  visit(t.solver.steadyStateResolution), visit(t.solver.derivationFactor);
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

// The quantities the scan's loops write: each distinct bound quantity once,
// named by the first item that writes it.
struct ScanSlots {
  std::vector<int> firstItem;
  std::vector<int> slotOfItem;  // -1 for an item with no quantity
};

ScanSlots FindScanSlots(const std::vector<ScanItem>& items) {
  ScanSlots slots;
  for (std::size_t k = 0; k < items.size(); ++k) {
    int slot = -1;
    if (items[k].value != nullptr) {
      for (std::size_t s = 0; s < slots.firstItem.size(); ++s) {
        if (items[slots.firstItem[s]].value == items[k].value) slot = static_cast<int>(s);
      }
      if (slot < 0) {
        slot = static_cast<int>(slots.firstItem.size());
        slots.firstItem.push_back(static_cast<int>(k));
      }
    }
    slots.slotOfItem.push_back(slot);
  }
  return slots;
}

// The slots' quantities in one document (bound to it).
std::vector<double*> SlotQuantities(Document& d, const ScanSlots& slots) {
  std::vector<double*> quantities;
  for (int item : slots.firstItem) quantities.push_back(d.scan.items[item].value);
  return quantities;
}

// One point of the scan: every slot's value at it, the slots the loops set
// since the point before, the random generator before and after the
// point's own draws (when the output functions draw), and the block
// separators written after it.
struct PlannedPoint {
  std::vector<double> values;
  std::vector<int> written;
  std::optional<RandomGenerator> randomBefore, randomAfter;
  std::string timeCourseAfter;
  std::string steadyStateAfter;
};

// What the loops set before the point, over the state the point before left.
void ApplyWrites(const std::vector<double*>& quantities, const PlannedPoint& point) {
  for (int s : point.written) *quantities[s] = point.values[s];
}

// Every slot's value, for a point reached from some other state.
void ApplyValues(const std::vector<double*>& quantities, const PlannedPoint& point) {
  for (std::size_t s = 0; s < quantities.size(); ++s) *quantities[s] = point.values[s];
}

// The output functions' random draws without their values: every symbol
// counts as 1.
class DrawingBindings : public ExpressionBindings {
 public:
  explicit DrawingBindings(RandomGenerator& random) : random_(random) {}
  double SymbolValue(const ExpressionNode&) override { return 1.0; }
  double FunctionValue(char code, double operand) override {
    return RandomFactorValue(code, operand, random_);
  }

 private:
  RandomGenerator& random_;
};

bool DrawsRandomNumbers(const OutputFunction& function) {
  return std::any_of(function.nodes().begin(), function.nodes().end(), [](const ExpressionNode& n) {
    return n.kind == node_kind::kFunction &&
           (n.code == node_code::kRand || n.code == node_code::kGauss ||
            n.code == node_code::kBoltz);
  });
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

using PointOutput = std::vector<Event>;

// Writes a kept point as the run would have written it.
void Replay(const PointOutput& point, ScanRun& run) {
  for (const Event& e : point) {
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

// ---------------------------------------------------------------- shared work

// A chunk as a worker hands it back.
struct ChunkResult {
  int first = 0;
  bool failed = false;    // a worker could not finish it
  bool randomOk = true;   // every point drew the random numbers planned for it
  std::string before;     // the state the point before `first` left
  std::string after;      // the state the last point left
  std::vector<PlannedPoint> plan;  // the chunk's points
  std::vector<PointOutput> outputs;
};

// What the run's thread, the planner and the workers share, under `mutex`.
// Chunk c holds the points 1 + c * chunkPoints onwards (point 0 runs on the
// run's thread first).
struct SharedWork {
  std::mutex mutex;
  std::condition_variable changed;

  std::deque<PlannedPoint> plan;
  int planFirst = 0;  // the index of plan.front()
  bool planDone = false;
  int chunkPoints = 1;

  int nextChunk = 0;     // the next chunk a worker takes
  int writtenChunks = 0;  // chunks the run has written
  int ahead = 1;         // chunks a worker may be ahead of the written ones
  std::map<int, ChunkResult> results;
  bool stop = false;
  bool paused = false;

  int Planned() const { return planFirst + static_cast<int>(plan.size()); }
  int ChunkFirst(int c) const { return 1 + c * chunkPoints; }
  // Whether a point's separators are known: a later point is planned, or
  // the plan is complete.
  bool Complete(int point) const { return planDone ? point < Planned() : point + 1 < Planned(); }
  bool ChunkExists(int c) const { return !planDone || ChunkFirst(c) < Planned(); }
  int ChunkEnd(int c) const {
    const int end = ChunkFirst(c + 1);
    return planDone ? std::min(end, Planned()) : end;
  }
  bool ChunkReady(int c) const { return Complete(ChunkEnd(c) - 1); }
  // Whether `point` is the last one of its chunk.
  bool EndsChunk(int point) const { return point >= 1 && point % chunkPoints == 0; }
  // The planner stays within this many points of the written ones.
  int PlanLimit() const { return ChunkFirst(writtenChunks + ahead + 1) + 1; }
};

// ---------------------------------------------------------------- planner

// Runs the scan's loops on a copy of the items whose quantities are slots
// of its own, recording what each point gets. `firstAfter` is the random
// generator the first point left (its output functions' draws);
// `evaluations` is how often each later point evaluates the output
// functions.
class Planner {
 public:
  Planner(SharedWork& work, const Document& document, const ScanSlots& slots,
          const RandomGenerator& initial, std::optional<RandomGenerator> firstAfter,
          int evaluations)
      : work_(work),
        items_(document.scan.items),
        random_(initial),
        firstAfter_(std::move(firstAfter)),
        evaluations_(evaluations) {
    current_.resize(slots.firstItem.size());
    for (std::size_t s = 0; s < current_.size(); ++s) {
      current_[s] = *document.scan.items[slots.firstItem[s]].value;
    }
    shadow_.assign(current_.size(), Unset());
    for (std::size_t k = 0; k < items_.size(); ++k) {
      const int slot = slots.slotOfItem[k];
      items_[k].value = slot >= 0 ? &shadow_[slot] : nullptr;
    }
    if (firstAfter_) {
      for (const OutputFunction& f : document.functions) {
        if (!f.nodes().empty() && f.nodes()[0].kind == node_kind::kRoot) {
          functions_.push_back(f.nodes());
        }
      }
    }
  }

  // The planner thread's body.
  void Run() {
    ScanCallbacks callbacks;
    callbacks.runIteration = [this] { return Point(); };
    callbacks.separateTimeCourse = [this](std::string_view s) { Separator(s, true); };
    callbacks.separateSteadyState = [this](std::string_view s) { Separator(s, false); };
    EngineState state;
    ScanDriver driver(items_, random_, state, nullptr, std::move(callbacks));
    driver.Run();
    std::lock_guard<std::mutex> lock(work_.mutex);
    work_.planDone = true;
    finalRandom_ = random_;
    work_.changed.notify_all();
  }

  // The generator after the whole plan (read after the planner has ended).
  const RandomGenerator& finalRandom() const { return finalRandom_; }

 private:
  // A bit pattern no computed value has: a slot holding it was not set.
  static double Unset() { return std::bit_cast<double>(std::uint64_t{0x7ff4c0ffee5eed11}); }
  static bool IsUnset(double v) { return std::bit_cast<std::uint64_t>(v) == 0x7ff4c0ffee5eed11; }

  bool Point() {
    PlannedPoint point;
    for (std::size_t s = 0; s < shadow_.size(); ++s) {
      if (IsUnset(shadow_[s])) continue;
      current_[s] = shadow_[s];
      shadow_[s] = Unset();
      point.written.push_back(static_cast<int>(s));
    }
    point.values = current_;
    if (firstAfter_) {
      point.randomBefore = random_;
      if (index_ == 0) {
        random_ = *firstAfter_;
      } else {
        DrawingBindings bindings(random_);
        for (int e = 0; e < evaluations_; ++e) {
          for (const std::vector<ExpressionNode>& nodes : functions_) {
            EvaluateExpression(nodes, bindings);
          }
        }
      }
      point.randomAfter = random_;
    }
    ++index_;
    std::unique_lock<std::mutex> lock(work_.mutex);
    work_.changed.wait(lock, [this] { return work_.stop || work_.Planned() < work_.PlanLimit(); });
    if (work_.stop) return false;
    work_.plan.push_back(std::move(point));
    // Workers wait for whole chunks, and a point is complete once the next
    // one is planned: only the point that completes a chunk wakes them.
    if (work_.EndsChunk(work_.Planned() - 2)) work_.changed.notify_all();
    return true;
  }

  void Separator(std::string_view s, bool timeCourse) {
    std::lock_guard<std::mutex> lock(work_.mutex);
    if (work_.plan.empty()) return;
    (timeCourse ? work_.plan.back().timeCourseAfter : work_.plan.back().steadyStateAfter) += s;
  }

  SharedWork& work_;
  std::vector<ScanItem> items_;
  RandomGenerator random_;
  std::optional<RandomGenerator> firstAfter_;
  int evaluations_;
  std::vector<std::vector<ExpressionNode>> functions_;
  std::vector<double> current_;
  std::vector<double> shadow_;
  int index_ = 0;
  RandomGenerator finalRandom_;
};

// ---------------------------------------------------------------- workers

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
    if (point_ != nullptr) point_->push_back({Event::Kind::kIntegratorError, {}, fault, istate});
  }
  // A pause holds the worker at its next time-course point; a stop ends
  // the point.
  PointAction CheckPauseStop(Engine&) override {
    std::unique_lock<std::mutex> lock(work_.mutex);
    work_.changed.wait(lock, [this] { return !work_.paused || work_.stop; });
    return work_.stop ? PointAction::kStop : PointAction::kContinue;
  }

 private:
  void Keep(Event::Kind kind, std::string_view text) {
    if (point_ == nullptr) return;
    if (kind != Event::Kind::kReport && !point_->empty() && point_->back().kind == kind) {
      point_->back().text += text;
    } else {
      point_->push_back({kind, std::string(text)});
    }
  }
  void TakeErrorLog() {
    std::string& log = document_.engine.errorLog;
    if (log.empty()) return;
    if (point_ != nullptr) point_->push_back({Event::Kind::kErrorLog, log});
    log.clear();
  }

  SharedWork& work_;
  Document& document_;
  bool timeCourseOpen_;
  bool steadyStateOpen_;
  PointOutput* point_ = nullptr;
};

// Takes the next chunk for a worker, with its points from the one before
// it, waiting until they are planned; false when the scan needs no more.
bool TakeChunk(SharedWork& work, int& c, ChunkResult& result) {
  std::unique_lock<std::mutex> lock(work.mutex);
  work.changed.wait(lock, [&work] {
    const int n = work.nextChunk;
    return work.stop || !work.ChunkExists(n) ||
           (n < work.writtenChunks + work.ahead && work.ChunkReady(n));
  });
  c = work.nextChunk;
  if (work.stop || !work.ChunkExists(c)) return false;
  ++work.nextChunk;
  result = ChunkResult{};
  result.first = work.ChunkFirst(c);
  // Chunks are taken in order, so the point before this one is no longer
  // needed in the plan; the chunk's last point is the next chunk's point
  // before, and stays.
  const int last = work.ChunkEnd(c) - 1;
  for (int i = result.first - 1; i <= last; ++i) {
    PlannedPoint& point = work.plan[static_cast<std::size_t>(i - work.planFirst)];
    if (i < last) {
      result.plan.push_back(std::move(point));
    } else {
      result.plan.push_back(point);
    }
  }
  return true;
}

// Hands a solved (or failed) chunk to the run.
void GiveChunk(SharedWork& work, int c, ChunkResult& result) {
  result.plan.erase(result.plan.begin());  // the point before the chunk
  std::lock_guard<std::mutex> lock(work.mutex);
  work.results.emplace(c, std::move(result));
  work.changed.notify_all();
}

class Worker {
 public:
  // `afterFirstPoint`: the document holds the state the scan's first point
  // left (a copy taken by the run), not one from before the scan.
  Worker(SharedWork& work, Document& document, const ScanSlots& slots, bool timeCourseOpen,
         bool steadyStateOpen, bool afterFirstPoint)
      : work_(work),
        document_(document),
        quantities_(SlotQuantities(document, slots)),
        output_(work, document, timeCourseOpen, steadyStateOpen),
        lastSolved_(afterFirstPoint ? 0 : -1),
        lastState_(afterFirstPoint ? CaptureState(document) : std::string()) {}

  void Run() {
    ChunkResult result;
    for (int c = 0; TakeChunk(work_, c, result);) {
      SolveChunk(result);
      GiveChunk(work_, c, result);
    }
  }

  // Solves the chunk, marking it failed when anything ends it early:
  // whatever ended it happens again when the run solves it, and the run
  // reports it as a run on one thread does.
  void SolveChunk(ChunkResult& result) {
    try {
      Solve(result);
    } catch (...) {
      result.failed = true;
    }
    if (result.failed) lastSolved_ = -1;
  }

 private:
  // Solves one chunk: the point before it first (its output dropped) unless
  // this worker's last point was that one, then every point of the chunk.
  void Solve(ChunkResult& result) {
    RandomGenerator& random = random_;
    if (lastSolved_ != result.first - 1) {
      const PlannedPoint& before = result.plan.front();
      ApplyValues(quantities_, before);
      if (before.randomBefore) random = *before.randomBefore;
      document_.engine.iteration = result.first - 1;
      output_.Begin(nullptr);
      if (!RunTaskIteration(document_, random, output_)) {
        result.failed = true;
        return;
      }
      output_.End();
      lastState_ = CaptureState(document_);
    }
    result.before = lastState_;
    for (std::size_t k = 1; k < result.plan.size(); ++k) {
      const PlannedPoint& point = result.plan[k];
      ApplyWrites(quantities_, point);
      if (point.randomBefore) random = *point.randomBefore;
      document_.engine.iteration = result.first + static_cast<int>(k) - 1;
      PointOutput out;
      output_.Begin(&out);
      if (!RunTaskIteration(document_, random, output_)) {
        result.failed = true;
        return;
      }
      output_.End();
      if (point.randomAfter && !(random == *point.randomAfter)) result.randomOk = false;
      result.outputs.push_back(std::move(out));
    }
    lastState_ = CaptureState(document_);
    result.after = lastState_;
    lastSolved_ = result.first + static_cast<int>(result.plan.size()) - 2;
  }

  SharedWork& work_;
  Document& document_;
  std::vector<double*> quantities_;
  KeepingOutput output_;
  RandomGenerator random_;
  // The last point this worker solved (its copy of the document starts
  // after the first point), and the state it left.
  int lastSolved_;
  std::string lastState_;
};

// The planner and the workers, ended however the run leaves the scan.
class Threads {
 public:
  explicit Threads(SharedWork& work) : work_(work) {}
  ~Threads() { StopAll(); }
  void Start(std::function<void()> body) { threads_.emplace_back(std::move(body)); }
  void StopAll() {
    {
      std::lock_guard<std::mutex> lock(work_.mutex);
      work_.stop = true;
    }
    work_.changed.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

 private:
  SharedWork& work_;
  std::vector<std::thread> threads_;
};


// ---------------------------------------------------------------- messages

// The bytes of the requests and answers between processes. A reader that
// runs out of bytes, or meets a count beyond them, stops and says so.
class Encoder {
 public:
  explicit Encoder(std::string& out) : out_(out) {}
  template <class T>
  void Pod(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out_.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void Text(std::string_view text) {
    Pod(static_cast<std::uint64_t>(text.size()));
    out_.append(text);
  }
  template <class T>
  void Vector(const std::vector<T>& values) {
    Pod(static_cast<std::uint64_t>(values.size()));
    for (const T& v : values) Pod(v);
  }

 private:
  std::string& out_;
};

class Decoder {
 public:
  explicit Decoder(std::string_view in) : in_(in) {}
  bool ok() const { return ok_; }
  template <class T>
  T Pod() {
    static_assert(std::is_trivially_copyable_v<T>);
    T value{};
    if (!ok_ || in_.size() < sizeof value) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, in_.data(), sizeof value);
    in_.remove_prefix(sizeof value);
    return value;
  }
  std::string Text() {
    const std::uint64_t size = Pod<std::uint64_t>();
    if (!ok_ || size > in_.size()) {
      ok_ = false;
      return {};
    }
    std::string text(in_.substr(0, size));
    in_.remove_prefix(size);
    return text;
  }
  template <class T>
  std::vector<T> Vector() {
    const std::uint64_t size = Pod<std::uint64_t>();
    std::vector<T> values;
    if (!ok_ || size > in_.size() / sizeof(T)) {
      ok_ = false;
      return values;
    }
    values.reserve(size);
    for (std::uint64_t k = 0; k < size; ++k) values.push_back(Pod<T>());
    return values;
  }
  // A count of items at least `itemBytes` long each.
  std::size_t Count(std::size_t itemBytes) {
    const std::uint64_t count = Pod<std::uint32_t>();
    if (!ok_ || count > in_.size() / std::max<std::size_t>(itemBytes, 1)) ok_ = false;
    return ok_ ? count : 0;
  }

 private:
  std::string_view in_;
  bool ok_ = true;
};

static_assert(std::is_trivially_copyable_v<RandomGenerator>);

// A chunk's request: the data files' switches, the chunk's first point and
// its points from the one before it.
std::string EncodeRequest(const ChunkResult& chunk, bool timeCourseOpen, bool steadyStateOpen) {
  std::string out;
  Encoder e(out);
  e.Pod<std::uint8_t>(timeCourseOpen), e.Pod<std::uint8_t>(steadyStateOpen);
  e.Pod<std::int32_t>(chunk.first);
  e.Pod<std::uint32_t>(static_cast<std::uint32_t>(chunk.plan.size()));
  for (const PlannedPoint& p : chunk.plan) {
    e.Vector(p.values);
    e.Vector(p.written);
    e.Pod<std::uint8_t>(p.randomBefore.has_value());
    if (p.randomBefore) e.Pod(*p.randomBefore), e.Pod(*p.randomAfter);
  }
  return out;
}

bool DecodeRequest(std::string_view in, ChunkResult& chunk, bool& timeCourseOpen,
                   bool& steadyStateOpen, std::size_t slots) {
  Decoder d(in);
  timeCourseOpen = d.Pod<std::uint8_t>() != 0;
  steadyStateOpen = d.Pod<std::uint8_t>() != 0;
  chunk.first = d.Pod<std::int32_t>();
  const std::size_t count = d.Count(2 * sizeof(std::uint64_t) + 1);
  for (std::size_t k = 0; k < count && d.ok(); ++k) {
    PlannedPoint p;
    p.values = d.Vector<double>();
    p.written = d.Vector<int>();
    if (d.Pod<std::uint8_t>() != 0) {
      p.randomBefore = d.Pod<RandomGenerator>();
      p.randomAfter = d.Pod<RandomGenerator>();
    }
    const bool fits = p.values.size() == slots &&
                      std::all_of(p.written.begin(), p.written.end(), [slots](int s) {
                        return s >= 0 && static_cast<std::size_t>(s) < slots;
                      });
    if (!fits) return false;
    chunk.plan.push_back(std::move(p));
  }
  return d.ok() && chunk.first >= 1 && chunk.plan.size() >= 2;
}

std::string EncodeAnswer(const ChunkResult& chunk) {
  std::string out;
  Encoder e(out);
  e.Pod<std::uint8_t>(chunk.failed), e.Pod<std::uint8_t>(chunk.randomOk);
  e.Text(chunk.before), e.Text(chunk.after);
  e.Pod<std::uint32_t>(static_cast<std::uint32_t>(chunk.outputs.size()));
  for (const PointOutput& point : chunk.outputs) {
    e.Pod<std::uint32_t>(static_cast<std::uint32_t>(point.size()));
    for (const Event& event : point) {
      e.Pod(event.kind), e.Text(event.text), e.Pod(event.fault), e.Pod<std::int32_t>(event.istate);
    }
  }
  return out;
}

// Fills the chunk's outcome from an answer for its `points` points; false
// when the answer cannot be read.
bool DecodeAnswer(std::string_view in, ChunkResult& chunk, std::size_t points) {
  Decoder d(in);
  chunk.failed = d.Pod<std::uint8_t>() != 0;
  chunk.randomOk = d.Pod<std::uint8_t>() != 0;
  chunk.before = d.Text();
  chunk.after = d.Text();
  const std::size_t count = d.Count(sizeof(std::uint32_t));
  chunk.outputs.clear();
  for (std::size_t k = 0; k < count && d.ok(); ++k) {
    PointOutput point(d.Count(sizeof(Event::Kind) + sizeof(std::uint64_t)));
    for (Event& event : point) {
      event.kind = d.Pod<Event::Kind>();
      event.text = d.Text();
      event.fault = d.Pod<IntegratorFault>();
      event.istate = d.Pod<std::int32_t>();
      if (static_cast<int>(event.kind) < 0 ||
          static_cast<int>(event.kind) > static_cast<int>(Event::Kind::kIntegratorError)) {
        return false;
      }
    }
    chunk.outputs.push_back(std::move(point));
  }
  return d.ok() && (chunk.failed || chunk.outputs.size() == points);
}

// Hands chunks to a process elsewhere, one at a time, until the scan needs
// no more or the process fails.
void Forward(SharedWork& work, ChunkChannel& channel, bool timeCourseOpen, bool steadyStateOpen) {
  ChunkResult chunk;
  for (int c = 0; TakeChunk(work, c, chunk);) {
    const std::optional<std::string> answer =
        channel.Solve(EncodeRequest(chunk, timeCourseOpen, steadyStateOpen));
    const bool answered = answer && DecodeAnswer(*answer, chunk, chunk.plan.size() - 1);
    if (!answered) chunk.failed = true;
    GiveChunk(work, c, chunk);
    if (!answered) return;
  }
}

// ---------------------------------------------------------------- serial

enum class SerialEnd { kScanEnded, kReachedUntil, kStopped };

// Runs the scan's loops on the run's document from the start, as a serial
// run does, but solves and writes only the points from .. until - 1. The
// points before `from` were written: at the one before it the document and
// the generator take the state and draws it left (`resumeState`,
// `resumeRandom`), so that the loops go on from there exactly.
// `pointDone` hears each point solved.
SerialEnd RunSerially(ScanRun& run, const RandomGenerator& initial, int from, int until,
                      const std::string& resumeState, const RandomGenerator& resumeRandom,
                      const std::function<void(int)>& pointDone, int* evaluations = nullptr) {
  Document& document = run.document;
  run.random = initial;
  SerialEnd end = SerialEnd::kScanEnded;
  int index = 0;
  bool writing = from == 0;
  ScanCallbacks callbacks;
  callbacks.runIteration = [&]() {
    const int i = index++;
    if (i == until) {
      end = SerialEnd::kReachedUntil;
      return false;
    }
    if (i < from) {
      if (i == from - 1) {
        RestoreState(document, resumeState);
        run.random = resumeRandom;
      }
      return true;
    }
    writing = true;
    run.progress.BeforePoint();
    if (!RunTaskIteration(document, run.random, run.output, evaluations)) {
      end = SerialEnd::kStopped;
      return false;
    }
    if (pointDone) pointDone(i);
    return true;
  };
  callbacks.separateTimeCourse = [&](std::string_view s) {
    if (writing && run.separateTimeCourse) run.separateTimeCourse(s);
  };
  callbacks.separateSteadyState = [&](std::string_view s) {
    if (writing && run.separateSteadyState) run.separateSteadyState(s);
  };
  EngineState state;
  state.startTick = document.engine.startTick;
  ScanDriver driver(document.scan.items, run.random, state, nullptr, std::move(callbacks));
  driver.Run();
  return end;
}

int ChunkPoints(int points, int solvers, const ParallelScanOptions& options) {
  if (options.chunkPoints > 0) return options.chunkPoints;
  // In 64 bits: a scan's count saturates at the largest int.
  const long long perJob = static_cast<long long>(solvers) * kChunksPerJob;
  const long long perChunk = (points + perJob - 1) / perJob;
  return static_cast<int>(std::clamp<long long>(perChunk, kFewestChunkPoints, kMostChunkPoints));
}

enum class ChunkWait { kReady, kScanEnded, kStopped };

// Waits for chunk c on the run's thread, honouring pause and stop requests
// meanwhile; kScanEnded when the plan has no chunk c.
ChunkWait WaitForChunk(SharedWork& work, int c, ScanRun& run,
                       const std::function<void(bool)>& pausing, ChunkResult& chunk) {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(work.mutex);
      const bool ready = work.changed.wait_for(lock, kControlInterval, [&] {
        return work.results.count(c) != 0 || !work.ChunkExists(c);
      });
      if (ready && work.results.count(c) != 0) {
        chunk = std::move(work.results.at(c));
        work.results.erase(c);
        return ChunkWait::kReady;
      }
      if (ready) return ChunkWait::kScanEnded;
    }
    if (run.checkPauseStop(pausing) == PointAction::kStop) return ChunkWait::kStopped;
  }
}

// Writes a chunk a worker solved from the right state with the planned
// random numbers, as kept; false when a stop request ended it.
bool WriteKeptChunk(const ChunkResult& chunk, ScanRun& run,
                    const std::function<void(bool)>& pausing, RandomGenerator& lastRandom) {
  Document& document = run.document;
  for (std::size_t k = 0; k < chunk.outputs.size(); ++k) {
    if (run.checkPauseStop(pausing) == PointAction::kStop) return false;
    run.progress.BeforePoint();
    Replay(chunk.outputs[k], run);
    ++document.engine.iteration;
    Separate(chunk.plan[k], run);
  }
  RestoreState(document, chunk.after);
  if (chunk.plan.back().randomAfter) lastRandom = *chunk.plan.back().randomAfter;
  return true;
}

enum class ResolveEnd { kChunkWritten, kScanEnded, kStopped };

// Solves a chunk again on the run's thread from the right state. When a
// point draws other random numbers than planned, the threads are stopped
// and the rest of the scan runs here, its loops replayed from the start up
// to the next point (kScanEnded, or kStopped by a stop request).
ResolveEnd SolveChunkHere(const ChunkResult& chunk, ScanRun& run,
                          const std::function<void(bool)>& pausing,
                          const std::vector<double*>& quantities, const RandomGenerator& initial,
                          RandomGenerator& lastRandom, Threads& threads) {
  Document& document = run.document;
  for (std::size_t k = 0; k < chunk.plan.size(); ++k) {
    const PlannedPoint& point = chunk.plan[k];
    if (run.checkPauseStop(pausing) == PointAction::kStop) return ResolveEnd::kStopped;
    run.progress.BeforePoint();
    ApplyWrites(quantities, point);
    if (point.randomBefore) run.random = *point.randomBefore;
    if (!RunTaskIteration(document, run.random, run.output)) return ResolveEnd::kStopped;
    Separate(point, run);
    if (!point.randomAfter) continue;
    lastRandom = run.random;
    if (run.random == *point.randomAfter) continue;
    threads.StopAll();
    const std::string state = CaptureState(document);
    const SerialEnd end = RunSerially(run, initial, chunk.first + static_cast<int>(k) + 1, -1,
                                      state, lastRandom, {});
    return end == SerialEnd::kStopped ? ResolveEnd::kStopped : ResolveEnd::kScanEnded;
  }
  return ResolveEnd::kChunkWritten;
}

// The chunk is written: its plan is let go and a worker may go on.
void ReleaseChunk(SharedWork& work, int c) {
  {
    std::lock_guard<std::mutex> lock(work.mutex);
    work.writtenChunks = c + 1;
    const int keepFrom = work.ChunkFirst(c + 1) - 1;
    while (!work.plan.empty() && work.planFirst < keepFrom) {
      work.plan.pop_front();
      ++work.planFirst;
    }
  }
  work.changed.notify_all();
}

}  // namespace

std::string SerialScanReason(const Document& document, bool pointsShown) {
  if (pointsShown && !document.selections.interactive.empty()) {
    return "the interactive window shows the points one after another";
  }
  for (const ParameterLink& link : document.links) {
    if (link.source.type == kRealTime) {
      return "a link follows " + link.source.title + ", which depends on when each point runs";
    }
  }
  return {};
}

bool RunParallelScan(ScanRun& run, const ParallelScanOptions& options) {
  Document& document = run.document;
  if (document.scan.items.empty()) return true;
  const int total = PrepareScan(document.scan.items);
  document.engine.totalIterations = total;
  run.progress.Restart();
  const RandomGenerator initial = run.random;
  const bool drawingFunctions =
      std::any_of(document.functions.begin(), document.functions.end(), DrawsRandomNumbers);

  // 1. The first point, as a serial run runs it.
  int evaluations = 0;
  std::optional<RandomGenerator> firstAfter;
  const SerialEnd firstEnd = RunSerially(
      run, initial, 0, 1, {}, initial,
      [&](int) {
        if (drawingFunctions) firstAfter = run.random;
      },
      &evaluations);
  if (firstEnd == SerialEnd::kStopped) return false;
  if (firstEnd == SerialEnd::kScanEnded) return true;

  // 2. The planner and the workers, each worker over its own copy of the
  // document as it is now.
  SharedWork work;
  const int remotes = static_cast<int>(options.remotes.size());
  const int solvers = std::max(1, options.jobs + remotes);
  work.chunkPoints = ChunkPoints(total, solvers, options);
  work.ahead = solvers * kChunksAheadPerJob;
  const ScanSlots slots = FindScanSlots(document.scan.items);
  const std::vector<double*> quantities = SlotQuantities(document, slots);
  const int chunks =
      static_cast<int>((total - 1LL + work.chunkPoints - 1) / work.chunkPoints);
  const int jobs = std::max(remotes > 0 ? 0 : 1, std::min(options.jobs, chunks));
  std::vector<Document> copies(static_cast<std::size_t>(jobs), document);
  for (Document& copy : copies) RebindDocumentItems(copy, true);
  Planner planner(work, document, slots, initial, firstAfter, evaluations);
  std::vector<std::unique_ptr<Worker>> workers;
  for (Document& copy : copies) {
    workers.push_back(std::make_unique<Worker>(work, copy, slots, run.output.TimeCourseOpen(),
                                               run.output.SteadyStateOpen(), true));
  }
  Threads threads(work);
  threads.Start([&planner] { planner.Run(); });
  for (auto& worker : workers) threads.Start([&worker] { worker->Run(); });
  const bool timeCourseOpen = run.output.TimeCourseOpen();
  const bool steadyStateOpen = run.output.SteadyStateOpen();
  for (ChunkChannel* remote : options.remotes) {
    threads.Start([&work, remote, timeCourseOpen, steadyStateOpen] {
      Forward(work, *remote, timeCourseOpen, steadyStateOpen);
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
  RandomGenerator lastRandom = firstAfter ? *firstAfter : initial;
  for (int c = 0;; ++c) {
    ChunkResult chunk;
    const ChunkWait wait = WaitForChunk(work, c, run, pausing, chunk);
    if (wait == ChunkWait::kStopped) return false;
    if (wait == ChunkWait::kScanEnded) {
      threads.StopAll();
      run.random = planner.finalRandom();
      return true;
    }
    const bool sameStart = !chunk.failed && chunk.before == CaptureState(document);
    if (sameStart && chunk.randomOk) {
      if (!WriteKeptChunk(chunk, run, pausing, lastRandom)) return false;
    } else {
      const ResolveEnd end =
          SolveChunkHere(chunk, run, pausing, quantities, initial, lastRandom, threads);
      if (end != ResolveEnd::kChunkWritten) return end == ResolveEnd::kScanEnded;
    }
    ReleaseChunk(work, c);
  }
}

}  // namespace vireon

namespace vireon {

// ---------------------------------------------------------------- service

struct ChunkService::Parts {
  SharedWork work;
  ScanSlots slots;
  std::unique_ptr<Worker> worker;
  bool timeCourseOpen = false;
  bool steadyStateOpen = false;
};

bool ChunkService::Prepare(Document& document) {
  try {
    document.engine.Allocate(document.model);
  } catch (const std::bad_alloc&) {
    document.engine.Free();
    return false;
  }
  RebindDocumentItems(document, true);
  document.engine.startTick = ScanTickMilliseconds();
  PrepareScan(document.scan.items);
  return true;
}

ChunkService::ChunkService(Document& document)
    : document_(document), parts_(std::make_unique<Parts>()) {
  parts_->slots = FindScanSlots(document.scan.items);
}

ChunkService::~ChunkService() = default;

std::string ChunkService::Solve(std::string_view request) {
  ChunkResult chunk;
  bool timeCourseOpen = false, steadyStateOpen = false;
  if (!DecodeRequest(request, chunk, timeCourseOpen, steadyStateOpen,
                     parts_->slots.firstItem.size())) {
    chunk = ChunkResult{};
    chunk.failed = true;
    return EncodeAnswer(chunk);
  }
  if (!parts_->worker || timeCourseOpen != parts_->timeCourseOpen ||
      steadyStateOpen != parts_->steadyStateOpen) {
    parts_->timeCourseOpen = timeCourseOpen;
    parts_->steadyStateOpen = steadyStateOpen;
    parts_->worker = std::make_unique<Worker>(parts_->work, document_, parts_->slots,
                                              timeCourseOpen, steadyStateOpen, false);
  }
  parts_->worker->SolveChunk(chunk);
  return EncodeAnswer(chunk);
}

}  // namespace vireon
