#include "app/link_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/item_tree_picker.h"
#include "app/qt_message_sink.h"
#include "scan/item_trees.h"
#include "settings/setting_text.h"

namespace vireon {

LinkDialog::LinkDialog(ParameterLinkEditor& editor, const Model& model,
                       const std::vector<std::string>& functionNames, MessageSink& sink,
                       QWidget* parent)
    : QDialog(parent), editor_(editor), sink_(sink) {
  setWindowTitle("Parameter Link");
  items_ = new ItemTreePicker(BuildLinkItemTree(model, functionNames));
  target_ = new QLineEdit;
  target_->setToolTip("The parameter the link sets; choose it in the tree and press its Set.");
  target_->setReadOnly(true);
  source_ = new QLineEdit;
  source_->setToolTip(
      "The parameter whose value the link follows; choose it in the tree and press its Set.");
  source_->setReadOnly(true);
  factor_ = new QLineEdit(ToQString(RealSettingText(editor_.factor(), 15)));
  factor_->setToolTip("The target is this number times the source.");
  factor_->setMaximumWidth(120);
  auto* setTarget = new QPushButton("Set");
  auto* setSource = new QPushButton("Set");

  auto* link = new QGridLayout;
  link->addWidget(target_, 0, 0);
  link->addWidget(new QLabel("="), 0, 1);
  link->addWidget(factor_, 0, 2);
  link->addWidget(new QLabel("X"), 0, 3);
  link->addWidget(source_, 0, 4);
  link->addWidget(setTarget, 1, 0);
  link->addWidget(setSource, 1, 4);
  link->setColumnStretch(0, 1);
  link->setColumnStretch(4, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(items_, 1);
  layout->addLayout(link);
  layout->addWidget(buttons);

  connect(setTarget, &QPushButton::clicked, this, &LinkDialog::SetTarget);
  connect(setSource, &QPushButton::clicked, this, &LinkDialog::SetSource);
  connect(buttons, &QDialogButtonBox::accepted, this, &LinkDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &LinkDialog::reject);
  resize(560, 420);
  Refresh();
}

void LinkDialog::SetTarget() {
  if (const OutputItem* entry = items_->CurrentEntry()) editor_.SetTarget(*entry);
  Refresh();
}

void LinkDialog::SetSource() {
  if (const OutputItem* entry = items_->CurrentEntry()) editor_.SetSource(*entry);
  Refresh();
}

void LinkDialog::accept() {
  if (!editor_.SetFactorText(factor_->text().toStdString(), sink_)) {
    factor_->setFocus();
    factor_->selectAll();
    return;
  }
  QDialog::accept();
}

void LinkDialog::Refresh() {
  target_->setText(editor_.target() ? ToQString(editor_.target()->title) : QString());
  source_->setText(editor_.source() ? ToQString(editor_.source()->title) : QString());
  ok_->setEnabled(editor_.OkEnabled());
}

}  // namespace vireon
