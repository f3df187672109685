#include "document/interactive_pacing.h"

#include "document/document.h"

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

std::string ScanPacingNotice(const Document& document) {
  const TaskSettings& settings = document.settings;
  if (document.scan.enabled == 0 || settings.dynamics == 0 ||
      document.selections.interactive.empty()) {
    return {};
  }
  const int shown = InteractivePacingFor(settings.points).plotPoints;
  const std::string pace =
      settings.realTime != 0
          ? "runs in real time (a second on the clock for each " + settings.timeUnit +
                " of model time)"
          : "pauses " + std::to_string(settings.sleepTime) + " ms at each of its " +
                std::to_string(shown) + " shown points";
  return "The Time course page shows every time course of this scan: each " + pace +
         " and waits for the page to draw it.";
}

InteractivePacing RunPacing(int points, bool hasWindowItems, bool windowShown) {
  InteractivePacing pacing = InteractivePacingFor(points);
  pacing.paced = hasWindowItems && windowShown;
  return pacing;
}

}  // namespace vireon
