#pragma once
// Draws one TraceChart with Qt Charts, as the Results page draws its
// curves, so that the strip follows the theme (light or dark) and the
// screen's scaling: in the chart's logical coordinates 0 to kChartExtent
// both ways, a framed plot area, the sweep as two polylines meeting at the
// cursor, the red cursor line, and each event marker as a dashed line with
// the event's name beside its top where there is room (hovering a marker
// names every event there). Refresh() draws what the TraceChart holds.

#include <QList>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "app/trace_chart.h"

class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace vireon {

class TraceChartView : public QWidget {
  Q_OBJECT

 public:
  explicit TraceChartView(QWidget* parent = nullptr);

  TraceChart& chart() { return chart_; }
  const TraceChart& chart() const { return chart_; }
  // Draws the chart's points and markers again (after AddPoint, AddMarker
  // or Reset).
  void Refresh();

  // The drawing, for tests: the new sweep (left of the cursor), the
  // previous one (right of it), the cursor and the marker lines, in
  // logical coordinates; and the plot area in the widget's coordinates.
  const QLineSeries& newSweep() const { return *newSweep_; }
  const QLineSeries& previousSweep() const { return *previousSweep_; }
  const QLineSeries& cursor() const { return *cursor_; }
  const QList<QLineSeries*>& markerLines() const { return markerLines_; }
  QRectF plotArea() const;
  // The names shown beside the markers' tops.
  QStringList markerLabels() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FollowPalette();
  void DrawMarkers();

  TraceChart chart_;
  QChartView* view_ = nullptr;
  QChart* qchart_ = nullptr;
  QValueAxis* x_ = nullptr;
  QValueAxis* y_ = nullptr;
  QLineSeries* newSweep_ = nullptr;
  QLineSeries* previousSweep_ = nullptr;
  QLineSeries* cursor_ = nullptr;
  QList<QLineSeries*> markerLines_;
  QList<QScatterSeries*> markerLabels_;
  // What the marker lines were drawn for: each marker's x and name, and the
  // plot area's width.
  std::vector<std::pair<int, std::string>> drawnMarkers_;
  double drawnWidth_ = -1.0;
};

}  // namespace vireon
