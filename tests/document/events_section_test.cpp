#include "document/events_section.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/model_file.h"
#include "document/rules_sections.h"
#include "support/default_values.h"
#include "support/document_fixtures.h"
#include "support/files.h"

namespace vireon {
namespace {

using test::FillCatalogue;
using test::MakeRichDocument;
using test::SplitLines;

// The rich document with one quantity and two events: a dose with no
// delay, and a delayed, prioritised, non-persistent event on a volume and
// a quantity, and an amount it sets.
Document WithEvents(const KineticCatalogue& catalogue) {
  Document d = MakeRichDocument(catalogue);
  d.model.globalQuantities = {{"count", 0.0}};
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, 10)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "S", {}}, "S + 5"}};
  Event late;
  late.name = "late";
  late.trigger = "and(lt(S, 1), gt(time, 2))";
  late.delay = "count/2 + 1";
  late.priority = "3";
  late.initialValue = false;
  late.persistent = false;
  late.useValuesFromTriggerTime = false;
  late.assignments = {{{RuleTargetKind::kCompartmentVolume, "cytosol", {}}, "cytosol*2"},
                      {{RuleTargetKind::kGlobalQuantity, "count", {}}, "count + 1"},
                      {{RuleTargetKind::kMetabolite, "S", {}}, "2*count", true}};
  d.model.events = {dose, late};
  return d;
}

class EventsSection : public ::testing::Test {
 protected:
  void SetUp() override { FillCatalogue(catalogue_); }

  int Parse(const std::string& text, Document& document, RecordingSink& sink) {
    NewDocument(document, DefaultValues());
    return ParseModelBuffer(document, text, catalogue_, DefaultValues(), sink);
  }

  KineticCatalogue catalogue_;
};

// Write, read, write: the same bytes and the same events, after the rules
// section, which a model with events but no rules has empty.
TEST_F(EventsSection, RoundTripGivesTheSameBytesAfterTheRules) {
  const Document written = WithEvents(catalogue_);
  const std::string text = ModelFileText(written, catalogue_);
  const std::string old = ModelFileText(MakeRichDocument(catalogue_), catalogue_);
  ASSERT_EQ(text.compare(0, old.size(), old), 0);
  EXPECT_EQ(text.substr(old.size()),
            "Global quantities\nItems=1\nQuantity=count\nValue=0.000000e+00\n"
            "Rules\nItems=0\n"
            "Events\nItems=2\n"
            "Event=dose\nTrigger=geq(time, 10)\nDelay=\nPriority=\n"
            "InitialValue=1\nPersistent=1\nTriggerTimeValues=1\nAssignments=1\n"
            "TargetType=metabolite\nTarget=S\nExpression=S + 5\n"
            "Event=late\nTrigger=and(lt(S, 1), gt(time, 2))\nDelay=count/2 + 1\nPriority=3\n"
            "InitialValue=0\nPersistent=0\nTriggerTimeValues=0\nAssignments=3\n"
            "TargetType=volume\nTarget=cytosol\nExpression=cytosol*2\n"
            "TargetType=global quantity\nTarget=count\nExpression=count + 1\n"
            "TargetType=metabolite amount\nTarget=S\nExpression=2*count\n");
  Document read;
  RecordingSink sink;
  ASSERT_EQ(Parse(text, read, sink), 0) << ::testing::PrintToString(sink.Texts());
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.model.events, written.model.events);
  EXPECT_EQ(ModelFileText(read, catalogue_), text);

  // A file without events reads without them.
  Document plain;
  ASSERT_EQ(Parse(old, plain, sink), 0);
  EXPECT_TRUE(plain.model.events.empty());
}

