#include "document/about_lines.h"

#include <sys/statvfs.h>
#include <sys/sysinfo.h>

#include <cstdio>

#include "model/messages.h"
#include "output/report.h"

namespace vireon {
namespace {

// What kind of program this build is.
constexpr const char* kExecutableKind =
#if defined(__x86_64__)
    "Linux x86-64 executable";
#elif defined(__aarch64__)
    "Linux ARM64 executable";
#else
    "Linux executable";
#endif

std::string MemoryLine(unsigned long kb) {
  char line[64];
  std::snprintf(line, sizeof line, "%lu KB Physical memory", kb);
  return line;
}

std::string FreeSpaceLine(unsigned long kb, const std::string& folder) {
  return std::to_string(kb) + " KB Free on " + (folder.empty() ? std::string(".") : folder);
}

}  // namespace

std::optional<unsigned long> PhysicalMemoryKb() {
  struct sysinfo info {};
  if (::sysinfo(&info) != 0) return std::nullopt;
  return static_cast<unsigned long>(static_cast<unsigned long long>(info.totalram) *
                                    info.mem_unit / 1024ULL);
}

std::optional<unsigned long> FreeDiskKb(const std::string& folder) {
  struct statvfs info {};
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &info) != 0) return std::nullopt;
  return static_cast<unsigned long>(static_cast<unsigned long long>(info.f_bavail) *
                                    info.f_frsize / 1024ULL);
}

std::vector<std::string> AboutLines(std::optional<unsigned long> memoryKb,
                                    std::optional<unsigned long> freeKb,
                                    const std::string& folder) {
  std::vector<std::string> lines = {ReportVersionLine(messages::kVersion),
                                    std::string("Compiled ") + __DATE__ + " " + __TIME__,
                                    kExecutableKind};
  if (memoryKb) lines.push_back(MemoryLine(*memoryKb));
  if (freeKb) {
    lines.push_back(FreeSpaceLine(*freeKb, folder));
  } else {
    lines.push_back(kDiskSpaceUnavailable);
  }
  return lines;
}

}  // namespace vireon
