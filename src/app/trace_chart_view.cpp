#include "app/trace_chart_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace vireon {
namespace {

// Pixels between the curve's range and the frame, above and below.
constexpr double kCurveMargin = 4.0;

}  // namespace

TraceChartView::TraceChartView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(160, 60);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  chart_.Reset(1);
}

void TraceChartView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const double w = width() - 1;
  const double h = height() - 1;
  // Logical coordinates 0 to kChartExtent both ways, y pointing upwards.
  auto at = [w, h](int x, int y) {
    return QPointF(x * w / kChartExtent, h - y * h / kChartExtent);
  };
  // The curve keeps clear of the frame's top and bottom edges, so that a
  // value at the end of the range stays visible.
  const double inner = std::max(h - 2.0 * kCurveMargin, 1.0);
  auto curveAt = [w, h, inner](int x, int y) {
    return QPointF(x * w / kChartExtent, h - kCurveMargin - y * inner / kChartExtent);
  };

  painter.fillRect(rect(), Qt::white);
  painter.setPen(Qt::black);
  painter.drawRect(QRectF(at(1, kChartLastX), at(kChartLastX, 1)));

  // A chart without points (a channel not used, or a run not yet started)
  // is an empty frame.
  if (chart_.empty()) return;
  const int n = chart_.capacity();
  const int write = chart_.writePosition();
  QPainterPath sweep;
  // The new sweep, left of the cursor.
  for (int i = 0; i < write; ++i) {
    const QPointF p = curveAt(chart_.SlotX(i), chart_.ValueY(chart_.y(i)));
    if (i == 0) {
      sweep.moveTo(p);
    } else {
      sweep.lineTo(p);
    }
  }
  // The previous sweep, right of it, starting where the old curve was; during
  // the first sweep there is none yet.
  if (chart_.full()) {
    sweep.moveTo(
        curveAt(write > 0 ? chart_.SlotX(write - 1) : 0, chart_.ValueY(chart_.overwrittenY())));
    for (int i = write; i < n; ++i) {
      sweep.lineTo(curveAt(chart_.SlotX(i), chart_.ValueY(chart_.y(i))));
    }
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.drawPath(sweep);

  painter.setPen(QPen(Qt::red, 1));
  const int cursorX = chart_.SlotX(chart_.NewestSlot());
  painter.drawLine(at(cursorX, 1), at(cursorX, kChartExtent));
}

}  // namespace vireon
