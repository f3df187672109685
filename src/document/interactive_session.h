#pragma once
// The rules of the "Time course" page without the page: the run states the
// page moves through (idle, running, paused), what its buttons read and
// allow in each, the pace ("SleepTime") the run takes from the slider, and
// the values typed into the channels while the run is paused, which are
// written into the quantities the channels show.
//
//   Idle --Run--> Running --Pause--> Paused --Continue--> Running
//     ^              |                  |
//     +-- run ended -+---- Stop --------+
//
// The page forwards its buttons and the run's notifications here and draws
// what this object says.

#include <string>
#include <string_view>

namespace vireon {

struct Document;
class RunController;

// The channels of the page.
inline constexpr int kChannelCount = 4;
// The pace slider's range (milliseconds per shown point) and tick interval.
inline constexpr int kSleepTimeMax = 2000;
inline constexpr int kSleepTimeTick = 100;
// The label of a channel without an item.
inline constexpr const char* kChannelNotUsed = "not used";
// The pause button's texts.
inline constexpr const char* kPauseText = "&Pause";
inline constexpr const char* kContinueText = "Continue ";

enum class InteractiveState { kIdle, kRunning, kPaused };

class InteractiveSession {
 public:
  // The document and the controller must outlive the session.
  InteractiveSession(Document& document, RunController& controller);

  InteractiveState state() const { return state_; }

  // The run's notifications.
  void RunStarted();
  void RunEnded();

  // "&Run": "SleepTime" takes the slider's position (clamped into the
  // slider's range) before the run is started by the caller.
  void PrepareRun(int sleepTime);
  // "&Pause" asks the run to pause; "Continue " releases it with the
  // slider's position as "SleepTime" (the amounts are recomputed from the
  // concentrations, which the user may have edited).
  void PauseOrContinue(int sleepTime);
  // "&Stop": a paused run is released and stops at once.
  void Stop();
  // The user leaves the page: during a run the slider's position becomes
  // the run's "SleepTime" from its next point on; without a run it is
  // stored at once.
  void PageLeft(int sleepTime);
  // "Real Time", taken only without a run.
  void SetRealTime(bool on);
  // "SleepTime" and "RealTime" travel with the model: a change of either
  // without a run marks the document modified.

  // The slider's position for the stored "SleepTime".
  int SliderPosition() const;
  const char* PauseButtonText() const;
  bool RunEnabled() const { return state_ == InteractiveState::kIdle; }
  bool PauseEnabled() const { return state_ != InteractiveState::kIdle; }
  bool StopEnabled() const { return state_ != InteractiveState::kIdle; }
  bool SelectDataEnabled() const { return state_ == InteractiveState::kIdle; }

  // The channels: the items of the window selection, at most four.
  int ChannelsUsed() const;
  std::string ChannelLabel(int channel) const;
  // The unit of the channel's item (empty for a channel not used or an item
  // of no known unit) and of the shown times, from the document's units.
  std::string ChannelUnit(int channel) const;
  std::string TimeUnit() const;
  // The channel's value may be typed while the run is paused.
  bool ValueEditable(int channel) const;
  // Writes the typed number into the channel's quantity. False, and
  // nothing written, when the channel cannot be edited now or the text is
  // not a number.
  bool EditValue(int channel, std::string_view text);
  // The channel's current value (0 for a channel that is not bound).
  double ChannelValue(int channel) const;

 private:
  void StoreSleepTime(int sleepTime);

  Document& document_;
  RunController& controller_;
  InteractiveState state_ = InteractiveState::kIdle;
};

}  // namespace vireon
