// Scenes of the run side: every page during and after a run of an example
// model, the Results page with a time course and with a scan, and the
// Output Data dialog in its three modes.

#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <QThread>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "app/app_startup.h"
#include "app/interactive_page.h"
#include "app/main_window.h"
#include "app/output_data_dialog.h"
#include "app/qt_message_sink.h"
#include "app/results_page.h"
#include "app/scan_page.h"
#include "document/document.h"
#include "scan/item_trees.h"
#include "scenes.h"

namespace vireon::screenshots {
namespace {

constexpr int kMaxEventRounds = 600000;  // a safety limit, not a timing

bool ProcessEventsUntil(const std::function<bool()>& done) {
  for (int round = 0; round < kMaxEventRounds; ++round) {
    QApplication::processEvents();
    if (done()) return true;
    QThread::usleep(100);
  }
  return false;
}

// The program as a user starts it, with its settings in the scratch folder
// and gnuplot named so that the Plot page is there; the example model is
// copied there first, so that the run's files do not land beside it.
struct Program {
  explicit Program(const SceneContext& context, const char* example = "michaelis_menten.vrn") {
    const std::filesystem::path folder = context.work / "program";
    std::filesystem::create_directories(folder);
    StartApplication(app, sink, folder / "vireon.ini", folder / "vireon.kdb");
    app.helpers.gnuplot = "gnuplot";
    window = std::make_unique<MainWindow>(app, sink);
    sink.SetParent(window.get());
    window->resize(1020, 700);
    window->show();
    const std::filesystem::path model = folder / example;
    std::filesystem::copy_file(context.examples / example, model,
                               std::filesystem::copy_options::overwrite_existing);
    loaded = window->OpenFile(QString::fromStdString(model.string()));
  }

  bool WaitUntilIdle() {
    const bool idle = ProcessEventsUntil([this] { return !window->controller().IsBusy(); });
    window->controller().Wait();
    QApplication::processEvents();
    return idle;
  }

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
  bool loaded = false;
};

ScreenshotScene runPages("run-pages", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  Document& document = program.window->document();
  // Slow enough to be seen while it runs.
  document.settings.sleepTime = 40;
  if (!program.window->Run()) return false;
  ProcessEventsUntil([&] { return document.engine.time > 6.0 || !program.window->controller().IsBusy(); });
  bool saved = program.SaveEveryPage(context, "running");
  program.window->sheet()->setCurrentWidget(program.window->interactivePage());
  program.window->controller().Pause();
  ProcessEventsUntil([&] { return program.window->statusText() == kStatusPaused; });
  saved = Save(context, *program.window, "page-time-course-paused") && saved;
  program.window->controller().Resume();
  if (!program.WaitUntilIdle()) return false;
  saved = program.SaveEveryPage(context, "after-run") && saved;
  program.window->sheet()->setCurrentWidget(program.window->resultsPage());
  saved = Save(context, *program.window, "results-time-course") && saved;
  return saved;
});

ScreenshotScene resultsScan("results-scan", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  Document& document = program.window->document();
  document.settings.sleepTime = 0;
  // Scan the first kinetic constant of the supply step over a grid, and
  // write it into the steady-state file so that it can be the x axis.
  OutputItem quantity;
  for (const OutputDataNode& node : BuildScanItemTree(document.model)) {
    if (node.text != "kinetic constants") continue;
    for (const OutputItem& entry : node.entries) {
      if (entry.i == "supply") {
        quantity = entry;
        break;
      }
    }
  }
  if (quantity.title.empty()) return false;
  OutputItem column = quantity;
  document.selections.steadyState.insert(document.selections.steadyState.begin(), column);
  ScanPage* page = program.window->scanPage();
  page->Refresh();
  ScanPageEditor& editor = page->editor();
  editor.Select(editor.Add(quantity));
  editor.SetMin(0.1);
  editor.SetMax(3.0);
  editor.SetDensity(40);
  editor.ToggleEnabled();
  page->Refresh();
  page->itemList()->setCurrentRow(0);
  program.window->sheet()->setCurrentWidget(page);
  if (!program.window->Run()) return false;
  ProcessEventsUntil([&] {
    return document.engine.iteration > 25 || !program.window->controller().IsBusy();
  });
  bool saved = Save(context, *program.window, "page-scan-scanning");
  if (!program.WaitUntilIdle()) return false;
  saved = Save(context, *program.window, "page-scan-after-scan") && saved;
  program.window->sheet()->setCurrentWidget(program.window->resultsPage());
  saved = Save(context, *program.window, "results-scan") && saved;
  return saved;
});

ScreenshotScene outputData("output-data", [](const SceneContext& context) {
  Program program(context);
  if (!program.loaded) return false;
  Document& document = program.window->document();
  struct Mode {
    OutputDataMode mode;
    std::vector<OutputItem>* selection;
    const char* name;
    const char* branch;
  };
  const Mode modes[] = {
      {OutputDataMode::kTimeCourse, &document.selections.timeCourse, "output-data-time-course",
       "transient concentrations"},
      {OutputDataMode::kSteadyState, &document.selections.steadyState,
       "output-data-steady-state", "flux-control coeffs."},
      {OutputDataMode::kInteractive, &document.selections.interactive, "output-data-window",
       "transient concentrations"},
  };
  bool saved = true;
  for (const Mode& m : modes) {
    OutputDataDialog dialog(m.mode, document, *m.selection, program.sink, program.window.get());
    dialog.show();
    auto* tree = dialog.findChild<QTreeWidget*>();
    if (tree != nullptr) {
      tree->expandAll();
      const auto found = tree->findItems(m.branch, Qt::MatchExactly | Qt::MatchRecursive);
      if (!found.isEmpty()) tree->setCurrentItem(found.front());
    }
    saved = Save(context, dialog, m.name) && saved;
    dialog.reject();
  }
  return saved;
});

}  // namespace
}  // namespace vireon::screenshots
