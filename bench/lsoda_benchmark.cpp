// Runs our LSODA on four standard problems and two Henri-Michaelis-Menten
// chains (100 and 500 steps) and prints its counters, the solution at every
// output time, and the wall time of a whole time course against SUNDIALS
// CVODE (BDF, dense direct solver, difference-quotient Jacobian) on the same
// right-hand side, tolerances and output times. For the chains it also
// times the whole run of the model as `vireon run` does it: reading the
// model file, the structural analysis, the integration, the report and the
// data file (everything but starting the process).
//
//   lsoda_benchmark            counts table and timing
//   lsoda_benchmark --counts [rtol atol]
//       machine-readable counts and solutions only, optionally at other
//       tolerances (read by bench/lsoda_reference.py)
//   lsoda_benchmark --whole-run
//       machine-readable counts and times of the chains' whole runs and
//       solves (read by bench/lsoda_reference.py)
//   lsoda_benchmark --chain-model N FILE
//       writes the model file of the chain of N steps

#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdlib.h>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "chain_model.h"
#include "document/headless_run.h"
#include "document/model_file.h"
#include "engine/lsoda.h"
#include "engine/random.h"
#include "kinetics/built_in_rate_laws.h"
#include "model/message_sink.h"

namespace {

// Right-hand sides on 0-based arrays, shared by both solvers.
using Rhs = void (*)(double t, const double* y, double* ydot);

constexpr double kRobertsonK1 = 0.04;
constexpr double kRobertsonK2 = 1.0e4;
constexpr double kRobertsonK3 = 3.0e7;
void Robertson(double, const double* y, double* ydot) {
  const double r1 = kRobertsonK1 * y[0];
  const double r2 = kRobertsonK2 * y[1] * y[2];
  const double r3 = kRobertsonK3 * y[1] * y[1];
  ydot[0] = -r1 + r2;
  ydot[1] = r1 - r2 - r3;
  ydot[2] = r3;
}

constexpr double kVanDerPolMu = 1000.0;
void VanDerPol(double, const double* y, double* ydot) {
  ydot[0] = y[1];
  ydot[1] = kVanDerPolMu * (1.0 - y[0] * y[0]) * y[1] - y[0];
}

constexpr double kOscillatorOmega = 1.0;
void Oscillator(double, const double* y, double* ydot) {
  ydot[0] = y[1];
  ydot[1] = -kOscillatorOmega * kOscillatorOmega * y[0];
}

// A chain X -> S1 -> S2 -> … -> S100 ->, constant inflow, Michaelis-Menten
// steps whose limiting rates cycle through 2, 20, 200 (a stiffness ratio of
// a few hundred).
constexpr int kChainLength = 100;
constexpr double kChainInflow = 1.0;
constexpr double kChainKm = 1.0;
constexpr double kChainVmax[3] = {2.0, 20.0, 200.0};
void MichaelisMentenChain(double, const double* y, double* ydot) {
  double influx = kChainInflow;
  for (int i = 0; i < kChainLength; ++i) {
    const double rate = kChainVmax[(i + 1) % 3] * y[i] / (kChainKm + y[i]);
    ydot[i] = influx - rate;
    influx = rate;
  }
}

// The chains of bench/chain_model.h: X0 -> S1 -> ... -> Sn, y[i] = S(i+1).
// The rates and their sums are formed in the order the model's own
// right-hand side forms them, so both give the same bits.
template <int n>
void HenriMichaelisMentenChain(double, const double* y, double* ydot) {
  namespace chain = vireon::bench;
  double influx = chain::kChainFirstV * chain::kChainPool / (chain::kChainKm + chain::kChainPool);
  for (int i = 0; i < n - 1; ++i) {
    const double rate = chain::kChainV * y[i] / (chain::kChainKm + y[i]);
    ydot[i] = influx - rate;
    influx = rate;
  }
  ydot[n - 1] = influx;
}

struct Problem {
  const char* name;
  Rhs rhs;
  std::vector<double> y0;
  std::vector<double> outputs;
  double rtol;
  double atol;
  bool stiff;
  int mxstep = 10000;  // steps allowed per output interval
};

std::vector<Problem> Problems() {
  std::vector<Problem> problems;
  std::vector<double> robertsonTimes;
  for (double t = 0.4; t <= 4.0e5 * 1.0001; t *= 10.0) robertsonTimes.push_back(t);
  problems.push_back({"robertson", Robertson, {1.0, 0.0, 0.0}, robertsonTimes, 1e-6, 1e-12, true});
  std::vector<double> vdpTimes;
  for (int k = 1; k <= 30; ++k) vdpTimes.push_back(100.0 * k);
  problems.push_back({"vanderpol", VanDerPol, {2.0, 0.0}, vdpTimes, 1e-6, 1e-12, true});
  std::vector<double> oscillatorTimes;
  for (int k = 1; k <= 100; ++k) oscillatorTimes.push_back(1.0 * k);
  problems.push_back({"oscillator", Oscillator, {1.0, 0.0}, oscillatorTimes, 1e-6, 1e-12, false});
  std::vector<double> chainTimes;
  for (int k = 1; k <= 50; ++k) chainTimes.push_back(10.0 * k);
  problems.push_back({"mmchain", MichaelisMentenChain, std::vector<double>(kChainLength, 0.0),
                      chainTimes, 1e-6, 1e-12, true});
  std::vector<double> hmmTimes;
  for (int k = 1; k <= vireon::bench::kChainPoints; ++k) hmmTimes.push_back(1.0 * k);
  problems.push_back({"hmmchain100", HenriMichaelisMentenChain<100>, std::vector<double>(100, 0.0),
                      hmmTimes, 1e-6, 1e-12, false, 500});
  problems.push_back({"hmmchain500", HenriMichaelisMentenChain<500>, std::vector<double>(500, 0.0),
                      hmmTimes, 1e-6, 1e-12, false, 500});
  return problems;
}

struct Outcome {
  int nst = 0, nfe = 0, nje = 0;
  bool ok = true;
  std::vector<std::vector<double>> solutions;
};

class BoundRhs final : public vireon::LsodaRhs {
 public:
  explicit BoundRhs(Rhs rhs) : rhs_(rhs) {}
  void Derivs(int, double t, const double* y, double* ydot) override { rhs_(t, y + 1, ydot + 1); }

