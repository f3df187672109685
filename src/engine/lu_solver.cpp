#include "engine/lu_solver.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace vireon {

namespace {

bool AllFinite(const double* x, int n) {
  for (int i = 1; i <= n; ++i) {
    if (!std::isfinite(x[i])) return false;
  }
  return true;
}

// Elimination runs row by row, so each update sweeps a contiguous row; every
// element still receives the same products and sums in the same order as the
// column-oriented form of the method, so the factors are identical.
int FactorDense(double** matrix, int n, int* pivots) {
  // Steps: for each stage k, (1) pick the row l >= k with the largest
  // |A(l, k)|, (2) note a zero pivot and skip the stage, (3) swap rows l and k,
  // (4) store the negated multipliers below the pivot, (5) add the multiple
  // of the pivot row to every row below it.
  int info = 0;
  for (int k = 1; k < n; ++k) {
    int l = k;
    double largest = std::fabs(matrix[k][k]);
    for (int i = k + 1; i <= n; ++i) {
      const double size = std::fabs(matrix[i][k]);
      if (size > largest) {
        largest = size;
        l = i;
      }
    }
    pivots[k] = l;
    if (matrix[l][k] == 0.0) {
      info = k;
      continue;
    }
    if (l != k) {
      for (int j = k; j <= n; ++j) std::swap(matrix[l][j], matrix[k][j]);
    }
    const double scale = -1.0 / matrix[k][k];
    const double* pivotRow = matrix[k];
    for (int i = k + 1; i <= n; ++i) {
      double* row = matrix[i];
      const double multiplier = row[k] * scale;
      row[k] = multiplier;
      for (int j = k + 1; j <= n; ++j) row[j] += pivotRow[j] * multiplier;
    }
  }
  if (n >= 1) {
    pivots[n] = n;
    if (matrix[n][n] == 0.0) info = n;
  }
  return info;
}

// The rows of column k that a solve visits, below the diagonal (in L) and
// above it (in U), in increasing order: every row for the dense form, the
// non-zeros for the sparse one, which also skips a column whose multiplier
// is zero.
struct DenseRows {
  static constexpr bool kSkipsZeros = false;
  int n;
  template <class Visit>
  void Lower(int k, Visit visit) const {
    for (int i = k + 1; i <= n; ++i) visit(i);
  }
  template <class Visit>
  void Upper(int k, Visit visit) const {
    for (int i = 1; i < k; ++i) visit(i);
  }
};

struct SparseRows {
  static constexpr bool kSkipsZeros = true;
  const int* lowerStart;
  const int* lowerRows;
  const int* upperStart;
  const int* upperRows;
  template <class Visit>
  void Lower(int k, Visit visit) const {
    for (int r = lowerStart[k]; r < lowerStart[k + 1]; ++r) visit(lowerRows[r]);
  }
  template <class Visit>
  void Upper(int k, Visit visit) const {
    for (int r = upperStart[k]; r < upperStart[k + 1]; ++r) visit(upperRows[r]);
  }
};

// A·x = b: forward elimination with L, then back substitution with U.
template <class Rows>
void SolveWith(const Rows& rows, double* const* matrix, int n, const int* pivots, double* b) {
  for (int k = 1; k < n; ++k) {
    const int l = pivots[k];
    const double t = b[l];
    if (l != k) {
      b[l] = b[k];
      b[k] = t;
    }
    if (Rows::kSkipsZeros && t == 0.0) continue;
    rows.Lower(k, [&](int i) { b[i] += t * matrix[i][k]; });
  }
  for (int k = n; k >= 1; --k) {
    b[k] /= matrix[k][k];
    const double t = -b[k];
    if (Rows::kSkipsZeros && t == 0.0) continue;
    rows.Upper(k, [&](int i) { b[i] += t * matrix[i][k]; });
  }
}

// Aᵀ·x = b: Uᵀ·z = b, then Lᵀ·x = z undoing the row swaps.
template <class Rows>
void SolveTransposedWith(const Rows& rows, double* const* matrix, int n, const int* pivots,
                         double* b) {
  for (int k = 1; k <= n; ++k) {
    double t = 0.0;
    rows.Upper(k, [&](int i) { t += matrix[i][k] * b[i]; });
    b[k] = (b[k] - t) / matrix[k][k];
  }
  for (int k = n - 1; k >= 1; --k) {
    double t = 0.0;
    rows.Lower(k, [&](int i) { t += matrix[i][k] * b[i]; });
    b[k] += t;
    const int l = pivots[k];
    if (l != k) std::swap(b[l], b[k]);
  }
}

}  // namespace

int LuSolver::Factor(double** matrix, int n) {
  matrix_ = matrix;
  n_ = n;
  pivots_.resize(static_cast<std::size_t>(std::max(n, 0)) + 1);
  int info = 0;
  dense_ = !sparse_ || !FactorSparse(matrix, n, info);
  return dense_ ? FactorDense(matrix, n, pivots_.data()) : info;
}

