#include "kinetics/law_tape.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kinetics/kinetic_function.h"
#include "kinetics/kinetic_type.h"
#include "kinetics/rate_test_model.h"
#include "kinetics/user_type_helpers.h"
#include "model/model.h"

namespace vireon {
namespace {

using test::kA;
using test::kB;
using test::kM;
using test::kP;
using test::kQ;

// Agreement of the derivatives with central differences: relative, with a
// floor for derivatives near zero.
constexpr double kDerivativeTolerance = 1e-6;
constexpr double kDerivativeFloor = 1e-8;
// Relative increment of the central differences.
constexpr double kDifferenceIncrement = 1e-5;

// The roles of the symbols the generated laws use.
const std::vector<std::pair<std::string, SymbolRole>> kRoles = {
    {"S", SymbolRole::kSubstrate}, {"T", SymbolRole::kSubstrate}, {"P", SymbolRole::kProduct},
    {"M", SymbolRole::kModifier},  {"k", SymbolRole::kConstant},  {"K", SymbolRole::kConstant},
};

// Random rate-law texts over every form the dialect has.
class LawGenerator {
 public:
  explicit LawGenerator(unsigned seed, bool smooth = false) : random_(seed), smooth_(smooth) {}

  std::string Law(int depth) {
    if (depth <= 0 || Pick(5) == 0) return Leaf();
    if (smooth_) return Smooth(depth - 1);
    switch (Pick(8)) {
      case 0:
      case 1: {
        static const char* kOperators[] = {"+", "-", "*", "/", "^"};
        return "(" + Law(depth - 1) + kOperators[Pick(5)] + Law(depth - 1) + ")";
      }
      case 2: {
        static const char* kFunctions[] = {"-", "+", "log", "log10", "exp", "sin", "cos"};
        return std::string(kFunctions[Pick(7)]) + "(" + Law(depth - 1) + ")";
      }
      case 3: {
        static const char* kUnary[] = {"not",  "floor", "ceiling", "factorial", "abs",
                                       "asin", "acos",  "atan",    "sinh",      "cosh",
                                       "tanh", "asinh", "acosh",   "atanh"};
        return std::string(kUnary[Pick(14)]) + "(" + Law(depth - 1) + ")";
      }
      case 4: {
        static const char* kBinary[] = {"lt", "gt", "leq", "geq", "eq", "neq", "quotient", "rem"};
        return std::string(kBinary[Pick(8)]) + "(" + Law(depth - 1) + "," + Law(depth - 1) + ")";
      }
      case 5: {
        static const char* kMany[] = {"and", "or", "xor", "max", "min"};
        return std::string(kMany[Pick(5)]) + "(" + Arguments(depth - 1, 1 + Pick(4)) + ")";
      }
      case 6:
        return "piecewise(" + Arguments(depth - 1, 1 + Pick(5)) + ")";
      default:
        return "(" + Law(depth - 1) + "*" + Law(depth - 1) + "+" + Law(depth - 1) + ")";
    }
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string Leaf() {
    static const char* kLeaves[] = {"S", "T", "P", "M", "k", "K", "0", "1", "2.5", "0.5", "3"};
    return kLeaves[Pick(smooth_ ? 9 : 11)];
  }

  std::string Arguments(int depth, int count) {
    std::string text = Law(depth);
    for (int i = 1; i < count; ++i) text += "," + Law(depth);
    return text;
  }

  // Laws whose derivatives exist near the points the tests take: positive
  // denominators and bases, branches chosen by the constants alone.
  std::string Smooth(int depth) {
    switch (Pick(9)) {
      case 0:
        return "(" + Law(depth) + "+" + Law(depth) + ")";
      case 1:
        return "(" + Law(depth) + "-" + Law(depth) + ")";
      case 2:
        return "(" + Law(depth) + "*" + Law(depth) + ")";
      case 3:
        return "(" + Law(depth) + "/" + AtLeastOne(depth) + ")";
      case 4:
        return AtLeastOne(depth) + "^" + Leaf();
      case 5: {
        static const char* kFunctions[] = {"exp", "sin", "cos", "atan", "tanh", "asinh"};
        return std::string(kFunctions[Pick(6)]) + "(" + Law(depth) + "/4)";
      }
      case 6:
        return "log(" + AtLeastOne(depth) + ")";
      case 7:
        return "piecewise(" + Law(depth) + ",gt(k,K)," + Law(depth) + ")";
      default:
        return "max(" + Law(depth) + ",min(" + Law(depth) + ",k))";
    }
  }

  // 1 + u*u for a random u: never below 1.
  std::string AtLeastOne(int depth) {
    const std::string u = Law(depth);
    return "(1+" + u + "*" + u + ")";
  }

  std::mt19937 random_;
  bool smooth_;
};

// One step reading S, T (substrates A, B), P (product P) and M (modifier
// M), with constants k and K.
struct TapeFixture {
  test::RateTestModel rates;
  std::unique_ptr<KineticType> type;

