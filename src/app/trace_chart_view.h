#pragma once
// Draws one TraceChart with QPainter: white background, a frame, the sweep
// as two polylines meeting at the cursor, and the red cursor line.

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

 private:
  TraceChart chart_;
};

}  // namespace vireon
