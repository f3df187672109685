#include "document/program_startup.h"

#include <optional>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetics_database.h"
#include "settings/settings_store.h"

namespace vireon {

bool StartProgram(ProgramStartup& startup, MessageSink& sink,
                  const std::filesystem::path& settingsPath,
                  const std::filesystem::path& kineticsPath) {
  startup.settingsPath = settingsPath.empty() ? DefaultSettingsPath() : settingsPath;
  SettingsStore store(startup.settingsPath);
  store.ReadDefaultValues(startup.defaults, sink);
  store.ReadHelperPaths(startup.helpers, sink);
  store.ReadPreferences(startup.preferences, sink);

  if (kineticsPath.empty()) {
    std::optional<std::filesystem::path> located = LocateKineticsDatabase(sink);
    if (!located) return false;
    startup.kineticsPath = *located;
  } else {
    startup.kineticsPath = kineticsPath;
  }

  BuildBuiltInKineticTypes(startup.catalogue);
  return ReadKineticsDatabase(startup.catalogue, startup.kineticsPath, sink) !=
         DatabaseOutcome::kAbort;
}

}  // namespace vireon
