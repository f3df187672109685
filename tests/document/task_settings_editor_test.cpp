// The Tasks page's rules through its editor: what the fields accept and
// refuse (with the message the user sees), the two lists, the column order,
// and when the document counts as modified.

#include "document/task_settings_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/document.h"
#include "model/message_sink.h"
#include "output/data_file.h"
#include "output/output_item.h"

namespace vireon {
namespace {

class TaskSettingsEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { NewDocument(document_, DefaultValues()); }

  Document document_;
  RecordingSink sink_;
  TaskSettingsEditor editor_{document_, sink_};
};

TEST_F(TaskSettingsEditorTest, EndTimeRefusesZeroAndTextButTakesEitherSign) {
  struct Case {
    const char* text;
    bool accepted;
    double endTime;  // after the edit
    const char* message;
  };
  const Case cases[] = {
      {"0", false, 10.0, kEndTimeZero},       {"-0.0", false, 10.0, kEndTimeZero},
      {"abc", false, 10.0, kEndTimeNotANumber}, {"1e400", false, 10.0, kEndTimeNotANumber},
      {"12x", false, 10.0, kEndTimeNotANumber}, {"", false, 10.0, kEndTimeNotANumber},
      {" -2.5 ", true, -2.5, nullptr},        {"+7", true, 7.0, nullptr},
      {"1e-200", false, 10.0, kEndTimeTooNearZero}, {"-4e-320", false, 10.0, kEndTimeTooNearZero},
      {"-1e-100", true, -1e-100, nullptr},
  };
  for (const Case& c : cases) {
    document_.settings.endTime = 10.0;
    sink_.Clear();
    editor_.ClearModified();
    EXPECT_EQ(editor_.SetEndTime(c.text), c.accepted) << c.text;
    EXPECT_EQ(document_.settings.endTime, c.endTime) << c.text;
    EXPECT_EQ(editor_.modified(), c.accepted) << c.text;
    if (c.message != nullptr) {
      ASSERT_EQ(sink_.messages().size(), 1u) << c.text;
      EXPECT_EQ(sink_.messages()[0].text, c.message);
    } else {
      EXPECT_TRUE(sink_.messages().empty()) << c.text;
    }
  }
  document_.settings.endTime = 0.25;
  EXPECT_EQ(editor_.EndTimeText(), "0.25");
}

TEST_F(TaskSettingsEditorTest, PointsTakeWholeNumbersFromZero) {
  EXPECT_TRUE(editor_.SetPoints("0"));
  EXPECT_EQ(document_.settings.points, 0);
  for (const char* bad : {"-1", "2.5", "many", "99999999999"}) {
    EXPECT_FALSE(editor_.SetPoints(bad)) << bad;
    EXPECT_EQ(document_.settings.points, 0) << bad;
  }
  EXPECT_TRUE(sink_.Said(kPointsNotACount));
  EXPECT_TRUE(editor_.SetPoints(" 200"));
  EXPECT_EQ(editor_.PointsText(), "200");
}

TEST_F(TaskSettingsEditorTest, FileNamesStayInTheModelsFolder) {
  EXPECT_TRUE(editor_.SetFileName(DataTask::kTimeCourse, " run.dyn "));
  EXPECT_EQ(document_.settings.dynamicsData.file, "run.dyn");
  for (const char* bad : {"../run.dyn", "/tmp/x", "sub/x", "a\\b", "..", "."}) {
    sink_.Clear();
    EXPECT_FALSE(editor_.SetFileName(DataTask::kSteadyState, bad)) << bad;
    ASSERT_EQ(sink_.messages().size(), 1u) << bad;
    // The message names the field.
    EXPECT_NE(sink_.messages()[0].text.find("steady-state data file (SSFile)"), std::string::npos);
  }
  EXPECT_EQ(document_.settings.steadyStateData.file, "");
  // Nor the model's own file, its report or the other data file.
  document_.pathName = "/models/m.vrn";
  for (const char* taken : {"m.vrn", "m.txt", "run.dyn"}) {
    EXPECT_FALSE(editor_.SetFileName(DataTask::kSteadyState, taken)) << taken;
  }
  // An empty name means no file.
  EXPECT_TRUE(editor_.SetFileName(DataTask::kTimeCourse, ""));
  EXPECT_EQ(editor_.FileName(DataTask::kTimeCourse), "");
}

TEST_F(TaskSettingsEditorTest, ListsMapEntriesToStoredValuesAndBack) {
  const std::vector<std::string> widths = ColumnWidthEntries();
  ASSERT_EQ(widths.size(), static_cast<std::size_t>(kMaxColumnWidth - kMinColumnWidth + 1));
  EXPECT_EQ(widths.front(), "8");
  EXPECT_EQ(widths.back(), "25");
  EXPECT_EQ(SeparatorEntries(), (std::vector<std::string>{"space", "tab", "comma"}));

  // Every entry round-trips through the stored value, for both files.
  for (DataTask task : {DataTask::kTimeCourse, DataTask::kSteadyState}) {
    for (int entry = 0; entry < static_cast<int>(widths.size()); ++entry) {
      editor_.SetColumnWidthEntry(task, entry);
      EXPECT_EQ(editor_.ColumnWidthEntry(task), entry);
    }
    for (int entry = 0; entry < 3; ++entry) {
      editor_.SetSeparatorEntry(task, entry);
      EXPECT_EQ(editor_.SeparatorEntry(task), entry);
    }
  }
  EXPECT_EQ(document_.settings.dynamicsData.columnWidth, 25);
  EXPECT_EQ(document_.settings.steadyStateData.separator, ',');
  editor_.SetSeparatorEntry(DataTask::kTimeCourse, 1);
  EXPECT_EQ(document_.settings.dynamicsData.separator, '\t');

  // A stored width outside the list shows as the first entry and is kept.
  document_.settings.steadyStateData.columnWidth = 40;
  document_.settings.steadyStateData.separator = ';';
  EXPECT_EQ(editor_.ColumnWidthEntry(DataTask::kSteadyState), 0);
  EXPECT_EQ(editor_.SeparatorEntry(DataTask::kSteadyState), 0);
  EXPECT_EQ(document_.settings.steadyStateData.columnWidth, 40);
  EXPECT_EQ(document_.settings.steadyStateData.separator, ';');
}

TEST_F(TaskSettingsEditorTest, UpAndDownChangeTheColumnOrderWithinTheList) {
  auto& columns = document_.selections.steadyState;
  columns = {MakeOutputItem(kSteadyStateConcentration, "A"), MakeOutputItem(kSteadyStateFlux, "v"),
             MakeOutputItem(kSteadyStateConcentration, "B")};
  EXPECT_EQ(editor_.MoveUp(DataTask::kSteadyState, 0), -1);
  EXPECT_EQ(editor_.MoveDown(DataTask::kSteadyState, 2), -1);
  EXPECT_FALSE(editor_.modified());

  EXPECT_EQ(editor_.MoveDown(DataTask::kSteadyState, 0), 1);
  EXPECT_EQ(editor_.MoveDown(DataTask::kSteadyState, 1), 2);
  EXPECT_EQ(editor_.MoveUp(DataTask::kSteadyState, 1), 0);
  std::vector<std::string> titles;
  for (const OutputItem& item : editor_.Selection(DataTask::kSteadyState)) titles.push_back(item.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"[B]ss", "J(v)", "[A]ss"}));
  EXPECT_TRUE(editor_.modified());
  EXPECT_TRUE(document_.selections.timeCourse.empty());
}

