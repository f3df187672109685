#pragma once
// The sparse LU factorisation of SuiteSparse's KLU for large, sparse
// matrices: the pattern is ordered and analysed once (block triangular
// form, then AMD within the blocks), and every factorisation after that
// takes the entries along the pattern with partial pivoting of its own.
// Its rounding differs from the dense elimination's (another order of
// operations), so it serves only where a caller asks for it.
//
// Vectors are 1-based and a matrix is an array of 1-based row pointers, as
// LuSolver has them.

#include <memory>
#include <vector>

namespace vireon {

struct SparsityPattern;

class KluSolver {
 public:
  KluSolver();
  ~KluSolver();
  KluSolver(const KluSolver&) = delete;
  KluSolver& operator=(const KluSolver&) = delete;
  KluSolver(KluSolver&&) noexcept;
  KluSolver& operator=(KluSolver&&) noexcept;

  // Analyses the n × n pattern (columns 1 … n of `pattern`, rows 1 … n)
  // with the diagonal added; false when KLU refuses it.
  bool Analyze(const SparsityPattern& pattern, int n);
  bool analyzed() const;
  // Factors the matrix's entries along the analysed pattern (entries
  // outside it must be zero); false for a singular or not finite matrix,
  // whose factors are then unusable.
  bool Factor(double* const* matrix);
  // The analysed pattern (the diagonal included) as 0-based compressed
  // columns, and the entries along it, which FactorEntries factors: a
  // caller may write the matrix there itself instead of in full.
  const int* columnStart() const { return columnStart_.data(); }
  const int* rows() const { return rows_.data(); }
  double* entries() { return values_.data(); }
  // Factors the entries written along the pattern; false as Factor.
  bool FactorEntries();
  // Overwrites b with the solution of A·x = b.
  void Solve(double* b) const;
  // Entries of the analysed pattern.
  int NonZeros() const { return static_cast<int>(rows_.size()); }

 private:
  struct Klu;
  std::unique_ptr<Klu> klu_;
  int n_ = 0;
  std::vector<int> columnStart_, rows_;  // 0-based compressed columns
  std::vector<double> values_;
};

}  // namespace vireon
