// Whole runs of small models through the run controller: what a run writes
// (report, data files), what it refuses, how it restores scanned and linked
// quantities, and how its guarded parts log faults and go on.

#include "document/run_control.h"
#include "rules/rule_order.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <new>

#include "document/headless_run.h"
#include "engine/random.h"
#include "kinetics/arithmetic_fault.h"
#include "kinetics/kinetic_type.h"
#include "model/message_sink.h"
#include "model/messages.h"
#include "model/structural_analysis.h"
#include "output/output_item.h"
#include "run_test_support.h"
#include "support/expect_close.h"
#include "support/kinetic_models.h"
#include "support/reference_models.h"

namespace vireon::test {
namespace {

constexpr double kRowTolerance = 1e-5;  // relative, for values read back from data files

// S -> X -> P with k1 = 2, k2 = 0.5, [S] = 1: [X](t) = 4 (1 - exp(-t / 2)), [X]ss = 4.
constexpr const TwoStepChain& kChain = kTwoStepChain;

// Report sections in the order a run writes them.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts) {
  std::size_t at = 0;
  for (const std::string& part : parts) {
    const std::size_t found = text.find(part, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << part;
    at = found + part.size();
  }
}

class RunControlTest : public ::testing::Test {
 protected:
  Document NewDocument() { return MakeDocument(kChain.Build(), folder_); }

  TemporaryFolder folder_;
  RandomGenerator random_{12345u};
  RecordingSink sink_;
};

TEST_F(RunControlTest, AWholeRunWritesTheReportAndBothDataFiles) {
  Document d = NewDocument();
  TaskSettings& s = d.settings;
  s.dynamics = 1;
  s.steadyState = 1;
  s.report = 1;
  s.reportStructuralAnalysis = 1;
  s.reportStabilityAnalysis = 1;
  s.reportMca = 1;
  s.endTime = 10.0;
  s.points = 20;
  s.dynamicsData.file = "run.dyn";
  s.steadyStateData.file = "run.ss";
  s.dynamicsData.titles = 1;
  s.steadyStateData.titles = 1;
  d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kTransientConcentration, "X")};
  d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X"),
                              MakeOutputItem(kSteadyStateFlux, "R1")};

  CountingObserver observer;
  HeadlessRunOptions options;
  options.observer = &observer;
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_, options);

  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");
  EXPECT_EQ(result.iterations, 1);
  EXPECT_EQ(observer.starting, 1);
  EXPECT_EQ(observer.finished, 1);
  EXPECT_EQ(observer.stopped, 0);
  EXPECT_TRUE(sink_.messages().empty());

  // The report is named after the model file.
  EXPECT_EQ(d.settings.reportFile, folder_.folder() + "model.txt");
  const std::string report = ReadText(folder_.path() / "model.txt");
  ExpectInOrder(report, {"Intel Pentium executable", "STRUCTURAL ANALYSIS", "KINETIC PARAMETERS",
                         "RESULTS OF INTEGRATION", "STEADY STATE SOLUTION",
                         "KINETIC STABILITY ANALYSIS", "METABOLIC CONTROL ANALYSIS"});

  const std::vector<std::string> dyn = ReadLines(folder_.path() / "run.dyn");
  ASSERT_EQ(dyn.size(), 22u);  // titles and the points 0 ... 20
  EXPECT_NE(dyn[0].find("[X]t"), std::string::npos);
  for (std::size_t row = 1; row < dyn.size(); ++row) {
    const std::vector<double> values = ParseRow(dyn[row]);
    ASSERT_EQ(values.size(), 2u) << dyn[row];
    EXPECT_CLOSE(values[0], 0.5 * (row - 1), 1e-12, 1e-9);
    EXPECT_CLOSE(values[1], kChain.X(values[0]), 1e-6, kRowTolerance);
  }

  const std::vector<std::string> ss = ReadLines(folder_.path() / "run.ss");
  ASSERT_EQ(ss.size(), 2u);
  const std::vector<double> row = ParseRow(ss[1]);
  ASSERT_EQ(row.size(), 2u);
  EXPECT_NEAR_REL(row[0], kChain.SteadyX(), kRowTolerance);
  EXPECT_NEAR_REL(row[1], kChain.Flux(), kRowTolerance);

  // The engine's arrays live for the run only.
  EXPECT_FALSE(d.engine.allocated());
}

