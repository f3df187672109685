// The run side of the desktop program, driven through its real pages on the
// offscreen platform: the Tasks page's fields and its Run button, pause and
// edit on the Time course page, a scan set up on the Scan page with its
// progress, the Plot page's script, the Results page after a run, and the
// Output Data dialog's modes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTreeWidget>
#include <cmath>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "app/app_startup.h"
#include "app/interactive_page.h"
#include "app/main_window.h"
#include "app/output_data_dialog.h"
#include "app/plot_page.h"
#include "app/reactions_dialog.h"
#include "app/results_page.h"
#include "app/scan_page.h"
#include "app/trace_chart_view.h"
#include "app/tasks_page.h"
#include "document/interactive_pacing.h"
#include "document/task_settings_editor.h"
#include "model/messages.h"
#include "output/output_item.h"
#include "qt_application.h"

namespace vireon {
namespace {

// Safety limit for the event loop while a run goes on (not a timing check).
constexpr int kMaxEventRounds = 400000;

class RunPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApplication();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = std::filesystem::temp_directory_path() /
              ("vireon_pages_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::create_directories(folder_);
    ASSERT_TRUE(StartApplication(app_, sink_, folder_ / "vireon.ini", folder_ / "vireon.kdb"));
    sink_.Clear();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // S -> X -> P through the reactions dialog, with both data files named,
  // the time course of [X] in every selection, saved in the test's folder.
  void MakeModel(MainWindow& window) {
    Document& document = window.document();
    ReactionsDialog dialog(document, app_.catalogue, app_.defaults.kineticConstant,
                           app_.defaults.concentration, sink_);
    for (const auto& [name, equation] : {std::pair{"R1", "S -> X"}, std::pair{"R2", "X -> P"}}) {
      dialog.nameField()->setText(name);
      dialog.equationField()->setText(equation);
      dialog.AddOrChange();
    }
    dialog.accept();
    document.model.metabolites[document.model.FindMetabolite("X")].initialConcentration = 0.5;
    document.settings.dynamicsData.file = "run.dyn";
    document.settings.steadyStateData.file = "run.ss";
    document.settings.points = 20;
    document.settings.sleepTime = 0;
    document.selections.timeCourse = {MakeOutputItem(kTime),
                                      MakeOutputItem(kTransientConcentration, "X"),
                                      MakeOutputItem(kTransientFlux, "R1")};
    document.selections.steadyState = {MakeOutputItem(kSteadyStateConcentration, "X")};
    document.selections.interactive = {MakeOutputItem(kTransientConcentration, "X")};
    ASSERT_TRUE(window.SaveTo(QString::fromStdString((folder_ / "model.vrn").string())));
    window.tasksPage()->Refresh();
  }

  static bool ProcessEventsUntil(const std::function<bool()>& done) {
    for (int round = 0; round < kMaxEventRounds; ++round) {
      QCoreApplication::processEvents();
      if (done()) return true;
      QThread::usleep(50);
    }
    return false;
  }

  static bool WaitForIdle(MainWindow& window) {
    const bool idle = ProcessEventsUntil([&] {
      return !window.controller().IsBusy() && window.statusText() == kStatusIdle;
    });
    window.controller().Wait();
    QCoreApplication::processEvents();
    return idle;
  }

  std::filesystem::path folder_;
  AppStartup app_;
  RecordingSink sink_;
};

TEST_F(RunPagesTest, TasksPageHandsItsFieldsToTheEditor) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  TasksPage* page = window.tasksPage();
  QLineEdit* endTime = page->endTimeField();
  endTime->setText("0");
  endTime->setModified(true);
  emit endTime->editingFinished();
  EXPECT_TRUE(sink_.Said(kEndTimeZero));
  EXPECT_EQ(endTime->text(), "10");
  EXPECT_EQ(window.document().settings.endTime, 10.0);
  // The end time's field says the model's time unit.
  window.document().settings.timeUnit = "min";
  page->Refresh();
  QLabel* endTimeLabel = nullptr;
  for (QLabel* label : page->findChildren<QLabel*>()) {
    if (label->buddy() == endTime) endTimeLabel = label;
  }
  ASSERT_NE(endTimeLabel, nullptr);
  EXPECT_EQ(endTimeLabel->text(), "End time (min):");

