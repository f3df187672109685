#include "settings/installed_files.h"

#include <system_error>

namespace vireon {

namespace fs = std::filesystem;

namespace {

InstalledFiles FilesUnder(const fs::path& share) {
  return {share / "vireon", share / "doc" / "vireon"};
}

bool IsFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

}  // namespace

InstalledFiles FindInstalledFiles(const fs::path& executable) {
  const fs::path folder = executable.parent_path();
  const InstalledFiles installed = FilesUnder(folder.parent_path() / "share");
  if (IsFolder(installed.dataFolder)) return installed;
  const InstalledFiles build = FilesUnder(folder / "share");
  if (IsFolder(build.dataFolder)) return build;
  return installed;
}

fs::path ExecutablePath() {
  std::error_code error;
  fs::path path = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return path;
}

InstalledFiles ProgramFiles() { return FindInstalledFiles(ExecutablePath()); }

fs::path ManualPath(const InstalledFiles& files) {
  const fs::path html = files.docFolder / "manual.html";
  const fs::path markdown = files.docFolder / "manual.md";
  std::error_code error;
  if (!fs::exists(html, error) && fs::exists(markdown, error)) return markdown;
  return html;
}

fs::path ManualPath() { return ManualPath(ProgramFiles()); }

fs::path ExamplesFolder() { return ProgramFiles().docFolder / "examples"; }

}  // namespace vireon