  bool SetLaw(const std::string& text) {
    type = test::MakeUserType("law", text, kRoles);
    if (type == nullptr) return false;
    rates.SetLists({kA, kB}, {kP}, {kM});
    rates.step().constants = {0.8, 1.7};
    rates.step().kineticType = type.get();
    return true;
  }

  double Tree() const { return EvaluateUserDefinedRate(rates.model, rates.x.data(), 0); }

  double Taped() const {
    LawTape tape;
    EXPECT_TRUE(tape.AddStep(rates.model, 0));
    std::vector<double> out(1, 0.0);
    tape.Evaluate(rates.x.data(), out.data());
    return out[0];
  }
};

// The bits of a value; every NaN counts as one, since which operand's NaN
// an operation passes on (and so its sign and payload) is the platform's
// choice, not the expression's, and no output shows it.
std::uint64_t Bits(double value) {
  return std::isnan(value) ? 0x7ff8000000000000u : std::bit_cast<std::uint64_t>(value);
}

TEST(LawTapeTest, EveryFormGivesTheTreesValueBitForBit) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> uniform(-3.0, 3.0);
  const double special[] = {0.0, -0.0, 1.0, -1.0, 0.5, 1e300, -1e-300};
  int compared = 0;
  for (unsigned seed = 0; seed < 400; ++seed) {
    LawGenerator generator(seed);
    TapeFixture fixture;
    const std::string text = generator.Law(5);
    ASSERT_TRUE(fixture.SetLaw(text)) << text;
    LawTape tape;
    ASSERT_TRUE(tape.AddStep(fixture.rates.model, 0)) << text;
    for (int trial = 0; trial < 8; ++trial) {
      for (double& amount : fixture.rates.x) {
        amount = random() % 4 == 0 ? special[random() % 7] : uniform(random);
      }
      fixture.rates.step().constants = {uniform(random), random() % 3 == 0 ? 0.0 : uniform(random)};
      std::vector<double> out(1, 0.0);
      tape.Evaluate(fixture.rates.x.data(), out.data());
      const double tree = fixture.Tree();
      ASSERT_EQ(Bits(out[0]), Bits(tree)) << text << " tape " << out[0] << " tree " << tree;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 400 * 8);
}

TEST(LawTapeTest, FaultsFlowOnAsTheTreeGivesThem) {
  const char* laws[] = {
      "S/0",         "-S/0",          "0/0*k",          "log(-S)",         "log(0*S)",
      "(0*S)^(-1)",  "(-S)^0.5",      "sqrt2+S",        "piecewise(S,lt(k,0))", "acosh(0*S)",
      "atanh(1+0*S)", "factorial(-1+0*S)", "rem(S,0)",  "quotient(S,0*k)",  "exp(1000*k*S)",
      "asin(2+S)",   "max(0/0, S)",   "min(S, 0/0)",    "and(0/0)",         "xor(S,0/0,1)",
  };
  for (const char* law : laws) {
    TapeFixture fixture;
    ASSERT_TRUE(fixture.SetLaw(law)) << law;
    EXPECT_EQ(Bits(fixture.Taped()), Bits(fixture.Tree())) << law;
  }
}

TEST(LawTapeTest, SymbolsWithoutCounterpartReadZeroAsTheTreeDoes) {
  TapeFixture fixture;
  // A second product and a second modifier the step does not have, and a
  // constant beyond the step's list.
  ASSERT_TRUE(fixture.SetLaw("S + 2*P + 3*M"));
  fixture.rates.SetLists({kA}, {}, {-1});
  fixture.rates.step().constants.clear();
  EXPECT_EQ(Bits(fixture.Taped()), Bits(fixture.Tree()));
  EXPECT_EQ(fixture.Taped(), fixture.Tree());
}

TEST(LawTapeTest, ConstantsAreReadAtEveryEvaluation) {
  TapeFixture fixture;
  ASSERT_TRUE(fixture.SetLaw("k*S/(K+S)"));
  LawTape tape;
  ASSERT_TRUE(tape.AddStep(fixture.rates.model, 0));
  std::vector<double> out(1);
  tape.Evaluate(fixture.rates.x.data(), out.data());
  EXPECT_EQ(Bits(out[0]), Bits(fixture.Tree()));
  // A rule that sets a kinetic constant changes the rate at once.
  fixture.rates.step().constants[0] = 5.0;
  tape.Evaluate(fixture.rates.x.data(), out.data());
  EXPECT_EQ(Bits(out[0]), Bits(fixture.Tree()));
}

TEST(LawTapeTest, NumbersAreFoldedAndEqualSubexpressionsShared) {
  TapeFixture fixture;
  ASSERT_TRUE(fixture.SetLaw("(2*3)*S/(K+S) + exp(2*3)*S/(K+S)"));
  LawTape tape;
  ASSERT_TRUE(tape.AddStep(fixture.rates.model, 0));
  const std::size_t once = tape.InstructionCount();
  // Loads of S (a concentration) and K, K+S, 6*S, the quotient, exp(6)*S,
  // its quotient, the sum: the second S/(K+S) costs no load and no sum.
  EXPECT_EQ(once, 8u);
  // The same law for the same step again shares every instruction.
  ASSERT_TRUE(tape.AddStep(fixture.rates.model, 0));
  EXPECT_EQ(tape.InstructionCount(), once);
  std::vector<double> out(1);
  tape.Evaluate(fixture.rates.x.data(), out.data());
  EXPECT_EQ(Bits(out[0]), Bits(fixture.Tree()));
}

TEST(LawTapeTest, StepsWithoutAUserDefinedLawAreLeftToTheirCaller) {
  test::RateTestModel rates;
  LawTape tape;
  EXPECT_FALSE(tape.AddStep(rates.model, 0));  // no kinetic type
  EXPECT_FALSE(tape.AddStep(rates.model, 3));  // no such step
  EXPECT_EQ(tape.StepCount(), 0);
}

TEST(LawTapeTest, PartialsAgreeWithCentralDifferences) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> uniform(0.2, 2.0);
  int compared = 0;
  for (unsigned seed = 0; seed < 300; ++seed) {
    LawGenerator generator(seed, /*smooth=*/true);
    TapeFixture fixture;
    const std::string text = generator.Law(4);
    ASSERT_TRUE(fixture.SetLaw(text)) << text;
    for (double& amount : fixture.rates.x) amount = uniform(random);
    LawTape tape;
    ASSERT_TRUE(tape.AddStep(fixture.rates.model, 0));
    ASSERT_TRUE(tape.differentiable());
    std::vector<double> out(1);
    tape.Evaluate(fixture.rates.x.data(), out.data());
    const double rate = out[0];
    tape.Differentiate();
    std::vector<double> analytic(fixture.rates.x.size(), 0.0);
    for (const TapePartial& partial : tape.Partials(0)) analytic[partial.position] += partial.value;
    // Every amount the law reads is one of the step's lists.
    for (int position : tape.PositionsRead(0)) {
      EXPECT_NE(position, fixture.rates.model.metabolitePosition[kQ]) << text;
    }
    for (std::size_t p = 0; p < fixture.rates.x.size(); ++p) {
      std::vector<double> x = fixture.rates.x;
      const double h = kDifferenceIncrement * x[p];
      x[p] = fixture.rates.x[p] + h;
      tape.Evaluate(x.data(), out.data());
      const double plus = out[0];
      x[p] = fixture.rates.x[p] - h;
      tape.Evaluate(x.data(), out.data());
      const double minus = out[0];
      const double difference = (plus - minus) / (2.0 * h);
      const double scale =
          std::max({std::fabs(difference), std::fabs(analytic[p]), std::fabs(rate), 1.0});
      EXPECT_NEAR(analytic[p], difference, kDerivativeTolerance * scale + kDerivativeFloor)
          << text << " position " << p;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 300 * 5);
}

TEST(LawTapeTest, APiecewiseConstantLawHasZeroDerivatives) {
  TapeFixture fixture;
  ASSERT_TRUE(fixture.SetLaw("floor(S) + lt(S, T) + quotient(P, 0.3)"));
  LawTape tape;
  ASSERT_TRUE(tape.AddStep(fixture.rates.model, 0));
  std::vector<double> out(1);
  tape.Evaluate(fixture.rates.x.data(), out.data());
  tape.Differentiate();
  for (const TapePartial& partial : tape.Partials(0)) EXPECT_EQ(partial.value, 0.0);
  EXPECT_EQ(tape.PositionsRead(0).size(), 3u);
}

TEST(LawTapeTest, FactorialOfAnAmountHasNoDerivativeHere) {
  TapeFixture fixture;
  ASSERT_TRUE(fixture.SetLaw("factorial(S)"));
  LawTape tape;
  ASSERT_TRUE(tape.AddStep(fixture.rates.model, 0));
  EXPECT_FALSE(tape.differentiable());
  TapeFixture constant;
  ASSERT_TRUE(constant.SetLaw("factorial(k)*S"));
  LawTape other;
  ASSERT_TRUE(other.AddStep(constant.rates.model, 0));
  EXPECT_TRUE(other.differentiable());
}

}  // namespace
}  // namespace vireon
