#pragma once
// The "Moieties" dialog: the model's conservation relations, each with its
// total (an amount: concentrations times compartment volumes). It shows
// copies and changes nothing.

#include <QDialog>

class QTableWidget;

namespace vireon {

class Model;

class MoietiesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit MoietiesDialog(const Model& model, QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }

 private:
  QTableWidget* table_ = nullptr;
};

}  // namespace vireon
