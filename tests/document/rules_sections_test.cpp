#include "document/rules_sections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "document/model_file.h"
#include "model/structural_analysis.h"
#include "support/default_values.h"
#include "support/document_fixtures.h"
#include "support/files.h"

namespace vireon {
namespace {

using test::FillCatalogue;
using test::MakeRichDocument;
using test::SplitLines;

// The rich document with global quantities and one rule of each kind on
// each kind of target.
Document WithRules(const KineticCatalogue& catalogue) {
  Document d = MakeRichDocument(catalogue);
  d.model.globalQuantities = {{"kdeg", 0.1}, {"growth", 1.0 / 3.0}, {"tiny", 1e-300}};
  const auto rule = [](RuleKind kind, RuleTargetKind target, const char* name, const char* text) {
    return Rule{kind, RuleTarget{target, name, {}}, text};
  };
  d.model.rules = {
      rule(RuleKind::kAssignment, RuleTargetKind::kGlobalQuantity, "kdeg", "growth*2 + tiny"),
      rule(RuleKind::kRate, RuleTargetKind::kCompartmentVolume, "cytosol", "growth*cytosol"),
      rule(RuleKind::kInitialAssignment, RuleTargetKind::kMetabolite, "S", "kdeg*X/mitochondrion"),
      rule(RuleKind::kAssignment, RuleTargetKind::kMetabolite, "Q",
           "atanh(0.5)*time+avogadro*kdeg")};
  return d;
}

class RulesSections : public ::testing::Test {
 protected:
  void SetUp() override { FillCatalogue(catalogue_); }

  int Parse(const std::string& text, Document& document, RecordingSink& sink) {
    NewDocument(document, DefaultValues());
    return ParseModelBuffer(document, text, catalogue_, DefaultValues(), sink);
  }

  KineticCatalogue catalogue_;
};

// Write, read, write: the same bytes and the same model; the new sections
// follow every section a file without them has, which they leave as it was.
TEST_F(RulesSections, RoundTripGivesTheSameBytesAfterTheOldFile) {
  const Document written = WithRules(catalogue_);
  const std::string text = ModelFileText(written, catalogue_);
  const std::string old = ModelFileText(MakeRichDocument(catalogue_), catalogue_);
  ASSERT_EQ(old.find(kGlobalQuantitiesSection), std::string::npos);
  ASSERT_EQ(text.compare(0, old.size(), old), 0);
  EXPECT_EQ(text.substr(old.size()),
            "Global quantities\nItems=3\n"
            "Quantity=kdeg\nValue=1.000000e-01\n"
            "Quantity=growth\nValue=3.3333333333333331e-01\n"
            "Quantity=tiny\nValue=1.000000e-300\n"
            "Rules\nItems=4\n"
            "Rule=assignment\nTargetType=global quantity\nTarget=kdeg\n"
            "Expression=growth*2 + tiny\n"
            "Rule=rate\nTargetType=volume\nTarget=cytosol\nExpression=growth*cytosol\n"
            "Rule=initial assignment\nTargetType=metabolite\nTarget=S\n"
            "Expression=kdeg*X/mitochondrion\n"
            "Rule=assignment\nTargetType=metabolite\nTarget=Q\n"
            "Expression=atanh(0.5)*time+avogadro*kdeg\n");

  Document read;
  RecordingSink sink;
  ASSERT_EQ(Parse(text, read, sink), 0) << ::testing::PrintToString(sink.Texts());
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.model.globalQuantities, written.model.globalQuantities);
  EXPECT_EQ(read.model.rules, written.model.rules);
  EXPECT_EQ(ModelFileText(read, catalogue_), text);

