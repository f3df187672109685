#include "app/links_dialog.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>

#include "app/link_dialog.h"
#include "app/qt_message_sink.h"
#include "document/document.h"

namespace vireon {

LinksDialog::LinksDialog(Document& document, MessageSink& sink, QWidget* parent)
    : ListEditorDialog("Parameter Links",
                       "The parameter links: each sets one parameter to a factor times another.",
                       parent),
      document_(document),
      editor_(document.links, sink),
      sink_(sink),
      show_([](LinkDialog& dialog) { return dialog.exec() == QDialog::Accepted; }) {
  list_ = list();
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  AddAction("&Add", "Makes a new link.", [this] { Add(); });
  AddAction("&Delete", "Removes the chosen link.", [this] { DeleteSelected(); });
  AddAction("&Up", "Applies the chosen link one place earlier.", [this] { MoveUp(); });
  AddAction("Dow&n", "Applies the chosen link one place later.", [this] { MoveDown(); });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { editor_.Select(row); });
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
