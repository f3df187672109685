#pragma once
// The "Fit" page: the experiments (data files with a preview of their
// columns and what each is in the model, every mistake shown at once), the
// parameters with their bounds (picked from the scan's tree of
// quantities), the method, its starts, seed and threads; Run and Stop,
// the best objective drawn as it falls; then the table of fitted values
// (the poorly determined ones marked), the data against the fitted model
// for each experiment, the residuals, and "Apply to model". A view over a
// FitEditor; the fit runs on a FitRun's thread, whose reports reach the
// page as queued calls, so the page never waits for it.

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "fit/fit_editor.h"
#include "fit/fit_run.h"

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;
class QTreeWidget;

namespace vireon {

struct Document;

class FitPage : public QWidget {
  Q_OBJECT

 public:
  // `jobs`: the threads a fit runs on unless the user changes it.
  FitPage(Document& document, int jobs, QWidget* parent = nullptr);
  // Stops a fit under way and waits for it.
  ~FitPage() override;

  // Takes the document's fit and model again (a new editor, the files read
  // again). A fit under way goes on; its values can be applied only while
  // the document fits the same parameters.
  void Refresh();
  FitEditor& editor() { return *editor_; }

  // Adds a data file, as the Add button does after its file chooser; false
  // when the editor refused it (the message is shown on the page).
  bool AddExperimentFile(const QString& path);
  // Chooses the tree's quantity with this title and adds it as a parameter.
  bool AddParameter(const QString& title);
  // Starts the fit (F5 on this page); false when it cannot run, the reason
  // shown on the page.
  bool Run();
  // Asks the fit to end at its best point so far (Esc).
  void Stop();
  bool running() const { return running_; }
  // The values of the last fit into the model, as an edit (modelChanged).
  bool Apply();
  // A run of the tasks is going on: nothing here may start or change.
  void SetTaskRunning(bool running);

  QListWidget* experimentList() const { return experiments_; }
  QTableWidget* previewTable() const { return preview_; }
  QLabel* experimentMessage() const { return experimentMessage_; }
  QTreeWidget* parameterTree() const { return tree_; }
  QTableWidget* parameterTable() const { return parameters_; }
  QComboBox* methodBox() const { return method_; }
  QSpinBox* startsField() const { return starts_; }
  QSpinBox* seedField() const { return seed_; }
  QSpinBox* jobsField() const { return jobs_; }
  QPushButton* runButton() const { return run_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* applyButton() const { return apply_; }
  QLabel* statusLabel() const { return status_; }
  QTabWidget* resultTabs() const { return results_; }
  QTableWidget* valuesTable() const { return values_; }
  QComboBox* experimentChooser() const { return chartChoice_; }
  QChart* progressChart() const;
  QChart* fitChart() const;
  QChart* residualChart() const;

 signals:
  // The fit stored in the document was edited.
  void documentChanged();
  // The model was changed by the edit named `edit` (committed already).
  void modelChanged(const QString& edit);
  // A fit started or ended.
  void runningChanged(bool running);

 private:
  void ShowExperiments();
  void ShowPreview();
  void ShowParameters();
  void ShowMethod();
  void ShowProblem();
  void ShowProgress(int done, int total, double best);
  void ShowResult();
  void ShowCharts();
  void ClearResult();
  void FitEnded();
  void UpdateEnabled();
  void ReadBound(int row, int column);
  void Changed();

  Document& document_;
  std::unique_ptr<FitEditor> editor_;
  std::vector<OutputDataNode> available_;
  std::unique_ptr<FitRun> fit_;
  FitResult result_;
  bool haveResult_ = false;
  bool running_ = false;
  bool taskRunning_ = false;
  bool canRun_ = false;  // the editor found nothing that stops the fit
  int progressTotal_ = 1;
  std::vector<std::pair<double, double>> progress_;

  QWidget* setup_ = nullptr;
  QListWidget* experiments_ = nullptr;
  QPushButton* addExperiment_ = nullptr;
  QPushButton* removeExperiment_ = nullptr;
  QTableWidget* preview_ = nullptr;
  QLabel* experimentMessage_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QPushButton* addParameter_ = nullptr;
  QPushButton* removeParameter_ = nullptr;
  QTableWidget* parameters_ = nullptr;
  QComboBox* method_ = nullptr;
  QSpinBox* starts_ = nullptr;
  QSpinBox* seed_ = nullptr;
  QSpinBox* jobs_ = nullptr;
  QCheckBox* scaleColumns_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* apply_ = nullptr;
  QLabel* status_ = nullptr;
  QTabWidget* results_ = nullptr;
  QChartView* progressView_ = nullptr;
  QTableWidget* values_ = nullptr;
  QComboBox* chartChoice_ = nullptr;
  QChartView* fitView_ = nullptr;
  QChartView* residualView_ = nullptr;
  bool showing_ = false;  // the page is filling its controls, not the user
};

}  // namespace vireon
