#include "app/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QLineEdit>
#include <QTabWidget>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "app/app_startup.h"
#include "app/error_log_dialog.h"
#include "app/interactive_page.h"
#include "app/plot_page.h"
#include "app/reactions_dialog.h"
#include "app/trace_chart_view.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_type.h"
#include "model/messages.h"
#include "model/record_cursor.h"
#include "output/output_item.h"
#include "qt_application.h"

namespace vireon {
namespace {

// Safety limit for the event loop while a run goes on (not a timing check).
constexpr int kMaxEventRounds = 200000;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApplication();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = std::filesystem::temp_directory_path() /
              ("vireon_app_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::create_directories(folder_);
    ASSERT_TRUE(StartApplication(app_, sink_, folder_ / "vireon.ini", folder_ / "vireon.kdb"));
    sink_.Clear();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Enters steps through the reactions dialog, as the user would.
  void AddSteps(Document& document,
                std::initializer_list<std::pair<const char*, const char*>> steps) {
    ReactionsDialog dialog(document, app_.catalogue, app_.defaults.kineticConstant,
                           app_.defaults.concentration, sink_);
    for (const auto& [name, equation] : steps) {
      dialog.nameField()->setText(name);
      dialog.equationField()->setText(equation);
      dialog.AddOrChange();
    }
    dialog.accept();
  }

  // Runs the event loop until `done` holds.
  static bool ProcessEventsUntil(const std::function<bool()>& done) {
    for (int round = 0; round < kMaxEventRounds; ++round) {
      QCoreApplication::processEvents();
      if (done()) return true;
      QThread::usleep(100);
    }
    return false;
  }

  std::filesystem::path folder_;
  AppStartup app_;
  RecordingSink sink_;
};

TEST_F(MainWindowTest, SheetHoldsItsPagesWithoutGnuplot) {
  MainWindow window(app_, sink_);
  QTabWidget* sheet = window.sheet();
  ASSERT_EQ(sheet->count(), 6);
  EXPECT_EQ(sheet->tabText(0), "Model Definition");
  EXPECT_EQ(sheet->tabText(1), "Tasks");
  EXPECT_EQ(sheet->tabText(2), "Scan");
  EXPECT_EQ(sheet->tabText(3), "Time course");
  EXPECT_EQ(sheet->tabText(4), "Results");
  EXPECT_EQ(sheet->tabText(5), "Fit");
  EXPECT_EQ(window.statusText(), kStatusIdle);
}

TEST_F(MainWindowTest, PlotPageComesLastWhenGnuplotIsSetAndFollowsThePath) {
  app_.helpers.gnuplot = "/usr/bin/gnuplot";
  MainWindow window(app_, sink_);
  ASSERT_EQ(window.sheet()->count(), 7);
  EXPECT_EQ(window.sheet()->tabText(6), "Plot");
  app_.helpers.gnuplot.clear();
  window.UpdatePlotPageVisibility();
  EXPECT_EQ(window.sheet()->count(), 6);
  EXPECT_EQ(window.sheet()->indexOf(window.plotPage()), -1);
  app_.helpers.gnuplot = "gnuplot";
  window.UpdatePlotPageVisibility();
  EXPECT_EQ(window.sheet()->tabText(6), "Plot");
}

// The Alt key of a text ("&File" gives F), or 0 for none.
QChar Mnemonic(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return text[i + 1].toUpper();
  }
  return QChar();
}

TEST_F(MainWindowTest, EveryAltKeyOfThePagesAndTheMenusIsOneControls) {
  MainWindow window(app_, sink_);
  window.show();
  std::map<QChar, QStringList> menus;
  for (const QAction* menu : window.menuBar()->actions()) {
    const QChar key = Mnemonic(menu->text());
    if (!key.isNull()) menus[key] << menu->text();
  }
  for (int p = 0; p < window.sheet()->count(); ++p) {
    window.sheet()->setCurrentIndex(p);
    QWidget* page = window.sheet()->widget(p);
    std::map<QChar, QStringList> keys = menus;
    for (const QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
      if (!button->isVisibleTo(page)) continue;
      const QChar key = Mnemonic(button->text());
      if (!key.isNull()) keys[key] << button->text();
    }
    for (const QLabel* label : page->findChildren<QLabel*>()) {
      if (label->buddy() == nullptr || !label->isVisibleTo(page)) continue;
      const QChar key = Mnemonic(label->text());
      if (!key.isNull()) keys[key] << label->text();
    }
    for (const auto& [key, owners] : keys) {
      EXPECT_EQ(owners.size(), 1) << window.sheet()->tabText(p).toStdString() << ": Alt+"
                                  << QString(key).toStdString() << " is "
                                  << owners.join(", ").toStdString();
    }
  }
}

TEST_F(MainWindowTest, ReactionsDialogAddsAStepThroughItsEditor) {
  Document document;
  NewDocument(document, app_.defaults);
  AddSteps(document, {{"v1", "S -> P"}});

  ASSERT_EQ(document.model.nSteps(), 1);
  EXPECT_EQ(document.model.steps[0].name, "v1");
  ASSERT_EQ(document.model.nMetabolites(), 2);
  EXPECT_EQ(document.model.metabolites[0].name, "S");
  EXPECT_EQ(document.model.metabolites[1].name, "P");
  // The new step got the constant-flux rate law.
  ASSERT_NE(document.model.steps[0].kineticType, nullptr);
  EXPECT_EQ(document.model.steps[0].kineticType->name, kConstantFluxIrreversible);
  EXPECT_TRUE(sink_.messages().empty());
}

TEST_F(MainWindowTest, ReactionsDialogRefusesABadEquationThroughTheSink) {
  Document document;
  NewDocument(document, app_.defaults);
  ReactionsDialog dialog(document, app_.catalogue, 1.0, 0.0, sink_);
  dialog.nameField()->setText("v1");
  dialog.equationField()->setText("S.1 -> P");
  dialog.AddOrChange();
  EXPECT_EQ(dialog.editor().steps().count(), 0);
  EXPECT_FALSE(sink_.messages().empty());
}

TEST_F(MainWindowTest, RunThroughTheGuiObserverShowsItsErrorsOnlyWhenThereAreSome) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  AddSteps(document, {{"v1", "S -> P"}});
  document.settings.steadyState = 0;
  document.settings.points = 20;
  document.selections.interactive.push_back(MakeOutputItem(kTransientConcentration, "P"));
  ASSERT_TRUE(window.SaveTo(QString::fromStdString((folder_ / "model.vrn").string())));
  const auto runToTheEnd = [&] {
    ASSERT_TRUE(window.Run());
    ASSERT_TRUE(ProcessEventsUntil([&] {
      return window.controller().outcome() == RunOutcome::kFinished &&
             window.statusText() == kStatusIdle;
    }));
    window.controller().Wait();
  };

