#include "rules/rule_system.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <map>

#include "kinetics/expression.h"
#include "model/model_name_index.h"

namespace vireon {

namespace {

// The symbols of one expression, valued by `read(symbol)`, and its delay
// calls by `delay(call, argument, tau)`.
template <class Read, class Delay>
class SymbolReader : public ExpressionBindings {
 public:
  SymbolReader(const std::vector<RuleSymbol>& symbols, Read read, Delay delay)
      : symbols_(symbols), read_(read), delay_(delay) {}
  double SymbolValue(const ExpressionNode& node) override {
    if (node.index < 0 || static_cast<std::size_t>(node.index) >= symbols_.size()) return 0.0;
    return read_(symbols_[static_cast<std::size_t>(node.index)]);
  }
  double DelayValue(std::span<const ExpressionNode>, int call, int argument, int tau) override {
    return delay_(call, argument, tau);
  }

 private:
  const std::vector<RuleSymbol>& symbols_;
  Read read_;
  Delay delay_;
};

// The subtree at `position` (node 0's left: the whole expression).
template <class Read, class Delay>
double EvaluateWith(const RuleExpression& expression, int position, Read read, Delay delay) {
  if (expression.nodes.empty()) return 0.0;
  SymbolReader<Read, Delay> reader(expression.symbols, read, delay);
  return EvaluateExpressionNode(expression.nodes, position, reader);
}

int Root(const RuleExpression& expression) {
  return expression.nodes.empty() ? kNoNode : expression.nodes[0].left;
}

// A conservation relation holds between amounts only within one volume, or
// between compartments whose volumes keep their ratio: one that joins a
// compartment that changes to another cannot reduce the system.
std::string ConservationAcrossChangingVolumes(const Model& model,
                                              const std::vector<char>& volumeChanges) {
  const auto compartmentAt = [&model](int p) {
    const int c = model.metabolites[static_cast<std::size_t>(model.metaboliteOrder[p - 1])].compartment;
    return c >= 0 && c < model.nCompartments() ? c : 0;
  };
  for (int p = model.nIndependent + 1; p <= model.nVariable; ++p) {
    const int cp = compartmentAt(p);
    for (int l = 1; l <= model.nIndependent; ++l) {
      if (model.conservation[p - 1][l - 1] == 0.0f) continue;
      const int cl = compartmentAt(l);
      if (cl == cp || (!volumeChanges[static_cast<std::size_t>(cp)] &&
                       !volumeChanges[static_cast<std::size_t>(cl)])) {
        continue;
      }
      const int changing = volumeChanges[static_cast<std::size_t>(cp)] ? cp : cl;
      const std::string& name =
          model.metabolites[static_cast<std::size_t>(model.metaboliteOrder[p - 1])].name;
      return "The conservation relation of " + name + " joins the compartment " +
             model.compartments[static_cast<std::size_t>(changing)].name +
             ", whose volume changes by a rule, to another compartment: such a model cannot be "
             "reduced to its independent metabolites.";
    }
  }
  return {};
}

}  // namespace

std::string RuleSystem::Problem(const Model& model) {
  std::string problem;
  Build(model, problem);
  return problem;
}

RuleSystem::RuleSystem(const Model& model)
    : position_(static_cast<std::size_t>(model.nMetabolites()), 0),
      compartment_(static_cast<std::size_t>(model.nMetabolites()), 0),
      volumeChanges_(static_cast<std::size_t>(model.nCompartments()), 0),
      quantityRate_(model.globalQuantities.size(), -1),
      volumeRate_(static_cast<std::size_t>(model.nCompartments()), -1),
      metaboliteRate_(static_cast<std::size_t>(model.nMetabolites()), -1),
      nVariable_(model.nVariable) {
  for (int m = 0; m < model.nMetabolites(); ++m) {
    const auto i = static_cast<std::size_t>(m);
    position_[i] = i < model.metabolitePosition.size() ? model.metabolitePosition[i] + 1 : 0;
    const int c = model.metabolites[i].compartment;
    compartment_[i] = c >= 0 && c < model.nCompartments() ? c : 0;
  }
}

std::unique_ptr<RuleSystem> RuleSystem::Build(const Model& model, std::string& problem) {
  RuleSet set;
  const RulesCheck check = CheckRules(model, &set);
  if (!check.ok()) {
    problem = check.message;
    return nullptr;
  }
  std::unique_ptr<RuleSystem> system(new RuleSystem(model));
  // A stoichiometry target is bound to its entry of stoichiometries_, which
  // starts as the model's coefficient; one entry per step and metabolite,
  // whatever kinds of rule set it.
  std::vector<BoundTarget> targets(model.rules.size());
  std::map<std::pair<int, int>, int> entries;  // (step, metabolite) -> entry
  for (std::size_t r = 0; r < model.rules.size(); ++r) {
    const RuleTargetKind kind = model.rules[r].target.kind;
    targets[r] = {kind, set.targets[r], set.constants[r]};
    if (kind != RuleTargetKind::kStoichiometry) continue;
    std::vector<StoichiometryValue>& values = system->stoichiometries_;
    const auto [entry, added] = entries.try_emplace({set.targets[r], set.constants[r]},
                                                    static_cast<int>(values.size()));
    if (added) {
      const auto m = static_cast<std::size_t>(set.constants[r]);
      const auto k = static_cast<std::size_t>(set.targets[r]);
      const bool inMatrix = m < static_cast<std::size_t>(model.stoichiometry.rows()) &&
                            k < static_cast<std::size_t>(model.stoichiometry.columns());
      values.push_back({set.targets[r], set.constants[r],
                        inMatrix ? static_cast<double>(model.stoichiometry[m][k]) : 0.0});
    }
    targets[r].constant = entry->second;
  }
  if (!system->stoichiometries_.empty() && model.nDependent > 0) {
    problem =
        "The model has rules that set stoichiometries but was analysed with conservation "
        "relations; its structure must be analysed again.";
    return nullptr;
  }
  const auto bound = [&](int r) {
    const auto i = static_cast<std::size_t>(r);
    return BoundRule{targets[i], std::move(set.expressions[i])};
  };
  // Which quantities change over time: the targets of rate rules, then, in
  // dependency order, those of the assignment rules that read time, a
  // metabolite or a changing quantity.
  const std::size_t nQuantities = model.globalQuantities.size();
  std::vector<char> quantityChanges(nQuantities, 0);
  std::vector<char>& volumeChanges = system->volumeChanges_;
  const auto markChanging = [&](const Rule& rule, int target) {
    const auto t = static_cast<std::size_t>(target);
    if (rule.target.kind == RuleTargetKind::kGlobalQuantity) quantityChanges[t] = 1;
    if (rule.target.kind == RuleTargetKind::kCompartmentVolume) volumeChanges[t] = 1;
  };
  const auto reads = [&](const RuleExpression& expression) {
    // A delayed value changes with time, even of a quantity that is fixed
    // from time 0 on (its history before time 0 is its initial value then).
    if (HasDelay(expression)) return true;
    for (const RuleSymbol& symbol : expression.symbols) {
      const auto s = static_cast<std::size_t>(symbol.index);
      if (symbol.rate) return true;
      switch (symbol.kind) {
        case RuleSymbol::Kind::kTime:
        case RuleSymbol::Kind::kMetabolite:
          return true;
        case RuleSymbol::Kind::kGlobalQuantity:
          if (quantityChanges[s]) return true;
          break;
        case RuleSymbol::Kind::kCompartmentVolume:
          if (volumeChanges[s]) return true;
          break;
        case RuleSymbol::Kind::kConstant:
          break;
      }
    }
    return false;
  };
  // An algebraic target moves with whatever its constraints read.
  for (std::size_t r = 0; r < model.rules.size(); ++r) {
    if (model.rules[r].kind == RuleKind::kRate || model.rules[r].kind == RuleKind::kAlgebraic) {
      markChanging(model.rules[r], set.targets[r]);
    }
  }
  // What an event sets changes during a time course, as a rate rule's
  // target does: the rules that read it follow it.
  if (!model.events.empty()) {
    const ModelNameIndex names(model);
    for (const Event& event : model.events) {
      for (const EventAssignment& assignment : event.assignments) {
        const RuleTarget& target = assignment.target;
        if (target.kind == RuleTargetKind::kGlobalQuantity) {
          const int q = names.GlobalQuantity(target.name);
          if (q >= 0) quantityChanges[static_cast<std::size_t>(q)] = 1;
        } else if (target.kind == RuleTargetKind::kCompartmentVolume) {
          const int c = names.Compartment(target.name);
          if (c >= 0) volumeChanges[static_cast<std::size_t>(c)] = 1;
        }
      }
    }
  }
  std::vector<char> changing(model.rules.size(), 0);
  for (int r : set.assignmentOrder) {
    const auto i = static_cast<std::size_t>(r);
    if (!reads(set.expressions[i])) continue;
    changing[i] = 1;
    markChanging(model.rules[i], set.targets[i]);
  }
  // A metabolite that an assignment rule sets keeps its concentration while
  // its compartment changes: the rule is evaluated again whatever it reads.
  for (int r : set.assignmentOrder) {
    const auto i = static_cast<std::size_t>(r);
    if (model.rules[i].target.kind == RuleTargetKind::kMetabolite &&
        volumeChanges[system->compartment_[static_cast<std::size_t>(set.targets[i])]]) {
      changing[i] = 1;
    }
  }
  for (char changes : volumeChanges) system->anyVolumeChanges_ = system->anyVolumeChanges_ || changes;
  system->quantityChanges_ = quantityChanges;
  problem = ConservationAcrossChangingVolumes(model, volumeChanges);
  if (!problem.empty()) return nullptr;
  // The metabolites whose concentration the rules give while the time
  // course runs.
  system->concentration_.assign(static_cast<std::size_t>(model.nMetabolites()), 0.0);
  system->ruleSet_.assign(static_cast<std::size_t>(model.nMetabolites()), 0);
  for (std::size_t r = 0; r < model.rules.size(); ++r) {
    const Rule& rule = model.rules[r];
    if (rule.target.kind == RuleTargetKind::kMetabolite &&
        (rule.kind == RuleKind::kRate || rule.kind == RuleKind::kAlgebraic || changing[r])) {
      system->ruleSet_[static_cast<std::size_t>(set.targets[r])] = 1;
      system->ruleMetabolites_.push_back(set.targets[r]);
    }
  }

  std::vector<char> late;
  problem = system->SortByRatesRead(model, set, changing, late);
  if (!problem.empty()) return nullptr;
  // The copies are taken before the moves below. What reads the amounts'
  // rates at time 0 waits for them.
  for (int r : set.initialOrder) {
    const auto i = static_cast<std::size_t>(r);
    (late[i] ? system->lateInitial_ : system->initial_).push_back({targets[i], set.expressions[i]});
  }
  for (int r : set.assignmentOrder) {
    const auto i = static_cast<std::size_t>(r);
    if (changing[i]) (late[i] ? system->late_ : system->assignments_).push_back(bound(r));
  }
  for (std::size_t r = 0; r < model.rules.size(); ++r) {
    if (model.rules[r].kind == RuleKind::kRate) system->rates_.push_back(bound(static_cast<int>(r)));
  }
  for (int r : set.algebraic) {
    if (late[static_cast<std::size_t>(r)]) {
      system->lateAlgebraic_.push_back(bound(r));
      continue;
    }
    system->algebraicNames_.push_back(model.rules[static_cast<std::size_t>(r)].target.name);
    system->algebraic_.push_back(bound(r));
  }
  system->FindDelays();
  return system;
}

std::string RuleSystem::SortByRatesRead(const Model& model, const RuleSet& set,
                                        const std::vector<char>& changing, std::vector<char>& late) {
  const std::size_t nRules = model.rules.size();
  late.assign(nRules, 0);
  // The rate rule of each quantity, volume and metabolite, by its place
  // among the rate rules.
  std::vector<int> rateRule;  // by place, the model's rule
  for (std::size_t r = 0; r < nRules; ++r) {
    if (model.rules[r].kind != RuleKind::kRate) continue;
    const auto t = static_cast<std::size_t>(set.targets[r]);
    const int place = static_cast<int>(rateRule.size());
    switch (model.rules[r].target.kind) {
      case RuleTargetKind::kGlobalQuantity:
        quantityRate_[t] = place;
        break;
      case RuleTargetKind::kCompartmentVolume:
        volumeRate_[t] = place;
        break;
      case RuleTargetKind::kMetabolite:
        metaboliteRate_[t] = place;
        break;
      case RuleTargetKind::kKineticConstant:
      case RuleTargetKind::kStoichiometry:
        break;
    }
    rateRule.push_back(static_cast<int>(r));
  }
  // Which expressions need the amounts' rates: those that read the rate of
  // a metabolite the steps change, the rate of a rate rule whose expression
  // needs them, or a quantity that such an assignment rule sets. Each pass
  // marks at least one more rule or stops.
  std::vector<char> lateQuantity(model.globalQuantities.size(), 0);
  std::vector<char> lateRate(rateRule.size(), 0);
  const auto needsRates = [&](const RuleExpression& expression) {
    for (const RuleSymbol& symbol : expression.symbols) {
      const auto s = static_cast<std::size_t>(symbol.index);
      if (!symbol.rate) {
        if (symbol.kind == RuleSymbol::Kind::kGlobalQuantity && lateQuantity[s]) return true;
        continue;
      }
      const int rate = RateRuleOf(symbol);
      if (rate >= 0 ? lateRate[static_cast<std::size_t>(rate)] != 0
                    : symbol.kind == RuleSymbol::Kind::kMetabolite &&
                          ChangedBySteps(symbol.index)) {
        return true;
      }
    }
    return false;
  };
  for (bool more = true; more;) {
    more = false;
    for (std::size_t place = 0; place < rateRule.size(); ++place) {
      if (lateRate[place] || !needsRates(set.expressions[static_cast<std::size_t>(rateRule[place])]))
        continue;
      lateRate[place] = 1;
      more = true;
    }
    for (int r : set.assignmentOrder) {
      const auto i = static_cast<std::size_t>(r);
      if (!changing[i] || late[i] || !needsRates(set.expressions[i])) continue;
      const Rule& rule = model.rules[i];
      if (rule.target.kind != RuleTargetKind::kGlobalQuantity) {
        return "The assignment rule for " + RuleTargetTitle(rule.target) +
               " reads the rate of change of a metabolite that the steps change, and the rates "
               "of the steps read what it sets: only a global quantity can follow such a rule.";
      }
      late[i] = 1;
      lateQuantity[static_cast<std::size_t>(set.targets[i])] = 1;
      more = true;
    }
    // A constraint that reads the rates is solved after them, when what
    // it determines is a global quantity, which the rates cannot read.
    for (int r : set.algebraic) {
      const auto i = static_cast<std::size_t>(r);
      if (late[i] || !needsRates(set.expressions[i])) continue;
      if (model.rules[i].target.kind != RuleTargetKind::kGlobalQuantity) continue;
      late[i] = 1;
      lateQuantity[static_cast<std::size_t>(set.targets[i])] = 1;
      more = true;
    }
  }
  // The other constraints are solved before the rates, as the assignment
  // rules.
  for (std::size_t r = 0; r < nRules; ++r) {
    const Rule& rule = model.rules[r];
    if (rule.kind == RuleKind::kAlgebraic && !late[r] && needsRates(set.expressions[r])) {
      return "The algebraic rule for " + RuleTargetTitle(rule.target) +
             " reads the rate of change of a metabolite that the steps change, which is known "
             "only after the constraints are solved.";
    }
  }
  // An initial assignment that needs the rates is applied once they are
  // known at time 0, after every other initial value: nothing may read
  // what it sets.
  for (std::size_t r = 0; r < nRules; ++r) {
    const Rule& rule = model.rules[r];
    if (rule.kind != RuleKind::kInitialAssignment || !needsRates(set.expressions[r])) continue;
    const auto readsTarget = [&](const RuleExpression& expression) {
      for (const RuleSymbol& symbol : expression.symbols) {
        if (symbol.kind == RuleSymbol::Kind::kGlobalQuantity && symbol.index == set.targets[r])
          return true;
      }
      return false;
    };
    bool read = rule.target.kind != RuleTargetKind::kGlobalQuantity;
    for (std::size_t other = 0; other < nRules && !read; ++other) {
      read = other != r && readsTarget(set.expressions[other]);
    }
    if (read) {
      return "The initial assignment to " + RuleTargetTitle(rule.target) +
             " reads the rate of change of a metabolite that the steps change, known once "
             "every other initial value is: only a global quantity that no rule reads can take "
             "it.";
    }
    late[r] = 1;
  }
  // A metabolite's rate is taken at a volume that only a rate rule changes.
  for (std::size_t r = 0; r < nRules; ++r) {
    const Rule& rule = model.rules[r];
    for (const RuleSymbol& symbol : set.expressions[r].symbols) {
      if (!symbol.rate || symbol.kind != RuleSymbol::Kind::kMetabolite ||
          RateRuleOf(symbol) >= 0 || !ChangedBySteps(symbol.index)) {
        continue;
      }
      const int c = compartment_[static_cast<std::size_t>(symbol.index)];
      if (volumeChanges_[static_cast<std::size_t>(c)] && volumeRate_[static_cast<std::size_t>(c)] < 0) {
        return "The " + RuleKindWord(rule.kind) + " rule for " + RuleTargetTitle(rule.target) +
               " reads the rate of change of " + symbol.name + ", whose compartment " +
               model.compartments[static_cast<std::size_t>(c)].name +
               " changes by an assignment rule: its rate of dilution is not known.";
      }
    }
  }
  return {};
}

int RuleSystem::RateRuleOf(const RuleSymbol& symbol) const {
  const auto s = static_cast<std::size_t>(symbol.index);
  switch (symbol.kind) {
    case RuleSymbol::Kind::kGlobalQuantity:
      return quantityRate_[s];
    case RuleSymbol::Kind::kCompartmentVolume:
      return volumeRate_[s];
    case RuleSymbol::Kind::kMetabolite:
      return metaboliteRate_[s];
    default:
      return -1;
  }
}

double RuleSystem::RateOf(const RuleSymbol& symbol, const RuleQuantities& q) const {
  const int rate = RateRuleOf(symbol);
  if (rate >= 0) return Evaluate(rates_[static_cast<std::size_t>(rate)].expression, q);
  if (symbol.kind != RuleSymbol::Kind::kMetabolite || !ChangedBySteps(symbol.index)) return 0.0;
  if (q.amountRates == nullptr) return std::numeric_limits<double>::quiet_NaN();
  const auto m = static_cast<std::size_t>(symbol.index);
  const int p = position_[m];
  const auto c = static_cast<std::size_t>(compartment_[m]);
  const double volume = q.volumes[c];
  double value = q.amountRates[p] / volume;
  // A growing volume dilutes: d(n/V)/dt = n'/V - (n/V) V'/V.
  if (volumeRate_[c] >= 0) {
    const double growth = Evaluate(rates_[static_cast<std::size_t>(volumeRate_[c])].expression, q);
    value -= q.amounts[p] / volume * growth / volume;
  }
  return value;
}

template <class M>
auto& RuleSystem::ModelValue(const BoundTarget& target, M& model) {
  const auto i = static_cast<std::size_t>(target.index);
  switch (target.kind) {
    case RuleTargetKind::kGlobalQuantity:
      return model.globalQuantities[i].value;
    case RuleTargetKind::kCompartmentVolume:
      return model.compartments[i].volume;
    case RuleTargetKind::kMetabolite:
      return model.metabolites[i].initialConcentration;
    case RuleTargetKind::kKineticConstant:
    case RuleTargetKind::kStoichiometry:  // kept by the rule system, never asked for here
      break;
  }
  return model.steps[i].constants[static_cast<std::size_t>(target.constant)];
}

double& RuleSystem::ModelValueOf(const BoundTarget& target, Model& model) {
  return ModelValue(target, model);
}

void RuleSystem::SaveModelValues(const Model& model) {
  saved_.clear();
  for (const std::vector<BoundRule>* rules :
       {&initial_, &lateInitial_, &assignments_, &late_, &rates_, &algebraic_, &lateAlgebraic_}) {
    for (const BoundRule& rule : *rules) {
      if (rule.target.kind == RuleTargetKind::kStoichiometry) continue;
      saved_.emplace_back(rule.target, ModelValue(rule.target, model));
    }
  }
}

void RuleSystem::RestoreModelValues(Model& model) const {
  // In reverse, so that a target saved twice gets its first value back.
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) ModelValue(it->first, model) = it->second;
}

