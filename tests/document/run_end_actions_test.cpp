// What the desktop program does after a run, decided in the core: the
// error dialog's text, the stop sound and the report in the text editor,
// each only when every condition for it holds, and nothing after a stop.

#include "document/run_end_actions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "document/document.h"

namespace vireon {
namespace {

struct Conditions {
  RunOutcome outcome = RunOutcome::kFinished;
  bool soundOn = true;
  std::string soundFile = "/sounds/stop.wav";
  std::string onPath = "paplay aplay";  // the players found on the PATH
  bool loadReport = true;
  std::string editor = "/usr/bin/mousepad";
  bool reportOn = true;
  std::string reportFile = "/m/model.txt";
  std::string errorLog;
};

RunEndActions Decide(const Conditions& c) {
  Document document;
  document.settings.report = c.reportOn ? 1 : 0;
  document.settings.reportFile = c.reportFile;
  document.engine.errorLog = c.errorLog;
  Preferences preferences;
  preferences.soundEnabled = c.soundOn ? 1 : 0;
  preferences.stopSound = c.soundFile;
  preferences.loadReport = c.loadReport ? 1 : 0;
  HelperPaths helpers;
  helpers.textEditor = c.editor;
  const FindProgram find = [&c](std::string_view name) {
    const std::string word(name);
    return (" " + c.onPath + " ").find(" " + word + " ") != std::string::npos ? "/usr/bin/" + word
                                                                              : std::string();
  };
  return ActionsAfterRun(c.outcome, document, preferences, helpers, find);
}

TEST(RunEndActionsTest, EveryConditionHoldsThenAllThreeHappen) {
  Conditions c;
  c.errorLog = "Error in calculation of time course:\r\nfloating point overflow\r\n";
  const RunEndActions actions = Decide(c);
  EXPECT_EQ(actions.errorText, "Error in calculation of time course:\nfloating point overflow\n");
  EXPECT_EQ(actions.sound.program, "/usr/bin/paplay");
  EXPECT_EQ(actions.sound.arguments, std::vector<std::string>{"/sounds/stop.wav"});
  EXPECT_EQ(actions.report.program, "/usr/bin/mousepad");
  EXPECT_EQ(actions.report.arguments, std::vector<std::string>{"/m/model.txt"});
}

TEST(RunEndActionsTest, AnyMissingConditionLeavesItsActionOut) {
  struct Case {
    const char* what;
    void (*change)(Conditions&);
    bool sound;
    bool report;
  };
  const Case cases[] = {
      {"sound off", [](Conditions& c) { c.soundOn = false; }, false, true},
      {"no sound file", [](Conditions& c) { c.soundFile.clear(); }, false, true},
      {"no player", [](Conditions& c) { c.onPath = "mpg123"; }, false, true},
      {"report not loaded", [](Conditions& c) { c.loadReport = false; }, true, false},
      {"no editor", [](Conditions& c) { c.editor.clear(); }, true, false},
      {"report off", [](Conditions& c) { c.reportOn = false; }, true, false},
      {"no report file", [](Conditions& c) { c.reportFile.clear(); }, true, false},
  };
  for (const Case& k : cases) {
    Conditions c;
    k.change(c);
    const RunEndActions actions = Decide(c);
    EXPECT_EQ(!actions.sound.empty(), k.sound) << k.what;
    EXPECT_EQ(!actions.report.empty(), k.report) << k.what;
    EXPECT_TRUE(actions.errorText.empty()) << k.what;
  }
  // Without paplay the stop sound goes to aplay.
  Conditions c;
  c.onPath = "aplay";
  EXPECT_EQ(Decide(c).sound.program, "/usr/bin/aplay");
}

TEST(RunEndActionsTest, AStoppedRunDoesNothing) {
  for (RunOutcome outcome : {RunOutcome::kStopped, RunOutcome::kNotStarted}) {
    Conditions c;
    c.outcome = outcome;
    c.errorLog = "something\r\n";
    const RunEndActions actions = Decide(c);
    EXPECT_TRUE(actions.errorText.empty());
    EXPECT_TRUE(actions.sound.empty());
    EXPECT_TRUE(actions.report.empty());
  }
}

TEST(RunEndNoticeTest, SaysHowTheRunEndedAndHowLongItTook) {
  EXPECT_EQ(RunEndNotice(RunOutcome::kFinished, 2.44, false, 1, false), "Run finished in 2.4 s");
  EXPECT_EQ(RunEndNotice(RunOutcome::kStopped, 0.8, false, 1, false), "Run stopped after 0.8 s");
  EXPECT_EQ(RunEndNotice(RunOutcome::kFinished, 65.2, true, 40, false),
            "Scan of 40 points finished in 1 min 05 s");
  EXPECT_EQ(RunEndNotice(RunOutcome::kFinished, 7500.0, true, 1, true),
            "Scan of 1 point finished in 2 h 05 min, with errors");
  EXPECT_EQ(RunEndNotice(RunOutcome::kFinished, -1.0, false, 1, false), "Run finished in 0.0 s");
  EXPECT_EQ(RunEndNotice(RunOutcome::kNotStarted, 1.0, false, 0, false), "");
}

// The report shown in the program's own window: its text, or the reason why
// there is none, in every case a modeller meets.
TEST(ReportToShowTest, ShowsTheReportOrSaysWhyNot) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("vireon-report-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  Document document;
  document.settings.report = 1;
  document.settings.reportFile = (folder / "model.txt").string();

  ShownReport shown = ReadReportToShow(document);
  EXPECT_TRUE(shown.text.empty());
  EXPECT_EQ(shown.problem, "There is no report yet: a run writes it to " +
                               document.settings.reportFile + ".");

  std::ofstream(document.settings.reportFile, std::ios::binary) << "RESULTS\r\n\nJ = 1\n";
  shown = ReadReportToShow(document);
  EXPECT_EQ(shown.text, "RESULTS\r\n\nJ = 1\n");
  EXPECT_EQ(shown.problem, "");

  document.settings.report = 0;
  shown = ReadReportToShow(document);
  EXPECT_TRUE(shown.text.empty());
  EXPECT_NE(shown.problem.find("writes no report"), std::string::npos) << shown.problem;
  document.settings.report = 1;

  // Larger than the window shows: said, and nothing read.
  std::filesystem::resize_file(document.settings.reportFile, kMaxShownReportSize + 1);
  shown = ReadReportToShow(document);
  EXPECT_TRUE(shown.text.empty());
  EXPECT_NE(shown.problem.find("too large to show here (16 MB)"), std::string::npos)
      << shown.problem;

  document.settings.reportFile.clear();
  EXPECT_NE(ReadReportToShow(document).problem.find("names no report file"), std::string::npos);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace vireon
