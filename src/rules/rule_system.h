#pragma once
// The rules of one run, read, ordered and bound to the model's positions,
// so that the engine can evaluate them between the integrator and the rate
// laws. One RuleSystem serves one engine; it holds its own scratch and is
// never shared between runs.
//
// The quantities the rules read and set live where the engine keeps them
// (RuleQuantities): the amounts by engine position, the current value of
// every global quantity and the current volume of every compartment. A
// metabolite's concentration is its amount over the current volume of its
// compartment, so a metabolite in a compartment that grows is diluted while
// its amount stays. A kinetic-constant target is written into its step's
// list of constants, where the rate law reads it.
//
// Assignment rules come in two kinds. Those that read nothing that changes
// during a time course (no metabolite, no time, no quantity that a rate
// rule or a changing assignment rule sets) are constant: their values are
// part of the initial values and are never evaluated again. The others are
// evaluated, in dependency order, before every evaluation of the rates.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/model.h"
#include "rules/rule_order.h"

namespace vireon {

// Where the quantities of the rules live during a run.
struct RuleQuantities {
  double time = 0.0;
  double* amounts = nullptr;     // 1-based, by engine position
  double* quantities = nullptr;  // by global quantity index
  double* volumes = nullptr;     // by compartment index
};

class RuleSystem {
 public:
  // The model must have been through its structural analysis. Returns null
  // and sets `problem` when its rules do not pass CheckRules, or when a
  // conservation relation joins a compartment whose volume changes to
  // another compartment.
  static std::unique_ptr<RuleSystem> Build(const Model& model, std::string& problem);
  // Why Build would refuse the model's rules; empty when it would not.
  static std::string Problem(const Model& model);

  // Sets every initial value that an initial assignment or an assignment
  // rule gives at time 0, in their order: global quantity values,
  // compartment volumes, metabolites' initial concentrations and kinetic
  // constants of `model`. A metabolite reads its initial concentration.
  // The conservation totals must be computed again afterwards.
  void ApplyInitialValues(Model& model) const;
  // The values of every target as the model holds them (the value at time
  // 0 of a quantity, a volume, an initial concentration, a kinetic
  // constant), kept by SaveModelValues and put back by RestoreModelValues,
  // so that a run leaves the model as it found it.
  void SaveModelValues(const Model& model);
  void RestoreModelValues(Model& model) const;

  // Evaluates the changing assignment rules at q, in dependency order,
  // writing their targets into q and kinetic constants into `model`; the
  // amounts of the metabolites that rules set follow from their
  // concentrations and the current volumes. Rate-rule targets must have
  // been set first (SetRateTarget).
  void EvaluateAssignments(const RuleQuantities& q, Model& model);
  // The value of any expression read against the model (an event's, say)
  // at q, its names read as the rules read theirs.
  double Value(const RuleExpression& expression, const RuleQuantities& q) {
    return Evaluate(expression, q);
  }
  // Takes the concentrations of the metabolites that rules set from the
  // amounts at q (after the integrator or the driver changed them).
  void ReadConcentrations(const RuleQuantities& q);

  // The rate rules: their number, each one's derivative at q (after
  // EvaluateAssignments), and the current value of each one's target, read
  // from and written to where it lives. A metabolite target's value is its
  // concentration.
  int rateCount() const { return static_cast<int>(rates_.size()); }
  void Derivatives(const RuleQuantities& q, double* out);
  double RateTargetValue(int r, const RuleQuantities& q, const Model& model) const;
  void SetRateTarget(int r, double value, const RuleQuantities& q, Model& model);
  // Whether rate rule r integrates a metabolite's concentration.
  bool RateTargetIsMetabolite(int r) const {
    return rates_[static_cast<std::size_t>(r)].target.kind == RuleTargetKind::kMetabolite;
  }

  // Adds to reads[k], for every step k, the metabolite positions its rate
  // reads through the rules: those the changing rules that set its kinetic
  // constants or the metabolites it reads read in turn. When a changing
  // volume reads a metabolite, every step reads every position.
  void AddPositionsRead(const Model& model, std::vector<std::vector<int>>& reads) const;

  // Whether a compartment's volume changes during a time course.
  bool VolumeChanges(int compartment) const {
    return volumeChanges_[static_cast<std::size_t>(compartment)] != 0;
  }
  bool anyVolumeChanges() const { return anyVolumeChanges_; }
  // Whether the rules give the time course something to evaluate at all.
  bool changesOverTime() const { return !assignments_.empty() || !rates_.empty(); }

 private:
  // A target bound to where its value lives.
  struct BoundTarget {
    RuleTargetKind kind = RuleTargetKind::kGlobalQuantity;
    int index = -1;     // quantity, compartment, metabolite or step
    int constant = -1;  // a kinetic constant's place in its step's list
  };
  struct BoundRule {
    BoundTarget target;
    RuleExpression expression;
  };

  explicit RuleSystem(const Model& model);
  // Where the model keeps a target's value (const or not, as the model is).
  template <class M>
  static auto& ModelValue(const BoundTarget& target, M& model);
  double Evaluate(const RuleExpression& expression, const RuleQuantities& q);
  void Write(const BoundTarget& target, double value, const RuleQuantities& q, Model& model);

  std::vector<int> position_;     // by metabolite index: its engine position
  std::vector<int> compartment_;  // by metabolite index: its compartment
  std::vector<BoundRule> initial_;      // in the order of time 0
  std::vector<BoundRule> assignments_;  // the changing ones, in dependency order
  std::vector<BoundRule> rates_;        // in the model's order
  std::vector<char> volumeChanges_;     // by compartment
  // The metabolites that a rate rule or a changing assignment rule sets:
  // their concentrations, which the rules read and write (by metabolite),
  // and their list.
  std::vector<double> concentration_;
  std::vector<char> ruleSet_;
  std::vector<int> ruleMetabolites_;
  std::vector<std::pair<BoundTarget, double>> saved_;
  bool anyVolumeChanges_ = false;
};

}  // namespace vireon