TEST_F(RunControlTest, WithTheScanOffOneIterationRuns) {
  Document d = NewDocument();
  d.settings.steadyState = 1;
  RunController controller(d, random_);
  SynchronousObserver acknowledging(controller);
  controller.SetObserver(&acknowledging);
  ASSERT_TRUE(controller.StartRun(sink_));
  controller.Wait();
  EXPECT_EQ(controller.outcome(), RunOutcome::kFinished);
  EXPECT_EQ(d.engine.iteration, 1);
  EXPECT_FALSE(controller.IsBusy());
  EXPECT_EQ(controller.progressText(), "");
  EXPECT_NEAR_REL(d.model.metabolites[d.model.FindMetabolite("X")].concentration, kChain.SteadyX(),
                  1e-6);
}

TEST_F(RunControlTest, AModelNeverSavedKeepsItsReportFileName) {
  Document d = NewDocument();
  d.pathName.clear();
  d.settings.report = 1;
  d.settings.steadyState = 1;
  d.settings.reportFile = folder_.folder() + "simulation.txt";
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(d.settings.reportFile, folder_.folder() + "simulation.txt");
  EXPECT_NE(ReadText(folder_.path() / "simulation.txt").find("STEADY STATE SOLUTION"),
            std::string::npos);
}

TEST_F(RunControlTest, AModelWithoutStepsNeverStartsAndSaysWhy) {
  Document d = MakeDocument(Model(), folder_);
  d.settings.report = 1;
  CountingObserver observer;
  bool saved = false;
  RunController controller(d, random_);
  controller.SetObserver(&observer);
  EXPECT_FALSE(controller.StartRun(sink_, [&saved] { return saved = true; }));
  EXPECT_FALSE(saved);
  EXPECT_FALSE(controller.IsBusy());
  EXPECT_EQ(controller.outcome(), RunOutcome::kNotStarted);
  ASSERT_EQ(sink_.messages().size(), 1u);
  EXPECT_EQ(sink_.messages()[0].kind, RecordingSink::Kind::kWarning);
  EXPECT_EQ(sink_.messages()[0].text,
            "You have not yet defined a model.\nA model must at least include one step.");
  EXPECT_EQ(observer.starting, 0);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "model.txt"));

  // The headless entry says the same and reports that nothing ran.
  sink_.Clear();
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kNotStarted);
  EXPECT_TRUE(sink_.Said(messages::kNoModelDefined));
}

TEST_F(RunControlTest, AStepWhoseRateCannotBeEvaluatedIsNamedAndNothingStarts) {
  Document d = NewDocument();
  d.settings.steadyState = 1;
  d.model.steps[d.model.FindStep("R2")].constants.clear();
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kNotStarted);
  ASSERT_EQ(sink_.messages().size(), 1u);
  EXPECT_NE(sink_.messages()[0].text.find("step R2 "), std::string::npos)
      << sink_.messages()[0].text;
}

TEST_F(RunControlTest, AModelThatWasNotAnalysedIsRefused) {
  Document d = NewDocument();
  d.model.metaboliteOrder.clear();
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kNotStarted);
  EXPECT_TRUE(sink_.Said(kModelNotAnalysed));
}

TEST_F(RunControlTest, AModelWhoseRulesReadEachOtherIsRefusedNamingThem) {
  Document d = NewDocument();
  d.model.globalQuantities = {{"k", 1.0}, {"q", 1.0}};
  const auto rule = [](const char* target, const char* expression) {
    return Rule{RuleKind::kAssignment, RuleTarget{RuleTargetKind::kGlobalQuantity, target, {}},
                expression};
  };
  d.model.rules = {rule("k", "2*q"), rule("q", "k+time")};
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kNotStarted);
  EXPECT_TRUE(sink_.Said(CheckRules(d.model).message));
  EXPECT_NE(CheckRules(d.model).message.find("k"), std::string::npos);
}

// R2 consumes X twice over by a rule: X' = k1 [S] - 2 k2 X, so
// X(t) = (k1 [S] / (2 k2)) (1 - exp(-2 k2 t)). The time course follows the
// rule; a steady state, which would need the conservation relations the rule
// breaks, is refused before anything starts.
TEST_F(RunControlTest, AStoichiometryRuleRunsItsTimeCourseAndRefusesASteadyState) {
  Document d = NewDocument();
  d.model.rules = {
      Rule{RuleKind::kAssignment, RuleTarget{RuleTargetKind::kStoichiometry, "R2", "X"}, "-2"}};
  StructuralAnalysis(d.model);
  d.settings.dynamics = 1;
  d.settings.steadyState = 1;
  d.settings.endTime = 10.0;
  d.settings.points = 20;
  d.settings.dynamicsData.file = "run.dyn";
  d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kTransientConcentration, "X")};
  HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kNotStarted);
  EXPECT_TRUE(sink_.Said(kStoichiometryRulesSteadyState));

  d.settings.steadyState = 0;
  result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  const std::vector<std::string> dyn = ReadLines(folder_.path() / "run.dyn");
  ASSERT_EQ(dyn.size(), 21u);  // the points 0 ... 20
  for (const std::string& line : dyn) {
    const std::vector<double> values = ParseRow(line);
    ASSERT_EQ(values.size(), 2u) << line;
    const double steady = kChain.k1 * kChain.s / (2 * kChain.k2);
    EXPECT_CLOSE(values[1], steady * (1 - std::exp(-2 * kChain.k2 * values[0])), 1e-6,
                 kRowTolerance);
  }
}

