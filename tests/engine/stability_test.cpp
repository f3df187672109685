// The engine's eigenvalues against LAPACK's full real Schur factorisation
// (dgees), which they were always taken from: the same values, bit for bit
// and in the same order, on matrices of every shape the engine meets.

#include "engine/stability.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/steady_state.h"
#include "model/structural_analysis.h"
#include "support/engine_fixture.h"
#include "support/kinetic_models.h"
#include "support/model_builder.h"
#include "support/reference_models.h"

namespace vireon {
namespace {

// Checks one matrix (element (i, j) at matrix[i + j * ld]); wr and wi, when
// given, are eigenvalues already computed for it that must agree too.
void ExpectSameAsDgees(int n, const double* matrix, int ld, const double* wr = nullptr,
                       const double* wi = nullptr) {
  std::vector<double> scratch(static_cast<std::size_t>(n) * n);
  std::vector<double> re(n), im(n), schurRe(n), schurIm(n);
  const int info = MatrixEigenvalues(n, matrix, ld, scratch.data(), re.data(), im.data());
  const int schurInfo =
      SchurFormEigenvalues(n, matrix, ld, scratch.data(), schurRe.data(), schurIm.data());
  ASSERT_EQ(info, schurInfo);
  const std::size_t bytes = n * sizeof(double);
  EXPECT_EQ(std::memcmp(re.data(), schurRe.data(), bytes), 0);
  EXPECT_EQ(std::memcmp(im.data(), schurIm.data(), bytes), 0);
  if (wr != nullptr && wi != nullptr) {
    EXPECT_EQ(std::memcmp(wr, schurRe.data(), bytes), 0);
    EXPECT_EQ(std::memcmp(wi, schurIm.data(), bytes), 0);
  }
  // And they are this matrix's eigenvalues: their sum is its trace.
  double trace = 0.0, largest = 0.0, sumRe = 0.0, sumIm = 0.0;
  bool finite = true;
  for (int j = 0; j < n; ++j) {
    trace += matrix[j + static_cast<std::size_t>(j) * ld];
    for (int i = 0; i < n; ++i) {
      const double entry = matrix[i + static_cast<std::size_t>(j) * ld];
      finite = finite && std::isfinite(entry);
      largest = std::max(largest, std::fabs(entry));
    }
    sumRe += re[j];
    sumIm += im[j];
  }
  if (info == 0 && finite) {
    const double tolerance = 1e-12 * n * n * largest;
    EXPECT_LE(std::fabs(sumRe - trace), tolerance);
    EXPECT_LE(std::fabs(sumIm), tolerance);
  }
}

// Square column-major matrices drawn from a fixed sequence.
class Matrices {
 public:
  double Uniform() {  // in [-1, 1)
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) * 0x1p-52 - 1.0;
  }
  // Entries where keep(i, j) holds drawn times scale, zero elsewhere.
  template <class Keep>
  std::vector<double> Draw(int n, double scale, Keep keep) {
    std::vector<double> a(static_cast<std::size_t>(n) * n, 0.0);
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        if (keep(i, j)) a[i + static_cast<std::size_t>(j) * n] = scale * Uniform();
      }
    }
    return a;
  }
  // P a P^T for a drawn permutation P: the same eigenvalues, another shape.
  std::vector<double> Permute(int n, const std::vector<double>& a) {
    std::vector<int> p(n);
    for (int i = 0; i < n; ++i) p[i] = i;
    for (int i = n - 1; i > 0; --i) {
      std::swap(p[i], p[static_cast<int>((Uniform() + 1.0) * 0.5 * (i + 1)) % (i + 1)]);
    }
    std::vector<double> b(a.size());
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) b[p[i] + static_cast<std::size_t>(p[j]) * n] = a[i + j * n];
    }
    return b;
  }

 private:
  std::uint64_t state_ = 2024;
};

