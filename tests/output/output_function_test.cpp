#include "output/output_function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "scan/random.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

// Parses the text and returns the function; fails the test on a syntax error.
OutputFunction Parsed(const std::string& text, const std::string& name = "f") {
  OutputFunction function(name, text);
  EXPECT_EQ(function.Parse(), 0) << text;
  return function;
}

struct SyntaxCase {
  const char* text;
  bool accepted;
};

class OutputFunctionSyntaxTest : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(OutputFunctionSyntaxTest, AcceptsOrRefuses) {
  const SyntaxCase& c = GetParam();
  OutputFunction function("f", c.text);
  const int result = function.Parse();
  if (c.accepted) {
    EXPECT_EQ(result, 0) << c.text;
    EXPECT_GT(function.NodeCount(), 1);
  } else {
    EXPECT_GT(result, 0) << c.text;
    EXPECT_EQ(function.NodeCount(), 0);
    EXPECT_TRUE(function.items().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OutputFunctionSyntaxTest,
    ::testing::Values(SyntaxCase{"a+b", true}, SyntaxCase{"K+1", true},
                      SyntaxCase{"Km+1", false},  // a run of letters is not a symbol
                      SyntaxCase{"x1", false}, SyntaxCase{"K0", false}, SyntaxCase{"2x", false},
                      SyntaxCase{"1e", false}, SyntaxCase{"007", true}, SyntaxCase{"1e+3", true},
                      SyntaxCase{"1+a(b)", false},  // a rate law accepts this one
                      SyntaxCase{"2*rand(1)", true}, SyntaxCase{"gauss(x)+BOLTZ(y)", true},
                      SyntaxCase{"log10(a)*EXP(b)", true}, SyntaxCase{"a b", false},
                      SyntaxCase{"", false}, SyntaxCase{"()", false}, SyntaxCase{"a_b", false},
                      SyntaxCase{"sqrt(a)", false}, SyntaxCase{"-a^2", true}));

class FixedQuantities {
 public:
  double a = 3.0, b = 4.0, c = 0.5;
};

TEST(OutputFunctionTest, SumOfTwoBoundItemsFollowsTheirValues) {
  OutputFunction function = Parsed("a+b", "sum");
  ASSERT_EQ(function.items().size(), 2u);
  double fluxA = 1.5, fluxB = 2.25;
  function.ItemOf('a')->value = &fluxA;
  function.ItemOf('b')->value = &fluxB;
  RandomGenerator random(1);
  EXPECT_CLOSE(function.Evaluate(random), 3.75, kTightAbs, kTightRel);
  fluxA = -10.0;
  EXPECT_CLOSE(function.Evaluate(random), -7.75, kTightAbs, kTightRel);
  EXPECT_CLOSE(function.value(), -7.75, kTightAbs, kTightRel);
  EXPECT_CLOSE(*function.valuePointer(), -7.75, kTightAbs, kTightRel);
}

TEST(OutputFunctionTest, OneItemPerDistinctLetterInOrderOfFirstAppearance) {
  OutputFunction function = Parsed("b*a + a/b - a^c");
  EXPECT_EQ(function.letters(), (std::vector<char>{'b', 'a', 'c'}));
  ASSERT_EQ(function.items().size(), 3u);
  for (const OutputItem& item : function.items()) EXPECT_EQ(item.value, nullptr);
  FixedQuantities q;
  function.ItemOf('a')->value = &q.a;
  function.ItemOf('b')->value = &q.b;
  function.ItemOf('c')->value = &q.c;
  EXPECT_EQ(function.ItemOf('z'), nullptr);
  RandomGenerator random(1);
  EXPECT_CLOSE(function.Evaluate(random), q.b * q.a + q.a / q.b - std::pow(q.a, q.c), kTightAbs,
               kTightRel);
}

TEST(OutputFunctionTest, LettersAreCaseSensitive) {
  OutputFunction function = Parsed("K+k");
  EXPECT_EQ(function.letters(), (std::vector<char>{'K', 'k'}));
}

TEST(OutputFunctionTest, ArithmeticFollowsTheSharedEngine) {
  struct Case {
    const char* text;
    double expected;
  };
  RandomGenerator random(1);
  for (const Case& c : {Case{"2^3^2", 512.0}, Case{"-2^2", 4.0}, Case{"8/2/2", 2.0},
                        Case{"2-3-4", -5.0}, Case{"LOG(1)+log10(1000)", 3.0},
                        Case{"exp(0)*cos(0)+sin(0)", 1.0}, Case{"1e+3/007", 1000.0 / 7.0}}) {
    OutputFunction function = Parsed(c.text);
    EXPECT_CLOSE(function.Evaluate(random), c.expected, kTightAbs, kTightRel) << c.text;
  }
}

TEST(OutputFunctionTest, RandFactorIsUniformTimesOperand) {
  OutputFunction function = Parsed("2*rand(1)");
  RandomGenerator random(77);
  RandomGenerator twin(77);
  for (int n = 0; n < 1000; ++n) {
    const double value = function.Evaluate(random);
    EXPECT_GE(value, 0.0);
    EXPECT_LT(value, 2.0);
    EXPECT_CLOSE(value, 2.0 * twin.Uniform(), kTightAbs, kTightRel);
  }
}

TEST(OutputFunctionTest, GaussAndBoltzDrawFromTheSameNormalGenerator) {
  OutputFunction function = Parsed("gauss(x)+10*boltz(x)");
  double x = 3.0;
  function.ItemOf('x')->value = &x;
  RandomGenerator random(5);
  RandomGenerator twin(5);
  for (int n = 0; n < 20; ++n) {
    const double first = twin.Normal();
    const double second = twin.Normal();
    EXPECT_CLOSE(function.Evaluate(random), first * x + 10.0 * second * x, kTightAbs, kTightRel);
  }
}

TEST(OutputFunctionTest, UnboundSymbolCountsAsZero) {
  OutputFunction function = Parsed("a+1");
  RandomGenerator random(1);
  EXPECT_CLOSE(function.Evaluate(random), 1.0, kTightAbs, kTightRel);
}

TEST(OutputFunctionTest, DescriptionLosesItsLineBreaks) {
  OutputFunction function("f", "a\r\n+\nb");
  EXPECT_EQ(function.description(), "a+b");
  function.set_description("c*\r\nd");
  EXPECT_EQ(function.description(), "c*d");
  EXPECT_EQ(function.Parse(), 0);
}

TEST(OutputFunctionTest, ReparsingAfterFailureLeavesNothingBehind) {
  OutputFunction function("f", "a+b");
  ASSERT_EQ(function.Parse(), 0);
  function.set_description("a+");
  EXPECT_GT(function.Parse(), 0);
  EXPECT_EQ(function.NodeCount(), 0);
  EXPECT_TRUE(function.items().empty());
  RandomGenerator random(1);
  EXPECT_CLOSE(function.Evaluate(random), 0.0, 0.0, 0.0);
}

TEST(OutputFunctionTest, DocumentEvaluatesEveryFunctionInOrder) {
  std::vector<OutputFunction> functions = {Parsed("a*2", "twice"), Parsed("a+100", "shifted")};
  double a = 5.0;
  for (OutputFunction& f : functions) f.ItemOf('a')->value = &a;
  RandomGenerator random(1);
  EvaluateOutputFunctions(functions, random);
  EXPECT_CLOSE(*FindOutputFunctionValue(functions, "twice"), 10.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(*FindOutputFunctionValue(functions, "shifted"), 105.0, kTightAbs, kTightRel);
  EXPECT_EQ(FindOutputFunctionValue(functions, "other"), nullptr);
}

}  // namespace
}  // namespace vireon
