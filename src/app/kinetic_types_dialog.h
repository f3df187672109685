#pragma once
// The "User-defined Kinetic Types" dialog (the page's "Kinetic T&ypes"): a
// view over a UserKineticTypesEditor. It lists the user-defined types of the
// catalogue; "&Add" and "&Edit" open the "New Kinetic Type" dialog, and
// "&Delete" removes a type after asking when steps of the model use it.
// Every change goes into the catalogue at once; "&Close" binds the model's
// steps to types that exist.

#include <QDialog>
#include <functional>

#include "app/list_editor_dialog.h"
#include "kinetics/user_kinetic_types_editor.h"

class QListWidget;
class QPushButton;

namespace vireon {

class KineticTypeDialog;

class KineticTypesDialog : public ListEditorDialog {
  Q_OBJECT

 public:
  KineticTypesDialog(KineticCatalogue& catalogue, Model& model, double defaultConstant,
                     MessageSink& sink, QWidget* parent = nullptr);

  UserKineticTypesEditor& editor() { return editor_; }
  QListWidget* typeList() const { return types_; }
  // Whether a type was added, changed or deleted.
  bool changed() const { return changed_; }

  // How the type dialog is shown: modal by default; tests and screenshots
  // put their own here (it receives the dialog and returns whether it
  // ended with OK).
  using ShowTypeDialog = std::function<bool(KineticTypeDialog&)>;
  void SetShowTypeDialog(ShowTypeDialog show) { show_ = std::move(show); }

  void Add();
  void EditSelected();
  void DeleteSelected();
  void accept() override;
  void reject() override;

 private:
  void OpenTypeDialog(KineticTypeEditor& editor);
  void Refresh(const std::string& select = {});

  UserKineticTypesEditor editor_;
  MessageSink& sink_;
  ShowTypeDialog show_;
  QListWidget* types_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* delete_ = nullptr;
  bool changed_ = false;
};

}  // namespace vireon
