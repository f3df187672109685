#include "fit/parameter_estimation.h"

#include <ceres/ceres.h>

#include <Eigen/Dense>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <nlopt.hpp>
#include <optional>
#include <random>
#include <string_view>
#include <thread>

#include "document/parallel_scan.h"

namespace vireon {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// Relative changes of the objective, of the search point and of the
// gradient below which a local fit has converged.
constexpr double kFunctionTolerance = 1e-15;
constexpr double kParameterTolerance = 1e-12;
constexpr double kGradientTolerance = 1e-20;
// The smallest tolerance a difference step is derived from: the
// simulations are no more accurate than the integrator's tolerance.
constexpr double kSmallestTolerance = 1e-14;
// Eigenvalues of JᵀJ below this fraction of the largest are taken as this
// fraction, so that a direction the data do not determine gives a huge,
// finite variance (and correlations near 1) instead of a failed inverse.
constexpr double kSingularRatio = 1e-14;
// The trust region the first step of a local fit is taken in (Ceres'
// scaled search space; the damping is its inverse), small so that a fit
// from far off does not leap at once onto a plateau where a parameter no
// longer matters; it grows with every step that succeeds.
constexpr double kInitialTrustRegion = 1.0;
// The least diagonal of Levenberg-Marquardt's damping. Ceres scales the
// Jacobian's columns to norms below 1, so this makes the damping the
// identity there (Levenberg's original form).
constexpr double kLevenbergDamping = 1.0;
// A value this near a bound (relative to its magnitude) is at the bound.
constexpr double kAtBoundTolerance = 1e-9;
// What DIRECT-L hears at a point that cannot be simulated.
constexpr double kFailedObjective = 1e300;

// The search space: log space for log-space parameters.
struct SearchBox {
  std::vector<double> lower;  // may be -inf
  std::vector<double> upper;  // may be +inf
  std::vector<bool> log;

  explicit SearchBox(const FitProblem& problem) {
    for (const FitProblemParameter& parameter : problem.parameters) {
      log.push_back(parameter.log);
      if (parameter.log) {
        lower.push_back(parameter.lower > 0.0 ? std::log(parameter.lower) : -kInfinity);
        upper.push_back(std::isfinite(parameter.upper) ? std::log(parameter.upper) : kInfinity);
      } else {
        lower.push_back(parameter.lower);
        upper.push_back(parameter.upper);
      }
    }
  }
  std::size_t size() const { return log.size(); }
  double ToSearch(std::size_t j, double value) const { return log[j] ? std::log(value) : value; }
  double ToValue(std::size_t j, double x) const { return log[j] ? std::exp(x) : x; }
};

// The box starts are drawn from: the bounds, or for a log-space parameter
// without them kUnboundedStartFactor either side of its value. Empty when
// a linear parameter lacks a bound.
std::string SamplingBox(const FitProblem& problem, const SearchBox& box, std::vector<double>& low,
                        std::vector<double>& high) {
  low.clear();
  high.clear();
  for (std::size_t j = 0; j < box.size(); ++j) {
    const FitProblemParameter& parameter = problem.parameters[j];
    double lo = box.lower[j];
    double hi = box.upper[j];
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
      if (!box.log[j]) {
        return "parameter " + parameter.title +
               " needs both bounds for starts to be spread over them";
      }
      const double x = box.ToSearch(j, parameter.initial);
      const double span = std::log(kUnboundedStartFactor);
      if (!std::isfinite(lo)) lo = std::min(x, hi) - span;
      if (!std::isfinite(hi)) hi = std::max(x, lo) + span;
    }
    low.push_back(lo);
    high.push_back(hi);
  }
  return {};
}

// The residuals and their Jacobian in the search space, by forward
// differences of the simulations.
class Search {
 public:
  Search(FitEvaluator& evaluator, const SearchBox& box)
      : evaluator_(evaluator),
        box_(box),
        residuals_(static_cast<std::size_t>(evaluator.problem().points)),
        values_(box.size()) {
    const double tolerance =
        std::max(evaluator.problem().settings.solver.relativeTolerance, kSmallestTolerance);
    step_ = std::sqrt(tolerance);
    for (const FitProblemParameter& parameter : evaluator.problem().parameters) {
      scale_.push_back(parameter.log ? 1.0 : std::max(std::fabs(parameter.initial), 0.0));
    }
  }

