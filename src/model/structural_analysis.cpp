#include "model/structural_analysis.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace vireon {
namespace {

bool IsNonZero(double value) {
  return std::fabs(value) > kStructuralZeroTolerance;
}

// Narrows a result for the model's single-precision matrices; a magnitude
// beyond the float range (only pathological stoichiometries get there)
// becomes an infinity rather than an undefined conversion.
float ToFloat(double value) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  if (value > kLargest) return std::numeric_limits<float>::infinity();
  if (value < -kLargest) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// Gives every derived array its full size (all entries zero) and makes sure
// the stoichiometry has one row per metabolite and one column per step, so
// that no index below can leave its array.
void PrepareArrays(Model& model) {
  const int nMetabolites = model.nMetabolites();
  const int nSteps = model.nSteps();
  if (model.stoichiometry.rows() != nMetabolites || model.stoichiometry.columns() != nSteps) {
    Matrix<float> resized(nMetabolites, nSteps);
    const int rows = std::min(nMetabolites, model.stoichiometry.rows());
    const int columns = std::min(nSteps, model.stoichiometry.columns());
    for (int i = 0; i < rows; ++i) {
      for (int j = 0; j < columns; ++j) resized[i][j] = model.stoichiometry[i][j];
    }
    model.stoichiometry = std::move(resized);
  }
  model.reducedStoichiometry.Assign(nMetabolites, nSteps);
  model.link.Assign(nMetabolites, nMetabolites);
  model.conservation.Assign(nMetabolites, nMetabolites);
  model.metaboliteOrder.assign(nMetabolites, 0);
  model.metabolitePosition.assign(nMetabolites, 0);
  model.stepOrder.assign(nSteps, 0);
  model.stepPosition.assign(nSteps, 0);
}

void CountTypes(Model& model) {
  model.nVariable = 0;
  model.nDependent = 0;
  model.nFixed = 0;
  for (const Metabolite& m : model.metabolites) {
    if (m.type == INDEPENDENT || m.type == DEPENDENT) ++model.nVariable;
    if (m.type == DEPENDENT) ++model.nDependent;
    if (m.type == FIXED) ++model.nFixed;
  }
}

// The elimination works in double precision on copies of the internal
// rows and of the link matrix. In single precision a multiplier such as 1/3
// leaves residues of about 1e-7 where the exact result is zero; those pass
// the 1e-10 test and would be taken as pivots, so that some ordinary
// networks would get one independent metabolite too many and lose a
// conservation relation. The results are stored in the model's
// single-precision matrices afterwards.
//
// A stoichiometry is almost all zeros, so the matrices are kept as sparse
// rows and the work is proportional to the entries that are there. The
// results are those of a dense elimination over every entry, bit for bit:
// - an entry is held unless it is +0 (a -0 or a residue within the
//   tolerance is held, since it is stored and printed as it is);
// - rows and columns are swapped through permutations, so a swap costs
//   nothing however long the rows are;
// - eliminating below a pivot updates the entries the pivot row holds and
//   sets every other entry of the updated row from the pivot column on that
//   lies within the tolerance to +0, as subtracting the pivot row's zero
//   (times a finite multiplier) and rounding would; a multiplier that is
//   not finite makes those products undefined, and such a row is updated
//   over every column as a dense elimination would;
// - sums of products skip the terms whose factor is an exact zero, which
//   changes no sum as long as the other factor is finite; where one is
//   not, the conservation relations are computed densely.
class Elimination {
 public:
  explicit Elimination(Model& model);

  // Gaussian elimination that records its multipliers in the link matrix
  // and returns the rank. For each pivot position k, in order:
  //   1. column search: the first row at or below k with a non-zero in
  //      column k is swapped into row k;
  //   2. else row search: the first column after k with a non-zero in row
  //      k is swapped into column k;
  //   3. else zero-row compaction: each all-zero row is swapped with the
  //      first non-zero row below it; after any swap the row search is
  //      tried again, otherwise the elimination ends with rank k;
  //   4. every row below k with a non-zero in column k has that column
  //      eliminated; results within the tolerance become exactly 0.
  // The pivot is the first acceptable entry, not the largest.
  int Run();

