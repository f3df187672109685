#include "model/replace_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <random>
#include <system_error>

namespace vireon {
namespace {

// Symbolic links followed before giving up.
constexpr int kMaxLinkDepth = 40;
// Names tried for a named temporary file before giving up.
constexpr int kTemporaryNameAttempts = 100;
// What a temporary file's name adds to the file it replaces:
// "<name>.vireon-<process id>-<random>".
constexpr std::string_view kTemporaryMarker = ".vireon-";

}  // namespace

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

namespace {

std::string TemporaryPrefix(const std::filesystem::path& target) {
  return target.filename().string() + std::string(kTemporaryMarker);
}

std::string RandomSuffix() {
  thread_local std::mt19937 generator{std::random_device{}()};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
  std::string suffix(8, 'x');
  for (char& c : suffix) c = kLetters[pick(generator)];
  return suffix;
}

std::string TemporaryName(const std::filesystem::path& folder,
                          const std::filesystem::path& target) {
  return (folder / (TemporaryPrefix(target) + std::to_string(::getpid()) + "-" + RandomSuffix()))
      .string();
}

// Removes the temporary files that saves of `target` by processes that no
// longer exist left behind (a save killed between naming its file and
// renaming it). A file of a live process, or of a process id that cannot be
// read from the name, stays.
void RemoveAbandonedTemporaries(const std::filesystem::path& folder,
                                const std::filesystem::path& target) {
  const std::string prefix = TemporaryPrefix(target);
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return;
  for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    if (error) return;
    const std::string name = entries->path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    pid_t owner = 0;
    const auto [end, parsed] = std::from_chars(first, last, owner);
    if (parsed != std::errc() || end == last || *end != '-' || owner <= 0) continue;
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    std::error_code ignored;
    std::filesystem::remove(entries->path(), ignored);
  }
}

// A file that is written first and given its name last. Where the file
// system allows, it has no name at all until its contents are on the disk
// (O_TMPFILE), so that a save killed while it writes leaves nothing behind;
// elsewhere it has a temporary name from the start, which a later save
// removes once its process is gone. The file is removed again unless
// MoveTo succeeded.
class TemporaryFile {
 public:
  TemporaryFile(std::filesystem::path folder, std::filesystem::path target)
      : folder_(std::move(folder)), target_(std::move(target)) {}
  ~TemporaryFile() { Discard(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the file with mode 0666 less the umask. False with errno set.
  bool Create() {
    // An unnamed file can only be named later through /proc.
    if (::access("/proc/self/fd", X_OK) == 0) {
      fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
      if (fd_ >= 0) return true;
    }
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      std::string name = TemporaryName(folder_, target_);
      fd_ = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd_ >= 0) {
        name_ = std::move(name);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
  }

  int fd() const { return fd_; }

  // Gives the written file a temporary name (an unnamed file gets one
  // through its descriptor), closes it and renames it over the target.
  // False with errno set.
  bool MoveTo(const std::filesystem::path& target) {
    if (name_.empty() && !LinkUnnamed()) return false;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    if (::rename(name_.c_str(), target.c_str()) != 0) return false;
    name_.clear();
    return true;
  }

  // Closes and removes the file; errno is left as it was.
  void Discard() {
    const int saved = errno;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!name_.empty()) ::unlink(name_.c_str());
    name_.clear();
    errno = saved;
  }

 private:
  bool LinkUnnamed() {
    const std::string descriptor = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      std::string name = TemporaryName(folder_, target_);
      if (::linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        name_ = std::move(name);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
  }

  std::filesystem::path folder_;
  std::filesystem::path target_;
  int fd_ = -1;
  std::string name_;  // empty while the file has no name
};

}  // namespace

struct FileReplacement::Parts {
  std::filesystem::path target;
  std::filesystem::path folder;
  std::optional<TemporaryFile> temporary;
};

FileReplacement::FileReplacement(std::filesystem::path path)
    : path_(std::move(path)), parts_(std::make_unique<Parts>()) {}

FileReplacement::~FileReplacement() = default;

namespace {

// Sets the text and errno of a failure whose errno is `error`; false.
bool Failed(int error, std::string& errorText) {
  errorText = std::strerror(error);
  errno = error;
  return false;
}

}  // namespace

bool FileReplacement::Begin(std::string& errorText) {
  // Follow symbolic links, so that a file kept elsewhere (and linked here)
  // is the one replaced; a dangling link names the file to create.
  std::filesystem::path target = path_;
  for (int depth = 0;; ++depth) {
    std::error_code code;
    if (!std::filesystem::is_symlink(target, code)) break;
    if (depth == kMaxLinkDepth) return Failed(ELOOP, errorText);
    const std::filesystem::path link = std::filesystem::read_symlink(target, code);
    if (code) {
      errorText = code.message();
      errno = code.value();
      return false;
    }
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";

  RemoveAbandonedTemporaries(folder, target);
  parts_->temporary.emplace(folder, target);
  if (!parts_->temporary->Create()) {
    const int error = errno;
    parts_->temporary.reset();
    return Failed(error, errorText);
  }
  // The old file keeps its permissions; a new one has the umask's.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(parts_->temporary->fd(), old.st_mode & 07777);
  }
  parts_->target = std::move(target);
  parts_->folder = std::move(folder);
  return true;
}

bool FileReplacement::Write(std::string_view contents, std::string& errorText) {
  if (!parts_->temporary) return Failed(EBADF, errorText);
  if (WriteAll(parts_->temporary->fd(), contents)) return true;
  // Callers map errno to their own texts: it must name the failure, not
  // the removal of the temporary file.
  const int error = errno;
  parts_->temporary.reset();
  return Failed(error, errorText);
}

bool FileReplacement::Commit(std::string& errorText) {
  if (!parts_->temporary) return Failed(EBADF, errorText);
  if (::fsync(parts_->temporary->fd()) != 0 || !parts_->temporary->MoveTo(parts_->target)) {
    const int error = errno;
    parts_->temporary.reset();
    return Failed(error, errorText);
  }
  parts_->temporary.reset();
  // Make the rename itself durable; a failure here does not undo the write.
  const int folderFd = ::open(parts_->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

bool ReplaceFileContents(const std::filesystem::path& path, std::string_view contents,
                         std::string& errorText) {
  FileReplacement replacement(path);
  return replacement.Begin(errorText) && replacement.Write(contents, errorText) &&
         replacement.Commit(errorText);
}

}  // namespace vireon
