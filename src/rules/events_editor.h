#pragma once
// The rules of the "Events" dialog: the model's events listed, added,
// changed and deleted on a working copy. An event is taken into the list
// only when its name is given, one line and its own, its trigger reads and
// resolves, its delay and priority read when given, and every assignment's
// target exists and its expression reads; then the events as a whole pass
// their check (rules/event_check.h). A refusal names the field at fault,
// and for an expression the position and the name.

#include <cstddef>
#include <string>
#include <vector>

#include "model/message_sink.h"
#include "model/model.h"
#include "model/working_copy.h"

namespace vireon {

// One assignment as the dialog's fields hold it. For a kinetic-constant
// target, target is the step and constant the constant's name in its
// kinetic type; the other targets leave constant empty (it is ignored).
struct EventAssignmentForm {
  RuleTargetKind targetKind = RuleTargetKind::kMetabolite;
  std::string target;
  std::string constant;
  std::string expression;  // line breaks are taken as blanks
  bool amount = false;     // a metabolite's amount (model/event.h), kept as it was
  bool operator==(const EventAssignmentForm&) const = default;
};

// One event as the dialog's fields hold it; the flags as in model/event.h.
// Line breaks in the texts are taken as blanks.
struct EventForm {
  std::string name;
  std::string trigger;
  std::string delay;     // empty: none
  std::string priority;  // empty: none
  bool initialValue = true;
  bool persistent = true;
  bool useValuesFromTriggerTime = true;
  std::vector<EventAssignmentForm> assignments;
  bool operator==(const EventForm&) const = default;
};

// The form's assignment to the same target as `assignment` takes its
// expression, or the assignment is appended when there is none; returns its
// place in the list.
int SetAssignment(EventForm& form, const EventAssignmentForm& assignment);
// False when there is no such assignment.
bool RemoveAssignment(EventForm& form, int index);

// Where a form is at fault. kAssignmentTarget and kAssignmentExpression
// come with the assignment; kEvents is a fault of the events as a whole
// (one target set twice, a target an assignment rule gives).
enum class EventField {
  kNone,
  kName,
  kTrigger,
  kDelay,
  kPriority,
  kAssignmentTarget,
  kAssignmentExpression,
  kEvents,
};

// What is wrong with a form; field kNone when nothing is. For a fault in
// an expression, position is the offset of the character at fault and name
// the name that does not resolve (empty for a syntax error).
struct EventFormCheck {
  EventField field = EventField::kNone;
  int assignment = -1;
  std::size_t position = 0;
  std::string name;
  std::string message;
  bool ok() const { return field == EventField::kNone; }
};

class EventsEditor {
 public:
  explicit EventsEditor(const Model& document);

  const std::vector<Event>& events() const { return working_.events; }
  // The fields of event index (an empty form when there is none).
  EventForm FormOf(int index) const;
  // The names an assignment's target of that kind may take, in the
  // model's order: every global quantity, compartment and metabolite, and
  // the steps whose kinetic type has constants; none for a stoichiometry,
  // which an event cannot set.
  std::vector<std::string> TargetNames(RuleTargetKind kind) const;
  // The names of the constants of the named step's kinetic type, in the
  // type's order; empty for a step that has none or no such step.
  std::vector<std::string> ConstantNames(const std::string& step) const;

  // What Add (index -1) or Change (index) would find wrong with form, the
  // other events as they stand.
  EventFormCheck Check(const EventForm& form, int index = -1) const;
  // Appends the event, or replaces event index by it, when Check passes;
  // otherwise warns with the check's message and changes nothing.
  bool Add(const EventForm& form, MessageSink& sink);
  bool Change(int index, const EventForm& form, MessageSink& sink);
  // False when there is no such event.
  bool Delete(int index);
  // The check of the last refused Add or Change.
  const EventFormCheck& lastRefusal() const { return lastRefusal_; }

  // OK: the list replaces the document's events, when they still check
  // against the document (warned about and false otherwise); then analyse
  // runs.
  bool Commit(Model& document, MessageSink& sink, const ModelHook& analyse);

 private:
  bool Apply(int index, const EventForm& form, MessageSink& sink);

  Model working_;
  EventFormCheck lastRefusal_;
};

}  // namespace vireon
