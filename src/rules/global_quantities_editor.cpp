#include "rules/global_quantities_editor.h"

#include <unordered_set>

#include "kinetics/expression.h"
#include "model/metabolite_editor.h"
#include "model/number_text.h"
#include "rules/rules_edit_guard.h"

namespace vireon {

std::string GlobalQuantityNameProblem(const Model& model, const std::string& name) {
  if (!IsValidMetaboliteName(name)) {
    return "The name \"" + name +
           "\" of a global quantity is empty or contains a space, a tab, one of the characters "
           "* . = or the sequence ->.";
  }
  if (name == kTimeName || FindNamedConstant(name) != nullptr) {
    return "The name " + name + " stands for " + (name == kTimeName ? "the time" : "a constant") +
           " in expressions; please give the global quantity another name.";
  }
  const NamedRecord record = RecordNamed(model, name);
  if (record != NamedRecord::kNone && record != NamedRecord::kGlobalQuantity) {
    return "The name " + name + " is already in use by a " + std::string(NamedRecordWord(record)) +
           ".";
  }
  return "";
}

GlobalQuantitiesEditor::GlobalQuantitiesEditor(const Model& document) : working_(document) {
  for (const GlobalQuantity& q : working_.globalQuantities) {
    rows_.push_back({q.name, FormatConcentration(q.value)});
  }
}

int GlobalQuantitiesEditor::Add() {
  std::unordered_set<std::string> taken;
  for (const GlobalQuantityRow& row : rows_) taken.insert(row.name);
  for (int n = 1;; ++n) {
    std::string name = "quantity" + std::to_string(n);
    if (taken.count(name) == 0 && RecordNamed(working_, name) == NamedRecord::kNone) {
      rows_.push_back({std::move(name), "0"});
      return static_cast<int>(rows_.size()) - 1;
    }
  }
}

bool GlobalQuantitiesEditor::Remove(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  rows_.erase(rows_.begin() + row);
  return true;
}

Model GlobalQuantitiesEditor::WithRows() const {
  Model model = working_;
  model.globalQuantities.clear();
  for (const GlobalQuantityRow& row : rows_) {
    GlobalQuantity q;
    q.name = row.name;
    q.value = ParseReal(row.value, NumberExtent::kPrefix).value_or(0.0);
    model.globalQuantities.push_back(std::move(q));
  }
  return model;
}

GlobalQuantitiesCheck GlobalQuantitiesEditor::Check() const {
  const auto refuse = [](int row, GlobalQuantityField field, std::string message) {
    return GlobalQuantitiesCheck{row, field, std::move(message)};
  };
  std::unordered_set<std::string> seen;
  Model others = working_;
  others.globalQuantities.clear();
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
    const GlobalQuantityRow& row = rows_[static_cast<std::size_t>(r)];
    std::string problem = GlobalQuantityNameProblem(others, row.name);
    if (!problem.empty()) return refuse(r, GlobalQuantityField::kName, std::move(problem));
    if (!seen.insert(row.name).second) {
      return refuse(r, GlobalQuantityField::kName,
                    "Two global quantities are named " + row.name +
                        ".\nPlease give each global quantity a name of its own.");
    }
    if (!ParseReal(row.value, NumberExtent::kPrefix)) {
      return refuse(r, GlobalQuantityField::kValue,
                    "The value of " + row.name + " must be a number.");
    }
  }
  std::string rules = RulesEditProblem(working_, WithRows());
  if (!rules.empty()) return refuse(-1, GlobalQuantityField::kRules, std::move(rules));
  return {};
}

bool GlobalQuantitiesEditor::Commit(Model& document, MessageSink& sink, const ModelHook& analyse) {
  const GlobalQuantitiesCheck check = Check();
  if (!check.ok()) {
    sink.Warning("", check.message);
    return false;
  }
  document.globalQuantities = WithRows().globalQuantities;
  if (analyse) analyse(document);
  return true;
}

}  // namespace vireon