  // The old file reads without them, also with blank lines after its end.
  Document plain;
  ASSERT_EQ(Parse(old + "\n\n", plain, sink), 0);
  EXPECT_TRUE(plain.model.globalQuantities.empty());
  EXPECT_TRUE(plain.model.rules.empty());
}

// An algebraic rule is stored like the others, with the target it
// determines, and reads back the same, byte for byte.
TEST_F(RulesSections, AnAlgebraicRuleRoundTripsWithItsTarget) {
  Document written = WithRules(catalogue_);
  written.model.rules.push_back(Rule{RuleKind::kAlgebraic,
                                     RuleTarget{RuleTargetKind::kGlobalQuantity, "growth", {}},
                                     "kdeg + growth - 1"});
  const std::string text = ModelFileText(written, catalogue_);
  const std::string without = ModelFileText(WithRules(catalogue_), catalogue_);
  const std::string record =
      "Rule=algebraic\nTargetType=global quantity\nTarget=growth\nExpression=kdeg + growth - 1\n";
  EXPECT_NE(text.find("Rules\nItems=5\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with(record)) << text;
  EXPECT_EQ(text.substr(0, text.size() - record.size()),
            std::regex_replace(without, std::regex("Rules\nItems=4\n"), "Rules\nItems=5\n"));

  Document read;
  RecordingSink sink;
  ASSERT_EQ(Parse(text, read, sink), 0) << ::testing::PrintToString(sink.Texts());
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.model.rules, written.model.rules);
  EXPECT_EQ(ModelFileText(read, catalogue_), text);
}

// A delay is part of a rule's expression and reads back the same, byte for
// byte.
TEST_F(RulesSections, ADelayRoundTripsInItsRule) {
  Document written = WithRules(catalogue_);
  written.model.globalQuantities.push_back({"lagged", 0.0});
  written.model.rules.push_back(Rule{RuleKind::kAssignment,
                                     RuleTarget{RuleTargetKind::kGlobalQuantity, "lagged", {}},
                                     "delay(kdeg*S, 0.5 + tiny) + delay(delay(time, 1), kdeg)"});
  const std::string text = ModelFileText(written, catalogue_);
  Document read;
  RecordingSink sink;
  ASSERT_EQ(Parse(text, read, sink), 0) << ::testing::PrintToString(sink.Texts());
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.model.rules, written.model.rules);
  EXPECT_EQ(ModelFileText(read, catalogue_), text);
}

// A stoichiometry target names its step and, on a line of its own after
// the target, its metabolite; the file reads back to the same rules and the
// same bytes, and one that names a metabolite the step lacks stops the load.
TEST_F(RulesSections, StoichiometryTargetsRoundTripWithTheirMetabolite) {
  Document written = WithRules(catalogue_);
  written.model.rules.push_back(
      Rule{RuleKind::kRate, RuleTarget{RuleTargetKind::kStoichiometry, "cat", "P"}, "kdeg"});
  written.model.rules.push_back(Rule{RuleKind::kInitialAssignment,
                                     RuleTarget{RuleTargetKind::kStoichiometry, "leak", "S"},
                                     "-2*growth"});
  // As the rules dialog's commit does: the rules leave no conservation relation.
  StructuralAnalysis(written.model);
  const std::string text = ModelFileText(written, catalogue_);
  const std::string records =
      "Rule=rate\nTargetType=stoichiometry\nTarget=cat\nMetabolite=P\nExpression=kdeg\n"
      "Rule=initial assignment\nTargetType=stoichiometry\nTarget=leak\nMetabolite=S\n"
      "Expression=-2*growth\n";
  ASSERT_GE(text.size(), records.size());
  EXPECT_EQ(text.substr(text.size() - records.size()), records);
  EXPECT_NE(text.find("Rules\nItems=6\n"), std::string::npos);

  Document read;
  RecordingSink sink;
  ASSERT_EQ(Parse(text, read, sink), 0) << ::testing::PrintToString(sink.Texts());
  EXPECT_EQ(read.model.rules, written.model.rules);
  EXPECT_EQ(ModelFileText(read, catalogue_), text);

  std::string wrong = text;
  wrong.replace(wrong.rfind("Metabolite=S"), 12, "Metabolite=E");
  Document refused;
  RecordingSink refusals;
  EXPECT_NE(Parse(wrong, refused, refusals), 0);
  const std::string messages = ::testing::PrintToString(refusals.Texts());
  EXPECT_NE(messages.find("leak:E"), std::string::npos) << messages;
}

struct BadCase {
  const char* line;  // the line to replace, by its start
  const char* with;
  const char* failing;  // the line the error names, by its start
  std::string message;
};

class BadRulesSection : public RulesSections, public ::testing::WithParamInterface<BadCase> {};

// A bad record or rule stops the load with an error that names its line,
// and the document is left new.
TEST_P(BadRulesSection, StopsTheLoadNamingTheLine) {
  const std::string good = ModelFileText(WithRules(catalogue_), catalogue_);
  std::vector<std::string> lines = SplitLines(good);
  int replaced = 0, failing = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (replaced == 0 && lines[i].rfind(GetParam().line, 0) == 0) {
      lines[i] = GetParam().with;
      replaced = static_cast<int>(i) + 1;
    }
  }
  ASSERT_NE(replaced, 0);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (failing == 0 && lines[i].rfind(GetParam().failing, 0) == 0)
      failing = static_cast<int>(i) + 1;
  }
  ASSERT_NE(failing, 0);
  Document document;
  RecordingSink sink;
  EXPECT_EQ(Parse(test::JoinLines(lines), document, sink), failing);
  std::string expected = GetParam().message;
  const std::size_t at = expected.find("%d");
  if (at != std::string::npos) expected.replace(at, 2, std::to_string(failing));
  EXPECT_TRUE(sink.Said(expected)) << ::testing::PrintToString(sink.Texts());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadRulesSection,
    ::testing::Values(
        BadCase{"Expression=growth*cytosol", "Expression=growth*(cytosol", "Rule=rate",
                "Error in the rule at line %d: The rate rule for cytosol: Syntax error at "
                "character 8 of the expression.\nLoading aborted."},
        BadCase{"Expression=growth*2", "Expression=growth*2+Km", "Rule=assignment",
                "Error in the rule at line %d: The assignment rule for kdeg: Km at character 10 "
                "is not a metabolite, compartment or global quantity of the model.\nLoading "
                "aborted."},
        BadCase{"Expression=growth*2", "Expression=Q", "Rule=assignment",
                "Error in the rule at line %d: The assignment rules for kdeg and Q depend on "
                "each other in a cycle: kdeg reads Q and Q reads kdeg.\nLoading aborted."},
        BadCase{"Target=S", "Target=Q", "Rule=initial assignment",
                "Error in the rule at line %d: Q has an assignment rule and an initial "
                "assignment; the assignment rule gives its value at time 0 as well.\nLoading "
                "aborted."},
        BadCase{"Rule=rate", "Rule=ratio", "Rule=ratio",
                "Error: the file specifies an unknown kind of rule at line %d.\nLoading "
                "aborted."},
        BadCase{"TargetType=volume", "TargetType=area", "TargetType=area",
                "Error: the file specifies an unknown kind of rule target at line %d.\nLoading "
                "aborted."},
        BadCase{"Quantity=growth", "Quantity=S", "Quantity=S",
                "Error: the global quantity at line %d cannot be read: The name S is already in "
                "use by a metabolite.\nLoading aborted."},
        BadCase{"Value=1.000000e-01", "Value=fast", "Value=fast",
                "Failed to read one or more fields at line %d"}));

// A bad count is the top level's: "Error in line" with the count's line.
TEST_F(RulesSections, BadCountFailsAtItsLine) {
  std::string text = ModelFileText(WithRules(catalogue_), catalogue_);
  const std::size_t at = text.find("Global quantities\nItems=3\n");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 27, "Global quantities\nItems=-3\n");
  const int line = static_cast<int>(std::count(text.begin(), text.begin() + at, '\n')) + 2;
  Document document;
  RecordingSink sink;
  EXPECT_EQ(Parse(text, document, sink), line);
  EXPECT_TRUE(sink.Said("Error in line " + std::to_string(line)));
}

}  // namespace
}  // namespace vireon
