#include "app/metabolites_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/model_edits.h"
#include "document/document.h"
#include "output/output_item_unit.h"
#include "rules/rules_edit_guard.h"

namespace vireon {
namespace {

enum Column { kName, kConcentration, kFixed, kCompartment, kColumnCount };

}  // namespace

MetabolitesDialog::MetabolitesDialog(Document& document, MessageSink& sink, QWidget* parent)
    : QDialog(parent), document_(document), editor_(document.model, sink) {
  setWindowTitle("Metabolites");
  const auto& rows = editor_.rows();
  table_ = new QTableWidget(static_cast<int>(rows.size()), kColumnCount);
  table_->setToolTip(
      "The model's metabolites: type an initial concentration, tick Fixed for one held "
      "constant, choose its compartment.");
  const std::string concentration =
      WithUnit("Initial concentration",
               UnitText(QuantityKind::kConcentration, UnitsOf(document.settings)));
  table_->setHorizontalHeaderLabels(
      {"Name", QString::fromStdString(concentration), "Fixed", "Compartment"});
  table_->horizontalHeader()->setStretchLastSection(true);
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const MetaboliteRow& row = rows[r];
    table_->setItem(r, kName, new QTableWidgetItem(QString::fromStdString(row.name)));
    table_->setItem(r, kConcentration,
                    new QTableWidgetItem(QString::fromStdString(row.initialConcentration)));
    auto* fixed = new QTableWidgetItem;
    fixed->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    fixed->setCheckState(row.fixed ? Qt::Checked : Qt::Unchecked);
    table_->setItem(r, kFixed, fixed);
    auto* compartment = new QComboBox;
    for (const Compartment& c : editor_.working().compartments) {
      compartment->addItem(QString::fromStdString(c.name));
    }
    compartment->setCurrentIndex(row.compartment);
    table_->setCellWidget(r, kCompartment, compartment);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  layout->addWidget(buttons);
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
  // A name is checked as soon as its cell is left.
  connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() == kName) CheckNameCell(item->row());
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &MetabolitesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &MetabolitesDialog::reject);
  resize(600, 380);
}

void MetabolitesDialog::ReadRows() {
  auto& rows = editor_.rows();
  for (int r = 0; r < static_cast<int>(rows.size()) && r < table_->rowCount(); ++r) {
    rows[r].name = table_->item(r, kName)->text().toStdString();
    rows[r].initialConcentration = table_->item(r, kConcentration)->text().toStdString();
    rows[r].fixed = table_->item(r, kFixed)->checkState() == Qt::Checked;
    if (auto* box = qobject_cast<QComboBox*>(table_->cellWidget(r, kCompartment))) {
      rows[r].compartment = box->currentIndex();
    }
  }
}

bool MetabolitesDialog::CheckNameCell(int row) {
  QTableWidgetItem* item = table_->item(row, kName);
  if (item == nullptr || row >= static_cast<int>(editor_.rows().size())) return true;
  editor_.rows()[static_cast<std::size_t>(row)].name = item->text().toStdString();
  if (editor_.CheckName(row)) return true;
  // The focus returns to the name once the change that left it is over.
  QTimer::singleShot(0, this, [this, row] {
    table_->setCurrentCell(row, kName);
    table_->editItem(table_->item(row, kName));
  });
  return false;
}

void MetabolitesDialog::accept() {
  // A cell still being edited is taken first.
  if (QWidget* focus = focusWidget()) focus->clearFocus();
  ReadRows();
  if (!editor_.Commit(document_.model, AnalyseHook(document_), RulesEditProblem)) {
    if (editor_.badRow() >= 0) table_->setCurrentCell(editor_.badRow(), kName);
    return;
  }
  QDialog::accept();
}

}  // namespace vireon
