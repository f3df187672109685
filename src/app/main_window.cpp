#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "app/app_startup.h"
#include "app/interactive_page.h"
#include "app/model_edits.h"
#include "app/model_page.h"
#include "app/output_data_dialog.h"
#include "app/qt_message_sink.h"
#include "app/plot_page.h"
#include "app/results_page.h"
#include "app/scan_page.h"
#include "app/tasks_page.h"
#include "document/model_file.h"
#include "sbml/sbml_document.h"
#include "document/run_end_actions.h"
#include "model/messages.h"
#include "output/report.h"
#include "scan/scan.h"

namespace vireon {
namespace {

constexpr const char* kModelFileFilter = "Vireon models (*.vrn);;All files (*)";
constexpr const char* kSbmlFileFilter = "SBML models (*.xml *.sbml);;All files (*)";

}  // namespace

MainWindow::MainWindow(AppStartup& app, MessageSink& sink, QWidget* parent)
    : QMainWindow(parent),
      app_(app),
      sink_(sink),
      controller_(document_, app.random) {
  bridge_.Attach(controller_);
  NewDocument(document_, app_.defaults);
  controller_.SetObserver(&bridge_);
  connect(&bridge_, &RunBridge::runStarting, this, &MainWindow::OnRunStarting);
  connect(&bridge_, &RunBridge::runFinished, this, &MainWindow::OnRunFinished);
  connect(&bridge_, &RunBridge::runStopped, this, &MainWindow::OnRunStopped);
  connect(&bridge_, &RunBridge::scanProgress, this, &MainWindow::OnScanProgress);
  connect(&bridge_, &RunBridge::paused, this, [this] { SetStatus(kStatusPaused); });
  connect(&bridge_, &RunBridge::resumed, this, [this] { SetStatus(kStatusRunning); });

  BuildMenus();
  BuildSheet();
  status_ = new QLabel(kStatusIdle);
  progress_ = new QProgressBar;
  progress_->setRange(0, kProgressRange);
  progress_->setVisible(false);
  statusBar()->addWidget(status_);
  statusBar()->addPermanentWidget(progress_);
  connect(&bridge_, &RunBridge::pointReady, interactivePage_, &InteractivePage::ShowPoint);
  UpdateTitle();
  resize(860, 640);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("&New", QKeySequence::New, this, &MainWindow::NewDocumentCommand);
  file->addAction("&Open...", QKeySequence::Open, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "Open", {}, kModelFileFilter);
    if (!path.isEmpty()) OpenFile(path);
  });
  file->addAction("&Save", QKeySequence::Save, this, [this] { Save(); });
  file->addAction("Save &As...", this, [this] { SaveAs(); });
  file->addSeparator();
  file->addAction("&Import SBML...", this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "Import SBML", {}, kSbmlFileFilter);
    if (!path.isEmpty()) ImportSbml(path);
  });
  file->addAction("E&xport SBML...", this, [this] {
    const QString path =
        QFileDialog::getSaveFileName(this, "Export SBML", {}, kSbmlFileFilter);
    if (!path.isEmpty()) ExportSbml(path);
  });
  file->addSeparator();
  file->addAction("E&xit", this, &QWidget::close);

  QMenu* simulation = menuBar()->addMenu("&Simulation");
  runAction_ = simulation->addAction("&Run", this, [this] { Run(); });
  stopAction_ = simulation->addAction("S&top", this, &MainWindow::StopRun);
  stopAction_->setStatusTip("Stop the simulation engine");
  stopAction_->setEnabled(false);

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&About Vireon...", this, &MainWindow::ShowAbout);
}

void MainWindow::BuildSheet() {
  sheet_ = new QTabWidget;
  modelPage_ = new ModelPage(document_, app_, sink_);
  tasksPage_ = new TasksPage(document_, sink_);
  scanPage_ = new ScanPage(document_, sink_);
  interactivePage_ = new InteractivePage(document_, controller_);
  resultsPage_ = new ResultsPage(document_);
  // Owned by the window while it is not in the sheet.
  plotPage_ = new PlotPage(document_, sink_, this);
  plotPage_->hide();
  sheet_->addTab(modelPage_, "Model Definition");
  sheet_->addTab(tasksPage_, "Tasks");
  sheet_->addTab(scanPage_, "Scan");
  sheet_->addTab(interactivePage_, "Time course");
  sheet_->addTab(resultsPage_, "Results");
  UpdatePlotPageVisibility();
  setCentralWidget(sheet_);
  currentPage_ = sheet_->currentWidget();

  connect(sheet_, &QTabWidget::currentChanged, this, &MainWindow::OnPageChanged);
  connect(modelPage_, &ModelPage::modelChanged, this, &MainWindow::RefreshPages);
  connect(tasksPage_, &TasksPage::documentChanged, this, &MainWindow::OnPageEdited);
  connect(tasksPage_, &TasksPage::editOutputRequested, this, &MainWindow::EditOutput);
  connect(tasksPage_, &TasksPage::runRequested, this, [this] { Run(); });
  connect(tasksPage_, &TasksPage::stopRequested, this, &MainWindow::StopRun);
  connect(scanPage_, &ScanPage::documentChanged, this, &MainWindow::OnPageEdited);
  connect(plotPage_, &PlotPage::documentChanged, this, &MainWindow::OnPageEdited);
  connect(interactivePage_, &InteractivePage::runRequested, this, [this] { Run(); });
  connect(interactivePage_, &InteractivePage::selectDataRequested, this,
          &MainWindow::SelectInteractiveData);
}

