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
#include "model/file_access.h"
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

std::string ErrorText(std::string text) {
  if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
  return text;
}

void CreateFolderOf(const fs::path& path) {
  const fs::path folder = path.parent_path();
  std::error_code ignored;  // a folder that cannot be made shows up when the file is opened
  if (!folder.empty()) fs::create_directories(folder, ignored);
}

// The largest database read: far beyond any collection of rate laws, and
// small enough that a wrong path costs no more than this.
constexpr std::uintmax_t kMaxDatabaseSize = std::uintmax_t{64} << 20;

// A database file that does not read as a whole (a record the reader gave
// up on, a file that is not a database at all) still holds what the
// catalogue could not take in: it is renamed to its name with ".bak"
// appended before the new database takes its place. False, with the
// reason, when that fails; a missing or sound file needs nothing.
bool KeepUnreadableDatabase(const fs::path& path, std::string& why) {
  std::string text;
  const InputFileResult read = ReadInputFile(path, kMaxDatabaseSize, text);
  if (read.error == ENOENT) return true;
  if (read.ok()) {
    KineticCatalogue scratch;
    RecordingSink quiet;
    if (ParseKineticsDatabase(scratch, std::move(text), quiet)) return true;
  }
  fs::path backup = path;
  backup += ".bak";
  if (std::rename(path.c_str(), backup.c_str()) != 0) {
    why = std::strerror(errno);
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
    const InputFileResult read = ReadInputFile(path, kMaxDatabaseSize, text);
    if (read.ok()) break;
    std::string errorText = ErrorText(read.reason);
    if (read.error == ENOENT && !created) {
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

  ParseKineticsDatabase(catalogue, std::move(text), sink);
  return DatabaseOutcome::kRead;
}

bool ParseKineticsDatabase(KineticCatalogue& catalogue, std::string text, MessageSink& sink) {
  RecordCursor cursor(std::move(text));
  int count = 0;
  if (!ReadFieldLine(cursor, sink, "TotalUDKinetics=%d", &count)) return false;
  if (count < 0) {
    sink.Information(messages::kKineticsDatabaseCorrupt);
    return false;
  }
  // The count is only a promise: records are read while the text holds them.
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<KineticType> type = ReadKineticTypeRecord(cursor, sink);
    if (!type) return false;
    catalogue.Insert(std::move(type));
  }
  return true;
}

std::string KineticsDatabaseText(const KineticCatalogue& catalogue) {
  const std::vector<const KineticType*> types = catalogue.UserDefinedTypes();
  std::ostringstream out;
  out << "TotalUDKinetics=" << types.size() << '\n';
  for (const KineticType* type : types) WriteKineticTypeRecord(*type, out);
  return out.str();
}

bool WriteKineticsDatabase(const KineticCatalogue& catalogue, const fs::path& path,
                           MessageSink& sink) {
  if (catalogue.UserDefinedTypes().empty() && !catalogue.UserDefinedRemoved()) return true;

  CreateFolderOf(path);
  std::string why;
  if (!KeepUnreadableDatabase(path, why) ||
      !ReplaceFileContents(path, KineticsDatabaseText(catalogue), why)) {
    sink.Warning(messages::kFileWarningTitle,
                 "Failed to store the user-defined kinetic types in the database file (Error: " +
                     ErrorText(why) + ")");
    return false;
  }
  return true;
}

}  // namespace vireon
