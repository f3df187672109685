#include "document/run_end_actions.h"

#include "document/document.h"

namespace vireon {

RunEndActions ActionsAfterRun(RunOutcome outcome, const Document& document,
                              const Preferences& preferences, const HelperPaths& helpers,
                              const FindProgram& findProgram) {
  RunEndActions actions;
  if (outcome != RunOutcome::kFinished) return actions;

  // The log keeps the CR LF line ends of the text box it was made for.
  for (const char c : document.engine.errorLog) {
    if (c != '\r') actions.errorText += c;
  }

  if (preferences.soundEnabled != 0 && !preferences.stopSound.empty() && findProgram) {
    for (const char* player : kSoundPlayers) {
      const std::string path = findProgram(player);
      if (path.empty()) continue;
      actions.sound = {path, {preferences.stopSound}};
      break;
    }
  }

  const TaskSettings& settings = document.settings;
  if (preferences.loadReport != 0 && !helpers.textEditor.empty() && settings.report != 0 &&
      !settings.reportFile.empty()) {
    actions.report = {helpers.textEditor, {settings.reportFile}};
  }
  return actions;
}

}  // namespace vireon
