#pragma once
// The kinetics database: the user-defined kinetic types shared by all
// models, kept in a text file made of the line "TotalUDKinetics=%d" and that
// many kinetic type records. It is read once at start-up, after the built-in
// types, and written back at exit.

#include <filesystem>
#include <optional>

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

// Writes the user-defined types of the catalogue, in its order. The file is
// left untouched when the catalogue has no user-defined type and none was
// removed during the run; when the user removed them all it becomes
// "TotalUDKinetics=0". The new text goes to a temporary file in the same
// folder that then replaces the database, so a failed write leaves the old
// database whole. An old database that did not read as a whole is first
// renamed to its name with ".bak" appended, so that the records the
// catalogue could not take in are not lost. Returns false, after a warning,
// when the file could not be written.
bool WriteKineticsDatabase(const KineticCatalogue& catalogue, const std::filesystem::path& path,
                           MessageSink& sink);

}  // namespace vireon
