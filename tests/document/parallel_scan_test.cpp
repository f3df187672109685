// A scan solved on several threads writes exactly what one thread writes:
// every scan kind, links that carry a point's result into the next, output
// functions that draw random numbers, steady states that fail between ones
// that are found, and a stop in the middle, which leaves a prefix.

#include "document/parallel_scan.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/headless_run.h"
#include "engine/random.h"
#include "model/message_sink.h"
#include "output/output_function.h"
#include "output/output_item.h"
#include "run_test_support.h"
#include "scan/parameter_link.h"
#include "scan/scan.h"
#include "support/files.h"
#include "support/kinetic_models.h"

namespace vireon::test {
namespace {

// Everything a scan writes, as three texts and the error log.
struct Written {
  std::string timeCourse, steadyState, report, errorLog;

  bool operator==(const Written&) const = default;
  bool IsPrefixOf(const Written& whole) const {
    auto prefix = [](const std::string& a, const std::string& b) { return b.starts_with(a); };
    return prefix(timeCourse, whole.timeCourse) && prefix(steadyState, whole.steadyState) &&
           prefix(report, whole.report);
  }
};

class MemoryOutput : public IterationOutput {
 public:
  MemoryOutput(Written& written, std::function<PointAction()> check)
      : written_(written), check_(std::move(check)) {}
  bool TimeCourseOpen() const override { return true; }
  bool SteadyStateOpen() const override { return true; }
  void TimeCourse(std::string_view text) override { written_.timeCourse += text; }
  void SteadyState(std::string_view text) override { written_.steadyState += text; }
  void Report(std::string_view section) override { written_.report += section; }
  PointAction CheckPauseStop(Engine&) override { return check_(); }

 private:
  Written& written_;
  std::function<PointAction()> check_;
};

// S -> A -> B -> P, Michaelis-Menten, with a short time course, the steady
// state with stability and control analysis in the report, and [P]i (read
// by nothing) following [A]ss of the point before through a link.
Document ScanDocument() {
  Document d;
  d.model = LinearMichaelisMenten();
  TaskSettings& s = d.settings;
  s.dynamics = 1;
  s.steadyState = 1;
  s.report = 1;
  s.reportStabilityAnalysis = 1;
  s.reportMca = 1;
  s.endTime = 1.0;
  s.points = 3;
  s.dynamicsData.titles = 1;
  s.sleepTime = 0;
  d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kTransientConcentration, "A")};
  d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "B"),
                              MakeOutputItem(kSteadyStateFlux, "E3"),
                              MakeOutputItem(kInitialConcentration, "P"),
                              MakeOutputItem(kMaxRealPart),
                              MakeOutputItem(kFluxControl, "E3", "E1")};
  ParameterLink link;
  link.target = MakeOutputItem(kInitialConcentration, "P");
  link.source = MakeOutputItem(kSteadyStateConcentration, "A");
  d.links = {link};
  d.scan.enabled = 1;
  return d;
}

ScanItem Item(OutputItem quantity, int grid, double min, double max, int density, int log = 0,
              bool master = true) {
  ScanItem item(quantity);
  item.grid = grid;
  item.min = min;
  item.max = max;
  item.density = density;
  item.log = log;
  item.independent = master ? 1 : 0;
  return item;
}

OutputItem Constant(const char* step, const char* name) {
  return MakeOutputItem(kKineticConstant, step, name);
}

// Adds an output function of [B]ss, with random terms when asked, to the
// steady-state file.
void AddFunction(Document& d, bool random) {
  OutputFunction f("f", random ? "a*rand(1)+gauss(2)" : "2*a");
  EXPECT_EQ(f.Parse(), 0);
  f.items().at(0) = MakeOutputItem(kSteadyStateConcentration, "B");
  d.functions = {f};
  d.selections.steadyState.push_back(MakeOutputItem(kUserFunction, "f"));
}

// Runs the document's scan in memory: on one thread as a run without
// threads does (jobs 0 and no remotes), or through the parallel scan;
// `stopAt` stops it at that pause-and-stop check.
Written RunScan(Document d, int jobs, int chunkPoints = 0, int stopAt = -1,
                std::vector<ChunkChannel*> remotes = {}) {
  Written written;
  int checks = 0;
  auto check = [&] { return checks++ == stopAt ? PointAction::kStop : PointAction::kContinue; };
  MemoryOutput output(written, check);
  RandomGenerator random(77u);
  d.engine.Allocate(d.model);
  RebindDocumentItems(d, true);
  if (jobs == 0 && remotes.empty()) {
    ScanCallbacks callbacks;
    callbacks.runIteration = [&] { return RunTaskIteration(d, random, output); };
    callbacks.separateTimeCourse = [&](std::string_view s) { written.timeCourse += s; };
    callbacks.separateSteadyState = [&](std::string_view s) { written.steadyState += s; };
    ScanDriver(d.scan.items, random, d.engine, nullptr, std::move(callbacks)).Run();
  } else {
    ScanProgress progress(d.engine, nullptr);
    ScanRun run{d,
                random,
                output,
                [&](std::string_view s) { written.timeCourse += s; },
                [&](std::string_view s) { written.steadyState += s; },
                progress,
                [&](const std::function<void(bool)>&) { return check(); }};
    ParallelScanOptions options;
    options.jobs = jobs;
    options.chunkPoints = chunkPoints;
    options.remotes = std::move(remotes);
    RunParallelScan(run, options);
  }
  written.errorLog = d.engine.errorLog;
  return written;
}

