// The run thread and a driver on another thread: acknowledgements, pause,
// resume and stop requests at time-course points, and the events they
// travel through. The test thread plays the user interface.

#include <gtest/gtest.h>

#include <thread>

#include "document/auto_reset_event.h"
#include "document/headless_run.h"
#include "document/interactive_pacing.h"
#include "document/run_control.h"
#include "engine/random.h"
#include "model/message_sink.h"
#include "run_test_support.h"
#include "support/expect_close.h"
#include "support/reference_models.h"

namespace vireon::test {
namespace {

constexpr double kRowTolerance = 1e-5;  // relative, for values read back from data files
// S -> X -> P with its closed-form time course.
constexpr const TwoStepChain& kChain = kTwoStepChain;

class RunControlThreadTest : public ::testing::Test {
 protected:
  RunControlThreadTest() : document_(MakeDocument(kChain.Build(), folder_)) {
    TaskSettings& s = document_.settings;
    s.dynamics = 1;
    s.steadyState = 1;
    s.report = 1;
    s.endTime = 10.0;
    s.points = 10;
    s.dynamicsData.file = "run.dyn";
    document_.selections.timeCourse = {MakeOutputItem(kTime),
                                       MakeOutputItem(kTransientConcentration, "X")};
    // Items for the interactive window: the run shows its points and waits.
    document_.selections.interactive = {MakeOutputItem(kTransientConcentration, "X")};
    controller_.SetObserver(&observer_);
  }

  // Starts the run and acknowledges its start.
  void Start() {
    ASSERT_TRUE(controller_.StartRun(sink_));
    ASSERT_EQ(observer_.Next().note, Note::kRunStarting);
    EXPECT_TRUE(controller_.IsBusy());
    EXPECT_EQ(controller_.progressText(), "wait...");
    controller_.Acknowledge();
  }

  // Acknowledges points until the n-th one (counting the point of time 0 as
  // the first), which is left unacknowledged.
  void AdvanceToPoint(int n) {
    for (int shown = 0; shown < n;) {
      const Notification next = observer_.Next();
      ASSERT_EQ(next.note, Note::kPointReady);
      if (++shown < n) controller_.Acknowledge();
    }
  }

  // Acknowledges everything up to the end of the run; returns the
  // notifications that were not points.
  std::vector<Note> FinishRun() {
    std::vector<Note> others;
    for (;;) {
      const Notification next = observer_.Next();
      if (next.note == Note::kPointReady || next.note == Note::kScanProgress) {
        controller_.Acknowledge();
        continue;
      }
      others.push_back(next.note);
      if (next.note == Note::kRunFinished || next.note == Note::kRunStopped) break;
    }
    controller_.Wait();
    return others;
  }

  std::vector<std::vector<double>> Rows() {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : ReadLines(folder_.path() / "run.dyn")) {
      rows.push_back(ParseRow(line));
    }
    return rows;
  }

  double& ConcentrationOf(const std::string& name) {
    return document_.model.metabolites[document_.model.FindMetabolite(name)].concentration;
  }

  TemporaryFolder folder_;
  Document document_;
  RandomGenerator random_{7u};
  RecordingSink sink_;
  QueueObserver observer_;
  RunController controller_{document_, random_};
};

TEST_F(RunControlThreadTest, EveryPointWaitsForItsAcknowledgement) {
  Start();
  // While the run waits, the point's values can be read: time 0, then 1, 2, ...
  for (int point = 0; point <= 10; ++point) {
    ASSERT_EQ(observer_.Next().note, Note::kPointReady);
    EXPECT_CLOSE(document_.engine.time, static_cast<double>(point), 1e-12, 1e-9);
    EXPECT_CLOSE(ConcentrationOf("X"), kChain.XFrom(0.0, 0.0, point), 1e-6, kRowTolerance);
    controller_.Acknowledge();
  }
  EXPECT_EQ(FinishRun(), std::vector<Note>{Note::kRunFinished});
  EXPECT_EQ(controller_.outcome(), RunOutcome::kFinished);
  EXPECT_EQ(Rows().size(), 11u);
}

TEST_F(RunControlThreadTest, APausedRunGoesOnFromTheConcentrationsSetDuringThePause) {
  Start();
  AdvanceToPoint(3);  // time 2
  controller_.Pause();
  controller_.Acknowledge();
  ASSERT_EQ(observer_.Next().note, Note::kPaused);
  EXPECT_TRUE(controller_.IsPaused());
  EXPECT_TRUE(controller_.IsBusy());
  EXPECT_CLOSE(ConcentrationOf("X"), kChain.XFrom(0.0, 0.0, 2.0), 1e-6, kRowTolerance);

  // The user changes [X] while the run is paused.
  ConcentrationOf("X") = 10.0;
  controller_.Resume();
  EXPECT_FALSE(controller_.IsPaused());
  ASSERT_EQ(observer_.Next().note, Note::kResumed);

  EXPECT_EQ(FinishRun(), std::vector<Note>{Note::kRunFinished});
  EXPECT_EQ(controller_.outcome(), RunOutcome::kFinished);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 11u);
  for (int t = 0; t <= 10; ++t) {
    ASSERT_EQ(rows[t].size(), 2u);
    EXPECT_CLOSE(rows[t][0], static_cast<double>(t), 1e-12, 1e-9);
    const double expected = t <= 2 ? kChain.XFrom(0.0, 0.0, t) : kChain.XFrom(10.0, 2.0, t);
    EXPECT_CLOSE(rows[t][1], expected, 1e-6, kRowTolerance) << "t = " << t;
  }
}

