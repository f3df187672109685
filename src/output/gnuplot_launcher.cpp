#include "output/gnuplot_launcher.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "model/file_access.h"
#include "model/message_sink.h"

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

bool PlotWithGnuplot(const std::string& gnuplotPath, const std::string& temporaryFile,
                     std::string_view script, MessageSink& sink) {
  if (!WriteScriptFile(temporaryFile, script)) {
    // Patterns with one %s take only the first argument.
    sink.Error("", Format(kGnuplotTemporaryFileFailed, std::strerror(errno)));
    return false;
  }
  return StartGnuplot(gnuplotPath, temporaryFile);
}

bool SaveCommandFile(const std::string& path, std::string_view script, MessageSink& sink) {
  if (!WriteScriptFile(path, script)) {
    sink.Error("", Format(kCommandFileFailed, path, std::strerror(errno)));
    return false;
  }
  return true;
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
