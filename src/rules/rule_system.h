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
// list of constants, where the rate law reads it. A stoichiometry target
// lives here (stoichiometry(i)), in double precision: it starts as the
// coefficient of the model's stoichiometry matrix and the engine reads its
// current value at every evaluation of the rates.
//
// Assignment rules come in two kinds. Those that read nothing that changes
// during a time course (no metabolite, no time, no quantity that a rate
// rule or a changing assignment rule sets) are constant: their values are
// part of the initial values and are never evaluated again. The others are
// evaluated, in dependency order, before every evaluation of the rates.
//
// rateOf(x) reads the rate of change of x: 0 for a fixed quantity, the
// expression of x's rate rule, or for a metabolite that the steps change
// the rate its amount changes at over its current volume (less the
// dilution of a volume that a rate rule changes). That last one is known
// only once the rates are: the assignment rules that read it, directly or
// through other rules, are evaluated after the rates, and the rates may
// not read what they set.
//
// delay(x, tau) reads the value x had tau time units ago. Before time 0 a
// quantity has the value its initial value gives at that time (an initial
// assignment or an assignment rule that reads time is read at that time;
// anything else keeps its value of time 0). After time 0 the value comes
// from the history of the running time course (rules/delay_history.h);
// without one attached, as at a steady state, delay(x, tau) is x now.
// rule_system_delays.cpp says how.
//
// Algebraic rules are solved where the assignment rules are evaluated: the
// values of their targets that make every constraint 0, found by Newton's
// method from the values found last, with the changing assignment rules
// evaluated again at each trial (rule_system_algebraic.cpp says why the
// constraints are eliminated this way rather than integrated as a
// differential-algebraic system).

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/model.h"
#include "rules/rule_order.h"

namespace vireon {

class DelayHistory;

// Where the quantities of the rules live during a run.
struct RuleQuantities {
  double time = 0.0;
  double* amounts = nullptr;     // 1-based, by engine position
  double* quantities = nullptr;  // by global quantity index
  double* volumes = nullptr;     // by compartment index
  // The rates of change of the variable amounts (1-based, by engine
  // position), once the rates are known; null before.
  const double* amountRates = nullptr;
};

class RuleSystem {
 public:
  // The model must have been through its structural analysis. Returns null
  // and sets `problem` when its rules do not pass CheckRules, when a
  // conservation relation joins a compartment whose volume changes to
  // another compartment, or when rules set stoichiometries of a model
  // analysed with conservation relations (see HasStoichiometryRules).
  static std::unique_ptr<RuleSystem> Build(const Model& model, std::string& problem);
  // Why Build would refuse the model's rules; empty when it would not.
  static std::string Problem(const Model& model);

  // Sets every initial value that an initial assignment or an assignment
  // rule gives at time 0, in their order: global quantity values,
  // compartment volumes, metabolites' initial concentrations and kinetic
  // constants of `model`. A metabolite reads its initial concentration.
  // The conservation totals must be computed again afterwards. A
  // stoichiometry's value at time 0 is kept here, not in the model. With
  // algebraic rules, their targets are then solved for at time 0, so that
  // the initial values satisfy every constraint; throws
  // std::invalid_argument, naming the rules, when they cannot be solved,
  // with the values SaveModelValues kept put back.
  void ApplyInitialValues(Model& model);
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
  // been set first (SetRateTarget). With algebraic rules, their targets
  // are solved for at q first; when Newton's method cannot solve them,
  // throws ArithmeticFault (an invalid operation), which ends the task.
  void EvaluateAssignments(const RuleQuantities& q, Model& model);
  // The assignment rules that read the rates of change of the amounts, in
  // dependency order, after EvaluateAssignments; q.amountRates must be set.
  // They set global quantities only.
  // The algebraic rules that read those rates are solved here too, before
  // them (late constraints: their targets are global quantities that
  // nothing evaluated before the rates reads).
  bool readsAmountRates() const { return !late_.empty() || !lateAlgebraic_.empty(); }
  void EvaluateLateAssignments(const RuleQuantities& q, Model& model);
  // The initial values that read the amounts' rates at time 0 (q.amountRates
  // set, every other initial value applied), into q and the model.
  bool hasLateInitialValues() const { return !lateInitial_.empty() || !lateAlgebraic_.empty(); }
  void ApplyLateInitialValues(const RuleQuantities& q, Model& model);
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
  bool changesOverTime() const {
    return !assignments_.empty() || !late_.empty() || !rates_.empty() || !algebraic_.empty() ||
           !lateAlgebraic_.empty();
  }
  bool hasAlgebraicRules() const { return !algebraic_.empty() || !lateAlgebraic_.empty(); }

