#include "app/trace_chart.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QLineSeries>
#include <QPainter>

#include "app/trace_chart_view.h"
#include "qt_application.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

TEST(TraceChartRangeTest, ZeroValuesShowTheSmallRangeAroundZero) {
  TraceChart chart;
  chart.Reset(5);
  ChartRange range;
  for (int i = 0; i < 12; ++i) range = chart.AddPoint(i, 0.0);
  EXPECT_CLOSE(range.lower, -kZeroRangeHalfWidth, test::kTightAbs, test::kTightRel);
  EXPECT_CLOSE(range.upper, kZeroRangeHalfWidth, test::kTightAbs, test::kTightRel);
}

TEST(TraceChartRangeTest, ConstantValueKeepsZeroUntilTheChartIsFilledOnce) {
  TraceChart chart;
  chart.Reset(4);
  ChartRange range;
  for (int i = 0; i < 4; ++i) {
    range = chart.AddPoint(i, 2.0);
    // Empty slots (and, at the fourth point, the overwritten one) still hold 0.
    EXPECT_CLOSE(range.lower, 0.0, test::kTightAbs, test::kTightRel);
    EXPECT_CLOSE(range.upper, 2.0, test::kTightAbs, test::kTightRel);
  }
  // The first point of the second sweep overwrites a 2: every value is 2.
  range = chart.AddPoint(4, 2.0);
  EXPECT_CLOSE(range.lower, 1.9, test::kTightAbs, test::kTightRel);
  EXPECT_CLOSE(range.upper, 2.1, test::kTightAbs, test::kTightRel);
  EXPECT_CLOSE(chart.scale(), kChartExtent / 0.2, test::kTightAbs, test::kTightRel);
}

TEST(TraceChartRangeTest, NegativeConstantWidensTheOtherWay) {
  TraceChart chart;
  chart.Reset(2);
  ChartRange range;
  for (int i = 0; i < 3; ++i) range = chart.AddPoint(i, -4.0);
  EXPECT_CLOSE(range.lower, -4.2, test::kTightAbs, test::kTightRel);
  EXPECT_CLOSE(range.upper, -3.8, test::kTightAbs, test::kTightRel);
}

TEST(TraceChartSweepTest, WritePositionWrapsAndTheCursorFollowsTheNewestSlot) {
  TraceChart chart;
  chart.Reset(3);
  EXPECT_EQ(chart.NewestSlot(), 2);
  EXPECT_TRUE(chart.empty());
  chart.AddPoint(0, 1.0);
  EXPECT_EQ(chart.writePosition(), 1);
  EXPECT_EQ(chart.NewestSlot(), 0);
  EXPECT_FALSE(chart.empty());
  chart.AddPoint(1, 5.0);
  EXPECT_FALSE(chart.full());  // slot 2 holds no value of the run yet
  chart.AddPoint(2, 3.0);
  EXPECT_EQ(chart.writePosition(), 0);
  EXPECT_EQ(chart.NewestSlot(), 2);
  EXPECT_TRUE(chart.full());
  chart.AddPoint(3, 7.0);
  EXPECT_TRUE(chart.full());
  EXPECT_CLOSE(chart.overwrittenY(), 1.0, test::kTightAbs, test::kTightRel);
  EXPECT_CLOSE(chart.y(0), 7.0, test::kTightAbs, test::kTightRel);
  chart.Reset(3);
  EXPECT_TRUE(chart.empty());
  EXPECT_FALSE(chart.full());
}

TEST(TraceChartSweepTest, SlotsSpanTheWidthAndValuesTheHeight) {
  TraceChart chart;
  chart.Reset(51);
  EXPECT_EQ(chart.SlotX(0), 0);
  EXPECT_EQ(chart.SlotX(50), kChartLastX);
  EXPECT_EQ(chart.SlotX(25), 25 * kChartLastX / 50);
  chart.AddPoint(0, 10.0);
  // The range is 0 to 10: its ends map to the bottom and the top.
  EXPECT_EQ(chart.ValueY(0.0), 0);
  EXPECT_EQ(chart.ValueY(10.0), kChartExtent);
  EXPECT_EQ(chart.ValueY(5.0), kChartExtent / 2);
}

// A marker stands between the newest slot and the next as far as its time
// lies into the points' spacing, goes when the next sweep writes that next
// slot, and waits at one slot only kMaxMarkersPerSlot times.
TEST(TraceChartMarkerTest, MarkersStandBetweenTheirPointsAndGoWithTheSweep) {
  TraceChart chart;
  chart.Reset(5);
  chart.AddPoint(0.0, 1.0);
  chart.AddPoint(2.0, 1.0);
  chart.AddMarker(3.5, "dose");  // three quarters into the next spacing
  ASSERT_EQ(chart.markers().size(), 1u);
  const ChartMarker& marker = chart.markers()[0];
  EXPECT_EQ(marker.label, "dose");
  EXPECT_EQ(marker.slot, 2);
  EXPECT_EQ(marker.x, chart.SlotX(1) + (chart.SlotX(2) - chart.SlotX(1)) * 3 / 4);
  for (int i = 0; i < 2 * TraceChart::kMaxMarkersPerSlot; ++i) chart.AddMarker(9.0, "late");
  EXPECT_EQ(chart.markers().size(), static_cast<std::size_t>(TraceChart::kMaxMarkersPerSlot));
  EXPECT_EQ(chart.markers().back().x, chart.SlotX(2));  // beyond the spacing: at the next slot
  // The rest of this sweep and the next one up to slot 2 keep them.
  for (int i = 2; i < 7; ++i) chart.AddPoint(2.0 * i, 1.0);
  EXPECT_EQ(chart.markers().size(), static_cast<std::size_t>(TraceChart::kMaxMarkersPerSlot));
  chart.AddPoint(14.0, 1.0);  // slot 2 of the second sweep
  EXPECT_TRUE(chart.markers().empty());
  chart.AddMarker(15.0, "again");
  EXPECT_EQ(chart.markers().size(), 1u);
  chart.Reset(5);
  EXPECT_TRUE(chart.markers().empty());
}

