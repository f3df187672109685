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

#include "app/trace_chart_view.h"
#include "document/document.h"
#include "document/interactive_pacing.h"
#include "document/run_control.h"
#include "model/metabolite_editor.h"

namespace vireon {
namespace {

constexpr const char* kNotUsed = "not used";
constexpr const char* kPauseText = "&Pause";
constexpr const char* kContinueText = "Continue ";

}  // namespace

QString FormatShownValue(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4lg", value);
  return QString::fromLatin1(text);
}

InteractivePage::InteractivePage(Document& document, RunController& controller, QWidget* parent)
    : QWidget(parent), document_(document), controller_(controller) {
  auto* channels = new QGridLayout;
  for (int k = 0; k < kChannelCount; ++k) {
    labels_[k] = new QLabel(kNotUsed);
    values_[k] = new QLineEdit;
    values_[k]->setReadOnly(true);
    values_[k]->setMaximumWidth(110);
    minima_[k] = new QLabel;
    maxima_[k] = new QLabel;
    charts_[k] = new TraceChartView;
    auto* side = new QVBoxLayout;
    side->addWidget(labels_[k]);
    side->addWidget(values_[k]);
    side->addWidget(new QLabel("Max"));
    side->addWidget(maxima_[k]);
    side->addWidget(new QLabel("Min"));
    side->addWidget(minima_[k]);
    side->addStretch();
    channels->addLayout(side, k, 0);
    channels->addWidget(charts_[k], k, 1);
    connect(values_[k], &QLineEdit::editingFinished, this, [this, k] { OnValueEdited(k); });
  }
  channels->setColumnStretch(1, 1);

  run_ = new QPushButton("&Run");
  pause_ = new QPushButton(kPauseText);
  stop_ = new QPushButton("&Stop");
  selectData_ = new QPushButton("Select Data");
  realTime_ = new QCheckBox("Real Time");
  pace_ = new QSlider(Qt::Vertical);
  pace_->setRange(0, kSleepTimeMax);
  pace_->setTickInterval(kSleepTimeTick);
  pace_->setTickPosition(QSlider::TicksRight);
  // "Faster" (no sleep) at the top.
  pace_->setInvertedAppearance(true);
  currentTime_ = new QLabel;
  endTime_ = new QLabel;

  auto* controls = new QVBoxLayout;
  controls->addWidget(run_);
  controls->addWidget(pause_);
  controls->addWidget(stop_);
  controls->addWidget(selectData_);
  controls->addWidget(realTime_);
  controls->addWidget(new QLabel("Faster"));
  controls->addWidget(pace_, 1, Qt::AlignHCenter);
  controls->addWidget(new QLabel("Slower"));
  controls->addWidget(new QLabel("Current Time:"));
  controls->addWidget(currentTime_);
  controls->addWidget(new QLabel("End time:"));
  controls->addWidget(endTime_);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(channels, 1);
  layout->addLayout(controls);

  connect(run_, &QPushButton::clicked, this, [this] {
    document_.settings.sleepTime = sleepTime();
    emit runRequested();
  });
  connect(pause_, &QPushButton::clicked, this, &InteractivePage::OnPause);
  connect(stop_, &QPushButton::clicked, this, &InteractivePage::OnStop);
  connect(selectData_, &QPushButton::clicked, this, &InteractivePage::selectDataRequested);
  connect(realTime_, &QCheckBox::clicked, this,
          [this](bool checked) { document_.settings.realTime = checked ? 1 : 0; });

  SetRunning(false);
  Prepare();
}

void InteractivePage::Prepare() {
  const InteractivePacing pacing = InteractivePacingFor(document_.settings.points);
  const auto& items = document_.selections.interactive;
  for (int k = 0; k < kChannelCount; ++k) {
    charts_[k]->chart().Reset(pacing.plotPoints);
    const bool used = k < static_cast<int>(items.size());
    labels_[k]->setText(used ? QString::fromStdString(items[k].title) : QString(kNotUsed));
    values_[k]->setText(used ? FormatShownValue(0.0) : QString());
    const ChartRange range = charts_[k]->chart().range();
    minima_[k]->setText(used ? FormatShownValue(range.lower) : QString());
    maxima_[k]->setText(used ? FormatShownValue(range.upper) : QString());
    charts_[k]->update();
  }
  pace_->setValue(std::clamp(document_.settings.sleepTime, 0, kSleepTimeMax));
  realTime_->setChecked(document_.settings.realTime != 0);
  currentTime_->setText(FormatShownValue(0.0));
  ShowTimes();
}

void InteractivePage::ShowPoint() {
  const auto& items = document_.selections.interactive;
  const int used = std::min(static_cast<int>(items.size()), kChannelCount);
  for (int k = 0; k < used; ++k) {
    const double value = items[k].Value();
    const ChartRange range = charts_[k]->chart().AddPoint(document_.engine.time, value);
    values_[k]->setText(FormatShownValue(value));
    minima_[k]->setText(FormatShownValue(range.lower));
    maxima_[k]->setText(FormatShownValue(range.upper));
    if (isVisible()) charts_[k]->update();
  }
  currentTime_->setText(FormatShownValue(document_.engine.time));
}

void InteractivePage::SetRunning(bool running) {
  running_ = running;
  if (!running) {
    paused_ = false;
    pause_->setText(kPauseText);
    SetValuesEditable(false);
  }
  run_->setEnabled(!running);
  pause_->setEnabled(running);
  stop_->setEnabled(running);
  selectData_->setEnabled(!running);
}

int InteractivePage::sleepTime() const {
  return pace_->value();
}

QString InteractivePage::channelLabel(int channel) const {
  return labels_[channel]->text();
}

void InteractivePage::OnPause() {
  if (!running_) return;
  if (!paused_) {
    controller_.Pause();
    paused_ = true;
    pause_->setText(kContinueText);
    SetValuesEditable(true);
    return;
  }
  // The edited values were written as they were typed; Resume sets the
  // amounts from the concentrations and "SleepTime" before releasing the run.
  paused_ = false;
  SetValuesEditable(false);
  pause_->setText(kPauseText);
  controller_.Resume(sleepTime());
}

void InteractivePage::OnStop() {
  if (!running_) return;
  if (paused_) {
    paused_ = false;
    pause_->setText(kPauseText);
    SetValuesEditable(false);
  }
  // Stop releases a paused run itself.
  controller_.Stop();
}

void InteractivePage::OnValueEdited(int channel) {
  // Only while the run thread is paused may the page write engine data.
  if (!paused_ || !controller_.IsPaused()) return;
  auto& items = document_.selections.interactive;
  if (channel >= static_cast<int>(items.size()) || items[channel].value == nullptr) return;
  double value = *items[channel].value;
  if (ReadConcentration(values_[channel]->text().toStdString(), value)) {
    *items[channel].value = value;
  }
  values_[channel]->setText(FormatShownValue(*items[channel].value));
}

void InteractivePage::SetValuesEditable(bool editable) {
  const int used = static_cast<int>(document_.selections.interactive.size());
  for (int k = 0; k < kChannelCount; ++k) values_[k]->setReadOnly(!editable || k >= used);
}

void InteractivePage::ShowTimes() {
  endTime_->setText(FormatShownValue(document_.settings.endTime));
}

}  // namespace vireon
