#include "engine/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

// The expected numbers below were computed once, independently of this
// program, by a short Python script written from the algorithm's description
// (a congruential generator state*22695477+1 giving bits 16..30, 250 words,
// bit 15 set when a further number exceeds 16384, the staircase on words
// 11k+3, then word[p] ^= word[p+103 mod 250] / 65536; the polar method
// returning f*b first and f*a on the next call). The uniform numbers are
// exact multiples of 1/65536; the normal numbers were printed with repr().
struct SeedSequence {
  std::uint32_t seed;
  std::vector<double> uniform;       // the first eight uniform numbers
  std::vector<double> uniformLater;  // numbers 251..253 and 598..600
  std::vector<double> normal;        // the first six normal numbers
};

const std::vector<SeedSequence>& Sequences() {
  static const std::vector<SeedSequence> sequences = {
      {1,
       {0.3902740478515625, 0.628814697265625, 0.6919097900390625, 0.6033782958984375,
        0.5291900634765625, 0.8270111083984375, 0.834869384765625, 0.8420562744140625},
       {0.3073883056640625, 0.4727325439453125, 0.5335845947265625, 0.471466064453125,
        0.5991363525390625, 0.4727020263671875},
       {1.584770599165944, -1.3499271948119287, 0.8642250372697031, 1.604333327489455,
        1.2920071310427383, 0.11532871269118372}},
      {12345,
       {0.0178985595703125, 0.8148651123046875, 0.798828125, 0.5392608642578125, 0.4195709228515625,
        0.8241424560546875, 0.9808197021484375, 0.559173583984375},
       {0.1798248291015625, 0.8549041748046875, 0.055938720703125, 0.550140380859375, 0.24169921875,
        0.8814849853515625},
       {0.1853555671064362, 1.410805839958199, 1.2331207316149604, -0.3059727616787863,
        0.04342625902031825, 0.3528635502808789}},
  };
  return sequences;
}

TEST(RandomGeneratorTest, FirstUniformNumbersMatchHandComputedSequence) {
  for (const SeedSequence& expected : Sequences()) {
    RandomGenerator random(expected.seed);
    for (double value : expected.uniform) EXPECT_CLOSE(random.Uniform(), value, 0.0, 0.0);
  }
}

TEST(RandomGeneratorTest, SequenceWrapsAroundTheRegisterAsComputedByHand) {
  for (const SeedSequence& expected : Sequences()) {
    RandomGenerator random(expected.seed);
    std::vector<double> values;
    for (int n = 0; n < 600; ++n) values.push_back(random.Uniform());
    const std::vector<double> later = {values[250], values[251], values[252],
                                       values[597], values[598], values[599]};
    for (std::size_t k = 0; k < later.size(); ++k) {
      EXPECT_CLOSE(later[k], expected.uniformLater[k], 0.0, 0.0) << "k=" << k;
    }
  }
}

TEST(RandomGeneratorTest, FirstNormalNumbersMatchHandComputedSequence) {
  for (const SeedSequence& expected : Sequences()) {
    RandomGenerator random(expected.seed);
    for (double value : expected.normal) EXPECT_CLOSE(random.Normal(), value, kTightAbs, kTightRel);
  }
}

TEST(RandomGeneratorTest, FirstNormalIsTheSecondCoordinateOfThePolarPair) {
  RandomGenerator uniforms(7);
  double a = 0.0, b = 0.0, s = 0.0;
  do {
    a = 2.0 * uniforms.Uniform() - 1.0;
    b = 2.0 * uniforms.Uniform() - 1.0;
    s = a * a + b * b;
  } while (s >= 1.0 || s == 0.0);
  const double f = std::sqrt(-2.0 * std::log(s) / s);

  RandomGenerator random(7);
  EXPECT_CLOSE(random.Normal(), f * b, kTightAbs, kTightRel);
  EXPECT_CLOSE(random.Normal(), f * a, kTightAbs, kTightRel);
  // The cached value costs no uniform draws: both generators are in step.
  EXPECT_CLOSE(random.Uniform(), uniforms.Uniform(), 0.0, 0.0);
}

TEST(RandomGeneratorTest, SameSeedGivesSameSequenceAndReseedingRestarts) {
  RandomGenerator first(424242);
  RandomGenerator second(424242);
  std::vector<double> drawn;
  for (int n = 0; n < 1000; ++n) {
    const double u = first.Uniform();
    drawn.push_back(u);
    EXPECT_CLOSE(u, second.Uniform(), 0.0, 0.0);
  }
  first.Normal();  // leaves a cached value behind
  first.Seed(424242);
  EXPECT_EQ(first.seed(), 424242u);
  for (int n = 0; n < 10; ++n) EXPECT_CLOSE(first.Uniform(), drawn[n], 0.0, 0.0);
  RandomGenerator fresh(424242);
  for (int n = 0; n < 10; ++n) fresh.Uniform();
  EXPECT_CLOSE(first.Normal(), fresh.Normal(), 0.0, 0.0);
}

TEST(RandomGeneratorTest, DifferentSeedsGiveDifferentSequences) {
  RandomGenerator a(1), b(2);
  int same = 0;
  for (int n = 0; n < 100; ++n) same += a.Uniform() == b.Uniform() ? 1 : 0;
  EXPECT_LT(same, 10);
}

TEST(RandomGeneratorTest, UniformNumbersLieInUnitIntervalWithMeanOneHalf) {
  RandomGenerator random(99);
  constexpr int kDraws = 200000;
  double sum = 0.0, sumSquares = 0.0;
  for (int n = 0; n < kDraws; ++n) {
    const double u = random.Uniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    EXPECT_EQ(u * 65536.0, std::floor(u * 65536.0));
    sum += u;
    sumSquares += u * u;
  }
  const double mean = sum / kDraws;
  // Mean 1/2 and variance 1/12 of the uniform distribution, within a few
  // standard errors of 200000 draws.
  EXPECT_CLOSE(mean, 0.5, 0.005, 0.0);
  EXPECT_CLOSE(sumSquares / kDraws - mean * mean, 1.0 / 12.0, 0.002, 0.0);
}

TEST(RandomGeneratorTest, NormalNumbersHaveZeroMeanAndUnitVariance) {
  RandomGenerator random(2024);
  constexpr int kDraws = 200000;
  double sum = 0.0, sumSquares = 0.0;
  int beyondTwoSigma = 0;
  for (int n = 0; n < kDraws; ++n) {
    const double z = random.Normal();
    sum += z;
    sumSquares += z * z;
    beyondTwoSigma += std::fabs(z) > 2.0 ? 1 : 0;
  }
  EXPECT_CLOSE(sum / kDraws, 0.0, 0.01, 0.0);
  EXPECT_CLOSE(sumSquares / kDraws, 1.0, 0.02, 0.0);
  // P(|z| > 2) = 0.0455 for a standard normal distribution.
  EXPECT_CLOSE(static_cast<double>(beyondTwoSigma) / kDraws, 0.0455, 0.003, 0.0);
}

TEST(RandomGeneratorTest, ClockSeedIsAMillisecondsField) {
  EXPECT_LT(RandomGenerator::ClockMilliseconds(), 1000u);
  RandomGenerator random;
  EXPECT_LT(random.seed(), 1000u);
}

}  // namespace
}  // namespace vireon
