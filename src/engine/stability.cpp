#include "engine/stability.h"

#include <algorithm>
#include <cmath>
#include <vector>

extern "C" {
// LAPACK: real Schur factorisation of a general matrix, with its eigenvalues.
void dgees_(const char* jobvs, const char* sort, int (*select)(const double*, const double*),
            const int* n, double* a, const int* lda, int* sdim, double* wr, double* wi, double* vs,
            const int* ldvs, double* work, const int* lwork, int* bwork, int* info,
            std::size_t jobvsLength, std::size_t sortLength);
// LAPACK: the steps of dgees that its eigenvalues need - permutation to
// isolate eigenvalues, Householder reduction to upper Hessenberg form, and
// the Hessenberg QR algorithm.
void dgebal_(const char* job, const int* n, double* a, const int* lda, int* ilo, int* ihi,
             double* scale, int* info, std::size_t jobLength);
void dgehrd_(const int* n, const int* ilo, const int* ihi, double* a, const int* lda, double* tau,
             double* work, const int* lwork, int* info);
void dhseqr_(const char* job, const char* compz, const int* n, const int* ilo, const int* ihi,
             double* h, const int* ldh, double* wr, double* wi, double* z, const int* ldz,
             double* work, const int* lwork, int* info, std::size_t jobLength,
             std::size_t compzLength);
// LAPACK: machine constants.
double dlamch_(const char* cmach, std::size_t cmachLength);
}