  const TasksPage::TaskControls& tc = page->controls(DataTask::kTimeCourse);
  tc.file->setText("../elsewhere.dyn");
  tc.file->setModified(true);
  emit tc.file->editingFinished();
  EXPECT_EQ(window.document().settings.dynamicsData.file, "run.dyn");
  EXPECT_EQ(tc.file->text(), "run.dyn");

  tc.width->setCurrentIndex(4);
  emit tc.width->activated(4);
  EXPECT_EQ(window.document().settings.dynamicsData.columnWidth, 12);
  emit tc.separator->activated(2);
  EXPECT_EQ(window.document().settings.dynamicsData.separator, ',');

  // Down moves the chosen column; the list and the selection agree.
  tc.items->setCurrentRow(0);
  tc.down->click();
  EXPECT_EQ(window.document().selections.timeCourse[1].title, "time");
  EXPECT_EQ(tc.items->item(1)->text(), "time");
  EXPECT_EQ(tc.items->currentRow(), 1);
  tc.up->click();
  EXPECT_EQ(window.document().selections.timeCourse[0].title, "time");
  EXPECT_TRUE(window.isWindowModified());
}

TEST_F(RunPagesTest, ARunFromTheTasksPageFinishesAndReenablesThePages) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  window.sheet()->setCurrentWidget(window.tasksPage());
  window.tasksPage()->runButton()->click();
  ASSERT_TRUE(window.controller().IsBusy());
  EXPECT_TRUE(ProcessEventsUntil([&] { return window.statusText() == kStatusRunning; }) ||
              !window.controller().IsBusy());
  ASSERT_TRUE(WaitForIdle(window));

  EXPECT_EQ(window.controller().outcome(), RunOutcome::kFinished);
  EXPECT_TRUE(window.tasksPage()->runButton()->isEnabled());
  EXPECT_FALSE(window.tasksPage()->stopButton()->isEnabled());
  EXPECT_TRUE(window.tasksPage()->controls(DataTask::kTimeCourse).file->isEnabled());
  EXPECT_TRUE(window.scanPage()->addButton()->isEnabled());
  EXPECT_TRUE(window.interactivePage()->runButton()->isEnabled());
  EXPECT_FALSE(window.interactivePage()->pauseButton()->isEnabled());
  EXPECT_EQ(window.errorLogDialog(), nullptr);
  // The run wrote the report beside the model.
  EXPECT_TRUE(std::filesystem::exists(folder_ / "run.dyn"));
}

// A dose between two points of a run shown on the Time course page reaches
// its chart as one marker, named after the event, half way between the
// points around it (4 and 4.5).
TEST_F(RunPagesTest, TheTimeCourseChartsMarkAnEventBetweenItsPoints) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, 4.25)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "X", {}}, "X + 1"}};
  window.document().model.events = {dose};
  InteractivePage& page = *window.interactivePage();
  window.sheet()->setCurrentWidget(&page);
  page.runButton()->click();
  ASSERT_TRUE(WaitForIdle(window));
  EXPECT_EQ(window.controller().outcome(), RunOutcome::kFinished);
  const TraceChart& chart = page.chartView(0).chart();
  ASSERT_EQ(chart.markers().size(), 1u);
  const ChartMarker& marker = chart.markers()[0];
  EXPECT_EQ(marker.label, "dose");
  ASSERT_GT(marker.slot, 0);
  const int from = chart.SlotX(marker.slot - 1), to = chart.SlotX(marker.slot);
  EXPECT_NEAR(marker.x, (from + to) / 2.0, 1.0);
  // The other channels are not in use and mark nothing.
  EXPECT_TRUE(page.chartView(1).chart().markers().empty());
}

