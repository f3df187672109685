#pragma once
// The main window: the menus, the status bar and the property sheet that
// shows the one document. It owns the document and the run controller, and
// turns the engine's notifications (through a RunBridge) into the pages'
// states.
//
// The document never loses an edit without asking: New, Open, Exit and
// closing the window first offer to save unsaved changes, Save first takes
// the value of the field being edited, and New and Open, like closing, are
// refused while a simulation runs.

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include "app/error_log_dialog.h"
#include "app/report_dialog.h"
#include "app/run_bridge.h"
#include "document/document.h"
#include "document/edit_history.h"
#include "document/run_control.h"

class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;

namespace vireon {

struct AppStartup;
class FitPage;
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
// The titles and headings of the SBML messages.
inline constexpr const char* kImportSbmlTitle = "Import SBML";
inline constexpr const char* kExportSbmlTitle = "Export SBML";
inline constexpr const char* kSbmlNotImported = "The SBML model could not be imported:";
inline constexpr const char* kSbmlNotExported = "The model could not be exported as SBML:";
// The scan progress bar's range.
inline constexpr int kProgressRange = 50000;
// The file chooser's filter of model files.
inline constexpr const char* kModelFileFilter = "Vireon Files (*.vrn)";

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The start-up data and the sink must outlive the window.
  MainWindow(AppStartup& app, MessageSink& sink, QWidget* parent = nullptr);
  // The pages go first: they refer to the document.
  ~MainWindow() override;

  Document& document() { return document_; }
  RunController& controller() { return controller_; }
  AppStartup& app() { return app_; }
  MessageSink& sink() { return sink_; }
  QTabWidget* sheet() const { return sheet_; }
  ModelPage* modelPage() const { return modelPage_; }
  TasksPage* tasksPage() const { return tasksPage_; }
  ScanPage* scanPage() const { return scanPage_; }
  InteractivePage* interactivePage() const { return interactivePage_; }
  PlotPage* plotPage() const { return plotPage_; }
  ResultsPage* resultsPage() const { return resultsPage_; }
  FitPage* fitPage() const { return fitPage_; }
  QProgressBar* progressBar() const { return progress_; }
  // The File menu, for commands that other parts of the program add.
  QMenu* fileMenu() const { return fileMenu_; }
  QString statusText() const;
  // The notice beside the status after a run ("Run finished in 2.4 s").
  QString noticeText() const;
  // Edit > Undo and Redo of the edits committed through the dialogs and
  // pages, named in the menu ("&Undo Reactions").
  bool Undo();
  bool Redo();
  QAction* undoAction() const { return undoAction_; }
  QAction* redoAction() const { return redoAction_; }
  QAction* runAction() const { return runAction_; }
  QAction* stopAction() const { return stopAction_; }
  const EditHistory& history() const { return history_; }
  // The dialog that shows the error log of the last run that had one, while
  // it is open (null before the first such run and after it was closed).
  ErrorLogDialog* errorLogDialog() const { return errorLog_; }
  ReportDialog* reportDialog() const { return report_; }
  // File > View Report: the report in its window, read again.
  void ShowReport();

  // File commands; each returns whether it did its work. New and Open are
  // refused during a run and ask about unsaved changes first.
  bool NewDocumentCommand();
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
  // A request to close from outside the program (SIGTERM): nothing is
  // asked. Open dialogs are dismissed as by Cancel, a run in progress is
  // stopped, and the event loop ends once no run is left; unsaved changes
  // to the model are not saved (there is no autosave to keep them in).
  void CloseOnRequest();

  // Options commands: each dialog edits one group of the settings, which is
  // written to the settings file when the user presses OK.
  void EditDefaultValues();
  void EditPreferences();
  void EditAddOnModules();
  // Shows the Plot page when a gnuplot path is set and hides it otherwise;
  // called after the helper paths changed.
  void UpdatePlotPageVisibility();
  // Help commands.
  void ShowContents();
  // Help > Search: the manual's sections found by words.
  void SearchHelp();
  void ShowAbout();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildSheet();
  void RefreshPages();
  void UpdateTitle();
  void UpdateRecentFiles();
  void RememberFile(const std::string& path);
  void SetStatus(const char* text);
  void SetEditingEnabled(bool enabled);
  void SelectInteractiveData();
  void EditOutput(DataTask task);
  // A page changed the document.
  void OnPageEdited();
  // An edit named `name` was committed: it joins the history.
  void RecordEdit(const QString& name);
  void UpdateUndoActions();
  // The sheet moved from one page to another.
  void OnPageChanged(int index);
  // The error log, the stop sound and the report after a run.
  void DoAfterRun();
  // False, after message 5048, while a run is in progress.
  bool RefuseDuringRun();
  // Whether the current document may be replaced or closed (after saving or
  // discarding its changes).
  bool MayLetDocumentGo();
  // Hands the field that has the focus its "editing finished", so that a
  // value typed but not yet left reaches the document.
  void CommitFocusedField();

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
  FitPage* fitPage_ = nullptr;
  QWidget* currentPage_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QAction* saveAction_ = nullptr;
  QAction* saveAsAction_ = nullptr;
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> recentActions_;
  QAction* runAction_ = nullptr;
  QAction* undoAction_ = nullptr;
  QAction* redoAction_ = nullptr;
  QLabel* notice_ = nullptr;
  QElapsedTimer runClock_;
  EditHistory history_;
  QAction* stopAction_ = nullptr;
  QPointer<ErrorLogDialog> errorLog_;
  QPointer<ReportDialog> report_;
  // CloseOnRequest is waiting for the run to end.
  bool closingOnRequest_ = false;
};

}  // namespace vireon
