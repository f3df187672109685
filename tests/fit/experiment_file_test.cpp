#include "fit/experiment_file.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/expect_close.h"

namespace vireon {
namespace {

TEST(ExperimentFile, ReadsATimeCourseWithStandardDeviationsAndMissingCells) {
  const ExperimentReadResult read = ParseExperimentText(
      "# measured on a Tuesday\n"
      "time,\"[X]t\",sd([X]t),J(R1)\n"
      "0,0,0.1,2\n"
      "\n"
      "0.5,0.25,0.2,\n"
      "1,4.5e-1,0.3,1.5\n",
      "run1.csv");
  ASSERT_TRUE(read.experiment) << read.error;
  const ExperimentFile& e = *read.experiment;
  EXPECT_EQ(e.kind, ExperimentKind::kTimeCourse);
  ASSERT_EQ(e.rows(), 3u);
  EXPECT_EQ(e.lines, (std::vector<int>{3, 5, 6}));
  EXPECT_CLOSE(e.times[1], 0.5, 0.0, 0.0);
  ASSERT_EQ(e.columns.size(), 2u);
  EXPECT_EQ(e.columns[0].title, "[X]t");
  EXPECT_EQ(e.columns[0].sdPosition, 3);
  EXPECT_CLOSE(e.columns[0].sd[2], 0.3, 0.0, 0.0);
  EXPECT_CLOSE(e.columns[0].values[2], 0.45, 0.0, 0.0);
  EXPECT_EQ(e.columns[1].position, 4);
  EXPECT_TRUE(e.columns[1].sd.empty());
  EXPECT_TRUE(std::isnan(e.columns[1].values[1]));
}

TEST(ExperimentFile, TabsMakeASteadyStateTable) {
  const ExperimentReadResult read = ParseExperimentText("[S]i\tX\n1\t2\n2\t4\n", "titration.txt");
  ASSERT_TRUE(read.experiment) << read.error;
  EXPECT_EQ(read.experiment->kind, ExperimentKind::kSteadyState);
  EXPECT_TRUE(read.experiment->times.empty());
  ASSERT_EQ(read.experiment->columns.size(), 2u);
  EXPECT_EQ(read.experiment->columns[0].title, "[S]i");
}

struct Refusal {
  const char* text;
  const char* message;
};

class ExperimentFileRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ExperimentFileRefusal, NamesTheFileTheLineAndTheColumn) {
  const ExperimentReadResult read = ParseExperimentText(GetParam().text, "d.csv");
  EXPECT_FALSE(read.experiment);
  EXPECT_EQ(read.error, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, ExperimentFileRefusal,
    ::testing::Values(
        Refusal{"", "d.csv: the file holds no header row"},
        Refusal{"time,X\n", "d.csv: the file has a header but no rows"},
        Refusal{"time,X\n0,1\n1,x2\n",
                "d.csv, line 3: column 2 (X) holds \"x2\", which is not a finite number"},
        Refusal{"time,X\n0,1\n1,inf\n",
                "d.csv, line 3: column 2 (X) holds \"inf\", which is not a finite number"},
        Refusal{"time,X\n0,1,2\n", "d.csv, line 2: the row has 3 fields, the header 2"},
        Refusal{"time,X\n1,1\n0,1\n",
                "d.csv, line 3: column 1 (time): the time is earlier than the row before"},
        Refusal{"time,X\n,1\n", "d.csv, line 2: column 1 (time): the time is missing"},
        Refusal{"time,X\n-1,1\n", "d.csv, line 2: column 1 (time): the time is negative"},
        Refusal{"X,time\n1,0\n", "d.csv, line 1: the time must be the first column, not column 2"},
        Refusal{"time,X,X\n0,1,1\n", "d.csv, line 1: the title X is given twice (columns 2 and 3)"},
        Refusal{"time,X,sd(Y)\n0,1,1\n",
                "d.csv, line 1: column 3 (sd(Y)) is the standard deviation of a column the "
                "file does not have"},
        Refusal{"time,X,sd(X)\n0,1,0\n",
                "d.csv, line 2: column 3 (sd(X)): a standard deviation must be above 0"},
        Refusal{"time,X,sd(X)\n0,1,\n",
                "d.csv, line 2: column 3 (sd(X)) is empty where column 2 (X) has a value"},
        Refusal{"time,,X\n0,1,1\n", "d.csv, line 1: column 2 has no title"},
        Refusal{"time\n0\n", "d.csv, line 1: the file has no column of measurements"},
        Refusal{"time,\"X\n0,1\n", "d.csv, line 1: a quote in the header row is not closed"}));

TEST(ExperimentFile, AFileThatIsNotThereIsNamed) {
  const ExperimentReadResult read = ReadExperimentFile("/nonexistent/folder/d.csv");
  EXPECT_FALSE(read.experiment);
  EXPECT_EQ(read.error.rfind("/nonexistent/folder/d.csv: cannot be read: ", 0), 0u) << read.error;
}

}  // namespace
}  // namespace vireon
