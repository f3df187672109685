// Scenes of the run side: every page during and after a run of an example
// model, the Time course page paused with an edited value, a scan in
// progress and after it, the Results page with a time course and with a
// scan, the Output Data dialog in its three modes, and the errors of a run. The scenes work the
// program through its pages as a user would.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/app_startup.h"
#include "app/error_log_dialog.h"
#include "app/interactive_page.h"
#include "app/main_window.h"
#include "app/output_data_dialog.h"
#include "app/plot_page.h"
#include "app/qt_message_sink.h"
#include "app/results_page.h"
#include "app/scan_page.h"
#include "app/tasks_page.h"
#include "document/document.h"
#include "model/messages.h"
#include "scenes.h"

namespace vireon::screenshots {
namespace {

// The size of the main window in the pictures.
constexpr int kWindowWidth = 1020;
constexpr int kWindowHeight = 700;
// The pace of the shown runs, in milliseconds per time-course point: slow
// enough to catch them on the way.
constexpr int kVisiblePace = 40;
constexpr int kScanPace = 4;
// Where the shown time course is caught, in model time.
constexpr double kCaughtAtTime = 6.0;
// The number of points of the shown scan.
constexpr int kScanDensity = 61;

// The program as a user starts it, with its settings in the scratch folder
// and gnuplot named so that the Plot page is there; the example model is
// copied there first, so that the run's files do not land beside it. The
// greeting of a first start is not part of these scenes; any other start-up
// message is printed.
struct Program {
  explicit Program(const SceneContext& context, const char* example = "michaelis_menten.vrn") {
    const std::filesystem::path folder = context.work / "program";
    std::filesystem::create_directories(folder);
    RecordingSink startup;
    started = StartApplication(app, startup, folder / "vireon.ini", folder / "vireon.kdb");
    for (const std::string& text : startup.Texts()) {
      if (text != messages::kFirstRun) std::fprintf(stderr, "start-up: %s\n", text.c_str());
    }
    app.helpers.gnuplot = "gnuplot";
    window = std::make_unique<MainWindow>(app, sink);
    sink.SetParent(window.get());
    window->resize(kWindowWidth, kWindowHeight);
    window->show();
    const std::filesystem::path model = folder / example;
    std::filesystem::copy_file(context.examples / example, model,
                               std::filesystem::copy_options::overwrite_existing);
    loaded = started && window->OpenFile(QString::fromStdString(model.string()));
    if (!loaded) std::fprintf(stderr, "%s could not be opened\n", example);
  }

  // Waits for the end of the run and its notifications; a run that does
  // not end in time is stopped.
  bool WaitUntilIdle() {
    const bool idle = ProcessEventsUntil([this] {
      return !window->controller().IsBusy() && window->statusText() == kStatusIdle;
    });
    if (!idle) {
      window->StopRun();
      ProcessEventsUntil([this] { return !window->controller().IsBusy(); });
      return false;
    }
    window->controller().Wait();
    QApplication::processEvents();
    return true;
  }

  void Show(QWidget* page) { window->sheet()->setCurrentWidget(page); }

  // Every page of the sheet, in order, named by the page and a suffix.
  bool SaveEveryPage(const SceneContext& context, const QString& suffix) {
    bool saved = true;
    QTabWidget* sheet = window->sheet();
    for (int k = 0; k < sheet->count(); ++k) {
      sheet->setCurrentIndex(k);
      QString page = sheet->tabText(k).toLower().replace(' ', '-');
      saved = Save(context, *window, "page-" + page + "-" + suffix) && saved;
    }
    return saved;
  }

