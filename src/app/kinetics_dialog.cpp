#include "app/kinetics_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_startup.h"
#include "app/field_binding.h"
#include "app/help_dialog.h"
#include "app/model_edits.h"
#include "document/document.h"
#include "kinetics/kinetic_type.h"
#include "rules/rules_edit_guard.h"
#include "sbml/built_in_law_formulas.h"

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

// A titled panel whose form scrolls when its rows do not fit.
QGroupBox* ScrollingPanel(const char* title, QFormLayout* form) {
  auto* box = new QGroupBox(title);
  auto* content = new QWidget;
  auto* contentLayout = new QVBoxLayout(content);
  contentLayout->addLayout(form);
  contentLayout->addStretch();
  auto* scroll = new QScrollArea;
  scroll->setWidget(content);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(scroll);
  return box;
}

// A read-only line of text the user may select and copy.
QLabel* ShownText() {
  auto* label = new QLabel;
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
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
  steps_->setToolTip("The model's steps: choose the one whose rate law to edit.");
  type_ = new QComboBox;
  type_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  type_->setToolTip(
      "The rate laws this step may use: those whose numbers of substrates and products fit "
      "its equation.");
  equation_ = ShownText();
  equation_->setToolTip("The step's equation, as the Reactions dialog defines it.");
  formula_ = ShownText();
  formula_->setToolTip(
      "The rate of the step as the chosen kinetic type computes it, in the names of the step's "
      "metabolites and of the constants below.");
  constants_ = new QFormLayout;
  modifiers_ = new QFormLayout;

  auto* stepLabel = new QLabel("&Reaction:");
  stepLabel->setBuddy(steps_);
  auto* typeLabel = new QLabel("&Kinetic Type:");
  typeLabel->setBuddy(type_);
  auto* shown = new QFormLayout;
  shown->addRow("Equation:", equation_);
  shown->addRow("Rate law:", formula_);
  auto* constantsBox = ScrollingPanel("Constants:", constants_);
  auto* modifiersBox = ScrollingPanel("Modifiers:", modifiers_);

  auto* left = new QVBoxLayout;
  left->addWidget(stepLabel);
  left->addWidget(steps_, 1);
  auto* panels = new QHBoxLayout;
  panels->addWidget(constantsBox, 1);
  panels->addWidget(modifiersBox, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(typeLabel);
  right->addWidget(type_);
  right->addLayout(shown);
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
  AddHelpButton(buttons, "Rate laws", sink_);
  connect(buttons, &QDialogButtonBox::accepted, this, &KineticsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &KineticsDialog::reject);
  resize(820, 480);
  Refresh();
}

void KineticsDialog::Refresh() {
  // A constant being typed is taken before its field is replaced.
  if (auto* typing = qobject_cast<QLineEdit*>(focusWidget())) typing->clearFocus();
  const QSignalBlocker blockSteps(steps_);
  const QSignalBlocker blockType(type_);
  steps_->setCurrentRow(editor_.currentStep());
  type_->clear();
  const KineticType* current = editor_.CurrentType();
  for (const KineticType* type : editor_.EligibleTypes()) {
    type_->addItem(QString::fromStdString(type->name));
    if (type == current) type_->setCurrentIndex(type_->count() - 1);
  }
  equation_->setText(QString::fromStdString(editor_.CurrentEquation()));
  RefreshFormula();

  ClearForm(constants_);
  for (const KineticsEditor::ConstantField& field : editor_.AllConstantFields()) {
    auto* edit = new QLineEdit(QString::fromStdString(field.text));
    const QString name = QString::fromStdString(field.label);
    edit->setToolTip("The value of the constant " + name +
                     " in this step's rate law; a finite number such as 0.5 or 1e-3.");
    edit->setAccessibleName(name);
    const int index = field.index;
    BindField(edit, {[this, index](const QString& text) {
                       return editor_.SetConstantText(index, text.toStdString(), &sink_);
                     },
                     [this, index] {
                       return QString::fromStdString(FormatKineticConstant(
                           editor_.steps()[editor_.currentStep()].constants[index]));
                     },
                     {}});
    constants_->addRow(name, edit);
  }
  if (constants_->rowCount() == 0) constants_->addRow(NoneLabel("This kinetic type has no constants."));

  ClearForm(modifiers_);
  for (const KineticsEditor::ModifierField& field : editor_.AllModifierFields()) {
    auto* box = new QComboBox;
    const QString role = QString::fromStdString(field.label);
    box->setToolTip("The metabolite that plays the role " + role +
                    " in this step's rate law; every modifier must be chosen.");
    box->setAccessibleName(role);
    box->addItem("(none)");
    for (const Metabolite& m : editor_.metabolites()) box->addItem(QString::fromStdString(m.name));
    box->setCurrentIndex(field.metabolite + 1);
    const int index = field.index;
    connect(box, &QComboBox::activated, this, [this, index](int chosen) {
      editor_.SetModifier(index, chosen - 1);
      RefreshFormula();
    });
    modifiers_->addRow(role, box);
  }
  if (modifiers_->rowCount() == 0) modifiers_->addRow(NoneLabel("This kinetic type has no modifiers."));
}

void KineticsDialog::RefreshFormula() {
  const std::string formula = editor_.CurrentFormula(sbml::BuiltInLawFormula);
  formula_->setText(formula.empty() ? QString("(no formula for this kinetic type)")
                                    : "v = " + QString::fromStdString(formula));
}

void KineticsDialog::OnStepSelected(int row) {
  if (row < 0) return;
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
  if (index < 0) return;
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
