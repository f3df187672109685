#include "model/syntax_fault.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "model/equation_parser.h"

namespace vireon {
namespace {

TEST(SyntaxFaultTest, BracketsTheCharacterAtFaultAmongItsNeighbours) {
  EXPECT_EQ(DescribeSyntaxFault("A + 2* = P", SyntaxFault{7, "why"}),
            "Syntax error at character 8 (why): A + 2* [=] P");
  EXPECT_EQ(DescribeSyntaxFault("Km+", SyntaxFault{3, "why"}),
            "Syntax error at the end (why): Km+[]");
  EXPECT_EQ(DescribeSyntaxFault("a\tb\nc", SyntaxFault{2, ""}),
            "Syntax error at character 3: a [b] c");
}

TEST(SyntaxFaultTest, CutsLongTextsAroundTheFault) {
  const std::string text = std::string(30, 'a') + "*" + std::string(30, 'b');
  EXPECT_EQ(DescribeSyntaxFault(text, SyntaxFault{30, "x"}),
            "Syntax error at character 31 (x): ..." + std::string(kSyntaxFaultContext, 'a') +
                "[*]" + std::string(kSyntaxFaultContext, 'b') + "...");
}

TEST(SyntaxFaultTest, CountsAMultiByteCharacterAsOne) {
  // "é" is two bytes in UTF-8; the fault at the byte after it is character 3.
  const std::string text = "\xC3\xA9+$";
  EXPECT_EQ(CharacterNumber(text, 3), 3u);
  EXPECT_EQ(DescribeSyntaxFault(text, SyntaxFault{3, ""}),
            "Syntax error at character 3: \xC3\xA9+[$]");
  // An offset inside the sequence means the character that holds it.
  EXPECT_EQ(DescribeSyntaxFault(text, SyntaxFault{1, ""}),
            "Syntax error at character 1: [\xC3\xA9]+$");
}

struct EquationFaultCase {
  const char* equation;
  std::size_t offset;
  const char* reason;
};

class EquationFaultTest : public testing::TestWithParam<EquationFaultCase> {};

TEST_P(EquationFaultTest, NamesThePlaceAndTheReason) {
  const EquationFaultCase& c = GetParam();
  const std::optional<SyntaxFault> fault = FindEquationFault(c.equation);
  ASSERT_TRUE(fault.has_value()) << c.equation;
  EXPECT_EQ(fault->offset, c.offset) << c.equation;
  EXPECT_EQ(fault->reason, c.reason) << c.equation;
}

INSTANTIATE_TEST_SUITE_P(
    Table, EquationFaultTest,
    testing::Values(
        EquationFaultCase{"A B", 3, "\"=\" or \"->\" must stand between substrates and products"},
        EquationFaultCase{" -> ", 1, "a step needs a substrate or a product"},
        EquationFaultCase{"A = B = C", 6, "an equation has one \"=\" or \"->\""},
        EquationFaultCase{"A = B -> C", 6, "an equation has one \"=\" or \"->\""},
        EquationFaultCase{"+A = B", 0, "a term is missing before \"+\""},
        EquationFaultCase{"A + + B = C", 4, "a term is missing before \"+\""},
        EquationFaultCase{"A = B +", 6, "a term is missing after \"+\""},
        EquationFaultCase{"A = B + 1.5*C", 9,
                          "a term holds no \".\": coefficients are whole numbers"},
        EquationFaultCase{"x*A = B", 0, "a whole number must come before \"*\""},
        EquationFaultCase{"A = 0*B", 4, "a coefficient is a whole number from 1 to 10000"},
        EquationFaultCase{"A = 99999999999*B", 4,
                          "a coefficient is a whole number from 1 to 10000"},
        EquationFaultCase{"2* = B", 1, "a name is missing after \"*\""},
        EquationFaultCase{"2*A*B = C", 3, "a term holds one \"*\" at most"},
        EquationFaultCase{"5000*A + 5000*B = 1*C", 18,
                          "the equation holds more than 10000 molecules in all"}));

TEST(EquationFaultTest, FindsAFaultExactlyWhereTheParserRefuses) {
  // Random texts over the parser's own alphabet: the fault finder and the
  // syntax test must agree on every one, and a fault lies inside the text.
  const std::string alphabet = "AB2 0.*+=->\t";
  std::mt19937 random(20261211);
  std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 12);
  int refused = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int n = length(random); n > 0; --n) text.push_back(alphabet[letter(random)]);
    const std::optional<SyntaxFault> fault = FindEquationFault(text);
    ASSERT_EQ(fault.has_value(), TestEquation(text) < 0) << '"' << text << '"';
    if (!fault) continue;
    ++refused;
    EXPECT_LE(fault->offset, text.size()) << text;
    EXPECT_FALSE(fault->reason.empty()) << '"' << text << '"';
    EXPECT_EQ(EquationFaultMessage(text).rfind("Syntax error at ", 0), 0u);
  }
  EXPECT_GT(refused, 1000);
  EXPECT_EQ(EquationFaultMessage("A -> B"), "");
}

}  // namespace
}  // namespace vireon
