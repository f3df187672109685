#include "document/program_startup.h"

#include <optional>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetics_database.h"
#include "model/file_access.h"
#include "settings/settings_store.h"

namespace vireon {

bool StartProgram(ProgramStartup& startup, MessageSink& sink,
                  const std::filesystem::path& settingsPath,
                  const std::filesystem::path& kineticsPath) {
  // A save beyond ulimit -f fails with "The file is too large." and leaves
  // the old file as it was, instead of ending the program half-way.
  IgnoreFileSizeLimitSignal();
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
  const DatabaseOutcome outcome =
      ReadKineticsDatabase(startup.catalogue, startup.kineticsPath, sink);
  startup.storedKineticTypes = RememberStoredTypes(startup.catalogue);
  return outcome != DatabaseOutcome::kAbort;
}

}  // namespace vireon
