#include "document/results_view.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "document/document.h"
#include "model/number_text.h"
#include "output/data_file.h"

namespace vireon {
namespace {

std::vector<std::string> TitlesOf(const std::vector<OutputItem>& selection) {
  std::vector<std::string> titles;
  for (const OutputItem& item : selection) titles.push_back(item.title);
  return titles;
}

// A value that can be drawn: the engine's mark for a quantity it could not
// compute (the largest double) is left out like an infinite one.
bool Plottable(double value) {
  return std::isfinite(value) && std::abs(value) < std::numeric_limits<double>::max();
}

// The significant digits of a table's values.
constexpr int kTableDigits = 6;
// A flat range is widened by this fraction of its value either way, and a
// flat logarithmic range by this factor.
constexpr double kFlatRangeFraction = 0.05;
constexpr double kFlatLogFactor = 10.0;

std::string TableValue(double value) {
  return Plottable(value) ? RealText(value, kTableDigits) : std::string("not computed");
}

// The digits of a value in the chart's comma-separated values: enough to
// give back the double the file held to its last printed digit.
constexpr int kCsvDigits = 15;

// A field of comma-separated values, quoted when it holds a comma, a quote
// or a line end (a quote inside doubled).
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

bool SameQuantity(const OutputItem& a, const OutputItem& b) {
  return a.type == b.type && a.i == b.i && a.j == b.j;
}

}  // namespace

void ResultsView::Load(const Document& document) {
  const TaskSettings& s = document.settings;
  const std::string folder = ModelFolder(document.pathName);
  const bool wasScan = scan_;
  scan_ = document.scan.enabled != 0 && !document.scan.items.empty();
  units_ = UnitsOf(s);
  eventNames_.clear();
  for (const Event& event : document.model.events) eventNames_.push_back(event.name);

  struct Input {
    SourceData& data;
    bool on;
    const std::string& name;
    bool titles;
    const std::vector<OutputItem>& selection;
    const char* task;
  };
  const Input inputs[] = {
      {timeCourse_, s.dynamics != 0, s.dynamicsData.file, s.dynamicsData.titles != 0,
       document.selections.timeCourse, "time course"},
      {steadyState_, s.steadyState != 0, s.steadyStateData.file, s.steadyStateData.titles != 0,
       document.selections.steadyState, "steady state"},
  };
  for (const Input& in : inputs) {
    SourceData loaded;
    loaded.titles = TitlesOf(in.selection);
    for (const OutputItem& item : in.selection) {
      loaded.kinds.push_back(OutputItemKind(item.type, s.mcaUnscaled != 0));
    }
    const bool sameColumns = loaded.titles == in.data.titles;
    if (!in.on || in.name.empty()) {
      loaded.problem = std::string("The ") + in.task + " writes no data file: switch it on and " +
                       "give its file a name on the Tasks page.";
    } else if (in.selection.empty()) {
      loaded.problem = std::string("No output items are selected for the ") + in.task +
                       " on the Tasks page.";
    } else {
      loaded.path = folder + in.name;
      std::string error;
      if (!ReadDataTable(loaded.path, static_cast<int>(in.selection.size()), in.titles,
                         loaded.table, error)) {
        loaded.problem = kResultsNoRunYet;
      } else if (loaded.table.rows.empty()) {
        loaded.problem = "The data file " + loaded.path + " holds no rows.";
      }
    }
    for (int k = 0; k < static_cast<int>(in.selection.size()); ++k) {
      if (in.selection[k].type == kTime) {
        loaded.timeColumn = k;
        break;
      }
    }
    if (sameColumns && !in.data.y.empty()) {
      loaded.x = in.data.x;
      loaded.y = in.data.y;
      loaded.marked = in.data.marked;
    } else {
      loaded.marked.assign(in.selection.size(), false);
      loaded.x = 0;
      if (&in.data == &timeCourse_ && loaded.timeColumn >= 0) loaded.x = loaded.timeColumn;
      if (&in.data == &steadyState_ && scan_) {
        for (int k = 0; k < static_cast<int>(in.selection.size()); ++k) {
          if (SameQuantity(in.selection[k], document.scan.items.front())) {
            loaded.x = k;
            break;
          }
        }
      }
      loaded.y.assign(in.selection.size(), true);
      if (!loaded.y.empty()) loaded.y[loaded.x] = false;
    }
    in.data = std::move(loaded);
  }
  // A scan is seen best against its parameter; a time course against time.
  const ResultsSource preferred =
      scan_ ? ResultsSource::kSteadyState : ResultsSource::kTimeCourse;
  const ResultsSource other = preferred == ResultsSource::kTimeCourse
                                  ? ResultsSource::kSteadyState
                                  : ResultsSource::kTimeCourse;
  if (!loaded_ || wasScan != scan_ || !HasData(source_)) {
    source_ = HasData(preferred) || !HasData(other) ? preferred : other;
  }
  loaded_ = true;
}

AxisRange ValueAxisRange(const std::vector<double>& values, bool logarithmic) {
  double largest = 0.0;
  for (double v : values) {
    if (Plottable(v) && (!logarithmic || v > 0.0)) largest = std::max(largest, std::abs(v));
  }
  double lower = std::numeric_limits<double>::infinity();
  double upper = -lower;
  for (double v : values) {
    if (!Plottable(v) || (logarithmic && !(v > 0.0))) continue;
    // Noise around zero counts as zero, except on a logarithmic axis,
    // where every positive value is a value of its own.
    const double shown = !logarithmic && std::abs(v) < kAxisNoiseFraction * largest ? 0.0 : v;
    lower = std::min(lower, shown);
    upper = std::max(upper, shown);
  }
  if (!(lower <= upper)) return logarithmic ? AxisRange{1.0, 10.0} : AxisRange{0.0, 1.0};
  if (lower == upper) {
    if (logarithmic) return {lower / kFlatLogFactor, upper * kFlatLogFactor};
    const double margin = lower == 0.0 ? 1.0 : std::abs(lower) * kFlatRangeFraction;
    return {lower - margin, upper + margin};
  }
  return {lower, upper};
}

void ResultsView::SetXColumn(int column) {
  SourceData& data = Data(source_);
  if (column >= 0 && column < static_cast<int>(data.titles.size())) data.x = column;
}

bool ResultsView::YChosen(int column) const {
  const SourceData& data = Data(source_);
  return column >= 0 && column < static_cast<int>(data.y.size()) && data.y[column];
}

void ResultsView::SetYChosen(int column, bool chosen) {
  SourceData& data = Data(source_);
  if (column >= 0 && column < static_cast<int>(data.y.size())) data.y[column] = chosen;
}

std::string ResultsView::XTitle() const {
  const SourceData& data = Data(source_);
  return data.x >= 0 && data.x < static_cast<int>(data.titles.size()) ? data.titles[data.x]
                                                                       : std::string();
}

std::vector<ResultsCurve> ResultsView::Curves(bool logX, bool logY) const {
  const SourceData& data = Data(source_);
  const DataTable& table = data.table;
  std::vector<ResultsCurve> curves;
  if (table.rows.empty() || data.x < 0 || data.x >= table.columns) return curves;

  // Where a piece ends: at every block and, in a time-course file, where
  // the time starts again from the block's first time.
  std::vector<bool> startsPiece(table.rows.size(), false);
  for (std::size_t b = 0; b < table.blockStarts.size(); ++b) {
    const std::size_t begin = static_cast<std::size_t>(table.blockStarts[b]);
    const std::size_t end = b + 1 < table.blockStarts.size()
                                ? static_cast<std::size_t>(table.blockStarts[b + 1])
                                : table.rows.size();
    startsPiece[begin] = true;
    if (source_ != ResultsSource::kTimeCourse || data.timeColumn < 0) continue;
    const double firstTime = table.rows[begin][data.timeColumn];
    for (std::size_t r = begin + 1; r < end; ++r) {
      if (table.rows[r][data.timeColumn] == firstTime) startsPiece[r] = true;
    }
  }

  const bool twoAxes = TwoValueAxes();
  for (int column = 0; column < table.columns; ++column) {
    if (!YChosen(column)) continue;
    ResultsCurve curve;
    curve.title = data.titles[column];
    curve.column = column;
    curve.axis = twoAxes && data.kinds[column] == QuantityKind::kFlux ? kRightAxis : kLeftAxis;
    curve.pointsMarked = PointsMarked(column);
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      if (startsPiece[r] || curve.pieces.empty()) curve.pieces.emplace_back();
      const double x = table.rows[r][data.x];
      const double y = table.rows[r][column];
      const bool shown = Plottable(x) && Plottable(y) && (!logX || x > 0.0) && (!logY || y > 0.0);
      if (shown) curve.pieces.back().emplace_back(x, y);
    }
    std::erase_if(curve.pieces, [](const auto& piece) { return piece.empty(); });
    curves.push_back(std::move(curve));
  }
  return curves;
}

