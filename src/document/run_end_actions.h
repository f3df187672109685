#pragma once
// What the desktop program does when a run has ended, decided without the
// program: the error log shown in "Errors in this simulation", the stop
// sound and the report opened in the user's text editor. A run stopped on
// request does none of these.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/run_control.h"
#include "settings/settings.h"

namespace vireon {

// The programs that can play the stop sound, in the order they are tried.
inline constexpr const char* kSoundPlayers[] = {"paplay", "aplay"};

// A program to start and its arguments, each passed as it is (no shell).
struct ProgramCall {
  std::string program;
  std::vector<std::string> arguments;

  bool empty() const { return program.empty(); }
};

struct RunEndActions {
  // The run's error log with plain line feeds; empty: no dialog.
  std::string errorText;
  // The stop sound's player and file; empty: no sound.
  ProgramCall sound;
  // The text editor on the report; empty: the report is not opened.
  ProgramCall report;
};

// Finds a program on the PATH: its full path, or empty.
using FindProgram = std::function<std::string(std::string_view name)>;

// After a run that finished normally: the error log when it is not empty;
// the stop sound when it is switched on, a sound file is named and a
// player is found; the report in the text editor when "Load Report" is
// set, an editor is named, the report is switched on and the report file
// is known. After a stop, or a run that never started: nothing.
RunEndActions ActionsAfterRun(RunOutcome outcome, const Document& document,
                              const Preferences& preferences, const HelperPaths& helpers,
                              const FindProgram& findProgram);

// The report as the program shows it in its own window: the text of the
// document's report file, or, empty text, why there is none to show (the
// report switched off, no file named, not written yet, unreadable, or
// larger than kMaxShownReportSize, which a text editor shows better).
inline constexpr std::uintmax_t kMaxShownReportSize = std::uintmax_t{16} << 20;
struct ShownReport {
  std::string path;
  std::string text;
  std::string problem;
};
ShownReport ReadReportToShow(const Document& document);

// The notice in the status bar when a run has ended: how it ended and the
// time it took on the clock ("Run finished in 2.4 s", "Scan of 40 points
// finished in 1 min 05 s", "Run stopped after 0.8 s"), and that the run
// left errors when it did. Empty for a run that never started.
std::string RunEndNotice(RunOutcome outcome, double seconds, bool scan, int iterations,
                         bool errors);

}  // namespace vireon
