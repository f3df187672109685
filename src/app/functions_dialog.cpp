#include "app/functions_dialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/function_dialog.h"
#include "app/qt_message_sink.h"

namespace vireon {

FunctionsDialog::FunctionsDialog(std::vector<OutputFunction>& functions, const Model& model,
                                 MessageSink& sink, QWidget* parent)
    : QDialog(parent),
      editor_(functions, sink),
      model_(model),
      sink_(sink),
      show_([](FunctionDialog& dialog) { return dialog.exec() == QDialog::Accepted; }) {
  setWindowTitle("User-Defined Functions");
  list_ = new QListWidget;
  list_->setToolTip("The output functions: choose one to change or delete it.");
  auto* add = new QPushButton("&Add");
  edit_ = new QPushButton("&Edit");
  delete_ = new QPushButton("&Delete");
  auto* close = new QPushButton("&Close");
  close->setDefault(true);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(edit_);
  buttons->addWidget(delete_);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  connect(add, &QPushButton::clicked, this, &FunctionsDialog::Add);
  connect(edit_, &QPushButton::clicked, this, &FunctionsDialog::EditSelected);
  connect(delete_, &QPushButton::clicked, this, &FunctionsDialog::DeleteSelected);
  connect(list_, &QListWidget::itemDoubleClicked, this, &FunctionsDialog::EditSelected);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { editor_.Select(row); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
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
