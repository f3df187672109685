// The time of an SBML import, against libSBML's own reading of the same
// file measured in the same run.
//
// For each SBML file: libSBML's bare readSBMLFromFile (and the deletion of
// its document), the in-process import (ImportSbmlDocument and the model
// file written as `vireon import` writes it, after the start-up), and, when
// the program is given, the whole command `vireon import FILE -o OUT.vrn`
// (start-up, settings and kinetics database included).
// Each time is processor time, the best of a few runs; the ratios are to
// libSBML's read.
//
// Usage: import_benchmark [--vireon VIREON] [--runs N] FILE.xml...

#include <fcntl.h>
#include <sbml/SBMLTypes.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "document/model_file.h"
#include "document/program_startup.h"
#include "model/message_sink.h"
#include "sbml/sbml_document.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Processor time, of this process and of the children it waited for, so
// that a busy machine does not skew the ratios.
double Seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double ChildrenSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// The best of `runs` timings of `work` by `clock`; negative when it failed
// once.
template <class Work>
double Best(int runs, double (*clock)(), Work work) {
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    const double start = clock();
    if (!work()) return -1.0;
    best = std::min(best, clock() - start);
  }
  return best;
}

// Runs the command with its output thrown away; whether it ended with 0.
bool Run(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ReadWithLibSbml(const std::string& path) {
  const std::unique_ptr<LIBSBML_CPP_NAMESPACE_QUALIFIER SBMLDocument> document(
      LIBSBML_CPP_NAMESPACE_QUALIFIER readSBMLFromFile(path.c_str()));
  return document != nullptr && document->getModel() != nullptr;
}

// The seconds of one import and the writing of its model file, the
// start-up before it (settings, a fresh kinetics database) not counted;
// negative when it failed.
double ImportInProcess(const std::string& path, const std::string& output) {
  vireon::RecordingSink sink;
  vireon::ProgramStartup startup;
  std::filesystem::remove(output + ".kdb");
  if (!vireon::StartProgram(startup, sink, output + ".ini", output + ".kdb")) return -1.0;
  const double start = Seconds();
  vireon::Document document;
  const vireon::SbmlImportResult result =
      vireon::ImportSbmlDocument(path, document, startup.catalogue, startup.defaults);
  if (!result.imported || !vireon::WriteModelFile(document, output, startup.catalogue, sink)) {
    return -1.0;
  }
  return Seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  std::string program;
  int runs = 5;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--vireon" && i + 1 < argc) {
      program = argv[++i];
    } else if (word == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      files.push_back(word);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: %s [--vireon VIREON] [--runs N] FILE.xml...\n", argv[0]);
    return 2;
  }
  const fs::path folder =
      fs::temp_directory_path() / ("vireon-import-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string output = (folder / "model.vrn").string();

  std::printf("%-22s %10s %12s %8s %12s %8s\n", "file", "libsbml(ms)", "import(ms)", "ratio",
              "command(ms)", "ratio");
  double logImport = 0.0, logCommand = 0.0;
  int counted = 0;
  for (const std::string& file : files) {
    const double bare = Best(runs, Seconds, [&] { return ReadWithLibSbml(file); });
    double import = 1e300;
    for (int r = 0; r < runs && import >= 0.0; ++r) {
      const double seconds = ImportInProcess(file, output);
      import = seconds < 0.0 ? seconds : std::min(import, seconds);
    }
    double command = -1.0;
    if (!program.empty()) {
      command = Best(runs, ChildrenSeconds, [&] {
        fs::remove(output + ".kdb");
        return Run({program, "import", file, "-o", output, "--settings", output + ".ini", "--kdb",
                    output + ".kdb"});
      });
    }
    const std::string name = fs::path(file).stem().string();
    if (bare <= 0.0 || import < 0.0) {
      std::printf("%-22s %10s\n", name.c_str(), "failed");
      continue;
    }
    std::printf("%-22s %10.2f %12.2f %8.2f", name.c_str(), 1e3 * bare, 1e3 * import, import / bare);
    if (command > 0.0) {
      std::printf(" %12.2f %8.2f", 1e3 * command, command / bare);
      logCommand += std::log(command / bare);
    }
    std::printf("\n");
    logImport += std::log(import / bare);
    ++counted;
  }
  if (counted > 0) {
    std::printf("geometric mean ratio: import %.2f", std::exp(logImport / counted));
    if (!program.empty()) std::printf(", command %.2f", std::exp(logCommand / counted));
    std::printf("\n");
  }
  fs::remove_all(folder);
  return 0;
}
