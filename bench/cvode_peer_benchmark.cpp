// Vireon against SUNDIALS CVODE on generated C code of the same equations.
//
// For every model of a folder of SBML files (the curated benchmark models)
// and a synthetic set (random mass-action and Michaelis-Menten networks of
// 10 to 5,000 species, from a fixed seed), in one run:
//   1. the model is read (SBML import or built in process) and its
//      equations are written as C (bench/c_equations.h), compiled with the
//      system compiler into a shared object and loaded;
//   2. the generated right-hand side is checked against the engine's at the
//      initial amounts (the peer must solve the same equations);
//   3. the time course (t = 0 … 100 in 100 intervals, rtol 1e-6, atol 1e-12
//      on concentrations, as the engine scales it per variable) is solved in
//      process by Vireon with LSODA, by Vireon with CVODE, and by the peer:
//      CVODE (BDF, Newton; dense below 100 equations, KLU from 100) on the
//      generated right-hand side with its exact Jacobian;
//   4. the same time course through the whole `vireon simulate` process,
//      with either integrator (the CSV goes to /dev/null);
//   5. one line per model: times (the best of several runs), ratios to the
//      peer, and the counters (steps/right-hand sides/Jacobians) side by
//      side; then the geometric means and the largest ratios.
//
// Usage: cvode_peer_benchmark [--models DIR | --models none] [--vireon PATH]
//                             [--sizes 10,100,...] [--only NAME] [--no-process] [--dense]

#include <cvode/cvode.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunlinsol/sunlinsol_klu.h>
#include <sunmatrix/sunmatrix_dense.h>
#include <sunmatrix/sunmatrix_sparse.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "c_equations.h"
#include "document/document.h"
#include "document/model_file.h"
#include "engine/cvode_integrator.h"
#include "engine/engine.h"
#include "engine/time_course.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/message_sink.h"
#include "model/reaction_editor.h"
#include "model/structural_analysis.h"
#include "model/working_copy.h"
#include "sbml/sbml_import.h"

namespace vireon::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kEndTime = 100.0;
constexpr int kPoints = 100;
constexpr double kRtol = 1e-6;
constexpr double kAtol = 1e-12;
// Runs of one measurement: until this much time has been spent, at most
// kMaxRuns, at least once.
constexpr double kMeasureSeconds = 0.5;
constexpr int kMaxRuns = 5;
// The seed of the synthetic networks.
constexpr unsigned kSeed = 20261211u;
// Largest relative difference allowed between the generated and the
// engine's right-hand side.
constexpr double kRhsAgreement = 1e-9;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The best time of repeated runs of `run`, which returns false on failure.
template <class Run>
std::optional<double> Best(Run run) {
  double best = 1e300, spent = 0.0;
  for (int k = 0; k < kMaxRuns && (k == 0 || spent < kMeasureSeconds); ++k) {
    const Clock::time_point start = Clock::now();
    if (!run()) return std::nullopt;
    const double t = Seconds(start);
    best = std::min(best, t);
    spent += t;
    if (t > 5.0) break;  // slow enough that one run tells
  }
  return best;
}

struct Counts {
  long long nst = 0, nfe = 0, nje = 0;
};

std::string CountText(const Counts& c) {
  return std::to_string(c.nst) + "/" + std::to_string(c.nfe) + "/" + std::to_string(c.nje);
}

// --------------------------------------------------------------- the models

struct Case {
  std::string name;
  std::string file;  // what `vireon simulate` reads
  Document document;
  std::string problem;
};

void ApplyTimeCourseSettings(TaskSettings& s) {
  s.endTime = kEndTime;
  s.points = kPoints;
  s.solver.relativeTolerance = kRtol;
  s.solver.absoluteTolerance = kAtol;
  s.dynamics = 1;
  s.steadyState = 0;
  s.report = 0;
}

