// Our LSODA on an imported model against the published Fortran LSODA
// (scipy.integrate.odeint) on the same right-hand side.
//
// The model is an SBML file, imported and set up as `vireon simulate`
// sets it up (end time, points and tolerances as given); the integrator's
// state is the engine's (the variable amounts, then the rate-rule
// targets), with the engine's absolute tolerances (scaled by the volumes).
//
//   lsoda_models_benchmark MODEL.xml --counts [--dense] [END POINTS RTOL ATOL]
//     integrates with our LSODA to each output time and prints, per
//     point, the cumulative nst, nfe and nje; --dense differences every
//     column of the Jacobian on its own, as the published code does.
//   lsoda_models_benchmark MODEL.xml --time-course [END POINTS RTOL ATOL]
//     the engine's own time course (as vireon simulate runs it) and its
//     counts, which --counts must give too.
//   lsoda_models_benchmark MODEL.xml --serve [END POINTS RTOL ATOL]
//     prints the problem (n, rtol, the absolute tolerances, the initial
//     state, the output times), then evaluates the right-hand side for
//     every (t, y) read from standard input in binary doubles and writes
//     dy/dt back, for bench/lsoda_models_reference.py.
//   lsoda_models_benchmark MODEL.xml --trace [--dense] [END POINTS RTOL ATOL CALLS]
//     our LSODA on the served right-hand side itself, printing for each of
//     the first CALLS evaluations its number, t, y[1] and dy[1]/dt with 17
//     digits: the same lines the reference script's --trace prints for the
//     published solver, so that `cmp` finds the first evaluation where the
//     two depart.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "document/program_startup.h"
#include "engine/engine.h"
#include "engine/time_course.h"
#include "model/message_sink.h"
#include "model/structural_analysis.h"
#include "sbml/sbml_document.h"