  std::size_t points() const { return residuals_.size(); }
  std::size_t size() const { return box_.size(); }

  bool Residuals(const double* x, double* residuals) {
    for (std::size_t j = 0; j < box_.size(); ++j) values_[j] = box_.ToValue(j, x[j]);
    if (!evaluator_.Residuals(values_, {residuals, residuals_.size()})) return false;
    double objective = 0.0;
    for (std::size_t i = 0; i < residuals_.size(); ++i) objective += residuals[i] * residuals[i];
    if (!std::isfinite(objective)) return false;
    if (objective < bestObjective_) {
      bestObjective_ = objective;
      best_.assign(x, x + box_.size());
    }
    return true;
  }

  bool Evaluate(const double* x, double* residuals, double* jacobian) {
    if (!Residuals(x, residuals)) return false;
    if (jacobian == nullptr) return true;
    std::vector<double> moved(x, x + box_.size());
    std::vector<double> shifted(residuals_.size());
    const std::size_t p = box_.size();
    for (std::size_t j = 0; j < p; ++j) {
      const double magnitude = box_.log[j] ? 1.0 : std::max(std::fabs(x[j]), scale_[j]);
      double h = step_ * (magnitude > 0.0 ? magnitude : 1.0);
      if (x[j] + h > box_.upper[j]) h = -h;
      moved[j] = x[j] + h;
      h = moved[j] - x[j];
      if (!Residuals(moved.data(), shifted.data())) return false;
      for (std::size_t i = 0; i < residuals_.size(); ++i) {
        jacobian[i * p + j] = (shifted[i] - residuals[i]) / h;
      }
      moved[j] = x[j];
    }
    return true;
  }

  double bestObjective() const { return bestObjective_; }
  const std::vector<double>& best() const { return best_; }

 private:
  FitEvaluator& evaluator_;
  const SearchBox& box_;
  std::vector<double> residuals_;
  std::vector<double> values_;
  std::vector<double> scale_;
  double step_ = 1e-3;
  double bestObjective_ = kInfinity;
  std::vector<double> best_;
};

class ResidualCost final : public ceres::CostFunction {
 public:
  explicit ResidualCost(Search& search) : search_(search) {
    set_num_residuals(static_cast<int>(search.points()));
    mutable_parameter_block_sizes()->push_back(static_cast<int>(search.size()));
  }
  bool Evaluate(double const* const* parameters, double* residuals,
                double** jacobians) const override {
    return search_.Evaluate(parameters[0], residuals,
                            jacobians != nullptr ? jacobians[0] : nullptr);
  }

 private:
  Search& search_;
};

class StopCallback final : public ceres::IterationCallback {
 public:
  explicit StopCallback(const std::atomic<bool>* stop) : stop_(stop) {}
  ceres::CallbackReturnType operator()(const ceres::IterationSummary&) override {
    return stop_ != nullptr && stop_->load() ? ceres::SOLVER_TERMINATE_SUCCESSFULLY
                                             : ceres::SOLVER_CONTINUE;
  }

 private:
  const std::atomic<bool>* stop_;
};

struct LocalOutcome {
  FitStart start;
  FitStatus status = FitStatus::kFailed;
  std::string message;
};

