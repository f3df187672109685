#include "app/moieties_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt_message_sink.h"
#include "model/metabolite_editor.h"
#include "model/model.h"

namespace vireon {

MoietiesDialog::MoietiesDialog(const Model& model, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Moieties");
  const std::vector<Metabolite> moieties = model.moieties;
  table_ = new QTableWidget(static_cast<int>(moieties.size()), 2);
  table_->setToolTip(
      "The conserved sums of metabolites and their totals, as the structural analysis finds them.");
  table_->setHorizontalHeaderLabels({"Conservation relation", "Total"});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setVisible(false);
  for (int row = 0; row < static_cast<int>(moieties.size()); ++row) {
    const Metabolite& moiety = moieties[static_cast<std::size_t>(row)];
    table_->setItem(row, 0, new QTableWidgetItem(ToQString(moiety.name).trimmed()));
    table_->setItem(row, 1,
                    new QTableWidgetItem(ToQString(FormatConcentration(moiety.initialConcentration))));
  }
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);

  auto* layout = new QVBoxLayout(this);
  if (moieties.empty()) {
    layout->addWidget(new QLabel("This model has no conserved moieties."));
  }
  layout->addWidget(table_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(480, 260);
}

}  // namespace vireon
