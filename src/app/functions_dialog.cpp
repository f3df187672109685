#include "app/functions_dialog.h"

#include <QListWidget>
#include <QPushButton>

#include "app/function_dialog.h"
#include "app/qt_message_sink.h"

namespace vireon {

FunctionsDialog::FunctionsDialog(std::vector<OutputFunction>& functions, const Model& model,
                                 MessageSink& sink, QWidget* parent)
    : ListEditorDialog("User-Defined Functions",
                       "The output functions: choose one to change or delete it.", parent),
      editor_(functions, sink),
      model_(model),
      sink_(sink),
      show_([](FunctionDialog& dialog) { return dialog.exec() == QDialog::Accepted; }) {
  list_ = list();
  AddAction("&Add", "Makes a new output function.", [this] { Add(); });
  edit_ = AddAction("&Edit", "Changes the chosen function (a double click does the same).",
                    [this] { EditSelected(); });
  delete_ = AddAction("&Delete", "Removes the chosen function.", [this] { DeleteSelected(); });
  connect(list_, &QListWidget::itemDoubleClicked, this, &FunctionsDialog::EditSelected);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { editor_.Select(row); });
  resize(420, 300);
  Refresh();
}

void FunctionsDialog::Refresh() {
  const int selected = editor_.selected();
  list_->clear();
  for (const std::string& name : editor_.Names()) list_->addItem(ToQString(name));
  list_->setCurrentRow(selected < list_->count() ? selected : list_->count() - 1);
  edit_->setEnabled(editor_.EditEnabled());
  delete_->setEnabled(editor_.DeleteEnabled());
}

void FunctionsDialog::Add() {
  OutputFunctionEditor function(sink_);
  FunctionDialog dialog(function, model_, this);
  if (!show_(dialog)) return;
  editor_.Added(function.TakeFunction());
  editor_.Select(static_cast<int>(editor_.Names().size()) - 1);
  Refresh();
}

void FunctionsDialog::EditSelected() {
  const OutputFunction* target = editor_.EditTarget();
  if (target == nullptr) return;
  OutputFunctionEditor function(*target, sink_);
  FunctionDialog dialog(function, model_, this);
  if (!show_(dialog)) return;
  editor_.Edited(function.TakeFunction());
  Refresh();
}

void FunctionsDialog::DeleteSelected() {
  if (editor_.Delete()) Refresh();
}

}  // namespace vireon
