// Reading back a data file: titles line skipped, any of the three
// separators, blank lines as block separators, short and long rows, and
// the engine's mark for a value it could not compute.

#include "output/data_table.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>

#include "support/files.h"
#include "support/hostile_files.h"

namespace vireon {
namespace {

TEST(DataTableTest, RowsAndBlocksOfEverySeparator) {
  const test::TemporaryFolder folder;
  const std::string path = (folder / "table.dat").string();
  test::WriteText(path,
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
}

TEST(DataTableTest, AMissingFileIsAnErrorWithItsReason) {
  DataTable table;
  std::string error;
  EXPECT_FALSE(ReadDataTable("/nonexistent/vireon.dat", 1, false, table, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(table.rows.empty());
}

// A data file's name comes from the model: a FIFO put in its place, a
// device or a folder is refused at once instead of holding the program up.
TEST(DataTableTest, AnythingButARegularFileIsRefusedWithoutWaiting) {
  const test::TemporaryFolder folder;
  ASSERT_TRUE(test::MakeFifo(folder / "fifo.dat"));
  for (const std::filesystem::path& path :
       {folder / "fifo.dat", std::filesystem::path("/dev/zero"), folder.path()}) {
    SCOPED_TRACE(path.string());
    DataTable table;
    std::string error;
    bool read = true;
    ASSERT_TRUE(test::FinishesWithin(
        std::chrono::seconds(10),
        [&] { read = ReadDataTable(path.string(), 1, false, table, error); },
        [&] { test::ReleaseFifo(path); }));
    EXPECT_FALSE(read);
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace vireon
