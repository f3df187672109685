#include "document/run_end_actions.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "document/document.h"
#include "model/record_cursor.h"

namespace vireon {
namespace {

// "0.8 s", "12.4 s", "1 min 05 s", "2 h 03 min".
std::string DurationText(double seconds) {
  char text[48];
  if (!(seconds >= 0.0)) seconds = 0.0;
  if (seconds < 60.0) {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  } else if (seconds < 3600.0) {
    const long long whole = std::llround(seconds);
    std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
  } else {
    const long long minutes = std::llround(seconds / 60.0);
    std::snprintf(text, sizeof text, "%lld h %02lld min", minutes / 60, minutes % 60);
  }
  return text;
}

}  // namespace

ShownReport ReadReportToShow(const Document& document) {
  const TaskSettings& settings = document.settings;
  ShownReport shown;
  shown.path = settings.reportFile;
  if (settings.report == 0) {
    shown.problem = "This model writes no report: switch it on with Report on the Tasks page.";
    return shown;
  }
  if (shown.path.empty()) {
    shown.problem = "This model names no report file: give one on the Tasks page.";
    return shown;
  }
  std::error_code error;
  const std::filesystem::path path(shown.path);
  if (!std::filesystem::exists(path, error)) {
    shown.problem = "There is no report yet: a run writes it to " + shown.path + ".";
    return shown;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxShownReportSize) {
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.0f MB", static_cast<double>(size) / (1 << 20));
    shown.problem = "The report " + shown.path + " is too large to show here (" + megabytes +
                    "): open it in a text editor.";
    return shown;
  }
  std::string text;
  const FileErrorCause cause = ReadWholeFile(path, text);
  if (cause != FileErrorCause::kNone) {
    shown.problem = "The report " + shown.path + " could not be read: " +
                    std::string(FileErrorText(cause));
    return shown;
  }
  shown.text = std::move(text);
  return shown;
}

std::string RunEndNotice(RunOutcome outcome, double seconds, bool scan, int iterations,
                         bool errors) {
  if (outcome != RunOutcome::kFinished && outcome != RunOutcome::kStopped) return {};
  std::string notice =
      scan ? "Scan of " + std::to_string(iterations) + (iterations == 1 ? " point" : " points")
           : std::string("Run");
  notice += outcome == RunOutcome::kFinished ? " finished in " : " stopped after ";
  notice += DurationText(seconds);
  if (errors) notice += ", with errors";
  return notice;
}

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
