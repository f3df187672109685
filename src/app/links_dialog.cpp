#include "app/links_dialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/link_dialog.h"
#include "app/qt_message_sink.h"
#include "document/document.h"

namespace vireon {

LinksDialog::LinksDialog(Document& document, MessageSink& sink, QWidget* parent)
    : QDialog(parent),
      document_(document),
      editor_(document.links, sink),
      sink_(sink),
      show_([](LinkDialog& dialog) { return dialog.exec() == QDialog::Accepted; }) {
  setWindowTitle("Parameter Links");
  list_ = new QListWidget;
  list_->setToolTip("The parameter links: each sets one parameter to a factor times another.");
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  auto* add = new QPushButton("&Add");
  auto* remove = new QPushButton("&Delete");
  auto* up = new QPushButton("&Up");
  auto* down = new QPushButton("Dow&n");
  auto* close = new QPushButton("&Close");
  close->setDefault(true);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove);
  buttons->addWidget(up);
  buttons->addWidget(down);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  connect(add, &QPushButton::clicked, this, &LinksDialog::Add);
  connect(remove, &QPushButton::clicked, this, &LinksDialog::DeleteSelected);
  connect(up, &QPushButton::clicked, this, &LinksDialog::MoveUp);
  connect(down, &QPushButton::clicked, this, &LinksDialog::MoveDown);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { editor_.Select(row); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  resize(520, 300);
  Refresh();
}

void LinksDialog::Refresh() {
  const int selected = editor_.selected();
  list_->clear();
  for (const std::string& line : editor_.Lines()) list_->addItem(ToQString(line));
  list_->setCurrentRow(selected < list_->count() ? selected : list_->count() - 1);
}

void LinksDialog::Add() {
  std::vector<std::string> functionNames;
  for (const OutputFunction& function : document_.functions) functionNames.push_back(function.name());
  ParameterLinkEditor link;
  LinkDialog dialog(link, document_.model, functionNames, sink_, this);
  if (!show_(dialog)) return;
  editor_.Added(link.Link());
  editor_.Select(static_cast<int>(editor_.Lines().size()) - 1);
  Refresh();
}

void LinksDialog::DeleteSelected() {
  if (editor_.Delete()) Refresh();
}

void LinksDialog::MoveUp() {
  if (editor_.MoveUp()) Refresh();
}

void LinksDialog::MoveDown() {
  if (editor_.MoveDown()) Refresh();
}

}  // namespace vireon
