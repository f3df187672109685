#include "output/plot_page_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/message_sink.h"
#include "model/messages.h"

namespace vireon {
namespace {

PlotPageDocument Document(int timeCourseItems, int steadyStateItems, bool dynamics = true,
                          bool steadyState = true) {
  PlotPageDocument d;
  d.timeCourseTask = dynamics;
  d.steadyStateTask = steadyState;
  for (int i = 0; i < timeCourseItems; ++i) d.timeCourseTitles.push_back("t" + std::to_string(i));
  for (int i = 0; i < steadyStateItems; ++i) d.steadyStateTitles.push_back("s" + std::to_string(i));
  d.folder = "/models/";
  d.dynamicsFile = "run.dyn";
  d.steadyStateFile = "run.ss";
  d.modelTitle = "M";
  return d;
}

TEST(PlotPageEditor, NothingSelectedForEitherTaskDisablesThePage) {
  PlotSettings settings;
  PlotPageEditor page(settings, Document(0, 0));
  RecordingSink sink;
  page.Activate(sink);
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kInformation);
  EXPECT_EQ(sink.messages()[0].text, messages::kPlotNeedsSelection);
  EXPECT_FALSE(page.enabled());
  EXPECT_FALSE(page.timeCourseChoiceEnabled());
  EXPECT_FALSE(page.steadyStateChoiceEnabled());
  EXPECT_TRUE(page.listTitles().empty());
  EXPECT_EQ(page.BuildScript(), "");
}

TEST(PlotPageEditor, EmptyTimeCourseSelectionForcesTheSteadyStateSource) {
  PlotSettings settings;  // a new document plots the time course
  PlotPageEditor page(settings, Document(0, 3));
  RecordingSink sink;
  page.Activate(sink);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_TRUE(page.enabled());
  EXPECT_EQ(page.controls().plotDyn, 0);
  EXPECT_FALSE(page.timeCourseChoiceEnabled());
  EXPECT_TRUE(page.steadyStateChoiceEnabled());
  EXPECT_EQ(page.listTitles(), (std::vector<std::string>{"s0", "s1", "s2"}));
}

TEST(PlotPageEditor, SteadyStateTaskOffForcesTheTimeCourseSource) {
  PlotSettings settings;
  settings.plotDyn = 0;
  PlotPageEditor page(settings, Document(2, 3, true, false));
  RecordingSink sink;
  page.Activate(sink);
  EXPECT_EQ(page.controls().plotDyn, 1);
  EXPECT_TRUE(page.timeCourseChoiceEnabled());
  EXPECT_FALSE(page.steadyStateChoiceEnabled());
  EXPECT_EQ(page.listTitles().size(), 2u);
}

TEST(PlotPageEditor, ActivationSelectsTheStoredEntriesWithinTheList) {
  PlotSettings settings;
  settings.plotXEntry = 0;
  settings.plotY = {2, 7, -1};
  settings.plotZ = {1};
  PlotPageEditor page(settings, Document(3, 3));
  RecordingSink sink;
  page.Activate(sink);
  EXPECT_EQ(page.xSelection(), 0);
  EXPECT_EQ(page.ySelected(), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(page.zSelected(), (std::vector<bool>{false, true, false}));
  EXPECT_FALSE(page.zListEnabled());  // 2-D
}

TEST(PlotPageEditor, DeactivationStoresTheSelectionsAndMinusOneForEmptyLists) {
  PlotSettings settings;
  PlotPageEditor page(settings, Document(4, 1));
  RecordingSink sink;
  page.Activate(sink);
  page.SelectX(1);
  page.SetYSelected(3, true);
  page.SetYSelected(0, true);
  page.SetStyle(kPlotSplines);
  page.SetGrid(true);
  page.Deactivate();
  EXPECT_EQ(settings.plotXEntry, 1);
  EXPECT_EQ(settings.plotY, (std::vector<int>{0, 3}));
  EXPECT_EQ(settings.plotZ, (std::vector<int>{kNoPlotEntry}));
  EXPECT_EQ(settings.plotType, kPlotSplines);
  EXPECT_EQ(settings.plotGrid, 1);
}

TEST(PlotPageEditor, DeactivationBeforeActivationChangesNothing) {
  PlotSettings settings;
  settings.plotY = {3};
  PlotPageEditor page(settings, Document(4, 1));
  page.Deactivate();
  EXPECT_EQ(settings.plotY, (std::vector<int>{3}));
}

TEST(PlotPageEditor, SwitchingTo3dKeepsTheFirstYAndTo2dClearsZ) {
  PlotSettings settings;
  PlotPageEditor page(settings, Document(5, 1));
  RecordingSink sink;
  page.Activate(sink);
  page.SetZSelected(2, true);  // ignored in 2-D
  EXPECT_EQ(page.zSelected()[2], false);
  page.SetYSelected(1, true);
  page.SetYSelected(3, true);
  page.Choose3d(true);
  EXPECT_TRUE(page.zListEnabled());
  EXPECT_TRUE(page.threeDOptionsEnabled());
  EXPECT_EQ(page.ySelected(), (std::vector<bool>{false, true, false, false, false}));
  page.SetYSelected(4, true);  // one y item in 3-D
  EXPECT_EQ(page.ySelected(), (std::vector<bool>{false, false, false, false, true}));
  page.SetZSelected(2, true);
  page.SetContour(true);
  EXPECT_EQ(page.controls().plotContour, 1);
  page.Choose3d(false);
  EXPECT_FALSE(page.zListEnabled());
  EXPECT_EQ(page.zSelected(), std::vector<bool>(5, false));
  page.SetHidden3d(true);  // ignored in 2-D
  EXPECT_EQ(page.controls().plotHidden3d, 0);
}

TEST(PlotPageEditor, SwitchingTheSourceRefillsTheLists) {
  PlotSettings settings;
  PlotPageEditor page(settings, Document(2, 4));
  RecordingSink sink;
  page.Activate(sink);
  page.SelectX(0);
  page.SetYSelected(1, true);
  page.ChooseTimeCourse(false);
  EXPECT_EQ(page.controls().plotDyn, 0);
  EXPECT_EQ(page.listTitles().size(), 4u);
  EXPECT_EQ(page.xSelection(), 0);
  EXPECT_EQ(page.ySelected(), (std::vector<bool>{false, true, false, false}));
}

TEST(PlotPageEditor, BuildScriptStoresThePageFirstAndUsesTheChosenFile) {
  PlotSettings settings;
  PlotPageEditor page(settings, Document(3, 2));
  RecordingSink sink;
  page.Activate(sink);
  page.SelectX(0);
  page.SetYSelected(2, true);
  page.SetTitles(false);
  const std::string script = page.BuildScript();
  EXPECT_EQ(settings.plotY, (std::vector<int>{2}));
  EXPECT_EQ(settings.plotTitles, 0);
  EXPECT_EQ(script,
            "set terminal qt\nset output\nset nogrid\nset nokey\nset style data lines\n"
            "plot '/models/run.dyn' u 1:3\n\n");
  page.ChooseTimeCourse(false);
  page.SetYSelected(1, true);
  EXPECT_NE(page.BuildScript().find("plot '/models/run.ss' u 1:2\n"), std::string::npos);
}

TEST(PlotPageEditor, OutOfRangeActionsAreIgnored) {
  PlotSettings settings;
  PlotPageEditor page(settings, Document(2, 2));
  RecordingSink sink;
  page.Activate(sink);
  page.SelectX(5);
  EXPECT_EQ(page.xSelection(), kNoPlotEntry);
  page.SetYSelected(-1, true);
  page.SetYSelected(2, true);
  EXPECT_EQ(page.ySelected(), std::vector<bool>(2, false));
  page.SetStyle(6);
  EXPECT_EQ(page.controls().plotType, kPlotLines);
}

TEST(PlotDataPath, FolderAndTheSourcesFileName) {
  PlotSettings settings;
  PlotPageDocument d = Document(1, 1);
  EXPECT_EQ(PlotDataPath(settings, d), "/models/run.dyn");
  settings.plotDyn = 0;
  EXPECT_EQ(PlotDataPath(settings, d), "/models/run.ss");
  EXPECT_EQ(PlotSourceOf(settings, d).columnTitles, (std::vector<std::string>{"s0"}));
}

}  // namespace
}  // namespace vireon
