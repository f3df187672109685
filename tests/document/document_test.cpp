#include "document/document.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "document/model_file.h"
#include "model/messages.h"
#include "support/document_fixtures.h"

namespace vireon {
namespace {

TEST(NewDocument, TakesTheUserDefaultsAndTheFixedValuesOfANewDocument) {
  DefaultValues defaults;
  defaults.endTime = 42.0;
  defaults.points = 17;
  defaults.newtonLimit = 9;
  defaults.steadyStateResolution = 1e-7;
  defaults.derivationFactor = 0.02;
  defaults.relativeTolerance = 1e-5;
  defaults.absoluteTolerance = 1e-10;
  defaults.adamsMaxOrder = 6;
  defaults.bdfMaxOrder = 2;
  defaults.timeUnit = "h";
  defaults.concentrationUnit = "M";
  defaults.volumeUnit = "l";
  defaults.dynamics = 0;
  defaults.steadyState = 1;
  defaults.report = 1;
  defaults.titles = 1;
  defaults.quotes = 1;
  defaults.columnWidth = 20;
  defaults.separator = ',';
  defaults.reportStructuralAnalysis = 1;
  defaults.reportStabilityAnalysis = 1;
  defaults.reportMca = 0;
  defaults.reportComments = 0;
  defaults.mcaUnscaled = 1;

  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  Document d = test::MakeRichDocument(catalogue);
  d.pathName = "/m/x.vrn";
  d.folder = "/m/";
  NewDocument(d, defaults);

  const TaskSettings& s = d.settings;
  EXPECT_EQ(s.endTime, 42.0);
  EXPECT_EQ(s.points, 17);
  EXPECT_EQ(s.newtonLimit, 9);
  EXPECT_EQ(s.steadyStateResolution, 1e-7);
  EXPECT_EQ(s.derivationFactor, 0.02);
  EXPECT_EQ(s.relativeTolerance, 1e-5);
  EXPECT_EQ(s.absoluteTolerance, 1e-10);
  EXPECT_EQ(s.adamsMaxOrder, 6);
  EXPECT_EQ(s.bdfMaxOrder, 2);
  EXPECT_EQ(s.timeUnit, "h");
  EXPECT_EQ(s.concentrationUnit, "M");
  EXPECT_EQ(s.volumeUnit, "l");
  EXPECT_EQ(s.dynamics, 0);
  EXPECT_EQ(s.steadyState, 1);
  EXPECT_EQ(s.report, 1);
  EXPECT_EQ(s.dynamicsTitles, 1);
  EXPECT_EQ(s.steadyStateTitles, 1);
  EXPECT_EQ(s.dynamicsQuotes, 1);
  EXPECT_EQ(s.steadyStateQuotes, 1);
  EXPECT_EQ(s.dynamicsColumnWidth, 20);
  EXPECT_EQ(s.steadyStateColumnWidth, 20);
  EXPECT_EQ(s.dynamicsSeparator, ',');
  EXPECT_EQ(s.steadyStateSeparator, ',');
  EXPECT_EQ(s.reportStructuralAnalysis, 1);
  EXPECT_EQ(s.reportStabilityAnalysis, 1);
  EXPECT_EQ(s.reportMca, 0);
  EXPECT_EQ(s.reportComments, 0);
  EXPECT_EQ(s.mcaUnscaled, 1);
  // The values every new document has, whatever the defaults.
  EXPECT_EQ(s.reportFile, "simulation.txt");
  EXPECT_EQ(s.dynamicsFile, "");
  EXPECT_EQ(s.steadyStateFile, "");
  EXPECT_EQ(s.steadyStateStrategy, SteadyStateStrategy::kNewtonThenIntegration);
  EXPECT_EQ(s.backIntegration, 1);
  EXPECT_EQ(s.realTime, 0);
  EXPECT_EQ(s.sleepTime, 1);

  EXPECT_EQ(d.model, Model());
  EXPECT_EQ(d.model.title, "Untitled");
  EXPECT_EQ(d.model.nCompartments(), 1);
  EXPECT_EQ(d.plot, PlotSettings());
  EXPECT_EQ(d.plot.plotDyn, 1);
  EXPECT_EQ(d.plot.plotType, kPlotLines);
  EXPECT_EQ(d.plot.plotTitles, 1);
  EXPECT_EQ(d.plot.plotXEntry, kNoPlotEntry);
  EXPECT_TRUE(d.plot.plotY.empty());
  EXPECT_TRUE(d.selections.interactive.empty());
  EXPECT_TRUE(d.selections.timeCourse.empty());
  EXPECT_TRUE(d.selections.steadyState.empty());
  EXPECT_TRUE(d.functions.empty());
  EXPECT_EQ(d.scan.enabled, 0);
  EXPECT_TRUE(d.scan.items.empty());
  EXPECT_TRUE(d.links.empty());
  EXPECT_EQ(d.pathName, "");
  EXPECT_EQ(d.folder, "");
  EXPECT_FALSE(d.engine.allocated());
}

bool NamesMetabolite(const OutputItem& item, const std::string& name) {
  return item.i == name || item.j == name;
}

template <class Items, class Test>
std::size_t CountIf(const Items& items, Test test) {
  return static_cast<std::size_t>(std::count_if(items.begin(), items.end(), test));
}

TEST(RebindDocumentItems, BindsEveryItemThenDropsWhatAModelChangeLeavesUnresolved) {
  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  Document d = test::MakeRichDocument(catalogue);
  d.engine.Allocate(d.model);
  std::vector<OutputItem>* selections[] = {&d.selections.interactive, &d.selections.timeCourse,
                                           &d.selections.steadyState};

  // The unchanged model: only the item of a retired type code goes, and
  // every other item then points at its quantity.
  EXPECT_EQ(RebindDocumentItems(d, true), 1);
  for (const std::vector<OutputItem>* selection : selections) {
    for (const OutputItem& item : *selection) EXPECT_NE(item.value, nullptr) << item.title;
  }
  for (const ScanItem& scanned : d.scan.items) EXPECT_NE(scanned.value, nullptr);
  for (const ParameterLink& link : d.links) EXPECT_NE(link.target.value, nullptr);
  EXPECT_NE(d.functions[1].items()[0].value, nullptr);

  // S is renamed: whatever named it cannot be resolved any more; a
  // function keeps its place with that symbol unbound.
  std::vector<std::size_t> kept;
  for (const std::vector<OutputItem>* selection : selections) {
    kept.push_back(selection->size() - CountIf(*selection, [](const OutputItem& i) {
                     return NamesMetabolite(i, "S");
                   }));
  }
  d.model.metabolites[static_cast<std::size_t>(d.model.FindMetabolite("S"))].name = "S2";
  AnalyseChangedModel(d);
  EXPECT_EQ(d.model.metaboliteOrder.size(), static_cast<std::size_t>(d.model.nMetabolites()));
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(selections[k]->size(), kept[k]);
    for (const OutputItem& item : *selections[k]) {
      EXPECT_FALSE(NamesMetabolite(item, "S")) << item.title;
      EXPECT_EQ(item.value, nullptr) << item.title;
    }
  }
  ASSERT_EQ(d.functions.size(), 2u);
  EXPECT_EQ(d.functions[1].items()[0].value, nullptr);
  EXPECT_EQ(d.scan.items.size(), 3u);
  ASSERT_EQ(d.links.size(), 1u);  // the link from [S]i has gone
  EXPECT_EQ(d.links[0].source.i, "cytosol");
}

struct PathCase {
  const char* path;
  const char* folder;
  const char* report;
};

class DocumentPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(DocumentPaths, FolderAndReportFile) {
  EXPECT_EQ(FolderOf(GetParam().path), GetParam().folder);
  EXPECT_EQ(ReportFileNameFor(GetParam().path), GetParam().report);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DocumentPaths,
    ::testing::Values(PathCase{"/home/u/glycolysis.vrn", "/home/u/", "/home/u/glycolysis.txt"},
                      PathCase{"/home/u/model.v2.vrn", "/home/u/", "/home/u/model.v2.txt"},
                      PathCase{"/home/u.v/model", "/home/u.v/", "/home/u.v/model.txt"},
                      PathCase{"model.vrn", "", "model.txt"}, PathCase{"/model", "/", "/model.txt"},
                      PathCase{"", "", ""}));

TEST(PlotPageDocumentOf, CarriesTasksTitlesFilesAndTitle) {
  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  Document d = test::MakeRichDocument(catalogue);
  d.folder = "/data/";
  d.settings.steadyState = 0;
  const PlotPageDocument p = PlotPageDocumentOf(d);
  EXPECT_TRUE(p.timeCourseTask);
  EXPECT_FALSE(p.steadyStateTask);
  ASSERT_EQ(p.timeCourseTitles.size(), d.selections.timeCourse.size());
  EXPECT_EQ(p.timeCourseTitles[1], "[S]t");
  EXPECT_EQ(p.steadyStateTitles.size(), d.selections.steadyState.size());
  EXPECT_EQ(p.folder, "/data/");
  EXPECT_EQ(p.dynamicsFile, "enzyme time course.dat");
  EXPECT_EQ(p.steadyStateFile, "enzyme=ss.dat");
  EXPECT_EQ(p.modelTitle, "Enzyme with a leak");
  EXPECT_EQ(PlotDataPath(d.plot, p), "/data/enzyme time course.dat");
}

TEST(BuildDocumentPlotScript, PlotsTheStoredChoiceFromTheDocumentsFolder) {
  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  Document d = test::MakeRichDocument(catalogue);
  d.folder = "/data/";
  d.plot.plot3d = 0;
  d.plot.plotMultiplot = 0;
  d.plot.plotTitles = 1;
  d.plot.plotType = kPlotLines;
  d.plot.plotY = {2};
  const std::string script = BuildDocumentPlotScript(d, "set terminal dumb\n");
  EXPECT_EQ(script.rfind("set terminal dumb\nset grid\n", 0), 0u);
  EXPECT_NE(script.find("set title 'Enzyme with a leak'\n"), std::string::npos);
  EXPECT_NE(script.find("plot '/data/enzyme time course.dat' u 1:3 t '[P]t'\n"), std::string::npos);
  d.plot.plotXEntry = kNoPlotEntry;
  EXPECT_EQ(BuildDocumentPlotScript(d), "");
}

struct SaveChangesCase {
  const char* what;
  bool modified;
  Answer answer;
  bool saveSucceeds;
  bool mayGo;
  int questions;
  int saves;
};

TEST(SaveChangesFirst, AsksOnlyForUnsavedChangesAndKeepsTheDocumentUnlessTheyAreSafe) {
  const SaveChangesCase cases[] = {
      {"nothing unsaved", false, Answer::kYes, true, true, 0, 0},
      {"saved", true, Answer::kYes, true, true, 1, 1},
      {"save failed", true, Answer::kYes, false, false, 1, 1},
      {"discarded", true, Answer::kNo, true, true, 1, 0},
      {"cancelled", true, Answer::kCancel, true, false, 1, 0},
  };
  for (const SaveChangesCase& c : cases) {
    SCOPED_TRACE(c.what);
    Document d;
    NewDocument(d, DefaultValues{});
    d.pathName = "/models/glycolysis.vrn";
    d.modified = c.modified;
    RecordingSink sink;
    sink.QueueAnswer(c.answer);
    int saves = 0;
    EXPECT_EQ(SaveChangesFirst(d, sink, [&] {
                ++saves;
                return c.saveSucceeds;
              }),
              c.mayGo);
    EXPECT_EQ(static_cast<int>(sink.messages().size()), c.questions);
    EXPECT_EQ(saves, c.saves);
    if (c.questions > 0) {
      EXPECT_TRUE(sink.Said("Save changes to glycolysis.vrn?"));
    }
  }
}

TEST(SaveChangesFirst, ASinkThatCannotAskKeepsTheDocument) {
  Document d;
  NewDocument(d, DefaultValues{});
  d.modified = true;
  StderrSink batch;
  EXPECT_FALSE(SaveChangesFirst(d, batch, [] { return true; }));
  EXPECT_EQ(DocumentName(d), "Untitled");
}

TEST(ModifiedFlag, NewSaveAndLoadClearItAndAFailedSaveKeepsIt) {
  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("vireon_modified_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  RecordingSink sink;

  Document d = test::MakeSmallDocument(catalogue);
  d.modified = true;
  EXPECT_FALSE(WriteModelFile(d, (folder / "missing" / "m.vrn").string(), catalogue, sink));
  EXPECT_TRUE(d.modified);
  const std::string path = (folder / "m.vrn").string();
  ASSERT_TRUE(WriteModelFile(d, path, catalogue, sink));
  EXPECT_FALSE(d.modified);
  EXPECT_EQ(DocumentName(d), "m.vrn");

  d.modified = true;
  ASSERT_TRUE(ReadModelFile(d, path, catalogue, DefaultValues{}, sink));
  EXPECT_FALSE(d.modified);
  d.modified = true;
  NewDocument(d, DefaultValues{});
  EXPECT_FALSE(d.modified);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace vireon
