// Times the reactions editor's commit of one long equation that names n
// distinct metabolites, for growing n, and prints how the time grows: a
// commit that finds names through its index grows about as n (exponent 1).
// As a peer measured in the same run, the counting pass of the parser is
// also timed with the names found by searching the tables, which grows as
// n^2.
//
// Usage: reaction_editor_benchmark [n ...]   (default 1000 2000 4000 8000; at most
// kMaxEquationUnits)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/equation_parser.h"
#include "model/message_sink.h"
#include "model/reaction_editor.h"

namespace {

// "S1 + S2 + ... = P1 + P2 + ...", n names in all.
std::string LongEquation(int n) {
  std::string text;
  for (int i = 0; i < n / 2; ++i) text += (i > 0 ? " + S" : "S") + std::to_string(i);
  text += " = ";
  for (int i = 0; i < n - n / 2; ++i) text += (i > 0 ? " + P" : "P") + std::to_string(i);
  return text;
}

// Each time is the best of this many runs, so that a busy machine does not
// decide the figures.
constexpr int kRepetitions = 5;

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

template <class Timed>
double Best(Timed timed) {
  double best = timed();
  for (int i = 1; i < kRepetitions; ++i) best = std::min(best, timed());
  return best;
}

double CommitSeconds(const std::string& equation) {
  vireon::RecordingSink sink;
  vireon::Model model;
  vireon::ReactionEditor editor(model, sink);
  editor.AddOrChange("v", equation);
  const auto start = std::chrono::steady_clock::now();
  if (!editor.Commit(nullptr)) std::abort();
  return Seconds(start);
}

// The counting pass alone, names found with or without the index.
double CountingSeconds(const std::string& equation, bool indexed) {
  vireon::Model reference, working;
  vireon::StepTable steps;
  steps.records.resize(1);
  vireon::MetaboliteTable metabolites;
  vireon::MetaboliteNameIndex names(metabolites, reference);
  vireon::ParseTarget target{reference,
                             working,
                             steps,
                             metabolites,
                             0,
                             vireon::kBuiltInDefaultConcentration,
                             indexed ? &names : nullptr};
  const auto start = std::chrono::steady_clock::now();
  if (vireon::ParseEquation(equation, vireon::ParseMode::kCountMetabolites, target) < 0) {
    std::abort();
  }
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 2000, 4000, 8000};

  std::printf("%8s %12s %10s %16s %16s %10s\n", "n", "commit (s)", "exponent", "count, index (s)",
              "count, search (s)", "ratio");
  double previousCommit = 0.0;
  int previousN = 0;
  for (int n : sizes) {
    const std::string equation = LongEquation(n);
    const double commit = Best([&] { return CommitSeconds(equation); });
    const double indexed = Best([&] { return CountingSeconds(equation, true); });
    const double searched = Best([&] { return CountingSeconds(equation, false); });
    const double exponent = previousN > 0 ? std::log(commit / previousCommit) /
                                                std::log(static_cast<double>(n) / previousN)
                                          : 0.0;
    std::printf("%8d %12.4f %10.2f %16.4f %16.4f %10.1f\n", n, commit, exponent, indexed, searched,
                searched / indexed);
    previousCommit = commit;
    previousN = n;
  }
  return 0;
}
