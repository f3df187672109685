#pragma once
// The command's start-up and model loading. It starts up as the desktop
// program does (document/program_startup.h).
//
// The command never writes the kinetics database back: a batch run edits no
// kinetic type, and several runs may share one database at the same time.

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/program_startup.h"
#include "model/file_access.h"
#include "model/message_sink.h"

namespace vireon {
struct SbmlImportResult;
}

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
// every reason. `imported`, when given, receives what the import says of
// the SBML ids (the ids that became other names, the reactions' rates); it
// is emptied for a Vireon model file.
bool LoadModelOrSbml(const std::string& modelPath, Startup& startup, Document& document,
                     MessageSink& sink, std::ostream& err, SbmlImportResult* imported = nullptr);

// The files a command reads, which what it writes must never replace: the
// model (a Vireon model file or SBML), the settings file and the kinetics
// database, those of them that exist.
std::vector<ProtectedFile> InputFiles(const std::string& modelPath, const Startup& startup);

// Whether the command may write `outputPath`: false, after saying on `err`
// which input it would replace, when it names one of `inputs` (under any
// name: through a hard or a symbolic link as well). `option` is how the
// output was given ("-o"), for the advice.
bool OutputSparesInputs(const std::string& outputPath, const std::vector<ProtectedFile>& inputs,
                        std::ostream& err, const std::string& option = "-o");

}  // namespace vireon::cli
