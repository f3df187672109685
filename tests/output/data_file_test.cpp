#include "output/data_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "engine/task_settings.h"
#include "support/files.h"
#include "support/hostile_files.h"

namespace vireon {
namespace {

OutputItem Column(std::string title, double* value) {
  OutputItem item;
  item.title = std::move(title);
  item.type = kTransientConcentration;
  item.value = value;
  return item;
}

DataFileLayout Layout(int width, char separator, bool quotes) {
  DataFileLayout layout;
  layout.columnWidth = width;
  layout.separator = separator;
  layout.quotes = quotes;
  return layout;
}

TEST(DataFileLayoutTest, WidthEightGivesOneDigitAndTheExponent) {
  double one = 1.0, minus = -2.5, zero = 0.0, small = 3.6e-7;
  std::vector<OutputItem> items = {Column("a", &one), Column("b", &minus), Column("c", &zero),
                                   Column("d", &small)};
  // Precision 0: a blank or minus, one digit, e, sign, three digits, and one
  // blank of padding.
  EXPECT_EQ(FormatValuesLine(items, Layout(8, ' ', false)),
            " 1e+000  -2e+000   0e+000   4e-007 \n");
}

TEST(DataFileLayoutTest, ValuesFillExactlyTheWidthAndAreNeverQuoted) {
  double a = 1.0, b = -0.125, c = 6.02214076e23;
  std::vector<OutputItem> items = {Column("a", &a), Column("b", &b), Column("c", &c)};
  EXPECT_EQ(FormatValuesLine(items, Layout(12, ',', true)),
            " 1.0000e+000,-1.2500e-001, 6.0221e+023\n");
  EXPECT_EQ(FormatValuesLine(items, Layout(20, '\t', false)),
            " 1.000000000000e+000\t-1.250000000000e-001\t 6.022140760000e+023\n");
}

TEST(DataFileLayoutTest, TitlesAreCutOrPaddedToTheWidth) {
  std::vector<OutputItem> items = {Column("[glucose-6-phosphate]t", nullptr),
                                   Column("[A]t", nullptr), Column("exactly8", nullptr)};
  EXPECT_EQ(FormatTitlesLine(items, Layout(8, ' ', false)), "[glucose [A]t     exactly8\n");
  // Quotes are not counted in the width: each column is w + 2 wide.
  EXPECT_EQ(FormatTitlesLine(items, Layout(10, ',', true)),
            "\"[glucose-6\",\"[A]t      \",\"exactly8  \"\n");
}

TEST(DataFileLayoutTest, FirstColumnHasNoSeparator) {
  double v = 2.0;
  std::vector<OutputItem> one = {Column("x", &v)};
  EXPECT_EQ(FormatTitlesLine(one, Layout(9, ',', false)), "x        \n");
  EXPECT_EQ(FormatValuesLine(one, Layout(9, ',', false)), " 2.0e+000\n");
}

TEST(DataFileLayoutTest, EmptySelectionGivesABareLineEnd) {
  EXPECT_EQ(FormatTitlesLine({}, Layout(12, ' ', true)), "\n");
  EXPECT_EQ(FormatValuesLine({}, Layout(12, ' ', true)), "\n");
}

TEST(DataFileLayoutTest, UnboundItemsAreWrittenAsZero) {
  std::vector<OutputItem> items = {Column("x", nullptr)};
  EXPECT_EQ(FormatValuesLine(items, Layout(10, ' ', false)), " 0.00e+000\n");
}

TEST(DataFileLayoutTest, LayoutsComeFromTheFilesOwnSettings) {
  TaskSettings settings;
  settings.dynamicsData.columnWidth = 25;
  settings.dynamicsData.separator = '\t';
  settings.dynamicsData.quotes = 1;
  settings.steadyStateData.columnWidth = 9;
  settings.steadyStateData.separator = ',';
  settings.steadyStateData.quotes = 0;
  DataFileLayout dyn = TimeCourseLayout(settings);
  EXPECT_EQ(dyn.columnWidth, 25);
  EXPECT_EQ(dyn.separator, '\t');
  EXPECT_TRUE(dyn.quotes);
  DataFileLayout ss = SteadyStateLayout(settings);
  EXPECT_EQ(ss.columnWidth, 9);
  EXPECT_EQ(ss.separator, ',');
  EXPECT_FALSE(ss.quotes);
  // Widths the Tasks page cannot show are still the file's widths; only a
  // negative or huge one is brought into range.
  const struct {
    int stored, used;
  } widths[] = {{7, 7}, {26, 26}, {30, 30}, {0, 0}, {-3, 0}, {100000, 4096}};
  for (const auto& width : widths) {
    settings.dynamicsData.columnWidth = width.stored;
    EXPECT_EQ(TimeCourseLayout(settings).columnWidth, width.used) << width.stored;
  }
}

TEST(DataFileLayoutTest, AStoredWidthBeyondTheTasksPageListIsWrittenAsStored) {
  TaskSettings settings;
  settings.steadyStateData.columnWidth = 30;
  double a = 1.0, b = -0.125;
  std::vector<OutputItem> items = {Column("time", &a), Column("[A]ss", &b)};
  // Width 30, precision 22, columns separated by the default blank.
  EXPECT_EQ(FormatTitlesLine(items, SteadyStateLayout(settings)),
            "time                           [A]ss                         \n");
  EXPECT_EQ(FormatValuesLine(items, SteadyStateLayout(settings)),
            " 1.0000000000000000000000e+000 -1.2500000000000000000000e-001\n");
  // Below 8 the precision w - 8 is negative, which printf reads as none: six
  // decimals, wider than the column.
  settings.steadyStateData.columnWidth = 7;
  EXPECT_EQ(FormatValuesLine(items, SteadyStateLayout(settings)),
            " 1.000000e+000 -1.250000e-001\n");
}

TEST(TasksPageListsTest, ColumnWidthEntries) {
  EXPECT_EQ(ColumnWidthEntry(8), 0);
  EXPECT_EQ(ColumnWidthEntry(25), 17);
  EXPECT_EQ(ColumnWidthEntry(12), 4);
  EXPECT_EQ(ColumnWidthEntry(7), 0);
  EXPECT_EQ(ColumnWidthEntry(26), 0);
  for (int entry = 0; entry <= 17; ++entry) {
    EXPECT_EQ(ColumnWidthEntry(ColumnWidthFromEntry(entry)), entry);
  }
  EXPECT_EQ(ColumnWidthFromEntry(-1), 8);
  EXPECT_EQ(ColumnWidthFromEntry(18), 25);
}

TEST(TasksPageListsTest, SeparatorEntries) {
  EXPECT_EQ(SeparatorFromEntry(0), ' ');
  EXPECT_EQ(SeparatorFromEntry(1), '\t');
  EXPECT_EQ(SeparatorFromEntry(2), ',');
  EXPECT_EQ(SeparatorFromEntry(3), ' ');
  EXPECT_EQ(SeparatorFromEntry(-1), ' ');
  EXPECT_EQ(SeparatorEntry(' '), 0);
  EXPECT_EQ(SeparatorEntry('\t'), 1);
  EXPECT_EQ(SeparatorEntry(','), 2);
  EXPECT_EQ(SeparatorEntry(';'), 0);
}

TEST(DataFileTest, ModelFolderIsThePathUpToTheLastSlash) {
  EXPECT_EQ(ModelFolder("/home/user/models/chain.vrn"), "/home/user/models/");
  EXPECT_EQ(ModelFolder("chain.vrn"), "");
  EXPECT_EQ(ModelFolder(""), "");
  EXPECT_EQ(ModelFolder("/chain.vrn"), "/");
}

class DataFileWriteTest : public testing::Test {
 protected:
  std::string Folder() const { return temporary_.folder(); }

