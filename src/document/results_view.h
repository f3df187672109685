#pragma once
// The rules of the Results page without the page: which data file of the
// last run is shown, which of its columns goes on the x axis and which are
// drawn against it, and the curves that follow from the file. The data are
// read back from the files the run wrote, so nothing is re-run.
//
// A time-course file of a scan holds one time course after another; each
// starts again at the first time of its block and becomes a curve of its
// own. Blank lines (the scan's block separators) always end a curve.

#include <string>
#include <utility>
#include <vector>

#include "engine/run_observer.h"
#include "output/data_table.h"
#include "output/output_item_unit.h"

namespace vireon {

struct Document;

enum class ResultsSource { kTimeCourse, kSteadyState };

// The value axes of the chart: one on the left, and, when fluxes are drawn
// beside values of other kinds, one on the right for the fluxes.
inline constexpr int kLeftAxis = 0;
inline constexpr int kRightAxis = 1;
// YRange over the curves of both axes.
inline constexpr int kEveryAxis = -1;

struct ResultsCurve {
  std::string title;  // the column's title
  int column = 0;
  int axis = kLeftAxis;
  bool pointsMarked = false;  // each point drawn as a dot on the line
  // Polylines of (x, y) points; points with a value that is not finite are
  // left out.
  std::vector<std::vector<std::pair<double, double>>> pieces;
};

// The range of one axis of the chart.
struct AxisRange {
  double lower = 0.0;
  double upper = 1.0;
};

// The range an axis takes for the values it shows: from the lowest to the
// highest, where a value closer to zero than kAxisNoiseFraction of the
// largest magnitude counts as zero, so that numerical noise such as -1e-14
// beside values of order one does not stretch the axis. On a logarithmic
// axis only the positive values count. Equal ends are widened by 5 % (to
// -1..1 for zero, to a decade either side on a logarithmic axis); without
// any value the range is 0..1 (1..10 on a logarithmic axis).
AxisRange ValueAxisRange(const std::vector<double>& values, bool logarithmic);
inline constexpr double kAxisNoiseFraction = 1e-9;

// An event carried out during the time course shown, as the chart marks it.
struct ResultsEventMark {
  double time = 0.0;
  std::string name;
};

// The values of a source as a table.
struct ResultsTable {
  bool byColumn = false;  // a line per column: its title, then its value
  std::vector<std::string> headers;
  std::vector<std::vector<std::string>> rows;
};

class ResultsView {
 public:
  // Reads both data files of the document's last run with the document's
  // selections and layouts. Choices made before are kept when the columns
  // are the same; otherwise x is "time" for a time course, the first scan
  // item's column for the steady states of a scan (or the first column),
  // and every other column is drawn. The first load, and a load after the
  // kind of run changed, shows the steady states of a scan and the time
  // course of a single run when their files have rows.
  void Load(const Document& document);

  ResultsSource source() const { return source_; }
  void SetSource(ResultsSource source) { source_ = source; }
  // The file of the source has rows to show.
  bool HasData(ResultsSource source) const { return !Data(source).table.rows.empty(); }
  // Why a source shows nothing (empty when it has data).
  const std::string& Problem(ResultsSource source) const { return Data(source).problem; }
  const std::string& DataPath(ResultsSource source) const { return Data(source).path; }
  const std::vector<std::string>& Columns() const { return Data(source_).titles; }
  int xColumn() const { return Data(source_).x; }
  void SetXColumn(int column);
  bool YChosen(int column) const;
  void SetYChosen(int column, bool chosen);
  // The curves of the chosen columns against x, in column order. On a
  // logarithmic axis the points with a value not above zero are left out,
  // as the axis cannot show them.
  std::vector<ResultsCurve> Curves(bool logX = false, bool logY = false) const;
  // The axes' ranges for those curves (ValueAxisRange); YRange for the
  // curves of one value axis or of both.
  AxisRange XRange(bool logX = false, bool logY = false) const;
  AxisRange YRange(bool logX = false, bool logY = false, int axis = kEveryAxis) const;
  // Whether the chosen columns need the right axis: some are fluxes and
  // some are not. Each curve's `axis` says where it goes.
  bool TwoValueAxes() const;
  // The axes' titles: the x column's title with its unit ("time (s)"), and
  // the units of the curves on a value axis ("mM", "mM/s"; AxisUnitTitle).
  std::string XAxisTitle() const;
  std::string YAxisTitle(int axis) const;
  // The unit of a column (empty when none is known) and its title with it.
  std::string ColumnUnit(int column) const;
  std::string ColumnTitleWithUnit(int column) const;

