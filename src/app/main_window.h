#pragma once
// The main window: the menus, the status bar and the property sheet that
// shows the one document. It owns the document and the run controller, and
// turns the engine's notifications (through a RunBridge) into the pages'
// states.

#include <QMainWindow>
#include <QString>

#include "app/run_bridge.h"
#include "document/document.h"
#include "document/run_control.h"

class QLabel;
class QProgressBar;
class QTabWidget;

namespace vireon {

struct AppStartup;
class InteractivePage;
class MessageSink;
class ModelPage;
class PlotPage;
class ResultsPage;
class ScanPage;
class TasksPage;
enum class DataTask;

// The status texts of the run states.
inline constexpr const char* kStatusIdle = "Idle         ";
inline constexpr const char* kStatusRunning = "Running";
inline constexpr const char* kStatusPaused = "Paused";
// The title of the dialog that shows a run's error log.
inline constexpr const char* kErrorLogTitle = "Errors in this simulation";
// The titles and headings of the SBML messages.
inline constexpr const char* kImportSbmlTitle = "Import SBML";
inline constexpr const char* kExportSbmlTitle = "Export SBML";
inline constexpr const char* kSbmlNotImported = "The SBML model could not be imported:";
inline constexpr const char* kSbmlNotExported = "The model could not be exported as SBML:";
// The scan progress bar's range.
inline constexpr int kProgressRange = 50000;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The start-up data and the sink must outlive the window.
  MainWindow(AppStartup& app, MessageSink& sink, QWidget* parent = nullptr);
  ~MainWindow() override;

  Document& document() { return document_; }
  RunController& controller() { return controller_; }
  QTabWidget* sheet() const { return sheet_; }
  InteractivePage* interactivePage() const { return interactivePage_; }
  TasksPage* tasksPage() const { return tasksPage_; }
  ScanPage* scanPage() const { return scanPage_; }
  PlotPage* plotPage() const { return plotPage_; }
  ResultsPage* resultsPage() const { return resultsPage_; }
  QProgressBar* progressBar() const { return progress_; }
  QString statusText() const;
  // The error log of the last run that had one, as shown (for checks).
  const QString& lastErrorLog() const { return lastErrorLog_; }

  // File commands; each returns whether it did its work.
  void NewDocumentCommand();
  bool OpenFile(const QString& path);
  bool Save();
  bool SaveAs();
  bool SaveTo(const QString& path);
  // File > Import SBML...: the model of the SBML file in a new document
  // (the current one stays when the model is refused, every reason said).
  bool ImportSbml(const QString& path);
  // File > Export SBML...: the document's model as SBML Level 3 Version 2.
  bool ExportSbml(const QString& path);
  // Simulation commands.
  bool Run();
  void StopRun();

  // Shows the Plot page when a gnuplot path is set and hides it otherwise;
  // called after the helper paths changed.
  void UpdatePlotPageVisibility();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildSheet();
  void RefreshPages();
  void UpdateTitle();
  void SetStatus(const char* text);
  void SetEditingEnabled(bool enabled);
  void ShowAbout();
  void SelectInteractiveData();
  void EditOutput(DataTask task);
  // A page changed the document.
  void OnPageEdited();
  // The sheet moved from one page to another.
  void OnPageChanged(int index);
  // The error log, the stop sound and the report after a run.
  void DoAfterRun();

  // Engine notifications, on the GUI thread.
  void OnRunStarting();
  void OnRunFinished();
  void OnRunStopped();
  void OnScanProgress(int iteration);
  // What both ends of a run show: the scan's final counts and the results.
  void ShowRunEnd(bool finished);

  AppStartup& app_;
  MessageSink& sink_;
  Document document_;
  // The bridge outlives the controller, whose destructor may still call it.
  RunBridge bridge_;
  RunController controller_;

  QTabWidget* sheet_ = nullptr;
  ModelPage* modelPage_ = nullptr;
  TasksPage* tasksPage_ = nullptr;
  ScanPage* scanPage_ = nullptr;
  InteractivePage* interactivePage_ = nullptr;
  PlotPage* plotPage_ = nullptr;
  ResultsPage* resultsPage_ = nullptr;
  QWidget* currentPage_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QAction* runAction_ = nullptr;
  QAction* stopAction_ = nullptr;
  QString lastErrorLog_;
};

}  // namespace vireon
