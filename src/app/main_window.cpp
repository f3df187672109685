#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>
#include <filesystem>

#include "app/about_dialog.h"
#include "app/add_on_modules_dialog.h"
#include "app/app_startup.h"
#include "app/default_values_dialog.h"
#include "app/fit_page.h"
#include "app/help_dialog.h"
#include "app/interactive_page.h"
#include "app/model_edits.h"
#include "app/model_page.h"
#include "app/output_data_dialog.h"
#include "app/plot_page.h"
#include "app/preferences_dialog.h"
#include "app/qt_message_sink.h"
#include "app/report_dialog.h"
#include "app/results_page.h"
#include "app/scan_page.h"
#include "app/tasks_page.h"
#include "document/model_file.h"
#include "sbml/sbml_document.h"
#include "document/run_end_actions.h"
#include "model/messages.h"
#include "scan/scan.h"
#include "settings/installed_files.h"
#include "settings/settings_store.h"

namespace vireon {
namespace {

// Messages of the Help menu, followed by the manual's path.
constexpr const char* kManualMissing = "The user manual could not be found:\n";
constexpr const char* kManualNotOpened = "The user manual could not be opened:\n";
// The widest a recent file's path is shown in the File menu, in pixels.
constexpr int kRecentFileWidth = 420;
constexpr const char* kSbmlFileFilter = "SBML models (*.xml *.sbml);;All files (*)";

std::string FullPath(const QString& path) {
  return std::filesystem::absolute(path.toStdString()).lexically_normal().string();
}

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
  notice_ = new QLabel;
  statusBar()->addWidget(status_);
  statusBar()->addWidget(notice_, 1);
  statusBar()->addPermanentWidget(progress_);
  connect(&bridge_, &RunBridge::pointReady, interactivePage_, &InteractivePage::ShowPoint);
  connect(&bridge_, &RunBridge::eventExecuted, interactivePage_, &InteractivePage::ShowEvent);
  history_.Reset(document_);
  UpdateTitle();
  resize(860, 640);
}

MainWindow::~MainWindow() {
  // The pages refer to the document: they go while it is still there (a
  // page whose field has the focus writes it into the document when it is
  // destroyed). The Plot page is the window's own while it is not shown.
  QWidget* sheet = takeCentralWidget();
  if (sheet_->indexOf(plotPage_) < 0) delete plotPage_;
  delete sheet;
  sheet_ = nullptr;
}

void MainWindow::BuildMenus() {
  fileMenu_ = menuBar()->addMenu("&File");
  fileMenu_->addAction("&New", QKeySequence::New, this, &MainWindow::NewDocumentCommand);
  fileMenu_->addAction("&Open...", QKeySequence::Open, this, [this] {
    if (controller_.IsBusy()) {
      RefuseDuringRun();
      return;
    }
    const QString start = QString::fromStdString(document_.folder);
    const QString path = QFileDialog::getOpenFileName(this, "Open", start, kModelFileFilter);
    if (!path.isEmpty()) OpenFile(path);
  });
  saveAction_ = fileMenu_->addAction("&Save", QKeySequence::Save, this, [this] { Save(); });
  saveAsAction_ = fileMenu_->addAction("Save &As...", this, [this] { SaveAs(); });
  fileMenu_->addSeparator();
  fileMenu_->addAction("&Import SBML...", this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "Import SBML", {}, kSbmlFileFilter);
    if (!path.isEmpty()) ImportSbml(path);
  });
  fileMenu_->addAction("E&xport SBML...", this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, "Export SBML", {}, kSbmlFileFilter);
    if (!path.isEmpty()) ExportSbml(path);
  });
  fileMenu_->addSeparator();
  runAction_ = fileMenu_->addAction("&Run", QKeySequence(Qt::Key_F5), this, [this] { Run(); });
  runAction_->setStatusTip("Run the tasks of the model (F5)");
  stopAction_ =
      fileMenu_->addAction("S&top", QKeySequence(Qt::Key_Escape), this, &MainWindow::StopRun);
  stopAction_->setStatusTip("Stop the simulation engine");
  stopAction_->setEnabled(false);
  fileMenu_->addAction("View Re&port", QKeySequence(Qt::CTRL | Qt::Key_R), this,
                       &MainWindow::ShowReport)
      ->setStatusTip("Show the report of the last run in a window of its own (Ctrl+R)");
  recentSeparator_ = fileMenu_->addSeparator();
  for (int i = 0; i < kRecentFileCount; ++i) {
    QAction* recent = fileMenu_->addAction(QString());
    connect(recent, &QAction::triggered, this, [this, recent] {
      if (controller_.IsBusy()) {
        RefuseDuringRun();
        return;
      }
      OpenFile(recent->data().toString());
    });
    recentActions_.append(recent);
  }
  fileMenu_->addSeparator();
  fileMenu_->addAction("E&xit", QKeySequence::Quit, this, &QWidget::close);
  UpdateRecentFiles();

  QMenu* editMenu = menuBar()->addMenu("&Edit");
  undoAction_ = editMenu->addAction("&Undo", QKeySequence::Undo, this, [this] { Undo(); });
  redoAction_ = editMenu->addAction("&Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this,
                                    [this] { Redo(); });
  UpdateUndoActions();

  QMenu* options = menuBar()->addMenu("&Options");
  options->addAction("&Default values...", this, &MainWindow::EditDefaultValues)
      ->setStatusTip("Set default values for simulation parameters");
  options->addAction("&Preferences...", this, &MainWindow::EditPreferences)
      ->setStatusTip("What happens when a simulation stops");
  options->addAction("Add-on modules...", this, &MainWindow::EditAddOnModules)
      ->setStatusTip("The gnuplot and text editor programs");

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&Contents", QKeySequence::HelpContents, this, &MainWindow::ShowContents);
  help->addAction("&Search...", QKeySequence(Qt::SHIFT | Qt::Key_F1), this,
                  &MainWindow::SearchHelp)
      ->setStatusTip("Look for words in the user manual");
  help->addSeparator();
  help->addAction("&About Vireon...", this, &MainWindow::ShowAbout);
}