TEST_F(RunPagesTest, PauseEditAConcentrationContinueAndStop) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  Document& document = window.document();
  document.settings.points = 0;  // runs until stopped
  document.settings.endTime = 0.05;
  InteractivePage* page = window.interactivePage();
  window.sheet()->setCurrentWidget(page);
  page->paceSlider()->setValue(5);
  page->runButton()->click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return window.statusText() == kStatusRunning; }));
  EXPECT_FALSE(page->runButton()->isEnabled());
  EXPECT_TRUE(page->valueField(0)->isReadOnly());

  page->pauseButton()->click();
  EXPECT_EQ(page->pauseButton()->text(), kContinueText);
  ASSERT_TRUE(ProcessEventsUntil([&] { return window.statusText() == kStatusPaused; }));
  EXPECT_FALSE(page->valueField(0)->isReadOnly());
  EXPECT_TRUE(page->valueField(1)->isReadOnly());
  const double pausedAt = document.engine.time;
  QLineEdit* field = page->valueField(0);
  field->setText("100");
  field->setModified(true);
  emit field->editingFinished();
  EXPECT_EQ(document.model.metabolites[document.model.FindMetabolite("X")].concentration, 100.0);

  page->pauseButton()->click();  // "Continue "
  EXPECT_EQ(page->pauseButton()->text(), kPauseText);
  ASSERT_TRUE(ProcessEventsUntil([&] { return window.statusText() == kStatusRunning; }));
  // The shown [X] carries on from the typed 100 (it falls towards its
  // steady state of 1 from there), far above anything the run had before.
  ASSERT_TRUE(ProcessEventsUntil([&] {
    return document.engine.time > pausedAt + 0.2 && page->valueField(0)->text().toDouble() > 10.0;
  }));
  page->stopButton()->click();
  ASSERT_TRUE(WaitForIdle(window));
  EXPECT_EQ(window.controller().outcome(), RunOutcome::kStopped);
  EXPECT_TRUE(page->runButton()->isEnabled());
  EXPECT_EQ(document.settings.sleepTime, 5);
}

TEST_F(RunPagesTest, ATwoItemScanSetUpOnTheScanPageRunsAndMovesTheProgressBar) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  Document& document = window.document();
  // Slow enough for the scan's progress, which comes every two seconds.
  document.settings.sleepTime = 60;
  document.settings.points = 10;
  ScanPage* page = window.scanPage();
  page->Refresh();
  window.sheet()->setCurrentWidget(page);
  // Add the first kinetic constant of each step from the tree.
  QTreeWidget* tree = page->availableTree();
  int added = 0;
  for (int n = 0; n < tree->topLevelItemCount(); ++n) {
    QTreeWidgetItem* node = tree->topLevelItem(n);
    if (node->text(0) != "kinetic constants") continue;
    for (int e = 0; e < node->childCount() && added < 2; ++e) {
      const QString title = node->child(e)->text(0);
      if (!title.startsWith(added == 0 ? "R1(" : "R2(")) continue;
      tree->setCurrentItem(node->child(e));
      page->addButton()->click();
      ++added;
    }
  }
  ASSERT_EQ(added, 2);
  ASSERT_EQ(page->itemList()->count(), 2);
  page->densityField()->setValue(3);  // the second item, still selected
  page->enableButton()->click();
  EXPECT_EQ(page->enableButton()->text(), "Disable");
  EXPECT_EQ(document.scan.enabled, 1);
  EXPECT_EQ(page->iterationsLabel()->text(), "6");

  std::set<int> shown;
  QObject::connect(window.progressBar(), &QProgressBar::valueChanged,
                   [&shown](int value) { shown.insert(value); });
  ASSERT_TRUE(window.Run());
  ASSERT_TRUE(ProcessEventsUntil([&] { return window.progressBar()->isVisible() || !window.controller().IsBusy(); }));
  ASSERT_TRUE(WaitForIdle(window));
  EXPECT_EQ(window.controller().outcome(), RunOutcome::kFinished);
  EXPECT_EQ(document.engine.iteration, 6);
  // The bar started at 0 and moved on during the scan; at the end the
  // counts say that every point is done, whenever their last update came.
  ASSERT_FALSE(shown.empty());
  EXPECT_GT(*shown.rbegin(), 0);
  EXPECT_LE(*shown.rbegin(), kProgressRange);
  EXPECT_EQ(page->completedLabel()->text(), "6");
  EXPECT_EQ(page->timeLeftLabel()->text(), "00:00:00");
  EXPECT_FALSE(window.progressBar()->isVisible());
}