 private:
  Rhs rhs_;
};

Outcome SolveLsoda(const Problem& problem, bool keepSolutions) {
  const int n = int(problem.y0.size());
  std::vector<double> y(n + 1, 0.0);
  std::copy(problem.y0.begin(), problem.y0.end(), y.begin() + 1);
  const double rtol[2] = {0.0, problem.rtol};
  const double atol[2] = {0.0, problem.atol};
  BoundRhs rhs(problem.rhs);
  vireon::Lsoda solver;
  solver.LsodaSetPrint(0);
  vireon::LsodaOptionalInputs options;
  options.mxstep = problem.mxstep;
  double t = 0.0;
  int istate = 1;
  Outcome outcome;
  for (double tout : problem.outputs) {
    solver.lsoda(rhs, n, y.data(), t, tout, 1, rtol, atol, 1, istate, 1, 2, options);
    if (istate != 2) {
      outcome.ok = false;
      break;
    }
    if (keepSolutions) outcome.solutions.emplace_back(y.begin() + 1, y.end());
  }
  outcome.nst = solver.nst();
  outcome.nfe = solver.nfe();
  outcome.nje = solver.nje();
  return outcome;
}

int CvodeRhs(sunrealtype t, N_Vector y, N_Vector ydot, void* data) {
  const Problem* problem = static_cast<const Problem*>(data);
  problem->rhs(t, N_VGetArrayPointer(y), N_VGetArrayPointer(ydot));
  return 0;
}

Outcome SolveCvode(SUNContext context, const Problem& problem) {
  const int n = int(problem.y0.size());
  N_Vector y = N_VNew_Serial(n, context);
  std::copy(problem.y0.begin(), problem.y0.end(), N_VGetArrayPointer(y));
  void* memory = CVodeCreate(CV_BDF, context);
  CVodeInit(memory, CvodeRhs, 0.0, y);
  CVodeSStolerances(memory, problem.rtol, problem.atol);
  CVodeSetUserData(memory, const_cast<Problem*>(&problem));
  CVodeSetMaxNumSteps(memory, 100000);
  SUNMatrix matrix = SUNDenseMatrix(n, n, context);
  SUNLinearSolver linear = SUNLinSol_Dense(y, matrix, context);
  CVodeSetLinearSolver(memory, linear, matrix);
  Outcome outcome;
  double t = 0.0;
  for (double tout : problem.outputs) {
    if (CVode(memory, tout, y, &t, CV_NORMAL) < 0) {
      outcome.ok = false;
      break;
    }
  }
  long steps = 0, rhsEvals = 0, jacEvals = 0, lsRhsEvals = 0;
  CVodeGetNumSteps(memory, &steps);
  CVodeGetNumRhsEvals(memory, &rhsEvals);
  CVodeGetNumJacEvals(memory, &jacEvals);
  CVodeGetNumLinRhsEvals(memory, &lsRhsEvals);
  outcome.nst = int(steps);
  outcome.nfe = int(rhsEvals + lsRhsEvals);
  outcome.nje = int(jacEvals);
  SUNLinSolFree(linear);
  SUNMatDestroy(matrix);
  CVodeFree(&memory);
  N_VDestroy(y);
  return outcome;
}

// The processor time of the process (all its threads), so that other
// programs on a busy machine do not count.
struct ProcessorClock {
  using duration = std::chrono::duration<double>;
  using time_point = std::chrono::time_point<ProcessorClock, duration>;
  static time_point now() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return time_point(duration(double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9));
  }
};