AxisRange ResultsView::XRange(bool logX, bool logY) const {
  std::vector<double> values;
  for (const ResultsCurve& curve : Curves(logX, logY)) {
    for (const auto& piece : curve.pieces) {
      for (const auto& point : piece) values.push_back(point.first);
    }
  }
  return ValueAxisRange(values, logX);
}

AxisRange ResultsView::YRange(bool logX, bool logY, int axis) const {
  std::vector<double> values;
  for (const ResultsCurve& curve : Curves(logX, logY)) {
    if (axis != kEveryAxis && curve.axis != axis) continue;
    for (const auto& piece : curve.pieces) {
      for (const auto& point : piece) values.push_back(point.second);
    }
  }
  return ValueAxisRange(values, logY);
}

bool ResultsView::TwoValueAxes() const {
  const SourceData& data = Data(source_);
  bool fluxes = false, others = false;
  for (int column = 0; column < static_cast<int>(data.kinds.size()); ++column) {
    if (!YChosen(column)) continue;
    (data.kinds[column] == QuantityKind::kFlux ? fluxes : others) = true;
  }
  return fluxes && others;
}

std::string ResultsView::ColumnUnit(int column) const {
  const SourceData& data = Data(source_);
  if (column < 0 || column >= static_cast<int>(data.kinds.size())) return {};
  return UnitText(data.kinds[column], units_);
}