  // Delays. Whether any expression of the rules calls delay, and whether
  // one does (an event's, say).
  bool hasDelays() const { return hasDelays_; }
  static bool HasDelay(const RuleExpression& expression);
  // The history the delays read while a time course runs; null (the
  // default) reads every delay as its argument now.
  void AttachDelayHistory(DelayHistory* history) { history_ = history; }
  // Enters into `history` every delay call of the rules evaluated during a
  // time course, and of `expression` (an event's).
  void RegisterDelays(DelayHistory& history) const;
  void RegisterDelays(const RuleExpression& expression, DelayHistory& history) const;
  // The values of time 0 that the values before time 0 start from, taken
  // from `model` unless the initial values kept them already.
  void KeepValuesOfTimeZero(const Model& model) {
    if (!startValues_) startValues_ = std::make_unique<Model>(model);
  }
  // The first problem a delay met at time 0 (a length below 0), which the
  // time course reports; empty when none.
  const std::string& delayProblemAtStart() const { return startProblem_; }
  // The subtree at nodes[position] of an expression at q.
  double NodeValue(const RuleExpression& expression, int position, const RuleQuantities& q) const;

  // The stoichiometries that rules set: each one's step and metabolite
  // (indices of the model) and its current value, which replaces the
  // model's coefficient wherever the rates are summed.
  struct StoichiometryValue {
    int step = -1;
    int metabolite = -1;
    double value = 0.0;
  };
  int stoichiometryCount() const { return static_cast<int>(stoichiometries_.size()); }
  const StoichiometryValue& stoichiometry(int i) const {
    return stoichiometries_[static_cast<std::size_t>(i)];
  }

 private:
  // A target bound to where its value lives.
  struct BoundTarget {
    RuleTargetKind kind = RuleTargetKind::kGlobalQuantity;
    int index = -1;     // quantity, compartment, metabolite or step
    int constant = -1;  // a kinetic constant's place in its step's list, or a
                        // stoichiometry's entry of stoichiometries_
  };
  struct BoundRule {
    BoundTarget target;
    RuleExpression expression;
  };

