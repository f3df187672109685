#pragma once
// Replacing a file's contents so that a failure never leaves it truncated,
// and writing the whole of a text to a file descriptor.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vireon {

// Writes all of `contents` to the descriptor, resuming after interrupted
// and partial writes. False, with errno set, when a write fails (for a pipe,
// when the reader went away).
bool WriteAll(int fd, std::string_view contents);

// Writes `contents` to a new temporary file in the folder of `path`, flushes
// it to the disk and renames it over `path` (a symbolic link is followed, so
// its target is replaced and the link stays). The old file keeps its
// permissions; a new file gets 0666 less the umask. On failure the
// temporary file is removed, `path` is as it was, `errorText` receives the
// system's text for the error, errno holds its number (EFBIG beyond the
// process's file size limit), and false is returned.
//
// The temporary file has no name while it is written where the file system
// allows it (O_TMPFILE), so that a save killed in the middle leaves
// nothing; elsewhere it is "<name>.vireon-<process id>-<random>", and every
// save removes such files of its target whose process no longer exists.
bool ReplaceFileContents(const std::filesystem::path& path, std::string_view contents,
                         std::string& errorText);

// ReplaceFileContents for contents written piece by piece, so that they
// need not be held whole: Begin, any number of Writes, then Commit puts the
// file in place. Each returns false on failure with `errorText` and errno
// set as ReplaceFileContents sets them, and the replacement is then over;
// a replacement not committed leaves `path` as it was and nothing behind.
class FileReplacement {
 public:
  explicit FileReplacement(std::filesystem::path path);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  bool Begin(std::string& errorText);
  bool Write(std::string_view contents, std::string& errorText);
  bool Commit(std::string& errorText);

 private:
  struct Parts;
  std::filesystem::path path_;
  std::unique_ptr<Parts> parts_;
};

}  // namespace vireon
