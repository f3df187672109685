// The user manual's table of the built-in rate laws against the catalogue:
// every type in catalogue order, with its reversibility, its numbers of
// substrates and products, its modifier role and its constants as the
// program has them, so that the manual cannot drift from the program.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "kinetics/kinetic_type.h"

namespace vireon {
namespace {

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The cells of the manual's rate-law rows: "| 1 | Constant flux ... |".
std::vector<std::vector<std::string>> ManualRateLawRows() {
  std::ifstream in(std::string(VIREON_SOURCE_DIR) + "/docs/manual.md");
  EXPECT_TRUE(in.good());
  std::vector<std::vector<std::string>> rows;
  bool inTable = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("| # | Kinetic type |", 0) == 0) {
      inTable = true;
      continue;
    }
    if (!inTable) continue;
    if (line.rfind("|---", 0) == 0) continue;
    if (line.empty() || line[0] != '|') break;
    std::vector<std::string> cells;
    std::istringstream cellText(line.substr(1));
    for (std::string cell; std::getline(cellText, cell, '|');) cells.push_back(Trim(cell));
    rows.push_back(cells);
  }
  return rows;
}

std::string Count(int count) { return count < 0 ? "any" : std::to_string(count); }

std::string Joined(const std::vector<std::string>& names, const char* none) {
  if (names.empty()) return none;
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

TEST(ManualRateLawTable, ListsEveryBuiltInTypeAsTheCatalogueHasIt) {
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  const std::vector<std::vector<std::string>> rows = ManualRateLawRows();
  ASSERT_EQ(static_cast<int>(rows.size()), catalogue.size());
  for (int i = 0; i < catalogue.size(); ++i) {
    const KineticType& type = *catalogue.at(i);
    const std::vector<std::string>& row = rows[static_cast<std::size_t>(i)];
    SCOPED_TRACE(type.name);
    ASSERT_EQ(row.size(), 8u);
    EXPECT_EQ(row[0], std::to_string(i + 1));
    EXPECT_EQ(row[1], type.name);
    EXPECT_EQ(row[2], type.reversible ? "yes" : "no");
    EXPECT_EQ(row[3], Count(type.substrates));
    EXPECT_EQ(row[4], Count(type.products));
    EXPECT_EQ(row[5], Joined(type.modifierNames, "–"));
    EXPECT_EQ(row[6], Joined(type.constantNames, "–"));
    EXPECT_FALSE(row[7].empty());
  }
}

}  // namespace
}  // namespace vireon