// R2 (X -> P, P fixed) at equilibrium at every moment holds X at 0 while
// R1 feeds it. The steady state of a model with fast steps is refused
// before anything starts; the time course runs.
TEST_F(RunControlTest, AFastStepRunsItsTimeCourseAndRefusesASteadyState) {
  Document d = NewDocument();
  d.model.steps[static_cast<std::size_t>(d.model.FindStep("R2"))].fast = true;
  d.settings.dynamics = 1;
  d.settings.steadyState = 1;
  d.settings.endTime = 10.0;
  d.settings.points = 20;
  d.settings.dynamicsData.file = "run.dyn";
  d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kTransientConcentration, "X")};
  HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kNotStarted);
  EXPECT_TRUE(sink_.Said(kFastStepsSteadyState));

  d.settings.steadyState = 0;
  result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_TRUE(d.engine.errorLog.empty()) << d.engine.errorLog;
  const std::vector<std::string> dyn = ReadLines(folder_.path() / "run.dyn");
  ASSERT_EQ(dyn.size(), 21u);  // the points 0 ... 20
  for (const std::string& line : dyn) {
    const std::vector<double> values = ParseRow(line);
    ASSERT_EQ(values.size(), 2u) << line;
    EXPECT_CLOSE(values[1], 0.0, 1e-12, kRowTolerance) << line;
  }
}

TEST_F(RunControlTest, TheModelIsSavedBeforeTheRunAndAFailedSaveStartsNothing) {
  Document d = NewDocument();
  d.settings.steadyState = 1;
  RunController controller(d, random_);
  SynchronousObserver acknowledging(controller);
  controller.SetObserver(&acknowledging);

  int saves = 0;
  EXPECT_FALSE(controller.StartRun(sink_, [&saves] {
    ++saves;
    return false;
  }));
  EXPECT_EQ(saves, 1);
  EXPECT_FALSE(controller.IsBusy());
  EXPECT_EQ(d.engine.iteration, 0);

  EXPECT_TRUE(controller.StartRun(sink_, [&saves] {
    ++saves;
    return true;
  }));
  controller.Wait();
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(d.engine.iteration, 1);
}

TEST_F(RunControlTest, ADataFileThatCannotBeCreatedIsLoggedAndTheRunGoesOn) {
  Document d = NewDocument();
  d.settings.dynamics = 1;
  d.settings.steadyState = 1;
  d.settings.report = 1;
  d.settings.dynamicsData.file = "no_such_folder/run.dyn";
  d.settings.steadyStateData.file = "run.ss";
  d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X")};

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);

  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_NE(result.errorLog.find("no_such_folder/run.dyn"), std::string::npos) << result.errorLog;
  EXPECT_EQ(result.iterations, 1);
  ExpectInOrder(ReadText(folder_.path() / "model.txt"),
                {"RESULTS OF INTEGRATION", "STEADY STATE SOLUTION"});
  const std::vector<std::string> ss = ReadLines(folder_.path() / "run.ss");
  ASSERT_EQ(ss.size(), 1u);
  EXPECT_NEAR_REL(ParseRow(ss[0]).at(0), kChain.SteadyX(), kRowTolerance);
}

