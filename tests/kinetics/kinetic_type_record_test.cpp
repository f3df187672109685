#include "kinetics/kinetic_type_record.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include "kinetics/expression.h"
#include "kinetics/kinetic_function.h"
#include "kinetics/user_type_helpers.h"
#include "model/model.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

// A reversible type with one modifier, typed by hand in the record format:
// kf*A/(1+I/Ki), with kf, Ki the constants, A the substrate, I the modifier.
std::string InhibitedRecord(const std::string& userDefined, const std::string& reversible) {
  return "UDKType=inhibited\n"
         "User-defined=" +
         userDefined +
         "\n"
         "Reversible=" +
         reversible +
         "\n"
         "Substrates=1\n"
         "Products=1\n"
         "Modifiers=1\n"
         "Constants=2\n"
         "Modifier0=I\n"
         "Constant0=kf\n"
         "Constant1=Ki\n"
         "FunctionName=inhibited\n"
         "Description=kf*A/(1+I/Ki)\n"
         "Nodes=12\n"
         "Node=37,64\n"
         "Node=107,64\nIndex=0\nName=kf\n"
         "Node=79,42\n"
         "Node=115,64\nIndex=0\nName=A\n"
         "Node=79,47\n"
         "Node=79,40\n"
         "Node=78,64\nValue=1.000000e+00\n"
         "Node=79,43\n"
         "Node=109,64\nIndex=0\nName=I\n"
         "Node=79,47\n"
         "Node=107,64\nIndex=1\nName=Ki\n"
         "Node=79,41\n";
}

TEST(KineticTypeRecord, HandWrittenRecordReadsAndEvaluates) {
  RecordCursor cursor(InhibitedRecord("1", "1"));
  RecordingSink sink;
  std::unique_ptr<KineticType> type = ReadKineticTypeRecord(cursor, sink);
  ASSERT_NE(type, nullptr);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(type->name, "inhibited");
  EXPECT_EQ(type->userDefined, 1);
  EXPECT_EQ(type->reversible, 1);
  EXPECT_EQ(type->substrates, 1);
  EXPECT_EQ(type->products, 1);
  EXPECT_EQ(type->modifierNames, std::vector<std::string>{"I"});
  EXPECT_EQ(type->constantNames, (std::vector<std::string>{"kf", "Ki"}));
  EXPECT_EQ(type->rate, &EvaluateUserDefinedRate);

  // A = 3 (amount 6 in volume 2), I = 2, kf = 4, Ki = 1:
  // 4*3/(1+2/1) = 4.
  Model model;
  model.Allocate(1, 3, 1, 0, 1);
  model.compartments[0].volume = 2.0;
  model.metabolitePosition = {2, 0, 1};
  Step& step = model.steps[0];
  step.SizeSubstrates(1);
  step.AppendSubstrate(0);
  step.SizeProducts(1);
  step.AppendProduct(1);
  step.modifiers = {2};
  step.constants = {4.0, 1.0};
  step.kineticType = type.get();
  const double x[3] = {5.0, 4.0, 6.0};  // by position: P, I, A
  EXPECT_CLOSE(type->rate(model, x, 0), 4.0, test::kTightAbs, test::kTightRel);
}

TEST(KineticTypeRecord, FlagsAreWholeNumbersAndAnyNonzeroValueIsSet) {
  // The flags are read as "%d": values beyond 16 bits are still nonzero.
  RecordCursor cursor(InhibitedRecord("65536", "131072"));
  RecordingSink sink;
  std::unique_ptr<KineticType> type = ReadKineticTypeRecord(cursor, sink);
  ASSERT_NE(type, nullptr);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(type->userDefined, 1);
  EXPECT_EQ(type->reversible, 1);
}

TEST(KineticTypeRecord, WrittenRecordFollowsTheLineFormat) {
  std::unique_ptr<KineticType> type = test::MakeInhibitedMassAction("inhibited");
  ASSERT_NE(type, nullptr);
  std::ostringstream out;
  WriteKineticTypeRecord(*type, out);
  const std::string text = out.str();
  const std::string head =
      "UDKType=inhibited\nUser-defined=1\nReversible=1\nSubstrates=1\nProducts=1\n"
      "Modifiers=1\nConstants=3\nModifier0=I\nConstant0=kf\nConstant1=kr\nConstant2=Ki\n"
      "FunctionName=inhibited\nDescription=(kf*A - kr*P)/(1 + I/Ki)\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
}

