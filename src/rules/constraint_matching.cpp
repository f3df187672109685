#include "rules/constraint_matching.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace vireon {

namespace {

// One search for an augmenting path from equation `start`, depth first on
// an explicit stack. Returns the free unknown it ends at (-1 when there is
// none); cameFrom[u] is the equation the search reached unknown u from,
// and `reached` collects the equations it passed.
int SearchPath(const std::vector<std::vector<int>>& involves, const std::vector<int>& equationOf,
               int start, int stamp, std::vector<int>& seen, std::vector<int>& cameFrom,
               std::vector<int>& reached) {
  std::vector<std::pair<int, std::size_t>> stack{{start, 0}};
  reached.assign(1, start);
  while (!stack.empty()) {
    auto& [equation, next] = stack.back();
    const std::vector<int>& unknowns = involves[static_cast<std::size_t>(equation)];
    if (next == unknowns.size()) {
      stack.pop_back();
      continue;
    }
    const int u = unknowns[next++];
    const auto ui = static_cast<std::size_t>(u);
    if (seen[ui] == stamp) continue;
    seen[ui] = stamp;
    cameFrom[ui] = equation;
    if (equationOf[ui] < 0) return u;
    reached.push_back(equationOf[ui]);
    stack.emplace_back(equationOf[ui], 0);
  }
  return -1;
}

}  // namespace

ConstraintMatching MatchConstraints(const std::vector<std::vector<int>>& involves, int nUnknowns) {
  const auto nEquations = static_cast<int>(involves.size());
  ConstraintMatching result;
  result.unknownOf.assign(involves.size(), -1);
  std::vector<int> equationOf(static_cast<std::size_t>(nUnknowns), -1);
  std::vector<int> seen(static_cast<std::size_t>(nUnknowns), -1);
  std::vector<int> cameFrom(static_cast<std::size_t>(nUnknowns), -1);
  std::vector<int> reached;
  int firstUnpaired = -1;
  for (int e = 0; e < nEquations; ++e) {
    int u = SearchPath(involves, equationOf, e, e, seen, cameFrom, reached);
    if (u < 0) {
      if (firstUnpaired < 0) firstUnpaired = e;
      continue;
    }
    // Along the path back to e, each equation takes the unknown after it.
    while (true) {
      const int equation = cameFrom[static_cast<std::size_t>(u)];
      const int previous = result.unknownOf[static_cast<std::size_t>(equation)];
      result.unknownOf[static_cast<std::size_t>(equation)] = u;
      equationOf[static_cast<std::size_t>(u)] = equation;
      if (equation == e) break;
      u = previous;
    }
  }
  if (firstUnpaired >= 0) {
    // The matching is maximum, so a search from an unpaired equation fails
    // again; every unknown it reaches is paired with an equation it reached,
    // which makes the equations it reached one more than their unknowns.
    std::fill(seen.begin(), seen.end(), -1);
    SearchPath(involves, equationOf, firstUnpaired, nEquations, seen, cameFrom, reached);
    std::sort(reached.begin(), reached.end());
    reached.erase(std::unique(reached.begin(), reached.end()), reached.end());
    result.excess = std::move(reached);
  }
  return result;
}

}  // namespace vireon
