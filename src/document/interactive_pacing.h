#pragma once
// How often a time course that runs with the interactive window open tells
// the window of a point, and how many points the window's plot holds. Long
// time courses are thinned to about 50 shown points so that the display,
// which the engine waits for at every shown point, does not slow the run.

namespace vireon {

struct InteractivePacing {
  int refreshEvery = 1;  // the window is told of every refreshEvery-th point
  int plotPoints = 50;   // points the window's plot holds
};

// From the time course's number of points: no limit (0) shows every point
// in a plot of 50; fewer than 100 points shows every point; otherwise every
// (points / 50)-th point and the last are shown, in a plot that holds them
// and the start: ceil(points / refreshEvery) + 1.
InteractivePacing InteractivePacingFor(int points);

}  // namespace vireon
