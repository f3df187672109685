#include "kinetics/expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "kinetics/expression_scanner.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

// Symbols take fixed values by name; the random functions of the output
// dialect draw from a scripted sequence.
class TableBindings : public ExpressionBindings {
 public:
  std::map<std::string, double> values = {{"a", 3.0}, {"b", 5.0},  {"x", 0.5}, {"S", 2.0},
                                          {"V", 2.0}, {"Km", 1.0}, {"K", 4.0}};
  std::vector<double> draws = {0.25, -1.5, 0.75};
  std::vector<char> functionsCalled;

  double SymbolValue(const ExpressionNode& node) override {
    auto it = values.find(node.name);
    return it == values.end() ? 0.0 : it->second;
  }
  double FunctionValue(char code, double operand) override {
    functionsCalled.push_back(code);
    double draw = draws[next_++ % draws.size()];
    return draw * operand;
  }

 private:
  std::size_t next_ = 0;
};

// Parses and links; returns the number of errors (1 for a refused token).
int Parse(std::string_view text, const ExpressionDialect& dialect,
          std::vector<ExpressionNode>& nodes) {
  if (!BuildExpressionNodes(text, dialect, nodes)) return 1;
  return LinkExpressionTree(nodes, dialect).errors;
}

struct ValueCase {
  const char* text;
  double expected;
};

class KineticExpressionValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(KineticExpressionValue, ParsesAndEvaluates) {
  const ValueCase& c = GetParam();
  std::vector<ExpressionNode> nodes;
  ASSERT_EQ(Parse(c.text, KineticExpressionDialect(), nodes), 0) << c.text;
  TableBindings bindings;
  EXPECT_CLOSE(EvaluateExpression(nodes, bindings), c.expected, kTightAbs, kTightRel) << c.text;
}

INSTANTIATE_TEST_SUITE_P(PrecedenceAndAssociativity, KineticExpressionValue,
                         ::testing::Values(ValueCase{"1+2*3", 7.0}, ValueCase{"(1+2)*3", 9.0},
                                           ValueCase{"2*3^2", 18.0}, ValueCase{"2^3^2", 512.0},
                                           ValueCase{"(2^3)^2", 64.0}, ValueCase{"8/2/2", 2.0},
                                           ValueCase{"2-3-4", -5.0}, ValueCase{"2-(3-4)", 3.0},
                                           ValueCase{"1-2+3", 2.0}, ValueCase{"12/3*2", 8.0},
                                           ValueCase{"V*S/(Km+S)", 2.0 * 2.0 / 3.0},
                                           ValueCase{"  1 +\t2\r\n*3 ", 7.0}));

INSTANTIATE_TEST_SUITE_P(PrefixSignsApplyToTheNextPrimary, KineticExpressionValue,
                         ::testing::Values(ValueCase{"-2^2", 4.0}, ValueCase{"-a^2", 9.0},
                                           ValueCase{"2*-3", -6.0}, ValueCase{"2^-1", 0.5},
                                           ValueCase{"-2^-2", 0.25}, ValueCase{"--2", 2.0},
                                           ValueCase{"+-2", -2.0}, ValueCase{"-(2^2)", -4.0},
                                           ValueCase{"1--1", 2.0}, ValueCase{"+a", 3.0},
                                           ValueCase{"-a*b", -15.0}));

INSTANTIATE_TEST_SUITE_P(
    FunctionsApplyToTheNextPrimary, KineticExpressionValue,
    ::testing::Values(ValueCase{"LOG(S)", std::log(2.0)}, ValueCase{"log(S)", std::log(2.0)},
                      ValueCase{"log10(100)", 2.0}, ValueCase{"LOG10 1000", 3.0},
                      ValueCase{"exp(1)", std::numbers::e}, ValueCase{"EXP 0", 1.0},
                      ValueCase{"sin x", std::sin(0.5)},
                      ValueCase{"sin x^2", std::sin(0.5) * std::sin(0.5)},
                      ValueCase{"SIN(x^2)", std::sin(0.25)}, ValueCase{"cos(0)", 1.0},
                      ValueCase{"COS x", std::cos(0.5)}, ValueCase{"exp log 2", 2.0},
                      ValueCase{"-exp(0)", -1.0}, ValueCase{"2*sin(0)+1", 1.0}));