double RuleSystem::EvaluateAtStart(const RuleExpression& expression, const Model& model) const {
  return NodeValueAtStart(expression, Root(expression), model);
}

double RuleSystem::NodeValueAtStart(const RuleExpression& expression, int position,
                                    const Model& model) const {
  return EvaluateWith(
      expression, position,
      [&](const RuleSymbol& symbol) { return SymbolValueAtStart(symbol, model); },
      [&](int call, int argument, int tau) {
        return DelayedValueAtStart(expression, call, argument, tau, model);
      });
}

double RuleSystem::SymbolValueAtStart(const RuleSymbol& symbol, const Model& model) const {
  const auto s = static_cast<std::size_t>(symbol.index);
  // Before time 0 what the steps and rate rules change stands still.
  if (symbol.rate && startDepth_ > 0) return 0.0;
  if (symbol.rate) {
    // Before the time course the rates of the steps are not known (what
    // needs them waits for them).
    const int rate = RateRuleOf(symbol);
    if (rate >= 0) return EvaluateAtStart(rates_[static_cast<std::size_t>(rate)].expression, model);
    return symbol.kind == RuleSymbol::Kind::kMetabolite && ChangedBySteps(symbol.index)
               ? std::numeric_limits<double>::quiet_NaN()
               : 0.0;
  }
  switch (symbol.kind) {
    case RuleSymbol::Kind::kMetabolite:
      return model.metabolites[s].initialConcentration;
    case RuleSymbol::Kind::kCompartmentVolume:
      return model.compartments[s].volume;
    case RuleSymbol::Kind::kGlobalQuantity:
      return model.globalQuantities[s].value;
    case RuleSymbol::Kind::kTime:
      return startTime_;
    case RuleSymbol::Kind::kConstant:
      return symbol.value;
  }
  return 0.0;
}