TEST_F(TaskSettingsEditorTest, SwitchesMarkTheDocumentOnlyWhenTheyChangeIt) {
  const TaskSettings before = document_.settings;
  editor_.SetTaskOn(DataTask::kTimeCourse, before.dynamics != 0);
  editor_.SetReportOn(before.report != 0);
  editor_.SetSection(ReportSection::kMca, before.reportMca != 0);
  editor_.SetEventRows(before.eventRows != 0);
  EXPECT_FALSE(editor_.modified());

  editor_.SetTaskOn(DataTask::kSteadyState, false);
  editor_.SetTitles(DataTask::kTimeCourse, true);
  editor_.SetQuotes(DataTask::kSteadyState, true);
  editor_.SetReportOn(true);
  editor_.SetSection(ReportSection::kStructuralAnalysis, true);
  editor_.SetSection(ReportSection::kComments, false);
  editor_.SetEventRows(true);
  EXPECT_TRUE(editor_.modified());
  EXPECT_TRUE(editor_.EventRows());
  EXPECT_EQ(document_.settings.eventRows, 1);
  EXPECT_FALSE(editor_.TaskOn(DataTask::kSteadyState));
  EXPECT_TRUE(editor_.Titles(DataTask::kTimeCourse));
  EXPECT_TRUE(editor_.Quotes(DataTask::kSteadyState));
  EXPECT_TRUE(editor_.ReportOn());
  EXPECT_TRUE(editor_.Section(ReportSection::kStructuralAnalysis));
  EXPECT_FALSE(editor_.Section(ReportSection::kComments));
  EXPECT_EQ(document_.settings.steadyState, 0);
  EXPECT_EQ(document_.settings.reportComments, 0);
}

}  // namespace
}  // namespace vireon
