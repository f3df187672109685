#include "engine/lsoda_linear_algebra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/expect_close.h"

namespace vireon {
namespace {

constexpr double kSolveAbs = 1e-12;  // residual allowed in a well-conditioned solve
constexpr double kSolveRel = 1e-12;

// A 1-based square matrix handed out as row pointers, as the routines expect.
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

TEST(LuSolveTest, SolvesBothSystemsFromOneFactorisation) {
  // The zero in the corner forces a row exchange at the first stage.
  const std::vector<std::vector<double>> values = {{0, 2, 1}, {1, 1, 1}, {4, -1, 3}};
  const std::vector<double> x = {0, 1, -2, 3};  // 1-based
  Matrix a = FromRows(values);
  std::vector<double> b = Times(FromRows(values), x, false);
  std::vector<double> c = Times(FromRows(values), x, true);
  std::vector<int> pivots(4, 0);
  ASSERT_EQ(LuFactor(a.rows(), 3, pivots.data()), 0);
  LuSolve(a.rows(), 3, pivots.data(), b.data(), 0);
  LuSolve(a.rows(), 3, pivots.data(), c.data(), 1);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_CLOSE(b[i], x[i], kSolveAbs, kSolveRel);
    EXPECT_CLOSE(c[i], x[i], kSolveAbs, kSolveRel);
  }
}

class LuSizeTest : public ::testing::TestWithParam<int> {};

TEST_P(LuSizeTest, RecoversAKnownSolutionOfAHilbertPlusDiagonalSystem) {
  const int n = GetParam();
  Matrix a(n);
  Matrix original(n);
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      // Largest entries off the diagonal in places, so pivoting matters.
      const double value = 1.0 / (i + j - 1) + (i == j ? 0.5 : 0.0) + (j == n + 1 - i ? 2.0 : 0.0);
      a(i, j) = value;
      original(i, j) = value;
    }
  }
  std::vector<double> x(n + 1, 0.0);
  for (int i = 1; i <= n; ++i) x[i] = i - 3.5;
  for (int job : {0, 1}) {
    Matrix factors = original;
    std::vector<double> b = Times(original, x, job != 0);
    std::vector<int> pivots(n + 1, 0);
    ASSERT_EQ(LuFactor(factors.rows(), n, pivots.data()), 0);
    LuSolve(factors.rows(), n, pivots.data(), b.data(), job);
    for (int i = 1; i <= n; ++i) EXPECT_CLOSE(b[i], x[i], 1e-10, 1e-10) << "job " << job;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LuSizeTest, ::testing::Values(1, 2, 3, 5, 8, 13));

TEST(LuFactorTest, ReportsTheStageOfAZeroPivot) {
  Matrix dependent = FromRows({{1, 2}, {2, 4}});
  std::vector<int> pivots(3, 0);
  EXPECT_EQ(LuFactor(dependent.rows(), 2, pivots.data()), 2);
  Matrix zeroColumn = FromRows({{0, 1}, {0, 3}});
  EXPECT_EQ(LuFactor(zeroColumn.rows(), 2, pivots.data()), 1);
  Matrix regular = FromRows({{0, 1}, {1, 0}});
  EXPECT_EQ(LuFactor(regular.rows(), 2, pivots.data()), 0);
  EXPECT_EQ(pivots[1], 2);
}

// Equal as numbers: the sparse form may give a zero the other sign.
bool SameNumber(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

TEST(SparseLuTest, TakesTheSamePivotsAndGivesTheSameNumbersAsTheDenseForm) {
  struct Case {
    const char* name;
    int n;
    double density;
    bool integers;  // small integers: ties between pivots and exact cancellations
    double scale;   // 1e300 makes the elimination overflow
  };
  const Case cases[] = {
      {"sparse", 40, 0.08, false, 1.0},    {"ties and cancellations", 30, 0.15, true, 1.0},
      {"dense", 12, 1.0, false, 1.0},      {"singular", 25, 0.05, true, 1.0},
      {"overflow", 20, 0.3, false, 1e300},
  };
  std::mt19937 random(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> small(-2, 2);
    Matrix original(c.n);
    for (int i = 1; i <= c.n; ++i) {
      for (int j = 1; j <= c.n; ++j) {
        if (unit(random) >= c.density && !(i == j && c.density > 0.06)) continue;
        original(i, j) = c.scale * (c.integers ? small(random) : unit(random) - 0.5);
      }
    }
    Matrix dense = original;
    Matrix sparse = original;
    std::vector<int> densePivots(c.n + 1), sparsePivots(c.n + 1);
    SparseLu lu;
    EXPECT_EQ(lu.Factor(sparse.rows(), c.n, sparsePivots.data()),
              LuFactor(dense.rows(), c.n, densePivots.data()));
    EXPECT_EQ(sparsePivots, densePivots);
    for (int i = 1; i <= c.n; ++i) {
      for (int j = 1; j <= c.n; ++j) {
        EXPECT_TRUE(SameNumber(sparse(i, j), dense(i, j))) << i << ", " << j;
      }
    }
    for (int job : {0, 1}) {
      std::vector<double> x(c.n + 1);
      for (int i = 1; i <= c.n; ++i) x[i] = i % 3 == 0 ? 0.0 : unit(random);
      std::vector<double> y = x;
      LuSolve(dense.rows(), c.n, densePivots.data(), x.data(), job);
      lu.Solve(sparse.rows(), c.n, sparsePivots.data(), y.data(), job);
      for (int i = 1; i <= c.n; ++i) EXPECT_TRUE(SameNumber(x[i], y[i])) << "job " << job;
    }
  }
}

TEST(MaxAbsIndexTest, FindsTheFirstLargestMagnitude) {
  struct Case {
    std::vector<double> x;  // 1-based: x[0] unused
    int n;
    int expected;
  };
  const Case cases[] = {
      {{0}, 0, 0},           {{0, 7}, 1, 1},     {{0, 1, -5, 2}, 3, 2},
      {{0, -3, 2, 3}, 3, 1}, {{99, 1, 2}, 2, 2},  // element 0 is never looked at
      {{0, 1, 2}, -1, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(MaxAbsIndex(c.n, c.x.data()), c.expected);
}

TEST(VectorOperationsTest, ScaleDotAndAddWorkOnElementsOneToN) {
  std::vector<double> x = {100, 1, 2, 3};
  std::vector<double> y = {100, 4, -5, 6};
  EXPECT_CLOSE(DotProduct(3, x.data(), y.data()), 4 - 10 + 18, kSolveAbs, kSolveRel);
  AddScaled(3, 2.0, x.data(), y.data());
  EXPECT_EQ(y, (std::vector<double>{100, 6, -1, 12}));
  ScaleVector(3, -0.5, x.data());
  EXPECT_EQ(x, (std::vector<double>{100, -0.5, -1, -1.5}));
  EXPECT_EQ(DotProduct(0, x.data(), y.data()), 0.0);
}

}  // namespace
}  // namespace vireon
