#include "sbml/sbml_document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "kinetics/built_in_rate_laws.h"
#include "sbml/sbml_builder.h"
#include "support/files.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

class SbmlDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildBuiltInKineticTypes(catalogue_); }

  fs::path Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name) << text;
    return folder_ / name;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // A folder of each test's own: the tests may run at once in two processes.
  test::TemporaryFolder temporary_;
  fs::path folder_ = temporary_.path();
  KineticCatalogue catalogue_;
};

TEST_F(SbmlDocumentTest, ImportReplacesTheDocumentOnlyWhenTheModelIsTaken) {
  test::SbmlBuilder b;
  b.Compartment("c", 1.0).Species("A", "c", 1.0).Parameter("k", 1.0);
  b.Reaction("R", {{"A", 1}}, {}, "k*A");
  const fs::path good = Write("good.xml", b.Text());
  std::unique_ptr<sbml::lib::ASTNode> positive(sbml::lib::SBML_parseL3Formula("A > 0"));
  b.model().createConstraint()->setMath(positive.get());
  const fs::path refused = Write("refused.xml", b.Text());

  Document document;
  NewDocument(document, DefaultValues());
  document.model.title = "kept";
  document.pathName = "/somewhere/kept.vrn";
  EXPECT_FALSE(ImportSbmlDocument(refused.string(), document, catalogue_, DefaultValues()).imported);
  EXPECT_FALSE(ImportSbmlDocument((folder_ / "missing.xml").string(), document, catalogue_,
                                  DefaultValues())
                   .imported);
  EXPECT_EQ(document.model.title, "kept");
  EXPECT_EQ(document.pathName, "/somewhere/kept.vrn");

  ASSERT_TRUE(ImportSbmlDocument(good.string(), document, catalogue_, DefaultValues()).imported);
  EXPECT_EQ(document.model.nSteps(), 1);
  EXPECT_TRUE(document.pathName.empty());
}

// A stoichiometry that a rule sets leaves the conservation relations
// unknown, and with them the steady state: the model opens with the time
// course alone, so that a run of it as read is not refused.
TEST_F(SbmlDocumentTest, AModelWithoutASteadyStateToSearchOpensWithTheTimeCourseAlone) {
  test::SbmlBuilder b;
  b.Compartment("c", 1.0).Species("A", "c", 1.0).Species("B", "c", 0.0).Parameter("k", 1.0);
  b.Reaction("R", {{"A", 1}}, {{"B", 1}}, "k*A");
  Document document;
  ASSERT_TRUE(ImportSbmlDocument(Write("plain.xml", b.Text()).string(), document, catalogue_,
                                 DefaultValues())
                  .imported);
  EXPECT_EQ(document.settings.steadyState, 1);
  auto* product = b.model().getReaction("R")->getProduct(0);
  product->setId("nB");
  product->setConstant(false);
  b.AssignmentRule("nB", "1 + time/10");
  ASSERT_TRUE(ImportSbmlDocument(Write("varying.xml", b.Text()).string(), document, catalogue_,
                                 DefaultValues())
                  .imported);
  EXPECT_EQ(document.settings.steadyState, 0);
  EXPECT_EQ(document.settings.dynamics, 1);

  // A fast reaction's model has no steady state the search follows.
  test::SbmlBuilder fast;
  fast.Compartment("c", 1.0).Species("A", "c", 1.0).Species("B", "c", 0.0).Parameter("k", 1.0);
  fast.Reaction("R", {{"A", 1}}, {{"B", 1}}, "k*A");
  fast.model().getReaction("R")->setFast(true);
  ASSERT_TRUE(ImportSbmlDocument(Write("fast.xml", fast.Text()).string(), document, catalogue_,
                                 DefaultValues())
                  .imported);
  EXPECT_EQ(document.settings.steadyState, 0);
  EXPECT_EQ(document.settings.dynamics, 1);
}

TEST_F(SbmlDocumentTest, AFailedExportLeavesThePreviousFile) {
  test::SbmlBuilder b;
  b.Compartment("c", 1.0).Species("A", "c", 1.0).Parameter("k", 1.0);
  b.Reaction("R", {{"A", 1}}, {}, "k*A");
  Document document;
  ASSERT_TRUE(ImportSbmlDocument(Write("in.xml", b.Text()).string(), document, catalogue_,
                                 DefaultValues())
                  .imported);
  const fs::path target = Write("out.xml", "previous");
  const SbmlExportResult written = ExportSbmlFile(document.model, target.string());
  ASSERT_TRUE(written.exported);
  EXPECT_EQ(Read(target), written.text);

  const std::string missingFolder = (folder_ / "no" / "out.xml").string();
  const SbmlExportResult failed = ExportSbmlFile(document.model, missingFolder);
  EXPECT_FALSE(failed.exported);
  ASSERT_FALSE(failed.problems.empty());
  EXPECT_NE(failed.problems.back().find(missingFolder), std::string::npos);
  EXPECT_EQ(Read(target), written.text);
}

}  // namespace
}  // namespace vireon
