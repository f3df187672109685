#pragma once
// Handing a gnuplot script to gnuplot ("&Plot!") or to the user ("Cmd
// file"): the script file is written byte for byte (every "\n" a single
// line feed), and gnuplot is started on it without a shell and without
// waiting for it.

#include <optional>
#include <string>
#include <string_view>

namespace vireon {

class MessageSink;

// Formatted messages; the %s is the system's description of the error
// (and, for the second, first the file name).
inline constexpr const char* kGnuplotTemporaryFileFailed =
    "Failed to create the gnuplot command file.\n%s";
inline constexpr const char* kCommandFileFailed = "Failed to create %s.\n%s";

// The save dialog of "Cmd file".
inline constexpr const char* kCommandFileDialogTitle = "gnuplot Command File";
inline constexpr const char* kCommandFileFilter = "gnuplot command (*.plt)";
inline constexpr const char* kCommandFileProposedName = "gnuplot.plt";

// Creates (or truncates) `path` and writes `script` to it, through
// OpenOutputFile (model/file_access.h): a symbolic link or anything but a
// regular file in its place is refused. False on any failure, with errno
// describing it (ELOOP for a link, EINVAL for a file that is not regular).
bool WriteScriptFile(const std::string& path, std::string_view script);

// Writes the script of "&Plot!" to the application's temporary file; a
// failure shows kGnuplotTemporaryFileFailed (error box) and returns false.
bool WriteGnuplotScript(const std::string& temporaryFile, std::string_view script,
                        MessageSink& sink);

// "&Plot!": writes the script to the application's temporary file and
// starts gnuplot on it. A failed write shows kGnuplotTemporaryFileFailed
// (error box) and does not start gnuplot. Returns true when gnuplot was
// started.
bool PlotWithGnuplot(const std::string& gnuplotPath, const std::string& temporaryFile,
                     std::string_view script, MessageSink& sink);

// "Cmd file": writes the script under the name the user chose; a failure
// shows kCommandFileFailed (error box) and returns false.
bool SaveCommandFile(const std::string& path, std::string_view script, MessageSink& sink);

// How "&Plot!" shows a plot with the terminals the installed gnuplot has:
// in a window of gnuplot's own, or, for a gnuplot built without one (such
// as gnuplot-nox), as a picture file that the program shows.
struct PlotTerminal {
  std::string name;    // as "set terminal" takes it
  bool window = true;  // false: a picture the program shows
};

// The arguments that make gnuplot name its terminals (as words separated
// by blanks, on its standard error or output).
inline constexpr const char* kGnuplotTerminalsArgument = "print GPVAL_TERMINALS";

// From what gnuplot printed for kGnuplotTerminalsArgument: the first of
// the window terminals qt, wxt, x11, aqua and windows that it has, else the
// first of the picture terminals pngcairo, png and svg; nullopt when it has
// none of these.
std::optional<PlotTerminal> ChoosePlotTerminal(std::string_view terminalWords);

// The lines that start the script for the terminal: kScreenTerminal for qt
// (the script of a gnuplot with its usual terminal stays as it was), the
// same with another window terminal's name, or a picture of the program's
// plotting size written to picturePath.
std::string PlotTerminalLines(const PlotTerminal& terminal, std::string_view picturePath);

// What the program says when gnuplot ended with a failure: its exit code
// (or that it crashed, exitCode < 0) and what it wrote on its standard
// error, which names the script line at fault.
std::string GnuplotFailureMessage(int exitCode, std::string_view errorOutput);
// ... and when the installed gnuplot has none of the terminals above.
std::string NoPlotTerminalMessage(std::string_view gnuplotPath, std::string_view terminalWords);

// Starts `gnuplotPath -persist scriptPath` as a process of its own (a path
// without a slash is looked up in PATH) and returns at once; the process is
// reaped in the background so that it leaves no zombie. False when it could
// not be started.
bool StartGnuplot(const std::string& gnuplotPath, const std::string& scriptPath);

}  // namespace vireon
