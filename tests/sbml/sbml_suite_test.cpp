// The cases of the SBML Test Suite (tests/sbml/suite-cases.tar.xz), run through
// `vireon simulate` and held to the suite's rule at every point:
// |expected - computed| <= absolute + relative * |expected|.
// A case may be refused only with a message that names each construct.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/vireon_command.h"
#include "sbml/libsbml.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

// The integrator runs far tighter than the suite's tolerances, so that a
// case fails only for a wrong mapping, never for the integration.
constexpr const char* kSuiteRelativeTolerance = "1e-10";
constexpr const char* kSuiteAbsoluteTolerance = "1e-18";

fs::path SuiteCases() { return fs::path(VIREON_SBML_SUITE_DIR) / "cases"; }

std::string Trim(std::string text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitList(const std::string& text, char separator = ',') {
  std::vector<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, separator)) {
    item = Trim(item);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

struct CaseSettings {
  double duration = 0.0;
  int steps = 0;
  double absolute = 0.0;
  double relative = 0.0;
  std::vector<std::string> variables;
  std::vector<std::string> amounts;
  std::vector<std::string> concentrations;
};

CaseSettings ReadSettings(const fs::path& file) {
  CaseSettings settings;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, colon));
    const std::string value = Trim(line.substr(colon + 1));
    if (key == "duration") settings.duration = std::stod(value);
    if (key == "steps") settings.steps = std::stoi(value);
    if (key == "absolute") settings.absolute = std::stod(value);
    if (key == "relative") settings.relative = std::stod(value);
    if (key == "variables") settings.variables = SplitList(value);
    if (key == "amount") settings.amounts = SplitList(value);
    if (key == "concentration") settings.concentrations = SplitList(value);
  }
  return settings;
}

double ParseValue(const std::string& text) {
  std::string lower;
  for (char c : Trim(text)) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "nan") return std::nan("");
  if (lower == "inf") return HUGE_VAL;
  if (lower == "-inf") return -HUGE_VAL;
  return std::stod(lower);
}

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<double>> rows;
  int Column(const std::string& name) const {
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (header[i] == name) return static_cast<int>(i);
    }
    return -1;
  }
};

Table ParseCsv(const std::string& text) {
  Table table;
  std::stringstream stream(text);
  std::string line;
  bool first = true;
  while (std::getline(stream, line)) {
    if (Trim(line).empty()) continue;
    std::vector<std::string> fields = SplitList(line);
    if (first) {
      table.header = fields;
      first = false;
      continue;
    }
    std::vector<double> row;
    for (const std::string& field : fields) row.push_back(ParseValue(field));
    table.rows.push_back(std::move(row));
  }
  return table;
}

struct Simulation {
  int status = -1;
  std::string err;
  Table table;
};

