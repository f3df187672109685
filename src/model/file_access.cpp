#include "model/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace vireon {
namespace {

// Bytes read at a time.
constexpr std::size_t kReadChunk = 1 << 16;

FileIdentity IdentityOfStatus(const struct stat& status) {
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
}

InputFileResult SystemFailure(int error) {
  FileErrorCause cause = FileErrorCauseFromErrno(error);
  if (cause == FileErrorCause::kNone) cause = FileErrorCause::kGeneric;
  return {cause, std::strerror(error != 0 ? error : EIO), error};
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace

InputFileResult ReadInputFile(const std::filesystem::path& path, std::uintmax_t maxSize,
                              std::string& contents) {
  contents.clear();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return SystemFailure(errno);
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return SystemFailure(errno);
  if (!S_ISREG(status.st_mode)) {
    return {FileErrorCause::kNotRegularFile,
            S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "not a regular file"};
  }
  const auto tooLarge = [maxSize] {
    return InputFileResult{FileErrorCause::kFileTooLarge,
                           "larger than " + std::to_string(maxSize) + " bytes"};
  };
  if (status.st_size < 0 || static_cast<std::uintmax_t>(status.st_size) > maxSize) {
    return tooLarge();
  }
  // Room for the whole file at once, and for the line feed the record
  // reader appends: a large model is not copied again as the text grows.
  contents.reserve(static_cast<std::size_t>(status.st_size) + 1);
  char buffer[kReadChunk];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      contents.clear();
      return SystemFailure(error);
    }
    if (got == 0) break;
    if (contents.size() + static_cast<std::size_t>(got) > maxSize) {
      contents.clear();
      return tooLarge();
    }
    contents.append(buffer, static_cast<std::size_t>(got));
  }
  return {};
}

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return IdentityOfStatus(status);
}

namespace {

const ProtectedFile* ProtectedFileWith(const FileIdentity& identity,
                                       std::span<const ProtectedFile> protectedFiles) {
  for (const ProtectedFile& file : protectedFiles) {
    if (file.identity == identity) return &file;
  }
  return nullptr;
}

}  // namespace

const ProtectedFile* ProtectedFileNamed(const std::filesystem::path& path,
                                        std::span<const ProtectedFile> protectedFiles) {
  const std::optional<FileIdentity> identity = IdentityOf(path);
  return identity ? ProtectedFileWith(*identity, protectedFiles) : nullptr;
}

int OpenOutputFile(const std::filesystem::path& path, OutputMode mode,
                   std::span<const ProtectedFile> protectedFiles, std::string& reason,
                   FileIdentity* identity) {
  // No O_TRUNC here: the file is emptied only once it is known to be one
  // that may be written. O_NONBLOCK: a FIFO planted in its place must not
  // hold the run up.
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  if (mode == OutputMode::kAppend) flags |= O_APPEND;
  Descriptor file(::open(path.c_str(), flags, 0666));
  if (file.get() < 0) {
    const int error = errno;
    struct stat link {};
    if (error == ELOOP && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      reason = "it is a symbolic link";
    } else {
      reason = std::strerror(error);
    }
    errno = error;
    return -1;
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    const int error = errno;
    reason = std::strerror(error);
    errno = error;
    return -1;
  }
  if (!S_ISREG(status.st_mode)) {
    reason = "it is not a regular file";
    errno = EINVAL;
    return -1;
  }
  const FileIdentity opened = IdentityOfStatus(status);
  if (const ProtectedFile* other = ProtectedFileWith(opened, protectedFiles)) {
    reason = "it is " + other->description;
    errno = EEXIST;
    return -1;
  }
  if (mode == OutputMode::kTruncate && status.st_size > 0 && ::ftruncate(file.get(), 0) != 0) {
    const int error = errno;
    reason = std::strerror(error);
    errno = error;
    return -1;
  }
  // Writes to a regular file never block; the flag only kept the open from
  // waiting, and the descriptor goes on as an ordinary one.
  ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
  if (identity != nullptr) *identity = opened;
  return file.release();
}

void IgnoreFileSizeLimitSignal() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
}

}  // namespace vireon