TEST_F(RunPagesTest, TheScanPageSaysWhenTheWindowPacesTheScanAndRunsItUnpacedOnRequest) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  Document& document = window.document();
  document.settings.sleepTime = 500;
  document.settings.points = 10;
  ScanPage* page = window.scanPage();
  page->Refresh();
  window.sheet()->setCurrentWidget(page);
  QTreeWidget* tree = page->availableTree();
  for (int n = 0; n < tree->topLevelItemCount(); ++n) {
    QTreeWidgetItem* node = tree->topLevelItem(n);
    if (node->text(0) == "kinetic constants") tree->setCurrentItem(node->child(0));
  }
  page->addButton()->click();
  ASSERT_EQ(page->itemList()->count(), 1);
  EXPECT_TRUE(page->pacingLabel()->isHidden());  // no scan yet
  page->enableButton()->click();
  ASSERT_EQ(document.scan.enabled, 1);
  EXPECT_FALSE(page->pacingLabel()->isHidden());
  EXPECT_EQ(page->pacingLabel()->text().toStdString(), ScanPacingNotice(document));
  EXPECT_NE(page->pacingLabel()->text().indexOf("500 ms"), -1);
  ASSERT_FALSE(page->unpacedBox()->isHidden());

  // Unpaced, the Time course page is told of no point: the scan never
  // waits for it (paced, 10 points of 500 ms at each of its iterations).
  page->unpacedBox()->click();
  ASSERT_TRUE(window.Run());
  ASSERT_TRUE(WaitForIdle(window));
  EXPECT_EQ(window.controller().outcome(), RunOutcome::kFinished);
  EXPECT_EQ(document.engine.iteration, document.engine.totalIterations);
  EXPECT_TRUE(window.interactivePage()->chartView(0).chart().empty());
}

TEST_F(RunPagesTest, ScanPageRefusesEqualEndsWithItsMessage) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  ScanPage* page = window.scanPage();
  page->Refresh();
  QTreeWidget* tree = page->availableTree();
  tree->setCurrentItem(tree->topLevelItem(0)->child(0));  // "end time"
  page->addButton()->click();
  ASSERT_EQ(window.document().scan.items.size(), 1u);
  page->maxField()->setText("1");
  page->maxField()->setModified(true);
  emit page->maxField()->editingFinished();
  EXPECT_TRUE(sink_.Said(messages::kScanEndsEqual));
  EXPECT_EQ(window.document().scan.items[0].max, 2.0);
  EXPECT_EQ(page->maxField()->text(), "2");
}

TEST_F(RunPagesTest, PlotPageScriptEqualsTheCoresForTheSameSettings) {
  app_.helpers.gnuplot = "gnuplot";
  MainWindow window(app_, sink_);
  MakeModel(window);
  PlotPage* page = window.plotPage();
  window.sheet()->setCurrentWidget(page);
  ASSERT_NE(page->editor(), nullptr);
  page->xList()->item(0)->setSelected(true);
  page->yList()->item(1)->setSelected(true);
  page->yList()->item(2)->setSelected(true);
  page->styleList()->setCurrentIndex(kPlotLinesPoints);
  emit page->styleList()->activated(kPlotLinesPoints);

  const std::string script = page->BuildScript();
  window.sheet()->setCurrentWidget(window.tasksPage());  // leaving stores the settings
  EXPECT_EQ(window.document().plot.plotXEntry, 0);
  EXPECT_EQ(window.document().plot.plotY, (std::vector<int>{1, 2}));
  EXPECT_EQ(window.document().plot.plotType, kPlotLinesPoints);
  ASSERT_FALSE(script.empty());
  EXPECT_EQ(script, BuildDocumentPlotScript(window.document()));
  EXPECT_NE(script.find("u 1:2"), std::string::npos);

  const QString saved = QString::fromStdString((folder_ / "saved.plt").string());
  ASSERT_TRUE(page->SaveCommandFile(saved));
  std::ifstream in(saved.toStdString(), std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, script);
}

// A stand-in for gnuplot: it names `terminals` when asked, and draws by
// copying `picture` to the script's output file, or fails as a gnuplot
// without the script's terminal does.
std::string FakeGnuplot(const std::filesystem::path& folder, const std::string& terminals,
                        const std::string& picture, bool fails) {
  const std::filesystem::path path = folder / "fake-gnuplot";
  std::ofstream out(path, std::ios::binary);
  out << "#!/bin/sh\n"
      << "if [ \"$1\" = \"-e\" ]; then echo ' " << terminals << " ' >&2; exit 0; fi\n";
  if (fails) {
    out << "echo \"\\\"$2\\\" line 1: unknown or ambiguous terminal type\" >&2\nexit 1\n";
  } else {
    out << "target=$(sed -n \"s/^set output '\\(.*\\)'\\$/\\1/p\" \"$2\")\n"
        << "[ -n \"$target\" ] && cp '" << picture << "' \"$target\"\nexit 0\n";
  }
  out.close();
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path.string();
}

