// Times a 10,000-point two-level steady-state scan (100 x 100, with the
// stability and control analysis of every point in the steady-state file)
// run on one thread and on two, checks that both wrote the same bytes, and
// prints the ratio of the times, and of the processor time both took (the
// work a parallel run adds). E1's Vf stays below what the chain can carry,
// so every point has a steady state that Newton finds from the initial
// concentrations: a point whose search integrates goes on from the amounts
// an earlier point left, and the chunk after it is then solved again in
// order, which the processor time shows.
//
// Usage: parallel_scan_benchmark [points per level] [threads]   (default 100 2)

#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "document/document.h"
#include "document/headless_run.h"
#include "engine/random.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "model/structural_analysis.h"
#include "output/output_item.h"
#include "scan/scan_item.h"

namespace {

using vireon::MakeOutputItem;

// S -> X1 -> ... -> X8 -> P with reversible Michaelis-Menten steps; S and P
// fixed.
vireon::Model Pathway(const vireon::KineticCatalogue& catalogue) {
  constexpr int n = 8;
  vireon::Model model;
  model.Allocate(n + 1, n + 2, n, 0, 1);
  model.metabolites[0] = vireon::Metabolite("S", vireon::FIXED, 0, 10.0);
  for (int i = 1; i <= n; ++i) {
    model.metabolites[i] = vireon::Metabolite("X" + std::to_string(i), vireon::INDEPENDENT, 0, 0.1);
  }
  model.metabolites[n + 1] = vireon::Metabolite("P", vireon::FIXED, 0, 0.0);
  const vireon::KineticType* type = catalogue.Find("Reversible Michaelis-Menten");
  for (int k = 0; k <= n; ++k) {
    vireon::Step& step = model.steps[k];
    step.name = "E" + std::to_string(k + 1);
    step.SizeSubstrates(1);
    step.SizeProducts(1);
    model.AddStoichiometry(k, k, -1, 1);
    model.AddStoichiometry(k, k + 1, +1, 1);
    step.reversible = 1;
    step.kineticType = type;
    step.kineticTypeName = type->name;
    step.constants = {1.0 + 0.01 * k, 2.0, 10.0 - 0.005 * k, 1.0};
  }
  vireon::StructuralAnalysis(model);
  return model;
}

vireon::Document ScanDocument(const vireon::KineticCatalogue& catalogue, int perLevel,
                              const std::string& folder) {
  vireon::Document d;
  d.model = Pathway(catalogue);
  d.pathName = folder + "pathway.vrn";
  d.folder = folder;
  vireon::TaskSettings& s = d.settings;
  s.dynamics = 0;
  s.steadyState = 1;
  s.report = 0;
  s.steadyStateData.file = "pathway.ss";
  s.steadyStateData.titles = 1;
  d.selections.steadyState = {MakeOutputItem(vireon::kKineticConstant, "E1", "Vf"),
                              MakeOutputItem(vireon::kKineticConstant, "E9", "Kms"),
                              MakeOutputItem(vireon::kSteadyStateConcentration, "X4"),
                              MakeOutputItem(vireon::kSteadyStateFlux, "E9"),
                              MakeOutputItem(vireon::kMaxRealPart),
                              MakeOutputItem(vireon::kNegativeRealCount),
                              MakeOutputItem(vireon::kFluxControl, "E9", "E1"),
                              MakeOutputItem(vireon::kConcentrationControl, "X4", "E5")};
  vireon::ScanItem inner(MakeOutputItem(vireon::kKineticConstant, "E1", "Vf"));
  inner.min = 0.5;
  inner.max = 5.0;
  inner.log = 1;
  inner.density = perLevel;
  vireon::ScanItem outer(MakeOutputItem(vireon::kKineticConstant, "E9", "Kms"));
  outer.min = 0.1;
  outer.max = 10.0;
  outer.density = perLevel;
  d.scan.enabled = 1;
  d.scan.items = {inner, outer};
  return d;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Runs the scan on `jobs` threads; the seconds it took, and its file and
// the processor seconds of all threads.
double Run(const vireon::KineticCatalogue& catalogue, int perLevel, int jobs,
           const std::string& folder, std::string& file, double& cpu) {
  vireon::Document d = ScanDocument(catalogue, perLevel, folder);
  vireon::RandomGenerator random(1u);
  vireon::RecordingSink sink;
  vireon::HeadlessRunOptions options;
  options.jobs = jobs;
  const double cpuStart = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const vireon::HeadlessRunResult result = vireon::RunDocumentToEnd(d, random, sink, options);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  cpu = ProcessCpuSeconds() - cpuStart;
  if (result.outcome != vireon::RunOutcome::kFinished || !result.errorLog.empty()) {
    std::fprintf(stderr, "the run with %d threads failed: %s\n", jobs, result.errorLog.c_str());
    std::exit(1);
  }
  file = ReadAll(folder + "pathway.ss");
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int perLevel = argc > 1 ? std::atoi(argv[1]) : 100;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 2;
  vireon::KineticCatalogue catalogue;
  vireon::BuildBuiltInKineticTypes(catalogue);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vireon-scan-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string prefix = folder.string() + "/";

  std::string serialFile, parallelFile;
  // The best of five runs each, alternating, so that a busy moment of the
  // shared machine weighs on both alike and is seldom the fastest.
  constexpr int kRounds = 5;
  double serial = 1e300, parallel = 1e300, serialCpu = 1e300, parallelCpu = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    double cpu = 0.0;
    serial = std::min(serial, Run(catalogue, perLevel, 1, prefix, serialFile, cpu));
    serialCpu = std::min(serialCpu, cpu);
    parallel = std::min(parallel, Run(catalogue, perLevel, threads, prefix, parallelFile, cpu));
    parallelCpu = std::min(parallelCpu, cpu);
  }
  std::filesystem::remove_all(folder);
  const bool same = serialFile == parallelFile;
  std::printf("%d-point two-level steady-state scan with stability and control analysis\n",
              perLevel * perLevel);
  std::printf("%10s %12s %12s\n", "threads", "seconds", "cpu seconds");
  std::printf("%10d %12.3f %12.3f\n", 1, serial, serialCpu);
  std::printf("%10d %12.3f %12.3f\n", threads, parallel, parallelCpu);
  // On a busy machine the time ratio says little; the processor time ratio
  // shows the work the parallel run adds (planning, points solved twice).
  std::printf("speed-up %d threads vs 1: %.2fx (processor time %.2fx of one thread's); files %s\n",
              threads, serial / parallel, parallelCpu / serialCpu, same ? "identical" : "DIFFER");
  return same ? 0 : 1;
}