// A random network of n species S1 … Sn fed from the fixed Src and drained
// to the fixed Sink: mass action (first and second order, reversible and
// not) or Michaelis-Menten (irreversible and reversible) steps, rate
// constants spread over four decades for stiffness.
bool BuildSynthetic(Case& c, int n, bool michaelisMenten, const KineticCatalogue& catalogue,
                    const fs::path& folder) {
  std::mt19937 random(kSeed + static_cast<unsigned>(n) * 2u + (michaelisMenten ? 1u : 0u));
  std::uniform_int_distribution<int> species(1, n);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto decades = [&](double low, double high) {
    return std::pow(10.0, low + (high - low) * unit(random));
  };
  const auto S = [](int i) { return "S" + std::to_string(i); };
  struct Planned {
    std::string equation;
    std::string type;
    std::vector<double> constants;
  };
  std::vector<Planned> planned;
  for (int i = 1; i <= n; ++i) {
    // Each species is made from a neighbour or the source, and goes on.
    const int from = i == 1 ? 0 : std::max(1, i - 1 - static_cast<int>(unit(random) * 3));
    const std::string source = from == 0 ? "Src" : S(from);
    if (michaelisMenten) {
      if (unit(random) < 0.3) {
        planned.push_back({source + " = " + S(i), "Reversible Michaelis-Menten",
                           {decades(-1, 1), decades(-1, 1), decades(-1, 2), decades(-2, 1)}});
      } else {
        planned.push_back({source + " -> " + S(i), "Henri-Michaelis-Menten (irreversible)",
                           {decades(-1, 1), decades(-1, 2)}});
      }
    } else {
      const double r = unit(random);
      if (r < 0.3) {
        planned.push_back({source + " = " + S(i), "Mass action (reversible)",
                           {decades(-2, 2), decades(-2, 2)}});
      } else if (r < 0.55 && from != 0) {
        int other = species(random);
        if (other == from || other == i) other = 0;
        const std::string second = other == 0 ? "Src" : S(other);
        planned.push_back({source + " + " + second + " -> " + S(i),
                           "Mass action (irreversible)", {decades(-2, 1)}});
      } else {
        planned.push_back({source + " -> " + S(i), "Mass action (irreversible)", {decades(-2, 2)}});
      }
    }
    // Random cross links keep the network from being a plain chain.
    if (unit(random) < 0.2) {
      const int to = species(random);
      if (to != i) {
        if (michaelisMenten) {
          planned.push_back({S(i) + " -> " + S(to), "Henri-Michaelis-Menten (irreversible)",
                             {decades(-1, 1), decades(-2, 1)}});
        } else {
          planned.push_back({S(i) + " -> " + S(to), "Mass action (irreversible)", {decades(-3, 1)}});
        }
      }
    }
    if (i == n || unit(random) < 0.15) {
      if (michaelisMenten) {
        planned.push_back({S(i) + " -> Sink", "Henri-Michaelis-Menten (irreversible)",
                           {decades(-1, 1), decades(-1, 1)}});
      } else {
        planned.push_back({S(i) + " -> Sink", "Mass action (irreversible)", {decades(-2, 1)}});
      }
    }
  }
  Document& document = c.document;
  NewDocument(document, DefaultValues());
  RecordingSink sink;
  {
    ReactionEditor editor(document.model, sink);
    for (std::size_t k = 0; k < planned.size(); ++k) {
      if (!editor.AddOrChange("R" + std::to_string(k + 1), planned[k].equation)) {
        c.problem = "equation refused: " + planned[k].equation;
        return false;
      }
    }
    if (!editor.Commit(nullptr)) {
      c.problem = "the equations were not accepted";
      return false;
    }
    ApplyWorkingCopy(document.model, editor.working(), nullptr);
  }
  Model& model = document.model;
  for (const char* fixed : {"Src", "Sink"}) {
    const int m = model.FindMetabolite(fixed);
    if (m >= 0) model.metabolites[static_cast<std::size_t>(m)].type = FIXED;
  }
  for (Metabolite& m : model.metabolites) m.initialConcentration = 0.1 + unit(random);
  for (std::size_t k = 0; k < planned.size(); ++k) {
    Step& step = model.steps[k];
    const KineticType* type = catalogue.Find(planned[k].type);
    step.kineticType = type;
    step.kineticTypeName = type->name;
    step.constants = planned[k].constants;
  }
  StructuralAnalysis(model);
  model.title = c.name;
  ApplyTimeCourseSettings(document.settings);
  // The numerical methods an imported network of this size opens with.
  document.settings.solver.analyticJacobian = 1;
  document.settings.solver.sparseFactorisation = 1;
  c.file = (folder / (c.name + ".vrn")).string();
  if (!WriteModelFile(document, c.file, catalogue, sink)) {
    c.problem = "could not write " + c.file;
    return false;
  }
  return true;
}

