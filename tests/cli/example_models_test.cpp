// The bundled example models are written by the program's own model-file
// writer from the descriptions below, built the way a user builds them in
// the dialogs (reactions, metabolites, kinetics). The test writes each one
// afresh and compares it with the file in examples/, so the examples stay
// exactly what Vireon writes. After a deliberate change, regenerate them:
//
//   VIREON_UPDATE_EXAMPLES=1 build-test/tests/cli_tests --gtest_filter='Examples*'

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "document/document.h"
#include "document/model_file.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_binding.h"
#include "kinetics/kinetic_catalogue.h"
#include "kinetics/kinetics_editor.h"
#include "model/message_sink.h"
#include "model/metabolite_editor.h"
#include "model/reaction_editor.h"
#include "model/structural_analysis.h"
#include "model/working_copy.h"
#include "output/output_item.h"
#include "support/expect_close.h"

namespace vireon::test {
namespace {

struct ExampleStep {
  std::string name;
  std::string equation;
  std::string kineticType;
  std::vector<double> constants;       // in the order of the type's constant names
  std::vector<std::string> modifiers;  // metabolite names, in the order of the type's roles
};

struct ExampleModel {
  std::string fileName;
  std::string title;
  std::string comments;  // lines joined by CR LF, as the comments box holds them
  std::vector<ExampleStep> steps;
  std::vector<std::pair<std::string, double>> initialConcentrations;
  std::vector<std::string> fixed;
  std::string compartment;
  double endTime = 10.0;
  int points = 50;
  std::vector<OutputItem> timeCourse;
  std::vector<OutputItem> steadyState;
  std::vector<OutputItem> interactive;
  std::vector<int> plotY;  // positions in the time-course selection; x is time, position 0
};

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

OutputItem Item(int type, std::string_view first = {}, std::string_view second = {}) {
  return MakeOutputItem(type, first, second);
}

// An enzyme that binds its substrate before it converts it, fed from a
// fixed pool and drained into a fixed sink: the free and the bound enzyme
// form one conserved moiety.
ExampleModel MichaelisMenten() {
  ExampleModel m;
  m.fileName = "michaelis_menten.vrn";
  m.title = "Michaelis-Menten enzyme with explicit binding steps";
  m.comments = Lines({
      "The enzyme E binds its substrate S to the complex ES, which releases the",
      "product P and the free enzyme. S is supplied from the fixed pool Sx and P",
      "is removed into the fixed sink Px. E and ES form a conserved moiety: their",
      "sum stays 1 mM. The complex is quasi-steady for Km = (k2 + k3)/k1 = 0.7 mM.",
  });
  m.steps = {
      {"supply", "Sx = S", "Mass action (reversible)", {0.5, 0.1}, {}},
      {"binding", "E + S = ES", "Mass action (reversible)", {10.0, 5.0}, {}},
      {"catalysis", "ES -> E + P", "Mass action (irreversible)", {2.0}, {}},
      {"removal", "P -> Px", "Mass action (irreversible)", {0.3}, {}},
  };
  m.initialConcentrations = {{"Sx", 5.0}, {"E", 1.0}};
  m.fixed = {"Sx", "Px"};
  m.compartment = "cell";
  m.endTime = 30.0;
  m.points = 150;
  m.timeCourse = {Item(kTime),
                  Item(kTransientConcentration, "S"),
                  Item(kTransientConcentration, "E"),
                  Item(kTransientConcentration, "ES"),
                  Item(kTransientConcentration, "P"),
                  Item(kTransientFlux, "catalysis")};
  m.steadyState = {
      Item(kSteadyStateConcentration, "S"),      Item(kSteadyStateConcentration, "ES"),
      Item(kSteadyStateConcentration, "P"),      Item(kSteadyStateFlux, "catalysis"),
      Item(kFluxControl, "catalysis", "supply"), Item(kFluxControl, "catalysis", "catalysis"),
      Item(kFluxControl, "catalysis", "removal")};
  m.interactive = {Item(kTransientConcentration, "S"), Item(kTransientConcentration, "ES"),
                   Item(kTransientConcentration, "P")};
  m.plotY = {1, 2, 3, 4};
  return m;
}

// A pathway from the fixed source X0 that branches at S2 into two fixed
// sinks; its end product S3 inhibits the first enzyme cooperatively.
ExampleModel BranchedPathway() {
  ExampleModel m;
  m.fileName = "branched_pathway.vrn";
  m.title = "Branched pathway with end-product inhibition";
  m.comments = Lines({
      "X0 -> S1 -> S2 -> S3 -> X4, with a branch S2 -> X5. The end product S3",
      "inhibits the first enzyme E1 (allosteric inhibition, n = 2), so most of the",
      "control over the flux to X4 moves from E1 to the demand for S3 (E4).",
  });
  m.steps = {
      {"E1",
       "X0 = S1",
       "Allosteric inhibition (empirical)",
       {10.0, 1.0, 1.0, 1.0, 2.0, 1.0},
       {"S3"}},
      {"E2", "S1 = S2", "Reversible Michaelis-Menten", {1.0, 1.0, 8.0, 1.0}, {}},
      {"E3", "S2 = S3", "Reversible Michaelis-Menten", {1.0, 2.0, 6.0, 1.0}, {}},
      {"E4", "S3 -> X4", "Henri-Michaelis-Menten (irreversible)", {1.0, 3.0}, {}},
      {"E5", "S2 -> X5", "Henri-Michaelis-Menten (irreversible)", {2.0, 2.0}, {}},
  };
  m.initialConcentrations = {{"X0", 10.0}};
  m.fixed = {"X0", "X4", "X5"};
  m.compartment = "cytosol";
  m.endTime = 20.0;
  m.points = 100;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "S1"),
                  Item(kTransientConcentration, "S2"), Item(kTransientConcentration, "S3"),
                  Item(kTransientFlux, "E1")};
  m.steadyState = {Item(kSteadyStateConcentration, "S1"),
                   Item(kSteadyStateConcentration, "S2"),
                   Item(kSteadyStateConcentration, "S3"),
                   Item(kSteadyStateFlux, "E1"),
                   Item(kSteadyStateFlux, "E4"),
                   Item(kSteadyStateFlux, "E5"),
                   Item(kFluxControl, "E4", "E1"),
                   Item(kFluxControl, "E4", "E4"),
                   Item(kConcentrationControl, "S3", "E1"),
                   Item(kElasticity, "E1", "S3")};
  m.interactive = {Item(kTransientConcentration, "S1"), Item(kTransientConcentration, "S2"),
                   Item(kTransientConcentration, "S3"), Item(kTransientFlux, "E1")};
  m.plotY = {1, 2, 3};
  return m;
}

