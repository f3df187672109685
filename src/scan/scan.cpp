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
  std::vector<int> masters;
  for (int k = 0; k < static_cast<int>(items_.size()); ++k) {
    if (items_[k].IsMaster()) masters.push_back(k);
  }
  if (masters.empty()) return true;
  RunLoops(masters);
  return !stopped_;
}

// The masters' loops, nested, the last master outermost:
//   1. a master's group is the master and the followers up to the next master;
//   2. a regular grid sets point 0, then for i = 1..n runs the body and sets
//      point i; a random kind sets point 0, then for i = 0..n-1 runs the body
//      and sets point i (a fresh draw); an unknown kind runs nothing;
//   3. the body of the first master's loop is one task iteration, that of
//      any other master's loop the loop of the master before it;
//   4. the outermost loop appends a block separator after each of its points.
// So each point runs at the values set just before it, and the values set
// after the last point are not used. The loops are kept on a list of their
// own rather than on the call stack, so that a scan of any number of
// masters runs in constant stack space.
void ScanDriver::RunLoops(const std::vector<int>& masters) {
  const int count = static_cast<int>(items_.size());
  const int outermost = static_cast<int>(masters.size()) - 1;
  struct Loop {
    int level;  // index in `masters`
    int end;    // one past the last item of the master's group
    int i;      // the point whose body runs next
    int last;   // the last point whose body runs
    std::string_view separator;
  };
  std::vector<Loop> loops;
  loops.reserve(masters.size());
  // Starts the loop of masters[level]; false for an unknown kind.
  auto enter = [&](int level) {
    const int k = masters[level];
    Loop loop{level, k + 1, 0, 0, {}};
    while (loop.end < count && !items_[loop.end].IsMaster()) ++loop.end;
    const int n = items_[k].density;
    switch (items_[k].grid) {
      case kScanRegularGrid:
        loop.i = 1;
        loop.last = n;
        loop.separator = kGridSeparator;
        break;
      case kScanUniform:
      case kScanNormal:
      case kScanPositiveNormal:
        loop.i = 0;
        loop.last = n - 1;
        loop.separator = kRandomSeparator;
        break;
      default:
        return false;
    }
    SetScanValues(items_, 0, k, loop.end, random_);
    loops.push_back(loop);
    return true;
  };
  // What a loop does once its body has run.
  auto afterBody = [&](Loop& loop) {
    const int k = masters[loop.level];
    SetScanValues(items_, loop.i, k, loop.end, random_);
    if (loop.level == outermost) Separate(k, loop.separator);
    ++loop.i;
  };

  if (!enter(outermost)) return;
  while (!loops.empty()) {
    Loop& loop = loops.back();
    if (loop.i > loop.last) {
      loops.pop_back();
      if (!loops.empty()) afterBody(loops.back());
      continue;
    }
    if (loop.level > 0) {
      const int inner = loop.level - 1;
      // `loop` may move when the inner loop is added.
      if (!enter(inner)) afterBody(loops.back());
      continue;
    }
    progress_.BeforePoint();
    if (callbacks_.runIteration && !callbacks_.runIteration()) {
      stopped_ = true;
      return;
    }
    afterBody(loop);
  }
}

// The steady-state file has one row per point; a one-dimensional scan (the
// outermost loop is the first item) leaves it a plain table.
void ScanDriver::Separate(int k, std::string_view separator) {
  if (callbacks_.separateTimeCourse) callbacks_.separateTimeCourse(separator);
  if (k != 0 && callbacks_.separateSteadyState) callbacks_.separateSteadyState(separator);
}

}  // namespace vireon