INSTANTIATE_TEST_SUITE_P(NumbersAndNamesScanAsTheLongestToken, KineticExpressionValue,
                         ::testing::Values(ValueCase{"1e3+1.5E-1", 1000.15}, ValueCase{"2.", 2.0},
                                           ValueCase{"1.e2", 100.0}, ValueCase{"007", 7.0},
                                           ValueCase{"1e+2", 100.0}, ValueCase{"1e999", HUGE_VAL},
                                           ValueCase{"1e-999", 0.0}, ValueCase{"0.000e999", 0.0},
                                           ValueCase{"Km", 1.0}, ValueCase{"Kma", 0.0}));

// Texts the linker takes although they look odd: a parenthesis after an
// operand inside a larger expression is an operator worth 0, and trailing
// function names and closing parentheses are never checked.
INSTANTIATE_TEST_SUITE_P(LenientForms, KineticExpressionValue,
                         ::testing::Values(ValueCase{"1+a(b)", 1.0}, ValueCase{"a sin", 3.0},
                                           ValueCase{"a)", 3.0}));

struct RefusedCase {
  const char* text;
  bool refusedByScanner;
};

class KineticExpressionRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(KineticExpressionRefused, IsASyntaxError) {
  const RefusedCase& c = GetParam();
  std::vector<ExpressionNode> nodes;
  bool scanned = BuildExpressionNodes(c.text, KineticExpressionDialect(), nodes);
  EXPECT_EQ(scanned, !c.refusedByScanner) << c.text;
  if (scanned) {
    EXPECT_GT(LinkExpressionTree(nodes, KineticExpressionDialect()).errors, 0) << c.text;
  } else {
    EXPECT_TRUE(nodes.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Refused, KineticExpressionRefused,
    ::testing::Values(
        RefusedCase{"", false}, RefusedCase{"   ", false}, RefusedCase{"()", false},
        RefusedCase{"(())", false}, RefusedCase{"a b", false}, RefusedCase{"a(b)", false},
        RefusedCase{"(a)(b)", false}, RefusedCase{"ln(S)", false}, RefusedCase{"Log(S)", false},
        RefusedCase{"tan(x)", false}, RefusedCase{"a+", false}, RefusedCase{"*a", false},
        RefusedCase{"(a", false}, RefusedCase{"a+*b", false}, RefusedCase{"2x", false},
        RefusedCase{"1e", false}, RefusedCase{"sin", false}, RefusedCase{"-", false},
        RefusedCase{"a^", false}, RefusedCase{")", false}, RefusedCase{"a+b)*c", false},
        RefusedCase{"_x", true}, RefusedCase{"K0.5", true}, RefusedCase{"a.b", true},
        RefusedCase{".5", true}, RefusedCase{"a$b", true}, RefusedCase{"a_b", true},
        RefusedCase{"caf\xc3\xa9", true}, RefusedCase{"a\x01", true},
        RefusedCase{"a\x7f", true}, RefusedCase{"a\xff", true}));

// Conditionals: call functions whose names are functions only before an
// opening parenthesis, with comma-separated arguments. Truth is 1.
INSTANTIATE_TEST_SUITE_P(
    CallFunctions, KineticExpressionValue,
    ::testing::Values(ValueCase{"lt(a,b)", 1.0}, ValueCase{"lt(b,a)", 0.0},
                      ValueCase{"gt(b, a)", 1.0}, ValueCase{"leq(a,3)", 1.0},
                      ValueCase{"geq(a,3.5)", 0.0}, ValueCase{"eq(a,3)", 1.0},
                      ValueCase{"neq(a,3)", 0.0}, ValueCase{"and(1,a,b)", 1.0},
                      ValueCase{"and(1,0)", 0.0}, ValueCase{"or(0,0,x)", 1.0},
                      ValueCase{"xor(1,1,1)", 1.0}, ValueCase{"xor(1,1)", 0.0},
                      ValueCase{"not(0)", 1.0}, ValueCase{"not(a)", 0.0},
                      ValueCase{"floor(-x)", -1.0}, ValueCase{"ceiling(x)", 1.0},
                      ValueCase{"factorial(5)", 120.0}, ValueCase{"factorial (0)", 1.0},
                      ValueCase{"piecewise(a, lt(x,1), b)", 3.0},
                      ValueCase{"piecewise(a, gt(x,1), b)", 5.0},
                      ValueCase{"piecewise(1, 0, 2, 0, 3, 1, 4)", 3.0},
                      ValueCase{"2*piecewise(a+b, 1)^2", 128.0},
                      ValueCase{"-floor(x)+ceiling(a*x)", 2.0},
                      ValueCase{"piecewise(1,lt(a,b),piecewise(2,1))", 1.0},
                      ValueCase{"abs(x-a)", 2.5}, ValueCase{"abs(a)", 3.0},
                      ValueCase{"max(x)", 0.5}, ValueCase{"max(x, b, a)", 5.0},
                      ValueCase{"min(b, x, a)", 0.5}, ValueCase{"min(a, -b)*max(-a, -b)", 15.0},
                      ValueCase{"max(min(a,b), abs(-x))", 3.0}));

// The names of the call functions stay symbols wherever no parenthesis
// follows, so texts that use them as symbols read as they always did.
INSTANTIATE_TEST_SUITE_P(CallNamesWithoutParenthesis, KineticExpressionValue,
                         ::testing::Values(ValueCase{"eq*2+floor", 0.0}, ValueCase{"lt", 0.0},
                                           ValueCase{"ltx+1", 1.0}, ValueCase{"a*or", 0.0}));

INSTANTIATE_TEST_SUITE_P(
    CallFunctionsRefused, KineticExpressionRefused,
    ::testing::Values(RefusedCase{"a,b", false}, RefusedCase{"(a,b)", false},
                      RefusedCase{"1+(a,b)", false}, RefusedCase{"lt(a)", false},
                      RefusedCase{"lt(a,b,x)", false}, RefusedCase{"not(a,b)", false},
                      RefusedCase{"floor(a,b)", false}, RefusedCase{"sin(a,b)", false},
                      RefusedCase{"-(a,b)", false}, RefusedCase{"lt(a,)", false},
                      RefusedCase{"lt(,a)", false}, RefusedCase{"piecewise()", false},
                      RefusedCase{"lt(a,(x,b))", false}, RefusedCase{"abs(a,b)", false},
                      RefusedCase{"max()", false}, RefusedCase{"min(a,)", false}));

TEST(ExpressionEvaluator, PiecewiseEvaluatesOnlyTheBranchItTakes) {
  // The branch not taken would ask for the value of a symbol.
  class CountingBindings : public TableBindings {
   public:
    int reads = 0;
    double SymbolValue(const ExpressionNode& node) override {
      ++reads;
      return TableBindings::SymbolValue(node);
    }
  } bindings;
  std::vector<ExpressionNode> nodes;
  ASSERT_EQ(Parse("piecewise(1, 1, a/0)", KineticExpressionDialect(), nodes), 0);
  EXPECT_EQ(EvaluateExpression(nodes, bindings), 1.0);
  EXPECT_EQ(bindings.reads, 0);
  ASSERT_EQ(Parse("piecewise(1, 0)", KineticExpressionDialect(), nodes), 0);
  EXPECT_TRUE(std::isnan(EvaluateExpression(nodes, bindings)));
}

TEST(ExpressionScanner, StopsAtTheFirstInvalidCharacter) {
  std::vector<ExpressionNode> nodes;
  std::size_t offset = 0;
  EXPECT_FALSE(BuildExpressionNodes("K0.5", KineticExpressionDialect(), nodes, &offset));
  EXPECT_EQ(offset, 2u);
  EXPECT_FALSE(BuildExpressionNodes("a+_x", KineticExpressionDialect(), nodes, &offset));
  EXPECT_EQ(offset, 2u);
  std::string withNul("a+b\0c", 5);
  EXPECT_FALSE(BuildExpressionNodes(withNul, KineticExpressionDialect(), nodes, &offset));
  EXPECT_EQ(offset, 3u);
}

struct NodeCase {
  const char* text;
  const char* kinds;  // one character per node, root included
  const char* codes;
};

class KineticNodeList : public ::testing::TestWithParam<NodeCase> {};

TEST_P(KineticNodeList, HoldsOneNodePerTokenAfterTheRoot) {
  const NodeCase& c = GetParam();
  std::vector<ExpressionNode> nodes;
  ASSERT_TRUE(BuildExpressionNodes(c.text, KineticExpressionDialect(), nodes));
  std::string kinds, codes;
  for (const ExpressionNode& node : nodes) {
    kinds += node.kind;
    codes += node.code;
  }
  EXPECT_EQ(kinds, c.kinds) << c.text;
  EXPECT_EQ(codes, c.codes) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, KineticNodeList,
    ::testing::Values(NodeCase{"V*S/(Km+S)", "%IOIOOIOIO", "@@*@/(@+@)"},
                      NodeCase{"log10(x)", "%FOIO", "@L(@)"}, NodeCase{"LOG10 x", "%FI", "@L@"},
                      NodeCase{"log x", "%FI", "@l@"}, NodeCase{"log10x", "%I", "@@"},
                      NodeCase{"Log exp EXP sin SIN cos COS", "%IFFFFFF", "@@eeSSCC"},
                      NodeCase{"sinh", "%I", "@@"}, NodeCase{"1e5e", "%NI", "@@@"},
                      NodeCase{"-2", "%ON", "@-@"}, NodeCase{"x1y2", "%I", "@@"}));

TEST(ExpressionScanner, KeepsSymbolTextAndNumberValues) {
  std::vector<ExpressionNode> nodes;
  ASSERT_TRUE(BuildExpressionNodes("Vmax*2.5e-3", KineticExpressionDialect(), nodes));
  ASSERT_EQ(nodes.size(), 4u);
  EXPECT_EQ(nodes[1].name, "Vmax");
  EXPECT_EQ(nodes[1].index, -1);
  EXPECT_CLOSE(nodes[3].value, 2.5e-3, kTightAbs, kTightRel);
}

TEST(ExpressionLinker, BuildsTheTreeOverTheNodeList) {
  std::vector<ExpressionNode> nodes;
  ASSERT_EQ(Parse("V*S/(Km+S)", KineticExpressionDialect(), nodes), 0);
  ASSERT_EQ(nodes.size(), 10u);
  // (V*S) / (Km+S): "/" is the root, "*" its left, "+" its right.
  EXPECT_EQ(nodes[0].left, 4);
  EXPECT_EQ(nodes[4].left, 2);
  EXPECT_EQ(nodes[4].right, 7);
  EXPECT_EQ(nodes[2].left, 1);
  EXPECT_EQ(nodes[2].right, 3);
  EXPECT_EQ(nodes[7].left, 6);
  EXPECT_EQ(nodes[7].right, 8);
  EXPECT_EQ(nodes[1].left, kNoNode);
  // The parenthesis nodes stay in the list, untaken.
  EXPECT_TRUE(nodes[5].IsOperator('('));
  EXPECT_TRUE(nodes[9].IsOperator(')'));
}

TEST(ExpressionLinker, TurnsAPrefixSignIntoAFunctionNode) {
  std::vector<ExpressionNode> nodes;
  ASSERT_EQ(Parse("2*-3", KineticExpressionDialect(), nodes), 0);
  EXPECT_EQ(nodes[2].kind, node_kind::kOperator);
  EXPECT_EQ(nodes[3].kind, node_kind::kFunction);
  EXPECT_EQ(nodes[3].code, '-');
  EXPECT_EQ(nodes[3].left, 4);
  EXPECT_EQ(nodes[3].right, kNoNode);
}

TEST(ExpressionLinker, RemembersTheFirstFailingOperator) {
  std::vector<ExpressionNode> nodes;
  ASSERT_TRUE(BuildExpressionNodes("a+b*", KineticExpressionDialect(), nodes));
  LinkResult result = LinkExpressionTree(nodes, KineticExpressionDialect());
  EXPECT_GT(result.errors, 0);
  EXPECT_EQ(result.firstErrorPosition, 4);
}

TEST(ExpressionLinker, RefusesAnEmptyNodeList) {
  std::vector<ExpressionNode> nodes;
  EXPECT_EQ(LinkExpressionTree(nodes, KineticExpressionDialect()).errors, 1);
}

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// The text is `times` copies of `opening`, then `middle`, then `times`
// copies of `closing`; it is built inside the test so that every test
// process does not pay for the large texts of the others.
struct DepthCase {
  const char* name;
  const char* opening;
  int times;
  const char* middle;
  const char* closing;
  bool accepted;
};

class ExpressionDepth : public ::testing::TestWithParam<DepthCase> {};

// Deep texts are refused as syntax errors instead of exhausting the stack of
// the linker or of the recursive evaluator.
TEST_P(ExpressionDepth, IsBounded) {
  const DepthCase& c = GetParam();
  std::string text = Repeat(c.opening, c.times) + c.middle + Repeat(c.closing, c.times);
  std::vector<ExpressionNode> nodes;
  int errors = Parse(text, KineticExpressionDialect(), nodes);
  EXPECT_EQ(errors == 0, c.accepted) << c.name;
  if (errors == 0) {
    TableBindings bindings;
    EXPECT_TRUE(std::isfinite(EvaluateExpression(nodes, bindings))) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Nesting, ExpressionDepth,
    ::testing::Values(DepthCase{"parentheses100000", "(", 100000, "a", ")", false},
                      DepthCase{"openOnly100000", "(", 100000, "", "", false},
                      DepthCase{"signs100000", "-", 100000, "a", "", false},
                      DepthCase{"functions100000", "sin ", 100000, "a", "", false},
                      DepthCase{"powers100000", "a^", 100000, "a", "", false},
                      DepthCase{"sum100000", "a+", 100000, "a", "", false},
                      DepthCase{"parentheses200", "(", 200, "a", ")", true},
                      DepthCase{"signs400", "-", 400, "a", "", true},
                      DepthCase{"sum500", "a+", 500, "a", "", true},
                      DepthCase{"powers500", "1^", 500, "1", "", true}),
    [](const ::testing::TestParamInfo<DepthCase>& info) { return std::string(info.param.name); });

TEST(ExpressionDepth, HugeFlatTextsStayLinear) {
  std::vector<ExpressionNode> nodes;
  std::string blanks = Repeat(" ", 100'000) + "1";
  ASSERT_EQ(Parse(blanks, KineticExpressionDialect(), nodes), 0);
  EXPECT_EQ(nodes.size(), 2u);
  std::string longName = Repeat("x", 100'000);
  ASSERT_EQ(Parse(longName, KineticExpressionDialect(), nodes), 0);
  EXPECT_EQ(nodes[1].name.size(), 100'000u);
  std::string manyTokens = Repeat("1 ", 50'000);
  EXPECT_GT(Parse(manyTokens, KineticExpressionDialect(), nodes), 0);
}

TEST(ExpressionEvaluator, GivesZeroForAnEmptyOrUnlinkedList) {
  TableBindings bindings;
  std::vector<ExpressionNode> nodes;
  EXPECT_EQ(EvaluateExpression(nodes, bindings), 0.0);
  nodes.resize(3);
  nodes[0].left = 7;  // out of range
  EXPECT_EQ(EvaluateExpression(nodes, bindings), 0.0);
  // A cycle in a hand-made list is cut off instead of recursing forever.
  nodes[0].left = 1;
  nodes[1] = ExpressionNode{node_kind::kFunction, '-', 2, kNoNode, 0.0, -1, ""};
  nodes[2] = ExpressionNode{node_kind::kFunction, '-', 1, kNoNode, 0.0, -1, ""};
  EXPECT_EQ(EvaluateExpression(nodes, bindings), 0.0);
}

TEST(ExpressionEvaluator, LetsInfiniteAndUndefinedValuesFlowOn) {
  TableBindings bindings;
  std::vector<ExpressionNode> nodes;
  ASSERT_EQ(Parse("1/0", KineticExpressionDialect(), nodes), 0);
  EXPECT_TRUE(std::isinf(EvaluateExpression(nodes, bindings)));
  ASSERT_EQ(Parse("log(-1)", KineticExpressionDialect(), nodes), 0);
  EXPECT_TRUE(std::isnan(EvaluateExpression(nodes, bindings)));
}

// The output functions use the same engine with their own dialect: single
// letters, rand/gauss/boltz, and 1+a(b) refused.
class OutputExpressionValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(OutputExpressionValue, ParsesAndEvaluates) {
  const ValueCase& c = GetParam();
  std::vector<ExpressionNode> nodes;
  ASSERT_EQ(Parse(c.text, OutputExpressionDialect(), nodes), 0) << c.text;
  TableBindings bindings;
  EXPECT_CLOSE(EvaluateExpression(nodes, bindings), c.expected, kTightAbs, kTightRel) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    SecondDialect, OutputExpressionValue,
    ::testing::Values(ValueCase{"K+1", 5.0}, ValueCase{"a+b", 8.0}, ValueCase{"2^3^2", 512.0},
                      ValueCase{"-2^2", 4.0}, ValueCase{"007", 7.0}, ValueCase{"1e+3", 1000.0},
                      ValueCase{"log10(100)", 2.0}, ValueCase{"sin 0 + LOG10 10", 1.0},
                      ValueCase{"2*rand(1)", 0.5}, ValueCase{"gauss(x)", 0.125},
                      ValueCase{"BOLTZ(a)", 0.75}));

class OutputExpressionRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(OutputExpressionRefused, IsASyntaxError) {
  const RefusedCase& c = GetParam();
  std::vector<ExpressionNode> nodes;
  bool scanned = BuildExpressionNodes(c.text, OutputExpressionDialect(), nodes);
  EXPECT_EQ(scanned, !c.refusedByScanner) << c.text;
  if (scanned) {
    EXPECT_GT(LinkExpressionTree(nodes, OutputExpressionDialect()).errors, 0) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(SecondDialect, OutputExpressionRefused,
                         ::testing::Values(RefusedCase{"Km+1", true}, RefusedCase{"K0", true},
                                           RefusedCase{"x1", true}, RefusedCase{"2x", true},
                                           RefusedCase{"1e", true}, RefusedCase{"sin2", true},
                                           RefusedCase{"log10x", true}, RefusedCase{"_a", true},
                                           RefusedCase{"1+a(b)", false}, RefusedCase{"a(b)", false},
                                           RefusedCase{"", false}, RefusedCase{"()", false}));

TEST(OutputExpression, SymbolsCarryTheirLetterAndRandomFunctionsTheirCodes) {
  std::vector<ExpressionNode> nodes;
  ASSERT_EQ(Parse("2*rand(a)+gauss b-boltz(c)", OutputExpressionDialect(), nodes), 0);
  std::string codes;
  for (const ExpressionNode& node : nodes) codes += node.code;
  EXPECT_EQ(codes, "@@*R(a)+Gb-B(c)");
  TableBindings bindings;
  EvaluateExpression(nodes, bindings);
  EXPECT_EQ(bindings.functionsCalled, (std::vector<char>{'R', 'G', 'B'}));
}

TEST(OutputExpression, KnowsNoCallFunctionsOrCommas) {
  std::vector<ExpressionNode> nodes;
  EXPECT_FALSE(BuildExpressionNodes("lt(a,b)", OutputExpressionDialect(), nodes));
  EXPECT_FALSE(BuildExpressionNodes("a,b", OutputExpressionDialect(), nodes));
}

TEST(OutputExpression, RateLawFunctionNamesAreNotKnownToTheKineticDialect) {
  std::vector<ExpressionNode> nodes;
  ASSERT_TRUE(BuildExpressionNodes("rand(a)", KineticExpressionDialect(), nodes));
  EXPECT_EQ(nodes[1].kind, node_kind::kSymbol);
  EXPECT_EQ(nodes[1].name, "rand");
}

}  // namespace
}  // namespace vireon
