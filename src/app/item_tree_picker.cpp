#include "app/item_tree_picker.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QTreeWidget>
#include <functional>

#include "app/qt_message_sink.h"

namespace vireon {
namespace {

// The node behind a tree item is found by the path of child indices.
constexpr int kPathRole = Qt::UserRole;
// The narrowest the tree and the list become, in pixels.
constexpr int kMinimumWidth = 180;

void AddNodes(const std::vector<OutputDataNode>& nodes, QTreeWidgetItem* parent,
              QTreeWidget* tree, const QList<QVariant>& path) {
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i) {
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, ToQString(nodes[static_cast<std::size_t>(i)].text));
    QList<QVariant> here = path;
    here.append(i);
    item->setData(0, kPathRole, here);
    AddNodes(nodes[static_cast<std::size_t>(i)].children, item, tree, here);
  }
}

}  // namespace

ItemTreePicker::ItemTreePicker(std::vector<OutputDataNode> tree, QWidget* parent)
    : QWidget(parent), nodes_(std::move(tree)) {
  tree_ = new QTreeWidget;
  tree_->setToolTip("The kinds of item: choose one to list its items.");
  tree_->setHeaderLabel("Available items");
  entries_ = new QListWidget;
  entries_->setToolTip("The items of the chosen kind: choose one.");
  AddNodes(nodes_, nullptr, tree_, {});
  tree_->expandAll();
  tree_->setMinimumWidth(kMinimumWidth);
  entries_->setMinimumWidth(kMinimumWidth);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tree_, 1);
  layout->addWidget(entries_, 1);
  connect(tree_, &QTreeWidget::currentItemChanged, this, &ItemTreePicker::ShowEntries);
  connect(entries_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) emit entryChosen();
  });
}

const OutputDataNode* ItemTreePicker::CurrentNode() const {
  const QTreeWidgetItem* item = tree_->currentItem();
  if (item == nullptr) return nullptr;
  const std::vector<OutputDataNode>* level = &nodes_;
  const OutputDataNode* node = nullptr;
  for (const QVariant& step : item->data(0, kPathRole).toList()) {
    const int index = step.toInt();
    if (index < 0 || index >= static_cast<int>(level->size())) return nullptr;
    node = &(*level)[static_cast<std::size_t>(index)];
    level = &node->children;
  }
  return node;
}

const OutputItem* ItemTreePicker::CurrentEntry() const {
  const OutputDataNode* node = CurrentNode();
  const int row = entries_->currentRow();
  if (node == nullptr || row < 0 || row >= static_cast<int>(node->entries.size())) return nullptr;
  return &node->entries[static_cast<std::size_t>(row)];
}

bool ItemTreePicker::Choose(const std::string& node, const std::string& entry) {
  const QList<QTreeWidgetItem*> found =
      tree_->findItems(ToQString(node), Qt::MatchExactly | Qt::MatchRecursive);
  if (found.isEmpty()) return false;
  tree_->setCurrentItem(found.first());
  const QList<QListWidgetItem*> items = entries_->findItems(ToQString(entry), Qt::MatchExactly);
  if (items.isEmpty()) return false;
  entries_->setCurrentItem(items.first());
  return true;
}

void ItemTreePicker::ShowEntries() {
  entries_->clear();
  if (const OutputDataNode* node = CurrentNode()) {
    for (const OutputItem& entry : node->entries) entries_->addItem(ToQString(entry.title));
  }
}

}  // namespace vireon
