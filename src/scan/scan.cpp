#include "scan/scan.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>

#include "engine/engine_state.h"
#include "engine/run_observer.h"
#include "engine/random.h"

namespace vireon {

namespace {

// A positive-normal item redraws until its value is positive; this bounds
// the redraws when no draw can be positive (mean and deviation both 0, or
// not numbers), where the value is then the last draw. With a positive
// deviation a draw is positive with probability at least 1/2.
constexpr int kMaxPositiveNormalDraws = 1000;
// The remaining time shown is capped here (about 114 000 years).
constexpr double kMaxRemainingSeconds = 3.6e12;

double PowerOfTen(double exponent) {
  return std::pow(10.0, exponent);
}

// The value of one item for point i, by the item's own kind. Returns false
// for an unknown kind, which sets nothing.
bool ScanValue(const ScanItem& item, int i, RandomGenerator& random, double& value) {
  const bool logarithmic = item.log != 0;
  switch (item.grid) {
    case kScanRegularGrid:
      value = logarithmic ? item.min * PowerOfTen(i * item.step) : item.min + i * item.step;
      return true;
    case kScanUniform: {
      const double u = random.Uniform();
      value = logarithmic ? item.min * PowerOfTen(item.range * u) : item.min + item.range * u;
      return true;
    }
    case kScanNormal: {
      const double g = random.Normal();
      value = logarithmic ? item.min * PowerOfTen(std::fabs(item.max) * g)
                          : item.min + std::fabs(item.max) * g;
      return true;
    }
    case kScanPositiveNormal: {
      if (logarithmic) {
        value = item.min * PowerOfTen(std::fabs(item.max) * random.Normal());
        return true;
      }
      int draws = 0;
      do {
        value = std::fabs(item.min) + std::fabs(item.max) * random.Normal();
      } while (!(value > 0.0) && ++draws < kMaxPositiveNormalDraws);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

int CountIterations(const std::vector<ScanItem>& items) {
  long long total = 1;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k != 0 && !items[k].IsMaster()) continue;
    total *= std::max(items[k].density, kScanMinimumDensity);
    if (total > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(total);
}

int PrepareScan(std::vector<ScanItem>& items) {
  if (items.empty()) return 0;
  items[0].independent = 1;
  int n = kScanMinimumDensity;
  for (ScanItem& item : items) {
    if (item.IsMaster()) {
      item.density = std::max(item.density, kScanMinimumDensity);
      n = item.density;
    }
    if (item.log != 0) {
      if (item.min <= 0.0 || item.max <= 0.0) {
        item.min = kScanDefaultMin;
        item.max = kScanDefaultMax;
      }
      item.range = std::log10(item.max) - std::log10(item.min);
    } else {
      item.range = item.max - item.min;
    }
    item.step = item.range / (n - 1);
  }
  return CountIterations(items);
}

void SetScanValues(std::vector<ScanItem>& items, int i, int first, int end,
                   RandomGenerator& random) {
  const int last = std::min(end, static_cast<int>(items.size()));
  for (int j = std::max(first, 0); j < last; ++j) {
    double value = 0.0;
    if (ScanValue(items[j], i, random, value) && items[j].value != nullptr) {
      *items[j].value = value;
    }
  }
}

std::string FormatRemainingTime(double seconds) {
  if (!(seconds >= 0.0)) return "--:--:--";
  const long long whole = static_cast<long long>(std::min(seconds, kMaxRemainingSeconds));
  char text[40];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                whole % 60);
  return text;
}

double ScanTickMilliseconds() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

ScanProgress::ScanProgress(EngineState& state, RunObserver* observer,
                           std::function<double()> tick)
    : state_(state),
      observer_(observer),
      tick_(std::move(tick)),
      lastProgressTick_(state.startTick - kScanFirstProgressLead),
      remainingTimeText_(FormatRemainingTime(kRemainingTimeUnknown)) {}

double ScanProgress::Now() const {
  return tick_ ? tick_() : ScanTickMilliseconds();
}

void ScanProgress::Restart() {
  lastProgressTick_ = state_.startTick - kScanFirstProgressLead;
}

void ScanProgress::BeforePoint() {
  const double now = Now();
  if (!(now - lastProgressTick_ > kScanProgressInterval)) return;
  lastProgressTick_ = now;
  const double elapsed = now - state_.startTick;
  if (state_.iteration > 0 && elapsed > 0.0) {
    state_.iterationRate = state_.iteration * 1000.0 / elapsed;
    state_.remainingTime = (state_.totalIterations - state_.iteration) / state_.iterationRate;
  } else {
    state_.iterationRate = 0.0;
    state_.remainingTime = kRemainingTimeUnknown;
  }
  remainingTimeText_ = FormatRemainingTime(state_.remainingTime);
  if (observer_ != nullptr) observer_->ScanProgress(state_.iteration);
}

ScanDriver::ScanDriver(std::vector<ScanItem>& items, RandomGenerator& random, EngineState& state,
                       RunObserver* observer, ScanCallbacks callbacks)
    : items_(items),
      random_(random),
      state_(state),
      callbacks_(std::move(callbacks)),
      progress_(state, observer, callbacks_.tick) {}

bool ScanDriver::Run() {
  stopped_ = false;
  progress_.Restart();
  if (items_.empty()) return true;
  state_.totalIterations = PrepareScan(items_);
  int last = static_cast<int>(items_.size()) - 1;
  while (last >= 0 && !items_[last].IsMaster()) --last;
  if (last < 0) return true;
  ScanLevel(last, true);
  return !stopped_;
}

// One master's loop:
//   1. its group is the master and the followers up to the next master;
//   2. a regular grid sets point 0, then for i = 1..n runs the body and sets
//      point i; a random kind sets point 0, then for i = 0..n-1 runs the body
//      and sets point i (a fresh draw); an unknown kind runs nothing;
//   3. the outermost loop appends a block separator after each of its points.
// So each point runs at the values set just before it, and the values set
// after the last point are not used.
void ScanDriver::ScanLevel(int k, bool outer) {
  const int count = static_cast<int>(items_.size());
  if (k < 0 || k >= count || stopped_) return;
  int end = k + 1;
  while (end < count && !items_[end].IsMaster()) ++end;
  const int n = items_[k].density;
  int first = 0, last = 0;
  std::string_view separator;
  switch (items_[k].grid) {
    case kScanRegularGrid:
      first = 1;
      last = n;
      separator = kGridSeparator;
      break;
    case kScanUniform:
    case kScanNormal:
    case kScanPositiveNormal:
      first = 0;
      last = n - 1;
      separator = kRandomSeparator;
      break;
    default:
      return;
  }
  SetScanValues(items_, 0, k, end, random_);
  for (int i = first; i <= last; ++i) {
    Body(k);
    if (stopped_) return;
    SetScanValues(items_, i, k, end, random_);
    if (outer) Separate(k, separator);
  }
}

void ScanDriver::Body(int k) {
  int lower = k - 1;
  while (lower >= 0 && !items_[lower].IsMaster()) --lower;
  if (lower >= 0) {
    ScanLevel(lower, false);
    return;
  }
  progress_.BeforePoint();
  if (callbacks_.runIteration && !callbacks_.runIteration()) stopped_ = true;
}

// The steady-state file has one row per point; a one-dimensional scan (the
// outermost loop is the first item) leaves it a plain table.
void ScanDriver::Separate(int k, std::string_view separator) {
  if (callbacks_.separateTimeCourse) callbacks_.separateTimeCourse(separator);
  if (k != 0 && callbacks_.separateSteadyState) callbacks_.separateSteadyState(separator);
}

}  // namespace vireon
