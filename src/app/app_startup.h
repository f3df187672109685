#pragma once
// What the desktop program sets up before its window opens, in this order:
// the settings (default values, helper paths, preferences), the random
// generator's seed, the kinetics database's path, the catalogue of built-in
// kinetic types and then the user-defined types of the database. At exit the
// database is written back.

#include <filesystem>

#include "document/program_startup.h"
#include "engine/random.h"
#include "model/message_sink.h"
#include "settings/recent_files.h"

namespace vireon {

struct AppStartup : ProgramStartup {
  // Seeded from the milliseconds of the current time when it is made.
  RandomGenerator random;
  // The File menu's recent files, kept in the settings file.
  RecentFileList recentFiles;
};

// StartProgram for the desktop program (the user's files when the paths
// are empty), then the recent-file list.
bool StartApplication(AppStartup& startup, MessageSink& sink,
                      const std::filesystem::path& settingsPath = {},
                      const std::filesystem::path& kineticsPath = {});

// Saves the changes this program made to the user-defined types into the
// kinetics database as it is on disk now (SaveKineticsDatabaseChanges), so
// that another instance's saved types are kept; false after the writer's
// warning.
bool EndApplication(AppStartup& startup, MessageSink& sink);

}  // namespace vireon