// Processor seconds per solve: the best of several batches, each long
// enough to time.
template <class Solve>
double SecondsPerSolve(Solve solve) {
  using Clock = ProcessorClock;
  constexpr double kBatchSeconds = 0.2;
  constexpr int kBatches = 5;
  int repeats = 1;
  for (;;) {
    const auto start = Clock::now();
    for (int r = 0; r < repeats; ++r) solve();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (seconds >= kBatchSeconds) break;
    repeats *= 2;
  }
  double best = 1e300;
  for (int b = 0; b < kBatches; ++b) {
    const auto start = Clock::now();
    for (int r = 0; r < repeats; ++r) solve();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count() / repeats);
  }
  return best;
}

// The whole run of a chain model as `vireon run` does it, from reading the
// model file to closing the data file, and the counters it reports.
struct WholeRun {
  double seconds = 0.0;
  int nst = 0, nfe = 0, nje = 0;
  bool ok = false;
};

// Remembers whether anything went wrong; the benchmark shows no messages.
class SilentSink : public vireon::RecordingSink {};

class ChainRuns {
 public:
  ChainRuns() {
    vireon::BuildBuiltInKineticTypes(catalogue_);
    char pattern[] = "/tmp/vireon-bench-XXXXXX";
    if (mkdtemp(pattern) != nullptr) folder_ = pattern;
  }
  ~ChainRuns() {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  // Writes the model file of the chain of n steps; its path.
  std::string WriteModel(int n) {
    vireon::Document document;
    vireon::bench::BuildChainDocument(document, n, catalogue_);
    const std::string path = folder_ + "/chain" + std::to_string(n) + ".vrn";
    SilentSink sink;
    return vireon::WriteModelFile(document, path, catalogue_, sink) ? path : std::string();
  }

  WholeRun Run(const std::string& path) {
    using Clock = ProcessorClock;
    const auto start = Clock::now();
    vireon::Document document;
    SilentSink sink;
    WholeRun run;
    if (!vireon::ReadModelFile(document, path, catalogue_, defaults_, sink)) return run;
    vireon::RandomGenerator random;
    const vireon::HeadlessRunResult result = vireon::RunDocumentToEnd(document, random, sink);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.ok = result.outcome == vireon::RunOutcome::kFinished && result.errorLog.empty();
    run.nst = int(document.engine.stepCount);
    run.nfe = int(document.engine.fEvaluations);
    run.nje = int(document.engine.jEvaluations);
    return run;
  }

 private:
  vireon::KineticCatalogue catalogue_;
  vireon::DefaultValues defaults_;
  std::string folder_;
};

int ChainLength(const Problem& problem) {
  if (std::strcmp(problem.name, "hmmchain100") == 0) return 100;
  if (std::strcmp(problem.name, "hmmchain500") == 0) return 500;
  return 0;
}

// Times the whole runs of the chains beside our solve alone.
void PrintWholeRuns(const std::vector<Problem>& problems, bool machineReadable) {
  ChainRuns runs;
  if (!machineReadable) {
    std::printf("\nwhole run of the chain models (read, analyse, integrate, report, data file)\n");
    std::printf("%-11s %5s %6s %5s | %10s %10s %6s\n", "problem", "nst", "nfe", "nje",
                "whole(ms)", "solve(ms)", "ratio");
  }
  for (const Problem& problem : problems) {
    const int n = ChainLength(problem);
    if (n == 0) continue;
    const std::string path = runs.WriteModel(n);
    const WholeRun whole = runs.Run(path);
    const double wholeSeconds = SecondsPerSolve([&] { runs.Run(path); });
    const double solveSeconds = SecondsPerSolve([&] { SolveLsoda(problem, false); });
    if (machineReadable) {
      std::printf("wholerun %s %d %d %d %d %.6f %.6f\n", problem.name, whole.nst, whole.nfe,
                  whole.nje, whole.ok ? 1 : 0, wholeSeconds, solveSeconds);
    } else {
      std::printf("%-11s %5d %6d %5d | %10.4f %10.4f %6.3f%s\n", problem.name, whole.nst,
                  whole.nfe, whole.nje, wholeSeconds * 1e3, solveSeconds * 1e3,
                  wholeSeconds / solveSeconds, whole.ok ? "" : "  FAILED");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--chain-model") == 0) {
    vireon::KineticCatalogue catalogue;
    vireon::BuildBuiltInKineticTypes(catalogue);
    vireon::Document document;
    vireon::bench::BuildChainDocument(document, std::atoi(argv[2]), catalogue);
    SilentSink sink;
    return vireon::WriteModelFile(document, argv[3], catalogue, sink) ? 0 : 1;
  }
  if (argc == 2 && std::strcmp(argv[1], "--whole-run") == 0) {
    PrintWholeRuns(Problems(), true);
    return 0;
  }
  const bool countsOnly = argc > 1 && std::strcmp(argv[1], "--counts") == 0;
  std::vector<Problem> problems = Problems();
  if (countsOnly && argc == 4) {
    for (Problem& problem : problems) {
      problem.rtol = std::atof(argv[2]);
      problem.atol = std::atof(argv[3]);
    }
  }
  if (countsOnly) {
    for (const Problem& problem : problems) {
      const Outcome ours = SolveLsoda(problem, true);
      std::printf("counts %s %d %d %d %d\n", problem.name, ours.nst, ours.nfe, ours.nje,
                  ours.ok ? 1 : 0);
      for (size_t k = 0; k < ours.solutions.size(); ++k) {
        std::printf("y %s %.17g", problem.name, problem.outputs[k]);
        for (double v : ours.solutions[k]) std::printf(" %.17g", v);
        std::printf("\n");
      }
    }
    return 0;
  }

  SUNContext context = nullptr;
  SUNContext_Create(nullptr, &context);
  std::printf("%-11s %5s %6s %5s | %5s %6s %5s | %10s %10s %6s\n", "problem", "nst", "nfe", "nje",
              "cvnst", "cvnfe", "cvnje", "lsoda(ms)", "cvode(ms)", "ratio");
  for (const Problem& problem : problems) {
    const Outcome ours = SolveLsoda(problem, false);
    const Outcome theirs = SolveCvode(context, problem);
    const double oursSeconds = SecondsPerSolve([&] { SolveLsoda(problem, false); });
    const double theirSeconds = SecondsPerSolve([&] { SolveCvode(context, problem); });
    std::printf("%-11s %5d %6d %5d | %5d %6d %5d | %10.4f %10.4f %6.3f%s%s\n", problem.name,
                ours.nst, ours.nfe, ours.nje, theirs.nst, theirs.nfe, theirs.nje, oursSeconds * 1e3,
                theirSeconds * 1e3, oursSeconds / theirSeconds,
                problem.stiff ? "" : "  (non-stiff)", ours.ok && theirs.ok ? "" : "  FAILED");
  }
  SUNContext_Free(&context);
  PrintWholeRuns(problems, false);
  return 0;
}