std::string ResultsView::ColumnTitleWithUnit(int column) const {
  const SourceData& data = Data(source_);
  if (column < 0 || column >= static_cast<int>(data.titles.size())) return {};
  return WithUnit(data.titles[column], ColumnUnit(column));
}

std::string ResultsView::XAxisTitle() const {
  return ColumnTitleWithUnit(Data(source_).x);
}

std::string ResultsView::YAxisTitle(int axis) const {
  const SourceData& data = Data(source_);
  const bool twoAxes = TwoValueAxes();
  std::vector<QuantityKind> kinds;
  for (int column = 0; column < static_cast<int>(data.kinds.size()); ++column) {
    if (!YChosen(column)) continue;
    const int on = twoAxes && data.kinds[column] == QuantityKind::kFlux ? kRightAxis : kLeftAxis;
    if (on == axis) kinds.push_back(data.kinds[column]);
  }
  return AxisUnitTitle(kinds, units_);
}

bool ResultsView::PointsMarked(int column) const {
  const SourceData& data = Data(source_);
  return column >= 0 && column < static_cast<int>(data.marked.size()) && data.marked[column];
}

void ResultsView::SetPointsMarked(int column, bool marked) {
  SourceData& data = Data(source_);
  if (column >= 0 && column < static_cast<int>(data.marked.size())) data.marked[column] = marked;
}

void ResultsView::SetAllPointsMarked(bool marked) {
  SourceData& data = Data(source_);
  data.marked.assign(data.marked.size(), marked);
}

void ResultsView::SetEventFirings(std::vector<EventFiring> firings, long long leftOut) {
  firings_ = std::move(firings);
  firingsLeftOut_ = leftOut;
}

std::vector<ResultsEventMark> ResultsView::EventMarks(bool logX) const {
  std::vector<ResultsEventMark> marks;
  const SourceData& data = Data(source_);
  if (source_ != ResultsSource::kTimeCourse || scan_ || !HasData(source_) ||
      data.timeColumn < 0 || data.x != data.timeColumn) {
    return marks;
  }
  for (const EventFiring& firing : firings_) {
    if (firing.event < 0 || firing.event >= static_cast<int>(eventNames_.size())) continue;
    if (!Plottable(firing.time) || (logX && !(firing.time > 0.0))) continue;
    marks.push_back({firing.time, eventNames_[static_cast<std::size_t>(firing.event)]});
  }
  return marks;
}

std::string ResultsView::ChartCsv(bool logX, bool logY) const {
  const SourceData& data = Data(source_);
  const DataTable& table = data.table;
  if (table.rows.empty() || data.x < 0 || data.x >= table.columns) return {};
  std::vector<int> drawn;
  for (int column = 0; column < table.columns; ++column) {
    if (YChosen(column)) drawn.push_back(column);
  }
  std::string csv = CsvField(data.titles[data.x]);
  for (int column : drawn) csv += "," + CsvField(data.titles[column]);
  csv += "\n";
  auto shown = [](double value, bool logarithmic) {
    return Plottable(value) && (!logarithmic || value > 0.0);
  };
  for (const std::vector<double>& row : table.rows) {
    if (!shown(row[data.x], logX)) continue;
    std::string line = RealText(row[data.x], kCsvDigits);
    bool any = drawn.empty();
    for (int column : drawn) {
      line += ",";
      if (shown(row[column], logY)) {
        line += RealText(row[column], kCsvDigits);
        any = true;
      }
    }
    if (any) csv += line + "\n";
  }
  return csv;
}

bool ResultsView::ShowsTable() const {
  return HasData(source_) && (tableAsked_ || Data(source_).table.rows.size() == 1);
}

ResultsTable ResultsView::Table() const {
  const SourceData& data = Data(source_);
  const DataTable& table = data.table;
  ResultsTable shown;
  auto title = [&data](int column) {
    return column < static_cast<int>(data.titles.size()) ? data.titles[column] : std::string();
  };
  if (table.rows.size() == 1) {
    shown.byColumn = true;
    shown.headers = {"Quantity", "Value", "Unit"};
    for (int column = 0; column < table.columns; ++column) {
      shown.rows.push_back({title(column), TableValue(table.rows[0][column]), ColumnUnit(column)});
    }
    return shown;
  }
  for (int column = 0; column < table.columns; ++column) {
    shown.headers.push_back(column < static_cast<int>(data.titles.size())
                                ? ColumnTitleWithUnit(column)
                                : std::string());
  }
  for (const std::vector<double>& row : table.rows) {
    std::vector<std::string>& line = shown.rows.emplace_back();
    for (double value : row) line.push_back(TableValue(value));
  }
  return shown;
}

}  // namespace vireon