  test::TemporaryFolder temporary_;
  const std::filesystem::path folder_ = temporary_.path();
};

TEST_F(DataFileWriteTest, RunWritesTitlesOnceAndOneRowPerPoint) {
  TaskSettings settings;
  settings.dynamicsData.titles = 1;
  settings.dynamicsData.columnWidth = 12;
  settings.dynamicsData.separator = ' ';
  double time = 0.0, a = 1.0;
  std::vector<OutputItem> selection = {Column("time", &time), Column("[A]t", &a)};
  {
    std::ofstream stale(folder_ / "chain.dyn");
    stale << "old contents that the run replaces\n";
  }
  std::string errorLog;
  DataFile file;
  ASSERT_TRUE(file.Open(true, Folder(), "chain.dyn", "time-course", errorLog));
  EXPECT_EQ(file.path(), Folder() + "chain.dyn");
  WriteDynTitles(file, selection, settings);
  WriteDynRow(file, selection, settings);
  time = 0.5;
  a = 0.25;
  WriteDynRow(file, selection, settings);
  file.Close(errorLog);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(errorLog, "");
  EXPECT_EQ(test::ReadText(folder_ / "chain.dyn"),
            "time         [A]t        \n"
            " 0.0000e+000  1.0000e+000\n"
            " 5.0000e-001  2.5000e-001\n");
}

TEST_F(DataFileWriteTest, TitlesOnlyWhenSwitchedOn) {
  TaskSettings settings;
  settings.steadyStateData.titles = 0;
  double v = 1.0;
  std::vector<OutputItem> selection = {Column("x", &v)};
  std::string errorLog;
  DataFile file;
  ASSERT_TRUE(file.Open(true, Folder(), "run.ss", "steady-state", errorLog));
  WriteSSTitles(file, selection, settings);
  WriteSSRow(file, selection, settings);
  file.Close(errorLog);
  EXPECT_EQ(test::ReadText(folder_ / "run.ss"), " 1.0000e+000\n");
}

TEST_F(DataFileWriteTest, TaskOffOrNoNameMeansNoFile) {
  TaskSettings settings;
  std::string errorLog;
  DataFile off;
  EXPECT_FALSE(off.Open(false, Folder(), "off.dyn", "time-course", errorLog));
  DataFile unnamed;
  EXPECT_FALSE(unnamed.Open(true, Folder(), "", "steady-state", errorLog));
  double v = 1.0;
  std::vector<OutputItem> selection = {Column("x", &v)};
  WriteSSRow(unnamed, selection, settings);  // writes nothing, does not fail
  unnamed.Close(errorLog);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "off.dyn"));
  EXPECT_TRUE(std::filesystem::is_empty(folder_));
  EXPECT_EQ(errorLog, "");
}

