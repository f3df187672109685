#pragma once
// The events of a model checked as a whole and their texts read.
//
// What must hold:
//   - names are not empty and no two events share one;
//   - the trigger is given, and the trigger, the delay and the priority
//     (when given) and every assignment's expression read and resolve as a
//     rule's expression does (rules/rule_expression.h);
//   - every assignment's target exists, no event sets one target twice, and
//     no target follows an assignment rule, which gives its value at every
//     moment and leaves nothing for an event to change.

#include <string>
#include <vector>

#include "model/event.h"
#include "rules/rule_expression.h"

namespace vireon {

class Model;

// One event read and resolved. An empty delay or priority has no nodes.
struct ReadEvent {
  RuleExpression trigger, delay, priority;
  std::vector<RuleExpression> assignments;
  // Each assignment's target: its index in its kind's list of the model
  // (a kinetic constant's step), and a kinetic constant's place in the
  // step's list (-1 for the other kinds).
  std::vector<int> targets, constants;
  // Whether an expression reads the rate of change of a metabolite that
  // the steps change: the engine then gives it the steps' rates.
  bool readsStepRates = false;
};

// The first thing found wrong with a model's events.
struct EventsCheck {
  int event = -1;  // the event at fault, -1 when all is well
  std::string message;
  bool ok() const { return event < 0; }
};

// Checks every event of the model; when all is well and `read` is given,
// fills it with one entry per event, in the model's order.
EventsCheck CheckEvents(const Model& model, std::vector<ReadEvent>* read = nullptr);

}  // namespace vireon
