#pragma once
// The "Compartments" dialog: a view over a CompartmentEditor. The number of
// compartments, and a row with the name and volume of each. OK hands the
// rows to the editor, which commits them into the model.

#include <QDialog>

#include <string>

#include "model/compartment_editor.h"

class QSpinBox;
class QTableWidget;

namespace vireon {

class CompartmentsDialog : public QDialog {
  Q_OBJECT

 public:
  CompartmentsDialog(Model& model, MessageSink& sink, QWidget* parent = nullptr);
  // The unit of the volumes, shown in their column's title.
  void SetVolumeUnit(const std::string& unit);

  CompartmentEditor& editor() { return editor_; }
  QSpinBox* countField() const { return count_; }
  QTableWidget* table() const { return table_; }

  void accept() override;

 private:
  void ReadRows();
  void ShowRows();

  Model& model_;
  MessageSink& sink_;
  CompartmentEditor editor_;
  QSpinBox* count_ = nullptr;
  QTableWidget* table_ = nullptr;
};

}  // namespace vireon
