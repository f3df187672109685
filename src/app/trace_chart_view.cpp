#include "app/trace_chart_view.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace vireon {
namespace {

// Pixels between the curve's range and the frame, above and below.
constexpr double kCurveMargin = 4.0;
// Pixels either side of a marker within which hovering names its event.
constexpr double kMarkerHoverPixels = 3.0;
// Pixels between the marker line and its label.
constexpr double kLabelGap = 2.0;

// The frame as four lines one device pixel wide on the outermost device
// pixels of the widget, so that no scaling of the screen (1.5 gives
// fractional device positions) rounds one of them away.
void DrawFrame(QPainter& painter, const QSize& size, const QColor& colour) {
  // The device pixels per logical one, however the painting reaches them
  // (the screen's scaling, or a picture of its own ratio).
  const qreal scale = std::abs(painter.deviceTransform().m11());
  const qreal ratio = scale > 0.0 ? scale : 1.0;
  const qreal pixel = 1.0 / ratio;
  const qreal right = std::max(std::floor(size.width() * ratio) - 1.0, 0.0) * pixel;
  const qreal bottom = std::max(std::floor(size.height() * ratio) - 1.0, 0.0) * pixel;
  painter.fillRect(QRectF(0.0, 0.0, right + pixel, pixel), colour);
  painter.fillRect(QRectF(0.0, bottom, right + pixel, pixel), colour);
  painter.fillRect(QRectF(0.0, 0.0, pixel, bottom + pixel), colour);
  painter.fillRect(QRectF(right, 0.0, pixel, bottom + pixel), colour);
}

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

  // The theme's colours: the base of a text field behind, its text for the
  // frame and the curve, its link colour for the markers (a dark theme gets
  // a light curve on dark).
  const QColor background = palette().color(QPalette::Base);
  const QColor ink = palette().color(QPalette::Text);
  const QColor markerColour = palette().color(QPalette::Link);
  painter.fillRect(rect(), background);
  painter.setPen(ink);

  // A chart without points (a channel not used, or a run not yet started)
  // is an empty frame.
  if (chart_.empty()) {
    DrawFrame(painter, size(), ink);
    return;
  }
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

  // The markers, labelled from the left while each label clears the one
  // before it.
  painter.setPen(QPen(markerColour, 1, Qt::DashLine));
  QFont font = painter.font();
  font.setPointSizeF(std::max(font.pointSizeF() * 0.8, 6.0));
  painter.setFont(font);
  const QFontMetricsF metrics(font);
  std::vector<const ChartMarker*> byX;
  for (const ChartMarker& marker : chart_.markers()) byX.push_back(&marker);
  std::sort(byX.begin(), byX.end(), [](const auto* a, const auto* b) { return a->x < b->x; });
  double labelsEnd = -1.0;
  for (const ChartMarker* marker : byX) {
    const QPointF top = at(marker->x, kChartLastX);
    painter.drawLine(top, at(marker->x, 1));
    const QString label = QString::fromStdString(marker->label);
    const double left = top.x() + kLabelGap;
    const double textWidth = metrics.horizontalAdvance(label);
    if (left > labelsEnd && left + textWidth <= w) {
      // On the background, so that a curve passing under the label leaves it
      // legible.
      const QPointF baseline(left, top.y() + metrics.ascent() + kLabelGap);
      painter.fillRect(QRectF(left, baseline.y() - metrics.ascent(), textWidth, metrics.height()),
                       background);
      painter.drawText(baseline, label);
      labelsEnd = left + textWidth + kLabelGap;
    }
  }

  painter.setPen(QPen(Qt::red, 1));
  const int cursorX = chart_.SlotX(chart_.NewestSlot());
  painter.drawLine(at(cursorX, 1), at(cursorX, kChartExtent));
  // Last, so that neither the cursor nor a marker crosses it.
  DrawFrame(painter, size(), ink);
}

bool TraceChartView::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const double w = width() - 1;
  QStringList names;
  for (const ChartMarker& marker : chart_.markers()) {
    const double x = marker.x * w / kChartExtent;
    if (std::fabs(x - help->pos().x()) <= kMarkerHoverPixels) {
      names << QString::fromStdString(marker.label);
    }
  }
  if (names.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), names.join(", "), this);
  }
  return true;
}

}  // namespace vireon
