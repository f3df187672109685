// SIGTERM asks the desktop program to close: it asks nothing, dismisses the
// dialog that is open, and saves the kinetics database on its way out,
// merged with what another copy of the program saved meanwhile.

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QStringList>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <string>

#include "app/app_fixture.h"
#include "app/desktop_program.h"
#include "app/main_window.h"
#include "app/qt_message_sink.h"
#include "kinetics/kinetics_database.h"
#include "kinetics/user_type_helpers.h"
#include "model/replace_file.h"
#include "output/output_item.h"

namespace vireon {
namespace {

using test::AppFixture;

// The program is given this long to close before the test gives up on it.
constexpr int kCloseTimeoutMilliseconds = 20000;

MainWindow* FindMainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = qobject_cast<MainWindow*>(widget)) return window;
  }
  return nullptr;
}

class TerminationTest : public AppFixture {};

TEST_F(TerminationTest, SigtermClosesWithoutAskingAndSavesTheKineticsDatabase) {
  app_.catalogue.Insert(test::MakeMichaelisMenten("typed here"));
  // Another copy of the program saved a type of its own after this one
  // started.
  {
    KineticCatalogue other;
    other.Insert(test::MakeInhibitedMassAction("saved elsewhere"));
    std::string why;
    ASSERT_TRUE(ReplaceFileContents(folder_ / "vireon.kdb", KineticsDatabaseText(other), why));
  }

  bool dialogWasOpen = false;
  bool timedOut = false;
  // The timers go with the test, whether they fired or not.
  QObject guard;
  QTimer::singleShot(0, &guard, [&] {
    MainWindow* window = FindMainWindow();
    ASSERT_NE(window, nullptr);
    window->document().modified = true;
    QTimer::singleShot(50, &guard, [&] {
      dialogWasOpen = QApplication::activeModalWidget() != nullptr;
      std::raise(SIGTERM);
    });
    window->ShowAbout();  // modal: returns once SIGTERM has dismissed it
  });
  QTimer::singleShot(kCloseTimeoutMilliseconds, &guard, [&] {
    timedOut = true;
    QCoreApplication::exit(1);
  });

  QtMessageSink sink;
  const int status = RunDesktopProgram(app_, sink, QStringList{"vireon-gui"});
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(dialogWasOpen);
  EXPECT_EQ(FindMainWindow(), nullptr);

  KineticCatalogue saved;
  RecordingSink quiet;
  ASSERT_EQ(ReadKineticsDatabase(saved, folder_ / "vireon.kdb", quiet), DatabaseOutcome::kRead);
  EXPECT_TRUE(saved.Contains("typed here"));
  EXPECT_TRUE(saved.Contains("saved elsewhere"));

  // The handler is gone with the program: SIGTERM is what it was before.
  struct sigaction now {};
  ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

// A run in progress is stopped, with its files closed, before the program
// leaves; the database is saved all the same.
TEST_F(TerminationTest, SigtermDuringARunStopsItAndClosesTheProgram) {
  app_.catalogue.Insert(test::MakeMichaelisMenten("typed during a run"));
  bool started = false;
  bool timedOut = false;
  QObject guard;
  QTimer::singleShot(0, &guard, [&] {
    MainWindow* window = FindMainWindow();
    ASSERT_NE(window, nullptr);
    Document& document = window->document();
    AddSteps(document, {{"R1", "S -> X"}, {"R2", "X -> P"}});
    document.settings.dynamics = 1;
    document.settings.dynamicsData.file = "run.dyn";
    document.settings.points = 0;  // runs until stopped
    document.settings.endTime = 0.05;
    document.settings.sleepTime = 0;
    document.selections.timeCourse = {MakeOutputItem(kTime),
                                      MakeOutputItem(kTransientConcentration, "X")};
    ASSERT_TRUE(window->SaveTo(QString::fromStdString(PathIn("model.vrn"))));
    started = window->Run();
    QTimer::singleShot(200, &guard, [] { std::raise(SIGTERM); });
  });
  QTimer::singleShot(kCloseTimeoutMilliseconds, &guard, [&] {
    timedOut = true;
    QCoreApplication::exit(1);
  });

  QtMessageSink sink;
  const int status = RunDesktopProgram(app_, sink, QStringList{"vireon-gui"});
  EXPECT_TRUE(started);
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(status, 0);
  const std::string rows = ReadFile(PathIn("run.dyn"));
  EXPECT_GT(std::count(rows.begin(), rows.end(), '\n'), 1);

  KineticCatalogue saved;
  RecordingSink quiet;
  ASSERT_EQ(ReadKineticsDatabase(saved, folder_ / "vireon.kdb", quiet), DatabaseOutcome::kRead);
  EXPECT_TRUE(saved.Contains("typed during a run"));
}

}  // namespace
}  // namespace vireon
