#pragma once
// The events of one run, read and bound to where their quantities live
// (rules/rule_system.h), so that the engine can watch their triggers during
// the integration and carry out their assignments. One EventSystem serves
// one engine, beside its RuleSystem, through which every expression is
// evaluated as the rules evaluate theirs.
//
// The integration watches the triggers through root functions: one for
// every comparison in a trigger (the difference of its two sides, whose
// sign is the comparison), and for a trigger without a comparison one for
// the trigger itself. A trigger can change only where one of them does.

#include <memory>
#include <string>
#include <vector>

#include "model/model.h"
#include "rules/event_check.h"
#include "rules/rule_system.h"

namespace vireon {

class EventSystem {
 public:
  // Null, with `problem` set, when the events do not pass CheckEvents.
  static std::unique_ptr<EventSystem> Build(const Model& model, std::string& problem);

  int count() const { return static_cast<int>(events_.size()); }
  const Event& event(int e) const { return *events_[static_cast<std::size_t>(e)].event; }

  // The root functions: their number, and their values and conditions at q.
  // Whether an expression of an event reads the rate of change of a
  // metabolite that the steps change (RuleQuantities::amountRates).
  bool readsStepRates() const { return readsStepRates_; }

  int rootCount() const { return static_cast<int>(roots_.size()); }
  void RootValues(RuleSystem& rules, const RuleQuantities& q, double* g, char* holds);

  // Event e's trigger (true when not 0), delay and priority at q; a missing
  // delay is 0 and a missing priority is -infinity.
  bool Trigger(int e, RuleSystem& rules, const RuleQuantities& q);
  // Event e's trigger where the integration has just located the crossing
  // of the root functions marked in `crossed` (one mark per root): an eq or
  // neq among them is taken at the instant its sides are equal
  // (`atInstant`: eq true, neq false) or just after it (eq false, neq
  // true), whatever rounding left of the difference.
  bool TriggerAtCrossing(int e, RuleSystem& rules, const RuleQuantities& q,
                         const std::vector<char>& crossed, bool atInstant);
  // Whether a root marked in `crossed` is the crossing of an eq or neq.
  bool CrossesEquality(const std::vector<char>& crossed) const;
  bool hasDelay(int e) const {
    return !events_[static_cast<std::size_t>(e)].read.delay.nodes.empty();
  }
  double Delay(int e, RuleSystem& rules, const RuleQuantities& q);
  bool hasPriority(int e) const {
    return !events_[static_cast<std::size_t>(e)].read.priority.nodes.empty();
  }
  double Priority(int e, RuleSystem& rules, const RuleQuantities& q);

  // The values of event e's assignments at q, in their order.
  std::vector<double> Values(int e, RuleSystem& rules, const RuleQuantities& q);
  // Carries out event e's assignments with those values, all together:
  // global quantities and volumes in q, metabolites as their concentrations
  // (the amount at the volume before the event), kinetic constants in
  // `model`; then the rules are
  // evaluated again, so that everything that follows a target has its new
  // value.
  void Assign(int e, const std::vector<double>& values, RuleSystem& rules, const RuleQuantities& q,
              Model& model);

  // Enters every delay call of the events' expressions into `history`.
  void RegisterDelays(const RuleSystem& rules, DelayHistory& history) const;

  // The kinetic constants that events set, as the model holds them, kept
  // and put back so that a run leaves the model as it found it.
  void SaveModelValues(const Model& model);
  void RestoreModelValues(Model& model) const;

 private:
  struct BoundEvent {
    const Event* event = nullptr;
    ReadEvent read;
  };
  // A root function: the sides of a comparison (its nodes made to compute
  // one side minus the other), or a whole trigger.
  struct Root {
    RuleExpression difference;
    char comparison = 0;  // the comparison's code; 0 for a whole trigger
    int event = 0;
    int node = 0;  // the comparison's node in the event's trigger
  };

  std::vector<BoundEvent> events_;
  std::vector<Root> roots_;
  std::vector<std::pair<std::pair<int, int>, double>> saved_;  // (step, constant), value
  const Model* model_ = nullptr;
  bool readsStepRates_ = false;
};

}  // namespace vireon
