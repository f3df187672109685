// The cases of the SBML Test Suite, run through `vireon simulate` with the
// case's variables chosen by --select, and held to the suite's rule at
// every point:
// |expected - computed| <= absolute + relative * |expected|.
// A case may be refused only with a message that names each construct; no
// case may give a wrong number.
//
// Two sets of cases: the plain-kinetics cases bundled in
// tests/sbml/suite-cases.tar.xz, each read at two levels, and, where the
// build found it, the whole semantic suite, each case at the highest level it
// has, in shards of a hundred case numbers so that CTest runs them side by
// side.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/vireon_command.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

// The integrator runs far tighter than the suite's tolerances, so that a
// case fails only for a wrong mapping, never for the integration.
constexpr const char* kSuiteRelativeTolerance = "1e-10";
constexpr const char* kSuiteAbsoluteTolerance = "1e-18";

fs::path SuiteCases() { return fs::path(VIREON_SBML_SUITE_DIR) / "cases"; }

// The levels a semantic case may come in, highest first.
constexpr const char* kSemanticLevels[] = {"l3v2", "l3v1", "l2v5"};
// Case numbers per shard, and the shards: the suite numbers its cases from
// 00001 to below 2000.
constexpr int kShardSize = 100;
constexpr int kShardCount = 19;

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
  bool timeCourse = true;  // flux-balance cases give no duration
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
    if (key == "duration" && value.empty()) settings.timeCourse = false;
    if (key == "duration" && !value.empty()) settings.duration = std::stod(value);
    if (key == "steps" && !value.empty()) settings.steps = std::stoi(value);
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
  int Column(const std::string& name, std::size_t from = 0) const {
    for (std::size_t i = from; i < header.size(); ++i) {
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
                    const fs::path& scratch, const std::vector<std::string>& select = {}) {
  std::vector<std::string> arguments = {"simulate",
                                        model.string(),
                                        "--rtol",
                                        kSuiteRelativeTolerance,
                                        "--atol",
                                        kSuiteAbsoluteTolerance,
                                        "--settings",
                                        (scratch / "vireon.ini").string(),
                                        "--kdb",
                                        (scratch / "vireon.kdb").string(),
                                        // The stochastic cases (ties of events drawn at
                                        // random) are judged on one reproducible draw.
                                        "--seed",
                                        "1"};
  if (settings.timeCourse) {
    arguments.insert(arguments.end(), {"--end", std::to_string(settings.duration), "--points",
                                       std::to_string(settings.steps)});
  }
  if (amounts) arguments.push_back("--amounts");
  if (!select.empty()) {
    std::string list;
    for (const std::string& item : select) list += (list.empty() ? "" : ",") + item;
    arguments.insert(arguments.end(), {"--select", list});
  }
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

struct SuiteFigures {
  int passed = 0;
  int refused = 0;
  // Cases whose every written column met the rule but which ask for a
  // quantity that --select does not find in the imported model.
  int unwritten = 0;
  std::vector<std::string> failures;
};

// The item a refused --select names as unknown, or "" when the refusal is
// anything else (an ambiguous item is a fault of the import: SBML ids are
// unique).
std::string UnknownItem(const Simulation& run) {
  const std::string marker = "has no quantity called ";
  if (run.status != 2) return {};
  const std::size_t at = run.err.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t start = at + marker.size();
  return run.err.substr(start, run.err.find('\n', start) - start);
}

// The case's variables through --select, less those it refuses as
// unknown, which are then counted as not written. `select` ends as the
// items the run wrote.
Simulation SimulateVariables(const fs::path& model, const CaseSettings& settings, bool amounts,
                             const fs::path& scratch, std::vector<std::string>& select) {
  for (;;) {
    Simulation run = Simulate(model, settings, amounts, scratch, select);
    const std::string unknown = UnknownItem(run);
    const auto found = std::find(select.begin(), select.end(), unknown);
    if (unknown.empty() || found == select.end()) return run;
    select.erase(found);
    if (select.empty()) return Simulate(model, settings, amounts, scratch);
  }
}

// Runs one case on its SBML file `model`; a failure is described in
// `figures`.
void RunCase(const fs::path& folder, const fs::path& model, const fs::path& scratch,
             SuiteFigures& figures) {
  const std::string name = folder.filename().string();
  const CaseSettings settings = ReadSettings(folder / (name + "-settings.txt"));
  std::ifstream resultsFile(folder / (name + "-results.csv"));
  std::stringstream resultsText;
  resultsText << resultsFile.rdbuf();
  const Table expected = ParseCsv(resultsText.str());

  if (!settings.timeCourse) {
    // A flux-balance case has no time course to give: it must be refused.
    const Simulation run = Simulate(model, settings, false, scratch);
    if (run.status == 1 && run.err.find("could not import") != std::string::npos) {
      ++figures.refused;
    } else {
      figures.failures.push_back(name + ": a case without a time course was not refused: " +
                                 run.err);
    }
    return;
  }
  std::map<bool, Simulation> runs;
  std::vector<std::string> written = settings.variables;
  for (bool amounts : {false, true}) {
    const auto& wanted = amounts ? settings.amounts : settings.concentrations;
    if (!wanted.empty()) {
      runs[amounts] = SimulateVariables(model, settings, amounts, scratch, written);
    }
  }
  if (runs.empty()) runs[false] = SimulateVariables(model, settings, false, scratch, written);

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
  bool everyColumn = true;
  for (std::size_t column = 0; column < expected.header.size(); ++column) {
    const std::string& variable = expected.header[column];
    const bool isTime = column == 0;
    const bool amounts = Contains(settings.amounts, variable);
    const Simulation& run = runs.count(amounts) > 0 ? runs.at(amounts) : runs.begin()->second;
    int computedColumn = 0;
    if (!isTime) {
      // The first column is the time; a quantity may be called "time" too.
      computedColumn = run.table.Column(variable, 1);
      if (computedColumn < 0) {
        everyColumn = false;
        continue;
      }
    }
    for (std::size_t row = 0; row < expected.rows.size(); ++row) {
      const double wanted = expected.rows[row][column];
      const double got = run.table.rows[row][computedColumn];
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
  if (everyColumn) {
    ++figures.passed;
  } else {
    ++figures.unwritten;
  }
}

void Report(const std::string& title, const SuiteFigures& figures) {
  for (const std::string& failure : figures.failures) ADD_FAILURE() << failure;
  std::cout << "SBML test suite (" << title << "): " << figures.passed << " passed, "
            << figures.refused << " refused, " << figures.unwritten
            << " with a quantity not written, " << figures.failures.size() << " failed\n";
}

std::vector<fs::path> CaseFolders(const fs::path& cases) {
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(cases)) {
    if (entry.is_directory()) folders.push_back(entry.path());
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

void RunSuite(const std::string& levelSuffix) {
  const fs::path scratch = fs::path(::testing::TempDir()) / ("vireon-suite-" + levelSuffix);
  fs::create_directories(scratch);
  const std::vector<fs::path> folders = CaseFolders(SuiteCases());
  ASSERT_FALSE(folders.empty());
  SuiteFigures figures;
  for (const fs::path& folder : folders) {
    const std::string name = folder.filename().string();
    const fs::path model = folder / (name + "-sbml-" + levelSuffix + ".xml");
    if (fs::exists(model)) RunCase(folder, model, scratch, figures);
  }
  Report(levelSuffix, figures);
  EXPECT_GT(figures.passed, 0);
  fs::remove_all(scratch);
}

TEST(SbmlTestSuite, EveryLevel3Version1CaseMeetsTheSuiteRule) { RunSuite("l3v1"); }

TEST(SbmlTestSuite, EveryLevel2Version4CaseMeetsTheSuiteRule) { RunSuite("l2v4"); }

#ifdef VIREON_SBML_SEMANTIC_DIR
class SbmlSemanticSuite : public ::testing::TestWithParam<int> {};

// Every case of one shard at the highest level it has.
TEST_P(SbmlSemanticSuite, EveryCaseMeetsTheSuiteRuleOrIsRefusedByName) {
  const int shard = GetParam();
  const fs::path cases = fs::path(VIREON_SBML_SEMANTIC_DIR) / "semantic-cases";
  const fs::path scratch =
      fs::path(::testing::TempDir()) / ("vireon-semantic-" + std::to_string(shard));
  fs::create_directories(scratch);
  const std::vector<fs::path> folders = CaseFolders(cases);
  ASSERT_GT(folders.size(), 1000u) << "the semantic suite was not unpacked in " << cases;
  SuiteFigures figures;
  int seen = 0;
  for (const fs::path& folder : folders) {
    const std::string name = folder.filename().string();
    const int number = std::atoi(name.c_str());
    if (number / kShardSize != shard) continue;
    for (const char* level : kSemanticLevels) {
      const fs::path model = folder / (name + "-sbml-" + level + ".xml");
      if (!fs::exists(model)) continue;
      ++seen;
      RunCase(folder, model, scratch, figures);
      break;
    }
  }
  Report("cases " + std::to_string(shard * kShardSize) + "-" +
             std::to_string(shard * kShardSize + kShardSize - 1) + ", " + std::to_string(seen) +
             " cases",
         figures);
  EXPECT_EQ(figures.passed + figures.refused + figures.unwritten +
                static_cast<int>(figures.failures.size()),
            seen);
  fs::remove_all(scratch);
}

INSTANTIATE_TEST_SUITE_P(Shards, SbmlSemanticSuite, ::testing::Range(0, kShardCount));
#endif

}  // namespace
}  // namespace vireon
