#include "engine/stability.h"

#include <algorithm>
#include <cmath>
#include <vector>

extern "C" {
// LAPACK: real Schur factorisation of a general matrix, with its eigenvalues.
void dgees_(const char* jobvs, const char* sort, int (*select)(const double*, const double*),
            const int* n, double* a, const int* lda, int* sdim, double* wr, double* wi,
            double* vs, const int* ldvs, double* work, const int* lwork, int* bwork, int* info,
            std::size_t jobvsLength, std::size_t sortLength);
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
    s.maxRealPart = std::max(s.maxRealPart, re);
    s.maxImagPart = std::max(s.maxImagPart, std::fabs(im));
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

void ComputeEigenvalues(Engine& engine) {
  EngineState& state = engine.state;
  const int n = engine.model.nIndependent;
  std::fill(state.eigenReal.begin(), state.eigenReal.end(), 0.0);
  std::fill(state.eigenImag.begin(), state.eigenImag.end(), 0.0);
  if (n >= 1) {
    // Column-major copy: element (i, j) = dF_i/dx_j = jacobian[j][i].
    for (int j = 1; j <= n; ++j) {
      for (int i = 1; i <= n; ++i) {
        state.eigenMatrix[static_cast<std::size_t>(j - 1) * n + (i - 1)] = state.jacobian[j][i];
      }
    }
    const char jobvs = 'N';
    const char sort = 'N';
    const int lda = std::max(n, 1);
    const int ldvs = 1;
    int sdim = 0;
    int info = 0;
    double vs = 0.0;
    // Ask LAPACK for the workspace it wants, so that any size of system works.
    double query = 0.0;
    int lwork = -1;
    dgees_(&jobvs, &sort, nullptr, &n, state.eigenMatrix.data(), &lda, &sdim,
           state.eigenReal.data(), state.eigenImag.data(), &vs, &ldvs, &query, &lwork, nullptr,
           &info, 1, 1);
    lwork = std::max(static_cast<int>(query), 3 * n);
    std::vector<double> work(lwork);
    dgees_(&jobvs, &sort, nullptr, &n, state.eigenMatrix.data(), &lda, &sdim,
           state.eigenReal.data(), state.eigenImag.data(), &vs, &ldvs, work.data(), &lwork,
           nullptr, &info, 1, 1);
    if (info > 0 && info <= n) {
      // The QR iteration did not converge: the leading eigenvalues are not
      // known, and must not be reported as if they were.
      for (int k = 0; k < info; ++k) {
        state.eigenReal[k] = std::nan("");
        state.eigenImag[k] = std::nan("");
      }
    }
  }
  const EigenvalueStatistics s = SummariseEigenvalues(
      state.eigenReal.data(), state.eigenImag.data(), n, engine.settings.steadyStateResolution);
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
