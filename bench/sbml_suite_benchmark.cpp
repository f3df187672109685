// The SBML Test Suite's time per case, as a user sees it: the whole command
// `vireon simulate CASE.xml --end DURATION --points STEPS -o OUT.csv` for
// every case (at the highest level it comes in), wall-clock time, against
// the program's own start-up (`vireon --version`) measured in the same run.
// Refused cases count apart: their time is the import's.
//
// Usage: sbml_suite_benchmark VIREON SUITE_FOLDER [MAX_CASES]
// (SUITE_FOLDER holds one folder per case, as the semantic suite unpacks).

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kLevels[] = {"l3v2", "l3v1", "l2v5"};
constexpr int kStartUpRuns = 20;

double Seconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Runs the command with standard output and error thrown away; its exit
// status, or -1 when it could not run.
int Run(std::vector<std::string> words) {
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
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

struct Case {
  fs::path model;
  std::string duration, steps;
};

// The case's model at its highest level and its time course; false for a
// case without one (flux balance) or without a model.
bool ReadCase(const fs::path& folder, Case& c) {
  const std::string number = folder.filename().string();
  for (const char* level : kLevels) {
    const fs::path model = folder / (number + "-sbml-" + level + ".xml");
    if (fs::exists(model)) {
      c.model = model;
      break;
    }
  }
  if (c.model.empty()) return false;
  std::ifstream settings(folder / (number + "-settings.txt"));
  std::string line;
  while (std::getline(settings, line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon), value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (key == "duration") c.duration = value;
    if (key == "steps") c.steps = value;
  }
  return !c.duration.empty() && !c.steps.empty();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s VIREON SUITE_FOLDER [MAX_CASES]\n", argv[0]);
    return 2;
  }
  const std::string program = argv[1];
  const fs::path suite = argv[2];
  const std::size_t maxCases = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 100000;
  std::vector<fs::path> folders;
  for (const fs::directory_entry& entry : fs::directory_iterator(suite)) {
    if (entry.is_directory()) folders.push_back(entry.path());
  }
  std::sort(folders.begin(), folders.end());
  if (folders.size() > maxCases) folders.resize(maxCases);

  std::vector<double> startUp;
  for (int r = 0; r < kStartUpRuns; ++r) {
    const double start = Seconds();
    if (Run({program, "--version"}) != 0) {
      std::fprintf(stderr, "%s --version failed\n", program.c_str());
      return 1;
    }
    startUp.push_back(Seconds() - start);
  }

  const std::string output =
      (fs::temp_directory_path() / ("vireon-suite-bench-" + std::to_string(getpid()) + ".csv"))
          .string();
  std::vector<double> simulated, refused;
  for (const fs::path& folder : folders) {
    Case c;
    if (!ReadCase(folder, c)) continue;
    const double start = Seconds();
    const int status = Run({program, "simulate", c.model.string(), "--end", c.duration,
                            "--points", c.steps, "-o", output});
    const double seconds = Seconds() - start;
    (status == 0 ? simulated : refused).push_back(seconds);
  }
  fs::remove(output);

  const double peer = Median(startUp);
  const auto report = [peer](const char* what, const std::vector<double>& times) {
    double total = 0.0;
    for (double t : times) total += t;
    const double mean = times.empty() ? 0.0 : total / static_cast<double>(times.size());
    std::printf("%-10s %5zu cases: median %.1f ms (%.2fx start-up), mean %.1f ms, longest %.1f ms\n",
                what, times.size(), 1e3 * Median(times), Median(times) / peer, 1e3 * mean,
                times.empty() ? 0.0 : 1e3 * *std::max_element(times.begin(), times.end()));
  };
  std::printf("start-up (vireon --version): median %.1f ms\n", 1e3 * peer);
  report("simulated", simulated);
  report("refused", refused);
  return 0;
}
