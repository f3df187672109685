#pragma once
// A model the benchmarks share: a chain X0 -> S1 -> S2 -> ... -> Sn of
// irreversible Henri-Michaelis-Menten steps fed from the fixed pool X0 = 1.
// Every step has V = 1 and Km = 0.5 except the first, whose V = 0.9 sets
// the flux; all S start at 0. The time course runs to t = 100 in 100
// intervals (rtol 1e-6, atol 1e-12) and writes time and every
// concentration to a data file, with a report.

#include <string>

#include "document/document.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/structural_analysis.h"
#include "output/output_item.h"

namespace vireon::bench {

inline constexpr double kChainPool = 1.0;
inline constexpr double kChainV = 1.0;
inline constexpr double kChainFirstV = 0.9;
inline constexpr double kChainKm = 0.5;
inline constexpr double kChainEndTime = 100.0;
inline constexpr int kChainPoints = 100;

// Fills a new document with the chain of n steps (n variables). The
// catalogue must hold the built-in kinetic types.
inline void BuildChainDocument(Document& document, int n, const KineticCatalogue& catalogue) {
  NewDocument(document, DefaultValues());
  Model& model = document.model;
  model.Allocate(n, n + 1, n, 0, 1);
  model.title = "Henri-Michaelis-Menten chain of " + std::to_string(n) + " steps";
  model.metabolites[0] = Metabolite("X0", FIXED, 0, kChainPool);
  for (int i = 1; i <= n; ++i) {
    model.metabolites[i] = Metabolite("S" + std::to_string(i), INDEPENDENT, 0, 0.0);
  }
  const KineticType* type = catalogue.Find("Henri-Michaelis-Menten (irreversible)");
  for (int k = 0; k < n; ++k) {
    Step& step = model.steps[k];
    step.name = "E" + std::to_string(k + 1);
    step.equation = model.metabolites[k].name + " -> " + model.metabolites[k + 1].name;
    step.SizeSubstrates(1);
    step.SizeProducts(1);
    model.AddStoichiometry(k, k, -1, 1);
    model.AddStoichiometry(k, k + 1, +1, 1);
    step.reversible = 0;
    step.kineticType = type;
    step.kineticTypeName = type->name;
    step.constants = {kChainKm, k == 0 ? kChainFirstV : kChainV};  // Km, V
  }
  StructuralAnalysis(model);

  TaskSettings& s = document.settings;
  s.endTime = kChainEndTime;
  s.points = kChainPoints;
  s.solver.relativeTolerance = 1e-6;
  s.solver.absoluteTolerance = 1e-12;
  s.dynamics = 1;
  s.steadyState = 0;
  s.report = 1;
  s.dynamicsData.titles = 1;
  s.dynamicsData.file = "chain-timecourse.dat";
  document.selections.timeCourse.push_back(MakeOutputItem(kTime));
  for (int i = 1; i <= n; ++i) {
    document.selections.timeCourse.push_back(
        MakeOutputItem(kTransientConcentration, model.metabolites[i].name));
  }
}

}  // namespace vireon::bench
