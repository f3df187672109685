#pragma once
// Helpers of the tests that hand the program the paths a hostile model or
// command line could name: a scratch folder, FIFOs that a blocking open
// would wait on forever, a guard that turns such a wait into a failure, and
// a child process for faults that end a process (a file size limit, a kill).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <vector>

namespace vireon::test {

// A fresh folder for one test, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::path(::testing::TempDir()) / "vireon-hostile-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // The names of the folder's entries, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Makes a FIFO at `path`; nobody writes to it or reads from it.
inline bool MakeFifo(const std::filesystem::path& path) {
  return ::mkfifo(path.c_str(), 0600) == 0;
}

// Runs `work` on a thread of its own and says whether it returned within
// `limit`. If not, `release` is called to free it (say, by opening the FIFO
// it waits on), so that the test can fail instead of hanging.
inline bool FinishesWithin(std::chrono::seconds limit, const std::function<void()>& work,
                           const std::function<void()>& release) {
  std::future<void> done = std::async(std::launch::async, work);
  if (done.wait_for(limit) == std::future_status::ready) return true;
  release();
  done.wait();
  return false;
}

// Opens both ends of a FIFO for a moment, which frees anyone blocked in an
// open of it.
inline void ReleaseFifo(const std::filesystem::path& path) {
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) ::close(writer);
  if (reader >= 0) ::close(reader);
}

// Runs `child` in a forked process and returns its wait status; the child
// ends with the exit status `child` returns.
inline int RunInChild(const std::function<int()>& child) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(child());
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return status;
}

}  // namespace vireon::test
