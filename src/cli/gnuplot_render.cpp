#include "cli/gnuplot_render.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "model/replace_file.h"

extern char** environ;

namespace vireon::cli {
namespace {

// Pictures of a size that shows four panels of a multiplot legibly.
constexpr std::string_view kPngTerminal = "pngcairo size 1024,768 noenhanced";
constexpr std::string_view kSvgTerminal = "svg size 1024,768 noenhanced";

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string_view PictureTerminal(PictureFormat format) {
  return format == PictureFormat::kSvg ? kSvgTerminal : kPngTerminal;
}

std::string GnuplotProgram(const std::string& helperPath) {
  return helperPath.empty() ? std::string("gnuplot") : helperPath;
}

bool FindProgram(const std::string& program) {
  if (program.empty()) return false;
  if (program.find('/') != std::string::npos) return IsExecutableFile(program);
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = folders.find(':');
    std::string folder(folders.substr(0, colon));
    if (folder.empty()) folder = ".";
    if (IsExecutableFile(folder + "/" + program)) return true;
    if (colon == std::string_view::npos) return false;
    folders.remove_prefix(colon + 1);
  }
}

RenderResult RenderWithGnuplot(const std::string& program, std::string_view script,
                               const std::string& outputPath) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return {false, std::string("no pipe: ") + std::strerror(errno)};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), nullptr};
  pid_t child = 0;
  const int spawned =
      ::posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[0]);
  if (spawned != 0) {
    ::close(pipeEnds[1]);
    return {false, "could not start " + program + ": " + std::strerror(spawned)};
  }

  // A gnuplot that stops reading early must not end this program with SIGPIPE.
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  const bool written = WriteAll(pipeEnds[1], script);
  ::close(pipeEnds[1]);
  ::sigaction(SIGPIPE, &previous, nullptr);

  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return {false, std::string("lost gnuplot: ") + std::strerror(errno)};
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return {false, program + " failed on the script (see its messages above)"};
  }
  if (!written) return {false, program + " did not read the whole script"};
  std::error_code error;
  const auto size = std::filesystem::file_size(outputPath, error);
  if (error || size == 0) return {false, program + " wrote no picture to " + outputPath};
  return {true, {}};
}

}  // namespace vireon::cli
