// Times time courses of the Henri-Michaelis-Menten chain (bench/chain_model.h)
// with events:
//   1. one event whose trigger is never met (S1 < -1): the cost of the
//      root functions and of the engine's events path on a time course
//      that no event changes, against the same chain without the event;
//   2. periodic dosing, S1 raised by 0.01 every 0.1 time units to t = 100:
//      1,000 events, each followed by a restart of the integrator.
// Each figure is the time course alone, best of three, CPU time.
//
// Usage: events_benchmark [steps of the chain, default 200]

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chain_model.h"
#include "document/document.h"
#include "document/time_course_table.h"
#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"

namespace {

constexpr int kDefaultSteps = 200;
constexpr int kRepeats = 3;
constexpr double kDosePeriod = 0.1;  // 1,000 doses to the chain's end time of 100

double Seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Timed {
  double seconds = 1e300;
  std::vector<double> last;  // the last row
  std::string errors;
};

Timed TimeCourse(const vireon::Document& document) {
  Timed result;
  for (int r = 0; r < kRepeats; ++r) {
    vireon::Model model = document.model;
    std::vector<double> last;
    const double start = Seconds();
    result.errors = vireon::ComputeTimeCourseRows(
        model, document.settings, [&last](double, std::span<const double> row) {
          last.assign(row.begin(), row.end());
          return true;
        });
    result.seconds = std::min(result.seconds, Seconds() - start);
    result.last = last;
  }
  return result;
}

vireon::Event MakeEvent(const std::string& name, const std::string& trigger,
                        std::vector<vireon::EventAssignment> assignments) {
  vireon::Event event;
  event.name = name;
  event.trigger = trigger;
  event.assignments = std::move(assignments);
  return event;
}

}  // namespace

int main(int argc, char** argv) {
  const int steps = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultSteps;
  vireon::KineticCatalogue catalogue;
  vireon::BuildBuiltInKineticTypes(catalogue);
  vireon::Document plain;
  vireon::bench::BuildChainDocument(plain, steps, catalogue);

  vireon::Document quiet = plain;
  quiet.model.events = {MakeEvent("never", "lt(S1, -1)", {})};

  vireon::Document dosed = plain;
  dosed.model.globalQuantities = {{"last", 0.0}};
  dosed.model.events = {MakeEvent(
      "dose", "geq(time - last, " + std::to_string(kDosePeriod) + ")",
      {{{vireon::RuleTargetKind::kGlobalQuantity, "last", {}}, "time"},
       {{vireon::RuleTargetKind::kMetabolite, "S1", {}}, "S1 + 0.01"}})};

  const Timed a = TimeCourse(plain);
  const Timed b = TimeCourse(quiet);
  const Timed c = TimeCourse(dosed);
  if (!a.errors.empty() || !b.errors.empty() || !c.errors.empty()) {
    std::fprintf(stderr, "time course failed: %s%s%s\n", a.errors.c_str(), b.errors.c_str(),
                 c.errors.c_str());
    return 1;
  }
  double largest = 0.0;
  for (std::size_t i = 0; i < a.last.size() && i < b.last.size(); ++i) {
    largest = std::max(largest, std::abs(a.last[i] - b.last[i]) / std::max(1e-12, std::abs(a.last[i])));
  }
  std::printf("%d steps to t = %g\n", steps, plain.settings.endTime);
  std::printf("event never triggered: without %.3f s, with %.3f s, ratio %.2fx; "
              "largest relative difference of the last row %.1e\n",
              a.seconds, b.seconds, b.seconds / a.seconds, largest);
  std::printf("1,000 doses:           %.3f s, %.2fx the chain without events\n", c.seconds,
              c.seconds / a.seconds);
  return 0;
}
