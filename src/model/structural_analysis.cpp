#include "model/structural_analysis.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

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
struct Elimination {
  Model& model;
  int rows;             // internal metabolites
  int columns;          // steps
  Matrix<double> n;     // reduced stoichiometry, [position][step position]
  Matrix<double> link;  // multipliers, [position][position]

  explicit Elimination(Model& m)
      : model(m), rows(m.nVariable), columns(m.nSteps()), n(rows, columns), link(rows, rows) {
    for (int p = 0; p < rows; ++p) {
      for (int q = 0; q < columns; ++q) {
        n[p][q] = m.stoichiometry[m.metaboliteOrder[p]][m.stepOrder[q]];
      }
    }
  }

  // Exchanges two positions of the internal metabolites: their rows of the
  // reduced stoichiometry and of the link matrix, and their metabolites.
  void SwapRows(int a, int b) {
    for (int j = 0; j < columns; ++j) std::swap(n[a][j], n[b][j]);
    for (int j = 0; j < rows; ++j) std::swap(link[a][j], link[b][j]);
    std::swap(model.metaboliteOrder[a], model.metaboliteOrder[b]);
  }

  // Exchanges two step positions: their columns and their steps.
  void SwapColumns(int a, int b) {
    for (int i = 0; i < rows; ++i) std::swap(n[i][a], n[i][b]);
    std::swap(model.stepOrder[a], model.stepOrder[b]);
  }

  bool RowIsZero(int row) const { return std::none_of(n[row], n[row] + columns, IsNonZero); }

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
  int Run() {
    int k = 0;
    for (; k < columns && k < rows; ++k) {
      int pivotRow = k;
      while (pivotRow < rows && !IsNonZero(n[pivotRow][k])) ++pivotRow;
      if (pivotRow < rows) {
        if (pivotRow != k) SwapRows(k, pivotRow);
      } else if (!FindPivotInRow(k)) {
        return k;
      }
      for (int i = k + 1; i < rows; ++i) {
        if (!IsNonZero(n[i][k])) continue;
        const double f = n[i][k] / n[k][k];
        link[i][k] = f;
        if (f == 0.0) continue;
        for (int j = k; j < columns; ++j) {
          n[i][j] = n[i][j] - n[k][j] * f;
          if (!IsNonZero(n[i][j])) n[i][j] = 0.0;
        }
      }
    }
    return k;
  }

  // Steps 2 and 3 above: true when a pivot has been brought to [k][k].
  bool FindPivotInRow(int k) {
    for (;;) {
      int pivotColumn = k + 1;
      while (pivotColumn < columns && !IsNonZero(n[k][pivotColumn])) ++pivotColumn;
      if (pivotColumn < columns) {
        SwapColumns(pivotColumn, k);
        return true;
      }
      bool swapped = false;
      for (int i = 0; i < rows; ++i) {
        if (!RowIsZero(i)) continue;
        int j = i + 1;
        while (j < rows && RowIsZero(j)) ++j;
        if (j < rows) {
          SwapRows(i, j);
          swapped = true;
        }
      }
      if (!swapped) return false;
    }
  }

  // Completes the link matrix with its unit diagonal and derives, for each
  // dependent position p, conservation[p] = [-(L21 L11^-1) | unit row],
  // where L11 is the leading rank x rank block of the link matrix, inverted
  // by forward substitution.
  void ComputeConservation(int rank) {
    for (int i = 0; i < rows; ++i) link[i][i] = 1.0;
    Matrix<double> inverse(rank, rank);
    for (int c = 0; c < rank; ++c) {
      for (int i = 0; i < rank; ++i) {
        double s = 0.0;
        for (int t = 0; t < i; ++t) s += link[i][t] * inverse[t][c];
        inverse[i][c] = (i == c ? 1.0 : -s) / link[i][i];
      }
    }
    for (int p = rank; p < rows; ++p) {
      for (int c = 0; c < rank; ++c) {
        double s = 0.0;
        for (int t = 0; t < rank; ++t) s += link[p][t] * inverse[t][c];
        model.conservation[p][c] = ToFloat(-s);
      }
      for (int c = rank; c < rows; ++c) model.conservation[p][c] = c == p ? 1.0f : 0.0f;
    }
  }

  void StoreResults() {
    for (int i = 0; i < rows; ++i) {
      for (int j = 0; j < columns; ++j) model.reducedStoichiometry[i][j] = ToFloat(n[i][j]);
      for (int j = 0; j < rows; ++j) model.link[i][j] = ToFloat(link[i][j]);
    }
  }
};

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
void StructuralAnalysis(Model& model) {
  if (model.nSteps() == 0) return;
  PrepareArrays(model);
  const int nMetabolites = model.nMetabolites();
  const int nSteps = model.nSteps();

  for (Metabolite& m : model.metabolites) {
    if (m.type != FIXED && m.type != INDEPENDENT) m.type = INDEPENDENT;
  }
  for (int i = 0; i < nMetabolites; ++i) model.metaboliteOrder[i] = i;
  for (int j = 0; j < nSteps; ++j) model.stepOrder[j] = j;

  for (int i = 0; i < nMetabolites; ++i) {
    const float* row = model.stoichiometry[i];
    if (std::none_of(row, row + nSteps, IsNonZero)) model.metabolites[i].type = FIXED;
  }

  int position = 0;
  for (std::int16_t type : {INDEPENDENT, DEPENDENT, FIXED}) {
    for (int i = 0; i < nMetabolites; ++i) {
      if (model.metabolites[i].type == type) model.metaboliteOrder[position++] = i;
    }
  }
  CountTypes(model);

  Elimination elimination(model);
  model.nIndependent = elimination.Run();
  model.nDependent = model.nVariable - model.nIndependent;
  elimination.ComputeConservation(model.nIndependent);
  elimination.StoreResults();

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
    double total = 0.0;
    for (int p = 0; p < n; ++p) {
      const int m = model.metaboliteOrder[p];
      if (m < 0 || m >= model.nMetabolites()) continue;
      total += static_cast<double>(model.conservation[row][p]) *
               model.metabolites[m].initialConcentration * model.VolumeOf(m);
    }
    model.moieties[k].initialConcentration = total;
  }
}

}  // namespace vireon
