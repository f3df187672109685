#include "cli/run_command.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/mpi_job.h"
#include "cli/progress_bar.h"
#include "cli/startup.h"
#include "cli/stop_on_signal.h"
#include "document/document.h"
#include "document/model_file.h"
#include "document/run_control.h"
#include "engine/random.h"
#include "engine/run_observer.h"
#include "scan/scan_item.h"

namespace vireon::cli {
namespace {

// Shows the scan's progress; every other notification needs nothing here
// but goes on to the listener, if any.
class ProgressObserver : public RunObserver {
 public:
  ProgressObserver(ProgressBar& bar, const Document& document, RunObserver* listener)
      : bar_(bar), document_(document), listener_(listener) {}
  void RunStarting() override { Tell([](RunObserver& o) { o.RunStarting(); }); }
  void RunFinished() override { Tell([](RunObserver& o) { o.RunFinished(); }); }
  void RunStopped() override { Tell([](RunObserver& o) { o.RunStopped(); }); }
  void ScanProgress(int iteration) override {
    bar_.Update(iteration, document_.engine.totalIterations);
    Tell([iteration](RunObserver& o) { o.ScanProgress(iteration); });
  }
  void PointReady() override { Tell([](RunObserver& o) { o.PointReady(); }); }
  void IntegratorError(IntegratorFault fault, int istate) override {
    Tell([fault, istate](RunObserver& o) { o.IntegratorError(fault, istate); });
  }
  void EventExecuted(int event, double time) override {
    Tell([event, time](RunObserver& o) { o.EventExecuted(event, time); });
  }
  void Paused() override { Tell([](RunObserver& o) { o.Paused(); }); }
  void Resumed() override { Tell([](RunObserver& o) { o.Resumed(); }); }

 private:
  template <class Call>
  void Tell(Call call) {
    if (listener_ != nullptr) call(*listener_);
  }

  ProgressBar& bar_;
  const Document& document_;
  RunObserver* listener_;
};

// The error log is kept with the line ends of a text box (CR LF).
std::string WithLineFeeds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  if (!result.empty() && result.back() != '\n') result += '\n';
  return result;
}

// Names a file the run was to write when it wrote it whole; says so on
// `err` when it did not.
void PrintOutputFile(std::ostream& out, std::ostream& err, const char* label,
                     const std::string& path, bool written) {
  if (written) {
    out << label << path << "\n";
    return;
  }
  std::error_code error;
  if (std::filesystem::exists(path, error)) {
    err << "vireon: the run did not completely write " << path << "\n";
  } else {
    err << "vireon: the run wrote no " << path << "\n";
  }
}

// Whether the scan draws random values, so that the seed is worth showing.
bool ScanDrawsRandomValues(const Document& document) {
  if (document.scan.enabled == 0) return false;
  for (const ScanItem& item : document.scan.items) {
    if (item.grid == kScanUniform || item.grid == kScanNormal || item.grid == kScanPositiveNormal) {
      return true;
    }
  }
  return false;
}

}  // namespace

int RunCommand(const CommandLine& line, std::ostream& out, std::ostream& err,
               RunObserver* listener) {
  MpiJob mpi;
  if (line.mpi) {
    if (!mpi.Start(err)) return kExitFailure;
    if (!mpi.IsFirst()) return mpi.Serve(line, err);
  }
  StderrSink sink;
  Startup startup;
  if (!StartUp(line.settingsPath, line.kineticsPath, startup, sink)) return kExitFailure;
  RandomGenerator random;
  if (line.seed) random.Seed(*line.seed);

  Document document;
  if (!LoadModel(line.modelPath, startup, document, sink, err)) return kExitFailure;
  if (line.integrator) document.settings.solver.integrator = *line.integrator;
  if (document.settings.dynamics != 0 && document.settings.points == 0) {
    err << "vireon: " << line.modelPath
        << " asks for a time course without end (Points=0, which the desktop program runs until"
           " it is stopped); a batch run needs a number of points\n";
    return kExitFailure;
  }

  const bool drawProgress =
      !line.quiet && document.scan.enabled != 0 && ::isatty(STDERR_FILENO) == 1;
  ProgressBar bar(stderr, drawProgress);
  RunOutcome outcome = RunOutcome::kNotStarted;
  RunOutputSummary outputs;
  {
    RunController controller(document, random);
    ProgressObserver progress(bar, document, listener);
    SynchronousObserver acknowledging(controller, &progress);
    controller.SetObserver(&acknowledging);
    controller.SetJobs(line.jobs ? *line.jobs : ScanThreads(startup.preferences.scanThreads));
    // No interactive window here: its items do not keep a scan on one
    // thread, and the run never waits for a window or sleeps at its points.
    controller.SetPointsShown(false);
    if (line.mpi) {
      // The other processes solve the points; this one plans and writes,
      // with --jobs threads of its own beside them when asked for.
      std::ifstream model(line.modelPath, std::ios::binary);
      std::ostringstream text;
      text << model.rdbuf();
      std::vector<ChunkChannel*> remotes = mpi.ShareModel(text.str(), err);
      if (!remotes.empty()) controller.SetRemoteSolvers(std::move(remotes), line.jobs.value_or(0));
    }
    // Blocks Ctrl-C before the run thread exists, so that only the watcher
    // receives it.
    StopOnSignal stopOnSignal([&controller] { controller.Stop(); });
    // No save function: a batch run leaves the model file as it is.
    if (!controller.StartRun(sink)) {
      err << "vireon: the run of " << line.modelPath << " could not start\n";
      return kExitFailure;
    }
    controller.Wait();
    outcome = controller.outcome();
    outputs = controller.outputs();
  }
  // Progress comes at most every two seconds: the bar ends on the last point.
  if (outcome == RunOutcome::kFinished) {
    bar.Update(document.engine.iteration, document.engine.totalIterations);
  }
  bar.Finish();

  const std::string& errorLog = document.engine.errorLog;
  if (!errorLog.empty()) err << "Errors in this simulation:\n" << WithLineFeeds(errorLog);

  const TaskSettings& settings = document.settings;
  if (settings.report != 0) {
    PrintOutputFile(out, err, "Report:             ", settings.reportFile, outputs.reportWritten);
  }
  if (settings.dynamics != 0 && !settings.dynamicsData.file.empty()) {
    PrintOutputFile(out, err, "Time-course data:   ", document.folder + settings.dynamicsData.file,
                    outputs.timeCourseWritten);
  }
  if (settings.steadyState != 0 && !settings.steadyStateData.file.empty()) {
    PrintOutputFile(out, err, "Steady-state data:  ",
                    document.folder + settings.steadyStateData.file, outputs.steadyStateWritten);
  }

  // --seed with this number draws the same values again.
  if (ScanDrawsRandomValues(document)) out << "Random seed:        " << random.seed() << "\n";

  if (outcome == RunOutcome::kStopped) {
    err << "vireon: the run was stopped before its end\n";
    return kExitStopped;
  }
  if (outcome != RunOutcome::kFinished) return kExitFailure;
  if (outputs.NoneWritten()) {
    err << "vireon: the run wrote none of its outputs\n";
    return kExitFailure;
  }
  return errorLog.empty() ? kExitSuccess : kExitIncomplete;
}

}  // namespace vireon::cli
