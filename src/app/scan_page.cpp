#include "app/scan_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <climits>

#include "app/field_binding.h"
#include "document/document.h"
#include "document/interactive_pacing.h"
#include "model/metabolite_editor.h"
#include "scan/item_trees.h"

namespace vireon {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr const char* kTimeLeftUnknown = "--:--:--";

QString Number(double value) {
  return QString::fromStdString(FormatConcentration(value));
}

}  // namespace

ScanPage::ScanPage(Document& document, MessageSink& sink, QWidget* parent)
    : QWidget(parent), document_(document), sink_(sink) {
  enable_ = new QPushButton;
  tree_ = new QTreeWidget;
  tree_->setToolTip(
      "The model's parameters that a scan can vary: choose one to add it to the scan.");
  tree_->setHeaderLabel("Available items");
  items_ = new QListWidget;
  items_->setToolTip(
      "The parameters the scan varies, outermost first: choose one to set its range.");
  add_ = new QPushButton("&Add");
  up_ = new QPushButton("Up");
  down_ = new QPushButton("Down");
  delete_ = new QPushButton("&Delete");

  minLabel_ = new QLabel;
  maxLabel_ = new QLabel;
  min_ = new QLineEdit;
  max_ = new QLineEdit;
  density_ = new QSpinBox;
  density_->setRange(kScanMinimumDensity, INT_MAX);
  logarithmic_ = new QCheckBox("Logarithmic");
  master_ = new QCheckBox("Master");
  grid_ = new QRadioButton("Regular grid");
  random_ = new QRadioButton("Random");
  distribution_ = new QComboBox;
  for (const ScanPageEditor::RandomKind& kind : ScanPageEditor::RandomKinds()) {
    distribution_->addItem(kind.name);
  }
  auto* kinds = new QButtonGroup(this);
  kinds->addButton(grid_);
  kinds->addButton(random_);

  fields_ = new QGroupBox("Scan item");
  auto* fieldForm = new QGridLayout(fields_);
  fieldForm->addWidget(minLabel_, 0, 0);
  fieldForm->addWidget(min_, 0, 1);
  fieldForm->addWidget(maxLabel_, 1, 0);
  fieldForm->addWidget(max_, 1, 1);
  fieldForm->addWidget(new QLabel("Density"), 2, 0);
  fieldForm->addWidget(density_, 2, 1);
  fieldForm->addWidget(logarithmic_, 3, 0, 1, 2);
  fieldForm->addWidget(master_, 4, 0, 1, 2);
  fieldForm->addWidget(grid_, 5, 0, 1, 2);
  fieldForm->addWidget(random_, 6, 0);
  fieldForm->addWidget(distribution_, 6, 1);
  fieldForm->setRowStretch(7, 1);

  iterations_ = new QLabel;
  completed_ = new QLabel;
  timeLeft_ = new QLabel;
  auto* counts = new QFormLayout;
  counts->addRow("Iterations", iterations_);
  counts->addRow("Completed", completed_);
  counts->addRow("Time left", timeLeft_);

  auto* listButtons = new QVBoxLayout;
  listButtons->addWidget(add_);
  listButtons->addWidget(up_);
  listButtons->addWidget(down_);
  listButtons->addWidget(delete_);
  listButtons->addStretch();
  auto* lists = new QHBoxLayout;
  lists->addWidget(tree_, 1);
  lists->addLayout(listButtons);
  auto* chosen = new QVBoxLayout;
  chosen->addWidget(new QLabel("Scan items (the first is the innermost loop)"));
  chosen->addWidget(items_);
  lists->addLayout(chosen, 1);
  lists->addWidget(fields_);

  editing_ = new QWidget;
  auto* editingLayout = new QVBoxLayout(editing_);
  editingLayout->setContentsMargins(0, 0, 0, 0);
  auto* top = new QHBoxLayout;
  top->addWidget(enable_);
  top->addStretch();
  editingLayout->addLayout(top);
  editingLayout->addLayout(lists, 1);
  pacing_ = new QLabel;
  pacing_->setWordWrap(true);
  unpaced_ = new QCheckBox("Run the scan unpaced, without showing it on the Time course page");
  unpaced_->setToolTip(
      "Each time course of the scan then runs at full speed; the Time course page stays empty.");
  auto* pacingLayout = new QVBoxLayout;
  pacingLayout->addWidget(pacing_);
  pacingLayout->addWidget(unpaced_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(editing_, 1);
  layout->addLayout(pacingLayout);
  layout->addLayout(counts);

  connect(enable_, &QPushButton::clicked, this, [this] {
    editor_->ToggleEnabled();
    ShowCounts();
    Changed();
  });
  connect(add_, &QPushButton::clicked, this, &ScanPage::AddChosen);
  connect(tree_, &QTreeWidget::itemDoubleClicked, this, &ScanPage::AddChosen);
  connect(up_, &QPushButton::clicked, this, [this] {
    if (editor_->MoveUp()) ShowItems();
    Changed();
  });
  connect(down_, &QPushButton::clicked, this, [this] {
    if (editor_->MoveDown()) ShowItems();
    Changed();
  });
  connect(delete_, &QPushButton::clicked, this, [this] {
    if (editor_->Delete()) ShowItems();
    Changed();
  });
  connect(items_, &QListWidget::currentRowChanged, this, [this](int row) {
    editor_->Select(row);
    ShowSelected();
  });
  for (const bool isMin : {true, false}) {
    BindField(isMin ? min_ : max_,
              {[this, isMin](const QString& text) {
                 const std::string typed = text.toStdString();
                 return isMin ? editor_->SetMinText(typed) : editor_->SetMaxText(typed);
               },
               [this, isMin] {
                 const ScanItem* item = editor_->SelectedItem();
                 return item == nullptr ? QString() : Number(isMin ? item->min : item->max);
               },
               [this] { Changed(); }, OnRefusal::kRefocus});
  }
  connect(density_, &QSpinBox::valueChanged, this, [this](int value) {
    if (editor_->SetDensity(value)) ShowCounts();
    Changed();
  });
  connect(logarithmic_, &QCheckBox::clicked, this, [this](bool on) {
    editor_->SetLogarithmic(on);
    Changed();
  });
  connect(master_, &QCheckBox::clicked, this, [this](bool on) {
    editor_->SetMaster(on);
    ShowSelected();
    ShowCounts();
    Changed();
  });
  connect(grid_, &QRadioButton::clicked, this, &ScanPage::ChooseKind);
  connect(random_, &QRadioButton::clicked, this, &ScanPage::ChooseKind);
  connect(distribution_, &QComboBox::activated, this, &ScanPage::ChooseKind);
  Refresh();
}

void ScanPage::Refresh() {
  editor_ = std::make_unique<ScanPageEditor>(document_.scan, sink_);
  available_ = BuildScanItemTree(document_.model);
  tree_->clear();
  for (int n = 0; n < static_cast<int>(available_.size()); ++n) {
    auto* node = new QTreeWidgetItem(tree_, {QString::fromStdString(available_[n].text)});
    node->setFlags(node->flags() & ~Qt::ItemIsSelectable);
    for (int e = 0; e < static_cast<int>(available_[n].entries.size()); ++e) {
      auto* entry = new QTreeWidgetItem(
          node, {QString::fromStdString(available_[n].entries[e].title)});
      entry->setData(0, kPathRole, QPoint(n, e));
    }
  }
  tree_->expandAll();
  ShowItems();
  completed_->setText("0");
  timeLeft_->setText(kTimeLeftUnknown);
}

void ScanPage::ShowItems() {
  const int selected = editor_->selected();
  {
    const QSignalBlocker blocker(items_);
    items_->clear();
    for (const ScanItem& item : document_.scan.items) {
      items_->addItem(QString::fromStdString(item.title));
    }
    items_->setCurrentRow(selected);
  }
  ShowSelected();
  ShowCounts();
}

void ScanPage::ShowSelected() {
  const ScanItem* item = editor_->SelectedItem();
  fields_->setEnabled(editor_->FieldsEnabled());
  minLabel_->setText(QString::fromStdString(editor_->MinLabel()));
  maxLabel_->setText(QString::fromStdString(editor_->MaxLabel()));
  const QSignalBlocker b1(density_), b2(distribution_);
  if (item == nullptr) {
    min_->clear();
    max_->clear();
    logarithmic_->setChecked(false);
    master_->setChecked(false);
    return;
  }
  min_->setText(Number(item->min));
  max_->setText(Number(item->max));
  min_->setModified(false);
  max_->setModified(false);
  density_->setValue(item->density);
  density_->setEnabled(editor_->DensityEnabled());
  logarithmic_->setChecked(item->log != 0);
  master_->setChecked(item->IsMaster());
  master_->setEnabled(editor_->MasterEditable());
  grid_->setChecked(item->grid == kScanRegularGrid);
  random_->setChecked(editor_->SelectedIsRandom());
  distribution_->setEnabled(random_->isChecked());
  if (editor_->SelectedIsRandom()) distribution_->setCurrentIndex(editor_->SelectedRandomChoice());
}

void ScanPage::ShowCounts() {
  enable_->setText(QString::fromStdString(editor_->EnableButtonText()));
  iterations_->setText(QString::number(editor_->IterationsShown()));
  items_->setEnabled(true);
  ShowPacing();
}

void ScanPage::ShowPacing() {
  const QString notice = QString::fromStdString(ScanPacingNotice(document_));
  pacing_->setText(notice);
  pacing_->setVisible(!notice.isEmpty());
  unpaced_->setVisible(!notice.isEmpty());
}

bool ScanPage::runsUnpaced() const {
  return unpaced_->isChecked() && !ScanPacingNotice(document_).empty();
}

void ScanPage::showEvent(QShowEvent* event) {
  ShowPacing();
  QWidget::showEvent(event);
}

void ScanPage::AddChosen() {
  const QTreeWidgetItem* current = tree_->currentItem();
  if (current == nullptr || !current->data(0, kPathRole).isValid()) return;
  const QPoint at = current->data(0, kPathRole).toPoint();
  editor_->Add(available_[at.x()].entries[at.y()]);
  ShowItems();
  Changed();
}

void ScanPage::ChooseKind() {
  editor_->ChooseKind(!grid_->isChecked(), distribution_->currentIndex());
  ShowSelected();
  Changed();
}

void ScanPage::ShowRunStart() {
  completed_->setText("0");
  timeLeft_->setText(kTimeLeftUnknown);
}

void ScanPage::ShowProgress(int completed, const QString& timeLeft) {
  completed_->setText(QString::number(completed));
  timeLeft_->setText(timeLeft.isEmpty() ? QString(kTimeLeftUnknown) : timeLeft);
}

void ScanPage::SetRunning(bool running) {
  editing_->setEnabled(!running);
}

void ScanPage::Changed() {
  if (!editor_->modified()) return;
  editor_->ClearModified();
  emit documentChanged();
}

}  // namespace vireon
