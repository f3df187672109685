#pragma once
// The "Output Data" dialog: a view over an OutputDataEditor. The tree of
// available items, the entries of the chosen branch, and the selected list;
// "&Close" hands the working list back to the selection.

#include <QDialog>
#include <vector>

#include "output/output_data_editor.h"

class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace vireon {

struct Document;

class OutputDataDialog : public QDialog {
  Q_OBJECT

 public:
  OutputDataDialog(OutputDataMode mode, Document& document, std::vector<OutputItem>& selection,
                   MessageSink& sink, QWidget* parent = nullptr);

  OutputDataEditor& editor() { return editor_; }
  // Whether the document was changed by the dialog.
  bool modified() const { return modified_; }

  void accept() override;

 private:
  const OutputDataNode* CurrentNode() const;
  void ShowEntries();
  void ShowSelected();
  void AddChosen();
  void AddAll();
  void DeleteChosen();

  OutputDataEditor editor_;
  std::vector<OutputItem>& selection_;
  MessageSink& sink_;
  bool modified_ = false;
  QTreeWidget* tree_ = nullptr;
  QListWidget* entries_ = nullptr;
  QListWidget* selected_ = nullptr;
};

}  // namespace vireon
