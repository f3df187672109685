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
#include <QProgressBar>
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
#include "app/tasks_page.h"
#include "document/model_file.h"
#include "model/messages.h"
#include "output/report.h"

namespace vireon {
namespace {

constexpr const char* kModelFileFilter = "Vireon models (*.vrn);;All files (*)";

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
  scanPage_ = PlaceholderPage("The parameter scan is edited in a later version of this page.");
  interactivePage_ = new InteractivePage(document_, controller_);
  sheet_->addTab(modelPage_, "Model Definition");
  sheet_->addTab(tasksPage_, "Tasks");
  sheet_->addTab(scanPage_, "Scan");
  sheet_->addTab(interactivePage_, "Time course");
  if (!app_.helpers.gnuplot.empty()) {
    plotPage_ = PlaceholderPage("gnuplot: " + QString::fromStdString(app_.helpers.gnuplot));
    sheet_->addTab(plotPage_, "Plot");
  }
  setCentralWidget(sheet_);

  connect(modelPage_, &ModelPage::modelChanged, this, &MainWindow::RefreshPages);
  connect(tasksPage_, &TasksPage::documentChanged, this, [this] { interactivePage_->Prepare(); });
  connect(tasksPage_, &TasksPage::runRequested, this, [this] { Run(); });
  connect(tasksPage_, &TasksPage::stopRequested, this, &MainWindow::StopRun);
  connect(interactivePage_, &InteractivePage::runRequested, this, [this] { Run(); });
  connect(interactivePage_, &InteractivePage::selectDataRequested, this,
          &MainWindow::SelectInteractiveData);
}

void MainWindow::RefreshPages() {
  modelPage_->Refresh();
  tasksPage_->Refresh();
  interactivePage_->Prepare();
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
  tasksPage_->setEnabled(enabled);
  scanPage_->setEnabled(enabled);
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
  return controller_.StartRun(sink_, [this] { return Save(); });
}

void MainWindow::StopRun() {
  if (controller_.IsBusy()) controller_.Stop();
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
