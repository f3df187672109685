#pragma once
// The "Results" page: the last run's data files drawn with Qt Charts. The
// columns chosen in the list are drawn against the x column (time for a
// time course, the scanned parameter for the steady states of a scan); the
// chart zooms with the mouse wheel or a dragged rectangle, pans with the
// right button or the arrow keys, and exports as PNG or SVG, or its values
// as CSV. The axes carry the items' units; fluxes drawn beside other values
// get an axis of their own on the right; each curve's points can be marked;
// a time course drawn against time marks the events carried out (a dashed
// vertical line, the event's name on hover). A view over a ResultsView,
// which reads the files and makes the curves.

#include <QList>
#include <QWidget>

#include "document/results_view.h"

class QAbstractAxis;
class QChart;
class QCheckBox;
class QLineSeries;
class QTableWidget;
class QChartView;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace vireon {

struct Document;
class MessageSink;

class ResultsPage : public QWidget {
  Q_OBJECT

 public:
  ResultsPage(Document& document, MessageSink& sink, QWidget* parent = nullptr);

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
  QCheckBox* pointsBox() const { return points_; }
  QLabel* eventsLabel() const { return events_; }
  // The dashed lines that mark the events carried out, one per execution
  // (each named after its event), apart from the curves.
  const QList<QLineSeries*>& eventLines() const { return eventLines_; }
  // The series of the curves, without the event lines.
  QList<QLineSeries*> curveSeries() const;
  // Takes the event executions of the run that just ended (as its
  // controller kept them); the next Reload names and draws them.
  void SetEventFirings(std::vector<EventFiring> firings, long long leftOut);
  // Whether the page shows the values as a table (or as the chart).
  bool showsTable() const;
  // Writes the chart as a picture; false when the file cannot be written.
  bool ExportPng(const QString& path) const;
  bool ExportSvg(const QString& path) const;
  // Writes the drawn curves' values as comma-separated values
  // (ResultsView::ChartCsv); false, with the reason, when it cannot.
  bool ExportCsv(const QString& path, QString* error = nullptr) const;

 private:
  void ShowChoices();
  void Draw();
  void ShowTable();
  void Export();
  void ShowColumnMenu(const QPoint& position);
  void DrawEventMarks(QChart* chart, QAbstractAxis* xAxis, QAbstractAxis* yAxis,
                      const AxisRange& yRange, bool logY);

  Document& document_;
  MessageSink& sink_;
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
  QCheckBox* points_ = nullptr;
  QLabel* events_ = nullptr;
  QList<QLineSeries*> eventLines_;
};

}  // namespace vireon