Simulation Simulate(const fs::path& model, const CaseSettings& settings, bool amounts,
                    const fs::path& scratch) {
  std::vector<std::string> arguments = {
      "simulate", model.string(), "--end", std::to_string(settings.duration), "--points",
      std::to_string(settings.steps), "--rtol", kSuiteRelativeTolerance, "--atol",
      kSuiteAbsoluteTolerance, "--settings", (scratch / "vireon.ini").string(), "--kdb",
      (scratch / "vireon.kdb").string()};
  if (amounts) arguments.push_back("--amounts");
  std::ostringstream out, err;
  Simulation simulation;
  simulation.status = cli::RunVireonCommand(arguments, out, err);
  simulation.err = err.str();
  simulation.table = ParseCsv(out.str());
  return simulation;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// The size or value of a variable that is no species: constant throughout.
std::optional<double> ConstantValue(const fs::path& model, const std::string& id) {
  namespace lib = sbml::lib;
  std::unique_ptr<lib::SBMLDocument> document(lib::readSBMLFromFile(model.c_str()));
  const lib::Model* m = document ? document->getModel() : nullptr;
  if (m == nullptr) return std::nullopt;
  if (const lib::Compartment* c = m->getCompartment(id)) return c->getSize();
  if (const lib::Parameter* p = m->getParameter(id)) return p->getValue();
  return std::nullopt;
}

struct SuiteFigures {
  int passed = 0;
  int refused = 0;
  std::vector<std::string> failures;
};

// Runs one case; a failure is described in `figures`.
void RunCase(const fs::path& folder, const std::string& levelSuffix, const fs::path& scratch,
             SuiteFigures& figures) {
  const std::string name = folder.filename().string();
  const fs::path model = folder / (name + "-sbml-" + levelSuffix + ".xml");
  if (!fs::exists(model)) return;
  const CaseSettings settings = ReadSettings(folder / (name + "-settings.txt"));
  std::ifstream resultsFile(folder / (name + "-results.csv"));
  std::stringstream resultsText;
  resultsText << resultsFile.rdbuf();
  const Table expected = ParseCsv(resultsText.str());

  std::map<bool, Simulation> runs;
  for (bool amounts : {false, true}) {
    const auto& wanted = amounts ? settings.amounts : settings.concentrations;
    if (!wanted.empty()) runs[amounts] = Simulate(model, settings, amounts, scratch);
  }
  if (runs.empty()) runs[false] = Simulate(model, settings, false, scratch);

  for (const auto& [amounts, run] : runs) {
    if (run.status == 1) {
      // A refusal must name what it refuses, each construct on a line.
      if (run.err.find("could not import") == std::string::npos ||
          run.err.find("\n  ") == std::string::npos) {
        figures.failures.push_back(name + ": failed without naming a construct: " + run.err);
      } else {
        ++figures.refused;
      }
      return;
    }
    if (run.status != 0) {
      figures.failures.push_back(name + ": exit status " + std::to_string(run.status) + " " + run.err);
      return;
    }
    if (run.table.rows.size() != expected.rows.size()) {
      figures.failures.push_back(name + ": " + std::to_string(run.table.rows.size()) + " rows, not " +
                                 std::to_string(expected.rows.size()));
      return;
    }
  }

  auto withinRule = [&](double wanted, double got) {
    if (std::isnan(wanted)) return std::isnan(got);
    if (std::isinf(wanted)) return got == wanted;
    return std::fabs(wanted - got) <= settings.absolute + settings.relative * std::fabs(wanted);
  };
  for (std::size_t column = 0; column < expected.header.size(); ++column) {
    const std::string& variable = expected.header[column];
    const bool isTime = column == 0;
    const bool amounts = Contains(settings.amounts, variable);
    const Simulation& run = runs.count(amounts) > 0 ? runs.at(amounts) : runs.begin()->second;
    const int computedColumn = isTime ? 0 : run.table.Column(variable);
    std::optional<double> constant;
    if (computedColumn < 0) {
      constant = ConstantValue(model, variable);
      if (!constant) {
        figures.failures.push_back(name + ": no value for " + variable);
        return;
      }
    }
    for (std::size_t row = 0; row < expected.rows.size(); ++row) {
      const double wanted = expected.rows[row][column];
      const double got = constant ? *constant : run.table.rows[row][computedColumn];
      if (!withinRule(wanted, got)) {
        std::ostringstream text;
        text.precision(17);
        text << name << ": " << variable << " at row " << row << " is " << got << ", expected "
             << wanted;
        figures.failures.push_back(text.str());
        return;
      }
    }
  }
  ++figures.passed;
}

void RunSuite(const std::string& levelSuffix) {
  const fs::path scratch = fs::path(::testing::TempDir()) / ("vireon-suite-" + levelSuffix);
  fs::create_directories(scratch);
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(SuiteCases())) folders.push_back(entry.path());
  std::sort(folders.begin(), folders.end());
  ASSERT_FALSE(folders.empty());
  SuiteFigures figures;
  for (const fs::path& folder : folders) RunCase(folder, levelSuffix, scratch, figures);
  for (const std::string& failure : figures.failures) ADD_FAILURE() << failure;
  std::cout << "SBML test suite (" << levelSuffix << "): " << figures.passed << " passed, "
            << figures.refused << " refused, " << figures.failures.size() << " failed\n";
  EXPECT_GT(figures.passed, 0);
  fs::remove_all(scratch);
}

TEST(SbmlTestSuite, EveryLevel3Version1CaseMeetsTheSuiteRule) { RunSuite("l3v1"); }

TEST(SbmlTestSuite, EveryLevel2Version4CaseMeetsTheSuiteRule) { RunSuite("l2v4"); }

}  // namespace
}  // namespace vireon
