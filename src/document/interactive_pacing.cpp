#include "document/interactive_pacing.h"

namespace vireon {

namespace {

// Time courses with at least this many points are thinned for the window.
constexpr int kThinningThreshold = 100;
// A thinned time course shows about this many points.
constexpr int kShownPoints = 50;

}  // namespace

InteractivePacing InteractivePacingFor(int points) {
  InteractivePacing pacing;
  if (points <= 0) {
    pacing.refreshEvery = 1;
    pacing.plotPoints = kShownPoints;
  } else if (points < kThinningThreshold) {
    pacing.refreshEvery = 1;
    pacing.plotPoints = points;
  } else {
    pacing.refreshEvery = points / kShownPoints;
    // Every refreshEvery-th point, the last one and the start.
    pacing.plotPoints = (points + pacing.refreshEvery - 1) / pacing.refreshEvery + 1;
  }
  return pacing;
}

}  // namespace vireon
