#pragma once
// The "Available items" of the function and link dialogs: a tree of the
// model's quantities and, beside it, the list of items under the chosen
// entry. The dialogs ask it for the chosen item and hand that to their
// editor.

#include <QWidget>
#include <vector>

#include "output/output_data_editor.h"

class QListWidget;
class QTreeWidget;

namespace vireon {

class ItemTreePicker : public QWidget {
  Q_OBJECT

 public:
  explicit ItemTreePicker(std::vector<OutputDataNode> tree, QWidget* parent = nullptr);

  // The tree entry chosen, or null.
  const OutputDataNode* CurrentNode() const;
  // The item chosen in the list, or null (none chosen, or an entry without
  // items).
  const OutputItem* CurrentEntry() const;
  // Chooses the tree entry with this text (searched depth first) and its
  // item with this title; false when there is none. For tests and
  // screenshots.
  bool Choose(const std::string& node, const std::string& entry);

  QTreeWidget* tree() const { return tree_; }
  QListWidget* entries() const { return entries_; }

 signals:
  // The user chose an item in the list (clicked or moved to it).
  void entryChosen();

 private:
  void ShowEntries();

  std::vector<OutputDataNode> nodes_;
  QTreeWidget* tree_ = nullptr;
  QListWidget* entries_ = nullptr;
};

}  // namespace vireon