// Whether a row (or column) of device pixels near `at` is dark over the
// whole of [from, to).
bool DarkLineNear(const QImage& image, bool row, int at, int from, int to) {
  for (int line = at - 2; line <= at + 2; ++line) {
    if (line < 0 || line >= (row ? image.height() : image.width())) continue;
    bool dark = true;
    for (int i = from; i < to && dark; ++i) {
      const QColor c = row ? image.pixelColor(i, line) : image.pixelColor(line, i);
      dark = c.lightness() <= 100;
    }
    if (dark) return true;
  }
  return false;
}

// The frame round the plot area keeps its four lines at any scaling of the
// screen, also where the widget's size in device pixels is fractional.
TEST(TraceChartViewTest, TheFrameKeepsItsFourLinesAtEveryScaling) {
  test::TestApplication();
  TraceChartView view;
  view.chart().Reset(10);
  // Half a sweep, so that the cursor stands inside the frame.
  for (int i = 0; i < 5; ++i) view.chart().AddPoint(i, i % 3);
  view.Refresh();
  for (const double ratio : {1.0, 1.25, 1.5, 1.75, 2.0}) {
    for (const QSize size : {QSize(160, 60), QSize(171, 63), QSize(243, 97)}) {
      SCOPED_TRACE(testing::Message() << ratio << " " << size.width() << "x" << size.height());
      view.resize(size);
      QCoreApplication::processEvents();
      QImage image(static_cast<int>(size.width() * ratio), static_cast<int>(size.height() * ratio),
                   QImage::Format_RGB32);
      image.setDevicePixelRatio(ratio);
      image.fill(Qt::white);
      QPainter painter(&image);
      view.render(&painter);
      painter.end();
      const QRectF area = view.plotArea();
      ASSERT_GT(area.width(), 100.0);
      // The edges in device pixels, and the stretch of each checked (away
      // from the corners).
      const int top = static_cast<int>(area.top() * ratio);
      const int bottom = static_cast<int>(area.bottom() * ratio);
      const int left = static_cast<int>(area.left() * ratio);
      const int right = static_cast<int>(area.right() * ratio);
      EXPECT_TRUE(DarkLineNear(image, true, top, left + 3, right - 3));
      EXPECT_TRUE(DarkLineNear(image, true, bottom, left + 3, right - 3));
      EXPECT_TRUE(DarkLineNear(image, false, left, top + 3, bottom - 3));
      EXPECT_TRUE(DarkLineNear(image, false, right, top + 3, bottom - 3));
    }
  }
}

// The view draws what the chart holds: the sweep left of the cursor, the
// previous one right of it from where the old curve was, the cursor at the
// newest slot, and a dashed line with its label for a marker.
TEST(TraceChartViewTest, TheSweepCursorAndMarkersAreDrawnFromTheChart) {
  test::TestApplication();
  TraceChartView view;
  view.resize(400, 120);
  TraceChart& chart = view.chart();
  chart.Reset(4);
  for (int i = 0; i < 5; ++i) chart.AddPoint(i, i);  // the fifth overwrites slot 0
  chart.AddMarker(4.5, "dose");
  view.Refresh();
  ASSERT_EQ(view.newSweep().count(), 1);
  EXPECT_EQ(view.newSweep().at(0), QPointF(0, chart.ValueY(4.0)));
  ASSERT_EQ(view.previousSweep().count(), 4);
  EXPECT_EQ(view.previousSweep().at(0), QPointF(0, chart.ValueY(chart.overwrittenY())));
  EXPECT_EQ(view.previousSweep().at(3), QPointF(kChartLastX, chart.ValueY(3.0)));
  ASSERT_EQ(view.cursor().count(), 2);
  EXPECT_EQ(view.cursor().at(0).x(), chart.SlotX(chart.NewestSlot()));
  ASSERT_EQ(view.markerLines().size(), 1);
  EXPECT_EQ(view.markerLines()[0]->at(0).x(), chart.markers()[0].x);
  EXPECT_EQ(view.markerLabels(), QStringList{"dose"});
  // A reset empties the drawing.
  chart.Reset(4);
  view.Refresh();
  EXPECT_EQ(view.newSweep().count(), 0);
  EXPECT_EQ(view.cursor().count(), 0);
  EXPECT_TRUE(view.markerLines().isEmpty());
}

}  // namespace
}  // namespace vireon
