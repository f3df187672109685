#include "scan/scan_page_editor.h"

#include <gtest/gtest.h>

#include "model/messages.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

OutputItem Quantity(const std::string& title) {
  OutputItem item;
  item.title = title;
  item.type = kInitialConcentration;
  item.i = title;
  return item;
}

class ScanPageEditorTest : public ::testing::Test {
 protected:
  ScanList scan;
  RecordingSink sink;
  ScanPageEditor editor{scan, sink};
};

TEST_F(ScanPageEditorTest, EnableButtonNamesTheActionAndIterationsFollowTheSwitch) {
  EXPECT_EQ(editor.EnableButtonText(), "Enable");
  editor.Add(Quantity("A"));
  editor.SetDensity(5);
  EXPECT_EQ(editor.IterationsShown(), 1);
  editor.ClearModified();
  editor.ToggleEnabled();
  EXPECT_EQ(scan.enabled, 1);
  EXPECT_TRUE(editor.modified());
  EXPECT_EQ(editor.EnableButtonText(), "Disable");
  EXPECT_EQ(editor.IterationsShown(), 5);
  editor.ToggleEnabled();
  EXPECT_EQ(editor.IterationsShown(), 1);
}

TEST_F(ScanPageEditorTest, AddAppendsWithDefaultsAndSelects) {
  EXPECT_FALSE(editor.FieldsEnabled());
  EXPECT_EQ(editor.Add(Quantity("A")), 0);
  EXPECT_EQ(editor.Add(Quantity("B")), 1);
  EXPECT_EQ(editor.selected(), 1);
  const ScanItem& item = scan.items[1];
  EXPECT_EQ(item.title, "B");
  EXPECT_CLOSE(item.min, 1.0, 0.0, 0.0);
  EXPECT_CLOSE(item.max, 2.0, 0.0, 0.0);
  EXPECT_EQ(item.density, 2);
  EXPECT_EQ(item.grid, kScanRegularGrid);
  EXPECT_EQ(item.log, 0);
  EXPECT_EQ(item.independent, 1);
  EXPECT_EQ(editor.totalIterations(), 4);
  EXPECT_TRUE(editor.modified());
}

TEST_F(ScanPageEditorTest, FirstItemIsAlwaysAMaster) {
  editor.Add(Quantity("A"));
  editor.Add(Quantity("B"));
  EXPECT_TRUE(editor.SetMaster(false));
  EXPECT_FALSE(scan.items[1].IsMaster());
  EXPECT_TRUE(editor.MoveUp());
  EXPECT_EQ(scan.items[0].title, "B");
  EXPECT_TRUE(scan.items[0].IsMaster());
  EXPECT_EQ(editor.selected(), 0);
  EXPECT_FALSE(editor.MasterEditable());
  EXPECT_FALSE(editor.SetMaster(false));
  EXPECT_TRUE(scan.items[0].IsMaster());
  EXPECT_FALSE(editor.MoveUp());
}

TEST_F(ScanPageEditorTest, DeletingTheFirstMasterPromotesTheNextItem) {
  editor.Add(Quantity("A"));
  editor.Add(Quantity("B"));
  editor.SetMaster(false);
  editor.Select(0);
  EXPECT_TRUE(editor.Delete());
  ASSERT_EQ(scan.items.size(), 1u);
  EXPECT_TRUE(scan.items[0].IsMaster());
  EXPECT_EQ(editor.selected(), 0);
  EXPECT_TRUE(editor.Delete());
  EXPECT_EQ(editor.selected(), -1);
  EXPECT_FALSE(editor.Delete());
  EXPECT_EQ(editor.totalIterations(), 1);
}

TEST_F(ScanPageEditorTest, MoveDownSwapsWithTheNextItem) {
  editor.Add(Quantity("A"));
  editor.Add(Quantity("B"));
  editor.Add(Quantity("C"));
  editor.Select(0);
  EXPECT_TRUE(editor.MoveDown());
  EXPECT_EQ(scan.items[0].title, "B");
  EXPECT_EQ(scan.items[1].title, "A");
  EXPECT_EQ(editor.selected(), 1);
  editor.Select(2);
  EXPECT_FALSE(editor.MoveDown());
}

TEST_F(ScanPageEditorTest, ClearingMasterCopiesTheMastersDensity) {
  editor.Add(Quantity("A"));
  editor.SetDensity(7);
  editor.Add(Quantity("B"));
  editor.Add(Quantity("C"));
  EXPECT_EQ(editor.totalIterations(), 28);
  editor.Select(1);
  editor.SetMaster(false);  // follows A
  editor.Select(2);
  editor.SetMaster(false);  // the nearest master before C is A
  EXPECT_EQ(scan.items[1].density, 7);
  EXPECT_EQ(scan.items[2].density, 7);
  EXPECT_EQ(editor.totalIterations(), 7);
  EXPECT_FALSE(editor.DensityEnabled());
  EXPECT_FALSE(editor.SetDensity(3));
  EXPECT_TRUE(editor.SetMaster(true));
  EXPECT_TRUE(editor.DensityEnabled());
  EXPECT_EQ(editor.totalIterations(), 49);
}

TEST_F(ScanPageEditorTest, DensityAcceptsTwoAndMore) {
  editor.Add(Quantity("A"));
  EXPECT_FALSE(editor.SetDensity(1));
  EXPECT_FALSE(editor.SetDensity(-4));
  EXPECT_EQ(scan.items[0].density, 2);
  EXPECT_TRUE(editor.SetDensity(2));
  EXPECT_TRUE(editor.SetDensity(11));
  EXPECT_EQ(editor.totalIterations(), 11);
}

