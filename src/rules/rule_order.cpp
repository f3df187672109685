#include "rules/rule_order.h"

#include <algorithm>
#include <cstddef>

#include "model/model.h"
#include "kinetics/kinetic_type.h"
#include "model/model_name_index.h"

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

int FindTarget(const ModelNameIndex& names, const RuleTarget& target) {
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

// The place of a kinetic-constant target's constant in its step's list, by
// the names of the step's kinetic type; -1 when it has none of that name.
int FindConstant(const Step& step, const std::string& name) {
  if (step.kineticType == nullptr) return -1;
  const std::vector<std::string>& names = step.kineticType->constantNames;
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) return -1;
  const auto c = static_cast<int>(found - names.begin());
  return c < step.ConstantCount() ? c : -1;
}

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
template <typename Takes>
std::vector<int> Order(const Model& model, const RuleSet& set, const QuantityKeys& keys,
                       Takes takes, std::vector<int>& cycle) {
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
    for (const RuleSymbol& symbol : set.expressions[static_cast<std::size_t>(r)].symbols) {
      const int key = keys.OfSymbol(symbol);
      const int from = key < 0 ? -1 : setter[static_cast<std::size_t>(key)];
      if (from < 0) continue;
      reads[static_cast<std::size_t>(r)].push_back(from);
      readers[static_cast<std::size_t>(from)].push_back(r);
      ++waiting[static_cast<std::size_t>(r)];
    }
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

}  // namespace

std::string RuleKindWord(RuleKind kind) {
  switch (kind) {
    case RuleKind::kAssignment:
      return "assignment";
    case RuleKind::kRate:
      return "rate";
    case RuleKind::kInitialAssignment:
      return "initial assignment";
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
    const int target = FindTarget(names, rule.target);
    int constant = 0;
    if (rule.target.kind == RuleTargetKind::kKineticConstant && target >= 0) {
      constant = FindConstant(model.steps[static_cast<std::size_t>(target)], rule.target.constant);
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
  }

  std::vector<int> cycle;
  set.assignmentOrder = Order(
      model, set, keys, [](RuleKind kind) { return kind == RuleKind::kAssignment; }, cycle);
  if (!cycle.empty()) {
    return CycleFault(model, cycle, "The assignment rule for", "The assignment rules for");
  }
  set.initialOrder = Order(
      model, set, keys, [](RuleKind kind) { return kind != RuleKind::kRate; }, cycle);
  if (!cycle.empty()) {
    return CycleFault(model, cycle, "The initial value of", "The initial values of");
  }
  if (result != nullptr) *result = std::move(set);
  return {};
}

}  // namespace vireon
