#include "settings/settings_store.h"

#include <optional>
#include <vector>

#include "model/configuration_folder.h"
#include "model/messages.h"
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
    const std::optional<double> real = ParseRealSetting(*text);
    if (!real) return false;
    values.*field.real = *real;
  } else if (field.integer != nullptr) {
    const std::optional<int> integer = ParseIntegerSetting(*text);
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
  const std::optional<int> flag = ParseIntegerSetting(*text);
  if (!flag) return false;
  field = *flag;
  return true;
}

bool ErrorInGroup(const IniReadResult& file, const char* group) {
  return file.errorLine > 0 && EqualsIgnoringCase(file.errorSection, group);
}

std::string LineText(const IniReadResult& file) {
  return "line " + std::to_string(file.errorLine) + " does not parse";
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

  if (file.status == IniStatus::kMissing ||
      (file.status == IniStatus::kOk && group == nullptr && file.errorLine == 0)) {
    sink.Information(messages::kFirstRun);
    return WriteDefaultValues(values, sink);
  }

  std::string failure;
  if (file.status == IniStatus::kUnreadable) {
    failure = file.reason;
  } else if (group == nullptr) {
    failure = LineText(file);
  } else {
    for (const DefaultField& field : kDefaultFields) {
      if (!ReadDefaultField(*group, field, values)) {
        failure = std::string("the value \"") + field.name + "\" is missing or unreadable";
        break;
      }
    }
    if (failure.empty() && ErrorInGroup(file, kDefaultGroup)) failure = LineText(file);
  }
  if (failure.empty()) return 0;

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

int SettingsStore::ReadPreferences(Preferences& preferences, MessageSink& sink) {
  const IniReadResult file = ReadIniFile(file_);
  const IniSection* group = file.document.Find(kPreferencesGroup);
  if (file.status == IniStatus::kMissing) return 0;
  if (file.status == IniStatus::kUnreadable) {
    lastFailure_ = file_.string() + ": " + file.reason;
    return -1;
  }
  if (group == nullptr)
    return ErrorInGroup(file, kPreferencesGroup) ? Corrupt(LineText(file), sink) : 0;
  if (!ReadFlag(*group, kLoadReport, preferences.loadReport)) {
    return Corrupt(std::string("the value \"") + kLoadReport + "\" is missing or unreadable", sink);
  }
  if (!ReadFlag(*group, kSoundEnabled, preferences.soundEnabled)) {
    return Corrupt(std::string("the value \"") + kSoundEnabled + "\" is missing or unreadable",
                   sink);
  }
  if (!ReadText(*group, kStopSound, preferences.stopSound)) {
    return Corrupt(std::string("the value \"") + kStopSound + "\" is badly quoted", sink);
  }
  if (ErrorInGroup(file, kPreferencesGroup)) return Corrupt(LineText(file), sink);
  return 0;
}

int SettingsStore::WritePreferences(const Preferences& preferences, MessageSink& sink) {
  return WriteGroup(kPreferencesGroup,
                    {{kLoadReport, IntegerSettingText(preferences.loadReport)},
                     {kSoundEnabled, IntegerSettingText(preferences.soundEnabled)},
                     {kStopSound, preferences.stopSound}},
                    sink);
}

int SettingsStore::ReadHelperPaths(HelperPaths& helpers, MessageSink& sink) {
  const IniReadResult file = ReadIniFile(file_);
  const IniSection* group = file.document.Find(kHelpersGroup);
  if (file.status == IniStatus::kMissing) return 0;
  if (file.status == IniStatus::kUnreadable) {
    lastFailure_ = file_.string() + ": " + file.reason;
    return -1;
  }
  if (group == nullptr)
    return ErrorInGroup(file, kHelpersGroup) ? Corrupt(LineText(file), sink) : 0;
  if (!ReadText(*group, kGnuplot, helpers.gnuplot)) {
    return Corrupt(std::string("the value \"") + kGnuplot + "\" is badly quoted", sink);
  }
  if (!ReadText(*group, kTextEditor, helpers.textEditor)) {
    return Corrupt(std::string("the value \"") + kTextEditor + "\" is badly quoted", sink);
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
  const IniReadResult file = ReadIniFile(file_);
  if (file.status == IniStatus::kMissing) return 0;
  if (file.status == IniStatus::kUnreadable) {
    lastFailure_ = file_.string() + ": " + file.reason;
    return -1;
  }
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
  // The other groups are taken from the file as it is now; a file that
  // cannot be read at all keeps nothing but this group.
  IniReadResult file = ReadIniFile(file_);
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
