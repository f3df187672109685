#pragma once
// vireon run MODEL.vrn: loads the model and runs the tasks switched on in
// it, as the desktop program's Run does, but without saving the model
// first. The report and the data files go where the model says.

#include <ostream>

#include "cli/command_line.h"

namespace vireon {
class RunObserver;
}

namespace vireon::cli {

// Returns the exit status: kExitSuccess when the run completed and wrote
// every output it was to write, kExitIncomplete when it completed with
// entries in its error log, kExitFailure when start-up failed, the model
// could not be loaded, the run could not start or it wrote none of its
// outputs, kExitStopped when Ctrl-C (or a termination request) stopped it.
// `listener`, when given, hears every notification of the run too (on the
// run thread), as a test does; a batch run shows no window, so it is never
// told of a time-course point and never paced.
int RunCommand(const CommandLine& line, std::ostream& out, std::ostream& err,
               RunObserver* listener = nullptr);

}  // namespace vireon::cli
