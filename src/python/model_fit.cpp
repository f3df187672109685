// The fit of a model session: the experiments read, the problem built
// against a copy of the model, and the estimation run on a thread of its
// own while the calling thread listens for interruptions, so that Ctrl-C
// stops the fit at its best point so far.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "fit/experiment_file.h"
#include "python/model_session.h"
#include "python/program.h"
#include "settings/settings.h"

namespace vireon::python {

namespace {

// How often the calling thread asks whether the fit was interrupted.
constexpr std::chrono::milliseconds kFitInterruptPoll{50};
constexpr std::string_view kFailedPrefix = "the fit failed: ";

// A stored experiment's file is found from the model file's folder; one
// given in the call from the working folder.
std::string DataPath(const std::string& path, bool stored, const Document& document) {
  if (!stored || path.empty() || path.front() == '/' || document.folder.empty()) return path;
  return document.folder + path;
}

// Runs the estimation on a thread of its own; the caller waits, hearing
// the progress as it comes and asking `interrupted` every
// kFitInterruptPoll, and stops the fit when either says so.
FitResult EstimateListening(const FitProblem& problem, FitOptions options,
                            const FitRequest& request, const Interrupted& interrupted,
                            FitRun& run) {
  struct Progress {
    int done = 0, total = 0;
    double best = 0.0;
    bool fresh = false;
  };
  std::atomic<bool> stop{false};
  options.stop = &stop;
  FitResult result;
  std::mutex mutex;
  std::condition_variable woken;
  bool finished = false;
  Progress progress;
  if (request.progress) {
    options.progress = [&](int done, int total, double best) {
      std::lock_guard<std::mutex> lock(mutex);
      progress = {done, total, best, true};
      woken.notify_all();
    };
  }
  std::thread worker([&] {
    FitResult found = EstimateParameters(problem, options);
    std::lock_guard<std::mutex> lock(mutex);
    result = std::move(found);
    finished = true;
    woken.notify_all();
  });
  // Nothing the listeners throw leaves the worker running.
  try {
    auto asked = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      woken.wait_for(lock, kFitInterruptPoll, [&] { return finished || progress.fresh; });
      // A start that ended is heard even when it was the last.
      if (progress.fresh) {
        const Progress heard = progress;
        progress.fresh = false;
        lock.unlock();
        if (!run.refused && !request.progress(heard.done, heard.total, heard.best)) {
          run.refused = true;
          stop.store(true);
        }
        lock.lock();
      }
      if (finished && !progress.fresh) break;
      const auto now = std::chrono::steady_clock::now();
      if (run.interrupted || !interrupted || now - asked < kFitInterruptPoll) continue;
      asked = now;
      lock.unlock();
      run.interrupted = interrupted();
      if (run.interrupted) stop.store(true);
      lock.lock();
    }
  } catch (...) {
    stop.store(true);
    worker.join();
    throw;
  }
  worker.join();
  return result;
}

}  // namespace

FitRun ModelSession::Fit(const FitRequest& request, const Interrupted& interrupted) {
  std::unique_lock<std::mutex> lock(mutex_);
  const Document document = document_;
  lock.unlock();

  FitSettings fit = document.fit;
  const bool stored = request.dataFiles.empty();
  if (!stored) fit.dataFiles = request.dataFiles;
  if (!request.parameters.empty()) fit.parameters = request.parameters;
  if (request.method) fit.method = *request.method;
  if (request.starts) fit.starts = *request.starts;
  if (request.seed) fit.seed = *request.seed;
  if (request.scaleColumns) fit.scaleColumns = *request.scaleColumns;
  if (fit.dataFiles.empty()) {
    throw std::invalid_argument("the fit needs data: the model stores no experiments");
  }
  if (fit.parameters.empty()) {
    throw std::invalid_argument("the fit needs parameters: the model stores none to fit");
  }
  if (fit.starts < 1 || fit.starts > kMaxFitStarts) {
    throw std::invalid_argument("a fit takes 1 to " + std::to_string(kMaxFitStarts) +
                                " starts, not " + std::to_string(fit.starts));
  }

  if (request.jobs && (*request.jobs < 1 || *request.jobs > kMaxScanThreads)) {
    throw std::invalid_argument("a fit runs on 1 to " + std::to_string(kMaxScanThreads) +
                                " jobs, not " + std::to_string(*request.jobs));
  }

  std::vector<ExperimentFile> experiments;
  for (const std::string& given : fit.dataFiles) {
    ExperimentReadResult read = ReadExperimentFile(DataPath(given, stored, document));
    if (!read.experiment) throw VireonError(read.error);
    experiments.push_back(std::move(*read.experiment));
  }
  FitProblemResult built = BuildFitProblem(document.model, document.settings, experiments,
                                           fit.parameters, fit.scaleColumns);
  if (!built.problem) throw VireonError("the model cannot be fitted: " + built.error);

  FitOptions options;
  options.method = fit.method;
  options.starts = fit.starts;
  options.seed = fit.seed;
  options.jobs =
      request.jobs ? *request.jobs : ScanThreads(TheProgram().startup.preferences.scanThreads);
  FitRun run;
  run.problem = std::move(built.problem);
  for (const FitProblemParameter& parameter : run.problem->parameters) {
    run.quantities.push_back(parameter.item.title);
  }
  run.result = EstimateListening(*run.problem, options, request, interrupted, run);

  const FitResult& result = run.result;
  // Stopped with no point to keep: the interruption (or the progress's
  // refusal) is what the caller hears.
  if ((result.status == FitStatus::kStopped || run.interrupted || run.refused) &&
      (result.parameters.empty() || result.status == FitStatus::kFailed)) {
    throw RunInterrupted();
  }
  if (result.status == FitStatus::kFailed) {
    const std::string& message = result.message;
    throw VireonError(message.starts_with(kFailedPrefix) ? message
                                                         : std::string(kFailedPrefix) + message);
  }
  return run;
}

}  // namespace vireon::python