// One Levenberg-Marquardt fit within the bounds from `from` (values).
LocalOutcome LocalFit(FitEvaluator& evaluator, const SearchBox& box,
                      const std::vector<double>& from, const std::atomic<bool>* stop) {
  LocalOutcome outcome;
  outcome.start.from = from;
  Search search(evaluator, box);
  std::vector<double> x(box.size());
  for (std::size_t j = 0; j < box.size(); ++j) {
    x[j] = std::clamp(box.ToSearch(j, from[j]), box.lower[j], box.upper[j]);
  }
  ResidualCost cost(search);
  ceres::Problem::Options problemOptions;
  problemOptions.cost_function_ownership = ceres::DO_NOT_TAKE_OWNERSHIP;
  ceres::Problem problem(problemOptions);
  problem.AddResidualBlock(&cost, nullptr, x.data());
  for (std::size_t j = 0; j < box.size(); ++j) {
    if (std::isfinite(box.lower[j])) {
      problem.SetParameterLowerBound(x.data(), static_cast<int>(j), box.lower[j]);
    }
    if (std::isfinite(box.upper[j])) {
      problem.SetParameterUpperBound(x.data(), static_cast<int>(j), box.upper[j]);
    }
  }
  StopCallback callback(stop);
  ceres::Solver::Options options;
  options.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
  options.linear_solver_type = ceres::DENSE_QR;
  options.max_num_iterations = kMaxLocalIterations;
  options.initial_trust_region_radius = kInitialTrustRegion;
  // Every parameter is damped alike in the space of the scaled Jacobian:
  // a parameter the data hardly see would otherwise take the longest
  // steps, out to where it no longer matters.
  options.min_lm_diagonal = kLevenbergDamping;
  options.function_tolerance = kFunctionTolerance;
  options.parameter_tolerance = kParameterTolerance;
  options.gradient_tolerance = kGradientTolerance;
  options.logging_type = ceres::SILENT;
  options.minimizer_progress_to_stdout = false;
  options.num_threads = 1;
  options.callbacks.push_back(&callback);
  ceres::Solver::Summary summary;
  ceres::Solve(options, &problem, &summary);

  outcome.start.iterations = static_cast<int>(summary.iterations.size());
  // The best point any evaluation reached, which is where the fit ended
  // unless it was cut short.
  if (search.best().empty()) {
    outcome.start.failed = true;
    outcome.start.objective = kInfinity;
    outcome.start.values = from;
    outcome.message = "the model cannot be simulated at the start";
    return outcome;
  }
  const std::vector<double>& best = search.best();
  for (std::size_t j = 0; j < box.size(); ++j) {
    outcome.start.values.push_back(box.ToValue(j, best[j]));
  }
  outcome.start.objective = search.bestObjective();
  if (stop != nullptr && stop->load()) {
    outcome.status = FitStatus::kStopped;
    outcome.message = "stopped";
  } else if (summary.termination_type == ceres::NO_CONVERGENCE) {
    outcome.status = FitStatus::kIterationLimit;
    outcome.message = "the iteration limit was reached";
  } else {
    outcome.status = FitStatus::kConverged;
    outcome.message =
        summary.termination_type == ceres::CONVERGENCE ? "converged" : "ended: " + summary.message;
  }
  return outcome;
}

// Uniform numbers in [0, 1) from a generator whose sequence the C++
// standard fixes, so that a seed gives the same starts everywhere.
class Uniform {
 public:
  explicit Uniform(std::uint32_t seed) : engine_(seed) {}
  double operator()() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

 private:
  std::mt19937_64 engine_;
};

// DIRECT-L over the sampling box; the best point it met, as values.
std::vector<double> DirectSearch(FitEvaluator& evaluator, const SearchBox& box,
                                 const std::vector<double>& low, const std::vector<double>& high,
                                 const std::atomic<bool>* stop) {
  Search search(evaluator, box);
  std::vector<double> residuals(search.points());
  struct Context {
    Search& search;
    std::vector<double>& residuals;
    const std::atomic<bool>* stop;
    nlopt::opt* opt;
  };
  nlopt::opt opt(nlopt::GN_DIRECT_L, static_cast<unsigned>(box.size()));
  Context context{search, residuals, stop, &opt};
  opt.set_lower_bounds(low);
  opt.set_upper_bounds(high);
  opt.set_maxeval(kDirectEvaluationsPerParameter * static_cast<int>(box.size()));
  opt.set_min_objective(
      [](unsigned, const double* x, double*, void* data) {
        Context& c = *static_cast<Context*>(data);
        if (c.stop != nullptr && c.stop->load()) c.opt->force_stop();
        if (!c.search.Residuals(x, c.residuals.data())) return kFailedObjective;
        double objective = 0.0;
        for (double r : c.residuals) objective += r * r;
        return objective;
      },
      &context);
  std::vector<double> x(box.size());
  for (std::size_t j = 0; j < box.size(); ++j) x[j] = 0.5 * (low[j] + high[j]);
  double minimum = 0.0;
  try {
    opt.optimize(x, minimum);
  } catch (const std::exception&) {
    // A forced stop or a round-off limit: the best point so far stands.
  }
  std::vector<double> values;
  if (search.best().empty()) return values;
  for (std::size_t j = 0; j < box.size(); ++j) values.push_back(box.ToValue(j, search.best()[j]));
  return values;
}

