#include "engine/lsoda.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "model/double_pair.h"

namespace vireon {
namespace {

constexpr int kDefaultMxstep = 500;    // steps per call when mxstep is 0
constexpr int kDefaultMxhnil = 10;     // "t + h = t" warnings when mxhnil is 0
constexpr int kOrderUnset = 100;       // an order option of 0, cut to the family's maximum
constexpr int kRepeatedToutLimit = 5;  // starts with tout = t before it counts as a loop
constexpr int kIllegalInputLimit = 5;  // illegal-input returns before the repeated-use text
constexpr double kMaxMatrixElements = 134217728.0;  // 2^27 doubles (1 GiB) for the matrix

constexpr double kCcmax = 0.3;               // relative change of h·l0 that forces a new matrix P
constexpr int kMaxcor = 3;                   // corrector iterations per attempt
constexpr int kMsbp = 20;                    // steps after which P is re-evaluated in any case
constexpr int kMxncf = 10;                   // convergence failures in one step before giving up
constexpr int kSwitchInterval = 20;          // steps between tests for a method switch
constexpr double kSwitchRatio = 5.0;         // step gain a method switch must promise
constexpr double kInitialCrate = 0.7;        // convergence rate assumed for a fresh matrix
constexpr double kInitialRmax = 10000.0;     // largest step growth until the first change of h
constexpr double kRmaxAfterChange = 10.0;    // largest step growth after a successful change
constexpr double kRmaxAfterFailure = 2.0;    // largest step growth after any failure
constexpr double kRateCap = 1024.0;          // cap of the convergence-rate estimate
constexpr double kConvergenceCut = 0.25;     // step factor after a convergence failure
constexpr double kRepeatedFailureCut = 0.2;  // step factor cap after two error-test failures
constexpr double kRestartCut = 0.1;          // step factor when restarting at order 1
constexpr int kRestartFailures = -3;         // kflag at which the step restarts at order 1
constexpr int kMaxErrorTestFailures = -10;   // kflag at which the step is abandoned
constexpr int kRestartIalth = 5;             // steps at order 1 after a restart
constexpr int kKeepIalth = 3;                // steps before retrying a rejected change of h
constexpr double kMinStepChange = 1.1;       // smallest worthwhile growth factor of h
constexpr double kSafetyDown = 1.3;          // safety factor for order q-1
constexpr double kSafetySame = 1.2;          // safety factor for order q
constexpr double kSafetyUp = 1.4;            // safety factor for order q+1
constexpr double kBiasDown = 1.3e-6;         // keeps the order q-1 factor finite
constexpr double kBiasSame = 1.2e-6;         // keeps the order q factor finite
constexpr double kBiasUp = 1.4e-6;           // keeps the order q+1 factor finite
constexpr double kRoundoffIterate = 100.0;   // del below this·pnorm·uround: converged
constexpr double kRoundoffAdams = 100.0;  // Adams error below this·pnorm·uround: no switch test
constexpr double kRoundoffBdf = 1000.0;   // scaled Adams error below this·pnorm·uround: stay BDF
constexpr double kLipschitzFloor = 1e-6;  // smallest h·(Lipschitz estimate) used
constexpr double kLipschitzRelevant = 1e-5;   // h·L·rh above which stability limits an Adams step
constexpr double kMinAlpha = 0.001;           // smallest step ratio in the BDF-to-Adams test
constexpr double kStabilityMargin = 1.00001;  // slack in the stability-region comparison
constexpr double kHminMargin = 1.00001;       // slack in the comparison of |h| with hmin
constexpr double kTolsfLimit = 0.01;          // uround·|y| above this: too much accuracy asked
constexpr double kTolsfScale = 200.0;         // turns the ratio into the suggested scaling factor
constexpr double kTcritMargin = 4.0;          // rounding units kept clear of tcrit
constexpr double kTimeRoundoff = 100.0;       // rounding units within which times coincide
constexpr double kMaxFirstTol = 0.001;        // upper bound of the tolerance for the first step
constexpr double kMinFirstTol = 100.0;        // lower bound of that tolerance, in rounding units
constexpr double kMinStartDistance = 2.0;     // |tout - t| in rounding units needed to start
constexpr double kJacobianIncrement = 1000.0;  // r0 = this·|h|·uround·n·|f|: the smallest increment
constexpr double kRateDecay = 0.2;   // share of the old convergence rate kept in the new estimate
constexpr double kRateWeight = 1.5;  // weight of the convergence rate in the convergence test
constexpr double kDivergence = 2.0;  // a correction this much larger than the last: diverging
constexpr double kSwitchTrialGain = 2.0;  // step gain assumed when a switch is forced by stability

// Largest step ratio h·(Lipschitz estimate) for which the Adams method of
// each order 1 … 12 stays inside its stability region.
constexpr double kSm1[] = {0.0,  0.5,  0.575, 0.55,  0.45,  0.35, 0.25,
                           0.20, 0.15, 0.10,  0.075, 0.050, 0.025};

}  // namespace

void Lsoda::Print(const char* format, ...) {
  if (!printOn_ || !print_) return;
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  print_(buffer);
}

void Lsoda::IllegalInput(int& istate) {
  // Five illegal calls in a row suggest a caller that loops on the error.
  // The sixth says so, and still reports the failure.
  if (illin_ == kIllegalInputLimit) {
    Print("\nlsoda -- repeated occurrence of illegal input\n");
  } else {
    ++illin_;
  }
  istate = -3;
}

void Lsoda::LsodaFree() {
  std::vector<double>().swap(yhData_);
  std::vector<double*>().swap(yh_);
  wmData_.reset();
  std::vector<double*>().swap(wm_);
  std::vector<double>().swap(ewt_);
  std::vector<double>().swap(savf_);
  std::vector<double>().swap(acor_);
  allocated_ = false;
  init_ = 0;
}

bool Lsoda::Allocate() {
  LsodaFree();
  const double matrixElements = double(n_ + 1) * double(n_ + 1);
  if (matrixElements > kMaxMatrixElements) {
    Print("\nlsoda -- insufficient memory for your problem");
    return false;
  }
  const size_t width = size_t(n_) + 1;
  try {
    yhData_.assign(width * (kHistoryRows + 1), 0.0);
    yh_.assign(kHistoryRows + 1, nullptr);
    for (int j = 1; j <= kHistoryRows; ++j) yh_[j] = &yhData_[j * width];
    // The iteration matrix is written whole before it is first read, and a
    // non-stiff problem never forms it: its pages are left untouched.
    wmData_.reset(new double[width * width]);
    wm_.assign(width, nullptr);
    for (size_t i = 1; i < width; ++i) wm_[i] = &wmData_[i * width];
    ewt_.assign(width, 0.0);
    savf_.assign(width, 0.0);
    acor_.assign(width, 0.0);
  } catch (const std::bad_alloc&) {
    LsodaFree();
    Print("\nlsoda -- insufficient memory for your problem");
    return false;
  } catch (const std::length_error&) {
    LsodaFree();
    Print("\nlsoda -- insufficient memory for your problem");
    return false;
  }
  allocated_ = true;
  return true;
}

double Lsoda::WeightedMaxNorm(const double* v) const {
  // A NaN anywhere makes the norm NaN (the first one met), so that every
  // test built on it fails. Otherwise the sizes are positive or +0 and the
  // largest is the same whichever order they are compared in, so two pairs
  // of running maxima are kept, in vector registers.
  Pair largest[2] = {};
  PairMask undefined[2] = {};
  const double* w = ewt_.data();
  int i = 1;
  for (; i + 3 <= n_; i += 4) {
    for (int half = 0; half < 2; ++half) {
      const int at = i + 2 * half;
      const Pair size = AbsPair(LoadPair(v + at)) * LoadPair(w + at);
      largest[half] = size > largest[half] ? size : largest[half];
      undefined[half] |= size != size;
    }
  }
  double norm = 0.0;
  bool nan = false;
  for (int lane = 0; lane < 2; ++lane) {
    for (int half = 0; half < 2; ++half) {
      norm = std::max(norm, largest[half][lane]);
      nan = nan || undefined[half][lane] != 0;
    }
  }
  for (; i <= n_; ++i) {
    const double size = std::fabs(v[i]) * w[i];
    norm = size > norm ? size : norm;
    nan = nan || size != size;
  }
  if (nan) {
    for (int k = 1; k <= n_; ++k) {
      const double size = std::fabs(v[k]) * w[k];
      if (std::isnan(size)) return size;
    }
  }
  return norm;
}

double Lsoda::WeightedMatrixNorm() const {
  // The weighted max-norm of a matrix consistent with WeightedMaxNorm:
  // max over rows i of ewt[i]·Σ_j |A(i, j)| / ewt[j].
  double norm = 0.0;
  for (int i = 1; i <= n_; ++i) {
    const double* row = wm_[i];
    double sum = 0.0;
    for (int j = 1; j <= n_; ++j) sum += std::fabs(row[j]) / ewt_[j];
    norm = std::max(norm, sum * ewt_[i]);
  }
  return norm;
}

namespace {

// Returns 0, or the first component whose weight rtol·|y| + atol is not
// positive. The weights are stored inverted.
int FillErrorWeights(int n, int itol, const double* rtol, const double* atol, const double* ycur,
                     double* ewt) {
  int i = 1;
  if (itol == 1) {
    // One tolerance for all: two components at a time, until a pair holds
    // a weight that is not positive, which the loop below then finds.
    const Pair relative = {rtol[1], rtol[1]};
    const Pair absolute = {atol[1], atol[1]};
    for (; i + 1 <= n; i += 2) {
      const Pair weight = relative * AbsPair(LoadPair(ycur + i)) + absolute;
      const PairMask positive = weight > 0.0;
      if (positive[0] == 0 || positive[1] == 0) break;
      StorePair(ewt + i, 1.0 / weight);
    }
  }
  for (; i <= n; ++i) {
    const double rtoli = itol >= 3 ? rtol[i] : rtol[1];
    const double atoli = (itol == 2 || itol == 4) ? atol[i] : atol[1];
    const double weight = rtoli * std::fabs(ycur[i]) + atoli;
    if (!(weight > 0.0)) {
      ewt[i] = weight;
      return i;
    }
    ewt[i] = 1.0 / weight;
  }
  return 0;
}

}  // namespace

bool Lsoda::SetErrorWeights(int itol, const double* rtol, const double* atol, const double* ycur) {
  const int bad = FillErrorWeights(n_, itol, rtol, atol, ycur, ewt_.data());
  if (bad == 0) return true;
  Print("\nlsoda -- ewt[%d] = %g <= 0.", bad, ewt_[bad]);
  return false;
}

void Lsoda::ComputeCoefficients(int meth) {
  // Fills elco_ and tesco_ for one family. The corrector of order q is given
  // by the coefficients of a polynomial built up as a product of linear
  // factors: for Adams, Λ(x) = ∫ of Π_{i=1}^{q-1} (x + i), for BDF
  // Π_{i=1}^{q} (x + i) normalised to a unit linear term; the error
  // constants come from the integrals of the same polynomials.
  double pc[kHistoryRows + 1] = {};
  if (meth == 1) {
    elco_[1][1] = 1.0;
    elco_[1][2] = 1.0;
    tesco_[1][1] = 0.0;
    tesco_[1][2] = 2.0;
    tesco_[2][1] = 1.0;
    tesco_[kMaxAdamsOrder][3] = 0.0;
    pc[1] = 1.0;
    double rqfac = 1.0;
    for (int nq = 2; nq <= kMaxAdamsOrder; ++nq) {
      // pc holds the coefficients of p(x) = Π_{i=1}^{nq-1} (x + i); form
      // p(x)·(x + nq - 1).
      const double rq1fac = rqfac;
      rqfac /= nq;
      const int nqm1 = nq - 1;
      const double fnqm1 = nqm1;
      const int nqp1 = nq + 1;
      pc[nq] = 0.0;
      for (int i = nq; i >= 2; --i) pc[i] = pc[i - 1] + fnqm1 * pc[i];
      pc[1] = fnqm1 * pc[1];
      // Integrals from -1 to 0 of p(x) and of x·p(x).
      double pint = pc[1];
      double xpin = pc[1] / 2.0;
      double tsign = 1.0;
      for (int i = 2; i <= nq; ++i) {
        tsign = -tsign;
        pint += tsign * pc[i] / i;
        xpin += tsign * pc[i] / (i + 1);
      }
      elco_[nq][1] = pint * rq1fac;
      elco_[nq][2] = 1.0;
      for (int i = 2; i <= nq; ++i) elco_[nq][i + 1] = rq1fac * pc[i] / i;
      const double agamq = rqfac * xpin;
      const double ragq = 1.0 / agamq;
      tesco_[nq][2] = ragq;
      if (nq < kMaxAdamsOrder) tesco_[nqp1][1] = ragq * rqfac / nqp1;
      tesco_[nqm1][3] = ragq;
    }
    return;
  }
  pc[1] = 1.0;
  double rq1fac = 1.0;
  for (int nq = 1; nq <= kMaxBdfOrder; ++nq) {
    // pc holds Π_{i=1}^{nq-1} (x + i); form the product with (x + nq).
    const double fnq = nq;
    const int nqp1 = nq + 1;
    pc[nqp1] = 0.0;
    for (int i = nq + 1; i >= 2; --i) pc[i] = pc[i - 1] + fnq * pc[i];
    pc[1] = fnq * pc[1];
    for (int i = 1; i <= nqp1; ++i) elco_[nq][i] = pc[i] / pc[2];
    elco_[nq][2] = 1.0;
    tesco_[nq][1] = rq1fac;
    tesco_[nq][2] = nqp1 / elco_[nq][1];
    tesco_[nq][3] = (nq + 2) / elco_[nq][1];
    rq1fac /= fnq;
  }
}

void Lsoda::ResetCoefficients() {
  for (int i = 1; i <= l_; ++i) el_[i] = elco_[nq_][i];
  rc_ = rc_ * el_[1] / el0_;
  el0_ = el_[1];
  conit_ = 0.5 / (nq_ + 2);
}

void Lsoda::Rescale(double rh, bool boundByHmin) {
  // Steps: bound the ratio by hmin, by rmax and by hmax; for Adams also by
  // the stability region (irflag remembers that it did); scale row j of the
  // history by rh^(j-1).
  if (boundByHmin) rh = std::max(rh, hmin_ / std::fabs(h_));
  rh = std::min(rh, rmax_);
  rh = rh / std::max(1.0, std::fabs(h_) * hmxi_ * rh);
  if (meth_ == 1) {
    irflag_ = 0;
    const double pdh = std::max(std::fabs(h_) * pdlast_, kLipschitzFloor);
    if (rh * pdh * kStabilityMargin >= kSm1[nq_]) {
      rh = kSm1[nq_] / pdh;
      irflag_ = 1;
    }
  }
  double r = 1.0;
  for (int j = 2; j <= l_; ++j) {
    r *= rh;
    double* row = yh_[j];
    for (int i = 1; i <= n_; ++i) row[i] *= r;
  }
  h_ *= rh;
  rc_ *= rh;
  ialth_ = l_;
}

namespace {

// The history's components are independent of each other, and each sees
// the same additions in the same order whichever way the work is cut. A
// pair of components at a time is loaded into registers once, taken through
// all nq(nq + 1)/2 passes there and stored once; the order is a template
// argument so that the passes unroll completely.
template <bool kAdd, int kNq>
void ApplyPascalTriangle(double* const* yh, int n) {
  auto pass = [](auto& a, auto b) {
    if constexpr (kAdd) {
      a += b;
    } else {
      a -= b;
    }
  };
  int i = 1;
  for (; i + 1 <= n; i += 2) {
    Pair z[kNq + 2];
    for (int j = 1; j <= kNq + 1; ++j) z[j] = LoadPair(yh[j] + i);
    for (int k = kNq; k >= 1; --k) {
      for (int j = k; j <= kNq; ++j) pass(z[j], z[j + 1]);
    }
    for (int j = 1; j <= kNq; ++j) StorePair(yh[j] + i, z[j]);
  }
  for (; i <= n; ++i) {
    for (int k = kNq; k >= 1; --k) {
      for (int j = k; j <= kNq; ++j) pass(yh[j][i], yh[j + 1][i]);
    }
  }
}

// Adds (or, to take a prediction back, subtracts) each row to the one above
// it, nq(nq + 1)/2 times in all, for any order 1 … sizeof...(kOrders).
template <bool kAdd, int... kOrders>
void ApplyPascalTriangle(double* const* yh, int nq, int n, std::integer_sequence<int, kOrders...>) {
  (void)((nq == kOrders + 1 && (ApplyPascalTriangle<kAdd, kOrders + 1>(yh, n), true)) || ...);
}

}  // namespace

void Lsoda::PredictHistory() {
  // Multiplies the history by the Pascal triangle: the Taylor expansion of
  // every row to tn + h.
  ApplyPascalTriangle<true>(yh_.data(), nq_, n_, std::make_integer_sequence<int, kMaxAdamsOrder>());
}

void Lsoda::RetractHistory() {
  ApplyPascalTriangle<false>(yh_.data(), nq_, n_,
                             std::make_integer_sequence<int, kMaxAdamsOrder>());
}

void Lsoda::prja(double* y) {
  // Steps: (1) choose the increments from the size of f and the weights;
  // (2) difference f column by column into -h·l0·J; (3) take the norm of J
  // for the stiffness test; (4) add the identity; (5) factor P.
  ++nje_;
  ierpj_ = 0;
  jcur_ = 1;
  const double hl0 = h_ * el0_;
  if (miter_ != 2) {
    Print("\nprja -- miter != 2");
    ierpj_ = -1;
    return;
  }
  if (UseKlu()) {
    SparseIterationMatrix(y, hl0);
    return;
  }
  if (jacobian_ != nullptr && jacobian_->Evaluate(n_, tn_, y, wm_.data())) {
    for (int i = 1; i <= n_; ++i) {
      for (int j = 1; j <= n_; ++j) wm_[i][j] *= -hl0;
    }
  } else {
    DifferenceJacobian(y, hl0, /*sparse=*/false);
  }
  pdnorm_ = WeightedMatrixNorm() / std::fabs(hl0);
  for (int i = 1; i <= n_; ++i) wm_[i][i] += 1.0;
  // The sparse form changes at most the sign of a zero in the solutions,
  // which only ever add to corrections that start at +0.
  kluFactored_ = UseKlu();
  if (kluFactored_) {
    if (!klu_.Factor(wm_.data())) ierpj_ = 1;
  } else if (lu_.Factor(wm_.data(), n_) != 0) {
    ierpj_ = 1;
  }
}

bool Lsoda::UseKlu() {
  if (!sparseFactorisation_ || structure_ == nullptr || n_ < kKluMinimumSize) return false;
  if (kluStructure_ != structure_ || kluSize_ != n_) {
    kluStructure_ = structure_;
    kluSize_ = n_;
    const SparsityPattern& pattern = structure_->pattern();
    const double entries = static_cast<double>(pattern.rows.size()) + n_;
    kluPays_ = pattern.nColumns == n_ &&
               entries <= kKluMaximumDensity * static_cast<double>(n_) * n_ &&
               klu_.Analyze(pattern, n_);
    if (kluPays_) {
      kluDiagonal_.assign(static_cast<std::size_t>(n_) + 1, -1);
      kluDiagonalInStructure_.assign(static_cast<std::size_t>(n_) + 1, 0);
      for (int j = 1; j <= n_; ++j) {
        for (int e = klu_.columnStart()[j - 1]; e < klu_.columnStart()[j]; ++e) {
          if (klu_.rows()[e] == j - 1) kluDiagonal_[j] = e;
        }
        kluDiagonalInStructure_[j] =
            std::binary_search(pattern.RowsBegin(j), pattern.RowsEnd(j), j) ? 1 : 0;
      }
    }
  }
  return kluPays_;
}

void Lsoda::SparseIterationMatrix(double* y, double hl0) {
  double* entries = klu_.entries();
  const int nEntries = klu_.NonZeros();
  if (jacobian_ != nullptr &&
      jacobian_->EvaluateSparse(n_, tn_, y, klu_.columnStart(), klu_.rows(), entries)) {
    for (int e = 0; e < nEntries; ++e) entries[e] *= -hl0;
  } else if (jacobian_ != nullptr && jacobian_->Evaluate(n_, tn_, y, wm_.data())) {
    // Only the full matrix can be had: gathered along the pattern, as the
    // factorisation takes it.
    for (int j = 1; j <= n_; ++j) {
      for (int e = klu_.columnStart()[j - 1]; e < klu_.columnStart()[j]; ++e) {
        entries[e] = wm_[klu_.rows()[e] + 1][j] * -hl0;
      }
    }
  } else {
    DifferenceJacobian(y, hl0, /*sparse=*/true);
  }
  pdnorm_ = SparseMatrixNorm() / std::fabs(hl0);
  for (int j = 1; j <= n_; ++j) entries[kluDiagonal_[j]] += 1.0;
  kluFactored_ = true;
  if (!klu_.FactorEntries()) ierpj_ = 1;
}

double Lsoda::SparseMatrixNorm() {
  // WeightedMatrixNorm over the entries of the pattern: each row's sum
  // takes its terms in the order of the columns, as the full matrix's does,
  // and the entries outside the pattern, zeros there, add nothing.
  kluRowSums_.assign(static_cast<std::size_t>(n_) + 1, 0.0);
  const double* entries = klu_.entries();
  for (int j = 1; j <= n_; ++j) {
    for (int e = klu_.columnStart()[j - 1]; e < klu_.columnStart()[j]; ++e) {
      kluRowSums_[klu_.rows()[e] + 1] += std::fabs(entries[e]) / ewt_[j];
    }
  }
  double norm = 0.0;
  for (int i = 1; i <= n_; ++i) norm = std::max(norm, kluRowSums_[i] * ewt_[i]);
  return norm;
}

// Step (2) of prja by differences: the columns of -h·l0·J into wm_ (or,
// `sparse`, into KLU's entries along its pattern), and their evaluations of
// f counted.
void Lsoda::DifferenceJacobian(double* y, double hl0, bool sparse) {
  double fac = WeightedMaxNorm(savf_.data());
  double r0 = kJacobianIncrement * std::fabs(h_) * uround_ * n_ * fac;
  if (r0 == 0.0) r0 = 1.0;
  if (!DifferenceByGroups(y, r0, hl0, sparse)) {
    double* ftemp = acor_.data();
    double* entries = klu_.entries();
    for (int j = 1; j <= n_; ++j) {
      const double yj = y[j];
      const double r = std::max(srur_ * std::fabs(yj), r0 / ewt_[j]);
      y[j] += r;
      fac = -hl0 / r;
      f_->Derivs(n_, tn_, y, ftemp);
      if (sparse) {
        for (int e = klu_.columnStart()[j - 1]; e < klu_.columnStart()[j]; ++e) {
          const int i = klu_.rows()[e] + 1;
          entries[e] = (ftemp[i] - savf_[i]) * fac;
        }
      } else {
        for (int i = 1; i <= n_; ++i) wm_[i][j] = (ftemp[i] - savf_[i]) * fac;
      }
      y[j] = yj;
    }
  }
  nfe_ += n_;
}

// f with every column of a group perturbed by its increment into ftemp, y
// restored; false when f fails there or gives a value that is not finite.
bool Lsoda::EvaluateGroup(double* y, const int* first, const int* last, double r0, double* ftemp) {
  for (const int* j = first; j != last; ++j) {
    const double r = std::max(srur_ * std::fabs(y[*j]), r0 / ewt_[*j]);
    savedY_[*j] = y[*j];
    y[*j] += r;
  }
  auto restore = [&] {
    for (const int* j = first; j != last; ++j) y[*j] = savedY_[*j];
  };
  try {
    f_->Derivs(n_, tn_, y, ftemp);
  } catch (...) {
    restore();
    return false;
  }
  restore();
  for (int i = 1; i <= n_; ++i) {
    if (!std::isfinite(ftemp[i])) return false;
  }
  return true;
}

// A row of column j is touched by no other column of its group, so it gets
// the value of f with y_j alone perturbed; a row outside the pattern gets
// (savf_i - savf_i)·fac as it always did. Finite values of y, savf and
// every evaluation keep that exact: a dependent row sums 0 × F_l over the
// rows l of the other columns, which is 0 only for a finite F_l.
bool Lsoda::DifferenceByGroups(double* y, double r0, double hl0, bool sparse) {
  if (structure_ == nullptr) return false;
  const SparsityPattern& pattern = structure_->pattern();
  const ColumnGroups& groups = structure_->groups();
  if (pattern.nColumns != n_ || !groups.Pays(n_)) return false;
  for (int i = 1; i <= n_; ++i) {
    if (!std::isfinite(y[i]) || !std::isfinite(savf_[i])) return false;
  }
  savedY_.resize(n_ + 1);
  double* ftemp = acor_.data();
  for (int g = 0; g < groups.size(); ++g) {
    const int* first = groups.columns.data() + groups.groupStart[g];
    const int* last = groups.columns.data() + groups.groupStart[g + 1];
    if (!EvaluateGroup(y, first, last, r0, ftemp)) return false;
    for (const int* j = first; j != last; ++j) {
      const double r = std::max(srur_ * std::fabs(y[*j]), r0 / ewt_[*j]);
      const double fac = -hl0 / r;
      const double untouched = 0.0 * fac;
      if (sparse) {
        // Along KLU's pattern: a diagonal it added is untouched.
        double* entries = klu_.entries();
        for (int e = klu_.columnStart()[*j - 1]; e < klu_.columnStart()[*j]; ++e) {
          const int i = klu_.rows()[e] + 1;
          entries[e] = i == *j && kluDiagonalInStructure_[*j] == 0 ? untouched
                                                                   : (ftemp[i] - savf_[i]) * fac;
        }
        continue;
      }
      for (int i = 1; i <= n_; ++i) wm_[i][*j] = untouched;
      for (const int* i = pattern.RowsBegin(*j); i != pattern.RowsEnd(*j); ++i) {
        wm_[*i][*j] = (ftemp[*i] - savf_[*i]) * fac;
      }
    }
  }
  return true;
}

void Lsoda::solsy(double* x) {
  iersl_ = 0;
  if (miter_ != 2) {
    Print("\nsolsy -- miter != 2");
    iersl_ = -1;
    return;
  }
  if (kluFactored_) {
    klu_.Solve(x);
  } else {
    lu_.Solve(x);
  }
}

bool Lsoda::Correct(double* y, double pnorm, int& m, double& del) {
  // Steps: (1) evaluate f at the prediction, re-evaluate and factor P if
  // asked; (2) iterate: Adams by functional iteration, BDF by the chord
  // method with P; (3) after each iterate test convergence against the
  // error-test constant, with the rate estimated from successive
  // corrections, and keep the largest Lipschitz estimate for the stiffness
  // test; (4) on divergence or after maxcor iterations, retry once with a
  // fresh P if it was stale, else report failure.
  double delp = 0.0;
  for (;;) {
    m = 0;
    double rate = 0.0;
    del = 0.0;
    const double* yh1 = yh_[1];
    for (int i = 1; i <= n_; ++i) y[i] = yh1[i];
    f_->Derivs(n_, tn_, y, savf_.data());
    ++nfe_;
    if (ipup_ > 0) {
      prja(y);
      ipup_ = 0;
      rc_ = 1.0;
      nslp_ = nst_;
      crate_ = kInitialCrate;
      if (ierpj_ != 0) return false;
    }
    std::fill(acor_.begin(), acor_.end(), 0.0);
    double* savf = savf_.data();
    double* acor = acor_.data();
    const double* yh2 = yh_[2];
    for (;;) {
      if (miter_ == 0) {
        for (int i = 1; i <= n_; ++i) {
          savf[i] = h_ * savf[i] - yh2[i];
          y[i] = savf[i] - acor[i];
        }
        del = WeightedMaxNorm(y);
        for (int i = 1; i <= n_; ++i) {
          y[i] = yh1[i] + el_[1] * savf[i];
          acor[i] = savf[i];
        }
      } else {
        for (int i = 1; i <= n_; ++i) y[i] = h_ * savf[i] - (yh2[i] + acor[i]);
        solsy(y);
        if (iersl_ < 0) return false;
        if (iersl_ > 0) break;
        del = WeightedMaxNorm(y);
        for (int i = 1; i <= n_; ++i) {
          acor[i] += y[i];
          y[i] = yh1[i] + el_[1] * acor[i];
        }
      }
      // A correction at the level of rounding has converged without a rate.
      if (del <= kRoundoffIterate * pnorm * uround_) return true;
      // Adams takes at least two iterations, for a Lipschitz estimate.
      if (m != 0 || meth_ != 1) {
        if (m != 0) {
          double rm = kRateCap;
          if (del <= kRateCap * delp) rm = del / delp;
          rate = std::max(rate, rm);
          crate_ = std::max(kRateDecay * crate_, rm);
        }
        const double dcon = del * std::min(1.0, kRateWeight * crate_) / (tesco_[nq_][2] * conit_);
        if (dcon <= 1.0) {
          pdest_ = std::max(pdest_, rate / std::fabs(h_ * el_[1]));
          if (pdest_ != 0.0) pdlast_ = pdest_;
          return true;
        }
      }
      ++m;
      if (m == maxcor_) break;
      if (m >= 2 && del > kDivergence * delp) break;
      delp = del;
      f_->Derivs(n_, tn_, y, savf);
      ++nfe_;
    }
    if (miter_ == 0 || jcur_ == 1) return false;
    ipup_ = miter_;
  }
}

bool Lsoda::ConsiderMethodSwitch(double dsm, double pnorm, double& rh) {
  // Compares the step the current method allows with the step the other
  // family would allow at the same error, from the error constants cm1, cm2
  // and (for Adams) the stability limit given by the Lipschitz estimate.
  // Returns true and the step ratio when a switch is made.
  return meth_ == 1 ? SwitchToBdf(dsm, pnorm, rh) : SwitchToAdams(dsm, pnorm, rh);
}

bool Lsoda::SwitchToBdf(double dsm, double pnorm, double& rh) {
  // Adams now: switch to BDF when BDF promises a step kSwitchRatio times
  // larger, or when the step was cut by stability and errors are at the
  // level of rounding.
  if (nq_ > kMaxBdfOrder) return false;
  double rh2;
  int nqm2;
  if (dsm <= kRoundoffAdams * pnorm * uround_ || pdest_ == 0.0) {
    if (irflag_ == 0) return false;
    rh2 = kSwitchTrialGain;
    nqm2 = std::min(nq_, mxords_);
  } else {
    const double exsm = 1.0 / l_;
    double rh1 = 1.0 / (kSafetySame * std::pow(dsm, exsm) + kBiasSame);
    // Twice rh1 stands for "no stability limit" in the minimum below.
    double rh1it = 2.0 * rh1;
    const double pdh = pdlast_ * std::fabs(h_);
    if (pdh * rh1 > kLipschitzRelevant) rh1it = kSm1[nq_] / pdh;
    rh1 = std::min(rh1, rh1it);
    if (nq_ > mxords_) {
      nqm2 = mxords_;
      const int lm2 = mxords_ + 1;
      const double exm2 = 1.0 / lm2;
      const double dm2 = WeightedMaxNorm(yh_[lm2 + 1]) / cm2_[mxords_];
      rh2 = 1.0 / (kSafetySame * std::pow(dm2, exm2) + kBiasSame);
    } else {
      const double dm2 = dsm * (cm1_[nq_] / cm2_[nq_]);
      rh2 = 1.0 / (kSafetySame * std::pow(dm2, exsm) + kBiasSame);
      nqm2 = nq_;
    }
    if (rh2 < ratio_ * rh1) return false;
  }
  rh = rh2;
  icount_ = kSwitchInterval;
  meth_ = 2;
  miter_ = jtyp_;
  pdlast_ = 0.0;
  nq_ = nqm2;
  l_ = nq_ + 1;
  return true;
}

bool Lsoda::SwitchToAdams(double dsm, double pnorm, double& rh) {
  // BDF now: switch to Adams when Adams, limited by stability, promises a
  // step kSwitchRatio times larger and its error is above rounding level.
  const double exsm = 1.0 / l_;
  int nqm1;
  double exm1;
  double dm1;
  double rh1;
  if (mxordn_ < nq_) {
    nqm1 = mxordn_;
    const int lm1 = mxordn_ + 1;
    exm1 = 1.0 / lm1;
    dm1 = WeightedMaxNorm(yh_[lm1 + 1]) / cm1_[mxordn_];
    rh1 = 1.0 / (kSafetySame * std::pow(dm1, exm1) + kBiasSame);
  } else {
    dm1 = dsm * (cm2_[nq_] / cm1_[nq_]);
    rh1 = 1.0 / (kSafetySame * std::pow(dm1, exsm) + kBiasSame);
    nqm1 = nq_;
    exm1 = exsm;
  }
  // Twice rh1 stands for "no stability limit" in the minimum below.
  double rh1it = 2.0 * rh1;
  const double pdh = pdnorm_ * std::fabs(h_);
  if (pdh * rh1 > kLipschitzRelevant) rh1it = kSm1[nqm1] / pdh;
  rh1 = std::min(rh1, rh1it);
  const double rh2 = 1.0 / (kSafetySame * std::pow(dsm, exsm) + kBiasSame);
  if (rh1 * ratio_ < kSwitchRatio * rh2) return false;
  const double alpha = std::max(kMinAlpha, rh1);
  dm1 = std::pow(alpha, exm1) * dm1;
  if (dm1 <= kRoundoffBdf * uround_ * pnorm) return false;
  rh = rh1;
  icount_ = kSwitchInterval;
  meth_ = 1;
  miter_ = 0;
  pdlast_ = 0.0;
  nq_ = nqm1;
  l_ = nq_ + 1;
  return true;
}

bool Lsoda::ChooseOrderAndStep(double dsm, double rhup, int& newq, double& rh) {
  // Steps: (1) the step factors rhdn, rhsm, rhup that orders q-1, q and q+1
  // allow (rhup is given: 0 after a failure or at the highest order);
  // (2) for Adams, bound them by the stability region; (3) take the largest,
  // preferring q, then q-1; (4) refuse a growth below kMinStepChange unless
  // stability forced the step down. Returns false when h and q stay.
  const double exsm = 1.0 / l_;
  double rhsm = 1.0 / (kSafetySame * std::pow(dsm, exsm) + kBiasSame);
  double rhdn = 0.0;
  if (nq_ != 1) {
    const double ddn = WeightedMaxNorm(yh_[l_]) / tesco_[nq_][1];
    const double exdn = 1.0 / nq_;
    rhdn = 1.0 / (kSafetyDown * std::pow(ddn, exdn) + kBiasDown);
  }
  double pdh = 0.0;
  if (meth_ == 1) {
    pdh = std::max(std::fabs(h_) * pdlast_, kLipschitzFloor);
    if (l_ < lmax_) rhup = std::min(rhup, kSm1[l_] / pdh);
    rhsm = std::min(rhsm, kSm1[nq_] / pdh);
    if (nq_ > 1) rhdn = std::min(rhdn, kSm1[nq_ - 1] / pdh);
    pdest_ = 0.0;
  }
  bool lower;
  if (rhsm >= rhup) {
    lower = rhsm < rhdn;
  } else if (rhup > rhdn) {
    newq = l_;
    rh = rhup;
    if (rh < kMinStepChange) return false;
    // The new highest row comes from the last correction.
    const double r = el_[l_] / l_;
    double* row = yh_[newq + 1];
    for (int i = 1; i <= n_; ++i) row[i] = acor_[i] * r;
    return true;
  } else {
    lower = true;
  }
  if (lower) {
    newq = nq_ - 1;
    rh = rhdn;
    if (kflag_ < 0 && rh > 1.0) rh = 1.0;
  } else {
    newq = nq_;
    rh = rhsm;
  }
  const bool stabilityBound = meth_ == 1 && rh * pdh * kStabilityMargin >= kSm1[newq];
  if (!stabilityBound && kflag_ == 0 && rh < kMinStepChange) return false;
  if (kflag_ <= -2) rh = std::min(rh, kRepeatedFailureCut);
  return true;
}

void Lsoda::Stoda(double* y) {
  // Steps: (1) on the first call start at order 1 with the coefficients of
  // both families; after changes (jstart -1, -2) reload the coefficients and
  // rescale the history to a changed h; (2) predict; (3) correct, and on a
  // convergence failure retract, cut h by 4 and retry (kflag -2 after
  // mxncf failures or at hmin); (4) test the local error; on failure retract
  // and retry at a smaller h and possibly lower order, from order 1 with a
  // fresh derivative after three failures (kflag -1 after ten, or at hmin);
  // (5) on success update the history, test for a method switch when the
  // switch counter runs out, else choose order and step every q+1 steps.
  kflag_ = 0;
  const double told = tn_;
  int ncf = 0;
  ierpj_ = 0;
  iersl_ = 0;
  jcur_ = 0;
  PrepareStep();

  for (;;) {
    if (std::fabs(rc_ - 1.0) > ccmax_) ipup_ = miter_;
    if (nst_ >= nslp_ + msbp_) ipup_ = miter_;
    tn_ += h_;
    PredictHistory();
    const double pnorm = WeightedMaxNorm(yh_[1]);
    int m = 0;
    double del = 0.0;
    if (!Correct(y, pnorm, m, del)) {
      if (RetryAfterConvergenceFailure(told, ncf)) continue;
      break;
    }
    jcur_ = 0;
    const double dsm = (m == 0 ? del : WeightedMaxNorm(acor_.data())) / tesco_[nq_][2];
    if (dsm <= 1.0) {
      AcceptStep(dsm, pnorm);
      // The correction is kept scaled as an estimate of the local error.
      const double r = 1.0 / tesco_[nqu_][2];
      for (int i = 1; i <= n_; ++i) acor_[i] *= r;
      break;
    }
    if (!RetryAfterErrorTestFailure(y, told, dsm)) break;
  }
  hold_ = h_;
  jstart_ = 1;
}

void Lsoda::PrepareStep() {
  // jstart 0: the first step of an integration, at order 1, with the
  // coefficients and error constants of both families. jstart -1: inputs
  // or the method changed, so the coefficients are reloaded. jstart -1 and
  // -2: a step size changed from outside is applied to the history.
  if (jstart_ == 0) {
    lmax_ = maxord_ + 1;
    nq_ = 1;
    l_ = 2;
    ialth_ = 2;
    rmax_ = kInitialRmax;
    rc_ = 0.0;
    el0_ = 1.0;
    crate_ = kInitialCrate;
    hold_ = h_;
    nslp_ = 0;
    ipup_ = miter_;
    icount_ = kSwitchInterval;
    irflag_ = 0;
    pdest_ = 0.0;
    pdlast_ = 0.0;
    ratio_ = kSwitchRatio;
    ComputeCoefficients(2);
    for (int i = 1; i <= kMaxBdfOrder; ++i) cm2_[i] = tesco_[i][2] * elco_[i][i + 1];
    ComputeCoefficients(1);
    for (int i = 1; i <= kMaxAdamsOrder; ++i) cm1_[i] = tesco_[i][2] * elco_[i][i + 1];
    ResetCoefficients();
    return;
  }
  if (jstart_ == -1) {
    ipup_ = miter_;
    lmax_ = maxord_ + 1;
    if (ialth_ == 1) ialth_ = 2;
    if (meth_ != mused_) {
      ComputeCoefficients(meth_);
      ialth_ = l_;
      ResetCoefficients();
    } else if (coefficientsStale_) {
      ResetCoefficients();
    }
    coefficientsStale_ = false;
  }
  if ((jstart_ == -1 || jstart_ == -2) && h_ != hold_) {
    const double rh = h_ / hold_;
    h_ = hold_;
    Rescale(rh, false);
  }
}

bool Lsoda::RetryAfterConvergenceFailure(double told, int& ncf) {
  // The prediction is retracted; the step is retried at a quarter of h with
  // a fresh matrix, unless the matrix could not be formed or solved (kflag
  // -3), or the failures repeat or h cannot shrink further (kflag -2).
  ++ncf;
  rmax_ = kRmaxAfterFailure;
  tn_ = told;
  RetractHistory();
  if (ierpj_ < 0 || iersl_ < 0) {
    kflag_ = -3;
    return false;
  }
  // A step that can no longer be cut without vanishing against tn also
  // counts as failing at hmin: otherwise a right-hand side that turns
  // NaN at some time lets the steps creep towards it without end.
  if (std::fabs(h_) <= hmin_ * kHminMargin || ncf == mxncf_ || tn_ + kConvergenceCut * h_ == tn_) {
    kflag_ = -2;
    return false;
  }
  ipup_ = miter_;
  Rescale(kConvergenceCut, true);
  return true;
}

void Lsoda::AcceptStep(double dsm, double pnorm) {
  // The step passed the error test: the counters and the history take it;
  // then either the method switches, or every q+1 steps the order and the
  // step size are chosen again.
  kflag_ = 0;
  ++nst_;
  hu_ = h_;
  nqu_ = nq_;
  mused_ = meth_;
  for (int j = 1; j <= l_; ++j) {
    double* row = yh_[j];
    const double e = el_[j];
    for (int i = 1; i <= n_; ++i) row[i] += e * acor_[i];
  }
  --icount_;
  double rh = 1.0;
  if (icount_ < 0 && ConsiderMethodSwitch(dsm, pnorm, rh)) {
    Rescale(rh, true);
    rmax_ = kRmaxAfterChange;
    return;
  }
  --ialth_;
  if (ialth_ == 0) {
    double rhup = 0.0;
    if (l_ != lmax_) {
      const double* last = yh_[lmax_];
      for (int i = 1; i <= n_; ++i) savf_[i] = acor_[i] - last[i];
      const double dup = WeightedMaxNorm(savf_.data()) / tesco_[nq_][3];
      const double exup = 1.0 / (l_ + 1);
      rhup = 1.0 / (kSafetyUp * std::pow(dup, exup) + kBiasUp);
    }
    int newq = nq_;
    if (ChooseOrderAndStep(dsm, rhup, newq, rh)) {
      if (newq != nq_) {
        nq_ = newq;
        l_ = nq_ + 1;
        ResetCoefficients();
      }
      Rescale(rh, true);
      rmax_ = kRmaxAfterChange;
    } else {
      ialth_ = kKeepIalth;
    }
  } else if (ialth_ == 1 && l_ != lmax_) {
    // Keep this correction for the order-increase estimate of the next step.
    double* last = yh_[lmax_];
    for (int i = 1; i <= n_; ++i) last[i] = acor_[i];
  }
}

bool Lsoda::RetryAfterErrorTestFailure(double* y, double told, double dsm) {
  // The prediction is retracted and the step retried at a smaller h and
  // perhaps a lower order; after three failures from order 1 with a fresh
  // derivative. Gives up (kflag -1) at hmin or after ten failures.
  --kflag_;
  tn_ = told;
  RetractHistory();
  rmax_ = kRmaxAfterFailure;
  if (std::fabs(h_) <= hmin_ * kHminMargin) {
    kflag_ = -1;
    return false;
  }
  if (kflag_ <= kRestartFailures) {
    // The higher derivatives in the history are suspect: restart at order
    // 1 from a fresh derivative, with h cut by 10.
    if (kflag_ == kMaxErrorTestFailures) {
      kflag_ = -1;
      return false;
    }
    const double rh = std::max(hmin_ / std::fabs(h_), kRestartCut);
    h_ *= rh;
    for (int i = 1; i <= n_; ++i) y[i] = yh_[1][i];
    f_->Derivs(n_, tn_, y, savf_.data());
    ++nfe_;
    for (int i = 1; i <= n_; ++i) yh_[2][i] = h_ * savf_[i];
    ipup_ = miter_;
    ialth_ = kRestartIalth;
    if (nq_ != 1) {
      nq_ = 1;
      l_ = 2;
      ResetCoefficients();
    }
    return true;
  }
  int newq = nq_;
  double rh = 1.0;
  ChooseOrderAndStep(dsm, 0.0, newq, rh);
  if (newq != nq_) {
    nq_ = newq;
    l_ = nq_ + 1;
    ResetCoefficients();
  }
  Rescale(rh, true);
  return true;
}

int Lsoda::intdy(double t, int k, double* dky) {
  // Steps: (1) check k and that t lies in the last step; (2) evaluate the
  // k-th derivative of the history polynomial at s = (t - tn)/h by Horner's
  // rule, row j contributing with the factor (j-1)!/(j-1-k)!; (3) divide by
  // h^k.
  if (k < 0 || k > nq_) {
    Print("\nintdy -- k = %d illegal", k);
    return -1;
  }
  const double tp =
      tn_ - hu_ - kTimeRoundoff * uround_ * std::copysign(std::fabs(tn_) + std::fabs(hu_), hu_);
  if (!allocated_ || (t - tp) * (t - tn_) > 0.0) {
    Print("\nintdy -- t = %g illegal", t);
    Print("\n         t not in interval tcur - hu to tcur");
    return -2;
  }
  const double s = (t - tn_) / h_;
  int ic = 1;
  for (int jj = l_ - k; jj <= nq_; ++jj) ic *= jj;
  double c = ic;
  const double* top = yh_[l_];
  for (int i = 1; i <= n_; ++i) dky[i] = c * top[i];
  for (int j = nq_ - 1; j >= k; --j) {
    const int jp1 = j + 1;
    ic = 1;
    for (int jj = jp1 - k; jj <= j; ++jj) ic *= jj;
    c = ic;
    const double* row = yh_[jp1];
    for (int i = 1; i <= n_; ++i) dky[i] = c * row[i] + s * dky[i];
  }
  if (k == 0) return 0;
  const double r = std::pow(h_, -k);
  for (int i = 1; i <= n_; ++i) dky[i] *= r;
  return 0;
}

bool Lsoda::AtTcrit(double tcrit) const {
  const double hmx = std::fabs(tn_) + std::fabs(h_);
  return std::fabs(tn_ - tcrit) <= kTimeRoundoff * uround_ * hmx;
}

void Lsoda::ReturnAtTout(const Call& call) {
  if (intdy(call.tout, 0, call.y) != 0) {
    Print("\nlsoda -- trouble from intdy, itask = %d, tout = %g", call.itask, call.tout);
    IllegalInput(call.istate);
    return;
  }
  call.t = call.tout;
  SuccessReturn(call.y, call.t, call.istate, false, false, call.tcrit);
}

void Lsoda::SuccessReturn(double* y, double& t, int& istate, bool atTn, bool hitTcrit,
                          double tcrit) {
  if (atTn) {
    for (int i = 1; i <= n_; ++i) y[i] = yh_[1][i];
    t = hitTcrit ? tcrit : tn_;
  }
  illin_ = 0;
  istate = 2;
}

void Lsoda::ErrorReturn(double* y, double& t, int& istate, int code, bool findLargestError) {
  if (findLargestError) {
    double big = 0.0;
    imxer_ = 1;
    for (int i = 1; i <= n_; ++i) {
      const double size = std::fabs(acor_[i] * ewt_[i]);
      if (big < size) {
        big = size;
        imxer_ = i;
      }
    }
  }
  for (int i = 1; i <= n_; ++i) y[i] = yh_[1][i];
  t = tn_;
  illin_ = 0;
  istate = code;
}

void Lsoda::lsoda(LsodaRhs& f, int neq, double* y, double& t, double tout, int itol,
                  const double* rtol, const double* atol, int itask, int& istate, int iopt, int jt,
                  const LsodaOptionalInputs& optional) {
  // Steps: (1) check istate and itask; a start with tout = t does nothing;
  // (2) on a start or a restart (istate 1, 3) check every input; on a start
  // allocate, evaluate f, load the history, set the weights and choose the
  // first step; (3) on a continuation return at once when tout was already
  // passed; (4) loop over steps: check the step count, refresh the weights,
  // check the accuracy asked and t + h = t, take a step, note a method
  // switch; (5) after each step return once the task is done; (6) on failure
  // return the last good state with the error code.
  f_ = &f;
  if (!CheckCall(t, tout, itask, istate)) return;
  const Call call{y, t, tout, itol, rtol, atol, itask, istate, optional.tcrit};
  bool atStart = false;
  if (istate != 2) {
    CheckedInputs in;
    if (!CheckInputs(neq, t, tout, itol, rtol, atol, itask, istate, iopt, jt, optional, in)) {
      IllegalInput(istate);
      return;
    }
    ApplyInputs(neq, jt, in);
    if (istate == 3) {
      PrepareRestart();
    } else {
      if (!Initialize(call, in.h0)) {
        IllegalInput(istate);
        return;
      }
      atStart = true;
    }
  }
  if (!atStart && roots_ != nullptr && ReturnAtRoot(call)) return;
  if (!atStart && ReturnBeforeStepping(call)) return;
  StepUntilDone(call, atStart);
}

bool Lsoda::CheckCall(double t, double tout, int itask, int& istate) {
  // False when the call ends here: illegal codes, a continuation without a
  // start, and a start with tout = t (which does nothing, until it repeats
  // often enough to look like a loop).
  if (istate < 1 || istate > 3) {
    Print("\nlsoda -- illegal istate = %d", istate);
    IllegalInput(istate);
    return false;
  }
  if (itask < 1 || itask > 5) {
    Print("\nlsoda -- illegal itask = %d", itask);
    IllegalInput(istate);
    return false;
  }
  if (istate == 1) {
    init_ = 0;
    if (tout == t) {
      if (++ntrep_ < kRepeatedToutLimit) return false;
      Print("\nlsoda -- repeated calls with istate = 1 and tout = t");
      Print("\n         run aborted.. apparent infinite loop");
      ntrep_ = 0;
      IllegalInput(istate);
      return false;
    }
  } else if (init_ == 0) {
    Print("\nlsoda -- istate > 1 but lsoda not initialized");
    IllegalInput(istate);
    return false;
  }
  ntrep_ = 0;
  return true;
}

bool Lsoda::CheckInputs(int neq, double t, double tout, int itol, const double* rtol,
                        const double* atol, int itask, int istate, int iopt, int jt,
                        const LsodaOptionalInputs& optional, CheckedInputs& in) {
  // The inputs of a start or a restart; false, after its text, at the first
  // one that is illegal. Nothing of the integration changes here.
  if (neq <= 0) {
    Print("\nlsoda -- neq = %d is less than 1", neq);
    return false;
  }
  if (istate == 3 && neq > n_) {
    Print("\nlsoda -- istate = 3 and neq increased");
    return false;
  }
  if (itol < 1 || itol > 4) {
    Print("\nlsoda -- itol = %d illegal", itol);
    return false;
  }
  if (iopt < 0 || iopt > 1) {
    Print("\nlsoda -- iopt = %d illegal", iopt);
    return false;
  }
  if (jt == 3 || jt < 1 || jt > 5) {
    Print("\nlsoda -- jt = %d illegal", jt);
    return false;
  }
  if (jt > 2) {
    if (optional.ml < 0 || optional.ml >= neq) {
      Print("\nlsoda -- _ml = %d not between 1 and neq", optional.ml);
      return false;
    }
    if (optional.mu < 0 || optional.mu >= neq) {
      Print("\nlsoda -- mu = %d not between 1 and neq", optional.mu);
      return false;
    }
  }
  if (jt != 2) {
    // Only the full Jacobian generated by differences is built in.
    Print("\nlsoda -- jt = %d illegal", jt);
    return false;
  }
  in = CheckedInputs{0, kDefaultMxstep, kDefaultMxhnil, kMaxAdamsOrder, kMaxBdfOrder};
  if (iopt == 1 && !CheckOptionalInputs(t, tout, istate, optional, in)) return false;
  for (int i = 1; i <= neq; ++i) {
    const double rtoli = itol >= 3 ? rtol[i] : rtol[1];
    const double atoli = (itol == 2 || itol == 4) ? atol[i] : atol[1];
    if (rtoli < 0.0) {
      Print("\nlsoda -- rtol = %g is less than 0.", rtoli);
      return false;
    }
    if (atoli < 0.0) {
      Print("\nlsoda -- atol = %g is less than 0.", atoli);
      return false;
    }
  }
  if (istate == 1 && (itask == 4 || itask == 5)) {
    const double tcrit = optional.tcrit;
    if ((tcrit - tout) * (tout - t) < 0.0) {
      Print("\nlsoda -- itask = 4 or 5 and tcrit behind tout");
      return false;
    }
    if (in.h0 != 0.0 && (t + in.h0 - tcrit) * in.h0 > 0.0) in.h0 = tcrit - t;
  }
  return true;
}

bool Lsoda::CheckOptionalInputs(double t, double tout, int istate,
                                const LsodaOptionalInputs& optional, CheckedInputs& in) {
  // Zero selects the default of every count and order.
  in.ixpr = optional.ixpr;
  if (in.ixpr < 0 || in.ixpr > 2) {
    Print("\nlsoda -- ixpr = %d is illegal", in.ixpr);
    return false;
  }
  in.mxstep = optional.mxstep;
  if (in.mxstep < 0) {
    Print("\nlsoda -- mxstep < 0");
    return false;
  }
  if (in.mxstep == 0) in.mxstep = kDefaultMxstep;
  in.mxhnil = optional.mxhnil;
  if (in.mxhnil < 0) {
    Print("\nlsoda -- mxhnil < 0");
    return false;
  }
  if (in.mxhnil == 0) in.mxhnil = kDefaultMxhnil;
  if (istate == 1) {
    in.h0 = optional.h0;
    if ((tout - t) * in.h0 < 0.0) {
      Print("\nlsoda -- tout = %g behind t = %g", tout, t);
      Print("\n         integration direction is given by %g", in.h0);
      return false;
    }
  }
  in.mxordn = optional.mxordn;
  if (in.mxordn < 0) {
    Print("\nlsoda -- mxordn = %d is less than 0", in.mxordn);
    return false;
  }
  if (in.mxordn == 0) in.mxordn = kOrderUnset;
  in.mxordn = std::min(in.mxordn, kMaxAdamsOrder);
  in.mxords = optional.mxords;
  if (in.mxords < 0) {
    Print("\nlsoda -- mxords = %d is less than 0", in.mxords);
    return false;
  }
  if (in.mxords == 0) in.mxords = kOrderUnset;
  in.mxords = std::min(in.mxords, kMaxBdfOrder);
  if (optional.hmax < 0.0) {
    Print("\nlsoda -- hmax < 0.");
    return false;
  }
  in.hmxi = optional.hmax > 0.0 ? 1.0 / optional.hmax : 0.0;
  if (optional.hmin < 0.0) {
    Print("\nlsoda -- hmin < 0.");
    return false;
  }
  in.hmin = optional.hmin;
  return true;
}

void Lsoda::ApplyInputs(int neq, int jt, const CheckedInputs& in) {
  n_ = neq;
  jtyp_ = jt;
  ixpr_ = in.ixpr;
  mxstep_ = in.mxstep;
  mxhnil_ = in.mxhnil;
  mxordn_ = in.mxordn;
  mxords_ = in.mxords;
  hmxi_ = in.hmxi;
  hmin_ = in.hmin;
}

void Lsoda::PrepareRestart() {
  // A restart with changed inputs: the one-step routine re-reads them.
  jstart_ = -1;
  maxord_ = meth_ == 1 ? mxordn_ : mxords_;
  if (nq_ > maxord_) {
    nq_ = maxord_;
    l_ = nq_ + 1;
    coefficientsStale_ = true;
  }
}

bool Lsoda::Initialize(const Call& call, double h0) {
  // A start: fresh work arrays and counters, the history at order 1 from y
  // and f(t, y), the error weights, and the first step (h0, or one chosen
  // here), bounded by hmax.
  if (!Allocate()) return false;
  uround_ = DBL_EPSILON;
  srur_ = std::sqrt(uround_);
  tn_ = call.t;
  tsw_ = call.t;
  maxord_ = mxordn_;
  jstart_ = 0;
  nhnil_ = 0;
  nst_ = 0;
  nje_ = 0;
  nslast_ = 0;
  hu_ = 0.0;
  nqu_ = 0;
  mused_ = 0;
  meth_ = 1;
  miter_ = 0;
  ccmax_ = kCcmax;
  maxcor_ = kMaxcor;
  msbp_ = kMsbp;
  mxncf_ = kMxncf;
  tolsf_ = 0.0;
  imxer_ = 0;
  coefficientsStale_ = false;
  for (int i = 1; i <= n_; ++i) yh_[1][i] = call.y[i];
  f_->Derivs(n_, call.t, call.y, yh_[2]);
  nfe_ = 1;
  nq_ = 1;
  h_ = 1.0;
  if (!SetErrorWeights(call.itol, call.rtol, call.atol, yh_[1])) return false;
  if (h0 == 0.0) {
    const double w0 = std::max(std::fabs(call.t), std::fabs(call.tout));
    if (std::fabs(call.tout - call.t) < kMinStartDistance * uround_ * w0) {
      Print("\nlsoda -- tout too close to t to start integration\n");
      return false;
    }
    h0 = FirstStepSize(call);
  }
  const double rh = std::fabs(h0) * hmxi_;
  if (rh > 1.0) h0 /= rh;
  h_ = h0;
  for (int i = 1; i <= n_; ++i) yh_[2][i] *= h0;
  if (roots_ != nullptr) StartRoots(call.t, call.y);
  return true;
}

double Lsoda::FirstStepSize(const Call& call) const {
  // The first step balances the error of a first-order step against the
  // distance to tout: h0^-2 = 1/(tol·w0²) + tol·|f0|², with the weighted
  // max-norm and tol a representative relative tolerance.
  const double tdist = std::fabs(call.tout - call.t);
  const double w0 = std::max(std::fabs(call.t), std::fabs(call.tout));
  double tol = call.rtol[1];
  if (call.itol > 2) {
    for (int i = 2; i <= n_; ++i) tol = std::max(tol, call.rtol[i]);
  }
  if (tol <= 0.0) {
    double atoli = call.atol[1];
    for (int i = 1; i <= n_; ++i) {
      if (call.itol == 2 || call.itol == 4) atoli = call.atol[i];
      const double ayi = std::fabs(call.y[i]);
      if (ayi != 0.0) tol = std::max(tol, atoli / ayi);
    }
  }
  tol = std::max(tol, kMinFirstTol * uround_);
  tol = std::min(tol, kMaxFirstTol);
  double sum = WeightedMaxNorm(yh_[2]);
  sum = 1.0 / (tol * w0 * w0) + tol * (sum * sum);
  double h0 = 1.0 / std::sqrt(sum);
  h0 = std::min(h0, tdist);
  return std::copysign(h0, call.tout - call.t);
}

bool Lsoda::ReturnBeforeStepping(const Call& call) {
  // A continuation: perhaps an earlier step already passed tout, or tn sits
  // on tcrit. Otherwise, for itask 4 and 5, the next step is kept short of
  // tcrit. True when the call has returned.
  nslast_ = nst_;
  const int itask = call.itask;
  if (itask == 1) {
    if ((tn_ - call.tout) * h_ >= 0.0) {
      ReturnAtTout(call);
      return true;
    }
    return false;
  }
  if (itask == 3) {
    const double tp = tn_ - hu_ * (1.0 + kTimeRoundoff * uround_);
    if ((tp - call.tout) * h_ > 0.0) {
      Print("\nlsoda -- itask = %d and tout behind tcur - hu", itask);
      IllegalInput(call.istate);
      return true;
    }
    if ((tn_ - call.tout) * h_ >= 0.0) {
      SuccessReturn(call.y, call.t, call.istate, true, false, call.tcrit);
      return true;
    }
    return false;
  }
  if (itask != 4 && itask != 5) return false;
  if ((tn_ - call.tcrit) * h_ > 0.0) {
    Print("\nlsoda -- itask = 4 or 5 and tcrit behind tcur");
    IllegalInput(call.istate);
    return true;
  }
  if (itask == 4) {
    if ((call.tcrit - call.tout) * h_ < 0.0) {
      Print("\nlsoda -- itask = 4 or 5 and tcrit behind tout");
      IllegalInput(call.istate);
      return true;
    }
    if ((tn_ - call.tout) * h_ >= 0.0) {
      ReturnAtTout(call);
      return true;
    }
  }
  return ReturnAtTcritOrClamp(call);
}

bool Lsoda::ReturnAtTcritOrClamp(const Call& call) {
  if (AtTcrit(call.tcrit)) {
    SuccessReturn(call.y, call.t, call.istate, true, true, call.tcrit);
    return true;
  }
  ClampStepToTcrit(call.tcrit);
  return false;
}

void Lsoda::ClampStepToTcrit(double tcrit) {
  const double tnext = tn_ + h_ * (1.0 + kTcritMargin * uround_);
  if ((tnext - tcrit) * h_ > 0.0) {
    h_ = (tcrit - tn_) * (1.0 - kTcritMargin * uround_);
    // The single step applies a changed h to the history; a pending
    // restart or method switch (jstart -1) does that and also reloads the
    // coefficients, which jstart -2 would skip.
    if (jstart_ != -1) jstart_ = -2;
  }
}

void Lsoda::StepUntilDone(const Call& call, bool atStart) {
  // The step loop; the first step of a start skips the checks its
  // initialisation has just made.
  for (;;) {
    if (!atStart && !CheckBeforeStep(call)) return;
    if (!CheckAccuracy(call)) return;
    WarnIfStepVanishes();
    atStart = false;

    Stoda(call.y);

    if (kflag_ != 0) {
      Print("\nlsoda -- at t = %g and step size h = %g, the", tn_, h_);
      if (kflag_ == -1) {
        Print("\n         error test failed repeatedly or");
      } else {
        Print("\n         corrector convergence failed repeatedly or");
      }
      Print("\n         with fabs(h) = hmin");
      ErrorReturn(call.y, call.t, call.istate, kflag_ == -1 ? -4 : -5, true);
      return;
    }
    NoteStepTaken();
    if (stepObserver_) stepObserver_();
    if (roots_ != nullptr && ReturnAtRoot(call)) return;
    if (ReturnIfDone(call)) return;
  }
}

bool Lsoda::CheckBeforeStep(const Call& call) {
  // The step limit of this call, and the error weights at the current y.
  if (nst_ - nslast_ >= mxstep_) {
    Print("\nlsoda -- %d steps taken before reaching tout", mxstep_);
    ErrorReturn(call.y, call.t, call.istate, -1, false);
    return false;
  }
  if (!SetErrorWeights(call.itol, call.rtol, call.atol, yh_[1])) {
    ErrorReturn(call.y, call.t, call.istate, -6, false);
    return false;
  }
  return true;
}

bool Lsoda::CheckAccuracy(const Call& call) {
  // Tolerances below the machine's precision at the current y: illegal at
  // the start, an error return later, with the suggested scaling factor.
  tolsf_ = uround_ * WeightedMaxNorm(yh_[1]);
  // Written so that a NaN norm passes: the step then fails on its own.
  if (!(tolsf_ > kTolsfLimit)) return true;
  tolsf_ *= kTolsfScale;
  if (nst_ == 0) {
    Print("\nlsoda -- at start of problem, too much accuracy");
    Print("\n         requested for precision of machine,");
    Print("\n         suggested scaling factor = %g", tolsf_);
    IllegalInput(call.istate);
    return false;
  }
  Print("\nlsoda -- at t = %g, too much accuracy requested", tn_);
  Print("\n         for precision of machine, suggested");
  Print("\n         scaling factor = %g", tolsf_);
  ErrorReturn(call.y, call.t, call.istate, -2, false);
  return false;
}

void Lsoda::WarnIfStepVanishes() {
  if (tn_ + h_ != tn_) return;
  ++nhnil_;
  if (nhnil_ > mxhnil_) return;
  Print("\nlsoda -- warning..internal t = %g and h = %g are", tn_, h_);
  Print("\n         such that in the machine, t + h = t on the next step");
  Print("\n         solver will continue anyway.");
  if (nhnil_ == mxhnil_) {
    Print("\nlsoda -- above warning has been issued %d times,", nhnil_);
    Print("\n         it will not be issued again for this problem");
  }
}

void Lsoda::NoteStepTaken() {
  // A method switch takes effect at the next step with the other family's
  // highest order; ixpr asks for it (and, at 2, every step) to be told.
  init_ = 1;
  if (meth_ != mused_) {
    tsw_ = tn_;
    maxord_ = meth_ == 2 ? mxords_ : mxordn_;
    jstart_ = -1;
    if (ixpr_ != 0) {
      if (meth_ == 2) Print("\nlsoda -- a switch to the stiff method has occurred");
      if (meth_ == 1) Print("\nlsoda -- a switch to the nonstiff method has occurred");
      Print("\n         at t = %g, tentative step size h = %g, step nst = %d", tn_, h_, nst_);
    }
  }
  if (ixpr_ == 2) {
    Print("\nmeth= %d,   order= %d,   nfe= %d,   nje= %d", mused_, nqu_, nfe_, nje_);
    Print("\nt= %20.15e,   h= %20.15e,   nst=%d", tn_, hu_, nst_);
  }
  if (yieldAfterStep_) std::this_thread::yield();
}

bool Lsoda::ReturnIfDone(const Call& call) {
  // After a step: whether the task is done, and then the return that fits
  // it (interpolated at tout, or at tn, or on tcrit).
  switch (call.itask) {
    case 1:
      if ((tn_ - call.tout) * h_ < 0.0) return false;
      ReturnAtTout(call);
      return true;
    case 2:
      SuccessReturn(call.y, call.t, call.istate, true, false, call.tcrit);
      return true;
    case 3:
      if ((tn_ - call.tout) * h_ < 0.0) return false;
      SuccessReturn(call.y, call.t, call.istate, true, false, call.tcrit);
      return true;
    case 4:
      if ((tn_ - call.tout) * h_ >= 0.0) {
        ReturnAtTout(call);
        return true;
      }
      return ReturnAtTcritOrClamp(call);
    default:
      SuccessReturn(call.y, call.t, call.istate, true, AtTcrit(call.tcrit), call.tcrit);
      return true;
  }
}

}  // namespace vireon