struct ScanCase {
  const char* name;
  std::function<void(Document&)> setUp;
};

const std::vector<ScanCase>& Cases() {
  static const std::vector<ScanCase> cases = {
      {"TwoLevelGridWithFollower",
       [](Document& d) {
         d.scan.items = {Item(Constant("E1", "V"), kScanRegularGrid, 0.5, 3.0, 5),
                         Item(Constant("E2", "Km"), kScanRegularGrid, 0.1, 10.0, 4, 1),
                         Item(Constant("E3", "Km"), kScanRegularGrid, 1.0, 5.0, 0, 0, false)};
       }},
      {"LogarithmicGrid",
       [](Document& d) {
         d.scan.items = {Item(Constant("E2", "V"), kScanRegularGrid, 0.01, 100.0, 20, 1)};
       }},
      {"UniformWithLogUniformFollowerOverGrid",
       [](Document& d) {
         d.scan.items = {Item(Constant("E1", "V"), kScanUniform, 0.5, 2.5, 6),
                         Item(Constant("E2", "Km"), kScanUniform, 0.1, 10.0, 0, 1, false),
                         Item(MakeOutputItem(kInitialConcentration, "S"), kScanRegularGrid, 0.5,
                              2.0, 3)};
       }},
      // E3 slower than the supply leaves B without a steady state: failures
      // fall between the points that find one.
      {"NormalWithFailedSteadyStates",
       [](Document& d) {
         d.scan.items = {Item(Constant("E3", "V"), kScanNormal, 1.5, 1.0, 24)};
       }},
      {"PositiveNormalWithLogNormalFollowerInsideRandomOuterLoop",
       [](Document& d) {
         d.scan.items = {Item(Constant("E3", "V"), kScanPositiveNormal, 1.5, 1.0, 6),
                         Item(Constant("E2", "Km"), kScanNormal, 1.0, 0.5, 0, 1, false),
                         Item(Constant("E1", "Km"), kScanUniform, 0.2, 1.0, 3)};
       }},
  };
  return cases;
}

TEST(RunControlParallelScan, EveryScanKindWritesWhatOneThreadWrites) {
  for (const ScanCase& c : Cases()) {
    for (bool randomFunction : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (randomFunction ? " with random terms" : ""));
      Document d = ScanDocument();
      c.setUp(d);
      AddFunction(d, randomFunction);
      const Written serial = RunScan(d, 0);
      ASSERT_FALSE(serial.steadyState.empty());
      EXPECT_EQ(RunScan(d, 3, 3), serial);
    }
  }
}

// A scanned global quantity reaches a step through the rules: E1's V
// follows q, whose rate rule q' = vmax - q drives it to the scanned vmax.
// Every point runs its own rules over its own copy of the model, so the
// threads write what one thread writes, and the rule variable changes the
// steady state from point to point.
TEST(RunControlParallelScan, ARunWithRulesWritesWhatOneThreadWrites) {
  Document d = ScanDocument();
  d.model.globalQuantities = {{"vmax", 1.0}, {"q", 0.5}};
  d.model.rules = {
      Rule{RuleKind::kAssignment, RuleTarget{RuleTargetKind::kKineticConstant, "E1", "V"}, "q"},
      Rule{RuleKind::kRate, RuleTarget{RuleTargetKind::kGlobalQuantity, "q", {}}, "vmax-q"}};
  d.scan.items = {Item(MakeOutputItem(kGlobalQuantity, "vmax"), kScanRegularGrid, 0.5, 2.0, 7)};
  d.selections.timeCourse.push_back(MakeOutputItem(kCurrentGlobalQuantity, "q"));
  const Written serial = RunScan(d, 0);
  ASSERT_FALSE(serial.steadyState.empty());
  EXPECT_EQ(serial.errorLog, "");
  std::vector<std::string> rows;
  std::stringstream lines(serial.steadyState);
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_GE(rows.size(), 7u);
  EXPECT_NE(rows.front(), rows.back());
  EXPECT_EQ(RunScan(d, 3, 2), serial);
}

// The failures are really in the middle: some rows found a steady state and
// some did not, and the serial run is not a constant text.
TEST(RunControlParallelScan, TheFailingScanMixesFoundAndFailedSteadyStates) {
  Document d = ScanDocument();
  Cases()[3].setUp(d);
  const Written serial = RunScan(d, 0);
  EXPECT_NE(serial.report.find("A steady state could not be found."), std::string::npos);
  EXPECT_NE(serial.report.find("STEADY STATE"), std::string::npos);
}

