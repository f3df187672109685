#include "app/trace_chart_view.h"

#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLineSeries>
#include <QScatterSeries>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <utility>

namespace vireon {
namespace {

// Logical units between the curve's range and the frame, above and below,
// so that a value at the end of the range stays clear of the frame.
constexpr double kCurveMargin = kChartExtent * 0.03;
// Pixels between the widget's edge and the frame.
constexpr int kFrameInset = 2;
// Pixels between a marker line and its label.
constexpr double kLabelGap = 2.0;
// The labels' font against the widget's.
constexpr double kLabelFontFactor = 0.8;
constexpr double kMinLabelPointSize = 6.0;

QLineSeries* AddLine(QChart* chart, QValueAxis* x, QValueAxis* y) {
  auto* series = new QLineSeries;
  chart->addSeries(series);
  series->attachAxis(x);
  series->attachAxis(y);
  return series;
}

}  // namespace

TraceChartView::TraceChartView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(160, 60);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  qchart_ = new QChart;
  qchart_->legend()->setVisible(false);
  // The frame stands a little inside the widget, so that no scaling of the
  // screen rounds an edge of it off the widget's last device pixels.
  qchart_->setMargins(QMargins(kFrameInset, kFrameInset, kFrameInset, kFrameInset));
  qchart_->layout()->setContentsMargins(0, 0, 0, 0);
  qchart_->setBackgroundRoundness(0);
  x_ = new QValueAxis;
  y_ = new QValueAxis;
  x_->setRange(0, kChartExtent);
  y_->setRange(-kCurveMargin, kChartExtent + kCurveMargin);
  for (QValueAxis* axis : {x_, y_}) {
    axis->setLabelsVisible(false);
    axis->setGridLineVisible(false);
    axis->setLineVisible(false);
    axis->setTickCount(2);
  }
  qchart_->addAxis(x_, Qt::AlignBottom);
  qchart_->addAxis(y_, Qt::AlignLeft);
  // The axes take no room: the plot area fills the widget.
  x_->setVisible(false);
  y_->setVisible(false);
  newSweep_ = AddLine(qchart_, x_, y_);
  previousSweep_ = AddLine(qchart_, x_, y_);
  cursor_ = AddLine(qchart_, x_, y_);
  view_ = new QChartView(qchart_);
  view_->setRenderHint(QPainter::Antialiasing, false);
  view_->setFrameShape(QFrame::NoFrame);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  chart_.Reset(1);
  FollowPalette();
  Refresh();
}

void TraceChartView::FollowPalette() {
  const QPalette colours = palette();
  qchart_->setBackgroundBrush(colours.color(QPalette::Window));
  qchart_->setBackgroundPen(Qt::NoPen);
  qchart_->setPlotAreaBackgroundVisible(true);
  qchart_->setPlotAreaBackgroundBrush(colours.color(QPalette::Base));
  // A cosmetic pen of one device pixel or more at any scaling, so that no
  // edge of the frame is rounded away.
  QPen frame(colours.color(QPalette::Text));
  frame.setWidthF(1.5);
  qchart_->setPlotAreaBackgroundPen(frame);
  QPen ink(colours.color(QPalette::Text));
  ink.setWidthF(1.0);
  newSweep_->setPen(ink);
  previousSweep_->setPen(ink);
  QPen red(Qt::red);
  red.setWidthF(1.0);
  cursor_->setPen(red);
  const QColor markerColour = colours.color(QPalette::Link);
  for (QLineSeries* line : markerLines_) line->setPen(QPen(markerColour, 1.0, Qt::DashLine));
  for (QScatterSeries* label : markerLabels_) label->setPointLabelsColor(markerColour);
}

void TraceChartView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) FollowPalette();
  QWidget::changeEvent(event);
}

void TraceChartView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The page refreshes its charts only while it is seen.
  Refresh();
}

void TraceChartView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Which labels have room depends on the width.
  DrawMarkers();
}

void TraceChartView::Refresh() {
  QList<QPointF> left, right;
  if (!chart_.empty()) {
    const int n = chart_.capacity();
    const int write = chart_.writePosition();
    auto at = [this](int slot, double value) {
      return QPointF(chart_.SlotX(slot), chart_.ValueY(value));
    };
    for (int i = 0; i < write; ++i) left.append(at(i, chart_.y(i)));
    // The previous sweep, right of the cursor, starting where the old curve
    // was; during the first sweep there is none yet.
    if (chart_.full()) {
      right.append(QPointF(write > 0 ? chart_.SlotX(write - 1) : 0,
                           chart_.ValueY(chart_.overwrittenY())));
      for (int i = write; i < n; ++i) right.append(at(i, chart_.y(i)));
    }
  }
  newSweep_->replace(left);
  previousSweep_->replace(right);
  QList<QPointF> cursor;
  if (!chart_.empty()) {
    const int x = chart_.SlotX(chart_.NewestSlot());
    cursor = {QPointF(x, 1), QPointF(x, kChartExtent)};
  }
  cursor_->replace(cursor);
  DrawMarkers();
}

