#include "kinetics/expression_fault.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vireon {
namespace {

struct ExpressionFaultCase {
  const char* text;
  std::size_t offset;
  const char* reason;
};

class KineticExpressionFaultTest : public testing::TestWithParam<ExpressionFaultCase> {};

TEST_P(KineticExpressionFaultTest, NamesThePlaceAndTheReason) {
  const ExpressionFaultCase& c = GetParam();
  const std::optional<SyntaxFault> fault = FindExpressionFault(c.text, KineticExpressionDialect());
  ASSERT_TRUE(fault.has_value()) << c.text;
  EXPECT_EQ(fault->offset, c.offset) << c.text;
  EXPECT_EQ(fault->reason, c.reason) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, KineticExpressionFaultTest,
    testing::Values(
        ExpressionFaultCase{"", 0, "the expression is empty"},
        ExpressionFaultCase{"   ", 3, "the expression is empty"},
        ExpressionFaultCase{"V*S/(Km+", 7, "an operand is missing after \"+\""},
        ExpressionFaultCase{"V*(S", 2, "no \")\" closes this \"(\" where its expression ends"},
        ExpressionFaultCase{"*S", 0, "an expression cannot begin with \"*\""},
        ExpressionFaultCase{"V S", 2, "an operator is missing before \"S\""},
        ExpressionFaultCase{"V*S; Km", 3, "\";\" is not part of an expression"},
        ExpressionFaultCase{"V, S", 1, "a comma stands only between the arguments of a function"},
        ExpressionFaultCase{"lt(S)", 0, "lt takes 2 arguments"},
        ExpressionFaultCase{"piecewise()", 0, "an operand is missing after \"piecewise\""}));

TEST(ExpressionFaultTest, OutputFunctionsNameSingleLetters) {
  const std::optional<SyntaxFault> fault = FindExpressionFault("2*ab", OutputExpressionDialect());
  ASSERT_TRUE(fault.has_value());
  EXPECT_EQ(fault->offset, 2u);
  EXPECT_EQ(fault->reason, "names here are single letters");
  EXPECT_EQ(ExpressionFaultMessage("a+b", OutputExpressionDialect()), "");
}

TEST(ExpressionFaultTest, NestingBeyondTheLimitIsNamed) {
  const std::string text = std::string(kMaxExpressionDepth + 5, '(') + "S" +
                           std::string(kMaxExpressionDepth + 5, ')');
  const std::optional<SyntaxFault> fault = FindExpressionFault(text, KineticExpressionDialect());
  ASSERT_TRUE(fault.has_value());
  EXPECT_EQ(fault->reason, "nested more than 1000 levels deep");
}

TEST(ExpressionFaultTest, FindsAFaultExactlyWhereTheParserRefuses) {
  // Random texts over the rate laws' alphabet: a fault is found exactly when
  // scanning or linking refuses the text, and it lies inside the text.
  const std::vector<std::string> pieces = {"S", "Km", "2", "1e3", "+", "-", "*", "/", "^",
                                           "(", ")", ",", " ", "exp", "max(", "lt(", ";"};
  std::mt19937 random(11122026);
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 9);
  int refused = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += pieces[piece(random)];
    std::vector<ExpressionNode> nodes;
    const bool parses = BuildExpressionNodes(text, KineticExpressionDialect(), nodes) &&
                        LinkExpressionTree(nodes, KineticExpressionDialect()).errors == 0;
    const std::optional<SyntaxFault> fault = FindExpressionFault(text, KineticExpressionDialect());
    ASSERT_EQ(fault.has_value(), !parses) << '"' << text << '"';
    if (!fault) continue;
    ++refused;
    EXPECT_LE(fault->offset, text.size()) << text;
    EXPECT_FALSE(fault->reason.empty()) << '"' << text << '"';
  }
  EXPECT_GT(refused, 1000);
}

}  // namespace
}  // namespace vireon
