#include "document/run_control.h"

#include <cstdio>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "document/parallel_scan.h"
#include "engine/cvode_integrator.h"
#include "engine/engine.h"
#include "fit/fit_report.h"
#include "kinetics/kinetic_binding.h"
#include "model/message_sink.h"
#include "model/messages.h"
#include "output/output_file_names.h"
#include "output/report.h"
#include "rules/event_check.h"
#include "rules/rule_system.h"
#include "scan/scan.h"

namespace vireon {

namespace {

// Whether the structural analysis has sized the orders the engine indexes by.
bool IsAnalysed(const Model& model) {
  return static_cast<int>(model.metaboliteOrder.size()) == model.nMetabolites() &&
         static_cast<int>(model.metabolitePosition.size()) == model.nMetabolites() &&
         static_cast<int>(model.stepOrder.size()) == model.nSteps() &&
         static_cast<int>(model.stepPosition.size()) == model.nSteps() && model.nVariable >= 0 &&
         model.nVariable <= model.nMetabolites() && model.nIndependent >= 0 &&
         model.nIndependent <= model.nVariable;
}

// printf of a format with one "%s".
std::string FormatWithText(const char* format, const std::string& text) {
  const int n = std::snprintf(nullptr, 0, format, text.c_str());
  if (n <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
  std::snprintf(buffer.data(), buffer.size(), format, text.c_str());
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

ReportContext MakeReportContext(const Document& document,
                                const std::vector<ProtectedFile>& protectedFiles) {
  return ReportContext{document.model,
                       document.engine,
                       document.settings,
                       ReportVersionLine(messages::kVersion),
                       std::string(kPlatformLine),
                       protectedFiles};
}

}  // namespace

// Where a run on one thread puts its output: straight into the data files
// and the report, with the interactive window and the pause and stop
// requests heard through the controller.
class RunController::FileOutput : public IterationOutput {
 public:
  explicit FileOutput(RunController& run) : run_(run) {}

  bool TimeCourseOpen() const override { return run_.files_.timeCourse.IsOpen(); }
  bool SteadyStateOpen() const override { return run_.files_.steadyState.IsOpen(); }
  void TimeCourse(std::string_view text) override { run_.files_.timeCourse.Write(text); }
  void SteadyState(std::string_view text) override { run_.files_.steadyState.Write(text); }
  void Report(std::string_view section) override {
    if (!run_.reportWritten_) return;
    run_.reportWritten_ =
        AppendReportSection(MakeReportContext(run_.document_, run_.files_.protectedFiles),
                            section, run_.document_.engine.errorLog);
  }
  bool PointsShown() const override { return run_.pointsShown_; }
  // Only a run with items for the interactive window shows its points.
  void PointReady(Engine& engine) override {
    if (!engine.interactive) return;
    run_.Notify([](RunObserver& o) { o.PointReady(); }, true);
  }
  // A pace asked for since the last point takes effect from this one on.
  PointAction CheckPauseStop(Engine& engine) override {
    const int sleepTime = run_.requestedSleepTime_.exchange(-1);
    if (sleepTime >= 0) {
      run_.document_.settings.sleepTime = sleepTime;
      engine.sleepLength = sleepTime;
    }
    return run_.CheckPauseStop();
  }
  void IntegratorError(IntegratorFault fault, int istate) override {
    run_.Notify([fault, istate](RunObserver& o) { o.IntegratorError(fault, istate); }, false);
  }
  // Every execution is kept for the results; only the interactive window
  // hears of them as they happen, as it shows points.
  void EventExecuted(Engine& engine, int event, double time) override {
    run_.RecordFiring(event, time);
    if (!engine.interactive) return;
    run_.Notify([event, time](RunObserver& o) { o.EventExecuted(event, time); }, false);
  }

 private:
  RunController& run_;
};

RunController::RunController(Document& document, RandomGenerator& random)
    : document_(document), random_(random) {}

RunController::~RunController() {
  if (!thread_.joinable()) return;
  // The run may be waiting for an acknowledgement or a resume that will
  // never come: from now on it waits for nobody, and it stops at its next
  // time-course point.
  abandoned_.store(true);
  Stop();
  ackEvent_.Set();
  resumeEvent_.Set();
  thread_.join();
}

bool RunController::StartRun(MessageSink& sink, const SaveModel& save) {
  if (busy_.load()) return false;
  const Model& model = document_.model;
  if (model.nSteps() == 0 && model.rules.empty() && model.events.empty()) {
    sink.Warning(kRunMessageTitle, messages::kNoModelDefined);
    return false;
  }
  if (!IsAnalysed(model)) {
    sink.Warning(kRunMessageTitle, kModelNotAnalysed);
    return false;
  }
  if (!model.rules.empty() || !model.events.empty()) {
    // The engine follows the rules and events only as they pass their check.
    std::string problem = RuleSystem::Problem(model);
    if (problem.empty()) problem = CheckEvents(model).message;
    if (!problem.empty()) {
      sink.Warning(kRunMessageTitle, problem);
      return false;
    }
  }
  if (const std::string problem = FastStepsProblem(model); !problem.empty()) {
    sink.Warning(kRunMessageTitle, problem);
    return false;
  }
  if (document_.settings.solver.integrator == Integrator::kCvode) {
    if (const std::string problem = CvodeProblem(model); !problem.empty()) {
      sink.Warning(kRunMessageTitle, "CVODE cannot integrate this model: " + problem + ".");
      return false;
    }
  }
  if (document_.settings.steadyState != 0 && HasStoichiometryRules(model.rules)) {
    sink.Warning(kRunMessageTitle, kStoichiometryRulesSteadyState);
    return false;
  }
  if (document_.settings.steadyState != 0 && HasFastSteps(model)) {
    sink.Warning(kRunMessageTitle, kFastStepsSteadyState);
    return false;
  }
  for (int k = 0; k < model.nSteps(); ++k) {
    if (!CanEvaluateRate(model, k)) {
      sink.Warning(kRunMessageTitle, FormatWithText(kRateNotEvaluableFormat, model.steps[k].name));
      return false;
    }
  }
  if (save && !save()) return false;
  if (!LockOutputs(sink)) return false;

  // A run that has posted its end may still be leaving its thread.
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) return false;
    thread_.join();
  }
  ackEvent_.Reset();
  stopEvent_.Reset();
  pauseEvent_.Reset();
  resumeEvent_.Reset();
  {
    std::lock_guard<std::mutex> lock(controlMutex_);
    waitingForResume_ = false;
    remainingTimeText_.clear();
    firings_.clear();
    firingsLeftOut_ = 0;
  }
  requestedSleepTime_.store(-1);
  busy_.store(true);
  outcome_.store(RunOutcome::kRunning);
  try {
    thread_ = std::thread(&RunController::RunEngine, this);
  } catch (const std::system_error&) {
    outputLocks_.Release();
    busy_.store(false);
    outcome_.store(RunOutcome::kNotStarted);
    return false;
  }
  return true;
}

bool RunController::LockOutputs(MessageSink& sink) {
  const Document& d = document_;
  const TaskSettings& settings = d.settings;
  std::vector<std::string> paths;
  if (settings.report != 0) {
    paths.push_back(d.pathName.empty() ? settings.reportFile : ReportFileNameFor(d.pathName));
  }
  // A name the run refuses is never opened, so it needs no lock.
  const std::string folder = ModelFolder(d.pathName);
  if (settings.dynamics != 0 && IsPlainFileName(settings.dynamicsData.file)) {
    paths.push_back(folder + settings.dynamicsData.file);
  }
  if (settings.steadyState != 0 && IsPlainFileName(settings.steadyStateData.file)) {
    paths.push_back(folder + settings.steadyStateData.file);
  }
  std::erase_if(paths, [](const std::string& path) { return path.empty(); });
  outputLocks_.Release();
  const std::optional<OutputLocks::Refusal> refusal = outputLocks_.Take(paths);
  if (!refusal) return true;
  const std::string name = PrintableName(refusal->path);
  const std::string holder = LockHolderText(refusal->holder);
  const int n = std::snprintf(nullptr, 0, kOutputInUseFormat, name.c_str(), holder.c_str());
  std::vector<char> buffer(static_cast<std::size_t>(n > 0 ? n : 0) + 1);
  std::snprintf(buffer.data(), buffer.size(), kOutputInUseFormat, name.c_str(), holder.c_str());
  sink.Warning(kRunMessageTitle, buffer.data());
  return false;
}

void RunController::Acknowledge() {
  ackEvent_.Set();
}

void RunController::Pause() {
  pauseEvent_.Set();
}

void RunController::Resume(int sleepTime) {
  std::lock_guard<std::mutex> lock(controlMutex_);
  if (!waitingForResume_) {
    pauseEvent_.Reset();
    return;
  }
  // The run thread is blocked until resumeEvent is set: the engine's data
  // may be written now.
  const Model& model = document_.model;
  EngineState& state = document_.engine;
  for (int p = 1; p <= model.nMetabolites() && p < static_cast<int>(state.amounts.size()); ++p) {
    const int m = model.metaboliteOrder[p - 1];
    state.amounts[p] = model.metabolites[m].concentration * model.VolumeOf(m);
  }
  if (sleepTime >= 0) document_.settings.sleepTime = sleepTime;
  waitingForResume_ = false;
  resumeEvent_.Set();
}

void RunController::Stop() {
  std::lock_guard<std::mutex> lock(controlMutex_);
  stopEvent_.Set();
  if (waitingForResume_) {
    waitingForResume_ = false;
    resumeEvent_.Set();
  }
}

void RunController::SetSleepTime(int sleepTime) {
  if (sleepTime >= 0) requestedSleepTime_.store(sleepTime);
}

bool RunController::IsPaused() const {
  std::lock_guard<std::mutex> lock(controlMutex_);
  return waitingForResume_;
}

void RunController::Wait() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

std::string RunController::progressText() const {
  std::lock_guard<std::mutex> lock(controlMutex_);
  return progressText_;
}

std::string RunController::remainingTimeText() const {
  std::lock_guard<std::mutex> lock(controlMutex_);
  return remainingTimeText_;
}

void RunController::SetProgressText(std::string text) {
  std::lock_guard<std::mutex> lock(controlMutex_);
  progressText_ = std::move(text);
}

template <class Call>
void RunController::Notify(Call call, bool waitForAcknowledgement) {
  if (observer_ == nullptr) return;
  call(*observer_);
  if (waitForAcknowledgement) WaitForAcknowledgement();
}

void RunController::WaitForAcknowledgement() {
  if (abandoned_.load()) return;
  ackEvent_.Wait();
}

bool RunController::AllocateEngine() {
  try {
    document_.engine.Allocate(document_.model);
  } catch (const std::bad_alloc&) {
    document_.engine.Free();
    return false;
  }
  return true;
}

void RunController::FreeEngine() {
  document_.engine.Free();
}

// The run thread's body: see the steps in the header. A stop request ends
// the task iteration at a time-course point; anything that escapes a task
// iteration ends the run with a line in the error log, so that no exception
// leaves the thread.
void RunController::RecordFiring(int event, double time) {
  std::lock_guard<std::mutex> lock(controlMutex_);
  if (firings_.size() < kMaxRecordedFirings) {
    firings_.push_back({event, time});
  } else {
    ++firingsLeftOut_;
  }
}

void RunController::RunEngine() {
  Document& d = document_;
  EngineState& state = d.engine;
  TaskSettings& settings = d.settings;
  RunOutcome outcome = RunOutcome::kFinished;

  SetProgressText(kProgressWait);
  Notify([](RunObserver& o) { o.RunStarting(); }, true);

  try {
    state.errorLog.clear();
    if (!d.pathName.empty()) settings.reportFile = ReportFileNameFor(d.pathName);
    files_.Open(settings, d.pathName, settings.report != 0 ? settings.reportFile : "",
                state.errorLog);
    reportWritten_ = settings.report != 0;
    saved_.Clear();

    if (!AllocateEngine()) {
      state.errorLog += kEngineAllocationFailed;
    } else {
      RebindDocumentItems(d, true);
      saved_.RememberScanItems(d.scan.items);
      saved_.RememberLinkTargets(d.links);

      state.startTick = ScanTickMilliseconds();
      if (settings.report) {
        const ReportContext report = MakeReportContext(d, files_.protectedFiles);
        WriteReport(WriteReportHeader, report);
        if (settings.reportStructuralAnalysis) WriteReport(WriteReportStructure, report);
        // A model that stores a fit says which: `vireon fit` runs it.
        if (!d.fit.empty() && reportWritten_) {
          reportWritten_ = AppendReportSection(report, ReportFitSettingsText(d.fit), state.errorLog);
        }
      }
      WriteSSTitles(files_.steadyState, d.selections.steadyState, settings);

      state.iteration = 0;
      bool completed = true;
      if (!d.scan.enabled) {
        state.totalIterations = 1;
        completed = RunTasks();
      } else {
        completed = RunScan();
      }
      if (!completed) outcome = RunOutcome::kStopped;
    }
  } catch (const std::bad_alloc&) {
    state.errorLog += FormatWithText(kUnexpectedRunErrorFormat, "not enough memory");
  } catch (const std::exception& error) {
    state.errorLog += FormatWithText(kUnexpectedRunErrorFormat, error.what());
  }
  EndRun(outcome);
}

// Relays the scan's progress to the observer, acknowledged like the run's
// other notifications, after taking the scan's estimate of the time left.
class RunController::ScanRelay : public RunObserver {
 public:
  explicit ScanRelay(RunController& run) : run_(run) {}

