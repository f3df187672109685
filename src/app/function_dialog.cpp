#include "app/function_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/item_tree_picker.h"
#include "app/qt_message_sink.h"

namespace vireon {
namespace {

// The width of the symbol list, in pixels: a letter and an item's name.
constexpr int kSymbolListWidth = 170;

}  // namespace

FunctionDialog::FunctionDialog(OutputFunctionEditor& editor, const Model& model, QWidget* parent)
    : QDialog(parent), editor_(editor) {
  setWindowTitle("New Function");
  name_ = new QLineEdit(ToQString(editor_.name()));
  name_->setToolTip("The output function's name, as reports and data files show it.");
  function_ = new QLineEdit(ToQString(editor_.expression()));
  function_->setToolTip(
      "The expression: single-letter symbols, numbers, + - * / ^, log, exp, sin, cos, rand, "
      "gauss, boltz.");
  acceptButton_ = new QPushButton;
  symbols_ = new QListWidget;
  symbols_->setToolTip("The expression's symbols: choose one, then the item it stands for.");
  symbols_->setMinimumWidth(kSymbolListWidth);
  symbols_->setMaximumWidth(kSymbolListWidth);
  items_ = new ItemTreePicker(BuildFunctionSymbolTree(model));
  ok_ = new QPushButton(ToQString(editor_.OkButtonText()));
  ok_->setDefault(true);
  cancel_ = new QPushButton("Cancel");

  auto* fields = new QFormLayout;
  fields->addRow("Function Name:", name_);
  auto* functionRow = new QHBoxLayout;
  functionRow->addWidget(function_, 1);
  functionRow->addWidget(acceptButton_);
  fields->addRow("Function:", functionRow);
  auto* symbolsColumn = new QVBoxLayout;
  symbolsColumn->addWidget(new QLabel("Symbols"));
  symbolsColumn->addWidget(symbols_);
  auto* body = new QHBoxLayout;
  body->addLayout(symbolsColumn);
  body->addWidget(items_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(new QLabel("Associate all symbols in your function to items of the model"), 1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(body, 1);
  layout->addLayout(buttons);

  connect(acceptButton_, &QPushButton::clicked, this, &FunctionDialog::PressAcceptButton);
  connect(symbols_, &QListWidget::currentRowChanged, this, [this](int row) {
    editor_.SelectSymbol(row);
  });
  connect(items_, &ItemTreePicker::entryChosen, this, &FunctionDialog::AssociateChosenItem);
  connect(ok_, &QPushButton::clicked, this, &FunctionDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &FunctionDialog::reject);
  resize(760, 440);
  Refresh();
}

void FunctionDialog::TakeFields() {
  editor_.SetName(name_->text().toStdString());
  editor_.SetExpression(function_->text().toStdString());
}

void FunctionDialog::PressAcceptButton() {
  TakeFields();
  editor_.PressAcceptButton();
  Refresh();
}

void FunctionDialog::AssociateChosenItem() {
  if (editor_.selectedSymbol() < 0) return;
  editor_.Associate(items_->CurrentEntry());
  Refresh();
}

void FunctionDialog::accept() {
  TakeFields();
  if (!editor_.Ok()) return;
  QDialog::accept();
}

void FunctionDialog::Refresh() {
  const QSignalBlocker blockSymbols(symbols_);
  const QSignalBlocker blockItems(items_);
  function_->setReadOnly(!editor_.ExpressionEditable());
  if (!editor_.ExpressionEditable()) function_->setText(ToQString(editor_.expression()));
  acceptButton_->setText(ToQString(editor_.AcceptButtonText()));
  symbols_->clear();
  for (int s = 0; s < editor_.SymbolCount(); ++s) symbols_->addItem(ToQString(editor_.SymbolText(s)));
  if (editor_.selectedSymbol() < 0 && editor_.SymbolCount() > 0) editor_.SelectSymbol(0);
  symbols_->setCurrentRow(editor_.selectedSymbol());
  symbols_->setEnabled(editor_.ItemsEnabled());
  items_->setEnabled(editor_.ItemsEnabled());
  // OK means something only once the expression is accepted.
  ok_->setEnabled(editor_.accepted());
  cancel_->setEnabled(editor_.CancelEnabled());
}

}  // namespace vireon
