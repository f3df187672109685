#pragma once
// The "Rules" dialog: a view over a RulesEditor. The list shows every rule
// (kind, target kind, target, expression); the fields below it hold one
// rule: its kind, the kind of its target, the target chosen from the
// model's records of that kind (and the constant, for a step's kinetic
// constant) and the expression. "Add" appends the fields as a new rule and
// empties the expression for the next, "Change" replaces the selected rule
// by them, "Delete" removes it; Enter in the expression changes the
// selected rule, or adds one when none is selected (none is at the start). A rule the editor
// refuses is named in a message, and the fault is shown: the text at fault
// in the expression is selected, or the target field takes the focus. OK
// takes the fields first when they hold a rule not yet in the list, then
// commits the list into the model.

#include <QDialog>

#include "rules/rules_editor.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vireon {

class RulesDialog : public QDialog {
  Q_OBJECT

 public:
  RulesDialog(Model& model, MessageSink& sink, QWidget* parent = nullptr);

  RulesEditor& editor() { return editor_; }
  QTreeWidget* ruleList() const { return list_; }
  QComboBox* kindField() const { return kind_; }
  QComboBox* targetKindField() const { return targetKind_; }
  QComboBox* targetField() const { return target_; }
  QComboBox* constantField() const { return constant_; }
  QLineEdit* expressionField() const { return expression_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* changeButton() const { return change_; }
  QPushButton* deleteButton() const { return delete_; }

  // The buttons' actions; false when the editor refused.
  bool Add();
  bool ChangeSelected();
  void DeleteSelected();
  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  RuleForm Form() const;
  void ShowForm(const RuleForm& form);
  // The targets (and constants) the kinds chosen offer; `keep` stays
  // chosen when it is among them. offerMissing: it is offered even when it
  // is not (a rule read from a file may name one the lists leave out).
  void FillTargets(const std::string& keep, bool offerMissing);
  void FillConstants(const std::string& keep, bool offerMissing);
  void ShowRefusal();
  void Refresh(int select);
  // Whether the fields hold something the list does not: a rule other than
  // the selected one, or any expression when none is selected.
  bool FormPending() const;

  Model& model_;
  MessageSink& sink_;
  RulesEditor editor_;
  QTreeWidget* list_ = nullptr;
  QComboBox* kind_ = nullptr;
  QComboBox* targetKind_ = nullptr;
  QComboBox* target_ = nullptr;
  QComboBox* constant_ = nullptr;
  QLabel* constantLabel_ = nullptr;  // "Constant:" or, for a stoichiometry, "Metabolite:"
  QLineEdit* expression_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* change_ = nullptr;
  QPushButton* delete_ = nullptr;
  bool filling_ = false;
};

}  // namespace vireon
