#include "app/trace_chart.h"

#include <algorithm>

namespace vireon {
namespace {

// A range whose ends coincide is widened to 95 % and 105 % of the value.
constexpr double kFlatLowFactor = 0.95;
constexpr double kFlatHighFactor = 1.05;

}  // namespace

void TraceChart::Reset(int capacity) {
  const int n = std::max(capacity, 1);
  x_.assign(n, 0.0);
  y_.assign(n, 0.0);
  for (int i = 0; i < n; ++i) x_[i] = i;
  writePosition_ = 0;
  written_ = 0;
  overwrittenY_ = 0.0;
  sweep_ = 0;
  markers_.clear();
  range_ = ChartRange{};
  scale_ = kChartExtent / (range_.upper - range_.lower);
}

ChartRange TraceChart::AddPoint(double x, double y) {
  if (y_.empty()) Reset(1);
  const int n = capacity();
  const double oldX = x_[writePosition_];
  const double oldY = y_[writePosition_];
  overwrittenY_ = oldY;
  const int slot = writePosition_;
  std::erase_if(markers_,
                [this, slot](const ChartMarker& m) { return m.slot == slot && m.sweep < sweep_; });
  x_[writePosition_] = x;
  y_[writePosition_] = y;
  writePosition_ = (writePosition_ + 1) % n;
  if (writePosition_ == 0) ++sweep_;
  written_ = std::min(written_ + 1, n);

  // The point just overwritten still counts for this update.
  xLower_ = xUpper_ = oldX;
  double lower = oldY, upper = oldY;
  for (int i = 0; i < n; ++i) {
    xLower_ = std::min(xLower_, x_[i]);
    xUpper_ = std::max(xUpper_, x_[i]);
    lower = std::min(lower, y_[i]);
    upper = std::max(upper, y_[i]);
  }
  if (lower == 0.0 && upper == 0.0) {
    lower = -kZeroRangeHalfWidth;
    upper = kZeroRangeHalfWidth;
  } else if (lower == upper) {
    const double value = lower;
    lower = value * (value < 0.0 ? kFlatHighFactor : kFlatLowFactor);
    upper = value * (value < 0.0 ? kFlatLowFactor : kFlatHighFactor);
  }
  range_ = ChartRange{lower, upper};
  scale_ = kChartExtent / (upper - lower);
  return range_;
}

void TraceChart::AddMarker(double x, std::string label) {
  if (y_.empty()) Reset(1);
  const int next = writePosition_;
  const auto waiting = std::count_if(markers_.begin(), markers_.end(), [this, next](const auto& m) {
    return m.slot == next && m.sweep == sweep_;
  });
  if (waiting >= kMaxMarkersPerSlot) return;
  ChartMarker marker;
  marker.label = std::move(label);
  marker.slot = next;
  marker.sweep = sweep_;
  // Before any point, or at the start of a sweep, the marker stands at the
  // first slot; otherwise between the newest slot and the next, by the
  // spacing in x of the last two points.
  const int newest = NewestSlot();
  if (empty() || next == 0 || newest == 0) {
    marker.x = SlotX(next);
  } else {
    const double spacing = x_[newest] - x_[newest - 1];
    double fraction = spacing != 0.0 ? (x - x_[newest]) / spacing : 1.0;
    if (!(fraction >= 0.0)) fraction = 0.0;
    fraction = std::min(fraction, 1.0);
    const int from = SlotX(newest);
    marker.x = from + static_cast<int>(fraction * (SlotX(next) - from));
  }
  markers_.push_back(std::move(marker));
}

int TraceChart::SlotX(int slot) const {
  const int n = capacity();
  if (n <= 1) return 0;
  return static_cast<int>(static_cast<long long>(slot) * kChartLastX / (n - 1));
}

int TraceChart::ValueY(double value) const {
  const double logical = (value - range_.lower) * scale_;
  // Values beyond the int range (an infinite result) are pinned to the frame.
  if (!(logical > -kChartExtent)) return -kChartExtent;
  if (logical > 2.0 * kChartExtent) return 2 * kChartExtent;
  return static_cast<int>(logical);
}

int TraceChart::NewestSlot() const {
  return writePosition_ > 0 ? writePosition_ - 1 : capacity() - 1;
}

}  // namespace vireon