  runToTheEnd();
  EXPECT_EQ(window.errorLogDialog(), nullptr);
  EXPECT_TRUE(document.engine.errorLog.empty());
  // Every point reached the page: P grows at constant flux, so its chart
  // ends above zero.
  const TraceChart& chart = window.interactivePage()->chartView(0).chart();
  EXPECT_EQ(chart.capacity(), 20);
  EXPECT_GT(chart.range().upper, 0.0);
  EXPECT_EQ(window.interactivePage()->channelLabel(1), "not used");

  // A folder stands where the time-course data file should go: the run goes
  // on without it, and its end shows why, without stopping the window.
  std::filesystem::create_directory(folder_ / "blocked.dat");
  document.settings.dynamicsData.file = "blocked.dat";
  runToTheEnd();
  ErrorLogDialog* dialog = window.errorLogDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(dialog->isModal());
  EXPECT_EQ(dialog->windowTitle(), "Errors in this simulation");
  EXPECT_NE(dialog->text().indexOf("blocked.dat"), -1);
  EXPECT_EQ(dialog->text().indexOf('\r'), -1);

  // The next faulty run fills the same dialog; OK closes it.
  runToTheEnd();
  EXPECT_EQ(window.errorLogDialog(), dialog);
  EXPECT_EQ(window.findChildren<ErrorLogDialog*>().size(), 1);
  dialog->accept();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window.errorLogDialog(), nullptr);
}

