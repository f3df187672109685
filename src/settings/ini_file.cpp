#include "settings/ini_file.h"

#include <errno.h>
#include <ini.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

#include "model/file_access.h"
#include "model/replace_file.h"

namespace vireon {
namespace {

namespace fs = std::filesystem;

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// libinih keeps its options in process-wide variables. The settings want
// lines of any length (a long path must not be cut), no inline comments (a
// path may hold ";"), and no continuation lines; the options are set for one
// parse at a time and restored afterwards.
class InihOptionsScope {
 public:
  InihOptionsScope() : lock_(Mutex()) {
    useStack_ = ini_use_stack;
    allowRealloc_ = ini_allow_realloc;
    maxLine_ = ini_max_line;
    multiline_ = ini_allow_multiline;
    inlineComments_ = ini_allow_inline_comments;
    stopOnFirstError_ = ini_stop_on_first_error;
    noValue_ = ini_allow_no_value;
    ini_use_stack = false;
    ini_allow_realloc = true;
    // Longer than any file that is parsed, so no line is ever split.
    ini_max_line = static_cast<int>(kMaxIniFileSize) + 3;
    ini_allow_multiline = false;
    ini_allow_inline_comments = false;
    ini_stop_on_first_error = false;
    ini_allow_no_value = false;
  }
  ~InihOptionsScope() {
    ini_use_stack = useStack_;
    ini_allow_realloc = allowRealloc_;
    ini_max_line = maxLine_;
    ini_allow_multiline = multiline_;
    ini_allow_inline_comments = inlineComments_;
    ini_stop_on_first_error = stopOnFirstError_;
    ini_allow_no_value = noValue_;
  }
  InihOptionsScope(const InihOptionsScope&) = delete;
  InihOptionsScope& operator=(const InihOptionsScope&) = delete;

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }

  std::lock_guard<std::mutex> lock_;
  bool useStack_, allowRealloc_, multiline_, inlineComments_, stopOnFirstError_, noValue_;
  int maxLine_;
};

int CollectEntry(void* user, const char* section, const char* name, const char* value) {
  auto* document = static_cast<IniDocument*>(user);
  document->Section(section != nullptr ? section : "")
      .entries.push_back({name != nullptr ? name : "", value != nullptr ? value : ""});
  return 1;
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n\f\v");
  return text.substr(first, last - first + 1);
}

// The group in force at line `line` (1-based): the last well-formed header
// above it, read the way libinih reads headers.
std::string SectionAtLine(std::string_view text, int line) {
  std::string section;
  int number = 1;
  std::size_t start = 0;
  while (number < line && start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view trimmed = TrimBlanks(text.substr(start, end - start));
    if (!trimmed.empty() && trimmed.front() == '[') {
      const std::size_t close = trimmed.find(']');
      if (close != std::string_view::npos) section = std::string(trimmed.substr(1, close - 1));
    }
    start = end + 1;
    ++number;
  }
  return section;
}

std::string Reason(int error) {
  return std::generic_category().message(error);
}

// Creates every missing folder of `folder` with mode 0700.
bool CreateFolders(const fs::path& folder, std::string& reason) {
  fs::path partial;
  for (const fs::path& part : folder) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      reason = partial.string() + ": " + Reason(errno);
      return false;
    }
  }
  struct stat status;
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    reason = folder.string() + ": " + Reason(ENOTDIR);
    return false;
  }
  return true;
}


}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

const std::string* IniSection::Find(std::string_view wanted) const {
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (EqualsIgnoringCase(it->name, wanted)) return &it->value;
  }
  return nullptr;
}

const IniSection* IniDocument::Find(std::string_view wanted) const {
  for (const IniSection& section : sections) {
    if (EqualsIgnoringCase(section.name, wanted)) return &section;
  }
  return nullptr;
}

IniSection& IniDocument::Section(std::string_view wanted) {
  for (IniSection& section : sections) {
    if (EqualsIgnoringCase(section.name, wanted)) return section;
  }
  sections.push_back({std::string(wanted), {}});
  return sections.back();
}

