#include "rules/events_editor.h"

#include <algorithm>

#include "kinetics/kinetic_type.h"
#include "model/model_name_index.h"
#include "rules/event_check.h"
#include "rules/rule_expression.h"
#include "rules/rule_order.h"

namespace vireon {

namespace {

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A blank text counts as none: the delay and the priority may be left so.
bool Blank(const std::string& text) {
  return text.find_first_not_of(" \t") == std::string::npos;
}

RuleTarget TargetOf(const EventAssignmentForm& form) {
  return RuleTarget{form.targetKind, form.target,
                    HasSecondName(form.targetKind) ? form.constant : std::string()};
}

Event EventOf(const EventForm& form) {
  Event event;
  event.name = Trimmed(OneLine(form.name));
  event.trigger = OneLine(form.trigger);
  // A blank delay or priority is none, as the model file keeps it: empty.
  event.delay = Blank(form.delay) ? std::string() : OneLine(form.delay);
  event.priority = Blank(form.priority) ? std::string() : OneLine(form.priority);
  event.initialValue = form.initialValue;
  event.persistent = form.persistent;
  event.useValuesFromTriggerTime = form.useValuesFromTriggerTime;
  for (const EventAssignmentForm& assignment : form.assignments) {
    event.assignments.push_back({TargetOf(assignment), OneLine(assignment.expression),
                                 assignment.amount && assignment.targetKind == RuleTargetKind::kMetabolite});
  }
  return event;
}

EventFormCheck Refusal(EventField field, std::string message, int assignment = -1) {
  EventFormCheck check;
  check.field = field;
  check.assignment = assignment;
  check.message = std::move(message);
  return check;
}

}  // namespace

int SetAssignment(EventForm& form, const EventAssignmentForm& assignment) {
  const RuleTarget target = TargetOf(assignment);
  for (std::size_t a = 0; a < form.assignments.size(); ++a) {
    if (TargetOf(form.assignments[a]) == target) {
      form.assignments[a].expression = assignment.expression;
      return static_cast<int>(a);
    }
  }
  form.assignments.push_back(assignment);
  if (!HasSecondName(assignment.targetKind)) form.assignments.back().constant.clear();
  return static_cast<int>(form.assignments.size()) - 1;
}

bool RemoveAssignment(EventForm& form, int index) {
  if (index < 0 || index >= static_cast<int>(form.assignments.size())) return false;
  form.assignments.erase(form.assignments.begin() + index);
  return true;
}

EventsEditor::EventsEditor(const Model& document) : working_(document) {}

EventForm EventsEditor::FormOf(int index) const {
  if (index < 0 || index >= static_cast<int>(working_.events.size())) return {};
  const Event& event = working_.events[static_cast<std::size_t>(index)];
  EventForm form{event.name,
                 event.trigger,
                 event.delay,
                 event.priority,
                 event.initialValue,
                 event.persistent,
                 event.useValuesFromTriggerTime,
                 {}};
  for (const EventAssignment& assignment : event.assignments) {
    form.assignments.push_back({assignment.target.kind, assignment.target.name,
                                assignment.target.constant, assignment.expression,
                                assignment.amount});
  }
  return form;
}

std::vector<std::string> EventsEditor::TargetNames(RuleTargetKind kind) const {
  std::vector<std::string> names;
  const auto add = [&names](const auto& records) {
    for (const auto& record : records) names.push_back(record.name);
  };
  switch (kind) {
    case RuleTargetKind::kGlobalQuantity:
      add(working_.globalQuantities);
      break;
    case RuleTargetKind::kCompartmentVolume:
      add(working_.compartments);
      break;
    case RuleTargetKind::kMetabolite:
      // An event changes a metabolite the steps change as well: a dose.
      add(working_.metabolites);
      break;
    case RuleTargetKind::kKineticConstant:
      for (const Step& step : working_.steps) {
        if (!ConstantNames(step.name).empty()) names.push_back(step.name);
      }
      break;
    case RuleTargetKind::kStoichiometry:
      break;
  }
  return names;
}

std::vector<std::string> EventsEditor::ConstantNames(const std::string& step) const {
  const int s = working_.FindStep(step);
  if (s < 0) return {};
  const Step& record = working_.steps[static_cast<std::size_t>(s)];
  if (record.kineticType == nullptr) return {};
  std::vector<std::string> names = record.kineticType->constantNames;
  // The step's own list is what an assignment can reach (rules/rule_order.cpp).
  if (static_cast<int>(names.size()) > record.ConstantCount()) {
    names.resize(static_cast<std::size_t>(record.ConstantCount()));
  }
  return names;
}

// The fields in the order of the dialog, each on its own, then the events
// as a whole with this one in its place.
EventFormCheck EventsEditor::Check(const EventForm& form, int index) const {
  const Event event = EventOf(form);
  if (event.name.empty()) return Refusal(EventField::kName, "Please give the event a name.");
  for (std::size_t e = 0; e < working_.events.size(); ++e) {
    if (static_cast<int>(e) != index && working_.events[e].name == event.name) {
      return Refusal(EventField::kName, "The name " + event.name +
                                            " is already in use by another event.\nPlease "
                                            "give the event another name.");
    }
  }
  const ModelNameIndex names(working_);
  const auto read = [&](const std::string& text, EventField field, const std::string& what,
                        int assignment = -1) {
    RuleExpression expression;
    const ExpressionProblem problem = ReadRuleExpression(text, names, expression);
    if (problem.ok()) return EventFormCheck();
    EventFormCheck check = Refusal(
        field, "The " + what + " of the event " + event.name + ": " + problem.message, assignment);
    check.position = problem.position;
    check.name = problem.name;
    return check;
  };
  if (Blank(event.trigger)) {
    return Refusal(EventField::kTrigger, "The event " + event.name +
                                             " needs a trigger: a condition such as "
                                             "geq(time, 10).");
  }
  EventFormCheck check = read(event.trigger, EventField::kTrigger, "trigger");
  if (!check.ok()) return check;
  if (!event.delay.empty()) check = read(event.delay, EventField::kDelay, "delay");
  if (!check.ok()) return check;
  if (!event.priority.empty()) check = read(event.priority, EventField::kPriority, "priority");
  if (!check.ok()) return check;
  for (std::size_t a = 0; a < event.assignments.size(); ++a) {
    const EventAssignment& assignment = event.assignments[a];
    const int at = static_cast<int>(a);
    const std::string title = RuleTargetTitle(assignment.target);
    int constant = 0;
    const int target = FindRuleTarget(names, assignment.target);
    if (target >= 0 && assignment.target.kind == RuleTargetKind::kKineticConstant) {
      constant = FindKineticConstant(working_.steps[static_cast<std::size_t>(target)],
                                     assignment.target.constant);
    }
    if (target < 0 || constant < 0) {
      return Refusal(EventField::kAssignmentTarget,
                     "The target " + title + " of an assignment of the event " + event.name +
                         " is not a " + RuleTargetKindWord(assignment.target.kind) +
                         " of the model.",
                     at);
    }
    if (Blank(assignment.expression)) {
      return Refusal(
          EventField::kAssignmentExpression,
          "The assignment to " + title + " of the event " + event.name + " needs an expression.",
          at);
    }
    check = read(assignment.expression, EventField::kAssignmentExpression, "assignment to " + title,
                 at);
    if (!check.ok()) return check;
  }
  Model candidate = working_;
  if (index >= 0 && index < static_cast<int>(candidate.events.size())) {
    candidate.events[static_cast<std::size_t>(index)] = event;
  } else {
    candidate.events.push_back(event);
  }
  const EventsCheck events = CheckEvents(candidate);
  if (!events.ok()) return Refusal(EventField::kEvents, events.message);
  return {};
}

bool EventsEditor::Apply(int index, const EventForm& form, MessageSink& sink) {
  lastRefusal_ = Check(form, index);
  if (!lastRefusal_.ok()) {
    sink.Warning("", lastRefusal_.message);
    return false;
  }
  Event event = EventOf(form);
  if (index >= 0) {
    working_.events[static_cast<std::size_t>(index)] = std::move(event);
  } else {
    working_.events.push_back(std::move(event));
  }
  return true;
}

bool EventsEditor::Add(const EventForm& form, MessageSink& sink) {
  return Apply(-1, form, sink);
}

bool EventsEditor::Change(int index, const EventForm& form, MessageSink& sink) {
  if (index < 0 || index >= static_cast<int>(working_.events.size())) return false;
  return Apply(index, form, sink);
}

bool EventsEditor::Delete(int index) {
  if (index < 0 || index >= static_cast<int>(working_.events.size())) return false;
  working_.events.erase(working_.events.begin() + index);
  return true;
}

bool EventsEditor::Commit(Model& document, MessageSink& sink, const ModelHook& analyse) {
  Model candidate = document;
  candidate.events = working_.events;
  const EventsCheck check = CheckEvents(candidate);
  if (!check.ok()) {
    sink.Warning("", check.message);
    return false;
  }
  document.events = working_.events;
  if (analyse) analyse(document);
  return true;
}

}  // namespace vireon