void MainWindow::UpdatePlotPageVisibility() {
  plotPage_->SetGnuplotPath(app_.helpers.gnuplot);
  const int at = sheet_->indexOf(plotPage_);
  const bool wanted = !app_.helpers.gnuplot.empty();
  if (wanted && at < 0) {
    sheet_->addTab(plotPage_, "Plot");
  } else if (!wanted && at >= 0) {
    sheet_->removeTab(at);
    plotPage_->hide();
  }
}

void MainWindow::OnPageChanged(int index) {
  QWidget* next = sheet_->widget(index);
  if (currentPage_ == interactivePage_) interactivePage_->Leave();
  if (currentPage_ == plotPage_) plotPage_->Deactivate();
  currentPage_ = next;
  if (next == plotPage_) plotPage_->Activate();
}

void MainWindow::OnPageEdited() {
  setWindowModified(true);
  interactivePage_->Prepare();
}

void MainWindow::EditOutput(DataTask task) {
  const auto mode =
      task == DataTask::kTimeCourse ? OutputDataMode::kTimeCourse : OutputDataMode::kSteadyState;
  auto& selection = task == DataTask::kTimeCourse ? document_.selections.timeCourse
                                                  : document_.selections.steadyState;
  OutputDataDialog dialog(mode, document_, selection, sink_, this);
  if (dialog.exec() == QDialog::Accepted && dialog.modified()) {
    tasksPage_->Refresh();
    OnPageEdited();
  }
}

void MainWindow::RefreshPages() {
  modelPage_->Refresh();
  tasksPage_->Refresh();
  scanPage_->Refresh();
  interactivePage_->Prepare();
  resultsPage_->Reload();
  if (currentPage_ == plotPage_) plotPage_->Activate();
  UpdateTitle();
}

void MainWindow::UpdateTitle() {
  const QString name = document_.pathName.empty()
                           ? QString("Untitled")
                           : QString::fromStdString(
                                 std::filesystem::path(document_.pathName).filename().string());
  setWindowTitle(name + " - Vireon");
}

QString MainWindow::statusText() const {
  return status_->text();
}

void MainWindow::SetStatus(const char* text) {
  status_->setText(text);
}

void MainWindow::SetEditingEnabled(bool enabled) {
  modelPage_->setEnabled(enabled);
  tasksPage_->SetRunning(!enabled);
  scanPage_->SetRunning(!enabled);
  interactivePage_->SetRunning(!enabled);
  runAction_->setEnabled(enabled);
  stopAction_->setEnabled(!enabled);
}

void MainWindow::NewDocumentCommand() {
  if (controller_.IsBusy()) return;
  NewDocument(document_, app_.defaults);
  RefreshPages();
}

bool MainWindow::OpenFile(const QString& path) {
  if (controller_.IsBusy()) return false;
  const std::string fullPath = std::filesystem::absolute(path.toStdString()).string();
  const bool loaded =
      ReadModelFile(document_, fullPath, app_.catalogue, app_.defaults, sink_);
  RefreshPages();
  return loaded;
}

namespace {

// The problems of an SBML import or export, one per line after `heading`.
std::string ProblemsText(const char* heading, const std::vector<std::string>& problems) {
  std::string text = heading;
  for (const std::string& problem : problems) text += "\n" + problem;
  return text;
}

}  // namespace

bool MainWindow::ImportSbml(const QString& path) {
  if (controller_.IsBusy()) return false;
  const std::string fullPath = std::filesystem::absolute(path.toStdString()).string();
  const SbmlImportResult result =
      ImportSbmlDocument(fullPath, document_, app_.catalogue, app_.defaults);
  if (!result.imported) {
    sink_.Error(kImportSbmlTitle, ProblemsText(kSbmlNotImported, result.problems));
    return false;
  }
  RefreshPages();
  return true;
}