namespace vireon {

EigenvalueStatistics SummariseEigenvalues(const double* real, const double* imaginary, int n,
                                          double resolution) {
  EigenvalueStatistics s;
  if (n < 1) return s;
  s.maxRealPart = real[0];
  s.maxImagPart = std::fabs(imaginary[0]);
  for (int k = 0; k < n; ++k) {
    const double re = real[k];
    const double im = imaginary[k];
    // An eigenvalue that is not known leaves the largest parts unknown,
    // wherever it stands among the others.
    if (std::isnan(re) || re > s.maxRealPart) s.maxRealPart = re;
    if (std::isnan(im) || std::fabs(im) > s.maxImagPart) s.maxImagPart = std::fabs(im);
    if (std::fabs(re) <= resolution) {
      if (std::fabs(im) <= resolution) {
        s.nZero += 1;
      } else {
        s.nImaginary += 1;
      }
    } else {
      if (re >= resolution) s.nPositiveReal += 1;
      if (re <= -resolution) s.nNegativeReal += 1;
      if (std::fabs(im) <= resolution) {
        s.nReal += 1;
      } else {
        s.nComplex += 1;
      }
    }
  }
  return s;
}

namespace {

// Copies the n x n matrix (element (i, j) at matrix[i + j * ld]) into a,
// column-major with leading dimension n.
void CopyMatrix(int n, const double* matrix, int ld, double* a) {
  for (int j = 0; j < n; ++j) {
    std::copy_n(matrix + static_cast<std::size_t>(j) * ld, n, a + static_cast<std::size_t>(j) * n);
  }
}

// dgees without Schur vectors or sorting; lwork -1 asks for the workspace
// size, which comes back in work[0].
int Dgees(int n, double* a, double* wr, double* wi, double* work, int lwork) {
  const char jobvs = 'N';
  const char sort = 'N';
  const int lda = std::max(n, 1);
  const int ldvs = 1;
  int sdim = 0;
  int info = 0;
  double vs = 0.0;
  dgees_(&jobvs, &sort, nullptr, &n, a, &lda, &sdim, wr, wi, &vs, &ldvs, work, &lwork, nullptr,
         &info, 1, 1);
  return info;
}

// The workspace dgees asks for, and never less than it requires.
int SchurWorkspace(int n, double* a, double* wr, double* wi) {
  double query = 0.0;
  Dgees(n, a, wr, wi, &query, -1);
  return std::max(static_cast<int>(query), 3 * n);
}

int CallDgees(int n, double* a, double* wr, double* wi, std::vector<double>& work) {
  return Dgees(n, a, wr, wi, work.data(), static_cast<int>(work.size()));
}

// dgees' own bounds: it scales a matrix whose largest magnitude lies
// outside [smallest, largest] before the factorisation and back after it.
struct ScalingBounds {
  double smallest, largest;
};
ScalingBounds DgeesScalingBounds() {
  const double precision = dlamch_("P", 1);
  const double smallest = std::sqrt(dlamch_("S", 1)) / precision;
  return {smallest, 1.0 / smallest};
}

// Whether a (column-major, leading dimension n) has no nonzero entry below
// the first subdiagonal in rows and columns ilo..ihi (1-based).
bool IsHessenbergBlock(int n, const double* a, int ilo, int ihi) {
  for (int j = ilo - 1; j < ihi; ++j) {
    const double* column = a + static_cast<std::size_t>(j) * n;
    for (int i = j + 2; i < ihi; ++i) {
      if (column[i] != 0.0) return false;
    }
  }
  return true;
}

// Whether rows and columns ilo..ihi (1-based) of a hold a NaN.
bool BlockHasNan(int n, const double* a, int ilo, int ihi) {
  for (int j = ilo - 1; j < ihi; ++j) {
    const double* column = a + static_cast<std::size_t>(j) * n;
    for (int i = ilo - 1; i < ihi; ++i) {
      if (std::isnan(column[i])) return true;
    }
  }
  return false;
}

// The largest block with a NaN that goes to dgees. A NaN in the block the
// QR iteration works on mostly keeps it from converging, and dgees then
// iterates to its limit, in a time that grows as the fourth power of the
// block's order: a few milliseconds here, seconds at 50, hours at 500.
constexpr int kLargestNanBlockForDgees = 16;

}  // namespace

int SchurFormEigenvalues(int n, const double* matrix, int ld, double* a, double* wr, double* wi) {
  if (n < 1) return 0;
  CopyMatrix(n, matrix, ld, a);
  std::vector<double> work(SchurWorkspace(n, a, wr, wi));
  return CallDgees(n, a, wr, wi, work);
}

int MatrixEigenvalues(int n, const double* matrix, int ld, double* a, double* wr, double* wi) {
  // dgees with no Schur vectors permutes the matrix (dgebal), reduces it to
  // Hessenberg form (dgehrd) and runs the QR algorithm for the Schur form
  // (dhseqr with job 'S'). The same calls with job 'E' do the arithmetic of
  // the active block element for element as job 'S' does, and skip the
  // updates outside it that only the Schur form needs, so the eigenvalues
  // come out identical and in the same order. The work array is laid out
  // and sized as dgees lays it out, since its length steers the block sizes.
  // The steps:
  //   1. copy; a matrix that dgees would scale, or with an entry that is not
  //      finite, goes to dgees itself, unless dgebal('P') leaves a NaN in a
  //      block larger than kLargestNanBlockForDgees: its eigenvalues are
  //      then reported unknown, as dgees reports those it fails on, and the
  //      isolated ones are the diagonal entries dgees gives;
  //   2. dgebal('P') isolates eigenvalues, leaving the block ilo..ihi;
  //   3. dgehrd, unless that block is upper Hessenberg already and the
  //      matrix holds no negative zero: every Householder vector is then
  //      zero, and dgehrd would return each entry unchanged;
  //   4. dhseqr('E'); a failure to converge goes to dgees, which reports it.
  if (n < 1) return 0;
  static const ScalingBounds bounds = DgeesScalingBounds();
  double largest = 0.0;
  bool finite = true;
  bool nan = false;
  bool negativeZero = false;
  for (int j = 0; j < n; ++j) {
    const double* column = matrix + static_cast<std::size_t>(j) * ld;
    double* target = a + static_cast<std::size_t>(j) * n;
    for (int i = 0; i < n; ++i) {
      const double value = column[i];
      target[i] = value;
      finite = finite && std::isfinite(value);
      nan = nan || std::isnan(value);
      negativeZero = negativeZero || (value == 0.0 && std::signbit(value));
      largest = std::max(largest, std::fabs(value));
    }
  }
  std::vector<double> work(SchurWorkspace(n, a, wr, wi));
  // Keep clear of the bounds' edges: there dgees goes its own way.
  const bool wouldScale =
      largest > 0.0 && (largest < 2.0 * bounds.smallest || largest > 0.5 * bounds.largest);
  const int lda = n;
  const int lwork = static_cast<int>(work.size());
  int ilo = 1;
  int ihi = n;
  int info = 0;
  if (nan && n > kLargestNanBlockForDgees) {
    // A NaN makes dgees leave the matrix unscaled.
    dgebal_("P", &n, a, &lda, &ilo, &ihi, work.data(), &info, 1);
    if (info == 0 && ihi - ilo + 1 > kLargestNanBlockForDgees && BlockHasNan(n, a, ilo, ihi)) {
      for (int k = 0; k < n; ++k) {
        const bool isolated = k < ilo - 1 || k >= ihi;
        const double diagonal = a[k + static_cast<std::size_t>(k) * n];
        wr[k] = isolated ? diagonal : std::nan("");
        wi[k] = isolated ? 0.0 : std::nan("");
      }
      return ihi;
    }
    CopyMatrix(n, matrix, ld, a);
  }
  if (!finite || wouldScale) return CallDgees(n, a, wr, wi, work);

  // work: the permutation (n), the Householder factors (n), then dgehrd's
  // workspace; dhseqr's starts after the permutation, as in dgees.
  dgebal_("P", &n, a, &lda, &ilo, &ihi, work.data(), &info, 1);
  if (info != 0) {
    CopyMatrix(n, matrix, ld, a);
    return CallDgees(n, a, wr, wi, work);
  }
  if (negativeZero || !IsHessenbergBlock(n, a, ilo, ihi)) {
    const int hrdWork = lwork - 2 * n;
    dgehrd_(&n, &ilo, &ihi, a, &lda, work.data() + n, work.data() + 2 * n, &hrdWork, &info);
    if (info != 0) {
      CopyMatrix(n, matrix, ld, a);
      return CallDgees(n, a, wr, wi, work);
    }
  }
  const int ldz = 1;
  const int qrWork = lwork - n;
  double z = 0.0;
  dhseqr_("E", "N", &n, &ilo, &ihi, a, &lda, wr, wi, &z, &ldz, work.data() + n, &qrWork, &info, 1,
          1);
  if (info != 0) {
    CopyMatrix(n, matrix, ld, a);
    return CallDgees(n, a, wr, wi, work);
  }
  return 0;
}

void ComputeEigenvalues(Engine& engine) {
  EngineState& state = engine.state;
  const int n = engine.equations.nReduced();
  std::fill(state.eigenReal.begin(), state.eigenReal.end(), 0.0);
  std::fill(state.eigenImag.begin(), state.eigenImag.end(), 0.0);
  if (n >= 1) {
    // Element (i, j) = dF_i/dx_j = jacobian[j][i]: the Jacobian's rows are
    // the columns of the matrix.
    const int info =
        MatrixEigenvalues(n, &state.jacobian[1][1], state.jacobian.columns(),
                          state.eigenMatrix.data(), state.eigenReal.data(), state.eigenImag.data());
    if (info > 0 && info <= n) {
      // The QR iteration did not converge: the leading eigenvalues are not
      // known, and must not be reported as if they were.
      for (int k = 0; k < info; ++k) {
        state.eigenReal[k] = std::nan("");
        state.eigenImag[k] = std::nan("");
      }
    }
  }
  const EigenvalueStatistics s =
      SummariseEigenvalues(state.eigenReal.data(), state.eigenImag.data(), n,
                           engine.settings.solver.steadyStateResolution);
  state.maxRealPart = s.maxRealPart;
  state.maxImagPart = s.maxImagPart;
  state.nPositiveReal = s.nPositiveReal;
  state.nNegativeReal = s.nNegativeReal;
  state.nReal = s.nReal;
  state.nImaginary = s.nImaginary;
  state.nComplex = s.nComplex;
  state.nZero = s.nZero;
}

std::string StabilityVerdict(double maxRealPart, double maxImagPart, double resolution) {
  std::string verdict;
  if (maxRealPart > resolution) {
    verdict = "is unstable";
  } else if (maxRealPart < -resolution) {
    verdict = "is asymptotically stable";
  } else {
    verdict = "stability is undetermined";
  }
  if (maxImagPart > resolution) {
    verdict += ",\n transient states in its vicinity have oscillatory components";
  }
  return verdict;
}

}  // namespace vireon
