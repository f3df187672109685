#include "settings/settings_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "model/configuration_folder.h"
#include "model/messages.h"
#include "model/number_text.h"
#include "settings/ini_file.h"
#include "settings/setting_text.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSettingsFileName = "vireon.ini";

// One default value: its name in the file and the field it fills.
struct DefaultField {
  const char* name;
  double DefaultValues::*real = nullptr;
  int DefaultValues::*integer = nullptr;
  std::string DefaultValues::*unit = nullptr;
};

// In the order in which the values are read and written.
const DefaultField kDefaultFields[] = {
    {"Concentrations", &DefaultValues::concentration},
    {"Kinetic constants", &DefaultValues::kineticConstant},
    {"End time", &DefaultValues::endTime},
    {"Newton limit", nullptr, &DefaultValues::newtonLimit},
    {"Steady state resolution", &DefaultValues::steadyStateResolution},
    {"Derivation Factor", &DefaultValues::derivationFactor},
    {"Relative tolerance", &DefaultValues::relativeTolerance},
    {"Absolute tolerance", &DefaultValues::absoluteTolerance},
    {"Adams max order", nullptr, &DefaultValues::adamsMaxOrder},
    {"BDF max order", nullptr, &DefaultValues::bdfMaxOrder},
    {"Time unit", nullptr, nullptr, &DefaultValues::timeUnit},
    {"Concentration unit", nullptr, nullptr, &DefaultValues::concentrationUnit},
    {"Volume unit", nullptr, nullptr, &DefaultValues::volumeUnit},
    {"Points", nullptr, &DefaultValues::points},
    {"Dynamics", nullptr, &DefaultValues::dynamics},
    {"Steady state", nullptr, &DefaultValues::steadyState},
    {"Report", nullptr, &DefaultValues::report},
    {"Titles", nullptr, &DefaultValues::titles},
    {"Quotes", nullptr, &DefaultValues::quotes},
    {"Column width", nullptr, &DefaultValues::columnWidth},
    {"Separator", nullptr, &DefaultValues::separator},
    {"Report structural", nullptr, &DefaultValues::reportStructuralAnalysis},
    {"Report stability", nullptr, &DefaultValues::reportStabilityAnalysis},
    {"MCA", nullptr, &DefaultValues::reportMca},
    {"Report Comments", nullptr, &DefaultValues::reportComments},
    {"Unscaled MCA", nullptr, &DefaultValues::mcaUnscaled},
};

constexpr const char* kLoadReport = "Load Report";
constexpr const char* kSoundEnabled = "Sound Enabled";
constexpr const char* kScanThreads = "Scan Threads";
constexpr const char* kStopSound = "Stop Sound";
constexpr const char* kGnuplot = "Gnuplot";
constexpr const char* kTextEditor = "Text Editor";

// The recent-file list's value names: "File1" (the newest) to "File4".
std::string RecentFileKey(int index) {
  return "File" + std::to_string(index + 1);
}

bool IsUnitStorable(const std::string& unit) {
  return unit.size() <= static_cast<std::size_t>(kUnitMaxLength) &&
         unit.find('\0') == std::string::npos;
}

// Reads one default value into its field; false when absent or unreadable.
bool ReadDefaultField(const IniSection& group, const DefaultField& field, DefaultValues& values) {
  const std::string* stored = group.Find(field.name);
  if (stored == nullptr) return false;
  const std::optional<std::string> text = DecodeIniValue(*stored);
  if (!text) return false;
  if (field.real != nullptr) {
    const std::optional<double> real = ParseReal(*text);
    if (!real) return false;
    values.*field.real = *real;
  } else if (field.integer != nullptr) {
    const std::optional<int> integer = ParseInteger(*text);
    if (!integer) return false;
    values.*field.integer = *integer;
  } else {
    // A unit has a 16-byte home: a longer text does not fit.
    if (!IsUnitStorable(*text)) return false;
    values.*field.unit = *text;
  }
  return true;
}