bool ReadSbmlCase(Case& c, const fs::path& path, KineticCatalogue& catalogue) {
  c.name = path.stem().string();
  c.file = path.string();
  NewDocument(c.document, DefaultValues());
  const SbmlImportResult imported = ImportSbmlFile(path.string(), catalogue, c.document.model);
  if (!imported.imported) {
    c.problem = imported.problems.empty() ? "not imported" : imported.problems.front();
    return false;
  }
  ApplyTimeCourseSettings(c.document.settings);
  return true;
}

// The model as the generator takes it. Assignment rules that set kinetic
// constants or global quantities to values that do not change over the
// time course (an imported model's parameters, say) are evaluated once and
// their values written into the steps' constants; rules that read the
// state or the time are refused. The values are checked at a second time
// and state.
bool FoldConstantRules(const Case& c, Model& folded, std::string& problem) {
  const Model& source = c.document.model;
  if (!source.events.empty()) {
    problem = "events";
    return false;
  }
  if (source.rules.empty()) {
    folded = source;
    return true;
  }
  for (const Rule& rule : source.rules) {
    if (rule.kind != RuleKind::kAssignment || (rule.target.kind != RuleTargetKind::kKineticConstant &&
                                               rule.target.kind != RuleTargetKind::kGlobalQuantity)) {
      problem = "rules other than constant assignments";
      return false;
    }
  }
  Model model = source;
  EngineState state;
  state.Allocate(model);
  ComputeMoietyTotals(model);
  EngineHooks hooks;
  Engine engine(model, state, c.document.settings, hooks);
  std::vector<double> amounts = state.amounts;
  const auto constants = [&] {
    std::vector<double> all;
    for (const Step& step : model.steps) all.insert(all.end(), step.constants.begin(), step.constants.end());
    return all;
  };
  std::vector<double> other = amounts;
  for (double& a : other) a = a * 1.37 + 0.01;
  engine.equations.SetTime(37.0);
  engine.equations.UpdateRules(other.data());
  const std::vector<double> later = constants();
  engine.equations.SetTime(0.0);
  engine.equations.UpdateRules(amounts.data());
  if (constants() != later) {
    problem = "rules that read the state or the time";
    return false;
  }
  folded = model;
  folded.rules.clear();
  folded.globalQuantities.clear();
  return true;
}

// ---------------------------------------------------------- Vireon in process

struct VireonRun {
  std::optional<double> seconds;
  Counts counts;
  std::string error;
};

// Whether the engine's integrations ignore the network's structure (CVODE
// then differences its Jacobian column by column), for comparison.
bool gDense = false;

VireonRun SolveInProcess(const Case& c, Integrator integrator) {
  VireonRun result;
  TaskSettings settings = c.document.settings;
  settings.solver.integrator = integrator;
  result.seconds = Best([&] {
    Model model = c.document.model;
    EngineState state;
    state.Allocate(model);
    ComputeMoietyTotals(model);
    EngineHooks hooks;
    try {
      Engine engine(model, state, settings, hooks);
      if (gDense) engine.SetUseSparsity(false);
      SetUpTimeCourse(engine);
      const TimeCourseResult run = TimeCourse(engine, /*write=*/false);
      result.counts = {run.summary.steps, run.summary.fEvaluations, run.summary.jEvaluations};
      if (run.outcome != TimeCourseOutcome::kCompleted) {
        result.error = state.errorLog;
        return false;
      }
    } catch (const std::exception& error) {
      result.error = error.what();
      return false;
    }
    return true;
  });
  return result;
}

