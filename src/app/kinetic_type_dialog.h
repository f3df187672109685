#pragma once
// The "New Kinetic Type" dialog: a view over a KineticTypeEditor. The user
// names the type, types its rate law, accepts it (which lists its symbols),
// gives every symbol its class and the numbers of substrates and products,
// and ends with "A&dd" (or "Close" for a type opened for editing). What OK
// does with the editor is up to the caller (the kinetic types list).

#include <QDialog>
#include <functional>

#include "kinetics/kinetic_type_editor.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace vireon {

class KineticTypeDialog : public QDialog {
  Q_OBJECT

 public:
  // `finish` runs on OK and says whether the dialog may close.
  KineticTypeDialog(KineticTypeEditor& editor, MessageSink& sink, std::function<bool()> finish,
                    QWidget* parent = nullptr);

  QLineEdit* nameField() const { return name_; }
  QPlainTextEdit* functionField() const { return function_; }
  QPushButton* functionButton() const { return functionButton_; }
  QLineEdit* substratesField() const { return substrates_; }
  QLineEdit* productsField() const { return products_; }
  QCheckBox* reversibleBox() const { return reversible_; }
  QListWidget* symbolList() const { return symbols_; }
  QRadioButton* roleButton(SymbolRole role) const;
  QPushButton* okButton() const { return ok_; }

  // The function button: accepts the rate law or makes it editable again.
  void PressFunctionButton();
  void accept() override;

 private:
  void Refresh();
  void TakeFields();
  void LeaveCount(QLineEdit* field, bool substrates);
  void OnRoleChosen(int role);

  KineticTypeEditor& editor_;
  MessageSink& sink_;
  std::function<bool()> finish_;
  QLineEdit* name_ = nullptr;
  QPlainTextEdit* function_ = nullptr;
  QPushButton* functionButton_ = nullptr;
  QLineEdit* substrates_ = nullptr;
  QLineEdit* products_ = nullptr;
  QCheckBox* reversible_ = nullptr;
  QListWidget* symbols_ = nullptr;
  QButtonGroup* roles_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace vireon
