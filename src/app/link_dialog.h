#pragma once
// The "Parameter Link" dialog: a view over a ParameterLinkEditor. The tree
// of available items and, below it, target "=" factor "X" source, each end
// with its "Set" button that takes the chosen item. OK is enabled once both
// ends are set.

#include <QDialog>
#include <string>
#include <vector>

#include "scan/parameter_link_editor.h"

class QLineEdit;
class QPushButton;

namespace vireon {

class ItemTreePicker;
class MessageSink;
class Model;

class LinkDialog : public QDialog {
  Q_OBJECT

 public:
  LinkDialog(ParameterLinkEditor& editor, const Model& model,
             const std::vector<std::string>& functionNames, MessageSink& sink,
             QWidget* parent = nullptr);

  ItemTreePicker* items() const { return items_; }
  QLineEdit* factorField() const { return factor_; }
  QPushButton* okButton() const { return ok_; }

  // The two "Set" buttons.
  void SetTarget();
  void SetSource();
  void accept() override;

 private:
  void Refresh();

  ParameterLinkEditor& editor_;
  MessageSink& sink_;
  ItemTreePicker* items_ = nullptr;
  QLineEdit* target_ = nullptr;
  QLineEdit* factor_ = nullptr;
  QLineEdit* source_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace vireon
