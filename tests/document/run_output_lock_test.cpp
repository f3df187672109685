// Two runs that name the same output: the second one refuses to start,
// names the process that holds the file, and leaves the file alone; once
// the first run has ended its files are free again.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "document/headless_run.h"
#include "document/run_control.h"
#include "engine/random.h"
#include "model/file_lock.h"
#include "model/message_sink.h"
#include "output/output_item.h"
#include "run_test_support.h"
#include "support/files.h"
#include "support/kinetic_models.h"

namespace vireon {
namespace {

using test::MakeDocument;
using test::Note;
using test::QueueObserver;
using test::ReadText;
using test::TemporaryFolder;
using test::WriteText;

class RunOutputLockTest : public ::testing::Test {
 protected:
  // A model saved as `name` in the folder whose time course goes to
  // "shared.dyn", with its report on.
  Document SharedOutputDocument(const std::string& name) {
    Document d = MakeDocument(test::LinearTwoStep(2.0, 0.5, 1.0), folder_);
    d.pathName = folder_.folder() + name;
    d.settings.dynamics = 1;
    d.settings.report = 1;
    d.settings.endTime = 1.0;
    d.settings.points = 4;
    d.settings.dynamicsData.file = "shared.dyn";
    d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kTransientConcentration, "X")};
    return d;
  }

  static bool Refused(const RecordingSink& sink, const std::string& file, long holder) {
    for (const RecordingSink::Message& m : sink.messages()) {
      if (m.kind == RecordingSink::Kind::kWarning &&
          m.text.find("\"" + file + "\" is being written by another run (process " +
                      std::to_string(holder) + ")") != std::string::npos) {
        return true;
      }
    }
    return false;
  }

  TemporaryFolder folder_;
  RandomGenerator random_{4242u};
};

TEST_F(RunOutputLockTest, ASecondRunOfTheSameOutputRefusesToStartAndLeavesItAlone) {
  const std::string shared = (folder_ / "shared.dyn").string();
  WriteText(shared, "the first run's rows\n");
  Document first = SharedOutputDocument("first.vrn");
  Document second = SharedOutputDocument("second.vrn");

  // The first run holds its outputs from StartRun on; it waits at its first
  // notification until the test acknowledges it.
  QueueObserver observer;
  RunController firstRun(first, random_);
  firstRun.SetObserver(&observer);
  RecordingSink firstSink;
  ASSERT_TRUE(firstRun.StartRun(firstSink));
  ASSERT_EQ(observer.Next().note, Note::kRunStarting);

  RecordingSink secondSink;
  const HeadlessRunResult refused = RunDocumentToEnd(second, random_, secondSink);
  EXPECT_EQ(refused.outcome, RunOutcome::kNotStarted);
  EXPECT_TRUE(Refused(secondSink, shared, ::getpid())) << secondSink.messages().size();
  EXPECT_EQ(ReadText(shared), "the first run's rows\n");
  // The report the refused run would have made is not left behind empty.
  EXPECT_FALSE(std::filesystem::exists(folder_ / "second.txt"));

  firstRun.Acknowledge();
  for (;;) {
    const Note note = observer.Next().note;
    if (note == Note::kRunFinished || note == Note::kRunStopped) break;
    firstRun.Acknowledge();
  }
  firstRun.Wait();
  EXPECT_EQ(firstRun.outcome(), RunOutcome::kFinished);
  const std::string rows = ReadText(shared);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 5) << rows;
  EXPECT_EQ(rows.find('\0'), std::string::npos);

  // The first run has ended: its files are free for the second.
  RecordingSink thirdSink;
  const HeadlessRunResult after = RunDocumentToEnd(second, random_, thirdSink);
  EXPECT_EQ(after.outcome, RunOutcome::kFinished);
  EXPECT_EQ(after.errorLog, "");
  EXPECT_EQ(ReadText(shared), rows);
}

// Another process holds the report: the run names that process.
TEST_F(RunOutputLockTest, AnOutputHeldByAnotherProcessNamesThatProcess) {
  Document d = SharedOutputDocument("model.vrn");
  const std::string report = (folder_ / "model.txt").string();
  WriteText(report, "another run's report\n");

  int ready[2];
  int finish[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(finish), 0);
  // What the test printed so far is not printed again by the child.
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OutputLocks locks;
    const std::vector<std::string> paths = {report};
    const bool taken = !locks.Take(paths) && locks.size() == 1;
    char byte = taken ? 'y' : 'n';
    if (::write(ready[1], &byte, 1) != 1) ::_exit(2);
    (void)!::read(finish[0], &byte, 1);
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');

  RecordingSink sink;
  RunController controller(d, random_);
  EXPECT_FALSE(controller.StartRun(sink));
  EXPECT_TRUE(Refused(sink, report, child));
  EXPECT_EQ(ReadText(report), "another run's report\n");
  // Nothing of the refused run is left: the data file it would have made is
  // not there.
  EXPECT_FALSE(std::filesystem::exists(folder_ / "shared.dyn"));

  ASSERT_EQ(::write(finish[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  for (int fd : {ready[0], ready[1], finish[0], finish[1]}) ::close(fd);

  // The process has ended, and its lock with it.
  RecordingSink later;
  EXPECT_EQ(RunDocumentToEnd(d, random_, later).outcome, RunOutcome::kFinished);
  EXPECT_NE(ReadText(report), "another run's report\n");
}

// Two paths of one file (a hard link) are one lock, so a run never refuses
// itself; the existing rules refuse the second path.
TEST(OutputLocks, TwoPathsOfOneFileAreOneLock) {
  TemporaryFolder folder;
  const std::string a = (folder / "a.dat").string();
  const std::string b = (folder / "b.dat").string();
  WriteText(a, "");
  std::filesystem::create_hard_link(a, b);
  OutputLocks locks;
  const std::vector<std::string> paths = {a, b};
  EXPECT_FALSE(locks.Take(paths).has_value());
  EXPECT_EQ(locks.size(), 1);

  OutputLocks other;
  const std::vector<std::string> just = {b};
  const std::optional<OutputLocks::Refusal> refusal = other.Take(just);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->path, b);
  EXPECT_EQ(refusal->holder.processId, ::getpid());
  locks.Release();
  EXPECT_FALSE(other.Take(just).has_value());
}

}  // namespace
}  // namespace vireon