std::string StatusMessage(const LocalOutcome& outcome) {
  return outcome.message;
}

// Numbers in the texts between processes: the shortest form that reads
// back as the same double (infinities as "inf").
void AppendExact(std::string& text, double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, error == std::errc() ? end : buffer);
}

bool ReadExact(std::string_view& text, double& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return true;
}

bool ReadWhole(std::string_view& text, long long& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return true;
}

// The line up to the next line end, which is taken off `text`.
std::string_view TakeLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return line;
}

// A start's values, one line.
std::string FitStartRequest(const std::vector<double>& from) {
  std::string text = "start";
  for (const double value : from) {
    text += ' ';
    AppendExact(text, value);
  }
  text += '\n';
  return text;
}

std::optional<std::vector<double>> ReadFitStartRequest(std::string_view text) {
  std::string_view line = TakeLine(text);
  if (line.substr(0, 5) != "start") return std::nullopt;
  line.remove_prefix(5);
  std::vector<double> values;
  double value = 0.0;
  while (!line.empty()) {
    if (!ReadExact(line, value)) return std::nullopt;
    values.push_back(value);
  }
  return values;
}

// Where a start's local fit ended: "failed status iterations simulations
// objective" and its values, a line each, then its message to the end.
std::string FitStartAnswer(const LocalOutcome& outcome, long long simulations) {
  std::string text = outcome.start.failed ? "1 " : "0 ";
  text += std::to_string(static_cast<int>(outcome.status)) + " " +
          std::to_string(outcome.start.iterations) + " " + std::to_string(simulations) + " ";
  AppendExact(text, outcome.start.objective);
  text += "\n";
  for (std::size_t j = 0; j < outcome.start.values.size(); ++j) {
    if (j > 0) text += ' ';
    AppendExact(text, outcome.start.values[j]);
  }
  text += "\n" + outcome.message;
  return text;
}

bool ReadFitStartAnswer(std::string_view text, const std::vector<double>& from,
                        LocalOutcome& outcome, long long& simulations) {
  std::string_view head = TakeLine(text);
  long long failed = 0;
  long long status = 0;
  long long iterations = 0;
  LocalOutcome read;
  if (!ReadWhole(head, failed) || !ReadWhole(head, status) || !ReadWhole(head, iterations) ||
      !ReadWhole(head, simulations) || !ReadExact(head, read.start.objective) || !head.empty()) {
    return false;
  }
  if ((failed != 0 && failed != 1) || status < 0 ||
      status > static_cast<long long>(FitStatus::kFailed) || iterations < 0 || simulations < 0) {
    return false;
  }
  std::string_view values = TakeLine(text);
  double value = 0.0;
  while (!values.empty()) {
    if (!ReadExact(values, value)) return false;
    read.start.values.push_back(value);
  }
  if (read.start.values.size() != from.size()) return false;
  read.message = std::string(text);
  read.start.from = from;
  read.start.failed = failed == 1;
  read.start.iterations = static_cast<int>(iterations);
  read.status = static_cast<FitStatus>(status);
  outcome = std::move(read);
  return true;
}

}  // namespace

