#include "kinetics/kinetics_database.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "kinetics/kinetic_type_record.h"
#include "model/file_access.h"
#include "model/file_lock.h"
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

// The database as it is on disk at the moment of a save.
struct DiskDatabase {
  // False when the file does not read as a whole (a record the reader gave
  // up on, a file that is not a database at all, one beyond the size
  // limit): it still holds what no catalogue could take in.
  bool whole = true;
  // The user-defined types it holds, in its order: name and record text.
  std::vector<std::pair<std::string, std::string>> types;
};

std::string RecordText(const KineticType& type) {
  std::ostringstream out;
  WriteKineticTypeRecord(type, out);
  return out.str();
}

DiskDatabase ReadDiskDatabase(const fs::path& path) {
  DiskDatabase disk;
  std::string text;
  const InputFileResult read = ReadInputFile(path, kMaxDatabaseSize, text);
  if (read.error == ENOENT) return disk;
  // An empty file is the one a save made for its lock: nothing to keep.
  if (read.ok() && text.empty()) return disk;
  if (!read.ok()) {
    disk.whole = false;
    return disk;
  }
  KineticCatalogue scratch;
  RecordingSink quiet;
  disk.whole = ParseKineticsDatabase(scratch, std::move(text), quiet);
  for (const KineticType* type : scratch.UserDefinedTypes()) {
    disk.types.emplace_back(type->name, RecordText(*type));
  }
  return disk;
}

// A database that did not read as a whole is kept under its name with
// ".bak" appended before the new database takes its place. A second name
// for it is made first, so that the database's own name never goes missing
// while it is locked; where the file system has no hard links it is
// renamed. False, with the reason, when neither works.
bool KeepUnreadableDatabase(const fs::path& path, std::string& why) {
  fs::path backup = path;
  backup += ".bak";
  ::unlink(backup.c_str());
  // The new name is for the file itself, also when the database's name is
  // a symbolic link to it: the save replaces that file.
  if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, backup.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return true;
  }
  if (errno == ENOENT) return true;
  if (std::rename(path.c_str(), backup.c_str()) != 0) {
    why = std::strerror(errno);
    return false;
  }
  return true;
}

void WarnNotStored(MessageSink& sink, const std::string& why) {
  sink.Warning(messages::kFileWarningTitle,
               "Failed to store the user-defined kinetic types in the database file (Error: " +
                   ErrorText(why) + ")");
}

// Saves the text `update` makes of the database as it is on disk, under
// the database's lock, keeping a database that did not read whole aside.
bool UpdateDatabase(const fs::path& path, MessageSink& sink,
                    const std::function<std::string(const DiskDatabase&)>& update) {
  CreateFolderOf(path);
  FileUpdateLock lock;
  LockHolder holder;
  if (lock.Take(path, std::chrono::milliseconds(kDatabaseLockWaitMilliseconds), &holder) ==
      LockResult::kHeld) {
    WarnNotStored(sink, "the file is being saved by " + LockHolderText(holder));
    return false;
  }
  // Without the lock (a folder that cannot be made, a file system without
  // locks) the save goes on, and says why if it fails.
  const DiskDatabase disk = ReadDiskDatabase(path);
  std::string why;
  if ((!disk.whole && !KeepUnreadableDatabase(path, why)) ||
      !ReplaceFileContents(path, update(disk), why)) {
    WarnNotStored(sink, why);
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
  return UpdateDatabase(path, sink,
                        [&catalogue](const DiskDatabase&) { return KineticsDatabaseText(catalogue); });
}

StoredKineticTypes RememberStoredTypes(const KineticCatalogue& catalogue) {
  StoredKineticTypes stored;
  for (const KineticType* type : catalogue.UserDefinedTypes()) {
    stored.records[type->name] = RecordText(*type);
  }
  return stored;
}

bool SaveKineticsDatabaseChanges(const KineticCatalogue& catalogue, StoredKineticTypes& stored,
                                 const fs::path& path, MessageSink& sink) {
  // What this program changed: types added or edited (in the catalogue's
  // order) and types removed.
  std::vector<std::pair<std::string, std::string>> changed;
  std::map<std::string, std::string> current;
  for (const KineticType* type : catalogue.UserDefinedTypes()) {
    std::string record = RecordText(*type);
    const auto before = stored.records.find(type->name);
    if (before == stored.records.end() || before->second != record) {
      changed.emplace_back(type->name, record);
    }
    current.emplace(type->name, std::move(record));
  }
  std::set<std::string> removed;
  for (const auto& [name, record] : stored.records) {
    if (current.find(name) == current.end()) removed.insert(name);
  }
  if (changed.empty() && removed.empty()) return true;

  const auto merge = [&](const DiskDatabase& disk) {
    std::vector<std::pair<std::string, std::string>> types;
    std::set<std::string> placed;
    for (const auto& entry : disk.types) {
      const std::string& name = entry.first;
      const std::string& record = entry.second;
      // A record under a built-in type's name is one the catalogue never
      // takes in: it goes, as it always did.
      const KineticType* known = catalogue.Find(name);
      if (known != nullptr && known->userDefined == 0) continue;
      if (removed.count(name) != 0 || !placed.insert(name).second) continue;
      const auto mine = std::find_if(changed.begin(), changed.end(),
                                     [&name](const auto& c) { return c.first == name; });
      types.emplace_back(name, mine != changed.end() ? mine->second : record);
    }
    for (const auto& [name, record] : changed) {
      if (placed.insert(name).second) types.emplace_back(name, record);
    }
    std::string text = "TotalUDKinetics=" + std::to_string(types.size()) + "\n";
    for (const auto& type : types) text += type.second;
    return text;
  };
  if (!UpdateDatabase(path, sink, merge)) return false;
  stored.records = std::move(current);
  return true;
}

}  // namespace vireon
