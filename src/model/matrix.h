#pragma once
// A dense row-major matrix whose rows are addressed as m[row][column].
// Counts live in the matrix; an empty matrix has no storage at all.
//
// A new matrix of zeros takes its memory already zeroed from the system,
// which hands out the pages of a large block only when they are first
// touched: the engine's matrices for a large model (Jacobian, control
// coefficients) cost nothing in a run that never uses them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

namespace vireon {

namespace detail {
// bytes of zeroed memory (null for 0 bytes); throws std::bad_alloc.
void* AllocateZeroed(std::size_t bytes);
void ReleaseZeroed(void* memory, std::size_t bytes);
}  // namespace detail

template <typename T>
class Matrix {
  static_assert(std::is_trivially_copyable_v<T>, "matrix entries are plain numbers");

 public:
  Matrix() = default;
  Matrix(int rows, int columns, T value = T()) { Assign(rows, columns, value); }
  Matrix(const Matrix& other) { CopyFrom(other); }
  Matrix(Matrix&& other) noexcept { Take(other); }
  Matrix& operator=(const Matrix& other) {
    if (this != &other) {
      Matrix copy(other);
      Release();
      Take(copy);
    }
    return *this;
  }
  Matrix& operator=(Matrix&& other) noexcept {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }
  ~Matrix() { Release(); }

  // Replaces the contents by rows x columns copies of value (negative
  // dimensions count as 0).
  void Assign(int rows, int columns, T value = T()) {
    const int r = rows > 0 ? rows : 0;
    const int c = columns > 0 ? columns : 0;
    const std::size_t size = static_cast<std::size_t>(r) * static_cast<std::size_t>(c);
    T* data = static_cast<T*>(detail::AllocateZeroed(size * sizeof(T)));
    if (!IsZeroBits(value)) std::fill(data, data + size, value);
    Release();
    data_ = data;
    rows_ = r;
    columns_ = c;
  }
  void Fill(T value) { std::fill(data_, data_ + size(), value); }
  void Clear() { Release(); }

  int rows() const { return rows_; }
  int columns() const { return columns_; }
  bool empty() const { return size() == 0; }

  T* operator[](int row) { return data_ + static_cast<std::size_t>(row) * columns_; }
  const T* operator[](int row) const { return data_ + static_cast<std::size_t>(row) * columns_; }
  T& at(int row, int column) { return (*this)[row][column]; }
  const T& at(int row, int column) const { return (*this)[row][column]; }

  T* data() { return data_; }
  const T* data() const { return data_; }

  // Same dimensions and equal entries (as T's == compares them).
  bool operator==(const Matrix& other) const {
    return rows_ == other.rows_ && columns_ == other.columns_ &&
           std::equal(data_, data_ + size(), other.data_);
  }

 private:
  std::size_t size() const {
    return static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_);
  }
  static bool IsZeroBits(const T& value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    return std::all_of(bytes, bytes + sizeof(T), [](unsigned char b) { return b == 0; });
  }
  void CopyFrom(const Matrix& other) {
    data_ = static_cast<T*>(detail::AllocateZeroed(other.size() * sizeof(T)));
    rows_ = other.rows_;
    columns_ = other.columns_;
    if (size() > 0) std::memcpy(data_, other.data_, size() * sizeof(T));
  }
  void Take(Matrix& other) {
    data_ = std::exchange(other.data_, nullptr);
    rows_ = std::exchange(other.rows_, 0);
    columns_ = std::exchange(other.columns_, 0);
  }
  void Release() {
    detail::ReleaseZeroed(data_, size() * sizeof(T));
    data_ = nullptr;
    rows_ = 0;
    columns_ = 0;
  }

  T* data_ = nullptr;
  int rows_ = 0;
  int columns_ = 0;
};

// Calls visit(j), in order, for each j in [0, n) whose entry has any bit
// set: every entry but +0 (a -0 too). The zeros of a sparse row are passed
// over eight at a time.
template <typename Visit>
void ForEachEntryWithBits(const float* row, int n, Visit visit) {
  constexpr int kBlock = 8;
  static_assert(kBlock * sizeof(float) == 4 * sizeof(std::uint64_t));
  int j = 0;
  for (; j + kBlock <= n; j += kBlock) {
    std::uint64_t words[4];
    std::memcpy(words, row + j, sizeof words);
    if ((words[0] | words[1] | words[2] | words[3]) == 0) continue;
    for (int i = j; i < j + kBlock; ++i) {
      std::uint32_t bits;
      std::memcpy(&bits, row + i, sizeof bits);
      if (bits != 0) visit(i);
    }
  }
  for (; j < n; ++j) {
    std::uint32_t bits;
    std::memcpy(&bits, row + j, sizeof bits);
    if (bits != 0) visit(j);
  }
}

}  // namespace vireon
