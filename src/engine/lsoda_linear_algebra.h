#pragma once
// Dense linear algebra in the 1-based form the integrator, the steady-state
// solver and the control analysis share. Vectors are 1-based (element 0 is
// never touched); a matrix is an array of 1-based row pointers, A(i, j) =
// matrix[i][j] for 1 <= i, j <= n.

#include <vector>

namespace vireon {

// Factors A = P·L·U in place by Gaussian elimination with partial pivoting
// (the multipliers overwrite the strict lower triangle, U the upper one).
// pivots[k] (k = 1 … n) is the row swapped with row k at stage k. Returns 0,
// or the index k of the last stage whose pivot was exactly zero; the
// factors are then unusable for a solve but the call itself never fails.
int LuFactor(double** matrix, int n, int* pivots);

// Solves with the factors of LuFactor, overwriting b (1-based) with x:
// job = 0 solves A·x = b, any other job solves Aᵀ·x = b. One factorisation
// serves any number of solves of either kind.
void LuSolve(double* const* matrix, int n, const int* pivots, double* b, int job);

// The same factorisation and solves, doing only the work on entries that
// are not exactly zero: a sparse matrix (a network's Jacobian) factors in
// time proportional to its non-zeros and their fill rather than n^3. The
// pivots are those of LuFactor, and every operation on a non-zero entry is
// the same operation in the same order, so every non-zero of the factors
// and of a solution is bit for bit that of LuFactor and LuSolve; a zero may
// carry the other sign (a skipped x + 0·y can turn -0 into +0). Matrices or
// right-hand sides that hold or produce an infinite or undefined value,
// where 0·y would not be zero, go through the dense routines instead.
class SparseLu {
 public:
  // As LuFactor; the matrix keeps the factors, this object their structure.
  int Factor(double** matrix, int n, int* pivots);
  // As LuSolve, with the factors of the last Factor.
  void Solve(double* const* matrix, int n, const int* pivots, double* b, int job) const;

 private:
  bool dense_ = false;  // the last factorisation went the dense way
  // Non-zero rows of each column of L below the diagonal and of U above
  // it, in increasing order (compressed columns, 1-based columns).
  std::vector<int> lowerStart_, lowerRows_, upperStart_, upperRows_;
  // Non-zero columns of each row of U right of the diagonal, as they are
  // found (compressed rows).
  std::vector<int> rowColumnStart_, rowColumns_;
  std::vector<int> rows_;             // scratch of one stage
  std::vector<double> copy_;          // the matrix, for a dense retry
  mutable std::vector<double> kept_;  // a right-hand side, for a dense retry
};

// Index (1 … n) of the element of largest absolute value among x[1 … n];
// the first one on ties, 0 when n < 1.
int MaxAbsIndex(int n, const double* x);

// x[i] *= a for i = 1 … n.
void ScaleVector(int n, double a, double* x);

// Σ x[i]·y[i] over i = 1 … n.
double DotProduct(int n, const double* x, const double* y);

// y[i] += a·x[i] for i = 1 … n.
void AddScaled(int n, double a, const double* x, double* y);

}  // namespace vireon
