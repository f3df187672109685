// Scenes of the Fit page: the puromycin example as it opens, its fit with
// the progress, the fitted values and the data against the fitted model,
// and a data file with mistakes in it. The scenes work the page as a user
// would.

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/app_startup.h"
#include "app/fit_page.h"
#include "app/main_window.h"
#include "app/qt_message_sink.h"
#include "model/messages.h"
#include "scenes.h"

namespace vireon::screenshots {
namespace {

// The size of the main window in the pictures, as in the other run scenes.
constexpr int kWindowWidth = 1020;
constexpr int kWindowHeight = 700;

// The program with the puromycin example and its data copied into the
// scratch folder, on its Fit page.
struct FitProgram {
  explicit FitProgram(const SceneContext& context) {
    const std::filesystem::path folder = context.work / "fit";
    std::filesystem::create_directories(folder);
    RecordingSink startup;
    started = StartApplication(app, startup, folder / "vireon.ini", folder / "vireon.kdb");
    for (const std::string& text : startup.Texts()) {
      if (text != messages::kFirstRun) std::fprintf(stderr, "start-up: %s\n", text.c_str());
    }
    window = std::make_unique<MainWindow>(app, sink);
    sink.SetParent(window.get());
    window->resize(kWindowWidth, kWindowHeight);
    window->show();
    for (const char* name : {"puromycin.vrn", "puromycin.csv"}) {
      std::filesystem::copy_file(context.examples / name, folder / name,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    loaded = started &&
             window->OpenFile(QString::fromStdString((folder / "puromycin.vrn").string()));
    if (!loaded) std::fprintf(stderr, "puromycin.vrn could not be opened\n");
    window->sheet()->setCurrentWidget(window->fitPage());
    QApplication::processEvents();
  }

  AppStartup app;
  QtMessageSink sink;
  std::unique_ptr<MainWindow> window;
  bool started = false;
  bool loaded = false;
};

// The example's fit: the page as it opens, then after F5 the progress, the
// values and the data with the fitted curve and the residuals.
ScreenshotScene fitPage("fit-page", [](const SceneContext& context) {
  FitProgram program(context);
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  FitPage& page = *window.fitPage();
  bool done = Save(context, window, "page-fit-setup");
  window.runAction()->trigger();
  done = ProcessEventsUntil([&] { return !page.running(); }) && done;
  page.resultTabs()->setCurrentIndex(0);
  done = Save(context, window, "page-fit-progress") && done;
  page.resultTabs()->setCurrentIndex(1);
  done = Save(context, window, "page-fit-values") && done;
  page.resultTabs()->setCurrentIndex(2);
  return Save(context, window, "page-fit-charts") && done;
});

// A global fit over bounds, whose best objective falls start by start, and
// a data file with a column the model does not know and one that cannot
// be read at all.
ScreenshotScene fitMistakes("fit-mistakes", [](const SceneContext& context) {
  FitProgram program(context);
  if (!program.loaded) return false;
  MainWindow& window = *program.window;
  FitPage& page = *window.fitPage();
  QTableWidget& parameters = *page.parameterTable();
  parameters.item(0, 1)->setText("10");
  parameters.item(0, 2)->setText("1000");
  parameters.item(1, 1)->setText("0.001");
  parameters.item(1, 2)->setText("10");
  page.methodBox()->setCurrentIndex(1);
  emit page.methodBox()->activated(1);
  bool done = page.Run();
  done = ProcessEventsUntil([&] { return !page.running(); }) && done;
  page.resultTabs()->setCurrentIndex(0);
  done = Save(context, window, "page-fit-global") && done;

  const std::filesystem::path folder = context.work / "fit";
  std::ofstream(folder / "more.csv") << "[S]i,J(velocity),sd(J(velocity)),Inhibitor\n"
                                        "0.02,70,5,1\n0.06,101,5,1\n0.11,130,5,1\n";
  std::ofstream(folder / "broken.csv") << "[S]i,J(velocity)\n0.02,76\n0.06,ninety\n";
  done = page.AddExperimentFile(QString::fromStdString((folder / "more.csv").string())) && done;
  done = Save(context, window, "page-fit-unknown-column") && done;
  done = page.AddExperimentFile(QString::fromStdString((folder / "broken.csv").string())) && done;
  return Save(context, window, "page-fit-bad-file") && done;
});

}  // namespace
}  // namespace vireon::screenshots
