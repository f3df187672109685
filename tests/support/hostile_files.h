#pragma once
// Helpers of the tests that hand the program the paths a hostile model or
// command line could name: FIFOs that a blocking open would wait on
// forever, a guard that turns such a wait into a failure, and a child
// process for faults that end a process (a file size limit, a kill). The
// folders and whole-file helpers are those of support/files.h.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>

#include "support/files.h"

namespace vireon::test {

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
