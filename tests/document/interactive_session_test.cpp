// The Time course page's run states through its session object, with a real
// run on its own thread and the test thread playing the page: what the
// buttons allow in each state, a value typed during a pause that the run
// goes on from, the pace taken when the page is left, and a stop while
// paused. Named for the run-control tests so that the thread-sanitizer pass
// runs it too.

#include "document/interactive_session.h"

#include <gtest/gtest.h>

#include "document/run_control.h"
#include "engine/random.h"
#include "model/message_sink.h"
#include "run_test_support.h"
#include "support/expect_close.h"
#include "support/reference_models.h"

namespace vireon::test {
namespace {

constexpr double kValueTolerance = 1e-5;  // relative; the integrator's rtol is 1e-6

// S -> X -> P with its closed-form time course.
constexpr const TwoStepChain& kChain = kTwoStepChain;

class RunControlSessionTest : public ::testing::Test {
 protected:
  RunControlSessionTest() : document_(MakeDocument(kChain.Build(), folder_)) {
    document_.settings.dynamics = 1;
    document_.settings.endTime = 10.0;
    document_.settings.points = 10;
    // The window is shown the points of a time course that writes its file.
    document_.settings.dynamicsData.file = "run.dyn";
    document_.selections.interactive = {MakeOutputItem(kTransientConcentration, "X"),
                                        MakeOutputItem(kTime)};
    controller_.SetObserver(&observer_);
  }

  void Start() {
    session_.PrepareRun(20);
    ASSERT_TRUE(controller_.StartRun(sink_));
    ASSERT_EQ(observer_.Next().note, Note::kRunStarting);
    session_.RunStarted();
    controller_.Acknowledge();
  }

  // Acknowledges notifications until one of kind `note` arrives (which is
  // left unacknowledged when it is a point).
  void WaitFor(Note note) {
    for (;;) {
      const Notification next = observer_.Next();
      if (next.note == note) return;
      if (next.note == Note::kRunFinished || next.note == Note::kRunStopped) {
        FAIL() << "the run ended early: " << document_.engine.errorLog;
      }
      if (next.note == Note::kPointReady) controller_.Acknowledge();
    }
  }

  Note FinishRun() {
    for (;;) {
      const Notification next = observer_.Next();
      if (next.note == Note::kPointReady) controller_.Acknowledge();
      if (next.note == Note::kRunFinished || next.note == Note::kRunStopped) {
        controller_.Wait();
        session_.RunEnded();
        return next.note;
      }
    }
  }