  // Completes the link matrix with its unit diagonal and derives, for each
  // dependent position p, conservation[p] = [-(L21 L11^-1) | unit row],
  // where L11 is the leading rank x rank block of the link matrix, inverted
  // by forward substitution.
  void ComputeConservation(int rank);

  // Stores the reduced stoichiometry and the link matrix in the model (whose
  // matrices are all zero before).
  void StoreResults();

 private:
  struct Entry {
    int column;
    double value;
  };
  using Row = std::vector<Entry>;  // sorted by column

  static const Entry* Find(const Row& row, int column);
  // The value held at (physical row, physical column), +0 when none is.
  double Value(int row, int column) const;
  void Set(int row, int column, double value);

  void SwapRows(int a, int b);
  void SwapColumns(int a, int b);
  bool FindPivotInRow(int k);
  void EliminateRow(int row, int pivotRow, int k, double f);
  void EliminateRowDensely(int row, int pivotRow, int k, double f);
  void CountSignificant(int row);

  void ComputeConservationDensely(int rank);

  Model& model_;
  int rows_;     // internal metabolites
  int columns_;  // steps
  // The reduced stoichiometry by physical row and column: physical rows are
  // the positions the metabolites had before the elimination, physical
  // columns the step positions. rowAt_/columnAt_ map positions to physical
  // rows and columns, rowPosition_/columnPosition_ back.
  std::vector<Row> n_;
  std::vector<int> significant_;              // per physical row: entries above the tolerance
  std::vector<std::vector<int>> columnRows_;  // physical rows holding an entry of each column
  std::vector<int> rowAt_, rowPosition_, columnAt_, columnPosition_;
  // The multipliers by physical row; the columns are positions (the link
  // matrix's columns are not permuted).
  std::vector<Row> link_;
};

Elimination::Elimination(Model& model)
    : model_(model),
      rows_(model.nVariable),
      columns_(model.nSteps()),
      n_(rows_),
      significant_(rows_, 0),
      columnRows_(columns_),
      rowAt_(rows_),
      rowPosition_(rows_),
      columnAt_(columns_),
      columnPosition_(columns_),
      link_(rows_) {
  // Every entry but +0 is held, in the order of the step positions.
  std::vector<int> stepPosition(columns_);
  for (int q = 0; q < columns_; ++q) stepPosition[model.stepOrder[q]] = q;
  for (int p = 0; p < rows_; ++p) {
    rowAt_[p] = rowPosition_[p] = p;
    const float* stoichiometry = model.stoichiometry[model.metaboliteOrder[p]];
    Row& row = n_[p];
    ForEachEntryWithBits(stoichiometry, columns_, [&](int k) {
      row.push_back({stepPosition[k], static_cast<double>(stoichiometry[k])});
    });
    std::sort(row.begin(), row.end(),
              [](const Entry& a, const Entry& b) { return a.column < b.column; });
    for (const Entry& e : row) columnRows_[e.column].push_back(p);
    CountSignificant(p);
  }
  for (int q = 0; q < columns_; ++q) columnAt_[q] = columnPosition_[q] = q;
}

const Elimination::Entry* Elimination::Find(const Row& row, int column) {
  auto at = std::lower_bound(row.begin(), row.end(), column,
                             [](const Entry& e, int c) { return e.column < c; });
  return at != row.end() && at->column == column ? &*at : nullptr;
}

double Elimination::Value(int row, int column) const {
  const Entry* e = Find(n_[row], column);
  return e != nullptr ? e->value : 0.0;
}

void Elimination::Set(int row, int column, double value) {
  Row& r = n_[row];
  auto at = std::lower_bound(r.begin(), r.end(), column,
                             [](const Entry& e, int c) { return e.column < c; });
  if (at != r.end() && at->column == column) {
    at->value = value;
  } else if (value != 0.0 || std::signbit(value)) {
    r.insert(at, {column, value});
    columnRows_[column].push_back(row);
  }
}

void Elimination::CountSignificant(int row) {
  significant_[row] = static_cast<int>(std::count_if(
      n_[row].begin(), n_[row].end(), [](const Entry& e) { return IsNonZero(e.value); }));
}

// Exchanges two positions of the internal metabolites: their rows of the
// reduced stoichiometry and of the link matrix, and their metabolites.
void Elimination::SwapRows(int a, int b) {
  std::swap(rowAt_[a], rowAt_[b]);
  rowPosition_[rowAt_[a]] = a;
  rowPosition_[rowAt_[b]] = b;
  std::swap(model_.metaboliteOrder[a], model_.metaboliteOrder[b]);
}

// Exchanges two step positions: their columns and their steps.
void Elimination::SwapColumns(int a, int b) {
  std::swap(columnAt_[a], columnAt_[b]);
  columnPosition_[columnAt_[a]] = a;
  columnPosition_[columnAt_[b]] = b;
  std::swap(model_.stepOrder[a], model_.stepOrder[b]);
}

int Elimination::Run() {
  int k = 0;
  std::vector<int> below;
  for (; k < columns_ && k < rows_; ++k) {
    int pivotPosition = rows_;
    const int column = columnAt_[k];
    for (int row : columnRows_[column]) {
      const int position = rowPosition_[row];
      if (position >= k && position < pivotPosition && IsNonZero(Value(row, column))) {
        pivotPosition = position;
      }
    }
    if (pivotPosition < rows_) {
      if (pivotPosition != k) SwapRows(k, pivotPosition);
    } else if (!FindPivotInRow(k)) {
      return k;
    }
    const int pivotRow = rowAt_[k];
    const int pivotColumn = columnAt_[k];
    const double pivot = Value(pivotRow, pivotColumn);
    below.clear();
    for (int row : columnRows_[pivotColumn]) {
      if (rowPosition_[row] > k && IsNonZero(Value(row, pivotColumn))) below.push_back(row);
    }
    for (int row : below) {
      const double f = Value(row, pivotColumn) / pivot;
      link_[row].push_back({k, f});
      if (f == 0.0) continue;
      if (std::isfinite(f)) {
        EliminateRow(row, pivotRow, k, f);
      } else {
        EliminateRowDensely(row, pivotRow, k, f);
      }
    }
  }
  return k;
}

// row -= f x pivotRow over the columns at positions k and beyond.
void Elimination::EliminateRow(int row, int pivotRow, int k, double f) {
  const Row& pivot = n_[pivotRow];
  Row& target = n_[row];
  Row result;
  result.reserve(target.size() + pivot.size());
  std::size_t a = 0, b = 0;
  while (a < target.size() || b < pivot.size()) {
    const int ca = a < target.size() ? target[a].column : columns_;
    const int cb = b < pivot.size() ? pivot[b].column : columns_;
    const int column = std::min(ca, cb);
    double value = ca == column ? target[a].value : 0.0;
    const bool held = ca == column;
    if (columnPosition_[column] >= k) {
      if (cb == column) value = value - pivot[b].value * f;
      if (!IsNonZero(value)) value = 0.0;
    }
    if (held || value != 0.0) {
      result.push_back({column, value});
      if (!held) columnRows_[column].push_back(row);
    }
    if (ca == column) ++a;
    if (cb == column) ++b;
  }
  target.swap(result);
  CountSignificant(row);
}

void Elimination::EliminateRowDensely(int row, int pivotRow, int k, double f) {
  for (int j = k; j < columns_; ++j) {
    const int column = columnAt_[j];
    double value = Value(row, column) - Value(pivotRow, column) * f;
    if (!IsNonZero(value)) value = 0.0;
    Set(row, column, value);
  }
  CountSignificant(row);
}

// Steps 2 and 3 of Run: true when a pivot has been brought to [k][k].
bool Elimination::FindPivotInRow(int k) {
  std::vector<char> zero(rows_);
  for (;;) {
    int pivotPosition = columns_;
    for (const Entry& e : n_[rowAt_[k]]) {
      const int position = columnPosition_[e.column];
      if (position > k && position < pivotPosition && IsNonZero(e.value)) pivotPosition = position;
    }
    if (pivotPosition < columns_) {
      SwapColumns(pivotPosition, k);
      return true;
    }
    // Swaps move no value, so which rows are zero is known beforehand; the
    // first non-zero row below a zero one only moves further down.
    for (int i = 0; i < rows_; ++i) zero[i] = significant_[rowAt_[i]] == 0;
    bool swapped = false;
    int next = 0;
    for (int i = 0; i < rows_; ++i) {
      if (!zero[i]) continue;
      next = std::max(next, i + 1);
      while (next < rows_ && zero[next]) ++next;
      if (next < rows_) {
        SwapRows(i, next);
        std::swap(zero[i], zero[next]);
        swapped = true;
      }
    }
    if (!swapped) return false;
  }
}

void Elimination::ComputeConservation(int rank) {
  for (int i = 0; i < rows_; ++i) link_[rowAt_[i]].push_back({i, 1.0});
  if (rank >= rows_) return;

  // A product with a factor that is not finite is undefined even when the
  // other factor is zero: such networks take the dense path.
  auto finite = [](const Row& row) {
    return std::all_of(row.begin(), row.end(),
                       [](const Entry& e) { return std::isfinite(e.value); });
  };
  for (int i = 0; i < rows_; ++i) {
    if (!finite(link_[rowAt_[i]])) return ComputeConservationDensely(rank);
  }

  // Rows of the inverse T that the dependent rows reach through the link
  // matrix, directly or through other rows of T.
  std::vector<char> needed(rank, 0);
  for (int p = rank; p < rows_; ++p) {
    for (const Entry& e : link_[rowAt_[p]]) {
      if (e.column < rank) needed[e.column] = 1;
    }
  }
  for (int i = rank - 1; i >= 0; --i) {
    if (!needed[i]) continue;
    for (const Entry& e : link_[rowAt_[i]]) {
      if (e.column < i) needed[e.column] = 1;
    }
  }

  // T[i][c] = (i == c ? 1 : -s) / L[i][i] with s = sum over t < i of
  // L[i][t] T[t][c] in increasing t. L[i][i] is 1, and T[t][c] is zero for
  // t < c, so row i of T holds columns c <= i only.
  std::vector<Row> inverse(rank);
  std::vector<double> sum(rank, 0.0);
  std::vector<char> touched(rank, 0);
  std::vector<int> columns;
  auto accumulate = [&](const Row& lRow, int limit) {
    for (const Entry& l : lRow) {
      if (l.column >= limit) break;
      for (const Entry& t : inverse[l.column]) {
        if (!touched[t.column]) {
          touched[t.column] = 1;
          columns.push_back(t.column);
        }
        sum[t.column] += l.value * t.value;
      }
    }
    std::sort(columns.begin(), columns.end());
  };
  auto reset = [&] {
    for (int c : columns) {
      sum[c] = 0.0;
      touched[c] = 0;
    }
    columns.clear();
  };
  for (int i = 0; i < rank; ++i) {
    if (!needed[i]) continue;
    const Row& lRow = link_[rowAt_[i]];
    accumulate(lRow, i);
    const double diagonal = Find(lRow, i)->value;
    Row& tRow = inverse[i];
    for (int c : columns) tRow.push_back({c, -sum[c] / diagonal});
    tRow.push_back({i, 1.0 / diagonal});
    reset();
    if (!finite(tRow)) return ComputeConservationDensely(rank);
  }

  for (int p = rank; p < rows_; ++p) {
    float* g = model_.conservation[p];
    for (int c = 0; c < rank; ++c) g[c] = -0.0f;  // -s for an empty sum
    accumulate(link_[rowAt_[p]], rank);
    for (int c : columns) g[c] = ToFloat(-sum[c]);
    reset();
    for (int c = rank; c < rows_; ++c) g[c] = c == p ? 1.0f : 0.0f;
  }
}

// Every sum over every term, as in a dense elimination.
void Elimination::ComputeConservationDensely(int rank) {
  Matrix<double> link(rows_, rows_);
  for (int i = 0; i < rows_; ++i) {
    for (const Entry& e : link_[rowAt_[i]]) link[i][e.column] = e.value;
  }
  Matrix<double> inverse(rank, rank);
  for (int c = 0; c < rank; ++c) {
    for (int i = 0; i < rank; ++i) {
      double s = 0.0;
      for (int t = 0; t < i; ++t) s += link[i][t] * inverse[t][c];
      inverse[i][c] = (i == c ? 1.0 : -s) / link[i][i];
    }
  }
  for (int p = rank; p < rows_; ++p) {
    for (int c = 0; c < rank; ++c) {
      double s = 0.0;
      for (int t = 0; t < rank; ++t) s += link[p][t] * inverse[t][c];
      model_.conservation[p][c] = ToFloat(-s);
    }
    for (int c = rank; c < rows_; ++c) model_.conservation[p][c] = c == p ? 1.0f : 0.0f;
  }
}

void Elimination::StoreResults() {
  for (int i = 0; i < rows_; ++i) {
    const int row = rowAt_[i];
    float* reduced = model_.reducedStoichiometry[i];
    for (const Entry& e : n_[row]) reduced[columnPosition_[e.column]] = ToFloat(e.value);
    float* link = model_.link[i];
    for (const Entry& e : link_[row]) link[e.column] = ToFloat(e.value);
  }
}

// Coefficients whose magnitude is at least 1, printed as "%3.1f" does
// (independent of the process's locale).
std::string FormatCoefficient(double value) {
  char buffer[400];  // room for the largest double in fixed notation
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  std::string text = error == std::errc() ? std::string(buffer, end) : std::string("?");
  if (text.size() < 3) text.insert(0, 3 - text.size(), ' ');
  return text;
}

// Fractional coefficients (such as the 0.5 of a dimer's monomer) with up to
// four significant digits, as "%.4g" prints them.
std::string FormatFraction(double value) {
  char buffer[64];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 4);
  return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

// The name of the relation in conservation row p: one term per internal
// metabolite with a non-zero coefficient, in index order. The first term
// is prefixed with a blank and the others with "+"; a coefficient above 1
// is written after the prefix ("%s %3.1f*"), one below -1 replaces the
// prefix ("- %3.1f*"), and -1 is written as "- " alone. Every term ends with
// the name and a blank, so E + ES reads "  E + ES ". A fractional
// coefficient is written like the others but with its own digits
// ("  0.5*A + B "), so that its value and sign are not lost.
std::string MoietyName(const Model& model, int p) {
  std::string name;
  bool first = true;
  for (int m = 0; m < model.nMetabolites(); ++m) {
    const Metabolite& metabolite = model.metabolites[m];
    if (metabolite.type == FIXED) continue;
    const float c = model.conservation[p][model.metabolitePosition[m]];
    if (c == 0.0f) continue;
    const char* prefix = first ? " " : "+";
    first = false;
    if (c > 1.0f) {
      name += prefix;
      name += ' ';
      name += FormatCoefficient(c);
      name += '*';
    } else if (c < -1.0f) {
      name += "- ";
      name += FormatCoefficient(-static_cast<double>(c));
      name += '*';
    } else if (c == -1.0f) {
      name += "- ";
    } else if (c > 0.0f && c < 1.0f) {
      name += prefix;
      name += ' ';
      name += FormatFraction(c);
      name += '*';
    } else if (c < 0.0f && c > -1.0f) {
      name += "- ";
      name += FormatFraction(-static_cast<double>(c));
      name += '*';
    } else {
      name += prefix;
      name += ' ';
    }
    name += metabolite.name;
    name += ' ';
  }
  return name;
}

void BuildMoieties(Model& model) {
  model.moieties.assign(std::max(model.nDependent, 0), Metabolite());
  for (int k = 0; k < model.nMoieties(); ++k) {
    Metabolite& moiety = model.moieties[k];
    moiety.name = MoietyName(model, model.nIndependent + k);
    moiety.type = MOIETY;
    moiety.compartment = 0;
  }
  ComputeMoietyTotals(model);
}

}  // namespace