TEST_F(RunControlTest, ScannedAndLinkedQuantitiesGetTheirValuesBackAfterTheRun) {
  Document d = NewDocument();
  d.settings.steadyState = 1;
  d.settings.steadyStateData.file = "scan.ss";
  d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X"),
                              MakeOutputItem(kKineticConstant, "R1", "k"),
                              MakeOutputItem(kKineticConstant, "R2", "k")};
  // k1 takes 1, 2, 3; the link makes k2 = k1 / 2, so [X]ss = k1 [S] / k2 = 2 throughout.
  ScanItem k1(MakeOutputItem(kKineticConstant, "R1", "k"));
  k1.min = 1.0;
  k1.max = 3.0;
  k1.density = 3;
  d.scan.enabled = 1;
  d.scan.items = {k1};
  ParameterLink link;
  link.target = MakeOutputItem(kKineticConstant, "R2", "k");
  link.source = MakeOutputItem(kKineticConstant, "R1", "k");
  link.constant = 0.5;
  d.links = {link};

  std::vector<int> progress;
  int total = 0;
  HeadlessRunOptions options;
  options.progress = [&](int iteration, int totalIterations, std::string_view) {
    progress.push_back(iteration);
    total = totalIterations;
  };
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_, options);

  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, "");
  EXPECT_EQ(result.iterations, 3);
  EXPECT_EQ(total, 3);
  // The first point always reports its progress, before any iteration completed.
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress[0], 0);

  const std::vector<std::string> ss = ReadLines(folder_.path() / "scan.ss");
  ASSERT_EQ(ss.size(), 3u);  // a one-dimensional scan gives a plain table
  for (int i = 0; i < 3; ++i) {
    const std::vector<double> row = ParseRow(ss[i]);
    ASSERT_EQ(row.size(), 3u) << ss[i];
    EXPECT_NEAR_REL(row[0], (TwoStepChain{.k1 = 1.0 + i, .k2 = 0.5 * (1.0 + i)}.SteadyX()),
                    kRowTolerance);
    EXPECT_NEAR_REL(row[1], 1.0 + i, kRowTolerance);
    EXPECT_NEAR_REL(row[2], 0.5 * (1.0 + i), kRowTolerance);
  }

  EXPECT_EQ(d.model.steps[d.model.FindStep("R1")].constants[0], kChain.k1);
  EXPECT_EQ(d.model.steps[d.model.FindStep("R2")].constants[0], kChain.k2);
  // No item keeps pointing into the run's data.
  EXPECT_EQ(d.scan.items[0].value, nullptr);
  EXPECT_EQ(d.links[0].target.value, nullptr);
  EXPECT_EQ(d.selections.steadyState[0].value, nullptr);
}

TEST_F(RunControlTest, AScanWithoutItemsRunsNoIteration) {
  Document d = NewDocument();
  d.settings.steadyState = 1;
  d.scan.enabled = 1;
  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.iterations, 0);
}

// A rate law that faults at a chosen evaluation and otherwise is mass action.
std::atomic<int> gRateCalls{0};
std::atomic<int> gFaultAtCall{0};
std::atomic<bool> gFaultIsMemory{false};

std::atomic<bool> gInfiniteRate{false};

std::atomic<ArithmeticFaultKind> gFaultKind{ArithmeticFaultKind::kDivideByZero};

double FaultingRate(const Model& model, const double* x, int step) {
  if (gInfiniteRate.load()) return HUGE_VAL;
  if (++gRateCalls == gFaultAtCall.load()) {
    if (gFaultIsMemory.load()) throw std::bad_alloc();
    throw ArithmeticFault(gFaultKind.load());
  }
  return BuiltInCatalogue().Find("Mass action (irreversible)")->rate(model, x, step);
}

class RunControlGuardTest : public RunControlTest {
 protected:
  RunControlGuardTest() : faulting_("Faulting mass action", -1, -1, 0, 1, FaultingRate, 0) {
    faulting_.SetConstantName("k", 0);
    gRateCalls = 0;
    gFaultAtCall = 0;
    gFaultIsMemory = false;
    gInfiniteRate = false;
    gFaultKind = ArithmeticFaultKind::kDivideByZero;
  }

  Document FaultingDocument() {
    Document d = NewDocument();
    Step& r1 = d.model.steps[d.model.FindStep("R1")];
    r1.kineticType = &faulting_;
    r1.kineticTypeName = faulting_.name;
    d.settings.report = 1;
    d.settings.steadyStateData.file = "run.ss";
    d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X")};
    return d;
  }

  KineticType faulting_;
};

TEST_F(RunControlGuardTest, AFaultInTheTimeCourseIsLoggedAndTheSteadyStateStillRuns) {
  Document d = FaultingDocument();
  d.settings.dynamics = 1;
  d.settings.steadyState = 1;
  gFaultAtCall = 10;  // inside the integration

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);

  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog,
            "Error in calculation of time course:\r\nfloating point division by zero\r\n");
  EXPECT_GT(gRateCalls.load(), 10);
  EXPECT_EQ(result.iterations, 1);
  const std::string report = ReadText(folder_.path() / "model.txt");
  EXPECT_EQ(report.find("RESULTS OF INTEGRATION"), std::string::npos);
  EXPECT_NE(report.find("STEADY STATE SOLUTION"), std::string::npos);
  const std::vector<std::string> ss = ReadLines(folder_.path() / "run.ss");
  ASSERT_EQ(ss.size(), 1u);
  EXPECT_NEAR_REL(ParseRow(ss[0]).at(0), kChain.SteadyX(), kRowTolerance);
}

