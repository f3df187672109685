#include "rules/rules_edit_guard.h"

#include <string_view>
#include <unordered_set>

#include "kinetics/expression_scanner.h"
#include "model/global_quantity.h"
#include "model/model_name_index.h"
#include "rules/event_check.h"
#include "rules/rule_order.h"

namespace vireon {

namespace {

// The first record of `edited` other than a global quantity that bears a
// global quantity's name while no record of its kind bore that name in
// `before`; empty when there is none.
std::string NewNameClash(const Model& before, const Model& edited) {
  if (edited.globalQuantities.empty()) return "";
  std::unordered_set<std::string_view> quantities;
  for (const GlobalQuantity& q : edited.globalQuantities) quantities.insert(q.name);
  const ModelNameIndex old(before);
  const auto clash = [&](const auto& records, NamedRecord record, auto findBefore) {
    for (const auto& r : records) {
      if (quantities.count(r.name) == 0 || findBefore(r.name) >= 0) continue;
      return "The name " + r.name + " of a " + std::string(NamedRecordWord(record)) +
             " is already in use by a global quantity.\nPlease give the " +
             std::string(NamedRecordWord(record)) + " another name.";
    }
    return std::string();
  };
  std::string problem = clash(edited.metabolites, NamedRecord::kMetabolite,
                              [&old](std::string_view n) { return old.Metabolite(n); });
  if (problem.empty()) {
    problem =
        clash(edited.steps, NamedRecord::kStep, [&old](std::string_view n) { return old.Step(n); });
  }
  if (problem.empty()) {
    problem = clash(edited.compartments, NamedRecord::kCompartment,
                    [&old](std::string_view n) { return old.Compartment(n); });
  }
  return problem;
}

}  // namespace

std::string RulesEditProblem(const Model& before, const Model& edited) {
  std::string clash = NewNameClash(before, edited);
  if (!clash.empty()) return clash;
  if (!edited.rules.empty()) {
    const RulesCheck check = CheckRules(edited);
    if (!check.ok() && CheckRules(before).ok())
      return check.message + "\nPlease change the rules first.";
  }
  // The events name their targets and what they read as the rules do.
  if (!edited.events.empty()) {
    const EventsCheck check = CheckEvents(edited);
    if (!check.ok() && CheckEvents(before).ok()) {
      return check.message + "\nPlease change the events first.";
    }
  }
  return "";
}

std::vector<bool> MetabolitesTheRulesUse(const Model& model) {
  std::vector<bool> used(model.metabolites.size(), false);
  if (model.rules.empty()) return used;
  const ModelNameIndex names(model);
  const auto mark = [&](std::string_view name) {
    const int m = names.Metabolite(name);
    if (m >= 0) used[static_cast<std::size_t>(m)] = true;
  };
  for (const Rule& rule : model.rules) {
    if (rule.target.kind == RuleTargetKind::kMetabolite) mark(rule.target.name);
    // The scan alone, so that a rule that does not read still keeps what
    // it names up to its first invalid character.
    const TokenScan scan = ScanExpression(rule.expression, RuleExpressionDialect());
    for (const Token& token : scan.tokens) {
      if (token.tokenClass == TokenClass::kSymbol) mark(token.text);
    }
  }
  return used;
}

}  // namespace vireon
