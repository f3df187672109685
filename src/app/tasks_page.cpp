#include "app/tasks_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>

#include "app/output_data_dialog.h"
#include "document/document.h"

namespace vireon {
namespace {

QString Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return QString::fromLatin1(text);
}

// A check box that writes its state into an int flag when clicked.
QCheckBox* FlagBox(const char* text, int& flag, QWidget* owner) {
  auto* box = new QCheckBox(text);
  QObject::connect(box, &QCheckBox::clicked, owner, [&flag](bool on) { flag = on ? 1 : 0; });
  return box;
}

}  // namespace

TasksPage::TasksPage(Document& document, MessageSink& sink, QWidget* parent)
    : QWidget(parent), document_(document), sink_(sink) {
  TaskSettings& s = document_.settings;
  dynamics_ = FlagBox("Time course", s.dynamics, this);
  endTime_ = new QLineEdit;
  points_ = new QLineEdit;
  dynamicsFile_ = new QLineEdit;
  dynamicsTitles_ = FlagBox("Titles", s.dynamicsTitles, this);
  auto* dynEdit = new QPushButton("&Edit...");
  steadyState_ = FlagBox("Steady state", s.steadyState, this);
  steadyStateFile_ = new QLineEdit;
  steadyStateTitles_ = FlagBox("Titles", s.steadyStateTitles, this);
  auto* ssEdit = new QPushButton("E&dit...");
  report_ = FlagBox("Report", s.report, this);
  reportFile_ = new QLineEdit;
  reportFile_->setReadOnly(true);
  structural_ = FlagBox("Structural Analysis", s.reportStructuralAnalysis, this);
  stability_ = FlagBox("Stability", s.reportStabilityAnalysis, this);
  mca_ = FlagBox("MCA", s.reportMca, this);
  comments_ = FlagBox("Comments", s.reportComments, this);
  auto* run = new QPushButton("&Run");
  auto* stop = new QPushButton("&Stop");

  auto* timeCourse = new QGroupBox;
  auto* tcForm = new QFormLayout(timeCourse);
  tcForm->addRow(dynamics_);
  tcForm->addRow("End time:", endTime_);
  tcForm->addRow("Points:", points_);
  tcForm->addRow("Output file:", dynamicsFile_);
  tcForm->addRow(dynamicsTitles_, dynEdit);

  auto* steady = new QGroupBox;
  auto* ssForm = new QFormLayout(steady);
  ssForm->addRow(steadyState_);
  ssForm->addRow("Output file:", steadyStateFile_);
  ssForm->addRow(steadyStateTitles_, ssEdit);

  auto* reportBox = new QGroupBox;
  auto* reportForm = new QFormLayout(reportBox);
  reportForm->addRow(report_);
  reportForm->addRow("File:", reportFile_);
  auto* sections = new QHBoxLayout;
  sections->addWidget(structural_);
  sections->addWidget(stability_);
  sections->addWidget(mca_);
  sections->addWidget(comments_);
  reportForm->addRow(sections);

  auto* commands = new QHBoxLayout;
  commands->addStretch();
  commands->addWidget(run);
  commands->addWidget(stop);
  auto* tasks = new QHBoxLayout;
  tasks->addWidget(timeCourse);
  tasks->addWidget(steady);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(tasks);
  layout->addWidget(reportBox);
  layout->addStretch();
  layout->addLayout(commands);

  connect(endTime_, &QLineEdit::editingFinished, this, &TasksPage::ReadEndTime);
  connect(points_, &QLineEdit::editingFinished, this, &TasksPage::ReadPoints);
  connect(dynamicsFile_, &QLineEdit::editingFinished, this,
          [this] { ReadFileName(dynamicsFile_, document_.settings.dynamicsFile); });
  connect(steadyStateFile_, &QLineEdit::editingFinished, this,
          [this] { ReadFileName(steadyStateFile_, document_.settings.steadyStateFile); });
  connect(dynEdit, &QPushButton::clicked, this,
          [this] { EditOutput(static_cast<int>(OutputDataMode::kTimeCourse)); });
  connect(ssEdit, &QPushButton::clicked, this,
          [this] { EditOutput(static_cast<int>(OutputDataMode::kSteadyState)); });
  // Every switch and file name is an edit of the document.
  for (QCheckBox* box : findChildren<QCheckBox*>()) {
    connect(box, &QCheckBox::clicked, this, &TasksPage::documentChanged);
  }
  connect(run, &QPushButton::clicked, this, &TasksPage::runRequested);
  connect(stop, &QPushButton::clicked, this, &TasksPage::stopRequested);
  Refresh();
}

void TasksPage::Refresh() {
  const TaskSettings& s = document_.settings;
  dynamics_->setChecked(s.dynamics != 0);
  endTime_->setText(Number(s.endTime));
  points_->setText(QString::number(s.points));
  dynamicsFile_->setText(QString::fromStdString(s.dynamicsFile));
  dynamicsTitles_->setChecked(s.dynamicsTitles != 0);
  steadyState_->setChecked(s.steadyState != 0);
  steadyStateFile_->setText(QString::fromStdString(s.steadyStateFile));
  steadyStateTitles_->setChecked(s.steadyStateTitles != 0);
  report_->setChecked(s.report != 0);
  reportFile_->setText(QString::fromStdString(s.reportFile));
  structural_->setChecked(s.reportStructuralAnalysis != 0);
  stability_->setChecked(s.reportStabilityAnalysis != 0);
  mca_->setChecked(s.reportMca != 0);
  comments_->setChecked(s.reportComments != 0);
}

void TasksPage::ReadEndTime() {
  bool ok = false;
  const double value = endTime_->text().toDouble(&ok);
  const bool changed = ok && std::isfinite(value) && value != document_.settings.endTime;
  if (changed) document_.settings.endTime = value;
  endTime_->setText(Number(document_.settings.endTime));
  if (changed) emit documentChanged();
}

void TasksPage::ReadPoints() {
  bool ok = false;
  const int value = points_->text().toInt(&ok);
  const bool changed = ok && value >= 0 && value != document_.settings.points;
  if (changed) document_.settings.points = value;
  points_->setText(QString::number(document_.settings.points));
  if (changed) emit documentChanged();
}

void TasksPage::ReadFileName(QLineEdit* field, std::string& name) {
  const std::string typed = field->text().toStdString();
  if (typed == name) return;
  name = typed;
  emit documentChanged();
}

void TasksPage::EditOutput(int mode) {
  const auto outputMode = static_cast<OutputDataMode>(mode);
  auto& selection = outputMode == OutputDataMode::kTimeCourse ? document_.selections.timeCourse
                                                              : document_.selections.steadyState;
  OutputDataDialog dialog(outputMode, document_, selection, sink_, this);
  if (dialog.exec() == QDialog::Accepted) emit documentChanged();
}

}  // namespace vireon
