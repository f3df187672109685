#include "rules/event_system.h"

#include <cmath>
#include <limits>
#include <optional>

#include "kinetics/expression.h"

namespace vireon {

namespace {

bool IsComparison(char code) {
  switch (code) {
    case node_code::kLess:
    case node_code::kGreater:
    case node_code::kLessEqual:
    case node_code::kGreaterEqual:
    case node_code::kEqual:
    case node_code::kNotEqual:
      return true;
    default:
      return false;
  }
}

// The expression `left - right` over the nodes of `whole`: a copy with one
// subtraction node added as the new root.
RuleExpression Difference(const RuleExpression& whole, int left, int right) {
  RuleExpression difference = whole;
  ExpressionNode minus;
  minus.kind = node_kind::kOperator;
  minus.code = node_code::kMinus;
  minus.left = left;
  minus.right = right;
  difference.nodes.push_back(minus);
  difference.nodes[0].left = static_cast<int>(difference.nodes.size()) - 1;
  return difference;
}

}  // namespace

std::unique_ptr<EventSystem> EventSystem::Build(const Model& model, std::string& problem) {
  std::vector<ReadEvent> read;
  const EventsCheck check = CheckEvents(model, &read);
  if (!check.ok()) {
    problem = check.message;
    return nullptr;
  }
  std::unique_ptr<EventSystem> system(new EventSystem());
  system->model_ = &model;
  for (std::size_t e = 0; e < model.events.size(); ++e) {
    system->readsStepRates_ = system->readsStepRates_ || read[e].readsStepRates;
    system->events_.push_back({&model.events[e], std::move(read[e])});
    const RuleExpression& trigger = system->events_.back().read.trigger;
    bool anyComparison = false;
    for (std::size_t i = 1; i < trigger.nodes.size(); ++i) {
      const ExpressionNode& node = trigger.nodes[i];
      if (node.kind != node_kind::kFunction || !IsComparison(node.code)) continue;
      // Two arguments: a comma whose left and right they are.
      if (node.left <= 0 ||
          !trigger.nodes[static_cast<std::size_t>(node.left)].IsOperator(node_code::kComma)) {
        continue;
      }
      const ExpressionNode& comma = trigger.nodes[static_cast<std::size_t>(node.left)];
      // The sign of the difference is the comparison: a - b for gt, geq,
      // eq and neq, b - a for lt and leq.
      const bool less = node.code == node_code::kLess || node.code == node_code::kLessEqual;
      system->roots_.push_back({less ? Difference(trigger, comma.right, comma.left)
                                     : Difference(trigger, comma.left, comma.right),
                                node.code, static_cast<int>(e), static_cast<int>(i)});
      anyComparison = true;
    }
    if (!anyComparison) system->roots_.push_back({trigger, 0, static_cast<int>(e), 0});
  }
  return system;
}

void EventSystem::RootValues(RuleSystem& rules, const RuleQuantities& q, double* g, char* holds) {
  for (std::size_t r = 0; r < roots_.size(); ++r) {
    const Root& root = roots_[r];
    const double value = rules.Value(root.difference, q);
    switch (root.comparison) {
      case 0:
        holds[r] = value != 0.0;
        g[r] = holds[r] ? 1.0 : -1.0;
        break;
      case node_code::kLess:
      case node_code::kGreater:
        holds[r] = value > 0.0;
        g[r] = value;
        break;
      default:
        // leq and geq hold at 0; eq and neq change only there, and are
        // watched as the crossing of their two sides.
        holds[r] = value >= 0.0;
        g[r] = value;
        break;
    }
  }
}

void EventSystem::RegisterDelays(const RuleSystem& rules, DelayHistory& history) const {
  for (const BoundEvent& bound : events_) {
    for (const RuleExpression* expression :
         {&bound.read.trigger, &bound.read.delay, &bound.read.priority}) {
      rules.RegisterDelays(*expression, history);
    }
    for (const RuleExpression& expression : bound.read.assignments) {
      rules.RegisterDelays(expression, history);
    }
  }
  for (const Root& root : roots_) rules.RegisterDelays(root.difference, history);
}

bool EventSystem::Trigger(int e, RuleSystem& rules, const RuleQuantities& q) {
  return rules.Value(events_[static_cast<std::size_t>(e)].read.trigger, q) != 0.0;
}

namespace {

bool IsEquality(char comparison) {
  return comparison == node_code::kEqual || comparison == node_code::kNotEqual;
}

}  // namespace

bool EventSystem::CrossesEquality(const std::vector<char>& crossed) const {
  for (std::size_t r = 0; r < roots_.size() && r < crossed.size(); ++r) {
    if (crossed[r] && IsEquality(roots_[r].comparison)) return true;
  }
  return false;
}

bool EventSystem::TriggerAtCrossing(int e, RuleSystem& rules, const RuleQuantities& q,
                                    const std::vector<char>& crossed, bool atInstant) {
  // A continuous quantity is equal to another only at the instant it
  // crosses it, which the located time brackets but rarely hits exactly:
  // the comparison there is the value it has at that instant.
  const RuleExpression& trigger = events_[static_cast<std::size_t>(e)].read.trigger;
  std::optional<RuleExpression> taken;
  for (std::size_t r = 0; r < roots_.size() && r < crossed.size(); ++r) {
    const Root& root = roots_[r];
    if (!crossed[r] || root.event != e || !IsEquality(root.comparison)) continue;
    if (!taken) taken = trigger;
    ExpressionNode& node = taken->nodes[static_cast<std::size_t>(root.node)];
    node.kind = node_kind::kNumber;
    node.value = (root.comparison == node_code::kEqual) == atInstant ? 1.0 : 0.0;
    node.left = node.right = kNoNode;
  }
  return rules.Value(taken ? *taken : trigger, q) != 0.0;
}

double EventSystem::Delay(int e, RuleSystem& rules, const RuleQuantities& q) {
  if (!hasDelay(e)) return 0.0;
  return rules.Value(events_[static_cast<std::size_t>(e)].read.delay, q);
}

double EventSystem::Priority(int e, RuleSystem& rules, const RuleQuantities& q) {
  if (!hasPriority(e)) return -std::numeric_limits<double>::infinity();
  return rules.Value(events_[static_cast<std::size_t>(e)].read.priority, q);
}

std::vector<double> EventSystem::Values(int e, RuleSystem& rules, const RuleQuantities& q) {
  const ReadEvent& read = events_[static_cast<std::size_t>(e)].read;
  std::vector<double> values;
  values.reserve(read.assignments.size());
  for (const RuleExpression& expression : read.assignments)
    values.push_back(rules.Value(expression, q));
  return values;
}

void EventSystem::Assign(int e, const std::vector<double>& values, RuleSystem& rules,
                         const RuleQuantities& q, Model& model) {
  const BoundEvent& bound = events_[static_cast<std::size_t>(e)];
  // The assignments take effect together: a metabolite's concentration
  // becomes its amount at the volume before any of them, even when the
  // event sets its compartment's volume as well.
  std::vector<double> amounts(values.size(), 0.0);
  for (std::size_t a = 0; a < values.size() && a < bound.read.targets.size(); ++a) {
    if (bound.event->assignments[a].target.kind != RuleTargetKind::kMetabolite) continue;
    if (bound.event->assignments[a].amount) {
      amounts[a] = values[a];
      continue;
    }
    const Metabolite& m = model.metabolites[static_cast<std::size_t>(bound.read.targets[a])];
    const int c = m.compartment >= 0 && m.compartment < model.nCompartments() ? m.compartment : 0;
    amounts[a] = values[a] * q.volumes[c];
  }
  for (std::size_t a = 0; a < values.size() && a < bound.read.targets.size(); ++a) {
    const auto i = static_cast<std::size_t>(bound.read.targets[a]);
    switch (bound.event->assignments[a].target.kind) {
      case RuleTargetKind::kGlobalQuantity:
        q.quantities[i] = values[a];
        break;
      case RuleTargetKind::kCompartmentVolume:
        // The amounts stay: the metabolites in it are diluted or concentrated.
        q.volumes[i] = values[a];
        break;
      case RuleTargetKind::kMetabolite:
        q.amounts[model.metabolitePosition[i] + 1] = amounts[a];
        break;
      case RuleTargetKind::kKineticConstant:
        model.steps[i].constants[static_cast<std::size_t>(bound.read.constants[a])] = values[a];
        break;
      case RuleTargetKind::kStoichiometry:  // the check refuses it
        break;
    }
  }
  rules.ReadConcentrations(q);
  rules.EvaluateAssignments(q, model);
}

void EventSystem::SaveModelValues(const Model& model) {
  saved_.clear();
  for (const BoundEvent& bound : events_) {
    for (std::size_t a = 0; a < bound.read.targets.size(); ++a) {
      if (bound.event->assignments[a].target.kind != RuleTargetKind::kKineticConstant) continue;
      const int step = bound.read.targets[a];
      const int constant = bound.read.constants[a];
      saved_.push_back({{step, constant},
                        model.steps[static_cast<std::size_t>(step)]
                            .constants[static_cast<std::size_t>(constant)]});
    }
  }
}

void EventSystem::RestoreModelValues(Model& model) const {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    model.steps[static_cast<std::size_t>(it->first.first)]
        .constants[static_cast<std::size_t>(it->first.second)] = it->second;
  }
}

}  // namespace vireon
