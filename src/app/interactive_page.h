#pragma once
// The "Time course" page: up to four chosen quantities shown live, each in a
// strip chart of its own with its current range, the current and the end
// time, and the controls of a run (Run, Pause/Continue, Stop, the pace
// slider and "Real Time"). While a run is paused the shown values may be
// edited; they are written into the quantities as they are typed. A view
// over an InteractiveSession, which holds the run states and the rules.

#include <QWidget>
#include <array>

#include "document/interactive_session.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace vireon {

class RunController;
class TraceChartView;
struct Document;

class InteractivePage : public QWidget {
  Q_OBJECT

 public:
  InteractivePage(Document& document, RunController& controller, QWidget* parent = nullptr);

  // Sizes and clears the charts for the document's number of points, resets
  // the channels and labels, and sets the slider from "SleepTime".
  void Prepare();
  // A time-course point is ready: every channel takes its item's value.
  void ShowPoint();
  // The model's event (by its place in the list) was carried out at this
  // time since the last point shown: every channel in use marks it.
  void ShowEvent(int event, double time);
  // The run started or ended: the buttons follow.
  void SetRunning(bool running);
  // The user left the page: during a run the run takes the slider's pace.
  void Leave();

  // The slider's position, which becomes "SleepTime".
  int sleepTime() const;
  bool isPaused() const { return session_.state() == InteractiveState::kPaused; }
  InteractiveSession& session() { return session_; }
  QPushButton* runButton() const { return run_; }
  QPushButton* pauseButton() const { return pause_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* selectDataButton() const { return selectData_; }
  QLineEdit* valueField(int channel) const { return values_[channel]; }
  QSlider* paceSlider() const { return pace_; }
  const TraceChartView& chartView(int channel) const { return *charts_[channel]; }
  QString channelLabel(int channel) const;
  // The unit shown beside a channel's value.
  QString channelUnit(int channel) const;
  QString currentTimeTitle() const;

 signals:
  void runRequested();
  void selectDataRequested();
  // "Real Time" changed the document.
  void documentEdited();

 private:
  void OnPause();
  void OnStop();
  void ShowState();
  void ShowTimes();

  Document& document_;
  InteractiveSession session_;

  std::array<QLabel*, kChannelCount> labels_{};
  std::array<QLineEdit*, kChannelCount> values_{};
  std::array<QLabel*, kChannelCount> units_{};  // the unit beside each value
  std::array<QLabel*, kChannelCount> minima_{};
  std::array<QLabel*, kChannelCount> maxima_{};
  std::array<TraceChartView*, kChannelCount> charts_{};
  QLabel* currentTime_ = nullptr;
  QLabel* endTime_ = nullptr;
  QLabel* currentTimeTitle_ = nullptr;
  QLabel* endTimeTitle_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* selectData_ = nullptr;
  QCheckBox* realTime_ = nullptr;
  QSlider* pace_ = nullptr;
};

// A number as the page shows it ("%.4lg").
QString FormatShownValue(double value);

}  // namespace vireon
