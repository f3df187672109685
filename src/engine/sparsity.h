#pragma once
// The structure of the engine's finite-difference matrices, and the
// grouping of their columns that lets one right-hand-side evaluation
// difference several columns at once.
//
// A column j of a difference matrix lists the rows whose value can change
// when the variable j alone is perturbed. Two columns that share no row are
// structurally independent: perturbing both variables together changes each
// of their rows exactly as perturbing its own variable alone would, so one
// evaluation yields both columns with the same increments and the same
// differences, to the last bit. Positions are 1-based, as everywhere in the
// engine.

#include <memory>
#include <vector>

namespace vireon {

class Model;

// Rows of every column, column by column (compressed columns): the rows of
// column j (1 … nColumns) are rows[columnStart[j] … columnStart[j + 1] - 1],
// in increasing order.
struct SparsityPattern {
  int nRows = 0;
  int nColumns = 0;
  std::vector<int> columnStart;  // nColumns + 2 entries; element 0 unused
  std::vector<int> rows;

  // Builds the pattern from each column's list of rows (in any order, with
  // repeats); element 0 of columnRows is ignored.
  static SparsityPattern FromColumns(int nRows, const std::vector<std::vector<int>>& columnRows);
  int Count(int column) const { return columnStart[column + 1] - columnStart[column]; }
  const int* RowsBegin(int column) const { return rows.data() + columnStart[column]; }
  const int* RowsEnd(int column) const { return rows.data() + columnStart[column + 1]; }
};

// Columns split into groups whose members share no row: the columns of
// group g are columns[groupStart[g] … groupStart[g + 1] - 1], increasing.
struct ColumnGroups {
  std::vector<int> groupStart;  // size() + 1 entries
  std::vector<int> columns;

  int size() const { return groupStart.empty() ? 0 : static_cast<int>(groupStart.size()) - 1; }
  // True when grouping saves evaluations over one column at a time.
  bool Pays(int nColumns) const { return size() < nColumns; }
};

// Greedy grouping: each column, in increasing order, joins the first group
// none of whose columns shares a row with it.
ColumnGroups GroupColumns(const SparsityPattern& pattern);

// A pattern and its column groups, worked out from the model the first time
// either is asked for: a run that never differences a matrix (a time course
// that stays non-stiff) never pays for its structure. The model's network
// must not change while the structure is in use.
class ColumnStructure {
 public:
  using Builder = SparsityPattern (*)(const Model&);
  ColumnStructure(const Model& model, Builder build) : model_(&model), build_(build) {}

  const SparsityPattern& pattern() const {
    Build();
    return pattern_;
  }
  const ColumnGroups& groups() const {
    Build();
    return groups_;
  }

 private:
  void Build() const;

  const Model* model_;
  Builder build_;
  mutable bool built_ = false;
  mutable SparsityPattern pattern_;
  mutable ColumnGroups groups_;
};

// The structures of the three matrices the engine differences: the reduced
// Jacobian, the integrator's full Jacobian and the elasticities, each
// worked out the first time it is asked for.
struct NetworkStructure {
  explicit NetworkStructure(const Model& model);

  const Model* model;
  ColumnStructure reduced, full, elasticity;
};

// The network's structures kept from one engine to the next: the points of
// a scan build an engine each over the same model, and only the first works
// the structures out. What is kept belongs to one model object, whose
// network must not change while it is kept; a copy starts with nothing kept,
// so each thread's copy of a document works out its own.
class NetworkStructureCache {
 public:
  NetworkStructureCache() = default;
  NetworkStructureCache(const NetworkStructureCache&) {}
  NetworkStructureCache& operator=(const NetworkStructureCache&) {
    Clear();
    return *this;
  }

  // The structures of `model`: those kept when they are its own, else new.
  NetworkStructure& For(const Model& model);
  void Clear() { kept_.reset(); }

 private:
  std::unique_ptr<NetworkStructure> kept_;
};

// The metabolite positions (1-based) the rate law of each step (by step
// index) reads: the step's substrates, products and modifiers. A step whose
// rate law is not known to read only those reads every position; a step
// without a rate law reads none.
std::vector<std::vector<int>> PositionsReadBySteps(const Model& model);

// dF_i/dx_j of the reduced system (1 <= i, j <= nIndependent), where the
// dependent amounts follow x_j through the conservation relations.
SparsityPattern ReducedJacobianPattern(const Model& model);
// dF_i/dy_j of the whole system the integrator solves (1 <= i, j <=
// nVariable), with every amount free.
SparsityPattern FullJacobianPattern(const Model& model);
// d rate_s/dx_i: a column per metabolite position (1 … nMetabolites), a row
// per step position (1 … nSteps).
SparsityPattern ElasticityPattern(const Model& model);

}  // namespace vireon
