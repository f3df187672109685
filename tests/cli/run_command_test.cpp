// `vireon run` end to end: the built program on the bundled examples and on
// models made to fail, and the command's entry function called directly.

#include "cli/run_command.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/cli_test_support.h"
#include "cli/command_line.h"
#include "cli/vireon_command.h"
#include "document/document.h"
#include "document/model_file.h"
#include "engine/run_observer.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/file_lock.h"
#include "model/message_sink.h"
#include "output/output_item.h"
#include "scan/scan_item.h"
#include "support/expect_close.h"

namespace vireon::test {
namespace {

namespace fs = std::filesystem;

std::string BaseName(const std::string& fileName) {
  return fileName.substr(0, fileName.rfind('.'));
}

bool NonEmptyFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && fs::file_size(path, error) > 0;
}

class RunCommandTest : public CliFolder {
 protected:
  void SetUp() override {
    CliFolder::SetUp();
    BuildBuiltInKineticTypes(catalogue_);
  }

  // An example as a document, to change before it is saved under `name`.
  void LoadExample(const std::string& example, Document& document) {
    RecordingSink sink;
    ASSERT_TRUE(ReadModelFile(document, (ExamplesFolder() / example).string(), catalogue_,
                              DefaultValues(), sink));
  }
  fs::path Save(Document& document, const std::string& name) {
    RecordingSink sink;
    const fs::path path = folder() / name;
    EXPECT_TRUE(WriteModelFile(document, path.string(), catalogue_, sink));
    return path;
  }

