#include "kinetics/expression_record.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kinetics/expression.h"
#include "model/message_sink.h"
#include "model/record_cursor.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

class NumberFormat : public ::testing::TestWithParam<double> {};

// Records are written as printf's "%le" writes in the C locale, whatever
// locale the program runs in.
TEST_P(NumberFormat, MatchesPrintfLe) {
  double value = GetParam();
  char expected[64];
  std::snprintf(expected, sizeof expected, "%le", value);
  EXPECT_EQ(FormatExpressionNumber(value), expected);
}

INSTANTIATE_TEST_SUITE_P(Values, NumberFormat,
                         ::testing::Values(0.0, -0.0, 1.0, 0.5, -2.5e-7, 1.23456789, 9.9999995,
                                           9.99999949, 123456789.0, 1e100, 1e-100, 4.9e-324,
                                           2.2250738585072014e-308, DBL_MAX, -DBL_MAX, HUGE_VAL,
                                           1.0 / 3.0, 2.0 / 3.0));

// A second family of expressions on the same record machinery: output
// functions keep one item per letter and write an item line per occurrence;
// reading shares the first occurrence's item.
class LetterItemRecord : public SymbolRecord {
 public:
  std::map<char, std::string> items;  // letter -> item name
  int itemsRead = 0;

  void Write(std::ostream& out, const ExpressionNode& node) const override {
    out << "Item=" << items.at(node.code) << '\n';
  }
  bool Read(RecordCursor& cursor, MessageSink& sink, int, ExpressionNode& node) override {
    std::optional<std::string> item = ReadStringLine(cursor, sink);
    if (!item) return false;
    ++itemsRead;
    items.try_emplace(node.code, *item);
    return true;
  }
};

class LetterBindings : public ExpressionBindings {
 public:
  std::map<std::string, double> itemValues;
  const std::map<char, std::string>* items = nullptr;
  double SymbolValue(const ExpressionNode& node) override {
    return itemValues.at(items->at(node.code));
  }
  double FunctionValue(char code, double operand) override {
    return code == node_code::kRand ? 0.5 * operand : 0.0;
  }
};

TEST(ExpressionRecord, CarriesASecondDialectThroughTheSameWriterAndReader) {
  const ExpressionDialect& dialect = OutputExpressionDialect();
  std::vector<ExpressionNode> nodes;
  ASSERT_TRUE(BuildExpressionNodes("a+2*rand(b)-a/a", dialect, nodes));
  ASSERT_EQ(LinkExpressionTree(nodes, dialect).errors, 0);
  LetterItemRecord written;
  written.items = {{'a', "J(step1)"}, {'b', "[X]"}};
  std::ostringstream out;
  WriteExpressionNodes(out, nodes, dialect, written);
  std::string text = out.str();
  EXPECT_TRUE(text.starts_with("Nodes=13\nNode=37,64\nNode=73,97\nItem=J(step1)\n")) << text;
  EXPECT_NE(text.find("Node=70,82\n"), std::string::npos);

  RecordingSink sink;
  RecordCursor cursor(text);
  LetterItemRecord read;
  std::vector<ExpressionNode> readNodes;
  ASSERT_TRUE(ReadExpressionNodes(cursor, sink, dialect, read, readNodes));
  ASSERT_TRUE(LinkReadExpression(readNodes, dialect, 1, sink));
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.itemsRead, 4);  // "a" three times, "b" once
  EXPECT_EQ(read.items, written.items);
  EXPECT_EQ(readNodes, nodes);

  LetterBindings bindings;
  bindings.itemValues = {{"J(step1)", 3.0}, {"[X]", 4.0}};
  bindings.items = &read.items;
  EXPECT_CLOSE(EvaluateExpression(readNodes, bindings), 3.0 + 2 * 0.5 * 4.0 - 1.0, kTightAbs,
               kTightRel);
}

TEST(ExpressionRecord, TheSecondDialectRefusesAParenthesisOperandWhenRead) {
  // 1+a(b) links as a rate law but not as an output function.
  std::vector<ExpressionNode> nodes;
  ASSERT_TRUE(BuildExpressionNodes("1+a(b)", KineticExpressionDialect(), nodes));
  ASSERT_EQ(LinkExpressionTree(nodes, KineticExpressionDialect()).errors, 0);
  for (ExpressionNode& node : nodes) {
    if (node.kind == node_kind::kSymbol) node.code = node.name[0];
  }
  RecordingSink sink;
  EXPECT_FALSE(LinkReadExpression(nodes, OutputExpressionDialect(), 7, sink));
  EXPECT_TRUE(sink.Said("Syntax error in the expression at line 7"));
}

TEST(ExpressionRecord, ANodeCountBeyondTheLinesEndsAtTheEndOfTheText) {
  RecordingSink sink;
  RecordCursor cursor("Nodes=2147483647\nNode=37,64\n");
  LetterItemRecord symbols;
  std::vector<ExpressionNode> nodes;
  EXPECT_FALSE(ReadExpressionNodes(cursor, sink, OutputExpressionDialect(), symbols, nodes));
  EXPECT_TRUE(sink.Said("Unexpected end of file at line 3"));
  EXPECT_LE(nodes.capacity(), 16u);
}

TEST(ExpressionRecord, KindsOutsideAsciiAreRefused) {
  for (const char* line : {"Node=128,64", "Node=37,255", "Node=-37,64", "Node=37,0"}) {
    RecordingSink sink;
    RecordCursor cursor(std::string("Nodes=1\n") + line + "\n");
    LetterItemRecord symbols;
    std::vector<ExpressionNode> nodes;
    EXPECT_FALSE(ReadExpressionNodes(cursor, sink, KineticExpressionDialect(), symbols, nodes));
    EXPECT_TRUE(sink.Said("Failed to read one or more fields at line 2")) << line;
  }
}

}  // namespace
}  // namespace vireon
