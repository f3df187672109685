#pragma once
// Reading and writing the user's settings in an INI file, by default
// $XDG_CONFIG_HOME/vireon/vireon.ini. The file holds three groups,
// "Default", "Preferences" and "Helpers", each like a registry key of old:
// one value per setting under its long-standing name ("Steady state
// resolution"), reals as "%lg" writes them (so a real keeps six significant
// digits), integers as "%d", texts as they are (quoted only when they would
// not read back the same).
//
// Start-up reads the defaults, then the helper paths, then the preferences;
// each dialog writes its group as soon as the user presses OK. Writing a
// group rewrites the whole file through a temporary file and keeps the other
// groups as they are on disk (a file that cannot be read at all is replaced
// by one that holds just the group written).
//
// Only a file this program may rewrite (IsRewritable: every line parsed,
// every entry in a group) is ever written over. Any other file named as
// the settings file (a model, a README, a FIFO, a file that lost lines) is
// left as it is when the settings are read; writing a group later first
// renames such a file to its name with ".bak" appended (a FIFO, a device or
// a folder is never replaced: the write fails).
//
// What the user is told, through the sink:
// - no settings file (or no "Default" group in a file that is otherwise
//   sound): message 5007, then every default value is written;
// - a default value missing or unreadable, or a unit longer than 15
//   characters, in a file that may be rewritten: message 5025; the values
//   read before the bad one stand and the whole "Default" group is written
//   back;
// - a file that cannot be read as a settings file and holds no sound
//   "Default" group: kSettingsFileLeftAlone; the values read before the
//   failure stand, nothing is written;
// - writing a group over such a file: kSettingsFileKeptAside;
// - a preference flag missing or unreadable, a badly quoted text, a
//   malformed line in the group: message 5025 (nothing is written back);
//   a missing "Preferences" or "Helpers" group, or a file that cannot be
//   read at all (the defaults, read first, have said so), says nothing;
// - any failure to write: message 5032; the records in memory stay as they
//   are.

#include <filesystem>
#include <string>
#include <vector>

#include "model/message_sink.h"
#include "settings/ini_file.h"
#include "settings/recent_files.h"
#include "settings/settings.h"

namespace vireon {

inline constexpr const char* kDefaultGroup = "Default";
inline constexpr const char* kPreferencesGroup = "Preferences";
inline constexpr const char* kHelpersGroup = "Helpers";
inline constexpr const char* kRecentFilesGroup = "Recent File List";
// Title of the message boxes the settings show.
inline constexpr const char* kSettingsMessageTitle = "Vireon";
// printf formats with the settings file and, for the first, what is wrong
// with it, for the second, the name it was kept under.
inline constexpr const char* kSettingsFileLeftAlone =
    "WARNING:\nThe settings file %s could not be read as a settings file (%s).\nVireon has "
    "left it as it is and uses its built-in values for the settings it could not read.";
inline constexpr const char* kSettingsFileKeptAside =
    "The settings file %s could not be read as a settings file; it was kept as %s and a new one "
    "was written.";

// vireon.ini in the configuration folder for these values of
// XDG_CONFIG_HOME and HOME (see ConfigurationFolderFor); empty when there
// is no folder.
std::filesystem::path SettingsPathFor(const char* xdgConfigHome, const char* home);
// vireon.ini in this process's configuration folder (ConfigurationFolder).
std::filesystem::path DefaultSettingsPath();

class SettingsStore {
 public:
  explicit SettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

  const std::filesystem::path& file() const { return file_; }

  // Each returns 0 on success and -1 after a failure.
  // Resets `values` to the built-in defaults, then reads the group over them.
  int ReadDefaultValues(DefaultValues& values, MessageSink& sink);
  int WriteDefaultValues(const DefaultValues& values, MessageSink& sink);
  // Values absent from the file leave the record's fields as they are.
  int ReadPreferences(Preferences& preferences, MessageSink& sink);
  int WritePreferences(const Preferences& preferences, MessageSink& sink);
  int ReadHelperPaths(HelperPaths& helpers, MessageSink& sink);
  int WriteHelperPaths(const HelperPaths& helpers, MessageSink& sink);
  // The recent-file list is a convenience: a missing or unreadable list
  // reads as empty and a failed write says nothing (both return -1 on
  // failure, with lastFailure set).
  int ReadRecentFiles(RecentFileList& files);
  int WriteRecentFiles(const RecentFileList& files);

  // What went wrong at the last failure, with the system's reason, for a
  // log or the command line (the messages themselves are fixed texts).
  const std::string& lastFailure() const { return lastFailure_; }

 private:
  struct Value {
    const char* name;
    std::string text;
  };
  int WriteGroup(const char* group, const std::vector<Value>& values, MessageSink& sink);
  int Corrupt(std::string what, MessageSink& sink);
  // Reads the file for one of the groups besides [Default]. False when
  // there is nothing to read: `result` is then 0 for a missing file, or -1
  // for one that cannot be read (with the reason in lastFailure()).
  bool ReadFileOfGroup(IniReadResult& file, int& result);

  std::filesystem::path file_;
  std::string lastFailure_;
};

}  // namespace vireon
