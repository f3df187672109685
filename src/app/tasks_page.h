#pragma once
// The "Tasks" page: the time course and the steady state with their data
// files (name, titles, quotes, column width, separator, output items and
// their order), the time course's end time and points, and the report with
// its sections. A view over a TaskSettingsEditor: every field is handed to
// the editor when it is left, and the page shows what the editor keeps.

#include <QWidget>
#include <array>

#include "document/task_settings_editor.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vireon {

struct Document;
class MessageSink;

class TasksPage : public QWidget {
  Q_OBJECT

 public:
  TasksPage(Document& document, MessageSink& sink, QWidget* parent = nullptr);

  // Shows the document's values again.
  void Refresh();
  TaskSettingsEditor& editor() { return editor_; }

  // The controls of one task's box, for the tests and the screenshots.
  struct TaskControls {
    QCheckBox* task = nullptr;
    QLineEdit* file = nullptr;
    QCheckBox* titles = nullptr;
    QCheckBox* quotes = nullptr;
    QCheckBox* eventRows = nullptr;  // the time course's only
    QComboBox* width = nullptr;
    QComboBox* separator = nullptr;
    QListWidget* items = nullptr;
    QPushButton* edit = nullptr;
    QPushButton* up = nullptr;
    QPushButton* down = nullptr;
  };
  const TaskControls& controls(DataTask task) const { return boxes_[Index(task)]; }
  QLineEdit* endTimeField() const { return endTime_; }
  QLineEdit* pointsField() const { return points_; }
  QPushButton* runButton() const { return run_; }
  QPushButton* stopButton() const { return stop_; }

  // Run and Stop follow the run; everything else is disabled during it.
  void SetRunning(bool running);

 signals:
  void runRequested();
  void stopRequested();
  // The document was changed on this page.
  void documentChanged();
  // "Edit" asks for the Output Data dialog of a task's selection.
  void editOutputRequested(DataTask task);

 private:
  static int Index(DataTask task) { return task == DataTask::kTimeCourse ? 0 : 1; }
  QWidget* BuildTaskBox(DataTask task, const QString& title);
  void ShowSelection(DataTask task, int current = -1);
  void Move(DataTask task, int delta);
  // Tells the main window when the editor changed the document.
  void Changed();

  Document& document_;
  TaskSettingsEditor editor_;
  std::array<TaskControls, 2> boxes_{};
  QLineEdit* endTime_ = nullptr;
  QLabel* endTimeLabel_ = nullptr;  // with the model's time unit
  QLineEdit* points_ = nullptr;
  QCheckBox* report_ = nullptr;
  QLineEdit* reportFile_ = nullptr;
  std::array<QCheckBox*, 4> sections_{};
  QPushButton* run_ = nullptr;
  QPushButton* stop_ = nullptr;
  QWidget* settings_ = nullptr;
};

}  // namespace vireon
