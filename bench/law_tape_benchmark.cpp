// Times the compiled rate laws and the Jacobian from their derivatives on
// imported SBML models, in one run against their peers:
//   - the right-hand side with the laws evaluated node by node through
//     their trees, and with the compiled program (the rates must agree bit
//     for bit);
//   - the integrator's Jacobian dF/dy from the laws' derivatives, and by
//     the grouped forward differences the integrator otherwise takes (one
//     evaluation of F per column group), with the largest difference
//     between the two relative to each row's largest entry;
//   - the whole time course as it ran before (trees, differences) and as
//     imported models now run (program, analytic Jacobian), with the
//     integrator's counts.
// Models: the SBML files named on the command line, then random networks
// of mass-action and Michaelis-Menten steps of growing size.
//
// Usage: law_tape_benchmark --save-random FOLDER
//        law_tape_benchmark [--end T] [--points N] [--random N ...] [--no-random] [model.xml ...]

#include <time.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/time_course.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "model/structural_analysis.h"
#include "sbml/libsbml.h"
#include "sbml/sbml_import.h"

namespace {

using vireon::Engine;
using vireon::EngineState;
using vireon::TaskSettings;
namespace lib = vireon::sbml::lib;

double Seconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Seconds per call of `work`, repeated for at least a fifth of a second.
template <class Work>
double TimePerCall(Work work) {
  int repeats = 1;
  for (;;) {
    const double start = Seconds();
    for (int i = 0; i < repeats; ++i) work();
    const double elapsed = Seconds() - start;
    if (elapsed > 0.2 || repeats > (1 << 24)) return elapsed / repeats;
    repeats *= 4;
  }
}

// A random network of n species in one compartment: mass action, reversible
// mass action and Michaelis-Menten steps around a ring and to random
// partners, written as SBML with the laws as MathML.
std::string RandomNetwork(int n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(0.1, 2.0);
  lib::SBMLDocument document(3, 1);
  lib::Model* model = document.createModel();
  model->setId("random");
  lib::Compartment* c = model->createCompartment();
  c->setId("c");
  c->setSize(1.0);
  c->setConstant(true);
  for (int i = 0; i < n; ++i) {
    lib::Species* s = model->createSpecies();
    s->setId("S" + std::to_string(i));
    s->setCompartment("c");
    s->setInitialConcentration(value(random));
    s->setBoundaryCondition(false);
    s->setConstant(false);
    s->setHasOnlySubstanceUnits(false);
  }
  auto reaction = [&](int r, int a, int p, int kind) {
    lib::Reaction* reaction = model->createReaction();
    reaction->setId("R" + std::to_string(r));
    reaction->setReversible(kind == 1);
    reaction->setFast(false);
    lib::SpeciesReference* in = reaction->createReactant();
    in->setSpecies("S" + std::to_string(a));
    in->setStoichiometry(1.0);
    in->setConstant(true);
    lib::SpeciesReference* out = reaction->createProduct();
    out->setSpecies("S" + std::to_string(p));
    out->setStoichiometry(1.0);
    out->setConstant(true);
    lib::KineticLaw* law = reaction->createKineticLaw();
    const std::string A = "S" + std::to_string(a), P = "S" + std::to_string(p);
    std::string formula;
    auto local = [&](const char* id) {
      lib::LocalParameter* parameter = law->createLocalParameter();
      parameter->setId(id);
      parameter->setValue(value(random));
    };
    switch (kind) {
      case 0:
        local("k");
        formula = "k*" + A + "*c";
        break;
      case 1:
        local("kf");
        local("kr");
        formula = "(kf*" + A + " - kr*" + P + ")*c";
        break;
      default:
        local("V");
        local("Km");
        formula = "V*" + A + "/(Km + " + A + ")*c";
        break;
    }
    std::unique_ptr<lib::ASTNode> math(lib::SBML_parseL3Formula(formula.c_str()));
    law->setMath(math.get());
  };
  int r = 0;
  for (int i = 0; i + 1 < n; ++i, ++r) reaction(r, i, i + 1, r % 3);
  reaction(r++, n - 1, 0, 1);
  // A random partner for every fourth species keeps the largest network
  // within the size a model may have.
  for (int i = 0; i < n; i += 4) {
    const int p = static_cast<int>(random() % static_cast<unsigned>(n));
    if (p != i) reaction(r++, i, p, static_cast<int>(random() % 3));
  }
  return lib::writeSBMLToStdString(&document);
}

struct Run {
  double seconds = 0.0;
  long long steps = 0, fEvaluations = 0, jEvaluations = 0;
  std::vector<double> final;
  bool completed = false;
};

// One time course of the model with the given settings, the laws by their
// program or their trees.
Run TimeCourseOf(const vireon::Model& original, const TaskSettings& settings, bool tape) {
  vireon::Model model = original;
  EngineState state;
  state.Allocate(model);
  vireon::ComputeMoietyTotals(model);
  vireon::EngineHooks hooks;
  Run run;
  const double start = Seconds();
  Engine engine(model, state, settings, hooks);
  engine.equations.SetUseLawTape(tape);
  vireon::SetUpTimeCourse(engine);
  state.maxSteps = 1000000;
  const vireon::TimeCourseResult result = vireon::TimeCourse(engine, /*write=*/false);
  run.seconds = Seconds() - start;
  run.completed = result.outcome == vireon::TimeCourseOutcome::kCompleted;
  run.steps = result.summary.steps;
  run.fEvaluations = result.summary.fEvaluations;
  run.jEvaluations = result.summary.jEvaluations;
  run.final = state.amounts;
  return run;
}

void Measure(const std::string& name, vireon::Model& model, double endTime, int points) {
  TaskSettings settings;
  settings.endTime = endTime;
  settings.points = points;
  settings.solver.relativeTolerance = 1e-6;
  settings.solver.absoluteTolerance = 1e-12;
  settings.steadyState = 0;
  EngineState state;
  state.Allocate(model);
  vireon::ComputeMoietyTotals(model);
  vireon::EngineHooks hooks;
  Engine engine(model, state, settings, hooks);
  vireon::ModelEquations& equations = engine.equations;
  const int n = model.nVariable;
  std::vector<double> y(model.nMetabolites() + 1, 0.0), f(y.size()), g(y.size());
  equations.SetInitialAmounts(y.data());

  // The right-hand side.
  equations.SetUseLawTape(false);
  const double tree = TimePerCall([&] { equations.Derivs(y.data(), f.data()); });
  equations.SetUseLawTape(true);
  const double taped = TimePerCall([&] { equations.Derivs(y.data(), g.data()); });
  bool same = true;
  for (int p = 1; p <= n; ++p) same = same && std::bit_cast<std::uint64_t>(f[p]) == std::bit_cast<std::uint64_t>(g[p]);

  // The Jacobian: analytic, and grouped forward differences.
  std::vector<double> analyticData(static_cast<std::size_t>(n + 1) * (n + 1));
  std::vector<double*> analytic(n + 1);
  for (int i = 0; i <= n; ++i) analytic[i] = analyticData.data() + static_cast<std::size_t>(i) * (n + 1);
  double analyticSeconds = 0.0;
  bool haveAnalytic = equations.CanDifferentiateLaws();
  if (haveAnalytic) {
    analyticSeconds = TimePerCall([&] { equations.LawJacobian(y.data(), analytic.data()); });
  }
  const vireon::ColumnStructure& structure = equations.fullStructure();
  const vireon::ColumnGroups& groups = structure.groups();
  const vireon::SparsityPattern& pattern = structure.pattern();
  std::vector<double> differencedData(analyticData.size(), 0.0);
  std::vector<double> perturbed = y, fp(y.size());
  equations.Derivs(y.data(), f.data());
  // The increments: relative to the amount, or to the largest amount for
  // one that is nearly zero, as an error weight would scale them.
  const double srur = std::sqrt(2.220446049250313e-16);
  double largest = 0.0;
  for (int p = 1; p <= n; ++p) largest = std::max(largest, std::fabs(y[p]));
  const double floor = std::max(1e-8 * largest, 1e-300);
  auto difference = [&] {
    for (int group = 0; group < groups.size(); ++group) {
      const int* first = groups.columns.data() + groups.groupStart[group];
      const int* last = groups.columns.data() + groups.groupStart[group + 1];
      for (const int* j = first; j != last; ++j) perturbed[*j] = y[*j] + srur * std::max(std::fabs(y[*j]), floor);
      equations.Derivs(perturbed.data(), fp.data());
      for (const int* j = first; j != last; ++j) {
        const double r = perturbed[*j] - y[*j];
        for (const int* i = pattern.RowsBegin(*j); i != pattern.RowsEnd(*j); ++i) {
          differencedData[static_cast<std::size_t>(*i) * (n + 1) + *j] = (fp[*i] - f[*i]) / r;
        }
        perturbed[*j] = y[*j];
      }
    }
  };
  const double differenceSeconds = TimePerCall(difference);
  // The analytic Jacobian against central differences of F with a small
  // increment (its own check), and against the forward differences above.
  double worst = 0.0, central = 0.0;
  if (haveAnalytic) {
    equations.LawJacobian(y.data(), analytic.data());
    std::vector<double> plus = y, minus = y, fPlus(y.size()), fMinus(y.size());
    for (int j = 1; j <= n; ++j) {
      const double h = 1e-5 * std::max(std::fabs(y[j]), floor);
      plus[j] = y[j] + h;
      minus[j] = y[j] - h;
      equations.Derivs(plus.data(), fPlus.data());
      equations.Derivs(minus.data(), fMinus.data());
      plus[j] = minus[j] = y[j];
      for (int i = 1; i <= n; ++i) {
        double scale = 0.0;
        for (int q = 1; q <= n; ++q) scale = std::max(scale, std::fabs(analytic[i][q]));
        if (scale == 0.0) continue;
        central = std::max(central, std::fabs(analytic[i][j] - (fPlus[i] - fMinus[i]) / (2 * h)) / scale);
      }
    }
    for (int i = 1; i <= n; ++i) {
      double scale = 0.0;
      for (int j = 1; j <= n; ++j) scale = std::max(scale, std::fabs(analytic[i][j]));
      if (scale == 0.0) continue;
      for (int j = 1; j <= n; ++j) {
        const double d = differencedData[static_cast<std::size_t>(i) * (n + 1) + j];
        worst = std::max(worst, std::fabs(analytic[i][j] - d) / scale);
      }
    }
  }

  // The whole time course, before and now.
  TaskSettings before = settings, now = settings;
  now.solver.analyticJacobian = 1;
  const Run old = TimeCourseOf(model, before, /*tape=*/false);
  const Run fresh = TimeCourseOf(model, now, /*tape=*/true);
  // The largest change of a final amount, relative to it, or for a nearly
  // vanishing one to the largest amount.
  double drift = 0.0, largestFinal = 0.0;
  for (int p = 1; p <= n && p < static_cast<int>(old.final.size()); ++p) {
    largestFinal = std::max(largestFinal, std::fabs(old.final[p]));
  }
  for (int p = 1; p <= n && p < static_cast<int>(old.final.size()); ++p) {
    drift = std::max(drift, std::fabs(old.final[p] - fresh.final[p]) /
                                std::max(std::fabs(old.final[p]), 1e-6 * largestFinal));
  }

  std::printf("%-18s %5d %5d | %9.2f %9.2f %6.1fx %4s | %9.1f %9.1f %6.1fx %8.1e %8.1e | %9.1f "
              "%9.1f %6.1fx %8.1e | %lld/%lld/%lld -> %lld/%lld/%lld%s\n",
              name.c_str(), model.nMetabolites(), model.nSteps(), 1e6 * tree, 1e6 * taped,
              tree / taped, same ? "=" : "DIFF", 1e6 * differenceSeconds, 1e6 * analyticSeconds,
              haveAnalytic ? differenceSeconds / analyticSeconds : 0.0, central, worst,
              1e3 * old.seconds,
              1e3 * fresh.seconds, old.seconds / fresh.seconds, drift, old.steps, old.fEvaluations,
              old.jEvaluations, fresh.steps, fresh.fEvaluations, fresh.jEvaluations,
              old.completed && fresh.completed ? "" : " (incomplete)");
}

}  // namespace

