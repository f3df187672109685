#include "model/metabolite_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/messages.h"
#include "model/number_text.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

using test::BuildModel;

TEST(MetaboliteEditorTest, RowsShowTheWorkingCopy) {
  Model document = BuildModel({{"v1", "S -> P"}}, {"S"});
  document.metabolites[1].initialConcentration = 0.1;
  RecordingSink sink;
  MetaboliteEditor editor(document, sink);
  ASSERT_EQ(editor.rows().size(), 2u);
  EXPECT_EQ(editor.rows()[0].name, "S");
  EXPECT_TRUE(editor.rows()[0].fixed);
  EXPECT_FALSE(editor.rows()[1].fixed);
  // The shown text reads back as exactly the same number.
  EXPECT_EQ(ParseReal(editor.rows()[1].initialConcentration), 0.1);
}

TEST(MetaboliteEditorTest, NameRuleWarnsWhenTheFieldLosesTheFocus) {
  Model document = BuildModel({{"v1", "S -> P"}});
  RecordingSink sink;
  MetaboliteEditor editor(document, sink);
  for (const char* good : {"ATP", "glc-6-P", "A>B", "\xC3\xA9"}) {
    editor.rows()[0].name = good;
    EXPECT_TRUE(editor.CheckName(0)) << good;
  }
  EXPECT_TRUE(sink.messages().empty());
  for (const char* bad : {"", "A B", "A\tB", "A*B", "A.B", "A=B", "A->B"}) {
    sink.Clear();
    editor.rows()[0].name = bad;
    EXPECT_FALSE(editor.CheckName(0)) << bad;
    ASSERT_EQ(sink.messages().size(), 1u) << bad;
    EXPECT_EQ(sink.messages()[0].kind, RecordingSink::Kind::kWarning);
    EXPECT_EQ(sink.messages()[0].text, messages::kBadMetaboliteName);
  }
}

TEST(MetaboliteEditorTest, CommitTakesEveryRowBack) {
  Model document = BuildModel({{"v1", "S -> I"}, {"v2", "I + J -> P"}, {"v3", "P -> J"}});
  document.metabolites[1].initialConcentration = 4.0;
  RecordingSink sink;
  MetaboliteEditor editor(document, sink);
  std::vector<MetaboliteRow>& rows = editor.rows();
  rows[0] = {"Glucose", " +2.5abc", true, 0};  // read as "%lf" reads it
  rows[2] = {"J", "0", false, 7};              // there is no compartment 7
  rows[3] = {"P", "1.5e-3", true, 0};

  int analysed = 0;
  ASSERT_TRUE(editor.Commit(document, [&analysed](Model&) { ++analysed; }));
  EXPECT_EQ(analysed, 1);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(document.metabolites[0].name, "Glucose");
  EXPECT_EQ(document.metabolites[0].initialConcentration, 2.5);
  EXPECT_EQ(document.metabolites[0].type, FIXED);
  EXPECT_EQ(document.metabolites[1].initialConcentration, 4.0);
  EXPECT_EQ(document.metabolites[2].compartment, 0);
  EXPECT_EQ(document.metabolites[3].initialConcentration, 1.5e-3);
  EXPECT_EQ(document.metabolites[3].type, FIXED);
  // The new name reaches the equations.
  EXPECT_EQ(document.steps[0].equation, "Glucose -> I");
}

TEST(MetaboliteEditorTest, ABadRowIsNamedAndTheCommitChangesNothing) {
  struct Case {
    int row;
    MetaboliteRow value;
    const char* message;
  };
  const Case cases[] = {
      {1, {"P P", "0", false, 0}, messages::kBadMetaboliteName},
      {1, {"S", "0", false, 0},
       "Two metabolites are named S.\nPlease give each metabolite a name of its own."},
      {0, {"S", "abc", false, 0}, "The initial concentration of S must be a number not below zero."},
      {0, {"S", "1e999", false, 0},
       "The initial concentration of S must be a number not below zero."},
      {1, {"P", "-1.5e-3", true, 0},
       "The initial concentration of P must be a number not below zero."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Model document = BuildModel({{"v1", "S -> P"}});
    const Model before = document;
    RecordingSink sink;
    MetaboliteEditor editor(document, sink);
    editor.rows()[0].initialConcentration = "3";
    editor.rows()[static_cast<std::size_t>(c.row)] = c.value;
    bool analysed = false;
    EXPECT_FALSE(editor.Commit(document, [&analysed](Model&) { analysed = true; }));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(editor.badRow(), c.row);
    EXPECT_EQ(document, before);
    EXPECT_FALSE(analysed);
  }
}

}  // namespace
}  // namespace vireon