// The Brusselator with mass-action steps: for B > 1 + A^2 its steady state
// X = A, Y = B/A is an unstable focus surrounded by a limit cycle.
ExampleModel Brusselator() {
  ExampleModel m;
  m.fileName = "brusselator.vrn";
  m.title = "Brusselator chemical oscillator";
  m.comments = Lines({
      "A -> X, 2X + Y -> 3X, B + X -> Y + D, X -> E, all mass action with k = 1.",
      "With A = 1 and B = 3 (B > 1 + A^2) the steady state X = 1, Y = 3 is unstable",
      "(eigenvalues 0.5 +/- 0.866i) and X and Y oscillate on a limit cycle.",
  });
  m.steps = {
      {"inflow", "A -> X", "Mass action (irreversible)", {1.0}, {}},
      {"autocatalysis", "2*X + Y -> 3*X", "Mass action (irreversible)", {1.0}, {}},
      {"conversion", "B + X -> Y + D", "Mass action (irreversible)", {1.0}, {}},
      {"outflow", "X -> E", "Mass action (irreversible)", {1.0}, {}},
  };
  m.initialConcentrations = {{"A", 1.0}, {"B", 3.0}, {"X", 1.0}, {"Y", 1.0}};
  m.fixed = {"A", "B", "D", "E"};
  m.compartment = "reactor";
  m.endTime = 50.0;
  m.points = 1000;
  m.timeCourse = {Item(kTime), Item(kTransientConcentration, "X"),
                  Item(kTransientConcentration, "Y")};
  m.steadyState = {Item(kSteadyStateConcentration, "X"),
                   Item(kSteadyStateConcentration, "Y"),
                   Item(kMaxRealPart),
                   Item(kMaxImagPart),
                   Item(kPositiveRealCount),
                   Item(kComplexCount)};
  m.interactive = {Item(kTransientConcentration, "X"), Item(kTransientConcentration, "Y")};
  m.plotY = {1, 2};
  return m;
}