TEST_F(ScanPageEditorTest, EqualEndsOfARangeAreRefusedWithMessage5026) {
  editor.Add(Quantity("A"));
  EXPECT_FALSE(editor.SetMax(1.0));
  EXPECT_CLOSE(scan.items[0].max, 2.0, 0.0, 0.0);
  ASSERT_EQ(sink.messages().size(), 1u);
  EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kWarning);
  EXPECT_EQ(sink.messages()[0].text, messages::kScanEndsEqual);
  EXPECT_FALSE(editor.SetMin(2.0));
  EXPECT_TRUE(editor.SetMin(0.5));
  EXPECT_CLOSE(scan.items[0].min, 0.5, 0.0, 0.0);
  // The normal kinds take a mean and a deviation, which may be equal.
  EXPECT_TRUE(editor.SetKind(kScanNormal));
  EXPECT_TRUE(editor.SetMax(0.5));
  EXPECT_EQ(sink.messages().size(), 2u);
}

TEST_F(ScanPageEditorTest, TypedEndsAreReadHereAndRefusedWithTheFieldAndTheReason) {
  EXPECT_FALSE(editor.SetMinText("0.5"));  // nothing selected
  editor.Add(Quantity("A"));
  EXPECT_TRUE(editor.SetMinText(" 0.25 mM"));  // the number at the start of the text
  EXPECT_CLOSE(scan.items[0].min, 0.25, 0.0, 0.0);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_FALSE(editor.SetMaxText("1e999"));
  EXPECT_FALSE(editor.SetMinText("lots"));
  EXPECT_CLOSE(scan.items[0].min, 0.25, 0.0, 0.0);
  EXPECT_CLOSE(scan.items[0].max, 2.0, 0.0, 0.0);
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{
                editor.MaxLabel() + ": \"1e999\" is beyond the largest number (about 1.8e308).",
                editor.MinLabel() + ": \"lots\" is not a number."}));
  // Equal ends are still refused as before.
  sink.Clear();
  EXPECT_FALSE(editor.SetMaxText("0.25"));
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{messages::kScanEndsEqual});
}

TEST_F(ScanPageEditorTest, LabelsFollowTheKind) {
  EXPECT_EQ(editor.MinLabel(), "Min");
  editor.Add(Quantity("A"));
  struct Case {
    int kind;
    const char* min;
    const char* max;
  };
  for (const Case& c :
       {Case{kScanRegularGrid, "Min", "Max"}, Case{kScanUniform, "Min", "Max"},
        Case{kScanNormal, "Mean", "Std.Dev."}, Case{kScanPositiveNormal, "Mean", "Std.Dev."}}) {
    EXPECT_TRUE(editor.SetKind(c.kind));
    EXPECT_EQ(scan.items[0].grid, c.kind);
    EXPECT_EQ(editor.MinLabel(), c.min);
    EXPECT_EQ(editor.MaxLabel(), c.max);
  }
  EXPECT_FALSE(editor.SetKind(4));
  EXPECT_FALSE(editor.SetKind(kScanNone));
}

TEST_F(ScanPageEditorTest, LogarithmicMarksModified) {
  editor.Add(Quantity("A"));
  editor.ClearModified();
  EXPECT_TRUE(editor.SetLogarithmic(true));
  EXPECT_EQ(scan.items[0].log, 1);
  EXPECT_TRUE(editor.modified());
  editor.Select(-1);
  EXPECT_FALSE(editor.SetLogarithmic(false));
  EXPECT_FALSE(editor.SetMin(3.0));
}

}  // namespace
}  // namespace vireon

namespace vireon {
namespace {

TEST_F(ScanPageEditorTest, EveryKindButTheGridAndAnUnknownOneIsRandom) {
  EXPECT_FALSE(editor.SelectedIsRandom());  // nothing selected
  EXPECT_FALSE(editor.ChooseKind(true, 0));
  editor.Add(Quantity("A"));
  EXPECT_FALSE(editor.SelectedIsRandom());  // a new item is a grid
  EXPECT_EQ(editor.SelectedRandomChoice(), -1);
  const std::span<const ScanPageEditor::RandomKind> kinds = ScanPageEditor::RandomKinds();
  ASSERT_EQ(kinds.size(), 3u);
  for (int choice = 0; choice < 3; ++choice) {
    ASSERT_TRUE(editor.ChooseKind(true, choice));
    EXPECT_TRUE(editor.SelectedIsRandom());
    EXPECT_EQ(editor.SelectedRandomChoice(), choice);
    EXPECT_EQ(scan.items[0].grid, kinds[static_cast<std::size_t>(choice)].kind);
  }
  EXPECT_EQ(std::string(kinds[2].name), "Pos.Normal");
  // A choice outside the list is the first random kind; the grid is not random.
  ASSERT_TRUE(editor.ChooseKind(true, -1));
  EXPECT_EQ(scan.items[0].grid, kScanUniform);
  ASSERT_TRUE(editor.ChooseKind(false, 2));
  EXPECT_EQ(scan.items[0].grid, kScanRegularGrid);
  EXPECT_FALSE(editor.SelectedIsRandom());
  // A kind no version knows, read from a file, draws nothing.
  scan.items[0].grid = kScanNone;
  EXPECT_FALSE(editor.SelectedIsRandom());
  EXPECT_EQ(editor.SelectedRandomChoice(), -1);
}

}  // namespace
}  // namespace vireon