// The time course's rows at the events: a line at the file's end only when
// on, read back on, with or without events; off, the file is as before.
TEST_F(EventsSection, EventRowsAreALastLineOnlyWhenOn) {
  for (const bool events : {true, false}) {
    Document written = events ? WithEvents(catalogue_) : MakeRichDocument(catalogue_);
    const std::string off = ModelFileText(written, catalogue_);
    EXPECT_EQ(off.find("DynEventRows"), std::string::npos);
    written.settings.eventRows = 1;
    const std::string on = ModelFileText(written, catalogue_);
    EXPECT_EQ(on, off + "DynEventRows=1\n");
    Document read;
    RecordingSink sink;
    ASSERT_EQ(Parse(on, read, sink), 0) << ::testing::PrintToString(sink.Texts());
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_EQ(read.settings.eventRows, 1);
    EXPECT_EQ(read.model.events, written.model.events);
    EXPECT_EQ(ModelFileText(read, catalogue_), on);
    ASSERT_EQ(Parse(off, read, sink), 0);
    EXPECT_EQ(read.settings.eventRows, 0);
  }
}

// The Jacobian from the laws and the sparse factorisation: last lines
// only when on, after the rows at the events, read back as written.
TEST_F(EventsSection, NumericalMethodChoicesAreLastLinesOnlyWhenOn) {
  Document written = MakeRichDocument(catalogue_);
  const std::string off = ModelFileText(written, catalogue_);
  EXPECT_EQ(off.find("AnalyticJacobian"), std::string::npos);
  EXPECT_EQ(off.find("SparseFactorisation"), std::string::npos);
  written.settings.eventRows = 1;
  written.settings.solver.analyticJacobian = 1;
  written.settings.solver.sparseFactorisation = 1;
  const std::string on = ModelFileText(written, catalogue_);
  EXPECT_EQ(on, off + "DynEventRows=1\nAnalyticJacobian=1\nSparseFactorisation=1\n");
  Document read;
  RecordingSink sink;
  ASSERT_EQ(Parse(on, read, sink), 0) << ::testing::PrintToString(sink.Texts());
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(read.settings.solver, written.settings.solver);
  EXPECT_EQ(ModelFileText(read, catalogue_), on);
  written.settings.eventRows = 0;
  written.settings.solver.sparseFactorisation = 0;
  const std::string one = ModelFileText(written, catalogue_);
  EXPECT_EQ(one, off + "AnalyticJacobian=1\n");
  ASSERT_EQ(Parse(one, read, sink), 0);
  EXPECT_EQ(read.settings.solver.analyticJacobian, 1);
  EXPECT_EQ(read.settings.solver.sparseFactorisation, 0);
  ASSERT_EQ(Parse(off, read, sink), 0);
  EXPECT_EQ(read.settings.solver.analyticJacobian, 0);
}

struct BadCase {
  const char* line;  // the line to replace, by its start
  const char* with;
  const char* failing;  // the line the error names, by its start
  std::string message;
};

class BadEventsSection : public EventsSection, public ::testing::WithParamInterface<BadCase> {};

// A bad event stops the load with an error that names its line.
TEST_P(BadEventsSection, StopsTheLoadNamingTheLine) {
  std::vector<std::string> lines = SplitLines(ModelFileText(WithEvents(catalogue_), catalogue_));
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
    Faults, BadEventsSection,
    ::testing::Values(
        BadCase{"Trigger=geq", "Trigger=geq(time, 10", "Event=dose",
                "Error in the event at line %d: The trigger of the event dose: Syntax error at "
                "character 4 of the expression.\nLoading aborted."},
        BadCase{"Expression=S + 5", "Expression=S + Vmax", "Event=dose",
                "Error in the event at line %d: The assignment to S of the event dose: Vmax at "
                "character 5 is not a metabolite, compartment or global quantity of the "
                "model.\nLoading aborted."},
        BadCase{"Target=count", "Target=counter", "Event=late",
                "Error in the event at line %d: The target counter of an assignment of the "
                "event late is not a global quantity of the model.\nLoading aborted."},
        BadCase{"TargetType=volume", "TargetType=area", "TargetType=area",
                "Error: the file specifies an unknown kind of event target at line "
                "%d.\nLoading aborted."}));

}  // namespace
}  // namespace vireon
