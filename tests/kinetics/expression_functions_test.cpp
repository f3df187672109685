// The inverse trigonometric functions, the hyperbolic functions and their
// inverses, and the named constants of the rate-law dialect.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "kinetics/expression.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

class NamedValues : public ExpressionBindings {
 public:
  double SymbolValue(const ExpressionNode& node) override {
    if (node.name == "x") return 0.5;
    if (node.name == "y") return 2.0;
    return 0.0;
  }
};

double Value(const std::string& text) {
  std::vector<ExpressionNode> nodes;
  const ExpressionDialect& dialect = KineticExpressionDialect();
  EXPECT_TRUE(BuildExpressionNodes(text, dialect, nodes)) << text;
  EXPECT_EQ(LinkExpressionTree(nodes, dialect).errors, 0) << text;
  NamedValues values;
  return EvaluateExpression(nodes, values);
}

// Each function undoes its inverse, and the hyperbolic ones satisfy their
// identities, on values inside every domain.
TEST(InverseFunctions, UndoWhatTheirFunctionDoes) {
  EXPECT_CLOSE(Value("sin(asin(x))"), 0.5, kTightAbs, kTightRel);
  EXPECT_CLOSE(Value("cos(acos(x))"), 0.5, kTightAbs, kTightRel);
  EXPECT_CLOSE(Value("sin(atan(y))/cos(atan(y))"), 2.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(Value("sinh(asinh(y))"), 2.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(Value("cosh(acosh(y))"), 2.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(Value("tanh(atanh(x))"), 0.5, kTightAbs, kTightRel);
  EXPECT_CLOSE(Value("cosh(y)^2 - sinh(y)^2"), 1.0, 1e-12, kTightRel);
  EXPECT_CLOSE(Value("tanh(y) - sinh(y)/cosh(y)"), 0.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(Value("4*atan(1)"), std::acos(-1.0), kTightAbs, kTightRel);
  EXPECT_CLOSE(Value("2*asinh(x) + 1"), 2.0 * std::log(0.5 + std::sqrt(1.25)) + 1.0, kTightAbs,
               kTightRel);
  EXPECT_TRUE(std::isnan(Value("acosh(x)")));  // outside the domain: the value flows on
}

// Without a parenthesis the names are symbols, as they always were, and a
// call with the wrong number of arguments is a syntax error.
TEST(InverseFunctions, AreSymbolsWithoutAParenthesisAndTakeOneArgument) {
  EXPECT_CLOSE(Value("tan + sinh*y + x"), 0.5, kTightAbs, kTightRel);
  const ExpressionDialect& dialect = KineticExpressionDialect();
  for (const char* text : {"atan(x, y)", "tanh()", "asin"}) {
    std::vector<ExpressionNode> nodes;
    ASSERT_TRUE(BuildExpressionNodes(text, dialect, nodes));
    if (std::string(text) == "asin") {
      EXPECT_EQ(nodes[1].kind, node_kind::kSymbol);
    } else {
      EXPECT_NE(LinkExpressionTree(nodes, dialect).errors, 0) << text;
    }
  }
}

// A node's code is all a record keeps of its function: no two functions
// may share one.
TEST(InverseFunctions, EveryFunctionOfTheDialectHasACodeOfItsOwn) {
  std::set<char> codes;
  std::set<std::string> names;
  const ExpressionDialect& dialect = KineticExpressionDialect();
  for (const FunctionSpelling& spelling : dialect.functions) codes.insert(spelling.code);
  const std::size_t prefixCodes = codes.size();
  for (const CallFunction& call : KineticCallFunctions()) {
    EXPECT_TRUE(codes.insert(call.code).second) << call.text;
    EXPECT_TRUE(names.insert(std::string(call.text)).second) << call.text;
    EXPECT_EQ(FindCallFunction(call.code), &call);
  }
  EXPECT_EQ(codes.size(), prefixCodes + KineticCallFunctions().size());
}

// Integer division truncates towards zero, so that a = b * quotient(a, b) +
// rem(a, b) with the remainder smaller than b and of the sign of a.
TEST(IntegerDivision, QuotientAndRemainderRebuildTheDividend) {
  for (const char* a : {"9", "-9", "7.5", "-0.25"}) {
    for (const char* b : {"2", "-2", "0.5"}) {
      const std::string pair = std::string("(") + a + ", " + b + ")";
      const double quotient = Value("quotient" + pair);
      const double remainder = Value("rem" + pair);
      EXPECT_EQ(quotient, std::trunc(quotient)) << pair;
      EXPECT_CLOSE(Value(b) * quotient + remainder, Value(a), kTightAbs, kTightRel) << pair;
      EXPECT_LT(std::fabs(remainder), std::fabs(Value(b))) << pair;
      EXPECT_TRUE(remainder == 0.0 || (remainder < 0.0) == (Value(a) < 0.0)) << pair;
    }
  }
  EXPECT_EQ(Value("quotient(9, 2)"), 4.0);
  EXPECT_EQ(Value("rem(-9, 2)"), -1.0);
  EXPECT_TRUE(std::isnan(Value("rem(x, 0)")));
}

TEST(NamedConstants, AvogadroIsTheOnlyOneAndTimeIsNoConstant) {
  ASSERT_EQ(NamedConstants().size(), 1u);
  const NamedConstant* avogadro = FindNamedConstant("avogadro");
  ASSERT_NE(avogadro, nullptr);
  EXPECT_CLOSE(avogadro->value, 6.02214179e23, 0.0, kTightRel);
  EXPECT_EQ(FindNamedConstant("Avogadro"), nullptr);
  EXPECT_EQ(FindNamedConstant(kTimeName), nullptr);
}

}  // namespace
}  // namespace vireon
