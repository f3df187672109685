#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/vireon_command.h"

namespace vireon::cli {
namespace {

ParsedCommandLine Parse(std::vector<std::string> arguments) {
  return ParseCommandLine(arguments);
}

TEST(CommandLine, RunTakesItsModelAndEveryOption) {
  const ParsedCommandLine parsed = Parse(
      {"run", "m.vrn", "--settings", "s.ini", "--kdb=u.kdb", "--seed", "4294967295", "--quiet",
       "--jobs=256", "--mpi"});
  ASSERT_TRUE(parsed.commandLine) << parsed.error;
  const CommandLine& line = *parsed.commandLine;
  EXPECT_EQ(line.command, Command::kRun);
  EXPECT_EQ(line.modelPath, "m.vrn");
  EXPECT_EQ(line.settingsPath, "s.ini");
  EXPECT_EQ(line.kineticsPath, "u.kdb");
  ASSERT_TRUE(line.seed);
  EXPECT_EQ(*line.seed, 4294967295u);
  EXPECT_TRUE(line.quiet);
  EXPECT_EQ(line.jobs, 256);
  EXPECT_TRUE(line.mpi);
  EXPECT_TRUE(line.outputPath.empty());
}

TEST(CommandLine, OptionsMayComeBeforeTheModel) {
  const ParsedCommandLine parsed = Parse({"run", "--seed=0", "m.vrn"});
  ASSERT_TRUE(parsed.commandLine) << parsed.error;
  EXPECT_EQ(parsed.commandLine->modelPath, "m.vrn");
  EXPECT_EQ(parsed.commandLine->seed, 0u);
  EXPECT_FALSE(parsed.commandLine->quiet);
}

TEST(CommandLine, WithoutSeedTheClockSeeds) {
  const ParsedCommandLine parsed = Parse({"run", "m.vrn"});
  ASSERT_TRUE(parsed.commandLine);
  EXPECT_FALSE(parsed.commandLine->seed);
}

TEST(CommandLine, DoubleDashEndsTheOptions) {
  const ParsedCommandLine parsed = Parse({"run", "--", "--odd name.vrn"});
  ASSERT_TRUE(parsed.commandLine) << parsed.error;
  EXPECT_EQ(parsed.commandLine->modelPath, "--odd name.vrn");
}

TEST(CommandLine, PlotTakesAnOutputPicture) {
  for (const char* name : {"p.png", "p.svg", "dir/P.PNG", "x.Svg"}) {
    const ParsedCommandLine parsed = Parse({"plot", "m.vrn", "--output", name});
    ASSERT_TRUE(parsed.commandLine) << name << ": " << parsed.error;
    EXPECT_EQ(parsed.commandLine->command, Command::kPlot);
    EXPECT_EQ(parsed.commandLine->outputPath, name);
  }
}

TEST(CommandLine, HelpAndVersion) {
  EXPECT_EQ(Parse({"--help"}).commandLine->command, Command::kHelp);
  EXPECT_EQ(Parse({"-h"}).commandLine->command, Command::kHelp);
  EXPECT_EQ(Parse({"run", "--help"}).commandLine->command, Command::kHelp);
  EXPECT_EQ(Parse({"--version"}).commandLine->command, Command::kVersion);
}

struct BadCase {
  std::vector<std::string> arguments;
  std::string error;
};

class BadArguments : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadArguments, AreRefusedWithTheReason) {
  const ParsedCommandLine parsed = ParseCommandLine(GetParam().arguments);
  EXPECT_FALSE(parsed.commandLine);
  EXPECT_EQ(parsed.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadArguments,
    ::testing::Values(
        BadCase{{}, "no command given"},
        BadCase{{"frobnicate", "m.vrn"}, "unknown command frobnicate"},
        BadCase{{"--frobnicate"}, "unknown option --frobnicate"},
        BadCase{{"--version", "x"}, "--version takes no arguments"},
        BadCase{{"run"}, "run needs a model file"},
        BadCase{{"plot", "--output", "p.png"}, "plot needs a model file"},
        BadCase{{"run", "a.vrn", "b.vrn"}, "more than one model file given (b.vrn)"},
        BadCase{{"run", "m.vrn", "--seed"}, "--seed needs a value"},
        BadCase{{"run", "m.vrn", "--seed="}, "--seed needs a value"},
        BadCase{{"run", "m.vrn", "--seed", "-1"},
                "--seed needs a whole number from 0 to 4294967295, not -1"},
        BadCase{{"run", "m.vrn", "--seed", "4294967296"},
                "--seed needs a whole number from 0 to 4294967295, not 4294967296"},
        BadCase{{"run", "m.vrn", "--seed", "12abc"},
                "--seed needs a whole number from 0 to 4294967295, not 12abc"},
        BadCase{{"run", "m.vrn", "--quiet=yes"}, "--quiet takes no value"},
        BadCase{{"run", "m.vrn", "--quiet", "--quiet"}, "--quiet given more than once"},
        BadCase{{"run", "m.vrn", "--output", "p.png"}, "unknown option --output for run"},
        BadCase{{"plot", "m.vrn", "--seed", "1"}, "unknown option --seed for plot"},
        BadCase{{"run", "m.vrn", "--jobs", "0"}, "--jobs needs a whole number from 1 to 256, not 0"},
        BadCase{{"run", "m.vrn", "--jobs", "257"},
                "--jobs needs a whole number from 1 to 256, not 257"},
        BadCase{{"plot", "m.vrn", "--mpi"}, "unknown option --mpi for plot"},
        BadCase{{"plot", "m.vrn", "--output", "p.pdf"},
                "--output needs a file name ending in .png or .svg, not p.pdf"},
        BadCase{{"plot", "m.vrn", "--output", ".png"},
                "--output needs a file name ending in .png or .svg, not .png"},
        BadCase{{"run", "m.vrn", "--kdb"}, "--kdb needs a value"},
        BadCase{{"simulate", "m.xml", "--points", "0"},
                "--points needs a whole number from 1 to 10000000, not 0"},
        BadCase{{"simulate", "m.xml", "--end", "0"},
                "--end needs a number at least 1e-100 away from 0, not 0"},
        BadCase{{"simulate", "m.xml", "--end", "1e999"},
                "--end needs a number at least 1e-100 away from 0, not 1e999"},
        BadCase{{"simulate", "m.xml", "--end", "nan"},
                "--end needs a number at least 1e-100 away from 0, not nan"},
        BadCase{{"simulate", "m.xml", "--end", "-inf"},
                "--end needs a number at least 1e-100 away from 0, not -inf"},
        // Nearer 0 the integrator's steps underflow (and a subnormal is nearer).
        BadCase{{"simulate", "m.xml", "--end", "1e-200"},
                "--end needs a number at least 1e-100 away from 0, not 1e-200"},
        BadCase{{"simulate", "m.xml", "--end", "-4e-320"},
                "--end needs a number at least 1e-100 away from 0, not -4e-320"},
        BadCase{{"simulate", "m.xml", "--rtol", "-1e-6"},
                "--rtol needs a number not below 0, not -1e-6"},
        BadCase{{"simulate", "m.xml", "--amounts=1"}, "--amounts takes no value"},
        BadCase{{"import", "m.xml", "--amounts"}, "unknown option --amounts for import"},
        BadCase{{"import"}, "import needs an SBML file"},
        BadCase{{"export", "m.vrn", "-o", "-"}, "-o needs a file name for export"},
        BadCase{{"run", "m.vrn", "-o", "x"}, "unknown option -o for run"},
        BadCase{{"run", "m.vrn", "--select", "A"}, "unknown option --select for run"},
        BadCase{{"simulate", "m.xml", "--select", "A,,B"},
                "--select needs items separated by commas, each one non-empty and its brackets "
                "closed, not A,,B"},
        BadCase{{"simulate", "m.xml", "--select", "A,"},
                "--select needs items separated by commas, each one non-empty and its brackets "
                "closed, not A,"},
        BadCase{{"simulate", "m.xml", "--select", "C([A],R1"},
                "--select needs items separated by commas, each one non-empty and its brackets "
                "closed, not C([A],R1"},
        BadCase{{"simulate", "m.xml", "--select="}, "--select needs a value"},
        BadCase{{"simulate", "m.xml", "--integrator", "rk4"},
                "--integrator needs lsoda or cvode, not rk4"},
        BadCase{{"run", "m.vrn", "--integrator="}, "--integrator needs a value"},
        BadCase{{"plot", "m.vrn", "--integrator", "cvode"}, "unknown option --integrator for plot"}));

TEST(CommandLine, IntegratorIsChosenByNameInAnyCase) {
  for (const char* name : {"cvode", "CVODE", "CVode"}) {
    const ParsedCommandLine parsed = ParseCommandLine({"simulate", "m.xml", "--integrator", name});
    ASSERT_TRUE(parsed.commandLine) << parsed.error;
    EXPECT_EQ(parsed.commandLine->integrator, Integrator::kCvode);
  }
  const ParsedCommandLine run = ParseCommandLine({"run", "m.vrn", "--integrator=lsoda"});
  ASSERT_TRUE(run.commandLine) << run.error;
  EXPECT_EQ(run.commandLine->integrator, Integrator::kLsoda);
  EXPECT_FALSE(ParseCommandLine({"run", "m.vrn"}).commandLine->integrator);
}

TEST(CommandLine, SelectSplitsAtCommasOutsideBrackets) {
  const ParsedCommandLine parsed =
      ParseCommandLine({"simulate", "m.xml", "--select", "A,[B,C]t,C([A],R1),J(R 1),k(t)"});
  ASSERT_TRUE(parsed.commandLine) << parsed.error;
  EXPECT_EQ(parsed.commandLine->select,
            (std::vector<std::string>{"A", "[B,C]t", "C([A],R1)", "J(R 1)", "k(t)"}));
  EXPECT_EQ(SplitSelection("x"), (std::vector<std::string>{"x"}));
  EXPECT_FALSE(SplitSelection(""));
  EXPECT_FALSE(SplitSelection(","));
  const ParsedCommandLine none = ParseCommandLine({"simulate", "m.xml"});
  ASSERT_TRUE(none.commandLine);
  EXPECT_TRUE(none.commandLine->select.empty());
}

TEST(CommandLine, SimulateTakesItsModelAndEveryOption) {
  const ParsedCommandLine parsed =
      ParseCommandLine({"simulate", "m.xml", "--end", "-2.5", "--points=7", "--rtol", "1e-9",
                        "--atol", "0", "--amounts", "-o", "-"});
  ASSERT_TRUE(parsed.commandLine) << parsed.error;
  const CommandLine& line = *parsed.commandLine;
  EXPECT_EQ(line.command, Command::kSimulate);
  EXPECT_EQ(line.modelPath, "m.xml");
  EXPECT_EQ(line.endTime, -2.5);
  EXPECT_EQ(line.points, 7);
  EXPECT_EQ(line.relativeTolerance, 1e-9);
  EXPECT_EQ(line.absoluteTolerance, 0.0);
  EXPECT_TRUE(line.amounts);
  EXPECT_EQ(line.outputPath, "-");
  // The limits themselves are taken.
  for (const char* end : {"1e-100", "-1e-100", "1.7e308"}) {
    const ParsedCommandLine edge = ParseCommandLine({"simulate", "m.xml", "--end", end});
    ASSERT_TRUE(edge.commandLine) << end << ": " << edge.error;
    EXPECT_EQ(edge.commandLine->endTime, std::stod(end));
  }
  const ParsedCommandLine plain = ParseCommandLine({"export", "m.vrn"});
  ASSERT_TRUE(plain.commandLine);
  EXPECT_EQ(plain.commandLine->command, Command::kExport);
  EXPECT_FALSE(plain.commandLine->endTime);
  EXPECT_TRUE(plain.commandLine->outputPath.empty());
}

TEST(Seed, TakesDecimalNumbersOfThirtyTwoBits) {
  EXPECT_EQ(ParseSeed("0"), 0u);
  EXPECT_EQ(ParseSeed("007"), 7u);
  EXPECT_EQ(ParseSeed("4294967295"), 4294967295u);
  EXPECT_FALSE(ParseSeed(""));
  EXPECT_FALSE(ParseSeed("+1"));
  EXPECT_FALSE(ParseSeed(" 1"));
  EXPECT_FALSE(ParseSeed("99999999999999999999999"));
}

TEST(VireonCommand, BadArgumentsExitTwoWithTheUsage) {
  std::ostringstream out, err;
  EXPECT_EQ(RunVireonCommand({"run"}, out, err), kExitUsage);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "vireon: run needs a model file\n" + UsageText());
}

TEST(VireonCommand, HelpGoesToStandardOutput) {
  std::ostringstream out, err;
  EXPECT_EQ(RunVireonCommand({"--help"}, out, err), kExitSuccess);
  EXPECT_EQ(out.str(), HelpText());
  EXPECT_NE(out.str().find(UsageText()), std::string::npos);
  EXPECT_EQ(err.str(), "");
  // Scripts rely on the exit status of run: the help names each code.
  std::string help = out.str();
  std::replace(help.begin(), help.end(), '\n', ' ');
  for (const std::string& code :
       {"Exit status of run: " + std::to_string(kExitSuccess) +
            " the run completed and wrote every",
        "; " + std::to_string(kExitFailure) + " the model could not be loaded",
        "; " + std::to_string(kExitIncomplete) + " the run completed with entries in its error log",
        "; " + std::to_string(kExitUsage) + " bad arguments"}) {
    EXPECT_NE(help.find(code), std::string::npos) << code;
  }
}

TEST(Usage, NamesBothCommandsAndTheirOptions) {
  const std::string usage = UsageText();
  for (const char* word :
       {"vireon run MODEL.vrn", "vireon plot MODEL.vrn", "--settings FILE", "--kdb FILE",
        "--seed N", "--quiet", "--jobs N", "--mpi", "--output", "--help", "--version",
        "--integrator lsoda|cvode"}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace vireon::cli
