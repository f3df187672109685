#pragma once
// How often a time course that runs with the interactive window open tells
// the window of a point, and how many points the window's plot holds. Long
// time courses are thinned to about 50 shown points so that the display,
// which the engine waits for at every shown point, does not slow the run.

#include <string>

namespace vireon {

struct Document;

struct InteractivePacing {
  // Whether the run shows its points at all: then it waits for the window
  // at every shown point and sleeps "SleepTime" or keeps to real time.
  bool paced = true;
  int refreshEvery = 1;  // the window is told of every refreshEvery-th point
  int plotPoints = 50;   // points the window's plot holds
};

// From the time course's number of points: no limit (0) shows every point
// in a plot of 50; fewer than 100 points shows every point; otherwise every
// (points / 50)-th point and the last are shown, in a plot that holds them
// and the start: ceil(points / refreshEvery) + 1.
InteractivePacing InteractivePacingFor(int points);

// The pacing of a run: as InteractivePacingFor, and paced only when the
// model has items for the window and a window shows the points. A run
// with no window showing (a batch run, a scan run unpaced) never waits,
// whatever "SleepTime" and "RealTime" say.
InteractivePacing RunPacing(int points, bool hasWindowItems, bool windowShown);

// What the Scan page says when the window would pace the document's scan
// (an enabled scan of a time course with items for the window): that
// every time course waits for the window, in real time or "SleepTime"
// milliseconds at each shown point. Empty when nothing paces the scan.
std::string ScanPacingNotice(const Document& document);

}  // namespace vireon
