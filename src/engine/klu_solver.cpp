#include "engine/klu_solver.h"

#include <suitesparse/klu.h>

#include <algorithm>
#include <cmath>

#include "engine/sparsity.h"

namespace vireon {

struct KluSolver::Klu {
  klu_common common;
  klu_symbolic* symbolic = nullptr;
  klu_numeric* numeric = nullptr;

  Klu() { klu_defaults(&common); }
  ~Klu() {
    if (numeric != nullptr) klu_free_numeric(&numeric, &common);
    if (symbolic != nullptr) klu_free_symbolic(&symbolic, &common);
  }
};

KluSolver::KluSolver() : klu_(std::make_unique<Klu>()) {}
KluSolver::~KluSolver() = default;
KluSolver::KluSolver(KluSolver&&) noexcept = default;
KluSolver& KluSolver::operator=(KluSolver&&) noexcept = default;

bool KluSolver::analyzed() const { return klu_->symbolic != nullptr; }

bool KluSolver::Analyze(const SparsityPattern& pattern, int n) {
  if (klu_->numeric != nullptr) klu_free_numeric(&klu_->numeric, &klu_->common);
  if (klu_->symbolic != nullptr) klu_free_symbolic(&klu_->symbolic, &klu_->common);
  n_ = n;
  columnStart_.assign(1, 0);
  rows_.clear();
  std::vector<int> column;
  for (int j = 1; j <= n; ++j) {
    column.assign(1, j);
    if (j <= pattern.nColumns) {
      for (const int* i = pattern.RowsBegin(j); i != pattern.RowsEnd(j); ++i) {
        if (*i >= 1 && *i <= n) column.push_back(*i);
      }
    }
    std::sort(column.begin(), column.end());
    column.erase(std::unique(column.begin(), column.end()), column.end());
    for (int i : column) rows_.push_back(i - 1);
    columnStart_.push_back(static_cast<int>(rows_.size()));
  }
  values_.assign(rows_.size(), 0.0);
  klu_->symbolic = klu_analyze(n, columnStart_.data(), rows_.data(), &klu_->common);
  return klu_->symbolic != nullptr;
}

bool KluSolver::Factor(double* const* matrix) {
  if (klu_->symbolic == nullptr) return false;
  for (int j = 0; j < n_; ++j) {
    for (int e = columnStart_[j]; e < columnStart_[j + 1]; ++e) {
      values_[e] = matrix[rows_[e] + 1][j + 1];
    }
  }
  return FactorEntries();
}

bool KluSolver::FactorEntries() {
  if (klu_->symbolic == nullptr) return false;
  for (double value : values_) {
    if (!std::isfinite(value)) return false;
  }
  if (klu_->numeric != nullptr) klu_free_numeric(&klu_->numeric, &klu_->common);
  klu_->numeric =
      klu_factor(columnStart_.data(), rows_.data(), values_.data(), klu_->symbolic, &klu_->common);
  return klu_->numeric != nullptr && klu_->common.status == KLU_OK;
}

void KluSolver::Solve(double* b) const {
  if (klu_->numeric == nullptr) return;
  klu_solve(klu_->symbolic, klu_->numeric, n_, 1, b + 1, &klu_->common);
}

}  // namespace vireon
