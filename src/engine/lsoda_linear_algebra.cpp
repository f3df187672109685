#include "engine/lsoda_linear_algebra.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vireon {

// Elimination runs row by row, so each update sweeps a contiguous row; every
// element still receives the same products and sums in the same order as the
// column-oriented form of the method, so the factors are identical.
int LuFactor(double** matrix, int n, int* pivots) {
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

void LuSolve(double* const* matrix, int n, const int* pivots, double* b, int job) {
  if (job == 0) {
    // Forward elimination with L, then back substitution with U.
    for (int k = 1; k < n; ++k) {
      const int l = pivots[k];
      const double t = b[l];
      if (l != k) {
        b[l] = b[k];
        b[k] = t;
      }
      for (int i = k + 1; i <= n; ++i) b[i] += t * matrix[i][k];
    }
    for (int k = n; k >= 1; --k) {
      b[k] /= matrix[k][k];
      const double t = -b[k];
      for (int i = 1; i < k; ++i) b[i] += t * matrix[i][k];
    }
    return;
  }
  // Transposed system: solve Uᵀ·z = b, then Lᵀ·x = z undoing the row swaps.
  for (int k = 1; k <= n; ++k) {
    double t = 0.0;
    for (int i = 1; i < k; ++i) t += matrix[i][k] * b[i];
    b[k] = (b[k] - t) / matrix[k][k];
  }
  for (int k = n - 1; k >= 1; --k) {
    double t = 0.0;
    for (int i = k + 1; i <= n; ++i) t += matrix[i][k] * b[i];
    b[k] += t;
    const int l = pivots[k];
    if (l != k) std::swap(b[l], b[k]);
  }
}

namespace {

bool AllFinite(const double* x, int n) {
  for (int i = 1; i <= n; ++i) {
    if (!std::isfinite(x[i])) return false;
  }
  return true;
}

}  // namespace

// The stages of LuFactor, each restricted to the rows below the pivot whose
// entry in the pivot column is not zero and to the pivot row's non-zero
// columns: an update skipped elsewhere would add a signed zero.
int SparseLu::Factor(double** matrix, int n, int* pivots) {
  // Steps: (1) keep a copy and check that every entry is finite; (2) the
  // stages of LuFactor over the non-zeros, noting the non-zeros of L's
  // column and U's row that each stage leaves final; (3) a factor that is
  // not finite means an overflow on the way: factor the copy densely; (4)
  // U's rows turned into columns for the solves.
  bool finite = true;
  copy_.resize(static_cast<std::size_t>(n) * n);
  for (int i = 1; i <= n; ++i) {
    std::copy(matrix[i] + 1, matrix[i] + n + 1,
              copy_.begin() + static_cast<std::size_t>(i - 1) * n);
    finite = finite && AllFinite(matrix[i], n);
  }
  dense_ = !finite;
  if (dense_) return LuFactor(matrix, n, pivots);

  int info = 0;
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
    dense_ = true;
    return LuFactor(matrix, n, pivots);
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
  return info;
}

void SparseLu::Solve(double* const* matrix, int n, const int* pivots, double* b, int job) const {
  if (dense_ || !AllFinite(b, n)) {
    LuSolve(matrix, n, pivots, b, job);
    return;
  }
  kept_.assign(b + 1, b + n + 1);
  const int* lower = lowerRows_.data();
  const int* upper = upperRows_.data();
  if (job == 0) {
    for (int k = 1; k < n; ++k) {
      const int l = pivots[k];
      const double t = b[l];
      if (l != k) {
        b[l] = b[k];
        b[k] = t;
      }
      if (t == 0.0) continue;
      for (int r = lowerStart_[k]; r < lowerStart_[k + 1]; ++r)
        b[lower[r]] += t * matrix[lower[r]][k];
    }
    for (int k = n; k >= 1; --k) {
      b[k] /= matrix[k][k];
      const double t = -b[k];
      if (t == 0.0) continue;
      for (int r = upperStart_[k]; r < upperStart_[k + 1]; ++r)
        b[upper[r]] += t * matrix[upper[r]][k];
    }
  } else {
    for (int k = 1; k <= n; ++k) {
      double t = 0.0;
      for (int r = upperStart_[k]; r < upperStart_[k + 1]; ++r)
        t += matrix[upper[r]][k] * b[upper[r]];
      b[k] = (b[k] - t) / matrix[k][k];
    }
    for (int k = n - 1; k >= 1; --k) {
      double t = 0.0;
      for (int r = lowerStart_[k]; r < lowerStart_[k + 1]; ++r)
        t += matrix[lower[r]][k] * b[lower[r]];
      b[k] += t;
      const int l = pivots[k];
      if (l != k) std::swap(b[l], b[k]);
    }
  }
  // An overflow on the way could have met a skipped zero: solve again densely.
  if (!AllFinite(b, n)) {
    std::copy(kept_.begin(), kept_.end(), b + 1);
    LuSolve(matrix, n, pivots, b, job);
  }
}

int MaxAbsIndex(int n, const double* x) {
  if (n < 1) return 0;
  int index = 1;
  double largest = std::fabs(x[1]);
  for (int i = 2; i <= n; ++i) {
    const double size = std::fabs(x[i]);
    if (size > largest) {
      largest = size;
      index = i;
    }
  }
  return index;
}

void ScaleVector(int n, double a, double* x) {
  for (int i = 1; i <= n; ++i) x[i] *= a;
}

double DotProduct(int n, const double* x, const double* y) {
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) sum += x[i] * y[i];
  return sum;
}

void AddScaled(int n, double a, const double* x, double* y) {
  if (a == 0.0) return;
  for (int i = 1; i <= n; ++i) y[i] += a * x[i];
}

}  // namespace vireon