  AppStartup app;
  QtMessageSink sink;
  std::unique_ptr<MainWindow> window;
  bool started = false;
  bool loaded = false;
};

// Types a value into a field and leaves it, as the Tab key would.
void Type(QLineEdit& field, const QString& text) {
  field.setFocus();
  field.selectAll();
  field.insert(text);
  emit field.editingFinished();
  QApplication::processEvents();
}

// A time course started from the Time course page with the pace slider
// moved towards "Slower": every page while it runs, the Time course page
// paused with a concentration typed in, and every page after it.
ScreenshotScene runPages("run-pages", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  InteractivePage& timeCourse = *window.interactivePage();
  program.Show(&timeCourse);
  timeCourse.paceSlider()->setValue(kVisiblePace);
  timeCourse.runButton()->click();
  bool done = ProcessEventsUntil([&] {
    return window.document().engine.time > kCaughtAtTime || !window.controller().IsBusy();
  });
  done = done && window.controller().IsBusy();
  done = program.SaveEveryPage(context, "running") && done;

  program.Show(&timeCourse);
  timeCourse.pauseButton()->click();
  done = ProcessEventsUntil([&] { return window.statusText() == kStatusPaused; }) && done;
  Type(*timeCourse.valueField(0), "2");
  done = Save(context, window, "page-time-course-paused") && done;
  timeCourse.pauseButton()->click();
  done = program.WaitUntilIdle() && done;

  done = program.SaveEveryPage(context, "after-run") && done;
  program.Show(window.resultsPage());
  return Save(context, window, "results-time-course") && done;
});

// The example with doses of substrate: a global quantity holds the next
// dose's time, and each dose puts it 8 s on. The Time course page after
// the run marks every dose on its charts, and so does the Results page.
ScreenshotScene runEvents("run-events", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  Model& model = window.document().model;
  model.globalQuantities = {{"next", 5.0}};
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, next)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "S", {}}, "S + 2"},
                      {{RuleTargetKind::kGlobalQuantity, "next", {}}, "next + 8"}};
  model.events = {dose};
  InteractivePage& timeCourse = *window.interactivePage();
  program.Show(&timeCourse);
  timeCourse.paceSlider()->setValue(kScanPace);
  timeCourse.runButton()->click();
  bool done = program.WaitUntilIdle();
  done = Save(context, window, "page-time-course-events") && done;
  // The Results page marks the same doses on its chart of the time course,
  // with the flux on its own axis; then with every point marked.
  ResultsPage& results = *window.resultsPage();
  program.Show(&results);
  done = !results.eventLines().isEmpty() && done;
  done = Save(context, window, "results-time-course-events") && done;
  results.pointsBox()->click();
  return Save(context, window, "results-time-course-points") && done;
});

// The example's scan of the kinase's activity, made finer on the Scan page:
// the Scan page and the progress bar while it runs, then the Scan page and
// the steady states against the scanned activity on the Results page.
ScreenshotScene resultsScan("results-scan", [](const SceneContext& context) {
  Program program(context, "phosphorylation_cycle.vrn");
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  ScanPage& scan = *window.scanPage();
  program.Show(&scan);
  scan.itemList()->setCurrentRow(0);
  scan.densityField()->setValue(kScanDensity);
  // Started from the Time course page with its slider a little slower, and
  // watched on the Scan page.
  InteractivePage& timeCourse = *window.interactivePage();
  program.Show(&timeCourse);
  timeCourse.paceSlider()->setValue(kScanPace);
  timeCourse.runButton()->click();
  program.Show(&scan);
  // The counts move every two seconds: wait for the second update.
  bool done = ProcessEventsUntil([&] {
    return window.progressBar()->value() > 0 || !window.controller().IsBusy();
  });
  done = done && window.controller().IsBusy();
  done = Save(context, window, "page-scan-scanning") && done;
  program.Show(window.resultsPage());
  done = Save(context, window, "page-results-scanning") && done;

  // The user moves the Time course page's slider to "Faster" and leaves it.
  program.Show(&timeCourse);
  timeCourse.paceSlider()->setValue(0);
  program.Show(&scan);
  done = program.WaitUntilIdle() && done;
  done = Save(context, window, "page-scan-after-scan") && done;
  program.Show(window.resultsPage());
  return Save(context, window, "results-scan") && done;
});

// Clicks the page's radio button of that text.
bool ClickRadio(QWidget& page, const QString& text) {
  for (QRadioButton* button : page.findChildren<QRadioButton*>()) {
    if (button->text() != text) continue;
    button->click();
    return true;
  }
  std::fprintf(stderr, "no button %s\n", text.toUtf8().constData());
  return false;
}

// A run without a scan: its steady state as a table on the Results page,
// and its time course on a logarithmic y axis.
ScreenshotScene resultsTable("results-table", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  bool done = window.Run();
  done = program.WaitUntilIdle() && done;
  ResultsPage& results = *window.resultsPage();
  program.Show(&results);
  done = ClickRadio(results, "Steady state") && done;
  done = Save(context, window, "results-steady-state-table") && done;
  done = ClickRadio(results, "Time course") && done;
  results.logYBox()->click();
  return Save(context, window, "results-time-course-log") && done;
});