// The engine's right-hand side at the initial amounts, over the variables
// (0-based), and the tolerances per variable.
std::vector<double> EngineRhs(const Case& c, std::vector<double>& y0, std::vector<double>& atol) {
  Model model = c.document.model;
  EngineState state;
  state.Allocate(model);
  ComputeMoietyTotals(model);
  EngineHooks hooks;
  Engine engine(model, state, c.document.settings, hooks);
  engine.equations.SetInitialAmounts(state.amounts.data());
  const int n = model.nVariable;
  std::vector<double> ydot(state.amounts.size(), 0.0);
  engine.equations.Derivs(state.amounts.data(), ydot.data());
  y0.assign(state.amounts.begin() + 1, state.amounts.begin() + 1 + n);
  atol.resize(static_cast<std::size_t>(n));
  for (int p = 1; p <= n; ++p) atol[static_cast<std::size_t>(p - 1)] = kAtol * engine.equations.Volume(p);
  return std::vector<double>(ydot.begin() + 1, ydot.begin() + 1 + n);
}

// ------------------------------------------------------- the generated peer

struct Peer {
  void* library = nullptr;
  int n = 0;
  int nnz = 0;
  const int* colptr = nullptr;
  const int* rowval = nullptr;
  void (*rhs)(double, const double*, double*) = nullptr;
  void (*jac)(double, const double*, double*) = nullptr;
  std::vector<double> data;  // the Jacobian's values, compressed columns

  ~Peer() {
    if (library != nullptr) dlclose(library);
  }
};

bool Compile(const CEquations& equations, const fs::path& folder, const std::string& name,
             Peer& peer, double& compileSeconds, std::string& problem) {
  const fs::path source = folder / (name + ".c");
  const fs::path object = folder / (name + ".so");
  {
    std::ofstream out(source);
    out << equations.source;
  }
  const char* compiler = std::getenv("CC");
  const std::string command = std::string(compiler != nullptr ? compiler : "cc") +
                              " -O2 -shared -fPIC -o '" + object.string() + "' '" +
                              source.string() + "' -lm";
  const Clock::time_point start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    problem = "the C compiler failed";
    return false;
  }
  compileSeconds = Seconds(start);
  peer.library = dlopen(object.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (peer.library == nullptr) {
    problem = dlerror();
    return false;
  }
  peer.n = *static_cast<const int*>(dlsym(peer.library, "vireon_n"));
  peer.nnz = *static_cast<const int*>(dlsym(peer.library, "vireon_nnz"));
  peer.colptr = static_cast<const int*>(dlsym(peer.library, "vireon_colptr"));
  peer.rowval = static_cast<const int*>(dlsym(peer.library, "vireon_rowval"));
  peer.rhs = reinterpret_cast<void (*)(double, const double*, double*)>(dlsym(peer.library, "vireon_rhs"));
  peer.jac = reinterpret_cast<void (*)(double, const double*, double*)>(dlsym(peer.library, "vireon_jac"));
  peer.data.assign(static_cast<std::size_t>(std::max(peer.nnz, 1)), 0.0);
  return peer.rhs != nullptr && peer.jac != nullptr;
}

int PeerRhs(sunrealtype t, N_Vector y, N_Vector ydot, void* data) {
  static_cast<Peer*>(data)->rhs(t, N_VGetArrayPointer(y), N_VGetArrayPointer(ydot));
  return 0;
}

int PeerJacobian(sunrealtype t, N_Vector y, N_Vector, SUNMatrix jacobian, void* data, N_Vector,
                 N_Vector, N_Vector) {
  Peer& peer = *static_cast<Peer*>(data);
  peer.jac(t, N_VGetArrayPointer(y), peer.data.data());
  if (SUNMatGetID(jacobian) == SUNMATRIX_SPARSE) {
    sunindextype* starts = SUNSparseMatrix_IndexPointers(jacobian);
    sunindextype* rows = SUNSparseMatrix_IndexValues(jacobian);
    for (int j = 0; j <= peer.n; ++j) starts[j] = peer.colptr[j];
    for (int k = 0; k < peer.nnz; ++k) rows[k] = peer.rowval[k];
    std::copy(peer.data.begin(), peer.data.begin() + peer.nnz, SUNSparseMatrix_Data(jacobian));
  } else {
    SUNMatZero(jacobian);
    for (int j = 0; j < peer.n; ++j) {
      double* column = SUNDenseMatrix_Column(jacobian, j);
      for (int k = peer.colptr[j]; k < peer.colptr[j + 1]; ++k) column[peer.rowval[k]] = peer.data[static_cast<std::size_t>(k)];
    }
  }
  return 0;
}