void RuleSystem::ApplyInitialValues(Model& model) {
  for (const BoundRule& rule : initial_) {
    const double value = EvaluateAtStart(rule.expression, model);
    if (rule.target.kind == RuleTargetKind::kStoichiometry) {
      stoichiometries_[static_cast<std::size_t>(rule.target.constant)].value = value;
    } else {
      ModelValue(rule.target, model) = value;
    }
  }
  if (!algebraic_.empty()) SolveConstraintsAtStart(model);
  if (hasDelays_) KeepStartValues(model);
}

double RuleSystem::Evaluate(const RuleExpression& expression, const RuleQuantities& q) const {
  return NodeValue(expression, Root(expression), q);
}

double RuleSystem::NodeValue(const RuleExpression& expression, int position,
                             const RuleQuantities& q) const {
  return EvaluateWith(
      expression, position, [&q, this](const RuleSymbol& symbol) { return SymbolValue(symbol, q); },
      [&](int call, int argument, int tau) {
        return DelayedValue(expression, call, argument, tau, q);
      });
}

double RuleSystem::SymbolValue(const RuleSymbol& symbol, const RuleQuantities& q) const {
  const auto s = static_cast<std::size_t>(symbol.index);
  if (symbol.rate) return RateOf(symbol, q);
  switch (symbol.kind) {
    case RuleSymbol::Kind::kMetabolite:
      return ruleSet_[s] ? concentration_[s] : q.amounts[position_[s]] / q.volumes[compartment_[s]];
    case RuleSymbol::Kind::kCompartmentVolume:
      return q.volumes[s];
    case RuleSymbol::Kind::kGlobalQuantity:
      return q.quantities[s];
    case RuleSymbol::Kind::kTime:
      return q.time;
    case RuleSymbol::Kind::kConstant:
      return symbol.value;
  }
  return 0.0;
}

