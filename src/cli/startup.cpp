#include "cli/startup.h"

#include <optional>

#include "document/model_file.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetics_database.h"
#include "settings/settings_store.h"

namespace vireon::cli {

bool StartUp(const std::string& settingsPath, const std::string& kineticsPath, Startup& startup,
             MessageSink& sink) {
  startup.settingsPath =
      settingsPath.empty() ? DefaultSettingsPath() : std::filesystem::path(settingsPath);
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
  return ReadKineticsDatabase(startup.catalogue, startup.kineticsPath, sink) != kDatabaseAbort;
}

bool LoadModel(const std::string& modelPath, Startup& startup, Document& document,
               MessageSink& sink, std::ostream& err) {
  NewDocument(document, startup.defaults);
  const std::string fullPath = std::filesystem::absolute(modelPath).string();
  if (!ReadModelFile(document, fullPath, startup.catalogue, startup.defaults, sink)) {
    err << "vireon: could not load " << modelPath << "\n";
    return false;
  }
  return true;
}

}  // namespace vireon::cli