bool MainWindow::ExportSbml(const QString& path) {
  const std::string fullPath = std::filesystem::absolute(path.toStdString()).string();
  const SbmlExportResult result = ExportSbmlFile(document_.model, fullPath);
  if (!result.exported) {
    sink_.Error(kExportSbmlTitle, ProblemsText(kSbmlNotExported, result.problems));
  }
  return result.exported;
}

bool MainWindow::Save() {
  if (document_.pathName.empty()) return SaveAs();
  return SaveTo(QString::fromStdString(document_.pathName));
}

bool MainWindow::SaveAs() {
  const QString path = QFileDialog::getSaveFileName(this, "Save As", {}, kModelFileFilter);
  return !path.isEmpty() && SaveTo(path);
}

bool MainWindow::SaveTo(const QString& path) {
  const std::string fullPath = std::filesystem::absolute(path.toStdString()).string();
  const bool saved = WriteModelFile(document_, fullPath, app_.catalogue, sink_);
  tasksPage_->Refresh();
  UpdateTitle();
  return saved;
}

bool MainWindow::Run() {
  if (controller_.IsBusy()) return false;
  // A field still being typed in hands its text to its editor first.
  if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
  if (currentPage_ == plotPage_) plotPage_->Deactivate();
  return controller_.StartRun(sink_, [this] { return Save(); });
}

void MainWindow::StopRun() {
  if (controller_.IsBusy()) controller_.Stop();
}

void MainWindow::OnRunStarting() {
  SetEditingEnabled(false);
  SetStatus(kStatusRunning);
  interactivePage_->Prepare();
  resultsPage_->SetRunning(true);
  if (document_.scan.enabled != 0) {
    progress_->setValue(0);
    progress_->setVisible(true);
    scanPage_->ShowRunStart();
  }
}

void MainWindow::OnRunFinished() {
  SetEditingEnabled(true);
  SetStatus(kStatusIdle);
  ShowRunEnd(true);
  tasksPage_->Refresh();
  DoAfterRun();
}

void MainWindow::ShowRunEnd(bool finished) {
  progress_->setVisible(false);
  // The page's counts are updated only every few seconds during a scan; at
  // the end they say how far it went.
  if (document_.scan.enabled != 0) {
    scanPage_->ShowProgress(document_.engine.iteration,
                            finished ? QString::fromStdString(FormatRemainingTime(0.0)) : QString());
  }
  // A stopped run's files hold what was computed up to the stop.
  resultsPage_->SetRunning(false);
  resultsPage_->Reload();
}

void MainWindow::DoAfterRun() {
  const FindProgram find = [](std::string_view name) {
    return QStandardPaths::findExecutable(
               QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))
        .toStdString();
  };
  const RunEndActions actions =
      ActionsAfterRun(controller_.outcome(), document_, app_.preferences, app_.helpers, find);
  const auto start = [](const ProgramCall& call) {
    QStringList arguments;
    for (const std::string& argument : call.arguments) {
      arguments << QString::fromStdString(argument);
    }
    // Started on its own, without a shell; the program does not wait for it.
    QProcess::startDetached(QString::fromStdString(call.program), arguments);
  };
  if (!actions.sound.empty()) start(actions.sound);
  if (!actions.errorText.empty()) {
    lastErrorLog_ = QString::fromStdString(actions.errorText);
    // Not modal: the window goes on while the user reads the log.
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(kErrorLogTitle);
    auto* text = new QPlainTextEdit(lastErrorLog_);
    text->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    dialog->resize(480, 300);
    dialog->show();
  }
  if (!actions.report.empty()) start(actions.report);
}

void MainWindow::OnRunStopped() {
  SetEditingEnabled(true);
  SetStatus(kStatusIdle);
  ShowRunEnd(false);
}

void MainWindow::OnScanProgress(int iteration) {
  if (document_.scan.enabled == 0) return;
  const int total = document_.engine.totalIterations;
  if (total > 0) {
    progress_->setValue(static_cast<int>(static_cast<long long>(iteration) * kProgressRange / total));
  }
  scanPage_->ShowProgress(iteration, QString::fromStdString(controller_.remainingTimeText()));
}

void MainWindow::SelectInteractiveData() {
  OutputDataDialog dialog(OutputDataMode::kInteractive, document_, document_.selections.interactive,
                          sink_, this);
  if (dialog.exec() == QDialog::Accepted) interactivePage_->Prepare();
}

void MainWindow::ShowAbout() {
  // The version line is the one the report's banner carries.
  QMessageBox::about(this, "About Vireon",
                     QString::fromStdString(ReportVersionLine(messages::kVersion)) +
                         "\nA simulator of biochemical reaction networks.");
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (controller_.IsBusy()) {
    sink_.Information(messages::kCannotCloseWhileRunning);
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace vireon