std::string DefaultFieldText(const DefaultField& field, const DefaultValues& values) {
  if (field.real != nullptr) return RealSettingText(values.*field.real);
  if (field.integer != nullptr) return IntegerSettingText(values.*field.integer);
  return values.*field.unit;
}

// A text value of the smaller groups: absent values are skipped, badly
// quoted ones are a failure.
bool ReadText(const IniSection& group, const char* name, std::string& field) {
  const std::string* stored = group.Find(name);
  if (stored == nullptr) return true;
  std::optional<std::string> text = DecodeIniValue(*stored);
  if (!text) return false;
  field = std::move(*text);
  return true;
}

// A preference flag: absent or unreadable is a failure.
bool ReadFlag(const IniSection& group, const char* name, int& field) {
  const std::string* stored = group.Find(name);
  if (stored == nullptr) return false;
  const std::optional<std::string> text = DecodeIniValue(*stored);
  if (!text) return false;
  const std::optional<int> flag = ParseInteger(*text);
  if (!flag) return false;
  field = *flag;
  return true;
}

bool ErrorInGroup(const IniReadResult& file, const char* group) {
  return file.errorLine > 0 && EqualsIgnoringCase(file.errorSection, group);
}

std::string BadlyQuoted(const char* name) {
  return std::string("the value \"") + name + "\" is badly quoted";
}

std::string MissingOrUnreadable(const char* name) {
  return std::string("the value \"") + name + "\" is missing or unreadable";
}

std::string LineText(const IniReadResult& file) {
  return "line " + std::to_string(file.errorLine) + " does not parse";
}

