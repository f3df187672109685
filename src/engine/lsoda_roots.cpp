// Root finding of the integrator, as in the published LSODAR variant: the
// root functions are evaluated after every step on the interpolating
// polynomial, and a condition that changed within the step is located by
// the Illinois-modified regula falsi.

#include <cfloat>
#include <cmath>

#include "engine/lsoda.h"

namespace vireon {

namespace {

// Rounding units of |tn| + |h| within which two times count as one: the
// width to which a root is located, as in the published method.
constexpr double kRootRoundoff = 100.0;
// Trial points of one search before the bracket is taken as located; the
// bracket shrinks by at least half the tolerance per trial, and by far more
// in practice, so this bound is only a guard against a broken function.
constexpr int kMaxRootTrials = 500;
// Factor of the Illinois modification: the weight of an end kept twice in
// a row is halved.
constexpr double kIllinoisFactor = 0.5;

bool AnyChanged(int n, const char* from, const char* to) {
  for (int i = 0; i < n; ++i) {
    if (from[i] != to[i]) return true;
  }
  return false;
}

}  // namespace

double LocateRoot(double x0, double x1, double tolerance, const std::vector<double>& g0In,
                  const std::vector<char>& holds0, std::vector<double>& g1,
                  std::vector<char>& holds1,
                  const std::function<void(double x, double* g, char* holds)>& evaluate) {
  // Steps: (1) the trial point from the changed function whose secant
  // predicts the earliest root, with the value at x0 weighted by alpha
  // (halved when x1 moved twice in a row, doubled when x0 did), bisection
  // when no secant falls inside; (2) the trial point kept at least half the
  // tolerance from either end; (3) x1 moves to a trial point where a
  // condition has changed, x0 to any other; (4) until the bracket is within
  // the tolerance.
  const int count = static_cast<int>(holds0.size());
  std::vector<double> g0 = g0In;
  std::vector<double> trialG(g0.size());
  std::vector<char> trialHolds(holds0.size());
  double alpha = 1.0;
  int last = 0;  // which end moved last: 1 x1, -1 x0
  for (int trial = 0; trial < kMaxRootTrials && std::fabs(x1 - x0) > tolerance; ++trial) {
    double best = -1.0;
    for (int i = 0; i < count; ++i) {
      if (holds0[i] == holds1[i]) continue;
      const double denominator = g1[i] - alpha * g0[i];
      const double ratio = denominator != 0.0 ? std::fabs(g1[i] / denominator) : 0.5;
      if (std::isfinite(ratio) && ratio > best) best = ratio;
    }
    // A function that does not change sign with its condition (a step
    // function, or a zero at an end) gives no secant: bisect.
    if (!(best > 0.0 && best < 1.0)) best = 0.5;
    double x2 = x1 - (x1 - x0) * best;
    const double margin = 0.5 * tolerance;
    const double direction = x1 > x0 ? 1.0 : -1.0;
    if (std::fabs(x2 - x0) < margin) x2 = x0 + direction * margin;
    if (std::fabs(x1 - x2) < margin) x2 = x1 - direction * margin;
    evaluate(x2, trialG.data(), trialHolds.data());
    if (AnyChanged(count, holds0.data(), trialHolds.data())) {
      x1 = x2;
      g1.swap(trialG);
      holds1.swap(trialHolds);
      alpha = last == 1 ? alpha * kIllinoisFactor : 1.0;
      last = 1;
    } else {
      x0 = x2;
      g0 = trialG;
      alpha = last == -1 ? alpha / kIllinoisFactor : 1.0;
      last = -1;
    }
  }
  return x1;
}

void Lsoda::EvaluateRoots(double t, double* g, char* holds) {
  // The solution at t from the history; at tn it is the history's first row.
  if (t == tn_) {
    for (int i = 1; i <= n_; ++i) rootY_[i] = yh_[1][i];
  } else {
    intdy(t, 0, rootY_.data());
  }
  roots_->Evaluate(t, rootY_.data(), g, holds);
}

void Lsoda::StartRoots(double t, const double* y) {
  const auto count = static_cast<std::size_t>(roots_->Count());
  rootG_.assign(count, 0.0);
  rootRightG_.assign(count, 0.0);
  rootHolds_.assign(count, 0);
  rootRightHolds_.assign(count, 0);
  rootsFound_.assign(count, 0);
  rootY_.assign(static_cast<std::size_t>(n_) + 1, 0.0);
  rootTime_ = t;
  if (count > 0) roots_->Evaluate(t, y, rootG_.data(), rootHolds_.data());
}

bool Lsoda::ReturnAtRoot(const Call& call) {
  // Steps: (1) the end of the search, tn or tout when the call ends there
  // within the step (itask 1, and 4, which interpolates at tout as 1
  // does); nothing to do when it was searched already; (2) the
  // conditions at the end: unchanged, the search has reached it; (3)
  // otherwise the regula falsi between the last time searched and the end
  // (LocateRoot); (4) the return at the root with istate 3.
  const int count = roots_->Count();
  if (count == 0) return false;
  double end = tn_;
  if ((call.itask == 1 || call.itask == 4) && (tn_ - call.tout) * h_ >= 0.0) end = call.tout;
  if ((end - rootTime_) * h_ <= 0.0) return false;
  EvaluateRoots(end, rootRightG_.data(), rootRightHolds_.data());
  if (!AnyChanged(count, rootHolds_.data(), rootRightHolds_.data())) {
    rootTime_ = end;
    rootG_.swap(rootRightG_);
    rootHolds_.swap(rootRightHolds_);
    return false;
  }
  const double tolerance = kRootRoundoff * DBL_EPSILON * (std::fabs(tn_) + std::fabs(h_));
  const double x1 =
      LocateRoot(rootTime_, end, tolerance, rootG_, rootHolds_, rootRightG_, rootRightHolds_,
                 [this](double x, double* g, char* holds) { EvaluateRoots(x, g, holds); });
  for (int i = 0; i < count; ++i) rootsFound_[i] = rootHolds_[i] != rootRightHolds_[i];
  rootTime_ = x1;
  rootG_.swap(rootRightG_);
  rootHolds_.swap(rootRightHolds_);
  if (x1 == tn_) {
    for (int i = 1; i <= n_; ++i) call.y[i] = yh_[1][i];
  } else {
    intdy(x1, 0, call.y);
  }
  call.t = x1;
  illin_ = 0;
  call.istate = 3;
  return true;
}

}  // namespace vireon
