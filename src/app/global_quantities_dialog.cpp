#include "app/global_quantities_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/qt_message_sink.h"

namespace vireon {
namespace {

enum Column { kName, kValue, kColumnCount };

}  // namespace

GlobalQuantitiesDialog::GlobalQuantitiesDialog(Model& model, MessageSink& sink, QWidget* parent)
    : QDialog(parent), model_(model), sink_(sink), editor_(model) {
  setWindowTitle("Global Quantities");
  table_ = new QTableWidget(0, kColumnCount);
  table_->setToolTip("The model's global quantities, which rules and events may read and set.");
  table_->setHorizontalHeaderLabels({"Name", "Value"});
  table_->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(kValue, QHeaderView::Stretch);
  table_->verticalHeader()->setVisible(false);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Tab leaves the table for the buttons instead of walking its cells.
  table_->setTabKeyNavigation(false);
  auto* label = new QLabel("&Quantities:");
  label->setBuddy(table_);

  add_ = new QPushButton("&Add");
  delete_ = new QPushButton("&Delete");
  // Enter in the table ends the dialog with OK, not with Add.
  add_->setAutoDefault(false);
  delete_->setAutoDefault(false);
  auto* actions = new QVBoxLayout;
  actions->addWidget(add_);
  actions->addWidget(delete_);
  actions->addStretch();
  auto* body = new QHBoxLayout;
  body->addWidget(table_, 1);
  body->addLayout(actions);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addLayout(body);
  layout->addWidget(buttons);
  connect(add_, &QPushButton::clicked, this, &GlobalQuantitiesDialog::Add);
  connect(delete_, &QPushButton::clicked, this, &GlobalQuantitiesDialog::DeleteCurrent);
  connect(table_, &QTableWidget::currentCellChanged, this,
          [this](int row) { delete_->setEnabled(row >= 0); });
  connect(buttons, &QDialogButtonBox::accepted, this, &GlobalQuantitiesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &GlobalQuantitiesDialog::reject);
  resize(420, 320);
  ShowRows();
  if (table_->rowCount() > 0) table_->setCurrentCell(0, kName);
  delete_->setEnabled(table_->currentRow() >= 0);
}

void GlobalQuantitiesDialog::ShowRows() {
  const std::vector<GlobalQuantityRow>& rows = editor_.rows();
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const GlobalQuantityRow& row = rows[static_cast<std::size_t>(r)];
    table_->setItem(r, kName, new QTableWidgetItem(ToQString(row.name)));
    table_->setItem(r, kValue, new QTableWidgetItem(ToQString(row.value)));
  }
}

void GlobalQuantitiesDialog::ReadRows() {
  std::vector<GlobalQuantityRow>& rows = editor_.rows();
  for (int r = 0; r < static_cast<int>(rows.size()) && r < table_->rowCount(); ++r) {
    rows[static_cast<std::size_t>(r)].name = table_->item(r, kName)->text().toStdString();
    rows[static_cast<std::size_t>(r)].value = table_->item(r, kValue)->text().toStdString();
  }
}

void GlobalQuantitiesDialog::Add() {
  ReadRows();
  const int row = editor_.Add();
  ShowRows();
  // The new quantity's name is ready to be typed over.
  table_->setFocus();
  table_->setCurrentCell(row, kName);
  table_->editItem(table_->item(row, kName));
}

void GlobalQuantitiesDialog::DeleteCurrent() {
  const int row = table_->currentRow();
  ReadRows();
  if (!editor_.Remove(row)) return;
  ShowRows();
  const int last = table_->rowCount() - 1;
  if (last >= 0) table_->setCurrentCell(row < last ? row : last, kName);
  delete_->setEnabled(table_->currentRow() >= 0);
}

void GlobalQuantitiesDialog::accept() {
  // A cell still being edited is taken first.
  if (QWidget* focus = focusWidget()) focus->clearFocus();
  ReadRows();
  const GlobalQuantitiesCheck check = editor_.Check();
  if (!editor_.Commit(model_, sink_, {})) {
    if (check.row >= 0) {
      table_->setFocus();
      table_->setCurrentCell(check.row,
                             check.field == GlobalQuantityField::kValue ? kValue : kName);
    }
    return;
  }
  QDialog::accept();
}

}  // namespace vireon
