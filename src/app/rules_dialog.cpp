#include "app/rules_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
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

enum Column { kKindColumn, kTargetKindColumn, kTargetColumn, kExpressionColumn, kColumnCount };

struct KindLabel {
  RuleKind kind;
  const char* text;
};
constexpr KindLabel kKinds[] = {
    {RuleKind::kAssignment, "Assignment"},
    {RuleKind::kRate, "Rate"},
    {RuleKind::kInitialAssignment, "Initial assignment"},
    {RuleKind::kAlgebraic, "Algebraic (0 = expression)"},
};

struct TargetKindLabel {
  RuleTargetKind kind;
  const char* text;
};
constexpr TargetKindLabel kTargetKinds[] = {
    {RuleTargetKind::kGlobalQuantity, "Global quantity"},
    {RuleTargetKind::kCompartmentVolume, "Compartment volume"},
    {RuleTargetKind::kMetabolite, "Metabolite"},
    {RuleTargetKind::kKineticConstant, "Kinetic constant"},
    {RuleTargetKind::kStoichiometry, "Stoichiometry"},
};

QString KindText(RuleKind kind) {
  for (const KindLabel& label : kKinds) {
    if (label.kind == kind) return label.text;
  }
  return "";
}

QString TargetKindText(RuleTargetKind kind) {
  for (const TargetKindLabel& label : kTargetKinds) {
    if (label.kind == kind) return label.text;
  }
  return "";
}

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

}  // namespace

RulesDialog::RulesDialog(Model& model, MessageSink& sink, QWidget* parent)
    : QDialog(parent), model_(model), sink_(sink), editor_(model) {
  setWindowTitle("Rules");
  list_ = new QTreeWidget;
  list_->setToolTip("The model's rules: choose one to change or delete it.");
  list_->setColumnCount(kColumnCount);
  list_->setHeaderLabels({"Kind", "Target kind", "Target", "Expression"});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->header()->setStretchLastSection(true);
  auto* listLabel = new QLabel("&Rules:");
  listLabel->setBuddy(list_);

  kind_ = new QComboBox;
  for (const KindLabel& label : kKinds) kind_->addItem(label.text, static_cast<int>(label.kind));
  targetKind_ = new QComboBox;
  for (const TargetKindLabel& label : kTargetKinds) {
    targetKind_->addItem(label.text, static_cast<int>(label.kind));
  }
  target_ = new QComboBox;
  target_->setMinimumContentsLength(16);
  constant_ = new QComboBox;
  constant_->setMinimumContentsLength(8);
  expression_ = new QLineEdit;
  expression_->installEventFilter(this);

  auto* fields = new QFormLayout;
  const auto addRow = [fields](const char* text, QWidget* field) {
    auto* label = new QLabel(text);
    label->setBuddy(field);
    fields->addRow(label, field);
  };
  addRow("&Kind:", kind_);
  addRow("Target k&ind:", targetKind_);
  auto* targetRow = new QHBoxLayout;
  targetRow->addWidget(target_, 1);
  constantLabel_ = new QLabel("C&onstant:");
  constantLabel_->setBuddy(constant_);
  targetRow->addWidget(constantLabel_);
  targetRow->addWidget(constant_);
  auto* targetLabel = new QLabel("&Target:");
  targetLabel->setBuddy(target_);
  fields->addRow(targetLabel, targetRow);
  addRow("E&xpression:", expression_);

  add_ = new QPushButton("&Add");
  change_ = new QPushButton("&Change");
  delete_ = new QPushButton("&Delete");
  // Enter ends the dialog with OK (in the expression it takes the rule).
  for (QPushButton* button : {add_, change_, delete_}) button->setAutoDefault(false);
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
  layout->addLayout(actions);
  layout->addWidget(buttons);
  setTabOrder(list_, kind_);
  setTabOrder(kind_, targetKind_);
  setTabOrder(targetKind_, target_);
  setTabOrder(target_, constant_);
  setTabOrder(constant_, expression_);
  setTabOrder(expression_, add_);
  setTabOrder(add_, change_);
  setTabOrder(change_, delete_);

  connect(list_, &QTreeWidget::currentItemChanged, this, [this] {
    if (filling_) return;
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row >= 0) ShowForm(editor_.FormOf(row));
    change_->setEnabled(row >= 0);
    delete_->setEnabled(row >= 0);
  });
  // A kind chosen by the user offers its targets, keeping the one chosen
  // when it is still among them.
  connect(kind_, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) FillTargets(target_->currentText().toStdString(), false);
  });
  connect(targetKind_, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) FillTargets(target_->currentText().toStdString(), false);
  });
  connect(target_, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) FillConstants(constant_->currentText().toStdString(), false);
  });
  connect(add_, &QPushButton::clicked, this, &RulesDialog::Add);
  connect(change_, &QPushButton::clicked, this, &RulesDialog::ChangeSelected);
  connect(delete_, &QPushButton::clicked, this, &RulesDialog::DeleteSelected);
  connect(buttons, &QDialogButtonBox::accepted, this, &RulesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &RulesDialog::reject);
  resize(640, 420);
  // The fields start empty, ready for a new rule: Enter in them never
  // changes a rule the user has not chosen.
  ShowForm(RuleForm());
  Refresh(-1);
  expression_->setFocus();
}

