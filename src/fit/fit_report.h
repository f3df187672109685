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
#include "fit/fit_settings.h"
#include "fit/parameter_estimation.h"

namespace vireon {

// The status as a word: "converged", "iteration limit", "stopped", "failed".
const char* FitStatusText(FitStatus status);

std::string FitResultJson(const FitProblem& problem, const FitResult& result);

// The table of fitted values: one line per parameter, "name  value  sd",
// poorly determined ones marked with "*", those at a bound with "(bound)",
// after a line with the objective, the points and the evaluations.
std::string FitSummaryText(const FitResult& result);

// The report's sections of a fit, in the report's number form (three-digit
// exponents):
//
//   PARAMETER ESTIMATION     the stored or given fit: its method (and for a
//                            global one its starts and seed), the weighting,
//                            the experiments' files and the parameters with
//                            their bounds and how each is searched
//   RESULTS OF THE FIT       how the fit ended, the objective, its points and
//                            evaluations, the values with their standard
//                            deviations and flags, the correlations, and the
//                            starts: how many ran and failed, which was best,
//                            and the kListedStarts best of them
//
// A model without a fit has neither. With `problem` the parameters are
// listed as the fit resolved them (log or linear search, bounds moved
// inside a log space); without it as they are given.
std::string ReportFitSettingsText(const FitSettings& fit, const FitProblem* problem = nullptr);
std::string ReportFitResultText(const FitProblem& problem, const FitResult& result);

// The starts the report lists at most, the best first.
inline constexpr std::size_t kListedStarts = 10;

}  // namespace vireon
