#pragma once
// vireon plot MODEL.vrn [--output FILE.png|FILE.svg]: the gnuplot script of
// the model's plot settings, as the Plot page's "&Plot!" builds it. Without
// --output the script (for the screen) goes to `out`; with it, gnuplot
// renders the script into the file.

#include <ostream>

#include "cli/command_line.h"

namespace vireon::cli {

// Returns the exit status: kExitSuccess, or kExitFailure when the model
// cannot be loaded, its plot settings choose nothing to plot, the data file
// to plot is missing, or gnuplot cannot make the picture.
int PlotCommand(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace vireon::cli
