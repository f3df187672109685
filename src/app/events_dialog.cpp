#include "app/events_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/qt_message_sink.h"
#include "rules/rule_order.h"

namespace vireon {
namespace {

enum EventColumn { kNameColumn, kTriggerColumn, kDelayColumn, kAssignmentsColumn, kEventColumns };
enum AssignmentColumn { kTargetColumn, kExpressionColumn, kAssignmentColumns };

struct TargetKindLabel {
  RuleTargetKind kind;
  const char* text;
};
// An event sets quantities; a stoichiometry only through a global quantity
// that a rule reads.
constexpr TargetKindLabel kTargetKinds[] = {
    {RuleTargetKind::kMetabolite, "Metabolite"},
    {RuleTargetKind::kGlobalQuantity, "Global quantity"},
    {RuleTargetKind::kCompartmentVolume, "Compartment volume"},
    {RuleTargetKind::kKineticConstant, "Kinetic constant"},
};

// Fills a chooser with names, choosing `keep` when it is among them (or
// offered anyway, with offerMissing) or else the first.
void FillChooser(QComboBox* box, const std::vector<std::string>& names, const std::string& keep,
                 bool offerMissing) {
  box->clear();
  for (const std::string& name : names) box->addItem(ToQString(name));
  if (offerMissing && !keep.empty() && std::find(names.begin(), names.end(), keep) == names.end()) {
    box->addItem(ToQString(keep));
  }
  const int at = keep.empty() ? 0 : box->findText(ToQString(keep));
  box->setCurrentIndex(box->count() == 0 ? -1 : std::max(at, 0));
}

RuleTarget TargetOf(const EventAssignmentForm& assignment) {
  return RuleTarget{assignment.targetKind, assignment.target, assignment.constant};
}

// "S = S + 5; cell = cell*2", the targets named as in messages.
QString AssignmentsText(const Event& event) {
  QStringList parts;
  for (const EventAssignment& a : event.assignments) {
    parts << ToQString(RuleTargetTitle(a.target) + " = " + a.expression);
  }
  return parts.join("; ");
}

// Selects the `length` characters of `field` from `position`, a byte
// offset of its UTF-8 text, and gives it the focus; a text that ends too
// soon is at fault after its last character.
void ShowFault(QLineEdit* field, std::size_t position, const std::string& name) {
  const std::string text = field->text().toStdString();
  const std::size_t at = std::min(position, text.size());
  const int start = static_cast<int>(QString::fromStdString(text.substr(0, at)).size());
  const int length = name.empty() ? 1 : static_cast<int>(QString::fromStdString(name).size());
  field->setFocus();
  if (start < field->text().size()) {
    field->setSelection(start, length);
  } else {
    field->setCursorPosition(start);
  }
}

}  // namespace

EventsDialog::EventsDialog(Model& model, MessageSink& sink, QWidget* parent)
    : QDialog(parent), model_(model), sink_(sink), editor_(model) {
  setWindowTitle("Events");
  list_ = new QTreeWidget;
  list_->setToolTip("The model's events: choose one to change or delete it.");
  list_->setColumnCount(kEventColumns);
  list_->setHeaderLabels({"Name", "Trigger", "Delay", "Assignments"});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->header()->setStretchLastSection(true);
  auto* listLabel = new QLabel("&Events:");
  listLabel->setBuddy(list_);

  name_ = new QLineEdit;
  trigger_ = new QLineEdit;
  trigger_->setPlaceholderText("a condition, e.g. geq(time, 10)");
  delay_ = new QLineEdit;
  delay_->setPlaceholderText("none");
  priority_ = new QLineEdit;
  priority_->setPlaceholderText("none");
  initialValue_ = new QCheckBox("Trigger true &before time 0");
  initialValue_->setToolTip("Off: an event whose trigger is true at time 0 fires at time 0.");
  persistent_ = new QCheckBox("Persis&tent");
  persistent_->setToolTip(
      "On: a delayed execution goes ahead even if the trigger has become false again.");
  triggerTimeValues_ = new QCheckBox("Values &from trigger time");
  triggerTimeValues_->setToolTip(
      "On: the assignments take the values of the moment the event fires, not of the moment "
      "they are carried out.");
  for (QLineEdit* field : {name_, trigger_, delay_, priority_}) field->installEventFilter(this);

  auto* fields = new QFormLayout;
  const auto addRow = [fields](const char* text, QWidget* field) {
    auto* label = new QLabel(text);
    label->setBuddy(field);
    fields->addRow(label, field);
  };
  addRow("&Name:", name_);
  addRow("T&rigger:", trigger_);
  auto* timing = new QHBoxLayout;
  timing->addWidget(delay_, 1);
  auto* priorityLabel = new QLabel("&Priority:");
  priorityLabel->setBuddy(priority_);
  timing->addWidget(priorityLabel);
  timing->addWidget(priority_, 1);
  auto* delayLabel = new QLabel("De&lay:");
  delayLabel->setBuddy(delay_);
  fields->addRow(delayLabel, timing);
  auto* flags = new QHBoxLayout;
  flags->addWidget(initialValue_);
  flags->addWidget(persistent_);
  flags->addWidget(triggerTimeValues_);
  flags->addStretch();
  fields->addRow("", flags);

  assignments_ = new QTreeWidget;
  assignments_->setToolTip("What the chosen event sets when it fires, one quantity per line.");
  assignments_->setColumnCount(kAssignmentColumns);
  assignments_->setHeaderLabels({"Target", "Expression"});
  assignments_->setRootIsDecorated(false);
  assignments_->setUniformRowHeights(true);
  assignments_->setAllColumnsShowFocus(true);
  assignments_->header()->setStretchLastSection(true);
  assignments_->setMinimumHeight(80);
  auto* assignmentsLabel = new QLabel("Assign&ments:");
  assignmentsLabel->setBuddy(assignments_);
  targetKind_ = new QComboBox;
  for (const TargetKindLabel& label : kTargetKinds) {
    targetKind_->addItem(label.text, static_cast<int>(label.kind));
  }
  target_ = new QComboBox;
  target_->setMinimumContentsLength(12);
  constant_ = new QComboBox;
  constant_->setMinimumContentsLength(8);
  expression_ = new QLineEdit;
  expression_->installEventFilter(this);
  set_ = new QPushButton("&Set");
  remove_ = new QPushButton("Remo&ve");

  auto* assignmentFields = new QFormLayout;
  auto* targetRow = new QHBoxLayout;
  targetRow->addWidget(targetKind_);
  targetRow->addWidget(target_, 1);
  auto* constantLabel = new QLabel("C&onstant:");
  constantLabel->setBuddy(constant_);
  targetRow->addWidget(constantLabel);
  targetRow->addWidget(constant_);
  auto* targetLabel = new QLabel("Tar&get:");
  targetLabel->setBuddy(targetKind_);
  assignmentFields->addRow(targetLabel, targetRow);
  auto* expressionRow = new QHBoxLayout;
  expressionRow->addWidget(expression_, 1);
  expressionRow->addWidget(set_);
  expressionRow->addWidget(remove_);
  auto* expressionLabel = new QLabel("E&xpression:");
  expressionLabel->setBuddy(expression_);
  assignmentFields->addRow(expressionLabel, expressionRow);
  auto* assignmentBox = new QVBoxLayout;
  assignmentBox->addWidget(assignmentsLabel);
  assignmentBox->addWidget(assignments_, 1);
  assignmentBox->addLayout(assignmentFields);
  auto* assignmentGroup = new QGroupBox;
  assignmentGroup->setLayout(assignmentBox);

  add_ = new QPushButton("&Add");
  change_ = new QPushButton("&Change");
  delete_ = new QPushButton("&Delete");
  // Enter ends the dialog with OK, which takes the fields first (in a text
  // field it takes the event or the assignment).
  for (QPushButton* button : {set_, remove_, add_, change_, delete_}) button->setAutoDefault(false);
  auto* actions = new QHBoxLayout;
  actions->addWidget(add_);
  actions->addWidget(change_);
  actions->addWidget(delete_);
  actions->addStretch();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(listLabel);
  layout->addWidget(list_, 1);
  layout->addLayout(fields);
  layout->addWidget(assignmentGroup, 1);
  layout->addLayout(actions);
  layout->addWidget(buttons);
  QWidget* const order[] = {list_,        name_,         trigger_,    delay_,
                            priority_,    initialValue_, persistent_, triggerTimeValues_,
                            assignments_, targetKind_,   target_,     constant_,
                            expression_,  set_,          remove_,     add_,
                            change_,      delete_};
  for (std::size_t i = 1; i < std::size(order); ++i) {
    setTabOrder(order[i - 1], order[i]);
  }

  connect(list_, &QTreeWidget::currentItemChanged, this, [this] {
    if (filling_) return;
    const int row = SelectedEvent();
    if (row >= 0) ShowForm(editor_.FormOf(row));
    change_->setEnabled(row >= 0);
    delete_->setEnabled(row >= 0);
  });
  connect(assignments_, &QTreeWidget::currentItemChanged, this, [this] {
    if (filling_) return;
    const int row = assignments_->indexOfTopLevelItem(assignments_->currentItem());
    if (row >= 0 && row < static_cast<int>(draft_.size())) {
      ShowAssignment(draft_[static_cast<std::size_t>(row)]);
    }
    remove_->setEnabled(row >= 0);
  });
  connect(targetKind_, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) FillTargets(target_->currentText().toStdString(), false);
  });
  connect(target_, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) FillConstants(constant_->currentText().toStdString(), false);
  });
  connect(set_, &QPushButton::clicked, this, &EventsDialog::SetAssignmentFromFields);
  connect(remove_, &QPushButton::clicked, this, &EventsDialog::RemoveChosenAssignment);
  connect(add_, &QPushButton::clicked, this, &EventsDialog::Add);
  connect(change_, &QPushButton::clicked, this, &EventsDialog::ChangeSelected);
  connect(delete_, &QPushButton::clicked, this, &EventsDialog::DeleteSelected);
  connect(buttons, &QDialogButtonBox::accepted, this, &EventsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &EventsDialog::reject);
  resize(720, 560);
  // The fields start empty, ready for a new event: Enter in them never
  // changes an event the user has not chosen.
  ShowForm(EventForm());
  Refresh(-1);
  name_->setFocus();
}

