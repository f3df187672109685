#include "engine/lu_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "support/expect_close.h"

namespace vireon {
namespace {

constexpr double kSolveAbs = 1e-12;  // residual allowed in a well-conditioned solve
constexpr double kSolveRel = 1e-12;

// A 1-based square matrix handed out as row pointers, as the solver expects.
// Copies are deep: the pointers are rebuilt whenever they are handed out.
class Matrix {
 public:
  explicit Matrix(int n) : n_(n), data_((n + 1) * (n + 1), 0.0), rows_(n + 1, nullptr) {}
  double& operator()(int i, int j) { return data_[i * (n_ + 1) + j]; }
  double** rows() {
    for (int i = 1; i <= n_; ++i) rows_[i] = &data_[i * (n_ + 1)];
    return rows_.data();
  }
  int n() const { return n_; }

 private:
  int n_;
  std::vector<double> data_;
  std::vector<double*> rows_;
};

Matrix FromRows(const std::vector<std::vector<double>>& values) {
  Matrix a(int(values.size()));
  for (int i = 1; i <= a.n(); ++i) {
    for (int j = 1; j <= a.n(); ++j) a(i, j) = values[i - 1][j - 1];
  }
  return a;
}

std::vector<double> Times(Matrix a, const std::vector<double>& x, bool transposed) {
  std::vector<double> b(x.size(), 0.0);
  for (int i = 1; i <= a.n(); ++i) {
    for (int j = 1; j <= a.n(); ++j) b[i] += (transposed ? a(j, i) : a(i, j)) * x[j];
  }
  return b;
}

class LuFormTest : public ::testing::TestWithParam<bool> {};

TEST_P(LuFormTest, SolvesBothSystemsFromOneFactorisation) {
  // The zero in the corner forces a row exchange at the first stage.
  const std::vector<std::vector<double>> values = {{0, 2, 1}, {1, 1, 1}, {4, -1, 3}};
  const std::vector<double> x = {0, 1, -2, 3};  // 1-based
  Matrix a = FromRows(values);
  std::vector<double> b = Times(FromRows(values), x, false);
  std::vector<double> c = Times(FromRows(values), x, true);
  LuSolver lu(GetParam());
  ASSERT_EQ(lu.Factor(a.rows(), 3), 0);
  lu.Solve(b.data());
  lu.SolveTransposed(c.data());
  for (int i = 1; i <= 3; ++i) {
    EXPECT_CLOSE(b[i], x[i], kSolveAbs, kSolveRel);
    EXPECT_CLOSE(c[i], x[i], kSolveAbs, kSolveRel);
  }
}

TEST_P(LuFormTest, RecoversKnownSolutionsOfHilbertPlusDiagonalSystems) {
  for (int n : {1, 2, 3, 5, 8, 13}) {
    Matrix original(n);
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) {
        // Largest entries off the diagonal in places, so pivoting matters.
        original(i, j) = 1.0 / (i + j - 1) + (i == j ? 0.5 : 0.0) + (j == n + 1 - i ? 2.0 : 0.0);
      }
    }
    std::vector<double> x(n + 1, 0.0);
    for (int i = 1; i <= n; ++i) x[i] = i - 3.5;
    for (bool transposed : {false, true}) {
      Matrix factors = original;
      std::vector<double> b = Times(original, x, transposed);
      LuSolver lu(GetParam());
      ASSERT_EQ(lu.Factor(factors.rows(), n), 0);
      transposed ? lu.SolveTransposed(b.data()) : lu.Solve(b.data());
      for (int i = 1; i <= n; ++i) {
        EXPECT_CLOSE(b[i], x[i], 1e-10, 1e-10) << "n " << n << ", transposed " << transposed;
      }
    }
  }
}

