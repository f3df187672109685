#include "fit/fit_run.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace vireon {

FitRun::FitRun(std::unique_ptr<FitProblem> problem, FitOptions options, Progress progress,
               std::function<void()> finished)
    : problem_(std::move(problem)) {
  thread_ = std::thread([this, options = std::move(options), progress = std::move(progress),
                         finished = std::move(finished)]() mutable {
    Work(std::move(options), progress, finished);
  });
}

FitRun::~FitRun() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

const FitResult& FitRun::Wait() {
  if (thread_.joinable()) thread_.join();
  return result_;
}

void FitRun::Work(FitOptions options, const Progress& progress,
                  const std::function<void()>& finished) {
  const int total = options.method == FitMethod::kGlobal ? std::max(options.starts, 1) : 1;
  if (progress) {
    // Where the fit sets out from: one simulation at the starting values.
    FitEvaluator evaluator(*problem_);
    std::vector<double> values;
    for (const FitProblemParameter& parameter : problem_->parameters) {
      values.push_back(parameter.initial);
    }
    std::vector<double> residuals(static_cast<std::size_t>(problem_->points));
    double objective = std::numeric_limits<double>::infinity();
    if (evaluator.Residuals(values, residuals)) {
      objective = 0.0;
      for (double r : residuals) objective += r * r;
    }
    progress(0, total, objective);
  }
  options.stop = &stop_;
  options.progress = progress;
  result_ = EstimateParameters(*problem_, options);
  finished_.store(true);
  if (finished) finished();
}

}  // namespace vireon