int EventsDialog::SelectedEvent() const {
  return list_->indexOfTopLevelItem(list_->currentItem());
}

EventForm EventsDialog::Form() const {
  EventForm form;
  form.name = name_->text().toStdString();
  form.trigger = trigger_->text().toStdString();
  form.delay = delay_->text().toStdString();
  form.priority = priority_->text().toStdString();
  form.initialValue = initialValue_->isChecked();
  form.persistent = persistent_->isChecked();
  form.useValuesFromTriggerTime = triggerTimeValues_->isChecked();
  form.assignments = draft_;
  return form;
}

EventAssignmentForm EventsDialog::AssignmentFields() const {
  EventAssignmentForm assignment;
  assignment.targetKind = static_cast<RuleTargetKind>(targetKind_->currentData().toInt());
  assignment.target = target_->currentText().toStdString();
  if (HasSecondName(assignment.targetKind)) {
    assignment.constant = constant_->currentText().toStdString();
  }
  assignment.expression = expression_->text().toStdString();
  return assignment;
}

void EventsDialog::ShowForm(const EventForm& form) {
  name_->setText(ToQString(form.name));
  trigger_->setText(ToQString(form.trigger));
  delay_->setText(ToQString(form.delay));
  priority_->setText(ToQString(form.priority));
  initialValue_->setChecked(form.initialValue);
  persistent_->setChecked(form.persistent);
  triggerTimeValues_->setChecked(form.useValuesFromTriggerTime);
  draft_ = form.assignments;
  ShowAssignments(-1);
  // The assignment fields keep their kind, ready for a new assignment.
  EventAssignmentForm next = AssignmentFields();
  next.expression.clear();
  ShowAssignment(next);
}

