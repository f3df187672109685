#pragma once
// Newton's method on a small square system of constraints, the way the
// engine eliminates them: the unknowns are solved for wherever the
// equations are evaluated (the targets of algebraic rules, the extents of
// fast steps), from the values found last, so that a time course pays
// about one step per evaluation. The Jacobian is formed by forward
// differences, one unknown at a time, and each step solved by Gaussian
// elimination with partial pivoting. The iteration is bounded: it stops
// after kMaxNewtonIterations steps, at a singular Jacobian, or at a value
// that is not a number.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace vireon {

namespace constraint_newton {

// The most Newton steps one solution may take.
constexpr int kMaxNewtonIterations = 50;
// A step at most this large against its target's scale ends the iteration:
// Newton's error after it is about its square, or, with a Jacobian of
// differences, about the step times the differences' relative error.
constexpr double kConvergedStep = 1e-10;
// A target's scale is its magnitude, but at least this fraction of the
// largest value the constraints read (the targets among them): a target
// that crosses 0 is known only to the rounding of the terms it is balanced
// against, and its differences need an increment those terms feel.
constexpr double kScaleFloor = 1e-3;
// The scale of a target when it and everything the constraints read is 0.
constexpr double kZeroScale = 1.0;
// The relative increment of the Jacobian's forward differences, the
// square root of the double precision's epsilon, times the target's scale.
constexpr double kDifferenceIncrement = 1.4901161193847656e-8;

// Solves a·x = b for x, in place in b, by Gaussian elimination with partial
// pivoting (a is n × n, row-major, and is overwritten); false when a pivot
// is 0 or not a number.
inline bool SolveDense(std::vector<double>& a, double* b, int n) {
  const auto at = [&a, n](int i, int j) -> double& {
    return a[static_cast<std::size_t>(i) * static_cast<std::size_t>(n) +
             static_cast<std::size_t>(j)];
  };
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    for (int i = k + 1; i < n; ++i) {
      if (std::fabs(at(i, k)) > std::fabs(at(pivot, k))) pivot = i;
    }
    if (!(std::fabs(at(pivot, k)) > 0.0) || !std::isfinite(at(pivot, k))) return false;
    if (pivot != k) {
      for (int j = 0; j < n; ++j) std::swap(at(k, j), at(pivot, j));
      std::swap(b[k], b[pivot]);
    }
    for (int i = k + 1; i < n; ++i) {
      const double factor = at(i, k) / at(k, k);
      if (factor == 0.0) continue;
      for (int j = k; j < n; ++j) at(i, j) -= factor * at(k, j);
      b[i] -= factor * b[k];
    }
  }
  for (int k = n - 1; k >= 0; --k) {
    double sum = b[k];
    for (int j = k + 1; j < n; ++j) sum -= at(k, j) * b[j];
    b[k] = sum / at(k, k);
  }
  return true;
}

inline bool AllFinite(const std::vector<double>& values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

// Newton's method on residual(z, f, read) from z (n values), with the
// scratch given (f, trial, jacobian); `read`, when not null, receives the largest magnitude of
// the values the constraints read. True when it converged; the last call
// of `residual` was then at the z it leaves.
}  // namespace constraint_newton

template <class Residual>
bool SolveConstraintsByNewton(std::vector<double>& z, std::vector<double>& f,
                              std::vector<double>& trial, std::vector<double>& jacobian,
                              Residual residual) {
  const std::size_t n = z.size();
  const int size = static_cast<int>(n);
  f.resize(n);
  trial.resize(2 * n);
  jacobian.resize(n * n);
  double* trialF = trial.data() + n;
  double read = 0.0;
  const auto scaleOf = [&z, &read](std::size_t i) {
    const double scale = std::max(std::fabs(z[i]), constraint_newton::kScaleFloor * read);
    return scale > 0.0 ? scale : constraint_newton::kZeroScale;
  };
  residual(z.data(), f.data(), &read);
  for (int iteration = 0; iteration < constraint_newton::kMaxNewtonIterations; ++iteration) {
    if (!constraint_newton::AllFinite(f, n)) return false;
    bool zero = true;
    for (std::size_t i = 0; i < n && zero; ++i) zero = f[i] == 0.0;
    if (zero) return true;
    for (std::size_t j = 0; j < n; ++j) {
      for (std::size_t i = 0; i < n; ++i) trial[i] = z[i];
      trial[j] = z[j] + constraint_newton::kDifferenceIncrement * scaleOf(j);
      const double step = trial[j] - z[j];  // the increment as represented
      residual(trial.data(), trialF, nullptr);
      for (std::size_t i = 0; i < n; ++i) jacobian[i * n + j] = (trialF[i] - f[i]) / step;
    }
    for (std::size_t i = 0; i < n; ++i) trial[i] = -f[i];
    if (!constraint_newton::SolveDense(jacobian, trial.data(), size)) {
      residual(z.data(), f.data(), nullptr);
      return false;
    }
    for (std::size_t i = 0; i < n; ++i) z[i] += trial[i];
    residual(z.data(), f.data(), &read);
    double largest = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      const double relative = std::fabs(trial[i]) / scaleOf(i);
      if (!(relative <= largest)) largest = relative;
    }
    if (largest <= constraint_newton::kConvergedStep && constraint_newton::AllFinite(f, n))
      return true;
  }
  return false;
}

}  // namespace vireon
