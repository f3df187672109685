#pragma once
// vireon fit MODEL: estimates parameters of a model (a .vrn or SBML file)
// from measurements, as the fit stored in the model file says or as the
// command line gives it (--data and --parameter replace the stored
// experiments and parameters; --method, --starts, --seed and
// --scale-columns its settings).
//
// Prints the fitted values with their standard deviations; -o writes the
// whole result as JSON (fit/fit_report.h); --save writes the model with
// the fitted values (and the fit) to a model file. Ctrl-C stops the fit at
// the best point so far, which is still printed and written.
//
// Returns kExitSuccess when fitted, kExitFailure when the model or an
// experiment could not be read or the fit was refused or failed,
// kExitUsage for a fit that names no experiment or no parameter, and
// kExitStopped when stopped.

#include <ostream>

#include "cli/command_line.h"

namespace vireon::cli {

int FitCommand(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace vireon::cli
