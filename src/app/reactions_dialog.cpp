#include "app/reactions_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/help_dialog.h"
#include "app/model_edits.h"
#include "document/document.h"
#include "rules/rules_edit_guard.h"

namespace vireon {

ReactionsDialog::ReactionsDialog(Document& document, const KineticCatalogue& catalogue,
                                 double defaultConstant, double defaultConcentration,
                                 MessageSink& sink, QWidget* parent)
    : QDialog(parent),
      document_(document),
      catalogue_(catalogue),
      defaultConstant_(defaultConstant),
      editor_(document.model, sink, defaultConcentration, MetabolitesTheRulesUse(document.model)) {
  setWindowTitle("Reactions");
  steps_ = new QListWidget;
  name_ = new QLineEdit;
  equation_ = new QLineEdit;
  add_ = new QPushButton("&Add");
  new_ = new QPushButton("&New");
  delete_ = new QPushButton("&Delete");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

  steps_->setToolTip("The model's steps: choose one to change or delete it.");
  name_->setToolTip("The step's name: letters, digits and signs without blanks, unique in the model.");
  equation_->setToolTip(
      "Substrates, then = for a reversible step or -> for an irreversible one, then products.");
  equation_->setPlaceholderText("e.g. A + 2*B = P");
  add_->setToolTip("Adds the step (or changes the one chosen in the list); Enter does the same.");
  new_->setToolTip("Empties the fields for a new step.");
  delete_->setToolTip("Removes the step chosen in the list.");
  // The equation language in brief, under the field that uses it.
  auto* syntax = new QLabel(
      "Write <b>A + B = P</b> (reversible) or <b>S -&gt; P</b> (irreversible). A whole number "
      "and * before a name counts it more than once: <b>2*ADP = ATP + AMP</b>. Names may not "
      "contain blanks, + or *; a side may be empty.");
  syntax->setWordWrap(true);
  syntax->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  syntax->setObjectName("equationSyntax");
  syntax->setForegroundRole(QPalette::PlaceholderText);
  auto* fields = new QFormLayout;
  fields->addRow("Name:", name_);
  fields->addRow("Equation:", equation_);
  fields->addRow("", syntax);
  auto* actions = new QHBoxLayout;
  actions->addWidget(add_);
  actions->addWidget(new_);
  actions->addWidget(delete_);
  actions->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(steps_);
  layout->addLayout(fields);
  layout->addLayout(actions);
  layout->addWidget(buttons);

  connect(steps_, &QListWidget::currentRowChanged, this, &ReactionsDialog::OnStepSelected);
  connect(add_, &QPushButton::clicked, this, &ReactionsDialog::AddOrChange);
  connect(new_, &QPushButton::clicked, this, &ReactionsDialog::StartNew);
  connect(delete_, &QPushButton::clicked, this, &ReactionsDialog::DeleteSelected);
  // Enter in a field adds or changes the step, never closes the dialog.
  add_->setDefault(true);
  buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
  buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
  new_->setAutoDefault(false);
  delete_->setAutoDefault(false);
  AddHelpButton(buttons, "Reactions: the equation language", sink);
  connect(buttons, &QDialogButtonBox::accepted, this, &ReactionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ReactionsDialog::reject);
  resize(520, 400);
  Refresh();
}

void ReactionsDialog::AddOrChange() {
  if (editor_.AddOrChange(name_->text().toStdString(), equation_->text().toStdString())) {
    editor_.StartNew();
    Refresh();
  }
}

void ReactionsDialog::StartNew() {
  editor_.StartNew();
  Refresh();
}

void ReactionsDialog::DeleteSelected() {
  if (editor_.Delete(steps_->currentRow())) Refresh();
}

void ReactionsDialog::accept() {
  // A step typed but not yet added is added first, or its refusal keeps
  // the dialog open with the text in place.
  const std::string name = name_->text().toStdString();
  const std::string equation = equation_->text().toStdString();
  if (editor_.HasUntakenText(name, equation) && !editor_.AddOrChange(name, equation)) return;
  if (!editor_.Commit(DefaultKineticsHook(catalogue_, defaultConstant_), RulesEditProblem)) {
    Refresh();
    return;
  }
  ApplyWorkingCopy(document_.model, editor_.working(), AnalyseHook(document_));
  QDialog::accept();
}

void ReactionsDialog::reject() {
  editor_.Cancel();
  QDialog::reject();
}

void ReactionsDialog::Refresh() {
  const QSignalBlocker block(steps_);
  steps_->clear();
  for (const Step& step : editor_.steps().records) {
    steps_->addItem(QString::fromStdString(step.name + ": " + step.equation));
  }
  steps_->setCurrentRow(editor_.changing());
  name_->setText(QString::fromStdString(editor_.nameField()));
  equation_->setText(QString::fromStdString(editor_.equationField()));
  add_->setText(editor_.changing() < 0 ? "&Add" : "&Change");
  delete_->setEnabled(editor_.changing() >= 0);
}

void ReactionsDialog::OnStepSelected(int row) {
  if (row < 0) return;
  if (editor_.Select(row)) Refresh();
}

}  // namespace vireon
