#include "model/file_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace vireon {
namespace {

// How long LockFileWithin sleeps between two attempts.
constexpr std::chrono::milliseconds kLockRetryInterval{20};

struct flock LockRange(short type, off_t start, off_t length) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = start;
  range.l_len = length;
  range.l_pid = 0;  // F_OFD_* locks require it
  return range;
}

bool SetLock(int fd, struct flock range) {
  for (;;) {
    if (::fcntl(fd, F_OFD_SETLK, &range) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// The holder's byte beyond kLockHolderBase, when one is locked.
LockHolder FindHolder(int fd) {
  struct flock probe = LockRange(F_WRLCK, kLockHolderBase, 0);
  LockHolder holder;
  if (::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK &&
      probe.l_start >= kLockHolderBase) {
    holder.processId = static_cast<long>(probe.l_start - kLockHolderBase);
  }
  return holder;
}

}  // namespace

std::string LockHolderText(const LockHolder& holder) {
  if (holder.processId <= 0) return "another program";
  return "process " + std::to_string(holder.processId);
}

LockResult TryLockFile(int fd, LockHolder* holder) {
  if (!SetLock(fd, LockRange(F_WRLCK, 0, kLockHolderBase))) {
    if (errno != EAGAIN && errno != EACCES) return LockResult::kFailed;
    if (holder != nullptr) *holder = FindHolder(fd);
    errno = EAGAIN;
    return LockResult::kHeld;
  }
  // The name tag is a courtesy: a file system that refuses it still locks.
  SetLock(fd, LockRange(F_WRLCK, kLockHolderBase + static_cast<off_t>(::getpid()), 1));
  return LockResult::kTaken;
}

LockResult LockFileWithin(int fd, std::chrono::milliseconds wait, LockHolder* holder) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const LockResult result = TryLockFile(fd, holder);
    if (result != LockResult::kHeld || std::chrono::steady_clock::now() >= deadline) {
      return result;
    }
    std::this_thread::sleep_for(kLockRetryInterval);
  }
}

std::optional<OutputLocks::Refusal> OutputLocks::Take(std::span<const std::string> paths) {
  for (const std::string& path : paths) {
    // Opened without creating first, so that a file made only for its lock
    // can be removed again when the run does not start.
    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    bool created = false;
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
      fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
      created = fd >= 0;
    }
    if (fd < 0) continue;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      ::close(fd);
      continue;
    }
    const FileIdentity identity{static_cast<std::uint64_t>(status.st_dev),
                                static_cast<std::uint64_t>(status.st_ino)};
    bool known = false;
    for (const Held& held : held_) known = known || held.identity == identity;
    if (known) {
      ::close(fd);
      continue;
    }
    LockHolder holder;
    const LockResult result = TryLockFile(fd, &holder);
    if (result == LockResult::kHeld) {
      ::close(fd);
      Abandon();
      return Refusal{path, holder};
    }
    if (result == LockResult::kFailed) {
      // A file system without locks: the run goes on as it always did.
      if (created) ::unlink(path.c_str());
      ::close(fd);
      continue;
    }
    held_.push_back({fd, identity, path, created});
  }
  return std::nullopt;
}

void OutputLocks::Release() {
  for (Held& held : held_) ::close(held.fd);
  held_.clear();
}

void OutputLocks::Abandon() {
  for (Held& held : held_) {
    // A file made only for its lock goes again while it is still empty and
    // still the one at its path; otherwise it is the run's output.
    if (held.created) {
      struct stat status {};
      struct stat atPath {};
      if (::fstat(held.fd, &status) == 0 && status.st_size == 0 &&
          ::lstat(held.path.c_str(), &atPath) == 0 && atPath.st_ino == status.st_ino &&
          atPath.st_dev == status.st_dev) {
        ::unlink(held.path.c_str());
      }
    }
    ::close(held.fd);
  }
  held_.clear();
}

FileUpdateLock::~FileUpdateLock() {
  if (fd_ < 0) return;
  if (created_) {
    struct stat status {};
    const std::optional<FileIdentity> atPath = IdentityOf(path_);
    if (::fstat(fd_, &status) == 0 && status.st_size == 0 && atPath &&
        atPath->inode == static_cast<std::uint64_t>(status.st_ino) &&
        atPath->device == static_cast<std::uint64_t>(status.st_dev)) {
      ::unlink(path_.c_str());
    }
  }
  ::close(fd_);
}

LockResult FileUpdateLock::Take(const std::filesystem::path& path, std::chrono::milliseconds wait,
                                LockHolder* holder) {
  // A save that renames a new file over the locked one can happen at most
  // once per holder: a few rounds are always enough.
  constexpr int kMaxRounds = 16;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (int round = 0; round < kMaxRounds; ++round) {
    constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    bool created = false;
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
      fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
      created = fd >= 0;
      if (fd < 0 && errno == EEXIST) continue;
    }
    if (fd < 0) return LockResult::kFailed;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      ::close(fd);
      return LockResult::kFailed;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const LockResult result =
        LockFileWithin(fd, std::max(left, std::chrono::milliseconds(0)), holder);
    if (result != LockResult::kTaken) {
      if (created) ::unlink(path.c_str());
      ::close(fd);
      return result;
    }
    const std::optional<FileIdentity> atPath = IdentityOf(path);
    if (atPath && atPath->inode == static_cast<std::uint64_t>(status.st_ino) &&
        atPath->device == static_cast<std::uint64_t>(status.st_dev)) {
      fd_ = fd;
      path_ = path;
      created_ = created;
      return LockResult::kTaken;
    }
    // Replaced while we waited: the lock is on a file no longer in use.
    ::close(fd);
  }
  return LockResult::kFailed;
}

}  // namespace vireon
