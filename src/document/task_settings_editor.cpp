#include "document/task_settings_editor.h"

#include <cstdio>
#include <optional>

#include "document/document.h"
#include "model/message_sink.h"
#include "model/number_text.h"
#include "output/data_file.h"
#include "output/output_file_names.h"
#include "output/output_selections.h"

namespace vireon {
namespace {

constexpr const char* kSeparatorNames[] = {"space", "tab", "comma"};

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

DataFileField DataFileFieldOf(DataTask task) {
  return task == DataTask::kTimeCourse ? DataFileField::kTimeCourse : DataFileField::kSteadyState;
}

}  // namespace

TaskSettingsEditor::TaskSettingsEditor(Document& document, MessageSink& sink)
    : document_(document), sink_(sink) {}

std::string TaskSettingsEditor::EndTimeText() const {
  char text[64];
  std::snprintf(text, sizeof text, "%g", document_.settings.endTime);
  return text;
}

bool TaskSettingsEditor::SetEndTime(std::string_view text) {
  const std::optional<double> value = ParseReal(text);
  if (!value) {
    sink_.Warning(kTasksMessageTitle, kEndTimeNotANumber);
    return false;
  }
  if (*value == 0.0) {
    sink_.Warning(kTasksMessageTitle, kEndTimeZero);
    return false;
  }
  if (!IsUsableEndTime(*value)) {
    sink_.Warning(kTasksMessageTitle, kEndTimeTooNearZero);
    return false;
  }
  if (*value != document_.settings.endTime) {
    document_.settings.endTime = *value;
    modified_ = true;
  }
  return true;
}

std::string TaskSettingsEditor::PointsText() const {
  return std::to_string(document_.settings.points);
}

bool TaskSettingsEditor::SetPoints(std::string_view text) {
  const std::optional<int> value = ParseInteger(text);
  if (!value || *value < 0) {
    sink_.Warning(kTasksMessageTitle, kPointsNotACount);
    return false;
  }
  if (*value != document_.settings.points) {
    document_.settings.points = *value;
    modified_ = true;
  }
  return true;
}

int& TaskSettingsEditor::TaskFlag(DataTask task) const {
  TaskSettings& s = document_.settings;
  return task == DataTask::kTimeCourse ? s.dynamics : s.steadyState;
}

DataFileSettings& TaskSettingsEditor::Data(DataTask task) const {
  TaskSettings& s = document_.settings;
  return task == DataTask::kTimeCourse ? s.dynamicsData : s.steadyStateData;
}

std::vector<OutputItem>& TaskSettingsEditor::MutableSelection(DataTask task) const {
  OutputSelections& s = document_.selections;
  return task == DataTask::kTimeCourse ? s.timeCourse : s.steadyState;
}

bool TaskSettingsEditor::TaskOn(DataTask task) const {
  return TaskFlag(task) != 0;
}

void TaskSettingsEditor::SetTaskOn(DataTask task, bool on) {
  SetFlag(TaskFlag(task), on);
}

const std::string& TaskSettingsEditor::FileName(DataTask task) const {
  return Data(task).file;
}

bool TaskSettingsEditor::SetFileName(DataTask task, std::string_view name) {
  name = Trimmed(name);
  // The rules a run and the model-file reader apply too.
  const OutputNameContext context{document_.pathName, ReportFileNameFor(document_.pathName)};
  if (const std::optional<std::string> problem =
          CheckDataFileName(DataFileFieldOf(task), name, document_.settings, context)) {
    sink_.Warning(kTasksMessageTitle, *problem);
    return false;
  }
  std::string& stored = Data(task).file;
  if (stored != name) {
    stored = std::string(name);
    modified_ = true;
  }
  return true;
}

bool TaskSettingsEditor::Titles(DataTask task) const {
  return Data(task).titles != 0;
}

void TaskSettingsEditor::SetTitles(DataTask task, bool on) {
  SetFlag(Data(task).titles, on);
}

bool TaskSettingsEditor::Quotes(DataTask task) const {
  return Data(task).quotes != 0;
}

void TaskSettingsEditor::SetQuotes(DataTask task, bool on) {
  SetFlag(Data(task).quotes, on);
}

bool TaskSettingsEditor::EventRows() const {
  return document_.settings.eventRows != 0;
}

void TaskSettingsEditor::SetEventRows(bool on) {
  SetFlag(document_.settings.eventRows, on);
}

int TaskSettingsEditor::ColumnWidthEntry(DataTask task) const {
  return vireon::ColumnWidthEntry(Data(task).columnWidth);
}

void TaskSettingsEditor::SetColumnWidthEntry(DataTask task, int entry) {
  Data(task).columnWidth = ColumnWidthFromEntry(entry);
  // Every choice in the list counts as a change, as the list has always done.
  modified_ = true;
}

int TaskSettingsEditor::SeparatorEntry(DataTask task) const {
  return vireon::SeparatorEntry(Data(task).separator);
}

void TaskSettingsEditor::SetSeparatorEntry(DataTask task, int entry) {
  Data(task).separator = SeparatorFromEntry(entry);
  modified_ = true;
}

const std::vector<OutputItem>& TaskSettingsEditor::Selection(DataTask task) const {
  return MutableSelection(task);
}

int TaskSettingsEditor::MoveUp(DataTask task, int index) {
  return Move(task, index, -1);
}

int TaskSettingsEditor::MoveDown(DataTask task, int index) {
  return Move(task, index, +1);
}

int TaskSettingsEditor::Move(DataTask task, int index, int delta) {
  if (!MoveSelectionItem(MutableSelection(task), index, delta)) return -1;
  modified_ = true;
  return index + delta;
}

bool TaskSettingsEditor::ReportOn() const {
  return document_.settings.report != 0;
}

void TaskSettingsEditor::SetReportOn(bool on) {
  SetFlag(document_.settings.report, on);
}

const std::string& TaskSettingsEditor::ReportFile() const {
  return document_.settings.reportFile;
}

bool TaskSettingsEditor::Section(ReportSection section) const {
  const TaskSettings& s = document_.settings;
  switch (section) {
    case ReportSection::kStructuralAnalysis: return s.reportStructuralAnalysis != 0;
    case ReportSection::kStability: return s.reportStabilityAnalysis != 0;
    case ReportSection::kMca: return s.reportMca != 0;
    case ReportSection::kComments: return s.reportComments != 0;
  }
  return false;
}

void TaskSettingsEditor::SetSection(ReportSection section, bool on) {
  TaskSettings& s = document_.settings;
  switch (section) {
    case ReportSection::kStructuralAnalysis: SetFlag(s.reportStructuralAnalysis, on); break;
    case ReportSection::kStability: SetFlag(s.reportStabilityAnalysis, on); break;
    case ReportSection::kMca: SetFlag(s.reportMca, on); break;
    case ReportSection::kComments: SetFlag(s.reportComments, on); break;
  }
}

void TaskSettingsEditor::SetFlag(int& flag, bool on) {
  const int value = on ? 1 : 0;
  if (flag == value) return;
  flag = value;
  modified_ = true;
}

std::vector<std::string> ColumnWidthEntries() {
  std::vector<std::string> entries;
  for (int width = kMinColumnWidth; width <= kMaxColumnWidth; ++width) {
    entries.push_back(std::to_string(width));
  }
  return entries;
}

std::vector<std::string> SeparatorEntries() {
  return {std::begin(kSeparatorNames), std::end(kSeparatorNames)};
}

}  // namespace vireon
