#pragma once
// The "Time course" page: up to four chosen quantities shown live, each in a
// strip chart of its own with its current range, the current and the end
// time, and the controls of a run (Run, Pause/Continue, Stop, the pace
// slider and "Real Time"). While a run is paused the shown values may be
// edited; they are written into the quantities as they are typed.

#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace vireon {

class RunController;
class TraceChartView;
struct Document;

// The channels of the page.
inline constexpr int kChannelCount = 4;
// The pace slider's range (milliseconds per shown point) and tick interval.
inline constexpr int kSleepTimeMax = 2000;
inline constexpr int kSleepTimeTick = 100;

class InteractivePage : public QWidget {
  Q_OBJECT

 public:
  InteractivePage(Document& document, RunController& controller, QWidget* parent = nullptr);

  // Sizes and clears the charts for the document's number of points, resets
  // the channels and labels, and sets the slider from "SleepTime".
  void Prepare();
  // A time-course point is ready: every channel takes its item's value.
  void ShowPoint();
  // The run started or ended: the buttons follow.
  void SetRunning(bool running);

  // The slider's position, which becomes "SleepTime".
  int sleepTime() const;
  bool isPaused() const { return paused_; }
  const TraceChartView& chartView(int channel) const { return *charts_[channel]; }
  QString channelLabel(int channel) const;

 signals:
  void runRequested();
  void selectDataRequested();

 private:
  void OnPause();
  void OnStop();
  void OnValueEdited(int channel);
  void SetValuesEditable(bool editable);
  void ShowTimes();

  Document& document_;
  RunController& controller_;
  bool running_ = false;
  bool paused_ = false;

  std::array<QLabel*, kChannelCount> labels_{};
  std::array<QLineEdit*, kChannelCount> values_{};
  std::array<QLabel*, kChannelCount> minima_{};
  std::array<QLabel*, kChannelCount> maxima_{};
  std::array<TraceChartView*, kChannelCount> charts_{};
  QLabel* currentTime_ = nullptr;
  QLabel* endTime_ = nullptr;
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