void SilentErrors(int, const char*, const char*, char*, void*) {}

struct PeerRun {
  std::optional<double> seconds;
  Counts counts;
  std::string error;
};

PeerRun SolvePeer(Peer& peer, const std::vector<double>& y0, const std::vector<double>& atol) {
  PeerRun result;
  SUNContext context = nullptr;
  SUNContext_Create(nullptr, &context);
  const int n = peer.n;
  result.seconds = Best([&] {
    N_Vector y = N_VNew_Serial(n, context);
    N_Vector tolerances = N_VNew_Serial(n, context);
    std::copy(y0.begin(), y0.end(), N_VGetArrayPointer(y));
    std::copy(atol.begin(), atol.end(), N_VGetArrayPointer(tolerances));
    void* memory = CVodeCreate(CV_BDF, context);
    CVodeSetErrHandlerFn(memory, SilentErrors, nullptr);
    CVodeInit(memory, PeerRhs, 0.0, y);
    CVodeSVtolerances(memory, kRtol, tolerances);
    CVodeSetUserData(memory, &peer);
    CVodeSetMaxNumSteps(memory, 1000000);
    const bool sparse = n >= kSparseSystemSize;
    SUNMatrix matrix = sparse ? SUNSparseMatrix(n, n, peer.nnz, CSC_MAT, context)
                              : SUNDenseMatrix(n, n, context);
    SUNLinearSolver solver =
        sparse ? SUNLinSol_KLU(y, matrix, context) : SUNLinSol_Dense(y, matrix, context);
    CVodeSetLinearSolver(memory, solver, matrix);
    CVodeSetJacFn(memory, PeerJacobian);
    bool ok = true;
    double t = 0.0;
    for (int point = 1; point <= kPoints && ok; ++point) {
      const int flag = CVode(memory, kEndTime * point / kPoints, y, &t, CV_NORMAL);
      if (flag < 0) {
        char* name = CVodeGetReturnFlagName(flag);
        result.error = name;
        std::free(name);
        ok = false;
      }
    }
    long int steps = 0, rhs = 0, jacobians = 0, linearRhs = 0;
    CVodeGetNumSteps(memory, &steps);
    CVodeGetNumRhsEvals(memory, &rhs);
    CVodeGetNumJacEvals(memory, &jacobians);
    CVodeGetNumLinRhsEvals(memory, &linearRhs);
    result.counts = {steps, rhs + linearRhs, jacobians};
    SUNLinSolFree(solver);
    SUNMatDestroy(matrix);
    CVodeFree(&memory);
    N_VDestroy(tolerances);
    N_VDestroy(y);
    return ok;
  });
  SUNContext_Free(&context);
  return result;
}

// ------------------------------------------------------------ whole process