void TraceChartView::DrawMarkers() {
  // Most points bring no new marker: the lines are made again only when
  // the markers or the room for their labels changed.
  std::vector<std::pair<int, std::string>> markers;
  for (const ChartMarker& marker : chart_.markers()) markers.emplace_back(marker.x, marker.label);
  const double room = plotArea().width();
  if (markers == drawnMarkers_ && room == drawnWidth_) return;
  drawnMarkers_ = std::move(markers);
  drawnWidth_ = room;

  for (QLineSeries* line : markerLines_) qchart_->removeSeries(line);
  for (QScatterSeries* label : markerLabels_) qchart_->removeSeries(label);
  qDeleteAll(markerLines_);
  qDeleteAll(markerLabels_);
  markerLines_.clear();
  markerLabels_.clear();

  std::vector<const ChartMarker*> byX;
  for (const ChartMarker& marker : chart_.markers()) byX.push_back(&marker);
  std::sort(byX.begin(), byX.end(), [](const auto* a, const auto* b) { return a->x < b->x; });
  QFont font = this->font();
  font.setPointSizeF(std::max(font.pointSizeF() * kLabelFontFactor, kMinLabelPointSize));
  const QFontMetricsF metrics(font);
  const double width = std::max(plotArea().width(), 1.0);
  const QColor markerColour = palette().color(QPalette::Link);
  // Labelled from the left while each label clears the one before it and
  // the frame's right edge.
  double labelsEnd = -1.0;
  for (const ChartMarker* marker : byX) {
    QLineSeries* line = AddLine(qchart_, x_, y_);
    line->setPen(QPen(markerColour, 1.0, Qt::DashLine));
    line->append(marker->x, 1);
    line->append(marker->x, kChartLastX);
    const int x = marker->x;
    connect(line, &QLineSeries::hovered, this, [this, x](const QPointF&, bool state) {
      if (!state) {
        QToolTip::hideText();
        return;
      }
      QStringList names;
      for (const ChartMarker& m : chart_.markers()) {
        if (m.x == x) names << QString::fromStdString(m.label);
      }
      QToolTip::showText(QCursor::pos(), names.join(", "), this);
    });
    markerLines_.append(line);

    const QString text = QString::fromStdString(marker->label);
    const double left = marker->x * width / kChartExtent + kLabelGap;
    const double textWidth = metrics.horizontalAdvance(text);
    if (text.isEmpty() || left <= labelsEnd || left + textWidth > width) continue;
    labelsEnd = left + textWidth + kLabelGap;
    // A point of no size at the marker's top whose label is the name.
    auto* label = new QScatterSeries;
    qchart_->addSeries(label);
    label->attachAxis(x_);
    label->attachAxis(y_);
    label->setMarkerSize(0.0);
    label->setPen(Qt::NoPen);
    label->setBrush(Qt::NoBrush);
    label->setPointLabelsFormat(text);
    label->setPointLabelsFont(font);
    label->setPointLabelsColor(markerColour);
    label->setPointLabelsClipping(false);
    label->setPointLabelsVisible(true);
    // The label's left edge just right of the line, its top just under the
    // frame: a point label stands centred above its point.
    const double logicalPerPixelX = kChartExtent / width;
    const double height = std::max(plotArea().height(), 1.0);
    const double logicalPerPixelY = (kChartExtent + 2.0 * kCurveMargin) / height;
    label->append(marker->x + (kLabelGap + textWidth / 2.0) * logicalPerPixelX,
                  kChartLastX + kCurveMargin - (metrics.height() + kLabelGap) * logicalPerPixelY);
    markerLabels_.append(label);
  }
}

QRectF TraceChartView::plotArea() const {
  const QRectF area = qchart_->plotArea();
  return area.isEmpty() ? QRectF(QPointF(0, 0), QSizeF(size())) : area;
}

QStringList TraceChartView::markerLabels() const {
  QStringList labels;
  for (const QScatterSeries* label : markerLabels_) labels << label->pointLabelsFormat();
  return labels;
}

}  // namespace vireon