void EventsDialog::ShowAssignments(int select) {
  filling_ = true;
  assignments_->clear();
  for (const EventAssignmentForm& a : draft_) {
    auto* item = new QTreeWidgetItem(assignments_);
    item->setText(kTargetColumn, ToQString(RuleTargetTitle(TargetOf(a))));
    item->setText(kExpressionColumn, ToQString(a.expression));
  }
  assignments_->resizeColumnToContents(kTargetColumn);
  filling_ = false;
  if (select >= 0 && select < assignments_->topLevelItemCount()) {
    assignments_->setCurrentItem(assignments_->topLevelItem(select));
  } else {
    assignments_->setCurrentItem(nullptr);
    remove_->setEnabled(false);
  }
}

void EventsDialog::ShowAssignment(const EventAssignmentForm& assignment) {
  filling_ = true;
  targetKind_->setCurrentIndex(
      std::max(targetKind_->findData(static_cast<int>(assignment.targetKind)), 0));
  filling_ = false;
  FillTargets(assignment.target, true);
  FillConstants(assignment.constant, true);
  expression_->setText(ToQString(assignment.expression));
}

void EventsDialog::FillTargets(const std::string& keep, bool offerMissing) {
  filling_ = true;
  const auto kind = static_cast<RuleTargetKind>(targetKind_->currentData().toInt());
  FillChooser(target_, editor_.TargetNames(kind), keep, offerMissing);
  filling_ = false;
  FillConstants(constant_->currentText().toStdString(), false);
}

void EventsDialog::FillConstants(const std::string& keep, bool offerMissing) {
  filling_ = true;
  const auto kind = static_cast<RuleTargetKind>(targetKind_->currentData().toInt());
  const bool constant = HasSecondName(kind);
  if (constant) {
    FillChooser(constant_, editor_.ConstantNames(target_->currentText().toStdString()), keep,
                offerMissing);
  } else {
    constant_->clear();
  }
  constant_->setEnabled(constant);
  filling_ = false;
}