  KineticCatalogue catalogue_;
};

TEST_F(RunCommandTest, RunsEveryExampleToItsEnd) {
  for (const std::string& example : kExampleModels) {
    SCOPED_TRACE(example);
    const fs::path model = CopyExample(example);
    const std::string before = ReadText(model);
    const ProgramResult result = RunVireon({"run", model.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;

    const std::string base = BaseName(example);
    const fs::path report = folder() / (base + ".txt");
    const fs::path timeCourse = folder() / (base + "-timecourse.dat");
    const fs::path steadyState = folder() / (base + "-steadystate.dat");
    EXPECT_TRUE(NonEmptyFile(report));
    EXPECT_TRUE(NonEmptyFile(timeCourse));
    EXPECT_TRUE(NonEmptyFile(steadyState));
    EXPECT_NE(result.out.find("Report:             " + report.string() + "\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("Time-course data:   " + timeCourse.string() + "\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("Steady-state data:  " + steadyState.string() + "\n"),
              std::string::npos);
    // The report carries every section the example asks for.
    const std::string text = ReadText(report);
    for (const char* section :
         {"STRUCTURAL ANALYSIS", "RESULTS OF INTEGRATION", "STEADY STATE SOLUTION",
          "KINETIC STABILITY ANALYSIS", "METABOLIC CONTROL ANALYSIS"}) {
      EXPECT_NE(text.find(section), std::string::npos) << section;
    }
    EXPECT_EQ(result.err.find("Errors in this simulation"), std::string::npos) << result.err;
    // A batch run does not save the model.
    EXPECT_EQ(ReadText(model), before);
  }
}

// One line of titles and a row per point, from time 0 to the end time.
TEST_F(RunCommandTest, TimeCourseFileHoldsEveryPoint) {
  Document document;
  LoadExample("michaelis_menten.vrn", document);
  const fs::path model = CopyExample("michaelis_menten.vrn");
  ASSERT_EQ(RunVireon({"run", "--quiet", model.string()}).exitStatus, 0);
  const std::string data = ReadText(folder() / "michaelis_menten-timecourse.dat");
  EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 1 + document.settings.points + 1);
}

// Counts what a run tells its listener.
class ListeningObserver : public RunObserver {
 public:
  void RunStarting() override { ++starting; }
  void RunFinished() override { ++finished; }
  void PointReady() override { ++points; }
  std::atomic<int> starting{0}, finished{0}, points{0};
};

// A model with items for the window, in real time at a slow pace: a batch
// run shows no window, so it is told of no point and never waits for one
// (paced, this run would take its 30 s of model time on the clock).
TEST_F(RunCommandTest, ABatchRunIsNeverPacedByTheWindowsItems) {
  Document document;
  LoadExample("michaelis_menten.vrn", document);
  ASSERT_FALSE(document.selections.interactive.empty());
  ASSERT_GE(document.settings.endTime, 30.0);
  document.settings.realTime = 1;
  document.settings.sleepTime = 2000;
  const fs::path model = Save(document, "paced.vrn");
  const cli::ParsedCommandLine parsed =
      cli::ParseCommandLine({"run", "--quiet", model.string(), "--settings",
                        (folder() / "run.ini").string(), "--kdb", (folder() / "run.kdb").string()});
  ASSERT_TRUE(parsed.commandLine.has_value()) << parsed.error;
  std::ostringstream out, err;
  ListeningObserver listener;
  EXPECT_EQ(cli::RunCommand(*parsed.commandLine, out, err, &listener), cli::kExitSuccess)
      << err.str();
  EXPECT_EQ(listener.starting, 1);
  EXPECT_EQ(listener.finished, 1);
  EXPECT_EQ(listener.points, 0);
  const std::string data = ReadText(folder() / "michaelis_menten-timecourse.dat");
  EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 1 + document.settings.points + 1);
}

// A data file that another run is writing (here: this process holds its
// lock) is left alone: the run does not start and exits 1, naming the file
// and the process.
TEST_F(RunCommandTest, ARunWhoseOutputAnotherRunWritesExitsOneAndLeavesItAlone) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  const fs::path data = folder() / "michaelis_menten-timecourse.dat";
  WriteText(data, "another run's rows\n");
  {
    OutputLocks held;
    const std::vector<std::string> paths = {data.string()};
    ASSERT_FALSE(held.Take(paths).has_value());
    const ProgramResult result = RunVireon({"run", "--quiet", model.string()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("\"" + data.string() + "\" is being written by another run (process " +
                              std::to_string(::getpid()) + ")"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(ReadText(data), "another run's rows\n");
    EXPECT_FALSE(fs::exists(folder() / "michaelis_menten.txt"));
  }
  EXPECT_EQ(RunVireon({"run", "--quiet", model.string()}).exitStatus, 0);
  EXPECT_NE(ReadText(data), "another run's rows\n");
}

TEST_F(RunCommandTest, TheRandomSeedIsAccepted) {
  const fs::path model = CopyExample("brusselator.vrn");
  const ProgramResult result = RunVireon({"run", model.string(), "--seed", "12345", "--quiet"});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
}

TEST_F(RunCommandTest, SettingsAndDatabaseMayBeNamed) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  const fs::path settings = folder() / "elsewhere" / "my.ini";
  const fs::path database = folder() / "elsewhere" / "my.kdb";
  fs::create_directories(settings.parent_path());
  const ProgramResult result = RunVireon(
      {"run", model.string(), "--settings", settings.string(), "--kdb", database.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_TRUE(fs::exists(settings));
  EXPECT_TRUE(fs::exists(database));
  EXPECT_FALSE(fs::exists(ConfigHome() / "vireon" / "vireon.ini"));
}

TEST_F(RunCommandTest, MissingModelExitsOneWithTheReason) {
  const ProgramResult result = RunVireon({"run", (folder() / "absent.vrn").string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("The file could not be opened."), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("vireon: could not load"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

TEST_F(RunCommandTest, BrokenModelExitsOneWithTheLine) {
  const fs::path model = folder() / "broken.vrn";
  WriteText(model, "This is not a model\n");
  const ProgramResult result = RunVireon({"run", model.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("Error in line 1"), std::string::npos) << result.err;
}

TEST_F(RunCommandTest, TruncatedModelExitsOne) {
  const std::string whole = ReadText(ExamplesFolder() / "branched_pathway.vrn");
  const fs::path model = folder() / "truncated.vrn";
  WriteText(model, whole.substr(0, whole.size() / 2));
  const ProgramResult result = RunVireon({"run", model.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("vireon: could not load"), std::string::npos) << result.err;
}

TEST_F(RunCommandTest, ModelWithoutStepsDoesNotStart) {
  Document document;
  NewDocument(document, DefaultValues());
  const fs::path model = Save(document, "empty.vrn");
  const ProgramResult result = RunVireon({"run", model.string()});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("You have not yet defined a model."), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("could not start"), std::string::npos);
  EXPECT_FALSE(fs::exists(folder() / "empty.txt"));
}

TEST_F(RunCommandTest, BadArgumentsExitTwoWithTheUsage) {
  const ProgramResult result = RunVireon({"run", "--seed", "x", "m.vrn"});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_NE(result.err.find("--seed needs a whole number"), std::string::npos);
  EXPECT_NE(result.err.find("usage: vireon run MODEL.vrn"), std::string::npos);
  EXPECT_EQ(RunVireon({}).exitStatus, 2);
  EXPECT_EQ(RunVireon({"explode"}).exitStatus, 2);
}

TEST_F(RunCommandTest, VersionAndHelpOfTheProgram) {
  const ProgramResult version = RunVireon({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out.rfind("Vireon version 3.00\nCompiled ", 0), 0u) << version.out;
  const ProgramResult help = RunVireon({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_EQ(help.out, cli::HelpText());
}

// A report that cannot be written goes to the error log; the run goes on to
// its end and the log is printed.
TEST_F(RunCommandTest, PrintsTheErrorLogAtTheEnd) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  fs::create_directory(folder() / "michaelis_menten.txt");
  const ProgramResult result = RunVireon({"run", model.string()});
  EXPECT_EQ(result.exitStatus, cli::kExitIncomplete) << result.err;
  EXPECT_NE(result.err.find("Errors in this simulation:\n"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find('\r'), std::string::npos);
  EXPECT_TRUE(NonEmptyFile(folder() / "michaelis_menten-steadystate.dat"));
}

TEST_F(RunCommandTest, ScanRunsEveryPoint) {
  Document document;
  LoadExample("michaelis_menten.vrn", document);
  ScanItem item(MakeOutputItem(kKineticConstant, "catalysis", "k"));
  item.min = 1.0;
  item.max = 3.0;
  item.density = 5;
  document.scan.items.push_back(item);
  document.scan.enabled = 1;
  document.settings.dynamics = 0;
  const fs::path model = Save(document, "scan.vrn");

  const ProgramResult result = RunVireon({"run", model.string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  // Not a terminal: no progress bar.
  EXPECT_EQ(result.err.find("scan ["), std::string::npos);
  // A title row and one row of values per scan point.
  std::istringstream data(ReadText(folder() / "michaelis_menten-steadystate.dat"));
  int titles = 0, rows = 0;
  for (std::string line; std::getline(data, line);) {
    if (line.empty()) continue;
    ++(line[0] == '[' ? titles : rows);
  }
  EXPECT_EQ(titles, 1);
  EXPECT_EQ(rows, 5);
}

// A scan whose 100000 items are all masters (loops nested 100000 deep)
// runs on one thread and on several until Ctrl-C stops it, as any scan.
TEST_F(RunCommandTest, AScanOfAHundredThousandMastersRunsUntilStopped) {
  Document document;
  LoadExample("michaelis_menten.vrn", document);
  ScanItem item(MakeOutputItem(kKineticConstant, "catalysis", "k"));
  item.min = 1.0;
  item.max = 3.0;
  item.density = 2;
  item.independent = 1;
  document.scan.items.assign(100000, item);
  document.scan.enabled = 1;
  // Steady states alone: a point hears no stop inside it, only between points.
  document.settings.dynamics = 0;
  document.settings.report = 0;
  const fs::path model = Save(document, "deep.vrn");
  const fs::path data = folder() / "michaelis_menten-steadystate.dat";
  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(jobs);
    fs::remove(data);
    const StartedProgram started = StartVireon({"run", model.string(), "--jobs", jobs});
    ASSERT_GT(started.pid, 0);
    constexpr auto kPatience = std::chrono::seconds(120);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    std::error_code error;
    while (std::chrono::steady_clock::now() < deadline &&
           !(fs::exists(data, error) && fs::file_size(data, error) > 2048)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(started.pid, SIGINT);
    const ProgramResult result = FinishProgram(started);
    EXPECT_EQ(result.exitStatus, cli::kExitStopped) << result.err;
    EXPECT_GT(fs::file_size(data, error), 2048u);
  }
}

// A random scan names its seed; the same seed draws the same values again.
TEST_F(RunCommandTest, RandomScanIsRepeatedByItsSeed) {
  Document document;
  LoadExample("michaelis_menten.vrn", document);
  ScanItem item(MakeOutputItem(kKineticConstant, "catalysis", "k"));
  item.min = 1.0;
  item.max = 3.0;
  item.density = 4;
  item.grid = kScanUniform;
  document.scan.items.push_back(item);
  document.scan.enabled = 1;
  document.settings.dynamics = 0;
  const fs::path model = Save(document, "random.vrn");
  const fs::path data = folder() / "michaelis_menten-steadystate.dat";

  const ProgramResult first = RunVireon({"run", model.string()});
  ASSERT_EQ(first.exitStatus, 0) << first.err;
  const std::size_t at = first.out.find("Random seed:        ");
  ASSERT_NE(at, std::string::npos) << first.out;
  const std::string seed = first.out.substr(at + 20, first.out.find('\n', at) - at - 20);
  const std::string firstData = ReadText(data);

  const ProgramResult again = RunVireon({"run", model.string(), "--seed", seed});
  ASSERT_EQ(again.exitStatus, 0) << again.err;
  EXPECT_EQ(ReadText(data), firstData);
  EXPECT_NE(again.out.find("Random seed:        " + seed + "\n"), std::string::npos);

  const ProgramResult other = RunVireon({"run", model.string(), "--seed", seed + "1"});
  ASSERT_EQ(other.exitStatus, 0) << other.err;
  EXPECT_NE(ReadText(data), firstData);
}

// A time course of ten million points runs long; Ctrl-C stops it cleanly,
// with the report and data files closed.
TEST_F(RunCommandTest, InterruptStopsALongRun) {
  Document document;
  LoadExample("brusselator.vrn", document);
  document.settings.points = 10000000;
  document.settings.endTime = 1e6;
  const fs::path model = Save(document, "endless.vrn");
  const fs::path data = folder() / "brusselator-timecourse.dat";

  const StartedProgram started = StartVireon({"run", model.string()});
  ASSERT_GT(started.pid, 0);
  // Waits until the run is well under way (rows written to its data file).
  constexpr auto kPatience = std::chrono::seconds(60);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  std::error_code error;
  while (std::chrono::steady_clock::now() < deadline &&
         !(fs::exists(data, error) && fs::file_size(data, error) > 4096)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(kill(started.pid, SIGINT), 0);
  const ProgramResult result = FinishProgram(started);
  EXPECT_EQ(result.exitStatus, cli::kExitStopped) << result.err;
  EXPECT_NE(result.err.find("stopping the run"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("the run was stopped"), std::string::npos) << result.err;
  EXPECT_TRUE(NonEmptyFile(folder() / "endless.txt"));
  // Closed on a whole row.
  const std::string rows = ReadText(data);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.back(), '\n');
}

// The entry function, called in this process (with the settings and the
// database in the scratch folder, never the user's).
TEST_F(RunCommandTest, EntryFunctionRunsAModel) {
  const fs::path model = CopyExample("branched_pathway.vrn");
  std::ostringstream out, err;
  const int status =
      cli::RunVireonCommand({"run", model.string(), "--quiet", "--settings",
                             (folder() / "s.ini").string(), "--kdb", (folder() / "u.kdb").string()},
                            out, err);
  EXPECT_EQ(status, cli::kExitSuccess) << err.str();
  EXPECT_NE(out.str().find((folder() / "branched_pathway.txt").string()), std::string::npos);
  EXPECT_TRUE(NonEmptyFile(folder() / "branched_pathway-steadystate.dat"));
}

TEST_F(RunCommandTest, EntryFunctionRefusesAMissingModel) {
  std::ostringstream out, err;
  const int status =
      cli::RunVireonCommand({"run", (folder() / "none.vrn").string(), "--settings",
                             (folder() / "s.ini").string(), "--kdb", (folder() / "u.kdb").string()},
                            out, err);
  EXPECT_EQ(status, cli::kExitFailure);
  EXPECT_NE(err.str().find("could not load"), std::string::npos);
}

// ------------------------------------------------------------ hostile input

// Waits for a started program at most `limit`; one that is still running
// then is killed, and the result says -1.
ProgramResult FinishWithin(const StartedProgram& started, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(started.pid, &status, WNOHANG) == started.pid) {
      ProgramResult result;
      if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
      result.err = ReadText(started.errFile);
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(started.pid, SIGKILL);
  ProgramResult result = FinishProgram(started);
  result.exitStatus = -1;
  return result;
}

// A model, database or settings file that is a FIFO or an endless device
// is refused at once: the command neither waits nor reads it.
TEST_F(RunCommandTest, InputsThatAreNotRegularFilesAreRefusedWithoutWaiting) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  const fs::path fifo = folder() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<std::vector<std::string>> commands = {
      {"run", fifo.string()},
      {"run", "/dev/zero"},
      {"run", model.string(), "--kdb", fifo.string()},
      {"run", model.string(), "--kdb", "/dev/zero"},
      {"plot", fifo.string()},
      {"import", fifo.string()},
      {"simulate", fifo.string()},
      {"simulate", "/dev/zero"},
  };
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(::testing::PrintToString(command));
    const ProgramResult result = FinishWithin(StartVireon(command), std::chrono::seconds(30));
    EXPECT_EQ(result.exitStatus, cli::kExitFailure) << result.err;
    EXPECT_NE(result.err.find("not a regular file"), std::string::npos) << result.err;
  }
  // Settings that cannot be read leave the built-in values: the run goes on.
  const ProgramResult settings = FinishWithin(
      StartVireon({"run", model.string(), "--settings", fifo.string()}), std::chrono::seconds(60));
  EXPECT_EQ(settings.exitStatus, 0) << settings.err;
  EXPECT_NE(settings.err.find("not a regular file"), std::string::npos) << settings.err;
}

// --settings naming a file that is no settings file leaves it byte for byte.
TEST_F(RunCommandTest, AFileNamedAsSettingsByMistakeIsNotWrittenOver) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  const fs::path readme = folder() / "README.md";
  WriteText(readme, "# Notes\n\nRun `vireon run m.vrn` to see it work.\n");
  for (const fs::path& settings : {model, readme}) {
    SCOPED_TRACE(settings.filename().string());
    const std::string before = ReadText(settings);
    const ProgramResult result =
        RunVireon({"run", model.string(), "--settings", settings.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.err.find("could not be read as a settings file"), std::string::npos)
        << result.err;
    EXPECT_EQ(ReadText(settings), before);
  }
}

// Names a model file hands the run: the outputs stay in the model's folder,
// off the model and off each other, and the exit status tells.
TEST_F(RunCommandTest, OutputsNeverLeaveTheFolderOrReplaceTheModel) {
  Document document;
  LoadExample("michaelis_menten.vrn", document);
  document.settings.report = 1;
  document.settings.dynamicsData.file = "../escaped.dat";
  document.settings.steadyStateData.file = "hostile.vrn";
  fs::create_directories(folder() / "models");
  const fs::path model = Save(document, "models/hostile.vrn");
  const std::string before = ReadText(model);

  const ProgramResult result = RunVireon({"run", model.string()});
  EXPECT_EQ(result.exitStatus, cli::kExitIncomplete) << result.err;
  EXPECT_NE(result.err.find("(DynamicsFile), \"../escaped.dat\", is not a plain file name"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("(SSFile), \"hostile.vrn\", is the name of the model file itself"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(ReadText(model), before);
  EXPECT_FALSE(fs::exists(folder() / "escaped.dat"));
  EXPECT_TRUE(NonEmptyFile(folder() / "models" / "hostile.txt"));

  // A model that is itself a .txt file keeps itself: its report takes
  // another name.
  document.settings.dynamicsData.file = "tc.dat";
  document.settings.steadyStateData.file = "";
  const fs::path textModel = Save(document, "notes.txt");
  const std::string text = ReadText(textModel);
  const ProgramResult plain = RunVireon({"run", textModel.string()});
  EXPECT_EQ(plain.exitStatus, 0) << plain.err;
  EXPECT_EQ(ReadText(textModel), text);
  EXPECT_TRUE(NonEmptyFile(folder() / "notes.txt.txt"));
}

// A link planted where the report goes is not followed: the file it points
// to stays as it was.
TEST_F(RunCommandTest, ALinkPlantedWhereTheReportGoesIsNotFollowed) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  fs::create_directories(folder() / "elsewhere");
  const fs::path target = folder() / "elsewhere" / "precious.txt";
  WriteText(target, "keep me\n");
  fs::create_symlink(target, folder() / "michaelis_menten.txt");
  const ProgramResult result = RunVireon({"run", model.string()});
  EXPECT_EQ(result.exitStatus, cli::kExitIncomplete) << result.err;
  EXPECT_NE(result.err.find("michaelis_menten.txt\": it is a symbolic link"), std::string::npos)
      << result.err;
  EXPECT_EQ(ReadText(target), "keep me\n");
  EXPECT_TRUE(NonEmptyFile(folder() / "michaelis_menten-steadystate.dat"));
}

// A run that could write none of its outputs has not done its work.
TEST_F(RunCommandTest, ARunThatWroteNoneOfItsOutputsExitsOne) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  for (const char* name : {"michaelis_menten.txt", "michaelis_menten-timecourse.dat",
                           "michaelis_menten-steadystate.dat"}) {
    fs::create_directory(folder() / name);
  }
  const ProgramResult result = RunVireon({"run", model.string()});
  EXPECT_EQ(result.exitStatus, cli::kExitFailure) << result.err;
  EXPECT_NE(result.err.find("the run wrote none of its outputs"), std::string::npos) << result.err;
}

// Points=0 is a time course until the user stops it, as the desktop
// program runs it; a batch run refuses it instead of running for ever.
TEST_F(RunCommandTest, ATimeCourseWithoutEndIsRefused) {
  Document document;
  LoadExample("brusselator.vrn", document);
  document.settings.points = 0;
  const fs::path model = Save(document, "endless.vrn");
  const ProgramResult result = FinishWithin(StartVireon({"run", model.string()}),
                                            std::chrono::seconds(60));
  EXPECT_EQ(result.exitStatus, cli::kExitFailure) << result.err;
  EXPECT_NE(result.err.find("asks for a time course without end (Points=0"), std::string::npos)
      << result.err;
  EXPECT_FALSE(fs::exists(folder() / "brusselator-timecourse.dat"));
  // Without the time course the points do not matter.
  document.settings.dynamics = 0;
  const fs::path steady = Save(document, "steady.vrn");
  EXPECT_EQ(RunVireon({"run", steady.string()}).exitStatus, 0);
}

// An end time that is not a number, or so near 0 that the integrator's
// steps underflow, is set back to the default as the model is read, with a
// warning: the run reports numbers, not NaN.
TEST_F(RunCommandTest, AnUnusableEndTimeIsSetToTheDefaultWhenTheModelIsRead) {
  const std::string original = ReadText(ExamplesFolder() / "michaelis_menten.vrn");
  const std::string line = "EndTime=3.000000e+01";
  ASSERT_NE(original.find(line), std::string::npos);
  for (const char* endTime : {"nan", "-inf", "1e-200", "4e-320"}) {
    SCOPED_TRACE(endTime);
    std::string text = original;
    text.replace(text.find(line), line.size(), std::string("EndTime=") + endTime);
    const fs::path model = folder() / "michaelis_menten.vrn";
    WriteText(model, text);
    const ProgramResult result = RunVireon({"run", model.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.err.find("The end time of the integration was not a number, or nearer 0 "
                              "than 1e-100."),
              std::string::npos)
        << result.err;
    const std::string report = ReadText(folder() / "michaelis_menten.txt");
    EXPECT_EQ(report.find("nan"), std::string::npos);
    const std::string rows = ReadText(folder() / "michaelis_menten-timecourse.dat");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.find("nan"), std::string::npos);
    // The default end time of the built-in settings.
    const std::string last = rows.substr(rows.rfind('\n', rows.size() - 2) + 1);
    EXPECT_CLOSE(std::stod(last), 10.0, 1e-12, 1e-12) << last;
  }
}

// Under a file size limit of 2 KiB (a full disk as the run sees it) the
// time course does not fit: standard output lists only the files that
// were written whole, standard error names the other.
TEST_F(RunCommandTest, ARunOnAFullDiskListsOnlyWhatItWrote) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  const fs::path timeCourse = folder() / "michaelis_menten-timecourse.dat";
  const fs::path steadyState = folder() / "michaelis_menten-steadystate.dat";
  const ProgramResult result =
      RunProgram("/bin/sh", {"-c", "ulimit -f 4 && exec \"$0\" \"$@\"",
                             VireonProgram().string(), "run", model.string()},
                 ConfigHome(), folder());
  EXPECT_EQ(result.exitStatus, cli::kExitIncomplete) << result.err;
  EXPECT_EQ(result.out.find(timeCourse.string()), std::string::npos) << result.out;
  EXPECT_NE(result.err.find("the run did not completely write " + timeCourse.string()),
            std::string::npos)
      << result.err;
  // The steady-state file is one short row: it was written, and listed.
  EXPECT_TRUE(NonEmptyFile(steadyState));
  EXPECT_NE(result.out.find("Steady-state data:  " + steadyState.string()), std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace vireon::test
