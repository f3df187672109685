#include "app/kinetics_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_startup.h"
#include "app/model_edits.h"
#include "document/document.h"
#include "kinetics/kinetic_type.h"
#include "rules/rules_edit_guard.h"

namespace vireon {
namespace {

void ClearForm(QFormLayout* form) {
  while (form->rowCount() > 0) form->removeRow(0);
}

// What an empty panel says.
QLabel* NoneLabel(const char* text) {
  auto* label = new QLabel(text);
  label->setEnabled(false);
  label->setWordWrap(true);
  return label;
}

}  // namespace

KineticsDialog::KineticsDialog(Document& document, AppStartup& app, MessageSink& sink,
                               QWidget* parent)
    : QDialog(parent),
      document_(document),
      sink_(sink),
      editor_(document.model, app.catalogue, app.defaults.kineticConstant) {
  setWindowTitle("Kinetics");
  steps_ = new QListWidget;
  type_ = new QComboBox;
  type_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  constants_ = new QFormLayout;
  modifiers_ = new QFormLayout;
  moreConstants_ = new QPushButton("&More");
  moreModifiers_ = new QPushButton("Mo&re");

  auto* stepLabel = new QLabel("&Reaction:");
  stepLabel->setBuddy(steps_);
  auto* typeLabel = new QLabel("&Kinetic Type:");
  typeLabel->setBuddy(type_);
  auto* constantsBox = new QGroupBox("Constants:");
  auto* constantsLayout = new QVBoxLayout(constantsBox);
  constantsLayout->addLayout(constants_);
  constantsLayout->addStretch();
  constantsLayout->addWidget(moreConstants_, 0, Qt::AlignRight);
  auto* modifiersBox = new QGroupBox("Modifiers:");
  auto* modifiersLayout = new QVBoxLayout(modifiersBox);
  modifiersLayout->addLayout(modifiers_);
  modifiersLayout->addStretch();
  modifiersLayout->addWidget(moreModifiers_, 0, Qt::AlignRight);

  auto* left = new QVBoxLayout;
  left->addWidget(stepLabel);
  left->addWidget(steps_, 1);
  auto* panels = new QHBoxLayout;
  panels->addWidget(constantsBox, 1);
  panels->addWidget(modifiersBox, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(typeLabel);
  right->addWidget(type_);
  right->addLayout(panels, 1);
  auto* body = new QHBoxLayout;
  body->addLayout(left);
  body->addLayout(right, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(buttons);

  for (const Step& step : editor_.steps()) steps_->addItem(QString::fromStdString(step.name));
  connect(steps_, &QListWidget::currentRowChanged, this, &KineticsDialog::OnStepSelected);
  connect(type_, &QComboBox::activated, this, &KineticsDialog::OnTypeChosen);
  connect(moreConstants_, &QPushButton::clicked, this, [this] {
    editor_.NextConstantGroup();
    Refresh();
  });
  connect(moreModifiers_, &QPushButton::clicked, this, [this] {
    editor_.NextModifierGroup();
    Refresh();
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &KineticsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &KineticsDialog::reject);
  resize(760, 440);
  Refresh();
}

void KineticsDialog::Refresh() {
  // A constant being typed is taken before its field is replaced.
  if (auto* typing = qobject_cast<QLineEdit*>(focusWidget())) typing->clearFocus();
  refreshing_ = true;
  steps_->setCurrentRow(editor_.currentStep());
  type_->clear();
  const KineticType* current = editor_.CurrentType();
  for (const KineticType* type : editor_.EligibleTypes()) {
    type_->addItem(QString::fromStdString(type->name));
    if (type == current) type_->setCurrentIndex(type_->count() - 1);
  }

  ClearForm(constants_);
  for (const KineticsEditor::ConstantField& field : editor_.ConstantFields()) {
    auto* edit = new QLineEdit(QString::fromStdString(field.text));
    const int index = field.index;
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, index] {
      if (!editor_.SetConstantText(index, edit->text().toStdString(), &sink_)) {
        edit->setText(QString::fromStdString(
            FormatKineticConstant(editor_.steps()[editor_.currentStep()].constants[index])));
      }
    });
    constants_->addRow(QString::fromStdString(field.label), edit);
  }
  if (constants_->rowCount() == 0) constants_->addRow(NoneLabel("This kinetic type has no constants."));
  moreConstants_->setVisible(editor_.HasMoreConstants());

  ClearForm(modifiers_);
  for (const KineticsEditor::ModifierField& field : editor_.ModifierFields()) {
    auto* box = new QComboBox;
    box->addItem("(none)");
    for (const Metabolite& m : editor_.metabolites()) box->addItem(QString::fromStdString(m.name));
    box->setCurrentIndex(field.metabolite + 1);
    const int index = field.index;
    connect(box, &QComboBox::activated, this,
            [this, index](int chosen) { editor_.SetModifier(index, chosen - 1); });
    modifiers_->addRow(QString::fromStdString(field.label), box);
  }
  if (modifiers_->rowCount() == 0) modifiers_->addRow(NoneLabel("This kinetic type has no modifiers."));
  moreModifiers_->setVisible(editor_.HasMoreModifiers());
  refreshing_ = false;
}

void KineticsDialog::OnStepSelected(int row) {
  if (refreshing_ || row < 0) return;
  if (editor_.SelectStep(row, sink_)) {
    Refresh();
    return;
  }
  // Refused: the list goes back to the step the panels edit once the click
  // that chose another has been handled, since the list selects the
  // clicked row after telling of the change.
  QTimer::singleShot(0, this, [this] { Refresh(); });
}

void KineticsDialog::OnTypeChosen(int index) {
  if (refreshing_ || index < 0) return;
  editor_.ApplyType(type_->itemText(index).toStdString());
  Refresh();
}

void KineticsDialog::accept() {
  // A constant field still being edited is taken before the commit.
  if (QWidget* focus = focusWidget()) focus->clearFocus();
  // The page commits the change (CommitModelChange), which checks the
  // document's items against the new model.
  if (!editor_.Commit(document_.model, sink_, RulesEditProblem)) return;
  QDialog::accept();
}

}  // namespace vireon
