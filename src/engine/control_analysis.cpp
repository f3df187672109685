#include "engine/control_analysis.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/lu_solver.h"
#include "engine/steady_state.h"

namespace vireon {

void ComputeElasticities(Engine& engine) {
  EngineState& state = engine.state;
  state.elasticities.Fill(0.0);
  if (state.ssFailure != SteadyStateOutcome::kFound) return;

  engine.equations.ComputeElasticities(state.ssAmounts.data(), state.elasticities);
  if (engine.rules && engine.rules->rateCount() > 0) {
    engine.equations.ComputeRateRuleElasticities(state.ssAmounts.data(), state.elasticities);
  }
}

namespace {

// The link matrix between amounts: L itself, or, when a conservation
// relation joins unequal volumes (relations then hold between
// concentrations), V L V_independent^-1.
Matrix<double> AmountLink(const Engine& engine) {
  const Model& model = engine.model;
  Matrix<double> link(model.nVariable, model.nIndependent);
  for (int v = 0; v < model.nVariable; ++v) {
    const float* l = model.link[v];
    for (int j = 0; j < model.nIndependent; ++j) {
      link[v][j] = l[j] * engine.equations.LinkWeight(v + 1, j + 1);
    }
  }
  return link;
}

// With rate rules the system's variables are the independent amounts and
// the rate-rule targets. The amounts' rows are those of the reduced system
// (U e L for the amounts, U e_r for the targets); the targets' rows are
// their rules' derivatives, the steady-state Jacobian's last rows. No rule
// reads a rate, so a step's rate moves only the amounts' rows:
// concControl = -[L 0; 0 I] M^-1 [U; 0].
int RateRuleControlCoefficients(Engine& engine) {
  EngineState& state = engine.state;
  const Model& model = engine.model;
  const int nSteps = model.nSteps();
  const int nVariable = model.nVariable;
  const int nIndependent = model.nIndependent;
  const int nMetabolites = model.nMetabolites();
  const int n = engine.equations.nReduced();
  const int nRate = n - nIndependent;
  const Matrix<double> link = AmountLink(engine);
  Matrix<double> m(n + 1, n + 1);
  for (int i = 0; i < nIndependent; ++i) {
    const float* u = model.reducedStoichiometry[i];
    for (int s = 0; s < nSteps; ++s) {
      const double us = u[s];
      if (us == 0.0) continue;
      const double* e = state.elasticities[s];
      for (int j = 0; j < nIndependent; ++j) {
        double sum = 0.0;
        for (int v = 0; v < nVariable; ++v) sum += e[v] * link[v][j];
        m[i + 1][j + 1] += us * sum;
      }
      for (int r = 0; r < nRate; ++r) m[i + 1][nIndependent + 1 + r] += us * e[nMetabolites + r];
    }
  }
  for (int r = nIndependent + 1; r <= n; ++r) {
    for (int j = 1; j <= n; ++j) m[r][j] = state.jacobian[j][r];
  }
  std::vector<double*> rows(n + 1);
  for (int i = 0; i <= n; ++i) rows[i] = m[i];
  LuSolver lu(/*sparse=*/false);
  if (lu.Factor(rows.data(), n) != 0) return 1;
  std::vector<double> z(n + 1);
  for (int s = 0; s < nSteps; ++s) {
    std::fill(z.begin(), z.end(), 0.0);
    for (int i = 0; i < nIndependent; ++i) z[i + 1] = model.reducedStoichiometry[i][s];
    lu.Solve(z.data());
    for (int v = 0; v < nVariable; ++v) {
      double sum = 0.0;
      for (int j = 0; j < nIndependent; ++j) sum += link[v][j] * z[j + 1];
      state.concControl[v][s] = -sum;
    }
    for (int r = 0; r < nRate; ++r) state.concControl[nVariable + r][s] = -z[nIndependent + 1 + r];
  }
  return 0;
}

// The rate-rule targets' terms of fluxControl = I + e concControl, and
// their scaled form (by the targets' values).
void AddRateRuleFluxControl(Engine& engine) {
  EngineState& state = engine.state;
  const int nSteps = engine.model.nSteps();
  const int nVariable = engine.model.nVariable;
  const int nMetabolites = engine.model.nMetabolites();
  const int nRate = engine.equations.nReduced() - engine.model.nIndependent;
  for (int j = 0; j < nSteps; ++j) {
    for (int k = 0; k < nSteps; ++k) {
      double sum = state.fluxControl[j][k];
      for (int r = 0; r < nRate; ++r) {
        sum += state.elasticities[j][nMetabolites + r] * state.concControl[nVariable + r][k];
      }
      state.fluxControl[j][k] = sum;
    }
  }
}

void ScaleRateRuleCoefficients(Engine& engine) {
  EngineState& state = engine.state;
  const Model& model = engine.model;
  const int nSteps = model.nSteps();
  const int nRate = engine.equations.nReduced() - model.nIndependent;
  const double resolution = engine.settings.solver.steadyStateResolution;
  std::vector<double> u(static_cast<std::size_t>(engine.equations.nReduced()) + 1);
  engine.equations.ReducedPoint(state.ssAmounts.data(), u.data());
  for (int r = 0; r < nRate; ++r) {
    const double value = u[static_cast<std::size_t>(model.nIndependent + 1 + r)];
    const bool tinyValue = std::fabs(value) < resolution;
    for (int s = 0; s < nSteps; ++s) {
      const double flux = model.steps[model.stepOrder[s]].flux;
      double& e = state.elasticities[s][model.nMetabolites() + r];
      e = std::fabs(flux) < resolution ? kInfiniteValue : e * value / flux;
      double& c = state.concControl[model.nVariable + r][s];
      c = tinyValue ? kInfiniteValue : c * flux / value;
    }
  }
}

}  // namespace

int ComputeControlCoefficients(Engine& engine) {
  if (engine.rules && engine.rules->rateCount() > 0) {
    engine.state.concControl.Fill(0.0);
    return RateRuleControlCoefficients(engine);
  }
  EngineState& state = engine.state;
  const Model& model = engine.model;
  const int nSteps = model.nSteps();
  const int nVariable = model.nVariable;
  const int nIndependent = model.nIndependent;
  state.concControl.Fill(0.0);

  // A = U e (nIndependent x nVariable), with U the reduced stoichiometry.
  Matrix<double> a(nIndependent, nVariable);
  for (int i = 0; i < nIndependent; ++i) {
    const float* u = model.reducedStoichiometry[i];
    for (int s = 0; s < nSteps; ++s) {
      const double us = u[s];
      if (us == 0.0) continue;
      const double* e = state.elasticities[s];
      for (int v = 0; v < nVariable; ++v) a[i][v] += us * e[v];
    }
  }
  const Matrix<double> link = AmountLink(engine);
  // M = A L, the reduced Jacobian, kept 1-based for the LU routines.
  Matrix<double> m(nIndependent + 1, nIndependent + 1);
  for (int i = 0; i < nIndependent; ++i) {
    for (int v = 0; v < nVariable; ++v) {
      const double av = a[i][v];
      if (av == 0.0) continue;
      const double* l = link[v];
      for (int j = 0; j < nIndependent; ++j) m[i + 1][j + 1] += av * l[j];
    }
  }
  std::vector<double*> rows(nIndependent + 1);
  for (int i = 0; i <= nIndependent; ++i) rows[i] = m[i];
  // The sparse form gives the same non-zeros; the zeros of the inverse are
  // skipped below whatever their sign.
  const bool sparse = engine.equations.useSparsity();
  LuSolver lu(sparse);
  if (lu.Factor(rows.data(), nIndependent) != 0) return 1;

  // inverse (1-based columns): M^-1 e_k for every unit vector.
  Matrix<double> inverse(nIndependent + 1, nIndependent + 1);
  std::vector<double> column(nIndependent + 1);
  for (int k = 1; k <= nIndependent; ++k) {
    std::fill(column.begin(), column.end(), 0.0);
    column[k] = 1.0;
    lu.Solve(column.data());
    for (int i = 1; i <= nIndependent; ++i) inverse[i][k] = column[i];
  }
  // B = M^-1 U (nIndependent x nSteps), then concControl = -L B. A zero of
  // U adds mik·0 = ±0 to a sum that started at +0, which changes nothing
  // unless mik is not finite.
  // The steps of row k of U are nonZerosOfU[start[k] … start[k + 1] - 1].
  std::vector<int> nonZerosOfU, start(nIndependent + 1, 0);
  for (int k = 0; k < nIndependent; ++k) {
    const float* u = model.reducedStoichiometry[k];
    for (int s = 0; s < nSteps; ++s) {
      if (u[s] != 0.0f || !sparse) nonZerosOfU.push_back(s);
    }
    start[k + 1] = static_cast<int>(nonZerosOfU.size());
  }
  Matrix<double> b(nIndependent, nSteps);
  for (int i = 0; i < nIndependent; ++i) {
    for (int k = 0; k < nIndependent; ++k) {
      const double mik = inverse[i + 1][k + 1];
      if (mik == 0.0) continue;
      const float* u = model.reducedStoichiometry[k];
      if (std::isfinite(mik)) {
        for (int r = start[k]; r < start[k + 1]; ++r)
          b[i][nonZerosOfU[r]] += mik * u[nonZerosOfU[r]];
      } else {
        for (int s = 0; s < nSteps; ++s) b[i][s] += mik * u[s];
      }
    }
  }
  for (int v = 0; v < nVariable; ++v) {
    const double* l = link[v];
    for (int i = 0; i < nIndependent; ++i) {
      const double lvi = l[i];
      if (lvi == 0.0) continue;
      for (int s = 0; s < nSteps; ++s) state.concControl[v][s] -= lvi * b[i][s];
    }
  }
  return 0;
}

void ComputeFluxControl(Engine& engine, int singular) {
  EngineState& state = engine.state;
  const int nSteps = engine.model.nSteps();
  const int nVariable = engine.model.nVariable;
  state.fluxControl.Fill(0.0);
  if (singular) return;
  // A zero elasticity adds 0·c = ±0 to a sum that started at 1 or +0, which
  // changes nothing when the row of c is finite: the sparse form sums only
  // the other terms, in the same order.
  const bool sparse = engine.equations.useSparsity();
  std::vector<char> finiteRow(nVariable, 1);
  for (int v = 0; v < nVariable; ++v) {
    for (int k = 0; k < nSteps && finiteRow[v]; ++k) {
      finiteRow[v] = std::isfinite(state.concControl[v][k]) ? 1 : 0;
    }
  }
  std::vector<int> terms;
  for (int j = 0; j < nSteps; ++j) {
    const double* e = state.elasticities[j];
    terms.clear();
    for (int v = 0; v < nVariable; ++v) {
      if (!sparse || e[v] != 0.0 || !finiteRow[v]) terms.push_back(v);
    }
    for (int k = 0; k < nSteps; ++k) {
      double sum = j == k ? 1.0 : 0.0;
      for (int v : terms) sum += e[v] * state.concControl[v][k];
      state.fluxControl[j][k] = sum;
    }
  }
}

void ScaleCoefficients(Engine& engine, int singular) {
  if (singular) return;
  EngineState& state = engine.state;
  const Model& model = engine.model;
  const int nSteps = model.nSteps();
  const int nVariable = model.nVariable;
  const double r = engine.settings.solver.steadyStateResolution;
  std::vector<double> flux(nSteps);
  for (int s = 0; s < nSteps; ++s) flux[s] = model.steps[model.stepOrder[s]].flux;
  // The derivatives are taken with respect to amounts, so the amounts (not
  // the concentrations) scale them.
  const double* x = state.ssAmounts.data();

  for (int s = 0; s < nSteps; ++s) {
    const bool tiny = std::fabs(flux[s]) < r;
    for (int i = 0; i < nVariable; ++i) {
      state.elasticities[s][i] =
          tiny ? kInfiniteValue : state.elasticities[s][i] * x[i + 1] / flux[s];
    }
  }
  for (int i = 0; i < nVariable; ++i) {
    const bool tiny = std::fabs(x[i + 1]) < r;
    for (int s = 0; s < nSteps; ++s) {
      state.concControl[i][s] =
          tiny ? kInfiniteValue : state.concControl[i][s] * flux[s] / x[i + 1];
    }
  }
  for (int j = 0; j < nSteps; ++j) {
    const bool tiny = std::fabs(flux[j]) < r;
    for (int k = 0; k < nSteps; ++k) {
      state.fluxControl[j][k] = tiny ? kInfiniteValue : state.fluxControl[j][k] * flux[k] / flux[j];
    }
  }
}

void ControlAnalysis(Engine& engine) {
  ComputeElasticities(engine);
  const int singular = ComputeControlCoefficients(engine);
  ComputeFluxControl(engine, singular);
  const bool rateRules = engine.rules && engine.rules->rateCount() > 0;
  if (rateRules && !singular) AddRateRuleFluxControl(engine);
  if (!engine.settings.mcaUnscaled) {
    // The targets' columns first: the metabolites' scaling reads the fluxes only.
    if (rateRules && !singular) ScaleRateRuleCoefficients(engine);
    ScaleCoefficients(engine, singular);
  }
}

}  // namespace vireon
