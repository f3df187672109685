#include "app/kinetic_types_dialog.h"

#include <QListWidget>
#include <QPushButton>

#include "app/kinetic_type_dialog.h"
#include "app/qt_message_sink.h"
#include "rules/rules_edit_guard.h"

namespace vireon {

KineticTypesDialog::KineticTypesDialog(KineticCatalogue& catalogue, Model& model,
                                       double defaultConstant, MessageSink& sink, QWidget* parent)
    : ListEditorDialog("User-defined Kinetic Types",
                       "The user-defined kinetic types, shared by all models.", parent),
      editor_(catalogue, model, defaultConstant, RulesEditProblem),
      sink_(sink),
      show_([](KineticTypeDialog& dialog) { return dialog.exec() == QDialog::Accepted; }) {
  types_ = list();
  AddAction("&Add", "Defines a new kinetic type by its rate law.", [this] { Add(); });
  edit_ = AddAction("&Edit", "Changes the chosen kinetic type (a double click does the same).",
                    [this] { EditSelected(); });
  delete_ = AddAction("&Delete", "Removes the chosen kinetic type, unless a model step uses it.",
                      [this] { DeleteSelected(); });
  connect(types_, &QListWidget::itemDoubleClicked, this, &KineticTypesDialog::EditSelected);
  connect(types_, &QListWidget::currentRowChanged, this, [this](int row) {
    edit_->setEnabled(row >= 0);
    delete_->setEnabled(row >= 0);
  });
  resize(420, 300);
  Refresh();
}

void KineticTypesDialog::Refresh(const std::string& select) {
  types_->clear();
  for (const std::string& name : editor_.names()) {
    types_->addItem(ToQString(name));
    if (name == select) types_->setCurrentRow(types_->count() - 1);
  }
  edit_->setEnabled(types_->currentRow() >= 0);
  delete_->setEnabled(types_->currentRow() >= 0);
}

void KineticTypesDialog::OpenTypeDialog(KineticTypeEditor& editor) {
  std::string finished;
  KineticTypeDialog dialog(
      editor, sink_,
      [this, &editor, &finished] {
        finished = editor.name();
        return editor_.Finish(sink_);
      },
      this);
  if (show_(dialog)) {
    changed_ = true;
    Refresh(finished);
  } else {
    editor_.Cancel();
    Refresh(types_->currentItem() != nullptr ? types_->currentItem()->text().toStdString() : "");
  }
}

void KineticTypesDialog::Add() {
  OpenTypeDialog(editor_.BeginAdd());
}

void KineticTypesDialog::EditSelected() {
  const QListWidgetItem* item = types_->currentItem();
  if (item == nullptr) return;
  KineticTypeEditor* editor = editor_.BeginEdit(item->text().toStdString(), sink_);
  if (editor != nullptr) OpenTypeDialog(*editor);
}

void KineticTypesDialog::DeleteSelected() {
  const QListWidgetItem* item = types_->currentItem();
  if (item == nullptr) return;
  if (editor_.Delete(item->text().toStdString(), sink_)) {
    changed_ = true;
    Refresh();
  }
}

void KineticTypesDialog::accept() {
  editor_.Close();
  QDialog::accept();
}

void KineticTypesDialog::reject() {
  // The changes are in the catalogue already: leaving is closing.
  accept();
}

}  // namespace vireon
