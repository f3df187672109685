#pragma once
// The plot choices stored with a model: which data file to plot, the style
// and decorations, and the columns chosen for the axes. Entries are
// positions in the chosen output selection (0-based); position p is column
// p + 1 of the data file. The values here are those of a new document.

#include <vector>

namespace vireon {

// Data styles ("PlotType").
enum PlotStyle : int {
  kPlotDots = 0,
  kPlotPoints = 1,
  kPlotLines = 2,
  kPlotLinesPoints = 3,
  kPlotSplines = 4,
  kPlotSplinesPoints = 5,
};
inline constexpr int kPlotStyleCount = 6;

// An axis entry that names no item.
inline constexpr int kNoPlotEntry = -1;

struct PlotSettings {
  int plotDyn = 1;  // 1: time-course file and selection; 0: the steady-state ones
  int plot3d = 0;   // 1: surface plot
  int plotType = kPlotLines;
  int plotGrid = 0;
  int plotKey = 0;
  int plotTitles = 1;  // axis labels, plot title and curve titles
  int plotMultiplot = 0;
  int plotContour = 0;   // 3-D only
  int plotHidden3d = 0;  // 3-D only
  int plotLogX = 0;
  int plotLogY = 0;
  int plotLogZ = 0;
  int plotXEntry = kNoPlotEntry;
  // "PlotY%d" and "PlotZ%d"; their sizes are "PlotYTotal" and "PlotZTotal".
  // An empty list selection is stored as the single entry kNoPlotEntry.
  std::vector<int> plotY;
  std::vector<int> plotZ;

  bool operator==(const PlotSettings&) const = default;
};

}  // namespace vireon
