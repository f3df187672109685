#include "output/output_function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/message_sink.h"
#include "model/record_cursor.h"
#include "engine/random.h"
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

OutputItem Flux(const std::string& step) {
  return OutputItem{"J(" + step + ")", kTransientFlux, step, "", nullptr};
}

TEST(OutputFunctionRecordTest, ALetterUsedThreeTimesWritesThreeItemRecords) {
  OutputFunction function = Parsed("a*a+a/2", "triple");
  ASSERT_EQ(function.letters(), std::vector<char>{'a'});
  *function.ItemOf('a') = Flux("R1");
  std::string out;
  function.WriteRecord(out);
  const std::string item = "Title=J(R1)\nType=5\nI=R1\n";
  EXPECT_EQ(out,
            "Name=triple\nDescription=a*a+a/2\nNodes=8\n"
            "Node=37,64\n"
            "Node=73,97\n" +
                item +
                "Node=79,42\n"
                "Node=73,97\n" +
                item +
                "Node=79,43\n"
                "Node=73,97\n" +
                item +
                "Node=79,47\n"
                "Node=78,64\nValue=2.000000e+00\n");
}

TEST(OutputFunctionRecordTest, ReadingSharesTheFirstItemOfALetter) {
  OutputFunction function = Parsed("a+b*a", "g");
  *function.ItemOf('a') = Flux("R1");
  *function.ItemOf('b') = OutputItem{"[S]i", kInitialConcentration, "S", "", nullptr};
  std::string out;
  function.WriteRecord(out);
  // The second record of a names another flux: it is read and discarded.
  const std::size_t second = out.rfind("I=R1");
  out.replace(second, 4, "I=R9");
  RecordCursor cursor(out);
  RecordingSink sink;
  OutputFunction read;
  ASSERT_TRUE(read.ReadRecord(cursor, sink));
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.name(), "g");
  EXPECT_EQ(read.description(), "a+b*a");
  ASSERT_EQ(read.items().size(), 2u);
  EXPECT_EQ(read.ItemOf('a')->i, "R1");
  EXPECT_EQ(read.ItemOf('b')->i, "S");
  EXPECT_EQ(read.letters(), (std::vector<char>{'a', 'b'}));
  // Both a nodes share one item: binding it once binds every occurrence.
  double a = 2.0, b = 5.0;
  read.ItemOf('a')->value = &a;
  read.ItemOf('b')->value = &b;
  RandomGenerator random(1);
  EXPECT_CLOSE(read.Evaluate(random), 12.0, kTightAbs, kTightRel);
}

TEST(OutputFunctionRecordTest, RoundTripGivesTheSameFunction) {
  OutputFunction function = Parsed("2*rand(x)+gauss(1.5)-LOG10(y)^2", "noisy");
  *function.ItemOf('x') = Flux("R1");
  *function.ItemOf('y') = OutputItem{"time", kTime, "", "", nullptr};
  std::string out;
  function.WriteRecord(out);
  std::string sectionText;
  SaveOutputFunctionSection({function, Parsed("K+1", "k")}, sectionText);
  EXPECT_EQ(sectionText.rfind("User-defined functions\nItems=2\nName=noisy\n", 0), 0u);
  RecordCursor cursor(sectionText);
  RecordingSink sink;
  std::vector<OutputFunction> read;
  ASSERT_EQ(LoadOutputFunctionSection(cursor, sink, read), SelectionLoadStatus::kOk);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_TRUE(read[0] == function);
  EXPECT_EQ(read[1].name(), "k");
  std::string again;
  read[0].WriteRecord(again);
  EXPECT_EQ(again, out);
}

TEST(OutputFunctionRecordTest, SingleNodeRecordsAreAcceptedAsTheyAre) {
  RandomGenerator random(1);
  {
    RecordCursor cursor("Name=c\nDescription=42\nNodes=1\nNode=78,64\nValue=4.200000e+01\n");
    RecordingSink sink;
    OutputFunction function;
    ASSERT_TRUE(function.ReadRecord(cursor, sink));
    EXPECT_EQ(function.NodeCount(), 1);
    EXPECT_CLOSE(function.Evaluate(random), 42.0, kTightAbs, kTightRel);
  }
  {
    RecordCursor cursor("Name=s\nDescription=a\nNodes=1\nNode=73,97\nTitle=J(R1)\nType=5\nI=R1\n");
    RecordingSink sink;
    OutputFunction function;
    ASSERT_TRUE(function.ReadRecord(cursor, sink));
    double flux = 3.5;
    function.ItemOf('a')->value = &flux;
    EXPECT_CLOSE(function.Evaluate(random), 3.5, kTightAbs, kTightRel);
  }
}

TEST(OutputFunctionRecordTest, BadRecordsAreRefusedAndLeaveTheFunctionAlone) {
  struct Case {
    const char* name;
    std::string text;
    std::string message;
  };
  const std::string head = "Name=f\nDescription=a+b\n";
  for (const Case& c : {
           Case{"MissingNodes", "Name=f\nDescription=x\n", "Unexpected end of file at line 3"},
           Case{"BadCount", head + "Nodes=two\n", "Failed to read one or more fields at line 3"},
           Case{"NegativeCount", head + "Nodes=-1\n",
                "Failed to read one or more fields at line 3"},
           Case{"ShortNodeList", head + "Nodes=3\nNode=37,64\n",
                "Unexpected end of file at line 5"},
           Case{"MissingItem", head + "Nodes=2\nNode=37,64\nNode=73,97\nTitle=t\n",
                "Unexpected end of file at line 7"},
           Case{"OtherKindFirst", head + "Nodes=1\nNode=79,43\n",
                "Syntax error in the expression at line 1"},
           Case{"BrokenTree", head + "Nodes=2\nNode=37,64\nNode=79,43\n",
                "Syntax error in the expression at line 1"},
           // 1+a(b) as a rate law would store it: refused by this dialect.
           Case{"ParenthesisOperand",
                head + "Nodes=7\nNode=37,64\nNode=78,64\nValue=1\nNode=79,43\nNode=73,97\n"
                       "Title=time\nType=14\nNode=79,40\nNode=73,98\nTitle=time\nType=14\n"
                       "Node=79,41\n",
                "Syntax error in the expression at line 1"},
       }) {
    OutputFunction function = Parsed("z*2", "keep");
    RecordCursor cursor(c.text);
    RecordingSink sink;
    EXPECT_FALSE(function.ReadRecord(cursor, sink)) << c.name;
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_EQ(function.name(), "keep");
    EXPECT_EQ(function.NodeCount(), 4) << c.name;
  }
}

}  // namespace
}  // namespace vireon
