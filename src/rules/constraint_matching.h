#pragma once
// Which unknowns a system of equations can be solved for, judged by its
// structure alone: a bipartite graph between the equations and the
// unknowns each one involves, and a matching that pairs as many equations
// with distinct unknowns as can be. When some equation is left unpaired,
// the equations are more than the unknowns they involve, and no values of
// those unknowns can satisfy them all in general: the system is
// over-determined, or, when the unknowns do fill the count, it holds a
// constraint on quantities it cannot move (a system of higher index).

#include <vector>

namespace vireon {

struct ConstraintMatching {
  // By equation: the unknown it is paired with, -1 when none.
  std::vector<int> unknownOf;
  // When some equation is unpaired: a witness, the equations that
  // together involve fewer unknowns than they are (a set that violates
  // Hall's condition), in increasing order. Empty when all are paired.
  std::vector<int> excess;
  bool complete() const { return excess.empty(); }
};

// involves[e] lists the unknowns (0 … nUnknowns - 1) equation e involves.
// Kuhn's augmenting paths, each searched without recursion: time
// O(equations × edges), memory linear in the graph.
ConstraintMatching MatchConstraints(const std::vector<std::vector<int>>& involves, int nUnknowns);

}  // namespace vireon