// A message format with two "%s": the settings file and a second text.
std::string FormatWithPath(const char* format, const fs::path& path, const std::string& text) {
  const std::string file = path.string();
  const int length = std::snprintf(nullptr, 0, format, file.c_str(), text.c_str());
  if (length < 0) return format;
  std::string message(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(message.data(), message.size(), format, file.c_str(), text.c_str());
  message.resize(static_cast<std::size_t>(length));
  return message;
}

fs::path BackupPathOf(const fs::path& file) {
  fs::path backup = file;
  backup += ".bak";
  return backup;
}

// Renames a regular file to `backup` (replacing an older backup); anything
// else is left where it is.
bool KeepAside(const fs::path& file, const fs::path& backup, std::string& why) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    why = "it is not a regular file";
    return false;
  }
  if (::rename(file.c_str(), backup.c_str()) != 0) {
    why = "it could not be kept as " + backup.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

fs::path SettingsPathFor(const char* xdgConfigHome, const char* home) {
  const fs::path folder = ConfigurationFolderFor(xdgConfigHome, home);
  return folder.empty() ? folder : folder / kSettingsFileName;
}

fs::path DefaultSettingsPath() {
  const fs::path folder = ConfigurationFolder();
  return folder.empty() ? folder : folder / kSettingsFileName;
}

int SettingsStore::Corrupt(std::string what, MessageSink& sink) {
  lastFailure_ = file_.string() + ": " + std::move(what);
  sink.Warning(kSettingsMessageTitle, messages::kSettingsCorrupt);
  return -1;
}

int SettingsStore::ReadDefaultValues(DefaultValues& values, MessageSink& sink) {
  values = DefaultValues{};
  const IniReadResult file = ReadIniFile(file_);
  const IniSection* group = file.document.Find(kDefaultGroup);
  const bool rewritable = file.status == IniStatus::kMissing || IsRewritable(file);

  if (file.status == IniStatus::kMissing || (rewritable && group == nullptr)) {
    sink.Information(messages::kFirstRun);
    return WriteDefaultValues(values, sink);
  }

  std::string failure;
  if (file.status == IniStatus::kUnreadable) {
    failure = file.reason;
  } else if (group == nullptr) {
    failure = file.errorLine > 0 ? LineText(file) : "it holds no [Default] group";
  } else {
    for (const DefaultField& field : kDefaultFields) {
      if (!ReadDefaultField(*group, field, values)) {
        failure = MissingOrUnreadable(field.name);
        break;
      }
    }
    if (failure.empty() && ErrorInGroup(file, kDefaultGroup)) failure = LineText(file);
  }
  if (failure.empty()) return 0;

  if (!rewritable) {
    // Not a file this program wrote, or one that lost lines: writing the
    // defaults back would destroy what else it holds.
    lastFailure_ = file_.string() + ": " + failure + "; the file was left as it is";
    sink.Warning(kSettingsMessageTitle, FormatWithPath(kSettingsFileLeftAlone, file_, failure));
    return -1;
  }
  Corrupt(std::move(failure), sink);
  const std::string reason = lastFailure_;
  WriteDefaultValues(values, sink);
  // The corruption is what the caller should learn of, unless the write failed too.
  if (lastFailure_.empty()) lastFailure_ = reason;
  return -1;
}

int SettingsStore::WriteDefaultValues(const DefaultValues& values, MessageSink& sink) {
  std::vector<Value> texts;
  for (const DefaultField& field : kDefaultFields) {
    if (field.unit != nullptr && !IsUnitStorable(values.*field.unit)) {
      lastFailure_ = std::string("the value \"") + field.name + "\" is longer than " +
                     std::to_string(kUnitMaxLength) + " characters";
      sink.Warning(kSettingsMessageTitle, messages::kSettingsStoreFailed);
      return -1;
    }
    texts.push_back({field.name, DefaultFieldText(field, values)});
  }
  return WriteGroup(kDefaultGroup, texts, sink);
}

bool SettingsStore::ReadFileOfGroup(IniReadResult& file, int& result) {
  file = ReadIniFile(file_);
  result = 0;
  if (file.status == IniStatus::kMissing) return false;
  if (file.status == IniStatus::kUnreadable) {
    lastFailure_ = file_.string() + ": " + file.reason;
    result = -1;
    return false;
  }
  return true;
}

int SettingsStore::ReadPreferences(Preferences& preferences, MessageSink& sink) {
  IniReadResult file;
  if (int result = 0; !ReadFileOfGroup(file, result)) return result;
  const IniSection* group = file.document.Find(kPreferencesGroup);
  if (group == nullptr)
    return ErrorInGroup(file, kPreferencesGroup) ? Corrupt(LineText(file), sink) : 0;
  if (!ReadFlag(*group, kLoadReport, preferences.loadReport)) {
    return Corrupt(MissingOrUnreadable(kLoadReport), sink);
  }
  if (!ReadFlag(*group, kSoundEnabled, preferences.soundEnabled)) {
    return Corrupt(MissingOrUnreadable(kSoundEnabled), sink);
  }
  if (!ReadText(*group, kStopSound, preferences.stopSound)) {
    return Corrupt(BadlyQuoted(kStopSound), sink);
  }
  // Absent in files of older versions: one thread per core.
  if (group->Find(kScanThreads) != nullptr &&
      !ReadFlag(*group, kScanThreads, preferences.scanThreads)) {
    return Corrupt(std::string("the value \"") + kScanThreads + "\" is unreadable", sink);
  }
  if (ErrorInGroup(file, kPreferencesGroup)) return Corrupt(LineText(file), sink);
  return 0;
}

int SettingsStore::WritePreferences(const Preferences& preferences, MessageSink& sink) {
  return WriteGroup(kPreferencesGroup,
                    {{kLoadReport, IntegerSettingText(preferences.loadReport)},
                     {kSoundEnabled, IntegerSettingText(preferences.soundEnabled)},
                     {kStopSound, preferences.stopSound},
                     {kScanThreads, IntegerSettingText(preferences.scanThreads)}},
                    sink);
}

int SettingsStore::ReadHelperPaths(HelperPaths& helpers, MessageSink& sink) {
  IniReadResult file;
  if (int result = 0; !ReadFileOfGroup(file, result)) return result;
  const IniSection* group = file.document.Find(kHelpersGroup);
  if (group == nullptr)
    return ErrorInGroup(file, kHelpersGroup) ? Corrupt(LineText(file), sink) : 0;
  if (!ReadText(*group, kGnuplot, helpers.gnuplot)) {
    return Corrupt(BadlyQuoted(kGnuplot), sink);
  }
  if (!ReadText(*group, kTextEditor, helpers.textEditor)) {
    return Corrupt(BadlyQuoted(kTextEditor), sink);
  }
  if (ErrorInGroup(file, kHelpersGroup)) return Corrupt(LineText(file), sink);
  return 0;
}

int SettingsStore::WriteHelperPaths(const HelperPaths& helpers, MessageSink& sink) {
  return WriteGroup(kHelpersGroup, {{kGnuplot, helpers.gnuplot}, {kTextEditor, helpers.textEditor}},
                    sink);
}

int SettingsStore::ReadRecentFiles(RecentFileList& files) {
  files = RecentFileList();
  IniReadResult file;
  if (int result = 0; !ReadFileOfGroup(file, result)) return result;
  const IniSection* group = file.document.Find(kRecentFilesGroup);
  if (group == nullptr) return 0;
  std::vector<std::string> paths;
  for (int i = 0; i < kRecentFileCount; ++i) {
    std::string path;
    if (!ReadText(*group, RecentFileKey(i).c_str(), path)) {
      lastFailure_ = file_.string() + ": the recent-file list is badly quoted";
      return -1;
    }
    paths.push_back(std::move(path));
  }
  files.Assign(paths);
  return 0;
}

int SettingsStore::WriteRecentFiles(const RecentFileList& files) {
  std::vector<std::string> keys;
  std::vector<Value> values;
  for (int i = 0; i < kRecentFileCount; ++i) keys.push_back(RecentFileKey(i));
  for (int i = 0; i < kRecentFileCount; ++i) {
    // Every key is written, empty ones too, so that a shorter list replaces a longer one.
    const bool listed = i < static_cast<int>(files.paths().size());
    values.push_back({keys[static_cast<std::size_t>(i)].c_str(),
                      listed ? files.paths()[static_cast<std::size_t>(i)] : std::string()});
  }
  RecordingSink quiet;
  return WriteGroup(kRecentFilesGroup, values, quiet);
}

int SettingsStore::WriteGroup(const char* group, const std::vector<Value>& values,
                              MessageSink& sink) {
  // The other groups are taken from the file as it is now. A file that is
  // not one this program may rewrite is first kept aside under a backup
  // name (only a regular file can be), and the new file holds just this
  // group.
  IniReadResult file = ReadIniFile(file_);
  if (file.status != IniStatus::kMissing && !IsRewritable(file)) {
    const fs::path backup = BackupPathOf(file_);
    std::string why;
    if (!KeepAside(file_, backup, why)) {
      lastFailure_ = file_.string() + ": " + why + "; the file was left as it is";
      sink.Warning(kSettingsMessageTitle, messages::kSettingsStoreFailed);
      return -1;
    }
    sink.Information(FormatWithPath(kSettingsFileKeptAside, file_, backup.string()));
    file = IniReadResult{};
  }
  IniSection& section = file.document.Section(group);
  std::vector<IniEntry> entries;
  for (const Value& value : values) entries.push_back({value.name, EncodeIniValue(value.text)});
  // Values under other names stay, after ours, as a registry key keeps them.
  for (IniEntry& old : section.entries) {
    bool ours = false;
    for (const Value& value : values) ours = ours || EqualsIgnoringCase(old.name, value.name);
    if (!ours) entries.push_back(std::move(old));
  }
  section.entries = std::move(entries);

  std::string reason;
  if (!WriteFileAtomically(file_, IniText(file.document), reason)) {
    lastFailure_ = reason;
    sink.Warning(kSettingsMessageTitle, messages::kSettingsStoreFailed);
    return -1;
  }
  lastFailure_.clear();
  return 0;
}

}  // namespace vireon
