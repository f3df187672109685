#include "settings/recent_files.h"

#include <algorithm>

namespace vireon {

void RecentFileList::Add(std::string_view path) {
  if (path.empty()) return;
  Remove(path);
  paths_.insert(paths_.begin(), std::string(path));
  if (paths_.size() > static_cast<std::size_t>(kRecentFileCount)) paths_.resize(kRecentFileCount);
}

void RecentFileList::Remove(std::string_view path) {
  std::erase_if(paths_, [path](const std::string& listed) { return listed == path; });
}

void RecentFileList::Assign(const std::vector<std::string>& paths) {
  // A path listed twice keeps its newer (earlier) place; a list longer than
  // the limit keeps its first entries.
  std::vector<std::string> kept;
  for (const std::string& path : paths) {
    if (path.empty() || std::find(kept.begin(), kept.end(), path) != kept.end()) continue;
    if (kept.size() == static_cast<std::size_t>(kRecentFileCount)) break;
    kept.push_back(path);
  }
  paths_ = std::move(kept);
}

}  // namespace vireon