void RuleSystem::Write(const BoundTarget& target, double value, const RuleQuantities& q,
                       Model& model) {
  const auto i = static_cast<std::size_t>(target.index);
  switch (target.kind) {
    case RuleTargetKind::kGlobalQuantity:
      q.quantities[i] = value;
      break;
    case RuleTargetKind::kCompartmentVolume:
      q.volumes[i] = value;
      break;
    case RuleTargetKind::kMetabolite:
      concentration_[i] = value;
      break;
    case RuleTargetKind::kKineticConstant:
      model.steps[i].constants[static_cast<std::size_t>(target.constant)] = value;
      break;
    case RuleTargetKind::kStoichiometry:
      stoichiometries_[static_cast<std::size_t>(target.constant)].value = value;
      break;
  }
}

void RuleSystem::EvaluateAssignments(const RuleQuantities& q, Model& model) {
  if (algebraic_.empty()) {
    EvaluateChanging(q, model);
  } else {
    SolveConstraints(/*late=*/false, q, model);
  }
}

double RuleSystem::Read(const BoundTarget& target, const RuleQuantities& q,
                        const Model& model) const {
  const auto i = static_cast<std::size_t>(target.index);
  switch (target.kind) {
    case RuleTargetKind::kGlobalQuantity:
      return q.quantities[i];
    case RuleTargetKind::kCompartmentVolume:
      return q.volumes[i];
    case RuleTargetKind::kMetabolite:
      return concentration_[i];
    case RuleTargetKind::kStoichiometry:
      return stoichiometries_[static_cast<std::size_t>(target.constant)].value;
    case RuleTargetKind::kKineticConstant:
      break;
  }
  return model.steps[i].constants[static_cast<std::size_t>(target.constant)];
}

