// vireon simulate on the limits of its input and output: the rows stream
// out as they are computed and read exactly as the table's CSV; a model
// that asks for too many points or none, an output that would replace what
// the command reads, and a standard output that cannot be written are
// refused with exit status 1.

#include "cli/simulate_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
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

// The CSV text as a header and rows of fields, each line split at its commas.
struct Csv {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, ',')) fields.push_back(field);
  return fields;
}

Csv ReadCsv(const std::string& text) {
  Csv csv;
  std::stringstream stream(text);
  std::string line;
  if (std::getline(stream, line)) csv.header = Fields(line);
  while (std::getline(stream, line)) csv.rows.push_back(Fields(line));
  return csv;
}

// --select writes the items in the order given, headed as given, after the
// time: a metabolite's column is the default output's, byte for byte, and a
// step's flux follows its rate law from the concentrations of its row.
TEST_F(SimulateCommandTest, SelectWritesTheChosenQuantitiesInTheirOrder) {
  const fs::path model = ExamplesFolder() / "michaelis_menten.vrn";
  std::ostringstream all, allErr;
  ASSERT_EQ(Simulate({model.string(), "--points", "40"}, all, allErr), cli::kExitSuccess)
      << allErr.str();
  const Csv every = ReadCsv(all.str());
  ASSERT_EQ(every.header, (std::vector<std::string>{"time", "Sx", "S", "E", "ES", "P", "Px"}));

  std::ostringstream out, err;
  ASSERT_EQ(Simulate({model.string(), "--points", "40", "--select",
                      "binding,J(catalysis),E,S,ES,cell,[P]t,V(cell),[S]i"},
                     out, err),
            cli::kExitSuccess)
      << err.str();
  const Csv chosen = ReadCsv(out.str());
  EXPECT_EQ(chosen.header, (std::vector<std::string>{"time", "binding", "J(catalysis)", "E", "S",
                                                     "ES", "cell", "[P]t", "V(cell)", "[S]i"}));
  ASSERT_EQ(chosen.rows.size(), every.rows.size());
  ASSERT_EQ(chosen.rows.size(), 41u);
  for (std::size_t r = 0; r < chosen.rows.size(); ++r) {
    const std::vector<std::string>& row = chosen.rows[r];
    const std::vector<std::string>& whole = every.rows[r];
    ASSERT_EQ(row.size(), 10u);
    EXPECT_EQ(row[0], whole[0]);  // time
    EXPECT_EQ(row[3], whole[3]);  // E
    EXPECT_EQ(row[4], whole[2]);  // S
    EXPECT_EQ(row[5], whole[4]);  // ES
    EXPECT_EQ(row[7], whole[5]);  // [P]t
    const double e = std::stod(row[3]), substrate = std::stod(row[4]), es = std::stod(row[5]);
    // binding: E + S = ES, k1 = 10, k2 = 5; catalysis: ES -> E + P, k = 2.
    EXPECT_NEAR(std::stod(row[1]), 10.0 * e * substrate - 5.0 * es, 1e-12) << r;
    EXPECT_NEAR(std::stod(row[2]), 2.0 * es, 1e-12) << r;
    EXPECT_EQ(row[6], "1");  // the current volume of the cell
    EXPECT_EQ(row[8], "1");
    EXPECT_EQ(row[9], "0");  // the initial concentration of S
  }
}

