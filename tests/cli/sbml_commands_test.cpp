// vireon simulate, import and export through the built program.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "cli/command_line.h"
#include "sbml/sbml_builder.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::CliFolder;

// Case 00022 of the bundled SBML test suite, copied beside these tests: S1 = S2 in a compartment of volume 0.3,
// initial amounts 0.0015 and 0.
std::filesystem::path SuiteModel() {
  return std::filesystem::path(VIREON_SOURCE_DIR) /
         "tests/cli/data/suite_00022-sbml-l3v1.xml";
}

std::vector<std::vector<double>> Numbers(const std::string& csv) {
  std::vector<std::vector<double>> rows;
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);  // the header
  while (std::getline(lines, line)) {
    std::vector<double>& row = rows.emplace_back();
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) row.push_back(std::stod(field));
  }
  return rows;
}

class SbmlCommandsTest : public CliFolder {};

TEST_F(SbmlCommandsTest, SimulateWritesTheTimeCourseAsCsv) {
  const auto result = RunVireon({"simulate", SuiteModel().string(), "--end", "2", "--points", "4"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "time,S1,S2");
  const auto rows = Numbers(result.out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[2][0], 1.0);
  // Amounts are the concentrations times the volume; both go to a file
  // with -o as to standard output with -o -.
  const auto amounts = RunVireon({"simulate", SuiteModel().string(), "--end", "2", "--points", "4",
                                  "--amounts", "-o", (folder() / "a.csv").string()});
  ASSERT_EQ(amounts.exitStatus, 0) << amounts.err;
  EXPECT_TRUE(amounts.out.empty());
  const auto amountRows = Numbers(test::ReadText(folder() / "a.csv"));
  ASSERT_EQ(amountRows.size(), rows.size());
  EXPECT_CLOSE(amountRows[0][1], 0.0015, 1e-18, 1e-15);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_CLOSE(amountRows[i][1], rows[i][1] * 0.3, 1e-15, 1e-14);
  }
  const auto dash =
      RunVireon({"simulate", SuiteModel().string(), "--end", "2", "--points", "4", "-o", "-"});
  EXPECT_EQ(dash.out, result.out);
}

// --select takes an SBML model's ids: a species gives its column as the
// default output writes it (an amount with --amounts), a compartment its
// size, a reaction its rate (an amount per time), and the step's title
// still chooses the step's flux.
TEST_F(SbmlCommandsTest, SimulateSelectsBySbmlIds) {
  const std::vector<std::string> base = {"simulate", SuiteModel().string(), "--end", "2",
                                         "--points", "4"};
  auto with = [&base](std::vector<std::string> extra) {
    std::vector<std::string> arguments = base;
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return arguments;
  };
  for (bool amounts : {false, true}) {
    SCOPED_TRACE(amounts);
    const auto every = RunVireon(with(amounts ? std::vector<std::string>{"--amounts"}
                                              : std::vector<std::string>{}));
    ASSERT_EQ(every.exitStatus, 0) << every.err;
    std::vector<std::string> extra = {"--select", "S2,compartment,S1"};
    if (amounts) extra.push_back("--amounts");
    const auto chosen = RunVireon(with(extra));
    ASSERT_EQ(chosen.exitStatus, 0) << chosen.err;
    EXPECT_EQ(chosen.out.substr(0, chosen.out.find('\n')), "time,S2,compartment,S1");
    const auto all = Numbers(every.out);
    const auto rows = Numbers(chosen.out);
    ASSERT_EQ(rows.size(), all.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i], (std::vector<double>{all[i][0], all[i][2], 0.3, all[i][1]}));
    }
  }
  // The reaction's rate is its law, compartment k1 [S1], whatever the
  // step's flux (scaled by a tenth to whole coefficients, per litre).
  const auto reaction = RunVireon(with({"--select", "S1,J(reaction1),reaction1"}));
  ASSERT_EQ(reaction.exitStatus, 0) << reaction.err;
  EXPECT_EQ(reaction.out.substr(0, reaction.out.find('\n')), "time,S1,J(reaction1),reaction1");
  for (const std::vector<double>& row : Numbers(reaction.out)) {
    EXPECT_NE(row[2], row[3]);
    EXPECT_CLOSE(row[3], 0.3 * 0.35 * row[1], 0.0, 1e-14);
  }
}

