#pragma once
// Parameter estimation: the values of a problem's parameters that make the
// weighted sum of squared residuals least, and how well the data determine
// them.
//
// Methods:
// - local: Levenberg-Marquardt within the bounds (Ceres Solver) from the
//   model's values;
// - global: the same local fit from the model's values and from starts
//   spread over the bounds by a Latin hypercube in the search space (log
//   space for log-space parameters), drawn from the seed; the starts are
//   solved on several threads, each thread with its own evaluator, and the
//   best fit is the start with the least objective (the first such start on
//   a tie), so that every number is the same for any number of threads;
// - direct: the derivative-free global search DIRECT-L (NLopt) over the
//   bounds, whose best point the local fit then refines.
// Derivatives are forward differences of the simulations in the search
// space. A trial point at which a simulation fails is a failed trial: the
// local fit shrinks its step and goes on; only a start that cannot be
// simulated at all fails.
//
// The uncertainty comes from the Fisher information at the optimum: the
// covariance (JᵀJ)⁻¹ of the weighted residuals' Jacobian J (by central
// differences, in the parameters themselves), scaled by objective/(n - p)
// when no column gave standard deviations. A parameter whose standard
// deviation exceeds its magnitude, or whose correlation with another is
// above kPoorCorrelation in magnitude, is flagged as poorly determined.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fit/fit_problem.h"

namespace vireon {

class ChunkChannel;

enum class FitMethod { kLocal, kGlobal, kDirect };

// Correlations above this (in magnitude) flag both parameters.
inline constexpr double kPoorCorrelation = 0.99;
// Starts of a global fit unless told.
inline constexpr int kDefaultFitStarts = 20;
// The most starts a global fit takes.
inline constexpr int kMaxFitStarts = 100000;
// Iterations of one local fit at most.
inline constexpr int kMaxLocalIterations = 200;
// Evaluations of the objective that DIRECT-L takes per parameter.
inline constexpr int kDirectEvaluationsPerParameter = 200;
// The search range of a log-space parameter without bounds, for drawing
// starts: this factor either side of its value.
inline constexpr double kUnboundedStartFactor = 100.0;

struct FitOptions {
  FitMethod method = FitMethod::kLocal;
  int starts = kDefaultFitStarts;  // global: starts in all, the model's values among them
  std::uint32_t seed = 1;
  int jobs = 1;  // threads of this process; 0 with remotes: none
  // Other processes (the ranks of an MPI job) that fit starts, one at a
  // time each, over their own copy of the problem (FitStartService). A
  // start is the same local fit wherever it runs, so the result is the
  // same for any number of them; one that fails is not asked again and
  // its start is fitted here.
  std::vector<ChunkChannel*> remotes;
  // Set from another thread to stop the fit; each start then ends at its
  // best point so far, and starts not begun are not run.
  const std::atomic<bool>* stop = nullptr;
  // Hears, on the thread that finished it, each start that ended: the
  // starts done, their total and the best objective so far. Calls are
  // never concurrent.
  std::function<void(int done, int total, double best)> progress;
};

enum class FitStatus {
  kConverged,       // a local fit met its tolerances
  kIterationLimit,  // the best point after the iteration limit
  kStopped,         // stopped; the best point so far
  kFailed,          // no start could be simulated
};

struct FittedParameter {
  std::string title;
  double value = 0.0;
  double sd = 0.0;  // NaN when it cannot be had (fewer points than parameters)
  bool atBound = false;
  bool poorlyDetermined = false;
};

struct FitStart {
  std::vector<double> from;    // the starting values
  std::vector<double> values;  // where its local fit ended
  double objective = 0.0;      // there (infinite when it failed)
  int iterations = 0;
  bool failed = false;
};

struct FitResult {
  FitStatus status = FitStatus::kFailed;
  std::string message;  // why it failed, or how the best local fit ended
  double objective = 0.0;
  int points = 0;
  std::vector<FittedParameter> parameters;
  // Correlations of the parameters, row by row (p x p).
  std::vector<std::vector<double>> correlation;
  std::vector<FitStart> starts;  // in the order they were drawn
  int bestStart = -1;
  long long evaluations = 0;  // simulations of the whole set of experiments
  // The model at the fitted values: experiment, measurement, row.
  std::vector<std::vector<std::vector<double>>> curves;
};

// The starts of a global fit: the problem's initial values first, then
// starts - 1 points of a Latin hypercube in the search space, drawn from
// the seed.
std::vector<std::vector<double>> FitStartPoints(const FitProblem& problem, int starts,
                                                std::uint32_t seed);

// Runs the fit. Never throws.
FitResult EstimateParameters(const FitProblem& problem, const FitOptions& options);

// The far end of a remote: fits the starts it is sent, over its own
// evaluator of a problem built as the asking process built its own. A
// request holds a start's values; the answer where its local fit ended,
// with every number written so that it reads back exactly. A request that
// cannot be read is answered as a failed start.
class FitStartService {
 public:
  explicit FitStartService(const FitProblem& problem);
  std::string Solve(std::string_view request);

 private:
  FitEvaluator evaluator_;
};

// The standard deviations and correlations at `values`, into the result's
// parameters (their values set already) and correlation; false when the
// Jacobian cannot be had there.
bool ComputeUncertainty(FitEvaluator& evaluator, const std::vector<double>& values,
                        double objective, FitResult& result);

}  // namespace vireon
