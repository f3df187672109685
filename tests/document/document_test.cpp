#include "document/document.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "document/headless_run.h"
#include "document/model_file.h"
#include "engine/random.h"
#include "model/message_sink.h"
#include "model/messages.h"
#include "output/data_file.h"
#include "support/default_values.h"
#include "support/document_fixtures.h"
#include "support/files.h"
#include "support/reference_models.h"

namespace vireon {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A new document takes the user's defaults: run with them, its tasks,
// report sections, units and data-file layout are the ones the defaults
// ask for. The model and the file names are the user's own work.
TEST(NewDocument, RunsWithTheUsersDefaults) {
  DefaultValues edited = test::EditedDefaults();
  edited.dynamics = 1;
  edited.steadyState = 1;
  DefaultValues builtInWithReport;
  builtInWithReport.report = 1;
  for (const DefaultValues& defaults : {builtInWithReport, edited}) {
    SCOPED_TRACE(defaults.timeUnit);
    const test::TemporaryFolder folder;
    Document d;
    NewDocument(d, defaults);
    d.model = test::kTwoStepChain.Build();  // [X] tends to X* = 2 * 1 / 0.5 = 4
    d.model.comments = "a remark on the model";
    d.pathName = folder.folder() + "chain.vrn";
    d.folder = folder.folder();
    d.settings.dynamicsData.file = "chain.dyn";
    d.settings.steadyStateData.file = "chain.ss";
    d.selections.timeCourse = {MakeOutputItem(kTime), MakeOutputItem(kTransientConcentration, "X")};
    d.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X")};
    RandomGenerator random(1u);
    RecordingSink sink;
    const HeadlessRunResult result = RunDocumentToEnd(d, random, sink);
    ASSERT_EQ(result.outcome, RunOutcome::kFinished);
    EXPECT_EQ(result.errorLog, "");

    const std::vector<std::string> rows = test::ReadLines(folder / "chain.dyn");
    const DataFileLayout layout{defaults.columnWidth, static_cast<char>(defaults.separator),
                                defaults.quotes != 0};
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(defaults.points + 1 + defaults.titles));
    const std::vector<std::string> steady = test::ReadLines(folder / "chain.ss");
    ASSERT_EQ(steady.size(), static_cast<std::size_t>(1 + defaults.titles));
    if (defaults.titles) {
      EXPECT_EQ(rows[0] + "\n", FormatTitlesLine(d.selections.timeCourse, layout));
      EXPECT_EQ(steady[0] + "\n", FormatTitlesLine(d.selections.steadyState, layout));
    }

    const std::string report = test::ReadText(folder / "chain.txt");
    const std::string unit = " " + defaults.concentrationUnit;
    EXPECT_TRUE(Contains(report, "RESULTS OF INTEGRATION (after "));
    EXPECT_TRUE(Contains(report, " " + defaults.timeUnit + ")\n"));
    EXPECT_TRUE(Contains(report, "\n[         X] =  4.000000e+000" + unit));
    EXPECT_EQ(Contains(report, "\nSTRUCTURAL ANALYSIS\n"), defaults.reportStructuralAnalysis != 0);
    EXPECT_EQ(Contains(report, "\nKINETIC STABILITY ANALYSIS\n"),
              defaults.reportStabilityAnalysis != 0);
    EXPECT_EQ(Contains(report, "\nMETABOLIC CONTROL ANALYSIS\n"), defaults.reportMca != 0);
    EXPECT_EQ(Contains(report, "a remark on the model"), defaults.reportComments != 0);
  }
}

// Nothing of the document before survives File New: a new document over a
// full one is the same as a new document made from nothing.
TEST(NewDocument, LeavesNothingOfTheDocumentBefore) {
  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  const DefaultValues defaults = test::EditedDefaults();
  Document fresh;
  NewDocument(fresh, defaults);
  Document reused = test::MakeRichDocument(catalogue);
  reused.pathName = "/m/x.vrn";
  reused.folder = "/m/";
  reused.engine.Allocate(reused.model);
  NewDocument(reused, defaults);

  EXPECT_EQ(ModelFileText(reused, catalogue), ModelFileText(fresh, catalogue));
  EXPECT_EQ(reused.settings, fresh.settings);
  EXPECT_EQ(reused.pathName, "");
  EXPECT_EQ(reused.folder, "");
  EXPECT_FALSE(reused.engine.allocated());
  EXPECT_EQ(fresh.model.title, "Untitled");
  EXPECT_EQ(fresh.settings.reportFile, kNewDocumentReportFile);
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
                      // A report never takes the name of the model file.
                      PathCase{"/home/u/notes.txt", "/home/u/", "/home/u/notes.txt.txt"},
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
    EXPECT_EQ(SaveChangesFirst(d, sink,
                               [&] {
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
  const test::TemporaryFolder folder;
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
}

}  // namespace
}  // namespace vireon
