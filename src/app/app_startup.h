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

// Writes the kinetics database back; false after the writer's warning.
bool EndApplication(const AppStartup& startup, MessageSink& sink);

}  // namespace vireon