int main(int argc, char** argv) {
  // Each model's line as soon as it is measured.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  double endTime = 100.0;
  int points = 100;
  std::vector<std::string> files;
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--save-random") == 0 && i + 1 < argc) {
      // Writes the random networks as SBML files (for vireon simulate) and stops.
      const std::string folder = argv[++i];
      for (int n : {10, 100, 1000, 5000}) {
        const std::string path = folder + "/random-" + std::to_string(n) + ".xml";
        if (FILE* out = std::fopen(path.c_str(), "w")) {
          const std::string text = RandomNetwork(n, 17u + static_cast<unsigned>(n));
          std::fwrite(text.data(), 1, text.size(), out);
          std::fclose(out);
        }
      }
      return 0;
    } else if (std::strcmp(argv[i], "--random") == 0 && i + 1 < argc) {
      sizes.push_back(std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--end") == 0 && i + 1 < argc) {
      endTime = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--points") == 0 && i + 1 < argc) {
      points = std::atoi(argv[++i]);
    } else {
      files.push_back(argv[i]);
    }
  }
  std::printf("%-18s %5s %5s | %9s %9s %7s %4s | %9s %9s %7s %8s %8s | %9s %9s %7s %8s | %s\n",
              "model", "n", "steps", "tree us", "tape us", "ratio", "bits", "diff us", "exact us",
              "ratio", "vs cent", "vs diff", "before ms", "now ms", "ratio", "drift",
              "nst/nfe/nje before -> now");
  const bool synthetic = std::find(files.begin(), files.end(), "--no-random") == files.end();
  files.erase(std::remove(files.begin(), files.end(), "--no-random"), files.end());
  for (const std::string& file : files) {
    vireon::KineticCatalogue catalogue;
    vireon::BuildBuiltInKineticTypes(catalogue);
    vireon::Model model;
    const vireon::SbmlImportResult result = vireon::ImportSbmlFile(file, catalogue, model);
    if (!result.imported) {
      std::printf("%s: not imported\n", file.c_str());
      continue;
    }
    std::string name = file.substr(file.find_last_of('/') + 1);
    Measure(name.substr(0, name.find('.')), model, endTime, points);
  }
  if (sizes.empty()) sizes = {10, 100, 1000, 5000};
  for (int n : sizes) {
    if (!synthetic) break;
    vireon::KineticCatalogue catalogue;
    vireon::BuildBuiltInKineticTypes(catalogue);
    vireon::Model model;
    const vireon::SbmlImportResult result =
        vireon::ImportSbmlText(RandomNetwork(n, 17u + static_cast<unsigned>(n)), catalogue, model);
    if (!result.imported) {
      std::printf("random-%d: not imported:", n);
      for (const std::string& problem : result.problems) std::printf(" %s", problem.c_str());
      std::printf("\n");
      continue;
    }
    Measure("random-" + std::to_string(n), model, endTime, points);
  }
  return 0;
}
