#include "app/units_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/qt_message_sink.h"
#include "model/message_sink.h"
#include "settings/settings.h"

namespace vireon {
namespace {

template <std::size_t N>
QComboBox* UnitList(const char* const (&choices)[N], const std::string& current) {
  auto* list = new QComboBox;
  list->setEditable(true);
  list->setInsertPolicy(QComboBox::NoInsert);
  for (const char* choice : choices) list->addItem(choice);
  list->lineEdit()->setMaxLength(kUnitMaxLength);
  list->setCurrentText(ToQString(current));
  return list;
}

}  // namespace

UnitsDialog::UnitsDialog(TaskSettings& settings, MessageSink& sink, QWidget* parent)
    : QDialog(parent), settings_(settings), sink_(sink) {
  setWindowTitle("Units");
  const UnitsForm form = MakeUnitsForm(settings_);
  time_ = UnitList(kTimeUnitChoices, form.time);
  concentration_ = UnitList(kConcentrationUnitChoices, form.concentration);
  volume_ = UnitList(kVolumeUnitChoices, form.volume);
  flux_ = new QLineEdit;
  flux_->setReadOnly(true);

  auto* fields = new QFormLayout;
  fields->addRow("Time:", time_);
  fields->addRow("Concentration:", concentration_);
  fields->addRow("Volume:", volume_);
  fields->addRow("Flux:", flux_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(buttons);
  const auto showFlux = [this] { flux_->setText(ToQString(FluxUnit(ReadForm()))); };
  for (QComboBox* list : {time_, concentration_}) {
    connect(list, &QComboBox::currentTextChanged, this, showFlux);
  }
  connect(buttons, &QDialogButtonBox::accepted, this, &UnitsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &UnitsDialog::reject);
  showFlux();
}

UnitsForm UnitsDialog::ReadForm() const {
  return {time_->currentText().toStdString(), concentration_->currentText().toStdString(),
          volume_->currentText().toStdString()};
}

void UnitsDialog::accept() {
  const UnitsCheck check = TakeUnitsForm(ReadForm(), settings_);
  if (!check.ok()) {
    sink_.Warning("", check.message);
    return;
  }
  QDialog::accept();
}

}  // namespace vireon
