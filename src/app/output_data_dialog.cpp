#include "app/output_data_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <QVBoxLayout>
#include <string>

#include "document/document.h"

namespace vireon {
namespace {

// The node behind a tree item is found by the path of child indices.
constexpr int kPathRole = Qt::UserRole;

void AddNodes(const std::vector<OutputDataNode>& nodes, QTreeWidgetItem* parent,
              QTreeWidget* tree, QList<QVariant> path) {
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i) {
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, QString::fromStdString(nodes[i].text));
    QList<QVariant> here = path;
    here.append(i);
    item->setData(0, kPathRole, here);
    AddNodes(nodes[i].children, item, tree, here);
  }
}

// The width at which every branch of the tree shows in full.
int TreeWidth(const QTreeWidget& tree) {
  // Room for the item's own margins beside its text.
  constexpr int kItemPadding = 12;
  const QFontMetrics metrics(tree.font());
  int widest = 0;
  for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(&tree)); *it != nullptr; ++it) {
    int depth = 1;
    for (const QTreeWidgetItem* up = (*it)->parent(); up != nullptr; up = up->parent()) ++depth;
    widest = std::max(widest, depth * tree.indentation() + metrics.horizontalAdvance((*it)->text(0)));
  }
  return widest + kItemPadding + 2 * tree.frameWidth() +
         tree.verticalScrollBar()->sizeHint().width();
}

std::vector<std::string> FunctionNames(const Document& document) {
  std::vector<std::string> names;
  for (const OutputFunction& function : document.functions) names.push_back(function.name());
  return names;
}

}  // namespace

OutputDataDialog::OutputDataDialog(OutputDataMode mode, Document& document,
                                   std::vector<OutputItem>& selection, MessageSink& sink,
                                   QWidget* parent)
    : QDialog(parent),
      editor_(mode, document.model, FunctionNames(document), selection),
      selection_(selection),
      sink_(sink) {
  setWindowTitle(QString::fromUtf8(editor_.Title().data(),
                                   static_cast<qsizetype>(editor_.Title().size())));
  tree_ = new QTreeWidget;
  tree_->setToolTip("The kinds of quantity the model offers: choose one to list its items.");
  tree_->setHeaderLabel("Available items");
  entries_ = new QListWidget;
  entries_->setToolTip("The items of the chosen kind: double-click or Add to select one.");
  entries_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  selected_ = new QListWidget;
  selected_->setToolTip("The items selected, in the order they are written.");
  selected_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  AddNodes(editor_.tree(), nullptr, tree_, {});
  // The tree is small: open, and as wide as its longest branch.
  tree_->expandAll();
  tree_->setMinimumWidth(TreeWidth(*tree_));

  auto* add = new QPushButton("&Add");
  auto* addAll = new QPushButton("Add A&ll");
  auto* remove = new QPushButton("&Delete");
  auto* removeAll = new QPushButton("Dele&te All");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
  buttons->addButton("&Close", QDialogButtonBox::AcceptRole);

  auto* middle = new QVBoxLayout;
  middle->addWidget(add);
  middle->addWidget(addAll);
  middle->addWidget(remove);
  middle->addWidget(removeAll);
  middle->addStretch();
  auto* body = new QHBoxLayout;
  body->addWidget(tree_);
  body->addWidget(entries_);
  body->addLayout(middle);
  auto* chosen = new QVBoxLayout;
  chosen->addWidget(new QLabel("Selected items"));
  chosen->addWidget(selected_);
  if (editor_.limit() > 0) {
    chosen->addWidget(new QLabel(QString("At most %1 items.").arg(editor_.limit())));
  }
  body->addLayout(chosen);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(buttons);

  connect(tree_, &QTreeWidget::currentItemChanged, this, &OutputDataDialog::ShowEntries);
  connect(add, &QPushButton::clicked, this, &OutputDataDialog::AddChosen);
  connect(addAll, &QPushButton::clicked, this, &OutputDataDialog::AddAll);
  connect(remove, &QPushButton::clicked, this, &OutputDataDialog::DeleteChosen);
  connect(removeAll, &QPushButton::clicked, this, [this] {
    editor_.DeleteAll();
    ShowSelected();
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &OutputDataDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &OutputDataDialog::reject);
  resize(760, 420);
  ShowSelected();
}

const OutputDataNode* OutputDataDialog::CurrentNode() const {
  const QTreeWidgetItem* item = tree_->currentItem();
  if (item == nullptr) return nullptr;
  const std::vector<OutputDataNode>* level = &editor_.tree();
  const OutputDataNode* node = nullptr;
  for (const QVariant& step : item->data(0, kPathRole).toList()) {
    const int index = step.toInt();
    if (index < 0 || index >= static_cast<int>(level->size())) return nullptr;
    node = &(*level)[index];
    level = &node->children;
  }
  return node;
}

void OutputDataDialog::ShowEntries() {
  entries_->clear();
  if (const OutputDataNode* node = CurrentNode()) {
    for (const OutputItem& entry : node->entries) {
      entries_->addItem(QString::fromStdString(entry.title));
    }
  }
}

void OutputDataDialog::ShowSelected() {
  selected_->clear();
  for (const OutputItem& item : editor_.selected()) {
    selected_->addItem(QString::fromStdString(item.title));
  }
}

void OutputDataDialog::AddChosen() {
  const OutputDataNode* node = CurrentNode();
  if (node == nullptr) return;
  std::vector<int> chosen;
  for (int row = 0; row < entries_->count(); ++row) {
    if (entries_->item(row)->isSelected()) chosen.push_back(row);
  }
  if (editor_.Add(*node, chosen, sink_)) ShowSelected();
}

void OutputDataDialog::AddAll() {
  const OutputDataNode* node = CurrentNode();
  if (node != nullptr && editor_.AddAll(*node, sink_)) ShowSelected();
}

void OutputDataDialog::DeleteChosen() {
  std::vector<int> chosen;
  for (int row = 0; row < selected_->count(); ++row) {
    if (selected_->item(row)->isSelected()) chosen.push_back(row);
  }
  editor_.Delete(chosen);
  ShowSelected();
}

void OutputDataDialog::accept() {
  editor_.Close(selection_, modified_);
  QDialog::accept();
}

}  // namespace vireon