  TemporaryFolder folder_;
  Document document_;
  RandomGenerator random_{3u};
  RecordingSink sink_;
  QueueObserver observer_;
  RunController controller_{document_, random_};
  InteractiveSession session_{document_, controller_};
};

TEST_F(RunControlSessionTest, ButtonsAndChannelsFollowTheStates) {
  EXPECT_EQ(session_.state(), InteractiveState::kIdle);
  EXPECT_TRUE(session_.RunEnabled());
  EXPECT_TRUE(session_.SelectDataEnabled());
  EXPECT_FALSE(session_.PauseEnabled());
  EXPECT_FALSE(session_.StopEnabled());
  EXPECT_EQ(session_.ChannelsUsed(), 2);
  EXPECT_EQ(session_.ChannelLabel(0), "[X]t");
  EXPECT_EQ(session_.ChannelLabel(1), "time");
  EXPECT_EQ(session_.ChannelLabel(2), kChannelNotUsed);
  EXPECT_EQ(session_.ChannelLabel(3), kChannelNotUsed);
  EXPECT_EQ(session_.ChannelUnit(0), document_.settings.concentrationUnit);
  EXPECT_EQ(session_.ChannelUnit(1), document_.settings.timeUnit);
  EXPECT_EQ(session_.ChannelUnit(2), "");
  document_.settings.timeUnit = "h";
  EXPECT_EQ(session_.ChannelUnit(1), "h");
  EXPECT_EQ(session_.TimeUnit(), "h");
  // Nothing to pause or edit while idle.
  session_.PauseOrContinue(0);
  EXPECT_EQ(session_.state(), InteractiveState::kIdle);
  EXPECT_FALSE(session_.ValueEditable(0));

  // The slider reads "SleepTime" clamped into its range; Run stores it back.
  document_.settings.sleepTime = 5000;
  EXPECT_EQ(session_.SliderPosition(), kSleepTimeMax);
  session_.PrepareRun(-3);
  EXPECT_EQ(document_.settings.sleepTime, 0);

  Start();
  EXPECT_EQ(document_.settings.sleepTime, 20);
  EXPECT_FALSE(session_.RunEnabled());
  EXPECT_FALSE(session_.SelectDataEnabled());
  EXPECT_TRUE(session_.PauseEnabled());
  EXPECT_EQ(std::string(session_.PauseButtonText()), kPauseText);
  WaitFor(Note::kPointReady);
  // Running, not paused: a typed value is refused.
  EXPECT_FALSE(session_.EditValue(0, "3"));
  session_.PauseOrContinue(0);
  EXPECT_EQ(std::string(session_.PauseButtonText()), kContinueText);
  EXPECT_TRUE(session_.ValueEditable(0));
  EXPECT_FALSE(session_.ValueEditable(2));
  controller_.Acknowledge();
  WaitFor(Note::kPaused);
  session_.Stop();
  EXPECT_EQ(FinishRun(), Note::kRunStopped);
  EXPECT_EQ(session_.state(), InteractiveState::kIdle);
  EXPECT_EQ(std::string(session_.PauseButtonText()), kPauseText);
}

TEST_F(RunControlSessionTest, AValueTypedDuringAPauseIsWhereTheRunGoesOn) {
  Start();
  WaitFor(Note::kPointReady);  // time 0
  controller_.Acknowledge();
  WaitFor(Note::kPointReady);  // time 1
  session_.PauseOrContinue(0);
  controller_.Acknowledge();
  WaitFor(Note::kPaused);
  const double pausedAt = document_.engine.time;
  EXPECT_FALSE(session_.EditValue(0, "many"));
  EXPECT_TRUE(session_.EditValue(0, "10"));
  EXPECT_EQ(session_.ChannelValue(0), 10.0);

  session_.PauseOrContinue(40);
  EXPECT_EQ(session_.state(), InteractiveState::kRunning);
  ASSERT_EQ(observer_.Next().note, Note::kResumed);
  EXPECT_EQ(document_.settings.sleepTime, 40);
  // The next points follow [X] from 10 at the time of the pause.
  WaitFor(Note::kPointReady);
  const double t = document_.engine.time;
  EXPECT_CLOSE(session_.ChannelValue(1), t, 1e-12, 1e-9);
  EXPECT_CLOSE(session_.ChannelValue(0), kChain.XFrom(10.0, pausedAt, t), 1e-6, kValueTolerance);
  controller_.Acknowledge();
  EXPECT_EQ(FinishRun(), Note::kRunFinished);
}

TEST_F(RunControlSessionTest, LeavingThePageDuringARunSetsThePaceOfTheRun) {
  Start();
  WaitFor(Note::kPointReady);
  session_.PageLeft(5);
  controller_.Acknowledge();
  EXPECT_EQ(FinishRun(), Note::kRunFinished);
  EXPECT_EQ(document_.settings.sleepTime, 5);
  // Idle, leaving the page stores the slider's position at once, and the
  // document knows it has a change to save; so does "Real Time".
  document_.modified = false;
  session_.PageLeft(document_.settings.sleepTime);
  EXPECT_FALSE(document_.modified);
  session_.PageLeft(9999);
  EXPECT_EQ(document_.settings.sleepTime, kSleepTimeMax);
  EXPECT_TRUE(document_.modified);
  document_.modified = false;
  session_.SetRealTime(document_.settings.realTime != 0);
  EXPECT_FALSE(document_.modified);
  session_.SetRealTime(document_.settings.realTime == 0);
  EXPECT_TRUE(document_.modified);
}

}  // namespace
}  // namespace vireon
