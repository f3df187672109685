#include "support/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace vireon::test {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLongestPrefix = 200;

// "vireon-<suite>-<test>-", with every character a file name should not
// hold replaced, so that a left-over folder says which test made it.
std::string FolderPrefix() {
  std::string prefix = "vireon-";
  if (const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    prefix += std::string(info->test_suite_name()) + "-" + info->name() + "-";
  }
  for (char& c : prefix) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
  }
  // A file name holds at most 255 bytes, the six random characters included.
  if (prefix.size() > kLongestPrefix) prefix.resize(kLongestPrefix);
  return prefix;
}

}  // namespace

TemporaryFolder::TemporaryFolder() : TemporaryFolder(std::string_view()) {}

TemporaryFolder::TemporaryFolder(std::string_view name) {
  const std::string prefix = name.empty() ? FolderPrefix() : "vireon-" + std::string(name) + "-";
  std::string pattern = (fs::path(::testing::TempDir()) / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "no temporary folder in " << ::testing::TempDir();
    return;
  }
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  // A test may have taken the owner's rights away to provoke a failure.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored) && it->is_directory(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

std::vector<std::string> TemporaryFolder::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, std::string_view text) {
  std::error_code ignored;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::vector<std::string> ReadLines(const fs::path& path) {
  return SplitLines(ReadText(path));
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace vireon::test
