#pragma once
// What the command's tests share: the bundled examples, a scratch folder
// per test (also the settings and kinetics-database folder of the runs, so
// that no test touches the user's files), and running the built program.

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"

extern char** environ;

namespace vireon::test {

// The example models in examples/, by file name.
inline const std::vector<std::string> kExampleModels = {
    "michaelis_menten.vrn",      "branched_pathway.vrn", "brusselator.vrn",
    "lotka_volterra.vrn",        "oregonator.vrn",       "robertson.vrn",
    "phosphorylation_cycle.vrn", "upper_glycolysis.vrn", "linear_pathway.vrn",
    "random_scan.vrn",           "puromycin.vrn",
};

inline std::filesystem::path ExamplesFolder() {
  return std::filesystem::path(VIREON_SOURCE_DIR) / "examples";
}

inline std::filesystem::path VireonProgram() {
  return std::filesystem::path(VIREON_BINARY_DIR) / "vireon";
}

// What a run of the program left.
struct ProgramResult {
  int exitStatus = -1;  // -1: it did not exit normally
  std::string out;
  std::string err;
};

// A started program whose output goes to files in `outputFolder`.
struct StartedProgram {
  pid_t pid = -1;
  std::filesystem::path outFile;
  std::filesystem::path errFile;
};

// Starts `program` with `arguments`, standard input from /dev/null, and the
// environment of the tests with XDG_CONFIG_HOME set to `configHome`.
// Standard output goes to `standardOutput` when one is given (a device
// such as /dev/full), else to a file in `outputFolder`.
inline StartedProgram StartProgram(const std::filesystem::path& program,
                                   const std::vector<std::string>& arguments,
                                   const std::filesystem::path& configHome,
                                   const std::filesystem::path& outputFolder,
                                   const std::filesystem::path& standardOutput = {}) {
  StartedProgram started;
  started.outFile = standardOutput.empty() ? outputFolder / "program.out" : standardOutput;
  started.errFile = outputFolder / "program.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, started.outFile.c_str(),
                                   standardOutput.empty() ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, started.errFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> words = {program.string()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).starts_with("XDG_CONFIG_HOME=")) continue;
    environment.emplace_back(*e);
  }
  environment.push_back("XDG_CONFIG_HOME=" + configHome.string());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const int spawned =
      posix_spawn(&started.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "could not start " << program;
    started.pid = -1;
  }
  return started;
}

// Waits for a started program and collects what it left.
inline ProgramResult FinishProgram(const StartedProgram& started) {
  ProgramResult result;
  if (started.pid < 0) return result;
  int status = 0;
  while (waitpid(started.pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  std::error_code error;
  if (std::filesystem::is_regular_file(started.outFile, error)) {
    result.out = ReadText(started.outFile);
  }
  result.err = ReadText(started.errFile);
  return result;
}

inline ProgramResult RunProgram(const std::filesystem::path& program,
                                const std::vector<std::string>& arguments,
                                const std::filesystem::path& configHome,
                                const std::filesystem::path& outputFolder) {
  return FinishProgram(StartProgram(program, arguments, configHome, outputFolder));
}

// A fresh folder per test, removed afterwards.
class CliFolder : public ::testing::Test {
 protected:
  const std::filesystem::path& folder() const { return folder_.path(); }

  // Runs the built vireon with the folder as its configuration home.
  ProgramResult RunVireon(const std::vector<std::string>& arguments) const {
    return RunProgram(VireonProgram(), arguments, ConfigHome(), folder());
  }
  // The same with standard output going to `standardOutput`.
  ProgramResult RunVireonInto(const std::vector<std::string>& arguments,
                              const std::filesystem::path& standardOutput) const {
    return FinishProgram(
        StartProgram(VireonProgram(), arguments, ConfigHome(), folder(), standardOutput));
  }
  StartedProgram StartVireon(const std::vector<std::string>& arguments) const {
    return StartProgram(VireonProgram(), arguments, ConfigHome(), folder());
  }
  std::filesystem::path ConfigHome() const { return folder() / "config"; }

  // Copies an example into the folder and returns its new path.
  std::filesystem::path CopyExample(const std::string& name) const {
    const std::filesystem::path target = folder() / name;
    std::filesystem::copy_file(ExamplesFolder() / name, target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
  }

 private:
  TemporaryFolder folder_;
};

}  // namespace vireon::test
