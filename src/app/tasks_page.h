#pragma once
// The "Tasks" page: the time-course and steady-state switches with their
// data files and output items, and the report with its sections. Every
// field is written into the document's settings as soon as it is left.

#include <QWidget>
#include <string>

class QCheckBox;
class QLineEdit;
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

  QCheckBox* timeCourseSwitch() const { return dynamics_; }
  QCheckBox* steadyStateSwitch() const { return steadyState_; }
  QLineEdit* endTimeField() const { return endTime_; }
  QLineEdit* pointsField() const { return points_; }

 signals:
  void runRequested();
  void stopRequested();
  void documentChanged();

 private:
  void ReadEndTime();
  void ReadPoints();
  void ReadFileName(QLineEdit* field, std::string& name);
  void EditOutput(int mode);

  Document& document_;
  MessageSink& sink_;
  QCheckBox* dynamics_ = nullptr;
  QLineEdit* endTime_ = nullptr;
  QLineEdit* points_ = nullptr;
  QLineEdit* dynamicsFile_ = nullptr;
  QCheckBox* dynamicsTitles_ = nullptr;
  QCheckBox* steadyState_ = nullptr;
  QLineEdit* steadyStateFile_ = nullptr;
  QCheckBox* steadyStateTitles_ = nullptr;
  QCheckBox* report_ = nullptr;
  QLineEdit* reportFile_ = nullptr;
  QCheckBox* structural_ = nullptr;
  QCheckBox* stability_ = nullptr;
  QCheckBox* mca_ = nullptr;
  QCheckBox* comments_ = nullptr;
};

}  // namespace vireon
