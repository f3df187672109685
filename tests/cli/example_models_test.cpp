// The bundled example models are written by the program's own model-file
// writer from the descriptions in example_definitions.h, built the way a
// user builds them in the dialogs. The test writes each one afresh and
// compares it with the file in examples/, so the examples stay exactly what
// Vireon writes. After a deliberate change, regenerate them:
//
//   VIREON_UPDATE_EXAMPLES=1 build-test/cli_tests --gtest_filter='Examples*'

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "cli/example_definitions.h"
#include "document/document.h"
#include "document/model_file.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "support/expect_close.h"

namespace vireon::test {
namespace {

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
      {"lotka_volterra.vrn", 4, 3, 2, 0},
      {"oregonator.vrn", 6, 5, 3, 0},
      {"robertson.vrn", 3, 3, 0, 1},
      {"phosphorylation_cycle.vrn", 2, 2, 0, 1},
      {"upper_glycolysis.vrn", 6, 4, 3, 0},
      {"linear_pathway.vrn", 5, 4, 2, 0},
      {"random_scan.vrn", 4, 3, 2, 0},
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
    EXPECT_FALSE(document.settings.dynamicsData.file.empty());
    EXPECT_EQ(document.settings.dynamicsData.file.find('/'), std::string::npos);
    EXPECT_EQ(document.settings.steadyStateData.file.find('/'), std::string::npos);
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
