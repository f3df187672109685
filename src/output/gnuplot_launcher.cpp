#include "output/gnuplot_launcher.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "model/file_access.h"
#include "model/message_sink.h"
#include "output/gnuplot_script.h"

extern char** environ;

namespace vireon {

namespace {

std::string Format(const char* pattern, std::string_view a, std::string_view b = {}) {
  const std::string first(a);
  const std::string second(b);
  const int length = std::snprintf(nullptr, 0, pattern, first.c_str(), second.c_str());
  if (length < 0) return pattern;
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, first.c_str(), second.c_str());
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace

bool WriteScriptFile(const std::string& path, std::string_view script) {
  std::string reason;
  const int fd = OpenOutputFile(path, OutputMode::kTruncate, {}, reason);
  if (fd < 0) return false;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  const bool written = std::fwrite(script.data(), 1, script.size(), file) == script.size();
  int savedErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written) errno = savedErrno;
  return written && closed;
}

bool WriteGnuplotScript(const std::string& temporaryFile, std::string_view script,
                        MessageSink& sink) {
  if (!WriteScriptFile(temporaryFile, script)) {
    // Patterns with one %s take only the first argument.
    sink.Error("", Format(kGnuplotTemporaryFileFailed, std::strerror(errno)));
    return false;
  }
  return true;
}

bool PlotWithGnuplot(const std::string& gnuplotPath, const std::string& temporaryFile,
                     std::string_view script, MessageSink& sink) {
  if (!WriteGnuplotScript(temporaryFile, script, sink)) return false;
  return StartGnuplot(gnuplotPath, temporaryFile);
}

bool SaveCommandFile(const std::string& path, std::string_view script, MessageSink& sink) {
  if (!WriteScriptFile(path, script)) {
    sink.Error("", Format(kCommandFileFailed, path, std::strerror(errno)));
    return false;
  }
  return true;
}

namespace {

// In order of preference.
constexpr std::string_view kWindowTerminals[] = {"qt", "wxt", "x11", "aqua", "windows"};
constexpr std::string_view kPictureTerminals[] = {"pngcairo", "png", "svg"};
// The size of a picture plot, in pixels.
constexpr const char* kPictureSize = " size 900,600";

bool HasWord(std::string_view text, std::string_view word) {
  std::size_t at = 0;
  while ((at = text.find(word, at)) != std::string_view::npos) {
    const bool startsWord = at == 0 || std::isspace(static_cast<unsigned char>(text[at - 1]));
    const std::size_t end = at + word.size();
    const bool endsWord =
        end == text.size() || std::isspace(static_cast<unsigned char>(text[end]));
    if (startsWord && endsWord) return true;
    at = end;
  }
  return false;
}

}  // namespace

std::optional<PlotTerminal> ChoosePlotTerminal(std::string_view terminalWords) {
  for (std::string_view name : kWindowTerminals) {
    if (HasWord(terminalWords, name)) return PlotTerminal{std::string(name), true};
  }
  for (std::string_view name : kPictureTerminals) {
    if (HasWord(terminalWords, name)) return PlotTerminal{std::string(name), false};
  }
  return std::nullopt;
}

std::string PlotTerminalLines(const PlotTerminal& terminal, std::string_view picturePath) {
  if (terminal.window) {
    if (terminal.name == "qt") return std::string(kScreenTerminal);
    return "set terminal " + terminal.name + "\nset output\n";
  }
  return FileTerminal(terminal.name + kPictureSize, picturePath);
}

std::string GnuplotFailureMessage(int exitCode, std::string_view errorOutput) {
  std::string message = exitCode < 0 ? "gnuplot stopped abnormally while drawing the plot."
                                     : "gnuplot could not draw the plot (exit code " +
                                           std::to_string(exitCode) + ").";
  std::string_view detail = errorOutput;
  while (!detail.empty() && std::isspace(static_cast<unsigned char>(detail.back()))) {
    detail.remove_suffix(1);
  }
  while (!detail.empty() && (detail.front() == '\n' || detail.front() == '\r')) {
    detail.remove_prefix(1);
  }
  if (!detail.empty()) {
    message += "\ngnuplot said:\n";
    message += detail;
  }
  return message;
}

std::string NoPlotTerminalMessage(std::string_view gnuplotPath, std::string_view terminalWords) {
  std::string_view words = terminalWords;
  while (!words.empty() && std::isspace(static_cast<unsigned char>(words.front()))) {
    words.remove_prefix(1);
  }
  while (!words.empty() && std::isspace(static_cast<unsigned char>(words.back()))) {
    words.remove_suffix(1);
  }
  return "The gnuplot program " + std::string(gnuplotPath) +
         " can show a plot neither in a window (qt, wxt, x11) nor as a picture (pngcairo, png, "
         "svg).\nIts terminals: " +
         (words.empty() ? std::string("(none named)") : std::string(words));
}

bool StartGnuplot(const std::string& gnuplotPath, const std::string& scriptPath) {
  if (gnuplotPath.empty()) return false;
  std::string program = gnuplotPath;
  std::string persist = "-persist";
  std::string script = scriptPath;
  std::vector<char*> argv = {program.data(), persist.data(), script.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return false;
  }
  // Nobody waits for gnuplot, but its exit status must still be collected.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace vireon
