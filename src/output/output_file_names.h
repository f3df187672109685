#pragma once
// The rules for the names of a run's data files. The names come from the
// model file, which people exchange by mail, so they are not trusted: a
// data file name must be a plain file name in the model's folder, and no
// output may be written over the model or over another output of the run.
//
//   plain     not empty, no "/" or "\" (a folder separator elsewhere),
//             not "." or "..", no control character (C0, DEL, or C1 in
//             UTF-8): "glycolysis.dat", "run 2.ss"
//   distinct  not the model file's own name, not the report's, not the
//             other data file's
//
// The model-file reader warns of a name that breaks a rule, the Tasks page
// refuses one, and a run refuses to write such a file (saying so in its
// error log). An empty name is sound: it writes no file.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vireon {

struct TaskSettings;

enum class DataFileField {
  kTimeCourse,   // "DynamicsFile"
  kSteadyState,  // "SSFile"
};

// How messages name the field: "time-course data file (DynamicsFile)".
std::string_view DataFileFieldName(DataFileField field);
// The field's value in the settings.
const std::string& DataFileName(const TaskSettings& settings, DataFileField field);

// A name without "/" or "\", other than "." and "..", without control
// characters, not empty.
bool IsPlainFileName(std::string_view name);
// A name as messages quote it: every control character written as a C
// escape ("\n", "\x1B"), so that no name can break a message into lines.
std::string PrintableName(std::string_view name);

// Where the model and its report are: full paths (either empty for a model
// that has never been saved).
struct OutputNameContext {
  std::string modelPath;
  std::string reportPath;
};

// Checks `name` as the value of `field`, the other data file's name taken
// from `settings`. Returns the message that names the field and the
// problem, or nothing when the name is sound.
std::optional<std::string> CheckDataFileName(DataFileField field, std::string_view name,
                                             const TaskSettings& settings,
                                             const OutputNameContext& context);
// The problems of both data file names as they stand in `settings`; two
// equal names are one problem, said of the steady-state file (the second a
// run opens).
std::vector<std::string> CheckDataFileNames(const TaskSettings& settings,
                                            const OutputNameContext& context);

}  // namespace vireon