// A model saved by import reads back to exactly the same numbers, and its
// export to the same within the round trip's precision.
TEST_F(SbmlCommandsTest, ImportAndExportKeepTheTimeCourse) {
  const std::string vrn = (folder() / "case.vrn").string();
  const std::string xml = (folder() / "again.xml").string();
  const auto imported = RunVireon({"import", SuiteModel().string(), "-o", vrn});
  ASSERT_EQ(imported.exitStatus, 0) << imported.err;
  const auto exported = RunVireon({"export", vrn, "-o", xml});
  ASSERT_EQ(exported.exitStatus, 0) << exported.err;

  const std::vector<std::string> options = {"--end", "3", "--points", "6", "--rtol", "1e-12",
                                            "--atol", "1e-16"};
  auto simulate = [&](const std::string& model) {
    std::vector<std::string> arguments = {"simulate", model};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const auto result = RunVireon(arguments);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    return result.out;
  };
  const std::string fromSbml = simulate(SuiteModel().string());
  EXPECT_EQ(simulate(vrn), fromSbml);
  const auto original = Numbers(fromSbml);
  const auto roundTrip = Numbers(simulate(xml));
  ASSERT_EQ(roundTrip.size(), original.size());
  for (std::size_t i = 0; i < original.size(); ++i) {
    for (std::size_t j = 0; j < original[i].size(); ++j) {
      EXPECT_CLOSE(roundTrip[i][j], original[i][j], 1e-14, 1e-10);
    }
  }
}

// A model file whose rules the reader took but an edit made unusable (here
// two rules that read each other, written by hand) is refused by simulate
// with the rules' own message, never simulated without them.
TEST_F(SbmlCommandsTest, SimulateRefusesRulesThatReadEachOther) {
  const std::string vrn = (folder() / "case.vrn").string();
  ASSERT_EQ(RunVireon({"import", SuiteModel().string(), "-o", vrn}).exitStatus, 0);
  // The import's own quantities and rules give way to these.
  const std::string imported = test::ReadText(vrn);
  test::WriteText(vrn, imported.substr(0, imported.find("Global quantities\n")) +
                           "Global quantities\nItems=2\nQuantity=kq\nValue=1\nQuantity=kr\n"
                           "Value=1\nRules\nItems=2\n"
                           "Rule=assignment\nTargetType=global quantity\nTarget=kq\n"
                           "Expression=2*kr\n"
                           "Rule=assignment\nTargetType=global quantity\nTarget=kr\n"
                           "Expression=kq+time\n");
  const auto result = RunVireon({"simulate", vrn});
  EXPECT_NE(result.exitStatus, 0);
  EXPECT_NE(result.err.find("kq"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.find("time"), std::string::npos) << result.out;
}

TEST_F(SbmlCommandsTest, ARefusedModelExitsOneNamingEachConstruct) {
  test::SbmlBuilder b;
  b.Compartment("c", 1.0).Species("A", "c", 1.0).Parameter("k", 1.0);
  b.Reaction("R", {{"A", 1}}, {}, "k*A*delay(A, 2)");
  b.model().createAlgebraicRule()->setMath(
      std::unique_ptr<sbml::lib::ASTNode>(sbml::lib::SBML_parseL3Formula("k - 2")).get());
  const auto path = folder() / "refused.xml";
  test::WriteText(path, b.Text());
  for (const char* command : {"simulate", "import"}) {
    SCOPED_TRACE(command);
    const auto result = RunVireon({command, path.string(), "-o", (folder() / "out").string()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("algebraic rule number 1"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(folder() / "out"));
  }
}

TEST_F(SbmlCommandsTest, BadArgumentsExitTwo) {
  const std::string model = SuiteModel().string();
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"simulate", model, "--points", "0"},
                                             {"simulate", model, "--end", "0"},
                                             {"simulate", model, "--rtol", "-1"},
                                             {"simulate", model, "--atol", "x"},
                                             {"simulate", model, "--seed", "-1"},
                                             {"simulate"},
                                             {"import", model, "--end", "1"},
                                             {"export", model, "-o", "-"}}) {
    const auto result = RunVireon(arguments);
    EXPECT_EQ(result.exitStatus, cli::kExitUsage) << arguments.back();
  }
}

}  // namespace
}  // namespace vireon