  // Whether a column's points are marked on its curve; SetAllPointsMarked
  // marks or unmarks every column's.
  bool PointsMarked(int column) const;
  void SetPointsMarked(int column, bool marked);
  void SetAllPointsMarked(bool marked);

  // The event executions of the last run (the run controller's
  // eventFirings), named at the next Load by the document's events.
  void SetEventFirings(std::vector<EventFiring> firings, long long leftOut = 0);
  // Where the chart marks events: the executions of a time course that is
  // no scan, drawn against time, in the order they happened (on a
  // logarithmic x axis only those after time 0). An execution of an event
  // the model no longer has is not marked.
  std::vector<ResultsEventMark> EventMarks(bool logX = false) const;
  // Executions left out of the marks because the run recorded no more.
  long long eventMarksLeftOut() const { return firingsLeftOut_; }

  // The curves drawn, as comma-separated values: a line of the x column's
  // and the drawn columns' titles (each quoted when it holds a comma or a
  // quote), then a line per row of the file with a value drawn, with 15
  // significant digits; a value the chart leaves out (not finite, or not
  // above zero on a logarithmic axis) is an empty field. A scan's time
  // courses follow one another. Empty without data.
  std::string ChartCsv(bool logX = false, bool logY = false) const;

  // Whether the page shows the source as a table rather than as a chart:
  // when asked to, and always for a file of a single row (the steady state
  // of a run without a scan), which draws no curve.
  bool ShowsTable() const;
  void AskForTable(bool table) { tableAsked_ = table; }
  bool tableAsked() const { return tableAsked_; }
  // The source's values: a file of one row as a line per column (headers
  // "Quantity", "Value" and "Unit"); otherwise the file's columns, each
  // titled with its unit ("time (s)"), and rows. Values
  // have up to 6 significant digits; one the engine could not compute
  // reads "not computed".
  ResultsTable Table() const;
  std::string XTitle() const;
  // The last run was a scan.
  bool scan() const { return scan_; }

 private:
  struct SourceData {
    std::string path;
    std::string problem;
    std::vector<std::string> titles;
    DataTable table;
    int x = 0;
    int timeColumn = -1;  // the column of the item "time", if any
    std::vector<bool> y;
    std::vector<QuantityKind> kinds;  // what each column measures
    std::vector<bool> marked;         // the columns whose points are marked
  };
  const SourceData& Data(ResultsSource source) const {
    return source == ResultsSource::kTimeCourse ? timeCourse_ : steadyState_;
  }
  SourceData& Data(ResultsSource source) {
    return source == ResultsSource::kTimeCourse ? timeCourse_ : steadyState_;
  }

  SourceData timeCourse_;
  ModelUnits units_;
  std::vector<std::string> eventNames_;  // the document's events, in order
  std::vector<EventFiring> firings_;
  long long firingsLeftOut_ = 0;
  SourceData steadyState_;
  ResultsSource source_ = ResultsSource::kTimeCourse;
  bool scan_ = false;
  bool loaded_ = false;
  bool tableAsked_ = false;
};

// The text a source shows before any run.
inline constexpr const char* kResultsNoRunYet = "Run the model to see its results here.";

}  // namespace vireon
