#pragma once
// vireon import FILE.xml and vireon export MODEL.vrn: SBML into a Vireon
// model file and out of one.

#include <ostream>

#include "cli/command_line.h"

namespace vireon::cli {

// Imports the SBML file and saves it as a model file (the -o path, or the
// SBML file's path with the extension ".vrn"). kExitFailure, with every
// refused construct named on `err`, when the model cannot be imported or
// the file not written.
int ImportCommand(const CommandLine& line, std::ostream& out, std::ostream& err);

// Writes the model as SBML Level 3 Version 2 (the -o path, or the model
// file's path with the extension ".xml").
int ExportCommand(const CommandLine& line, std::ostream& out, std::ostream& err);

// The path beside `path` with its extension (the part of the file name from
// its last ".") replaced by `extension`, or `extension` appended.
std::string WithExtension(const std::string& path, const std::string& extension);

}  // namespace vireon::cli
