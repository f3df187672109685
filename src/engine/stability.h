#pragma once
// Linear stability of a steady state: the eigenvalues of the reduced
// Jacobian (in the order of LAPACK's real Schur factorisation) and their
// statistics.

#include <string>

#include "engine/engine.h"

namespace vireon {

// The eigenvalues of the n x n matrix whose element (i, j) (0-based) is
// matrix[i + j * ld], into wr (real parts) and wi (imaginary parts), in the
// order of LAPACK's real Schur factorisation dgees, bit for bit as dgees
// gives them. a is scratch for n * n entries. Returns dgees' info: 0, or
// k > 0 when the QR iteration failed and entries before k may not have
// converged.
// MatrixEigenvalues computes only what the eigenvalues need, where that is
// exactly the same; SchurFormEigenvalues always runs dgees itself. Where a
// NaN lies in a block of more than 16 rows that dgees would iterate on,
// MatrixEigenvalues does not iterate: it returns the block's last row as
// info, as dgees returns it when the NaN keeps its iteration from
// converging, in a time that would grow as the block's order to the fourth.
int MatrixEigenvalues(int n, const double* matrix, int ld, double* a, double* wr, double* wi);
int SchurFormEigenvalues(int n, const double* matrix, int ld, double* a, double* wr, double* wi);

// Fills state.eigenReal and state.eigenImag (0-based, the first
// nIndependent entries) and the statistics from state.jacobian.
void ComputeEigenvalues(Engine& engine);

// The counts and extremes of a set of eigenvalues; magnitudes up to the
// resolution count as zero.
struct EigenvalueStatistics {
  double maxRealPart = 0.0, maxImagPart = 0.0;
  double nPositiveReal = 0.0, nNegativeReal = 0.0, nReal = 0.0, nImaginary = 0.0, nComplex = 0.0,
         nZero = 0.0;
};
EigenvalueStatistics SummariseEigenvalues(const double* real, const double* imaginary, int n,
                                          double resolution);

// The report's verdict on the steady state: "is unstable", "is
// asymptotically stable" or "stability is undetermined", followed by the
// oscillation remark when some eigenvalue has an imaginary part.
std::string StabilityVerdict(double maxRealPart, double maxImagPart, double resolution);

}  // namespace vireon