std::optional<double> WholeProcess(const std::string& vireon, const Case& c, const char* integrator,
                                   const fs::path& folder) {
  std::vector<std::string> arguments = {vireon,   "simulate", c.file,  "--end",  "100",
                                        "--points", "100",    "--rtol", "1e-6", "--atol",
                                        "1e-12",  "--integrator", integrator, "--settings",
                                        (folder / "bench.ini").string(), "--kdb",
                                        (folder / "bench.kdb").string()};
  return Best([&] {
    const pid_t child = fork();
    if (child == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      std::vector<char*> argv;
      for (std::string& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  });
}

// ------------------------------------------------------------------ report

struct Row {
  std::string name;
  int species = 0, reactions = 0;
  VireonRun lsoda, cvode;
  PeerRun peer;
  std::optional<double> wholeLsoda, wholeCvode;
  double compileSeconds = 0.0;
  double rhsDifference = 0.0;
  std::string problem;
};

std::string Ms(const std::optional<double>& seconds) {
  if (!seconds) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", *seconds * 1000.0);
  return text;
}

std::string Ratio(const std::optional<double>& a, const std::optional<double>& b) {
  if (!a || !b || *b <= 0.0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", *a / *b);
  return text;
}

struct Means {
  std::vector<double> logs;
  double largest = 0.0;
  std::string largestName;
  void Add(const std::optional<double>& a, const std::optional<double>& b, const std::string& name) {
    if (!a || !b || *b <= 0.0) return;
    const double r = *a / *b;
    logs.push_back(std::log(r));
    if (r > largest) {
      largest = r;
      largestName = name;
    }
  }
  std::string Text() const {
    if (logs.empty()) return "-";
    double sum = 0.0;
    for (double l : logs) sum += l;
    char text[96];
    std::snprintf(text, sizeof text, "%.2f (largest %.2f, %s; %zu models)",
                  std::exp(sum / static_cast<double>(logs.size())), largest, largestName.c_str(),
                  logs.size());
    return text;
  }
};

int Main(int argc, char** argv) {
  std::string modelsFolder = "/work/shared/benchmark-models";
  std::string vireon;
  std::vector<int> sizes = {10, 30, 100, 300, 1000, 2000, 5000};
  std::string only;
  bool process = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--models") modelsFolder = value();
    else if (a == "--vireon") vireon = value();
    else if (a == "--only") only = value();
    else if (a == "--no-process") process = false;
    else if (a == "--dense") gDense = true;
    else if (a == "--sizes") {
      sizes.clear();
      std::stringstream list(value());
      std::string item;
      while (std::getline(list, item, ',')) sizes.push_back(std::stoi(item));
    } else {
      std::fprintf(stderr, "unknown argument %s\n", a.c_str());
      return 2;
    }
  }
#ifdef VIREON_PROGRAM
  if (vireon.empty()) vireon = VIREON_PROGRAM;
#endif
  if (vireon.empty() || !fs::exists(vireon)) process = false;

  const fs::path folder = fs::temp_directory_path() / ("vireon-cvode-peer-" + std::to_string(getpid()));
  fs::create_directories(folder);
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);

  std::vector<Case> cases;
  if (modelsFolder != "none") {
    fs::path sbmlFolder = modelsFolder;
    const fs::path archive = sbmlFolder / "biomodels.tar.xz";
    if (fs::exists(archive)) {
      sbmlFolder = folder / "biomodels";
      fs::create_directories(sbmlFolder);
      const std::string command = "tar -xJf '" + archive.string() + "' -C '" + sbmlFolder.string() + "'";
      if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not unpack %s\n", archive.c_str());
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(sbmlFolder)) {
      if (entry.path().extension() == ".xml") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      Case c;
      ReadSbmlCase(c, file, catalogue);
      cases.push_back(std::move(c));
    }
  }
  for (bool michaelisMenten : {false, true}) {
    for (int n : sizes) {
      Case c;
      c.name = std::string(michaelisMenten ? "random_mm_" : "random_ma_") + std::to_string(n);
      BuildSynthetic(c, n, michaelisMenten, catalogue, folder);
      cases.push_back(std::move(c));
    }
  }

  std::printf("Vireon vs CVODE on generated C: t = 0..%g in %d intervals, rtol %g, atol %g\n",
              kEndTime, kPoints, kRtol, kAtol);
  std::printf("times in ms (best of up to %d runs); counts steps/rhs/jacobians\n", kMaxRuns);
  std::printf("%-18s %5s %5s | %9s %9s %9s | %6s %6s | %9s %9s %6s %6s | %-20s %-20s %-20s | %s\n",
              "model", "n", "steps", "lsoda", "cvode", "peer", "L/peer", "C/peer", "proc L",
              "proc C", "pL/pe", "pC/pe", "lsoda counts", "cvode counts", "peer counts", "notes");
  std::fflush(stdout);

  Means inLsoda, inCvode, procLsoda, procCvode;
  for (Case& c : cases) {
    if (!only.empty() && c.name.find(only) == std::string::npos) continue;
    Row row;
    row.name = c.name;
    row.problem = c.problem;
    const Model& model = c.document.model;
    row.species = model.nVariable;
    row.reactions = model.nSteps();
    Peer peer;
    std::vector<double> y0, atol;
    Model folded;
    if (row.problem.empty()) FoldConstantRules(c, folded, row.problem);
    if (row.problem.empty()) {
      const CEquations equations = GenerateCEquations(folded);
      row.problem = equations.problem;
      if (row.problem.empty() &&
          Compile(equations, folder, c.name, peer, row.compileSeconds, row.problem)) {
        const std::vector<double> engine = EngineRhs(c, y0, atol);
        std::vector<double> generated(engine.size(), 0.0);
        peer.rhs(0.0, y0.data(), generated.data());
        // Relative to the largest rate of change, with a floor of a
        // thousandth of the absolute tolerance: rows that nearly cancel
        // differ in their last bits when the arithmetic is ordered otherwise.
        double scale = 0.0;
        for (double v : engine) scale = std::max(scale, std::fabs(v));
        for (std::size_t i = 0; i < engine.size(); ++i) {
          const double allowed = scale + 1e-3 * atol[i] / kRhsAgreement;
          row.rhsDifference = std::max(row.rhsDifference,
                                       std::fabs(generated[i] - engine[i]) / std::max(allowed, 1e-300));
          if (std::getenv("VIREON_BENCH_DEBUG") != nullptr &&
              std::fabs(generated[i] - engine[i]) > kRhsAgreement * allowed) {
            std::fprintf(stderr, "%s row %zu: engine %.17g generated %.17g\n", c.name.c_str(), i,
                         engine[i], generated[i]);
          }
        }
        if (!(row.rhsDifference <= kRhsAgreement)) {
          char text[64];
          std::snprintf(text, sizeof text, "generated rhs differs by %.2e", row.rhsDifference);
          row.problem = text;
        }
      }
    }
    if (row.problem.empty()) {
      row.peer = SolvePeer(peer, y0, atol);
      row.lsoda = SolveInProcess(c, Integrator::kLsoda);
      row.cvode = SolveInProcess(c, Integrator::kCvode);
      if (process) {
        row.wholeLsoda = WholeProcess(vireon, c, "lsoda", folder);
        row.wholeCvode = WholeProcess(vireon, c, "cvode", folder);
      }
      inLsoda.Add(row.lsoda.seconds, row.peer.seconds, row.name);
      inCvode.Add(row.cvode.seconds, row.peer.seconds, row.name);
      procLsoda.Add(row.wholeLsoda, row.peer.seconds, row.name);
      procCvode.Add(row.wholeCvode, row.peer.seconds, row.name);
    }
    std::string notes = row.problem;
    if (row.problem.empty()) {
      char text[96];
      std::snprintf(text, sizeof text, "cc %.0f ms, rhs diff %.1e", row.compileSeconds * 1000.0,
                    row.rhsDifference);
      notes = text;
      for (const std::string* error : {&row.lsoda.error, &row.cvode.error, &row.peer.error}) {
        if (!error->empty()) notes += "; " + error->substr(0, error->find('\n'));
      }
    }
    std::printf("%-18s %5d %5d | %9s %9s %9s | %6s %6s | %9s %9s %6s %6s | %-20s %-20s %-20s | %s\n",
                row.name.c_str(), row.species, row.reactions, Ms(row.lsoda.seconds).c_str(),
                Ms(row.cvode.seconds).c_str(), Ms(row.peer.seconds).c_str(),
                Ratio(row.lsoda.seconds, row.peer.seconds).c_str(),
                Ratio(row.cvode.seconds, row.peer.seconds).c_str(), Ms(row.wholeLsoda).c_str(),
                Ms(row.wholeCvode).c_str(), Ratio(row.wholeLsoda, row.peer.seconds).c_str(),
                Ratio(row.wholeCvode, row.peer.seconds).c_str(), CountText(row.lsoda.counts).c_str(),
                CountText(row.cvode.counts).c_str(), CountText(row.peer.counts).c_str(),
                notes.c_str());
    std::fflush(stdout);
  }
  std::printf("\ngeometric mean of the ratios to the peer (in process):\n");
  std::printf("  Vireon LSODA: %s\n", inLsoda.Text().c_str());
  std::printf("  Vireon CVODE: %s\n", inCvode.Text().c_str());
  if (process) {
    std::printf("whole process (vireon simulate) over the peer's in-process solve:\n");
    std::printf("  Vireon LSODA: %s\n", procLsoda.Text().c_str());
    std::printf("  Vireon CVODE: %s\n", procCvode.Text().c_str());
  }
  std::error_code error;
  fs::remove_all(folder, error);
  return 0;
}

}  // namespace
}  // namespace vireon::bench

int main(int argc, char** argv) { return vireon::bench::Main(argc, argv); }
