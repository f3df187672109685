// Times the steady-state task and the control analysis on linear pathways
// of growing length, and prints how the cost grows with the number of
// metabolites. Both are dominated by dense linear algebra on the reduced
// system, so the time should grow about as n^3.
//
// Usage: steady_state_benchmark [n ...]   (default 10 100 500)

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/control_analysis.h"
#include "engine/engine.h"
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

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {10, 100, 500};

  vireon::KineticCatalogue catalogue;
  vireon::BuildBuiltInKineticTypes(catalogue);

  std::printf("%8s %10s %12s %12s %12s %14s\n", "n", "ssFailure", "f evals", "steady (s)",
              "mca (s)", "growth vs prev");
  double previousTotal = 0.0;
  int previousN = 0;
  for (int n : sizes) {
    Model model = Pathway(n, catalogue);
    vireon::TaskSettings settings;
    settings.steadyStateStrategy = vireon::SteadyStateStrategy::kNewtonThenIntegration;
    vireon::EngineState state;
    state.Allocate(model);
    vireon::EngineHooks hooks;
    vireon::Engine engine(model, state, settings, hooks);

    auto start = std::chrono::steady_clock::now();
    vireon::SteadyState(engine);
    const double steady = Seconds(start);
    start = std::chrono::steady_clock::now();
    vireon::CheckEquilibrium(engine);
    vireon::ControlAnalysis(engine);
    const double mca = Seconds(start);

    const double total = steady + mca;
    std::string growth = "-";
    if (previousN > 0 && previousTotal > 0.0) {
      const double exponent = std::log(total / previousTotal) / std::log(double(n) / previousN);
      char text[32];
      std::snprintf(text, sizeof text, "n^%.2f", exponent);
      growth = text;
    }
    std::printf("%8d %10d %12.0f %12.4f %12.4f %14s\n", n, static_cast<int>(state.ssFailure),
                state.fEvaluations, steady, mca, growth.c_str());
    previousTotal = total;
    previousN = n;
  }
  return 0;
}
