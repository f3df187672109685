#include "rules/rule_order.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "kinetics/kinetic_type.h"
#include "model/model.h"
#include "model/model_name_index.h"
#include "rules/constraint_matching.h"

namespace vireon {

namespace {

// Every quantity a rule can set or read gets one key: the global quantities
// first, then the compartment volumes, then the metabolites, then the
// kinetic constants step by step, then the stoichiometries step by step
// (which rules set but never read; a step's stoichiometries are its
// distinct substrates and products, in index order).
class QuantityKeys {
 public:
  explicit QuantityKeys(const Model& model)
      : quantities_(static_cast<int>(model.globalQuantities.size())),
        compartments_(model.nCompartments()),
        metabolites_(model.nMetabolites()) {
    constantStart_.reserve(model.steps.size() + 1);
    constantStart_.push_back(0);
    for (const Step& step : model.steps) {
      constantStart_.push_back(constantStart_.back() + step.ConstantCount());
    }
    members_.resize(model.steps.size());
    memberStart_.reserve(model.steps.size() + 1);
    memberStart_.push_back(0);
    for (std::size_t k = 0; k < model.steps.size(); ++k) {
      std::vector<int>& members = members_[k];
      members = model.steps[k].substrates;
      members.insert(members.end(), model.steps[k].products.begin(), model.steps[k].products.end());
      std::sort(members.begin(), members.end());
      members.erase(std::unique(members.begin(), members.end()), members.end());
      memberStart_.push_back(memberStart_.back() + static_cast<int>(members.size()));
    }
  }

  int count() const {
    return quantities_ + compartments_ + metabolites_ + constantStart_.back() + memberStart_.back();
  }
  // The place of a metabolite among a step's substrates and products; -1
  // when the step has no such member.
  int MemberOf(int step, int metabolite) const {
    const std::vector<int>& members = members_[static_cast<std::size_t>(step)];
    const auto found = std::lower_bound(members.begin(), members.end(), metabolite);
    if (found == members.end() || *found != metabolite) return -1;
    return static_cast<int>(found - members.begin());
  }
  // index: the quantity, compartment or metabolite, or for a kinetic
  // constant or a stoichiometry the step, with `second` the constant's
  // place in the step's list or the metabolite.
  int OfTarget(RuleTargetKind kind, int index, int second = 0) const {
    switch (kind) {
      case RuleTargetKind::kGlobalQuantity:
        return index;
      case RuleTargetKind::kCompartmentVolume:
        return quantities_ + index;
      case RuleTargetKind::kMetabolite:
        return quantities_ + compartments_ + index;
      case RuleTargetKind::kKineticConstant:
        return quantities_ + compartments_ + metabolites_ +
               constantStart_[static_cast<std::size_t>(index)] + second;
      case RuleTargetKind::kStoichiometry:
        return quantities_ + compartments_ + metabolites_ + constantStart_.back() +
               memberStart_[static_cast<std::size_t>(index)] + std::max(MemberOf(index, second), 0);
    }
    return -1;
  }
  // -1 for the time and the named constants, which no rule sets.
  int OfSymbol(const RuleSymbol& symbol) const {
    switch (symbol.kind) {
      case RuleSymbol::Kind::kGlobalQuantity:
        return OfTarget(RuleTargetKind::kGlobalQuantity, symbol.index);
      case RuleSymbol::Kind::kCompartmentVolume:
        return OfTarget(RuleTargetKind::kCompartmentVolume, symbol.index);
      case RuleSymbol::Kind::kMetabolite:
        return OfTarget(RuleTargetKind::kMetabolite, symbol.index);
      default:
        return -1;
    }
  }

