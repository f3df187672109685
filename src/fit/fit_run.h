#pragma once
// A fit on a thread of its own, for a program that must go on while it
// runs (the desktop program's Fit page). The run owns its problem; it
// reports through two hooks called on its thread, never at once: the
// progress (first, with no start done, the objective at the starting
// values; then after each start) and the end. Stop asks the fit to end at
// its best point so far; the destructor stops the fit and waits for it.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "fit/fit_problem.h"
#include "fit/parameter_estimation.h"

namespace vireon {

class FitRun {
 public:
  // Hears the starts done, their total and the best objective so far
  // (infinite while none could be had).
  using Progress = std::function<void(int done, int total, double best)>;

  // Starts the fit of `problem` (which must not be null) with `options`,
  // whose stop and progress are the run's own.
  FitRun(std::unique_ptr<FitProblem> problem, FitOptions options, Progress progress,
         std::function<void()> finished);
  ~FitRun();
  FitRun(const FitRun&) = delete;
  FitRun& operator=(const FitRun&) = delete;

  void Stop() { stop_.store(true); }
  // True once the end was reported.
  bool finished() const { return finished_.load(); }
  // Waits for the thread to end and gives the result.
  const FitResult& Wait();
  const FitProblem& problem() const { return *problem_; }

 private:
  void Work(FitOptions options, const Progress& progress, const std::function<void()>& finished);

  std::unique_ptr<FitProblem> problem_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  FitResult result_;
  std::thread thread_;
};

}  // namespace vireon
