#include "rules/rules_editor.h"

#include <algorithm>

#include "kinetics/kinetic_type.h"
#include "rules/rule_order.h"

namespace vireon {

namespace {

Rule RuleOf(const RuleForm& form) {
  Rule rule;
  rule.kind = form.kind;
  const bool constant = HasSecondName(form.targetKind);
  rule.target = RuleTarget{form.targetKind, form.target, constant ? form.constant : std::string()};
  rule.expression = form.expression;
  std::replace(rule.expression.begin(), rule.expression.end(), '\r', ' ');
  std::replace(rule.expression.begin(), rule.expression.end(), '\n', ' ');
  return rule;
}

RuleCheck CheckOf(const RulesCheck& rules) {
  RuleCheck check;
  if (rules.ok()) return check;
  check.field = rules.inExpression ? RuleField::kExpression : RuleField::kTarget;
  check.position = rules.expression.position;
  check.name = rules.expression.name;
  check.message = rules.message;
  return check;
}

}  // namespace

RulesEditor::RulesEditor(const Model& document) : working_(document) {}

RuleForm RulesEditor::FormOf(int index) const {
  if (index < 0 || index >= static_cast<int>(working_.rules.size())) return {};
  const Rule& rule = working_.rules[static_cast<std::size_t>(index)];
  return RuleForm{rule.kind, rule.target.kind, rule.target.name, rule.target.constant,
                  rule.expression};
}

std::vector<std::string> RulesEditor::TargetNames(RuleKind ruleKind,
                                                  RuleTargetKind targetKind) const {
  std::vector<std::string> names;
  const auto add = [&names](const auto& records) {
    for (const auto& record : records) names.push_back(record.name);
  };
  switch (targetKind) {
    case RuleTargetKind::kGlobalQuantity:
      add(working_.globalQuantities);
      break;
    case RuleTargetKind::kCompartmentVolume:
      add(working_.compartments);
      break;
    case RuleTargetKind::kMetabolite:
      for (const Metabolite& m : working_.metabolites) {
        if (ruleKind == RuleKind::kInitialAssignment || !m.IsInternal()) names.push_back(m.name);
      }
      break;
    case RuleTargetKind::kKineticConstant:
      // An algebraic rule determines a quantity, never a step's constant.
      if (ruleKind == RuleKind::kAlgebraic) break;
      for (const Step& step : working_.steps) {
        if (!ConstantNames(step.name).empty()) names.push_back(step.name);
      }
      break;
    case RuleTargetKind::kStoichiometry:
      for (const Step& step : working_.steps) {
        if (!MemberNames(step.name).empty()) names.push_back(step.name);
      }
      break;
  }
  return names;
}

std::vector<std::string> RulesEditor::MemberNames(const std::string& step) const {
  const int s = working_.FindStep(step);
  if (s < 0) return {};
  const Step& record = working_.steps[static_cast<std::size_t>(s)];
  std::vector<int> members = record.substrates;
  members.insert(members.end(), record.products.begin(), record.products.end());
  std::sort(members.begin(), members.end());
  members.erase(std::unique(members.begin(), members.end()), members.end());
  std::vector<std::string> names;
  for (int m : members) {
    if (m >= 0 && m < working_.nMetabolites())
      names.push_back(working_.metabolites[static_cast<std::size_t>(m)].name);
  }
  return names;
}

std::vector<std::string> RulesEditor::ConstantNames(const std::string& step) const {
  const int s = working_.FindStep(step);
  if (s < 0) return {};
  const Step& record = working_.steps[static_cast<std::size_t>(s)];
  if (record.kineticType == nullptr) return {};
  std::vector<std::string> names = record.kineticType->constantNames;
  // The step's own list is what a rule can reach (rules/rule_order.cpp).
  if (static_cast<int>(names.size()) > record.ConstantCount()) {
    names.resize(static_cast<std::size_t>(record.ConstantCount()));
  }
  return names;
}

RuleCheck RulesEditor::Check(const RuleForm& form, int index) const {
  Model candidate = working_;
  if (index >= 0 && index < static_cast<int>(candidate.rules.size())) {
    candidate.rules[static_cast<std::size_t>(index)] = RuleOf(form);
  } else {
    candidate.rules.push_back(RuleOf(form));
  }
  return CheckOf(CheckRules(candidate));
}

bool RulesEditor::Apply(int index, const RuleForm& form, MessageSink& sink) {
  lastRefusal_ = Check(form, index);
  if (!lastRefusal_.ok()) {
    sink.Warning("", lastRefusal_.message);
    return false;
  }
  if (index >= 0) {
    working_.rules[static_cast<std::size_t>(index)] = RuleOf(form);
  } else {
    working_.rules.push_back(RuleOf(form));
  }
  return true;
}

bool RulesEditor::Add(const RuleForm& form, MessageSink& sink) {
  return Apply(-1, form, sink);
}

bool RulesEditor::Change(int index, const RuleForm& form, MessageSink& sink) {
  if (index < 0 || index >= static_cast<int>(working_.rules.size())) return false;
  return Apply(index, form, sink);
}

bool RulesEditor::Delete(int index) {
  if (index < 0 || index >= static_cast<int>(working_.rules.size())) return false;
  working_.rules.erase(working_.rules.begin() + index);
  return true;
}

bool RulesEditor::Commit(Model& document, MessageSink& sink, const ModelHook& analyse) {
  Model candidate = document;
  candidate.rules = working_.rules;
  const RulesCheck check = CheckRules(candidate);
  if (!check.ok()) {
    sink.Warning("", check.message);
    return false;
  }
  document.rules = working_.rules;
  if (analyse) analyse(document);
  return true;
}

}  // namespace vireon
