#pragma once
// The vireon command as a function: parses the arguments and runs the
// command they name. main() only hands over argv and the standard streams.

#include <ostream>
#include <string>
#include <vector>

namespace vireon::cli {

// `arguments` are those after the program name. Returns the exit status
// (see command_line.h). Bad arguments print the problem and the usage lines
// on `err`.
int RunVireonCommand(const std::vector<std::string>& arguments, std::ostream& out,
                     std::ostream& err);

}  // namespace vireon::cli
