#include "kinetics/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace vireon {
namespace {

// Writes all of `contents`, resuming after interrupted and partial writes.
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

}  // namespace

bool ReplaceFileContents(const std::filesystem::path& path, std::string_view contents,
                         std::string& errorText) {
  std::error_code ignored;
  std::filesystem::path target = path;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ignored))) {
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ignored);
    if (!ignored) target = resolved;
  }
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";

  std::string temporary = (folder / (target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    errorText = std::strerror(errno);
    return false;
  }
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);

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
    return false;
  }
  // Make the rename itself durable; a failure here does not undo the write.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

}  // namespace vireon
