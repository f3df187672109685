#include "engine/klu_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "engine/lu_solver.h"
#include "engine/sparsity.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

constexpr double kSolveAbs = 1e-11;  // agreement of two solves of a well-conditioned system
constexpr double kSolveRel = 1e-11;

// A random sparse n × n matrix, 1-based with row pointers, diagonally
// weighted so that it is well conditioned, and its pattern by columns.
struct SparseCase {
  int n;
  std::vector<double> data;
  std::vector<double*> rows;
  SparsityPattern pattern;

  SparseCase(int size, unsigned seed) : n(size), data((n + 1) * (n + 1), 0.0), rows(n + 1) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<std::vector<int>> columns(n + 1);
    for (int i = 1; i <= n; ++i) rows[i] = &data[i * (n + 1)];
    for (int j = 1; j <= n; ++j) {
      for (int k = 0; k < 3; ++k) {
        const int i = 1 + static_cast<int>(random() % static_cast<unsigned>(n));
        rows[i][j] = value(random);
        columns[j].push_back(i);
      }
      rows[j][j] += 4.0;
    }
    pattern = SparsityPattern::FromColumns(n, columns);
  }
};

TEST(KluSolverTest, SolvesAsTheDenseEliminationDoes) {
  for (unsigned seed = 1; seed <= 5; ++seed) {
    SparseCase a(150, seed);
    KluSolver klu;
    ASSERT_TRUE(klu.Analyze(a.pattern, a.n));
    ASSERT_TRUE(klu.Factor(a.rows.data()));
    std::vector<double> b(a.n + 1), x(a.n + 1);
    for (int i = 1; i <= a.n; ++i) b[i] = std::sin(i);
    std::vector<double> dense = b;
    x = b;
    klu.Solve(x.data());
    // The residual of the solution is that of rounding.
    for (int i = 1; i <= a.n; ++i) {
      double sum = 0.0;
      for (int j = 1; j <= a.n; ++j) sum += a.rows[i][j] * x[j];
      EXPECT_CLOSE(sum, b[i], kSolveAbs, kSolveRel);
    }
    LuSolver lu(/*sparse=*/false);
    ASSERT_EQ(lu.Factor(a.rows.data(), a.n), 0);
    lu.Solve(dense.data());
    for (int i = 1; i <= a.n; ++i) EXPECT_CLOSE(x[i], dense[i], kSolveAbs, kSolveRel);
  }
}

TEST(KluSolverTest, NewEntriesAlongThePatternAreFactoredAgain) {
  SparseCase a(120, 9);
  KluSolver klu;
  ASSERT_TRUE(klu.Analyze(a.pattern, a.n));
  ASSERT_TRUE(klu.Factor(a.rows.data()));
  for (int i = 1; i <= a.n; ++i) a.rows[i][i] *= 3.0;
  ASSERT_TRUE(klu.Factor(a.rows.data()));
  std::vector<double> x(a.n + 1, 0.0);
  x[7] = 1.0;
  const std::vector<double> b = x;
  klu.Solve(x.data());
  for (int i = 1; i <= a.n; ++i) {
    double sum = 0.0;
    for (int j = 1; j <= a.n; ++j) sum += a.rows[i][j] * x[j];
    EXPECT_CLOSE(sum, b[i], kSolveAbs, kSolveRel);
  }
}

TEST(KluSolverTest, SingularAndNotFiniteMatricesAreRefused) {
  SparseCase a(110, 4);
  KluSolver klu;
  ASSERT_TRUE(klu.Analyze(a.pattern, a.n));
  // A zero column.
  std::vector<double> saved(a.n + 1);
  for (int i = 1; i <= a.n; ++i) {
    saved[i] = a.rows[i][5];
    a.rows[i][5] = 0.0;
  }
  EXPECT_FALSE(klu.Factor(a.rows.data()));
  for (int i = 1; i <= a.n; ++i) a.rows[i][5] = saved[i];
  a.rows[3][3] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(klu.Factor(a.rows.data()));
  a.rows[3][3] = 5.0;
  EXPECT_TRUE(klu.Factor(a.rows.data()));
}

}  // namespace
}  // namespace vireon
