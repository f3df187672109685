#pragma once
// How Vireon opens the files it reads and the outputs it writes, so that no
// path a model file or a command line names can hang it, make it allocate
// without bound, or make it write through a planted link:
//
// - Every reader (model files, the kinetics database, the settings file)
//   reads through ReadInputFile: the file is opened without blocking (a
//   FIFO without a writer does not hold the program up), must be a regular
//   file (not a FIFO, a device such as /dev/zero, a socket or a folder) and
//   must be no larger than the reader's limit; only then is it read.
// - Every output (report, data files, gnuplot scripts) is opened through
//   OpenOutputFile: never through a symbolic link, only as a regular file,
//   never over a file the run must not touch (the model itself, another
//   output of the same run), created with the mode the umask allows.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "model/record_cursor.h"

namespace vireon {

// The outcome of ReadInputFile.
struct InputFileResult {
  FileErrorCause cause = FileErrorCause::kNone;  // kNone when the file was read
  // What went wrong in a few words ("not a regular file", the system's text
  // for an error), for messages that quote the reason.
  std::string reason;
  int error = 0;  // errno of a failed system call; 0 for a refusal

  bool ok() const { return cause == FileErrorCause::kNone; }
};

// Reads the whole regular file at `path` into `contents` (emptied on any
// failure). Refuses, without reading a byte, a path that is not a regular
// file (kNotRegularFile) and a file larger than maxSize (kFileTooLarge); a
// file that grows past maxSize while it is read is refused as well.
InputFileResult ReadInputFile(const std::filesystem::path& path, std::uintmax_t maxSize,
                              std::string& contents);

// Which file an identity belongs to: its device and inode.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file a path names (following links), or none when
// it does not exist or cannot be examined.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// A file an output must never be written over, and how a refusal names it
// ("the model file", "the report file").
struct ProtectedFile {
  FileIdentity identity;
  std::string description;
};

// The file among `protectedFiles` that `path` names, following links (so
// that another name for it, through a hard or a symbolic link, counts as
// well), or null when it names none of them or nothing at all. This is the
// rule OpenOutputFile applies to the file it opens; a writer that replaces
// its output whole asks it before it writes.
const ProtectedFile* ProtectedFileNamed(const std::filesystem::path& path,
                                        std::span<const ProtectedFile> protectedFiles);

enum class OutputMode {
  kTruncate,  // the output starts anew
  kAppend,    // the output is extended (and created when missing)
};

// Opens `path` for writing one output and returns its descriptor, or -1
// with `reason` saying why ("it is a symbolic link", "it is the model
// file", the system's text for an error). The last component of the path
// is never followed when it is a symbolic link; anything but a regular file
// is refused, and so is any file among `protectedFiles`, before a byte of
// it is changed. A missing file is created with mode 0666 less the umask.
// When `identity` is given it receives the identity of the opened file.
int OpenOutputFile(const std::filesystem::path& path, OutputMode mode,
                   std::span<const ProtectedFile> protectedFiles, std::string& reason,
                   FileIdentity* identity = nullptr);

// Makes a write beyond the process's file size limit (ulimit -f) fail with
// EFBIG, which the writers report as "file too large", instead of ending
// the program by SIGXFSZ in the middle of a save.
void IgnoreFileSizeLimitSignal();

}  // namespace vireon
