#include "app/interactive_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "app/field_binding.h"
#include "app/trace_chart_view.h"
#include "document/document.h"
#include "document/interactive_pacing.h"
#include "document/run_control.h"
#include "model/metabolite_editor.h"
#include "output/output_item_unit.h"

namespace vireon {

QString FormatShownValue(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4lg", value);
  return QString::fromLatin1(text);
}

InteractivePage::InteractivePage(Document& document, RunController& controller, QWidget* parent)
    : QWidget(parent), document_(document), session_(document, controller) {
  auto* channels = new QGridLayout;
  for (int k = 0; k < kChannelCount; ++k) {
    labels_[k] = new QLabel(kChannelNotUsed);
    values_[k] = new QLineEdit;
    values_[k]->setReadOnly(true);
    values_[k]->setToolTip("The channel's value at the current time of the run");
    values_[k]->setMaximumWidth(110);
    minima_[k] = new QLabel;
    maxima_[k] = new QLabel;
    charts_[k] = new TraceChartView;
    units_[k] = new QLabel;
    auto* side = new QVBoxLayout;
    side->addWidget(labels_[k]);
    auto* value = new QHBoxLayout;
    value->addWidget(values_[k]);
    value->addWidget(units_[k]);
    value->addStretch();
    side->addLayout(value);
    side->addWidget(new QLabel("Max"));
    side->addWidget(maxima_[k]);
    side->addWidget(new QLabel("Min"));
    side->addWidget(minima_[k]);
    side->addStretch();
    channels->addLayout(side, k, 0);
    channels->addWidget(charts_[k], k, 1);
    BindField(values_[k], {[this, k](const QString& text) {
                             session_.EditValue(k, text.toStdString());
                             return true;
                           },
                           [this, k] { return FormatShownValue(session_.ChannelValue(k)); },
                           {}});
  }
  channels->setColumnStretch(1, 1);

  run_ = new QPushButton("&Run");
  pause_ = new QPushButton(kPauseText);
  stop_ = new QPushButton("&Stop");
  selectData_ = new QPushButton("Select Data");
  realTime_ = new QCheckBox("Real Time");
  pace_ = new QSlider(Qt::Vertical);
  pace_->setRange(0, kSleepTimeMax);
  pace_->setToolTip("How fast the run is drawn: at the top it never waits, lower it pauses "
                    "after every point");
  pace_->setTickInterval(kSleepTimeTick);
  pace_->setTickPosition(QSlider::TicksRight);
  // "Faster" (no sleep) at the top.
  pace_->setInvertedAppearance(true);
  currentTime_ = new QLabel;
  endTime_ = new QLabel;
  currentTimeTitle_ = new QLabel;
  endTimeTitle_ = new QLabel;

  auto* controls = new QVBoxLayout;
  controls->addWidget(run_);
  controls->addWidget(pause_);
  controls->addWidget(stop_);
  controls->addWidget(selectData_);
  controls->addWidget(realTime_);
  controls->addWidget(new QLabel("Faster"));
  controls->addWidget(pace_, 1, Qt::AlignHCenter);
  controls->addWidget(new QLabel("Slower"));
  controls->addWidget(currentTimeTitle_);
  controls->addWidget(currentTime_);
  controls->addWidget(endTimeTitle_);
  controls->addWidget(endTime_);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(channels, 1);
  layout->addLayout(controls);

  connect(run_, &QPushButton::clicked, this, [this] {
    session_.PrepareRun(sleepTime());
    emit runRequested();
  });
  connect(pause_, &QPushButton::clicked, this, &InteractivePage::OnPause);
  connect(stop_, &QPushButton::clicked, this, &InteractivePage::OnStop);
  connect(selectData_, &QPushButton::clicked, this, &InteractivePage::selectDataRequested);
  connect(realTime_, &QCheckBox::clicked, this, [this](bool checked) {
    session_.SetRealTime(checked);
    realTime_->setChecked(document_.settings.realTime != 0);
    emit documentEdited();
  });

  ShowState();
  Prepare();
}

void InteractivePage::Prepare() {
  const InteractivePacing pacing = InteractivePacingFor(document_.settings.points);
  for (int k = 0; k < kChannelCount; ++k) {
    charts_[k]->chart().Reset(pacing.plotPoints);
    const bool used = k < session_.ChannelsUsed();
    labels_[k]->setText(QString::fromStdString(session_.ChannelLabel(k)));
    const std::string unit = session_.ChannelUnit(k);
    labels_[k]->setToolTip(
        used ? QString::fromStdString(WithUnit(session_.ChannelLabel(k), unit)) : QString());
    units_[k]->setText(QString::fromStdString(unit));
    values_[k]->setText(used ? FormatShownValue(0.0) : QString());
    const ChartRange range = charts_[k]->chart().range();
    minima_[k]->setText(used ? FormatShownValue(range.lower) : QString());
    maxima_[k]->setText(used ? FormatShownValue(range.upper) : QString());
    charts_[k]->Refresh();
  }
  pace_->setValue(session_.SliderPosition());
  realTime_->setChecked(document_.settings.realTime != 0);
  currentTime_->setText(FormatShownValue(0.0));
  ShowTimes();
}

void InteractivePage::ShowPoint() {
  const int used = session_.ChannelsUsed();
  for (int k = 0; k < used; ++k) {
    const double value = session_.ChannelValue(k);
    const ChartRange range = charts_[k]->chart().AddPoint(document_.engine.time, value);
    values_[k]->setText(FormatShownValue(value));
    minima_[k]->setText(FormatShownValue(range.lower));
    maxima_[k]->setText(FormatShownValue(range.upper));
    if (isVisible()) charts_[k]->Refresh();
  }
  currentTime_->setText(FormatShownValue(document_.engine.time));
}

void InteractivePage::ShowEvent(int event, double time) {
  const std::vector<Event>& events = document_.model.events;
  const std::string name = event >= 0 && event < static_cast<int>(events.size())
                               ? events[static_cast<std::size_t>(event)].name
                               : std::string();
  for (int k = 0; k < session_.ChannelsUsed(); ++k) {
    charts_[k]->chart().AddMarker(time, name);
    if (isVisible()) charts_[k]->Refresh();
  }
}

void InteractivePage::SetRunning(bool running) {
  if (running) {
    session_.RunStarted();
  } else {
    session_.RunEnded();
  }
  ShowState();
}

void InteractivePage::Leave() {
  session_.PageLeft(sleepTime());
}

int InteractivePage::sleepTime() const {
  return pace_->value();
}

QString InteractivePage::channelLabel(int channel) const {
  return labels_[channel]->text();
}

QString InteractivePage::channelUnit(int channel) const {
  return units_[channel]->text();
}

QString InteractivePage::currentTimeTitle() const {
  return currentTimeTitle_->text();
}

void InteractivePage::OnPause() {
  session_.PauseOrContinue(sleepTime());
  ShowState();
}

void InteractivePage::OnStop() {
  session_.Stop();
  ShowState();
}

void InteractivePage::ShowState() {
  run_->setEnabled(session_.RunEnabled());
  pause_->setEnabled(session_.PauseEnabled());
  pause_->setText(session_.PauseButtonText());
  stop_->setEnabled(session_.StopEnabled());
  selectData_->setEnabled(session_.SelectDataEnabled());
  for (int k = 0; k < kChannelCount; ++k) values_[k]->setReadOnly(!session_.ValueEditable(k));
}

void InteractivePage::ShowTimes() {
  const std::string unit = session_.TimeUnit();
  currentTimeTitle_->setText(QString::fromStdString(WithUnit("Current Time", unit)) + ":");
  endTimeTitle_->setText(QString::fromStdString(WithUnit("End time", unit)) + ":");
  endTime_->setText(FormatShownValue(document_.settings.endTime));
}

}  // namespace vireon