TEST_P(LuFormTest, ReportsTheStageOfAZeroPivot) {
  LuSolver lu(GetParam());
  Matrix dependent = FromRows({{1, 2}, {2, 4}});
  EXPECT_EQ(lu.Factor(dependent.rows(), 2), 2);
  Matrix zeroColumn = FromRows({{0, 1}, {0, 3}});
  EXPECT_EQ(lu.Factor(zeroColumn.rows(), 2), 1);
  Matrix zero = FromRows({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
  EXPECT_EQ(lu.Factor(zero.rows(), 3), 3);
  Matrix regular = FromRows({{0, 1}, {1, 0}});
  EXPECT_EQ(lu.Factor(regular.rows(), 2), 0);
  EXPECT_EQ(lu.pivots()[1], 2);
}

INSTANTIATE_TEST_SUITE_P(DenseAndSparse, LuFormTest, ::testing::Bool());

// Equal as numbers: the sparse form may give a zero the other sign.
bool SameNumber(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

// Equal with the sign of a zero.
bool SameNumberAndSign(double a, double b) {
  return SameNumber(a, b) && std::signbit(a) == std::signbit(b);
}

TEST(LuSolverTest, TheSparseFormTakesTheDensePivotsAndGivesTheSameNumbers) {
  struct Case {
    const char* name;
    int n;
    double density;    // of the entries off the diagonal
    bool diagonal;     // a full diagonal
    bool integers;     // small integers: ties between pivots and exact cancellations
    double scale;      // 1e300 makes the elimination overflow
    bool signedZeros;  // about half the zeros of the matrix and right-hand sides are -0
    double infinity;   // when not 0, entry (2, 1) holds it
    bool singular;     // a zero pivot is expected
  };
  const Case cases[] = {
      {"sparse", 40, 0.08, true, false, 1.0, false, 0.0, false},
      {"ties and cancellations", 30, 0.15, true, true, 1.0, false, 0.0, false},
      {"dense", 12, 1.0, true, false, 1.0, false, 0.0, false},
      {"singular", 25, 0.05, false, true, 1.0, false, 0.0, true},
      {"overflow", 20, 0.3, true, false, 1e300, false, 0.0, false},
      {"signed zeros", 30, 0.1, true, true, 1.0, true, 0.0, false},
      {"signed zeros, few real entries", 40, 0.03, true, false, 1.0, true, 0.0, false},
      {"signed zeros, few integer entries", 40, 0.03, true, true, 1.0, true, 0.0, false},
      {"all zero", 6, 0.0, false, false, 1.0, true, 0.0, true},
      {"one by one", 1, 1.0, true, false, 1.0, false, 0.0, false},
      {"infinite entry", 10, 0.3, true, false, 1.0, false, std::numeric_limits<double>::infinity(),
       false},
      {"undefined entry", 10, 0.3, true, false, 1.0, false, std::nan(""), false},
  };
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> small(-2, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto zero = [&] { return c.signedZeros && unit(random) < 0.5 ? -0.0 : 0.0; };
    Matrix original(c.n);
    for (int i = 1; i <= c.n; ++i) {
      for (int j = 1; j <= c.n; ++j) {
        original(i, j) = zero();
        if (i == j ? !c.diagonal : unit(random) >= c.density) continue;
        double value = c.integers ? small(random) : unit(random) - 0.5;
        if (i == j && value == 0.0) value = 1.0;
        original(i, j) = value == 0.0 ? zero() : c.scale * value;
      }
    }
    if (c.infinity != 0.0 && c.n >= 2) original(2, 1) = c.infinity;
    Matrix dense = original;
    Matrix sparse = original;
    LuSolver denseLu(false);
    LuSolver sparseLu(true);
    const int info = denseLu.Factor(dense.rows(), c.n);
    EXPECT_EQ(sparseLu.Factor(sparse.rows(), c.n), info);
    EXPECT_EQ(info != 0, c.singular);
    for (int k = 1; k <= c.n; ++k) EXPECT_EQ(sparseLu.pivots()[k], denseLu.pivots()[k]);
    for (int i = 1; i <= c.n; ++i) {
      for (int j = 1; j <= c.n; ++j) {
        EXPECT_TRUE(SameNumber(sparse(i, j), dense(i, j))) << i << ", " << j;
      }
    }
    // The factors of a singular matrix are for no solve.
    for (bool transposed : {false, true}) {
      if (info != 0) break;
      std::vector<double> x(c.n + 1);
      for (int i = 1; i <= c.n; ++i) x[i] = i % 3 == 0 ? zero() : unit(random) - 0.5;
      std::vector<double> y = x;
      if (transposed) {
        denseLu.SolveTransposed(x.data());
        sparseLu.SolveTransposed(y.data());
      } else {
        denseLu.Solve(x.data());
        sparseLu.Solve(y.data());
      }
      for (int i = 1; i <= c.n; ++i) {
        if (transposed) {
          EXPECT_TRUE(SameNumberAndSign(x[i], y[i])) << "transposed, " << i;
        } else {
          EXPECT_TRUE(SameNumber(x[i], y[i])) << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vireon
