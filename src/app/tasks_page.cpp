#include "app/tasks_page.h"

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
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/field_binding.h"
#include "app/qt_message_sink.h"
#include "document/document.h"
#include "output/output_item_unit.h"

namespace vireon {
namespace {

constexpr ReportSection kSections[] = {ReportSection::kStructuralAnalysis,
                                       ReportSection::kStability, ReportSection::kMca,
                                       ReportSection::kComments};
constexpr const char* kSectionTexts[] = {"Structural Analysis", "Stability", "MCA", "Comments"};

QStringList ToStringList(const std::vector<std::string>& texts) {
  QStringList list;
  for (const std::string& text : texts) list << QString::fromStdString(text);
  return list;
}

}  // namespace

TasksPage::TasksPage(Document& document, MessageSink& sink, QWidget* parent)
    : QWidget(parent), document_(document), editor_(document, sink) {
  settings_ = new QWidget;
  auto* tasks = new QHBoxLayout;
  tasks->addWidget(BuildTaskBox(DataTask::kTimeCourse, "Time course"));
  tasks->addWidget(BuildTaskBox(DataTask::kSteadyState, "Steady state"));

  auto* reportBox = new QGroupBox("Report");
  report_ = new QCheckBox("Report");
  reportFile_ = new QLineEdit;
  reportFile_->setReadOnly(true);
  reportFile_->setToolTip("The report is written beside the model file, named after it.");
  auto* reportForm = new QFormLayout(reportBox);
  reportForm->addRow(report_);
  reportForm->addRow("File:", reportFile_);
  auto* sectionRow = new QHBoxLayout;
  for (int k = 0; k < 4; ++k) {
    sections_[k] = new QCheckBox(kSectionTexts[k]);
    sectionRow->addWidget(sections_[k]);
    const ReportSection section = kSections[k];
    connect(sections_[k], &QCheckBox::clicked, this, [this, section](bool on) {
      editor_.SetSection(section, on);
      Changed();
    });
  }
  sectionRow->addStretch();
  reportForm->addRow(sectionRow);
  connect(report_, &QCheckBox::clicked, this, [this](bool on) {
    editor_.SetReportOn(on);
    Changed();
  });

  auto* settingsLayout = new QVBoxLayout(settings_);
  settingsLayout->setContentsMargins(0, 0, 0, 0);
  settingsLayout->addLayout(tasks, 1);
  settingsLayout->addWidget(reportBox);

  run_ = new QPushButton("&Run");
  stop_ = new QPushButton("&Stop");
  auto* commands = new QHBoxLayout;
  commands->addStretch();
  commands->addWidget(run_);
  commands->addWidget(stop_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(settings_, 1);
  layout->addLayout(commands);

  connect(run_, &QPushButton::clicked, this, &TasksPage::runRequested);
  connect(stop_, &QPushButton::clicked, this, &TasksPage::stopRequested);
  SetRunning(false);
  Refresh();
}

QWidget* TasksPage::BuildTaskBox(DataTask task, const QString& title) {
  TaskControls& c = boxes_[Index(task)];
  auto* box = new QGroupBox;
  c.task = new QCheckBox(title);
  c.file = new QLineEdit;
  c.file->setPlaceholderText("no data file");
  c.titles = new QCheckBox("Titles");
  c.quotes = new QCheckBox("Quotes");
  c.width = new QComboBox;
  c.width->addItems(ToStringList(ColumnWidthEntries()));
  c.separator = new QComboBox;
  c.separator->addItems(ToStringList(SeparatorEntries()));
  c.items = new QListWidget;
  c.items->setToolTip(
      "The quantities written as the data file's columns, in order; Edit... chooses them.");
  c.edit = new QPushButton(task == DataTask::kTimeCourse ? "Ed&it..." : "E&dit...");
  c.up = new QPushButton("Up");
  c.down = new QPushButton("Down");

  auto* form = new QFormLayout;
  form->addRow(c.task);
  if (task == DataTask::kTimeCourse) {
    endTime_ = new QLineEdit;
    points_ = new QLineEdit;
    endTimeLabel_ = new QLabel;
    endTimeLabel_->setBuddy(endTime_);
    form->addRow(endTimeLabel_, endTime_);
    form->addRow("Points:", points_);
    BindField(endTime_,
              {[this](const QString& text) { return editor_.SetEndTime(text.toStdString()); },
               [this] { return QString::fromStdString(editor_.EndTimeText()); },
               [this] { Changed(); }});
    BindField(points_,
              {[this](const QString& text) { return editor_.SetPoints(text.toStdString()); },
               [this] { return QString::fromStdString(editor_.PointsText()); },
               [this] { Changed(); }});
  } else {
    // The two boxes line up: the steady state has no times, and keeps the
    // room of their two rows empty.
    const int rowHeight = QLineEdit().sizeHint().height();
    for (int row = 0; row < 2; ++row) {
      auto* room = new QWidget;
      room->setFixedHeight(rowHeight);
      form->addRow(new QLabel, room);
    }
  }
  form->addRow("File:", c.file);
  auto* flags = new QHBoxLayout;
  flags->addWidget(c.titles);
  flags->addWidget(c.quotes);
  if (task == DataTask::kTimeCourse) {
    c.eventRows = new QCheckBox("Rows at events");
    c.eventRows->setToolTip(
        "A row just before and one just after each moment an event is carried out, besides the "
        "rows of the points.");
    flags->addWidget(c.eventRows);
    connect(c.eventRows, &QCheckBox::clicked, this, [this](bool on) {
      editor_.SetEventRows(on);
      Changed();
    });
  }
  flags->addStretch();
  form->addRow(flags);
  form->addRow("Col. width", c.width);
  form->addRow("Separator", c.separator);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(c.edit);
  buttons->addWidget(c.up);
  buttons->addWidget(c.down);
  buttons->addStretch();
  auto* items = new QHBoxLayout;
  items->addWidget(c.items, 1);
  items->addLayout(buttons);
  auto* layout = new QVBoxLayout(box);
  layout->addLayout(form);
  layout->addWidget(new QLabel("Output items:"));
  layout->addLayout(items, 1);

  connect(c.task, &QCheckBox::clicked, this, [this, task](bool on) {
    editor_.SetTaskOn(task, on);
    Changed();
  });
  BindField(c.file, {[this, task](const QString& text) {
                       return editor_.SetFileName(task, text.toStdString());
                     },
                     [this, task] { return QString::fromStdString(editor_.FileName(task)); },
                     [this] { Changed(); }});
  connect(c.titles, &QCheckBox::clicked, this, [this, task](bool on) {
    editor_.SetTitles(task, on);
    Changed();
  });
  connect(c.quotes, &QCheckBox::clicked, this, [this, task](bool on) {
    editor_.SetQuotes(task, on);
    Changed();
  });
  connect(c.width, &QComboBox::activated, this, [this, task](int entry) {
    editor_.SetColumnWidthEntry(task, entry);
    Changed();
  });
  connect(c.separator, &QComboBox::activated, this, [this, task](int entry) {
    editor_.SetSeparatorEntry(task, entry);
    Changed();
  });
  connect(c.edit, &QPushButton::clicked, this, [this, task] { emit editOutputRequested(task); });
  connect(c.up, &QPushButton::clicked, this, [this, task] { Move(task, -1); });
  connect(c.down, &QPushButton::clicked, this, [this, task] { Move(task, +1); });
  return box;
}

void TasksPage::Refresh() {
  for (DataTask task : {DataTask::kTimeCourse, DataTask::kSteadyState}) {
    TaskControls& c = boxes_[Index(task)];
    c.task->setChecked(editor_.TaskOn(task));
    c.file->setText(QString::fromStdString(editor_.FileName(task)));
    c.file->setModified(false);
    c.titles->setChecked(editor_.Titles(task));
    c.quotes->setChecked(editor_.Quotes(task));
    if (c.eventRows != nullptr) c.eventRows->setChecked(editor_.EventRows());
    c.width->setCurrentIndex(editor_.ColumnWidthEntry(task));
    c.separator->setCurrentIndex(editor_.SeparatorEntry(task));
    ShowSelection(task);
  }
  endTime_->setText(QString::fromStdString(editor_.EndTimeText()));
  endTimeLabel_->setText(QString::fromStdString(
      WithUnit("End time", UnitText(QuantityKind::kTime, UnitsOf(document_.settings))) + ":"));
  endTime_->setModified(false);
  points_->setText(QString::fromStdString(editor_.PointsText()));
  points_->setModified(false);
  report_->setChecked(editor_.ReportOn());
  reportFile_->setText(QString::fromStdString(editor_.ReportFile()));
  for (int k = 0; k < 4; ++k) sections_[k]->setChecked(editor_.Section(kSections[k]));
}

void TasksPage::ShowSelection(DataTask task, int current) {
  QListWidget* list = boxes_[Index(task)].items;
  list->clear();
  for (const OutputItem& item : editor_.Selection(task)) {
    list->addItem(QString::fromStdString(item.title));
  }
  if (current >= 0 && current < list->count()) list->setCurrentRow(current);
}

void TasksPage::Move(DataTask task, int delta) {
  const int row = boxes_[Index(task)].items->currentRow();
  const int moved = delta < 0 ? editor_.MoveUp(task, row) : editor_.MoveDown(task, row);
  if (moved < 0) return;
  ShowSelection(task, moved);
  Changed();
}

void TasksPage::Changed() {
  if (!editor_.modified()) return;
  editor_.ClearModified();
  emit documentChanged();
}

void TasksPage::SetRunning(bool running) {
  settings_->setEnabled(!running);
  run_->setEnabled(!running);
  stop_->setEnabled(running);
}

}  // namespace vireon
