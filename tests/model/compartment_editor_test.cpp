#include "model/compartment_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/structural_analysis.h"
#include "support/expect_close.h"
#include "support/model_builder.h"

namespace vireon {
namespace {

using test::BuildModel;

// E + S = ES, ES = E + P with S and P fixed: one moiety, E + ES.
Model EnzymeModel() {
  Model model = BuildModel({{"bind", "E + S = ES"}, {"release", "ES = E + P"}}, {"S", "P"});
  model.compartments = {{"cytosol", 1.0}, {"nucleus", 2.0}};
  model.metabolites[model.FindMetabolite("E")].initialConcentration = 3.0;
  model.metabolites[model.FindMetabolite("ES")].initialConcentration = 5.0;
  model.metabolites[model.FindMetabolite("ES")].compartment = 1;
  StructuralAnalysis(model);
  return model;
}

std::vector<std::string> Names(const CompartmentEditor& editor) {
  std::vector<std::string> names;
  for (const CompartmentRow& row : editor.rows()) names.push_back(row.name);
  return names;
}

TEST(CompartmentEditorTest, ChangingTheCountKeepsTheCompartmentsThatStay) {
  const Model model = EnzymeModel();
  CompartmentEditor editor(model);
  EXPECT_EQ(Names(editor), (std::vector<std::string>{"cytosol", "nucleus"}));
  editor.rows()[1].volume = "2.5";
  EXPECT_FALSE(editor.SetCount(0));
  EXPECT_EQ(editor.count(), 2);
  ASSERT_TRUE(editor.SetCount(4));
  EXPECT_EQ(Names(editor),
            (std::vector<std::string>{"cytosol", "nucleus", "compartment2", "compartment3"}));
  EXPECT_EQ(editor.rows()[3].volume, "1");
  EXPECT_TRUE(editor.MetabolitesToMove().empty());
  ASSERT_TRUE(editor.SetCount(1));
  ASSERT_TRUE(editor.SetCount(2));
  // The second compartment was dropped and a new one made in its place.
  EXPECT_EQ(Names(editor), (std::vector<std::string>{"cytosol", "compartment2"}));
  editor.rows()[1].name = "compartment";
  ASSERT_TRUE(editor.SetCount(3));
  EXPECT_EQ(editor.rows()[2].name, "compartment2");
}

TEST(CompartmentEditorTest, CommitSetsVolumesAndRecomputesTheMoietyTotal) {
  Model model = EnzymeModel();
  ASSERT_EQ(model.nMoieties(), 1);
  // The total is E + ES in concentrations, as an amount in the volume of the
  // dependent ES: (3 + 5) x 2.
  EXPECT_CLOSE(model.moieties[0].initialConcentration, 16.0, test::kTightAbs, test::kTightRel);
  CompartmentEditor editor(model);
  editor.rows()[0] = {"cell", "0.5"};
  editor.rows()[1] = {"organelle", " 4e-1"};
  RecordingSink sink;
  ASSERT_TRUE(editor.Commit(model, sink));
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(model.compartments, (std::vector<Compartment>{{"cell", 0.5}, {"organelle", 0.4}}));
  EXPECT_CLOSE(model.moieties[0].initialConcentration, (3.0 + 5.0) * 0.4, test::kTightAbs,
               test::kTightRel);
}

TEST(CompartmentEditorTest, RemovingACompartmentAsksAndMovesItsMetabolitesToTheFirst) {
  Model model = EnzymeModel();
  const Model before = model;
  CompartmentEditor editor(model);
  ASSERT_TRUE(editor.SetCount(1));
  EXPECT_EQ(editor.MetabolitesToMove(), std::vector<std::string>{"ES"});

  RecordingSink no;  // a question unanswered is No
  EXPECT_FALSE(editor.Commit(model, no));
  ASSERT_EQ(no.messages().size(), 1u);
  EXPECT_EQ(no.messages()[0].kind, RecordingSink::Kind::kYesNo);
  EXPECT_NE(no.messages()[0].text.find("ES"), std::string::npos);
  EXPECT_EQ(model, before);

  RecordingSink yes;
  yes.QueueAnswer(Answer::kYes);
  ASSERT_TRUE(editor.Commit(model, yes));
  EXPECT_EQ(model.nCompartments(), 1);
  EXPECT_EQ(model.metabolites[model.FindMetabolite("ES")].compartment, 0);
  EXPECT_CLOSE(model.moieties[0].initialConcentration, 8.0, test::kTightAbs, test::kTightRel);
}

TEST(CompartmentEditorTest, ABadRowIsNamedAndChangesNothing) {
  struct Case {
    CompartmentRow second;
    const char* message;
  };
  const Case cases[] = {
      {{"", "1"}, "Please give compartment 2 a name on one line."},
      {{"two\nlines", "1"}, "Please give compartment 2 a name on one line."},
      {{"cytosol", "1"}, "Two compartments are named cytosol.\nPlease give each compartment a "
                         "name of its own."},
      {{"nucleus", "0"}, "The volume of compartment nucleus must be a positive number."},
      {{"nucleus", "-2"}, "The volume of compartment nucleus must be a positive number."},
      {{"nucleus", "big"}, "The volume of compartment nucleus must be a positive number."},
      {{"nucleus", "1e999"}, "The volume of compartment nucleus must be a positive number."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Model model = EnzymeModel();
    const Model before = model;
    CompartmentEditor editor(model);
    editor.rows()[1] = c.second;
    RecordingSink sink;
    EXPECT_FALSE(editor.Commit(model, sink));
    EXPECT_EQ(editor.badRow(), 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(model, before);
  }
}

}  // namespace
}  // namespace vireon