TEST(EigenvalueTest, AreTheSchurFactorisationsBitForBit) {
  Matrices draw;
  int count = 0;
  auto check = [&](const char* kind, int n, const std::vector<double>& a) {
    SCOPED_TRACE(std::string(kind) + " " + std::to_string(n));
    ExpectSameAsDgees(n, a.data(), n);
    ++count;
  };
  auto all = [](int, int) { return true; };
  // Dense, at scales from tiny to huge: dgees scales a matrix whose largest
  // entry lies beyond about 1e+-138 first.
  const double scales[] = {1.0, 1e-6, 1e7, 1e-138, 1e138, 1e-140, 1e140, 1e-300, 1e300};
  for (int n = 1; n <= 120; n += (n < 40 ? 1 : 4)) {
    for (int k = 0; k < 2; ++k) check("dense", n, draw.Draw(n, scales[(2 * n + k) % 9], all));
  }
  for (int n : {2, 7, 30, 75, 76, 129, 200, 260}) {
    // Already triangular, Hessenberg or tridiagonal (a reversible chain),
    // and the same permuted.
    const auto upper = draw.Draw(n, 1.0, [](int i, int j) { return i <= j; });
    const auto hessenberg = draw.Draw(n, 3.0, [](int i, int j) { return i <= j + 1; });
    const auto chain = draw.Draw(n, 10.0, [](int i, int j) { return std::abs(i - j) <= 1; });
    check("triangular", n, upper);
    check("Hessenberg", n, hessenberg);
    check("tridiagonal", n, chain);
    check("permuted triangular", n, draw.Permute(n, upper));
    check("permuted tridiagonal", n, draw.Permute(n, chain));
    // Negative zeros, which Householder reflections may turn positive.
    auto signedZeros = chain;
    for (std::size_t k = 0; k < signedZeros.size(); k += 7) {
      if (signedZeros[k] == 0.0) signedZeros[k] = -0.0;
    }
    check("tridiagonal with -0", n, signedZeros);
  }
  for (int n : {3, 12, 40, 90}) {
    // Rows and columns that isolate eigenvalues.
    auto isolated = draw.Draw(n, 1.0, all);
    for (int k = 0; k < n; k += 3) {
      for (int m = 0; m < n; ++m) {
        if (m != k) isolated[k + static_cast<std::size_t>(m) * n] = 0.0;  // row k
        if (m != k + 1 && k + 1 < n) isolated[m + (k + 1) * n] = 0.0;     // column k + 1
      }
    }
    check("isolated", n, draw.Permute(n, isolated));
    check("block triangular", n,
          draw.Draw(n, 2.0, [n](int i, int j) { return i < n / 2 || j >= n / 2; }));
    check("sparse", n,
          draw.Draw(n, 1.0, [&](int i, int j) { return i == j || draw.Uniform() > 0.8; }));
    // Complex pairs a +- bi: rotation blocks on the diagonal of a triangle.
    auto pairs = draw.Draw(n, 1.0, [](int i, int j) { return i < j; });
    for (int k = 0; k + 1 < n; k += 2) {
      const double a = draw.Uniform(), b = 1.0 + draw.Uniform();
      pairs[k + k * n] = pairs[(k + 1) + (k + 1) * n] = a;
      pairs[k + (k + 1) * n] = b;
      pairs[(k + 1) + k * n] = -b;
    }
    check("complex pairs", n, pairs);
    check("permuted complex pairs", n, draw.Permute(n, pairs));
    // Repeated eigenvalues: a Jordan block, a multiple of the identity,
    // zero, and two values each repeated.
    check("Jordan block", n, draw.Draw(n, 1.0, [](int i, int j) { return i == j || i + 1 == j; }));
    std::vector<double> identity(static_cast<std::size_t>(n) * n, 0.0), twoValues = identity;
    for (int k = 0; k < n; ++k) {
      identity[k + k * n] = -2.5;
      twoValues[k + k * n] = k % 2 ? 1.0 : -1.0;
    }
    check("multiple of identity", n, identity);
    check("zero", n, std::vector<double>(static_cast<std::size_t>(n) * n, 0.0));
    check("two repeated values", n, draw.Permute(n, twoValues));
  }
  // Entries that are not numbers (dgees then iterates to its limit; kept
  // small).
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    for (int n : {1, 4, 9}) {
      auto a = draw.Draw(n, 1.0, all);
      a[a.size() / 2] = bad;
      check("not finite", n, a);
    }
  }
  EXPECT_GT(count, 200);
}