std::vector<ExampleModel> AllExamples() {
  return {MichaelisMenten(), BranchedPathway(), Brusselator()};
}

// Columns wide enough for every title of the selection, so that no title
// is cut short.
int ColumnWidth(const std::vector<OutputItem>& selection) {
  constexpr int kNarrowest = 12;  // the default width
  int width = kNarrowest;
  for (const OutputItem& item : selection)
    width = std::max(width, static_cast<int>(item.title.size()));
  return width;
}

std::string BaseName(const std::string& fileName) {
  return fileName.substr(0, fileName.rfind('.'));
}

// The document of an example, as a user would make it in a new document of
// the built-in default values.
void BuildDocument(const ExampleModel& example, const KineticCatalogue& catalogue,
                   Document& document) {
  const DefaultValues defaults;
  NewDocument(document, defaults);
  RecordingSink sink;

  ReactionEditor reactions(document.model, sink, defaults.concentration);
  for (const ExampleStep& step : example.steps) {
    EXPECT_TRUE(reactions.AddOrChange(step.name, step.equation)) << step.equation;
  }
  ASSERT_TRUE(reactions.Commit(
      [&](Step& step) { ApplyConstantFlux(step, catalogue, defaults.kineticConstant); }));
  ApplyWorkingCopy(document.model, reactions.working(), StructuralAnalysis);

  MetaboliteEditor metabolites(document.model, sink);
  for (MetaboliteRow& row : metabolites.rows()) {
    for (const auto& [name, value] : example.initialConcentrations) {
      if (row.name == name) row.initialConcentration = FormatConcentration(value);
    }
    for (const std::string& name : example.fixed) {
      if (row.name == name) row.fixed = true;
    }
  }
  ASSERT_TRUE(metabolites.Commit(document.model, StructuralAnalysis));

  KineticsEditor kinetics(document.model, catalogue, defaults.kineticConstant);
  for (int s = 0; s < static_cast<int>(example.steps.size()); ++s) {
    const ExampleStep& step = example.steps[static_cast<std::size_t>(s)];
    ASSERT_TRUE(kinetics.SelectStep(s, sink)) << step.name;
    ASSERT_TRUE(kinetics.ApplyType(step.kineticType)) << step.name << ": " << step.kineticType;
    ASSERT_EQ(static_cast<int>(step.constants.size()), kinetics.CurrentType()->constants)
        << step.name;
    for (int k = 0; k < static_cast<int>(step.constants.size()); ++k) {
      kinetics.SetConstant(k, step.constants[static_cast<std::size_t>(k)]);
    }
    ASSERT_EQ(static_cast<int>(step.modifiers.size()), kinetics.CurrentType()->modifiers);
    for (int k = 0; k < static_cast<int>(step.modifiers.size()); ++k) {
      const int metabolite =
          document.model.FindMetabolite(step.modifiers[static_cast<std::size_t>(k)]);
      ASSERT_GE(metabolite, 0) << step.modifiers[static_cast<std::size_t>(k)];
      kinetics.SetModifier(k, metabolite);
    }
  }
  ASSERT_TRUE(kinetics.Commit(document.model, sink));
  EXPECT_TRUE(sink.messages().empty()) << sink.Texts().front();

  Model& model = document.model;
  model.title = example.title;
  model.comments = example.comments;
  model.compartments[0].name = example.compartment;

  TaskSettings& settings = document.settings;
  settings.endTime = example.endTime;
  settings.points = example.points;
  settings.dynamics = 1;
  settings.steadyState = 1;
  settings.report = 1;
  settings.reportStructuralAnalysis = 1;
  settings.reportStabilityAnalysis = 1;
  settings.reportMca = 1;
  settings.dynamicsTitles = settings.steadyStateTitles = 1;
  settings.dynamicsColumnWidth = ColumnWidth(example.timeCourse);
  settings.steadyStateColumnWidth = ColumnWidth(example.steadyState);
  settings.dynamicsFile = BaseName(example.fileName) + "-timecourse.dat";
  settings.steadyStateFile = BaseName(example.fileName) + "-steadystate.dat";

  document.selections.timeCourse = example.timeCourse;
  document.selections.steadyState = example.steadyState;
  document.selections.interactive = example.interactive;

  PlotSettings& plot = document.plot;
  plot.plotDyn = 1;
  plot.plotType = kPlotLines;
  plot.plotGrid = 1;
  plot.plotKey = 1;
  plot.plotTitles = 1;
  plot.plotXEntry = 0;
  plot.plotY = example.plotY;

  // Saved from its own folder, so that the report name it stores is the
  // model's name and no folder of the machine that made it.
  document.pathName = example.fileName;
}

