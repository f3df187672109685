#pragma once
// The program's random numbers: a lagged-XOR shift-register generator of
// 250 sixteen-bit words (R250, Kirkpatrick and Stoll) for uniform numbers in
// [0, 1), and the polar method on top of it for standard normal numbers.
// Random scans and the random factors of output functions draw from one
// generator object that the caller owns; the same seed gives the same
// sequence, so a random scan can be reproduced.

#include <array>
#include <cstdint>

namespace vireon {

class RandomGenerator {
 public:
  // Seeded from the milliseconds field (0 to 999) of the current time.
  RandomGenerator();
  explicit RandomGenerator(std::uint32_t seed);

  // Restarts both sequences: the shift register is filled afresh from the
  // seed and the normal generator forgets its cached value.
  void Seed(std::uint32_t seed);
  // The seed of the last Seed call, so that a run can say how to repeat it.
  std::uint32_t seed() const { return seed_; }

  // The next uniform number, a multiple of 1/65536 in [0, 1).
  double Uniform();
  // The next standard normal number. Draws come in pairs from one polar
  // step; the second value of a pair is returned first and the first one is
  // kept for the next call.
  double Normal();

  // Two generators are equal when they will draw the same numbers from now on.
  bool operator==(const RandomGenerator&) const = default;

  // The milliseconds field of the current wall-clock time.
  static std::uint32_t ClockMilliseconds();

 private:
  // The seeding generator: state = state * 22695477 + 1 (mod 2^32),
  // returning bits 16 to 30 of the new state.
  std::uint16_t NextSeedNumber();

  static constexpr int kWords = 250;
  std::array<std::uint16_t, kWords> words_{};
  int position_ = 0;
  std::uint32_t seed_ = 0;
  std::uint32_t seedState_ = 0;
  int normalSign_ = 1;
  double cachedNormal_ = 0.0;
};

}  // namespace vireon