// A NaN inside a large block keeps dgees' iteration from converging, and it
// would iterate to its limit: hours at order 400. Its eigenvalues are
// unknown at once, with dgees' info, and the eigenvalues isolated outside
// it are still the diagonal entries dgees gives, at orders dgees can finish.
TEST(EigenvalueTest, ANanInALargeBlockLeavesItsEigenvaluesUnknownWithoutIterating) {
  Matrices draw;
  for (int n : {17, 24, 31, 400}) {
    SCOPED_TRACE(n);
    auto a = draw.Draw(n, 1.0, [](int, int) { return true; });
    // Rows with no entry off the diagonal: each isolates its diagonal entry.
    std::vector<double> isolated;
    for (int k = 1; k < n; k += 5) {
      for (int m = 0; m < n; ++m) {
        if (m != k) a[k + static_cast<std::size_t>(m) * n] = 0.0;
      }
      isolated.push_back(a[k + static_cast<std::size_t>(k) * n]);
    }
    a[2 + static_cast<std::size_t>(3) * n] = std::numeric_limits<double>::quiet_NaN();
    a = draw.Permute(n, a);

    std::vector<double> scratch(static_cast<std::size_t>(n) * n), re(n), im(n);
    const int info = MatrixEigenvalues(n, a.data(), n, scratch.data(), re.data(), im.data());
    ASSERT_EQ(info, n - static_cast<int>(isolated.size()));
    std::vector<double> found(re.begin() + info, re.end());
    std::sort(found.begin(), found.end());
    std::sort(isolated.begin(), isolated.end());
    EXPECT_EQ(found, isolated);
    EXPECT_TRUE(std::all_of(im.begin() + info, im.end(), [](double x) { return x == 0.0; }));
    if (n < 40) {
      std::vector<double> schurRe(n), schurIm(n);
      ASSERT_EQ(info, SchurFormEigenvalues(n, a.data(), n, scratch.data(), schurRe.data(),
                                           schurIm.data()));
      const std::size_t bytes = (n - info) * sizeof(double);
      EXPECT_EQ(std::memcmp(re.data() + info, schurRe.data() + info, bytes), 0);
      EXPECT_EQ(std::memcmp(im.data() + info, schurIm.data() + info, bytes), 0);
    }
  }
}

// A reversible Michaelis-Menten chain S = X1 = ... = Xn = P, S and P fixed:
// its Jacobian is tridiagonal.
Model ReversibleChain(int n) {
  std::vector<std::pair<std::string, std::string>> steps;
  auto name = [n](int i) {
    return i == 0 ? std::string("S") : i == n + 1 ? std::string("P") : "X" + std::to_string(i);
  };
  for (int i = 0; i <= n; ++i)
    steps.push_back({"E" + std::to_string(i), name(i) + " = " + name(i + 1)});
  Model model = test::BuildModel(steps, {"S", "P"});
  for (int i = 0; i <= n; ++i) {
    test::UseKinetics(model, "E" + std::to_string(i), "Reversible Michaelis-Menten",
                      {1.0 + 0.01 * i, 2.0, 10.0 - 0.005 * i, 1.0});
  }
  test::SetInitial(model, "S", 10.0);
  StructuralAnalysis(model);
  return model;
}

TEST(EigenvalueTest, TheSteadyStateReportsTheSchurFactorisationsOfItsJacobian) {
  // Every reference model (a focus, moieties, unequal volumes), and a long chain.
  std::vector<Model> models;
  for (const test::ReferenceModel& r : test::ReferenceModels()) models.push_back(r.model);
  models.push_back(ReversibleChain(150));
  for (Model& model : models) {
    test::EngineRig rig(std::move(model));
    SteadyState(*rig.engine);
    ASSERT_EQ(rig.state.ssFailure, SteadyStateOutcome::kFound);
    const int n = rig.model.nIndependent;
    SCOPED_TRACE(n);
    ExpectSameAsDgees(n, &rig.state.jacobian[1][1], rig.state.jacobian.columns(),
                      rig.state.eigenReal.data(), rig.state.eigenImag.data());
  }
}

}  // namespace
}  // namespace vireon
