#pragma once
// What the desktop program sets up before its window opens, in this order:
// the settings (default values, helper paths, preferences), the random
// generator's seed, the kinetics database's path, the catalogue of built-in
// kinetic types and then the user-defined types of the database. At exit the
// database is written back.

#include <filesystem>

#include "engine/random.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "settings/settings.h"

namespace vireon {

struct AppStartup {
  std::filesystem::path settingsPath;
  DefaultValues defaults;
  Preferences preferences;
  HelperPaths helpers;
  std::filesystem::path kineticsPath;
  KineticCatalogue catalogue;
  // Seeded from the milliseconds of the current time when it is made.
  RandomGenerator random;
};

// Fills `startup` from the user's settings file and kinetics database (their
// default places when the paths are empty). False when the start-up must end:
// no place for the database, or the user chose to end it.
bool StartApplication(AppStartup& startup, MessageSink& sink,
                      const std::filesystem::path& settingsPath = {},
                      const std::filesystem::path& kineticsPath = {});

// Writes the kinetics database back; false after the writer's warning.
bool EndApplication(const AppStartup& startup, MessageSink& sink);

}  // namespace vireon
