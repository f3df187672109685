#pragma once
// Advisory locks that keep two runs, or two copies of the program, from
// writing one file at the same time.
//
// The locks are open file description locks (fcntl F_OFD_SETLK): they
// belong to the descriptor that took them, not to the process, so two runs
// in one process exclude each other as two processes do, and closing some
// other descriptor of the same file (the report is opened anew for every
// section) leaves them in place. They go when their descriptor is closed,
// and with the process however it ends, so a run that was killed never
// leaves a file locked. They are advisory: they hold back only programs
// that ask for them.
//
// A holder locks the bytes [0, kLockHolderBase) of the file, and also the
// one byte at kLockHolderBase + its process id, far beyond any data: a
// refused taker finds that byte and names the process that holds the file.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/file_access.h"

namespace vireon {

// Where the byte that names the holder's process starts.
inline constexpr off_t kLockHolderBase = off_t{1} << 62;

// Who holds a lock that could not be taken.
struct LockHolder {
  long processId = 0;  // 0: not known (a lock taken by another program)
};

// "process 1234", or "another program" when the holder is not known.
std::string LockHolderText(const LockHolder& holder);

enum class LockResult {
  kTaken,
  kHeld,    // another descriptor holds it
  kFailed,  // the lock could not be asked for (errno says why)
};

// Takes the write lock of `fd`, which must be open for writing, without
// waiting. On kHeld, `holder` (when given) receives who holds it.
LockResult TryLockFile(int fd, LockHolder* holder = nullptr);

// As TryLockFile, asking again every few milliseconds for at most `wait`.
LockResult LockFileWithin(int fd, std::chrono::milliseconds wait, LockHolder* holder = nullptr);

// The locks of one run's outputs, taken before the first of them is opened
// and held until the last one is closed (or the object is destroyed).
class OutputLocks {
 public:
  OutputLocks() = default;
  ~OutputLocks() { Release(); }
  OutputLocks(const OutputLocks&) = delete;
  OutputLocks& operator=(const OutputLocks&) = delete;

  // A file another run holds, and who holds it.
  struct Refusal {
    std::string path;
    LockHolder holder;
  };

  // Locks every path in turn, creating a missing file. When a file is held
  // by another run, every lock taken here is released again, the files
  // created here are removed, and the refusal names the file and its
  // holder. A path that cannot be opened as a regular file without
  // following a link is not locked: its writer refuses it later with the
  // reason. Two paths of one file are one lock.
  std::optional<Refusal> Take(std::span<const std::string> paths);
  // Releases every lock (closing the descriptors).
  void Release();
  // How many files are locked.
  int size() const { return static_cast<int>(held_.size()); }

 private:
  // Releases every lock after a refusal, removing the files created here
  // that are still empty.
  void Abandon();

  struct Held {
    int fd = -1;
    FileIdentity identity;
    std::string path;
    bool created = false;
  };
  std::vector<Held> held_;
};

// The lock of a file that is read, changed and saved again by renaming a
// new file over it (ReplaceFileContents), held from before it is read until
// after it is replaced, so that two programs that update it in turn each
// start from what the other saved.
class FileUpdateLock {
 public:
  FileUpdateLock() = default;
  // Releases the lock; a file made only for the lock is removed again when
  // it is still empty and still at its path (the save did not happen).
  ~FileUpdateLock();
  FileUpdateLock(const FileUpdateLock&) = delete;
  FileUpdateLock& operator=(const FileUpdateLock&) = delete;

  // Opens the file at `path` (following links, creating it empty when it is
  // missing) and locks it, waiting at most `wait` for another holder. A save
  // that renamed a new file over it meanwhile is noticed: the new one is
  // locked instead. kFailed when the file cannot be opened for writing or
  // locked at all (a missing folder, a file system without locks): the
  // caller's own open then says why.
  LockResult Take(const std::filesystem::path& path, std::chrono::milliseconds wait,
                  LockHolder* holder = nullptr);

 private:
  int fd_ = -1;
  std::filesystem::path path_;
  bool created_ = false;
};

}  // namespace vireon
