#pragma once
// The "Events" dialog: a view over an EventsEditor. The list shows every
// event (name, trigger, delay, assignments); the fields below it hold one
// event: its name, trigger, delay and priority, its three flags, and its
// assignments, each a target (chosen from the model's records of a kind,
// with the constant for a step's kinetic constant) and an expression.
//
// "Set" puts the assignment fields into the event's list (replacing the
// assignment to the same target), "Remove" takes the chosen one out; Enter
// in the assignment's expression sets it. "Add" appends the fields as a new
// event and empties them for the next, "Change" replaces the selected
// event (both set a typed assignment first), "Delete" removes it; Enter in
// the event's text fields changes the selected event, or adds one when
// none is selected (none is at the start). An event the editor refuses is
// named in a message and the fault shown: the text at fault selected, or
// the field at fault given the focus. OK takes what the fields hold and the
// lists do not yet (an assignment, then the event) before it commits the
// list into the model, so that Enter never loses typed text.

#include <QDialog>

#include "rules/events_editor.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vireon {

class EventsDialog : public QDialog {
  Q_OBJECT

 public:
  EventsDialog(Model& model, MessageSink& sink, QWidget* parent = nullptr);

  EventsEditor& editor() { return editor_; }
  QTreeWidget* eventList() const { return list_; }
  QLineEdit* nameField() const { return name_; }
  QLineEdit* triggerField() const { return trigger_; }
  QLineEdit* delayField() const { return delay_; }
  QLineEdit* priorityField() const { return priority_; }
  QCheckBox* initialValueBox() const { return initialValue_; }
  QCheckBox* persistentBox() const { return persistent_; }
  QCheckBox* triggerTimeValuesBox() const { return triggerTimeValues_; }
  QTreeWidget* assignmentList() const { return assignments_; }
  QComboBox* targetKindField() const { return targetKind_; }
  QComboBox* targetField() const { return target_; }
  QComboBox* constantField() const { return constant_; }
  QLineEdit* expressionField() const { return expression_; }
  QPushButton* setButton() const { return set_; }
  QPushButton* removeButton() const { return remove_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* changeButton() const { return change_; }
  QPushButton* deleteButton() const { return delete_; }

  // The buttons' actions; false when nothing was taken or the editor
  // refused.
  bool SetAssignmentFromFields();
  void RemoveChosenAssignment();
  bool Add();
  bool ChangeSelected();
  void DeleteSelected();
  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  EventForm Form() const;
  EventAssignmentForm AssignmentFields() const;
  void ShowForm(const EventForm& form);
  void ShowAssignments(int select);
  void ShowAssignment(const EventAssignmentForm& assignment);
  // The targets (and constants) the kind chosen offers; `keep` stays
  // chosen when it is among them, or is offered anyway with offerMissing.
  void FillTargets(const std::string& keep, bool offerMissing);
  void FillConstants(const std::string& keep, bool offerMissing);
  void ShowRefusal();
  void Refresh(int select);
  int SelectedEvent() const;
  // Whether the fields hold what the lists do not: an assignment
  // expression not in the event's list, or an event other than the
  // selected one (any text when none is selected).
  bool AssignmentPending() const;
  bool FormPending() const;

  Model& model_;
  MessageSink& sink_;
  EventsEditor editor_;
  // The assignments of the event in the fields.
  std::vector<EventAssignmentForm> draft_;
  QTreeWidget* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* trigger_ = nullptr;
  QLineEdit* delay_ = nullptr;
  QLineEdit* priority_ = nullptr;
  QCheckBox* initialValue_ = nullptr;
  QCheckBox* persistent_ = nullptr;
  QCheckBox* triggerTimeValues_ = nullptr;
  QTreeWidget* assignments_ = nullptr;
  QComboBox* targetKind_ = nullptr;
  QComboBox* target_ = nullptr;
  QComboBox* constant_ = nullptr;
  QLineEdit* expression_ = nullptr;
  QPushButton* set_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* change_ = nullptr;
  QPushButton* delete_ = nullptr;
  bool filling_ = false;
};

}  // namespace vireon
