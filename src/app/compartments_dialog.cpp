#include "app/compartments_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt_message_sink.h"
#include "output/output_item_unit.h"
#include "rules/rules_edit_guard.h"

namespace vireon {
namespace {

enum Column { kNameColumn, kVolumeColumn, kColumnCount };

// The most compartments the count field offers.
constexpr int kMaxCompartments = 999;

}  // namespace

void CompartmentsDialog::SetVolumeUnit(const std::string& unit) {
  table_->setHorizontalHeaderItem(kVolumeColumn,
                                  new QTableWidgetItem(QString::fromStdString(WithUnit("Volume", unit))));
}

CompartmentsDialog::CompartmentsDialog(Model& model, MessageSink& sink, QWidget* parent)
    : QDialog(parent), model_(model), sink_(sink), editor_(model) {
  setWindowTitle("Compartments");
  count_ = new QSpinBox;
  count_->setRange(1, kMaxCompartments);
  count_->setValue(editor_.count());
  table_ = new QTableWidget(0, kColumnCount);
  table_->setToolTip("The model's compartments: double-click a cell to change a name or a volume.");
  table_->setHorizontalHeaderLabels({"Name", "Volume"});
  table_->horizontalHeader()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(kVolumeColumn, QHeaderView::Stretch);

  auto* form = new QFormLayout;
  form->addRow("Number of compartments:", count_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(table_);
  layout->addWidget(buttons);
  connect(count_, &QSpinBox::valueChanged, this, [this](int count) {
    ReadRows();
    editor_.SetCount(count);
    ShowRows();
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &CompartmentsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CompartmentsDialog::reject);
  resize(420, 300);
  ShowRows();
}

void CompartmentsDialog::ShowRows() {
  const std::vector<CompartmentRow>& rows = editor_.rows();
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    table_->setItem(r, kNameColumn, new QTableWidgetItem(ToQString(rows[static_cast<std::size_t>(r)].name)));
    table_->setItem(r, kVolumeColumn,
                    new QTableWidgetItem(ToQString(rows[static_cast<std::size_t>(r)].volume)));
  }
}

void CompartmentsDialog::ReadRows() {
  std::vector<CompartmentRow>& rows = editor_.rows();
  for (int r = 0; r < static_cast<int>(rows.size()) && r < table_->rowCount(); ++r) {
    rows[static_cast<std::size_t>(r)].name = table_->item(r, kNameColumn)->text().toStdString();
    rows[static_cast<std::size_t>(r)].volume = table_->item(r, kVolumeColumn)->text().toStdString();
  }
}

void CompartmentsDialog::accept() {
  // A cell still being edited is taken first.
  if (QWidget* focus = focusWidget()) focus->clearFocus();
  ReadRows();
  if (!editor_.Commit(model_, sink_, RulesEditProblem)) {
    if (editor_.badRow() >= 0) table_->setCurrentCell(editor_.badRow(), kNameColumn);
    return;
  }
  QDialog::accept();
}

}  // namespace vireon
