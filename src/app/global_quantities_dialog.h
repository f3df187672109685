#pragma once
// The "Global Quantities" dialog: a view over a GlobalQuantitiesEditor. A
// row with the name and value of each quantity, edited in place; "Add"
// appends a quantity and "Delete" removes the current row. OK hands the
// rows to the editor, which commits them into the model after its checks.

#include <QDialog>

#include "rules/global_quantities_editor.h"

class QPushButton;
class QTableWidget;

namespace vireon {

class GlobalQuantitiesDialog : public QDialog {
  Q_OBJECT

 public:
  GlobalQuantitiesDialog(Model& model, MessageSink& sink, QWidget* parent = nullptr);

  GlobalQuantitiesEditor& editor() { return editor_; }
  QTableWidget* table() const { return table_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* deleteButton() const { return delete_; }

  void Add();
  void DeleteCurrent();
  void accept() override;

 private:
  void ReadRows();
  void ShowRows();

  Model& model_;
  MessageSink& sink_;
  GlobalQuantitiesEditor editor_;
  QTableWidget* table_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* delete_ = nullptr;
};

}  // namespace vireon