void MainWindow::BuildSheet() {
  sheet_ = new QTabWidget;
  modelPage_ = new ModelPage(document_, app_, sink_);
  tasksPage_ = new TasksPage(document_, sink_);
  scanPage_ = new ScanPage(document_, sink_);
  interactivePage_ = new InteractivePage(document_, controller_);
  resultsPage_ = new ResultsPage(document_, sink_);
  fitPage_ = new FitPage(document_, ScanThreads(app_.preferences.scanThreads));
  // Owned by the window while it is not in the sheet.
  plotPage_ = new PlotPage(document_, sink_, this);
  plotPage_->hide();
  sheet_->addTab(modelPage_, "Model Definition");
  sheet_->addTab(tasksPage_, "Tasks");
  sheet_->addTab(scanPage_, "Scan");
  sheet_->addTab(interactivePage_, "Time course");
  sheet_->addTab(resultsPage_, "Results");
  sheet_->addTab(fitPage_, "Fit");
  UpdatePlotPageVisibility();
  setCentralWidget(sheet_);
  currentPage_ = sheet_->currentWidget();

  connect(sheet_, &QTabWidget::currentChanged, this, &MainWindow::OnPageChanged);
  connect(modelPage_, &ModelPage::modelChanged, this, [this](const QString& edit) {
    RecordEdit(edit);
    RefreshPages();
  });
  connect(modelPage_, &ModelPage::documentEdited, this, &MainWindow::UpdateTitle);
  connect(tasksPage_, &TasksPage::documentChanged, this, [this] {
    OnPageEdited();
    RecordEdit("Tasks");
  });
  connect(tasksPage_, &TasksPage::editOutputRequested, this, &MainWindow::EditOutput);
  connect(tasksPage_, &TasksPage::runRequested, this, [this] { Run(); });
  connect(tasksPage_, &TasksPage::stopRequested, this, &MainWindow::StopRun);
  connect(scanPage_, &ScanPage::documentChanged, this, [this] {
    OnPageEdited();
    RecordEdit("Scan");
  });
  connect(fitPage_, &FitPage::documentChanged, this, [this] {
    OnPageEdited();
    RecordEdit("Fit");
  });
  connect(fitPage_, &FitPage::modelChanged, this, [this](const QString& edit) {
    RecordEdit(edit);
    RefreshPages();
  });
  // Esc stops a fit as it stops a run of the tasks.
  connect(fitPage_, &FitPage::runningChanged, this,
          [this](bool running) { stopAction_->setEnabled(running || controller_.IsBusy()); });
  connect(plotPage_, &PlotPage::documentChanged, this, [this] {
    OnPageEdited();
    RecordEdit("Plot");
  });
  connect(interactivePage_, &InteractivePage::runRequested, this, [this] { Run(); });
  connect(interactivePage_, &InteractivePage::documentEdited, this, &MainWindow::UpdateTitle);
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
  if (currentPage_ == interactivePage_) {
    // The slider's position is stored as the page is left.
    interactivePage_->Leave();
    UpdateTitle();
  }
  if (currentPage_ == plotPage_) plotPage_->Deactivate();
  currentPage_ = next;
  if (next == plotPage_) plotPage_->Activate();
}

