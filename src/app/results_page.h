#pragma once
// The "Results" page: the last run's data files drawn with Qt Charts. The
// columns chosen in the list are drawn against the x column (time for a
// time course, the scanned parameter for the steady states of a scan); the
// chart zooms with the mouse wheel or a dragged rectangle, pans with the
// right button or the arrow keys, and exports as PNG or SVG. A view over a
// ResultsView, which reads the files and makes the curves.

#include <QWidget>

#include "document/results_view.h"

class QChart;
class QCheckBox;
class QTableWidget;
class QChartView;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace vireon {

struct Document;

class ResultsPage : public QWidget {
  Q_OBJECT

 public:
  explicit ResultsPage(Document& document, QWidget* parent = nullptr);

  // Reads the data files again (after a run, or when a model was loaded).
  void Reload();
  // While a run goes on the page says that its results come at its end.
  void SetRunning(bool running);
  ResultsView& view() { return view_; }
  QChart* chart() const;
  QListWidget* columnList() const { return columns_; }
  QComboBox* xList() const { return x_; }
  QLabel* problemLabel() const { return problem_; }
  QLabel* runningLabel() const { return running_; }
  QTableWidget* table() const { return table_; }
  QChartView* chartView() const { return chartView_; }
  QCheckBox* tableBox() const { return tableBox_; }
  QCheckBox* logXBox() const { return logX_; }
  QCheckBox* logYBox() const { return logY_; }
  // Whether the page shows the values as a table (or as the chart).
  bool showsTable() const;
  // Writes the chart as a picture; false when the file cannot be written.
  bool ExportPng(const QString& path) const;
  bool ExportSvg(const QString& path) const;

 private:
  void ShowChoices();
  void Draw();
  void ShowTable();
  void Export();

  Document& document_;
  ResultsView view_;
  QRadioButton* timeCourse_ = nullptr;
  QRadioButton* steadyState_ = nullptr;
  QComboBox* x_ = nullptr;
  QListWidget* columns_ = nullptr;
  QChartView* chartView_ = nullptr;
  QLabel* problem_ = nullptr;
  QLabel* running_ = nullptr;
  QPushButton* resetZoom_ = nullptr;
  QPushButton* export_ = nullptr;
  QTableWidget* table_ = nullptr;
  QCheckBox* tableBox_ = nullptr;
  QCheckBox* logX_ = nullptr;
  QCheckBox* logY_ = nullptr;
};

}  // namespace vireon
