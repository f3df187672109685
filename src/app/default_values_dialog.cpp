#include "app/default_values_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/qt_message_sink.h"
#include "model/message_sink.h"

namespace vireon {
namespace {

using F = DefaultValuesField;

// The separators the list offers, by character code.
struct SeparatorChoice {
  const char* text;
  int code;
};
constexpr SeparatorChoice kSeparators[] = {
    {"Space", ' '}, {"Tab", '\t'}, {"Comma", ','}, {"Semicolon", ';'}};

// The widest column a data file may have.
constexpr int kMaxColumnWidth = 255;

// A check box tied to an int flag of the working copy.
QCheckBox* FlagBox(const char* text, int& flag, QObject* owner) {
  auto* box = new QCheckBox(text);
  box->setChecked(flag != 0);
  QObject::connect(box, &QCheckBox::toggled, owner, [&flag](bool on) { flag = on ? 1 : 0; });
  return box;
}

std::string Text(const QLineEdit* edit) {
  return edit->text().toStdString();
}

}  // namespace

DefaultValuesDialog::DefaultValuesDialog(const DefaultValues& values, MessageSink& sink,
                                         QWidget* parent)
    : QDialog(parent), values_(values), sink_(sink) {
  setWindowTitle("Default values");
  const DefaultValuesForm form = MakeDefaultValuesForm(values_);

  auto* model = new QGroupBox("New models");
  auto* modelForm = new QFormLayout(model);
  modelForm->addRow("Concentrations:", AddField(F::kConcentration, form.concentration));
  modelForm->addRow("Kinetic constants:", AddField(F::kKineticConstant, form.kineticConstant));
  modelForm->addRow("Time unit:", AddField(F::kTimeUnit, form.timeUnit));
  modelForm->addRow("Concentration unit:",
                    AddField(F::kConcentrationUnit, form.concentrationUnit));
  modelForm->addRow("Volume unit:", AddField(F::kVolumeUnit, form.volumeUnit));

  auto* methods = new QGroupBox("Numerical methods");
  auto* methodsForm = new QFormLayout(methods);
  methodsForm->addRow("End time:", AddField(F::kEndTime, form.endTime));
  methodsForm->addRow("Points:", AddField(F::kPoints, form.points));
  methodsForm->addRow("Newton limit:", AddField(F::kNewtonLimit, form.newtonLimit));
  methodsForm->addRow("S.-S. resolution:", AddField(F::kSteadyStateResolution, form.steadyStateResolution));
  auto* factor = new QHBoxLayout;
  factor->addWidget(AddField(F::kDerivationFactor, form.derivationFactorPercent));
  factor->addWidget(new QLabel("%"));
  methodsForm->addRow("Derivation Factor  +/-", factor);
  methodsForm->addRow("Rel. tolerance:", AddField(F::kRelativeTolerance, form.relativeTolerance));
  methodsForm->addRow("Abs. tolerance:", AddField(F::kAbsoluteTolerance, form.absoluteTolerance));
  methodsForm->addRow("Adams order:", AddField(F::kAdamsMaxOrder, form.adamsMaxOrder));
  methodsForm->addRow("BDF order:", AddField(F::kBdfMaxOrder, form.bdfMaxOrder));

  auto* tasks = new QGroupBox("Tasks and report");
  auto* tasksGrid = new QGridLayout(tasks);
  tasksGrid->addWidget(FlagBox("Time course", values_.dynamics, this), 0, 0);
  tasksGrid->addWidget(FlagBox("Steady state", values_.steadyState, this), 1, 0);
  tasksGrid->addWidget(FlagBox("Report", values_.report, this), 2, 0);
  tasksGrid->addWidget(FlagBox("Unscaled MCA", values_.mcaUnscaled, this), 3, 0);
  tasksGrid->addWidget(FlagBox("Structural Analysis", values_.reportStructuralAnalysis, this), 0,
                       1);
  tasksGrid->addWidget(FlagBox("Stability", values_.reportStabilityAnalysis, this), 1, 1);
  tasksGrid->addWidget(FlagBox("MCA", values_.reportMca, this), 2, 1);
  tasksGrid->addWidget(FlagBox("Comments", values_.reportComments, this), 3, 1);

  auto* files = new QGroupBox("Data files");
  auto* filesForm = new QFormLayout(files);
  filesForm->addRow(FlagBox("Titles", values_.titles, this));
  filesForm->addRow(FlagBox("Quotes", values_.quotes, this));
  columnWidth_ = new QSpinBox;
  columnWidth_->setRange(1, kMaxColumnWidth);
  columnWidth_->setValue(values_.columnWidth);
  filesForm->addRow("Column width:", columnWidth_);
  separator_ = new QComboBox;
  for (const SeparatorChoice& choice : kSeparators) separator_->addItem(choice.text, choice.code);
  if (separator_->findData(values_.separator) < 0) {
    separator_->addItem(QString("'%1'").arg(QChar(values_.separator)), values_.separator);
  }
  separator_->setCurrentIndex(separator_->findData(values_.separator));
  filesForm->addRow("Separator:", separator_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* grid = new QGridLayout;
  grid->addWidget(model, 0, 0);
  grid->addWidget(files, 1, 0);
  grid->addWidget(methods, 0, 1, 2, 1);
  grid->addWidget(tasks, 2, 0, 1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Set default values for simulation parameters"));
  layout->addLayout(grid);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &DefaultValuesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &DefaultValuesDialog::reject);
}

QLineEdit* DefaultValuesDialog::AddField(DefaultValuesField which, const std::string& text) {
  auto* edit = new QLineEdit(ToQString(text));
  fields_[which] = edit;
  return edit;
}

DefaultValuesForm DefaultValuesDialog::ReadForm() const {
  DefaultValuesForm form;
  form.concentration = Text(fields_.at(F::kConcentration));
  form.kineticConstant = Text(fields_.at(F::kKineticConstant));
  form.endTime = Text(fields_.at(F::kEndTime));
  form.newtonLimit = Text(fields_.at(F::kNewtonLimit));
  form.steadyStateResolution = Text(fields_.at(F::kSteadyStateResolution));
  form.derivationFactorPercent = Text(fields_.at(F::kDerivationFactor));
  form.relativeTolerance = Text(fields_.at(F::kRelativeTolerance));
  form.absoluteTolerance = Text(fields_.at(F::kAbsoluteTolerance));
  form.adamsMaxOrder = Text(fields_.at(F::kAdamsMaxOrder));
  form.bdfMaxOrder = Text(fields_.at(F::kBdfMaxOrder));
  form.timeUnit = Text(fields_.at(F::kTimeUnit));
  form.concentrationUnit = Text(fields_.at(F::kConcentrationUnit));
  form.volumeUnit = Text(fields_.at(F::kVolumeUnit));
  form.points = Text(fields_.at(F::kPoints));
  return form;
}

void DefaultValuesDialog::accept() {
  DefaultValues taken = values_;
  taken.columnWidth = columnWidth_->value();
  taken.separator = separator_->currentData().toInt();
  const DefaultValuesCheck check = TakeDefaultValuesForm(ReadForm(), taken);
  if (!check.ok()) {
    sink_.Warning("", check.message);
    QLineEdit* bad = fields_.at(check.field);
    bad->setFocus();
    bad->selectAll();
    return;
  }
  values_ = taken;
  QDialog::accept();
}

}  // namespace vireon