TEST(RunControlParallelScan, AStopInTheMiddleLeavesAPrefixOfTheSerialFiles) {
  for (bool randomFunction : {false, true}) {
    Document d = ScanDocument();
    Cases()[0].setUp(d);
    AddFunction(d, randomFunction);
    const Written serial = RunScan(d, 0);
    for (int stopAt : {0, 7, 20}) {
      SCOPED_TRACE(stopAt);
      const Written stopped = RunScan(d, 3, 4, stopAt);
      EXPECT_TRUE(stopped.IsPrefixOf(serial));
      EXPECT_LT(stopped.steadyState.size(), serial.steadyState.size());
      if (stopAt > 0) {
        EXPECT_FALSE(stopped.steadyState.empty());
      }
    }
  }
}

// A scan whose items are all masters nests its loops 100000 deep; on one
// thread and on several it runs without deepening the stack, and a stop
// leaves the same beginning of the files.
TEST(RunControlParallelScan, AHundredThousandMastersRunAndStopOnAnyNumberOfThreads) {
  Document d = ScanDocument();
  d.settings.reportStabilityAnalysis = 0;
  d.settings.reportMca = 0;
  const OutputItem constants[] = {Constant("E1", "V"), Constant("E2", "V"), Constant("E3", "V")};
  for (int k = 0; k < 100000; ++k) {
    d.scan.items.push_back(Item(constants[k % 3], kScanRegularGrid, 1.0, 2.0, 2));
  }
  // The serial run checks at each of the 3 output points of a time course.
  const Written serial = RunScan(d, 0, 0, 3 * 40);
  const Written parallel = RunScan(d, 2, 8, 10);
  EXPECT_FALSE(parallel.steadyState.empty());
  EXPECT_TRUE(parallel.IsPrefixOf(serial));
  EXPECT_LT(parallel.steadyState.size(), serial.steadyState.size());
}

// Another process's side, in this one: a service over its own copy of the
// document as it was before the run, answering through the same bytes.
class LoopbackChannel : public ChunkChannel {
 public:
  explicit LoopbackChannel(const Document& original, bool fails = false)
      : document_(original), fails_(fails) {
    EXPECT_TRUE(ChunkService::Prepare(document_));
    service_ = std::make_unique<ChunkService>(document_);
  }
  std::optional<std::string> Solve(const std::string& request) override {
    ++requests;
    if (fails_) return std::nullopt;
    return service_->Solve(request);
  }
  int requests = 0;

 private:
  Document document_;
  std::unique_ptr<ChunkService> service_;
  bool fails_;
};

// Chunks solved by other processes, one of which fails at its first chunk,
// and none by threads of this one: the same texts.
TEST(RunControlParallelScan, ChunksSolvedElsewhereWriteWhatOneThreadWrites) {
  for (bool randomFunction : {false, true}) {
    Document d = ScanDocument();
    Cases()[2].setUp(d);
    AddFunction(d, randomFunction);
    const Written serial = RunScan(d, 0);
    LoopbackChannel first(d), second(d), failing(d, true);
    EXPECT_EQ(RunScan(d, 0, 2, -1, {&first, &failing, &second}), serial);
    EXPECT_GT(first.requests + second.requests, 2);
    EXPECT_EQ(failing.requests, 1);
  }
}

// Through the run controller: the data files and the report (but for its
// date) of --jobs 1 and --jobs 3 are the same bytes.
TEST(RunControlParallelScan, TheRunsFilesAreTheSameForAnyNumberOfThreads) {
  auto run = [](int jobs) {
    TemporaryFolder folder;
    Document d = ScanDocument();
    Cases()[2].setUp(d);
    AddFunction(d, true);
    d.pathName = folder.folder() + "model.vrn";
    d.folder = folder.folder();
    d.settings.dynamicsData.file = "run.dyn";
    d.settings.steadyStateData.file = "run.ss";
    RandomGenerator random(5u);
    RecordingSink sink;
    HeadlessRunOptions options;
    options.jobs = jobs;
    const HeadlessRunResult result = RunDocumentToEnd(d, random, sink, options);
    EXPECT_EQ(result.outcome, RunOutcome::kFinished);
    std::vector<std::string> report = ReadLines(folder / "model.txt");
    EXPECT_GT(report.size(), 4u);
    report.erase(report.begin(), report.begin() + 4);  // the banner with the date
    return std::vector<std::string>{ReadText(folder / "run.dyn"), ReadText(folder / "run.ss"),
                                    JoinLines(report), result.errorLog};
  };
  const std::vector<std::string> serial = run(1);
  EXPECT_FALSE(serial[1].empty());
  EXPECT_EQ(run(3), serial);
}

}  // namespace
}  // namespace vireon::test