void RuleSystem::EvaluateChanging(const RuleQuantities& q, Model& model) {
  for (const BoundRule& rule : assignments_) Write(rule.target, Evaluate(rule.expression, q), q, model);
  // The amounts follow the concentrations once every volume is known.
  for (int m : ruleMetabolites_) {
    const auto i = static_cast<std::size_t>(m);
    q.amounts[position_[i]] = concentration_[i] * q.volumes[compartment_[i]];
  }
}

void RuleSystem::EvaluateLateAssignments(const RuleQuantities& q, Model& model) {
  if (!lateAlgebraic_.empty()) {
    SolveConstraints(/*late=*/true, q, model);
    return;
  }
  for (const BoundRule& rule : late_) Write(rule.target, Evaluate(rule.expression, q), q, model);
}

void RuleSystem::ApplyLateInitialValues(const RuleQuantities& q, Model& model) {
  // The late constraints' targets at time 0 are global quantities' values.
  if (!lateAlgebraic_.empty()) {
    SolveConstraints(/*late=*/true, q, model);
    for (const BoundRule& rule : lateAlgebraic_) ModelValue(rule.target, model) = Read(rule.target, q, model);
  }
  for (const BoundRule& rule : lateInitial_) {
    const double value = Evaluate(rule.expression, q);
    Write(rule.target, value, q, model);
    ModelValue(rule.target, model) = value;
  }
}