namespace {

namespace fs = std::filesystem;

bool ReadAll(void* data, std::size_t bytes) {
  char* p = static_cast<char*>(data);
  while (bytes > 0) {
    const ssize_t got = ::read(0, p, bytes);
    if (got <= 0) return false;
    p += got;
    bytes -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAll(const void* data, std::size_t bytes) {
  const char* p = static_cast<const char*>(data);
  while (bytes > 0) {
    const ssize_t put = ::write(1, p, bytes);
    if (put <= 0) return false;
    p += put;
    bytes -= static_cast<std::size_t>(put);
  }
  return true;
}

// The integrator's state at time 0 (1-based): the variable amounts, or
// with rules the packed state, followed by the amounts of every other
// metabolite, which the rates read and nothing integrates.
std::vector<double> InitialState(vireon::Engine& engine) {
  std::vector<double> y = engine.state.amounts;
  if (engine.equations.hasRules()) {
    const int n = engine.equations.nEquations();
    y.resize(std::max(y.size(), static_cast<std::size_t>(n) + 1), 0.0);
    std::vector<double> packed(static_cast<std::size_t>(n) + 1, 0.0);
    engine.equations.SetTime(0.0);
    engine.equations.PackState(engine.state.amounts.data(), packed.data());
    std::copy(packed.begin() + 1, packed.end(), y.begin() + 1);
  }
  return y;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s MODEL.xml --counts|--serve [--dense] [END POINTS RTOL ATOL]\n",
                 argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const std::string mode = argv[2];
  bool dense = false;
  std::vector<std::string> numbers;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dense") == 0) {
      dense = true;
    } else {
      numbers.push_back(argv[i]);
    }
  }
  const fs::path scratch =
      fs::temp_directory_path() / ("vireon-lsoda-models-" + std::to_string(getpid()));
  fs::create_directories(scratch);
  vireon::RecordingSink sink;
  vireon::ProgramStartup startup;
  if (!vireon::StartProgram(startup, sink, scratch / "vireon.ini", scratch / "vireon.kdb"))
    return 1;
  vireon::Document document;
  const vireon::SbmlImportResult imported =
      vireon::ImportSbmlDocument(path, document, startup.catalogue, startup.defaults);
  fs::remove_all(scratch);
  if (!imported.imported) {
    std::fprintf(stderr, "%s: not imported\n", path.c_str());
    return 1;
  }
  vireon::Model& model = document.model;
  vireon::TaskSettings settings = document.settings;
  settings.realTime = 0;
  settings.endTime = numbers.size() > 0 ? std::atof(numbers[0].c_str()) : 100.0;
  settings.points = numbers.size() > 1 ? std::atoi(numbers[1].c_str()) : 100;
  settings.solver.relativeTolerance = numbers.size() > 2 ? std::atof(numbers[2].c_str()) : 1e-6;
  settings.solver.absoluteTolerance = numbers.size() > 3 ? std::atof(numbers[3].c_str()) : 1e-12;

  vireon::EngineState state;
  state.Allocate(model);
  vireon::ComputeMoietyTotals(model);
  vireon::EngineHooks hooks;
  vireon::Engine engine(model, state, settings, hooks);
  if (dense) engine.SetUseSparsity(false);
  vireon::SetUpTimeCourse(engine);
  state.maxSteps = 1000000000;
  vireon::ModelEquations& equations = engine.equations;
  const int n = equations.nEquations();

  if (mode == "--serve") {
    // The rates read every metabolite's amount, the fixed ones (after the
    // integrator's n) included: those stay the engine's.
    std::vector<double> y = InitialState(engine), ydot(y.size(), 0.0);
    std::printf("%d\n%.17g\n", n, settings.solver.relativeTolerance);
    // The absolute tolerance of each variable, as the engine gives LSODA.
    for (int p = 1; p <= n; ++p) {
      const double atol =
          settings.solver.absoluteTolerance * (p <= model.nVariable ? equations.Volume(p) : 1.0);
      std::printf("%.17g%c", atol, p == n ? '\n' : ' ');
    }
    for (int p = 1; p <= n; ++p) std::printf("%.17g%c", y[p], p == n ? '\n' : ' ');
    for (int k = 1; k <= settings.points; ++k) {
      std::printf("%.17g%c", settings.endTime * k / settings.points,
                  k == settings.points ? '\n' : ' ');
    }
    std::fflush(stdout);
    std::vector<double> message(static_cast<std::size_t>(n) + 1);
    while (ReadAll(message.data(), message.size() * sizeof(double))) {
      std::copy(message.begin() + 1, message.end(), y.begin() + 1);
      equations.SetTime(message[0]);
      equations.Derivs(y.data(), ydot.data());
      if (!WriteAll(ydot.data() + 1, static_cast<std::size_t>(n) * sizeof(double))) break;
    }
    return 0;
  }

  if (mode == "--trace") {
    // Our LSODA on the served right-hand side itself: the time of each of
    // the first evaluations, to be set beside the published solver's.
    const int calls = numbers.size() > 4 ? std::atoi(numbers[4].c_str()) : 200;
    std::vector<double> y = InitialState(engine);
    std::vector<double> atol(static_cast<std::size_t>(n) + 1, 0.0);
    for (int p = 1; p <= n; ++p) {
      atol[p] =
          settings.solver.absoluteTolerance * (p <= model.nVariable ? equations.Volume(p) : 1.0);
    }
    const double rtol[2] = {0.0, settings.solver.relativeTolerance};
    int count = 0;
    auto rhs = vireon::LsodaFunction([&](int, double t, const double* v, double* ydot) {
      equations.SetTime(t);
      equations.Derivs(v, ydot);
      if (count++ < calls) std::printf("%d %.17g %.17g %.17g\n", count, t, v[1], ydot[1]);
    });
    vireon::Lsoda solver;
    solver.LsodaSetPrint(0);
    if (!dense) solver.SetColumnStructure(&equations.fullStructure());
    vireon::LsodaOptionalInputs options;
    options.mxstep = 1000000000;
    options.mxordn = settings.solver.adamsMaxOrder;
    options.mxords = settings.solver.bdfMaxOrder;
    double t = 0.0;
    int istate = 1;
    for (int k = 1; k <= settings.points && count < calls; ++k) {
      solver.lsoda(rhs, n, y.data(), t, settings.endTime * k / settings.points, 2, rtol,
                   atol.data(), 1, istate, 1, 2, options);
      if (istate != 2) break;
    }
    return 0;
  }

  if (mode == "--time-course") {
    // The engine's own time course, as vireon simulate runs it.
    state.maxSteps = 1000000;
    const vireon::TimeCourseResult result = vireon::TimeCourse(engine, /*write=*/false);
    std::printf("time course: nst %lld nfe %lld nje %lld\n", result.summary.steps,
                result.summary.fEvaluations, result.summary.jEvaluations);
    return 0;
  }

  std::printf("# n=%d nVariable=%d rules=%d %s\n", n, model.nVariable, equations.hasRules() ? 1 : 0,
              dense ? "dense" : "grouped");
  state.timeOut = state.time;
  engine.CallLsoda();
  std::printf("%-12s %9s %10s %8s\n", "t", "nst", "nfe", "nje");
  for (int k = 1; k <= settings.points; ++k) {
    state.timeOut = settings.endTime * k / settings.points;
    engine.CallLsoda();
    if (state.istate != 2) {
      std::printf("istate %d at t = %g\n", state.istate, state.time);
      break;
    }
    if (k % 10 == 0 || k == 1) {
      std::printf("%-12g %9d %10d %8d\n", state.time, engine.lsoda.nst(), engine.lsoda.nfe(),
                  engine.lsoda.nje());
    }
  }
  return 0;
}