IniReadResult ParseIniText(std::string_view text) {
  IniReadResult result;
  // A NUL byte has no place in a settings file: what follows it is not read.
  const std::size_t nul = text.find('\0');
  int nulLine = 0;
  if (nul != std::string_view::npos) {
    nulLine = 1 + static_cast<int>(std::count(text.begin(), text.begin() + nul, '\n'));
    text = text.substr(0, nul);
  }
  const std::string copy(text);
  int line;
  {
    InihOptionsScope options;
    line = ini_parse_string(copy.c_str(), CollectEntry, &result.document);
  }
  if (line > 0) {
    result.errorLine = line;
  } else if (line < 0) {
    // Only an allocation failure is left; nothing of the file can be trusted.
    result.status = IniStatus::kUnreadable;
    result.reason = Reason(ENOMEM);
    result.document = {};
    return result;
  }
  if (nulLine > 0 && (result.errorLine == 0 || nulLine < result.errorLine)) {
    result.errorLine = nulLine;
  }
  if (result.errorLine > 0) result.errorSection = SectionAtLine(text, result.errorLine);
  return result;
}

bool IsRewritable(const IniReadResult& file) {
  return file.status == IniStatus::kOk && file.errorLine == 0 && file.document.Find("") == nullptr;
}

IniReadResult ReadIniFile(const fs::path& path) {
  IniReadResult result;
  std::string text;
  const InputFileResult read = ReadInputFile(path, kMaxIniFileSize, text);
  if (!read.ok()) {
    // No file, or a folder on the way that is not a folder: nothing is there.
    const bool missing = read.error == ENOENT || read.error == ENOTDIR;
    result.status = missing ? IniStatus::kMissing : IniStatus::kUnreadable;
    result.reason = read.reason;
    return result;
  }
  return ParseIniText(text);
}

std::string IniText(const IniDocument& document) {
  std::string text;
  // Entries outside any group can only stand at the top of the file.
  if (const IniSection* top = document.Find(""); top != nullptr) {
    for (const IniEntry& entry : top->entries) text += entry.name + '=' + entry.value + '\n';
  }
  for (const IniSection& section : document.sections) {
    if (section.name.empty()) continue;
    if (!text.empty()) text += '\n';
    text += '[' + section.name + "]\n";
    for (const IniEntry& entry : section.entries) text += entry.name + '=' + entry.value + '\n';
  }
  return text;
}

bool WriteFileAtomically(const fs::path& path, std::string_view text, std::string& reason) {
  if (path.empty() || !path.has_filename()) {
    reason = "no settings file name";
    return false;
  }
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!CreateFolders(folder, reason)) return false;
  std::string why;
  if (!ReplaceFileContents(path, text, why)) {
    reason = path.string() + ": " + why;
    return false;
  }
  return true;
}

std::string EncodeIniValue(std::string_view value) {
  // libinih trims every blank at either end of a value.
  bool plain = value.empty() ||
               (value.front() != '"' && !std::isspace(static_cast<unsigned char>(value.front())) &&
                !std::isspace(static_cast<unsigned char>(value.back())));
  for (char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) plain = false;
  }
  if (plain) return std::string(value);
  std::string stored = "\"";
  for (char c : value) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        stored += "\\\\";
        break;
      case '"':
        stored += "\\\"";
        break;
      case '\n':
        stored += "\\n";
        break;
      case '\r':
        stored += "\\r";
        break;
      case '\t':
        stored += "\\t";
        break;
      default:
        if (u < 0x20 || u == 0x7f) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", u);
          stored += hex;
        } else {
          stored += c;
        }
    }
  }
  stored += '"';
  return stored;
}

std::optional<std::string> DecodeIniValue(std::string_view stored) {
  if (stored.empty() || stored.front() != '"') {
    if (stored.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(stored);
  }
  if (stored.size() < 2 || stored.back() != '"') return std::nullopt;
  const std::string_view body = stored.substr(1, stored.size() - 2);
  std::string value;
  for (std::size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '"') return std::nullopt;  // a quote inside must be escaped
    if (c != '\\') {
      value += c;
      continue;
    }
    if (++i >= body.size()) return std::nullopt;
    switch (body[i]) {
      case '\\':
        value += '\\';
        break;
      case '"':
        value += '"';
        break;
      case 'n':
        value += '\n';
        break;
      case 'r':
        value += '\r';
        break;
      case 't':
        value += '\t';
        break;
      case 'x': {
        if (body.size() - i < 3) return std::nullopt;
        const std::string hex(body.substr(i + 1, 2));
        if (!std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
          return std::nullopt;
        }
        const char decoded = static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
        if (decoded == '\0') return std::nullopt;
        value += decoded;
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return value;
}

}  // namespace vireon
