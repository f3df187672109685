#pragma once
// The command's start-up and model loading. It starts up as the desktop
// program does (document/program_startup.h).
//
// The command never writes the kinetics database back: a batch run edits no
// kinetic type, and several runs may share one database at the same time.

#include <filesystem>
#include <ostream>
#include <string>

#include "document/document.h"
#include "document/program_startup.h"
#include "model/message_sink.h"

namespace vireon::cli {

// The command starts up as the desktop program does.
using Startup = ProgramStartup;

// StartProgram with the paths given on the command line.
bool StartUp(const std::string& settingsPath, const std::string& kineticsPath, Startup& startup,
             MessageSink& sink);

// Loads the model into a new document. The document knows the model by its
// full path, as the desktop program's does, so the report, the data files
// and the plot script name files beside the model wherever the command
// runs. User-defined kinetic types in the file join the catalogue. On
// failure says so on `err` and returns false.
bool LoadModel(const std::string& modelPath, Startup& startup, Document& document,
               MessageSink& sink, std::ostream& err);

// LoadModel for a Vireon model file; for any other name (IsSbmlFileName)
// a new document whose model is imported from SBML, its steps' kinetic
// types joining the catalogue. A refused SBML model is said on `err` with
// every reason.
bool LoadModelOrSbml(const std::string& modelPath, Startup& startup, Document& document,
                     MessageSink& sink, std::ostream& err);

}  // namespace vireon::cli
