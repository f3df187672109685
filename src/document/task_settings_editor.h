#pragma once
// The rules of the Tasks page without the page: the two tasks with their
// data files (name, titles, quotes, column width, separator, output items
// and their order), the time course's end time and points, and the report
// with its sections. The page shows what this object says and hands every
// user action to it; the object edits the document in place and remembers
// that the document was modified.

#include <string>
#include <string_view>
#include <vector>

#include "engine/task_settings.h"
#include "output/output_item.h"

namespace vireon {

struct Document;
class MessageSink;

// The message that refuses an end time of zero.
inline constexpr const char* kEndTimeZero =
    "The end time cannot be zero. Type either a positive or negative value.";
// The message that refuses an end time so near zero that the integrator's
// steps underflow (kMinEndTimeMagnitude).
inline constexpr const char* kEndTimeTooNearZero =
    "The end time must be at least 1e-100 away from zero.";
// The messages that refuse a text that is not a number.
inline constexpr const char* kEndTimeNotANumber = "The end time must be a number.";
inline constexpr const char* kPointsNotACount =
    "The number of points must be a whole number, 0 or more.";
// The title of the boxes of the Tasks page.
inline constexpr const char* kTasksMessageTitle = "Tasks";

// The two data files and their tasks.
enum class DataTask { kTimeCourse, kSteadyState };

// The report's sections.
enum class ReportSection { kStructuralAnalysis, kStability, kMca, kComments };

class TaskSettingsEditor {
 public:
  // The document and the sink must outlive the editor.
  TaskSettingsEditor(Document& document, MessageSink& sink);

  // Time course. The texts are what the fields show; a refused text says
  // why through the sink and leaves the value as it was (false).
  std::string EndTimeText() const;
  bool SetEndTime(std::string_view text);
  std::string PointsText() const;
  bool SetPoints(std::string_view text);

  // Either task and its data file.
  bool TaskOn(DataTask task) const;
  void SetTaskOn(DataTask task, bool on);
  const std::string& FileName(DataTask task) const;
  // A name is kept only when it follows the rules of
  // output/output_file_names.h (a plain file name in the model's folder,
  // not the model's, the report's or the other data file's), or is empty
  // (no file); otherwise the sink says why, naming the field, and false is
  // returned.
  bool SetFileName(DataTask task, std::string_view name);
  bool Titles(DataTask task) const;
  void SetTitles(DataTask task, bool on);
  bool Quotes(DataTask task) const;
  void SetQuotes(DataTask task, bool on);
  // The "Col. width" list: entry 0 is 8 characters, entry 17 is 25. A
  // stored width outside the list shows as entry 0 and stays as it is
  // until the user chooses an entry.
  int ColumnWidthEntry(DataTask task) const;
  void SetColumnWidthEntry(DataTask task, int entry);
  // The time course's rows before and after each event execution
  // (TaskSettings::eventRows).
  bool EventRows() const;
  void SetEventRows(bool on);
  // The "Separator" list: "space", "tab", "comma".
  int SeparatorEntry(DataTask task) const;
  void SetSeparatorEntry(DataTask task, int entry);

  // The output items of a task's data file, in column order.
  const std::vector<OutputItem>& Selection(DataTask task) const;
  // "Up" / "Down": the item at `index` changes place with its neighbour.
  // Returns the item's new index, or -1 (and no change) when it cannot move.
  int MoveUp(DataTask task, int index);
  int MoveDown(DataTask task, int index);

  // The report.
  bool ReportOn() const;
  void SetReportOn(bool on);
  const std::string& ReportFile() const;
  bool Section(ReportSection section) const;
  void SetSection(ReportSection section, bool on);

  bool modified() const { return modified_; }
  void ClearModified() { modified_ = false; }

 private:
  // The document's parts of a task: its switch, its data file, its output
  // items. (The editor edits the document in place, also through these.)
  int& TaskFlag(DataTask task) const;
  DataFileSettings& Data(DataTask task) const;
  std::vector<OutputItem>& MutableSelection(DataTask task) const;
  int Move(DataTask task, int index, int delta);
  void SetFlag(int& flag, bool on);

  Document& document_;
  MessageSink& sink_;
  bool modified_ = false;
};

// The entries of the two lists as the page shows them.
std::vector<std::string> ColumnWidthEntries();
std::vector<std::string> SeparatorEntries();

}  // namespace vireon
