#include "output/data_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/task_settings.h"
#include "output/number_format.h"

namespace vireon {

namespace {

DataFileLayout MakeLayout(int width, char separator, int quotes) {
  DataFileLayout layout;
  // The stored width is written as it is, also when the Tasks page cannot
  // show it; only a negative or absurdly large one is brought into range.
  layout.columnWidth = std::clamp(width, 0, kMaxFieldWidth);
  layout.separator = separator;
  layout.quotes = quotes != 0;
  return layout;
}

void AppendSystemError(std::string& errorLog, std::string_view what, const std::string& path,
                       int errorNumber) {
  errorLog += what;
  errorLog += " \"";
  errorLog += path;
  errorLog += "\": ";
  errorLog += std::strerror(errorNumber);
  errorLog += "\r\n";
}

}  // namespace

DataFileLayout TimeCourseLayout(const TaskSettings& settings) {
  return MakeLayout(settings.dynamicsColumnWidth, settings.dynamicsSeparator, settings.dynamicsQuotes);
}

DataFileLayout SteadyStateLayout(const TaskSettings& settings) {
  return MakeLayout(settings.steadyStateColumnWidth, settings.steadyStateSeparator, settings.steadyStateQuotes);
}

int ColumnWidthEntry(int width) {
  return (width >= kMinColumnWidth && width <= kMaxColumnWidth) ? width - kMinColumnWidth : 0;
}

int ColumnWidthFromEntry(int entry) {
  return std::clamp(entry, 0, kMaxColumnWidth - kMinColumnWidth) + kMinColumnWidth;
}

int SeparatorEntry(char separator) {
  if (separator == '\t') return 1;
  if (separator == ',') return 2;
  return 0;
}

char SeparatorFromEntry(int entry) {
  if (entry == 1) return '\t';
  if (entry == 2) return ',';
  return ' ';
}

std::string FormatTitlesLine(std::span<const OutputItem> items, const DataFileLayout& layout) {
  const std::size_t width = static_cast<std::size_t>(std::max(layout.columnWidth, 0));
  std::string line;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k > 0) line += layout.separator;
    if (layout.quotes) line += '"';
    std::string_view title = items[k].title;
    title = title.substr(0, std::min(title.size(), width));
    line += title;
    line.append(width - title.size(), ' ');
    if (layout.quotes) line += '"';
  }
  line += '\n';
  return line;
}

std::string FormatValuesLine(std::span<const OutputItem> items, const DataFileLayout& layout) {
  std::string line;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k > 0) line += layout.separator;
    AppendColumnValue(line, items[k].Value(), layout.columnWidth);
  }
  line += '\n';
  return line;
}

std::string ModelFolder(std::string_view modelPath) {
  std::size_t slash = modelPath.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(modelPath.substr(0, slash + 1));
}

DataFile::~DataFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool DataFile::Open(bool enabled, std::string_view folder, std::string_view name,
                    std::string_view description, std::string& errorLog) {
  Close(errorLog);
  path_.clear();
  description_ = description;
  writeError_ = 0;
  if (!enabled || name.empty()) return false;
  path_ = std::string(folder) + std::string(name);
  file_ = std::fopen(path_.c_str(), "w");
  if (file_ == nullptr) {
    const int error = errno;
    AppendSystemError(errorLog, "Could not create the " + description_ + " data file", path_,
                      error);
  }
  return file_ != nullptr;
}

void DataFile::Write(std::string_view text) {
  if (file_ == nullptr || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() && writeError_ == 0) {
    writeError_ = errno != 0 ? errno : EIO;
  }
}

void DataFile::Close(std::string& errorLog) {
  if (file_ == nullptr) return;
  int closeError = std::fclose(file_) != 0 ? errno : 0;
  file_ = nullptr;
  int error = writeError_ != 0 ? writeError_ : closeError;
  if (error != 0) {
    AppendSystemError(errorLog, "Could not write the " + description_ + " data file", path_, error);
  }
  writeError_ = 0;
}

void WriteDynTitles(DataFile& file, std::span<const OutputItem> selection,
                    const TaskSettings& settings) {
  if (file.IsOpen() && settings.dynamicsTitles != 0) {
    file.Write(FormatTitlesLine(selection, TimeCourseLayout(settings)));
  }
}

void WriteDynRow(DataFile& file, std::span<const OutputItem> selection,
                 const TaskSettings& settings) {
  if (file.IsOpen()) file.Write(FormatValuesLine(selection, TimeCourseLayout(settings)));
}

void WriteSSTitles(DataFile& file, std::span<const OutputItem> selection,
                   const TaskSettings& settings) {
  if (file.IsOpen() && settings.steadyStateTitles != 0) {
    file.Write(FormatTitlesLine(selection, SteadyStateLayout(settings)));
  }
}

void WriteSSRow(DataFile& file, std::span<const OutputItem> selection,
                const TaskSettings& settings) {
  if (file.IsOpen()) file.Write(FormatValuesLine(selection, SteadyStateLayout(settings)));
}

void WriteScanSeparator(DataFile& file, bool randomLoop) {
  file.Write(randomLoop ? "\n\n" : "\n");
}

void RunDataFiles::Open(const TaskSettings& settings, std::string_view modelPath,
                        std::string& errorLog) {
  const std::string folder = ModelFolder(modelPath);
  timeCourse.Open(settings.dynamics != 0, folder, settings.dynamicsFile, "time-course", errorLog);
  steadyState.Open(settings.steadyState != 0, folder, settings.steadyStateFile, "steady-state", errorLog);
}

void RunDataFiles::Close(std::string& errorLog) {
  timeCourse.Close(errorLog);
  steadyState.Close(errorLog);
}

}  // namespace vireon
