#pragma once
// The texts of a fit's result: the JSON document `vireon fit -o` writes and
// the table of values the command prints and the report shows.
//
// JSON keys: "status", "message", "objective", "points", "parameters" (a
// list of {"name", "value", "sd", "at_bound", "poorly_determined"} in the
// order given), "correlation" (rows of the matrix), "starts" (how many were
// run), "best_start", "evaluations", and "experiments": per experiment its
// "file", "kind" ("time course" or "steady state"), for a time course
// "time" (the data's times), and "curves": per measured column its
// "title", the "data" and the fitted "model" values at each row. Numbers
// are written so that they read back exactly; a number that is not finite
// (an sd that cannot be had) is null.

#include <string>

#include "fit/fit_problem.h"
#include "fit/parameter_estimation.h"

namespace vireon {

// The status as a word: "converged", "iteration limit", "stopped", "failed".
const char* FitStatusText(FitStatus status);

std::string FitResultJson(const FitProblem& problem, const FitResult& result);

// The table of fitted values: one line per parameter, "name  value  sd",
// poorly determined ones marked with "*", those at a bound with "(bound)",
// after a line with the objective, the points and the evaluations.
std::string FitSummaryText(const FitResult& result);

}  // namespace vireon
