#pragma once
// The strip chart of one channel of the interactive time-course page: a ring
// buffer of the last n points and the y range that fits them. It is a sweep
// display: points keep their slot and new points overwrite the oldest from
// left to right. No drawing here; the view maps the slots onto the widget in
// logical coordinates from 0 to kChartExtent.

#include <string>
#include <vector>

namespace vireon {

// Logical width and height of the chart.
inline constexpr int kChartExtent = 30000;
// The last slot's x and the frame's far corner.
inline constexpr int kChartLastX = 29998;
// The y range of a chart whose values are all zero.
inline constexpr double kZeroRangeHalfWidth = 0.005;

// An event carried out during the sweep, drawn as a vertical line at x.
struct ChartMarker {
  int x = 0;          // logical x
  std::string label;  // the event's name
  int slot = 0;       // the slot of the next point after it
  long long sweep = 0;
};

struct ChartRange {
  double lower = -kZeroRangeHalfWidth;
  double upper = kZeroRangeHalfWidth;
};

class TraceChart {
 public:
  // Empties the chart to `capacity` slots (at least 1) holding x = i, y = 0.
  void Reset(int capacity);

  // Stores the point at the write position and advances it; the x and y
  // ranges then cover every stored point and the one just overwritten.
  // Returns the y range. A marker of the previous sweep just left of the
  // slot goes, as the curve there does.
  ChartRange AddPoint(double x, double y);

  // Marks an event carried out at time x (of the points' x) since the
  // newest point: between it and the next slot, as far as x lies beyond it
  // in the points' spacing. At most kMaxMarkersPerSlot markers wait at one
  // slot; further ones there are dropped, so that a thousand events between
  // two points cost no more than a few.
  void AddMarker(double x, std::string label);
  const std::vector<ChartMarker>& markers() const { return markers_; }
  static constexpr int kMaxMarkersPerSlot = 4;

  int capacity() const { return static_cast<int>(y_.size()); }
  int writePosition() const { return writePosition_; }
  double y(int slot) const { return y_[slot]; }
  double overwrittenY() const { return overwrittenY_; }
  ChartRange range() const { return range_; }
  double scale() const { return scale_; }

  // Logical x of a slot: slot * 29998 / (n - 1), integer arithmetic.
  int SlotX(int slot) const;
  // Logical y of a value, truncated.
  int ValueY(double value) const;
  // The slot written last (n - 1 when the write position is 0).
  int NewestSlot() const;
  // Whether a point was stored since the reset, and whether every slot holds
  // one (the first sweep is complete). Slots not yet written hold the zero of
  // the reset, which counts for the range but is no value of the run.
  bool empty() const { return written_ == 0; }
  bool full() const { return written_ == capacity(); }

 private:
  std::vector<double> x_, y_;
  int writePosition_ = 0;
  int written_ = 0;
  double overwrittenY_ = 0.0;
  long long sweep_ = 0;  // how many times the write position has wrapped
  std::vector<ChartMarker> markers_;
  ChartRange range_;
  double xLower_ = 0.0, xUpper_ = 0.0;
  double scale_ = kChartExtent / (2 * kZeroRangeHalfWidth);
};

}  // namespace vireon
