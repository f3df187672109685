#include "document/interactive_session.h"

#include <algorithm>

#include "document/document.h"
#include "document/run_control.h"
#include "model/number_text.h"
#include "output/output_item_unit.h"

namespace vireon {

InteractiveSession::InteractiveSession(Document& document, RunController& controller)
    : document_(document), controller_(controller) {}

void InteractiveSession::RunStarted() {
  state_ = InteractiveState::kRunning;
}

void InteractiveSession::RunEnded() {
  state_ = InteractiveState::kIdle;
}

void InteractiveSession::PrepareRun(int sleepTime) {
  if (state_ != InteractiveState::kIdle) return;
  StoreSleepTime(sleepTime);
}

void InteractiveSession::StoreSleepTime(int sleepTime) {
  const int stored = std::clamp(sleepTime, 0, kSleepTimeMax);
  if (document_.settings.sleepTime == stored) return;
  document_.settings.sleepTime = stored;
  document_.modified = true;
}

void InteractiveSession::PauseOrContinue(int sleepTime) {
  switch (state_) {
    case InteractiveState::kIdle:
      return;
    case InteractiveState::kRunning:
      controller_.Pause();
      state_ = InteractiveState::kPaused;
      return;
    case InteractiveState::kPaused:
      // The edited values were written as they were typed; Resume sets the
      // amounts from the concentrations and "SleepTime" before it releases
      // the run thread.
      state_ = InteractiveState::kRunning;
      controller_.Resume(std::clamp(sleepTime, 0, kSleepTimeMax));
      return;
  }
}

void InteractiveSession::Stop() {
  if (state_ == InteractiveState::kIdle) return;
  state_ = InteractiveState::kRunning;
  controller_.Stop();
}

void InteractiveSession::PageLeft(int sleepTime) {
  if (state_ == InteractiveState::kIdle) {
    StoreSleepTime(sleepTime);
    return;
  }
  controller_.SetSleepTime(std::clamp(sleepTime, 0, kSleepTimeMax));
}

void InteractiveSession::SetRealTime(bool on) {
  // Read by the run at the start of each time course; a run in progress
  // keeps the pacing it started with.
  if (state_ != InteractiveState::kIdle || (document_.settings.realTime != 0) == on) return;
  document_.settings.realTime = on ? 1 : 0;
  document_.modified = true;
}

int InteractiveSession::SliderPosition() const {
  return std::clamp(document_.settings.sleepTime, 0, kSleepTimeMax);
}

const char* InteractiveSession::PauseButtonText() const {
  return state_ == InteractiveState::kPaused ? kContinueText : kPauseText;
}

int InteractiveSession::ChannelsUsed() const {
  return std::min(static_cast<int>(document_.selections.interactive.size()), kChannelCount);
}

std::string InteractiveSession::ChannelLabel(int channel) const {
  if (channel < 0 || channel >= ChannelsUsed()) return kChannelNotUsed;
  return document_.selections.interactive[channel].title;
}

std::string InteractiveSession::ChannelUnit(int channel) const {
  if (channel < 0 || channel >= ChannelsUsed()) return {};
  return OutputItemUnit(document_.selections.interactive[channel], document_.settings);
}

std::string InteractiveSession::TimeUnit() const {
  return UnitText(QuantityKind::kTime, UnitsOf(document_.settings));
}

bool InteractiveSession::ValueEditable(int channel) const {
  return state_ == InteractiveState::kPaused && channel >= 0 && channel < ChannelsUsed();
}

bool InteractiveSession::EditValue(int channel, std::string_view text) {
  // Only while the run thread waits in its pause may engine data be written.
  if (!ValueEditable(channel) || !controller_.IsPaused()) return false;
  OutputItem& item = document_.selections.interactive[channel];
  if (item.value == nullptr) return false;
  const std::optional<double> value = ParseReal(text, NumberExtent::kPrefix);
  if (!value) return false;
  *item.value = *value;
  return true;
}

double InteractiveSession::ChannelValue(int channel) const {
  if (channel < 0 || channel >= ChannelsUsed()) return 0.0;
  return document_.selections.interactive[channel].Value();
}

}  // namespace vireon
