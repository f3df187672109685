#include "app/methods_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/qt_message_sink.h"
#include "model/message_sink.h"

namespace vireon {

using F = NumericalMethodsField;

MethodsDialog::MethodsDialog(TaskSettings& settings, MessageSink& sink, QWidget* parent)
    : QDialog(parent), settings_(settings), sink_(sink) {
  setWindowTitle("Numerical Methods");
  const NumericalMethodsForm form = MakeNumericalMethodsForm(settings_);

  auto* steady = new QGroupBox("Steady state");
  auto* steadyForm = new QFormLayout(steady);
  strategy_ = new QComboBox;
  for (const char* name : kSteadyStateStrategyNames) strategy_->addItem(name);
  strategy_->setCurrentIndex(form.strategy);
  backIntegration_ = new QCheckBox("Backward integration if all else fails");
  backIntegration_->setChecked(form.backIntegration);
  steadyForm->addRow("Strategy for steady-state solution", strategy_);
  steadyForm->addRow(backIntegration_);
  steadyForm->addRow("Newton iterations:", AddField(F::kNewtonLimit, form.newtonLimit));
  steadyForm->addRow("S.-S. resolution:", AddField(F::kResolution, form.resolution));
  auto* factor = new QHBoxLayout;
  factor->addWidget(new QLabel("+/-"));
  factor->addWidget(AddField(F::kDerivationFactor, form.derivationFactorPercent), 1);
  factor->addWidget(new QLabel("%"));
  steadyForm->addRow("Derivation factor:", factor);
  scaledMca_ = new QCheckBox("Scaled MCA");
  scaledMca_->setChecked(form.scaledMca);
  steadyForm->addRow(scaledMca_);

  auto* integration = new QGroupBox("Integration");
  auto* integrationForm = new QFormLayout(integration);
  integrator_ = new QComboBox;
  for (const char* name : kIntegratorNames) integrator_->addItem(name);
  integrator_->setCurrentIndex(form.integrator);
  integrationForm->addRow("Integrator:", integrator_);
  integrationForm->addRow("Rel. tolerance:", AddField(F::kRelativeTolerance, form.relativeTolerance));
  integrationForm->addRow("Abs. tolerance:", AddField(F::kAbsoluteTolerance, form.absoluteTolerance));
  integrationForm->addRow("Adams order:", AddField(F::kAdamsOrder, form.adamsOrder));
  integrationForm->addRow("BDF order:", AddField(F::kBdfOrder, form.bdfOrder));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(steady);
  layout->addWidget(integration);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &MethodsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &MethodsDialog::reject);
}

QLineEdit* MethodsDialog::AddField(NumericalMethodsField which, const std::string& text) {
  auto* edit = new QLineEdit(ToQString(text));
  fields_[which] = edit;
  return edit;
}

void MethodsDialog::accept() {
  NumericalMethodsForm form;
  form.derivationFactorPercent = fields_.at(F::kDerivationFactor)->text().toStdString();
  form.resolution = fields_.at(F::kResolution)->text().toStdString();
  form.newtonLimit = fields_.at(F::kNewtonLimit)->text().toStdString();
  form.bdfOrder = fields_.at(F::kBdfOrder)->text().toStdString();
  form.adamsOrder = fields_.at(F::kAdamsOrder)->text().toStdString();
  form.absoluteTolerance = fields_.at(F::kAbsoluteTolerance)->text().toStdString();
  form.relativeTolerance = fields_.at(F::kRelativeTolerance)->text().toStdString();
  form.scaledMca = scaledMca_->isChecked();
  form.strategy = strategy_->currentIndex();
  form.backIntegration = backIntegration_->isChecked();
  form.integrator = integrator_->currentIndex();
  const NumericalMethodsCheck check = TakeNumericalMethodsForm(form, settings_);
  if (!check.ok()) {
    sink_.Warning("", check.message);
    if (fields_.count(check.field) != 0) {
      fields_.at(check.field)->setFocus();
      fields_.at(check.field)->selectAll();
    }
    return;
  }
  QDialog::accept();
}

}  // namespace vireon
