#include "output/output_file_names.h"

#include <cstdio>

#include "engine/task_settings.h"

namespace vireon {
namespace {

// The byte that opens the two-byte UTF-8 form of U+0080 ... U+009F, the C1
// control characters.
constexpr unsigned char kUtf8C1Lead = 0xC2;
constexpr unsigned char kUtf8C1First = 0x80;
constexpr unsigned char kUtf8C1Last = 0x9F;

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// Whether text[i] starts a UTF-8 C1 control character.
bool IsC1At(std::string_view text, std::size_t i) {
  return static_cast<unsigned char>(text[i]) == kUtf8C1Lead && i + 1 < text.size() &&
         static_cast<unsigned char>(text[i + 1]) >= kUtf8C1First &&
         static_cast<unsigned char>(text[i + 1]) <= kUtf8C1Last;
}

std::string FileNameOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

DataFileField Other(DataFileField field) {
  return field == DataFileField::kTimeCourse ? DataFileField::kSteadyState
                                             : DataFileField::kTimeCourse;
}

std::string Problem(DataFileField field, std::string_view name, std::string_view what) {
  std::string text = "The name of the ";
  text += DataFileFieldName(field);
  text += ", \"";
  text += PrintableName(name);
  text += "\", ";
  text += what;
  return text;
}

std::optional<std::string> CheckName(DataFileField field, std::string_view name,
                                     const TaskSettings& settings, const OutputNameContext& context,
                                     bool compareWithOther) {
  if (name.empty()) return std::nullopt;
  if (!IsPlainFileName(name)) {
    return Problem(field, name,
                   "is not a plain file name. Data files are written in the model's folder: "
                   "the name may hold no \"/\", no \"\\\" and no control character, and may not "
                   "be \".\" or \"..\".");
  }
  if (!context.modelPath.empty() && name == FileNameOf(context.modelPath)) {
    return Problem(field, name, "is the name of the model file itself.");
  }
  if (!context.reportPath.empty() && name == FileNameOf(context.reportPath)) {
    return Problem(field, name, "is the name of the model's report file.");
  }
  if (compareWithOther && name == DataFileName(settings, Other(field))) {
    return Problem(field, name,
                   "is also the name of the " + std::string(DataFileFieldName(Other(field))) + ".");
  }
  return std::nullopt;
}

}  // namespace

std::string_view DataFileFieldName(DataFileField field) {
  return field == DataFileField::kTimeCourse ? "time-course data file (DynamicsFile)"
                                             : "steady-state data file (SSFile)";
}

const std::string& DataFileName(const TaskSettings& settings, DataFileField field) {
  return field == DataFileField::kTimeCourse ? settings.dynamicsData.file
                                             : settings.steadyStateData.file;
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c == '/' || c == '\\' || IsControl(c) || IsC1At(name, i)) return false;
  }
  return true;
}

std::string PrintableName(std::string_view name) {
  std::string text;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (IsControl(c) || IsC1At(name, i)) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      text += escape;
      if (!IsControl(c)) {  // the second byte of a C1 character
        std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(name[++i]));
        text += escape;
      }
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

std::optional<std::string> CheckDataFileName(DataFileField field, std::string_view name,
                                             const TaskSettings& settings,
                                             const OutputNameContext& context) {
  return CheckName(field, name, settings, context, true);
}

std::vector<std::string> CheckDataFileNames(const TaskSettings& settings,
                                            const OutputNameContext& context) {
  std::vector<std::string> problems;
  // Two equal names are one problem: the second file would go over the first.
  for (DataFileField field : {DataFileField::kTimeCourse, DataFileField::kSteadyState}) {
    std::optional<std::string> problem = CheckName(field, DataFileName(settings, field), settings,
                                                   context, field == DataFileField::kSteadyState);
    if (problem) problems.push_back(std::move(*problem));
  }
  return problems;
}

}  // namespace vireon
