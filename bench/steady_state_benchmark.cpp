// Times the steady-state task (Newton, the Jacobian and its eigenvalues)
// and the control analysis on linear pathways of growing length, once with
// the engine's sparse differences and factorisations and once with
// everything dense, in the same run; checks that both give the same
// numbers; and fits how the time grows with the number of metabolites.
// The eigenvalues of the dense Jacobian weigh most at large n in either
// form, so the growth is also shown without them, and with, in their place,
// the full real Schur factorisation (LAPACK's DGEES) they were once taken
// from, timed on the same Jacobian in the same run; its eigenvalues must be
// the engine's bit for bit.
//
// Usage: steady_state_benchmark [n ...]   (default 100 200 300 400 500)

#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/control_analysis.h"
#include "engine/engine.h"
#include "engine/stability.h"
#include "engine/steady_state.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/structural_analysis.h"

namespace {

using vireon::Model;

// S -> X1 -> X2 -> ... -> Xn -> P with reversible Michaelis-Menten steps;
// S and P fixed.
Model Pathway(int n, const vireon::KineticCatalogue& catalogue) {
  Model model;
  model.Allocate(n + 1, n + 2, n, 0, 1);
  model.metabolites[0] = vireon::Metabolite("S", vireon::FIXED, 0, 10.0);
  for (int i = 1; i <= n; ++i) {
    model.metabolites[i] = vireon::Metabolite("X" + std::to_string(i), vireon::INDEPENDENT, 0, 0.1);
  }
  model.metabolites[n + 1] = vireon::Metabolite("P", vireon::FIXED, 0, 0.0);
  const vireon::KineticType* type = catalogue.Find("Reversible Michaelis-Menten");
  for (int k = 0; k <= n; ++k) {
    vireon::Step& step = model.steps[k];
    step.name = "E" + std::to_string(k + 1);
    step.SizeSubstrates(1);
    step.SizeProducts(1);
    model.AddStoichiometry(k, k, -1, 1);
    model.AddStoichiometry(k, k + 1, +1, 1);
    step.reversible = 1;
    step.kineticType = type;
    step.kineticTypeName = type->name;
    // Kms, Kmp, Vf, Vr: slightly different enzymes along the chain.
    step.constants = {1.0 + 0.01 * k, 2.0, 10.0 - 0.005 * k, 1.0};
  }
  vireon::StructuralAnalysis(model);
  return model;
}

// Processor time of the whole process, so that a busy machine does not skew
// the ratios.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Timing {
  double total = 0.0;        // steady state and control analysis
  double eigenvalues = 0.0;  // of which the eigenvalue routine
  double schurForm = 0.0;    // DGEES on the same Jacobian
  bool sameAsSchurForm = false;
  int ssFailure = 0;
  double fEvaluations = 0.0;
  vireon::EngineState state;
};

Timing Measure(int n, const vireon::KineticCatalogue& catalogue, bool sparse) {
  Model model = Pathway(n, catalogue);
  vireon::TaskSettings settings;
  settings.solver.steadyStateStrategy = vireon::SteadyStateStrategy::kNewtonThenIntegration;
  Timing timing;
  timing.state.Allocate(model);
  vireon::EngineHooks hooks;
  vireon::Engine engine(model, timing.state, settings, hooks);
  engine.SetUseSparsity(sparse);
  const double start = CpuSeconds();
  vireon::SteadyState(engine);
  vireon::CheckEquilibrium(engine);
  vireon::ControlAnalysis(engine);
  timing.total = CpuSeconds() - start;
  // The eigenvalues once more, on the same Jacobian, to see their share.
  const double eigenStart = CpuSeconds();
  vireon::ComputeEigenvalues(engine);
  timing.eigenvalues = CpuSeconds() - eigenStart;
  const int m = model.nIndependent;
  std::vector<double> scratch(static_cast<std::size_t>(m) * m), wr(m), wi(m);
  const double schurStart = CpuSeconds();
  vireon::SchurFormEigenvalues(m, &timing.state.jacobian[1][1], timing.state.jacobian.columns(),
                               scratch.data(), wr.data(), wi.data());
  timing.schurForm = CpuSeconds() - schurStart;
  timing.sameAsSchurForm =
      m >= 1 && std::memcmp(wr.data(), timing.state.eigenReal.data(), m * sizeof(double)) == 0 &&
      std::memcmp(wi.data(), timing.state.eigenImag.data(), m * sizeof(double)) == 0;
  timing.ssFailure = static_cast<int>(timing.state.ssFailure);
  timing.fEvaluations = timing.state.fEvaluations;
  return timing;
}