// The quantities of a model's global quantities: the value at time 0 is
// not a column (scans set it), the current value is, by name or title.
TEST_F(SimulateCommandTest, SelectReadsGlobalQuantitiesAndCurrentVolumes) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Document document;
  RecordingSink sink;
  ASSERT_TRUE(ReadModelFile(document, (ExamplesFolder() / "michaelis_menten.vrn").string(),
                            catalogue, DefaultValues(), sink));
  document.model.globalQuantities = {{"Km", 0.7}, {"scale", -2.5e-3}};
  document.model.compartments[0].volume = 0.25;
  const fs::path model = folder() / "quantities.vrn";
  ASSERT_TRUE(WriteModelFile(document, model.string(), catalogue, sink));

  std::ostringstream out, err;
  ASSERT_EQ(Simulate({model.string(), "--points", "3", "--select", "scale,Km(t),V(cell)t,cell"},
                     out, err),
            cli::kExitSuccess)
      << err.str();
  const Csv csv = ReadCsv(out.str());
  EXPECT_EQ(csv.header, (std::vector<std::string>{"time", "scale", "Km(t)", "V(cell)t", "cell"}));
  ASSERT_EQ(csv.rows.size(), 4u);
  for (const std::vector<std::string>& row : csv.rows) {
    EXPECT_EQ(row, (std::vector<std::string>{row[0], "-0.0025", "0.7", "0.25", "0.25"}));
  }

  // The value at time 0 bears the quantity's own name as its title, which
  // the name itself takes before: it is no column of its own.
  std::ostringstream none, noneErr;
  EXPECT_EQ(Simulate({model.string(), "--select", "Km,Km(0)"}, none, noneErr), cli::kExitUsage);
  EXPECT_NE(noneErr.str().find("no quantity called Km(0)"), std::string::npos) << noneErr.str();
}

// Doses of S every 2.5 s from 1.25 s, between the points: --event-rows
// adds the rows just before and after each (S up by the dose), as the
// model file's own setting does; without either the rows are the points'.
TEST_F(SimulateCommandTest, EventRowsComeFromTheOptionOrTheModelFile) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Document document;
  RecordingSink sink;
  ASSERT_TRUE(ReadModelFile(document, (ExamplesFolder() / "michaelis_menten.vrn").string(),
                            catalogue, DefaultValues(), sink));
  document.model.globalQuantities = {{"next", 1.25}};
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, next)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "S", {}}, "S + 1"},
                      {{RuleTargetKind::kGlobalQuantity, "next", {}}, "next + 2.5"}};
  document.model.events = {dose};
  const fs::path model = folder() / "doses.vrn";
  ASSERT_TRUE(WriteModelFile(document, model.string(), catalogue, sink));
  document.settings.eventRows = 1;
  const fs::path withRows = folder() / "doses_rows.vrn";
  ASSERT_TRUE(WriteModelFile(document, withRows.string(), catalogue, sink));

  const std::vector<std::string> run = {"--end", "10", "--points", "4", "--select", "S"};
  const auto simulate = [&](const fs::path& path, bool option) {
    std::vector<std::string> arguments = run;
    arguments.insert(arguments.begin(), path.string());
    if (option) arguments.push_back("--event-rows");
    std::ostringstream out, err;
    EXPECT_EQ(Simulate(arguments, out, err), cli::kExitSuccess) << err.str();
    return out.str();
  };
  const Csv points = ReadCsv(simulate(model, false));
  ASSERT_EQ(points.rows.size(), 5u);
  const std::string text = simulate(model, true);
  EXPECT_EQ(simulate(withRows, false), text);
  const Csv csv = ReadCsv(text);
  ASSERT_EQ(csv.rows.size(), 5u + 2u * 4u);
  std::size_t point = 0, doses = 0;
  for (std::size_t row = 0; row < csv.rows.size(); ++row) {
    const double t = std::stod(csv.rows[row][0]);
    if (row + 1 < csv.rows.size() && csv.rows[row + 1][0] == csv.rows[row][0]) {
      EXPECT_NEAR(t, 1.25 + 2.5 * static_cast<double>(doses), 1e-9);
      EXPECT_NEAR(std::stod(csv.rows[row + 1][1]) - std::stod(csv.rows[row][1]), 1.0, 1e-9);
      ++doses;
      ++row;
      continue;
    }
    ASSERT_LT(point, points.rows.size());
    EXPECT_EQ(csv.rows[row], points.rows[point]) << "t = " << t;
    ++point;
  }
  EXPECT_EQ(doses, 4u);
  EXPECT_EQ(point, 5u);
}