TEST_F(RunPagesTest, PlotDrawsWithATerminalTheGnuplotHasAndShowsWhatGnuplotSaid) {
  app_.helpers.gnuplot = "gnuplot";
  MainWindow window(app_, sink_);
  MakeModel(window);
  PlotPage* page = window.plotPage();
  window.sheet()->setCurrentWidget(page);
  page->xList()->item(0)->setSelected(true);
  page->yList()->item(1)->setSelected(true);

  // A gnuplot with a window terminal but not qt: the script asks for it,
  // and gnuplot's complaint reaches the user.
  bool ended = false, drawn = true;
  QObject::connect(page, &PlotPage::plotEnded, [&](bool ok) {
    ended = true;
    drawn = ok;
  });
  page->SetGnuplotPath(FakeGnuplot(folder_, "dumb png x11 xterm", "", true));
  ASSERT_TRUE(page->PlotNow());
  EXPECT_EQ(page->lastPlotScript().rfind("set terminal x11\nset output\n", 0), 0u);
  ASSERT_TRUE(ProcessEventsUntil([&] { return ended; }));
  EXPECT_FALSE(drawn);
  ASSERT_EQ(sink_.messages().size(), 1u);
  EXPECT_NE(sink_.messages()[0].text.find("exit code 1"), std::string::npos);
  EXPECT_NE(sink_.messages()[0].text.find("line 1: unknown or ambiguous terminal type"),
            std::string::npos)
      << sink_.messages()[0].text;

  // gnuplot-nox has no window terminal: the plot is a picture, shown here.
  sink_.Clear();
  const std::string picture = (folder_ / "drawn.png").string();
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(Qt::darkGreen);
  ASSERT_TRUE(image.save(QString::fromStdString(picture)));
  page->SetGnuplotPath(FakeGnuplot(folder_, "dumb pngcairo png svg", picture, false));
  ended = false;
  ASSERT_TRUE(page->PlotNow());
  EXPECT_EQ(page->lastPlotScript().rfind("set terminal pngcairo size 900,600\nset output ", 0), 0u);
  ASSERT_TRUE(ProcessEventsUntil([&] { return ended; }));
  EXPECT_TRUE(drawn);
  EXPECT_TRUE(sink_.messages().empty()) << sink_.Texts()[0];
  ASSERT_NE(page->pictureWindow(), nullptr);
  EXPECT_TRUE(page->pictureWindow()->isVisible());
  const QLabel* shown = page->pictureWindow()->findChild<QLabel*>();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->pixmap().size(), QSize(40, 30));

  // A gnuplot that has neither says so, and nothing is started.
  sink_.Clear();
  page->SetGnuplotPath(FakeGnuplot(folder_, "dumb sixelgd", "", false));
  EXPECT_FALSE(page->PlotNow());
  ASSERT_EQ(sink_.messages().size(), 1u);
  EXPECT_NE(sink_.messages()[0].text.find("Its terminals: dumb sixelgd"), std::string::npos);
}

TEST_F(RunPagesTest, ResultsPageShowsTheColumnsOfAFinishedRun) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  ResultsPage* page = window.resultsPage();
  EXPECT_TRUE(page->chart()->series().isEmpty());
  ASSERT_TRUE(window.Run());
  ASSERT_TRUE(WaitForIdle(window));

  // Time on x; [X]t and J(R1) drawn, each with the run's 21 points.
  EXPECT_EQ(page->xList()->currentText(), "time");
  QStringList names;
  for (QAbstractSeries* series : page->chart()->series()) {
    names << series->name();
    EXPECT_EQ(static_cast<QLineSeries*>(series)->count(), 21);
  }
  EXPECT_EQ(names, (QStringList{"[X]t", "J(R1)"}));
  const auto* x = static_cast<QLineSeries*>(page->chart()->series()[0]);
  EXPECT_EQ(x->at(20).x(), 10.0);

  // Unticking a column takes its curve away; the pictures can be written.
  page->columnList()->item(2)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(page->chart()->series().size(), 1);
  EXPECT_TRUE(page->ExportPng(QString::fromStdString((folder_ / "chart.png").string())));
  EXPECT_TRUE(page->ExportSvg(QString::fromStdString((folder_ / "chart.svg").string())));
  EXPECT_GT(std::filesystem::file_size(folder_ / "chart.png"), 0u);
  EXPECT_GT(std::filesystem::file_size(folder_ / "chart.svg"), 0u);
}

