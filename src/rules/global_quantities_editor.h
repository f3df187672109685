#pragma once
// The rules of the "Global quantities" dialog: the name and value of every
// global quantity of a working copy of the model, quantities added and
// removed, and the checks made on OK.

#include <string>
#include <vector>

#include "model/message_sink.h"
#include "model/model.h"
#include "model/working_copy.h"

namespace vireon {

// One quantity as the dialog shows it. The value is text, read back as
// "%lf" reads it.
struct GlobalQuantityRow {
  std::string name;
  std::string value;
};

// kRules: the quantities are good, but a rule no longer reads with them.
enum class GlobalQuantityField { kNone, kName, kValue, kRules };

// Which entry is wrong and what to tell the user; field kNone when all are
// good. row is -1 unless the fault lies in a row.
struct GlobalQuantitiesCheck {
  int row = -1;
  GlobalQuantityField field = GlobalQuantityField::kNone;
  std::string message;
  bool ok() const { return field == GlobalQuantityField::kNone; }
};

// Why a name cannot be a global quantity's, or empty when it can: the name
// rule of metabolites, not a name that expressions reserve ("time",
// "avogadro"), and no metabolite, step or compartment of `model` of that
// name. (Uniqueness among the global quantities is the caller's to check.)
std::string GlobalQuantityNameProblem(const Model& model, const std::string& name);

class GlobalQuantitiesEditor {
 public:
  explicit GlobalQuantitiesEditor(const Model& document);

  std::vector<GlobalQuantityRow>& rows() { return rows_; }
  const std::vector<GlobalQuantityRow>& rows() const { return rows_; }

  // Appends a quantity named "quantity<n>" (the smallest n from 1 whose
  // name is free) of value 0; returns its row.
  int Add();
  // False when there is no such row.
  bool Remove(int row);

  // The checks of OK, first row first: a name against GlobalQuantityNameProblem or
  // that two rows share, a value that is not a finite number; then the
  // model's rules with these quantities (rules/rules_edit_guard.h): a
  // quantity removed or renamed while a rule reads or sets it is refused
  // with the rule's message.
  GlobalQuantitiesCheck Check() const;

  // OK: Check; a refusal is warned about and changes nothing. Otherwise the
  // rows replace the document's global quantities and analyse runs.
  bool Commit(Model& document, MessageSink& sink, const ModelHook& analyse);

 private:
  // The working copy with the rows taken in (the check has passed).
  Model WithRows() const;

  Model working_;
  std::vector<GlobalQuantityRow> rows_;
};

}  // namespace vireon