// A reaction's id reads its SBML rate, an amount per time, whatever steps
// it became. R: 2 A -> 3 B between compartments of 2 and 0.5 litres, its
// law k c [A] (the import's step is scaled and per volume); Q: -> B at an
// amount rate q. The amount of A falls as exp(-2 k t) A0 and R's rate is
// k times it.
TEST_F(SimulateCommandTest, AReactionsIdReadsItsRateAsAnAmountPerTime) {
  const fs::path model = folder() / "rates.xml";
  WriteText(model, R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns="http://www.sbml.org/sbml/level3/version1/core" level="3" version="1">
  <model id="rates">
    <listOfCompartments>
      <compartment id="c" size="2" constant="true" spatialDimensions="3"/>
      <compartment id="d" size="0.5" constant="true" spatialDimensions="3"/>
    </listOfCompartments>
    <listOfSpecies>
      <species id="A" compartment="c" initialConcentration="1" hasOnlySubstanceUnits="false"
               boundaryCondition="false" constant="false"/>
      <species id="B" compartment="d" initialConcentration="0" hasOnlySubstanceUnits="false"
               boundaryCondition="false" constant="false"/>
    </listOfSpecies>
    <listOfParameters>
      <parameter id="k" value="0.3" constant="true"/>
      <parameter id="q" value="0.125" constant="true"/>
    </listOfParameters>
    <listOfReactions>
      <reaction id="R" reversible="false" fast="false">
        <listOfReactants><speciesReference species="A" stoichiometry="2" constant="true"/></listOfReactants>
        <listOfProducts><speciesReference species="B" stoichiometry="3" constant="true"/></listOfProducts>
        <kineticLaw><math xmlns="http://www.w3.org/1998/Math/MathML">
          <apply><times/><ci>k</ci><ci>c</ci><ci>A</ci></apply></math></kineticLaw>
      </reaction>
      <reaction id="Q" reversible="false" fast="false">
        <listOfProducts><speciesReference species="B" stoichiometry="1" constant="true"/></listOfProducts>
        <kineticLaw><math xmlns="http://www.w3.org/1998/Math/MathML"><ci>q</ci></math></kineticLaw>
      </reaction>
    </listOfReactions>
  </model>
</sbml>
)");
  std::ostringstream out, err;
  ASSERT_EQ(Simulate({model.string(), "--end", "2", "--points", "4", "--rtol", "1e-10", "--atol",
                      "1e-12", "--amounts", "--select", "A,R,Q"},
                     out, err),
            cli::kExitSuccess)
      << err.str();
  const Csv csv = ReadCsv(out.str());
  EXPECT_EQ(csv.header, (std::vector<std::string>{"time", "A", "R", "Q"}));
  ASSERT_EQ(csv.rows.size(), 5u);
  for (const std::vector<std::string>& row : csv.rows) {
    const double amount = 2.0 * std::exp(-0.6 * std::stod(row[0]));
    EXPECT_NEAR(std::stod(row[1]), amount, 1e-8);
    EXPECT_NEAR(std::stod(row[2]), 0.3 * amount, 1e-8);
    EXPECT_DOUBLE_EQ(std::stod(row[3]), 0.125);
  }
}

// An item that names nothing, or more than one quantity, is refused with
// exit status 2 before anything is written; the message names the item.
TEST_F(SimulateCommandTest, UnknownAndAmbiguousItemsAreRefused) {
  const fs::path model = ExamplesFolder() / "michaelis_menten.vrn";
  const fs::path csv = folder() / "never.csv";
  const ProgramResult unknown =
      RunVireon({"simulate", model.string(), "--select", "S,Q,J(binding)", "-o", csv.string()});
  EXPECT_EQ(unknown.exitStatus, cli::kExitUsage);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("has no quantity called Q\n"), std::string::npos) << unknown.err;
  EXPECT_FALSE(fs::exists(csv));

  // A step that bears a metabolite's name: the name is both.
  std::string text = ReadText(model);
  const std::size_t at = text.find("Step=removal");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, std::string("Step=removal").size(), "Step=P");
  const fs::path shared = folder() / "shared.vrn";
  WriteText(shared, text);
  const ProgramResult ambiguous = RunVireon({"simulate", shared.string(), "--select", "S,P"});
  EXPECT_EQ(ambiguous.exitStatus, cli::kExitUsage) << ambiguous.out;
  EXPECT_NE(ambiguous.err.find("P is ambiguous"), std::string::npos) << ambiguous.err;
  EXPECT_NE(ambiguous.err.find("[P]t, J(P)"), std::string::npos) << ambiguous.err;
  // Its titles tell them apart.
  const ProgramResult titled =
      RunVireon({"simulate", shared.string(), "--points", "2", "--select", "[P]t,J(P)"});
  EXPECT_EQ(titled.exitStatus, cli::kExitSuccess) << titled.err;
  EXPECT_EQ(titled.out.substr(0, titled.out.find('\n')), "time,[P]t,J(P)");
}