std::vector<std::vector<double>> FitStartPoints(const FitProblem& problem, int starts,
                                                std::uint32_t seed) {
  std::vector<std::vector<double>> points;
  std::vector<double> initial;
  for (const FitProblemParameter& parameter : problem.parameters)
    initial.push_back(parameter.initial);
  points.push_back(initial);
  const SearchBox box(problem);
  std::vector<double> low;
  std::vector<double> high;
  if (!SamplingBox(problem, box, low, high).empty() || starts <= 1) return points;
  const std::size_t m = static_cast<std::size_t>(starts - 1);
  const std::size_t p = box.size();
  Uniform uniform(seed);
  // Each parameter's strata in a random order, then a random place in each.
  std::vector<std::vector<std::size_t>> strata(p);
  for (std::size_t j = 0; j < p; ++j) {
    strata[j].resize(m);
    for (std::size_t i = 0; i < m; ++i) strata[j][i] = i;
    for (std::size_t i = m; i > 1; --i) {
      const std::size_t k =
          std::min(static_cast<std::size_t>(uniform() * static_cast<double>(i)), i - 1);
      std::swap(strata[j][i - 1], strata[j][k]);
    }
  }
  for (std::size_t i = 0; i < m; ++i) {
    std::vector<double> point(p);
    for (std::size_t j = 0; j < p; ++j) {
      const double u = (static_cast<double>(strata[j][i]) + uniform()) / static_cast<double>(m);
      point[j] = box.ToValue(j, low[j] + u * (high[j] - low[j]));
    }
    points.push_back(std::move(point));
  }
  return points;
}

bool ComputeUncertainty(FitEvaluator& evaluator, const std::vector<double>& values,
                        double objective, FitResult& result) {
  const FitProblem& problem = evaluator.problem();
  const std::size_t p = values.size();
  const std::size_t n = static_cast<std::size_t>(problem.points);
  const double tolerance = std::max(problem.settings.solver.relativeTolerance, kSmallestTolerance);
  const double relativeStep = std::cbrt(tolerance);
  Eigen::MatrixXd jacobian(n, p);
  std::vector<double> plus(n);
  std::vector<double> minus(n);
  std::vector<double> moved = values;
  for (std::size_t j = 0; j < p; ++j) {
    const double h = relativeStep * (values[j] != 0.0 ? std::fabs(values[j]) : 1.0);
    moved[j] = values[j] + h;
    if (!evaluator.Residuals(moved, plus)) return false;
    moved[j] = values[j] - h;
    if (!evaluator.Residuals(moved, minus)) return false;
    moved[j] = values[j];
    for (std::size_t i = 0; i < n; ++i)
      jacobian(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) =
          (plus[i] - minus[i]) / (2.0 * h);
  }
  const Eigen::MatrixXd information = jacobian.transpose() * jacobian;
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(information);
  if (eigen.info() != Eigen::Success) return false;
  Eigen::VectorXd lambda = eigen.eigenvalues();
  const double largest = lambda.size() > 0 ? lambda.maxCoeff() : 0.0;
  if (!(largest > 0.0)) return false;
  for (Eigen::Index k = 0; k < lambda.size(); ++k) {
    lambda(k) = 1.0 / std::max(lambda(k), largest * kSingularRatio);
  }
  Eigen::MatrixXd covariance =
      eigen.eigenvectors() * lambda.asDiagonal() * eigen.eigenvectors().transpose();
  // The correlations do not depend on the scale, which may be 0 (a perfect
  // fit) or unknown (no more points than parameters).
  const auto at = [&covariance](std::size_t j, std::size_t k) {
    return covariance(static_cast<Eigen::Index>(j), static_cast<Eigen::Index>(k));
  };
  result.correlation.clear();
  for (std::size_t j = 0; j < p; ++j) {
    std::vector<double>& row = result.correlation.emplace_back();
    for (std::size_t k = 0; k < p; ++k) {
      row.push_back(j == k ? 1.0
                           : std::clamp(at(j, k) / std::sqrt(at(j, j) * at(k, k)), -1.0, 1.0));
    }
  }
  double scale = 1.0;
  if (!problem.anySd) scale = n > p ? objective / static_cast<double>(n - p) : kNotANumber;
  for (std::size_t j = 0; j < p; ++j) {
    const double variance = at(j, j) * scale;
    result.parameters[j].sd = variance >= 0.0 ? std::sqrt(variance) : kNotANumber;
  }
  return true;
}

FitStartService::FitStartService(const FitProblem& problem) : evaluator_(problem) {}