TEST_F(RunControlThreadTest, AStopAtATimeCoursePointEndsTheRun) {
  Start();
  AdvanceToPoint(3);
  controller_.Stop();
  controller_.Acknowledge();
  EXPECT_EQ(FinishRun(), std::vector<Note>{Note::kRunStopped});
  EXPECT_EQ(controller_.outcome(), RunOutcome::kStopped);
  EXPECT_FALSE(controller_.IsBusy());
  EXPECT_EQ(controller_.progressText(), "");
  EXPECT_FALSE(document_.engine.allocated());
  // The rows up to the stop are on disk; nothing after them ran.
  EXPECT_EQ(Rows().size(), 3u);
  EXPECT_EQ(document_.engine.iteration, 0);
  const std::string report = ReadText(folder_.path() / "model.txt");
  EXPECT_NE(report.find("KINETIC PARAMETERS"), std::string::npos);
  EXPECT_EQ(report.find("STEADY STATE"), std::string::npos);
}

TEST_F(RunControlThreadTest, AStopDuringAPauseEndsTheRun) {
  Start();
  AdvanceToPoint(3);
  controller_.Pause();
  controller_.Acknowledge();
  ASSERT_EQ(observer_.Next().note, Note::kPaused);
  controller_.Stop();
  EXPECT_EQ(FinishRun(), (std::vector<Note>{Note::kResumed, Note::kRunStopped}));
  EXPECT_EQ(controller_.outcome(), RunOutcome::kStopped);
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(RunControlThreadTest, AStopAskedTogetherWithAPauseIsNotWaitedOut) {
  Start();
  AdvanceToPoint(2);
  controller_.Pause();
  controller_.Stop();
  controller_.Acknowledge();
  EXPECT_EQ(FinishRun(), (std::vector<Note>{Note::kPaused, Note::kResumed, Note::kRunStopped}));
  EXPECT_EQ(controller_.outcome(), RunOutcome::kStopped);
}

TEST_F(RunControlThreadTest, ResumeBeforeThePauseIsReachedWithdrawsIt) {
  Start();
  AdvanceToPoint(2);
  controller_.Pause();
  controller_.Resume();
  controller_.Acknowledge();
  EXPECT_EQ(FinishRun(), std::vector<Note>{Note::kRunFinished});
  EXPECT_EQ(Rows().size(), 11u);
}

TEST_F(RunControlThreadTest, ResumeSetsTheSleepTimeOfTheRestOfTheRun) {
  Start();
  AdvanceToPoint(2);
  controller_.Pause();
  controller_.Acknowledge();
  ASSERT_EQ(observer_.Next().note, Note::kPaused);
  controller_.Resume(0);
  EXPECT_EQ(FinishRun(), (std::vector<Note>{Note::kResumed, Note::kRunFinished}));
  EXPECT_EQ(document_.settings.sleepTime, 0);
}

TEST_F(RunControlThreadTest, ATimeCourseWithoutAPointLimitRunsUntilStopped) {
  document_.settings.points = 0;
  document_.settings.endTime = 1.0;
  document_.settings.dynamicsData.file.clear();
  document_.selections.interactive.clear();
  ASSERT_TRUE(controller_.StartRun(sink_));
  ASSERT_EQ(observer_.Next().note, Note::kRunStarting);
  controller_.Stop();
  controller_.Acknowledge();
  EXPECT_EQ(FinishRun(), std::vector<Note>{Note::kRunStopped});
  EXPECT_EQ(controller_.outcome(), RunOutcome::kStopped);
}

TEST_F(RunControlThreadTest, ASecondRunStartsOnlyAfterTheFirstEnded) {
  Start();
  EXPECT_FALSE(controller_.StartRun(sink_));
  EXPECT_EQ(FinishRun(), std::vector<Note>{Note::kRunFinished});
  Start();
  EXPECT_EQ(FinishRun(), std::vector<Note>{Note::kRunFinished});
  EXPECT_EQ(document_.engine.iteration, 1);
  EXPECT_EQ(Rows().size(), 11u);
}

TEST_F(RunControlThreadTest, ScanProgressWaitsForItsAcknowledgement) {
  document_.settings.dynamics = 0;
  document_.settings.report = 0;
  ScanItem s(MakeOutputItem(kInitialConcentration, "S"));
  s.min = 1.0;
  s.max = 4.0;
  s.density = 4;
  document_.scan.enabled = 1;
  document_.scan.items = {s};
  Start();
  // The first point always reports, before any iteration was completed.
  const Notification first = observer_.Next();
  ASSERT_EQ(first.note, Note::kScanProgress);
  EXPECT_EQ(first.value, 0);
  EXPECT_EQ(document_.engine.totalIterations, 4);
  EXPECT_EQ(document_.engine.iteration, 0);
  EXPECT_EQ(controller_.remainingTimeText(), "--:--:--");
  controller_.Acknowledge();
  EXPECT_EQ(FinishRun(), std::vector<Note>{Note::kRunFinished});
  EXPECT_EQ(document_.engine.iteration, 4);
  EXPECT_EQ(document_.model.metabolites[document_.model.FindMetabolite("S")].initialConcentration,
            kChain.s);
}

TEST_F(RunControlThreadTest, DestroyingTheControllerOfAPausedRunEndsIt) {
  auto controller = std::make_unique<RunController>(document_, random_);
  controller->SetObserver(&observer_);
  ASSERT_TRUE(controller->StartRun(sink_));
  ASSERT_EQ(observer_.Next().note, Note::kRunStarting);
  controller->Acknowledge();
  ASSERT_EQ(observer_.Next().note, Note::kPointReady);
  controller->Pause();
  controller->Acknowledge();
  ASSERT_EQ(observer_.Next().note, Note::kPaused);
  controller.reset();
  EXPECT_EQ(observer_.Next().note, Note::kResumed);
  EXPECT_EQ(observer_.Next().note, Note::kRunStopped);
  EXPECT_FALSE(document_.engine.allocated());
}

TEST_F(RunControlThreadTest, AnInteractiveRunShowsAsManyPointsAsItsPlotHolds) {
  document_.settings.points = 200;
  document_.settings.report = 0;
  CountingObserver counting;
  HeadlessRunOptions options;
  options.observer = &counting;
  options.pointsShown = true;
  const HeadlessRunResult result = RunDocumentToEnd(document_, random_, sink_, options);
  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(counting.points, InteractivePacingFor(200).plotPoints);
  EXPECT_EQ(Rows().size(), 201u);
}

TEST_F(RunControlThreadTest, WithoutItemsForTheWindowNoPointIsShown) {
  document_.selections.interactive.clear();
  CountingObserver counting;
  HeadlessRunOptions options;
  options.observer = &counting;
  options.pointsShown = true;
  const HeadlessRunResult result = RunDocumentToEnd(document_, random_, sink_, options);
  EXPECT_EQ(result.outcome, RunOutcome::kFinished);
  EXPECT_EQ(counting.points, 0);
  EXPECT_EQ(Rows().size(), 11u);
}

TEST(RunControlEventTest, ASetIsConsumedByOneWait) {
  AutoResetEvent event;
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.TryWait());
  event.Set();
  event.Set();  // a second Set before the wait changes nothing
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.IsSet());  // looking does not consume
  EXPECT_TRUE(event.TryWait());
  EXPECT_FALSE(event.TryWait());
  event.Set();
  event.Wait();  // returns at once
  EXPECT_FALSE(event.IsSet());
  event.Set();
  event.Reset();
  EXPECT_FALSE(event.TryWait());
}

TEST(RunControlEventTest, ASetReleasesAThreadThatWaits) {
  AutoResetEvent go, done;
  int value = 0;
  std::thread waiter([&] {
    go.Wait();
    value = 1;  // written after the release, read after `done`
    done.Set();
  });
  go.Set();
  done.Wait();
  EXPECT_EQ(value, 1);
  waiter.join();
  EXPECT_FALSE(go.IsSet());
}

}  // namespace
}  // namespace vireon::test
