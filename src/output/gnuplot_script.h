#pragma once
// gnuplot command scripts built from a model's plot settings. The program
// draws no graphs itself: it writes a script that plots columns of the
// time-course or steady-state data file and hands it to gnuplot, or saves
// it for the user.

#include <string>
#include <string_view>
#include <vector>

#include "output/plot_settings.h"

namespace vireon {

// The terminal lines of a script shown on the screen.
inline constexpr std::string_view kScreenTerminal = "set terminal qt\nset output\n";

// What a script plots: the data file and the titles of the items of the
// selection that wrote it, in selection order (item p is column p + 1).
struct PlotSource {
  std::string dataPath;
  std::vector<std::string> columnTitles;
  std::string modelTitle;
};

// The entries of the settings that name an item of the source: the x entry
// (kNoPlotEntry when it names none) and the y and z entries that name one,
// in ascending order without repeats, as a multiple-selection list holds
// them.
struct PlotChoice {
  int x = kNoPlotEntry;
  std::vector<int> y;
  std::vector<int> z;

  // False when no x item, no y item, or in 3-D no z item is chosen.
  bool Complete(bool threeD) const { return x >= 0 && !y.empty() && (!threeD || !z.empty()); }
};
PlotChoice ResolvePlotChoice(const PlotSettings& settings, int itemCount);

// Panels of a multiplot: one per y item in 2-D and per z item in 3-D; more
// than kMaxPlotPanels fall back to one plot.
inline constexpr int kMaxPlotPanels = 9;

// The whole script for the settings, starting with `terminal` (the lines
// that choose the terminal and the output); empty when the choice is
// incomplete.
std::string BuildPlotCommands(const PlotSettings& settings, const PlotSource& source,
                              std::string_view terminal = kScreenTerminal);

// The commands of panel i of n in multiplot mode (0 <= i < n <= 9), for
// the settings' resolved choice (which must be complete).
std::string BuildPlotPanel(const PlotSettings& settings, const PlotSource& source, int n, int i);

// The terminal lines that render a script into a file: "set terminal
// <terminal>" and "set output '<path>'".
std::string FileTerminal(std::string_view terminal, std::string_view outputPath);

// A text as a gnuplot string that reads back as exactly that text, and
// never as more than one string: between single quotes, with every single
// quote inside doubled (A' cannot end the string early). A text that holds a
// control character (a line feed in a folder name would end the command and
// start a new one) is written between double quotes instead, with every
// control character, double quote, backslash and backquote as an octal
// escape. Every string of a script goes through here.
std::string QuoteForGnuplot(std::string_view text);

}  // namespace vireon