  explicit RuleSystem(const Model& model);
  // Where the model keeps a target's value (const or not, as the model is).
  template <class M>
  static auto& ModelValue(const BoundTarget& target, M& model);
  static double& ModelValueOf(const BoundTarget& target, Model& model);
  double Evaluate(const RuleExpression& expression, const RuleQuantities& q) const;
  // Sorts out the changing assignment rules that read the amounts' rates
  // (late, by rule), and fills the rate rules' places by target. Returns
  // why the rules cannot be evaluated so, or "".
  std::string SortByRatesRead(const Model& model, const RuleSet& set,
                              const std::vector<char>& changing, std::vector<char>& late);
  // The rate of change that rateOf reads of a symbol, at q.
  double RateOf(const RuleSymbol& symbol, const RuleQuantities& q) const;
  // The rate rule that sets a symbol's quantity, or -1.
  int RateRuleOf(const RuleSymbol& symbol) const;
  // Whether a metabolite's rate of change is that of its amount under the
  // steps.
  bool ChangedBySteps(int metabolite) const {
    const int p = position_[static_cast<std::size_t>(metabolite)];
    return p >= 1 && p <= nVariable_ && !ruleSet_[static_cast<std::size_t>(metabolite)];
  }
  void Write(const BoundTarget& target, double value, const RuleQuantities& q, Model& model);
  double Read(const BoundTarget& target, const RuleQuantities& q, const Model& model) const;
  // The changing assignment rules at q, and the amounts that follow.
  void EvaluateChanging(const RuleQuantities& q, Model& model);
  // What a symbol reads at q, and at time 0 from the model's values.
  double SymbolValue(const RuleSymbol& symbol, const RuleQuantities& q) const;
  double SymbolValueAtStart(const RuleSymbol& symbol, const Model& model) const;
  // An expression read at time 0 from the model's values (at startTime_,
  // before time 0, when a delay reads back there).
  double EvaluateAtStart(const RuleExpression& expression, const Model& model) const;
  double NodeValueAtStart(const RuleExpression& expression, int position, const Model& model) const;
  // delay(x, tau) at nodes[call] of `expression`, its arguments at the
  // nodes given, during a time course and at time 0 (rule_system_delays.cpp).
  double DelayedValue(const RuleExpression& expression, int call, int argument, int tau,
                      const RuleQuantities& q) const;
  double DelayedValueAtStart(const RuleExpression& expression, int call, int argument, int tau,
                             const Model& model) const;
  // The argument at nodes[argument] at time t before time 0, from the
  // values of time 0 in `from` (or those KeepStartValues kept).
  double ValueBeforeStart(const RuleExpression& expression, int argument, double t,
                          const Model* from) const;
  // Whether the subtree at nodes[position] reads nothing that changes
  // during a time course.
  bool ConstantDuringTimeCourse(const RuleExpression& expression, int position) const;
  void FindDelays();
  void KeepStartValues(const Model& model);
  // The largest magnitude among the values the constraints read.
  double LargestRead(const std::vector<BoundRule>& constraints, const RuleQuantities& q) const;
  double LargestReadAtStart(const Model& model) const;
  // The algebraic targets solved for at q, and at time 0 in the model's
  // values (rule_system_algebraic.cpp).
  // Solves the constraints at q, with the changing assignment rules
  // evaluated again at each trial; with `late`, the late constraints, with
  // the late assignment rules evaluated again instead.
  void SolveConstraints(bool late, const RuleQuantities& q, Model& model);
  void SolveConstraintsAtStart(Model& model) const;
  // "the algebraic rule for a" or "the algebraic rules for a, b and c".
  std::string AlgebraicRulesTitle() const;

  std::vector<int> position_;     // by metabolite index: its engine position
  std::vector<int> compartment_;  // by metabolite index: its compartment
  std::vector<BoundRule> initial_;      // in the order of time 0
  std::vector<BoundRule> lateInitial_;  // those that read the amounts' rates
  std::vector<BoundRule> assignments_;  // the changing ones, in dependency order
  std::vector<BoundRule> late_;         // those that read the amounts' rates
  std::vector<BoundRule> rates_;        // in the model's order
  std::vector<BoundRule> algebraic_;    // in the model's order
  std::vector<BoundRule> lateAlgebraic_;  // those that read the amounts' rates
  std::vector<std::string> algebraicNames_;  // their targets' names, for messages
  // Newton's scratch for the algebraic targets (mutable: time 0 is solved
  // by a const ApplyInitialValues).
  mutable std::vector<double> newtonValues_, newtonResidual_, newtonTrial_, newtonJacobian_;
  std::vector<char> volumeChanges_;     // by compartment
  // By quantity, compartment and metabolite: the rate rule (into rates_)
  // that sets it, or -1.
  std::vector<int> quantityRate_, volumeRate_, metaboliteRate_;
  int nVariable_ = 0;
  // The metabolites that a rate rule or a changing assignment rule sets:
  // their concentrations, which the rules read and write (by metabolite),
  // and their list.
  std::vector<double> concentration_;
  std::vector<char> ruleSet_;
  std::vector<int> ruleMetabolites_;
  std::vector<StoichiometryValue> stoichiometries_;
  std::vector<std::pair<BoundTarget, double>> saved_;
  bool anyVolumeChanges_ = false;
  std::vector<char> quantityChanges_;  // by global quantity

  // Delays: whether any rule has one, by initial value whether it does,
  // the history they read, the values of time 0 that the values before it
  // start from, and the scratch models in which those are computed, one
  // per nesting of delays (mutable: time 0 is evaluated by const code).
  bool hasDelays_ = false;
  std::vector<char> initialHasDelay_;
  DelayHistory* history_ = nullptr;
  std::unique_ptr<Model> startValues_;
  mutable std::vector<std::unique_ptr<Model>> beforeStart_;
  mutable double startTime_ = 0.0;
  mutable int startDepth_ = 0;
  mutable std::string startProblem_;
};

}  // namespace vireon
