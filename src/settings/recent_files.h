#pragma once
// The most recently used model files, newest first, as the File menu lists
// them. The list lives in the settings file's group "Recent File List" under
// "File1" to "File4" (SettingsStore reads and writes it).

#include <string>
#include <string_view>
#include <vector>

namespace vireon {

// How many files the list keeps.
inline constexpr int kRecentFileCount = 4;

class RecentFileList {
 public:
  // Newest first, at most kRecentFileCount, no path twice, none empty.
  const std::vector<std::string>& paths() const { return paths_; }

  // A file was opened or saved: it goes to the top (moving up if it is
  // listed already) and the oldest beyond the limit drops out. An empty path
  // is ignored.
  void Add(std::string_view path);
  // A listed file that could not be opened leaves the list.
  void Remove(std::string_view path);
  // Replaces the list by `paths` in their order, under the same rules.
  void Assign(const std::vector<std::string>& paths);

  bool operator==(const RecentFileList&) const = default;

 private:
  std::vector<std::string> paths_;
};

}  // namespace vireon
