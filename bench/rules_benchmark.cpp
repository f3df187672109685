// Times a time course of the 1,000-step Henri-Michaelis-Menten chain
// (bench/chain_model.h) with 500 assignment rules against the same chain
// without them, in the same run. Each rule sets the limiting rate V of an
// even step from its substrate, V = 1 + 0 * S, so that the two models have
// the same solution to the last bit: the numbers and the integrator's
// counts must agree, and the ratio is what evaluating the rules before
// every evaluation of the rates costs.
//
// Two figures: in process (the time course alone, best of three) and the
// whole command as a user runs it, `vireon simulate MODEL.vrn -o OUT.csv`,
// wall-clock time, best of three.
//
// Usage: rules_benchmark [path to the vireon program]

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "chain_model.h"
#include "document/document.h"
#include "document/model_file.h"
#include "document/time_course_table.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"

extern char** environ;

namespace {

constexpr int kSteps = 1000;
constexpr int kRuleEvery = 2;  // every second step: 500 rules
constexpr int kRepeats = 3;

double Seconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void AddRules(vireon::Model& model) {
  for (int k = kRuleEvery - 1; k < model.nSteps(); k += kRuleEvery) {
    const vireon::Step& step = model.steps[static_cast<std::size_t>(k)];
    const std::string& substrate =
        model.metabolites[static_cast<std::size_t>(step.substrates.front())].name;
    model.rules.push_back({vireon::RuleKind::kAssignment,
                           {vireon::RuleTargetKind::kKineticConstant, step.name, "V"},
                           "1+0*" + substrate});
  }
}

struct InProcess {
  double seconds = 1e300;
  std::vector<double> last;  // the last row
  std::string errors;
};

InProcess TimeInProcess(const vireon::Document& document) {
  InProcess result;
  for (int r = 0; r < kRepeats; ++r) {
    vireon::Model model = document.model;
    std::vector<double> last;
    const double start = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    result.errors = vireon::ComputeTimeCourseRows(
        model, document.settings, [&last](double, std::span<const double> row) {
          last.assign(row.begin(), row.end());
          return true;
        });
    result.seconds = std::min(result.seconds, Seconds(CLOCK_PROCESS_CPUTIME_ID) - start);
    result.last = last;
  }
  return result;
}

// Wall-clock seconds of `program simulate model -o output`, best of three;
// negative when the command fails.
double TimeCommand(const std::string& program, const std::string& model, const std::string& output) {
  double best = 1e300;
  for (int r = 0; r < kRepeats; ++r) {
    std::vector<std::string> words{program, "simulate", model, "-o", output};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const double start = Seconds(CLOCK_MONOTONIC);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    best = std::min(best, Seconds(CLOCK_MONOTONIC) - start);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string program = argc > 1 ? argv[1] : "build/vireon";
  vireon::KineticCatalogue catalogue;
  vireon::BuildBuiltInKineticTypes(catalogue);
  vireon::Document plain;
  vireon::bench::BuildChainDocument(plain, kSteps, catalogue);
  vireon::Document ruled = plain;
  AddRules(ruled.model);

  const InProcess a = TimeInProcess(plain);
  const InProcess b = TimeInProcess(ruled);
  if (!a.errors.empty() || !b.errors.empty()) {
    std::fprintf(stderr, "time course failed: %s%s\n", a.errors.c_str(), b.errors.c_str());
    return 1;
  }
  const bool same = a.last == b.last;
  std::printf("%d steps, %zu assignment rules\n", kSteps, ruled.model.rules.size());
  std::printf("in process:    without %.3f s, with %.3f s, ratio %.2fx; last row %s\n", a.seconds,
              b.seconds, b.seconds / a.seconds, same ? "identical" : "DIFFERS");

  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vireon-rules-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const auto write = [&](const vireon::Document& document, const char* name) {
    const std::string path = (folder / name).string();
    std::ofstream(path, std::ios::binary) << vireon::ModelFileText(document, catalogue);
    return path;
  };
  const std::string plainPath = write(plain, "plain.vrn");
  const std::string ruledPath = write(ruled, "rules.vrn");
  const double plainCommand = TimeCommand(program, plainPath, (folder / "plain.csv").string());
  const double ruledCommand = TimeCommand(program, ruledPath, (folder / "rules.csv").string());
  if (plainCommand < 0 || ruledCommand < 0) {
    std::printf("whole command: %s simulate failed or was not found (give its path)\n",
                program.c_str());
  } else {
    std::ifstream x(folder / "plain.csv"), y(folder / "rules.csv");
    const std::string textX((std::istreambuf_iterator<char>(x)), std::istreambuf_iterator<char>());
    const std::string textY((std::istreambuf_iterator<char>(y)), std::istreambuf_iterator<char>());
    std::printf("whole command: without %.3f s, with %.3f s, ratio %.2fx; files %s\n",
                plainCommand, ruledCommand, ruledCommand / plainCommand,
                textX == textY ? "identical" : "DIFFER");
  }
  std::filesystem::remove_all(folder);
  return same ? 0 : 1;
}
