#pragma once
// Two doubles side by side in one vector register (SSE2 on every x86-64,
// two lanes elsewhere): each lane is rounded as the same operation on a
// double would be, so a loop that takes two independent components at a
// time gives the same bits as one that takes them one by one.

#include <cstdint>
#include <cstring>
#include <limits>

namespace vireon {

using Pair = double __attribute__((vector_size(16)));
using PairMask = std::int64_t __attribute__((vector_size(16)));

inline Pair LoadPair(const double* p) {
  Pair pair;
  std::memcpy(&pair, p, sizeof pair);
  return pair;
}

inline void StorePair(double* p, Pair pair) {
  std::memcpy(p, &pair, sizeof pair);
}

// The magnitudes: the sign bits cleared, as std::fabs does.
inline Pair AbsPair(Pair pair) {
  constexpr std::int64_t kSign = std::numeric_limits<std::int64_t>::min();
  PairMask bits;
  std::memcpy(&bits, &pair, sizeof bits);
  bits &= ~PairMask{kSign, kSign};
  std::memcpy(&pair, &bits, sizeof pair);
  return pair;
}

}  // namespace vireon