// With the default floating-point masks an infinite rate is a value like any
// other: no guard fires, the integrator gives up and says so.
TEST_F(RunControlGuardTest, AnInfiniteRateEndsTheTimeCourseThroughTheIntegrator) {
  Document d = FaultingDocument();
  d.settings.dynamics = 1;
  gInfiniteRate = true;
  CountingObserver observer;
  HeadlessRunOptions options;
  options.observer = &observer;

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_, options);

  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog.find("Error in calculation"), std::string::npos) << result.errorLog;
  EXPECT_NE(result.errorLog.find("(LSODA)"), std::string::npos) << result.errorLog;
  EXPECT_EQ(observer.integratorErrors, 1);
  EXPECT_EQ(result.iterations, 1);
}

TEST_F(RunControlGuardTest, RunningOutOfMemoryInTheSteadyStateIsLoggedAndTheRunEnds) {
  Document d = FaultingDocument();
  d.settings.steadyState = 1;
  gFaultAtCall = 3;
  gFaultIsMemory = true;

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);

  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(result.errorLog, std::string(kSteadyStateErrorHeader) + kOutOfMemoryText);
  EXPECT_EQ(result.iterations, 1);
  // The fault abandoned the rest of the part: no row, no report section.
  EXPECT_TRUE(ReadLines(folder_.path() / "run.ss").empty());
  EXPECT_EQ(ReadText(folder_.path() / "model.txt").find("STEADY STATE"), std::string::npos);
}

TEST_F(RunControlGuardTest, EachIterationOfAScanHasItsOwnGuard) {
  Document d = FaultingDocument();
  d.settings.steadyState = 1;
  ScanItem s(MakeOutputItem(kInitialConcentration, "S"));
  s.min = 1.0;
  s.max = 2.0;
  s.density = 2;
  d.scan.enabled = 1;
  d.scan.items = {s};
  gFaultAtCall = 3;  // in the first point's steady state only

  const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);

  EXPECT_EQ(result.errorLog,
            "Error in calculation of steady state:\r\nfloating point division by zero\r\n");
  EXPECT_EQ(result.iterations, 2);
  const std::vector<std::string> ss = ReadLines(folder_.path() / "run.ss");
  ASSERT_EQ(ss.size(), 1u);  // the second point's row
  EXPECT_NEAR_REL(ParseRow(ss[0]).at(0), TwoStepChain{.s = 2.0}.SteadyX(), kRowTolerance);
  EXPECT_EQ(d.model.metabolites[d.model.FindMetabolite("S")].initialConcentration, kChain.s);
}

TEST_F(RunControlGuardTest, EveryFaultKindReachesTheErrorLogWithItsText) {
  const std::pair<ArithmeticFaultKind, const char*> table[] = {
      {ArithmeticFaultKind::kDenormalOperand, "floating point denormal operand\r\n"},
      {ArithmeticFaultKind::kDivideByZero, "floating point division by zero\r\n"},
      {ArithmeticFaultKind::kInexactResult, "floating point inexact result\r\n"},
      {ArithmeticFaultKind::kInvalidOperation, "floating point invalid operation\r\n"},
      {ArithmeticFaultKind::kOverflow, "floating point overflow\r\n"},
      {ArithmeticFaultKind::kStackCheck, "floating point stack check\r\n"},
      {ArithmeticFaultKind::kUnderflow, "floating point underflow\r\n"},
      {ArithmeticFaultKind::kIntegerDivideByZero, "integer division by zero\r\n"},
      {ArithmeticFaultKind::kIntegerOverflow, "integer overflow\r\n"},
  };
  for (const auto& [kind, text] : table) {
    SCOPED_TRACE(text);
    Document d = FaultingDocument();
    d.settings.steadyState = 1;
    gRateCalls = 0;
    gFaultAtCall = 3;
    gFaultKind = kind;
    const HeadlessRunResult result = RunDocumentToEnd(d, random_, sink_);
    EXPECT_EQ(result.outcome, RunOutcome::kFinished);
    EXPECT_EQ(result.errorLog, std::string(kSteadyStateErrorHeader) + text);
  }
}

}  // namespace
}  // namespace vireon::test
