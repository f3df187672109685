#include "engine/random.h"

#include <chrono>
#include <cmath>

namespace vireon {

namespace {

// Each word is combined with the word 103 places further on, cyclically.
constexpr int kLag = 103;
// From this position on the partner lies past the end and wraps to the start.
constexpr int kWrapFrom = 250 - kLag;
// Multiplier of the seeding congruential generator.
constexpr std::uint32_t kSeedMultiplier = 22695477u;
// A seeding number above this sets the top bit of its word.
constexpr std::uint16_t kTopBitThreshold = 16384;
// Words 3, 14, ..., 168 get a staircase of bits that makes the 16 columns of
// the register linearly independent.
constexpr int kStaircaseWords = 16;
constexpr int kStaircaseStride = 11;
constexpr int kStaircaseOffset = 3;
// Uniform numbers are the 16-bit words scaled by 2^-16.
constexpr double kWordScale = 65536.0;

}  // namespace

RandomGenerator::RandomGenerator() : RandomGenerator(ClockMilliseconds()) {}

RandomGenerator::RandomGenerator(std::uint32_t seed) {
  Seed(seed);
}

std::uint32_t RandomGenerator::ClockMilliseconds() {
  using namespace std::chrono;
  const auto sinceEpoch = system_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(duration_cast<milliseconds>(sinceEpoch).count() % 1000);
}

std::uint16_t RandomGenerator::NextSeedNumber() {
  seedState_ = seedState_ * kSeedMultiplier + 1u;
  return static_cast<std::uint16_t>((seedState_ >> 16) & 0x7FFFu);
}

// Seeding:
//   1. start the congruential generator at the seed; position 0;
//   2. fill the 250 words with its numbers;
//   3. for each word, one more number above 16384 sets the word's bit 15;
//   4. for k = 0..15 word[11k + 3] keeps its bits below bit 15 - k, gets bit
//      15 - k set and the bits above it cleared.
void RandomGenerator::Seed(std::uint32_t seed) {
  seed_ = seed;
  seedState_ = seed;
  position_ = 0;
  for (std::uint16_t& word : words_) word = NextSeedNumber();
  for (std::uint16_t& word : words_) {
    if (NextSeedNumber() > kTopBitThreshold) word = static_cast<std::uint16_t>(word | 0x8000u);
  }
  for (int k = 0; k < kStaircaseWords; ++k) {
    std::uint16_t& word = words_[kStaircaseStride * k + kStaircaseOffset];
    const unsigned mask = 0xFFFFu >> k;
    const unsigned bit = 0x8000u >> k;
    word = static_cast<std::uint16_t>((word & mask) | bit);
  }
  normalSign_ = 1;
  cachedNormal_ = 0.0;
}

double RandomGenerator::Uniform() {
  const int partner = position_ < kWrapFrom ? position_ + kLag : position_ - kWrapFrom;
  words_[position_] = static_cast<std::uint16_t>(words_[position_] ^ words_[partner]);
  const double result = words_[position_] / kWordScale;
  position_ = position_ + 1 < kWords ? position_ + 1 : 0;
  return result;
}

// Polar method: draw a point uniformly in the unit disc (without its
// centre), scale both coordinates by sqrt(-2 ln s / s); the two results are
// independent standard normal numbers.
double RandomGenerator::Normal() {
  normalSign_ = -normalSign_;
  if (normalSign_ > 0) return cachedNormal_;
  double a = 0.0, b = 0.0, s = 0.0;
  do {
    a = 2.0 * Uniform() - 1.0;
    b = 2.0 * Uniform() - 1.0;
    s = a * a + b * b;
  } while (s >= 1.0 || s == 0.0);
  const double f = std::sqrt(-2.0 * std::log(s) / s);
  cachedNormal_ = f * a;
  return f * b;
}

}  // namespace vireon