TEST_F(RunPagesTest, ResultsPageShowsASteadyStateAsATableAndTakesLogarithmicAxes) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  ResultsPage* page = window.resultsPage();
  ASSERT_TRUE(window.Run());
  ASSERT_TRUE(WaitForIdle(window));
  window.sheet()->setCurrentWidget(page);

  // The steady state of a run without a scan: its values, no empty chart.
  const QList<QRadioButton*> sources = page->findChildren<QRadioButton*>();
  QRadioButton* steadyState = nullptr;
  for (QRadioButton* button : sources) {
    if (button->text() == "Steady state") steadyState = button;
  }
  ASSERT_NE(steadyState, nullptr);
  steadyState->click();
  EXPECT_TRUE(page->showsTable());
  EXPECT_FALSE(page->table()->isHidden());
  EXPECT_TRUE(page->chartView()->isHidden());
  ASSERT_EQ(page->table()->rowCount(), 1);
  EXPECT_EQ(page->table()->item(0, 0)->text(), "[X]ss");
  bool number = false;
  page->table()->item(0, 1)->text().toDouble(&number);
  EXPECT_TRUE(number) << page->table()->item(0, 1)->text().toStdString();

  // The time course is a chart, a table on request, and takes a
  // logarithmic y axis.
  QRadioButton* timeCourse = nullptr;
  for (QRadioButton* button : sources) {
    if (button->text() == "Time course") timeCourse = button;
  }
  ASSERT_NE(timeCourse, nullptr);
  timeCourse->click();
  EXPECT_FALSE(page->showsTable());
  EXPECT_TRUE(page->table()->isHidden());
  page->tableBox()->click();
  EXPECT_FALSE(page->table()->isHidden());
  EXPECT_EQ(page->table()->rowCount(), 21);
  EXPECT_EQ(page->table()->columnCount(), 3);
  page->tableBox()->click();
  page->logYBox()->click();
  ASSERT_FALSE(page->chart()->axes(Qt::Vertical).isEmpty());
  EXPECT_EQ(page->chart()->axes(Qt::Vertical)[0]->type(), QAbstractAxis::AxisTypeLogValue);
  EXPECT_FALSE(page->chart()->series().isEmpty());
}