// The text a type shows and the law it computes are one: a record whose
// description says one law while its nodes store another is given the text
// of its nodes, with a warning, and then writes back as a sound record.
TEST(KineticTypeRecord, ADescriptionThatIsNotItsNodesIsRebuiltFromThem) {
  const std::string sound = InhibitedRecord("1", "1");
  std::string tampered = sound;
  const std::string shown = "Description=kf*A/(1+I/Ki)\n";
  tampered.replace(tampered.find(shown), shown.size(), "Description=kf*A\n");
  RecordCursor cursor(tampered);
  RecordingSink sink;
  std::unique_ptr<KineticType> type = ReadKineticTypeRecord(cursor, sink);
  ASSERT_NE(type, nullptr);
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kWarning);
  EXPECT_NE(sink.messages()[0].text.find("'inhibited' (line 11) reads 'kf*A'"), std::string::npos)
      << sink.messages()[0].text;
  EXPECT_NE(sink.messages()[0].text.find("is 'kf*A/(1+I/Ki)'"), std::string::npos);
  EXPECT_EQ(type->function->description(), "kf*A/(1+I/Ki)");
  std::ostringstream out;
  WriteKineticTypeRecord(*type, out);
  EXPECT_EQ(out.str(), sound);
}

// Nodes that no text reads back into (a negative number the scanner cannot
// write, a name it would split) cannot be shown: the record is refused.
TEST(KineticTypeRecord, NodesThatNoTextReadsBackIntoRefuseTheRecord) {
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"Value=1.000000e+00", "Value=-1.000000e+00"},
           {"Value=1.000000e+00", "Value=nan"},
           {"Name=Ki\n", "Name=K i\n"}}) {
    std::string tampered = InhibitedRecord("1", "1");
    tampered.replace(tampered.find(from), from.size(), to);
    RecordCursor cursor(tampered);
    RecordingSink sink;
    EXPECT_EQ(ReadKineticTypeRecord(cursor, sink), nullptr) << to;
    ASSERT_EQ(sink.messages().size(), 1u) << to;
    EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kError);
    EXPECT_NE(sink.messages()[0].text.find("cannot be written as a rate law"), std::string::npos);
  }
}

// Whatever the user typed, the record of the parsed law reads back without a
// word and writes back byte for byte, and the text of its nodes is a text of
// the same law.
TEST(KineticTypeRecord, SoundRecordsReadAndWriteBackUnchanged) {
  for (const std::string text :
       {"(kf*A - kr*P)/(1 + I/Ki)", "-V*S^2/+Km", "piecewise(S, gt(S, 1), 0) + floor(S)",
        "log10(S)+EXP(-K)*sin(S)/COS(S)", "1.2345678*S + 2e-5 - 3.0E+12*S", "S^-2^3",
        "and(S, not(K), xor(S, K, 1))*(((S)))"}) {
    auto function = std::make_unique<KineticFunction>("law", text);
    ASSERT_EQ(function->ParseKineticFunction(), 0) << text;
    EXPECT_TRUE(function->DescriptionMatchesNodes()) << text;
    const std::optional<std::string> rebuilt = function->TextOfNodes();
    ASSERT_TRUE(rebuilt.has_value()) << text;
    KineticFunction again("law", *rebuilt);
    ASSERT_EQ(again.ParseKineticFunction(), 0) << *rebuilt;
    EXPECT_EQ(again.nodes().size(), function->nodes().size()) << *rebuilt;

    const std::vector<std::string> symbols = function->SymbolNames();
    for (const std::string& symbol : symbols) function->BindSymbol(symbol, SymbolRole::kConstant);
    KineticType type(std::move(function), 0, 0);
    std::ostringstream out;
    WriteKineticTypeRecord(type, out);
    RecordCursor cursor(out.str());
    RecordingSink sink;
    std::unique_ptr<KineticType> read = ReadKineticTypeRecord(cursor, sink);
    ASSERT_NE(read, nullptr) << text;
    EXPECT_TRUE(sink.messages().empty()) << text;
    std::ostringstream back;
    WriteKineticTypeRecord(*read, back);
    EXPECT_EQ(back.str(), out.str()) << text;
  }
}

}  // namespace
}  // namespace vireon