void MainWindow::OnPageEdited() {
  document_.modified = true;
  UpdateTitle();
  interactivePage_->Prepare();
}

void MainWindow::RecordEdit(const QString& name) {
  history_.Record(document_, name.toStdString());
  UpdateUndoActions();
}

void MainWindow::UpdateUndoActions() {
  // Nothing is undone while a run reads the document (Run is then off).
  const bool idle = runAction_ == nullptr || runAction_->isEnabled();
  undoAction_->setEnabled(idle && history_.CanUndo());
  redoAction_->setEnabled(idle && history_.CanRedo());
  undoAction_->setText(history_.CanUndo()
                           ? "&Undo " + QString::fromStdString(history_.UndoName()).replace("&", "&&")
                           : QString("&Undo"));
  redoAction_->setText(history_.CanRedo()
                           ? "&Redo " + QString::fromStdString(history_.RedoName()).replace("&", "&&")
                           : QString("&Redo"));
}

bool MainWindow::Undo() {
  if (controller_.IsBusy()) return false;
  CommitFocusedField();
  if (!history_.Undo(document_, app_.catalogue, app_.defaults.kineticConstant)) return false;
  RefreshPages();
  UpdateUndoActions();
  return true;
}

bool MainWindow::Redo() {
  if (controller_.IsBusy()) return false;
  CommitFocusedField();
  if (!history_.Redo(document_, app_.catalogue, app_.defaults.kineticConstant)) return false;
  RefreshPages();
  UpdateUndoActions();
  return true;
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
    RecordEdit(task == DataTask::kTimeCourse ? "Time-course Output" : "Steady-state Output");
  }
}

void MainWindow::RefreshPages() {
  modelPage_->Refresh();
  tasksPage_->Refresh();
  scanPage_->Refresh();
  fitPage_->Refresh();
  interactivePage_->Prepare();
  resultsPage_->Reload();
  if (currentPage_ == plotPage_) plotPage_->Activate();
  UpdateTitle();
}

void MainWindow::UpdateTitle() {
  setWindowTitle(ToQString(DocumentName(document_)) + "[*] - Vireon");
  setWindowModified(document_.modified);
}

void MainWindow::UpdateRecentFiles() {
  const std::vector<std::string>& paths = app_.recentFiles.paths();
  const QFontMetrics metrics(fileMenu_->font());
  for (int i = 0; i < recentActions_.size(); ++i) {
    QAction* action = recentActions_[i];
    const bool listed = i < static_cast<int>(paths.size());
    action->setVisible(listed);
    if (!listed) continue;
    const QString path = ToQString(paths[static_cast<std::size_t>(i)]);
    action->setText(QString("&%1 %2").arg(i + 1).arg(
        metrics.elidedText(path, Qt::ElideMiddle, kRecentFileWidth).replace("&", "&&")));
    action->setData(path);
    action->setStatusTip(path);
  }
  recentSeparator_->setVisible(!paths.empty());
}

void MainWindow::RememberFile(const std::string& path) {
  app_.recentFiles.Add(path);
  SettingsStore(app_.settingsPath).WriteRecentFiles(app_.recentFiles);
  UpdateRecentFiles();
}

QString MainWindow::statusText() const {
  return status_->text();
}

QString MainWindow::noticeText() const {
  return notice_->text();
}

void MainWindow::SetStatus(const char* text) {
  status_->setText(text);
}

void MainWindow::SetEditingEnabled(bool enabled) {
  modelPage_->setEnabled(enabled);
  tasksPage_->SetRunning(!enabled);
  scanPage_->SetRunning(!enabled);
  fitPage_->SetTaskRunning(!enabled);
  interactivePage_->SetRunning(!enabled);
  runAction_->setEnabled(enabled);
  stopAction_->setEnabled(!enabled || fitPage_->running());
  // Saving reads the whole document, which a run is writing.
  saveAction_->setEnabled(enabled);
  saveAsAction_->setEnabled(enabled);
  UpdateUndoActions();
}

