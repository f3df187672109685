#include "rules/events_editor.h"

#include <gtest/gtest.h>

#include "rules/event_check.h"
#include "rules_test_model.h"

namespace vireon {
namespace {

using test::Assignment;
using test::RulesTestModel;

EventAssignmentForm SetTo(const std::string& target, const std::string& expression,
                          RuleTargetKind kind = RuleTargetKind::kGlobalQuantity) {
  return EventAssignmentForm{kind, target, "", expression};
}

EventForm Dose(const std::string& name = "dose") {
  EventForm form;
  form.name = name;
  form.trigger = "geq(time, 10)";
  form.assignments = {SetTo("S", "S + 5", RuleTargetKind::kMetabolite)};
  return form;
}

// Each field is checked on its own, in the order of the dialog, and a
// refusal names it (and, in an expression, the position and the name) and
// leaves the list as it was; an event that passes keeps its texts on one
// line, a blank delay or priority as none, and its flags.
TEST(EventsEditor, RefusesEachFieldByNameAndPosition) {
  const Model document = RulesTestModel();
  EventsEditor editor(document);
  RecordingSink sink;
  struct Case {
    EventForm form;
    EventField field;
    int assignment;
    std::size_t position;
    std::string name;
  };
  std::vector<Case> cases;
  const auto with = [](auto change) {
    EventForm form = Dose();
    change(form);
    return form;
  };
  cases.push_back({with([](EventForm& f) { f.name = "  "; }), EventField::kName, -1, 0, ""});
  cases.push_back({with([](EventForm& f) { f.trigger = " "; }), EventField::kTrigger, -1, 0, ""});
  cases.push_back({with([](EventForm& f) { f.trigger = "gt(S, limit)"; }), EventField::kTrigger, -1,
                   6, "limit"});
  cases.push_back({with([](EventForm& f) { f.delay = "2*(k"; }), EventField::kDelay, -1, 2, ""});
  cases.push_back(
      {with([](EventForm& f) { f.priority = "kk"; }), EventField::kPriority, -1, 0, "kk"});
  cases.push_back({with([](EventForm& f) { f.assignments.push_back(SetTo("nothing", "1")); }),
                   EventField::kAssignmentTarget, 1, 0, ""});
  cases.push_back({with([](EventForm& f) { f.assignments.push_back(SetTo("a", " ")); }),
                   EventField::kAssignmentExpression, 1, 0, ""});
  cases.push_back({with([](EventForm& f) { f.assignments.push_back(SetTo("a", "a + b2")); }),
                   EventField::kAssignmentExpression, 1, 4, "b2"});
  // One target twice is a fault of the event as a whole.
  cases.push_back({with([](EventForm& f) {
                     f.assignments.push_back(SetTo("S", "0", RuleTargetKind::kMetabolite));
                   }),
                   EventField::kEvents, -1, 0, ""});
  for (const Case& c : cases) {
    const EventFormCheck check = editor.Check(c.form);
    EXPECT_EQ(check.field, c.field) << c.form.trigger << " " << check.message;
    EXPECT_EQ(check.assignment, c.assignment) << check.message;
    EXPECT_EQ(check.position, c.position) << check.message;
    EXPECT_EQ(check.name, c.name) << check.message;
    EXPECT_FALSE(check.message.empty());
    EXPECT_FALSE(editor.Add(c.form, sink));
    EXPECT_TRUE(sink.Said(check.message));
  }
  EXPECT_TRUE(editor.events().empty());

  EventForm late = Dose(" late ");
  late.trigger = "and(gt(time, 1),\r\nlt(S, 2))";
  late.delay = "  ";
  late.priority = "k";
  late.initialValue = late.persistent = late.useValuesFromTriggerTime = false;
  ASSERT_TRUE(editor.Add(late, sink));
  const Event& taken = editor.events().at(0);
  EXPECT_EQ(taken.name, "late");
  EXPECT_EQ(taken.trigger, "and(gt(time, 1),  lt(S, 2))");
  EXPECT_EQ(taken.delay, "");
  EXPECT_EQ(taken.priority, "k");
  EXPECT_FALSE(taken.initialValue || taken.persistent || taken.useValuesFromTriggerTime);
  EXPECT_EQ(editor.FormOf(0).assignments, late.assignments);
}

// Names are the events' own: a second event of one name is refused, a
// change may keep its own. Whatever the editor takes passes the check the
// model file and the run make; OK hands the list over and runs the
// analysis, unless a rule the document has since gained breaks it.
TEST(EventsEditor, KeepsNamesUniqueAndCommitsOnlyWhatTheRunAccepts) {
  Model document = RulesTestModel();
  EventsEditor editor(document);
  RecordingSink sink;
  ASSERT_TRUE(editor.Add(Dose(), sink));
  EXPECT_FALSE(editor.Add(Dose(), sink));
  EXPECT_EQ(editor.lastRefusal().field, EventField::kName);
  EventForm changed = Dose();
  changed.assignments.push_back(SetTo("a", "a + 1"));
  ASSERT_TRUE(editor.Change(0, changed, sink));
  EventForm other = Dose("other");
  other.assignments = {SetTo("cell", "cell*2", RuleTargetKind::kCompartmentVolume)};
  ASSERT_TRUE(editor.Add(other, sink));
  EXPECT_FALSE(editor.Change(1, Dose("dose"), sink));
  EXPECT_FALSE(editor.Change(7, Dose("x"), sink));

  Model candidate = document;
  candidate.events = editor.events();
  EXPECT_TRUE(CheckEvents(candidate).ok()) << CheckEvents(candidate).message;
  EXPECT_TRUE(document.events.empty());  // nothing before OK

  // An assignment rule on a now gives a, which no event may then set.
  Model ruled = document;
  ruled.rules = {Assignment("a", "k*2")};
  EXPECT_FALSE(editor.Commit(ruled, sink, {}));
  EXPECT_TRUE(ruled.events.empty());

  int analysed = 0;
  ASSERT_TRUE(editor.Commit(document, sink, [&analysed](Model&) { ++analysed; }));
  EXPECT_EQ(document.events, editor.events());
  EXPECT_EQ(analysed, 1);
  EXPECT_TRUE(editor.Delete(0));
  EXPECT_FALSE(editor.Delete(3));
  EXPECT_EQ(editor.events().size(), 1u);
}

// The assignments of a form: one per target, a second for the same target
// replacing the first's expression; the targets an event may set are every
// quantity, compartment and metabolite, never a stoichiometry.
TEST(EventsEditor, AssignmentsAreOnePerTarget) {
  EventForm form;
  EXPECT_EQ(SetAssignment(form, SetTo("a", "1")), 0);
  EXPECT_EQ(SetAssignment(form, SetTo("S", "0", RuleTargetKind::kMetabolite)), 1);
  EXPECT_EQ(SetAssignment(form, SetTo("a", "2")), 0);
  ASSERT_EQ(form.assignments.size(), 2u);
  EXPECT_EQ(form.assignments[0].expression, "2");
  EXPECT_TRUE(RemoveAssignment(form, 0));
  EXPECT_FALSE(RemoveAssignment(form, 1));
  EXPECT_EQ(form.assignments.at(0).target, "S");

  const EventsEditor editor(RulesTestModel());
  EXPECT_EQ(editor.TargetNames(RuleTargetKind::kMetabolite), (std::vector<std::string>{"S", "P"}));
  EXPECT_EQ(editor.TargetNames(RuleTargetKind::kCompartmentVolume),
            (std::vector<std::string>{"cell"}));
  EXPECT_TRUE(editor.TargetNames(RuleTargetKind::kStoichiometry).empty());
}

}  // namespace
}  // namespace vireon
