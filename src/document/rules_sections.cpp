#include "document/rules_sections.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "document/events_section.h"
#include "document/fast_steps_section.h"
#include "document/section_lines.h"
#include "model/messages.h"
#include "output/number_format.h"
#include "rules/global_quantities_editor.h"
#include "rules/rule_order.h"

namespace vireon {

namespace {

constexpr RuleKind kRuleKinds[] = {RuleKind::kAssignment, RuleKind::kRate,
                                   RuleKind::kInitialAssignment, RuleKind::kAlgebraic};
// A value of the file read back into one of the kinds, by its word.
template <typename Kind, std::size_t N, typename Word>
std::optional<Kind> KindOfWord(const std::string& text, const Kind (&kinds)[N], Word word) {
  for (Kind kind : kinds) {
    if (word(kind) == text) return kind;
  }
  return std::nullopt;
}

}  // namespace

void SaveRulesSections(const Model& model, std::string& out) {
  if (model.globalQuantities.empty() && model.rules.empty() && model.events.empty() &&
      !HasFastSteps(model)) {
    return;
  }
  SaveRecordSection(
      kGlobalQuantitiesSection, model.globalQuantities,
      [](const GlobalQuantity& q, std::string& text) {
        AppendValueLine(text, "Quantity", q.name);
        AppendValueLine(text, "Value", FormatRealExactly("%le", q.value));
      },
      out);
  SaveRecordSection(
      kRulesSection, model.rules,
      [](const Rule& rule, std::string& text) {
        AppendValueLine(text, "Rule", RuleKindWord(rule.kind));
        AppendValueLine(text, "TargetType", RuleTargetKindWord(rule.target.kind));
        AppendValueLine(text, "Target", rule.target.name);
        if (rule.target.kind == RuleTargetKind::kKineticConstant) {
          AppendValueLine(text, "Constant", rule.target.constant);
        }
        if (rule.target.kind == RuleTargetKind::kStoichiometry) {
          AppendValueLine(text, "Metabolite", rule.target.constant);
        }
        AppendValueLine(text, "Expression", rule.expression);
      },
      out);
  SaveEventsSection(model, out);
  SaveFastStepsSection(model, out);
}

RulesSectionsLoad LoadRulesSections(RecordCursor& cursor, MessageSink& sink, Model& model) {
  model.globalQuantities.clear();
  model.rules.clear();
  if (!AtSectionHeader(cursor, kGlobalQuantitiesSection)) return {};

  std::vector<int> quantityLines, ruleLines;
  const auto fail = [&sink](int line, std::string text) {
    sink.Error(messages::kFileErrorTitle, text);
    return RulesSectionsLoad{SelectionLoadStatus::kBadRecord, line};
  };
  int start = cursor.lineNumber();
  SelectionLoadStatus status =
      LoadRecordSection(cursor, sink, model.globalQuantities,
                        [&quantityLines](RecordCursor& c, MessageSink& s, GlobalQuantity& q) {
                          quantityLines.push_back(c.lineNumber());
                          std::optional<std::string> name = ReadStringLine(c, s);
                          if (!name) return false;
                          q.name = std::move(*name);
                          return ReadFieldLine<double>(c, s, "Value=%lf", &q.value);
                        });
  if (status == SelectionLoadStatus::kBadCount) {
    return {status, std::min(cursor.lineNumber(), start + 1)};
  }
  if (status == SelectionLoadStatus::kBadRecord) return {status, cursor.lineNumber()};

  start = cursor.lineNumber();
  int badKind = 0, badTarget = 0;
  status = LoadRecordSection(
      cursor, sink, model.rules, [&](RecordCursor& c, MessageSink& s, Rule& rule) {
        const int line = c.lineNumber();
        ruleLines.push_back(line);
        std::optional<std::string> kind = ReadStringLine(c, s);
        if (!kind) return false;
        std::optional<std::string> targetKind = ReadStringLine(c, s);
        if (!targetKind) return false;
        std::optional<std::string> target = ReadStringLine(c, s);
        if (!target) return false;
        const std::optional<RuleKind> k = KindOfWord(*kind, kRuleKinds, RuleKindWord);
        const std::optional<RuleTargetKind> t =
            RuleTargetKindOfWord(*targetKind);
        if (!k) badKind = line;
        if (!t) badTarget = line + 1;
        if (!k || !t) return false;
        std::optional<std::string> constant;
        if (HasSecondName(*t)) {
          constant = ReadStringLine(c, s);
          if (!constant) return false;
        }
        std::optional<std::string> expression = ReadStringLine(c, s);
        if (!expression) return false;
        rule.kind = *k;
        rule.target = RuleTarget{*t, std::move(*target), constant.value_or(std::string())};
        rule.expression = std::move(*expression);
        return true;
      });
  if (badKind != 0) return fail(badKind, Format(kUnknownRuleKind, badKind));
  if (badTarget != 0) return fail(badTarget, Format(kUnknownRuleTarget, badTarget));
  if (status == SelectionLoadStatus::kBadCount) {
    return {status, std::min(cursor.lineNumber(), start + 1)};
  }
  if (status == SelectionLoadStatus::kBadRecord) return {status, cursor.lineNumber()};

  // The names of the quantities, each against the other records and the
  // quantities before it.
  std::unordered_set<std::string> seen;
  Model others = model;
  others.globalQuantities.clear();
  for (std::size_t i = 0; i < model.globalQuantities.size(); ++i) {
    const std::string& name = model.globalQuantities[i].name;
    std::string problem = GlobalQuantityNameProblem(others, name);
    if (problem.empty() && !seen.insert(name).second) {
      problem = "Two global quantities are named " + name + ".";
    }
    if (!problem.empty()) {
      return fail(quantityLines[i], Format(kBadGlobalQuantity, quantityLines[i], problem.c_str()));
    }
  }
  const RulesCheck check = CheckRules(model);
  if (!check.ok()) {
    const int line = ruleLines[static_cast<std::size_t>(check.rule)];
    return fail(line, Format(kBadRule, line, check.message.c_str()));
  }
  return {};
}

}  // namespace vireon
