#include "rules/event_check.h"

#include <algorithm>
#include <set>

#include "kinetics/kinetic_type.h"
#include "model/model.h"
#include "model/model_name_index.h"
#include "rules/rule_order.h"

namespace vireon {

namespace {

EventsCheck Fault(int event, std::string message) {
  return EventsCheck{event, std::move(message)};
}

int FindTarget(const Model& model, const ModelNameIndex& names, const RuleTarget& target,
               int& constant) {
  constant = -1;
  const int found = FindRuleTarget(names, target);
  if (found < 0 || target.kind != RuleTargetKind::kKineticConstant) return found;
  constant = FindKineticConstant(model.steps[static_cast<std::size_t>(found)], target.constant);
  return constant < 0 ? -1 : found;
}

}  // namespace

EventsCheck CheckEvents(const Model& model, std::vector<ReadEvent>* result) {
  const ModelNameIndex names(model);
  std::vector<ReadEvent> events(model.events.size());
  std::set<std::string> seen;
  // The targets of the assignment rules, which no event may set.
  std::set<std::pair<RuleTargetKind, std::pair<std::string, std::string>>> assigned;
  for (const Rule& rule : model.rules) {
    if (rule.kind == RuleKind::kAssignment) {
      assigned.insert({rule.target.kind, {rule.target.name, rule.target.constant}});
    }
  }
  for (std::size_t e = 0; e < model.events.size(); ++e) {
    const Event& event = model.events[e];
    const int at = static_cast<int>(e);
    if (event.name.empty())
      return Fault(at, "Event number " + std::to_string(e + 1) + " has no name.");
    if (!seen.insert(event.name).second)
      return Fault(at, "Two events are named " + event.name + ".");
    ReadEvent& read = events[e];
    const auto readText = [&](const std::string& text, const std::string& what,
                              RuleExpression& out) -> std::string {
      const ExpressionProblem problem = ReadRuleExpression(text, names, out);
      if (!problem.ok()) return "The " + what + " of the event " + event.name + ": " + problem.message;
      for (const RuleSymbol& symbol : out.symbols) {
        if (symbol.rate && symbol.kind == RuleSymbol::Kind::kMetabolite &&
            model.metabolites[static_cast<std::size_t>(symbol.index)].IsInternal()) {
          read.readsStepRates = true;
        }
      }
      return {};
    };
    if (event.trigger.empty()) return Fault(at, "The event " + event.name + " has no trigger.");
    std::string problem = readText(event.trigger, "trigger", read.trigger);
    if (problem.empty() && !event.delay.empty())
      problem = readText(event.delay, "delay", read.delay);
    if (problem.empty() && !event.priority.empty()) {
      problem = readText(event.priority, "priority", read.priority);
    }
    if (!problem.empty()) return Fault(at, problem);
    std::set<std::pair<RuleTargetKind, std::pair<std::string, std::string>>> targets;
    for (const EventAssignment& assignment : event.assignments) {
      if (assignment.target.kind == RuleTargetKind::kStoichiometry) {
        return Fault(at, "The event " + event.name + " sets the stoichiometry " +
                             RuleTargetTitle(assignment.target) +
                             ": an event can set a global quantity that a stoichiometry rule "
                             "reads.");
      }
      int constant = -1;
      const int target = FindTarget(model, names, assignment.target, constant);
      if (target < 0) {
        return Fault(at, "The target " + RuleTargetTitle(assignment.target) +
                             " of an assignment of "
                             "the event " +
                             event.name + " is not a " +
                             RuleTargetKindWord(assignment.target.kind) + " of the model.");
      }
      const auto key =
          std::make_pair(assignment.target.kind,
                         std::make_pair(assignment.target.name, assignment.target.constant));
      if (!targets.insert(key).second) {
        return Fault(at, "The event " + event.name + " sets " + RuleTargetTitle(assignment.target) +
                             " twice.");
      }
      if (assigned.count(key) > 0) {
        return Fault(at, "The event " + event.name + " sets " + RuleTargetTitle(assignment.target) +
                             ", which follows an assignment rule.");
      }
      read.targets.push_back(target);
      read.constants.push_back(constant);
      read.assignments.emplace_back();
      problem =
          readText(assignment.expression, "assignment to " + RuleTargetTitle(assignment.target),
                   read.assignments.back());
      if (!problem.empty()) return Fault(at, problem);
    }
  }
  if (result != nullptr) *result = std::move(events);
  return {};
}

}  // namespace vireon
