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

#include "output/data_table.h"

namespace vireon {

struct Document;

enum class ResultsSource { kTimeCourse, kSteadyState };

struct ResultsCurve {
  std::string title;  // the column's title
  int column = 0;
  // Polylines of (x, y) points; points with a value that is not finite are
  // left out.
  std::vector<std::vector<std::pair<double, double>>> pieces;
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
  // The curves of the chosen columns against x, in column order.
  std::vector<ResultsCurve> Curves() const;
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
  };
  const SourceData& Data(ResultsSource source) const {
    return source == ResultsSource::kTimeCourse ? timeCourse_ : steadyState_;
  }
  SourceData& Data(ResultsSource source) {
    return source == ResultsSource::kTimeCourse ? timeCourse_ : steadyState_;
  }

  SourceData timeCourse_;
  SourceData steadyState_;
  ResultsSource source_ = ResultsSource::kTimeCourse;
  bool scan_ = false;
  bool loaded_ = false;
};

// The text a source shows before any run.
inline constexpr const char* kResultsNoRunYet = "Run the model to see its results here.";

}  // namespace vireon