RuleForm RulesDialog::Form() const {
  RuleForm form;
  form.kind = static_cast<RuleKind>(kind_->currentData().toInt());
  form.targetKind = static_cast<RuleTargetKind>(targetKind_->currentData().toInt());
  form.target = target_->currentText().toStdString();
  if (HasSecondName(form.targetKind)) {
    form.constant = constant_->currentText().toStdString();
  }
  form.expression = expression_->text().toStdString();
  return form;
}

void RulesDialog::ShowForm(const RuleForm& form) {
  filling_ = true;
  kind_->setCurrentIndex(kind_->findData(static_cast<int>(form.kind)));
  targetKind_->setCurrentIndex(targetKind_->findData(static_cast<int>(form.targetKind)));
  filling_ = false;
  FillTargets(form.target, true);
  FillConstants(form.constant, true);
  expression_->setText(ToQString(form.expression));
}

void RulesDialog::FillTargets(const std::string& keep, bool offerMissing) {
  filling_ = true;
  const RuleForm form = Form();
  FillChooser(target_, editor_.TargetNames(form.kind, form.targetKind), keep, offerMissing);
  filling_ = false;
  FillConstants(constant_->currentText().toStdString(), false);
}

void RulesDialog::FillConstants(const std::string& keep, bool offerMissing) {
  filling_ = true;
  const RuleTargetKind kind = Form().targetKind;
  const bool constant = HasSecondName(kind);
  if (constant) {
    const std::string step = target_->currentText().toStdString();
    FillChooser(constant_,
                kind == RuleTargetKind::kStoichiometry ? editor_.MemberNames(step)
                                                       : editor_.ConstantNames(step),
                keep, offerMissing);
  } else {
    constant_->clear();
  }
  constant_->setEnabled(constant);
  constantLabel_->setText(kind == RuleTargetKind::kStoichiometry ? "&Metabolite:" : "C&onstant:");
  filling_ = false;
}

void RulesDialog::Refresh(int select) {
  filling_ = true;
  list_->clear();
  for (const Rule& rule : editor_.rules()) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(kKindColumn, KindText(rule.kind));
    item->setText(kTargetKindColumn, TargetKindText(rule.target.kind));
    item->setText(kTargetColumn, ToQString(RuleTargetTitle(rule.target)));
    item->setText(kExpressionColumn, ToQString(rule.expression));
  }
  for (int c = 0; c < kExpressionColumn; ++c) list_->resizeColumnToContents(c);
  filling_ = false;
  if (select >= 0 && select < list_->topLevelItemCount()) {
    list_->setCurrentItem(list_->topLevelItem(select));
  } else {
    list_->setCurrentItem(nullptr);
    change_->setEnabled(false);
    delete_->setEnabled(false);
  }
}

void RulesDialog::ShowRefusal() {
  const RuleCheck& refusal = editor_.lastRefusal();
  if (refusal.field == RuleField::kExpression) {
    // The editor counts bytes of the UTF-8 text; the field counts UTF-16 units.
    const std::string text = expression_->text().toStdString();
    const std::size_t at = std::min(refusal.position, text.size());
    const int start = static_cast<int>(QString::fromStdString(text.substr(0, at)).size());
    const int length =
        refusal.name.empty() ? 1 : static_cast<int>(QString::fromStdString(refusal.name).size());
    expression_->setFocus();
    // A text that ends too soon is at fault after its last character.
    if (start < expression_->text().size()) {
      expression_->setSelection(start, length);
    } else {
      expression_->setCursorPosition(start);
    }
  } else if (refusal.field == RuleField::kTarget) {
    target_->setFocus();
  }
}

bool RulesDialog::Add() {
  if (!editor_.Add(Form(), sink_)) {
    ShowRefusal();
    return false;
  }
  // The fields are ready for the next rule, of the same kinds.
  Refresh(-1);
  expression_->clear();
  list_->scrollToBottom();
  return true;
}

bool RulesDialog::ChangeSelected() {
  const int row = list_->indexOfTopLevelItem(list_->currentItem());
  if (row < 0) return false;
  if (!editor_.Change(row, Form(), sink_)) {
    ShowRefusal();
    return false;
  }
  Refresh(row);
  return true;
}

void RulesDialog::DeleteSelected() {
  const int row = list_->indexOfTopLevelItem(list_->currentItem());
  if (!editor_.Delete(row)) return;
  const int count = static_cast<int>(editor_.rules().size());
  Refresh(std::min(row, count - 1));
  if (count == 0) expression_->clear();
}

bool RulesDialog::FormPending() const {
  const int row = list_->indexOfTopLevelItem(list_->currentItem());
  if (row < 0) return !expression_->text().trimmed().isEmpty();
  return !(Form() == editor_.FormOf(row));
}

bool RulesDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == expression_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (list_->currentItem() != nullptr) {
        ChangeSelected();
      } else {
        Add();
      }
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void RulesDialog::accept() {
  if (FormPending()) {
    const bool taken = list_->currentItem() != nullptr ? ChangeSelected() : Add();
    if (!taken) return;
  }
  if (!editor_.Commit(model_, sink_, {})) return;
  QDialog::accept();
}

}  // namespace vireon
