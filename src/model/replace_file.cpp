#include "model/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace vireon {
namespace {

// Symbolic links followed before giving up.
constexpr int kMaxLinkDepth = 40;

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

bool ReplaceFileContents(const std::filesystem::path& path, std::string_view contents,
                         std::string& errorText) {
  // Follow symbolic links, so that a file kept elsewhere (and linked here)
  // is the one replaced; a dangling link names the file to create.
  std::filesystem::path target = path;
  for (int depth = 0;; ++depth) {
    std::error_code code;
    if (!std::filesystem::is_symlink(target, code)) break;
    if (depth == kMaxLinkDepth) {
      errorText = std::strerror(ELOOP);
      return false;
    }
    const std::filesystem::path link = std::filesystem::read_symlink(target, code);
    if (code) {
      errorText = code.message();
      return false;
    }
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";

  std::string temporary = (folder / (target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    errorText = std::strerror(errno);
    return false;
  }
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

  bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    errorText = std::strerror(error);
    // Callers map errno to their own texts: it must name the failure, not
    // the removal of the temporary file.
    errno = error;
    return false;
  }
  // Make the rename itself durable; a failure here does not undo the write.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

}  // namespace vireon
