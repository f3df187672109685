#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>

#include "app/about_dialog.h"
#include "app/add_on_modules_dialog.h"
#include "app/app_startup.h"
#include "app/default_values_dialog.h"
#include "app/interactive_page.h"
#include "app/model_edits.h"
#include "app/model_page.h"
#include "app/output_data_dialog.h"
#include "app/preferences_dialog.h"
#include "app/qt_message_sink.h"
#include "app/tasks_page.h"
#include "document/model_file.h"
#include "model/messages.h"
#include "settings/installed_files.h"
#include "settings/settings_store.h"

namespace vireon {
namespace {

// Messages of the Help menu, followed by the manual's path.
constexpr const char* kManualMissing = "The user manual could not be found:\n";
constexpr const char* kManualNotOpened = "The user manual could not be opened:\n";
// The widest a recent file's path is shown in the File menu, in pixels.
constexpr int kRecentFileWidth = 420;

// The error log is kept with the line ends of a text box (CR LF).
QString WithLineFeeds(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.remove(QChar('\r'));
  return shown;
}

// A page that has nothing to show yet but its title.
QWidget* PlaceholderPage(const QString& text) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(new QLabel(text));
  layout->addStretch();
  return page;
}

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
  statusBar()->addWidget(status_);
  statusBar()->addPermanentWidget(progress_);
  connect(&bridge_, &RunBridge::pointReady, interactivePage_, &InteractivePage::ShowPoint);
  UpdateTitle();
  resize(860, 640);
}

MainWindow::~MainWindow() {
  // A page whose field has the focus writes it into the document when it
  // is destroyed: the pages must go while the document is still there.
  delete takeCentralWidget();
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
  runAction_ = fileMenu_->addAction("&Run", this, [this] { Run(); });
  stopAction_ = fileMenu_->addAction("S&top", this, &MainWindow::StopRun);
  stopAction_->setStatusTip("Stop the simulation engine");
  stopAction_->setEnabled(false);
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

  QMenu* options = menuBar()->addMenu("&Options");
  options->addAction("&Default values...", this, &MainWindow::EditDefaultValues)
      ->setStatusTip("Set default values for simulation parameters");
  options->addAction("&Preferences...", this, &MainWindow::EditPreferences)
      ->setStatusTip("What happens when a simulation stops");
  options->addAction("Add-on modules...", this, &MainWindow::EditAddOnModules)
      ->setStatusTip("The gnuplot and text editor programs");

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&Contents", QKeySequence::HelpContents, this, &MainWindow::ShowContents);
  help->addSeparator();
  help->addAction("&About Vireon...", this, &MainWindow::ShowAbout);
}

void MainWindow::BuildSheet() {
  sheet_ = new QTabWidget;
  modelPage_ = new ModelPage(document_, app_, sink_);
  tasksPage_ = new TasksPage(document_, sink_);
  scanPage_ = PlaceholderPage("The parameter scan is edited in a later version of this page.");
  interactivePage_ = new InteractivePage(document_, controller_);
  sheet_->addTab(modelPage_, "Model Definition");
  sheet_->addTab(tasksPage_, "Tasks");
  sheet_->addTab(scanPage_, "Scan");
  sheet_->addTab(interactivePage_, "Time course");
  UpdatePlotPage();
  setCentralWidget(sheet_);

  connect(modelPage_, &ModelPage::modelChanged, this, &MainWindow::RefreshPages);
  connect(modelPage_, &ModelPage::documentEdited, this, &MainWindow::UpdateTitle);
  connect(tasksPage_, &TasksPage::documentChanged, this, [this] {
    document_.modified = true;
    UpdateTitle();
    interactivePage_->Prepare();
  });
  connect(tasksPage_, &TasksPage::runRequested, this, [this] { Run(); });
  connect(tasksPage_, &TasksPage::stopRequested, this, &MainWindow::StopRun);
  connect(interactivePage_, &InteractivePage::runRequested, this, [this] { Run(); });
  connect(interactivePage_, &InteractivePage::selectDataRequested, this,
          &MainWindow::SelectInteractiveData);
}

void MainWindow::UpdatePlotPage() {
  const bool wanted = !app_.helpers.gnuplot.empty();
  if (wanted && plotPage_ == nullptr) {
    plotPage_ = PlaceholderPage("gnuplot: " + ToQString(app_.helpers.gnuplot));
    sheet_->addTab(plotPage_, "Plot");
  } else if (!wanted && plotPage_ != nullptr) {
    sheet_->removeTab(sheet_->indexOf(plotPage_));
    delete plotPage_;
    plotPage_ = nullptr;
  }
}

void MainWindow::RefreshPages() {
  modelPage_->Refresh();
  tasksPage_->Refresh();
  interactivePage_->Prepare();
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

void MainWindow::SetStatus(const char* text) {
  status_->setText(text);
}

void MainWindow::SetEditingEnabled(bool enabled) {
  modelPage_->setEnabled(enabled);
  tasksPage_->setEnabled(enabled);
  scanPage_->setEnabled(enabled);
  interactivePage_->SetRunning(!enabled);
  runAction_->setEnabled(enabled);
  stopAction_->setEnabled(!enabled);
  // Saving reads the whole document, which a run is writing.
  saveAction_->setEnabled(enabled);
  saveAsAction_->setEnabled(enabled);
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
  RememberFile(fullPath);
  RefreshPages();
  return true;
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
  const bool saved = WriteModelFile(document_, fullPath, app_.catalogue, sink_);
  if (saved) RememberFile(fullPath);
  tasksPage_->Refresh();
  UpdateTitle();
  return saved;
}

bool MainWindow::Run() {
  if (controller_.IsBusy()) return false;
  return controller_.StartRun(sink_, [this] { return Save(); });
}

void MainWindow::StopRun() {
  if (controller_.IsBusy()) controller_.Stop();
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
  UpdatePlotPage();
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

void MainWindow::ShowAbout() {
  AboutDialog dialog(document_.folder, this);
  dialog.exec();
}

void MainWindow::OnRunStarting() {
  SetEditingEnabled(false);
  SetStatus(kStatusRunning);
  interactivePage_->Prepare();
  if (document_.scan.enabled != 0) {
    progress_->setValue(0);
    progress_->setVisible(true);
  }
}

void MainWindow::OnRunFinished() {
  SetEditingEnabled(true);
  SetStatus(kStatusIdle);
  progress_->setVisible(false);
  tasksPage_->Refresh();
  if (document_.engine.errorLog.empty()) return;
  lastErrorLog_ = WithLineFeeds(document_.engine.errorLog);
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

void MainWindow::OnRunStopped() {
  SetEditingEnabled(true);
  SetStatus(kStatusIdle);
  progress_->setVisible(false);
}

void MainWindow::OnScanProgress(int iteration) {
  if (document_.scan.enabled == 0) return;
  const int total = document_.engine.totalIterations;
  if (total > 0) {
    progress_->setValue(static_cast<int>(static_cast<long long>(iteration) * kProgressRange / total));
  }
}

void MainWindow::SelectInteractiveData() {
  OutputDataDialog dialog(OutputDataMode::kInteractive, document_, document_.selections.interactive,
                          sink_, this);
  if (dialog.exec() == QDialog::Accepted) {
    document_.modified = true;
    UpdateTitle();
    interactivePage_->Prepare();
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
