#pragma once
// vireon simulate MODEL: the time course of a Vireon model file or an SBML
// model as CSV, for scripts and notebooks.

#include <ostream>
#include <string>

#include "cli/command_line.h"
#include "document/time_course_table.h"
#include "model/model.h"

namespace vireon::cli {

// Without --select the columns after the time are the metabolites, in the
// model's order; with it, the items the list names (FindTimeCourseItems,
// an SBML model's ids by the names the import gave them), each headed by
// its text as given. Returns kExitUsage, before any time course, when an
// item is unknown or ambiguous.
//
// Returns kExitSuccess when the table was written, kExitFailure when the
// model could not be loaded or imported, cannot be evaluated, asks for no
// or too many points (above kMaxSimulatePoints) or an unusable end time
// (IsUsableEndTime), when the output would replace a file the command reads,
// when the integration failed or the output could not be written. The rows
// are written as they are computed, never kept whole: a file (-o) takes its
// name only once it is complete, and is left as it was on any failure;
// standard output may hold the beginning of a time course that failed
// beyond its first rows.
int SimulateCommand(const CommandLine& line, std::ostream& out, std::ostream& err);

// The CSV text of a table: the line "time," and the metabolite names (quoted
// where a name holds a comma or a quote), then one line per row with every
// number written so that it reads back exactly. Amounts are concentrations
// times the model's volume of each metabolite's compartment (a table keeps
// no volume that a rule changes).
std::string TimeCourseCsv(const Model& model, const TimeCourseTable& table, bool amounts);

}  // namespace vireon::cli
