#include "engine/lsoda_linear_algebra.h"

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
