#pragma once
// A dense row-major matrix whose rows are addressed as m[row][column].
// Counts live in the matrix; an empty matrix has no storage at all.

#include <cstddef>
#include <vector>

namespace vireon {

template <typename T>
class Matrix {
 public:
  Matrix() = default;
  Matrix(int rows, int columns, T value = T()) { Assign(rows, columns, value); }

  // Replaces the contents by rows x columns copies of value (negative
  // dimensions count as 0).
  void Assign(int rows, int columns, T value = T()) {
    rows_ = rows > 0 ? rows : 0;
    columns_ = columns > 0 ? columns : 0;
    data_.assign(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_), value);
  }
  void Fill(T value) { data_.assign(data_.size(), value); }
  void Clear() { Assign(0, 0); }

  int rows() const { return rows_; }
  int columns() const { return columns_; }
  bool empty() const { return data_.empty(); }

  T* operator[](int row) { return data_.data() + static_cast<std::size_t>(row) * columns_; }
  const T* operator[](int row) const {
    return data_.data() + static_cast<std::size_t>(row) * columns_;
  }
  T& at(int row, int column) { return (*this)[row][column]; }
  const T& at(int row, int column) const { return (*this)[row][column]; }

  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

  bool operator==(const Matrix& other) const = default;

 private:
  int rows_ = 0;
  int columns_ = 0;
  std::vector<T> data_;
};

}  // namespace vireon
