#include "engine/sparsity.h"

#include <algorithm>
#include <memory>
#include <string>

#include "kinetics/kinetic_type.h"
#include "model/model.h"
#include "rules/rule_system.h"

namespace vireon {

namespace {

// Sorted, without repeats.
void Normalise(std::vector<int>& list) {
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
}

// For each step index, the independent positions whose derivative sums a
// term of the step: the rows of the right-hand side it changes.
std::vector<std::vector<int>> IndependentRowsOfSteps(const Model& model) {
  std::vector<std::vector<int>> rows(model.nSteps());
  for (int p = 1; p <= model.nIndependent; ++p) {
    const float* stoichiometry = model.stoichiometry[model.metaboliteOrder[p - 1]];
    ForEachEntryWithBits(stoichiometry, model.nSteps(), [&](int k) {
      if (stoichiometry[k] != 0.0f) rows[k].push_back(p);
    });
  }
  return rows;
}

// For each metabolite position, the steps whose rate law reads it.
std::vector<std::vector<int>> ReadersOfPositions(const Model& model) {
  const std::vector<std::vector<int>> reads = PositionsReadBySteps(model);
  std::vector<std::vector<int>> readers(model.nMetabolites() + 1);
  for (int k = 0; k < model.nSteps(); ++k) {
    for (int q : reads[k]) readers[q].push_back(k);
  }
  return readers;
}

// For each independent position l, the dependent positions whose derivative
// is formed from F_l (a non-zero conservation coefficient).
std::vector<std::vector<int>> DependentRowsOf(const Model& model) {
  std::vector<std::vector<int>> rows(model.nIndependent + 1);
  for (int p = model.nIndependent + 1; p <= model.nVariable; ++p) {
    const float* g = model.conservation[p - 1];
    for (int l = 1; l <= model.nIndependent; ++l) {
      if (g[l - 1] != 0.0f) rows[l].push_back(p);
    }
  }
  return rows;
}

}  // namespace

SparsityPattern SparsityPattern::FromColumns(int nRows,
                                             const std::vector<std::vector<int>>& columnRows) {
  SparsityPattern pattern;
  pattern.nRows = nRows;
  pattern.nColumns = columnRows.empty() ? 0 : static_cast<int>(columnRows.size()) - 1;
  pattern.columnStart.assign(pattern.nColumns + 2, 0);
  for (int j = 1; j <= pattern.nColumns; ++j) {
    std::vector<int> rows = columnRows[j];
    Normalise(rows);
    pattern.columnStart[j] = static_cast<int>(pattern.rows.size());
    pattern.rows.insert(pattern.rows.end(), rows.begin(), rows.end());
  }
  pattern.columnStart[pattern.nColumns + 1] = static_cast<int>(pattern.rows.size());
  return pattern;
}

ColumnGroups GroupColumns(const SparsityPattern& pattern) {
  const int n = pattern.nColumns;
  // The columns of every row, to find the neighbours of a column.
  std::vector<std::vector<int>> columnsOfRow(pattern.nRows + 1);
  for (int j = 1; j <= n; ++j) {
    for (const int* i = pattern.RowsBegin(j); i != pattern.RowsEnd(j); ++i) {
      columnsOfRow[*i].push_back(j);
    }
  }
  std::vector<int> group(n + 1, -1);
  std::vector<int> takenBy;  // takenBy[g] == j: group g holds a neighbour of j
  int nGroups = 0;
  for (int j = 1; j <= n; ++j) {
    for (const int* i = pattern.RowsBegin(j); i != pattern.RowsEnd(j); ++i) {
      for (int c : columnsOfRow[*i]) {
        if (c < j) takenBy[group[c]] = j;
      }
    }
    int g = 0;
    while (g < nGroups && takenBy[g] == j) ++g;
    if (g == nGroups) {
      ++nGroups;
      takenBy.push_back(0);
    }
    group[j] = g;
  }
  ColumnGroups groups;
  groups.groupStart.assign(nGroups + 1, 0);
  for (int j = 1; j <= n; ++j) ++groups.groupStart[group[j] + 1];
  for (int g = 0; g < nGroups; ++g) groups.groupStart[g + 1] += groups.groupStart[g];
  groups.columns.resize(n);
  std::vector<int> next(groups.groupStart.begin(), groups.groupStart.end() - 1);
  for (int j = 1; j <= n; ++j) groups.columns[next[group[j]]++] = j;
  return groups;
}

void ColumnStructure::Build() const {
  if (built_) return;
  pattern_ = build_(*model_);
  groups_ = GroupColumns(pattern_);
  built_ = true;
}

NetworkStructure::NetworkStructure(const Model& model)
    : model(&model),
      reduced(model, ReducedJacobianPattern),
      full(model, FullJacobianPattern),
      elasticity(model, ElasticityPattern) {}

NetworkStructure& NetworkStructureCache::For(const Model& model) {
  if (!kept_ || kept_->model != &model) kept_ = std::make_unique<NetworkStructure>(model);
  return *kept_;
}

std::vector<std::vector<int>> PositionsReadBySteps(const Model& model) {
  const int nMetabolites = model.nMetabolites();
  std::vector<std::vector<int>> reads(model.nSteps());
  for (int k = 0; k < model.nSteps(); ++k) {
    const Step& step = model.steps[k];
    const KineticType* type = step.kineticType;
    if (type == nullptr || type->rate == nullptr) continue;  // the rate is 0
    std::vector<int>& positions = reads[k];
    if (!type->readsOwnStepOnly && type->rate != EvaluateUserDefinedRate) {
      for (int q = 1; q <= nMetabolites; ++q) positions.push_back(q);
      continue;
    }
    for (const std::vector<int>* list : {&step.substrates, &step.products, &step.modifiers}) {
      for (int m : *list) {
        if (m >= 0 && m < nMetabolites && m < static_cast<int>(model.metabolitePosition.size())) {
          positions.push_back(model.metabolitePosition[m] + 1);
        }
      }
    }
    Normalise(positions);
  }
  if (!model.rules.empty()) {
    // A rate also reads what the rules that feed it read.
    std::string problem;
    const std::unique_ptr<RuleSystem> rules = RuleSystem::Build(model, problem);
    if (rules) {
      rules->AddPositionsRead(model, reads);
      for (std::vector<int>& positions : reads) Normalise(positions);
    }
  }
  return reads;
}

SparsityPattern ReducedJacobianPattern(const Model& model) {
  const int n = model.nIndependent;
  const std::vector<std::vector<int>> stepRows = IndependentRowsOfSteps(model);
  const std::vector<std::vector<int>> readers = ReadersOfPositions(model);
  std::vector<std::vector<int>> columns(n + 1);
  for (int j = 1; j <= n; ++j) {
    // The amounts that move with x_j: itself and the dependent amounts whose
    // conservation relation contains it.
    std::vector<int> moved{j};
    for (int p = n + 1; p <= model.nVariable; ++p) {
      if (model.conservation[p - 1][j - 1] != 0.0f) moved.push_back(p);
    }
    for (int q : moved) {
      for (int k : readers[q]) {
        columns[j].insert(columns[j].end(), stepRows[k].begin(), stepRows[k].end());
      }
    }
  }
  return SparsityPattern::FromColumns(n, columns);
}

SparsityPattern FullJacobianPattern(const Model& model) {
  const int n = model.nVariable;
  const std::vector<std::vector<int>> stepRows = IndependentRowsOfSteps(model);
  const std::vector<std::vector<int>> readers = ReadersOfPositions(model);
  const std::vector<std::vector<int>> dependentRows = DependentRowsOf(model);
  std::vector<std::vector<int>> columns(n + 1);
  for (int j = 1; j <= n; ++j) {
    for (int k : readers[j]) {
      for (int i : stepRows[k]) {
        columns[j].push_back(i);
        columns[j].insert(columns[j].end(), dependentRows[i].begin(), dependentRows[i].end());
      }
    }
  }
  return SparsityPattern::FromColumns(n, columns);
}

SparsityPattern ElasticityPattern(const Model& model) {
  const int n = model.nMetabolites();
  const std::vector<std::vector<int>> readers = ReadersOfPositions(model);
  std::vector<std::vector<int>> columns(n + 1);
  for (int q = 1; q <= n; ++q) {
    for (int k : readers[q]) columns[q].push_back(model.stepPosition[k] + 1);
  }
  return SparsityPattern::FromColumns(model.nSteps(), columns);
}

}  // namespace vireon
