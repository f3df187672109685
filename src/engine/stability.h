#pragma once
// Linear stability of a steady state: the eigenvalues of the reduced
// Jacobian (LAPACK's real Schur factorisation) and their statistics.

#include <string>

#include "engine/engine.h"

namespace vireon {

// Fills state.eigenReal and state.eigenImag (0-based, the first
// nIndependent entries) and the statistics from state.jacobian.
void ComputeEigenvalues(Engine& engine);

// The counts and extremes of a set of eigenvalues; magnitudes up to the
// resolution count as zero.
struct EigenvalueStatistics {
  double maxRealPart = 0.0, maxImagPart = 0.0;
  double nPositiveReal = 0.0, nNegativeReal = 0.0, nReal = 0.0, nImaginary = 0.0,
         nComplex = 0.0, nZero = 0.0;
};
EigenvalueStatistics SummariseEigenvalues(const double* real, const double* imaginary, int n,
                                          double resolution);

// The report's verdict on the steady state: "is unstable", "is
// asymptotically stable" or "stability is undetermined", followed by the
// oscillation remark when some eigenvalue has an imaginary part.
std::string StabilityVerdict(double maxRealPart, double maxImagPart, double resolution);

}  // namespace vireon
