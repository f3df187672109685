#pragma once
// What the command sets up before it touches a model, in the order the
// desktop program does: the settings (default values, helper paths,
// preferences), the kinetics database's path, the catalogue of built-in
// kinetic types and then the user-defined types of the database.
//
// The command never writes the kinetics database back: a batch run edits no
// kinetic type, and several runs may share one database at the same time.

#include <filesystem>
#include <ostream>
#include <string>

#include "document/document.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "settings/settings.h"

namespace vireon::cli {

struct Startup {
  std::filesystem::path settingsPath;
  DefaultValues defaults;
  Preferences preferences;
  HelperPaths helpers;
  std::filesystem::path kineticsPath;
  KineticCatalogue catalogue;
};

// Fills `startup`. An empty settingsPath or kineticsPath takes the user's
// file ($XDG_CONFIG_HOME/vireon/). Settings that cannot be read leave the
// built-in values after their message; a kinetics database the user would
// rather not go on without (or no place for one) ends the start-up: false.
bool StartUp(const std::string& settingsPath, const std::string& kineticsPath, Startup& startup,
             MessageSink& sink);

// Loads the model into a new document. The document knows the model by its
// full path, as the desktop program's does, so the report, the data files
// and the plot script name files beside the model wherever the command
// runs. User-defined kinetic types in the file join the catalogue. On
// failure says so on `err` and returns false.
bool LoadModel(const std::string& modelPath, Startup& startup, Document& document,
               MessageSink& sink, std::ostream& err);

}  // namespace vireon::cli