// --integrator cvode gives the same columns and rows, the values to the
// tolerance; a model with events is refused under CVODE (exit 1) and still
// runs under LSODA; a model file that names CVODE is integrated by it.
TEST_F(SimulateCommandTest, TheIntegratorIsChosenByOptionOrModelFile) {
  const fs::path model = ExamplesFolder() / "michaelis_menten.vrn";
  const std::vector<std::string> run = {model.string(), "--rtol", "1e-8", "--atol", "1e-12"};
  const auto simulate = [&](std::vector<std::string> arguments, int status) {
    std::ostringstream out, err;
    EXPECT_EQ(Simulate(arguments, out, err), status) << err.str();
    return std::make_pair(out.str(), err.str());
  };
  std::vector<std::string> cvode = run;
  cvode.insert(cvode.end(), {"--integrator", "cvode"});
  const Csv byLsoda = ReadCsv(simulate(run, cli::kExitSuccess).first);
  const std::string cvodeText = simulate(cvode, cli::kExitSuccess).first;
  const Csv byCvode = ReadCsv(cvodeText);
  EXPECT_EQ(byCvode.header, byLsoda.header);
  ASSERT_EQ(byCvode.rows.size(), byLsoda.rows.size());
  ASSERT_GT(byLsoda.rows.size(), 2u);
  bool differs = false;
  for (std::size_t row = 0; row < byLsoda.rows.size(); ++row) {
    ASSERT_EQ(byCvode.rows[row].size(), byLsoda.rows[row].size());
    EXPECT_EQ(byCvode.rows[row][0], byLsoda.rows[row][0]);
    for (std::size_t c = 1; c < byLsoda.rows[row].size(); ++c) {
      const double expected = std::stod(byLsoda.rows[row][c]);
      EXPECT_NEAR(std::stod(byCvode.rows[row][c]), expected, 1e-9 + 1e-5 * std::fabs(expected));
      differs = differs || byCvode.rows[row][c] != byLsoda.rows[row][c];
    }
  }
  // Another integrator indeed.
  EXPECT_TRUE(differs);
  std::vector<std::string> lsoda = run;
  lsoda.insert(lsoda.end(), {"--integrator", "LSODA"});
  EXPECT_EQ(ReadCsv(simulate(lsoda, cli::kExitSuccess).first).rows, byLsoda.rows);

  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  Document document;
  RecordingSink sink;
  ASSERT_TRUE(ReadModelFile(document, model.string(), catalogue, DefaultValues(), sink));
  document.settings.solver.integrator = Integrator::kCvode;
  const fs::path chosen = folder() / "cvode.vrn";
  ASSERT_TRUE(WriteModelFile(document, chosen.string(), catalogue, sink));
  std::vector<std::string> fromFile = run;
  fromFile[0] = chosen.string();
  EXPECT_EQ(simulate(fromFile, cli::kExitSuccess).first, cvodeText);

  document.settings.solver.integrator = Integrator::kLsoda;
  document.model.globalQuantities = {{"next", 1.25}};
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, next)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "S", {}}, "S + 1"}};
  document.model.events = {dose};
  const fs::path withEvents = folder() / "doses.vrn";
  ASSERT_TRUE(WriteModelFile(document, withEvents.string(), catalogue, sink));
  const auto [refusedOut, refused] =
      simulate({withEvents.string(), "--integrator", "cvode"}, cli::kExitFailure);
  EXPECT_NE(refused.find("CVODE cannot integrate " + withEvents.string() + ": the model has events"),
            std::string::npos)
      << refused;
  EXPECT_EQ(refusedOut, "");
  simulate({withEvents.string()}, cli::kExitSuccess);
}

}  // namespace
}  // namespace vireon::test
