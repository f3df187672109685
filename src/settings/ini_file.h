#pragma once
// The INI layer under the settings: reading a whole file into its groups
// (parsed by libinih), writing a whole file back through a temporary file
// in the same folder, and the quoting that lets any text survive a round
// trip. Group and value names match without regard to ASCII case, as the
// names of a registry key always did.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vireon {

// Largest settings file read; a bigger one counts as unreadable.
inline constexpr std::size_t kMaxIniFileSize = 1 << 20;

struct IniEntry {
  std::string name;
  std::string value;  // as stored: possibly quoted, see DecodeIniValue
};

struct IniSection {
  std::string name;  // empty for entries before the first group header
  std::vector<IniEntry> entries;

  // The stored value of the last entry with that name, or null.
  const std::string* Find(std::string_view name) const;
};

struct IniDocument {
  std::vector<IniSection> sections;

  const IniSection* Find(std::string_view name) const;
  // The section with that name, appended when missing.
  IniSection& Section(std::string_view name);
};

enum class IniStatus {
  kOk,
  kMissing,     // no such file (or a folder on its path is a plain file)
  kUnreadable,  // exists but cannot be read (permissions, not a file, too big)
};

struct IniReadResult {
  IniStatus status = IniStatus::kOk;
  IniDocument document;  // every well-formed entry, in file order
  // First line that does not parse (0: none), and the group it stands in.
  int errorLine = 0;
  std::string errorSection;
  std::string reason;  // the system's reason for kUnreadable
};

// Reads the file through ReadInputFile (model/file_access.h): a FIFO, a
// device, a folder or a file beyond kMaxIniFileSize is kUnreadable.
IniReadResult ReadIniFile(const std::filesystem::path& path);
IniReadResult ParseIniText(std::string_view text);

// Whether a file that was read may be written back: every line parsed and
// every entry stands in a group, as in every file this program writes. Any
// other file (a model, a README named by mistake, a file that lost lines)
// is not rewritten, so that nothing in it is lost.
bool IsRewritable(const IniReadResult& file);

// The file's text: one "[group]" header per named section, one
// "name=value" line per entry, a blank line between groups.
std::string IniText(const IniDocument& document);

// Writes `text` to `path` so that the old file stays whole until the new one
// is complete: a temporary file in the same folder, flushed to disk, then
// renamed over the old one. Missing folders are created (mode 0700); a
// symbolic link is followed, so the file it names is replaced. Returns false
// and the system's reason on failure, leaving the old file as it was.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view text,
                         std::string& reason);

// A value is stored as it stands unless it would not read back the same
// (control characters, blanks at either end, a leading double quote); then
// it is stored in double quotes with C escapes (\\ \" \n \r \t \xHH).
std::string EncodeIniValue(std::string_view value);
// The text a stored value stands for; nullopt when quoted badly or holding
// a NUL character.
std::optional<std::string> DecodeIniValue(std::string_view stored);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace vireon