bool MainWindow::RefuseDuringRun() {
  if (!controller_.IsBusy()) return true;
  sink_.Information(messages::kCannotCloseWhileRunning);
  return false;
}

bool MainWindow::MayLetDocumentGo() {
  CommitFocusedField();
  return SaveChangesFirst(document_, sink_, [this] { return Save(); });
}

void MainWindow::CommitFocusedField() {
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr || focus->window() != this) return;
  // Leaving the field is what makes a page take its value.
  focus->clearFocus();
  focus->setFocus(Qt::OtherFocusReason);
}

bool MainWindow::NewDocumentCommand() {
  if (!RefuseDuringRun() || !MayLetDocumentGo()) return false;
  NewDocument(document_, app_.defaults);
  history_.Reset(document_);
  UpdateUndoActions();
  RefreshPages();
  return true;
}

bool MainWindow::OpenFile(const QString& path) {
  if (!RefuseDuringRun() || !MayLetDocumentGo()) return false;
  const std::string fullPath = FullPath(path);
  // The file is read into a document of its own: one that cannot be read
  // leaves the open document as it was.
  Document loaded;
  if (!ReadModelFile(loaded, fullPath, app_.catalogue, app_.defaults, sink_)) {
    if (!std::filesystem::exists(fullPath)) {
      app_.recentFiles.Remove(fullPath);
      SettingsStore(app_.settingsPath).WriteRecentFiles(app_.recentFiles);
      UpdateRecentFiles();
    }
    return false;
  }
  document_ = std::move(loaded);
  history_.Reset(document_);
  UpdateUndoActions();
  RememberFile(fullPath);
  RefreshPages();
  return true;
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
  if (!RefuseDuringRun() || !MayLetDocumentGo()) return false;
  const std::string fullPath = std::filesystem::absolute(path.toStdString()).string();
  const SbmlImportResult result =
      ImportSbmlDocument(fullPath, document_, app_.catalogue, app_.defaults);
  if (!result.imported) {
    sink_.Error(kImportSbmlTitle, ProblemsText(kSbmlNotImported, result.problems));
    return false;
  }
  // An imported model has no file of its own yet: closing asks to save it.
  document_.modified = true;
  history_.Reset(document_);
  UpdateUndoActions();
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
  CommitFocusedField();
  if (document_.pathName.empty()) return SaveAs();
  return SaveTo(QString::fromStdString(document_.pathName));
}

bool MainWindow::SaveAs() {
  CommitFocusedField();
  QFileDialog chooser(this, "Save As", QString::fromStdString(document_.pathName),
                      kModelFileFilter);
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setDefaultSuffix("vrn");
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return false;
  return SaveTo(chooser.selectedFiles().first());
}

bool MainWindow::SaveTo(const QString& path) {
  if (controller_.IsBusy()) return false;
  CommitFocusedField();
  const std::string fullPath = FullPath(path);
  // The fit's data files are kept from the model file's folder, which may
  // be another one now.
  const std::vector<std::string> dataFiles = document_.fit.dataFiles;
  document_.fit.dataFiles = DataFilesFrom(dataFiles, document_.folder, FolderOf(fullPath));
  const bool saved = WriteModelFile(document_, fullPath, app_.catalogue, sink_);
  if (saved) {
    RememberFile(fullPath);
    if (document_.fit.dataFiles != dataFiles) fitPage_->Refresh();
  } else {
    document_.fit.dataFiles = dataFiles;
  }
  tasksPage_->Refresh();
  UpdateTitle();
  return saved;
}

bool MainWindow::Run() {
  if (controller_.IsBusy()) return false;
  // A field still being typed in hands its text to its editor first.
  CommitFocusedField();
  // F5 on the Fit page runs the fit.
  if (currentPage_ == fitPage_) return fitPage_->Run();
  if (currentPage_ == plotPage_) plotPage_->Deactivate();
  controller_.SetJobs(ScanThreads(app_.preferences.scanThreads));
  // A scan the user asked to run unpaced is not shown on the Time course
  // page, so nothing makes it wait.
  controller_.SetPointsShown(!scanPage_->runsUnpaced());
  return controller_.StartRun(sink_, [this] { return Save(); });
}

void MainWindow::StopRun() {
  fitPage_->Stop();
  if (controller_.IsBusy()) controller_.Stop();
}

