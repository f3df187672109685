#include "output/data_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "engine/task_settings.h"
#include "output/number_format.h"
#include "output/output_file_names.h"

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

void AppendReason(std::string& errorLog, std::string_view what, const std::string& path,
                  std::string_view reason) {
  errorLog += what;
  errorLog += " \"";
  errorLog += PrintableName(path);
  errorLog += "\": ";
  errorLog += reason;
  errorLog += "\r\n";
}

}  // namespace

DataFileLayout TimeCourseLayout(const TaskSettings& settings) {
  return MakeLayout(settings.dynamicsData.columnWidth, settings.dynamicsData.separator,
                    settings.dynamicsData.quotes);
}

DataFileLayout SteadyStateLayout(const TaskSettings& settings) {
  return MakeLayout(settings.steadyStateData.columnWidth, settings.steadyStateData.separator,
                    settings.steadyStateData.quotes);
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
  // Room for the usual line at once: a column is its width wide, or the
  // short number that a narrower width still gets.
  constexpr std::size_t kNarrowColumn = 14;
  std::string line;
  line.reserve(
      items.size() *
          (std::max(static_cast<std::size_t>(std::max(layout.columnWidth, 0)), kNarrowColumn) + 1) +
      1);
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
                    std::string_view description, std::string& errorLog,
                    std::vector<ProtectedFile>* protectedFiles) {
  Close(errorLog);
  path_.clear();
  description_ = description;
  writeError_ = 0;
  if (!enabled || name.empty()) return false;
  path_ = std::string(folder) + std::string(name);
  std::string reason;
  FileIdentity identity;
  const std::span<const ProtectedFile> refused =
      protectedFiles != nullptr ? std::span<const ProtectedFile>(*protectedFiles)
                                : std::span<const ProtectedFile>();
  const int fd = OpenOutputFile(path_, OutputMode::kTruncate, refused, reason, &identity);
  if (fd >= 0) {
    file_ = ::fdopen(fd, "w");
    if (file_ == nullptr) {
      reason = std::strerror(errno);
      ::close(fd);
    }
  }
  if (file_ == nullptr) {
    AppendReason(errorLog, "Could not create the " + description_ + " data file", path_, reason);
    return false;
  }
  if (protectedFiles != nullptr) {
    protectedFiles->push_back({identity, "the " + description_ + " data file"});
  }
  return true;
}

void DataFile::Write(std::string_view text) {
  if (file_ == nullptr || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() && writeError_ == 0) {
    writeError_ = errno != 0 ? errno : EIO;
  }
}

bool DataFile::Close(std::string& errorLog) {
  if (file_ == nullptr) return true;
  int closeError = std::fclose(file_) != 0 ? errno : 0;
  file_ = nullptr;
  int error = writeError_ != 0 ? writeError_ : closeError;
  if (error != 0) {
    AppendReason(errorLog, "Could not write the " + description_ + " data file", path_,
                 std::strerror(error));
  }
  writeError_ = 0;
  return error == 0;
}

void WriteDynTitles(DataFile& file, std::span<const OutputItem> selection,
                    const TaskSettings& settings) {
  if (file.IsOpen() && settings.dynamicsData.titles != 0) {
    file.Write(FormatTitlesLine(selection, TimeCourseLayout(settings)));
  }
}

void WriteDynRow(DataFile& file, std::span<const OutputItem> selection,
                 const TaskSettings& settings) {
  if (file.IsOpen()) file.Write(FormatValuesLine(selection, TimeCourseLayout(settings)));
}

void WriteSSTitles(DataFile& file, std::span<const OutputItem> selection,
                   const TaskSettings& settings) {
  if (file.IsOpen() && settings.steadyStateData.titles != 0) {
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
                        std::string_view reportPath, std::string& errorLog) {
  protectedFiles.clear();
  planned = 0;
  failed = 0;
  timeCourseWritten = false;
  steadyStateWritten = false;
  if (std::optional<FileIdentity> model = IdentityOf(std::string(modelPath))) {
    protectedFiles.push_back({*model, "the model file"});
  }
  std::vector<ProtectedFile> forData = protectedFiles;
  if (!reportPath.empty()) {
    if (std::optional<FileIdentity> report = IdentityOf(std::string(reportPath))) {
      forData.push_back({*report, "the report file"});
    }
  }
  // Only the files this run writes can clash.
  TaskSettings written = settings;
  if (settings.dynamics == 0) written.dynamicsData.file.clear();
  if (settings.steadyState == 0) written.steadyStateData.file.clear();
  const OutputNameContext context{std::string(modelPath), std::string(reportPath)};
  const std::string folder = ModelFolder(modelPath);

  const auto open = [&](DataFile& file, DataFileField field, const char* description,
                        bool& complete) {
    const std::string& name = DataFileName(written, field);
    file.Open(false, folder, "", description, errorLog);
    if (name.empty()) return;
    ++planned;
    // The time-course file is opened first: only the steady-state file can
    // clash with the other.
    TaskSettings others = written;
    if (field == DataFileField::kTimeCourse) others.steadyStateData.file.clear();
    if (std::optional<std::string> problem = CheckDataFileName(field, name, others, context)) {
      errorLog += *problem + " The file was not written.\r\n";
      ++failed;
      return;
    }
    complete = file.Open(true, folder, name, description, errorLog, &forData);
    if (!complete) ++failed;
  };
  const std::size_t before = forData.size();
  open(timeCourse, DataFileField::kTimeCourse, "time-course", timeCourseWritten);
  open(steadyState, DataFileField::kSteadyState, "steady-state", steadyStateWritten);
  protectedFiles.insert(protectedFiles.end(), forData.begin() + static_cast<long>(before),
                        forData.end());
}

void RunDataFiles::Close(std::string& errorLog) {
  if (!timeCourse.Close(errorLog)) {
    ++failed;
    timeCourseWritten = false;
  }
  if (!steadyState.Close(errorLog)) {
    ++failed;
    steadyStateWritten = false;
  }
}

}  // namespace vireon