// A periodic event (sin(pi t) rises through 0.5 at t = 1/6 + 2k, five
// times in the run's 10 s): the time-course window marks every execution
// in its chart, and the Results page's time course draws a dashed line,
// named after the event, at each; its axes carry the units, the flux its
// own axis on the right; points can be marked and the values exported.
TEST_F(RunPagesTest, APeriodicEventIsMarkedInBothChartsBesideUnitsAndAFluxAxis) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  Event tick;
  tick.name = "tick";
  tick.trigger = "geq(sin(3.14159265358979*time), 0.5)";
  tick.assignments = {{{RuleTargetKind::kMetabolite, "X", {}}, "X + 1"}};
  window.document().model.events = {tick};
  InteractivePage& live = *window.interactivePage();
  window.sheet()->setCurrentWidget(&live);
  live.runButton()->click();
  ASSERT_TRUE(WaitForIdle(window));
  ASSERT_EQ(window.controller().outcome(), RunOutcome::kFinished);

  // The window: a marker per execution, the units beside the values.
  const TraceChart& strip = live.chartView(0).chart();
  ASSERT_EQ(strip.markers().size(), 5u);
  for (const ChartMarker& marker : strip.markers()) EXPECT_EQ(marker.label, "tick");
  EXPECT_EQ(live.channelUnit(0), "mM");
  EXPECT_EQ(live.channelUnit(1), "");
  EXPECT_EQ(live.currentTimeTitle(), "Current Time (s):");

  ResultsPage* page = window.resultsPage();
  window.sheet()->setCurrentWidget(page);
  ASSERT_EQ(page->eventLines().size(), 5);
  for (int k = 0; k < 5; ++k) {
    const QLineSeries* line = page->eventLines()[k];
    EXPECT_EQ(line->name(), "tick");
    ASSERT_EQ(line->count(), 2);
    EXPECT_NEAR(line->at(0).x(), 1.0 / 6.0 + 2.0 * k, 1e-6);
    EXPECT_EQ(line->at(1).x(), line->at(0).x());  // vertical
    // Event lines have no legend entry of their own.
    for (QLegendMarker* marker : page->chart()->legend()->markers(page->eventLines()[k])) {
      EXPECT_FALSE(marker->isVisible());
    }
  }
  EXPECT_FALSE(page->eventsLabel()->isHidden());

  // time (s) below, [X]t in mM on the left, J(R1) in mM/s on the right.
  const QList<QAbstractAxis*> x = page->chart()->axes(Qt::Horizontal);
  ASSERT_EQ(x.size(), 1);
  EXPECT_EQ(x[0]->titleText(), "time (s)");
  const QList<QAbstractAxis*> y = page->chart()->axes(Qt::Vertical);
  ASSERT_EQ(y.size(), 2);
  EXPECT_EQ(y[0]->titleText(), "mM");
  EXPECT_EQ(y[0]->alignment(), Qt::AlignLeft);
  EXPECT_EQ(y[1]->titleText(), "mM/s");
  EXPECT_EQ(y[1]->alignment(), Qt::AlignRight);
  const QList<QLineSeries*> curves = page->curveSeries();
  ASSERT_EQ(curves.size(), 2);
  EXPECT_TRUE(curves[0]->attachedAxes().contains(y[0]));
  EXPECT_TRUE(curves[1]->attachedAxes().contains(y[1]));

  // Point marks on every curve, and off again.
  for (QLineSeries* curve : curves) EXPECT_FALSE(curve->pointsVisible());
  page->pointsBox()->click();
  for (QLineSeries* curve : page->curveSeries()) EXPECT_TRUE(curve->pointsVisible());
  page->pointsBox()->click();
  for (QLineSeries* curve : page->curveSeries()) EXPECT_FALSE(curve->pointsVisible());

  // The values as a table titled with units, and as CSV titled as items.
  page->tableBox()->click();
  EXPECT_EQ(page->table()->horizontalHeaderItem(0)->text(), "time (s)");
  EXPECT_EQ(page->table()->horizontalHeaderItem(1)->text(), "[X]t (mM)");
  EXPECT_EQ(page->table()->horizontalHeaderItem(2)->text(), "J(R1) (mM/s)");
  page->tableBox()->click();
  const std::filesystem::path csv = folder_ / "chart.csv";
  ASSERT_TRUE(page->ExportCsv(QString::fromStdString(csv.string())));
  std::ifstream in(csv);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "time,[X]t,J(R1)");
  int rows = 0;
  while (std::getline(in, line)) ++rows;
  EXPECT_EQ(rows, 21);

  // Against [X]t the events have no place on the x axis.
  page->xList()->setCurrentIndex(1);
  page->xList()->activated(1);
  EXPECT_TRUE(page->eventLines().isEmpty());
  EXPECT_TRUE(page->eventsLabel()->isHidden());
}

TEST_F(RunPagesTest, OutputDataDialogTakesItsModeAndLimit) {
  MainWindow window(app_, sink_);
  MakeModel(window);
  Document& document = window.document();
  struct Case {
    OutputDataMode mode;
    const char* title;
  };
  for (const Case& c : {Case{OutputDataMode::kTimeCourse, "Time-Course Output Data"},
                        Case{OutputDataMode::kSteadyState, "Steady-State Output Data"},
                        Case{OutputDataMode::kInteractive, "Time-Course Window Data"}}) {
    std::vector<OutputItem> selection;
    OutputDataDialog dialog(c.mode, document, selection, sink_);
    EXPECT_EQ(dialog.windowTitle(), c.title);
  }
  // The window takes at most four items: adding a whole branch of five
  // more than that is refused with the limit's message.
  std::vector<OutputItem> window4 = {MakeOutputItem(kTransientConcentration, "X"),
                                     MakeOutputItem(kTransientConcentration, "S"),
                                     MakeOutputItem(kTransientConcentration, "P")};
  OutputDataDialog dialog(OutputDataMode::kInteractive, document, window4, sink_);
  const OutputDataNode* metabolites = nullptr;
  for (const OutputDataNode& node : dialog.editor().tree()) {
    for (const OutputDataNode& child : node.children) {
      if (child.text == "initial concentrations") metabolites = &child;
    }
  }
  ASSERT_NE(metabolites, nullptr);
  EXPECT_FALSE(dialog.editor().AddAll(*metabolites, sink_));
  EXPECT_TRUE(sink_.Said("You can only select a total of 4 items."));
  EXPECT_EQ(dialog.editor().selected().size(), 3u);
}

}  // namespace
}  // namespace vireon