void RuleSystem::ReadConcentrations(const RuleQuantities& q) {
  for (int m : ruleMetabolites_) {
    const auto i = static_cast<std::size_t>(m);
    concentration_[i] = q.amounts[position_[i]] / q.volumes[compartment_[i]];
  }
}

void RuleSystem::Derivatives(const RuleQuantities& q, double* out) {
  for (std::size_t r = 0; r < rates_.size(); ++r) out[r] = Evaluate(rates_[r].expression, q);
}

void RuleSystem::AddPositionsRead(const Model& model,
                                  std::vector<std::vector<int>>& reads) const {
  // The positions each changing assignment rule reads, directly or through
  // the rules before it that set what it reads.
  std::vector<int> quantitySetter(model.globalQuantities.size(), -1);
  std::vector<int> volumeSetter(static_cast<std::size_t>(model.nCompartments()), -1);
  std::vector<int> metaboliteSetter(static_cast<std::size_t>(model.nMetabolites()), -1);
  std::vector<std::vector<int>> ruleReads(assignments_.size());
  // The algebraic targets move with everything their constraints read.
  bool everything = !algebraic_.empty();
  for (std::size_t r = 0; r < assignments_.size(); ++r) {
    std::vector<int>& positions = ruleReads[r];
    const auto addSetter = [&](int setter) {
      if (setter < 0) return;
      const std::vector<int>& more = ruleReads[static_cast<std::size_t>(setter)];
      positions.insert(positions.end(), more.begin(), more.end());
    };
    for (const RuleSymbol& symbol : assignments_[r].expression.symbols) {
      const auto s = static_cast<std::size_t>(symbol.index);
      switch (symbol.kind) {
        case RuleSymbol::Kind::kMetabolite:
          if (metaboliteSetter[s] >= 0) {
            addSetter(metaboliteSetter[s]);
          } else {
            positions.push_back(position_[s]);
          }
          break;
        case RuleSymbol::Kind::kGlobalQuantity:
          addSetter(quantitySetter[s]);
          break;
        case RuleSymbol::Kind::kCompartmentVolume:
          addSetter(volumeSetter[s]);
          break;
        default:
          break;
      }
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    const BoundTarget& target = assignments_[r].target;
    const auto t = static_cast<std::size_t>(target.index);
    if (target.kind == RuleTargetKind::kGlobalQuantity) quantitySetter[t] = static_cast<int>(r);
    if (target.kind == RuleTargetKind::kMetabolite) metaboliteSetter[t] = static_cast<int>(r);
    if (target.kind == RuleTargetKind::kCompartmentVolume) {
      volumeSetter[t] = static_cast<int>(r);
      everything = everything || !positions.empty();
    }
  }
  if (everything) {
    for (std::vector<int>& positions : reads) {
      positions.clear();
      for (int q = 1; q <= model.nMetabolites(); ++q) positions.push_back(q);
    }
    return;
  }
  for (std::size_t r = 0; r < assignments_.size(); ++r) {
    const BoundTarget& target = assignments_[r].target;
    if (target.kind != RuleTargetKind::kKineticConstant) continue;
    std::vector<int>& positions = reads[static_cast<std::size_t>(target.index)];
    positions.insert(positions.end(), ruleReads[r].begin(), ruleReads[r].end());
  }
  for (int k = 0; k < model.nSteps(); ++k) {
    const Step& step = model.steps[static_cast<std::size_t>(k)];
    std::vector<int>& positions = reads[static_cast<std::size_t>(k)];
    for (const std::vector<int>* list : {&step.substrates, &step.products, &step.modifiers}) {
      for (int m : *list) {
        if (m < 0 || m >= model.nMetabolites()) continue;
        const int setter = metaboliteSetter[static_cast<std::size_t>(m)];
        if (setter < 0) continue;
        const std::vector<int>& more = ruleReads[static_cast<std::size_t>(setter)];
        positions.insert(positions.end(), more.begin(), more.end());
      }
    }
  }
}

double RuleSystem::RateTargetValue(int r, const RuleQuantities& q, const Model& model) const {
  return Read(rates_[static_cast<std::size_t>(r)].target, q, model);
}

void RuleSystem::SetRateTarget(int r, double value, const RuleQuantities& q, Model& model) {
  Write(rates_[static_cast<std::size_t>(r)].target, value, q, model);
}

}  // namespace vireon
