#pragma once
// Draws one TraceChart with QPainter in the theme's colours (a text field's
// base behind, its text colour for the frame and the curve): a frame, the sweep
// as two polylines meeting at the cursor, the red cursor line, and each
// event marker as a dashed line with the event's name beside its top (where
// there is room; hovering a marker names every event there).

#include <QWidget>

#include "app/trace_chart.h"

namespace vireon {

class TraceChartView : public QWidget {
  Q_OBJECT

 public:
  explicit TraceChartView(QWidget* parent = nullptr);

  TraceChart& chart() { return chart_; }
  const TraceChart& chart() const { return chart_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  TraceChart chart_;
};

}  // namespace vireon
