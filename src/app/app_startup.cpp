#include "app/app_startup.h"

#include "kinetics/kinetics_database.h"

namespace vireon {

bool StartApplication(AppStartup& startup, MessageSink& sink,
                      const std::filesystem::path& settingsPath,
                      const std::filesystem::path& kineticsPath) {
  return StartProgram(startup, sink, settingsPath, kineticsPath);
}

bool EndApplication(const AppStartup& startup, MessageSink& sink) {
  if (startup.kineticsPath.empty()) return true;
  return WriteKineticsDatabase(startup.catalogue, startup.kineticsPath, sink);
}

}  // namespace vireon