void MainWindow::CloseOnRequest() {
  // Every dialog runs its own event loop over this one; each is dismissed,
  // innermost first. The bound only guards against a widget that will not go.
  constexpr int kMaxNestedDialogs = 64;
  for (int i = 0; i < kMaxNestedDialogs; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) break;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
  closingOnRequest_ = true;
  if (controller_.IsBusy()) {
    // The run's end comes back through OnRunFinished or OnRunStopped.
    controller_.Stop();
    return;
  }
  QCoreApplication::exit(0);
}

void MainWindow::EditDefaultValues() {
  DefaultValuesDialog dialog(app_.defaults, sink_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  app_.defaults = dialog.values();
  SettingsStore(app_.settingsPath).WriteDefaultValues(app_.defaults, sink_);
}

void MainWindow::EditPreferences() {
  PreferencesDialog dialog(app_.preferences, this);
  if (dialog.exec() != QDialog::Accepted) return;
  app_.preferences = dialog.preferences();
  SettingsStore(app_.settingsPath).WritePreferences(app_.preferences, sink_);
}

void MainWindow::EditAddOnModules() {
  AddOnModulesDialog dialog(app_.helpers, this);
  if (dialog.exec() != QDialog::Accepted) return;
  app_.helpers = dialog.helpers();
  SettingsStore(app_.settingsPath).WriteHelperPaths(app_.helpers, sink_);
  UpdatePlotPageVisibility();
}

void MainWindow::ShowContents() {
  const std::filesystem::path manual = ManualPath();
  std::error_code error;
  if (!std::filesystem::is_regular_file(manual, error)) {
    sink_.Warning("", kManualMissing + manual.string());
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(manual.string())))) {
    sink_.Warning("", kManualNotOpened + manual.string());
  }
}

void MainWindow::SearchHelp() {
  std::unique_ptr<HelpDialog> dialog = MakeHelpDialog(sink_, this);
  if (dialog != nullptr) dialog->exec();
}

void MainWindow::ShowAbout() {
  AboutDialog dialog(document_.folder, this);
  dialog.exec();
}

void MainWindow::OnRunStarting() {
  runClock_.start();
  notice_->clear();
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
  if (closingOnRequest_) {
    QCoreApplication::exit(0);
    return;
  }
  SetEditingEnabled(true);
  SetStatus(kStatusIdle);
  ShowRunEnd(true);
  tasksPage_->Refresh();
  DoAfterRun();
}

void MainWindow::ShowRunEnd(bool finished) {
  progress_->setVisible(false);
  const double seconds = runClock_.isValid() ? runClock_.elapsed() * 0.001 : 0.0;
  notice_->setText(QString::fromStdString(
      RunEndNotice(finished ? RunOutcome::kFinished : RunOutcome::kStopped, seconds,
                   document_.scan.enabled != 0, document_.engine.iteration,
                   finished && !document_.engine.errorLog.empty())));
  // The page's counts are updated only every few seconds during a scan; at
  // the end they say how far it went.
  if (document_.scan.enabled != 0) {
    scanPage_->ShowProgress(document_.engine.iteration,
                            finished ? QString::fromStdString(FormatRemainingTime(0.0)) : QString());
  }
  // A stopped run's files hold what was computed up to the stop.
  resultsPage_->SetRunning(false);
  resultsPage_->SetEventFirings(controller_.eventFirings(), controller_.firingsLeftOut());
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
    // One dialog, not one per run: a second run's errors replace the first's.
    if (errorLog_ == nullptr) {
      errorLog_ = new ErrorLogDialog(this);
      errorLog_->setAttribute(Qt::WA_DeleteOnClose);
    }
    errorLog_->SetLog(QString::fromStdString(actions.errorText));
    errorLog_->show();
    errorLog_->raise();
  }
  if (!actions.report.empty()) start(actions.report);
  if (report_ != nullptr) report_->Reload();
}

void MainWindow::ShowReport() {
  if (report_ == nullptr) {
    report_ = new ReportDialog(document_, this);
    report_->setAttribute(Qt::WA_DeleteOnClose);
  } else {
    report_->Reload();
  }
  report_->show();
  report_->raise();
}

void MainWindow::OnRunStopped() {
  if (closingOnRequest_) {
    QCoreApplication::exit(0);
    return;
  }
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
  if (dialog.exec() == QDialog::Accepted) {
    document_.modified = true;
    UpdateTitle();
    interactivePage_->Prepare();
    RecordEdit("Time Course Window Items");
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!RefuseDuringRun() || !MayLetDocumentGo()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace vireon