TEST_F(DataFileWriteTest, AFileThatCannotBeCreatedIsNamedInTheErrorLog) {
  std::string errorLog = "earlier text\r\n";
  DataFile file;
  EXPECT_FALSE(file.Open(true, Folder() + "missing-folder/", "run.dyn", "time-course", errorLog));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(errorLog, "earlier text\r\nCould not create the time-course data file \"" + Folder() +
                          "missing-folder/run.dyn\": No such file or directory\r\n");
  file.Write("ignored\n");
  file.Close(errorLog);
}

TEST_F(DataFileWriteTest, AWriteBeyondTheFileSizeLimitIsReportedWhenTheFileCloses) {
  const int status = test::RunInChild([this] {
    IgnoreFileSizeLimitSignal();
    const rlimit limit{1 << 16, 1 << 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string errorLog;
    DataFile file;
    if (!file.Open(true, Folder(), "big.ss", "steady-state", errorLog)) return 2;
    file.Write(std::string(1 << 20, 'x'));
    const bool closed = file.Close(errorLog);
    const std::string expected =
        "Could not write the steady-state data file \"" + Folder() + "big.ss\": File too large\r\n";
    return !closed && errorLog == expected ? 0 : 1;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(DataFileWriteTest, RunFilesFollowTheTaskSwitchesAndNames) {
  TaskSettings settings;
  settings.dynamics = 1;
  settings.dynamicsData.file = "tc.dat";
  settings.steadyState = 1;
  settings.steadyStateData.file = "";  // the steady-state task runs, but writes no file
  std::string errorLog;
  RunDataFiles files;
  files.Open(settings, Folder() + "model.vrn", "", errorLog);
  EXPECT_TRUE(files.timeCourse.IsOpen());
  EXPECT_FALSE(files.steadyState.IsOpen());
  double v = 1.0;
  std::vector<OutputItem> selection = {Column("x", &v)};
  settings.dynamicsData.columnWidth = 8;
  WriteDynRow(files.timeCourse, selection, settings);
  WriteDynRow(files.timeCourse, selection, settings);
  WriteScanSeparator(files.timeCourse, false);
  WriteDynRow(files.timeCourse, selection, settings);
  WriteScanSeparator(files.timeCourse, true);
  WriteSSRow(files.steadyState, selection, settings);
  files.Close(errorLog);
  EXPECT_EQ(errorLog, "");
  EXPECT_EQ(test::ReadText(folder_ / "tc.dat"), " 1e+000 \n 1e+000 \n\n 1e+000 \n\n\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_),
                          std::filesystem::directory_iterator()),
            1);

  settings.dynamics = 0;
  settings.steadyStateData.file = "ss.dat";
  files.Open(settings, Folder() + "model.vrn", "", errorLog);
  EXPECT_FALSE(files.timeCourse.IsOpen());
  EXPECT_TRUE(files.steadyState.IsOpen());
  files.Close(errorLog);
  EXPECT_TRUE(std::filesystem::exists(folder_ / "ss.dat"));
}

// What a model file may ask of a run's data files: each row names the two
// files, what stands in the folder beforehand, and what the run may write.
struct HostileNamesCase {
  const char* label;
  const char* dynamicsFile;
  const char* steadyStateFile;
  int failed;          // files refused
  const char* logged;  // part of the error log ("" when empty)
};

TEST_F(DataFileWriteTest, RunFilesStayInTheFolderAndOffTheModelTheReportAndEachOther) {
  const std::vector<HostileNamesCase> cases = {
      {"sound", "tc.dat", "ss.dat", 0, ""},
      {"parent folder", "../escaped.dat", "ss.dat", 1, "(DynamicsFile), \"../escaped.dat\""},
      {"absolute", "tc.dat", "/tmp/abs.dat", 1, "(SSFile), \"/tmp/abs.dat\", is not a plain"},
      {"model", "model.vrn", "", 1, "is the name of the model file itself."},
      {"report", "", "model.txt", 1, "is the name of the model's report file."},
      {"the same twice", "same.dat", "same.dat", 1, "(SSFile), \"same.dat\", is also the name"},
      {"planted link", "link.dat", "", 1, "/link.dat\": it is a symbolic link"},
      {"hard link to the model", "alias.dat", "", 1, "/alias.dat\": it is the model file"},
  };
  for (const HostileNamesCase& row : cases) {
    SCOPED_TRACE(row.label);
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_ / "sub");
    test::WriteText(folder_ / "model.vrn", "Version=3.00301\n");
    test::WriteText(folder_ / "sub" / "outside", "outside\n");
    std::filesystem::create_symlink(folder_ / "sub" / "outside", folder_ / "link.dat");
    std::filesystem::create_hard_link(folder_ / "model.vrn", folder_ / "alias.dat");
    TaskSettings settings;
    settings.dynamicsData.file = row.dynamicsFile;
    settings.steadyStateData.file = row.steadyStateFile;
    settings.report = 1;

    std::string errorLog;
    RunDataFiles files;
    files.Open(settings, Folder() + "model.vrn", Folder() + "model.txt", errorLog);
    files.timeCourse.Write("time course\n");
    files.steadyState.Write("steady state\n");
    files.Close(errorLog);

    const int named = (*row.dynamicsFile != 0) + (*row.steadyStateFile != 0);
    EXPECT_EQ(files.planned, named);
    EXPECT_EQ(files.failed, row.failed);
    if (*row.logged == 0) {
      EXPECT_EQ(errorLog, "");
    } else {
      EXPECT_NE(errorLog.find(row.logged), std::string::npos) << errorLog;
    }
    // Nothing outside the folder, the model and the link's target untouched.
    EXPECT_EQ(test::ReadText(folder_ / "model.vrn"), "Version=3.00301\n");
    EXPECT_EQ(test::ReadText(folder_ / "sub" / "outside"), "outside\n");
    EXPECT_FALSE(std::filesystem::exists(folder_.parent_path() / "escaped.dat"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/abs.dat"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "model.txt"));
    // Every file the run may write holds exactly its own text.
    if (files.failed == 0) {
      EXPECT_EQ(test::ReadText(folder_ / row.dynamicsFile), "time course\n");
      EXPECT_EQ(test::ReadText(folder_ / row.steadyStateFile), "steady state\n");
    }
  }
}

}  // namespace
}  // namespace vireon