// File > View Report shows the report in a window of its own, says why
// when there is none, and reads the file again after every run.
TEST_F(MainWindowTest, TheReportIsShownInsideTheProgram) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  AddSteps(document, {{"v1", "S -> P"}});
  document.settings.steadyState = 0;
  document.settings.report = 1;
  ASSERT_TRUE(window.SaveTo(QString::fromStdString((folder_ / "model.vrn").string())));
  std::filesystem::remove(document.settings.reportFile);
  window.ShowReport();
  ReportDialog* report = window.reportDialog();
  ASSERT_NE(report, nullptr);
  EXPECT_FALSE(report->isModal());
  EXPECT_TRUE(report->text().isEmpty());
  EXPECT_NE(report->problem().indexOf("There is no report yet"), -1) << report->problem().toStdString();

  ASSERT_TRUE(window.Run());
  ASSERT_TRUE(ProcessEventsUntil([&] {
    return window.controller().outcome() == RunOutcome::kFinished &&
           window.statusText() == kStatusIdle;
  }));
  window.controller().Wait();
  // The open window read the new report; it is the file, line for line.
  std::string written;
  ASSERT_EQ(ReadWholeFile(document.settings.reportFile, written), FileErrorCause::kNone);
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(report->problem(), "");
  EXPECT_EQ(report->text(), QString::fromStdString(written).replace("\r\n", "\n"));
  EXPECT_NE(report->windowTitle().indexOf("model.txt"), -1);
  window.ShowReport();
  EXPECT_EQ(window.findChildren<ReportDialog*>().size(), 1);
}

TEST_F(MainWindowTest, ClosingDuringARunIsRefused) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  AddSteps(document, {{"v1", "S -> P"}});
  document.settings.steadyState = 0;
  document.selections.interactive.push_back(MakeOutputItem(kTransientConcentration, "P"));
  ASSERT_TRUE(window.SaveTo(QString::fromStdString((folder_ / "model.vrn").string())));

  ASSERT_TRUE(window.Run());
  window.controller().Pause();
  ASSERT_TRUE(ProcessEventsUntil([&] { return window.statusText() == kStatusPaused; }));
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(sink_.Said(messages::kCannotCloseWhileRunning));

  window.StopRun();
  ASSERT_TRUE(ProcessEventsUntil([&] {
    return window.controller().outcome() == RunOutcome::kStopped &&
           window.statusText() == kStatusIdle;
  }));
  window.controller().Wait();
  EXPECT_TRUE(window.close());
}

// File > Export SBML... and Import SBML... go through the core: the
// exported model comes back with its steps, and a refused file leaves the
// document as it was with the reason said.
TEST_F(MainWindowTest, ExportAndImportSbmlThroughTheFileCommands) {
  MainWindow window(app_, sink_);
  AddSteps(window.document(), {{"v1", "S -> P"}, {"v2", "P -> Q"}});
  const QString xml = QString::fromStdString((folder_ / "model.xml").string());
  ASSERT_TRUE(window.ExportSbml(xml));

  const QString refused = QString::fromStdString((folder_ / "refused.xml").string());
  {
    std::ofstream out(refused.toStdString());
    out << "<sbml xmlns=\"http://www.sbml.org/sbml/level3/version1/core\" level=\"3\" "
           "version=\"1\"><model><listOfInitialAssignments><initialAssignment symbol=\"E1\">"
           "<math xmlns=\"http://www.w3.org/1998/Math/MathML\"><cn>1</cn></math>"
           "</initialAssignment></listOfInitialAssignments></model></sbml>";
  }
  window.document().model.title = "kept";
  EXPECT_FALSE(window.ImportSbml(refused));
  EXPECT_EQ(window.document().model.title, "kept");
  bool said = false;
  for (const std::string& text : sink_.Texts()) {
    said = said || (text.starts_with(kSbmlNotImported) && text.find("E1") != std::string::npos);
  }
  EXPECT_TRUE(said);

  ASSERT_TRUE(window.ImportSbml(xml));
  EXPECT_EQ(window.document().model.nSteps(), 2);
  EXPECT_TRUE(window.document().pathName.empty());
}

}  // namespace
}  // namespace vireon
