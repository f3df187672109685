#pragma once
// The kinetics database: the user-defined kinetic types shared by all
// models, kept in a text file made of the line "TotalUDKinetics=%d" and that
// many kinetic type records. It is read once at start-up, after the built-in
// types, and written back at exit.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "kinetics/kinetic_catalogue.h"
#include "model/configuration_folder.h"
#include "model/message_sink.h"

namespace vireon {

// What ReadKineticsDatabase leaves the start-up to do.
enum class DatabaseOutcome {
  kRead,     // go on, whatever was read
  kIgnored,  // the user chose to go on without the database
  kAbort,    // the user chose to end the start-up
};

// vireon.kdb in the configuration folder (ConfigurationFolder), beside the
// settings file; empty when there is no folder.
std::filesystem::path DefaultKineticsDatabasePath();

// The database path for start-up: vireon.kdb in `folder`. Without a folder
// the user is asked whether to keep the database in the temporary folder
// instead; No, or no temporary folder either (after saying so), gives no
// path and the start-up ends.
std::optional<std::filesystem::path> LocateKineticsDatabase(
    MessageSink& sink, const std::filesystem::path& folder = ConfigurationFolder());

// Reads the database into the catalogue. A missing file (and its folder) is
// created holding "TotalUDKinetics=0". A file that cannot be opened, or is
// not a regular file of at most 64 MiB (a FIFO, a device), makes the user
// choose between Abort, Retry and Ignore. A corrupted or truncated database
// keeps the types read before the failure, after the line reader's message.
// A record whose name is already in the catalogue is skipped.
DatabaseOutcome ReadKineticsDatabase(KineticCatalogue& catalogue, const std::filesystem::path& path,
                                     MessageSink& sink);

// The database text read into the catalogue, as ReadKineticsDatabase does
// once the file is read. True when the whole text read as a database.
bool ParseKineticsDatabase(KineticCatalogue& catalogue, std::string text, MessageSink& sink);

// The database text of the catalogue's user-defined types, in its order.
std::string KineticsDatabaseText(const KineticCatalogue& catalogue);

// Writes the user-defined types of the catalogue, in its order, under the
// database's lock (see SaveKineticsDatabaseChanges). The file is
// left untouched when the catalogue has no user-defined type and none was
// removed during the run; when the user removed them all it becomes
// "TotalUDKinetics=0". The new text goes to a temporary file in the same
// folder that then replaces the database, so a failed write leaves the old
// database whole. An old database that did not read as a whole is first
// kept under its name with ".bak" appended, so that the records the
// catalogue could not take in are not lost. Returns false, after a warning,
// when the file could not be written.
bool WriteKineticsDatabase(const KineticCatalogue& catalogue, const std::filesystem::path& path,
                           MessageSink& sink);

// The user-defined types as this program last read or saved the database:
// each one's record text by name, so that a save can tell which types this
// program added, edited or removed since.
struct StoredKineticTypes {
  std::map<std::string, std::string> records;
};

// The catalogue's user-defined types as they stand (after reading the
// database, they are what it held).
StoredKineticTypes RememberStoredTypes(const KineticCatalogue& catalogue);

// How long a save waits for another program that is saving the database.
inline constexpr int kDatabaseLockWaitMilliseconds = 10000;

// Saves what this program changed in the user-defined types since `stored`
// into the database as it is on disk now, so that two programs sharing one
// database keep each other's types: a type added or edited here replaces
// the disk's type of that name or is appended, one removed here is removed,
// and every other type of the disk's file is kept as it is there, in its
// order. The file is locked (model/file_lock.h) from before it is read until
// it has been replaced, so two saves take turns; a save waits at most
// kDatabaseLockWaitMilliseconds for the other. Nothing changed: the file is
// left untouched. A disk file that does not read as a whole is kept as
// NAME.bak first, as WriteKineticsDatabase does. On success `stored` becomes
// the catalogue's types. Returns false, after a warning, when the database
// could not be written.
bool SaveKineticsDatabaseChanges(const KineticCatalogue& catalogue, StoredKineticTypes& stored,
                                 const std::filesystem::path& path, MessageSink& sink);

}  // namespace vireon
