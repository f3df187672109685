#pragma once
// The "Scan" page: the scan switch, the tree of quantities that can be
// scanned, the list of scan items with Add, Up, Down and Delete, the fields
// of the chosen item, the number of iterations and, during a scan, how many
// are completed and the time left. A view over a ScanPageEditor.

#include <QWidget>
#include <memory>
#include <vector>

#include "output/output_data_editor.h"
#include "scan/scan_page_editor.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;

namespace vireon {

struct Document;
class MessageSink;

class ScanPage : public QWidget {
  Q_OBJECT

 public:
  ScanPage(Document& document, MessageSink& sink, QWidget* parent = nullptr);

  // Takes the document's scan and model again (a new editor, the tree
  // rebuilt, nothing selected).
  void Refresh();
  ScanPageEditor& editor() { return *editor_; }

  // A scan is starting, has moved on, or has ended.
  void ShowRunStart();
  void ShowProgress(int completed, const QString& timeLeft);
  void SetRunning(bool running);
  // Whether the user asked for the scan to run without the Time course
  // page showing it, so that nothing paces it.
  bool runsUnpaced() const;
  // Says whether the window paces the scan (after the scan, the window's
  // items or the pace changed).
  void ShowPacing();

  QTreeWidget* availableTree() const { return tree_; }
  QListWidget* itemList() const { return items_; }
  QPushButton* enableButton() const { return enable_; }
  QPushButton* addButton() const { return add_; }
  QLineEdit* minField() const { return min_; }
  QLineEdit* maxField() const { return max_; }
  QSpinBox* densityField() const { return density_; }
  QLabel* iterationsLabel() const { return iterations_; }
  QLabel* completedLabel() const { return completed_; }
  QLabel* timeLeftLabel() const { return timeLeft_; }
  QLabel* pacingLabel() const { return pacing_; }
  QCheckBox* unpacedBox() const { return unpaced_; }

 signals:
  void documentChanged();

 private:
  void ShowItems();
  void ShowSelected();
  void ShowCounts();
  void AddChosen();
  void ChooseKind();
  void Changed();

  Document& document_;
  MessageSink& sink_;
  std::unique_ptr<ScanPageEditor> editor_;
  std::vector<OutputDataNode> available_;

  QWidget* editing_ = nullptr;
  QPushButton* enable_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QListWidget* items_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* up_ = nullptr;
  QPushButton* down_ = nullptr;
  QPushButton* delete_ = nullptr;
  QLabel* minLabel_ = nullptr;
  QLabel* maxLabel_ = nullptr;
  QLineEdit* min_ = nullptr;
  QLineEdit* max_ = nullptr;
  QSpinBox* density_ = nullptr;
  QCheckBox* logarithmic_ = nullptr;
  QCheckBox* master_ = nullptr;
  QRadioButton* grid_ = nullptr;
  QRadioButton* random_ = nullptr;
  QComboBox* distribution_ = nullptr;
  QWidget* fields_ = nullptr;
  QLabel* iterations_ = nullptr;
  QLabel* completed_ = nullptr;
  QLabel* timeLeft_ = nullptr;
  QLabel* pacing_ = nullptr;
  QCheckBox* unpaced_ = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace vireon
