#pragma once
// The LU factorisation the integrator, the steady-state solver and the
// control analysis share. Vectors are 1-based (element 0 is never touched);
// a matrix is an array of 1-based row pointers, A(i, j) = matrix[i][j] for
// 1 <= i, j <= n.

#include <vector>

namespace vireon {

// Gaussian elimination with partial pivoting, A = P·L·U, and the solves of
// A·x = b and Aᵀ·x = b with its factors; one factorisation serves any
// number of solves of either kind.
//
// The form is chosen once, when the solver is made: dense, or sparse, which
// does only the work on entries that are not exactly zero, so that a
// network's Jacobian factors in time proportional to its non-zeros and
// their fill rather than n^3. Every user passes the engine's sparsity
// switch (Engine::SetUseSparsity, on by default), so that switching it off
// makes every factorisation dense. The sparse form takes the dense form's
// pivots, and every operation on a non-zero entry is the same operation in
// the same order, so every non-zero of the factors and of a solution is bit
// for bit the dense form's. A zero of the factors or of Solve's solution may
// carry the other sign (a skipped x + 0·y can turn -0 into +0); those of
// SolveTransposed's solution do not, as its sums start at +0, which no zero
// term changes. A matrix or right-hand side that holds or produces an
// infinite or undefined value, where 0·y would not be zero, goes the dense
// way instead.
class LuSolver {
 public:
  explicit LuSolver(bool sparse) : sparse_(sparse) {}

  // Factors the n × n matrix in place: the multipliers overwrite its strict
  // lower triangle, U the upper one. The matrix and its row pointers must
  // stay as they are until the last solve with these factors. Returns 0, or
  // the index k of the last stage whose pivot was exactly zero; the factors
  // are then unusable for a solve, but the call itself never fails.
  int Factor(double** matrix, int n);

  // Overwrite b with the solution x of A·x = b, or of Aᵀ·x = b.
  void Solve(double* b) const;
  void SolveTransposed(double* b) const;

  // pivots()[k] (k = 1 … n) is the row swapped with row k at stage k.
  const int* pivots() const { return pivots_.data(); }

 private:
  // The sparse stages; false when a factor came out not finite (the
  // matrix then is as it was given).
  bool FactorSparse(double** matrix, int n, int& info);
  template <bool kTransposed>
  void SolveSystem(double* b) const;

  bool sparse_;
  double* const* matrix_ = nullptr;
  int n_ = 0;
  std::vector<int> pivots_;
  bool dense_ = true;  // the last factorisation went the dense way
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

}  // namespace vireon