// Plot! with the installed gnuplot: a gnuplot without a window terminal
// (gnuplot-nox) draws a picture that the program shows in a window.
ScreenshotScene plotPicture("plot-picture", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  bool done = window.Run();
  done = program.WaitUntilIdle() && done;
  PlotPage& plot = *window.plotPage();
  program.Show(&plot);
  plot.xList()->item(0)->setSelected(true);
  for (int row = 1; row < plot.yList()->count(); ++row) plot.yList()->item(row)->setSelected(true);
  bool ended = false;
  QObject::connect(&plot, &PlotPage::plotEnded, [&ended](bool) { ended = true; });
  done = plot.PlotNow() && done;
  done = ProcessEventsUntil([&ended] { return ended; }) && done;
  done = Save(context, window, "page-plot-plotted") && done;
  if (plot.pictureWindow() != nullptr) {
    done = Save(context, *plot.pictureWindow(), "window-plot-picture") && done;
  }
  return done;
});

// The example's scan, whose model has items for the Time course page: the
// Scan page says that the window paces it and offers to run it unpaced.
ScreenshotScene scanPaced("scan-paced", [](const SceneContext& context) {
  Program program(context, "phosphorylation_cycle.vrn");
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  program.Show(window.scanPage());
  const bool paced = window.scanPage()->pacingLabel()->isVisible();
  if (!paced) std::fprintf(stderr, "the Scan page does not say that the window paces the scan\n");
  return Save(context, window, "page-scan-paced") && paced;
});

// The Output Data dialog of each selection, opened from its button with the
// branch of the tree a user would look in chosen.
ScreenshotScene outputData("output-data", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  TasksPage& tasks = *window.tasksPage();
  struct Mode {
    QPushButton* button;
    const char* name;
    const char* branch;
  };
  const auto edit = tasks.findChildren<QPushButton*>();
  QPushButton* timeCourseEdit = nullptr;
  QPushButton* steadyStateEdit = nullptr;
  for (QPushButton* button : edit) {
    if (button->text() == "Ed&it...") timeCourseEdit = button;
    if (button->text() == "E&dit...") steadyStateEdit = button;
  }
  QPushButton* selectData = window.interactivePage()->selectDataButton();
  const Mode modes[] = {
      {timeCourseEdit, "output-data-time-course", "transient concentrations"},
      {steadyStateEdit, "output-data-steady-state", "flux-control coeffs."},
      {selectData, "output-data-window", "transient concentrations"},
  };
  bool done = true;
  for (const Mode& mode : modes) {
    if (mode.button == nullptr) return false;
    bool shown = false;
    DriveNextDialog([&](QWidget& dialog) {
      shown = true;
      if (auto* tree = dialog.findChild<QTreeWidget*>()) {
        const auto found = tree->findItems(mode.branch, Qt::MatchExactly | Qt::MatchRecursive);
        if (!found.isEmpty()) tree->setCurrentItem(found.front());
      }
      done = Save(context, dialog, mode.name) && done;
      CloseDialog(dialog);
    });
    program.Show(mode.button == selectData ? static_cast<QWidget*>(window.interactivePage())
                                           : static_cast<QWidget*>(&tasks));
    mode.button->click();
    done = shown && done;
  }
  return done;
});

// A run whose time-course data file cannot be written (a folder of that
// name is in the way), started from the Tasks page: the dialog that shows
// its errors when it ends.
ScreenshotScene runErrors("run-errors", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  const std::filesystem::path blocked = std::filesystem::path(window.document().folder) /
                                        window.document().settings.dynamicsData.file;
  std::filesystem::create_directories(blocked);
  program.Show(window.tasksPage());
  window.tasksPage()->runButton()->click();
  bool done = program.WaitUntilIdle();
  ErrorLogDialog* dialog = window.errorLogDialog();
  if (dialog == nullptr) {
    std::fprintf(stderr, "the run left no error dialog\n");
    return false;
  }
  done = Save(context, *dialog, "dialog-errors-in-this-simulation") && done;
  dialog->accept();
  return done;
});

}  // namespace
}  // namespace vireon::screenshots
