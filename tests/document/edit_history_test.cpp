#include "document/edit_history.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetic_catalogue.h"
#include "output/output_item.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

constexpr double kDefaultConstant = 1.0;

class EditHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildBuiltInKineticTypes(catalogue_);
    SetSteps({{"v1", "A -> B"}});
    document_.modified = false;
    history_.Reset(document_);
  }
  // Replaces the model's steps, as a commit of the Reactions dialog does.
  void SetSteps(const std::vector<std::pair<std::string, std::string>>& steps) {
    document_.model = test::BuildModel(steps);
    BindMissingKineticTypes(document_.model, catalogue_, kDefaultConstant);
    CommitModelChange(document_);
  }
  bool Undo() { return history_.Undo(document_, catalogue_, kDefaultConstant); }
  bool Redo() { return history_.Redo(document_, catalogue_, kDefaultConstant); }

  KineticCatalogue catalogue_;
  Document document_;
  EditHistory history_;
};

TEST_F(EditHistoryTest, CommittingAnEditAnalysesTheModelAndMarksTheDocument) {
  EXPECT_FALSE(document_.modified);
  SetSteps({{"v1", "A -> B"}, {"v2", "B -> C"}});
  EXPECT_TRUE(document_.modified);
  EXPECT_EQ(document_.model.nIndependent, 2);  // A, B, C with one conservation
  EXPECT_EQ(document_.model.nDependent, 1);
  // An item that names a quantity the edit removed goes.
  document_.selections.timeCourse = {MakeOutputItem(kTransientConcentration, "C")};
  SetSteps({{"v1", "A -> B"}});
  EXPECT_TRUE(document_.selections.timeCourse.empty());
}

TEST_F(EditHistoryTest, UndoAndRedoWalkTheEditsByName) {
  EXPECT_FALSE(history_.CanUndo());
  EXPECT_FALSE(Undo());
  SetSteps({{"v1", "A -> B"}, {"v2", "B -> C"}});
  history_.Record(document_, "Reactions");
  document_.settings.timeUnit = "min";
  CommitModelChange(document_);
  history_.Record(document_, "Units");

  EXPECT_EQ(history_.UndoName(), "Units");
  EXPECT_EQ(history_.RedoName(), "");
  document_.modified = false;
  ASSERT_TRUE(Undo());
  EXPECT_TRUE(document_.modified);
  EXPECT_EQ(document_.settings.timeUnit, "s");
  EXPECT_EQ(document_.model.nSteps(), 2);
  EXPECT_EQ(history_.UndoName(), "Reactions");
  EXPECT_EQ(history_.RedoName(), "Units");
  ASSERT_TRUE(Undo());
  EXPECT_EQ(document_.model.nSteps(), 1);
  EXPECT_FALSE(history_.CanUndo());
  // The steps are bound to the catalogue's types again.
  ASSERT_NE(document_.model.steps[0].kineticType, nullptr);
  EXPECT_EQ(document_.model.steps[0].kineticType,
            catalogue_.Find(document_.model.steps[0].kineticTypeName));

  ASSERT_TRUE(Redo());
  EXPECT_EQ(document_.model.nSteps(), 2);
  EXPECT_EQ(document_.settings.timeUnit, "s");
  ASSERT_TRUE(Redo());
  EXPECT_EQ(document_.settings.timeUnit, "min");
  EXPECT_FALSE(Redo());

  // A new edit after an undo leaves nothing to redo.
  ASSERT_TRUE(Undo());
  document_.settings.volumeUnit = "l";
  CommitModelChange(document_);
  history_.Record(document_, "Units");
  EXPECT_FALSE(history_.CanRedo());
  ASSERT_TRUE(Undo());
  EXPECT_EQ(document_.settings.volumeUnit, "ml");
  EXPECT_EQ(document_.settings.timeUnit, "s");
}

TEST_F(EditHistoryTest, TheTitleAndThePaceAreNotTakenBack) {
  document_.settings.endTime = 99.0;
  CommitModelChange(document_);
  history_.Record(document_, "Tasks");
  document_.model.title = "typed later";
  document_.settings.sleepTime = 250;
  ASSERT_TRUE(Undo());
  EXPECT_NE(document_.settings.endTime, 99.0);
  EXPECT_EQ(document_.model.title, "typed later");
  EXPECT_EQ(document_.settings.sleepTime, 250);
}

TEST_F(EditHistoryTest, AResetForgetsAndTheOldestEditsGoBeyondTheLimit) {
  for (std::size_t i = 0; i < kUndoLimit + 20; ++i) {
    document_.settings.endTime = static_cast<double>(i);
    CommitModelChange(document_);
    history_.Record(document_, "Tasks");
  }
  std::size_t undone = 0;
  while (Undo()) ++undone;
  EXPECT_EQ(undone, kUndoLimit);
  EXPECT_EQ(document_.settings.endTime, 19.0);
  history_.Reset(document_);
  EXPECT_FALSE(history_.CanUndo());
  EXPECT_FALSE(history_.CanRedo());
}

}  // namespace
}  // namespace vireon
