#include "app/list_editor_dialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vireon {

ListEditorDialog::ListEditorDialog(const QString& title, const QString& listTip, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  list_ = new QListWidget;
  list_->setToolTip(listTip);
  close_ = new QPushButton("&Close");
  close_->setToolTip("Closes the dialog; the changes are kept.");
  close_->setDefault(true);
  column_ = new QVBoxLayout;
  column_->addStretch();
  column_->addWidget(close_);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(column_);
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  lastInTabOrder_ = list_;
}

QPushButton* ListEditorDialog::AddAction(const QString& text, const QString& tip,
                                         std::function<void()> action) {
  auto* button = new QPushButton(text);
  button->setToolTip(tip);
  column_->insertWidget(actions_++, button);
  // The keyboard goes from the list down the column, Close last.
  setTabOrder(lastInTabOrder_, button);
  setTabOrder(button, close_);
  lastInTabOrder_ = button;
  connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
  return button;
}

}  // namespace vireon