// The stages of the dense form, each restricted to the rows below the pivot
// whose entry in the pivot column is not zero and to the pivot row's
// non-zero columns: an update skipped elsewhere would add a signed zero.
bool LuSolver::FactorSparse(double** matrix, int n, int& info) {
  // Steps: (1) keep a copy and check that every entry is finite; (2) the
  // stages of the dense form over the non-zeros, noting the non-zeros of
  // L's column and U's row that each stage leaves final; (3) a factor that
  // is not finite means an overflow on the way: restore the copy for the
  // dense form; (4) U's rows turned into columns for the solves.
  int* pivots = pivots_.data();
  bool finite = true;
  copy_.resize(static_cast<std::size_t>(n) * n);
  for (int i = 1; i <= n; ++i) {
    std::copy(matrix[i] + 1, matrix[i] + n + 1,
              copy_.begin() + static_cast<std::size_t>(i - 1) * n);
    finite = finite && AllFinite(matrix[i], n);
  }
  if (!finite) return false;

  info = 0;
  rows_.resize(n + 1);
  lowerStart_.resize(n + 2);
  upperStart_.assign(n + 2, 0);
  rowColumnStart_.resize(n + 2);
  lowerRows_.clear();
  rowColumns_.clear();
  // Row k of U and column k of L no longer change after stage k: row swaps
  // at later stages start at their own column, and updates lie below them.
  for (int k = 1; k <= n; ++k) {
    lowerStart_[k] = static_cast<int>(lowerRows_.size());
    rowColumnStart_[k] = static_cast<int>(rowColumns_.size());
    int nRows = 0;
    int l = k;
    double largest = std::fabs(matrix[k][k]);
    for (int i = k + 1; i <= n; ++i) {
      if (matrix[i][k] == 0.0) continue;
      rows_[nRows++] = i;
      const double size = std::fabs(matrix[i][k]);
      if (size > largest) {
        largest = size;
        l = i;
      }
    }
    pivots[k] = l;
    const bool zeroPivot = matrix[l][k] == 0.0;
    if (zeroPivot) {
      info = k;
    } else if (l != k) {
      for (int j = k; j <= n; ++j) std::swap(matrix[l][j], matrix[k][j]);
      // Row k's old entry moves to row l, which is now below the pivot.
      for (int r = 0; r < nRows; ++r) {
        if (rows_[r] == l) rows_[r] = matrix[l][k] != 0.0 ? l : 0;
      }
    }
    const double* pivotRow = matrix[k];
    for (int j = k + 1; j <= n; ++j) {
      if (pivotRow[j] != 0.0) rowColumns_.push_back(j);
    }
    if (zeroPivot || k == n) continue;
    const int* columns = rowColumns_.data() + rowColumnStart_[k];
    const int nColumns = static_cast<int>(rowColumns_.size()) - rowColumnStart_[k];
    const double scale = -1.0 / pivotRow[k];
    for (int r = 0; r < nRows; ++r) {
      if (rows_[r] == 0) continue;
      double* row = matrix[rows_[r]];
      const double multiplier = row[k] * scale;
      row[k] = multiplier;
      if (multiplier != 0.0) lowerRows_.push_back(rows_[r]);
      for (int c = 0; c < nColumns; ++c) row[columns[c]] += pivotRow[columns[c]] * multiplier;
    }
  }
  lowerStart_[n + 1] = static_cast<int>(lowerRows_.size());
  rowColumnStart_[n + 1] = static_cast<int>(rowColumns_.size());

  // Every other entry of the factors is a zero the stages left alone.
  for (int k = 1; k <= n && finite; ++k) {
    finite = std::isfinite(matrix[k][k]);
    for (int r = lowerStart_[k]; r < lowerStart_[k + 1] && finite; ++r) {
      finite = std::isfinite(matrix[lowerRows_[r]][k]);
    }
    for (int c = rowColumnStart_[k]; c < rowColumnStart_[k + 1] && finite; ++c) {
      finite = std::isfinite(matrix[k][rowColumns_[c]]);
    }
  }
  if (!finite) {
    for (int i = 1; i <= n; ++i) {
      std::copy(copy_.begin() + static_cast<std::size_t>(i - 1) * n,
                copy_.begin() + static_cast<std::size_t>(i) * n, matrix[i] + 1);
    }
    return false;
  }

  // U's rows into columns, each column's rows in increasing order.
  for (int column : rowColumns_) ++upperStart_[column + 1];
  for (int k = 1; k <= n; ++k) upperStart_[k + 1] += upperStart_[k];
  upperRows_.resize(rowColumns_.size());
  rows_.assign(upperStart_.begin(), upperStart_.end() - 1);
  for (int k = 1; k < n; ++k) {
    for (int c = rowColumnStart_[k]; c < rowColumnStart_[k + 1]; ++c) {
      upperRows_[rows_[rowColumns_[c]]++] = k;
    }
  }
  return true;
}

template <bool kTransposed>
void LuSolver::SolveSystem(double* b) const {
  auto solve = [&](const auto& rows) {
    if constexpr (kTransposed) {
      SolveTransposedWith(rows, matrix_, n_, pivots_.data(), b);
    } else {
      SolveWith(rows, matrix_, n_, pivots_.data(), b);
    }
  };
  const DenseRows dense{n_};
  if (dense_ || !AllFinite(b, n_)) {
    solve(dense);
    return;
  }
  kept_.assign(b + 1, b + n_ + 1);
  solve(SparseRows{lowerStart_.data(), lowerRows_.data(), upperStart_.data(), upperRows_.data()});
  // An overflow on the way could have met a skipped zero: solve again densely.
  if (!AllFinite(b, n_)) {
    std::copy(kept_.begin(), kept_.end(), b + 1);
    solve(dense);
  }
}

void LuSolver::Solve(double* b) const {
  SolveSystem<false>(b);
}

void LuSolver::SolveTransposed(double* b) const {
  SolveSystem<true>(b);
}

}  // namespace vireon
