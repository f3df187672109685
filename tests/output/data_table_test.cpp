// Reading back a data file: titles line skipped, any of the three
// separators, blank lines as block separators, short and long rows, and
// the engine's mark for a value it could not compute.

#include "output/data_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace vireon {
namespace {

std::string WriteTemporary(const std::string& name, const std::string& text) {
  const std::string path = (std::filesystem::path(testing::TempDir()) / name).string();
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(DataTableTest, RowsAndBlocksOfEverySeparator) {
  const std::string path = WriteTemporary(
      "vireon_table.dat",
      "\"time\",\"[A]t \"\n"
      " 0.0e+000, 1.5e+000\n"
      " 1.0e+000,-2.5e-001\n"
      "\n\n"
      " 2.0e+000\t 1.797693e+308\n"
      "\n"
      " 3.0e+000  4.0e+000  9.0e+000\n"
      " 4.0e+000 x\n");
  DataTable table;
  std::string error;
  ASSERT_TRUE(ReadDataTable(path, 2, true, table, error)) << error;
  ASSERT_EQ(table.rows.size(), 5u);
  EXPECT_EQ(table.blockStarts, (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(table.rows[1], (std::vector<double>{1.0, -0.25}));
  EXPECT_EQ(table.rows[2][1], 1.797693e+308);
  // A third field is ignored; an unreadable one is NaN.
  EXPECT_EQ(table.rows[3], (std::vector<double>{3.0, 4.0}));
  EXPECT_TRUE(std::isnan(table.rows[4][1]));

  // Read without skipping the titles line, the titles are no numbers.
  ASSERT_TRUE(ReadDataTable(path, 2, false, table, error));
  ASSERT_EQ(table.rows.size(), 6u);
  EXPECT_TRUE(std::isnan(table.rows[0][0]));
  std::filesystem::remove(path);
}

TEST(DataTableTest, AMissingFileIsAnErrorWithItsReason) {
  DataTable table;
  std::string error;
  EXPECT_FALSE(ReadDataTable("/nonexistent/vireon.dat", 1, false, table, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(table.rows.empty());
}

}  // namespace
}  // namespace vireon