  void Attach(const vireon::ScanProgress& progress) { progress_ = &progress; }

  void ScanProgress(int iteration) override {
    if (progress_ != nullptr) {
      std::lock_guard<std::mutex> lock(run_.controlMutex_);
      run_.remainingTimeText_ = progress_->remainingTimeText();
    }
    run_.Notify([iteration](RunObserver& o) { o.ScanProgress(iteration); }, true);
  }

 private:
  RunController& run_;
  const vireon::ScanProgress* progress_ = nullptr;
};

// The scan's iterations; false when a stop request ended them.
bool RunController::RunScan() {
  if ((jobs_ > 1 || !remotes_.empty()) && SerialScanReason(document_, pointsShown_).empty()) {
    return RunScanOnThreads();
  }
  bool stopped = false;
  ScanCallbacks callbacks;
  // A point without a time course hears no request while it runs (a scan
  // of steady states alone could not be stopped): pause and stop are also
  // heard between the points, as on several threads.
  callbacks.runIteration = [this, &stopped] {
    stopped = CheckPauseStop({}) == PointAction::kStop || !RunTasks();
    return !stopped;
  };
  callbacks.separateTimeCourse = [this](std::string_view s) { files_.timeCourse.Write(s); };
  callbacks.separateSteadyState = [this](std::string_view s) { files_.steadyState.Write(s); };
  ScanRelay relay(*this);
  ScanDriver driver(document_.scan.items, random_, document_.engine, &relay, std::move(callbacks));
  relay.Attach(driver.progress());
  return driver.Run() && !stopped;
}

// The scan with its points solved on jobs_ threads, writing what RunScan
// writes.
bool RunController::RunScanOnThreads() {
  FileOutput output(*this);
  ScanRelay relay(*this);
  ScanProgress progress(document_.engine, &relay);
  relay.Attach(progress);
  ScanRun run{document_,
              random_,
              output,
              [this](std::string_view s) { files_.timeCourse.Write(s); },
              [this](std::string_view s) { files_.steadyState.Write(s); },
              progress,
              [this](const std::function<void(bool)>& pausing) { return CheckPauseStop(pausing); }};
  ParallelScanOptions options;
  options.jobs = remotes_.empty() ? jobs_ : remoteLocalJobs_;
  options.remotes = remotes_;
  return RunParallelScan(run, options);
}

// One task iteration, its output going straight to the files; false when a
// stop request ended it.
bool RunController::RunTasks() {
  FileOutput output(*this);
  return RunTaskIteration(document_, random_, output);
}

// Pause: the driver learns of it and the run thread waits for Resume or
// Stop; a stop already asked for is not waited out. After a pause the
// engine restarts its integrator (the amounts may have changed); a stop
// request ends the task iteration.
PointAction RunController::CheckPauseStop(const std::function<void(bool)>& pausing) {
  bool paused = false;
  if (pauseEvent_.TryWait()) {
    paused = true;
    bool wait = false;
    {
      std::lock_guard<std::mutex> lock(controlMutex_);
      wait = !stopEvent_.IsSet() && !abandoned_.load();
      waitingForResume_ = wait;
    }
    if (pausing) pausing(true);
    Notify([](RunObserver& o) { o.Paused(); }, false);
    if (wait) resumeEvent_.Wait();
    {
      std::lock_guard<std::mutex> lock(controlMutex_);
      waitingForResume_ = false;
    }
    if (pausing) pausing(false);
    Notify([](RunObserver& o) { o.Resumed(); }, false);
  }
  if (stopEvent_.TryWait()) return PointAction::kStop;
  return paused ? PointAction::kRestart : PointAction::kContinue;
}

// A report that failed once (its folder unwritable, the disk full) is not
// tried again for every section: its one line in the error log says why.
void RunController::WriteReport(ReportWriter writer, const ReportContext& report) {
  if (!reportWritten_) return;
  reportWritten_ = writer(report, document_.engine.errorLog);
}

void RunController::EndRun(RunOutcome outcome) {
  Document& d = document_;
  files_.Close(d.engine.errorLog);
  outputLocks_.Release();
  RunOutputSummary outputs;
  outputs.planned = files_.planned;
  outputs.failed = files_.failed;
  outputs.timeCourseWritten = files_.timeCourseWritten;
  outputs.steadyStateWritten = files_.steadyStateWritten;
  if (d.settings.report != 0) {
    ++outputs.planned;
    if (!reportWritten_) ++outputs.failed;
    outputs.reportWritten = reportWritten_;
  }
  {
    std::lock_guard<std::mutex> lock(controlMutex_);
    outputs_ = outputs;
  }
  FreeEngine();
  saved_.Restore();
  saved_.Clear();
  // The items pointed into the engine's arrays, which are gone now.
  RebindDocumentItems(d, false);
  SetProgressText("");
  outcome_.store(outcome);
  busy_.store(false);
  if (outcome == RunOutcome::kStopped) {
    Notify([](RunObserver& o) { o.RunStopped(); }, false);
  } else {
    Notify([](RunObserver& o) { o.RunFinished(); }, false);
  }
}

void SynchronousObserver::RunStarting() {
  if (inner_ != nullptr) inner_->RunStarting();
  controller_.Acknowledge();
}

void SynchronousObserver::RunFinished() {
  if (inner_ != nullptr) inner_->RunFinished();
}

void SynchronousObserver::RunStopped() {
  if (inner_ != nullptr) inner_->RunStopped();
}

void SynchronousObserver::ScanProgress(int iteration) {
  if (inner_ != nullptr) inner_->ScanProgress(iteration);
  controller_.Acknowledge();
}

void SynchronousObserver::PointReady() {
  if (inner_ != nullptr) inner_->PointReady();
  controller_.Acknowledge();
}

void SynchronousObserver::IntegratorError(IntegratorFault fault, int istate) {
  if (inner_ != nullptr) inner_->IntegratorError(fault, istate);
}

void SynchronousObserver::EventExecuted(int event, double time) {
  if (inner_ != nullptr) inner_->EventExecuted(event, time);
}

void SynchronousObserver::Paused() {
  if (inner_ != nullptr) inner_->Paused();
}

void SynchronousObserver::Resumed() {
  if (inner_ != nullptr) inner_->Resumed();
}

}  // namespace vireon
