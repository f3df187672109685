// vireon simulate on the limits of its input and output: the rows stream
// out as they are computed and read exactly as the table's CSV; a model
// that asks for too many points or none, an output that would replace what
// the command reads, and a standard output that cannot be written are
// refused with exit status 1.

#include "cli/simulate_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "cli/command_line.h"
#include "cli/vireon_command.h"
#include "document/document.h"
#include "document/model_file.h"
#include "document/time_course_table.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"

namespace vireon::test {
namespace {

namespace fs = std::filesystem;

class SimulateCommandTest : public CliFolder {
 protected:
  // The command in this process, with the settings and the database in the
  // scratch folder.
  int Simulate(std::vector<std::string> arguments, std::ostringstream& out,
               std::ostringstream& err) const {
    arguments.insert(arguments.begin(), "simulate");
    arguments.insert(arguments.end(), {"--settings", (folder() / "s.ini").string(), "--kdb",
                                       (folder() / "u.kdb").string()});
    return cli::RunVireonCommand(arguments, out, err);
  }

  // An example with its Points= line replaced.
  fs::path WithPoints(const std::string& example, const std::string& points) const {
    std::string text = ReadText(ExamplesFolder() / example);
    const std::size_t at = text.find("Points=");
    EXPECT_NE(at, std::string::npos);
    text.replace(at, text.find('\n', at) - at, "Points=" + points);
    const fs::path path = folder() / example;
    WriteText(path, text);
    return path;
  }
};

// Streaming changes nothing: standard output and -o both hold the bytes of
// the whole table's CSV, over many pieces of output.
TEST_F(SimulateCommandTest, StreamedRowsAreTheTablesCsvByteForByte) {
  for (const char* example : {"michaelis_menten.vrn", "brusselator.vrn", "robertson.vrn"}) {
    SCOPED_TRACE(example);
    const fs::path model = ExamplesFolder() / example;
    KineticCatalogue catalogue;
    BuildBuiltInKineticTypes(catalogue);
    Document document;
    RecordingSink sink;
    ASSERT_TRUE(ReadModelFile(document, model.string(), catalogue, DefaultValues(), sink));
    TaskSettings settings = document.settings;
    settings.points = 5000;
    const TimeCourseTable table = ComputeTimeCourseTable(document.model, settings);
    ASSERT_TRUE(table.errorLog.empty()) << table.errorLog;
    const std::string expected = cli::TimeCourseCsv(document.model, table, false);
    ASSERT_GT(expected.size(), 200000u);

    std::ostringstream out, err;
    EXPECT_EQ(Simulate({model.string(), "--points", "5000"}, out, err), cli::kExitSuccess)
        << err.str();
    EXPECT_EQ(out.str(), expected);
    const fs::path csv = folder() / "rows.csv";
    std::ostringstream none, fileErr;
    EXPECT_EQ(Simulate({model.string(), "--points", "5000", "-o", csv.string()}, none, fileErr),
              cli::kExitSuccess)
        << fileErr.str();
    EXPECT_EQ(none.str(), "");
    EXPECT_EQ(ReadText(csv), expected);
  }
}

// The model's Points= is held to the limit of --points: more is refused
// before anything is computed (no table of two billion rows in memory), and
// so is 0, a time course without end; --points overrides either.
TEST_F(SimulateCommandTest, AModelsPointsAreHeldToTheLimitOfPoints) {
  for (const char* points : {"2147483647", "10000001", "0"}) {
    SCOPED_TRACE(points);
    const fs::path model = WithPoints("michaelis_menten.vrn", points);
    const fs::path csv = folder() / "out.csv";
    const ProgramResult result = RunVireon({"simulate", model.string(), "-o", csv.string()});
    EXPECT_EQ(result.exitStatus, cli::kExitFailure) << result.err;
    EXPECT_NE(result.err.find(std::string(points) == "0" ? "without end (0 points); give --points"
                                                         : "more than the 10000000 simulate writes"),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(fs::exists(csv));
    const ProgramResult given = RunVireon({"simulate", model.string(), "--points", "4"});
    EXPECT_EQ(given.exitStatus, 0) << given.err;
    EXPECT_EQ(std::count(given.out.begin(), given.out.end(), '\n'), 6);
  }
}

// A failed time course leaves an existing -o file as it was and creates none.
TEST_F(SimulateCommandTest, AFailedTimeCourseLeavesTheOutputFileAsItWas) {
  const fs::path model = ExamplesFolder() / "michaelis_menten.vrn";
  const fs::path csv = folder() / "kept.csv";
  WriteText(csv, "old\n");
  // LSODA cannot reach an end time this far with its step limit.
  const ProgramResult result =
      RunVireon({"simulate", model.string(), "--end", "1e300", "--points", "1", "-o", csv.string()});
  EXPECT_EQ(result.exitStatus, cli::kExitFailure);
  EXPECT_NE(result.err.find("failed"), std::string::npos) << result.err;
  EXPECT_EQ(ReadText(csv), "old\n");
}

// An output that names a file the command reads, under its own name or
// another (a hard link, a symbolic link), is refused before anything is
// written: the model, the SBML source and the settings stay as they were.
TEST_F(SimulateCommandTest, AnOutputThatNamesAnInputIsRefused) {
  const fs::path model = CopyExample("michaelis_menten.vrn");
  const std::string text = ReadText(model);
  fs::create_hard_link(model, folder() / "hard.csv");
  fs::create_symlink(model, folder() / "soft.csv");
  // A first run writes the settings file.
  const fs::path settings = folder() / "mine.ini";
  ASSERT_EQ(RunVireon({"simulate", model.string(), "--settings", settings.string()}).exitStatus, 0);
  const std::string settingsText = ReadText(settings);
  ASSERT_FALSE(settingsText.empty());
  for (const fs::path& output : {model, folder() / "hard.csv", folder() / "soft.csv"}) {
    SCOPED_TRACE(output.filename().string());
    const ProgramResult result = RunVireon({"simulate", model.string(), "-o", output.string()});
    EXPECT_EQ(result.exitStatus, cli::kExitFailure);
    EXPECT_NE(result.err.find("would replace the model file " + model.string()),
              std::string::npos)
        << result.err;
    EXPECT_EQ(ReadText(model), text);
  }
  const ProgramResult overSettings = RunVireon(
      {"simulate", model.string(), "--settings", settings.string(), "-o", settings.string()});
  EXPECT_EQ(overSettings.exitStatus, cli::kExitFailure);
  EXPECT_NE(overSettings.err.find("would replace the settings file"), std::string::npos)
      << overSettings.err;
  EXPECT_EQ(ReadText(settings), settingsText);
  // A symbolic link to a file the command does not read is written through.
  WriteText(folder() / "elsewhere.csv", "");
  fs::create_symlink(folder() / "elsewhere.csv", folder() / "link.csv");
  const ProgramResult linked =
      RunVireon({"simulate", model.string(), "-o", (folder() / "link.csv").string()});
  EXPECT_EQ(linked.exitStatus, 0) << linked.err;
  EXPECT_EQ(ReadText(folder() / "elsewhere.csv").rfind("time,", 0), 0u);
}

TEST_F(SimulateCommandTest, ImportAndExportNeverReplaceTheirSource) {
  const fs::path sbml = folder() / "s.xml";
  fs::copy_file(fs::path(VIREON_SOURCE_DIR) / "tests/cli/data/suite_00022-sbml-l3v1.xml", sbml);
  const std::string source = ReadText(sbml);
  fs::create_hard_link(sbml, folder() / "hard.vrn");
  fs::create_symlink(sbml, folder() / "soft.vrn");
  for (const fs::path& output : {sbml, folder() / "hard.vrn", folder() / "soft.vrn"}) {
    SCOPED_TRACE(output.filename().string());
    const ProgramResult result = RunVireon({"import", sbml.string(), "-o", output.string()});
    EXPECT_EQ(result.exitStatus, cli::kExitFailure);
    EXPECT_NE(result.err.find("would replace the SBML file " + sbml.string()), std::string::npos)
        << result.err;
    EXPECT_EQ(ReadText(sbml), source);
  }
  const fs::path model = CopyExample("michaelis_menten.vrn");
  const std::string text = ReadText(model);
  fs::create_symlink(model, folder() / "m.xml");
  const ProgramResult exported =
      RunVireon({"export", model.string(), "-o", (folder() / "m.xml").string()});
  EXPECT_EQ(exported.exitStatus, cli::kExitFailure);
  EXPECT_NE(exported.err.find("would replace the model file"), std::string::npos)
      << exported.err;
  EXPECT_EQ(ReadText(model), text);
}

// A standard output that cannot take the text (here /dev/full) is an error,
// reported on standard error with exit status 1.
TEST_F(SimulateCommandTest, AStandardOutputThatCannotBeWrittenExitsOne) {
  ASSERT_EQ(::access("/dev/full", W_OK), 0);
  const fs::path model = CopyExample("michaelis_menten.vrn");
  for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
           {"simulate", model.string()},
           {"simulate", model.string(), "--points", "20000"},
           {"plot", model.string()},
           {"--help"}}) {
    SCOPED_TRACE(::testing::PrintToString(command));
    const ProgramResult result = RunVireonInto(command, "/dev/full");
    EXPECT_EQ(result.exitStatus, cli::kExitFailure) << result.err;
    EXPECT_NE(result.err.find("could not write standard output"), std::string::npos)
        << result.err;
  }
}

}  // namespace
}  // namespace vireon::test
