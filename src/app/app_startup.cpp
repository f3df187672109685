#include "app/app_startup.h"

#include "kinetics/kinetics_database.h"
#include "settings/settings_store.h"

namespace vireon {

bool StartApplication(AppStartup& startup, MessageSink& sink,
                      const std::filesystem::path& settingsPath,
                      const std::filesystem::path& kineticsPath) {
  if (!StartProgram(startup, sink, settingsPath, kineticsPath)) return false;
  SettingsStore(startup.settingsPath).ReadRecentFiles(startup.recentFiles);
  return true;
}

bool EndApplication(AppStartup& startup, MessageSink& sink) {
  if (startup.kineticsPath.empty()) return true;
  return SaveKineticsDatabaseChanges(startup.catalogue, startup.storedKineticTypes,
                                     startup.kineticsPath, sink);
}

}  // namespace vireon
