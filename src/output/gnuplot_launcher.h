#pragma once
// Handing a gnuplot script to gnuplot ("&Plot!") or to the user ("Cmd
// file"): the script file is written byte for byte (every "\n" a single
// line feed), and gnuplot is started on it without a shell and without
// waiting for it.

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

// "&Plot!": writes the script to the application's temporary file and
// starts gnuplot on it. A failed write shows kGnuplotTemporaryFileFailed
// (error box) and does not start gnuplot. Returns true when gnuplot was
// started.
bool PlotWithGnuplot(const std::string& gnuplotPath, const std::string& temporaryFile,
                     std::string_view script, MessageSink& sink);

// "Cmd file": writes the script under the name the user chose; a failure
// shows kCommandFileFailed (error box) and returns false.
bool SaveCommandFile(const std::string& path, std::string_view script, MessageSink& sink);

// Starts `gnuplotPath -persist scriptPath` as a process of its own (a path
// without a slash is looked up in PATH) and returns at once; the process is
// reaped in the background so that it leaves no zombie. False when it could
// not be started.
bool StartGnuplot(const std::string& gnuplotPath, const std::string& scriptPath);

}  // namespace vireon
