#pragma once
// Files for tests: a temporary folder of a test's own, and whole files read
// and written as text.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vireon::test {

// A fresh folder of its own under the test framework's temporary folder,
// named after the running test, removed with everything in it (whatever
// permissions a test left on it).
class TemporaryFolder {
 public:
  TemporaryFolder();
  // Named "vireon-<name>-" and six random characters instead, for a test
  // whose output shows the path and must stay short.
  explicit TemporaryFolder(std::string_view name);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
  // The folder as a document keeps it, ending in "/".
  std::string folder() const { return path_.string() + "/"; }
  // The names of the folder's entries, sorted.
  std::vector<std::string> Names() const;

 private:
  std::filesystem::path path_;
};

// The bytes of a file; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);
// Replaces the file's contents with `text`, creating its folder if need be.
void WriteText(const std::filesystem::path& path, std::string_view text);
// The lines of a file or a text, without their line feeds.
std::vector<std::string> ReadLines(const std::filesystem::path& path);
std::vector<std::string> SplitLines(const std::string& text);
// The lines, each followed by a line feed.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace vireon::test
