#pragma once
// The "New Function" dialog: a view over an OutputFunctionEditor. The user
// names the function, types its expression, accepts it (which lists its
// letters), and associates every letter with an item of the model chosen
// from the tree of available items.

#include <QDialog>

#include "output/output_function_editor.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace vireon {

class ItemTreePicker;

class FunctionDialog : public QDialog {
  Q_OBJECT

 public:
  FunctionDialog(OutputFunctionEditor& editor, const Model& model, QWidget* parent = nullptr);

  QLineEdit* nameField() const { return name_; }
  QLineEdit* functionField() const { return function_; }
  QPushButton* acceptButton() const { return acceptButton_; }
  QListWidget* symbolList() const { return symbols_; }
  ItemTreePicker* items() const { return items_; }
  QPushButton* okButton() const { return ok_; }

  void PressAcceptButton();
  // Associates the selected letter with the item chosen in the picker.
  void AssociateChosenItem();
  void accept() override;

 private:
  void TakeFields();
  void Refresh();

  OutputFunctionEditor& editor_;
  QLineEdit* name_ = nullptr;
  QLineEdit* function_ = nullptr;
  QPushButton* acceptButton_ = nullptr;
  QListWidget* symbols_ = nullptr;
  ItemTreePicker* items_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace vireon