void EventsDialog::Refresh(int select) {
  filling_ = true;
  list_->clear();
  for (const Event& event : editor_.events()) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(kNameColumn, ToQString(event.name));
    item->setText(kTriggerColumn, ToQString(event.trigger));
    item->setText(kDelayColumn, ToQString(event.delay));
    item->setText(kAssignmentsColumn, AssignmentsText(event));
  }
  for (int c = 0; c < kAssignmentsColumn; ++c) list_->resizeColumnToContents(c);
  filling_ = false;
  if (select >= 0 && select < list_->topLevelItemCount()) {
    list_->setCurrentItem(list_->topLevelItem(select));
  } else {
    list_->setCurrentItem(nullptr);
    change_->setEnabled(false);
    delete_->setEnabled(false);
  }
}

void EventsDialog::ShowRefusal() {
  const EventFormCheck& refusal = editor_.lastRefusal();
  switch (refusal.field) {
    case EventField::kName:
      name_->setFocus();
      name_->selectAll();
      break;
    case EventField::kTrigger:
      ShowFault(trigger_, refusal.position, refusal.name);
      break;
    case EventField::kDelay:
      ShowFault(delay_, refusal.position, refusal.name);
      break;
    case EventField::kPriority:
      ShowFault(priority_, refusal.position, refusal.name);
      break;
    case EventField::kAssignmentTarget:
      ShowAssignments(refusal.assignment);
      target_->setFocus();
      break;
    case EventField::kAssignmentExpression:
      ShowAssignments(refusal.assignment);
      ShowFault(expression_, refusal.position, refusal.name);
      break;
    case EventField::kEvents:
      assignments_->setFocus();
      break;
    case EventField::kNone:
      break;
  }
}

bool EventsDialog::SetAssignmentFromFields() {
  const EventAssignmentForm assignment = AssignmentFields();
  if (assignment.target.empty()) {
    sink_.Warning("", "Please choose the target of the assignment.");
    targetKind_->setFocus();
    return false;
  }
  EventForm form = Form();
  const int at = SetAssignment(form, assignment);
  draft_ = form.assignments;
  ShowAssignments(-1);
  // Ready for the next assignment, of the same kind; the one just set
  // stays visible in the list.
  assignments_->scrollToItem(assignments_->topLevelItem(at));
  expression_->clear();
  return true;
}

void EventsDialog::RemoveChosenAssignment() {
  const int row = assignments_->indexOfTopLevelItem(assignments_->currentItem());
  EventForm form = Form();
  if (!RemoveAssignment(form, row)) return;
  draft_ = form.assignments;
  ShowAssignments(std::min(row, static_cast<int>(draft_.size()) - 1));
}

bool EventsDialog::Add() {
  // An assignment typed but not yet set belongs to the event.
  if (AssignmentPending() && !SetAssignmentFromFields()) return false;
  if (!editor_.Add(Form(), sink_)) {
    ShowRefusal();
    return false;
  }
  Refresh(-1);
  ShowForm(EventForm());
  list_->scrollToBottom();
  name_->setFocus();
  return true;
}

bool EventsDialog::ChangeSelected() {
  const int row = SelectedEvent();
  if (row < 0) return false;
  if (AssignmentPending() && !SetAssignmentFromFields()) return false;
  if (!editor_.Change(row, Form(), sink_)) {
    ShowRefusal();
    return false;
  }
  Refresh(row);
  return true;
}

void EventsDialog::DeleteSelected() {
  const int row = SelectedEvent();
  if (!editor_.Delete(row)) return;
  const int count = static_cast<int>(editor_.events().size());
  Refresh(std::min(row, count - 1));
  if (count == 0) ShowForm(EventForm());
}

bool EventsDialog::AssignmentPending() const {
  if (expression_->text().trimmed().isEmpty()) return false;
  const EventAssignmentForm fields = AssignmentFields();
  return std::find(draft_.begin(), draft_.end(), fields) == draft_.end();
}

bool EventsDialog::FormPending() const {
  const int row = SelectedEvent();
  if (row >= 0) return !(Form() == editor_.FormOf(row));
  for (const QLineEdit* field : {name_, trigger_, delay_, priority_}) {
    if (!field->text().trimmed().isEmpty()) return true;
  }
  return !draft_.empty();
}

bool EventsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == expression_) {
        SetAssignmentFromFields();
        return true;
      }
      if (watched == name_ || watched == trigger_ || watched == delay_ || watched == priority_) {
        if (SelectedEvent() >= 0) {
          ChangeSelected();
        } else {
          Add();
        }
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void EventsDialog::accept() {
  if (AssignmentPending() && !SetAssignmentFromFields()) return;
  if (FormPending()) {
    const bool taken = SelectedEvent() >= 0 ? ChangeSelected() : Add();
    if (!taken) return;
  }
  if (!editor_.Commit(model_, sink_, {})) return;
  QDialog::accept();
}

}  // namespace vireon