std::string FitStartService::Solve(std::string_view request) {
  const FitProblem& problem = evaluator_.problem();
  const std::optional<std::vector<double>> from = ReadFitStartRequest(request);
  LocalOutcome outcome;
  if (!from || from->size() != problem.parameters.size()) {
    outcome.start.failed = true;
    outcome.start.objective = kInfinity;
    outcome.start.values = from.value_or(std::vector<double>(problem.parameters.size(), 0.0));
    outcome.start.values.resize(problem.parameters.size(), 0.0);
    outcome.message = "the start could not be read";
    return FitStartAnswer(outcome, 0);
  }
  const SearchBox box(problem);
  const long long before = evaluator_.simulations();
  try {
    outcome = LocalFit(evaluator_, box, *from, nullptr);
  } catch (const std::exception& error) {
    outcome = LocalOutcome{};
    outcome.start.failed = true;
    outcome.start.objective = kInfinity;
    outcome.start.values = *from;
    outcome.message = std::string("the fit failed: ") + error.what();
  }
  return FitStartAnswer(outcome, evaluator_.simulations() - before);
}

FitResult EstimateParameters(const FitProblem& problem, const FitOptions& options) {
  FitResult result;
  result.points = problem.points;
  const SearchBox box(problem);
  std::vector<double> low;
  std::vector<double> high;
  std::vector<std::vector<double>> starts;
  FitEvaluator evaluator(problem);
  long long directEvaluations = 0;
  try {
    switch (options.method) {
      case FitMethod::kLocal:
        starts = FitStartPoints(problem, 1, options.seed);
        break;
      case FitMethod::kGlobal: {
        if (std::string error = SamplingBox(problem, box, low, high); !error.empty()) {
          result.message = error;
          return result;
        }
        starts =
            FitStartPoints(problem, std::clamp(options.starts, 1, kMaxFitStarts), options.seed);
        break;
      }
      case FitMethod::kDirect: {
        if (std::string error = SamplingBox(problem, box, low, high); !error.empty()) {
          result.message = error;
          return result;
        }
        std::vector<double> found = DirectSearch(evaluator, box, low, high, options.stop);
        directEvaluations = evaluator.simulations();
        if (found.empty()) {
          result.message = "the model could not be simulated anywhere the search looked";
          return result;
        }
        starts.push_back(std::move(found));
        break;
      }
    }

    // The starts, on as many threads as asked, each with its own evaluator.
    const int total = static_cast<int>(starts.size());
    std::vector<LocalOutcome> outcomes(starts.size());
    std::vector<long long> simulations(starts.size(), 0);
    std::atomic<int> next{0};
    std::mutex progressMutex;
    int done = 0;
    double best = kInfinity;
    // The next start to fit, or -1 when none is left; starts not begun
    // when the fit is stopped are marked so.
    const auto take = [&]() -> int {
      for (;;) {
        const int k = next.fetch_add(1);
        if (k >= total) return -1;
        if (options.stop == nullptr || !options.stop->load()) return k;
        const std::size_t s = static_cast<std::size_t>(k);
        outcomes[s].start.from = starts[s];
        outcomes[s].start.values = starts[s];
        outcomes[s].start.failed = true;
        outcomes[s].start.objective = kInfinity;
        outcomes[s].status = FitStatus::kStopped;
        outcomes[s].message = "stopped before it began";
      }
    };
    const auto finished = [&](std::size_t s) {
      const std::lock_guard<std::mutex> lock(progressMutex);
      ++done;
      if (!outcomes[s].start.failed) best = std::min(best, outcomes[s].start.objective);
      if (options.progress) options.progress(done, total, best);
    };
    const auto fitHere = [&](FitEvaluator& own, std::size_t s) {
      const long long before = own.simulations();
      outcomes[s] = LocalFit(own, box, starts[s], options.stop);
      simulations[s] = own.simulations() - before;
      finished(s);
    };
    const auto work = [&](FitEvaluator& own) {
      for (int k = take(); k >= 0; k = take()) fitHere(own, static_cast<std::size_t>(k));
    };
    // A remote process fits one start at a time; once it fails, the
    // thread that spoke to it fits the rest of its share here.
    const auto remoteWork = [&](ChunkChannel& channel) {
      for (int k = take(); k >= 0; k = take()) {
        const std::size_t s = static_cast<std::size_t>(k);
        const std::optional<std::string> answer = channel.Solve(FitStartRequest(starts[s]));
        if (answer && ReadFitStartAnswer(*answer, starts[s], outcomes[s], simulations[s])) {
          finished(s);
          continue;
        }
        FitEvaluator own(problem);
        fitHere(own, s);
        work(own);
        return;
      }
    };
    const int remotes = static_cast<int>(options.remotes.size());
    const int jobs = std::clamp(options.jobs, remotes > 0 ? 0 : 1, std::max(1, total));
    if (jobs == 1 && remotes == 0) {
      work(evaluator);
    } else {
      std::vector<std::unique_ptr<FitEvaluator>> evaluators;
      for (int t = 0; t < jobs; ++t) evaluators.push_back(std::make_unique<FitEvaluator>(problem));
      std::vector<std::thread> threads;
      for (int t = 0; t < jobs; ++t) {
        threads.emplace_back(
            [&work, &evaluators, t] { work(*evaluators[static_cast<std::size_t>(t)]); });
      }
      for (ChunkChannel* channel : options.remotes) {
        threads.emplace_back([&remoteWork, channel] { remoteWork(*channel); });
      }
      for (std::thread& thread : threads) thread.join();
    }

    result.evaluations = directEvaluations;
    for (std::size_t s = 0; s < outcomes.size(); ++s) {
      result.evaluations += simulations[s];
      result.starts.push_back(outcomes[s].start);
      if (outcomes[s].start.failed) continue;
      if (result.bestStart < 0 ||
          outcomes[s].start.objective <
              outcomes[static_cast<std::size_t>(result.bestStart)].start.objective) {
        result.bestStart = static_cast<int>(s);
      }
    }
    const bool stopped = options.stop != nullptr && options.stop->load();
    if (result.bestStart < 0) {
      result.status = stopped ? FitStatus::kStopped : FitStatus::kFailed;
      result.message = stopped ? "stopped before any start could be fitted"
                               : "the model cannot be simulated at any start";
      return result;
    }
    const LocalOutcome& winner = outcomes[static_cast<std::size_t>(result.bestStart)];
    result.status = stopped ? FitStatus::kStopped : winner.status;
    result.message = stopped ? "stopped" : StatusMessage(winner);
    result.objective = winner.start.objective;
    const std::vector<double>& values = winner.start.values;
    for (std::size_t j = 0; j < values.size(); ++j) {
      const FitProblemParameter& parameter = problem.parameters[j];
      FittedParameter fitted;
      fitted.title = parameter.title;
      fitted.value = values[j];
      fitted.sd = kNotANumber;
      const double near = kAtBoundTolerance * std::max(std::fabs(values[j]), 1e-300);
      fitted.atBound = std::fabs(values[j] - parameter.lower) <= near ||
                       std::fabs(values[j] - parameter.upper) <= near;
      result.parameters.push_back(std::move(fitted));
    }
    const long long before = evaluator.simulations();
    const bool known = ComputeUncertainty(evaluator, values, result.objective, result);
    if (!known) {
      result.correlation.clear();
      for (std::size_t j = 0; j < values.size(); ++j) {
        result.correlation.emplace_back(values.size(), kNotANumber);
      }
    }
    for (std::size_t j = 0; j < values.size(); ++j) {
      FittedParameter& fitted = result.parameters[j];
      bool poor = !std::isfinite(fitted.sd) || fitted.sd > std::fabs(fitted.value);
      for (std::size_t k = 0; k < values.size(); ++k) {
        if (k != j && !(std::fabs(result.correlation[j][k]) <= kPoorCorrelation)) poor = true;
      }
      fitted.poorlyDetermined = poor;
    }
    evaluator.Curves(values, result.curves);
    result.evaluations += evaluator.simulations() - before;
  } catch (const std::exception& error) {
    result.status = FitStatus::kFailed;
    result.message = std::string("the fit failed: ") + error.what();
  }
  return result;
}

}  // namespace vireon
