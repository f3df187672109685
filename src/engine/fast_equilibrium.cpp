#include "engine/fast_equilibrium.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/model_name_index.h"
#include "model/structural_analysis.h"

namespace vireon {

namespace {

bool IsMetaboliteOfStep(const Model& model, int step, int metabolite) {
  const auto m = static_cast<std::size_t>(metabolite);
  const auto k = static_cast<std::size_t>(step);
  if (m >= static_cast<std::size_t>(model.stoichiometry.rows()) ||
      k >= static_cast<std::size_t>(model.stoichiometry.columns())) {
    return false;
  }
  return model.stoichiometry[m][k] != 0.0f;
}

}  // namespace

std::string FastStepsTitle(const Model& model) {
  std::vector<std::string> names;
  for (const Step& step : model.steps) {
    if (step.fast) names.push_back(step.name);
  }
  std::string text = names.size() == 1 ? "the fast step " : "the fast steps ";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

std::string FastStepsProblem(const Model& model) {
  if (!HasFastSteps(model)) return {};
  const ModelNameIndex names(model);
  std::vector<char> volumeChanges(static_cast<std::size_t>(model.nCompartments()), 0);
  const auto markVolume = [&](const RuleTarget& target) {
    if (target.kind != RuleTargetKind::kCompartmentVolume) return;
    const int c = names.Compartment(target.name);
    if (c >= 0) volumeChanges[static_cast<std::size_t>(c)] = 1;
  };
  for (const Rule& rule : model.rules) {
    if (rule.kind != RuleKind::kInitialAssignment) markVolume(rule.target);
  }
  for (const Event& event : model.events) {
    for (const EventAssignment& assignment : event.assignments) markVolume(assignment.target);
  }
  for (int k = 0; k < model.nSteps(); ++k) {
    const Step& step = model.steps[static_cast<std::size_t>(k)];
    if (!step.fast) continue;
    for (const Rule& rule : model.rules) {
      if (rule.target.kind == RuleTargetKind::kStoichiometry && rule.target.name == step.name) {
        return "A rule sets a stoichiometry of the fast step " + step.name +
               ": the balance of a fast step needs the coefficients of its equation.";
      }
      if (rule.target.kind == RuleTargetKind::kMetabolite &&
          rule.kind != RuleKind::kInitialAssignment) {
        const int m = names.Metabolite(rule.target.name);
        if (m >= 0 && IsMetaboliteOfStep(model, k, m)) {
          return "The fast step " + step.name + " changes " + rule.target.name +
                 ", which a rule sets: a fast step balances only metabolites that the steps "
                 "change.";
        }
      }
    }
    for (int m = 0; m < model.nMetabolites(); ++m) {
      const Metabolite& metabolite = model.metabolites[static_cast<std::size_t>(m)];
      if (!metabolite.IsInternal() || !IsMetaboliteOfStep(model, k, m)) continue;
      const int c = metabolite.compartment >= 0 && metabolite.compartment < model.nCompartments()
                        ? metabolite.compartment
                        : 0;
      if (volumeChanges[static_cast<std::size_t>(c)]) {
        return "The fast step " + step.name + " changes " + metabolite.name +
               " in the compartment " + model.compartments[static_cast<std::size_t>(c)].name +
               ", whose volume changes: fast steps are followed only in volumes that stay.";
      }
    }
  }
  return {};
}

// The basis of the fast columns and the balance rows come from one
// Gaussian elimination with complete pivoting of N_f over the variable
// positions: the pivot columns span the columns of N_f, and the submatrix
// of the pivot rows and columns is not singular, so that the pivot rows of
// N_f·v_f vanish exactly when all of N_f·v_f does.
FastEquilibrium::FastEquilibrium(const Model& model, const std::vector<double>& volumes)
    : nMetabolites_(model.nMetabolites()), nVariable_(model.nVariable) {
  for (int k = 0; k < model.nSteps(); ++k) {
    if (model.steps[static_cast<std::size_t>(k)].fast) steps_.push_back(k);
  }
  const std::size_t nFast = steps_.size();
  const std::size_t rows = static_cast<std::size_t>(nVariable_);
  const auto coefficient = [&](std::size_t p, std::size_t f) {
    const auto m = static_cast<std::size_t>(model.metaboliteOrder[p]);
    const auto k = static_cast<std::size_t>(steps_[f]);
    return static_cast<double>(model.stoichiometry[m][k]);
  };
  std::vector<double> a(rows * nFast);
  for (std::size_t p = 0; p < rows; ++p) {
    for (std::size_t f = 0; f < nFast; ++f) a[p * nFast + f] = coefficient(p, f);
  }
  std::vector<std::size_t> rowAt(rows), columnAt(nFast);
  for (std::size_t p = 0; p < rows; ++p) rowAt[p] = p;
  for (std::size_t f = 0; f < nFast; ++f) columnAt[f] = f;
  const auto at = [&](std::size_t i, std::size_t j) -> double& {
    return a[rowAt[i] * nFast + columnAt[j]];
  };
  std::vector<std::size_t> pivotColumns;
  for (std::size_t k = 0; k < std::min(rows, nFast); ++k) {
    std::size_t bestRow = k, bestColumn = k;
    double best = 0.0;
    for (std::size_t i = k; i < rows; ++i) {
      for (std::size_t j = k; j < nFast; ++j) {
        if (std::fabs(at(i, j)) > best) {
          best = std::fabs(at(i, j));
          bestRow = i;
          bestColumn = j;
        }
      }
    }
    if (!(best > kStructuralZeroTolerance)) break;
    std::swap(rowAt[k], rowAt[bestRow]);
    std::swap(columnAt[k], columnAt[bestColumn]);
    for (std::size_t i = k + 1; i < rows; ++i) {
      const double factor = at(i, k) / at(k, k);
      if (factor == 0.0) continue;
      for (std::size_t j = k; j < nFast; ++j) at(i, j) -= factor * at(k, j);
    }
    pivotRows_.push_back(static_cast<int>(rowAt[k]) + 1);
    pivotColumns.push_back(columnAt[k]);
  }
  for (std::size_t column : pivotColumns) {
    std::vector<Entry> direction;
    for (std::size_t p = 0; p < rows; ++p) {
      const double c = coefficient(p, column);
      if (c != 0.0) direction.push_back({static_cast<int>(p) + 1, c * volumes[p + 1]});
    }
    directions_.push_back(std::move(direction));
  }
  for (int row : pivotRows_) {
    std::vector<Entry> balance;
    for (std::size_t f = 0; f < nFast; ++f) {
      const double c = coefficient(static_cast<std::size_t>(row - 1), f);
      if (c != 0.0) balance.push_back({static_cast<int>(f), c});
    }
    balances_.push_back(std::move(balance));
  }
  std::vector<char> touched(rows + 1, 0);
  for (const std::vector<Entry>& direction : directions_) {
    for (const Entry& e : direction) touched[static_cast<std::size_t>(e.index)] = 1;
  }
  for (std::size_t p = 1; p <= rows; ++p) {
    if (touched[p]) touched_.push_back(static_cast<int>(p));
  }
  const std::size_t r = pivotRows_.size();
  previous_.assign(rows + 1, 0.0);
  trial_.assign(static_cast<std::size_t>(nMetabolites_) + 1, 0.0);
  rates_.assign(nFast, 0.0);
  extents_.assign(r, 0.0);
  residual_.assign(r, 0.0);
  lastExtents_.assign(r, 0.0);
  startSigns_.assign(rows + 1, 0);
  stepResidual_.assign(r, 0.0);
  balanceMatrix_.assign(r * r, 0.0);
  for (std::size_t j = 0; j < r; ++j) {
    for (const Entry& e : directions_[j]) {
      for (std::size_t i = 0; i < r; ++i) {
        if (pivotRows_[i] == e.index) balanceMatrix_[i * r + j] = e.coefficient;
      }
    }
  }
}

void FastEquilibrium::StartExtents(const double* x) {
  const std::size_t r = pivotRows_.size();
  // (R·B)·ξ = R·(previous - x), R the balance rows.
  startMatrix_ = balanceMatrix_;
  start_.assign(r, 0.0);
  for (std::size_t i = 0; i < r; ++i) {
    const auto p = static_cast<std::size_t>(pivotRows_[i]);
    start_[i] = previous_[p] - x[p];
  }
  if (!constraint_newton::SolveDense(startMatrix_, start_.data(), static_cast<int>(r)) ||
      !constraint_newton::AllFinite(start_, r)) {
    start_.assign(r, 0.0);
  }
}

}  // namespace vireon