// The analysis, in order:
//  1. DEPENDENT (and any type code the model does not use) becomes
//     INDEPENDENT; the orders become the identity;
//  2. a metabolite whose stoichiometry row is all zero becomes FIXED;
//  3. the metabolite order lists the independent, the dependent and the
//     fixed metabolites, each in index order; the types are counted;
//  4. the internal rows of the stoichiometry are copied in that order and
//     eliminated (in double precision), which gives the rank nIndependent;
//  5. the conservation relations follow from the link matrix;
//  6. positions are the inverses of the orders, positions below the rank
//     become INDEPENDENT and the others DEPENDENT; the types are counted;
//  7. one moiety record per relation, with its name and total.
// When a rule sets a stoichiometry, step 4 keeps every internal metabolite
// independent and step 5 finds no relation (see HasStoichiometryRules).
void StructuralAnalysis(Model& model) {
  // Without steps nothing changes, unless rules or events change it: a
  // model with them is analysed all the same (each metabolite then keeps its amount).
  if (model.nSteps() == 0 && model.rules.empty() && model.events.empty()) return;
  PrepareArrays(model);
  const int nMetabolites = model.nMetabolites();
  const int nSteps = model.nSteps();

  for (Metabolite& m : model.metabolites) {
    if (m.type != FIXED && m.type != INDEPENDENT) m.type = INDEPENDENT;
  }
  for (int i = 0; i < nMetabolites; ++i) model.metaboliteOrder[i] = i;
  for (int j = 0; j < nSteps; ++j) model.stepOrder[j] = j;

  // A metabolite whose stoichiometry a rule sets may be changed by its step
  // whatever the equation says.
  std::vector<char> ruleSet(static_cast<std::size_t>(nMetabolites), 0);
  const bool unreduced = HasStoichiometryRules(model.rules);
  for (const Rule& rule : model.rules) {
    if (rule.target.kind != RuleTargetKind::kStoichiometry) continue;
    const int m = model.FindMetabolite(rule.target.constant);
    if (m >= 0 && m < nMetabolites) ruleSet[static_cast<std::size_t>(m)] = 1;
  }
  for (int i = 0; i < nMetabolites; ++i) {
    const float* row = model.stoichiometry[i];
    bool significant = ruleSet[static_cast<std::size_t>(i)] != 0;
    ForEachEntryWithBits(row, nSteps,
                         [&](int k) { significant = significant || IsNonZero(row[k]); });
    if (!significant) model.metabolites[i].type = FIXED;
  }

  int position = 0;
  for (std::int16_t type : {INDEPENDENT, DEPENDENT, FIXED}) {
    for (int i = 0; i < nMetabolites; ++i) {
      if (model.metabolites[i].type == type) model.metaboliteOrder[position++] = i;
    }
  }
  CountTypes(model);

  if (unreduced) {
    // No relation is derived from a stoichiometry that rules replace: every
    // internal metabolite is independent, the link matrix is the identity
    // and the reduced stoichiometry is the internal rows as they are.
    model.nIndependent = model.nVariable;
    model.nDependent = 0;
    for (int p = 0; p < model.nVariable; ++p) {
      const float* row = model.stoichiometry[model.metaboliteOrder[p]];
      float* reduced = model.reducedStoichiometry[p];
      for (int k = 0; k < nSteps; ++k) reduced[k] = row[k];
      model.link[p][p] = 1.0f;
    }
  } else {
    Elimination elimination(model);
    model.nIndependent = elimination.Run();
    model.nDependent = model.nVariable - model.nIndependent;
    elimination.ComputeConservation(model.nIndependent);
    elimination.StoreResults();
  }

  for (int p = 0; p < nMetabolites; ++p) model.metabolitePosition[model.metaboliteOrder[p]] = p;
  for (int q = 0; q < nSteps; ++q) model.stepPosition[model.stepOrder[q]] = q;

  for (int p = 0; p < model.nVariable; ++p) {
    model.metabolites[model.metaboliteOrder[p]].type =
        p < model.nIndependent ? INDEPENDENT : DEPENDENT;
  }
  CountTypes(model);

  BuildMoieties(model);
}

void ComputeMoietyTotals(Model& model) {
  const int n = std::min({model.nVariable, model.conservation.columns(),
                          static_cast<int>(model.metaboliteOrder.size())});
  for (int k = 0; k < model.nMoieties(); ++k) {
    const int row = model.nIndependent + k;
    if (row < 0 || row >= model.conservation.rows()) continue;
    const int dependent = row < n ? model.metaboliteOrder[row] : -1;
    const bool known = dependent >= 0 && dependent < model.nMetabolites();
    double total = 0.0;
    for (int p = 0; p < n; ++p) {
      const int m = model.metaboliteOrder[p];
      if (m < 0 || m >= model.nMetabolites()) continue;
      total += static_cast<double>(model.conservation[row][p]) *
               model.metabolites[m].initialConcentration * model.VolumeOf(known ? dependent : m);
    }
    model.moieties[k].initialConcentration = total;
  }
}

}  // namespace vireon