// Equal as numbers (a zero's sign aside), element by element.
template <class Values>
bool Same(const Values& a, const Values& b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!(a[i] == b[i]) && !(std::isnan(a[i]) && std::isnan(b[i]))) return false;
  }
  return true;
}

bool SameResults(const vireon::EngineState& a, const vireon::EngineState& b) {
  auto matrix = [](const vireon::Matrix<double>& m, const vireon::Matrix<double>& o) {
    return m.rows() == o.rows() && m.columns() == o.columns() &&
           Same(m.data(), o.data(), static_cast<std::size_t>(m.rows()) * m.columns());
  };
  return a.ssFailure == b.ssFailure && a.fEvaluations == b.fEvaluations &&
         Same(a.ssAmounts, b.ssAmounts, a.ssAmounts.size()) &&
         Same(a.eigenReal, b.eigenReal, a.eigenReal.size()) &&
         Same(a.eigenImag, b.eigenImag, a.eigenImag.size()) && matrix(a.jacobian, b.jacobian) &&
         matrix(a.elasticities, b.elasticities) && matrix(a.concControl, b.concControl) &&
         matrix(a.fluxControl, b.fluxControl);
}

constexpr int kSparseRepeats = 5;

// Least-squares slope of log(time) against log(n).
double Exponent(const std::vector<int>& sizes, const std::vector<double>& times) {
  const int count = static_cast<int>(sizes.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (int i = 0; i < count; ++i) {
    const double x = std::log(double(sizes[i]));
    const double y = std::log(times[i]);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  return (count * sxy - sx * sy) / (count * sxx - sx * sx);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {100, 200, 300, 400, 500};

  vireon::KineticCatalogue catalogue;
  vireon::BuildBuiltInKineticTypes(catalogue);

  std::printf("%6s %9s %9s %12s %12s %12s %12s %8s %6s %12s %8s\n", "n", "ssFailure", "f evals",
              "sparse (s)", "eigen (s)", "w/o eigen", "dense (s)", "dense/sp", "same", "DGEES (s)",
              "DGEES/ei");
  // One untimed run first, so that the smallest size, which weighs most in
  // the fitted growth, is not also the one that pays for a cold start.
  Measure(sizes.front(), catalogue, true);
  std::vector<double> sparseTimes, withoutEigen, denseTimes, eigenTimes, schurTimes, withSchur;
  bool allSame = true;
  for (int n : sizes) {
    // The fastest of a few runs: on a shared machine a single run of a few
    // milliseconds can be off by tens of per cent, which the fit magnifies.
    Timing sparse = Measure(n, catalogue, true);
    for (int repeat = 1; repeat < kSparseRepeats; ++repeat) {
      Timing again = Measure(n, catalogue, true);
      if (again.total < sparse.total) sparse = std::move(again);
    }
    const Timing dense = Measure(n, catalogue, false);
    const bool same =
        SameResults(sparse.state, dense.state) && sparse.sameAsSchurForm && dense.sameAsSchurForm;
    allSame = allSame && same;
    sparseTimes.push_back(sparse.total);
    withoutEigen.push_back(std::max(sparse.total - sparse.eigenvalues, 1e-9));
    denseTimes.push_back(dense.total);
    eigenTimes.push_back(sparse.eigenvalues);
    schurTimes.push_back(sparse.schurForm);
    withSchur.push_back(withoutEigen.back() + sparse.schurForm);
    std::printf("%6d %9d %9.0f %12.4f %12.4f %12.4f %12.4f %7.1fx %6s %12.4f %7.1fx\n", n,
                sparse.ssFailure, sparse.fEvaluations, sparse.total, sparse.eigenvalues,
                withoutEigen.back(), dense.total, dense.total / sparse.total, same ? "yes" : "NO",
                sparse.schurForm, sparse.schurForm / sparse.eigenvalues);
  }
  if (sizes.size() >= 2) {
    std::printf(
        "\nfitted growth from n = %d to %d: sparse n^%.2f (without the eigenvalues n^%.2f), "
        "dense n^%.2f\n"
        "eigenvalues n^%.2f; DGEES n^%.2f, sparse with DGEES in their place n^%.2f\n",
        sizes.front(), sizes.back(), Exponent(sizes, sparseTimes), Exponent(sizes, withoutEigen),
        Exponent(sizes, denseTimes), Exponent(sizes, eigenTimes), Exponent(sizes, schurTimes),
        Exponent(sizes, withSchur));
  }
  return allSame ? 0 : 1;
}
