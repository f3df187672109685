#pragma once
// The rules of the "Rules" dialog: the model's rules listed, added, changed
// and deleted on a working copy. A rule is taken into the list only when
// its target exists and its expression reads and resolves, and the rules
// stay free of the faults rules/rule_order.h refuses; a refusal names the
// position in the expression and the name at fault.

#include <cstddef>
#include <string>
#include <vector>

#include "model/message_sink.h"
#include "model/model.h"
#include "model/working_copy.h"

namespace vireon {

// One rule as the dialog's fields hold it. For a kinetic-constant target,
// target is the step and constant the constant's name in its kinetic type;
// the other targets leave constant empty (it is ignored).
struct RuleForm {
  RuleKind kind = RuleKind::kAssignment;
  RuleTargetKind targetKind = RuleTargetKind::kGlobalQuantity;
  std::string target;
  std::string constant;
  std::string expression;  // line breaks are taken as blanks
  bool operator==(const RuleForm&) const = default;
};

enum class RuleField { kNone, kTarget, kExpression };

// What is wrong with a form; field kNone when nothing is. For a fault in the
// expression, position is the offset of the character at fault and name the
// name that does not resolve (empty for a syntax error).
struct RuleCheck {
  RuleField field = RuleField::kNone;
  std::size_t position = 0;
  std::string name;
  std::string message;
  bool ok() const { return field == RuleField::kNone; }
};

class RulesEditor {
 public:
  explicit RulesEditor(const Model& document);

  const std::vector<Rule>& rules() const { return working_.rules; }
  // The fields of rule index (a default form when there is none).
  RuleForm FormOf(int index) const;
  // The names a target of that kind may take under a rule of that kind, in
  // the model's order: for a metabolite under a rule over time only the
  // fixed ones (the steps change the others), for a kinetic constant the
  // steps that have a kinetic type with constants.
  std::vector<std::string> TargetNames(RuleKind ruleKind, RuleTargetKind targetKind) const;
  // The names of the constants of the named step's kinetic type, in the
  // type's order; empty for a step that has none or no such step.
  std::vector<std::string> ConstantNames(const std::string& step) const;
  // The metabolites whose stoichiometry in a step a rule can set: its
  // distinct substrates and products, in the order of the metabolites.
  std::vector<std::string> MemberNames(const std::string& step) const;

  // What Add (index -1) or Change (index) would find wrong with form, the
  // other rules as they stand.
  RuleCheck Check(const RuleForm& form, int index = -1) const;
  // Appends the rule, or replaces rule index by it, when Check passes;
  // otherwise warns with the check's message and changes nothing.
  bool Add(const RuleForm& form, MessageSink& sink);
  bool Change(int index, const RuleForm& form, MessageSink& sink);
  // False when there is no such rule.
  bool Delete(int index);
  // The check of the last refused Add or Change.
  const RuleCheck& lastRefusal() const { return lastRefusal_; }

  // OK: the list replaces the document's rules, when they still check
  // against the document (warned about and false otherwise); then analyse
  // runs.
  bool Commit(Model& document, MessageSink& sink, const ModelHook& analyse);

 private:
  bool Apply(int index, const RuleForm& form, MessageSink& sink);

  Model working_;
  RuleCheck lastRefusal_;
};

}  // namespace vireon