class Examples : public CliFolder {
 protected:
  void SetUp() override {
    CliFolder::SetUp();
    BuildBuiltInKineticTypes(catalogue_);
  }
  KineticCatalogue catalogue_;
};

TEST_F(Examples, AreWhatTheModelFileWriterWrites) {
  const bool update = std::getenv("VIREON_UPDATE_EXAMPLES") != nullptr;
  for (const ExampleModel& example : AllExamples()) {
    SCOPED_TRACE(example.fileName);
    Document document;
    BuildDocument(example, catalogue_, document);
    if (HasFatalFailure()) return;
    RecordingSink sink;
    const std::filesystem::path written =
        update ? ExamplesFolder() / example.fileName : folder() / example.fileName;
    ASSERT_TRUE(WriteModelFile(document, written.string(), catalogue_, sink));
    if (!update) {
      EXPECT_EQ(ReadText(written), ReadText(ExamplesFolder() / example.fileName))
          << "examples/" << example.fileName
          << " differs from what the writer makes now; regenerate it if that is intended";
    }
  }
}

TEST_F(Examples, ListTheExamplesTheTestsRun) {
  std::vector<std::string> names;
  for (const ExampleModel& example : AllExamples()) names.push_back(example.fileName);
  EXPECT_EQ(names, kExampleModels);
}

TEST_F(Examples, LoadWithoutAnyMessageAndKeepTheirStructure) {
  struct Expected {
    std::string fileName;
    int metabolites, steps, fixed, moieties;
  };
  const Expected table[] = {
      {"michaelis_menten.vrn", 6, 4, 2, 1},
      {"branched_pathway.vrn", 6, 5, 3, 0},
      {"brusselator.vrn", 6, 4, 4, 0},
  };
  for (const Expected& expected : table) {
    SCOPED_TRACE(expected.fileName);
    Document document;
    RecordingSink sink;
    ASSERT_TRUE(ReadModelFile(document, (ExamplesFolder() / expected.fileName).string(), catalogue_,
                              DefaultValues(), sink));
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_EQ(document.model.nMetabolites(), expected.metabolites);
    EXPECT_EQ(document.model.nSteps(), expected.steps);
    EXPECT_EQ(document.model.nFixed, expected.fixed);
    EXPECT_EQ(document.model.nMoieties(), expected.moieties);
    EXPECT_EQ(document.settings.report, 1);
    EXPECT_EQ(document.settings.reportStructuralAnalysis, 1);
    EXPECT_EQ(document.settings.reportStabilityAnalysis, 1);
    EXPECT_EQ(document.settings.reportMca, 1);
    // Data files live beside the model, whatever folder it is copied to.
    EXPECT_FALSE(document.settings.dynamicsFile.empty());
    EXPECT_EQ(document.settings.dynamicsFile.find('/'), std::string::npos);
    EXPECT_EQ(document.settings.steadyStateFile.find('/'), std::string::npos);
    EXPECT_FALSE(document.selections.timeCourse.empty());
    EXPECT_FALSE(document.selections.steadyState.empty());
    EXPECT_EQ(document.plot.plotXEntry, 0);
    EXPECT_FALSE(document.plot.plotY.empty());
  }
}

// The moiety of the enzyme example holds the enzyme total.
TEST_F(Examples, EnzymeTotalIsTheConservedMoiety) {
  Document document;
  RecordingSink sink;
  ASSERT_TRUE(ReadModelFile(document, (ExamplesFolder() / "michaelis_menten.vrn").string(),
                            catalogue_, DefaultValues(), sink));
  ASSERT_EQ(document.model.nMoieties(), 1);
  EXPECT_CLOSE(document.model.moieties[0].initialConcentration, 1.0, kTightAbs, kTightRel);
}

}  // namespace
}  // namespace vireon::test