 private:
  int quantities_, compartments_, metabolites_;
  std::vector<int> constantStart_;         // per step, and one past the last
  std::vector<std::vector<int>> members_;  // per step: its distinct substrates and products
  std::vector<int> memberStart_;           // per step, and one past the last
};

RulesCheck Fault(int rule, std::string message) {
  RulesCheck check;
  check.rule = rule;
  check.message = std::move(message);
  return check;
}

// "a", "a and b", "a, b and c".
std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

// Kahn's topological sort of the rules that `takes` admits, an edge leading
// from the rule that sets a quantity to every admitted rule that reads it.
// The rules come out in model order where nothing else decides. When some
// are left over, they hold a cycle: from any of them a walk along "reads
// the target of" stays among them and must come back to a rule it passed,
// and the rules from that one on are the cycle, given in `cycle`.
// Calls `read(key)` for every quantity the expression of rule r reads by
// value. A rate it reads is the expression of the quantity's rate rule
// (rateRule, by key, -1 where there is none), so what that expression reads
// is read too; the rate rules' rates never read each other in a cycle.
template <typename Read>
void ForEachRead(const RuleSet& set, const QuantityKeys& keys, const std::vector<int>& rateRule,
                 int r, Read read) {
  std::vector<int> pending{r};
  std::vector<int> expanded;
  while (!pending.empty()) {
    const int next = pending.back();
    pending.pop_back();
    for (const RuleSymbol& symbol : set.expressions[static_cast<std::size_t>(next)].symbols) {
      const int key = keys.OfSymbol(symbol);
      if (key < 0) continue;
      if (!symbol.rate) {
        read(key);
        continue;
      }
      const int rate = rateRule[static_cast<std::size_t>(key)];
      if (rate < 0 || std::find(expanded.begin(), expanded.end(), rate) != expanded.end()) continue;
      expanded.push_back(rate);
      pending.push_back(rate);
    }
  }
}

template <typename Takes>
std::vector<int> Order(const Model& model, const RuleSet& set, const QuantityKeys& keys,
                       const std::vector<int>& rateRule, Takes takes, std::vector<int>& cycle) {
  const int nRules = static_cast<int>(model.rules.size());
  std::vector<int> setter(static_cast<std::size_t>(keys.count()), -1);
  for (int r = 0; r < nRules; ++r) {
    if (!takes(model.rules[static_cast<std::size_t>(r)].kind)) continue;
    const RuleTarget& target = model.rules[static_cast<std::size_t>(r)].target;
    setter[static_cast<std::size_t>(
        keys.OfTarget(target.kind, set.targets[r], set.constants[r]))] = r;
  }
  // The rules each rule reads (its dependencies) and the rules reading it.
  std::vector<std::vector<int>> reads(static_cast<std::size_t>(nRules));
  std::vector<std::vector<int>> readers(static_cast<std::size_t>(nRules));
  std::vector<int> waiting(static_cast<std::size_t>(nRules), 0);
  std::vector<int> ready;
  for (int r = 0; r < nRules; ++r) {
    if (!takes(model.rules[static_cast<std::size_t>(r)].kind)) continue;
    ForEachRead(set, keys, rateRule, r, [&](int key) {
      const int from = setter[static_cast<std::size_t>(key)];
      if (from < 0) return;
      reads[static_cast<std::size_t>(r)].push_back(from);
      readers[static_cast<std::size_t>(from)].push_back(r);
      ++waiting[static_cast<std::size_t>(r)];
    });
    if (waiting[static_cast<std::size_t>(r)] == 0) ready.push_back(r);
  }
  std::vector<int> order;
  for (std::size_t next = 0; next < ready.size(); ++next) {
    const int r = ready[next];
    order.push_back(r);
    for (int reader : readers[static_cast<std::size_t>(r)]) {
      if (--waiting[static_cast<std::size_t>(reader)] == 0) ready.push_back(reader);
    }
  }
  cycle.clear();
  int start = -1;
  for (int r = 0; r < nRules && start < 0; ++r) {
    if (waiting[static_cast<std::size_t>(r)] > 0) start = r;
  }
  if (start < 0) return order;
  // Walk: a left-over rule reads at least one left-over rule.
  std::vector<int> visited(static_cast<std::size_t>(nRules), -1);  // step of the walk
  std::vector<int> walk;
  int r = start;
  while (visited[static_cast<std::size_t>(r)] < 0) {
    visited[static_cast<std::size_t>(r)] = static_cast<int>(walk.size());
    walk.push_back(r);
    for (int from : reads[static_cast<std::size_t>(r)]) {
      if (waiting[static_cast<std::size_t>(from)] > 0) {
        r = from;
        break;
      }
    }
  }
  cycle.assign(walk.begin() + visited[static_cast<std::size_t>(r)], walk.end());
  return order;
}

// `one` and `many` name what is in the cycle: "The assignment rule for" and
// "The assignment rules for".
RulesCheck CycleFault(const Model& model, const std::vector<int>& cycle, const char* one,
                      const char* many) {
  std::vector<std::string> names;
  std::string reading;
  for (std::size_t i = 0; i < cycle.size(); ++i) {
    const std::string& name = model.rules[static_cast<std::size_t>(cycle[i])].target.name;
    names.push_back(name);
    const std::string& next =
        model.rules[static_cast<std::size_t>(cycle[(i + 1) % cycle.size()])].target.name;
    if (i > 0) reading += i + 1 == cycle.size() ? " and " : ", ";
    reading += name + " reads " + next;
  }
  const std::string subject =
      cycle.size() == 1
          ? std::string(one) + " " + names.front() + " depends on itself"
          : std::string(many) + " " + NameList(names) + " depend on each other in a cycle";
  return Fault(cycle.front(), subject + ": " + reading + ".");
}

// Rate rules whose expressions read each other's rates have no value: the
// first such cycle, found by a depth-first walk along "reads the rate of".
RulesCheck RateCycle(const Model& model, const RuleSet& set, const QuantityKeys& keys,
                     const std::vector<int>& rateRule) {
  const int nRules = static_cast<int>(model.rules.size());
  std::vector<char> state(static_cast<std::size_t>(nRules), 0);  // 1 on the walk, 2 done
  for (int start = 0; start < nRules; ++start) {
    if (model.rules[static_cast<std::size_t>(start)].kind != RuleKind::kRate ||
        state[static_cast<std::size_t>(start)] != 0) {
      continue;
    }
    // The walk and, for each rule on it, how many of its symbols it passed.
    std::vector<std::pair<int, std::size_t>> walk{{start, 0}};
    state[static_cast<std::size_t>(start)] = 1;
    while (!walk.empty()) {
      auto& [r, next] = walk.back();
      const std::vector<RuleSymbol>& symbols = set.expressions[static_cast<std::size_t>(r)].symbols;
      if (next == symbols.size()) {
        state[static_cast<std::size_t>(r)] = 2;
        walk.pop_back();
        continue;
      }
      const RuleSymbol& symbol = symbols[next++];
      const int key = keys.OfSymbol(symbol);
      const int rate = symbol.rate && key >= 0 ? rateRule[static_cast<std::size_t>(key)] : -1;
      if (rate < 0 || state[static_cast<std::size_t>(rate)] == 2) continue;
      if (state[static_cast<std::size_t>(rate)] == 1) {
        std::vector<int> cycle;
        for (auto it = walk.rbegin(); it != walk.rend(); ++it) {
          cycle.insert(cycle.begin(), it->first);
          if (it->first == rate) break;
        }
        return CycleFault(model, cycle, "The rate rule for", "The rate rules for");
      }
      state[static_cast<std::size_t>(rate)] = 1;
      walk.emplace_back(rate, 0);
    }
  }
  return {};
}

// The algebraic rules must be solvable for their targets: each target is
// set by no other rule, and the rules can be paired with distinct targets
// that each reads, directly or through the assignment rules it reads
// (whose targets move with the algebraic targets they read). Otherwise
// some set of rules constrains fewer targets than it has rules.
RulesCheck CheckAlgebraicRules(const Model& model, const QuantityKeys& keys,
                               const std::vector<int>& overTime, RuleSet& set) {
  const int nRules = static_cast<int>(model.rules.size());
  // Each algebraic target's unknown, by key.
  std::vector<int> unknownOfKey(static_cast<std::size_t>(keys.count()), -1);
  for (int r = 0; r < nRules; ++r) {
    const Rule& rule = model.rules[static_cast<std::size_t>(r)];
    if (rule.kind != RuleKind::kAlgebraic) continue;
    if (rule.target.kind == RuleTargetKind::kKineticConstant) {
      return Fault(r, "The algebraic rule for " + RuleTargetTitle(rule.target) +
                          " determines a kinetic constant: an algebraic rule determines a global "
                          "quantity, a volume or a fixed metabolite.");
    }
    const auto key = static_cast<std::size_t>(keys.OfTarget(rule.target.kind, set.targets[r]));
    unknownOfKey[key] = static_cast<int>(set.algebraic.size());
    set.algebraic.push_back(r);
  }
  if (set.algebraic.empty()) return {};
  // The unknowns each assignment rule moves, in dependency order.
  std::vector<std::vector<int>> moves(static_cast<std::size_t>(nRules));
  const auto readUnknowns = [&](int r, std::vector<int>& out) {
    for (const RuleSymbol& symbol : set.expressions[static_cast<std::size_t>(r)].symbols) {
      const int key = keys.OfSymbol(symbol);
      if (key < 0) continue;
      const int unknown = unknownOfKey[static_cast<std::size_t>(key)];
      if (unknown >= 0) out.push_back(unknown);
      const int setter = overTime[static_cast<std::size_t>(key)];
      if (setter >= 0 &&
          model.rules[static_cast<std::size_t>(setter)].kind == RuleKind::kAssignment) {
        const std::vector<int>& more = moves[static_cast<std::size_t>(setter)];
        out.insert(out.end(), more.begin(), more.end());
      }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
  };
  for (int r : set.assignmentOrder) readUnknowns(r, moves[static_cast<std::size_t>(r)]);
  std::vector<std::vector<int>> involves(set.algebraic.size());
  for (std::size_t a = 0; a < set.algebraic.size(); ++a)
    readUnknowns(set.algebraic[a], involves[a]);
  const ConstraintMatching matching =
      MatchConstraints(involves, static_cast<int>(set.algebraic.size()));
  if (matching.complete()) return {};
  std::vector<std::string> rules, targets;
  std::vector<char> counted(set.algebraic.size(), 0);
  for (int a : matching.excess) {
    rules.push_back(
        model.rules[static_cast<std::size_t>(set.algebraic[static_cast<std::size_t>(a)])]
            .target.name);
    for (int u : involves[static_cast<std::size_t>(a)]) {
      if (counted[static_cast<std::size_t>(u)]) continue;
      counted[static_cast<std::size_t>(u)] = 1;
      targets.push_back(
          model.rules[static_cast<std::size_t>(set.algebraic[static_cast<std::size_t>(u)])]
              .target.name);
    }
  }
  std::sort(targets.begin(), targets.end());
  const std::string moved =
      targets.empty()
          ? "none of the quantities the algebraic rules determine"
          : "only " + NameList(targets) + " of the quantities the algebraic rules determine";
  return Fault(
      set.algebraic[static_cast<std::size_t>(matching.excess.front())],
      std::string(rules.size() == 1 ? "The algebraic rule for " : "The algebraic rules for ") +
          NameList(rules) + (rules.size() == 1 ? " reads " : " read ") + moved +
          ": the system is over-determined or of higher index, and cannot be solved for "
          "its targets.");
}

}  // namespace

int FindRuleTarget(const ModelNameIndex& names, const RuleTarget& target) {
  switch (target.kind) {
    case RuleTargetKind::kGlobalQuantity:
      return names.GlobalQuantity(target.name);
    case RuleTargetKind::kCompartmentVolume:
      return names.Compartment(target.name);
    case RuleTargetKind::kMetabolite:
      return names.Metabolite(target.name);
    case RuleTargetKind::kKineticConstant:
    case RuleTargetKind::kStoichiometry:
      return names.Step(target.name);
  }
  return -1;
}

int FindKineticConstant(const Step& step, const std::string& name) {
  if (step.kineticType == nullptr) return -1;
  const std::vector<std::string>& names = step.kineticType->constantNames;
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) return -1;
  const auto c = static_cast<int>(found - names.begin());
  return c < step.ConstantCount() ? c : -1;
}

std::string RuleKindWord(RuleKind kind) {
  switch (kind) {
    case RuleKind::kAssignment:
      return "assignment";
    case RuleKind::kRate:
      return "rate";
    case RuleKind::kInitialAssignment:
      return "initial assignment";
    case RuleKind::kAlgebraic:
      return "algebraic";
  }
  return "";
}

std::string RuleTargetKindWord(RuleTargetKind kind) {
  switch (kind) {
    case RuleTargetKind::kGlobalQuantity:
      return "global quantity";
    case RuleTargetKind::kCompartmentVolume:
      return "volume";
    case RuleTargetKind::kMetabolite:
      return "metabolite";
    case RuleTargetKind::kKineticConstant:
      return "kinetic constant";
    case RuleTargetKind::kStoichiometry:
      return "stoichiometry";
  }
  return "";
}

std::string RuleTargetTitle(const RuleTarget& target) {
  if (target.kind == RuleTargetKind::kStoichiometry) return target.name + ":" + target.constant;
  if (target.kind != RuleTargetKind::kKineticConstant) return target.name;
  return target.name + "(" + target.constant + ")";
}

RulesCheck CheckRules(const Model& model, RuleSet* result) {
  const ModelNameIndex names(model);
  const QuantityKeys keys(model);
  const int nRules = static_cast<int>(model.rules.size());
  RuleSet set;
  set.expressions.resize(static_cast<std::size_t>(nRules));
  set.targets.resize(static_cast<std::size_t>(nRules));
  set.constants.assign(static_cast<std::size_t>(nRules), -1);
  for (int r = 0; r < nRules; ++r) {
    const Rule& rule = model.rules[static_cast<std::size_t>(r)];
    const int target = FindRuleTarget(names, rule.target);
    int constant = 0;
    if (rule.target.kind == RuleTargetKind::kKineticConstant && target >= 0) {
      constant =
          FindKineticConstant(model.steps[static_cast<std::size_t>(target)], rule.target.constant);
    } else if (rule.target.kind == RuleTargetKind::kStoichiometry && target >= 0) {
      // A step's stoichiometry exists for the metabolites its equation names.
      constant = names.Metabolite(rule.target.constant);
      if (constant >= 0 && keys.MemberOf(target, constant) < 0) constant = -1;
    }
    if (target < 0 || constant < 0) {
      return Fault(r, "The target " + RuleTargetTitle(rule.target) + " of the " +
                          RuleKindWord(rule.kind) + " rule is not a " +
                          RuleTargetKindWord(rule.target.kind) + " of the model.");
    }
    set.targets[static_cast<std::size_t>(r)] = target;
    if (HasSecondName(rule.target.kind)) {
      set.constants[static_cast<std::size_t>(r)] = constant;
    }
    // The steps change an internal metabolite: a rule over time cannot
    // set it as well.
    if (rule.target.kind == RuleTargetKind::kMetabolite && rule.kind != RuleKind::kInitialAssignment &&
        model.metabolites[static_cast<std::size_t>(target)].IsInternal()) {
      return Fault(r, "The " + RuleKindWord(rule.kind) + " rule for " + rule.target.name +
                          " sets a metabolite that its steps change: a metabolite that follows "
                          "a rule must be fixed.");
    }
    ExpressionProblem problem =
        ReadRuleExpression(rule.expression, names, set.expressions[static_cast<std::size_t>(r)]);
    if (!problem.ok()) {
      RulesCheck check = Fault(r, "The " + RuleKindWord(rule.kind) + " rule for " +
                                      RuleTargetTitle(rule.target) + ": " + problem.message);
      check.inExpression = true;
      check.expression = std::move(problem);
      return check;
    }
  }

  // Targets: the rule over time (assignment or rate) and the initial
  // assignment of each quantity.
  std::vector<int> overTime(static_cast<std::size_t>(keys.count()), -1);
  std::vector<int> initial(static_cast<std::size_t>(keys.count()), -1);
  for (int r = 0; r < nRules; ++r) {
    const Rule& rule = model.rules[static_cast<std::size_t>(r)];
    const std::size_t key = static_cast<std::size_t>(
        keys.OfTarget(rule.target.kind, set.targets[r], std::max(set.constants[r], 0)));
    const bool isInitial = rule.kind == RuleKind::kInitialAssignment;
    int& slot = isInitial ? initial[key] : overTime[key];
    if (slot >= 0) {
      const Rule& first = model.rules[static_cast<std::size_t>(slot)];
      return Fault(r, isInitial ? RuleTargetTitle(rule.target) + " has two initial assignments."
                                : RuleTargetTitle(rule.target) + " is the target of two rules over time (" +
                                      RuleKindWord(first.kind) + " and " + RuleKindWord(rule.kind) +
                                      "); it can follow one assignment or one rate rule.");
    }
    slot = r;
  }
  for (std::size_t key = 0; key < overTime.size(); ++key) {
    const int over = overTime[key];
    if (over >= 0 && initial[key] >= 0 &&
        model.rules[static_cast<std::size_t>(over)].kind == RuleKind::kAssignment) {
      // The initial assignment is the one too many.
      return Fault(initial[key], RuleTargetTitle(model.rules[static_cast<std::size_t>(over)].target) +
                                     " has an assignment rule and an initial assignment; the "
                                     "assignment rule gives its value at time 0 as well.");
    }
    if (over >= 0 && initial[key] >= 0 &&
        model.rules[static_cast<std::size_t>(over)].kind == RuleKind::kAlgebraic) {
      return Fault(initial[key],
                   RuleTargetTitle(model.rules[static_cast<std::size_t>(over)].target) +
                       " has an algebraic rule and an initial assignment; the "
                       "algebraic rules give its value at time 0 as well.");
    }
  }

  // What rateOf reads: the rate of a quantity that a rate rule sets is that
  // rule's expression, and an assignment rule's target has no rate of its
  // own to read.
  std::vector<int> rateRule(static_cast<std::size_t>(keys.count()), -1);
  for (std::size_t key = 0; key < overTime.size(); ++key) {
    const int over = overTime[key];
    if (over >= 0 && model.rules[static_cast<std::size_t>(over)].kind == RuleKind::kRate) {
      rateRule[key] = over;
    }
  }
  for (int r = 0; r < nRules; ++r) {
    for (const RuleSymbol& symbol : set.expressions[static_cast<std::size_t>(r)].symbols) {
      const int key = keys.OfSymbol(symbol);
      if (!symbol.rate || key < 0) continue;
      const int over = overTime[static_cast<std::size_t>(key)];
      const RuleKind setBy =
          over >= 0 ? model.rules[static_cast<std::size_t>(over)].kind : RuleKind::kRate;
      if (setBy == RuleKind::kAssignment || setBy == RuleKind::kAlgebraic) {
        const Rule& rule = model.rules[static_cast<std::size_t>(r)];
        return Fault(r, "The " + RuleKindWord(rule.kind) + " rule for " +
                            RuleTargetTitle(rule.target) + " reads the rate of change of " +
                            symbol.name + ", which an " + RuleKindWord(setBy) +
                            " rule sets: rateOf reads quantities that are fixed, follow a rate "
                            "rule or change by the steps.");
      }
    }
  }
  if (RulesCheck fault = RateCycle(model, set, keys, rateRule); !fault.ok()) return fault;

  std::vector<int> cycle;
  set.assignmentOrder = Order(
      model, set, keys, rateRule, [](RuleKind kind) { return kind == RuleKind::kAssignment; },
      cycle);
  if (!cycle.empty()) {
    return CycleFault(model, cycle, "The assignment rule for", "The assignment rules for");
  }
  set.initialOrder = Order(
      model, set, keys, rateRule,
      [](RuleKind kind) {
        return kind == RuleKind::kAssignment || kind == RuleKind::kInitialAssignment;
      },
      cycle);
  if (!cycle.empty()) {
    return CycleFault(model, cycle, "The initial value of", "The initial values of");
  }
  RulesCheck algebraic = CheckAlgebraicRules(model, keys, overTime, set);
  if (!algebraic.ok()) return algebraic;
  if (result != nullptr) *result = std::move(set);
  return {};
}

}  // namespace vireon
