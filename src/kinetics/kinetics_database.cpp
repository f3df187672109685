#include "kinetics/kinetics_database.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>

#include "kinetics/kinetic_type_record.h"
#include "model/messages.h"
#include "model/record_cursor.h"
#include "model/replace_file.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDatabaseFileName = "vireon.kdb";
constexpr const char* kEmptyDatabase = "TotalUDKinetics=0\n";
// The system's text for an error is cut to this many characters.
constexpr std::size_t kMaxErrorText = 512;

std::string ErrorText(int error) {
  std::string text = std::strerror(error);
  if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
  return text;
}

std::string ErrorText(std::string text) {
  if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
  return text;
}

void CreateFolderOf(const fs::path& path) {
  const fs::path folder = path.parent_path();
  std::error_code ignored;  // a folder that cannot be made shows up when the file is opened
  if (!folder.empty()) fs::create_directories(folder, ignored);
}

// Reads the whole file. On failure returns false with errno's value in
// `error`; a file beyond the record reader's size limit fails with EFBIG.
bool ReadDatabaseFile(const fs::path& path, std::string& text, int& error) {
  text.clear();
  errno = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    error = errno != 0 ? errno : EIO;
    return false;
  }
  constexpr std::size_t kChunk = 1 << 16;  // bytes read at a time
  char buffer[kChunk];
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, kChunk, file.get());
    if (text.size() + got > kMaxRecordFileSize) {
      error = EFBIG;
      return false;
    }
    text.append(buffer, got);
    if (got < kChunk) break;
  }
  if (std::ferror(file.get())) {
    error = errno != 0 ? errno : EIO;
    return false;
  }
  return true;
}

std::string OpenFailureMessage(const std::string& errorText) {
  return "Failed to open the kinetics database file (Error: " + errorText +
         ").If you press IGNORE Vireon will not be able to work with user-defined kinetic types.";
}

}  // namespace

fs::path DefaultKineticsDatabasePath() {
  const fs::path folder = ConfigurationFolder();
  return folder.empty() ? folder : folder / kDatabaseFileName;
}

std::optional<fs::path> LocateKineticsDatabase(MessageSink& sink, const fs::path& folder) {
  if (!folder.empty()) return folder / kDatabaseFileName;
  if (sink.AskYesNo(messages::kKineticsDatabaseNotFound) != Answer::kYes) return std::nullopt;
  std::error_code error;
  const fs::path temporary = fs::temp_directory_path(error);
  if (error || temporary.empty()) {
    sink.Error("Vireon", messages::kNoProgramOrTemporaryPath);
    return std::nullopt;
  }
  return temporary / kDatabaseFileName;
}

DatabaseOutcome ReadKineticsDatabase(KineticCatalogue& catalogue, const fs::path& path,
                                     MessageSink& sink) {
  std::string text;
  bool created = false;
  for (;;) {
    int error = 0;
    if (ReadDatabaseFile(path, text, error)) break;
    std::string errorText = ErrorText(error);
    if (error == ENOENT && !created) {
      // A first start: make an empty database and open it again.
      created = true;
      CreateFolderOf(path);
      std::string why;
      if (ReplaceFileContents(path, kEmptyDatabase, why)) continue;
      errorText = ErrorText(why);
    }
    switch (sink.AskAbortRetryIgnore(OpenFailureMessage(errorText))) {
      case Answer::kAbort:
        return DatabaseOutcome::kAbort;
      case Answer::kIgnore:
        return DatabaseOutcome::kIgnored;
      default:
        created = false;
        continue;
    }
  }

  RecordCursor cursor(std::move(text));
  int count = 0;
  if (!ReadFieldLine(cursor, sink, "TotalUDKinetics=%d", &count)) return DatabaseOutcome::kRead;
  if (count < 0) {
    sink.Information(messages::kKineticsDatabaseCorrupt);
    return DatabaseOutcome::kRead;
  }
  // The count is only a promise: records are read while the text holds them.
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<KineticType> type = ReadKineticTypeRecord(cursor, sink);
    if (!type) return DatabaseOutcome::kRead;
    catalogue.Insert(std::move(type));
  }
  return DatabaseOutcome::kRead;
}

bool WriteKineticsDatabase(const KineticCatalogue& catalogue, const fs::path& path,
                           MessageSink& sink) {
  const std::vector<const KineticType*> types = catalogue.UserDefinedTypes();
  if (types.empty() && !catalogue.UserDefinedRemoved()) return true;

  std::ostringstream out;
  out << "TotalUDKinetics=" << types.size() << '\n';
  for (const KineticType* type : types) WriteKineticTypeRecord(*type, out);

  CreateFolderOf(path);
  std::string why;
  if (!ReplaceFileContents(path, out.str(), why)) {
    sink.Warning(messages::kFileWarningTitle,
                 "Failed to store the user-defined kinetic types in the database file (Error: " +
                     ErrorText(why) + ")");
    return false;
  }
  return true;
}

}  // namespace vireon
