#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kinetics/expression.h"
#include "kinetics/expression_record.h"
#include "kinetics/kinetic_function.h"
#include "model/message_sink.h"
#include "model/model.h"
#include "model/record_cursor.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::kTightAbs;
using test::kTightRel;

KineticFunction BoundMichaelisMenten() {
  KineticFunction function("MM", "V*S/(Km+S)");
  EXPECT_EQ(function.ParseKineticFunction(), 0);
  function.ResetBindings();
  function.BindSymbol("V", SymbolRole::kConstant);
  function.BindSymbol("S", SymbolRole::kSubstrate);
  function.BindSymbol("Km", SymbolRole::kConstant);
  return function;
}

std::string RecordOf(const KineticFunction& function) {
  std::ostringstream out;
  function.WriteRecord(out);
  return out.str();
}

// Reads one record from `text`; the sink collects the messages.
bool ReadFrom(const std::string& text, KineticFunction& function, RecordingSink& sink) {
  RecordCursor cursor(text);
  return function.ReadRecord(cursor, sink);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(KineticFunctionRecord, IsWrittenLineByLineWithParenthesesAndBindings) {
  EXPECT_EQ(RecordOf(BoundMichaelisMenten()),
            "FunctionName=MM\n"
            "Description=V*S/(Km+S)\n"
            "Nodes=10\n"
            "Node=37,64\n"
            "Node=107,64\nIndex=0\nName=V\n"
            "Node=79,42\n"
            "Node=115,64\nIndex=0\nName=S\n"
            "Node=79,47\n"
            "Node=79,40\n"
            "Node=107,64\nIndex=1\nName=Km\n"
            "Node=79,43\n"
            "Node=115,64\nIndex=0\nName=S\n"
            "Node=79,41\n");
}

TEST(KineticFunctionRecord, WritesNumbersWithSixDigitsAfterThePoint) {
  KineticFunction function("f", "2.5*S-0.001+1e300+-3");
  ASSERT_EQ(function.ParseKineticFunction(), 0);
  std::string record = RecordOf(function);
  EXPECT_NE(record.find("Node=78,64\nValue=2.500000e+00\n"), std::string::npos);
  EXPECT_NE(record.find("Value=1.000000e-03\n"), std::string::npos);
  EXPECT_NE(record.find("Value=1.000000e+300\n"), std::string::npos);
  // The prefix sign was turned into a function node when the tree was linked.
  EXPECT_NE(record.find("Node=70,45\n"), std::string::npos);
}

TEST(KineticFunctionRecord, NameIsWrittenOnOneLine) {
  KineticFunction function("two\r\nlines", "k");
  ASSERT_EQ(function.ParseKineticFunction(), 0);
  EXPECT_EQ(Lines(RecordOf(function))[0], "FunctionName=twolines");
}

TEST(KineticFunctionRecord, RoundTripKeepsNodesKindsAndIndices) {
  KineticFunction written = BoundMichaelisMenten();
  written.set_reversible(1);
  std::string text = RecordOf(written) + "Next=1\n";
  RecordingSink sink;
  RecordCursor cursor(text);
  KineticFunction read;
  ASSERT_TRUE(read.ReadRecord(cursor, sink));
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(cursor.Line(), "Next=1");
  EXPECT_EQ(read.name(), "MM");
  EXPECT_EQ(read.description(), "V*S/(Km+S)");
  ASSERT_EQ(read.NodeCount(), written.NodeCount());
  for (int i = 0; i < read.NodeCount(); ++i) {
    const KineticNode& a = read.nodes()[i];
    const KineticNode& b = written.nodes()[i];
    EXPECT_EQ(a.kind, b.kind) << i;
    EXPECT_EQ(a.code, b.code) << i;
    EXPECT_EQ(a.name, b.name) << i;
    EXPECT_EQ(a.index, b.index) << i;
    EXPECT_EQ(a.left, b.left) << i;
    EXPECT_EQ(a.right, b.right) << i;
  }
  // The kinetic type's record carries the counts and names.
  EXPECT_EQ(read.ConstantCount(), 0);
  EXPECT_EQ(read.SubstrateCount(), 0);
  EXPECT_EQ(read.RoleOfSymbol("S"), 0);
  EXPECT_EQ(read.RoleOfSymbol("Km"), 3);
  // And it evaluates like the original.
  Model model;
  model.Allocate(1, 1, 1, 0, 1);
  model.metabolites[0] = Metabolite("S", INDEPENDENT, 0);
  model.steps[0].SizeSubstrates(1);
  model.AddStoichiometry(0, 0, -1, 1);
  model.steps[0].constants = {2.0, 0.5};
  std::vector<double> x = {1.5};
  EXPECT_CLOSE(read.EvaluateKineticFunction(model, x, 0), 2.0 * 1.5 / 2.0, kTightAbs, kTightRel);
  EXPECT_CLOSE(read.EvaluateKineticFunction(model, x, 0),
               written.EvaluateKineticFunction(model, x, 0), kTightAbs, kTightRel);
}

TEST(KineticFunctionRecord, TwoRecordsReadOneAfterTheOther) {
  KineticFunction first = BoundMichaelisMenten();
  KineticFunction second("Lin", "k*-S+1+a(b)");
  ASSERT_EQ(second.ParseKineticFunction(), 0);
  std::string text = RecordOf(first) + RecordOf(second);
  RecordingSink sink;
  RecordCursor cursor(text);
  KineticFunction a, b;
  ASSERT_TRUE(a.ReadRecord(cursor, sink));
  ASSERT_TRUE(b.ReadRecord(cursor, sink));
  EXPECT_EQ(a.name(), "MM");
  EXPECT_EQ(b.name(), "Lin");
  EXPECT_EQ(b.nodes(), second.nodes());
  EXPECT_TRUE(cursor.AtEndOfData());
}

struct DigitsCase {
  const char* typed;
  double afterRoundTrip;
};

class KineticFunctionDigits : public ::testing::TestWithParam<DigitsCase> {};

// A number keeps seven significant digits through a file.
TEST_P(KineticFunctionDigits, KeepSevenSignificantDigits) {
  const DigitsCase& c = GetParam();
  KineticFunction written("f", c.typed);
  ASSERT_EQ(written.ParseKineticFunction(), 0);
  RecordingSink sink;
  KineticFunction read;
  ASSERT_TRUE(ReadFrom(RecordOf(written), read, sink));
  double typed = written.nodes()[1].value;
  double stored = read.nodes()[1].value;
  EXPECT_CLOSE(stored, c.afterRoundTrip, 0.0, 1e-15) << c.typed;
  EXPECT_CLOSE(stored, typed, 0.0, 5e-7) << c.typed;
}

INSTANTIATE_TEST_SUITE_P(Numbers, KineticFunctionDigits,
                         ::testing::Values(DigitsCase{"1.23456789", 1.234568},
                                           DigitsCase{"123456789", 1.234568e8},
                                           DigitsCase{"0.000123456789", 1.234568e-4},
                                           DigitsCase{"9.99999949", 9.999999},
                                           DigitsCase{"9.9999999", 10.0}, DigitsCase{"1.5", 1.5},
                                           DigitsCase{"3e-300", 3e-300}));

TEST(KineticFunctionDigits, InfiniteNumbersSurviveTheFile) {
  KineticFunction written("f", "1e999");
  ASSERT_EQ(written.ParseKineticFunction(), 0);
  RecordingSink sink;
  KineticFunction read;
  ASSERT_TRUE(ReadFrom(RecordOf(written), read, sink));
  EXPECT_TRUE(std::isinf(read.nodes()[1].value));
}

// Every record cut short ends with the line reader's message naming the
// first missing line, and nothing of the record is taken.
TEST(KineticFunctionBadRecord, CutShortAtEveryLine) {
  std::vector<std::string> lines = Lines(RecordOf(BoundMichaelisMenten()));
  for (std::size_t kept = 0; kept < lines.size(); ++kept) {
    std::vector<std::string> prefix(lines.begin(), lines.begin() + kept);
    RecordingSink sink;
    KineticFunction function("old", "x");
    EXPECT_FALSE(ReadFrom(Join(prefix), function, sink)) << kept;
    EXPECT_TRUE(sink.Said("Unexpected end of file at line " + std::to_string(kept + 1))) << kept;
    EXPECT_EQ(sink.messages().size(), 1u);
    EXPECT_EQ(function.name(), "old");
    EXPECT_EQ(function.NodeCount(), 0);
  }
}

struct BadLineCase {
  const char* name;
  int line;  // 1-based line to replace
  const char* replacement;
  const char* message;  // the message expected
};

class KineticFunctionBadLine : public ::testing::TestWithParam<BadLineCase> {};

TEST_P(KineticFunctionBadLine, IsRefusedWithItsMessage) {
  const BadLineCase& c = GetParam();
  std::vector<std::string> lines = Lines(RecordOf(BoundMichaelisMenten()));
  lines[c.line - 1] = c.replacement;
  RecordingSink sink;
  KineticFunction function;
  EXPECT_FALSE(ReadFrom(Join(lines), function, sink));
  ASSERT_EQ(sink.messages().size(), 1u) << c.name;
  EXPECT_EQ(sink.messages()[0].text, c.message) << c.name;
  EXPECT_EQ(sink.messages()[0].title, "Vireon File I/O error");
}

// Line 3 is "Nodes=10", 4 the root, 5 the first symbol's "Node=", 6 its
// "Index=", 7 its "Name=".
INSTANTIATE_TEST_SUITE_P(
    Lines, KineticFunctionBadLine,
    ::testing::Values(
        BadLineCase{"countNotANumber", 3, "Nodes=ten",
                    "Failed to read one or more fields at line 3"},
        BadLineCase{"countNegative", 3, "Nodes=-1", "Failed to read one or more fields at line 3"},
        BadLineCase{"countTooLarge", 3, "Nodes=99999999999",
                    "Failed to read one or more fields at line 3"},
        BadLineCase{"countHuge", 3, "Nodes=2000000000", "Unexpected end of file at line 22"},
        BadLineCase{"countShort", 3, "Nodes=9", "Syntax error in the expression at line 1"},
        BadLineCase{"oneCode", 4, "Node=37", "Failed to read one or more fields at line 4"},
        BadLineCase{"kindTooLarge", 4, "Node=300,64",
                    "Failed to read one or more fields at line 4"},
        BadLineCase{"kindZero", 4, "Node=0,64", "Failed to read one or more fields at line 4"},
        BadLineCase{"codeNegative", 4, "Node=37,-64",
                    "Failed to read one or more fields at line 4"},
        BadLineCase{"rootIsANumber", 4, "Node=78,64",
                    "Failed to read one or more fields at line 5"},
        BadLineCase{"rootIsAnOperator", 4, "Node=79,43",
                    "Syntax error in the expression at line 1"},
        BadLineCase{"indexBeyondTheNodes", 6, "Index=10",
                    "Failed to read one or more fields at line 6"},
        BadLineCase{"indexNegative", 6, "Index=-1", "Failed to read one or more fields at line 6"},
        BadLineCase{"indexNotANumber", 6, "Index=x", "Failed to read one or more fields at line 6"},
        BadLineCase{"nameWithoutEquals", 7, "Name", "Failed to read one or more fields at line 7"},
        BadLineCase{"operatorBecomesNumber", 8, "Node=78,64",
                    "Failed to read one or more fields at line 9"},
        BadLineCase{"unknownOperator", 8, "Node=79,37",
                    "Syntax error in the expression at line 1"}),
    [](const ::testing::TestParamInfo<BadLineCase>& info) { return std::string(info.param.name); });

std::string HandMadeRecord(const std::vector<std::pair<int, int>>& nodes) {
  std::string text = "FunctionName=f\nDescription=\nNodes=" + std::to_string(nodes.size()) + "\n";
  for (auto [kind, code] : nodes) {
    text += "Node=" + std::to_string(kind) + "," + std::to_string(code) + "\n";
    if (kind == 'N') text += "Value=1.000000e+00\n";
    if (kind == 'I' || kind == 's' || kind == 'k') text += "Index=-1\nName=a\n";
  }
  return text;
}

TEST(KineticFunctionBadRecord, NodesThatDoNotFormATreeAreRefused) {
  const std::vector<std::vector<std::pair<int, int>>> cases = {
      {},                                                            // no root at all
      {{'%', '@'}},                                                  // nothing under the root
      {{'%', '@'}, {'N', '@'}, {'N', '@'}},                          // two operands, no operator
      {{'%', '@'}, {'N', '@'}, {'O', '+'}},                          // missing right operand
      {{'%', '@'}, {'I', '@'}, {'O', '('}, {'I', '@'}, {'O', ')'}},  // a(b)
  };
  for (const auto& nodes : cases) {
    RecordingSink sink;
    KineticFunction function;
    EXPECT_FALSE(ReadFrom(HandMadeRecord(nodes), function, sink)) << nodes.size();
    EXPECT_TRUE(sink.Said("Syntax error in the expression at line 1")) << nodes.size();
  }
}

TEST(KineticFunctionBadRecord, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  std::vector<std::pair<int, int>> nodes = {{'%', '@'}};
  for (int i = 0; i < 20000; ++i) nodes.push_back({'O', '('});
  nodes.push_back({'N', '@'});
  for (int i = 0; i < 20000; ++i) nodes.push_back({'O', ')'});
  RecordingSink sink;
  KineticFunction function;
  EXPECT_FALSE(ReadFrom(HandMadeRecord(nodes), function, sink));
  EXPECT_TRUE(sink.Said("Syntax error in the expression at line 1"));
}

// Random damage to a valid record, and random bytes, are read without a
// crash; whatever is accepted evaluates.
TEST(KineticFunctionBadRecord, DamagedRecordsNeverCrash) {
  KineticFunction bound = BoundMichaelisMenten();
  KineticFunction second("g", "-2^x*log(S)/(1+a(b))");
  ASSERT_EQ(second.ParseKineticFunction(), 0);
  const std::string valid = RecordOf(bound) + RecordOf(second);
  Model model;
  model.Allocate(1, 1, 1, 0, 1);
  model.steps[0].SizeSubstrates(1);
  model.AddStoichiometry(0, 0, -1, 1);
  model.steps[0].constants = {1.0, 1.0};
  std::vector<double> x = {1.0};
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> byte(0, 255);
  int accepted = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    std::string text = valid;
    if (trial % 10 == 9) {
      text.assign(1 + random() % 400, '\0');
      for (char& c : text) c = static_cast<char>(byte(random));
    } else {
      int damages = 1 + static_cast<int>(random() % 4);
      for (int d = 0; d < damages; ++d) {
        std::size_t at = random() % text.size();
        switch (random() % 3) {
          case 0:
            text[at] = static_cast<char>(byte(random));
            break;
          case 1:
            text.erase(at, 1 + random() % 8);
            break;
          default:
            text.insert(at, 1, "0123456789,=-\n("[random() % 15]);
            break;
        }
        if (text.empty()) text = "x";
      }
    }
    RecordingSink sink;
    RecordCursor cursor(text);
    for (int record = 0; record < 2; ++record) {
      KineticFunction function;
      if (!function.ReadRecord(cursor, sink)) {
        EXPECT_FALSE(sink.messages().empty());
        break;
      }
      ++accepted;
      (void)function.EvaluateKineticFunction(model, x, 0);
    }
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace vireon
