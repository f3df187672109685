#pragma once
// What the program sets up before it touches a model, in the order the
// desktop program and the command line share: the settings (default values,
// helper paths, preferences), the kinetics database's path, the catalogue of
// built-in kinetic types and then the user-defined types of the database.

#include <filesystem>

#include "kinetics/kinetic_catalogue.h"
#include "kinetics/kinetics_database.h"
#include "model/message_sink.h"
#include "settings/settings.h"

namespace vireon {

struct ProgramStartup {
  std::filesystem::path settingsPath;
  DefaultValues defaults;
  Preferences preferences;
  HelperPaths helpers;
  std::filesystem::path kineticsPath;
  KineticCatalogue catalogue;
  // The user-defined types as the database held them when it was read: a
  // save writes back only what changed since (SaveKineticsDatabaseChanges).
  StoredKineticTypes storedKineticTypes;
};

// Fills `startup`, after making writes beyond the process's file size limit
// fail with EFBIG rather than end the program (IgnoreFileSizeLimitSignal).
// An empty settingsPath or kineticsPath takes the user's
// file ($XDG_CONFIG_HOME/vireon/). Settings that cannot be read leave the
// built-in values after their message; a kinetics database the user would
// rather not go on without (or no place for one) ends the start-up: false.
bool StartProgram(ProgramStartup& startup, MessageSink& sink,
                  const std::filesystem::path& settingsPath = {},
                  const std::filesystem::path& kineticsPath = {});

}  // namespace vireon
