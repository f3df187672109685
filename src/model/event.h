#pragma once
// Events: discrete changes of the model's quantities at the moments a
// condition becomes true. The model keeps an event as texts in the
// rate-law dialect (its trigger, its delay, its priority and the expression
// of each assignment) and its flags; reading the texts and resolving their
// names is the work of src/rules, executing them the engine's.
//
// An event fires when its trigger goes from false to true. Its assignments
// are carried out at once or, with a delay, that much later; their values
// are computed when it fires or when they are carried out. Events carried
// out at one moment go in the order of their priorities, the highest first.

#include <string>
#include <vector>

#include "model/rule.h"

namespace vireon {

// One assignment of an event: the target, as for rules, takes the
// expression's value.
struct EventAssignment {
  RuleTarget target;
  std::string expression;  // one line
  // For a metabolite: the expression gives its amount, not its
  // concentration, and the concentration is that amount over the volume
  // when the assignment is carried out. A delayed event whose values are
  // those of its trigger time needs this to set an amount in a compartment
  // whose volume changes meanwhile.
  bool amount = false;
  bool operator==(const EventAssignment&) const = default;
};

struct Event {
  std::string name = "event";
  std::string trigger;   // a condition: true where its value is not 0
  std::string delay;     // empty: the assignments are carried out when it fires
  std::string priority;  // empty: no priority (after every event with one)
  // The trigger's value just before time 0: with false, a trigger true at
  // time 0 fires the event at time 0.
  bool initialValue = true;
  // A delayed execution that is still pending goes ahead even if the
  // trigger has become false again; otherwise it is cancelled.
  bool persistent = true;
  // The assignments' values are those of the moment the event fires, not
  // of the moment they are carried out.
  bool useValuesFromTriggerTime = true;
  std::vector<EventAssignment> assignments;
  bool operator==(const Event&) const = default;
};

}  // namespace vireon
